#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "util/last_error.h"

namespace {

bool IsDecimalNumber(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("-0123456789") == std::string::npos;
}

TEST(LastErrorTextTest, SystemErrorsReadAsTheSystemsText)
{
    for (const DWORD code : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SUCCESS}) {
        SCOPED_TRACE(code);
        SetLastError(code);
        const std::string text = GetLastErrorText();
        EXPECT_FALSE(IsDecimalNumber(text)) << text;
        ASSERT_GE(text.size(), 2u);
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    }
}

TEST(LastErrorTextTest, CodesWithoutSystemTextReadAsTheirNumber)
{
    const std::pair<DWORD, const char*> cases[] = {
        {12029, "12029"},  // ERROR_INTERNET_CANNOT_CONNECT: WinInet's own table, not the system's
        {12002, "12002"},
        {0x2000FFFF, "536936447"},
        {0xE0000001, "-536870911"},  // printed as a signed number
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second);
        SetLastError(c.first);
        EXPECT_EQ(GetLastErrorText(), c.second);
    }
}

}  // namespace
