#include "util/format_strings.h"

#include "util/cp936.h"

namespace {

constexpr std::size_t kNoArgument = static_cast<std::size_t>(-1);

// The argument index a placeholder letter names: '1'..'9' are 0..8 and 'A'..'Z'
// are 9 on; '0' names no argument.
std::size_t PlaceholderIndex(char letter)
{
    if (letter >= '1' && letter <= '9') {
        return static_cast<std::size_t>(letter - '1');
    }
    if (letter >= 'A' && letter <= 'Z') {
        return static_cast<std::size_t>(letter - 'A') + 9;
    }
    return kNoArgument;
}

bool IsPlaceholderLetter(char letter)
{
    return (letter >= '0' && letter <= '9') || (letter >= 'A' && letter <= 'Z');
}

}  // namespace

std::string FormatStrings(const std::string& format, const std::string* args, std::size_t count)
{
    std::string out;
    out.reserve(format.size());
    std::size_t i = 0;
    while (i < format.size()) {
        if (format[i] == '%' && i + 1 < format.size() && IsPlaceholderLetter(format[i + 1])) {
            const std::size_t index = PlaceholderIndex(format[i + 1]);
            if (index < count && args != nullptr) {
                out += args[index];
            } else {
                out.append(format, i, 2);
            }
            i += 2;
        } else {
            const std::size_t length = CharLength936(format, i);
            out.append(format, i, length);
            i += length;
        }
    }
    return out;
}

std::string FormatString1(const std::string& format, const std::string& arg1)
{
    return FormatStrings(format, &arg1, 1);
}

std::string FormatString2(const std::string& format, const std::string& arg1,
                          const std::string& arg2)
{
    const std::string args[] = {arg1, arg2};
    return FormatStrings(format, args, 2);
}

void FormatString1(std::string& out, const std::string& format, const std::string& arg1)
{
    out = FormatString1(format, arg1);
}

void FormatString2(std::string& out, const std::string& format, const std::string& arg1,
                   const std::string& arg2)
{
    out = FormatString2(format, arg1, arg2);
}
