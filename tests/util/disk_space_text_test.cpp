#include "util/disk_space.h"

#include <gtest/gtest.h>

namespace {

TEST(DiskSpaceTest, ShortageTextRoundsTheNeedUpAndTheFreeSpaceDown)
{
    const std::uint64_t mb = 1024 * 1024;
    const struct {
        std::uint64_t needed;
        std::uint64_t free;
        const char* text;
    } cases[] = {
        {5 * mb + 1, 5 * mb, "磁盘空间不足：T:\\安装 所在的磁盘需要 5.1 MB，可用空间只有 5.0 MB。"},
        {mb / 10, mb / 10 - 1, "磁盘空间不足：T:\\安装 所在的磁盘需要 0.1 MB，可用空间只有 0.0 MB。"},
        {1000000 * mb, 0, "磁盘空间不足：T:\\安装 所在的磁盘需要 1000000.0 MB，可用空间只有 0.0 MB。"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SpaceShortageText("T:\\安装", c.needed, c.free),
                  std::string(c.text) + "\n\n请释放磁盘空间或选择其他目录后重试。");
    }
}

}  // namespace
