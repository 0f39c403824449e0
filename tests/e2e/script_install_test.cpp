// Script package installs of the real program: the target list, the overwrite
// prompt and the toolbar option.
#include "res/resource.h"
#include "tests/bench/host_link.h"
#include "tests/e2e/setup_scenario.h"
#include "util/file_system.h"
#include "util/wide_text.h"

namespace e2e {
namespace {

class ScriptInstall : public SetupScenario {
protected:
    // Installed and current, script packages beside the program, and a
    // Frame.ini with two label folders: the window opens on the script page.
    void SetUp() override
    {
        SetupScenario::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        RecordInstalledProduct("2.2");
        PutScriptPackagesBesideProgram();
        labelA_ = root_ + "\\常用工具\\";
        labelB_ = root_ + "\\labels\\second\\";
        CreateDirectoryW(WidenText(productFolder_ + "\\Support").c_str(), nullptr);
        CreateDirectoryW(WidenText(productFolder_ + "\\Support\\Location").c_str(), nullptr);
        ASSERT_TRUE(WriteWholeFile(productFolder_ + "\\Support\\Location\\Frame.ini",
                                   "[FrameParam]\r\nLEFTVIEW_COUNT=2\r\n"
                                   "LEFTVIEWSTATE_0_sStartPath=" + labelA_ + "\r\n"
                                   "LEFTVIEWSTATE_0_sTitle=常用工具\r\n"
                                   "LEFTVIEWSTATE_1_sStartPath=" + labelB_ + "\r\n"
                                   "LEFTVIEWSTATE_1_sTitle=Second\r\n"));
        CreateDirectoryW(WidenText(labelA_).c_str(), nullptr);
        CreateDirectoryW(WidenText(root_ + "\\labels").c_str(), nullptr);
        CreateDirectoryW(WidenText(labelB_).c_str(), nullptr);
        CreateDirectoryW(WidenText(productFolder_ + "\\Sys").c_str(), nullptr);
        PutStandin("MrvScript", productFolder_ + "\\Sys\\MrvScript.exe");
    }

    std::string UserFolder() const { return productFolder_ + "\\Library\\Script\\"; }

    void StartOnScriptPage()
    {
        Start();
        ASSERT_EQ(CurrentPage(), Page::Script);
    }

    // Ends the program from the finish page without starting the product.
    void FinishWithoutProduct()
    {
        ASSERT_TRUE(SetCheck(window_, IDC_START_PRODUCT, false));
        ASSERT_TRUE(Click(window_, IDC_FINISH));
        ASSERT_TRUE(run_.WaitForExit());
    }

