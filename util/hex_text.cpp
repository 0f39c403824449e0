#include "util/hex_text.h"

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

const char kAroundDigits[] = " \t\r\n";

}  // namespace

bool ParseHexBytes(const std::string& text, std::size_t byteCount, std::vector<std::uint8_t>& bytes)
{
    const std::size_t first = text.find_first_not_of(kAroundDigits);
    if (first == std::string::npos) {
        return false;
    }
    const std::size_t last = text.find_last_not_of(kAroundDigits);
    if (last - first + 1 != 2 * byteCount) {
        return false;
    }
    std::vector<std::uint8_t> parsed(byteCount);
    for (std::size_t i = 0; i < byteCount; ++i) {
        const int high = HexValue(text[first + 2 * i]);
        const int low = HexValue(text[first + 2 * i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        parsed[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    bytes.swap(parsed);
    return true;
}

std::string HexText(const std::uint8_t* bytes, std::size_t count)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * count);
    for (std::size_t i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}
