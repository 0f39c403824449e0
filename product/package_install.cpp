#include "product/package_install.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <winternl.h>

#include "archive/archive.h"
#include "archive/entry_name.h"
#include "archive/entry_record.h"
#include "util/format_strings.h"
#include "util/handles.h"
#include "product/install_progress.h"
#include "product/copy_policy.h"
#include "product/install_space.h"
#include "util/cp936.h"
#include "util/disk_space.h"
#include "util/file_system.h"
#include "util/text_path.h"
#include "util/wide_text.h"
#include "util/working_folder.h"

const char kNotFullPathText[] = "安装目录必须是完整的路径: %1";
const char kFolderFailedText[] = "无法创建安装目录 %1";

namespace {

const char kBadPackageText[] = "安装包已损坏或不是有效的安装包: %1";
const char kUnsafeNameText[] = "安装包含有不安全的文件名: %1";
const char kBackupFailedText[] = "无法备份将被替换的文件 %1";
const char kExtractFailedText[] = "无法解压文件 %1";
const char kNotRestoredText[] = "\n\n有文件未能恢复，原文件保存在 %1";
const char kStatusFormat[] = "安装到 %1\\";

// "./" (or "." alone) is the install folder itself: as a folder entry it has
// nothing to make.
bool NamesThisFolder(const std::string& name)
{
    return !name.empty() && name[0] == '.' &&
           name.find_first_not_of("./\\") == std::string::npos &&
           name.find("..") == std::string::npos;
}

// A component as the file system compares it: letters match in any case.
std::wstring FoldedComponent(std::wstring component)
{
    if (!component.empty()) {
        CharUpperBuffW(&component[0], static_cast<DWORD>(component.size()));
    }
    return component;
}

// Component `index` of the name below `folder` by its long name. Only a
// component with a "~" can be an 8.3 alias of another name; the disk is asked
// for those alone, and a name that does not exist is its own.
std::wstring LongComponent(const std::string& folder, const TextList& parts, std::size_t index)
{
    std::wstring component = WidenText(parts[index]);
    if (component.find(L'~') == std::wstring::npos) {
        return component;
    }
    const std::wstring path = WidenText(folder + "\\" + JoinParts(parts, index + 1));
    WIN32_FIND_DATAW found;
    if (UniqueFindSearch(FindFirstFileW(path.c_str(), &found))) {
        component = found.cFileName;
    }
    return component;
}

std::wstring ComponentKeyBelow(const std::string& folder, const TextList& parts, std::size_t index)
{
    return FoldedComponent(LongComponent(folder, parts, index));
}

bool IsFolder(const std::string& path)
{
    const DWORD attributes = GetFileAttributesW(WidenText(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Saves a file that is about to be replaced by moving it into the backup
// folder: the saved file is the user's own, bytes, attributes and times, and
// the package's file is then written as a new one. False when it cannot be
// moved (another volume, a file in use); the caller copies it instead.
bool MoveToBackup(const std::string& path, const std::string& backup)
{
    const std::wstring source = WidenText(path);
    const std::wstring target = WidenText(backup);
    if (RenameFile(source, target)) {
        return true;
    }
    if (GetLastError() != ERROR_PATH_NOT_FOUND) {
        return false;
    }
    CreateDirectoryTree(CPathName(backup));
    return RenameFile(source, target);
}

// A copied backup is made under a name of its own and renamed when complete:
// the journal names the backup before the file is saved, and a backup that is
// not there at recovery means that the file itself was never touched.
const char kPartialBackupFolder[] = "~partial\\";

bool RenameInFolder(const std::string& from, const std::string& to)
{
    const std::wstring source = WidenText(from);
    const std::wstring target = WidenText(to);
    if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return true;
    }
    CreateDirectoryTree(CPathName(to));
    return MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

// Asked right after the failed write, before anything else sets the error:
// the system's error of a full disk, or a volume of `folder` with less than one
// write block left (a failed copy deletes its partial target, so the space it
// took is free again by then; its error tells).
bool WriteFailedOnFullDisk(const std::string& folder)
{
    constexpr std::uint64_t kFullBelowBytes = 64 * 1024;
    const DWORD error = GetLastError();
    std::uint64_t freeBytes = 0;
    return IsDiskFullError(error) ||
           (GetFreeBytes(folder, freeBytes) && freeBytes < kFullBelowBytes);
}

// A held level lets others read and write what it holds, but not rename or
// delete it: the folder that was checked stays the folder written into.
constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE;
constexpr ULONG kFolderSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ULONG kFolderOptions = FILE_DIRECTORY_FILE;

// The install folder follows a link (a redirected folder is the user's
// choice); every level below it is opened on itself.
UniqueFile OpenInstallRoot(const std::string& folder)
{
    return UniqueFile(CreateFileW(WidenText(folder).c_str(), kFolderAccess | SYNCHRONIZE,
                                  kFolderSharing, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// The attributes that a new file takes, as CreateFileW passes them on.
constexpr DWORD kFileAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
                                  FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The entry's file inside its held folder, opened on itself: a link that took
// the file's place since it was checked is never written through (`link` then
// tells). A file that this call created is new and cannot be a link.
UniqueFile CreateEntryFile(HANDLE folder, const std::wstring& name, DWORD attributes, bool& link)
{
    ULONG_PTR outcome = 0;
    UniqueFile file = OpenNameInFolder(folder, name, GENERIC_WRITE, 0, FILE_OVERWRITE_IF,
                                       FILE_NON_DIRECTORY_FILE, attributes & kFileAttributes,
                                       outcome);
    link = file && outcome != FILE_CREATED && IsLinkHandle(file.get());
    if (link) {
        file.reset();
    }
    return file;
}

}  // namespace

std::wstring InstallNameKey(const std::string& folder, const std::string& relativeName)
{
    TextList parts;
    if (!SplitEntryName(relativeName, parts)) {
        return std::wstring();
    }
    std::wstring key;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i != 0) {
            key += L'\\';
        }
        key += ComponentKeyBelow(folder, parts, i);
    }
    return key;
}

CPackageInstall::CPackageInstall(std::string installFolder, std::string backupFolder)
    : installFolder_(std::move(installFolder)), backupFolder_(std::move(backupFolder))
{
}

InstallResult CPackageInstall::Install(const std::string& archivePath, IExtractProgress& progress,
                                       const std::atomic<bool>& abort)
{
    const UniqueFile package = OpenFileDenyingWriters(archivePath);
    if (!package) {
        Forget();
        return Fail(kBadPackageText, archivePath);
    }
    return Install(package.get(), archivePath, progress, abort);
}

InstallResult CPackageInstall::Install(HANDLE package, const std::string& packageName,
                                       IExtractProgress& progress, const std::atomic<bool>& abort)
{
    Forget();
    errorText_.clear();

    // Refused before anything is written: nothing to roll back, and the
    // backups of an earlier install whose journal is still there stay. A
    // journal names a full install folder only.
    if (!IsFullFolderPath(installFolder_)) {
        return Fail(kNotFullPathText, installFolder_);
    }
    InstallSpaceNeed need;
    if (CheckSpace(package, need) != kInstallDone) {
        return kInstallFailed;
    }
    if (!journal_.Begin(backupFolder_, installFolder_) || !RecordFilesToReplace(need.replacedFiles)) {
        journal_.Remove();
        return Fail(kJournalFailedText, backupFolder_);
    }
    InstallResult result = CreateInstallFolder();
    if (result == kInstallDone) {
        result = ExtractEntries(package, packageName, progress, abort);
    }
    // What a roll-back deletes is held no longer.
    ReleaseFolders();
    if (result == kInstallDone && abort) {
        result = kInstallCancelled;
    }
    if (result != kInstallDone) {
        RollBack();
        return result;
    }
    ClearReadOnlyAttributes();
    return kInstallDone;
}

void CPackageInstall::Finish()
{
    journal_.Remove();
    DeleteFolderTree(backupFolder_);
    Forget();
}

// A package whose directory cannot be read is reported as damaged by the
// extraction, as before; a volume that does not answer is not held against it.
InstallResult CPackageInstall::CheckSpace(HANDLE package, InstallSpaceNeed& need)
{
    if (!MeasureInstallSpace(package, installFolder_, need)) {
        return kInstallDone;
    }
    std::string message;
    if (CheckInstallSpace(need, installFolder_, backupFolder_, message) == kSpaceShort) {
        errorText_ = message;
        return kInstallFailed;
    }
    return kInstallDone;
}

// Every file of the package that exists already is named in the journal, and
// the journal flushed, before the first entry: a file is then moved into the
// backup folder without a flush of its own, and no power loss can leave it
// there unknown. A name that turns out not to be replaced costs nothing: its
// backup never appears, and the recovery leaves the file alone.
bool CPackageInstall::RecordFilesToReplace(const TextList& replacedFiles)
{
    recordedReplaced_.clear();
    bool recorded = true;
    for (const std::string& destination : replacedFiles) {
        recordedReplaced_.insert(destination);
        recorded = recorded &&
                   journal_.RecordReplacedFile(
                       destination, kBackupFilesFolder + destination.substr(installFolder_.size() + 1));
    }
    return recorded && journal_.Commit();
}

bool CPackageInstall::RecordCreatedFolder(const std::string& folder)
{
    if (!journal_.RecordCreatedFolder(folder)) {
        Fail(kJournalFailedText, backupFolder_);
        return false;
    }
    return true;
}

// The journal names the backup, and is flushed, before the file is moved: a
// crash right after the move must not leave the user's file in a backup
// folder that nobody knows of. Moved where it can be, else copied under a
// name of its own that is renamed once the copy is complete.
InstallResult CPackageInstall::BackUpReplacedFile(const std::string& entryName,
                                                  const std::string& destination,
                                                  const std::string& relativeName, bool& moved)
{
    moved = false;
    const std::string backup = BackupPath(relativeName);
    if (recordedReplaced_.count(destination) == 0 &&
        (!journal_.RecordReplacedFile(destination, kBackupFilesFolder + relativeName) ||
         !journal_.Commit())) {
        return Fail(kJournalFailedText, backupFolder_);
    }
    moved = MoveToBackup(destination, backup);
    if (moved) {
        return kInstallDone;
    }
    const std::string partialFolder = backupFolder_ + kPartialBackupFolder;
    if (!BackUpFile(relativeName, installFolder_ + "\\", partialFolder) ||
        !RenameInFolder(partialFolder + relativeName, backup)) {
        return WriteFailedOnFullDisk(backupFolder_)
                   ? Fail(kDiskFullText, backup)
                   : Fail(kBackupFailedText, entryName);
    }
    return kInstallDone;
}

// Backups lie in a folder of their own inside the backup folder, beside the
// journal and the copies under way: no entry name can be one of those.
std::string CPackageInstall::BackupPath(const std::string& relativeName) const
{
    return backupFolder_ + kBackupFilesFolder + relativeName;
}

// The journal's own records are undone, by the routine that recovers a
// journal at the next start: what a crash would leave undone and what a
// roll-back undoes can never differ.
bool CPackageInstall::RollBack()
{
    JournalRecovery undone;
    const bool restored = journal_.Records().empty() ||
                          UndoJournalRecords(journal_.Records(), backupFolder_, undone) ==
                              kInstallRecovered;
    if (restored) {
        journal_.Remove();
        DeleteFolderTree(backupFolder_);
    } else {
        std::string notRestored;
        FormatString1(notRestored, kNotRestoredText, backupFolder_);
        errorText_ += notRestored;
    }
    Forget();
    return restored;
}

void CPackageInstall::Forget()
{
    installed_.clear();
    replaced_.clear();
    readOnly_.clear();
    folders_.clear();
    ReleaseFolders();
    written_.clear();
    recordedReplaced_.clear();
}

InstallResult CPackageInstall::CreateInstallFolder()
{
    const std::size_t levelsStart = FolderLevelsStart(installFolder_);
    bool created = false;
    for (std::size_t separator = FindChar936(installFolder_, '\\', levelsStart);;
         separator = FindChar936(installFolder_, '\\', separator + 1)) {
        const std::string level = installFolder_.substr(0, separator);
        created = !PathExists(level);
        if (created && !RecordCreatedFolder(level)) {
            return kInstallFailed;
        }
        // A level that this install makes is a program folder; one that was
        // there keeps its own descriptor. A failure shows below.
        if (created) {
            CreateFolderWithSddl(level, kProgramFolderSddl);
        }
        if (separator == std::string::npos) {
            break;
        }
    }
    if (!CreateDirectoryTree(CPathName(installFolder_ + "\\")) || !IsFolder(installFolder_)) {
        return Fail(kFolderFailedText, installFolder_);
    }
    // The install folder itself may be a link (a redirected folder); below it
    // nothing is ever written through one.
    folders_[std::wstring()] = created ? FolderState::kCreated : FolderState::kExisted;
    installRoot_ = OpenInstallRoot(installFolder_);
    if (!installRoot_) {
        return Fail(kFolderFailedText, installFolder_);
    }
    // The backup folder is made beforehand; should that fail, the first backup
    // fails and stops the install.
    CreateDirectoryTree(CPathName(backupFolder_));
    return kInstallDone;
}

InstallResult CPackageInstall::ExtractEntries(HANDLE package, const std::string& packageName,
                                              IExtractProgress& progress,
                                              const std::atomic<bool>& abort)
{
    UniqueArchive archive(RewindFile(package) ? OpenArchive(&package, 0, kArchiveFileHandle)
                                              : nullptr);
    if (!archive) {
        return Fail(kBadPackageText, packageName);
    }
    ArchiveEntry count;
    GetArchiveEntry(archive.get(), -1, count);
    if (ArchiveLastError() != kArchiveOk || count.index < 0) {
        return Fail(kBadPackageText, packageName);
    }

    const auto total = static_cast<std::uint32_t>(count.index);
    progress.OnExtractStart(total);
    EntryProgress shown;
    shown.total = total;
    FormatString1(shown.status, kStatusFormat, installFolder_);

    InstallResult result = kInstallDone;
    std::string lastName;
    DWORD lastShown = 0;
    for (int i = 0; i < count.index && result == kInstallDone; ++i) {
        if (abort) {
            result = kInstallCancelled;
            break;
        }
        const DWORD now = GetTickCount();
        if (i == 0 || now - lastShown >= progressInterval_) {
            lastShown = now;
            shown.done = static_cast<std::uint32_t>(i);
            shown.lastEntry = lastName;
            progress.OnEntries(shown);
        }
        ArchiveEntry entry;
        GetArchiveEntry(archive.get(), i, entry);
        if (ArchiveLastError() != kArchiveOk) {
            result = Fail(kBadPackageText, packageName);
            break;
        }
        lastName.assign(entry.name, strnlen(entry.name, sizeof entry.name));
        result = InstallEntry(archive.get(), entry);
    }
    // The end's report may wait on the window: neither the archive nor the
    // folders are held meanwhile.
    archive.reset();
    ReleaseFolders();
    if (result == kInstallDone) {
        progress.OnExtractEnd(total);
    }
    return result;
}

InstallResult CPackageInstall::InstallEntry(ArchiveHandle* archive, const ArchiveEntry& entry)
{
    const std::string entryName(entry.name, strnlen(entry.name, sizeof entry.name));
    if (IsFolderEntry(entry, entryName) && NamesThisFolder(entryName)) {
        return kInstallDone;
    }
    TextList parts;
    if (entry.nameCut || !IsSafeEntryName(entryName) || entry.link ||
        !SplitEntryName(entryName, parts)) {
        return Fail(kUnsafeNameText, entryName);
    }
    TakeLongNames(parts);
    if (IsFolderEntry(entry, entryName)) {
        std::wstring key;
        FolderState state = FolderState::kExisted;
        return PrepareFolders(parts, parts.size(), entryName, key, state);
    }
    const std::string destination = installFolder_ + "\\" + JoinParts(parts, parts.size());
    const std::size_t replacedBefore = replaced_.size();
    bool moved = false;
    const InstallResult prepared = PrepareFileEntry(parts, entryName, destination, moved);
    if (prepared != kInstallDone) {
        return prepared;
    }
    // A file moved into the backup folder must come back on a roll-back; a
    // copied one was not touched when its target cannot be opened.
    return WriteFileEntry(archive, entry, entryName, parts, destination,
                          !moved && replaced_.size() > replacedBefore);
}

// An 8.3 alias of a file or folder that exists is written, backed up and
// restored under the long name: a roll-back that put the file back under its
// alias would leave it under a name it never had.
void CPackageInstall::TakeLongNames(TextList& parts) const
{
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].find('~') != std::string::npos) {
            parts[i] = NarrowText(LongComponent(installFolder_, parts, i));
        }
    }
}

std::wstring CPackageInstall::ComponentKey(const TextList& parts, std::size_t index) const
{
    return ComponentKeyBelow(installFolder_, parts, index);
}

// Makes sure the first `count` components exist as folders and holds them
// open, asking the disk once per folder of the whole install: a folder met
// before is known, and below a folder this install made nothing else can be.
// Levels that the last entry held already are taken as they are. `key` and
// `state` describe the last of them.
InstallResult CPackageInstall::PrepareFolders(const TextList& parts, std::size_t count,
                                              const std::string& entryName, std::wstring& key,
                                              FolderState& state)
{
    key.clear();
    state = folders_[key];
    std::string path = installFolder_;
    for (std::size_t i = 0; i < count; ++i) {
        path += '\\';
        path += parts[i];
        if (i != 0) {
            key += L'\\';
        }
        key += ComponentKey(parts, i);
        if (i < heldFolders_.size() && heldFolders_[i].key == key) {
            state = folders_[key];
            continue;
        }
        heldFolders_.erase(heldFolders_.begin() + static_cast<std::ptrdiff_t>(i),
                           heldFolders_.end());
        const InstallResult held = HoldFolder(path, parts[i], key, entryName, state);
        if (held != kInstallDone) {
            return held;
        }
    }
    return kInstallDone;
}

// Opens one level inside the deepest held one, or creates it there, and holds
// it. `state` is the level above's on entry, this level's on return. A level
// met before is checked again whenever it is opened again: it was not held in
// between, and a link may have taken its place.
InstallResult CPackageInstall::HoldFolder(const std::string& path, const std::string& name,
                                          const std::wstring& key, const std::string& entryName,
                                          FolderState& state)
{
    const auto known = folders_.find(key);
    bool create = known == folders_.end() && state == FolderState::kCreated;
    if (known != folders_.end()) {
        state = known->second;
    }
    if (!create) {
        const DWORD attributes = GetFileAttributesW(WidenText(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES && known == folders_.end()) {
            create = true;
        } else if (attributes != INVALID_FILE_ATTRIBUTES &&
                   (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            // A link leads somewhere else: what is written below it would land
            // outside the install folder.
            return Fail(kUnsafeNameText, entryName);
        } else if (attributes == INVALID_FILE_ATTRIBUTES ||
                   (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            return Fail(kExtractFailedText, entryName);
        }
    }
    if (create && !RecordCreatedFolder(path)) {
        return kInstallFailed;
    }
    ULONG_PTR outcome = 0;
    UniqueFile folder =
        OpenNameInFolder(HeldFolder(heldFolders_.size()), WidenText(name), kFolderAccess,
                         kFolderSharing, create ? FILE_CREATE : FILE_OPEN, kFolderOptions, 0,
                         outcome);
    if (!folder) {
        return FailWrite(entryName, path);
    }
    if (!create && IsLinkHandle(folder.get())) {
        return Fail(kUnsafeNameText, entryName);
    }
    if (create) {
        state = FolderState::kCreated;
    } else if (known == folders_.end()) {
        state = FolderState::kExisted;
    }
    folders_.emplace(key, state);
    heldFolders_.push_back(HeldLevel{key, std::move(folder)});
    return kInstallDone;
}

// Depth 0 is the install folder itself.
HANDLE CPackageInstall::HeldFolder(std::size_t depth) const
{
    return depth == 0 ? installRoot_.get() : heldFolders_[depth - 1].folder.get();
}

void CPackageInstall::ReleaseFolders()
{
    heldFolders_.clear();
    installRoot_.reset();
}

// Decides, before a file entry is written, how a roll-back undoes it: a file
// that is new is deleted, a file that existed is backed up now and restored.
InstallResult CPackageInstall::PrepareFileEntry(const TextList& parts, const std::string& entryName,
                                                const std::string& destination, bool& moved)
{
    moved = false;
    std::wstring key;
    FolderState state = FolderState::kExisted;
    const InstallResult folders = PrepareFolders(parts, parts.size() - 1, entryName, key, state);
    if (folders != kInstallDone) {
        return folders;
    }
    // Nothing of the user's can be in a folder this install made: its files
    // are new, however often the package names them.
    if (state == FolderState::kCreated) {
        if (!journal_.RecordAddedFile(destination)) {
            return Fail(kJournalFailedText, backupFolder_);
        }
        installed_.push_back(destination);
        return kInstallDone;
    }
    if (!key.empty()) {
        key += L'\\';
    }
    key += ComponentKey(parts, parts.size() - 1);
    // A second entry for a file written already replaces our own copy: the
    // backup taken the first time is the user's file and must stay as it is.
    if (!written_.insert(key).second) {
        return kInstallDone;
    }
    const DWORD attributes = GetFileAttributesW(WidenText(destination).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (!journal_.RecordAddedFile(destination)) {
            return Fail(kJournalFailedText, backupFolder_);
        }
        installed_.push_back(destination);
        return kInstallDone;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return Fail(kUnsafeNameText, entryName);
    }
    // A read-only file is not replaced, as Windows would not replace it.
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
        return Fail(kExtractFailedText, entryName);
    }
    const std::string relativeName = JoinParts(parts, parts.size());
    const InstallResult backedUp = BackUpReplacedFile(entryName, destination, relativeName, moved);
    if (backedUp != kInstallDone) {
        return backedUp;
    }
    replaced_.push_back(relativeName);
    return kInstallDone;
}

InstallResult CPackageInstall::WriteFileEntry(ArchiveHandle* archive, const ArchiveEntry& entry,
                                              const std::string& entryName, const TextList& parts,
                                              const std::string& destination, bool copiedBackup)
{
    bool link = false;
    UniqueFile file = CreateEntryFile(HeldFolder(parts.size() - 1), WidenText(parts.back()),
                                      entry.attributes, link);
    if (!file) {
        // A target that could not be opened was not touched: there is nothing
        // to restore, and a file held open by another program could not be
        // restored. Without its copied backup the roll-back sees it so.
        if (copiedBackup) {
            DeleteFileW(WidenText(BackupPath(replaced_.back())).c_str());
            replaced_.pop_back();
        }
        return link ? Fail(kUnsafeNameText, entryName) : FailWrite(entryName, destination);
    }
    SetLastError(ERROR_SUCCESS);
    HANDLE target = file.get();
    ExtractArchiveEntry(archive, entry.index, &target, 0, kArchiveFileHandle);
    const ArchiveResult extracted = ArchiveLastError();
    file.reset();
    if (extracted != kArchiveOk) {
        return FailWrite(entryName, destination);
    }
    if ((entry.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        readOnly_.push_back(destination);
    }
    return kInstallDone;
}

// Packages made on Windows store no write permission, so their files come out
// read-only; the product must be able to update them later. Only the files
// written read-only are looked at.
void CPackageInstall::ClearReadOnlyAttributes() const
{
    for (const std::string& path : readOnly_) {
        const std::wstring file = WidenText(path);
        const DWORD attributes = GetFileAttributesW(file.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            SetFileAttributesW(file.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
        }
    }
}

InstallResult CPackageInstall::Fail(const char* format, const std::string& argument)
{
    FormatString1(errorText_, format, argument);
    return kInstallFailed;
}

// A write that fails on a full disk (another program took the space since the
// check) says so. The archive layer keeps the system's error of the failed
// write; a volume with less than one write block left is full whatever the
// error says.
InstallResult CPackageInstall::FailWrite(const std::string& entryName,
                                         const std::string& destination)
{
    return WriteFailedOnFullDisk(installFolder_) ? Fail(kDiskFullText, destination)
                                                 : Fail(kExtractFailedText, entryName);
}

// The shell may hand the start to COM objects (file associations, the
// "runas" verb); the worker thread initialises COM for the time of the call.
bool StartSetupProgram(const std::string& installFolder, const std::string& setupFile,
                       const std::string& arguments)
{
    const std::wstring program = WidenText(installFolder + "\\" + setupFile);
    const std::wstring parameters = WidenText(arguments);
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const HINSTANCE started =
        ShellExecuteW(nullptr, L"OPEN", program.c_str(), parameters.c_str(), nullptr, SW_SHOW);
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return reinterpret_cast<INT_PTR>(started) > 32;
}
