#pragma once
// The worker thread of an install and the ways it meets the user-interface
// thread.
//
// A worker changes the window only through CUiThreadCall::Call, which runs a
// callable on the user-interface thread and returns when it has run (a sent
// message). The user-interface thread must therefore never block on the worker
// without dispatching sent messages: WaitForThreadDispatching is the wait to
// use.
#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include <windows.h>

#include "util/handles.h"

// The exit code of a worker whose body ended by an exception.
constexpr DWORD kThreadFailed = 0xFFFFFFFFu;

// Starts `body` on a new thread. The handle is stored into `thread` while the
// thread is still suspended, so the worker and its owner both see it from the
// worker's first step; the thread is not detached and its handle stays valid
// until `thread` lets it go. An exception that leaves `body` ends the thread
// with kThreadFailed. `thread` lets go of what it held before; it stays empty
// when the thread could not be started, and the answer is false.
bool StartWorkerThread(UniqueHandle& thread, std::function<DWORD()> body);

// Waits until `thread` has ended, running the messages that other threads send
// to this thread meanwhile (posted messages stay queued). True when the thread
// ended, false on timeout or a failed wait.
bool WaitForThreadDispatching(HANDLE thread, DWORD timeoutMs = INFINITE);

enum class WaitEnd { kSignalled, kTimedOut, kWindowEnded };

// Waits for `object` for at most `timeoutMs` while the dialog `window` keeps
// painting and answering its user: sent messages, keyboard, mouse and paint
// messages and the posted close, command and system-command messages are
// dispatched (keys through the dialog's own keyboard handling). Every other
// posted message stays queued until the caller returns to its message loop,
// so that what was posted before the wait still comes after the caller's
// work. Ends early, with kWindowEnded, once the window no longer shows (a
// dialog that was ended is hidden at once).
WaitEnd WaitAnsweringUser(HANDLE object, DWORD timeoutMs, HWND window);

// A hidden message window of the user-interface thread that runs callables for
// other threads.
class CUiThreadCall {
public:
    CUiThreadCall() = default;
    ~CUiThreadCall();
    CUiThreadCall(const CUiThreadCall&) = delete;
    CUiThreadCall& operator=(const CUiThreadCall&) = delete;

    // Makes the window on the calling thread, which becomes the thread that
    // runs the calls.
    bool Create();
    void Destroy();

    // Runs `call` on the user-interface thread and returns once it has run: at
    // once when called there, else by a sent message. False when there is no
    // window (never created or destroyed) or the callable ended by an exception.
    bool Call(const std::function<void()>& call) const;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool TakePending(const void* call) const;

    std::atomic<HWND> window_{nullptr};
    // The calls in flight. A message whose pointer is not among them did not
    // come from Call (any process may send to the window) and is not followed.
    mutable std::mutex pendingLock_;
    mutable std::vector<const void*> pending_;
};
