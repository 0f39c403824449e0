#include "controls/icon_button.h"

#include <gtest/gtest.h>

#include "res/resource.h"
#include "tests/controls/control_host.h"
#include "tests/framework/ui_test_support.h"

namespace {

constexpr int kButtonId = 1005;
constexpr int kNextId = 1006;
constexpr COLORREF kPageColor = RGB(236, 245, 251);
constexpr COLORREF kHoverColor = RGB(200, 16, 32);

// 0x00RRGGBB as the screen capture gives it.
unsigned ScreenColor(COLORREF color)
{
    return (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color);
}

TEST(ShiftedColorTest, KeepsHueAndChannelsInRange)
{
    struct Case {
        COLORREF color;
        int shade;
        COLORREF expected;
    };
    const Case cases[] = {
        {RGB(240, 240, 240), 30, RGB(255, 255, 255)},
        {RGB(250, 100, 0), 30, RGB(255, 105, 5)},
        {RGB(10, 200, 200), -30, RGB(0, 190, 190)},
        {RGB(10, 200, 200), 0, RGB(10, 200, 200)},
        {RGB(0, 0, 0), 255, RGB(255, 255, 255)},
        {RGB(255, 128, 1), -255, RGB(254, 127, 0)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ShiftedColor(c.color, c.shade), c.expected)
            << std::hex << c.color << " " << c.shade;
    }
}

class IconButtonTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(host.Create());
        HWND window = host.AddChild(L"BUTTON", "立即安装", WS_TABSTOP | BS_DEFPUSHBUTTON,
                                    RECT{20, 20, 170, 64}, kButtonId);
        next = host.AddChild(L"BUTTON", "next", WS_TABSTOP, RECT{20, 100, 120, 130}, kNextId);
        ASSERT_TRUE(button.Attach(window));
    }

    // The way the install window configures its buttons.
    void Configure(int iconId = IDI_INSTALL, int size = 31)
    {
        button.imageMargin = size / 2;
        button.SetFlatLook(true, true);
        button.SetHoverWhenInactive(true);
        button.SetIconResource(GetModuleHandleW(nullptr), static_cast<UINT>(iconId), size, size);
        button.SetStateColor(kColorFocusBack, kPageColor, true);
        button.SetStateColor(kColorNormalBack, kPageColor, true);
        button.ShiftStateColor(kColorActiveBack, 30, true);
        RedrawWindow(host.Hwnd(), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    }

    // The colour of the button's background just inside its border.
    unsigned BackgroundPixel()
    {
        UpdateWindow(button.Hwnd());
        return CaptureClientPixels(button.Hwnd(), RECT{2, 2, 3, 3}).at(0);
    }

    void PointAt(HWND window, int x, int y)
    {
        POINT point{x, y};
        ClientToScreen(window, &point);
        SetCursorPos(point.x, point.y);
    }

    CControlHost host;
    CIconButton button;
    HWND next = nullptr;
};

TEST_F(IconButtonTest, BecomesOwnerDrawnAndKeepsTheDefaultFlag)
{
    EXPECT_EQ(button.GetButtonType(), static_cast<UINT>(BS_OWNERDRAW));
    EXPECT_TRUE(button.IsDefaultButton());
    EXPECT_NE(button.Send(WM_GETDLGCODE) & DLGC_DEFPUSHBUTTON, 0);

    button.SetButtonStyle(BS_PUSHBUTTON);
    EXPECT_FALSE(button.IsDefaultButton());
    EXPECT_EQ(button.GetButtonType(), static_cast<UINT>(BS_OWNERDRAW));
    EXPECT_NE(button.Send(WM_GETDLGCODE) & DLGC_UNDEFPUSHBUTTON, 0);
}

