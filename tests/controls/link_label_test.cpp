#include "controls/link_label.h"

#include <gtest/gtest.h>

#include "framework/message_box.h"
#include "tests/controls/control_host.h"
#include "tests/framework/ui_test_support.h"
#include "util/handles.h"

namespace {

constexpr int kLabelId = 1026;

// A code without an explanation of its own is shown by its number.
TEST(HyperlinkTextTest, CodesWithoutExplanationShowTheirNumber)
{
    for (const int code : {12, 40, -3}) {
        EXPECT_EQ(HyperlinkErrorText(code),
                  "Unable to open hyperlink:\n\nUnknown Error (" + std::to_string(code) +
                      ") occurred.");
    }
}

TEST(HyperlinkTextTest, HandlerCommandLineCutsAtThePlaceholder)
{
    struct Case {
        const char* handler;
        const char* expected;
    };
    const Case cases[] = {
        {"C:\\b.exe -n \"%1\"", "C:\\b.exe -n  x"},
        {"C:\\b.exe -n %1 -q", "C:\\b.exe -n  x"},
        {"\"C:\\b c.exe\" \"%1\" %1", "\"C:\\b c.exe\"  x"},
        {"C:\\b.exe", "C:\\b.exe x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HandlerCommandLine(c.handler, "x"), c.expected) << c.handler;
    }
}

class LinkLabelTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(host.Create()); }

    HWND AddStatic(DWORD style, RECT rect)
    {
        return host.AddChild(L"STATIC", "许可协议", style, rect, kLabelId);
    }

    void PointAt(HWND window, int x, int y)
    {
        POINT point{x, y};
        ClientToScreen(window, &point);
        SetCursorPos(point.x, point.y);
    }

    bool FontIsUnderlined()
    {
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HGDIOBJ>(label.Send(WM_GETFONT)), sizeof(font), &font);
        return font.lfUnderline != FALSE;
    }

    // The text colour the label chooses when its parent asks.
    COLORREF AnsweredTextColor()
    {
        WindowDC dc(label.Hwnd());
        SendMessageW(host.Hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.get()),
                     reinterpret_cast<LPARAM>(label.Hwnd()));
        return GetTextColor(dc.get());
    }

    CControlHost host;
    CLinkLabel label;
};

TEST_F(LinkLabelTest, TextServesAsAddressUntilOneIsSet)
{
    ASSERT_TRUE(label.Attach(AddStatic(0, RECT{20, 20, 200, 40})));
    EXPECT_NE(label.Style() & SS_NOTIFY, 0);
    EXPECT_EQ(label.GetLinkAddress(), "许可协议");
    EXPECT_EQ(label.TooltipText(), "许可协议");
    label.SetLinkAddress("http://127.0.0.1:1/License.php");
    EXPECT_EQ(label.TooltipText(), "http://127.0.0.1:1/License.php");
    EXPECT_EQ(label.GetText(), "许可协议");
    EXPECT_NE(label.HandCursor(), nullptr);
    EXPECT_TRUE(label.Send(WM_SETCURSOR, reinterpret_cast<WPARAM>(label.Hwnd()),
                           MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
}

TEST_F(LinkLabelTest, FitsToItsTextKeepingLeftEdgeAndVerticalCentre)
{
    const RECT before{20, 20, 220, 60};
    ASSERT_TRUE(label.Attach(AddStatic(SS_CENTERIMAGE | WS_BORDER, before)));
    const RECT after = RectInClient(label.Hwnd(), host.Hwnd());

    SIZE text{};
    {
        WindowDC dc(label.Hwnd());
        SelectedObject font(dc.get(), reinterpret_cast<HGDIOBJ>(label.Send(WM_GETFONT)));
        const std::wstring wide = WidenText("许可协议");
        GetTextExtentPoint32W(dc.get(), wide.c_str(), static_cast<int>(wide.size()), &text);
    }
    const RECT client = label.ClientRect();
    const LONG borders = (after.right - after.left) - client.right;
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(client.right, text.cx);
    EXPECT_EQ(client.bottom, text.cy);
    EXPECT_GT(borders, 0);
    EXPECT_LE(std::abs((after.top + after.bottom) - (before.top + before.bottom)), 1);
}

TEST_F(LinkLabelTest, HoverColourAndUnderlineFollowTheMouse)
{
    ASSERT_TRUE(label.Attach(AddStatic(0, RECT{20, 20, 200, 40})));
    PointAt(host.Hwnd(), 300, 200);
    EXPECT_FALSE(FontIsUnderlined());
    EXPECT_EQ(AnsweredTextColor(), label.linkColor);

    PointAt(label.Hwnd(), 3, 3);
    label.Send(WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    EXPECT_TRUE(label.IsHovered());
    EXPECT_TRUE(FontIsUnderlined());
    EXPECT_EQ(AnsweredTextColor(), label.hoverColor);

    PointAt(host.Hwnd(), 300, 200);
    for (int i = 0; i < 50 && label.IsHovered(); ++i) {
        PumpMessages(20);
    }
    EXPECT_FALSE(label.IsHovered());
    EXPECT_FALSE(FontIsUnderlined());
    EXPECT_EQ(AnsweredTextColor(), label.linkColor);

    label.SetVisitedState(true);
    EXPECT_EQ(AnsweredTextColor(), label.visitedColor);
}

TEST_F(LinkLabelTest, AlwaysUnderlinedStaysUnderlinedAfterHover)
{
    ASSERT_TRUE(label.Attach(AddStatic(0, RECT{20, 20, 200, 40})));
    label.SetUnderlineMode(kUnderlineAlways);
    EXPECT_TRUE(FontIsUnderlined());
    PointAt(label.Hwnd(), 3, 3);
    label.Send(WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    PointAt(host.Hwnd(), 300, 200);
    for (int i = 0; i < 50 && label.IsHovered(); ++i) {
        PumpMessages(20);
    }
    EXPECT_FALSE(label.IsHovered());
    EXPECT_TRUE(FontIsUnderlined());
    label.SetUnderlineMode(kUnderlineNever);
    EXPECT_FALSE(FontIsUnderlined());
}

TEST_F(LinkLabelTest, ClickReachesTheOwner)
{
    ASSERT_TRUE(label.Attach(AddStatic(0, RECT{20, 20, 200, 40})));
    label.Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    label.Send(WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    EXPECT_EQ(host.clicks, (std::vector<int>{kLabelId}));
}

// The shell cannot open a missing file, and this prefix has no handler for
// .htm: the box explains the shell's own code.
TEST_F(LinkLabelTest, FailedOpenExplainsTheShellsCodeAndClearsVisited)
{
    ASSERT_TRUE(label.Attach(AddStatic(0, RECT{20, 20, 200, 40})));
    label.SetLinkAddress("C:\\windows\\mrv_no_such_file.htm");
    label.SetVisitedState(true);
    SetMessageCaption("测试程序");
    std::wstring boxText;
    CWindowDriver driver(L"#32770", L"测试程序", [&boxText](HWND box) {
        boxText = WindowTextOf(GetDlgItem(box, 0xFFFF));
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    EXPECT_FALSE(label.OpenLink());
    EXPECT_TRUE(driver.Finish());
    SetMessageCaption(std::string());
    EXPECT_FALSE(label.IsVisited());
    EXPECT_EQ(boxText, L"Unable to open hyperlink:\n\nThe specified file was not found.");
}

}  // namespace
