#pragma once
// Folder trees, file lists and temporary names on the real file system.
#include <cstddef>
#include <string>
#include <vector>

#include <windows.h>

#include "util/handles.h"
#include "util/text.h"
#include "util/text_path.h"

// Creates every missing folder of the path's directory; false at the first
// folder that neither exists nor can be created.
bool CreateDirectoryTree(const CPathName& path);

// Appends the full paths of the files in `folder` that match `mask` (and, with
// `recurse`, every file below the matching subfolders); returns the list's size.
std::size_t EnumerateFiles(const std::string& folder, TextList& files, bool recurse,
                           const std::string& mask);

// Deletes the folder with everything in it, as far as it can.
void DeleteFolderTree(const std::string& folder);

// The user's temporary folder (with its trailing backslash) followed by `name`.
std::string MakeTempFilePath(const std::string& name);

// The absolute form of `path` as the platform resolves it against the current
// folder (and drive); empty when it cannot.
std::wstring FullPathName(const std::wstring& path);

// True when a file or folder of exactly this name exists.
bool PathExists(const std::string& path);

// What a caller already knows of a copy's two files, from a folder listing or
// a check made just before: a tree of small files pays for every question the
// copy would ask again.
struct KnownCopyDetails {
    // sourceAttributes and sourceWriteTime are valid.
    bool sourceKnown = false;
    DWORD sourceAttributes = 0;
    FILETIME sourceWriteTime{};
    // targetAttributes are the target's before the copy (INVALID_FILE_ATTRIBUTES:
    // there was none).
    bool targetKnown = false;
    DWORD targetAttributes = INVALID_FILE_ATTRIBUTES;
};

// What a copy through handles came to. A link found on the handle that the
// copy opened is neither read nor written through.
enum class FileCopyResult {
    kCopied,
    kFailed,        // the system's error is kept; a target begun is deleted again
    kSourceIsLink,  // nothing was read
    kTargetIsLink,  // nothing was written through it
};

// Copies `source` over `target` as CopyFile does (bytes, attributes, last
// write time; an existing target is replaced), through one handle each. The
// platform's own CopyFile opens the target twice; a tree of small files pays
// for that on every file. Both files are opened on themselves, never on what a
// link in their place leads to, and checked on those handles. A copy that
// breaks off leaves no partial target (it is deleted through its handle) and
// keeps the system's error of the step that failed (a full disk says so).
FileCopyResult CopyFileThroughHandles(const std::wstring& source, const std::wstring& target,
                                      const KnownCopyDetails& known = KnownCopyDetails());

// A folder held open so that its files can be named relative to it
// (CopyFileBetweenFolders): the system then looks up one name per file instead
// of every folder of the path. Nobody can rename or delete it while it is held.
// The folder named may be a link (a redirected folder): the caller chose it.
// Invalid when the folder cannot be opened.
UniqueFile OpenFolderForCopies(const std::wstring& folder);

enum class FolderOpen { kOpened, kCreated, kIsLink, kFailed };

// The folder `name` (one path component) inside an open folder, opened on
// itself and held as OpenFolderForCopies holds it: a link in its place is not
// followed but answered kIsLink; with `create`, a missing folder is made.
// `access` adds to what listing and naming files inside it need (DELETE for a
// folder that is to go). Invalid unless kOpened or kCreated.
UniqueFile OpenFolderInFolder(HANDLE parent, const std::wstring& name, bool create,
                              ACCESS_MASK access, FolderOpen& result);

// CopyFileThroughHandles for the file `name` (one path component, as a folder
// listing gives it) of one open folder to the same name in another.
FileCopyResult CopyFileBetweenFolders(HANDLE sourceFolder, HANDLE targetFolder,
                                      const std::wstring& name, const KnownCopyDetails& known);

// CopyFileThroughHandles from a file open for reading (at its first byte, and
// already checked by the caller) to `name` in an open folder.
FileCopyResult CopyOpenFileIntoFolder(HANDLE source, HANDLE targetFolder, const std::wstring& name);

// Opens or creates `name` (one path component) inside an open folder, on
// itself (a link there is not followed), as NtCreateFile takes `disposition`,
// `options` and `attributes`: the system looks up that one name, never the
// whole path again. `information` receives what it did (FILE_CREATED,
// FILE_OPENED, ...). Invalid, with the system's error, when it cannot.
UniqueFile OpenNameInFolder(HANDLE folder, const std::wstring& name, ACCESS_MASK access,
                            ULONG sharing, ULONG disposition, ULONG options, ULONG attributes,
                            ULONG_PTR& information);

// The file or folder `name` (one path component) inside an open folder,
// opened on itself with `access` (a link is not followed: the caller checks
// with IsLinkHandle); shared with everyone. Invalid when it cannot be opened.
UniqueFile OpenEntryInFolder(HANDLE folder, const std::wstring& name, ACCESS_MASK access);

// Renames the open file (opened with DELETE access) to `name` inside an open
// folder, replacing a file there (a link there is replaced itself); false,
// with the system's error, across volumes and where a file there is in use.
bool RenameIntoFolder(HANDLE file, HANDLE folder, const std::wstring& name);

// One entry of an open folder's listing.
struct FolderListEntry {
    std::wstring name;
    DWORD attributes = 0;
    FILETIME lastWrite{};
};

// The entries of an open folder ("." and ".." left out), read through its
// handle: a link put into the folder's path meanwhile cannot change them.
// False when the folder cannot be read; `entries` then holds what was read.
bool ListOpenFolder(HANDLE folder, std::vector<FolderListEntry>& entries);

// True when the open file or folder is a link (its attribute tag says so); a
// handle whose tag cannot be read counts as one.
bool IsLinkHandle(HANDLE entry);

// Deletes the open file or folder (opened with DELETE access) when its last
// handle closes, a read-only one too (its handle needs FILE_WRITE_ATTRIBUTES
// then); a folder that still holds something stays. Opened on a link itself,
// that is the link, never what it leads to.
bool DeleteThroughHandle(HANDLE entry);

// Renames a file over `target` (replacing a file there) through a handle of
// its own; false, with the system's error, where MoveFileEx would fail too
// (another volume, a missing folder, a file in use). It asks the file system
// for the target's name once, where MoveFileEx looks it up twice and reads the
// source's details first.
bool RenameFile(const std::wstring& source, const std::wstring& target);

// A file opened for reading that nobody may write, rename or delete while the
// handle is held; what is read through it is what was checked through it.
// Invalid when it cannot be opened.
UniqueFile OpenFileDenyingWriters(const std::string& path);

// Puts the file's position at its first byte: an archive read through a
// handle starts where the handle stands.
bool RewindFile(HANDLE file);