TEST_F(IconButtonTest, ConfigurationResults)
{
    EXPECT_EQ(button.SetStateColor(6, RGB(1, 2, 3)), kIconButtonBadIndex);
    EXPECT_EQ(button.SetStateColor(-1, RGB(1, 2, 3)), kIconButtonBadIndex);
    EXPECT_EQ(button.GetStateColor(kColorActiveBack), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(button.ShiftStateColor(0, 256), kIconButtonBadShade);
    EXPECT_EQ(button.ShiftStateColor(0, -256), kIconButtonBadShade);
    EXPECT_EQ(button.ShiftStateColor(6, 10), kIconButtonBadIndex);
    EXPECT_EQ(button.GetStateColor(kColorActiveBack), GetSysColor(COLOR_BTNFACE));
    // A shift starts from the colour the state has.
    EXPECT_EQ(button.SetStateColor(kColorActiveBack, RGB(100, 90, 200)), kIconButtonOk);
    EXPECT_EQ(button.ShiftStateColor(kColorActiveBack, 30), kIconButtonOk);
    EXPECT_EQ(button.GetStateColor(kColorActiveBack), RGB(130, 120, 230));

    EXPECT_EQ(button.SetIconResource(GetModuleHandleW(nullptr), IDI_INSTALL, 31, 31),
              kIconButtonOk);
    EXPECT_EQ(button.IconSize().cx, 31);
    EXPECT_EQ(button.IconSize().cy, 31);
    // Without sizes the icon keeps the size it was loaded at.
    EXPECT_EQ(button.SetIconResource(GetModuleHandleW(nullptr), IDI_CANCEL), kIconButtonOk);
    ASSERT_NE(button.Icon(), nullptr);
    EXPECT_GT(button.IconSize().cx, 0);
    // A missing icon leaves the button without one.
    EXPECT_EQ(button.SetIconResource(GetModuleHandleW(nullptr), 9999, 16, 16), kIconButtonOk);
    EXPECT_EQ(button.Icon(), nullptr);
}

TEST_F(IconButtonTest, SystemColourChangeRevertsTheOwnersColours)
{
    Configure();
    EXPECT_EQ(button.GetStateColor(kColorNormalBack), kPageColor);
    button.Send(WM_SYSCOLORCHANGE);
    for (int index = 0; index < kIconButtonColorCount; ++index) {
        EXPECT_EQ(button.GetStateColor(index),
                  GetSysColor(index % 2 == 0 ? COLOR_BTNFACE : COLOR_BTNTEXT));
    }
}

TEST_F(IconButtonTest, HoverLightsTheButtonUntilTheMouseLeaves)
{
    Configure();
    button.SetStateColor(kColorActiveBack, kHoverColor, true);
    PointAt(next, 5, 5);
    PumpMessages(50);
    SetFocus(next);
    EXPECT_EQ(BackgroundPixel(), ScreenColor(kPageColor));

    PointAt(button.Hwnd(), 30, 20);
    button.Send(WM_MOUSEMOVE, 0, MAKELPARAM(30, 20));
    EXPECT_TRUE(button.IsHovered());
    EXPECT_EQ(BackgroundPixel(), ScreenColor(kHoverColor));

    PointAt(next, 5, 5);
    for (int i = 0; i < 100 && button.IsHovered(); ++i) {
        PumpMessages(20);
    }
    EXPECT_FALSE(button.IsHovered());
    EXPECT_EQ(BackgroundPixel(), ScreenColor(kPageColor));
}

TEST_F(IconButtonTest, PressDraggedInDoesNotLight)
{
    Configure();
    PointAt(button.Hwnd(), 30, 20);
    button.Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(30, 20));
    EXPECT_FALSE(button.IsHovered());
    button.SetFlatLook(false);
    button.Send(WM_MOUSEMOVE, 0, MAKELPARAM(30, 20));
    EXPECT_FALSE(button.IsHovered());
}

TEST_F(IconButtonTest, DisablingMovesTheFocusToTheNextTabStop)
{
    HWND other = host.AddChild(L"EDIT", "", WS_TABSTOP, RECT{200, 100, 300, 120}, 1007);
    SetFocus(other);
    button.Enable(false);
    EXPECT_EQ(GetFocus(), next);
}

TEST_F(IconButtonTest, DoubleClickActsAsTwoClicks)
{
    const LPARAM inside = MAKELPARAM(10, 10);
    button.Send(WM_LBUTTONDOWN, MK_LBUTTON, inside);
    button.Send(WM_LBUTTONUP, 0, inside);
    button.Send(WM_LBUTTONDBLCLK, MK_LBUTTON, inside);
    button.Send(WM_LBUTTONUP, 0, inside);
    EXPECT_EQ(host.clicks, (std::vector<int>{kButtonId, kButtonId}));
    EXPECT_EQ(GetFocus(), button.Hwnd());
}

TEST_F(IconButtonTest, IconWithoutCaptionIsCentred)
{
    button.SetText("");
    Configure(IDI_BROWSE_TARGET, 16);
    UpdateWindow(button.Hwnd());
    const RECT client = button.ClientRect();
    const std::vector<unsigned> pixels = CaptureClientPixels(button.Hwnd(), client);
    const int width = client.right;
    const unsigned back = ScreenColor(kPageColor);
    int left = width;
    int right = -1;
    for (int y = 2; y < client.bottom - 2; ++y) {
        for (int x = 2; x < width - 2; ++x) {
            if (pixels[static_cast<std::size_t>(y) * width + x] != back) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    ASSERT_GE(right, left);
    const int expectedLeft = (width - 16) / 2;
    EXPECT_GE(left, expectedLeft);
    EXPECT_LE(right, expectedLeft + 15);
    EXPECT_LE(std::abs((left + right + 1) / 2 - width / 2), 2);
}

}  // namespace
