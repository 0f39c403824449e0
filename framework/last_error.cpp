#include "framework/last_error.h"

#include <string>

#include <windows.h>

#include "util/wide_text.h"

namespace {

// FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM:
// with no module named, the program's own module is searched first; it has no
// message table, so the system's texts answer.
constexpr DWORD kMessageFlags = 0x1900;

std::string SystemMessageText(DWORD code)
{
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(kMessageFlags, nullptr, code, 0,
                                        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (buffer != nullptr) {
        text = NarrowText(std::wstring(buffer, length));
        LocalFree(buffer);
    }
    return text;
}

}  // namespace

std::string GetLastErrorText()
{
    const DWORD code = GetLastError();
    std::string text = SystemMessageText(code);
    if (text.empty()) {
        text = std::to_string(static_cast<int>(code));
    }
    return text;
}
