#pragma once
// What the download worker and the install step need of the install window.
// The worker calls these from its own thread; every call that changes the
// window is a synchronous call into the user-interface thread, so the window
// must keep dispatching sent messages while the worker runs (and while it waits
// for the worker to end).
#include <cstdint>
#include <string>

#include <windows.h>

// Control ids of the install window that the download and install write to.
enum InstallControl : int {
    kStatusLabel = 1001,
    kSourceLabel = 1003,
    kProgressBar = 1004,
    kTimeLeftLabel = 1014,
    kRateLabel = 1016,
    kCancelButton = 1021,
    kTimeLeftCaption = 1023,
    kRateCaption = 1024,
};

constexpr UINT WM_DOWNLOAD_DONE = WM_APP + 1;

class IInstallView {
public:
    virtual ~IInstallView() = default;

    // The window that owns message boxes and the credential dialog.
    virtual HWND Window() const = 0;

    // Sets a label's text and repaints the background under it at once.
    virtual void SetLabelText(int controlId, const std::string& text) = 0;
    // Sets a control's text with no repaint of its own.
    virtual void SetControlText(int controlId, const std::string& text) = 0;
    virtual void ShowControl(int controlId, bool show) = 0;
    virtual void EnableControl(int controlId, bool enable) = 0;
    // The progress bar, over the full 32-bit range.
    virtual void SetProgressRange(std::uint32_t maximum) = 0;
    virtual void SetProgressPos(std::uint32_t position) = 0;
    virtual void SetCaption(const std::string& caption) = 0;

    // A modal message box owned by the window (MB_* flags); answers IDOK, IDYES ...
    virtual int ShowMessage(const std::string& text, UINT flags) = 0;
    // Ends the window with IDCANCEL.
    virtual void EndWindow() = 0;
    // Posts WM_DOWNLOAD_DONE (wParam 1 when failed); the worker's last act.
    virtual void PostDownloadDone(bool failed) = 0;
};
