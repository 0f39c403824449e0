#include "controls/folder_picker.h"

#include <shlobj.h>

#include "controls/shell_folder_browser.h"
#include "util/cp936.h"

namespace {

// What the browser's path buffer holds of a starting folder.
constexpr std::size_t kMaxStartFolder = MAX_PATH - 1;
constexpr UINT kPickerFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT | BIF_RETURNFSANCESTORS |
                              BIF_EDITBOX | BIF_NEWDIALOGSTYLE;

}  // namespace

CFolderPicker::CFolderPicker(const std::string& prompt, const std::string& startFolder, HWND owner)
    : prompt_(prompt), path_(CutText936(startFolder, kMaxStartFolder)), owner_(owner)
{
}

int CFolderPicker::DoModal()
{
    FolderBrowseRequest request;
    request.owner = owner_;
    request.rootFolder = CSIDL_DRIVES;
    request.prompt = prompt_;
    request.selected = path_;
    request.flags = kPickerFlags;
    request.showPathAsStatus = true;
    std::string chosen;
    if (!BrowseForFolder(request, chosen)) {
        return kFolderNotChosen;
    }
    path_ = chosen;
    return kFolderChosen;
}
