#pragma once
// A modal folder browser of the shell, rooted at the computer's drives, that
// starts on a given folder and shows the selected folder's path as status
// text while the user moves through the tree. Lives on the caller's stack for
// one use.
#include <string>

#include <windows.h>

// The results of DoModal.
enum FolderPickerResult : int {
    kFolderChosen = 1,
    kFolderNotChosen = 2,
};

class CFolderPicker {
public:
    // The starting folder may be empty (the browser opens at the root); only
    // its first 259 bytes are used.
    CFolderPicker(const std::string& prompt, const std::string& startFolder, HWND owner);

    // kFolderChosen when a file-system folder was chosen, else kFolderNotChosen.
    int DoModal();
    // The starting folder before DoModal, the chosen one after it.
    std::string GetFolder() const { return path_; }

private:
    std::string prompt_;
    std::string path_;
    HWND owner_;
};
