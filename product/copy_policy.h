#pragma once
// Copying files into the product's folders with a backup of what they replace
// and the user's overwrite answers carried from file to file.
#include <functional>
#include <string>

#include "util/text.h"

enum CopyPolicy : int {
    kCopyCancelled = 0,
    kCopyAsk = 1,
    kCopyOverwriteThis = 2,
    kCopyOverwriteAll = 3,
    kCopySkipThis = 4,
    kCopySkipAll = 5,
};

// Asks the user whether to replace an existing file; answers any policy but
// kCopyAsk. The install window passes its overwrite prompt.
using OverwritePrompt = std::function<CopyPolicy(const std::string& question)>;

// Copies folder + name into backupFolder + name (replacing an older backup),
// creating the backup's subfolders; false when the backup could not be made,
// also for a name that would leave the backup folder (rooted, drive, "..").
bool BackUpFile(const std::string& name, const std::string& folder, const std::string& backupFolder);

// Copies sourceFolder + name over destinationFolder + name (both folders end
// with a backslash) under `policy`, asking `ask` when the destination exists and
// the policy is neither overwrite all nor skip all. With a backup folder, an
// existing destination is backed up first and is left alone when that fails.
// Returns the policy after this file; kCopyCancelled when the user cancelled.
CopyPolicy CopyFileWithPrompt(const std::string& name, const std::string& sourceFolder,
                              const std::string& destinationFolder, const std::string& backupFolder,
                              CopyPolicy policy, const OverwritePrompt& ask);

// Copies the entries of sourceFolder that match `pattern`, sub-folders whole,
// into destinationFolder (new sub-folders take lower-case names), leaving out
// the program's own file and the update's bookkeeping. Appends full destination
// paths to `copied` and to `failed` (a failed backup or copy; such a file keeps
// its content). Returns kCopyCancelled when cancelled or a folder text is
// empty, otherwise the policy in force at the end of the top folder. Every
// folder below the two given is opened on itself inside the one above and held
// while its content is copied. A link in the destination stops the copy: it is
// the last path in `failed`, and `stoppedAt`, when given, receives it (empty
// when the copy ran to its end); the files after it are in neither list, so
// such a copy is a failed one. A link in the source is not read through: its
// destination path is listed in `failed` and the copy goes on.
CopyPolicy CopyFolderTree(TextList& failed, TextList& copied, const std::string& sourceFolder,
                          const std::string& destinationFolder, const std::string& backupFolder,
                          CopyPolicy policy, const std::string& pattern, const OverwritePrompt& ask,
                          std::string* stoppedAt = nullptr);
