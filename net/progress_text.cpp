#include "net/progress_text.h"

#include <cstdio>

#include "util/format_strings.h"

namespace {

// One number through a printf conversion, sized to whatever the value needs.
template <typename Number>
std::string FormatNumber(const char* conversion, Number value)
{
    const int length = std::snprintf(nullptr, 0, conversion, value);
    if (length <= 0) {
        return std::string();
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(&text[0], text.size(), conversion, value);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

constexpr std::uint32_t kKilo = 1024;
constexpr std::uint32_t kMega = 1048576;

}  // namespace

std::string FormatByteSize(std::uint32_t bytes)
{
    if (bytes < kKilo) {
        return FormatString1("%1 Bytes", FormatNumber("%u", static_cast<unsigned>(bytes)));
    }
    if (bytes < kMega) {
        return FormatString1("%1 KB", FormatNumber("%0.1f", static_cast<double>(bytes) / kKilo));
    }
    return FormatString1("%1 MB", FormatNumber("%0.2f", static_cast<double>(bytes) / kMega));
}

// Seconds are unsigned throughout: an estimate past 2^31 seconds must not read
// as a negative time.
std::string FormatTimeLeft(std::uint32_t seconds)
{
    if (seconds < 60) {
        return FormatString1("%1 秒", FormatNumber("%u", static_cast<unsigned>(seconds)));
    }
    const std::string minutes = FormatNumber("%u", static_cast<unsigned>(seconds / 60));
    if (seconds % 60 == 0) {
        return FormatString1("%1 分", minutes);
    }
    return FormatString2("%1 分 %2 秒", minutes, FormatNumber("%u", static_cast<unsigned>(seconds % 60)));
}

std::string FormatTransferRate(double bytesPerMillisecond)
{
    if (bytesPerMillisecond < 1.0) {
        return FormatString1("%1 Bytes/秒", FormatNumber("%0.0f", bytesPerMillisecond * 1024));
    }
    if (bytesPerMillisecond < 10.0) {
        return FormatString1("%1 KB/秒", FormatNumber("%0.2f", bytesPerMillisecond));
    }
    return FormatString1("%1 KB/秒", FormatNumber("%0.0f", bytesPerMillisecond));
}

std::string FormatPercentageCaption(int percentage, const std::string& fileName)
{
    return FormatString2("%1% 的 %2 完成", FormatNumber("%d", percentage), fileName);
}

std::string FormatTimeLeftText(std::uint32_t seconds, std::uint32_t received, std::uint32_t size)
{
    const std::string sizes = FormatString2("%1 的 %2", FormatByteSize(received), FormatByteSize(size));
    return FormatString2("%1 (%2 复制)", FormatTimeLeft(seconds), sizes);
}
