// The program at start-up undoes an install that a killed process or a power
// loss cut off, before its window opens, and says so in one message.
#include <cstdio>

#include "product/install_journal.h"
#include "res/resource.h"
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
        const std::string backupName = kBackupFilesFolder + std::string("Sys\\a.dll");
        ASSERT_TRUE(CreateDirectoryTree(CPathName(backupFolder + backupName)));
        ASSERT_TRUE(CopyFileW(WidenText(productFolder_ + "\\Sys\\a.dll").c_str(),
                              WidenText(backupFolder + backupName).c_str(), FALSE));
        ASSERT_TRUE(journal.RecordReplacedFile(productFolder_ + "\\Sys\\a.dll", backupName));
        ASSERT_TRUE(journal.Commit());
        ASSERT_TRUE(CreateDirectoryW(WidenText(productFolder_ + "\\New").c_str(), nullptr));
        ASSERT_TRUE(WriteWholeFile(productFolder_ + "\\New\\added.txt", "added"));
        ASSERT_TRUE(WriteWholeFile(productFolder_ + "\\Sys\\a.dll", "half of the new a.dll"));
    }

    // The earlier install with a large file that the crash package replaces.
    void LeaveEarlierInstallWithBigFile()
    {
        LeaveEarlierInstall();
        ASSERT_TRUE(CopyFileW(WidenText(FixturePath("big_old.bin")).c_str(),
                              WidenText(BigFile()).c_str(), FALSE));
    }

    std::string BigFile() const { return productFolder_ + "\\Data\\big.bin"; }

    static std::uint64_t SizeOf(const std::string& path)
    {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExW(WidenText(path).c_str(), GetFileExInfoStandard, &data)) {
            return 0;
        }
        return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }

    std::vector<std::string> Environment() const
    {
        return {"http_proxy=http://127.0.0.1:" + std::to_string(site::Port()), "no_proxy=",
                "TEMP=" + tempFolder_, "TMP=" + tempFolder_, "MRV_STANDIN_RECORD=" + recordPath_};
    }
};

// The program is killed while it installs, at several points; started again,
// it puts the folder back byte for byte and says so before its window opens.
TEST_F(InstallRecovery, AnInstallKilledAtAnyPointIsUndoneAtTheNextStart)
{
    LeaveEarlierInstallWithBigFile();
    // The package is larger than the scenario's texts: it goes to the server
    // as a copy of the file.
    PutSite("2.2", Descriptor(std::string(kVendorHost) + "/download.php?key=11"), "many.zip");
    ASSERT_TRUE(CopyFileW(WidenText(FixturePath("crash.zip")).c_str(),
                          WidenText(site::Folder() + "\\vendor-files\\package.zip").c_str(), FALSE));
    const auto before = SnapshotFolder(productFolder_);
    const std::uint64_t bigSize = SizeOf(BigFile());
    ASSERT_GT(bigSize, 0u);
    // A record is a kind, the full path, at most a backup name and a CRC.
    const std::uint64_t recordBytes = productFolder_.size() + 16;
    const struct {
        const char* point;
        std::uint64_t journalBytes;  // kill once the journal is this long ...
        bool bigFileWritten;         // ... or once the large file is being replaced
        bool bigFileHeld;            // ... or while its backup is being copied
    } cases[] = {
        {"20 records", 20 * recordBytes, false, false},
        {"100 records", 100 * recordBytes, false, false},
        {"500 records", 500 * recordBytes, false, false},
        {"large file half written", 0, true, false},
        {"large file's backup half copied", 0, false, true},
    };
    int row = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.point);
        tempFolder_ = root_ + "\\temp" + std::to_string(++row);
        ASSERT_TRUE(CreateDirectoryTree(CPathName(tempFolder_ + "\\")));
        DeleteFolderTree(WorkFolder());
        const std::string journal = WorkFolder() + kBackupFolderName + kJournalFileName;
        const std::string partialBackup =
            WorkFolder() + kBackupFolderName + "~partial\\Data\\big.bin";
        // Another program has the file open and does not let it be renamed:
        // its backup is a copy.
        HANDLE held = INVALID_HANDLE_VALUE;
        if (c.bigFileHeld) {
            held = CreateFileW(WidenText(BigFile()).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
        }
        Start();
        ASSERT_EQ(CurrentPage(), Page::Install);
        ASSERT_TRUE(Click(window_, IDC_INSTALL_NOW));
        const auto cutOff = [&] {
            if (!FileExists(journal)) {
                return false;
            }
            if (c.bigFileHeld) {
                return FileExists(partialBackup) && SizeOf(partialBackup) < bigSize;
            }
            return c.bigFileWritten ? SizeOf(BigFile()) < bigSize
                                    : SizeOf(journal) >= c.journalBytes;
        };
        const DWORD start = GetTickCount();
        while (!cutOff() && GetTickCount() - start < 120000) {
            Sleep(1);
        }
        run_.Kill();
        if (held != INVALID_HANDLE_VALUE) {
            CloseHandle(held);
        }
        ASSERT_TRUE(FileExists(journal)) << "the install was not cut off";

        ASSERT_TRUE(run_.Start(program_, Environment()));
        const HWND box = run_.WaitForMainWindow(kMessageCaption);
        ASSERT_NE(box, nullptr) << "no message about the recovery";
        ASSERT_TRUE(WaitUntil([&] { return !MessageBoxText(box).empty(); }));
        EXPECT_EQ(MessageBoxText(box).rfind("上次的安装没有完成（安装程序被中断或电脑断电）。\n\n已将 " +
                                                productFolder_ + " 恢复到安装前的状态",
                                            0),
                  0u)
            << MessageBoxText(box);
        EXPECT_EQ(SnapshotFolder(productFolder_), before);
        EXPECT_FALSE(FolderExists(WorkFolder() + kBackupFolderName));
        ASSERT_TRUE(Answer(box, IDOK));
        ASSERT_NE(run_.WaitForMainWindow(kCaption), nullptr);
        run_.Kill();
        EXPECT_TRUE(Records().empty()) << "the setup program was started";
    }
}

