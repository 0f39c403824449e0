#include <gtest/gtest.h>

#include <string>

#include "archive/entry_name.h"

// In code page 936 "運" is DF 5C: its second byte is a backslash byte.
namespace {

TEST(EntryNameTest, JudgesWhetherANameStaysBelowItsFolder)
{
    const struct {
        std::string name;
        bool safe;
    } cases[] = {
        {"readme.txt", true},
        {"docs/sub/readme.txt", true},
        {"docs\\a.txt", true},
        {"docs/", true},
        {"a//b.txt", true},
        {"運行/说明.txt", true},
        {"..a", true},
        {".", true},
        {"./bin/a.dll", true},
        {"docs/./x", true},
        {"docs/.", true},
        {"a. b", true},
        {"a.b.c", true},
        {"console.txt", true},
        {"COM10.txt", true},
        {"LPT", true},
        {"nulled/x", true},

        {"", false},
        {"../x", false},
        {"..\\x", false},
        {"a/../../x", false},
        {"a/..", false},
        {"a\\..\\..\\x", false},
        {"...", false},
        {"運..", false},  // "運" (its second byte 0x5C) followed by dots
        {"file.", false},
        {"MrvCADSetup.exe.", false},
        {"readme.txt ", false},
        {"dir /x.txt", false},
        {"a/. ./b", false},
        {"./..", false},
        {". .", false},
        {"a/ ../b", false},
        {"C:\\x", false},
        {"C:x", false},
        {"/abs", false},
        {"\\abs", false},
        {"\\\\server\\share\\x", false},
        {"\\\\?\\C:\\x", false},
        {"x:stream", false},
        {"docs/x.txt:secret", false},
        {"CON", false},
        {"con", false},
        {"Con.txt", false},
        {"nul .txt", false},
        {"AUX.", false},
        {"sub/nul.txt", false},
        {"PRN/x.txt", false},
        {"COM1.txt", false},
        {"com9", false},
        {"LPT1.log", false},
        {"CONIN$", false},
        {"CONOUT$.txt", false},
        {"a\tb", false},
        {"a?b", false},
        {"a*b", false},
        {"a|b", false},
        {"a<b", false},
        {"a>b", false},
        {"a\"b", false},
        {"\"..\\x\"", false},
        {std::string("a\0b", 3), false},
        {"x\x81", false},      // a lead byte with nothing after it
        {"\x81/x", false},     // a lead byte before a byte no character ends with
        {"\x81\x7F", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsSafeEntryName(c.name), c.safe);
    }
}

}  // namespace
