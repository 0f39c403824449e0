#include "util/last_error.h"

#include <string>

#include <windows.h>

#include "util/handles.h"
#include "util/wide_text.h"

namespace {

// With no module named, the program's own module is searched first; it has no
// message table, so the system's texts answer.
constexpr DWORD kMessageFlags =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM;

std::string SystemMessageText(DWORD code)
{
    UniqueLocalMemory buffer;
    const DWORD length = FormatMessageW(kMessageFlags, nullptr, code, 0,
                                        reinterpret_cast<wchar_t*>(buffer.put()), 0, nullptr);
    if (!buffer) {
        return std::string();
    }
    return NarrowText(std::wstring(static_cast<const wchar_t*>(buffer.get()), length));
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
