#include "framework/message_box.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "tests/framework/ui_test_support.h"

namespace {

class MessageBoxTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(mainWindow.Create());
        SetMainWindow(&mainWindow);
        SetMessageCaption("测试程序");
    }
    void TearDown() override
    {
        SetMainWindow(nullptr);
        SetMessageCaption(std::string());
    }

    CTestMainWindow mainWindow;
};

TEST_F(MessageBoxTest, MainWindowIsKnownOnlyWhileItHasAWindow)
{
    EXPECT_EQ(GetMainWindow(), mainWindow.Hwnd());
    CTestMainWindow notCreated;
    SetMainWindow(&notCreated);
    EXPECT_EQ(GetMainWindow(), nullptr);
    SetMainWindow(nullptr);
    EXPECT_EQ(GetMainWindow(), nullptr);
}

TEST_F(MessageBoxTest, BoxCarriesTheApplicationCaptionAndBelongsToTheMainWindow)
{
    std::atomic<HWND> owner{nullptr};
    std::wstring text;
    CWindowDriver driver(L"#32770", L"测试程序", [&](HWND box) {
        owner = GetWindow(box, GW_OWNER);
        HWND label = FindChildByText(box, L"安装完成。");
        text = label != nullptr ? WindowTextOf(label) : L"";
        ClickButton(box, IDOK);
    });
    EXPECT_EQ(ShowMessageBox("安装完成。"), IDOK);
    EXPECT_TRUE(driver.Finish());
    EXPECT_EQ(owner, mainWindow.Hwnd());
    EXPECT_EQ(text, L"安装完成。");
}

TEST_F(MessageBoxTest, AnswerAndCaptionFollowTheCall)
{
    CWindowDriver driver(L"#32770", L"Unable", [](HWND box) { ClickButton(box, IDNO); });
    EXPECT_EQ(ShowMessageBox("继续吗?", MB_YESNO | MB_ICONQUESTION, "Unable"), IDNO);
    EXPECT_TRUE(driver.Finish());
}

TEST_F(MessageBoxTest, WithoutMainWindowTheBoxHasNoOwner)
{
    SetMainWindow(nullptr);
    std::atomic<HWND> owner{reinterpret_cast<HWND>(1)};
    CWindowDriver driver(L"#32770", L"测试程序", [&](HWND box) {
        owner = GetWindow(box, GW_OWNER);
        ClickButton(box, IDOK);
    });
    EXPECT_EQ(ShowMessageBox("没有主窗口"), IDOK);
    EXPECT_TRUE(driver.Finish());
    EXPECT_EQ(owner, nullptr);
}

}  // namespace
