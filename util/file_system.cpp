#include "util/file_system.h"

#include <algorithm>
#include <utility>
#include <vector>

#include <windows.h>
#include <shlwapi.h>
#include <winternl.h>

#include "util/handles.h"
#include "util/file_read.h"
#include "util/wide_text.h"

namespace {

DWORD Attributes(const std::string& path)
{
    return GetFileAttributesW(WidenText(path).c_str());
}

bool IsFolderAttributes(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A file where a folder is wanted is no folder: the tree below it cannot exist.
bool EnsureFolder(const std::string& path)
{
    const DWORD attributes = Attributes(path);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        return IsFolderAttributes(attributes);
    }
    if (CreateDirectoryW(WidenText(path).c_str(), nullptr)) {
        return true;
    }
    return GetLastError() == ERROR_ALREADY_EXISTS && IsFolderAttributes(Attributes(path));
}

bool HasEmptyName(const TextList& names)
{
    for (const std::string& name : names) {
        if (name.empty()) {
            return true;
        }
    }
    return false;
}

TextList PathComponents(const CPathName& path)
{
    TextList names;
    for (std::size_t i = 0; i < path.ComponentCount(); ++i) {
        names.push_back(path.Component(i));
    }
    return names;
}

// A network path is built below its share: server and share cannot be
// created, so the share must already be there.
bool PlanNetworkTree(const CPathName& path, std::string& prefix, TextList& names)
{
    names = PathComponents(path);
    if (names.size() < 2 || HasEmptyName(names)) {
        return false;
    }
    prefix = "\\\\" + names[0] + '\\' + names[1] + '\\';
    names.erase(names.begin(), names.begin() + 2);
    return IsFolderAttributes(Attributes(prefix));
}

// Where the folders of `path` are built from, and their names: a drive-absolute
// path from its root, a relative one from the current folder (of its drive), a
// rooted path without a drive from the root of the current drive.
bool PlanFolderTree(const CPathName& path, std::string& prefix, TextList& names)
{
    const std::string& directory = path.Directory();
    if (directory.empty()) {
        return true;
    }
    if (!path.Drive().empty() || path.IsRelative()) {
        prefix = path.IsRelative() ? path.Drive() : path.Drive() + '\\';
        names = PathComponents(path);
    } else if (directory.compare(0, 2, "\\\\") == 0) {
        return PlanNetworkTree(path, prefix, names);
    } else {
        prefix = "\\";
        SplitString(directory.substr(1), "\\", names);
    }
    return true;
}

bool IsDots(const wchar_t* name)
{
    return (name[0] == L'.' && name[1] == L'\0') ||
           (name[0] == L'.' && name[1] == L'.' && name[2] == L'\0');
}

struct FolderEntry {
    std::wstring path;
    DWORD attributes;
};

// The entries of a folder, read in full before any of them is touched. The
// deletion works on the platform's own names, so a name that code page 936
// cannot spell is deleted like any other.
std::vector<FolderEntry> ListFolderEntries(const std::wstring& folder)
{
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW data;
    const UniqueFindSearch find(FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (!find) {
        return entries;
    }
    do {
        if (!IsDots(data.cFileName)) {
            entries.push_back({folder + L'\\' + data.cFileName, data.dwFileAttributes});
        }
    } while (FindNextFileW(find.get(), &data));
    return entries;
}

// A link (junction or symbolic link) is removed itself, never followed: what
// it points to lies outside the tree being deleted.
void DeleteLink(const FolderEntry& entry)
{
    if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        RemoveDirectoryW(entry.path.c_str());
    } else {
        DeleteFileW(entry.path.c_str());
    }
}

// A folder of the tree held open while its content goes: without delete
// sharing it cannot be renamed or replaced by a link meanwhile, so the paths
// below it stay inside it. Opened on the link itself where there is one, and
// checked on that handle; invalid for anything but a plain folder. (Wine
// follows a link even so; there the listing's attributes, checked first, see it.)
UniqueFile HoldPlainFolder(const std::wstring& folder)
{
    UniqueFile held(CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (held && (!GetFileInformationByHandle(held.get(), &information) ||
                 (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
                 (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)) {
        held.reset();
    }
    return held;
}

void DeleteFolderContent(const std::wstring& folder)
{
    for (const FolderEntry& entry : ListFolderEntries(folder)) {
        if ((entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            DeleteLink(entry);
            continue;
        }
        // Only a read-only entry resists its deletion.
        if ((entry.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            SetFileAttributesW(entry.path.c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            {
                const UniqueFile held = HoldPlainFolder(entry.path);
                if (held) {
                    DeleteFolderContent(entry.path);
                }
            }
            // A link that took the folder's place is removed itself.
            RemoveDirectoryW(entry.path.c_str());
        } else {
            DeleteFileW(entry.path.c_str());
        }
    }
}

// A drive or share root is never deleted, however it is spelled ("C:", "C:\.",
// "\\server\share\"): one wrong folder text must not empty a whole disk. A
// folder whose full path cannot be made counts as a root.
bool IsRootFolder(const std::wstring& folder)
{
    const std::wstring full = FullPathName(folder);
    return full.empty() || PathIsRootW(full.c_str()) != FALSE;
}

}  // namespace

bool CreateDirectoryTree(const CPathName& path)
{
    std::string prefix;
    TextList names;
    if (!PlanFolderTree(path, prefix, names)) {
        return false;
    }
    // An empty folder name (two separators in a row) names no folder: the
    // tree fails there, after the folders above it.
    for (const std::string& name : names) {
        if (name.empty()) {
            return false;
        }
        prefix += name;
        if (!EnsureFolder(prefix)) {
            return false;
        }
        prefix += '\\';
    }
    return true;
}

std::size_t EnumerateFiles(const std::string& folder, TextList& files, bool recurse,
                           const std::string& mask)
{
    TextList subfolders;
    {
        WIN32_FIND_DATAW data;
        const UniqueFindSearch find(
            FindFirstFileW(WidenText(JoinPath(folder, mask)).c_str(), &data));
        if (!find) {
            return files.size();
        }
        do {
            if (IsDots(data.cFileName)) {
                continue;
            }
            std::string path = JoinPath(folder, NarrowText(data.cFileName));
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                files.push_back(std::move(path));
            } else if (recurse) {
                subfolders.push_back(std::move(path));
            }
        } while (FindNextFileW(find.get(), &data));
    }
    // The search is closed before the recursion: a deep tree holds one open search at a time.
    for (const std::string& subfolder : subfolders) {
        EnumerateFiles(subfolder, files, recurse, "*.*");
    }
    return files.size();
}

void DeleteFolderTree(const std::string& folder)
{
    const std::wstring wideFolder = WidenText(folder);
    // A bare "X:" is the current folder of drive X: to the platform, but the
    // search below would read it as "X:\*", the drive's root: refused, like
    // every spelling of a root, wherever the current folders are.
    const std::wstring searched = WidenText(WithoutTrailingBackslashes(folder));
    const bool bareDrive = searched.size() == 2 && searched[1] == L':';
    if (wideFolder.empty() || bareDrive || IsRootFolder(wideFolder)) {
        return;
    }
    const DWORD attributes = GetFileAttributesW(wideFolder.c_str());
    if (!IsFolderAttributes(attributes)) {
        return;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        RemoveDirectoryW(wideFolder.c_str());
        return;
    }
    {
        const UniqueFile held = HoldPlainFolder(searched);
        if (held) {
            DeleteFolderContent(searched);
        }
    }
    RemoveDirectoryW(wideFolder.c_str());
}

std::string MakeTempFilePath(const std::string& name)
{
    std::wstring folder(MAX_PATH + 1, L'\0');
    DWORD length = GetTempPathW(static_cast<DWORD>(folder.size()), &folder[0]);
    if (length >= folder.size()) {
        folder.assign(length + 1, L'\0');
        length = GetTempPathW(static_cast<DWORD>(folder.size()), &folder[0]);
    }
    if (length == 0 || length >= folder.size()) {
        return std::string();
    }
    folder.resize(length);
    return NarrowText(folder) + name;
}

std::wstring FullPathName(const std::wstring& path)
{
    // The size asked for first may grow if the current folder changes in between: ask again.
    std::wstring full;
    DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    while (size != 0) {
        full.assign(size, L'\0');
        const DWORD length = GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
        if (length < size) {
            full.resize(length);
            return full;
        }
        size = length;
    }
    return std::wstring();
}

namespace {

constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

DWORD CreationAttributes(DWORD kept)
{
    return kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL;
}

// The source's attributes and last write time: from the caller when it knows
// them (a folder listing has them), else from the open file. The basic
// information only: the whole of it would ask for the volume's serial number,
// which Wine fetches from another process on every call.
bool ReadSourceDetails(HANDLE from, const KnownCopyDetails& known, DWORD& kept,
                       LARGE_INTEGER& lastWrite)
{
    if (known.sourceKnown && (known.sourceAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        kept = known.sourceAttributes & kKeptAttributes;
        lastWrite.LowPart = known.sourceWriteTime.dwLowDateTime;
        lastWrite.HighPart = static_cast<LONG>(known.sourceWriteTime.dwHighDateTime);
        return (known.sourceAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    }
    FILE_BASIC_INFO info{};
    if (!GetFileInformationByHandleEx(from, FileBasicInfo, &info, sizeof info) ||
        (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    kept = info.FileAttributes & kKeptAttributes;
    lastWrite = info.LastWriteTime;
    return true;
}

// A new target took its attributes at creation, and so did an existing one
// that had them already; any other existing target keeps its old attributes on
// creation where the platform does not apply them to an existing file (Wine).
bool TargetNeedsAttributes(const KnownCopyDetails& known, DWORD kept)
{
    if (!known.targetKnown) {
        return true;
    }
    return known.targetAttributes != INVALID_FILE_ATTRIBUTES &&
           (known.targetAttributes & kKeptAttributes) != kept;
}

// Moves the bytes, then sets the write time (and the attributes where needed)
// through the handle. Times left 0 stay as they are; a file system that keeps
// no such details still has the whole copy. A copy that breaks off is removed
// by its path and keeps the error of the step that failed.
bool FinishCopy(HANDLE from, UniqueFile to, const std::wstring& targetPath, DWORD kept,
                LARGE_INTEGER lastWrite, bool setAttributes)
{
    constexpr DWORD kCopyBlock = 64 * 1024;
    // One block per thread, not one per file: a tree of small files would
    // otherwise commit and release heap pages for every file.
    thread_local std::vector<char> block(kCopyBlock);
    bool copied = true;
    DWORD error = ERROR_SUCCESS;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(from, block.data(), kCopyBlock, &got, nullptr)) {
            copied = false;
            error = GetLastError();
            break;
        }
        if (got == 0) {
            break;
        }
        // A write that reports success yet puts less found the volume full.
        DWORD put = 0;
        const BOOL wrote = WriteFile(to.get(), block.data(), got, &put, nullptr);
        if (!wrote || put != got) {
            copied = false;
            error = wrote ? ERROR_DISK_FULL : GetLastError();
            break;
        }
        // A file read synchronously comes short only at its end: asking once
        // more would only hear so again.
        if (got < kCopyBlock) {
            break;
        }
    }
    if (copied) {
        FILE_BASIC_INFO finished{};
        finished.LastWriteTime = lastWrite;
        finished.FileAttributes = setAttributes ? CreationAttributes(kept) : 0;
        SetFileInformationByHandle(to.get(), FileBasicInfo, &finished, sizeof finished);
    }
    to.reset();
    if (!copied && !DeleteFileW(targetPath.c_str())) {
        SetFileAttributesW(targetPath.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(targetPath.c_str());
    }
    if (!copied) {
        SetLastError(error);
    }
    return copied;
}

// Opens `name` inside an open folder, as CreateFileW would open the whole path.
HANDLE OpenInFolder(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG sharing,
                    ULONG disposition, ULONG options, ULONG attributes)
{
    if (name.empty() || name.size() > 32767 ||
        name.find_first_of(L"\\/") != std::wstring::npos) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    UNICODE_STRING objectName;
    objectName.Buffer = const_cast<wchar_t*>(name.c_str());
    objectName.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    objectName.MaximumLength = objectName.Length;
    OBJECT_ATTRIBUTES object;
    InitializeObjectAttributes(&object, &objectName, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK status{};
    HANDLE file = nullptr;
    const NTSTATUS result = NtCreateFile(
        &file, access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &object, &status, nullptr, attributes,
        sharing, disposition, options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE,
        nullptr, 0);
    if (result < 0) {
        SetLastError(RtlNtStatusToDosError(result));
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

}  // namespace

bool CopyFileThroughHandles(const std::wstring& source, const std::wstring& target,
                            const KnownCopyDetails& known)
{
    // The target is shared with nobody, so a target that is the source itself
    // (or a link to it) cannot be opened while the source is open for reading,
    // and is never truncated.
    const UniqueFile from(CreateFileW(source.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    DWORD kept = 0;
    LARGE_INTEGER lastWrite{};
    if (!from || !ReadSourceDetails(from.get(), known, kept, lastWrite)) {
        return false;
    }
    UniqueFile to(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              CreationAttributes(kept), nullptr));
    if (!to) {
        return false;
    }
    return FinishCopy(from.get(), std::move(to), target, kept, lastWrite,
                      TargetNeedsAttributes(known, kept));
}

UniqueFile OpenFolderForCopies(const std::wstring& folder)
{
    return UniqueFile(CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool CopyFileBetweenFolders(HANDLE sourceFolder, HANDLE targetFolder, const std::wstring& name,
                            const std::wstring& targetPath, const KnownCopyDetails& known)
{
    const UniqueFile from(OpenInFolder(sourceFolder, name, GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN,
                                       FILE_SEQUENTIAL_ONLY, 0));
    DWORD kept = 0;
    LARGE_INTEGER lastWrite{};
    if (!from || !ReadSourceDetails(from.get(), known, kept, lastWrite)) {
        return false;
    }
    UniqueFile to(OpenInFolder(targetFolder, name, GENERIC_WRITE, 0, FILE_OVERWRITE_IF, 0,
                               CreationAttributes(kept)));
    if (!to) {
        return false;
    }
    return FinishCopy(from.get(), std::move(to), targetPath, kept, lastWrite,
                      TargetNeedsAttributes(known, kept));
}

bool RenameFile(const std::wstring& source, const std::wstring& target)
{
    const UniqueFile file(CreateFileW(source.c_str(), DELETE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::copy(target.begin(), target.end(), rename->FileName);
    rename->FileName[target.size()] = L'\0';
    return SetFileInformationByHandle(file.get(), FileRenameInfo, rename,
                                      static_cast<DWORD>(buffer.size())) != FALSE;
}

bool PathExists(const std::string& path)
{
    return !path.empty() && Attributes(path) != INVALID_FILE_ATTRIBUTES;
}

bool ReadFileBytes(const std::string& path, std::string& bytes)
{
    const UniqueFile owner(CreateFileW(WidenText(path).c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!owner) {
        return false;
    }
    const HANDLE file = owner.get();
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(file, &size) != FALSE && size.QuadPart >= 0 &&
              static_cast<unsigned long long>(size.QuadPart) <= kMaxFileReadBytes;
    std::string content;
    if (ok) {
        content.resize(static_cast<std::size_t>(size.QuadPart));
        std::size_t total = 0;
        while (ok && total < content.size()) {
            DWORD read = 0;
            ok = ReadFile(file, &content[total], static_cast<DWORD>(content.size() - total), &read,
                          nullptr) != FALSE;
            if (read == 0) {
                break;
            }
            total += read;
        }
        content.resize(total);
    }
    if (ok) {
        bytes = std::move(content);
    }
    return ok;
}

UniqueFile OpenFileDenyingWriters(const std::string& path)
{
    return UniqueFile(CreateFileW(WidenText(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool RewindFile(HANDLE file)
{
    LARGE_INTEGER zero{};
    return SetFilePointerEx(file, zero, nullptr, FILE_BEGIN) != FALSE;
}
