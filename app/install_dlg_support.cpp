#include "app/install_dlg_support.h"

#include <windows.h>
#include <shellapi.h>

#include "util/cp936.h"
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

bool IsFullFolderPath(const std::string& folder)
{
    if (folder.size() > 3 && IsAsciiLetter(folder[0]) && folder[1] == ':' && folder[2] == '\\') {
        return true;
    }
    if (folder.compare(0, 2, "\\\\") != 0) {
        return false;
    }
    const std::size_t serverEnd = FindChar936(folder, '\\', 2);
    return serverEnd != std::string::npos && serverEnd > 2 && serverEnd + 1 < folder.size();
}
