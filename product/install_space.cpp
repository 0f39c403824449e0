#include "product/install_space.h"

#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include <windows.h>

#include "archive/archive.h"
#include "archive/entry_name.h"
#include "archive/entry_record.h"
#include "util/disk_space.h"
#include "util/file_system.h"
#include "util/wide_text.h"

namespace {

// The size of an existing file at `path`; false when there is none.
bool ExistingFileBytes(const std::string& path, std::uint64_t& bytes)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(WidenText(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    bytes = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

// Whether the folders of the package's files exist, each asked once.
class CFolderPresence {
public:
    explicit CFolderPresence(const std::string& installFolder) : installFolder_(installFolder) {}
    bool Exists(const std::string& relativeFolder)
    {
        const auto known = present_.find(relativeFolder);
        if (known != present_.end()) {
            return known->second;
        }
        const std::string path =
            relativeFolder.empty() ? installFolder_ : installFolder_ + "\\" + relativeFolder;
        const DWORD attributes = GetFileAttributesW(WidenText(path).c_str());
        const bool exists =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        present_.emplace(relativeFolder, exists);
        return exists;
    }

private:
    const std::string& installFolder_;
    std::unordered_map<std::string, bool> present_;
};

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
    const UniqueFile package = OpenFileDenyingWriters(archivePath);
    return package && MeasureInstallSpace(package.get(), installFolder, need);
}

bool MeasureInstallSpace(HANDLE package, const std::string& installFolder, InstallSpaceNeed& need)
{
    need = InstallSpaceNeed();
    if (!RewindFile(package)) {
        return false;
    }
    const UniqueArchive archive(OpenArchive(&package, 0, kArchiveFileHandle));
    if (!archive) {
        return false;
    }
    ArchiveEntry count;
    GetArchiveEntry(archive.get(), -1, count);
    bool read = ArchiveLastError() == kArchiveOk;
    CFolderPresence folders(installFolder);
    std::unordered_set<std::string> replaced;
    TextList parts;
    for (int i = 0; read && i < count.index; ++i) {
        ArchiveEntry entry;
        GetArchiveEntry(archive.get(), i, entry);
        read = ArchiveLastError() == kArchiveOk;
        const std::string name(entry.name, strnlen(entry.name, sizeof entry.name));
        if (!read || name.empty() || IsFolderEntry(entry, name)) {
            continue;
        }
        // A ZIP64 entry's size counts whole: 4 GB would be far short of it.
        need.installBytes += entry.uncompressedSize64;
        // A name the install refuses replaces nothing.
        if (!SplitEntryName(name, parts) || !folders.Exists(JoinParts(parts, parts.size() - 1))) {
            continue;
        }
        const std::string destination = installFolder + "\\" + JoinParts(parts, parts.size());
        std::uint64_t bytes = 0;
        if (ExistingFileBytes(destination, bytes) && replaced.insert(destination).second) {
            need.backupBytes += bytes;
            need.replacedFiles.push_back(destination);
        }
    }
    return read;
}

// On one volume a replaced file is renamed into the backup folder and keeps
// the room it had: only the package's files need room there. On another
// volume every backup is a copy and needs room of its own.
SpaceCheck CheckInstallSpace(const InstallSpaceNeed& need, const std::string& installFolder,
                             const std::string& backupFolder, std::string& message)
{
    const std::wstring installVolume = VolumeOf(installFolder);
    if (!installVolume.empty() && installVolume == VolumeOf(backupFolder)) {
        return CheckFreeSpace(installFolder, need.installBytes, message);
    }
    const SpaceCheck install = CheckFreeSpace(installFolder, need.installBytes, message);
    if (install == kSpaceShort) {
        return install;
    }
    const SpaceCheck backup = CheckFreeSpace(backupFolder, need.backupBytes, message);
    return backup == kSpaceEnough ? install : backup;
}
