#include "controls/browse_edit.h"

#include <gtest/gtest.h>

#include <thread>
#include <utility>

#include "tests/controls/control_host.h"
#include "tests/framework/ui_test_support.h"

namespace {

constexpr int kContainerId = 1006;
constexpr unsigned char kInstallStyle = kBrowseFolderFieldStyle;
// The same without the folder browser, so that a browse ends at once.
constexpr unsigned char kNoBrowserStyle = kInstallStyle & ~kBrowseForFolder;

// A fresh folder that the folder browser's tree shows, removed at the end.
class BrowseFolder {
public:
    explicit BrowseFolder(const wchar_t* name)
        : path_(std::wstring(L"C:\\") + name + std::to_wstring(GetCurrentProcessId()))
    {
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~BrowseFolder() { RemoveDirectoryW(path_.c_str()); }
    std::string Path() const { return NarrowText(path_); }

private:
    std::wstring path_;
};

class BrowseEditTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(host.Create()); }

    void Make(RECT rect = RECT{20, 20, 420, 44}, unsigned char style = kInstallStyle)
    {
        HWND container = host.AddChild(L"BUTTON", "", WS_TABSTOP, rect, kContainerId);
        ASSERT_TRUE(edit.Attach(container));
        edit.SetBrowseStyle(style);
        edit.SetDialogCaption("安装目录");
        edit.SetDialogPrompt("请选择安装目录");
        edit.SetNotifyMessage(WM_BROWSE_NOTIFY);
    }

    // What the user's typing does: a new text in the edit.
    void Type(const std::string& text)
    {
        SetWindowTextW(edit.EditHwnd(), WidenText(text).c_str());
    }

    std::string EditText() const { return NarrowText(WindowTextOf(edit.EditHwnd())); }

    void PointAt(int x, int y)
    {
        POINT point{x, y};
        ClientToScreen(edit.Hwnd(), &point);
        SetCursorPos(point.x, point.y);
    }

