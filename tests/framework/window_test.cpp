#include "framework/window.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include <commctrl.h>

#include "framework/controls.h"
#include "util/handles.h"

namespace {

constexpr UINT kThrowingMessage = WM_APP + 7;
constexpr LRESULT kParentColorAnswer = 5;
constexpr LRESULT kParentNotifyAnswer = 9;
constexpr LRESULT kChildNotifyAnswer = 77;
constexpr int kChildId = 300;

class CRecordingChild : public CButtonCtl {
public:
    bool handlesReflection = true;
    LRESULT commandAnswer = 0;
    LRESULT colorAnswer = 0;
    int reflectedCommands = 0;
    int reflectedDraws = 0;
    int ownMessages = 0;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_APP) {
            ++ownMessages;
            return 1;
        }
        if (handlesReflection) {
            switch (message) {
            case ReflectedMessage(WM_DRAWITEM):
                ++reflectedDraws;
                return TRUE;
            case ReflectedMessage(WM_CTLCOLORBTN):
                return colorAnswer;
            case ReflectedMessage(WM_NOTIFY):
                return kChildNotifyAnswer;
            case ReflectedMessage(WM_COMMAND):
                ++reflectedCommands;
                return commandAnswer;
            default:
                break;
            }
        }
        return CButtonCtl::HandleMessage(message, wParam, lParam);
    }
};

class CRecordingParent : public CWindow {
public:
    int creates = 0;
    int commands = 0;

    bool Create()
    {
        const wchar_t* kClass = L"MorvaneTestParent";
        RegisterOwnClass(kClass, 0, nullptr, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
        return CreateOwnWindow(kClass, 0, WS_POPUP, RECT{10, 10, 310, 210}, nullptr, 0, "父窗口");
    }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        switch (message) {
        case WM_CREATE:
            ++creates;
            break;
        case WM_COMMAND:
            ++commands;
            return 0;
        case WM_CTLCOLORBTN:
            return kParentColorAnswer;
        case WM_NOTIFY:
            return kParentNotifyAnswer;
        case kThrowingMessage:
            throw std::runtime_error("handler failed");
        default:
            break;
        }
        return CWindow::HandleMessage(message, wParam, lParam);
    }
};

class WindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(parent.Create());
        button = CreateWindowExW(0, L"BUTTON", L"按钮", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10,
                                 10, 100, 30, parent.Hwnd(),
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(kChildId)),
                                 GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(button, nullptr);
    }
    void TearDown() override
    {
        if (parent.Hwnd() != nullptr) {
            DestroyWindow(parent.Hwnd());
        }
    }

    CRecordingParent parent;
    HWND button = nullptr;
};

TEST_F(WindowTest, OwnWindowSeesItsCreationAndLosesItsHandleWhenDestroyed)
{
    EXPECT_EQ(parent.creates, 1);
    EXPECT_EQ(CWindow::FromHandle(parent.Hwnd()), &parent);
    EXPECT_EQ(parent.GetText(), "父窗口");
    DestroyWindow(parent.Hwnd());
    EXPECT_EQ(parent.Hwnd(), nullptr);
}

TEST_F(WindowTest, AttachBindsOneObjectToOneWindow)
{
    CRecordingChild child;
    CRecordingChild other;
    ASSERT_TRUE(child.Attach(button));
    EXPECT_EQ(CWindow::FromHandle(button), &child);
    EXPECT_FALSE(other.Attach(button));
    EXPECT_FALSE(child.Attach(parent.Hwnd()));
    EXPECT_FALSE(other.Attach(nullptr));
    EXPECT_EQ(SendMessageW(button, WM_APP, 0, 0), 1);
    EXPECT_EQ(child.ownMessages, 1);

    child.Detach();
    EXPECT_EQ(CWindow::FromHandle(button), nullptr);
    SendMessageW(button, WM_APP, 0, 0);
    EXPECT_EQ(child.ownMessages, 1);
    EXPECT_TRUE(other.Attach(button));
}

TEST_F(WindowTest, ObjectThatDiesFirstLeavesTheWindowWorking)
{
    {
        CRecordingChild child;
        ASSERT_TRUE(child.Attach(button));
    }
    EXPECT_EQ(CWindow::FromHandle(button), nullptr);
    SendMessageW(button, WM_APP, 0, 0);
    EXPECT_EQ(SendMessageW(button, WM_GETTEXTLENGTH, 0, 0), 2);
}

