#include "framework/thread.h"

#include <process.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>

namespace {

constexpr wchar_t kCallWindowClass[] = L"FrameworkUiThreadCall";
constexpr LRESULT kCallRan = 1;

UINT CallMessage()
{
    static const UINT message = RegisterWindowMessageW(L"Framework.UiThreadCall");
    return message;
}

struct ThreadStart {
    std::function<DWORD()> body;
};

unsigned __stdcall ThreadEntry(void* parameter)
{
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(parameter));
    try {
        return start->body();
    } catch (...) {
        return kThreadFailed;
    }
}

bool RegisterCallWindowClass(WNDPROC procedure)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kCallWindowClass;
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

bool StartWorkerThread(UniqueHandle& thread, std::function<DWORD()> body)
{
    thread.reset();
    if (!body) {
        return false;
    }
    std::unique_ptr<ThreadStart> start;
    try {
        start = std::make_unique<ThreadStart>(ThreadStart{std::move(body)});
    } catch (...) {
        return false;
    }
    const std::uintptr_t created =
        _beginthreadex(nullptr, 0, &ThreadEntry, start.get(), CREATE_SUSPENDED, nullptr);
    if (created == 0) {
        return false;
    }
    // Stored before the thread runs a step, so the worker may use `thread` at once.
    thread.reset(reinterpret_cast<HANDLE>(created));
    if (ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
        // The thread never ran a step of its own, so nothing is left half done.
        TerminateThread(thread.get(), kThreadFailed);
        WaitForSingleObject(thread.get(), INFINITE);
        thread.reset();
        return false;
    }
    start.release();
    return true;
}

bool WaitForThreadDispatching(HANDLE thread, DWORD timeoutMs)
{
    const DWORD begin = GetTickCount();
    for (;;) {
        DWORD remaining = INFINITE;
        if (timeoutMs != INFINITE) {
            const DWORD elapsed = GetTickCount() - begin;
            remaining = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
        }
        const DWORD wait =
            MsgWaitForMultipleObjectsEx(1, &thread, remaining, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
        if (wait == WAIT_OBJECT_0) {
            return true;
        }
        if (wait != WAIT_OBJECT_0 + 1) {
            return false;
        }
        // Runs the pending sent messages; no posted message is taken.
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_SENDMESSAGE);
    }
}

namespace {

// Posted messages that the wait leaves queued would wake it at once, so it
// looks for the user's messages again at this interval.
constexpr DWORD kAnswerPollMs = 20;

struct MessageRange {
    UINT first;
    UINT last;
};

const MessageRange kUserMessages[] = {
    {WM_KEYFIRST, WM_KEYLAST},         {WM_MOUSEFIRST, WM_MOUSELAST},
    {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK}, {WM_CLOSE, WM_CLOSE},
    {WM_COMMAND, WM_SYSCOMMAND},       {WM_PAINT, WM_PAINT},
};

bool TakeUserMessage(MSG& message)
{
    for (const MessageRange& range : kUserMessages) {
        if (PeekMessageW(&message, nullptr, range.first, range.last, PM_REMOVE)) {
            return true;
        }
    }
    return false;
}

void AnswerUser(HWND window)
{
    MSG message;
    while (TakeUserMessage(message)) {
        if (!IsDialogMessageW(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

}  // namespace

WaitEnd WaitAnsweringUser(HANDLE object, DWORD timeoutMs, HWND window)
{
    const DWORD begin = GetTickCount();
    for (;;) {
        AnswerUser(window);
        if (WaitForSingleObject(object, 0) == WAIT_OBJECT_0) {
            return WaitEnd::kSignalled;
        }
        if (!IsWindow(window) || !IsWindowVisible(window)) {
            return WaitEnd::kWindowEnded;
        }
        const DWORD elapsed = GetTickCount() - begin;
        if (elapsed >= timeoutMs) {
            return WaitEnd::kTimedOut;
        }
        MsgWaitForMultipleObjectsEx(1, &object, std::min(timeoutMs - elapsed, kAnswerPollMs),
                                    QS_ALLINPUT, 0);
    }
}

CUiThreadCall::~CUiThreadCall()
{
    Destroy();
}

bool CUiThreadCall::Create()
{
    if (window_.load() != nullptr || CallMessage() == 0 ||
        !RegisterCallWindowClass(&CUiThreadCall::WindowProc)) {
        return false;
    }
    HWND window = CreateWindowExW(0, kCallWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), this);
    if (window == nullptr) {
        return false;
    }
    window_ = window;
    return true;
}

void CUiThreadCall::Destroy()
{
    HWND window = window_.exchange(nullptr);
    if (window != nullptr) {
        DestroyWindow(window);
    }
}

bool CUiThreadCall::Call(const std::function<void()>& call) const
{
    HWND window = window_.load();
    if (window == nullptr || !call) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(pendingLock_);
        pending_.push_back(&call);
    }
    const LRESULT result = SendMessageW(window, CallMessage(), 0, reinterpret_cast<LPARAM>(&call));
    // Still listed when the window never ran it (destroyed meanwhile).
    TakePending(&call);
    return result == kCallRan;
}

bool CUiThreadCall::TakePending(const void* call) const
{
    std::lock_guard<std::mutex> lock(pendingLock_);
    const auto found = std::find(pending_.begin(), pending_.end(), call);
    if (found == pending_.end()) {
        return false;
    }
    pending_.erase(found);
    return true;
}

LRESULT CALLBACK CUiThreadCall::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    if (message == 0 || message != CallMessage()) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    auto* self = reinterpret_cast<CUiThreadCall*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    const auto* call = reinterpret_cast<const std::function<void()>*>(lParam);
    if (self == nullptr || !self->TakePending(call)) {
        return 0;
    }
    try {
        (*call)();
        return kCallRan;
    } catch (...) {
        return 0;
    }
}