    // Answers the folder browser with `command` from a helper thread and
    // records the browser's title.
    void AnswerBrowser(int command)
    {
        const DWORD thread = GetCurrentThreadId();
        helper = std::thread([this, thread, command] {
            HWND browser = WaitForThreadWindow(thread, L"#32770", nullptr);
            if (browser == nullptr) {
                return;
            }
            browserTitle = WindowTextOf(browser);
            Sleep(100);
            PostMessageW(browser, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
        });
    }

    void TearDown() override
    {
        if (helper.joinable()) {
            helper.join();
        }
    }

    CControlHost host;
    CBrowseEdit edit;
    std::thread helper;
    std::wstring browserTitle;
};

TEST_F(BrowseEditTest, LaysOutEditAndButton)
{
    Make();
    const RECT client = edit.ClientRect();
    const RECT button = edit.ButtonRect();
    EXPECT_EQ(button.right, client.right);
    EXPECT_EQ(button.right - button.left, CBrowseEdit::kButtonWidth);
    EXPECT_EQ(edit.EditRect().right, button.left);
    EXPECT_EQ(RectInClient(edit.EditHwnd(), edit.Hwnd()).right, button.left);
    const RECT picture = edit.PictureRect();
    EXPECT_EQ(picture.right - picture.left, 16);
    EXPECT_LE(std::abs((picture.left - button.left) - (button.right - picture.right)), 1);
    EXPECT_EQ(GetDlgCtrlID(edit.EditHwnd()), CBrowseEdit::kEditId);
    EXPECT_EQ(edit.GetText(), "");
}

TEST_F(BrowseEditTest, NarrowControlIsAllButton)
{
    Make(RECT{20, 20, 47, 44});
    EXPECT_EQ(edit.ButtonRect().left, 0);
    EXPECT_EQ(edit.EditRect().right - edit.EditRect().left, 0);
}

TEST_F(BrowseEditTest, TypedPathCountsOnlyWhenItDiffersBeyondLetterCase)
{
    Make();
    edit.SetPath("C:\\Program Files\\Morvane\\MrvACAD");
    EXPECT_EQ(EditText(), "C:\\Program Files\\Morvane\\MrvACAD");
    EXPECT_FALSE(edit.IsPathTyped());
    EXPECT_EQ(host.browseNotes, (std::vector<WPARAM>{1}));

    Type("c:\\PROGRAM FILES\\morvane\\mrvacad");
    EXPECT_FALSE(edit.IsPathTyped());
    EXPECT_EQ(edit.GetPath(), "C:\\Program Files\\Morvane\\MrvACAD");

    Type("D:\\墨岚\\MrvACAD");
    EXPECT_TRUE(edit.IsPathTyped());
    EXPECT_EQ(edit.GetPath(), "D:\\墨岚\\MrvACAD");
    EXPECT_EQ(host.browseNotes, (std::vector<WPARAM>{1, 1, 1}));
}

TEST_F(BrowseEditTest, ReadOnlyEditDoesNotNotify)
{
    Make(RECT{20, 20, 420, 44}, kInstallStyle & ~kBrowseEditable);
    EXPECT_NE(GetWindowLongPtrW(edit.EditHwnd(), GWL_STYLE) & ES_READONLY, 0);
    edit.SetPath("C:\\a");
    EXPECT_EQ(edit.GetPath(), "C:\\a");
    EXPECT_TRUE(host.browseNotes.empty());
}

TEST_F(BrowseEditTest, BrowsingStartsAtTheTypedPathAndTakesTheChoice)
{
    BrowseFolder typed(L"mrv_typed_");
    Make();
    edit.SetPath("C:\\windows");
    Type(typed.Path());
    host.browseNotes.clear();
    host.clicks.clear();

    AnswerBrowser(IDOK);
    edit.Send(WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_TRUE(edit.IsPressed());
    edit.Send(WM_KEYUP, VK_SPACE, 0);
    helper.join();
    PumpMessages(50);

    EXPECT_EQ(browserTitle, L"安装目录");
    EXPECT_FALSE(edit.IsPressed());
    EXPECT_FALSE(edit.IsPathTyped());
    EXPECT_EQ(edit.GetPath(), typed.Path());
    EXPECT_EQ(EditText(), typed.Path());
    // Once while the choice goes into the edit, once with the result.
    EXPECT_EQ(host.browseNotes, (std::vector<WPARAM>{1, 1}));
    EXPECT_EQ(host.clicks, (std::vector<int>{kContainerId}));
}

TEST_F(BrowseEditTest, CancelledBrowseKeepsTheTextAndStillNotifies)
{
    Make();
    edit.SetPath("C:\\windows");
    host.browseNotes.clear();
    AnswerBrowser(IDCANCEL);
    const RECT button = edit.ButtonRect();
    const LPARAM inside = MAKELPARAM(button.left + 5, button.top + 5);
    edit.Send(WM_LBUTTONDOWN, MK_LBUTTON, inside);
    EXPECT_TRUE(edit.IsPressed());
    edit.Send(WM_LBUTTONUP, 0, inside);
    helper.join();
    PumpMessages(50);
    EXPECT_EQ(EditText(), "C:\\windows");
    EXPECT_EQ(edit.GetPath(), "C:\\windows");
    EXPECT_EQ(host.browseNotes, (std::vector<WPARAM>{kBrowseCancelled}));
    EXPECT_EQ(host.clicks, (std::vector<int>{kContainerId}));
}

TEST_F(BrowseEditTest, ReleaseOutsideTheButtonDoesNotBrowse)
{
    Make(RECT{20, 20, 420, 44}, kNoBrowserStyle);
    const RECT button = edit.ButtonRect();
    PointAt(button.left + 5, button.top + 5);
    edit.Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(button.left + 5, button.top + 5));
    edit.Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(button.left + 5, button.top + 5));
    EXPECT_TRUE(edit.IsHot());
    PointAt(button.left - 40, button.top + 5);
    for (int i = 0; i < 50 && edit.IsHot(); ++i) {
        PumpMessages(20);
    }
    EXPECT_FALSE(edit.IsHot());
    EXPECT_FALSE(edit.IsPressed());
    edit.Send(WM_LBUTTONUP, 0, MAKELPARAM(button.left - 40, button.top + 5));
    PumpMessages(20);
    EXPECT_TRUE(host.browseNotes.empty());
    EXPECT_TRUE(host.clicks.empty());
}

