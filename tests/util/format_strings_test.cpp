#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util/format_strings.h"

namespace {

struct FormatCase {
    const char* format;
    std::vector<std::string> args;
    const char* result;
};

TEST(FormatStringsTest, FillsPlaceholdersByTheFrameworkRules)
{
    const std::vector<std::string> ten = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "ten"};
    const FormatCase cases[] = {
        {"%1 来自 %2", {"download.php?key=11", "host"}, "download.php?key=11 来自 host"},
        {"文件 '%1' 已经存在！\n是否替换它?", {"C:\\a.txt"}, "文件 'C:\\a.txt' 已经存在！\n是否替换它?"},
        {"当前下载文件错误:%1", {"12029"}, "当前下载文件错误:12029"},
        {"%1% 的 %2 完成", {"45", "x"}, "45% 的 x 完成"},
        {"%2 %1 %2", {"a", "b"}, "b a b"},
        {"%1%1", {"ab"}, "abab"},
        {"%1", {""}, ""},
        {"[%2]", {"only one"}, "[%2]"},
        {"[%1]", {}, "[%1]"},
        {"[%0]", {"a", "b"}, "[%0]"},
        {"[%9]", {"a"}, "[%9]"},
        {"[%A]", {"a", "b"}, "[%A]"},
        {"[%A]", ten, "[ten]"},
        {"[%Z]", ten, "[%Z]"},
        {"%a %% %", {"x"}, "%a %% %"},
        {"%%1", {"x"}, "%x"},
        {"100%", {}, "100%"},
        {"%1", {"%2"}, "%2"},
        {"\x81%1", {"x"}, "\x81%1"},
        {"ab\x81", {"x"}, "ab\x81"},
        {"", {"x"}, ""},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(FormatStrings(c.format, c.args.data(), c.args.size()), c.result);
    }
}

TEST(FormatStringsTest, NoArgumentsAtAll)
{
    EXPECT_EQ(FormatStrings("%1 and %2", nullptr, 0), "%1 and %2");
}

TEST(FormatStringsTest, FormatString1FillsOnlyTheFirst)
{
    std::string out = "old";
    FormatString1(out, "%1 / %2", "one");
    EXPECT_EQ(out, "one / %2");
}

TEST(FormatStringsTest, FormatString2FillsBoth)
{
    std::string out;
    FormatString2(out, "%1 来自 %2", "download.php?key=11", "host");
    EXPECT_EQ(out, "download.php?key=11 来自 host");
}

TEST(FormatStringsTest, OutputMayBeAnArgument)
{
    std::string text = "inner";
    FormatString1(text, "(%1)", text);
    EXPECT_EQ(text, "(inner)");
    FormatString2(text, "%2-%1", text, text);
    EXPECT_EQ(text, "(inner)-(inner)");
}

}  // namespace
