#pragma once
// Folder trees, file lists and temporary names on the real file system.
#include <cstddef>
#include <string>

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

// Copies `source` over `target` as CopyFile does (bytes, attributes, last
// write time; an existing target is replaced), through one handle each. The
// platform's own CopyFile opens the target twice; a tree of small files pays
// for that on every file. A copy that breaks off leaves no partial target and
// keeps the system's error of the step that failed (a full disk says so).
bool CopyFileThroughHandles(const std::wstring& source, const std::wstring& target,
                            const KnownCopyDetails& known = KnownCopyDetails());

// A folder held open so that its files can be named relative to it
// (CopyFileBetweenFolders): the system then looks up one name per file instead
// of every folder of the path. Invalid when the folder cannot be opened.
UniqueFile OpenFolderForCopies(const std::wstring& folder);

// CopyFileThroughHandles for the file `name` (one path component, as a folder
// listing gives it) of one open folder to the same name in another.
// `targetPath` is the target's whole path, by which a partial copy is removed.
bool CopyFileBetweenFolders(HANDLE sourceFolder, HANDLE targetFolder, const std::wstring& name,
                            const std::wstring& targetPath, const KnownCopyDetails& known);

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
