#include "framework/dialog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "framework/controls.h"
#include "res/resource.h"
#include "tests/framework/ui_test_support.h"

namespace {

const wchar_t kCaption[] = L"安装 - 墨岚岱文 Morvane Tessaly";

class DialogTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(InitControlClasses()); }

    static bool NoWindowOfThisThreadLeft()
    {
        return WaitForThreadWindow(GetCurrentThreadId(), L"#32770", nullptr, 0) == nullptr;
    }
};

// How the user (or the program) ends a dialog, and what DoModal answers.
TEST_F(DialogTest, EndsWithTheAnswerOfItsEnding)
{
    struct Case {
        const char* name;
        std::function<void(HWND)> action;
        INT_PTR expected;
    };
    const DWORD ui = GetCurrentThreadId();
    const Case cases[] = {
        {"Esc", [ui](HWND dialog) { PressKey(ui, dialog, VK_ESCAPE); }, IDCANCEL},
        {"cancel button", [](HWND dialog) { ClickButton(dialog, IDCANCEL); }, IDCANCEL},
        {"title bar close",
         [](HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }, IDCANCEL},
        {"OK command",
         [](HWND dialog) { PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); },
         IDOK},
        {"another button", [](HWND dialog) { ClickButton(dialog, IDC_SKIP); }, IDC_SKIP},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CProbeDialog dialog(IDD_OVERWRITE);
        CWindowDriver driver(L"#32770", kCaption, c.action);
        EXPECT_EQ(dialog.DoModal(), c.expected);
        EXPECT_TRUE(driver.Finish());
        EXPECT_EQ(dialog.Hwnd(), nullptr);
    }
}

TEST_F(DialogTest, EndDialogFromTheProgramGivesItsValue)
{
    CProbeDialog dialog(IDD_OVERWRITE, [](CProbeDialog& self) { self.EndDialog(7); });
    EXPECT_EQ(dialog.DoModal(), 7);
}

