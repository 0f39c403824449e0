#include "controls/shell_folder_browser.h"

#include <shlobj.h>

#include "util/handles.h"
#include "util/wide_text.h"

namespace {

struct BrowseState {
    std::wstring title;
    std::wstring selected;
    bool showPathAsStatus;
};

// The file-system path of a shell item; empty when it has none.
std::wstring PathOfItem(LPCITEMIDLIST item)
{
    wchar_t path[MAX_PATH] = {};
    if (item == nullptr || !SHGetPathFromIDListW(item, path)) {
        return std::wstring();
    }
    return path;
}

int CALLBACK OnBrowserEvent(HWND browser, UINT event, LPARAM parameter, LPARAM data)
{
    const auto* state = reinterpret_cast<const BrowseState*>(data);
    switch (event) {
    case BFFM_INITIALIZED:
        if (!state->title.empty()) {
            SetWindowTextW(browser, state->title.c_str());
        }
        if (!state->selected.empty()) {
            SendMessageW(browser, BFFM_SETSELECTIONW, TRUE,
                         reinterpret_cast<LPARAM>(state->selected.c_str()));
        }
        break;
    case BFFM_SELCHANGED:
        if (state->showPathAsStatus) {
            const std::wstring path = PathOfItem(reinterpret_cast<LPCITEMIDLIST>(parameter));
            SendMessageW(browser, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(path.c_str()));
        }
        break;
    default:
        break;
    }
    return 0;
}

// The new dialog style of the browser needs OLE on the calling thread.
class ScopedOle {
public:
    ScopedOle() : initialised_(SUCCEEDED(OleInitialize(nullptr))) {}
    ~ScopedOle()
    {
        if (initialised_) {
            OleUninitialize();
        }
    }
    ScopedOle(const ScopedOle&) = delete;
    ScopedOle& operator=(const ScopedOle&) = delete;

private:
    bool initialised_;
};

}  // namespace

bool BrowseForFolder(const FolderBrowseRequest& request, std::string& chosen)
{
    ScopedOle ole;
    UniqueTaskMemory<ITEMIDLIST> root;
    if (request.rootFolder >= 0 &&
        FAILED(SHGetSpecialFolderLocation(request.owner, request.rootFolder, root.put()))) {
        return false;
    }
    BrowseState state{WidenText(request.title), WidenText(request.selected),
                      request.showPathAsStatus};
    const std::wstring prompt = WidenText(request.prompt);
    wchar_t displayName[MAX_PATH] = {};

    BROWSEINFOW info{};
    info.hwndOwner = request.owner;
    info.pidlRoot = root.get();
    info.pszDisplayName = displayName;
    info.lpszTitle = prompt.c_str();
    info.ulFlags = request.flags;
    info.lpfn = &OnBrowserEvent;
    info.lParam = reinterpret_cast<LPARAM>(&state);
    const UniqueTaskMemory<ITEMIDLIST> selection(SHBrowseForFolderW(&info));

    const std::wstring path = PathOfItem(selection.get());
    if (path.empty()) {
        return false;
    }
    chosen = NarrowText(path);
    return true;
}