TEST_F(InstallRecovery, StartRestoresTheFolderBeforeTheWindowOpens)
{
    RecordInstalledProduct("2.1");
    ASSERT_TRUE(CreateDirectoryTree(CPathName(productFolder_ + "\\Sys\\")));
    ASSERT_TRUE(WriteWholeFile(productFolder_ + "\\Sys\\a.dll", "the user's a.dll"));
    ASSERT_TRUE(WriteWholeFile(productFolder_ + "\\keep.txt", "kept"));
    const auto before = SnapshotFolder(productFolder_);
    const std::string backupFolder = WorkFolder() + kBackupFolderName;
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

// A journal that another program left, whose records leave the install folder
// of its header or the backup folder: the program tells so, changes nothing,
// sets the journal aside and opens its window. Under Wine, which keeps no
// descriptors, the planted journal can lie in the working folder itself; one
// in the user's temporary folder is not even read.
TEST_F(InstallRecovery, AJournalWhoseRecordsLeaveTheirFoldersChangesNothing)
{
    RecordInstalledProduct("2.1");
    ASSERT_TRUE(WriteWholeFile(productFolder_ + "\\keep.txt", "kept"));
    const std::string outside = root_ + "\\outside";
    ASSERT_TRUE(CreateDirectoryTree(CPathName(outside + "\\")));
    ASSERT_TRUE(WriteWholeFile(outside + "\\x.dll", "a system file"));
    ASSERT_TRUE(WriteWholeFile(outside + "\\secret.txt", "secret"));
    const std::string backupFolder = WorkFolder() + kBackupFolderName;
    const std::string files = kBackupFilesFolder;
    ASSERT_TRUE(CreateDirectoryTree(CPathName(backupFolder + files)));
    ASSERT_TRUE(WriteWholeFile(backupFolder + files + "payload.dll", "payload"));
    std::string journal;
    for (const JournalRecord& record : {
             JournalRecord{kJournalHeader, productFolder_, ""},
             JournalRecord{kJournalAdded, productFolder_ + "\\keep.txt", ""},
             JournalRecord{kJournalReplaced, outside + "\\x.dll", files + "payload.dll"},
             JournalRecord{kJournalReplaced, productFolder_ + "\\keep.txt",
                           files + "..\\..\\..\\outside\\secret.txt"},
             JournalRecord{kJournalAdded, outside + "\\secret.txt", ""},
         }) {
        journal += FormatJournalRecord(record);
    }
    ASSERT_TRUE(WriteWholeFile(backupFolder + kJournalFileName, journal));
    // The same journal in the user's own temporary folder is never read.
    const std::string userBackupFolder = tempFolder_ + "\\" + kBackupFolderName;
    ASSERT_TRUE(CreateDirectoryTree(CPathName(userBackupFolder)));
    ASSERT_TRUE(WriteWholeFile(userBackupFolder + kJournalFileName, journal));
    const auto userTempBefore = SnapshotFolder(tempFolder_);
    const auto productBefore = SnapshotFolder(productFolder_);
    const auto outsideBefore = SnapshotFolder(outside);
    const auto backupBefore = SnapshotFolder(backupFolder + files);

    ASSERT_TRUE(run_.Start(program_, Environment()));
    const HWND box = run_.WaitForMainWindow(kMessageCaption);
    ASSERT_NE(box, nullptr) << "no message about the journal";
    ASSERT_TRUE(WaitUntil([&] { return !MessageBoxText(box).empty(); }));
    Shot("refused", box);
    EXPECT_EQ(MessageBoxText(box),
              "上次安装留下的安装记录 " + backupFolder + kJournalFileName +
                  " 不可信（其中的步骤超出了安装目录或备份目录，或记录过大），安装向导没有按它"
                  "改动任何文件。\n\n该记录已改名为 " + backupFolder + kRefusedJournalFileName +
                  "，不会再被读取。");
    EXPECT_EQ(SnapshotFolder(productFolder_), productBefore);
    EXPECT_EQ(SnapshotFolder(outside), outsideBefore);
    EXPECT_EQ(SnapshotFolder(backupFolder + files), backupBefore);
    EXPECT_EQ(SnapshotFolder(tempFolder_), userTempBefore);
    ASSERT_TRUE(Answer(box, IDOK));
    window_ = run_.WaitForMainWindow(kCaption);
    ASSERT_NE(window_, nullptr) << "the install window did not show after the message";
}

}  // namespace
}  // namespace e2e
