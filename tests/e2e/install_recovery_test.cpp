// The program at start-up undoes an install that a killed process or a power
// loss cut off, before its window opens, and says so in one message.
#include "product/install_journal.h"
#include "tests/e2e/setup_scenario.h"
#include "util/file_system.h"
#include "util/wide_text.h"

namespace e2e {
namespace {

class InstallRecovery : public SetupScenario {
protected:
    // What the install step leaves when it is cut off after replacing a file
    // and adding a folder with a file: the journal stays in the backup folder.
    void LeaveCutOffInstall(const std::string& backupFolder)
    {
        CInstallJournal journal;
        ASSERT_TRUE(journal.Begin(backupFolder, productFolder_));
        ASSERT_TRUE(journal.RecordCreatedFolder(productFolder_ + "\\New"));
        ASSERT_TRUE(journal.RecordAddedFile(productFolder_ + "\\New\\added.txt"));
        ASSERT_TRUE(CopyFileW(WidenText(productFolder_ + "\\Sys\\a.dll").c_str(),
                              WidenText(backupFolder + "Sys\\a.dll").c_str(), FALSE));
        ASSERT_TRUE(journal.RecordReplacedFile(productFolder_ + "\\Sys\\a.dll", "Sys\\a.dll"));
        ASSERT_TRUE(journal.Commit());
        ASSERT_TRUE(CreateDirectoryW(WidenText(productFolder_ + "\\New").c_str(), nullptr));
        ASSERT_TRUE(WriteWholeFile(productFolder_ + "\\New\\added.txt", "added"));
        ASSERT_TRUE(WriteWholeFile(productFolder_ + "\\Sys\\a.dll", "half of the new a.dll"));
    }
};

TEST_F(InstallRecovery, StartRestoresTheFolderBeforeTheWindowOpens)
{
    RecordInstalledProduct("2.1");
    ASSERT_TRUE(CreateDirectoryTree(CPathName(productFolder_ + "\\Sys\\")));
    ASSERT_TRUE(WriteWholeFile(productFolder_ + "\\Sys\\a.dll", "the user's a.dll"));
    ASSERT_TRUE(WriteWholeFile(productFolder_ + "\\keep.txt", "kept"));
    const auto before = SnapshotFolder(productFolder_);
    const std::string backupFolder = tempFolder_ + "\\" + kBackupFolderName;
    ASSERT_TRUE(CreateDirectoryTree(CPathName(backupFolder + "Sys\\")));
    LeaveCutOffInstall(backupFolder);
    ASSERT_NE(SnapshotFolder(productFolder_), before);

    ASSERT_TRUE(run_.Start(program_, {"http_proxy=http://127.0.0.1:" + std::to_string(site::Port()),
                                      "no_proxy=", "TEMP=" + tempFolder_, "TMP=" + tempFolder_,
                                      "MRV_STANDIN_RECORD=" + recordPath_}));
    const HWND box = run_.WaitForMainWindow(kMessageCaption);
    ASSERT_NE(box, nullptr) << "no message about the recovery";
    ASSERT_TRUE(WaitUntil([&] { return !MessageBoxText(box).empty(); }));
    Shot("message", box);
    EXPECT_EQ(MessageBoxText(box),
              "上次的安装没有完成（安装程序被中断或电脑断电）。\n\n已将 " + productFolder_ +
                  " 恢复到安装前的状态：恢复了 1 个被替换的文件，删除了 1 个新增的文件和 1 "
                  "个新建的文件夹。");
    EXPECT_EQ(SnapshotFolder(productFolder_), before);
    EXPECT_FALSE(FolderExists(productFolder_ + "\\New"));
    EXPECT_FALSE(FileExists(backupFolder + kJournalFileName));
    ASSERT_TRUE(Answer(box, IDOK));

    window_ = run_.WaitForMainWindow(kCaption);
    ASSERT_NE(window_, nullptr) << "the install window did not show after the message";
    EXPECT_TRUE(WaitUntil([&] { return CurrentPage() != Page::None; }));
}

}  // namespace
}  // namespace e2e
