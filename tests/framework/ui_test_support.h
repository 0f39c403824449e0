#pragma once
// Driving real windows of the test thread from a helper thread, the way a user
// would: find the window, click, press keys, close it.
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <windows.h>

#include "framework/dialog.h"

// A window of `thread` (top level or owned) with this class and caption (either
// may be null to match any); waits up to `timeoutMs` for it to appear.
HWND WaitForThreadWindow(DWORD thread, const wchar_t* className, const wchar_t* caption,
                         DWORD timeoutMs = 10000);

// The child of `parent` with this text, or null.
HWND FindChildByText(HWND parent, const wchar_t* text);

std::wstring WindowTextOf(HWND window);
// A rectangle of `window` in the client coordinates of `parent`.
RECT RectInClient(HWND window, HWND parent);
// A dialog-unit rectangle (left, top, width, height) in the dialog's pixels.
RECT DialogUnitsToPixels(HWND dialog, int left, int top, int width, int height);

// Posts a key press to the window that has the focus on `thread` (or `fallback`).
void PressKey(DWORD thread, HWND fallback, WPARAM key);
void ClickButton(HWND dialog, int id);

// Runs `action` on a helper thread once a window of the current thread with
// this class and caption exists; the test thread meanwhile runs the window
// (a modal loop). Should the action not end the window, the driver cancels it
// so that the test cannot hang.
class CWindowDriver {
public:
    CWindowDriver(const wchar_t* className, const wchar_t* caption, std::function<void(HWND)> action);
    ~CWindowDriver();
    CWindowDriver(const CWindowDriver&) = delete;
    CWindowDriver& operator=(const CWindowDriver&) = delete;

    // Waits for the helper; true when it found the window and the window ended
    // without being cancelled by the driver.
    bool Finish();

private:
    void Run(std::wstring className, std::wstring caption, std::function<void(HWND)> action);

    DWORD uiThread_;
    std::atomic<bool> found_{false};
    std::atomic<bool> endedByAction_{false};
    std::thread helper_;
};

// Runs the messages of the current thread for a while.
void PumpMessages(DWORD milliseconds);


// A dialog that runs `probe` on its own thread once it is initialised (the
// probe may end the dialog), and ends with the id of any other clicked button.
class CProbeDialog : public CDialogBase {
public:
    explicit CProbeDialog(UINT templateId, std::function<void(CProbeDialog&)> probe = {});

    using CDialogBase::BindItem;
    using CDialogBase::ExchangeCheck;

    bool throwInInit = false;
    bool endOnOtherButtons = true;

protected:
    bool OnInitDialog() override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    std::function<void(CProbeDialog&)> probe_;
};

// A dialog class of the program that runs `probe` once its initialisation is
// done and the messages it posted meanwhile are handled, then ends with
// `kEndResult`.
template <class Dialog, INT_PTR kEndResult>
class CProbed : public Dialog {
public:
    template <class... Args>
    explicit CProbed(std::function<void(CProbed&)> probe, Args&&... args)
        : Dialog(std::forward<Args>(args)...), probe_(std::move(probe))
    {
    }

protected:
    static constexpr UINT kProbedMessage = WM_APP + 0x3C;

    bool OnInitDialog() override
    {
        const bool focus = Dialog::OnInitDialog();
        PostMessageW(this->Hwnd(), kProbedMessage, 0, 0);
        return focus;
    }
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == kProbedMessage) {
            probe_(*this);
            this->EndDialog(kEndResult);
            return 0;
        }
        return Dialog::HandleMessage(message, wParam, lParam);
    }

private:
    std::function<void(CProbed&)> probe_;
};

// A plain visible top-level window of the test thread, to stand for the
// application's main window.
class CTestMainWindow : public CWindow {
public:
    bool Create();
    ~CTestMainWindow() override;
};

// The pixels of a rectangle of a window's client area as the screen shows
// them, row by row (0x00RRGGBB).
std::vector<unsigned> CaptureClientPixels(HWND window, const RECT& area);
// Saves what the screen shows of a window as a 24-bit .bmp; false on failure.
bool SaveWindowPicture(HWND window, const std::wstring& path);
