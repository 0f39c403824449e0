#pragma once
// Folder links for the Windows tests. Wine answers CreateSymbolicLinkW without
// making a link; there the link is made on the host with ln -s, and Wine shows
// it as a folder with the reparse-point attribute.
#include <string>

#include <windows.h>

#include "util/wide_text.h"

namespace host_link {

using UnixFileNameFunction = char*(CDECL*)(LPCWSTR);

inline UnixFileNameFunction WineUnixFileName()
{
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel == nullptr ? nullptr
                             : reinterpret_cast<UnixFileNameFunction>(reinterpret_cast<void*>(
                                   GetProcAddress(kernel, "wine_get_unix_file_name")));
}

inline std::wstring UnixPath(const std::wstring& windowsPath)
{
    const UnixFileNameFunction unixFileName = WineUnixFileName();
    char* name = unixFileName == nullptr ? nullptr : unixFileName(windowsPath.c_str());
    if (name == nullptr) {
        return std::wstring();
    }
    wchar_t wide[1024] = {};
    MultiByteToWideChar(CP_UTF8, 0, name, -1, wide, 1023);
    HeapFree(GetProcessHeap(), 0, name);
    return wide;
}

inline std::wstring UnixPath(const std::string& windowsPath)
{
    return UnixPath(WidenText(windowsPath));
}

inline bool IsLink(const std::string& path)
{
    const DWORD attributes = GetFileAttributesW(WidenText(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Wine cannot wait for a host program: the caller waits for its effect.
inline void StartHostCommand(std::wstring commandLine)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

inline void RunHostCommand(const std::wstring& commandLine, const std::string& path, bool linked)
{
    StartHostCommand(commandLine);
    for (int i = 0; i < 500 && IsLink(path) != linked; ++i) {
        Sleep(10);
    }
}

// A link at `link` (whose parent exists) to the folder `target`; false when
// the platform makes none.
inline bool MakeFolderLink(const std::string& link, const std::string& target)
{
    if (WineUnixFileName() == nullptr) {
        CreateSymbolicLinkW(WidenText(link).c_str(), WidenText(target).c_str(),
                            SYMBOLIC_LINK_FLAG_DIRECTORY |
                                SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
        return IsLink(link);
    }
    const std::size_t slash = link.find_last_of('\\');
    const std::wstring unixParent = UnixPath(link.substr(0, slash));
    const std::wstring unixTarget = UnixPath(target);
    if (unixParent.empty() || unixTarget.empty()) {
        return false;
    }
    RunHostCommand(L"/bin/ln -s \"" + unixTarget + L"\" \"" + unixParent + L"/" +
                       WidenText(link.substr(slash + 1)) + L"\"",
                   link, true);
    return IsLink(link);
}

// Removes the link itself, never what it leads to.
inline void RemoveFolderLink(const std::string& link)
{
    if (WineUnixFileName() == nullptr) {
        RemoveDirectoryW(WidenText(link).c_str());
        return;
    }
    RunHostCommand(L"/bin/rm -f \"" + UnixPath(link) + L"\"", link, false);
}

}  // namespace host_link
