#pragma once
// The journal of a product install, kept in the backup folder while the install
// runs, so that an install cut off by a killed process or a power loss can be
// undone at the next start: every folder it creates, every file it adds and
// every file it replaces (with its backup's name) is recorded before the step
// is taken. A finished or rolled-back install removes the journal.
//
// Records are written at once (a killed process loses none) and made durable
// by Commit (a power loss loses none committed). A flush costs about 0.7 ms
// here, as much as backing up a file, so the install step flushes once before
// its first entry, after naming every file that the package may replace; a
// folder or file that it adds is not flushed on its own, as a power loss can
// then at worst leave a new file behind, never lose one of the user's.
#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

#include "product/journal_records.h"
#include "util/handles.h"
#include "util/text.h"

// The backup folder of a product install inside the working folder (see
// util/working_folder.h), with its trailing backslash, and the journal's name
// inside it; empty when there is no working folder.
extern const char kBackupFolderName[];
extern const char kJournalFileName[];
// The folder inside the backup folder that holds the backups themselves (with
// its trailing backslash): every backup name of a journal starts with it.
extern const char kBackupFilesFolder[];
std::string InstallBackupFolder();

class CInstallJournal {
public:
    // Creates the journal in `backupFolder` (made if missing) naming the install
    // folder. False when it cannot be written, or when the journal of an earlier
    // install is still there (its files could not all be restored, and its
    // backups must not be overwritten): the install must not start then.
    bool Begin(const std::string& backupFolder, const std::string& installFolder);

    // Each is written before the step it names is taken; false when it could
    // not be written, and the step must not be taken.
    bool RecordCreatedFolder(const std::string& folder);
    bool RecordAddedFile(const std::string& path);
    // Before the file is saved as `backupName` (relative to the backup folder),
    // which appears there only complete (moved, or copied under another name
    // and renamed): a backup that is missing at recovery means that the file
    // was never touched.
    bool RecordReplacedFile(const std::string& path, const std::string& backupName);

    // Flushes what was recorded to the disk; the recorded steps may be taken
    // once it answers true.
    bool Commit();

    // After a finished or rolled-back install: closes and deletes the journal.
    void Remove();

    // Every record written so far, the header first: what a roll-back undoes.
    const std::vector<JournalRecord>& Records() const { return records_; }

private:
    bool Append(char kind, const std::string& path, const std::string& backupName);

    // Open from Begin to Remove.
    UniqueFile file_;
    std::string path_;
    std::vector<JournalRecord> records_;
};

// Larger than any journal of a real package (a record per file and folder):
// a bigger one is refused unread.
constexpr std::uint64_t kMaxJournalBytes = 64u << 20;

enum RecoveryResult : int {
    kNothingToRecover = 0,   // no journal, or one that recorded no step yet
    kInstallRecovered = 1,   // the install folder is as it was; journal and backups removed
    kRecoveryIncomplete = 2, // some files could not be restored; journal and backups kept
    kRecoveryRefused = 3,    // a record leaves its folders, or the journal is too large:
                             // nothing was touched, the journal is set aside
};

struct JournalRecovery {
    std::string installFolder;
    int restoredFiles = 0;
    int deletedFiles = 0;
    int removedFolders = 0;
    TextList notRestored;  // full paths whose backups could not be put back
};

// True when every record lies inside the install folder of the header (the
// first record) by the rules of a package's entry names, or is a level of that
// folder's own path that the install created, and every backup name is the
// file's own name inside the backup folder's kBackupFilesFolder.
bool JournalStaysInItsFolders(const std::vector<JournalRecord>& records);

// Undoes the install that `records` describe, the last step first: replaced
// files go back from their backups in `backupFolder` (moved, else copied; a
// backup that is missing while the file is there means that the file was never
// touched), added files are deleted, created folders removed (a folder that
// still holds something stays). Nothing at all is done, and kRecoveryRefused
// answered, when JournalStaysInItsFolders fails. The roll-back of a running
// install and the recovery at start-up both come here; neither the journal nor
// the backups are removed.
RecoveryResult UndoJournalRecords(const std::vector<JournalRecord>& records,
                                  const std::string& backupFolder, JournalRecovery& recovery);

// At start-up, before the install window: undoes (UndoJournalRecords) the
// install that the journal in `backupFolder` describes and removes the backup
// folder once everything is back. A record cut off by the crash is left out:
// its step had not been taken. A refused journal is renamed to
// kRefusedJournalFileName beside it, so that it is read no more.
RecoveryResult RecoverUnfinishedInstall(const std::string& backupFolder, JournalRecovery& recovery);

extern const char kRefusedJournalFileName[];

// The one message that tells the user what the recovery did (result 1, 2 or 3).
std::string RecoveryMessage(RecoveryResult result, const JournalRecovery& recovery,
                            const std::string& backupFolder);

extern const char kInstallRecoveredText[];
extern const char kRecoveryIncompleteText[];
extern const char kRecoveryRefusedText[];
// The install step's refusal when Begin or a record fails; %1 the backup folder.
extern const char kJournalFailedText[];
