#pragma once
// The shell's folder browser behind the browse edit and the folder picker.
#include <string>

#include <windows.h>

struct FolderBrowseRequest {
    HWND owner = nullptr;
    // A shell special folder (CSIDL_*) as the root, or -1 for the desktop.
    int rootFolder = -1;
    std::string title;     // title bar text; empty keeps the system's
    std::string prompt;    // instruction line
    std::string selected;  // preselected folder; empty selects nothing
    UINT flags = 0;        // BIF_* flags
    // Shows the selected folder's path as status text (with BIF_STATUSTEXT).
    bool showPathAsStatus = false;
};

// Runs the browser modally. True with `chosen` when the user chose an item that
// has a file-system path; false when cancelled, when the root cannot be
// resolved, or when the chosen item has no file-system path.
bool BrowseForFolder(const FolderBrowseRequest& request, std::string& chosen);
