#include "framework/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

namespace {

DWORD ExitCodeOf(HANDLE thread)
{
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    return code;
}

// The handle is in place before the worker's first step: the worker finds its
// own thread there, every time.
TEST(WorkerThread, RunsTheBodyWithItsHandleAlreadyStored)
{
    for (int run = 0; run < 20; ++run) {
        UniqueHandle thread;
        std::atomic<DWORD> seenByWorker{0};
        ASSERT_TRUE(StartWorkerThread(thread, [&]() -> DWORD {
            seenByWorker = GetThreadId(thread.get());
            return 42;
        }));
        ASSERT_TRUE(thread);
        ASSERT_EQ(WaitForSingleObject(thread.get(), 10000), WAIT_OBJECT_0);
        EXPECT_EQ(ExitCodeOf(thread.get()), 42u);
        EXPECT_EQ(seenByWorker, GetThreadId(thread.get()));
        EXPECT_NE(seenByWorker, 0u);
    }
}

TEST(WorkerThread, ExceptionEndsTheThreadWithTheFailureCode)
{
    UniqueHandle thread;
    ASSERT_TRUE(StartWorkerThread(thread, []() -> DWORD { throw std::runtime_error("worker"); }));
    ASSERT_EQ(WaitForSingleObject(thread.get(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCodeOf(thread.get()), kThreadFailed);
}

TEST(WorkerThread, EmptyBodyStartsNothing)
{
    UniqueHandle thread;
    EXPECT_FALSE(StartWorkerThread(thread, std::function<DWORD()>()));
    EXPECT_FALSE(thread);
}

class UiThreadCallTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(calls.Create()); }

    CUiThreadCall calls;
};

TEST_F(UiThreadCallTest, WorkerCallsRunOnTheUserInterfaceThreadWhileItWaits)
{
    const DWORD ui = GetCurrentThreadId();
    std::vector<DWORD> ranOn;
    std::atomic<int> succeeded{0};
    UniqueHandle worker;
    ASSERT_TRUE(StartWorkerThread(worker, [&]() -> DWORD {
        for (int i = 0; i < 200; ++i) {
            if (calls.Call([&] { ranOn.push_back(GetCurrentThreadId()); })) {
                ++succeeded;
            }
        }
        return 0;
    }));
    ASSERT_TRUE(WaitForThreadDispatching(worker.get(), 20000));
    EXPECT_EQ(succeeded, 200);
    ASSERT_EQ(ranOn.size(), 200u);
    for (DWORD thread : ranOn) {
        EXPECT_EQ(thread, ui);
    }
}

TEST_F(UiThreadCallTest, CallOnTheUserInterfaceThreadRunsAtOnce)
{
    bool ran = false;
    EXPECT_TRUE(calls.Call([&] { ran = true; }));
    EXPECT_TRUE(ran);
}

TEST_F(UiThreadCallTest, FailingCallReportsFalse)
{
    EXPECT_FALSE(calls.Call([] { throw std::runtime_error("call"); }));
    EXPECT_FALSE(calls.Call(std::function<void()>()));
}

TEST_F(UiThreadCallTest, CallAfterTheWindowIsGoneFailsWithoutWaiting)
{
    calls.Destroy();
    std::atomic<bool> result{true};
    bool ran = false;
    UniqueHandle worker;
    ASSERT_TRUE(StartWorkerThread(worker, [&]() -> DWORD {
        result = calls.Call([&] { ran = true; });
        return 0;
    }));
    ASSERT_EQ(WaitForSingleObject(worker.get(), 10000), WAIT_OBJECT_0);
    EXPECT_FALSE(result);
    EXPECT_FALSE(ran);
}

// Any program may send the registered message to the window; only pointers
// that Call handed over are followed.
TEST_F(UiThreadCallTest, ForeignMessageIsNotFollowed)
{
    HWND window = nullptr;
    for (HWND candidate = FindWindowExW(HWND_MESSAGE, nullptr, L"FrameworkUiThreadCall", nullptr);
         candidate != nullptr;
         candidate = FindWindowExW(HWND_MESSAGE, candidate, L"FrameworkUiThreadCall", nullptr)) {
        if (GetWindowThreadProcessId(candidate, nullptr) == GetCurrentThreadId()) {
            window = candidate;
        }
    }
    ASSERT_NE(window, nullptr);
    bool ran = false;
    const std::function<void()> stray = [&] { ran = true; };
    const UINT message = RegisterWindowMessageW(L"Framework.UiThreadCall");
    EXPECT_EQ(SendMessageW(window, message, 0, reinterpret_cast<LPARAM>(&stray)), 0);
    EXPECT_EQ(SendMessageW(window, message, 0, 0x1234), 0);
    EXPECT_FALSE(ran);
}

// A plain wait would block the worker's synchronous call for ever; the
// dispatching wait runs it, and leaves posted messages where they are.
TEST_F(UiThreadCallTest, DispatchingWaitRunsSentCallsAndKeepsPostedMessages)
{
    constexpr UINT kPosted = WM_APP + 55;
    ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), kPosted, 0, 0));
    std::atomic<bool> ran{false};
    UniqueHandle worker;
    ASSERT_TRUE(StartWorkerThread(worker, [&]() -> DWORD {
        return calls.Call([&] { ran = true; }) ? 0 : 1;
    }));
    EXPECT_EQ(WaitForSingleObject(worker.get(), 300), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_FALSE(ran);
    ASSERT_TRUE(WaitForThreadDispatching(worker.get(), 20000));
    EXPECT_TRUE(ran);
    EXPECT_EQ(ExitCodeOf(worker.get()), 0u);
    MSG message;
    EXPECT_TRUE(PeekMessageW(&message, nullptr, kPosted, kPosted, PM_REMOVE));
}

TEST_F(UiThreadCallTest, DispatchingWaitTimesOutOnALongWorker)
{
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueHandle worker;
    ASSERT_TRUE(StartWorkerThread(worker, [&]() -> DWORD {
        WaitForSingleObject(event.get(), 20000);
        return 0;
    }));
    EXPECT_FALSE(WaitForThreadDispatching(worker.get(), 100));
    SetEvent(event.get());
    EXPECT_TRUE(WaitForThreadDispatching(worker.get()));
}

// The wait that keeps a window answering its user: a close request comes
// through at once, a message posted for later stays queued for later.
TEST(AnsweringWait, TakesTheUsersMessagesAndLeavesOtherPostedOnes)
{
    HWND window = CreateWindowExW(0, L"STATIC", L"wait", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    constexpr UINT kPosted = WM_APP + 56;
    ASSERT_TRUE(PostMessageW(window, kPosted, 0, 0));
    EXPECT_EQ(WaitAnsweringUser(event.get(), 100, window), WaitEnd::kTimedOut);
    SetEvent(event.get());
    EXPECT_EQ(WaitAnsweringUser(event.get(), 10000, window), WaitEnd::kSignalled);
    MSG message;
    EXPECT_TRUE(PeekMessageW(&message, window, kPosted, kPosted, PM_REMOVE));

    ResetEvent(event.get());
    ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
    EXPECT_EQ(WaitAnsweringUser(event.get(), 10000, window), WaitEnd::kWindowEnded);
    EXPECT_FALSE(IsWindow(window));
}

}  // namespace
