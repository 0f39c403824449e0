#pragma once
// A plain top-level window of the test thread that holds the controls under
// test, reflects their messages (it is one of our windows) and records what
// they tell it.
//
// The tests move the one mouse pointer of the display and read the screen, and
// ctest runs them in parallel processes: a host holds a named mutex for its
// life, so that one host at a time is on the screen, above other programs'
// windows.
#include <string>
#include <vector>

#include <windows.h>

#include "controls/browse_edit.h"
#include "framework/window.h"
#include "util/wide_text.h"

class CControlHost : public CWindow {
public:
    ~CControlHost() override
    {
        if (Hwnd() != nullptr) {
            DestroyWindow(Hwnd());
        }
        if (screen_ != nullptr) {
            ReleaseMutex(screen_);
            CloseHandle(screen_);
        }
    }

    bool Create(int width = 480, int height = 320)
    {
        screen_ = CreateMutexW(nullptr, FALSE, L"MorvaneControlsTestsScreen");
        if (screen_ == nullptr) {
            return false;
        }
        const DWORD waited = WaitForSingleObject(screen_, 120000);
        if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
            CloseHandle(screen_);
            screen_ = nullptr;
            return false;
        }
        const wchar_t* kClass = L"MorvaneControlHost";
        RegisterOwnClass(kClass, 0, LoadCursorW(nullptr, IDC_ARROW),
                         reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
        if (!CreateOwnWindow(kClass, WS_EX_TOPMOST, WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN,
                             RECT{100, 100, 100 + width, 100 + height}, nullptr, 0, "host")) {
            return false;
        }
        SetForegroundWindow(Hwnd());
        UpdateWindow(Hwnd());
        return true;
    }

    // A child control of a system class at a client rectangle.
    HWND AddChild(const wchar_t* className, const std::string& text, DWORD style, RECT rect,
                  int id)
    {
        return CreateWindowExW(0, className, WidenText(text).c_str(), WS_CHILD | WS_VISIBLE | style,
                               rect.left, rect.top, rect.right - rect.left,
                               rect.bottom - rect.top, Hwnd(),
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               GetModuleHandleW(nullptr), nullptr);
    }

    // Clicks (BN_CLICKED, which is also STN_CLICKED) by control id, in
    // arrival order.
    std::vector<int> clicks;
    // The wParam of each WM_BROWSE_NOTIFY, in arrival order.
    std::vector<WPARAM> browseNotes;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) {
                clicks.push_back(LOWORD(wParam));
            }
            return 0;
        case WM_BROWSE_NOTIFY:
            browseNotes.push_back(wParam);
            return 0;
        default:
            return CWindow::HandleMessage(message, wParam, lParam);
        }
    }

private:
    HANDLE screen_ = nullptr;
};
