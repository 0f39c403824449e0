#include "controls/group_panel.h"

#include <gtest/gtest.h>

#include "tests/controls/control_host.h"
#include "tests/framework/ui_test_support.h"

namespace {

constexpr DWORD kInvisibleGroupBox = BS_GROUPBOX;

class GroupPanelTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(host.Create());
        // The box is created hidden, as the install window's frames are.
        HWND box = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | kInvisibleGroupBox, 20, 20, 200,
                                   120, host.Hwnd(), reinterpret_cast<HMENU>(1008),
                                   GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(panel.Attach(box));
        inside = host.AddChild(L"BUTTON", "in", 0, RECT{30, 30, 100, 60}, 1);
        // Its right and bottom edges coincide with the box's: not inside.
        edge = host.AddChild(L"BUTTON", "edge", 0, RECT{150, 100, 220, 140}, 2);
        straddling = host.AddChild(L"BUTTON", "out", 0, RECT{180, 50, 260, 80}, 3);
        lastInside = host.AddChild(L"STATIC", "in too", 0, RECT{40, 100, 219, 139}, 4);
    }

    RECT Where(HWND window) const { return RectInClient(window, host.Hwnd()); }

    CControlHost host;
    CGroupPanel panel;
    HWND inside = nullptr;
    HWND edge = nullptr;
    HWND straddling = nullptr;
    HWND lastInside = nullptr;
};

TEST_F(GroupPanelTest, CollectsOnlyWindowsWhollyInside)
{
    panel.CollectMembers();
    EXPECT_EQ(panel.Members(), (std::vector<HWND>{inside, lastInside}));
}

TEST_F(GroupPanelTest, ShowingAndHidingTheBoxCarriesItsMembers)
{
    panel.CollectMembers();
    ShowWindow(panel.Hwnd(), SW_SHOW);
    ShowWindow(panel.Hwnd(), SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(inside));
    EXPECT_FALSE(IsWindowVisible(lastInside));
    EXPECT_TRUE(IsWindowVisible(straddling));
    EXPECT_TRUE(IsWindowVisible(edge));

    // A page is shown: the box with its members, then the box alone hidden.
    ShowWindow(panel.Hwnd(), SW_SHOW);
    panel.suspended = true;
    ShowWindow(panel.Hwnd(), SW_HIDE);
    panel.suspended = false;
    EXPECT_FALSE(IsWindowVisible(panel.Hwnd()));
    EXPECT_TRUE(IsWindowVisible(inside));
    EXPECT_TRUE(IsWindowVisible(lastInside));
}

TEST_F(GroupPanelTest, EnablingTheBoxCarriesItsMembers)
{
    panel.CollectMembers();
    EnableWindow(panel.Hwnd(), FALSE);
    EXPECT_FALSE(IsWindowEnabled(inside));
    EXPECT_TRUE(IsWindowEnabled(straddling));
    EnableWindow(panel.Hwnd(), TRUE);
    EXPECT_TRUE(IsWindowEnabled(inside));
}

TEST_F(GroupPanelTest, MovingTheBoxMovesItsMembersBySizingDoesNot)
{
    panel.CollectMembers();
    SetWindowPos(panel.Hwnd(), nullptr, 30, 15, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_EQ(Where(inside).left, 40);
    EXPECT_EQ(Where(inside).top, 25);
    EXPECT_EQ(Where(lastInside).left, 50);
    EXPECT_EQ(Where(lastInside).bottom, 134);
    EXPECT_EQ(Where(straddling).left, 180);

    SetWindowPos(panel.Hwnd(), nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER);
    MoveWindow(panel.Hwnd(), 30, 15, 250, 150, TRUE);
    EXPECT_EQ(Where(inside).left, 40);
    EXPECT_EQ(Where(inside).top, 25);
}

// The label inside stands in for an animation, which its first Open makes in
// the label's place; a box carries the animation as it carried the label.
TEST_F(GroupPanelTest, DestroyedMemberIsSkippedOneReplacedInPlaceIsCarried)
{
    panel.CollectMembers();
    const RECT placeholderRect = Where(lastInside);
    CAnimateCtl animation;
    ASSERT_TRUE(animation.Attach(lastInside));
    ShowWindow(lastInside, SW_HIDE);
    DestroyWindow(inside);
    EXPECT_TRUE(animation.Stop());
    EXPECT_FALSE(animation.Play());
    // No such clip: the animation stays, empty.
    EXPECT_FALSE(animation.Open(9999));
    ASSERT_FALSE(IsWindow(lastInside));
    HWND made = animation.Hwnd();
    EXPECT_EQ(GetDlgItem(host.Hwnd(), 4), made);
    const RECT madeRect = Where(made);
    EXPECT_TRUE(EqualRect(&placeholderRect, &madeRect));
    EXPECT_FALSE(IsWindowVisible(made));

    ShowWindow(panel.Hwnd(), SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(made));
    ShowWindow(panel.Hwnd(), SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(made));
}

TEST_F(GroupPanelTest, NestedBoxesShareTheirCommonMembers)
{
    CGroupPanel outer;
    HWND outerBox = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | kInvisibleGroupBox, 10, 10, 300,
                                    200, host.Hwnd(), reinterpret_cast<HMENU>(1009),
                                    GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(outer.Attach(outerBox));
    panel.CollectMembers();
    outer.CollectMembers();
    EXPECT_TRUE(outer.IsMember(panel.Hwnd()));
    EXPECT_TRUE(outer.IsMember(inside));

    ShowWindow(outerBox, SW_SHOW);
    ShowWindow(outerBox, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(inside));
    ShowWindow(panel.Hwnd(), SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(inside));
}

}  // namespace
