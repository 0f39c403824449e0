#include "product/install_space.h"

#include <cstring>

#include <windows.h>

#include "archive/archive.h"
#include "util/disk_space.h"
#include "util/wide_text.h"

namespace {

// The size of an existing file at the entry's destination; 0 when there is none.
std::uint64_t ExistingFileBytes(const std::string& installFolder, std::string name)
{
    for (char& c : name) {
        if (c == '/') {
            c = '\\';
        }
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(WidenText(installFolder + "\\" + name).c_str(), GetFileExInfoStandard,
                              &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return 0;
    }
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The root of the volume that holds `folder` or its nearest existing ancestor.
std::wstring VolumeOf(const std::string& folder)
{
    wchar_t volume[MAX_PATH] = {};
    std::wstring path = WidenText(folder);
    while (!path.empty()) {
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES &&
            GetVolumePathNameW(path.c_str(), volume, MAX_PATH)) {
            std::wstring root(volume);
            CharUpperBuffW(&root[0], static_cast<DWORD>(root.size()));
            return root;
        }
        std::wstring parent = path;
        while (!parent.empty() && parent.back() == L'\\') {
            parent.pop_back();
        }
        const std::size_t separator = parent.find_last_of(L'\\');
        parent = separator == std::wstring::npos ? std::wstring() : parent.substr(0, separator + 1);
        path = parent == path ? std::wstring() : parent;
    }
    return std::wstring();
}

}  // namespace

bool MeasureInstallSpace(const std::string& archivePath, const std::string& installFolder,
                         InstallSpaceNeed& need)
{
    need = InstallSpaceNeed();
    ArchiveHandle* const archive = OpenArchive(archivePath.c_str(), 0, kArchiveFileName);
    if (archive == nullptr) {
        return false;
    }
    ArchiveEntry count;
    GetArchiveEntry(archive, -1, count);
    bool read = ArchiveLastError() == kArchiveOk;
    for (int i = 0; read && i < count.index; ++i) {
        ArchiveEntry entry;
        GetArchiveEntry(archive, i, entry);
        read = ArchiveLastError() == kArchiveOk;
        const std::string name(entry.name, strnlen(entry.name, sizeof entry.name));
        if (!read || (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || name.empty() ||
            name.back() == '/' || name.back() == '\\') {
            continue;
        }
        need.installBytes += entry.uncompressedSize;
        need.backupBytes += ExistingFileBytes(installFolder, name);
    }
    CloseArchive(archive);
    return read;
}

int CheckInstallSpace(const InstallSpaceNeed& need, const std::string& installFolder,
                      const std::string& backupFolder, std::string& message)
{
    const std::wstring installVolume = VolumeOf(installFolder);
    if (!installVolume.empty() && installVolume == VolumeOf(backupFolder)) {
        return CheckFreeSpace(installFolder, need.installBytes + need.backupBytes, message);
    }
    const int install = CheckFreeSpace(installFolder, need.installBytes, message);
    if (install == kSpaceShort) {
        return install;
    }
    const int backup = CheckFreeSpace(backupFolder, need.backupBytes, message);
    return backup == kSpaceEnough ? install : backup;
}
