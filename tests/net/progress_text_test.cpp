#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

#include "net/progress_text.h"

namespace {

TEST(ProgressTextTest, ByteSizes)
{
    const std::pair<std::uint32_t, const char*> cases[] = {
        {0, "0 Bytes"},
        {1023, "1023 Bytes"},
        {1024, "1.0 KB"},
        {2048, "2.0 KB"},
        {1048575, "1024.0 KB"},
        {1048576, "1.00 MB"},
        {1572864, "1.50 MB"},
        {3145728, "3.00 MB"},
        {4294967295u, "4096.00 MB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(FormatByteSize(c.first), c.second);
    }
}

TEST(ProgressTextTest, TimesLeft)
{
    const std::pair<std::uint32_t, const char*> cases[] = {
        {0, "0 秒"},
        {59, "59 秒"},
        {60, "1 分"},
        {61, "1 分 1 秒"},
        {125, "2 分 5 秒"},
        {10800, "180 分"},
        {4294967295u, "71582788 分 15 秒"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(FormatTimeLeft(c.first), c.second);
    }
}

TEST(ProgressTextTest, TransferRates)
{
    const std::pair<double, const char*> cases[] = {
        {0.0, "0 Bytes/秒"},
        {0.5, "512 Bytes/秒"},
        {0.9999, "1024 Bytes/秒"},
        {1.0, "1.00 KB/秒"},
        {2.5, "2.50 KB/秒"},
        {9.999, "10.00 KB/秒"},
        {10.0, "10 KB/秒"},
        {125.3, "125 KB/秒"},
        {1e300, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        const std::string text = FormatTransferRate(c.first);
        if (c.second != nullptr) {
            EXPECT_EQ(text, c.second);
        } else {
            EXPECT_EQ(text.substr(0, 2), "10");
            EXPECT_EQ(text.size(), 301 + std::string(" KB/秒").size());
        }
    }
}

TEST(ProgressTextTest, PercentageCaption)
{
    EXPECT_EQ(FormatPercentageCaption(45, "download.php?key=11"), "45% 的 download.php?key=11 完成");
    EXPECT_EQ(FormatPercentageCaption(100, "a"), "100% 的 a 完成");
    EXPECT_EQ(FormatPercentageCaption(7, ""), "7% 的  完成");
}

TEST(ProgressTextTest, TimeLeftLabel)
{
    EXPECT_EQ(FormatTimeLeftText(125, 1572864, 3145728), "2 分 5 秒 (1.50 MB 的 3.00 MB 复制)");
    EXPECT_EQ(FormatTimeLeftText(59, 512, 2048), "59 秒 (512 Bytes 的 2.0 KB 复制)");
    EXPECT_EQ(FormatTimeLeftText(60, 0, 0), "1 分 (0 Bytes 的 0 Bytes 复制)");
}

}  // namespace
