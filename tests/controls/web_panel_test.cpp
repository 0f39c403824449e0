#include "controls/web_panel.h"

#include <gtest/gtest.h>

#include "tests/controls/control_host.h"
#include "tests/framework/ui_test_support.h"

namespace {

constexpr int kPlaceholderId = 1002;

class WebPanelTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(host.Create());
        placeholder = host.AddChild(L"EDIT", "", WS_BORDER, RECT{10, 10, 360, 170}, kPlaceholderId);
        ASSERT_NE(placeholder, nullptr);
    }

    CControlHost host;
    HWND placeholder = nullptr;
};

TEST_F(WebPanelTest, MissingPlaceholderCreatesNothing)
{
    CWebPanel panel;
    EXPECT_FALSE(panel.CreateInPlaceOf(host.Hwnd(), 4711));
    EXPECT_EQ(panel.Hwnd(), nullptr);
    EXPECT_FALSE(panel.HasBrowser());
    EXPECT_TRUE(IsWindow(placeholder));
    EXPECT_FALSE(panel.CreateInPlaceOf(nullptr, kPlaceholderId));
}

TEST_F(WebPanelTest, NavigateWithoutBrowserDoesNothing)
{
    CWebPanel panel;
    panel.Navigate("http://127.0.0.1:1/tessaly.php");
    EXPECT_FALSE(panel.HasBrowser());
    EXPECT_EQ(panel.BrowserHwnd(), nullptr);
}

// This machine's browser control has no HTML engine, so it never shows the
// blank page: the panel gives up within its bounded wait and leaves nothing.
// Where an engine exists, the panel stands in the placeholder's place.
TEST_F(WebPanelTest, TakesThePlaceholdersPlaceOrLeavesNothing)
{
    const RECT expected = RectInClient(placeholder, host.Hwnd());
    CWebPanel panel;
    const bool created = panel.CreateInPlaceOf(host.Hwnd(), kPlaceholderId);
    EXPECT_FALSE(IsWindow(placeholder));
    if (!created) {
        EXPECT_EQ(panel.Hwnd(), nullptr);
        EXPECT_EQ(GetDlgItem(host.Hwnd(), kPlaceholderId), nullptr);
        EXPECT_FALSE(panel.HasBrowser());
        panel.Navigate("about:blank");
        return;
    }
    EXPECT_EQ(GetDlgItem(host.Hwnd(), kPlaceholderId), panel.Hwnd());
    const RECT actual = RectInClient(panel.Hwnd(), host.Hwnd());
    EXPECT_TRUE(EqualRect(&actual, &expected));
    ASSERT_NE(panel.BrowserHwnd(), nullptr);
    MoveWindow(panel.Hwnd(), 0, 0, 200, 100, TRUE);
    RECT browser{};
    GetWindowRect(panel.BrowserHwnd(), &browser);
    EXPECT_EQ(browser.right - browser.left, 200);
    EXPECT_EQ(browser.bottom - browser.top, 100);
}

}  // namespace
