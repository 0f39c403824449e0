#pragma once
// Installing a product package into the install folder: every file it replaces
// is backed up first, and a roll-back puts the folder back as it was.
#include <atomic>
#include <set>
#include <string>

#include "util/text.h"

class IInstallView;
struct ArchiveEntry;
struct ArchiveHandle;

enum InstallResult : int {
    kInstallDone = 0,       // every entry extracted
    kInstallCancelled = 1,  // stopped on request, rolled back
    kInstallFailed = 2,     // stopped on an error, rolled back; see ErrorText()
};

class CPackageInstall {
public:
    // `installFolder` without a trailing backslash; `backupFolder` with one.
    CPackageInstall(std::string installFolder, std::string backupFolder);

    // Creates the install folder and extracts the archive into it. Polls `abort`
    // before every entry. Runs on the download worker; the lists belong to it
    // until it returns. A cancelled or failed install is rolled back before this
    // returns, so the folder is as it was.
    int Install(const std::string& archivePath, IInstallView& view, const std::atomic<bool>& abort);

    // Restores every replaced file from its backup, deletes every added file and
    // the folders the install created, then deletes the backup folder. False when
    // a file could not be restored: the backup folder is then kept, so nothing of
    // the user's is lost. Leaves nothing to roll back a second time.
    bool RollBack();

    // Files that did not exist before the install (full paths).
    const TextList& InstalledFiles() const { return installed_; }
    // Files that existed and were backed up (relative to the install folder).
    const TextList& ReplacedFiles() const { return replaced_; }
    const std::string& ErrorText() const { return errorText_; }

private:
    int CreateInstallFolder();
    int ExtractEntries(const std::string& archivePath, IInstallView& view,
                       const std::atomic<bool>& abort);
    int InstallEntry(ArchiveHandle* archive, const ArchiveEntry& entry);
    int InstallFolderEntry(const std::string& relativeName, const std::string& entryName);
    int PrepareFileEntry(const std::string& relativeName, const std::string& entryName);
    bool LandsInside(const std::string& relativeName) const;
    void RecordMissingFolders(const std::string& relativeFolder);
    void ClearReadOnlyAttributes() const;
    int Fail(const char* format, const std::string& argument);

    std::string installFolder_;
    std::string backupFolder_;
    TextList installed_;
    TextList replaced_;
    // Every file written, for the read-only clearing at the end.
    TextList extracted_;
    // Folders that did not exist before, in the order they were made.
    TextList createdFolders_;
    // The files this install has written, as the file system names them, so
    // that two entries for one file never back up our own copy over the user's.
    std::set<std::wstring> written_;
    std::string errorText_;
};

// Starts the product's setup program from the install folder; not waited for.
// False when it could not be started.
bool StartSetupProgram(const std::string& installFolder, const std::string& setupFile,
                       const std::string& arguments);
