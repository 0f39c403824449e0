#include "app/message_helpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>

#include "framework/controls.h"
#include "framework/message_box.h"
#include "res/resource.h"
#include "tests/framework/ui_test_support.h"

namespace {

const wchar_t kCaption[] = L"安装 - 墨岚岱文 Morvane Tessaly";

class OverwritePromptTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(InitControlClasses());
        ASSERT_TRUE(mainWindow.Create());
        SetMainWindow(&mainWindow);
    }
    void TearDown() override { SetMainWindow(nullptr); }

    CTestMainWindow mainWindow;
};

// Each way of answering the prompt, and the copy policy it gives.
TEST_F(OverwritePromptTest, EveryAnswerGivesItsCopyPolicy)
{
    struct Case {
        const char* name;
        std::function<void(DWORD, HWND)> answer;
        int expected;
    };
    const auto click = [](int id) { return [id](DWORD, HWND prompt) { ClickButton(prompt, id); }; };
    const Case cases[] = {
        {"覆盖", click(IDC_OVERWRITE), 2},
        {"全部覆盖", click(IDC_OVERWRITE_ALL), 3},
        {"跳过", click(IDC_SKIP), 4},
        {"全部跳过", click(IDC_SKIP_ALL), 5},
        {"取消", click(IDCANCEL), 0},
        {"Enter", [](DWORD ui, HWND prompt) { PressKey(ui, prompt, VK_RETURN); }, 2},
        {"Esc", [](DWORD ui, HWND prompt) { PressKey(ui, prompt, VK_ESCAPE); }, 0},
        {"title bar close",
         [](DWORD, HWND prompt) { PostMessageW(prompt, WM_SYSCOMMAND, SC_CLOSE, 0); }, 0},
    };
    const std::string question = "文件 'C:\\脚本\\a.esf' 已经存在！\n是否替换它?";
    const DWORD ui = GetCurrentThreadId();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring shown;
        std::atomic<HWND> owner{nullptr};
        CWindowDriver driver(L"#32770", kCaption, [&](HWND prompt) {
            wchar_t text[256] = {};
            GetDlgItemTextW(prompt, IDC_QUESTION, text, 256);
            shown = text;
            owner = GetWindow(prompt, GW_OWNER);
            c.answer(ui, prompt);
        });
        EXPECT_EQ(AskOverwrite(question), c.expected);
        EXPECT_TRUE(driver.Finish());
        EXPECT_EQ(shown, L"文件 'C:\\脚本\\a.esf' 已经存在！\n是否替换它?");
        EXPECT_EQ(owner, mainWindow.Hwnd());
    }
}

}  // namespace
