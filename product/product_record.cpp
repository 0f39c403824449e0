#include "product/product_record.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "util/handles.h"
#include "util/file_system.h"
#include "util/text_path.h"
#include "util/wide_text.h"

namespace {

const char kVendorKey[] = "Software\\Morvane\\";
const char kDefaultProductKey[] = "MrvCAD";

// The product reads its values through a 260-byte buffer: 259 bytes and the terminator.
constexpr std::size_t kMaxRegistryText = 259;

// The 32-bit view is named rather than implied, so that a 64-bit build of the same
// code (the one the tests run) reads what the 32-bit program reads.
REGSAM RegistryAccess(RegistryReadView view)
{
    return KEY_READ | (view == kRegistryView64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY);
}

bool IsTextType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The value's data as code page 936 text up to its first terminator, whatever its
// stored type; data stored without a terminator are taken whole. Text values are
// read as Unicode and converted; the bytes of any other type are the text itself,
// as the 32-bit product's own ANSI reads take them.
LONG QueryValueText(HKEY key, const std::wstring& valueName, std::string& text)
{
    std::vector<wchar_t> data;
    DWORD type = REG_NONE;
    DWORD size = 0;
    LONG status = ERROR_MORE_DATA;
    // The value may grow between the size query and the read; then ask again.
    while (status == ERROR_MORE_DATA) {
        status = RegQueryValueExW(key, valueName.c_str(), nullptr, nullptr, nullptr, &size);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        data.assign(size / sizeof(wchar_t) + 2, L'\0');
        size = static_cast<DWORD>((data.size() - 1) * sizeof(wchar_t));
        status = RegQueryValueExW(key, valueName.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &size);
    }
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (IsTextType(type)) {
        text = NarrowText(data.data());
        return ERROR_SUCCESS;
    }
    const char* const bytes = reinterpret_cast<const char*>(data.data());
    text.assign(bytes, strnlen(bytes, size));
    return ERROR_SUCCESS;
}

std::string ReadProductValue(const char* valueName)
{
    std::string value;
    ReadRegistryString(HKEY_LOCAL_MACHINE, kVendorKey + GetCurrentProductKey(), valueName, value,
                       kRegistryView32);
    return value;
}

// Read whole even beyond MAX_PATH: a cut path would name the wrong folder.
std::wstring GetModulePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return std::wstring();
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace

LONG ReadRegistryString(HKEY root, const std::string& subKey, const std::string& valueName,
                        std::string& value, RegistryReadView view)
{
    UniqueRegKey key;
    LONG status =
        RegOpenKeyExW(root, WidenText(subKey).c_str(), 0, RegistryAccess(view), key.put());
    if (status != ERROR_SUCCESS) {
        return status;
    }
    std::string narrow;
    status = QueryValueText(key.get(), WidenText(valueName), narrow);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (narrow.size() > kMaxRegistryText) {
        return ERROR_MORE_DATA;
    }
    value = std::move(narrow);
    return ERROR_SUCCESS;
}

std::string GetCurrentProductKey()
{
    std::string productKey;
    if (ReadRegistryString(HKEY_LOCAL_MACHINE, kVendorKey, "CurVer", productKey,
                           kRegistryView32) != ERROR_SUCCESS ||
        productKey.empty()) {
        return kDefaultProductKey;
    }
    return productKey;
}

std::string GetInstallPath()
{
    return ReadProductValue("InstallPath");
}

std::string GetInstalledVersion()
{
    return ReadProductValue("Version");
}

bool IsProductInstalled()
{
    const std::string folder = WithoutTrailingBackslashes(GetInstallPath());
    return !folder.empty() && PathExists(folder);
}

std::string GetFrameIniPath()
{
    return GetInstallPath() + "Support\\Location\\Frame.ini";
}

std::string GetScriptLibraryPath()
{
    const std::string installPath = GetInstallPath();
    if (installPath.empty()) {
        return std::string();
    }
    const std::string libraryPath = installPath + "Library\\Script\\";
    CreateDirectoryW(WidenText(libraryPath).c_str(), nullptr);
    return libraryPath;
}

std::string GetModuleFolder()
{
    const std::wstring path = GetModulePath();
    const std::size_t lastSeparator = path.rfind(L'\\');
    if (lastSeparator == std::wstring::npos) {
        return NarrowText(path);
    }
    return NarrowText(path.substr(0, lastSeparator + 1));
}

std::string GetOwnFileName()
{
    return GetPathFileName(NarrowText(GetModulePath()));
}
