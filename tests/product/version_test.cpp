#include "product/version.h"

#include <gtest/gtest.h>

namespace {

struct NewerCase {
    const char* installed;
    const char* offered;
    bool newer;
};

TEST(VersionTest, IsNewerVersion)
{
    const NewerCase cases[] = {
        {"1.9", "2.0", true},
        {"2.0", "1.9", false},
        {"2.1.5", "2.1.10", true},
        {"2.1.10", "2.1.5", false},
        {"2.3", "2.2.9", false},
        {"1.12", "1.9", false},
        {"2.0.0", "2", false},
        {"2", "2.0.1", false},
        {"2.1", "2.1", false},
        {"", "2.1", false},
        {"", "", false},
        {"2.1", "", false},
        {"2.1", "2.2beta", true},
        {"x.y", "1.0", true},
        // Parts whose weighted sum does not fit 32 bits compare as the numbers they are.
        {"2200", "2100", false},
        {"2", "3000", true},
        {"0.21475", "0.21474", false},
        // A part beyond the int range counts as the largest (or smallest) int.
        {"1.0.5", "1.0.4294967301", true},
        {"1.0.2147483647", "1.0.99999999999", false},
        {"1.0.-99999999999", "1.0.0", true},
    };
    for (const NewerCase& c : cases) {
        EXPECT_EQ(IsNewerVersion(c.installed, c.offered), c.newer)
            << "installed '" << c.installed << "', offered '" << c.offered << "'";
    }
}

struct Version2Case {
    const char* version;
    bool atLeast2;
};

TEST(VersionTest, IsVersion2OrLater)
{
    const Version2Case cases[] = {
        {"2", true},       {"2.0.1", true}, {"2.0", true},  {"10.1", true},
        {" 2.5", true},    {"1.95", false}, {"1.999", false}, {"", false},
        {"abc", false},    {"-3", false},   {"v2.0", false},
        // Only a decimal number counts: no infinity, no hexadecimal.
        {"infinity", false}, {"INF 2", false}, {"0x2", false}, {"+2.1", true},
    };
    for (const Version2Case& c : cases) {
        EXPECT_EQ(IsVersion2OrLater(c.version), c.atLeast2) << "version '" << c.version << "'";
    }
}

}  // namespace
