#include "util/cp936.h"

bool IsLeadByte936(unsigned char byte)
{
    return byte >= 0x81 && byte <= 0xFE;
}

std::size_t CharLength936(const std::string& text, std::size_t index)
{
    const bool pair = IsLeadByte936(static_cast<unsigned char>(text[index])) &&
                      index + 1 < text.size();
    return pair ? 2 : 1;
}

std::size_t FindChar936(const std::string& text, char ch, std::size_t from)
{
    // The walk starts at the text's beginning, so `from` may even point into a
    // double-byte character without its trail byte being taken for `ch`.
    for (std::size_t i = 0; i < text.size(); i += CharLength936(text, i)) {
        if (i >= from && text[i] == ch) {
            return i;
        }
    }
    return std::string::npos;
}

std::size_t FindLastOf936(const std::string& text, const char* chars)
{
    const std::string set(chars);
    std::size_t last = std::string::npos;
    for (std::size_t i = 0; i < text.size(); i += CharLength936(text, i)) {
        if (CharLength936(text, i) == 1 && set.find(text[i]) != std::string::npos) {
            last = i;
        }
    }
    return last;
}

std::string CutText936(const std::string& text, std::size_t max_bytes)
{
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t next = end + CharLength936(text, end);
        if (next > max_bytes) {
            break;
        }
        end = next;
    }
    return text.substr(0, end);
}
