#pragma once
// The texts of the download progress display.
#include <cstdint>
#include <string>

// "1023 Bytes", "1.0 KB", "1.00 MB".
std::string FormatByteSize(std::uint32_t bytes);
// "59 秒", "1 分", "1 分 1 秒".
std::string FormatTimeLeft(std::uint32_t seconds);
// The rate label for a rate in bytes per millisecond: "512 Bytes/秒", "2.50 KB/秒".
std::string FormatTransferRate(double bytesPerMillisecond);
// The window caption while downloading: "45% 的 download.php?key=11 完成".
std::string FormatPercentageCaption(int percentage, const std::string& fileName);
// The time-left label: "2 分 5 秒 (1.50 MB 的 3.00 MB 复制)".
std::string FormatTimeLeftText(std::uint32_t seconds, std::uint32_t received, std::uint32_t size);
