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

extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE file, HANDLE event, PIO_APC_ROUTINE apc,
                                               PVOID apcContext, PIO_STATUS_BLOCK status,
                                               PVOID buffer, ULONG length,
                                               FILE_INFORMATION_CLASS informationClass,
                                               BOOLEAN singleEntry, PUNICODE_STRING mask,
                                               BOOLEAN restart);

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

constexpr NTSTATUS kNoMoreFiles = static_cast<NTSTATUS>(0x80000006L);

constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

DWORD CreationAttributes(DWORD kept)
{
    return kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL;
}

// The source's attributes and last write time, read on the open file, which
// also tells a link: the basic information where nothing is known, else only
// the attribute tag, with the write time of the caller's listing. The basic
// information only: the whole of it would ask for the volume's serial number,
// which Wine fetches from another process on every call.
FileCopyResult ReadSourceDetails(HANDLE from, const KnownCopyDetails& known, DWORD& kept,
                                 LARGE_INTEGER& lastWrite)
{
    DWORD attributes = 0;
    if (known.sourceKnown) {
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (!GetFileInformationByHandleEx(from, FileAttributeTagInfo, &tag, sizeof tag)) {
            return FileCopyResult::kFailed;
        }
        attributes = tag.FileAttributes;
        lastWrite.LowPart = known.sourceWriteTime.dwLowDateTime;
        lastWrite.HighPart = static_cast<LONG>(known.sourceWriteTime.dwHighDateTime);
    } else {
        FILE_BASIC_INFO info{};
        if (!GetFileInformationByHandleEx(from, FileBasicInfo, &info, sizeof info)) {
            return FileCopyResult::kFailed;
        }
        attributes = info.FileAttributes;
        lastWrite = info.LastWriteTime;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return FileCopyResult::kSourceIsLink;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FileCopyResult::kFailed;
    }
    kept = attributes & kKeptAttributes;
    return FileCopyResult::kCopied;
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
// no such details still has the whole copy. A copy that breaks off is deleted
// through its handle and keeps the error of the step that failed.
FileCopyResult FinishCopy(HANDLE from, UniqueFile to, DWORD kept, LARGE_INTEGER lastWrite,
                          bool setAttributes)
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
        return FileCopyResult::kCopied;
    }
    DeleteThroughHandle(to.get());
    to.reset();
    SetLastError(error);
    return FileCopyResult::kFailed;
}

bool IsNameInFolder(const std::wstring& name)
{
    return !name.empty() && name.size() <= 32767 && name != L"." && name != L".." &&
           name.find_first_of(L"\\/") == std::wstring::npos;
}

// Opens `name` inside an open folder on itself (a link there is not followed),
// as CreateFileW would open the whole path; `information` receives what the
// system did (FILE_CREATED, FILE_OPENED, ...).
HANDLE OpenInFolder(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG sharing,
                    ULONG disposition, ULONG options, ULONG attributes,
                    ULONG_PTR* information = nullptr)
{
    if (!IsNameInFolder(name)) {
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
        sharing, disposition, options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT,
        nullptr, 0);
    if (result < 0) {
        SetLastError(RtlNtStatusToDosError(result));
        return INVALID_HANDLE_VALUE;
    }
    if (information != nullptr) {
        *information = status.Information;
    }
    return file;
}

// A target known to be missing is made new, and a file just made cannot be a
// link; any other target is checked on the handle that writes it.
bool TargetIsNew(const KnownCopyDetails& known)
{
    return known.targetKnown && known.targetAttributes == INVALID_FILE_ATTRIBUTES;
}

FileCopyResult CheckTargetAndFinish(HANDLE from, UniqueFile to, bool created,
                                    const KnownCopyDetails& known, DWORD kept,
                                    LARGE_INTEGER lastWrite)
{
    if (!to) {
        return FileCopyResult::kFailed;
    }
    if (!created && IsLinkHandle(to.get())) {
        return FileCopyResult::kTargetIsLink;
    }
    return FinishCopy(from, std::move(to), kept, lastWrite, TargetNeedsAttributes(known, kept));
}

