#include "product/install_journal.h"

#include <map>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>

#include "tests/bench/host_link.h"
#include "tests/bench/test_files.h"
#include "util/file_system.h"
#include "util/wide_text.h"

namespace {

std::map<std::string, std::string> Snapshot(const std::string& folder)
{
    return TreeSnapshot(folder, FileDetail::kReadOnly);
}

class InstallJournalTest : public testing::Test {
protected:
    void SetUp() override
    {
        root_ = MakeTempFilePath("journal_test_" + std::to_string(GetCurrentProcessId()));
        DeleteFolderTree(root_);
        install_ = root_ + "\\安装\\MrvACAD";
        backup_ = root_ + "\\~downloadtmp\\";
        ASSERT_TRUE(CreateDirectoryTree(CPathName(install_ + "\\Sys\\")));
        ASSERT_TRUE(WriteWholeFile(install_ + "\\keep.txt", "untouched"));
        ASSERT_TRUE(WriteWholeFile(install_ + "\\readme.txt", std::string("old\0readme", 10)));
        ASSERT_TRUE(WriteWholeFile(install_ + "\\Sys\\運.dll", "old dll"));
        SetFileAttributesW(WidenText(install_ + "\\Sys\\運.dll").c_str(), FILE_ATTRIBUTE_READONLY);
        before_ = Snapshot(root_ + "\\安装");
    }

