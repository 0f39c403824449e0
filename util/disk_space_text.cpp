#include "util/disk_space.h"

#include <cstdio>

#include "util/format_strings.h"

const char kSpaceShortageText[] =
    "磁盘空间不足：%1 所在的磁盘需要 %2 MB，可用空间只有 %3 MB。\n\n请释放磁盘空间或选择其他目录后重试。";

const char kDiskFullText[] = "磁盘空间已用完，无法写入 %1。\n\n安装已撤销，安装目录已恢复原状。";

namespace {

constexpr unsigned long kErrorHandleDiskFull = 39;
constexpr unsigned long kErrorDiskFull = 112;

constexpr std::uint64_t kMegabyte = 1024u * 1024u;

std::string TenthsText(std::uint64_t tenths)
{
    char text[32];
    std::snprintf(text, sizeof text, "%llu.%u", static_cast<unsigned long long>(tenths / 10),
                  static_cast<unsigned>(tenths % 10));
    return text;
}

}  // namespace

std::string SpaceShortageText(const std::string& folder, std::uint64_t neededBytes,
                              std::uint64_t freeBytes)
{
    const std::uint64_t neededTenths = (neededBytes * 10 + kMegabyte - 1) / kMegabyte;
    const std::string args[] = {folder, TenthsText(neededTenths),
                                TenthsText(freeBytes * 10 / kMegabyte)};
    return FormatStrings(kSpaceShortageText, args, 3);
}

bool IsDiskFullError(unsigned long errorCode)
{
    return errorCode == kErrorHandleDiskFull || errorCode == kErrorDiskFull;
}
