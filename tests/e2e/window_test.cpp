// The real program's window: its geometry and pages, the finish command and
// the uninstall command.
#include "res/resource.h"
#include "tests/e2e/setup_scenario.h"
#include "util/wide_text.h"

namespace e2e {
namespace {

const int kFrames[] = {IDC_FRAME_SCRIPT, IDC_FRAME_DOWNLOAD, IDC_FRAME_INSTALL, IDC_FRAME_FINISH};

using SetupWindow = SetupScenario;

bool Inside(const RECT& inner, const RECT& outer)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

TEST_F(SetupWindow, ShrinksOntoTheScriptFrameWithEveryPageOverIt)
{
    Start();
    ASSERT_EQ(CurrentPage(), Page::Install);
    ExpectOnlyPageShown(Page::Install);
    Shot("install_page");

    const RECT window = ScreenRectOf(window_);
    const RECT frame = ScreenRectOf(Control(window_, IDC_FRAME_SCRIPT));
    EXPECT_EQ(window.left, 0);
    EXPECT_EQ(window.top, 0);
    EXPECT_EQ(window.right, frame.right + 2);
    EXPECT_EQ(window.bottom, frame.bottom + 2);
    for (const int other : kFrames) {
        const RECT rect = ScreenRectOf(Control(window_, other));
        EXPECT_TRUE(EqualRect(&rect, &frame)) << "frame " << other;
    }
    for (const auto& [page, ids] : PageMembers()) {
        for (const int id : ids) {
            EXPECT_TRUE(Inside(ScreenRectOf(Control(window_, id)), frame))
                << "control " << id << " of the " << PageName(page) << " page";
        }
    }
}

TEST_F(SetupWindow, EscapeOnTheInstallPageEndsTheProgram)
{
    Start();
    ASSERT_TRUE(PostMessageW(window_, WM_COMMAND, IDCANCEL, 0));
    EXPECT_TRUE(run_.WaitForExit());
    EXPECT_TRUE(Records().empty());
}

TEST_F(SetupWindow, FinishStartsTheProductByItsVersion)
{
    struct Case {
        const char* version;
        bool startProduct;
        const char* program;  // below the install folder; null: nothing starts
        const char* arguments;
    };
    const Case cases[] = {
        {"1.5", true, "\\Sys\\MrvScript.exe", ""},
        {"2.0", true, "\\MrvCADSetup.exe", "tessaly"},
        {"2.2", false, nullptr, ""},
    };
    RecordInstalledProduct("2.2");
    PutStandin("MrvCADSetup", productFolder_ + "\\MrvCADSetup.exe");
    CreateDirectoryW(WidenText(productFolder_ + "\\Sys").c_str(), nullptr);
    PutStandin("MrvScript", productFolder_ + "\\Sys\\MrvScript.exe");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        DeleteFileW(WidenText(recordPath_).c_str());
        RecordInstalledProduct(c.version);
        PutSite(c.version, Descriptor(std::string(kVendorHost) + "/download.php?key=11"),
                "product.zip");
        Start();
        ASSERT_EQ(CurrentPage(), Page::Finish);
        ExpectOnlyPageShown(Page::Finish);
        EXPECT_TRUE(IsShown(window_, IDC_UNINSTALL));
        EXPECT_TRUE(IsChecked(window_, IDC_START_PRODUCT));
        EXPECT_EQ(ControlText(window_, IDC_START_PRODUCT), "立即启动墨岚岱文");
        if (!c.startProduct) {
            ASSERT_TRUE(SetCheck(window_, IDC_START_PRODUCT, false));
        }
        ASSERT_TRUE(Click(window_, IDC_FINISH));
        ASSERT_TRUE(run_.WaitForExit());
        const std::vector<StartRecord> records = WaitForRecords(c.program ? 1 : 0);
        if (c.program == nullptr) {
            EXPECT_TRUE(records.empty());
            continue;
        }
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].program, productFolder_ + c.program);
        EXPECT_EQ(records[0].arguments, c.arguments);
    }
}

TEST_F(SetupWindow, UninstallStartsTheUninstallerAndEnds)
{
    RecordInstalledProduct("2.2");
    PutStandin("unins000", productFolder_ + "\\unins000.exe");
    Start();
    ASSERT_EQ(CurrentPage(), Page::Finish);
    Shot("finish_page_with_uninstall");
    ASSERT_TRUE(Click(window_, IDC_UNINSTALL));
    ASSERT_TRUE(run_.WaitForExit()) << "the program did not end (a message box?)";
    const std::vector<StartRecord> records = WaitForRecords(1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].program, productFolder_ + "\\unins000.exe");
    EXPECT_EQ(records[0].arguments, "null");
}

TEST_F(SetupWindow, UninstallWithoutUninstallerFallsBackToTheSetupProgram)
{
    RecordInstalledProduct("2.2");
    PutStandin("MrvCADSetup", productFolder_ + "\\MrvCADSetup.exe");
    Start();
    ASSERT_EQ(CurrentPage(), Page::Finish);

    ASSERT_TRUE(Click(window_, IDC_UNINSTALL));
    HWND box = WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), "确定卸载 墨岚软件 吗？");
    Shot("uninstall_question", box);
    ASSERT_TRUE(Answer(box, IDCANCEL));
    ASSERT_TRUE(Settle(window_));
    EXPECT_EQ(CurrentPage(), Page::Finish);
    EXPECT_TRUE(Records().empty());

    ASSERT_TRUE(Click(window_, IDC_UNINSTALL));
    box = WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(Answer(box, IDOK));
    box = WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), "卸载成功，可直接删除安装目录！\n" + productFolder_ + "\\");
    Shot("uninstall_done", box);
    const std::vector<StartRecord> records = WaitForRecords(1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].program, productFolder_ + "\\MrvCADSetup.exe");
    EXPECT_EQ(records[0].arguments, "null");
    ASSERT_TRUE(Answer(box, IDOK));
    EXPECT_TRUE(run_.WaitForExit());
}

}  // namespace
}  // namespace e2e