TEST_F(BrowseEditTest, EnterInTheEditBrowses)
{
    Make(RECT{20, 20, 420, 44}, kNoBrowserStyle);
    MSG enter{edit.EditHwnd(), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    EXPECT_NE(SendMessageW(edit.EditHwnd(), WM_GETDLGCODE, VK_RETURN,
                           reinterpret_cast<LPARAM>(&enter)) &
                  DLGC_WANTMESSAGE,
              0);
    SendMessageW(edit.EditHwnd(), WM_KEYDOWN, VK_RETURN, 0);
    PumpMessages(20);
    EXPECT_EQ(host.browseNotes, (std::vector<WPARAM>{kBrowseCancelled}));
    EXPECT_EQ(host.clicks, (std::vector<int>{kContainerId}));
}

// Focus coming into the control selects the whole path; focus leaving it puts
// the caret at the end, whichever way it comes and goes.
TEST_F(BrowseEditTest, FocusGoesToTheEditWithTheTextSelected)
{
    Make();
    HWND other = host.AddChild(L"EDIT", "", WS_TABSTOP, RECT{20, 60, 120, 80}, 1007);
    edit.SetPath("C:\\windows");
    const auto selection = [this] {
        DWORD start = 0;
        DWORD end = 0;
        SendMessageW(edit.EditHwnd(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        return std::make_pair(start, end);
    };
    const std::pair<DWORD, DWORD> all{0, 10};
    const std::pair<DWORD, DWORD> caretAtEnd{10, 10};

    SetFocus(edit.Hwnd());
    EXPECT_EQ(GetFocus(), edit.EditHwnd());
    EXPECT_EQ(selection(), all);
    SetFocus(other);
    EXPECT_EQ(selection(), caretAtEnd);
    SetFocus(edit.EditHwnd());
    EXPECT_EQ(selection(), all);
    SetFocus(other);
    EXPECT_EQ(selection(), caretAtEnd);
}

TEST_F(BrowseEditTest, TheButtonIsHotWhileTheMouseIsOverIt)
{
    Make(RECT{20, 20, 420, 44}, kNoBrowserStyle);
    const RECT button = edit.ButtonRect();
    PointAt(button.left + 5, button.top + 5);
    edit.Send(WM_MOUSEMOVE, 0, MAKELPARAM(button.left + 5, button.top + 5));
    EXPECT_TRUE(edit.IsHot());
    edit.Send(WM_MOUSELEAVE);
    EXPECT_FALSE(edit.IsHot());
    // The system reports the mouse leaving the control once it is tracked.
    edit.Send(WM_MOUSEMOVE, 0, MAKELPARAM(button.left + 5, button.top + 5));
    EXPECT_TRUE(edit.IsHot());
    PointAt(button.left + 5, button.bottom + 200);
    for (int i = 0; i < 50 && edit.IsHot(); ++i) {
        PumpMessages(20);
    }
    EXPECT_FALSE(edit.IsHot());
}

TEST_F(BrowseEditTest, DisablingGreysThePictureAndTheEdit)
{
    Make();
    // Row 1, column 10 of the picture is outline.
    auto outline = [this] {
        UpdateWindow(edit.Hwnd());
        const RECT picture = edit.PictureRect();
        return CaptureClientPixels(edit.Hwnd(), RECT{picture.left + 10, picture.top + 1,
                                                     picture.left + 11, picture.top + 2})
            .at(0);
    };
    EXPECT_EQ(outline(), 0x000000u);
    edit.Enable(false);
    EXPECT_FALSE(IsWindowEnabled(edit.EditHwnd()));
    EXPECT_EQ(outline(), 0x808080u);
    edit.Enable(true);
    EXPECT_TRUE(IsWindowEnabled(edit.EditHwnd()));
}

}  // namespace
