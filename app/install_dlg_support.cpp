#include "app/install_dlg_support.h"

#include <windows.h>
#include <shellapi.h>

#include "util/wide_text.h"

void RunProgram(const std::string& file, const std::string& arguments)
{
    const std::wstring program = WidenText(file);
    const std::wstring parameters = WidenText(arguments);
    ShellExecuteW(nullptr, L"OPEN", program.c_str(),
                  parameters.empty() ? nullptr : parameters.c_str(), nullptr, SW_SHOW);
}

namespace {

bool IsAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

bool IsDriveRoot(const std::string& folder)
{
    return folder.size() == 2 && IsAsciiLetter(folder[0]) && folder[1] == ':';
}
