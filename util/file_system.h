#pragma once
// Folder trees, file lists and temporary names on the real file system.
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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

// Closes file handles on a thread of its own: a copy of many small files
// would otherwise wait for every close, and under Wine a close is a round trip
// to another process. Every handle handed over is closed by the time the
// closer is destroyed; where no thread could be started, at once.
class CHandleCloser {
public:
    CHandleCloser();
    ~CHandleCloser();
    CHandleCloser(const CHandleCloser&) = delete;
    CHandleCloser& operator=(const CHandleCloser&) = delete;
    void Close(void* handle);

private:
    void CloseQueued();

    // Close runs on the copying thread, CloseQueued on the closer's own; they
    // meet in `queue_` and `finished_` under `lock_`.
    std::mutex lock_;
    std::condition_variable queued_;
    std::vector<void*> queue_;
    bool finished_ = false;
    std::thread thread_;
};

// Copies `source` over `target` as CopyFile does (bytes, attributes, last
// write time; an existing target is replaced), through one handle each. The
// platform's own CopyFile opens the target twice; a tree of small files pays
// for that on every file. A copy that breaks off leaves no partial target and
// keeps the system's error of the step that failed (a full disk says so).
// With a `closer`, a finished copy's handles are closed there.
bool CopyFileThroughHandles(const std::wstring& source, const std::wstring& target,
                            CHandleCloser* closer = nullptr);

// Renames a file over `target` (replacing a file there) through a handle of
// its own; false, with the system's error, where MoveFileEx would fail too
// (another volume, a missing folder, a file in use). It asks the file system
// for the target's name once, where MoveFileEx looks it up twice and reads the
// source's details first.
bool RenameFile(const std::wstring& source, const std::wstring& target);
