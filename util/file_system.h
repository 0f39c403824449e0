#pragma once
// Folder trees, file lists and temporary names on the real file system.
#include <cstddef>
#include <string>

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

// Copies `source` over `target` as CopyFile does (bytes, attributes, last
// write time; an existing target is replaced), through one handle each. The
// platform's own CopyFile opens the target twice; a tree of small files pays
// for that on every file. A copy that breaks off leaves no partial target and
// keeps the system's error of the step that failed (a full disk says so).
bool CopyFileThroughHandles(const std::wstring& source, const std::wstring& target);

// Renames a file over `target` (replacing a file there) through a handle of
// its own; false, with the system's error, where MoveFileEx would fail too
// (another volume, a missing folder, a file in use). It asks the file system
// for the target's name once, where MoveFileEx looks it up twice and reads the
// source's details first.
bool RenameFile(const std::wstring& source, const std::wstring& target);