    void TearDown() override
    {
        SetFileAttributesW(WidenText(install_ + "\\Sys\\運.dll").c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFolderTree(root_);
    }

    // What an install step does with the journal, cut off after its last step:
    // the journal stays as the crash left it.
    void InstallAndCrash()
    {
        CInstallJournal journal;
        ASSERT_TRUE(journal.Begin(backup_, install_));
        ASSERT_TRUE(journal.RecordCreatedFolder(install_ + "\\Sub"));
        ASSERT_TRUE(journal.RecordCreatedFolder(install_ + "\\Sub\\Deep"));
        ASSERT_TRUE(journal.RecordAddedFile(install_ + "\\Sub\\Deep\\new.txt"));
        ASSERT_TRUE(journal.Commit());
        ASSERT_TRUE(CreateDirectoryW(WidenText(install_ + "\\Sub").c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(WidenText(install_ + "\\Sub\\Deep").c_str(), nullptr));
        ASSERT_TRUE(WriteWholeFile(install_ + "\\Sub\\Deep\\new.txt", "new"));
        for (const char* name : {"readme.txt", "Sys\\運.dll"}) {
            ASSERT_TRUE(CreateDirectoryTree(CPathName(BackupPath(name))));
            ASSERT_TRUE(CopyFileW(WidenText(install_ + "\\" + name).c_str(),
                                  WidenText(BackupPath(name)).c_str(), FALSE));
            ASSERT_TRUE(journal.RecordReplacedFile(install_ + "\\" + name,
                                                   kBackupFilesFolder + std::string(name)));
            ASSERT_TRUE(journal.Commit());
            SetFileAttributesW(WidenText(install_ + "\\" + name).c_str(), FILE_ATTRIBUTE_NORMAL);
            ASSERT_TRUE(WriteWholeFile(install_ + "\\" + name, "new content, longer than before"));
        }
        // Cut off in the middle of writing this one.
        ASSERT_TRUE(journal.RecordAddedFile(install_ + "\\half.txt"));
        ASSERT_TRUE(WriteWholeFile(install_ + "\\half.txt", "ha"));
    }

    std::string JournalPath() const { return backup_ + kJournalFileName; }
    std::string BackupPath(const std::string& name) const
    {
        return backup_ + kBackupFilesFolder + name;
    }

    std::string root_;
    std::string install_;
    std::string backup_;
    std::map<std::string, std::string> before_;
};

// A crash may also cut the journal's last record off mid-write; the step of
// such a record was never taken.
TEST_F(InstallJournalTest, RecoveryRestoresTheFolderByteForByte)
{
    const struct {
        const char* what;
        std::string tail;
    } cases[] = {
        {"whole records", ""},
        {"a torn last record", "A\t" + install_ + "\\never"},
        {"zeros of a lost write", std::string(512, '\0')},
    };
    for (const auto& c : cases) {
        InstallAndCrash();
        ASSERT_TRUE(WriteWholeFile(JournalPath(), ReadWholeFile(JournalPath()) + c.tail));
        ASSERT_NE(Snapshot(root_ + "\\安装"), before_);

        JournalRecovery recovery;
        ASSERT_EQ(RecoverUnfinishedInstall(backup_, recovery), kInstallRecovered) << c.what;
        EXPECT_EQ(Snapshot(root_ + "\\安装"), before_) << c.what;
        EXPECT_FALSE(PathExists(backup_)) << c.what;
        EXPECT_EQ(RecoveryMessage(kInstallRecovered, recovery, backup_),
                  "上次的安装没有完成（安装程序被中断或电脑断电）。\n\n已将 " + install_ +
                      " 恢复到安装前的状态：恢复了 2 个被替换的文件，删除了 2 个新增的文件和 2 "
                      "个新建的文件夹。")
            << c.what;
        EXPECT_EQ(RecoverUnfinishedInstall(backup_, recovery), kNothingToRecover) << c.what;
    }
}

TEST_F(InstallJournalTest, FinishedInstallLeavesNoJournal)
{
    CInstallJournal journal;
    ASSERT_TRUE(journal.Begin(backup_, install_));
    // A second install must not overwrite an unfinished journal and its backups.
    CInstallJournal second;
    EXPECT_FALSE(second.Begin(backup_, install_));
    ASSERT_TRUE(journal.RecordAddedFile(install_ + "\\a.txt"));
    // Another instance that starts meanwhile leaves the running install alone.
    JournalRecovery running;
    EXPECT_EQ(RecoverUnfinishedInstall(backup_, running), kNothingToRecover);
    EXPECT_TRUE(PathExists(JournalPath()));
    journal.Remove();
    EXPECT_FALSE(PathExists(JournalPath()));
    JournalRecovery recovery;
    EXPECT_EQ(RecoverUnfinishedInstall(backup_, recovery), kNothingToRecover);
}

// A file that another program holds open cannot be restored: its backup and
// the journal stay, and the message says where the original is.
TEST_F(InstallJournalTest, FileInUseKeepsItsBackupAndTheJournal)
{
    InstallAndCrash();
    const HANDLE held = CreateFileW(WidenText(install_ + "\\readme.txt").c_str(), GENERIC_READ, 0,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    JournalRecovery recovery;
    const RecoveryResult result = RecoverUnfinishedInstall(backup_, recovery);
    CloseHandle(held);
    ASSERT_EQ(result, kRecoveryIncomplete);
    EXPECT_EQ(recovery.notRestored, TextList{install_ + "\\readme.txt"});
    EXPECT_TRUE(PathExists(JournalPath()));
    EXPECT_EQ(ReadWholeFile(BackupPath("readme.txt")), std::string("old\0readme", 10));
    EXPECT_NE(RecoveryMessage(result, recovery, backup_).find(backup_), std::string::npos);

    ASSERT_EQ(RecoverUnfinishedInstall(backup_, recovery), kInstallRecovered);
    EXPECT_EQ(Snapshot(root_ + "\\安装"), before_);
}

// A journal that another program wrote, or one damaged past its CRCs: as soon
// as one record leaves the install folder of its header, or a backup name
// leaves the backup folder, nothing at all is done. The journal is set aside.
TEST_F(InstallJournalTest, RecordsThatLeaveTheirFoldersChangeNothing)
{
    const std::string outside = root_ + "\\outside";
    ASSERT_TRUE(CreateDirectoryTree(CPathName(outside + "\\empty\\")));
    ASSERT_TRUE(WriteWholeFile(outside + "\\x.dll", "system file"));
    ASSERT_TRUE(WriteWholeFile(outside + "\\secret.txt", "secret"));
    const std::string dll = outside + "\\x.dll";
    const std::string files = kBackupFilesFolder;
    const struct {
        const char* what;
        char kind;
        std::string path;
        std::string backupName;
    } cases[] = {
        {"a backup copied over a file elsewhere", 'R', dll, files + "payload.dll"},
        {"a file elsewhere deleted", 'A', dll, ""},
        {"a folder elsewhere removed", 'D', outside + "\\empty", ""},
        {"a climb out of the install folder", 'A', install_ + "\\..\\..\\outside\\x.dll", ""},
        {"a sibling with the folder's name as prefix", 'A', install_ + "2\\x.dll", ""},
        {"a name in another form", 'A', install_ + "\\Sys/./x.dll", ""},
        {"a stream", 'A', install_ + "\\keep.txt:s", ""},
        {"a backup from outside the backup folder", 'R', install_ + "\\readme.txt",
         files + "..\\..\\outside\\secret.txt"},
        {"a backup beside the backup files", 'R', install_ + "\\readme.txt", "readme.txt"},
        {"a backup of another file", 'R', install_ + "\\readme.txt", files + "keep.txt"},
        {"the drive root as a level", 'D', install_.substr(0, 2), ""},
    };
    ASSERT_TRUE(CreateDirectoryTree(CPathName(BackupPath("payload.dll"))));
    ASSERT_TRUE(WriteWholeFile(BackupPath("payload.dll"), "payload"));
    ASSERT_TRUE(WriteWholeFile(BackupPath("keep.txt"), "other"));
    const auto outsideBefore = Snapshot(outside);
    const auto backupBefore = Snapshot(backup_ + kBackupFilesFolder);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // Harmless records around the bad one: not one of them is undone.
        std::string text;
        for (const JournalRecord& record :
             {JournalRecord{kJournalHeader, install_, ""},
              JournalRecord{kJournalAdded, install_ + "\\keep.txt", ""},
              JournalRecord{c.kind, c.path, c.backupName},
              JournalRecord{kJournalReplaced, install_ + "\\readme.txt", files + "readme.txt"}}) {
            const std::string line = FormatJournalRecord(record);
            ASSERT_FALSE(line.empty());
            text += line;
        }
        ASSERT_TRUE(WriteWholeFile(JournalPath(), text));
        JournalRecovery recovery;
        std::vector<JournalRecord> records;
        ParseJournal(text, records);
        EXPECT_FALSE(JournalStaysInItsFolders(records));
        EXPECT_EQ(UndoJournalRecords(records, backup_, recovery), kRecoveryRefused);
        EXPECT_EQ(RecoverUnfinishedInstall(backup_, recovery), kRecoveryRefused);
        EXPECT_EQ(Snapshot(root_ + "\\安装"), before_);
        EXPECT_EQ(Snapshot(outside), outsideBefore);
        EXPECT_EQ(Snapshot(backup_ + kBackupFilesFolder), backupBefore);
        EXPECT_FALSE(PathExists(JournalPath()));
        EXPECT_EQ(ReadWholeFile(backup_ + kRefusedJournalFileName), text);
        EXPECT_EQ(RecoveryMessage(kRecoveryRefused, recovery, backup_),
                  "上次安装留下的安装记录 " + JournalPath() +
                      " 不可信（其中的步骤超出了安装目录或备份目录，或记录过大），安装向导没有按它"
                      "改动任何文件。\n\n该记录已改名为 " + backup_ + kRefusedJournalFileName +
                      "，不会再被读取。");
    }

    // A journal larger than any install writes is not read at all.
    const std::string record =
        FormatJournalRecord(JournalRecord{kJournalAdded, install_ + "\\keep.txt", ""});
    std::string huge = FormatJournalRecord(JournalRecord{kJournalHeader, install_, ""});
    while (huge.size() <= kMaxJournalBytes) {
        huge += record;
    }
    ASSERT_TRUE(WriteWholeFile(JournalPath(), huge));
    JournalRecovery recovery;
    EXPECT_EQ(RecoverUnfinishedInstall(backup_, recovery), kRecoveryRefused);
    EXPECT_EQ(Snapshot(root_ + "\\安装"), before_);
    EXPECT_FALSE(PathExists(JournalPath()));
}

// Links that another program put in the place of what the install wrote, or of
// a folder above it, or of a backup, are left as they are, and nothing they
// lead to is touched: the replaced file's backup stays, and the recovery says
// so. (Links to folders, as Wine shows only those as links, and by their names
// alone: the check through the handles behind that is reached on Windows only.)
TEST_F(InstallJournalTest, LinksInThePlaceOfInstalledEntriesAreNotFollowed)
{
    const std::string outside = root_ + "\\outside";
    ASSERT_TRUE(CreateDirectoryTree(CPathName(outside + "\\empty\\")));
    ASSERT_TRUE(WriteWholeFile(outside + "\\x.dll", "system file"));
    ASSERT_TRUE(DeleteFileW(WidenText(install_ + "\\readme.txt").c_str()));
    const std::string files = kBackupFilesFolder;
    // In the place of a created folder, an added file, a replaced file, a
    // folder above a created folder, an added and a replaced file, and a
    // backup.
    const std::string links[] = {install_ + "\\New", install_ + "\\new.txt",
                                 install_ + "\\readme.txt", install_ + "\\Lib",
                                 BackupPath("keep.txt")};
    const auto removeLinks = [&links] {
        for (const std::string& link : links) {
            host_link::RemoveFolderLink(link);
        }
    };
    CreateDirectoryTree(CPathName(BackupPath("Lib\\x.dll")));
    for (const std::string& link : links) {
        if (!host_link::MakeFolderLink(link, outside)) {
            removeLinks();
            GTEST_SKIP() << "no link " << link;
        }
    }
    EXPECT_TRUE(WriteWholeFile(BackupPath("readme.txt"), "old readme"));
    EXPECT_TRUE(WriteWholeFile(BackupPath("Lib\\x.dll"), "payload"));
    const auto installBefore = Snapshot(install_);
    const auto outsideBefore = Snapshot(outside);
    const std::vector<JournalRecord> records = {
        {kJournalHeader, install_, ""},
        {kJournalFolder, links[0], ""},
        {kJournalAdded, links[1], ""},
        {kJournalReplaced, links[2], files + "readme.txt"},
        {kJournalFolder, install_ + "\\Lib\\empty", ""},
        {kJournalAdded, install_ + "\\Lib\\x.dll", ""},
        {kJournalReplaced, install_ + "\\Lib\\x.dll", files + "Lib\\x.dll"},
        {kJournalReplaced, install_ + "\\keep.txt", files + "keep.txt"},
    };
    JournalRecovery recovery;
    EXPECT_EQ(UndoJournalRecords(records, backup_, recovery), kRecoveryIncomplete);
    EXPECT_EQ(recovery.notRestored,
              (TextList{install_ + "\\keep.txt", install_ + "\\Lib\\x.dll", links[2]}));
    EXPECT_EQ(recovery.deletedFiles, 0);
    EXPECT_EQ(recovery.removedFolders, 0);
    EXPECT_EQ(Snapshot(outside), outsideBefore);
    EXPECT_EQ(Snapshot(install_), installBefore);
    EXPECT_EQ(ReadWholeFile(BackupPath("readme.txt")), "old readme");
    EXPECT_EQ(ReadWholeFile(BackupPath("Lib\\x.dll")), "payload");
    for (const std::string& link : links) {
        EXPECT_TRUE(host_link::IsLink(link)) << link;
    }
    removeLinks();
}

}  // namespace
