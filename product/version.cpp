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

bool IsVersion2OrLater(const std::string& version)
{
    return std::strtod(version.c_str(), nullptr) >= 2.0;
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
