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

// The advertisement address comes from the network and the panel runs
// elevated: only web addresses are shown.
TEST(WebPanelAddressTest, OnlyHttpAndHttpsAddressesAreShown)
{
    const struct {
        const char* address;
        bool shown;
    } cases[] = {
        {"http://www.morvane.example/tessaly.php", true},
        {"HTTPS://www.morvane.example/", true},
        {"http://127.0.0.1:8080", true},
        {"file:///C:/Windows/win.ini", false},
        {"file://server/share/ad.html", false},
        {"\\\\server\\share\\ad.html", false},
        {"res://shell32.dll/1", false},
        {"javascript:alert(1)", false},
        {"about:blank", false},
        {"C:\\ad.html", false},
        {"http:", false},
        {"http://", false},
        {"http:///C:/ad.html", false},
        {"http://\\\\server\\share", false},
        {"http:\\\\server\\share", false},
        {" http://www.morvane.example/", false},
        {"httpx://www.morvane.example/", false},
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsWebAddress(c.address), c.shown) << c.address;
    }
}

// The bench's Wine prefix runs without the HTML engine (mshtml is disabled), so
// the browser control cannot show the blank page: the panel gives up and
// leaves nothing, neither itself nor the placeholder.
TEST_F(WebPanelTest, WithoutAnHtmlEngineLeavesNothing)
{
    CWebPanel panel;
    EXPECT_FALSE(panel.CreateInPlaceOf(host.Hwnd(), kPlaceholderId));
    EXPECT_FALSE(IsWindow(placeholder));
    EXPECT_EQ(panel.Hwnd(), nullptr);
    EXPECT_EQ(GetDlgItem(host.Hwnd(), kPlaceholderId), nullptr);
    EXPECT_FALSE(panel.HasBrowser());
    EXPECT_EQ(panel.BrowserHwnd(), nullptr);
}

}  // namespace
