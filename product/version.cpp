#include "product/version.h"

#include <climits>
#include <cstdint>
#include <cstdlib>

#include "util/text.h"
#include "util/text_path.h"

namespace {

// atoi's reading of a version part, but a part too long for an int stops at the
// int range instead of being undefined.
std::int64_t ReadVersionPart(const std::string& part)
{
    const long number = std::strtol(part.c_str(), nullptr, 10);
    if (number > INT_MAX) {
        return INT_MAX;
    }
    if (number < INT_MIN) {
        return INT_MIN;
    }
    return number;
}

bool IsCSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::int64_t PartWeight(std::size_t index)
{
    if (index == 0) {
        return 1000000;
    }
    if (index == 1) {
        return 100000;
    }
    return 1;
}

}  // namespace

// Only a plain decimal number counts: the library's strtod would also read
// "inf", "nan" and hexadecimal, which are no version numbers at all.
bool IsVersion2OrLater(const std::string& version)
{
    std::size_t start = 0;
    while (start < version.size() && IsCSpace(version[start])) {
        ++start;
    }
    if (start < version.size() && (version[start] == '+' || version[start] == '-')) {
        ++start;
    }
    const bool decimal = start < version.size() &&
                         (IsDigit(version[start]) || version[start] == '.') &&
                         version.compare(start, 2, "0x") != 0 &&
                         version.compare(start, 2, "0X") != 0;
    return decimal && std::strtod(version.c_str(), nullptr) >= 2.0;
}

// The sums are 64-bit: a part such as 3000 times its weight of a million does not
// fit an int, and a wrapped sum would turn an old version into a newer one.
bool IsNewerVersion(const std::string& installed, const std::string& offered)
{
    TextList installedParts;
    TextList offeredParts;
    SplitString(installed, ".", installedParts);
    SplitString(offered, ".", offeredParts);

    std::int64_t installedSum = 0;
    std::int64_t offeredSum = 0;
    for (std::size_t i = 0; i < installedParts.size() && i < offeredParts.size(); ++i) {
        installedSum += PartWeight(i) * ReadVersionPart(installedParts[i]);
        offeredSum += PartWeight(i) * ReadVersionPart(offeredParts[i]);
        if (installedSum < offeredSum) {
            return true;
        }
    }
    return false;
}