TEST_F(DialogTest, CheckStatesGoIntoTheBoxesAndBackOnOK)
{
    int licence = 1;
    int startProduct = 0;
    int toolbar = 0;
    CProbeDialog dialog(IDD_INSTALL);
    dialog.endOnOtherButtons = false;
    dialog.ExchangeCheck(IDC_LICENCE_ACCEPTED, licence);
    dialog.ExchangeCheck(IDC_START_PRODUCT, startProduct);
    dialog.ExchangeCheck(IDC_INSTALL_TOOLBAR, toolbar);
    std::atomic<LRESULT> licenceShown{-1};
    std::atomic<LRESULT> startShown{-1};
    CWindowDriver driver(L"#32770", kCaption, [&](HWND window) {
        licenceShown = SendMessageW(GetDlgItem(window, IDC_LICENCE_ACCEPTED), BM_GETCHECK, 0, 0);
        startShown = SendMessageW(GetDlgItem(window, IDC_START_PRODUCT), BM_GETCHECK, 0, 0);
        SendMessageW(GetDlgItem(window, IDC_START_PRODUCT), BM_CLICK, 0, 0);
        SendMessageW(GetDlgItem(window, IDC_LICENCE_ACCEPTED), BM_CLICK, 0, 0);
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_TRUE(driver.Finish());
    EXPECT_EQ(licenceShown, BST_CHECKED);
    EXPECT_EQ(startShown, BST_UNCHECKED);
    EXPECT_EQ(licence, BST_UNCHECKED);
    EXPECT_EQ(startProduct, BST_CHECKED);
    EXPECT_EQ(toolbar, BST_UNCHECKED);
}

TEST_F(DialogTest, CancelLeavesTheMembersAsTheyWere)
{
    int licence = 1;
    CProbeDialog dialog(IDD_INSTALL);
    dialog.endOnOtherButtons = false;
    dialog.ExchangeCheck(IDC_LICENCE_ACCEPTED, licence);
    CWindowDriver driver(L"#32770", kCaption, [](HWND window) {
        SendMessageW(GetDlgItem(window, IDC_LICENCE_ACCEPTED), BM_CLICK, 0, 0);
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_TRUE(driver.Finish());
    EXPECT_EQ(licence, BST_CHECKED);
}

TEST_F(DialogTest, BoundControlsHaveTheirItemsWhileTheDialogRuns)
{
    CButtonCtl installNow;
    CProgressCtl progress;
    CComboBoxCtl targets;
    HWND seenButton = nullptr;
    std::string seenText;
    int seenUpper = 0;
    int seenPos = 0;
    std::string seenItem;
    CProbeDialog dialog(IDD_INSTALL, [&](CProbeDialog& self) {
        seenButton = self.GetItem(IDC_INSTALL_NOW) == installNow.Hwnd() ? installNow.Hwnd() : nullptr;
        seenText = installNow.GetText();
        progress.SetRange32(0, 3000000);
        progress.SetPos(2500000);
        int lower = -1;
        progress.GetRange(lower, seenUpper);
        seenPos = progress.GetPos();
        targets.AddString("用户路径");
        targets.SetCurSel(0);
        seenItem = targets.GetItemText(targets.GetCurSel());
        self.EndDialog(IDOK);
    });
    dialog.BindItem(IDC_INSTALL_NOW, installNow);
    dialog.BindItem(IDC_PROGRESS, progress);
    dialog.BindItem(IDC_SCRIPT_TARGETS, targets);
    EXPECT_EQ(installNow.Hwnd(), nullptr);
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_NE(seenButton, nullptr);
    EXPECT_EQ(seenText, "立即安装");
    EXPECT_EQ(seenUpper, 3000000);
    EXPECT_EQ(seenPos, 2500000);
    EXPECT_EQ(seenItem, "用户路径");
    EXPECT_EQ(installNow.Hwnd(), nullptr);
}

// A dialog that cannot be set up as registered does not run.
TEST_F(DialogTest, MissingItemsOrFailedInitialisationEndWithMinusOne)
{
    {
        int state = 0;
        CProbeDialog dialog(IDD_OVERWRITE);
        dialog.ExchangeCheck(4242, state);
        EXPECT_EQ(dialog.DoModal(), -1);
    }
    {
        CButtonCtl missing;
        CProbeDialog dialog(IDD_OVERWRITE);
        dialog.BindItem(4242, missing);
        EXPECT_EQ(dialog.DoModal(), -1);
        EXPECT_EQ(missing.Hwnd(), nullptr);
    }
    {
        CProbeDialog dialog(IDD_OVERWRITE);
        dialog.throwInInit = true;
        EXPECT_EQ(dialog.DoModal(), -1);
    }
    {
        CProbeDialog dialog(4711);
        EXPECT_EQ(dialog.DoModal(), -1);
    }
    EXPECT_TRUE(NoWindowOfThisThreadLeft());
}

class COwnerDrawnButton : public CButtonCtl {
public:
    std::atomic<int> draws{0};
    std::atomic<int> clicks{0};

protected:
    void OnAttached() override
    {
        SetStyle((Style() & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
    }
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        switch (message) {
        case ReflectedMessage(WM_DRAWITEM): {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            FillRect(item->hDC, &item->rcItem, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            ++draws;
            return TRUE;
        }
        case ReflectedMessage(WM_COMMAND):
            ++clicks;
            return 0;
        default:
            return CButtonCtl::HandleMessage(message, wParam, lParam);
        }
    }
};

TEST_F(DialogTest, OwnerDrawnItemGetsItsDrawRequestsAndClicks)
{
    COwnerDrawnButton button;
    std::atomic<int> drawsBeforeClick{0};
    CProbeDialog dialog(IDD_OVERWRITE);
    dialog.BindItem(IDC_OVERWRITE_ALL, button);
    CWindowDriver driver(L"#32770", kCaption, [&](HWND window) {
        HWND item = GetDlgItem(window, IDC_OVERWRITE_ALL);
        // The dialog's own thread may take the repaint before this one does.
        RedrawWindow(item, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        for (int i = 0; i < 200 && button.draws.load() == 0; ++i) {
            Sleep(10);
        }
        drawsBeforeClick = button.draws.load();
        PostMessageW(item, BM_CLICK, 0, 0);
    });
    EXPECT_EQ(dialog.DoModal(), IDC_OVERWRITE_ALL);
    EXPECT_TRUE(driver.Finish());
    EXPECT_GT(drawsBeforeClick, 0);
    EXPECT_EQ(button.clicks, 1);
}

}  // namespace