    std::string labelA_;
    std::string labelB_;
};

TEST_F(ScriptInstall, LabelFolderTargetCopiesTheProgramFolderAndStartsTheToolbarInstall)
{
    StartOnScriptPage();
    const std::vector<std::string> expected = {"[用户路径] " + UserFolder(),
                                               "[常用工具] " + labelA_, "[Second] " + labelB_};
    EXPECT_EQ(ComboItems(window_, IDC_SCRIPT_TARGETS), expected);
    EXPECT_EQ(ComboSelection(window_, IDC_SCRIPT_TARGETS), 0);
    EXPECT_FALSE(IsChecked(window_, IDC_INSTALL_TOOLBAR));
    ExpectOnlyPageShown(Page::Script);
    Shot("1_script_page");

    ASSERT_TRUE(SelectComboItem(window_, IDC_SCRIPT_TARGETS, 1));
    ASSERT_TRUE(SetCheck(window_, IDC_INSTALL_TOOLBAR, true));
    ASSERT_TRUE(Click(window_, IDC_INSTALL_SCRIPTS));
    ASSERT_TRUE(WaitForPage(Page::Finish));
    Shot("2_finish_page");
    EXPECT_FALSE(IsShown(window_, IDC_UNINSTALL));

    const auto copied = SnapshotFolder(labelA_);
    EXPECT_EQ(copied.count("demo.esf"), 1u);
    EXPECT_EQ(copied.count("tools.esf"), 1u);
    EXPECT_EQ(copied.count("readme_scripts.txt"), 1u);
    EXPECT_EQ(copied.count("icons\\tool.ico"), 1u) << "subfolders arrive in lower case";
    EXPECT_EQ(copied.count("TessalySetup.exe"), 0u) << "the program does not copy itself";
    const std::vector<StartRecord> records = WaitForRecords(1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].program, productFolder_ + "\\Sys\\MrvScript.exe");
    EXPECT_EQ(records[0].arguments, "/dde " + programFolder_ + "|" + labelA_);
    FinishWithoutProduct();
    EXPECT_EQ(Records().size(), 1u);
}

// A link in the target stops the copy there: the message names it, the
// toolbar install does not start for a half-copied package, and the page
// stays for another target.
TEST_F(ScriptInstall, ALinkInTheTargetStopsTheCopyWithAMessage)
{
    const std::string outside = root_ + "\\outside";
    ASSERT_TRUE(CreateDirectoryW(WidenText(outside).c_str(), nullptr));
    const std::string link = labelA_ + "icons";
    ASSERT_TRUE(host_link::MakeFolderLink(link, outside));
    StartOnScriptPage();
    ASSERT_TRUE(SelectComboItem(window_, IDC_SCRIPT_TARGETS, 1));
    ASSERT_TRUE(SetCheck(window_, IDC_INSTALL_TOOLBAR, true));
    ASSERT_TRUE(Click(window_, IDC_INSTALL_SCRIPTS));
    const HWND box = WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box),
              "目标中的 " + link + " 是一个链接，复制在此停止，其后的文件没有复制！");
    Shot("copy_stopped", box);
    ASSERT_TRUE(Answer(box, IDOK));
    ASSERT_TRUE(Settle(window_));
    EXPECT_EQ(CurrentPage(), Page::Script);
    EXPECT_TRUE(Records().empty()) << "the toolbar install started for a half-copied package";
    EXPECT_TRUE(SnapshotFolder(outside).empty()) << "a file was written through the link";
    host_link::RemoveFolderLink(link);
}

TEST_F(ScriptInstall, OverwritePromptAnswersDecideFileByFile)
{
    struct Case {
        const char* name;
        int firstAnswer;
        std::size_t prompts;
        bool firstReplaced;
        bool secondReplaced;
        bool finished;
    };
    const Case cases[] = {
        {"overwrite", IDC_OVERWRITE, 2, true, true, true},
        {"overwrite_all", IDC_OVERWRITE_ALL, 1, true, true, true},
        {"skip", IDC_SKIP, 2, false, true, true},
        {"skip_all", IDC_SKIP_ALL, 1, false, false, true},
        {"cancel", IDCANCEL, 1, false, false, false},
    };
    const std::string conflicts[] = {"demo.esf", "readme_scripts.txt"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(WidenText(recordPath_).c_str());
        DeleteFolderTree(productFolder_ + "\\Library");
        CreateDirectoryW(WidenText(productFolder_ + "\\Library").c_str(), nullptr);
        CreateDirectoryW(WidenText(UserFolder()).c_str(), nullptr);
        for (const std::string& name : conflicts) {
            ASSERT_TRUE(WriteWholeFile(UserFolder() + name, "old"));
        }
        StartOnScriptPage();
        ASSERT_TRUE(SetCheck(window_, IDC_INSTALL_TOOLBAR, true));
        ASSERT_TRUE(Click(window_, IDC_INSTALL_SCRIPTS));

        // Each prompt names the file it asks about; later prompts are answered "覆盖".
        std::vector<std::string> asked;
        for (;;) {
            HWND prompt = nullptr;
            ASSERT_TRUE(WaitUntil([&] {
                prompt = run_.FindOwnedDialog(window_);
                return (prompt != nullptr && !MessageBoxText(prompt).empty()) ||
                       CurrentPage() == Page::Finish;
            }));
            if (prompt == nullptr) {
                break;
            }
            ASSERT_NE(GetDlgItem(prompt, IDC_OVERWRITE_ALL), nullptr) << "not the overwrite prompt";
            const std::string question = MessageBoxText(prompt);
            std::string file;
            for (const std::string& name : conflicts) {
                if (question == "目标文件" + UserFolder() + name + "已经存在，覆盖吗？") {
                    file = name;
                }
            }
            ASSERT_FALSE(file.empty()) << question;
            if (asked.empty()) {
                Shot(std::string("prompt_") + c.name, prompt);
            }
            asked.push_back(file);
            ASSERT_TRUE(Answer(prompt, asked.size() == 1 ? c.firstAnswer : IDC_OVERWRITE));
            if (!c.finished) {
                break;
            }
        }
        ASSERT_EQ(asked.size(), c.prompts);
        const std::string second = asked[0] == conflicts[0] ? conflicts[1] : conflicts[0];
        ASSERT_TRUE(Settle(window_));
        std::string bytes;
        ASSERT_TRUE(ReadFileBytes(UserFolder() + asked[0], bytes));
        EXPECT_EQ(bytes != "old", c.firstReplaced) << asked[0];
        if (c.finished) {
            ASSERT_TRUE(ReadFileBytes(UserFolder() + second, bytes));
            EXPECT_EQ(bytes != "old", c.secondReplaced) << second;
            EXPECT_EQ(CurrentPage(), Page::Finish);
            EXPECT_EQ(WaitForRecords(1).size(), 1u) << "the toolbar install was not started";
        } else {
            EXPECT_EQ(CurrentPage(), Page::Script);
            EXPECT_TRUE(Records().empty()) << "the toolbar install started after a cancel";
        }
        run_.Kill();
    }
}

