#include "util/disk_space.h"

#include "product/install_space.h"

#include <string>

#include <gtest/gtest.h>
#include <windows.h>

#include "tests/bench/test_files.h"
#include "util/file_system.h"

namespace {

// tests/bench/small_disk mounts an 8 MB tmpfs as drive T: before these tests
// and writes why it could not into bench\small_disk.skip.
const char kSmallDisk[] = "T:\\";
constexpr std::uint64_t kSmallDiskBytes = 8u * 1024u * 1024u;

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
        folder_ = std::string(kSmallDisk) + testing::UnitTest::GetInstance()->current_test_info()->name();
        DeleteFolderTree(folder_);
    }

    void TearDown() override { DeleteFolderTree(folder_); }

    // Each test's own: ctest runs them side by side.
    std::string folder_;
};

TEST_F(SmallDiskTest, FreeBytesOfAFolderThatDoesNotExistYet)
{
    std::uint64_t rootFree = 0;
    ASSERT_TRUE(GetFreeBytes(kSmallDisk, rootFree));
    EXPECT_LE(rootFree, kSmallDiskBytes);
    EXPECT_GT(rootFree, kSmallDiskBytes / 2);

    std::uint64_t deepFree = 0;
    ASSERT_TRUE(GetFreeBytes(folder_ + "\\not\\yet\\there", deepFree));
    EXPECT_EQ(deepFree, rootFree);
}

TEST_F(SmallDiskTest, TooLittleSpaceIsRefusedWithTheNumbers)
{
    std::uint64_t freeBytes = 0;
    ASSERT_TRUE(GetFreeBytes(kSmallDisk, freeBytes));
    const std::string folder = folder_ + "\\MrvACAD";
    std::string message;
    EXPECT_EQ(CheckFreeSpace(folder, freeBytes / 2, message), kSpaceEnough);
    EXPECT_EQ(message, "");
    EXPECT_EQ(CheckFreeSpace(folder, 20u * 1024u * 1024u, message), kSpaceShort);
    // The other test fills the disk alongside: the free figure may be lower.
    const std::string start = "磁盘空间不足：" + folder + " 所在的磁盘需要 20.0 MB，可用空间只有 ";
    EXPECT_EQ(message.substr(0, start.size()), start);
    EXPECT_NE(message.find(" MB。\n\n请释放磁盘空间或选择其他目录后重试。"), std::string::npos) << message;
    EXPECT_FALSE(PathExists(folder_)) << "a check writes nothing";
}

// The one test that writes to the small disk: the others run alongside.
TEST_F(SmallDiskTest, PackageThatDoesNotFitIsRefusedBeforeAnythingIsWritten)
{
    constexpr std::uint64_t mb = 1024 * 1024;
    const std::string install = folder_ + "\\MrvACAD";
    ASSERT_TRUE(CreateDirectoryTree(CPathName(install + "\\")));
    ASSERT_TRUE(WriteWholeFile(install + "\\data.bin", std::string(3 * mb, 'o')));
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
        {"replace.zip", elsewhere, 3 * mb, 3 * mb, kSpaceEnough, ""},
        {"replace.zip", sameDisk, 3 * mb, 3 * mb, kSpaceShort, "需要 6.0 MB"},
        {"big.zip", elsewhere, 12 * mb + 1, 0, kSpaceShort, "需要 12.1 MB"},
    };
    for (const auto& c : cases) {
        InstallSpaceNeed need;
        ASSERT_TRUE(MeasureInstallSpace(std::string(MRV_SPACE_PACKAGES) + "\\" + c.package, install, need));
        EXPECT_EQ(need.installBytes, c.installBytes) << c.package;
        EXPECT_EQ(need.backupBytes, c.backupBytes) << c.package;
        std::string message;
        EXPECT_EQ(CheckInstallSpace(need, install, c.backup, message), c.check) << c.package;
        if (c.check == kSpaceShort) {
            EXPECT_EQ(message.find("磁盘空间不足：" + install + " "), 0u) << message;
            EXPECT_NE(message.find(c.needed), std::string::npos) << message;
        }
    }
    EXPECT_FALSE(PathExists(sameDisk));
    EXPECT_FALSE(PathExists(install + "\\Sys"));
}

TEST(DiskSpaceTest, NoVolumeAnswersUnknown)
{
    std::string message;
    EXPECT_EQ(CheckFreeSpace("relative\\folder", 1, message), kSpaceUnknown);
    EXPECT_EQ(message, "");
}

}  // namespace
