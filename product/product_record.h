#pragma once
// What the registry says about the installed product, and the paths derived from it.
// Nothing is cached: every call reads the registry or the module path anew.
#include <string>

#include <windows.h>

// The registry view that ReadRegistryString reads: the 64-bit one, or (for any
// other value) the 32-bit view that this 32-bit program sees.
enum RegistryReadView : int {
    kRegistryView32 = 0,
    kRegistryView64 = 1,
};

// Reads a text value (at most 259 bytes of code page 936). Returns 0 and sets
// `value`, or returns the system error code and leaves `value` unchanged.
LONG ReadRegistryString(HKEY root, const std::string& subKey, const std::string& valueName,
                        std::string& value, RegistryReadView view);

std::string GetCurrentProductKey();
std::string GetInstallPath();
std::string GetInstalledVersion();
bool IsProductInstalled();
std::string GetFrameIniPath();
std::string GetScriptLibraryPath();
std::string GetModuleFolder();
std::string GetOwnFileName();
