#include "util/disk_space.h"

#include <atomic>
#include <functional>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>

#include "util/format_strings.h"
#include "net/download.h"
#include "tests/bench/null_progress.h"
#include "product/install_journal.h"
#include "product/install_space.h"
#include "product/package_install.h"
#include "tests/bench/test_files.h"
#include "tests/bench/vendor_server.h"
#include "util/file_system.h"
#include "util/wide_text.h"

namespace {

// tests/bench/small_disk mounts an 8 MB tmpfs as drive T: before these tests
// and writes why it could not into bench\small_disk.skip. One test uses it, so
// that no other fills it in the meantime.
const char kSmallDisk[] = "T:\\";
constexpr std::uint64_t kMegabyte = 1024 * 1024;
constexpr std::uint64_t kSmallDiskBytes = 8 * kMegabyte;

class SmallDiskTest : public testing::Test {
protected:
    void SetUp() override
    {
        const std::string reason = ReadWholeFile(std::string(MRV_BENCH_FOLDER) + "\\small_disk.skip");
        if (!reason.empty()) {
            GTEST_SKIP() << "no small disk: " << reason;
        }
        ASSERT_NE(GetDriveTypeW(L"T:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR))
            << "drive T: is not mapped (ctest fixture \"small_disk\": tests/bench/small_disk start)";
        DeleteFolderTree(folder_);
    }

    void TearDown() override { DeleteFolderTree(folder_); }

    std::uint64_t FreeBytes(const std::string& folder)
    {
        std::uint64_t freeBytes = 0;
        EXPECT_TRUE(GetFreeBytes(folder, freeBytes)) << folder;
        return freeBytes;
    }

    const std::string folder_ = std::string(kSmallDisk) + "space";
    const std::string install_ = folder_ + "\\MrvACAD";
};

TEST_F(SmallDiskTest, FreeSpaceChecksAndAFullDisk)
{
    // A folder that does not exist yet is asked through its nearest ancestor.
    const std::uint64_t emptyDisk = FreeBytes(kSmallDisk);
    EXPECT_LE(emptyDisk, kSmallDiskBytes);
    EXPECT_GT(emptyDisk, kSmallDiskBytes / 2);
    EXPECT_EQ(FreeBytes(install_ + "\\not\\yet\\there"), emptyDisk);

    std::string message;
    EXPECT_EQ(CheckFreeSpace(install_, emptyDisk, message), kSpaceEnough);
    EXPECT_EQ(message, "");
    EXPECT_EQ(CheckFreeSpace(install_, 20 * kMegabyte, message), kSpaceShort);
    EXPECT_EQ(message, SpaceShortageText(install_, 20 * kMegabyte, emptyDisk));
    EXPECT_FALSE(PathExists(folder_)) << "a check writes nothing";

    // An earlier install's 3 MB file that the package replaces: its backup is
    // a rename on the same disk and needs no room there, but a 12 MB package
    // does not fit beside it.
    ASSERT_TRUE(CreateDirectoryTree(CPathName(install_ + "\\")));
    ASSERT_TRUE(WriteWholeFile(install_ + "\\data.bin", std::string(3 * kMegabyte, 'o')));
    EXPECT_LE(FreeBytes(install_), emptyDisk - 3 * kMegabyte);
    const std::string elsewhere = MakeTempFilePath("~space_test_backup\\");
    const std::string sameDisk = folder_ + "\\backup\\";
    const struct {
        const char* package;
        std::string backup;
        std::uint64_t installBytes;
        std::uint64_t backupBytes;
        int check;
        const char* needed;
    } cases[] = {
        {"replace.zip", elsewhere, 3 * kMegabyte, 3 * kMegabyte, kSpaceEnough, ""},
        {"replace.zip", sameDisk, 3 * kMegabyte, 3 * kMegabyte, kSpaceEnough, ""},
        {"big.zip", sameDisk, 12 * kMegabyte + 1, 0, kSpaceShort, "需要 12.1 MB"},
        {"big.zip", elsewhere, 12 * kMegabyte + 1, 0, kSpaceShort, "需要 12.1 MB"},
    };
    for (const auto& c : cases) {
        InstallSpaceNeed need;
        ASSERT_TRUE(MeasureInstallSpace(std::string(MRV_SPACE_PACKAGES) + "\\" + c.package, install_, need));
        EXPECT_EQ(need.installBytes, c.installBytes) << c.package;
        EXPECT_EQ(need.backupBytes, c.backupBytes) << c.package;
        EXPECT_EQ(CheckInstallSpace(need, install_, c.backup, message), c.check) << c.package;
        if (c.check == kSpaceShort) {
            EXPECT_EQ(message.find("磁盘空间不足：" + install_ + " "), 0u) << message;
            EXPECT_NE(message.find(c.needed), std::string::npos) << message;
        }
    }
    EXPECT_FALSE(PathExists(sameDisk));

    // A disk that fills up anyway: the write fails with the full-disk code.
    const HANDLE file = CreateFileW(WidenText(install_ + "\\fill.bin").c_str(), GENERIC_WRITE, 0,
                                    nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const std::string block(kMegabyte, 'f');
    DWORD written = 0;
    BOOL wrote = TRUE;
    for (int i = 0; i < 10 && wrote; ++i) {
        wrote = WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &written, nullptr);
    }
    const DWORD error = GetLastError();
    CloseHandle(file);
    EXPECT_FALSE(wrote);
    EXPECT_TRUE(IsDiskFullError(error)) << error;
}

// The install window as the install step sees it (no window behind it): when
// the step shows its first entry, `onFirstEntry` plays another program.
class SilentView : public NullProgress {
public:
    void OnEntries(const EntryProgress& progress) override
    {
        if (progress.done == 0 && onFirstEntry) {
            onFirstEntry();
        }
    }
    void OnEnd(bool failed, const std::string&) override { downloadFailed = failed; }
    std::function<void()> onFirstEntry;
    bool downloadFailed = false;
};

TEST_F(SmallDiskTest, InstallStepOnASmallDisk)
{
    const std::string packages = std::string(MRV_SPACE_PACKAGES) + "\\";
    const std::string backup = MakeTempFilePath("~space_test_backup\\");
    DeleteFolderTree(backup);
    const std::atomic<bool> abort{false};
    SilentView view;

    // A package that does not fit is refused before anything is written.
    CPackageInstall install(install_, backup);
    EXPECT_EQ(install.Install(packages + "big.zip", view, abort), kInstallFailed);
    EXPECT_EQ(install.ErrorText().find("磁盘空间不足：" + install_ + " "), 0u) << install.ErrorText();
    EXPECT_FALSE(PathExists(folder_));
    EXPECT_FALSE(PathExists(backup + kJournalFileName));

    // A disk that fills up while the step writes (another program took the
    // space after the check) fails the entry, or the backup of the file it
    // replaces (copied, as it goes to another volume), rolls back and says so.
    const std::string filler = std::string(kSmallDisk) + "filler.bin";
    view.onFirstEntry = [&] {
        const std::uint64_t freeBytes = FreeBytes(kSmallDisk);
        ASSERT_GT(freeBytes, 3 * kMegabyte);
        const auto fill = static_cast<std::size_t>(freeBytes - kMegabyte);
        ASSERT_TRUE(WriteWholeFile(filler, std::string(fill, 'f')));
    };
    const std::string otherDisk = MakeTempFilePath("~space_test_install");
    const std::string smallBackup = std::string(kSmallDisk) + "~downloadtmp\\";
    ASSERT_TRUE(CreateDirectoryTree(CPathName(otherDisk + "\\")));
    ASSERT_TRUE(WriteWholeFile(otherDisk + "\\data.bin", std::string(3 * kMegabyte, 'o')));
    const std::string writes[][3] = {{install_, backup, install_ + "\\data.bin"},
                                     {otherDisk, smallBackup, smallBackup + kBackupFilesFolder + "data.bin"}};
    for (const auto& w : writes) {
        CPackageInstall step(w[0], w[1]);
        EXPECT_EQ(step.Install(packages + "replace.zip", view, abort), kInstallFailed);
        EXPECT_EQ(step.ErrorText(), FormatString1(kDiskFullText, w[2]));
        EXPECT_FALSE(PathExists(w[1])) << "a rolled-back install leaves no journal";
        DeleteFileW(WidenText(filler).c_str());
    }
    EXPECT_FALSE(PathExists(folder_)) << "the folders the install made are gone";
    EXPECT_EQ(ReadWholeFile(otherDisk + "\\data.bin"), std::string(3 * kMegabyte, 'o'));
    DeleteFolderTree(otherDisk);

    // A download whose announced size the temporary folder's disk cannot hold
    // is refused before a byte is written, and installs nothing.
    ASSERT_TRUE(vendor::Running()) << "the test vendor server is not running";
    ASSERT_TRUE(CreateDirectoryTree(CPathName(folder_ + "\\")));
    bool installed = false;
    CDownloadJob job(view, [&installed](HANDLE, const std::string&) { return installed = true; });
    job.downloadUrl = vendor::Url("/behave/data?size=" + std::to_string(12 * kMegabyte));
    job.targetPath = folder_ + "\\~download.tmp";
    ASSERT_TRUE(job.StartDownload());
    job.WaitForWorker();
    EXPECT_TRUE(view.downloadFailed);
    EXPECT_EQ(job.ErrorText().find("磁盘空间不足：" + folder_ + "\\ "), 0u) << job.ErrorText();
    EXPECT_FALSE(installed);
    EXPECT_FALSE(PathExists(job.targetPath));
}

TEST(DiskSpaceTest, NoVolumeAnswersUnknown)
{
    std::string message;
    EXPECT_EQ(CheckFreeSpace("relative\\folder", 1, message), kSpaceUnknown);
    EXPECT_EQ(message, "");
}

}  // namespace