// The copy from an open source (at its first byte) to `name` inside an open
// folder, the target opened there on itself.
FileCopyResult CopyIntoFolder(HANDLE from, HANDLE targetFolder, const std::wstring& name,
                              const KnownCopyDetails& known)
{
    DWORD kept = 0;
    LARGE_INTEGER lastWrite{};
    const FileCopyResult read = ReadSourceDetails(from, known, kept, lastWrite);
    if (read != FileCopyResult::kCopied) {
        return read;
    }
    ULONG_PTR information = 0;
    UniqueFile to(OpenInFolder(targetFolder, name, GENERIC_WRITE | DELETE, 0,
                               TargetIsNew(known) ? FILE_CREATE : FILE_OVERWRITE_IF,
                               FILE_NON_DIRECTORY_FILE, CreationAttributes(kept), &information));
    return CheckTargetAndFinish(from, std::move(to), information == FILE_CREATED, known, kept,
                                lastWrite);
}

}  // namespace

FileCopyResult CopyFileThroughHandles(const std::wstring& source, const std::wstring& target,
                                      const KnownCopyDetails& known)
{
    // The target is shared with nobody, so a target that is the source itself
    // (or a link to it) cannot be opened while the source is open for reading,
    // and is never truncated.
    const UniqueFile from(CreateFileW(source.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr));
    if (!from) {
        return FileCopyResult::kFailed;
    }
    DWORD kept = 0;
    LARGE_INTEGER lastWrite{};
    const FileCopyResult read = ReadSourceDetails(from.get(), known, kept, lastWrite);
    if (read != FileCopyResult::kCopied) {
        return read;
    }
    const bool isNew = TargetIsNew(known);
    UniqueFile to(CreateFileW(target.c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                              isNew ? CREATE_NEW : CREATE_ALWAYS,
                              CreationAttributes(kept) | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    const bool created = isNew || (to && GetLastError() != ERROR_ALREADY_EXISTS);
    return CheckTargetAndFinish(from.get(), std::move(to), created, known, kept, lastWrite);
}

UniqueFile OpenFolderForCopies(const std::wstring& folder)
{
    return UniqueFile(CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

UniqueFile OpenNameInFolder(HANDLE folder, const std::wstring& name, ACCESS_MASK access,
                            ULONG sharing, ULONG disposition, ULONG options, ULONG attributes,
                            ULONG_PTR& information)
{
    information = 0;
    return UniqueFile(
        OpenInFolder(folder, name, access, sharing, disposition, options, attributes, &information));
}

UniqueFile OpenFolderInFolder(HANDLE parent, const std::wstring& name, bool create,
                              ACCESS_MASK access, FolderOpen& result)
{
    ULONG_PTR information = 0;
    UniqueFile folder(OpenInFolder(parent, name, FILE_LIST_DIRECTORY | FILE_TRAVERSE | access,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   create ? FILE_OPEN_IF : FILE_OPEN, FILE_DIRECTORY_FILE, 0,
                                   &information));
    if (!folder) {
        result = FolderOpen::kFailed;
    } else if (information == FILE_CREATED) {
        result = FolderOpen::kCreated;
    } else if (IsLinkHandle(folder.get())) {
        result = FolderOpen::kIsLink;
        folder.reset();
    } else {
        result = FolderOpen::kOpened;
    }
    return folder;
}

FileCopyResult CopyFileBetweenFolders(HANDLE sourceFolder, HANDLE targetFolder,
                                      const std::wstring& name, const KnownCopyDetails& known)
{
    const UniqueFile from(OpenInFolder(sourceFolder, name, GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN,
                                       FILE_SEQUENTIAL_ONLY | FILE_NON_DIRECTORY_FILE, 0));
    if (!from) {
        return FileCopyResult::kFailed;
    }
    return CopyIntoFolder(from.get(), targetFolder, name, known);
}

FileCopyResult CopyOpenFileIntoFolder(HANDLE source, HANDLE targetFolder, const std::wstring& name)
{
    return CopyIntoFolder(source, targetFolder, name, KnownCopyDetails());
}

UniqueFile OpenEntryInFolder(HANDLE folder, const std::wstring& name, ACCESS_MASK access)
{
    return UniqueFile(OpenInFolder(folder, name, access,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                                   0, 0));
}

bool RenameIntoFolder(HANDLE file, HANDLE folder, const std::wstring& name)
{
    if (!IsNameInFolder(name)) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = folder;
    rename->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), rename->FileName);
    rename->FileName[name.size()] = L'\0';
    return SetFileInformationByHandle(file, FileRenameInfo, rename,
                                      static_cast<DWORD>(buffer.size())) != FALSE;
}

bool ListOpenFolder(HANDLE folder, std::vector<FolderListEntry>& entries)
{
    // 8-byte aligned, as the entries' 64-bit fields want.
    thread_local std::vector<LONGLONG> buffer(64 * 1024 / sizeof(LONGLONG));
    const ULONG bufferBytes = static_cast<ULONG>(buffer.size() * sizeof(LONGLONG));
    for (BOOLEAN restart = TRUE;; restart = FALSE) {
        IO_STATUS_BLOCK status{};
        const NTSTATUS result =
            NtQueryDirectoryFile(folder, nullptr, nullptr, nullptr, &status, buffer.data(),
                                 bufferBytes, FileFullDirectoryInformation, FALSE, nullptr, restart);
        if (result == kNoMoreFiles) {
            return true;
        }
        if (result < 0) {
            SetLastError(RtlNtStatusToDosError(result));
            return false;
        }
        const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
        for (ULONG offset = 0;;) {
            const auto* found = reinterpret_cast<const FILE_FULL_DIR_INFORMATION*>(bytes + offset);
            FolderListEntry entry;
            entry.name.assign(found->FileName, found->FileNameLength / sizeof(wchar_t));
            if (entry.name != L"." && entry.name != L"..") {
                entry.attributes = found->FileAttributes;
                entry.lastWrite.dwLowDateTime = found->LastWriteTime.LowPart;
                entry.lastWrite.dwHighDateTime = static_cast<DWORD>(found->LastWriteTime.HighPart);
                entries.push_back(std::move(entry));
            }
            if (found->NextEntryOffset == 0) {
                break;
            }
            offset += found->NextEntryOffset;
        }
    }
}

bool IsLinkHandle(HANDLE entry)
{
    FILE_ATTRIBUTE_TAG_INFO tag{};
    return !GetFileInformationByHandleEx(entry, FileAttributeTagInfo, &tag, sizeof tag) ||
           (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool DeleteThroughHandle(HANDLE entry)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    if (SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof disposition)) {
        return true;
    }
    // Only a read-only entry resists its deletion so; one that still holds
    // something keeps its attributes.
    if (GetLastError() != ERROR_ACCESS_DENIED) {
        return false;
    }
    FILE_BASIC_INFO basic{};  // times of zero stay as they are
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(entry, FileBasicInfo, &basic, sizeof basic) &&
           SetFileInformationByHandle(entry, FileDispositionInfo, &disposition,
                                      sizeof disposition);
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

namespace {

constexpr ACCESS_MASK kDeleteAccess = DELETE | FILE_WRITE_ATTRIBUTES;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool ReadAttributeTag(HANDLE entry, DWORD& attributes)
{
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(entry, FileAttributeTagInfo, &tag, sizeof tag)) {
        return false;
    }
    attributes = tag.FileAttributes;
    return true;
}

// A link is removed itself, never followed: what it leads to lies outside the
// tree. It goes only when the handle, opened on the link, says it is one:
// Wine follows a link even so (and its deletion would reach the link's
// target), and there the listing's attributes alone see the link, which stays.
void DeleteLinkThroughHandle(HANDLE link)
{
    DWORD attributes = 0;
    if (ReadAttributeTag(link, attributes) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        DeleteThroughHandle(link);
    }
}

void DeleteListedLink(HANDLE folder, const FolderListEntry& entry)
{
    const UniqueFile link(OpenInFolder(folder, entry.name, kDeleteAccess, kShareAll, FILE_OPEN, 0, 0));
    if (link) {
        DeleteLinkThroughHandle(link.get());
    }
}

// Opened on itself for deletion on close: whatever stands under the name goes,
// a link that took the file's place meanwhile too, never what it leads to.
// A read-only file resists that open and goes through its handle instead.
void DeleteListedFile(HANDLE folder, const FolderListEntry& entry)
{
    if ((entry.attributes & FILE_ATTRIBUTE_READONLY) == 0 &&
        UniqueFile(OpenInFolder(folder, entry.name, DELETE, kShareAll, FILE_OPEN,
                                FILE_NON_DIRECTORY_FILE | FILE_DELETE_ON_CLOSE, 0))) {
        return;
    }
    const UniqueFile file(OpenInFolder(folder, entry.name, kDeleteAccess, kShareAll, FILE_OPEN,
                                       FILE_NON_DIRECTORY_FILE, 0));
    if (file) {
        DeleteThroughHandle(file.get());
    }
}

void DeleteFolderContent(HANDLE folder);

// A folder of the tree is held open on itself while its content goes: nobody
// can rename it or put a link in its place meanwhile, and its entries are
// named relative to it. One that another program holds so that it cannot be
// deleted is emptied all the same.
void DeleteListedFolder(HANDLE parent, const FolderListEntry& entry)
{
    FolderOpen result = FolderOpen::kFailed;
    UniqueFile held = OpenFolderInFolder(parent, entry.name, false, kDeleteAccess, result);
    if (result == FolderOpen::kIsLink) {
        DeleteListedLink(parent, entry);
        return;
    }
    const bool deletable = static_cast<bool>(held);
    if (!held) {
        held = OpenFolderInFolder(parent, entry.name, false, 0, result);
    }
    if (held) {
        DeleteFolderContent(held.get());
        if (deletable) {
            DeleteThroughHandle(held.get());
        }
    }
}

// The entries of a folder, read in full before any of them is touched. The
// deletion works on the platform's own names, so a name that code page 936
// cannot spell is deleted like any other.
void DeleteFolderContent(HANDLE folder)
{
    std::vector<FolderListEntry> entries;
    ListOpenFolder(folder, entries);
    for (const FolderListEntry& entry : entries) {
        if ((entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            DeleteListedLink(folder, entry);
        } else if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            DeleteListedFolder(folder, entry);
        } else {
            DeleteListedFile(folder, entry);
        }
    }
}

UniqueFile OpenTopFolder(const std::wstring& folder, ACCESS_MASK access)
{
    return UniqueFile(CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE |
                                                      FILE_READ_ATTRIBUTES | access,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
}

}  // namespace

void DeleteFolderTree(const std::string& folder)
{
    const std::wstring wideFolder = WidenText(folder);
    // A bare "X:" is the current folder of drive X: to the platform, but the
    // listing would read it as "X:\", the drive's root: refused, like every
    // spelling of a root, wherever the current folders are.
    const std::wstring searched = WidenText(WithoutTrailingBackslashes(folder));
    const bool bareDrive = searched.size() == 2 && searched[1] == L':';
    if (wideFolder.empty() || bareDrive || IsRootFolder(wideFolder)) {
        return;
    }
    // Asked without the trailing backslash, which would lead through a link.
    const DWORD attributes = GetFileAttributesW(searched.c_str());
    if (!IsFolderAttributes(attributes)) {
        return;
    }
    UniqueFile held = OpenTopFolder(searched, kDeleteAccess);
    const bool deletable = static_cast<bool>(held);
    if (!held) {
        held = OpenTopFolder(searched, 0);
    }
    DWORD tag = 0;
    if (!held || !ReadAttributeTag(held.get(), tag)) {
        return;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        (tag & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        if (deletable) {
            DeleteLinkThroughHandle(held.get());
        }
        return;
    }
    DeleteFolderContent(held.get());
    if (deletable) {
        DeleteThroughHandle(held.get());
    }
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