TEST_F(WindowTest, TextsAreCodePage936OnOurSide)
{
    CRecordingChild child;
    ASSERT_TRUE(child.Attach(button));
    child.SetText("墨岚岱文 Morvane");
    wchar_t wide[64] = {};
    GetWindowTextW(button, wide, 64);
    EXPECT_STREQ(wide, L"墨岚岱文 Morvane");
    EXPECT_EQ(child.GetText(), "墨岚岱文 Morvane");
    child.SetText("");
    EXPECT_EQ(child.GetText(), "");
}

// What the parent answers, and who saw the message, for each reflected kind.
TEST_F(WindowTest, ParentReflectsControlMessagesToItsChild)
{
    struct Case {
        const char* name;
        UINT message;
        bool childHandles;
        LRESULT commandAnswer;
        LRESULT expected;
        int childCommands;
        int parentCommands;
    };
    const LRESULT childBrush = reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
    const Case cases[] = {
        {"colour handled by the child", WM_CTLCOLORBTN, true, 0, childBrush, 0, 0},
        {"colour left to the parent", WM_CTLCOLORBTN, false, 0, kParentColorAnswer, 0, 0},
        {"notification handled by the child", WM_NOTIFY, true, 0, kChildNotifyAnswer, 0, 0},
        {"notification left to the parent", WM_NOTIFY, false, 0, kParentNotifyAnswer, 0, 0},
        {"click seen by both", WM_COMMAND, true, 0, 0, 1, 1},
        {"click kept by the child", WM_COMMAND, true, 1, 0, 1, 0},
        {"click only for the parent", WM_COMMAND, false, 0, 0, 0, 1},
    };
    UniqueMemoryDC dc(CreateCompatibleDC(nullptr));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRecordingChild child;
        ASSERT_TRUE(child.Attach(button));
        child.handlesReflection = c.childHandles;
        child.commandAnswer = c.commandAnswer;
        child.colorAnswer = childBrush;
        parent.commands = 0;

        LRESULT result = 0;
        NMHDR header{button, static_cast<UINT_PTR>(kChildId), NM_CLICK};
        switch (c.message) {
        case WM_CTLCOLORBTN:
            result = SendMessageW(parent.Hwnd(), WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc.get()),
                                  reinterpret_cast<LPARAM>(button));
            break;
        case WM_NOTIFY:
            result = SendMessageW(parent.Hwnd(), WM_NOTIFY, static_cast<WPARAM>(kChildId),
                                  reinterpret_cast<LPARAM>(&header));
            break;
        default:
            result = SendMessageW(parent.Hwnd(), WM_COMMAND, MAKEWPARAM(kChildId, BN_CLICKED),
                                  reinterpret_cast<LPARAM>(button));
            break;
        }
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(child.reflectedCommands, c.childCommands);
        EXPECT_EQ(parent.commands, c.parentCommands);
        child.Detach();
    }
}

TEST_F(WindowTest, OwnerDrawnChildDrawsItself)
{
    CRecordingChild child;
    ASSERT_TRUE(child.Attach(button));
    child.SetStyle((child.Style() & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
    ShowWindow(parent.Hwnd(), SW_SHOWNA);
    RedrawWindow(button, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
    EXPECT_GT(child.reflectedDraws, 0);
}

TEST_F(WindowTest, ExceptionInHandlerStaysInsideTheWindowProcedure)
{
    EXPECT_EQ(SendMessageW(parent.Hwnd(), kThrowingMessage, 0, 0), 0);
    EXPECT_EQ(SendMessageW(parent.Hwnd(), WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), 0), 0);
    EXPECT_EQ(parent.commands, 1);
}

TEST(ReflectedMessage, OnlyTheReflectedKindsAreInTheBand)
{
    EXPECT_TRUE(IsReflectedMessage(ReflectedMessage(WM_DRAWITEM)));
    EXPECT_TRUE(IsReflectedMessage(ReflectedMessage(WM_CTLCOLORSTATIC)));
    EXPECT_TRUE(IsReflectedMessage(ReflectedMessage(WM_NOTIFY)));
    EXPECT_FALSE(IsReflectedMessage(WM_DRAWITEM));
    EXPECT_FALSE(IsReflectedMessage(ReflectedMessage(WM_PAINT)));
    // The common controls' own messages start at the same base.
    EXPECT_FALSE(IsReflectedMessage(CCM_SETVERSION));
}

// A wait inside a handler runs what is waiting but leaves a quit request, with
// its exit code, to the loop that runs the thread.
TEST_F(WindowTest, PendingMessagesRunButAQuitRequestStaysForTheLoop)
{
    PostMessageW(parent.Hwnd(), WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), 0);
    EXPECT_TRUE(DispatchPendingMessages());
    EXPECT_EQ(parent.commands, 1);

    PostQuitMessage(7);
    EXPECT_FALSE(DispatchPendingMessages());
    MSG message{};
    ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 7u);
}

}  // namespace
