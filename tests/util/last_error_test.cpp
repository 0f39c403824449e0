#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "util/handles.h"
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

// A close that changes the last error, as a failing close does: no real
// handle can be made to fail its close on demand.
struct NoisyClose : handle_traits::KeepsLastError<NoisyClose> {
    using Handle = int;
    static Handle Invalid() noexcept { return 0; }
    static void CloseNow(Handle) noexcept { SetLastError(ERROR_INVALID_HANDLE); }
};

// An owner that goes out of scope between a failed call and the caller's
// GetLastError leaves the failed call's code in place.
TEST(LastErrorTextTest, ClosingAnOwnerKeepsTheLastError)
{
    {
        UniqueResource<NoisyClose> owner(1);
        SetLastError(ERROR_FILE_NOT_FOUND);
        owner.reset(2);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        SetLastError(ERROR_PATH_NOT_FOUND);
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    SetLastError(ERROR_ACCESS_DENIED);
    event.reset();
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

}  // namespace
