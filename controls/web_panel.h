#pragma once
// A panel that embeds the system's web browser control in a dialog, in place
// of a placeholder control of the template. It starts on a blank page and then
// shows the addresses its owner gives it. Browser events reach the owner as
// WM_NOTIFY messages carrying a WebPanelNotification.
//
// Where the browser control cannot be created or cannot show even the blank
// page, CreateInPlaceOf answers false and leaves no panel: the owner goes on
// without it. The wait for the blank page is bounded and dispatches messages.
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "framework/window.h"

// The event codes of the notifications (WebPanelNotification::header.code).
enum WebPanelEvent : UINT {
    kWebBeforeNavigate = 0,    // address, frame name, post data; a non-zero answer cancels
    kWebDocumentComplete = 1,  // address
    kWebDownloadBegin = 2,
    kWebProgressChange = 3,    // progress, progressMax
    kWebDownloadComplete = 4,
    kWebNavigateComplete = 5,  // address
    kWebStatusTextChange = 6,  // text
    kWebTitleChange = 7,       // text
};

// What a notification carries; only valid during the WM_NOTIFY. Events 0, 1
// and 5 are passed on only for the panel's own top-level page, not for frames.
struct WebPanelNotification {
    NMHDR header{};
    std::string address;
    std::string frameName;
    std::vector<unsigned char> postData;
    std::string headers;  // always empty
    long progress = 0;
    long progressMax = 0;
    std::string text;
};

// True for an http or https address with a server: the only addresses the
// panel shows. The panel runs in an elevated process, and an address from the
// network could otherwise open local files, resources, scripts or shares.
bool IsWebAddress(const std::string& address);

class CWebPanel : public CWindow {
public:
    // The id of the browser control's window inside the panel.
    static constexpr int kBrowserId = 0xE900;

    CWebPanel();
    ~CWebPanel() override;

    // Replaces control `placeholderId` of `parent` by the panel (same
    // rectangle and id) holding a browser on a blank page. False, with no
    // panel left, when the placeholder does not exist or the browser cannot be
    // created or cannot show the blank page; the placeholder is gone then.
    bool CreateInPlaceOf(HWND parent, int placeholderId);
    // Asks the browser to show `address`; nothing while there is no browser
    // or when it is no web address (IsWebAddress).
    void Navigate(const std::string& address);
    bool HasBrowser() const;
    // The browser control's window, or null.
    HWND BrowserHwnd() const;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    class CHost;

    void FitBrowser();
    void Release();

    std::unique_ptr<CHost> host_;
};