TEST_F(ScriptInstall, PickedFolderBecomesTheUserEntry)
{
    StartOnScriptPage();
    ASSERT_TRUE(SelectComboItem(window_, IDC_SCRIPT_TARGETS, 2));

    // The picker opens on the selected entry's folder; cancelling changes nothing.
    ASSERT_TRUE(Click(window_, IDC_PICK_TARGET));
    HWND picker = run_.WaitForOwnedDialog(window_);
    ASSERT_NE(picker, nullptr);
    ASSERT_TRUE(Settle(picker));
    Shot("folder_picker", picker);
    ASSERT_TRUE(Answer(picker, IDCANCEL));
    ASSERT_TRUE(Settle(window_));
    EXPECT_EQ(ComboItems(window_, IDC_SCRIPT_TARGETS).front(), "[用户路径] " + UserFolder());
    EXPECT_EQ(ComboSelection(window_, IDC_SCRIPT_TARGETS), 2);

    // Taking the folder it opened on makes that folder the first entry, selected.
    ASSERT_TRUE(Click(window_, IDC_PICK_TARGET));
    picker = run_.WaitForOwnedDialog(window_);
    ASSERT_NE(picker, nullptr);
    // The browser fills its tree down to the start folder in its own time.
    ASSERT_TRUE(WaitUntil([&] { return TreeSelectionText(picker) == "second"; }))
        << TreeSelectionText(picker);
    ASSERT_TRUE(Answer(picker, IDOK));
    ASSERT_TRUE(Settle(window_));
    const std::string picked = labelB_.substr(0, labelB_.size() - 1);
    const std::vector<std::string> expected = {"[用户路径] " + picked, "[常用工具] " + labelA_,
                                               "[Second] " + labelB_};
    EXPECT_EQ(ComboItems(window_, IDC_SCRIPT_TARGETS), expected);
    EXPECT_EQ(ComboSelection(window_, IDC_SCRIPT_TARGETS), 0);
}

TEST_F(ScriptInstall, NoSelectionIsRefused)
{
    StartOnScriptPage();
    ASSERT_TRUE(SelectComboItem(window_, IDC_SCRIPT_TARGETS, -1) ||
                ComboSelection(window_, IDC_SCRIPT_TARGETS) == -1);
    ASSERT_TRUE(Click(window_, IDC_INSTALL_SCRIPTS));
    const HWND box = WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), "请选择安装文件夹！");
    EXPECT_EQ(TextOf(box), kMessageCaption);
    ASSERT_TRUE(Answer(box, IDOK));
    ASSERT_TRUE(Settle(window_));
    EXPECT_EQ(CurrentPage(), Page::Script);
    EXPECT_FALSE(FileExists(UserFolder() + "demo.esf"));
}

}  // namespace
}  // namespace e2e
