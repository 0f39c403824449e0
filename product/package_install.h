#pragma once
// Installing a product package into the install folder: every file it replaces
// is backed up first, and a roll-back puts the folder back as it was.
#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "product/install_journal.h"
#include "product/install_space.h"
#include "util/handles.h"
#include "util/text.h"

class IExtractProgress;
struct ArchiveEntry;
struct ArchiveHandle;

enum InstallResult : int {
    kInstallDone = 0,       // every entry extracted
    kInstallCancelled = 1,  // stopped on request, rolled back
    kInstallFailed = 2,     // stopped on an error, rolled back; see ErrorText()
};

// The refusal of an install folder that is no full path (IsFullFolderPath);
// %1 is the folder.
extern const char kNotFullPathText[];
// The refusal of an install folder that could not be created; %1 is the folder.
extern const char kFolderFailedText[];

class CPackageInstall {
public:
    // `installFolder` without a trailing backslash; `backupFolder` with one.
    CPackageInstall(std::string installFolder, std::string backupFolder);

    // The entries' progress is reported at most once per interval (and for the
    // first entry): each report may be a synchronous call into the window.
    void SetProgressInterval(std::uint32_t milliseconds) { progressInterval_ = milliseconds; }

    // Creates the install folder and extracts the archive into it. Polls `abort`
    // before every entry. Runs on the download worker; the lists belong to it
    // until it returns. A cancelled or failed install is rolled back before this
    // returns, so the folder is as it was. A finished one keeps its journal and
    // backups until Finish or RollBack: a cancel may still undo it, and a crash
    // before either is undone at the next start.
    InstallResult Install(const std::string& archivePath, IExtractProgress& progress,
                          const std::atomic<bool>& abort);
    // The same through a package that the caller holds open (and that nobody
    // else may write meanwhile): the survey and the extraction read through
    // `package` from its first byte; `packageName` names it in messages.
    InstallResult Install(HANDLE package, const std::string& packageName,
                          IExtractProgress& progress, const std::atomic<bool>& abort);

    // Once the caller has decided that a finished install stands: deletes the
    // journal and the backup folder. Nothing is left to roll back.
    void Finish();

    // Undoes the journal's records, the last step first (UndoJournalRecords:
    // replaced files restored from their backups, added files and created
    // folders deleted), then deletes the journal and the backup folder. False when a file could not be restored: the
    // journal and the backup folder are then kept, so nothing of the user's is
    // lost, and ErrorText() ends with where the originals are. Leaves nothing to
    // roll back a second time.
    bool RollBack();

    // Files that did not exist before the install (full paths; a file in a
    // folder that the install made is listed once per entry that names it).
    const TextList& InstalledFiles() const { return installed_; }
    // Files that existed and were backed up (relative to the install folder).
    const TextList& ReplacedFiles() const { return replaced_; }
    const std::string& ErrorText() const { return errorText_; }

private:
    // What is known of a folder below the install folder: it was there before
    // (and is no link), or this install made it (so it holds only what this
    // install wrote).
    enum class FolderState { kExisted, kCreated };
    // A folder below the install folder, open while entries go into it.
    struct HeldLevel {
        std::wstring key;  // its identity, as in folders_
        UniqueFile folder;
    };

    InstallResult CheckSpace(HANDLE package, InstallSpaceNeed& need);
    bool RecordFilesToReplace(const TextList& replacedFiles);
    InstallResult CreateInstallFolder();
    bool RecordCreatedFolder(const std::string& folder);
    InstallResult BackUpReplacedFile(const std::string& entryName, const std::string& destination,
                                     const std::string& relativeName, bool& moved);
    InstallResult ExtractEntries(HANDLE package, const std::string& packageName,
                                 IExtractProgress& progress, const std::atomic<bool>& abort);
    InstallResult InstallEntry(ArchiveHandle* archive, const ArchiveEntry& entry);
    InstallResult PrepareFolders(const TextList& parts, std::size_t count,
                                 const std::string& entryName, std::wstring& key,
                                 FolderState& state);
    InstallResult HoldFolder(const std::string& path, const std::string& name,
                             const std::wstring& key, const std::string& entryName,
                             FolderState& state);
    HANDLE HeldFolder(std::size_t depth) const;
    void ReleaseFolders();
    InstallResult PrepareFileEntry(const TextList& parts, const std::string& entryName,
                                   const std::string& destination, bool& moved);
    InstallResult WriteFileEntry(ArchiveHandle* archive, const ArchiveEntry& entry,
                                 const std::string& entryName, const TextList& parts,
                                 const std::string& destination, bool copiedBackup);
    void TakeLongNames(TextList& parts) const;
    std::string BackupPath(const std::string& relativeName) const;
    std::wstring ComponentKey(const TextList& parts, std::size_t index) const;
    void ClearReadOnlyAttributes() const;
    void Forget();
    InstallResult Fail(const char* format, const std::string& argument);
    InstallResult FailWrite(const std::string& entryName, const std::string& destination);

    std::string installFolder_;
    std::string backupFolder_;
    std::uint32_t progressInterval_ = 50;
    TextList installed_;
    TextList replaced_;
    // Files written with the read-only attribute, cleared at the end.
    TextList readOnly_;
    // Folders below the install folder met so far, by their identity ("" is
    // the install folder itself).
    std::unordered_map<std::wstring, FolderState> folders_;
    // The install folder and the levels from it down to the folder of the
    // last entry, each opened inside the one above and held while the
    // extraction runs, so that none of them can be renamed or replaced: the
    // entries of one folder come together in a package, so most entries open
    // no folder, and each file is created by its own name inside its folder.
    UniqueFile installRoot_;
    std::vector<HeldLevel> heldFolders_;
    // The files this install has written into folders that existed, by their
    // identity, so that two entries for one file never back up our own copy
    // over the user's.
    std::unordered_set<std::wstring> written_;
    std::string errorText_;
    // Written before each step is taken, so that an install cut off by a
    // crash is undone at the next start; removed by Finish, or once a
    // roll-back is complete.
    CInstallJournal journal_;
    // Files that the journal names as replaced since before the first entry.
    std::unordered_set<std::string> recordedReplaced_;
};

// One identity per file below a folder: names that the file system takes for
// the same file (letter case, trailing dots and blanks, "." components, an 8.3
// alias of an existing file or folder) give the same text. Only components
// with a "~" are looked up on the disk. Empty for a name that would leave the
// folder (a ".." or dots-only component, a drive, a stream, a rooted name) or
// whose meaning the platform's trailing-dot rules would blur ("dir /x",
// "dir../x").
std::wstring InstallNameKey(const std::string& folder, const std::string& relativeName);

// Starts the product's setup program from the install folder; not waited for.
// False when it could not be started. Initialises COM on the calling thread
// for the time of the call, as the shell needs it.
bool StartSetupProgram(const std::string& installFolder, const std::string& setupFile,
                       const std::string& arguments);
