#include "util/disk_space.h"

#include <windows.h>

#include "util/wide_text.h"

namespace {

// The folder one level up, or empty at the root ("C:\", "\\server\share\").
std::wstring ParentFolder(const std::wstring& folder)
{
    std::wstring parent = folder;
    while (!parent.empty() && (parent.back() == L'\\' || parent.back() == L'/')) {
        parent.pop_back();
    }
    const std::size_t separator = parent.find_last_of(L"\\/");
    if (separator == std::wstring::npos) {
        return std::wstring();
    }
    parent.resize(separator + 1);
    return parent == folder ? std::wstring() : parent;
}

bool IsExistingFolder(const std::wstring& folder)
{
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

bool GetFreeBytes(const std::string& folder, std::uint64_t& freeBytes)
{
    for (std::wstring candidate = WidenText(folder); !candidate.empty();
         candidate = ParentFolder(candidate)) {
        if (!IsExistingFolder(candidate)) {
            continue;
        }
        // The asked folder's name must end in a separator for a share root.
        if (candidate.back() != L'\\') {
            candidate += L'\\';
        }
        ULARGE_INTEGER available{};
        if (!GetDiskFreeSpaceExW(candidate.c_str(), &available, nullptr, nullptr)) {
            return false;
        }
        freeBytes = available.QuadPart;
        return true;
    }
    return false;
}

SpaceCheck CheckFreeSpace(const std::string& folder, std::uint64_t neededBytes, std::string& message)
{
    std::uint64_t freeBytes = 0;
    if (!GetFreeBytes(folder, freeBytes)) {
        return kSpaceUnknown;
    }
    if (freeBytes >= neededBytes) {
        return kSpaceEnough;
    }
    message = SpaceShortageText(folder, neededBytes, freeBytes);
    return kSpaceShort;
}
