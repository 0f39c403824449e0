#include "product/install_journal.h"

#include <utility>
#include <vector>

#include "archive/entry_name.h"
#include "util/format_strings.h"
#include "util/file_system.h"
#include "util/handles.h"
#include "util/text_path.h"
#include "util/wide_text.h"
#include "util/working_folder.h"

const char kBackupFolderName[] = "~downloadtmp\\";
const char kJournalFileName[] = "~install.journal";
const char kBackupFilesFolder[] = "files\\";
const char kRefusedJournalFileName[] = "~install.journal.refused";

const char kInstallRecoveredText[] =
    "上次的安装没有完成（安装程序被中断或电脑断电）。\n\n已将 %1 恢复到安装前的状态：恢复了 %2 "
    "个被替换的文件，删除了 %3 个新增的文件和 %4 个新建的文件夹。";
const char kRecoveryIncompleteText[] =
    "上次的安装没有完成（安装程序被中断或电脑断电）。\n\n%1 中有 %2 个文件未能恢复，例如 %3。\n"
    "这些文件的原件保存在 %4，请关闭正在使用它们的程序后重新运行安装向导。";

const char kRecoveryRefusedText[] =
    "上次安装留下的安装记录 %1 不可信（其中的步骤超出了安装目录或备份目录，或记录过大），"
    "安装向导没有按它改动任何文件。\n\n该记录已改名为 %2，不会再被读取。";

const char kJournalFailedText[] =
    "无法在 %1 中记录安装步骤，安装已取消。\n\n上次未完成的安装如果还没有恢复，请重新运行安装向导。";

namespace {

bool IsLinkAttributes(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A file or folder opened on itself, never on what a link in its place leads
// to: invalid for a link, for one that is missing or cannot be opened. The
// name is asked first, as Wine follows a link even when it is opened on the
// link itself; the handle's tag then decides.
UniqueFile OpenPlainEntry(const std::wstring& path, DWORD access)
{
    if (IsLinkAttributes(GetFileAttributesW(path.c_str()))) {
        return UniqueFile();
    }
    UniqueFile entry(CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (entry && IsLinkHandle(entry.get())) {
        entry.reset();
    }
    return entry;
}

// The folder that holds `path` (a record's path below `installFolder`), held
// open and reached level by level from the install folder down, each level
// opened on itself inside the one above and its path asked first: a link put
// in the place of any folder between them leads the undo nowhere. `leaf`
// receives the last name. Invalid where a level is a link or missing.
UniqueFile OpenRecordFolder(const std::string& installFolder, const std::string& path,
                            std::wstring& leaf)
{
    TextList names;
    SplitString(path.substr(installFolder.size() + 1), "\\", names);
    UniqueFile folder = OpenPlainEntry(WidenText(installFolder), FILE_LIST_DIRECTORY | FILE_TRAVERSE);
    std::string level = installFolder;
    for (std::size_t i = 0; folder && i + 1 < names.size(); ++i) {
        level += '\\' + names[i];
        FolderOpen result = FolderOpen::kFailed;
        folder = IsLinkAttributes(GetFileAttributesW(WidenText(level).c_str()))
                     ? UniqueFile()
                     : OpenFolderInFolder(folder.get(), WidenText(names[i]), false, 0, result);
    }
    leaf = names.empty() ? std::wstring() : WidenText(names.back());
    return folder;
}

// What stands in a file's place inside its held folder: nothing, a plain file
// (made plain, so that the backup can replace it) or something that must
// not be replaced (a link, a folder, a file that another program holds).
enum class RestoreTarget { kMissing, kPlainFile, kUnsafe };

RestoreTarget PrepareRestoreTarget(HANDLE folder, const std::wstring& leaf)
{
    const UniqueFile target = OpenEntryInFolder(folder, leaf, FILE_WRITE_ATTRIBUTES);
    if (!target) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? RestoreTarget::kMissing
                   : RestoreTarget::kUnsafe;
    }
    FILE_BASIC_INFO basic{};
    if (IsLinkHandle(target.get()) ||
        !GetFileInformationByHandleEx(target.get(), FileBasicInfo, &basic, sizeof basic) ||
        (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return RestoreTarget::kUnsafe;
    }
    // A read-only file resists its replacement, a hidden or system one an
    // overwrite that does not name those attributes.
    if ((basic.FileAttributes &
         (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0) {
        FILE_BASIC_INFO writable{};  // times of zero stay as they are
        writable.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        SetFileInformationByHandle(target.get(), FileBasicInfo, &writable, sizeof writable);
    }
    return RestoreTarget::kPlainFile;
}

// The backup goes back by a rename of its own handle into the file's held
// folder, or, where that cannot be (another volume; Wine renames into no
// folder handle), by a copy through that handle, which carries the attributes
// and write time. The install names a
// backup before it saves the file (it may move the file there): a backup that
// is not there while the file is means that the file was never touched. A link
// found in the file's place or in a folder above it is not restored through,
// nor a backup that is a link: the backup stays where it is.
bool RestoreFile(const std::string& backup, const std::string& installFolder,
                 const std::string& destination, bool& untouched)
{
    const std::wstring source = WidenText(backup);
    const DWORD attributes = GetFileAttributesW(source.c_str());
    const DWORD targetAttributes = GetFileAttributesW(WidenText(destination).c_str());
    untouched = attributes == INVALID_FILE_ATTRIBUTES && targetAttributes != INVALID_FILE_ATTRIBUTES;
    if (untouched) {
        return true;
    }
    if (attributes == INVALID_FILE_ATTRIBUTES || IsLinkAttributes(targetAttributes)) {
        return false;
    }
    std::wstring leaf;
    const UniqueFile folder = OpenRecordFolder(installFolder, destination, leaf);
    const UniqueFile from = OpenPlainEntry(source, DELETE | GENERIC_READ);
    if (!folder || !from || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
        PrepareRestoreTarget(folder.get(), leaf) == RestoreTarget::kUnsafe) {
        return false;
    }
    return RenameIntoFolder(from.get(), folder.get(), leaf) ||
           CopyOpenFileIntoFolder(from.get(), folder.get(), leaf) == FileCopyResult::kCopied;
}

// A link in the place of an added file (or of a folder above it) or of a
// created folder is left alone: deleting through it could reach what it
// leads to.
bool DeleteAddedFile(const std::string& installFolder, const std::string& path)
{
    std::wstring leaf;
    const UniqueFile folder = OpenRecordFolder(installFolder, path, leaf);
    if (!folder || IsLinkAttributes(GetFileAttributesW(WidenText(path).c_str()))) {
        return false;
    }
    const UniqueFile file = OpenEntryInFolder(folder.get(), leaf, DELETE | FILE_WRITE_ATTRIBUTES);
    return file && !IsLinkHandle(file.get()) && DeleteThroughHandle(file.get());
}

// A level of the install folder's own path (created by the install, see
// IsLevelOf) is opened by its path; one below the install folder level by
// level, as the files are.
bool RemoveCreatedFolder(const std::string& installFolder, const std::string& path)
{
    if (path.size() <= installFolder.size()) {
        const UniqueFile folder = OpenPlainEntry(WidenText(path), DELETE);
        return folder && DeleteThroughHandle(folder.get());
    }
    std::wstring leaf;
    const UniqueFile parent = OpenRecordFolder(installFolder, path, leaf);
    FolderOpen result = FolderOpen::kFailed;
    const UniqueFile folder =
        parent && !IsLinkAttributes(GetFileAttributesW(WidenText(path).c_str()))
            ? OpenFolderInFolder(parent.get(), leaf, false, DELETE, result)
            : UniqueFile();
    return folder && DeleteThroughHandle(folder.get());
}

enum class JournalRead { kMissing, kRead, kTooLarge };

// The whole journal, read through a handle that shares it with nobody (missing
// too while an install is running right now), unless it is larger than any
// journal of a real install.
JournalRead ReadJournal(const std::string& path, std::string& text)
{
    UniqueFile file(CreateFileW(WidenText(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return JournalRead::kMissing;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) ||
        static_cast<std::uint64_t>(size.QuadPart) > kMaxJournalBytes) {
        return JournalRead::kTooLarge;
    }
    text.reserve(static_cast<std::size_t>(size.QuadPart));
    char buffer[16384];
    DWORD read = 0;
    bool ok = true;
    while ((ok = ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) != FALSE) && read > 0 &&
           text.size() + read <= kMaxJournalBytes) {
        text.append(buffer, read);
    }
    file.reset();
    if (read > 0) {
        return JournalRead::kTooLarge;  // it grew while it was read
    }
    return ok ? JournalRead::kRead : JournalRead::kMissing;
}

// A name below the install folder as the install step writes it: a package's
// entry name after its rules, in the one form that SplitEntryName gives.
bool IsInstallStepName(const std::string& relative)
{
    TextList parts;
    return IsSafeEntryName(relative) && SplitEntryName(relative, parts) &&
           JoinParts(parts, parts.size()) == relative;
}

// `path` below `folder`, in `relative`.
bool IsBelow(const std::string& path, const std::string& folder, std::string& relative)
{
    if (path.size() <= folder.size() + 1 || path.compare(0, folder.size(), folder) != 0 ||
        path[folder.size()] != '\\') {
        return false;
    }
    relative = path.substr(folder.size() + 1);
    return IsInstallStepName(relative);
}

// The install folder itself, or a level of its path below the volume's root:
// the install step creates those that are missing before the folder.
bool IsLevelOf(const std::string& path, const std::string& folder)
{
    const std::size_t levels = FolderLevelsStart(folder);
    return levels != std::string::npos && path.size() >= levels && path.size() <= folder.size() &&
           folder.compare(0, path.size(), path) == 0 &&
           (path.size() == folder.size() || folder[path.size()] == '\\');
}

bool RecordStaysInItsFolders(const JournalRecord& record, const std::string& installFolder)
{
    std::string relative;
    switch (record.kind) {
    case kJournalFolder:
        return IsLevelOf(record.path, installFolder) ||
               IsBelow(record.path, installFolder, relative);
    case kJournalAdded:
        return IsBelow(record.path, installFolder, relative);
    case kJournalReplaced:
        return IsBelow(record.path, installFolder, relative) &&
               record.backupName == kBackupFilesFolder + relative;
    default:
        return false;
    }
}

std::string WithBackslash(const std::string& folder)
{
    return !folder.empty() && folder.back() != '\\' ? folder + "\\" : folder;
}

}  // namespace

std::string InstallBackupFolder()
{
    const std::string folder = WorkingFolder();
    return folder.empty() ? folder : folder + kBackupFolderName;
}

bool CInstallJournal::Begin(const std::string& backupFolder, const std::string& installFolder)
{
    const std::string folder = WithBackslash(backupFolder);
    CreateDirectoryTree(CPathName(folder));
    path_ = folder + kJournalFileName;
    // Shared with nobody: a second instance of the program that starts while
    // this install runs must not take the journal for one that was cut off.
    file_.reset(CreateFileW(WidenText(path_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) {
        return false;
    }
    records_.clear();
    if (!Append(kJournalHeader, installFolder, std::string()) || !Commit()) {
        Remove();
        return false;
    }
    return true;
}

bool CInstallJournal::RecordCreatedFolder(const std::string& folder)
{
    return Append(kJournalFolder, folder, std::string());
}

bool CInstallJournal::RecordAddedFile(const std::string& path)
{
    return Append(kJournalAdded, path, std::string());
}

bool CInstallJournal::RecordReplacedFile(const std::string& path, const std::string& backupName)
{
    return Append(kJournalReplaced, path, backupName);
}

bool CInstallJournal::Commit()
{
    return file_ && FlushFileBuffers(file_.get());
}

void CInstallJournal::Remove()
{
    if (file_) {
        file_.reset();
        DeleteFileW(WidenText(path_).c_str());
    }
    records_.clear();
}

// One write per record: a crash can only cut off the record being written.
bool CInstallJournal::Append(char kind, const std::string& path, const std::string& backupName)
{
    JournalRecord record;
    record.kind = kind;
    record.path = path;
    record.backupName = backupName;
    const std::string line = FormatJournalRecord(record);
    DWORD written = 0;
    if (!file_ || line.empty() ||
        !WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
        written != line.size()) {
        return false;
    }
    records_.push_back(std::move(record));
    return true;
}

bool JournalStaysInItsFolders(const std::vector<JournalRecord>& records)
{
    if (records.empty() || records.front().kind != kJournalHeader ||
        !IsFullFolderPath(records.front().path) || records.front().path.back() == '\\') {
        return false;
    }
    const std::string& installFolder = records.front().path;
    for (std::size_t i = 1; i < records.size(); ++i) {
        if (!RecordStaysInItsFolders(records[i], installFolder)) {
            return false;
        }
    }
    return true;
}

RecoveryResult UndoJournalRecords(const std::vector<JournalRecord>& records,
                                  const std::string& backupFolder, JournalRecovery& recovery)
{
    recovery = JournalRecovery();
    if (!JournalStaysInItsFolders(records)) {
        return kRecoveryRefused;
    }
    recovery.installFolder = records.front().path;
    const std::string folder = WithBackslash(backupFolder);
    for (auto record = records.rbegin(); record != records.rend(); ++record) {
        switch (record->kind) {
        case kJournalReplaced: {
            bool untouched = false;
            if (!RestoreFile(folder + record->backupName, recovery.installFolder, record->path,
                             untouched)) {
                recovery.notRestored.push_back(record->path);
            } else if (!untouched) {
                ++recovery.restoredFiles;
            }
            break;
        }
        case kJournalAdded:
            if (DeleteAddedFile(recovery.installFolder, record->path)) {
                ++recovery.deletedFiles;
            }
            break;
        case kJournalFolder:
            if (RemoveCreatedFolder(recovery.installFolder, record->path)) {
                ++recovery.removedFolders;
            }
            break;
        default:
            break;
        }
    }
    return recovery.notRestored.empty() ? kInstallRecovered : kRecoveryIncomplete;
}

RecoveryResult RecoverUnfinishedInstall(const std::string& backupFolder, JournalRecovery& recovery)
{
    recovery = JournalRecovery();
    const std::string folder = WithBackslash(backupFolder);
    const std::string journalPath = folder + kJournalFileName;
    std::string text;
    const JournalRead read = ReadJournal(journalPath, text);
    if (read == JournalRead::kMissing) {
        return kNothingToRecover;
    }
    std::vector<JournalRecord> records;
    if (read == JournalRead::kRead) {
        ParseJournal(text, records);
        if (records.empty() || records.front().kind != kJournalHeader) {
            // Cut off in its first record: the install had taken no step yet.
            DeleteFileW(WidenText(journalPath).c_str());
            return kNothingToRecover;
        }
    }
    const RecoveryResult result =
        read == JournalRead::kRead ? UndoJournalRecords(records, folder, recovery) : kRecoveryRefused;
    if (result == kRecoveryRefused) {
        recovery = JournalRecovery();
        MoveFileExW(WidenText(journalPath).c_str(), WidenText(folder + kRefusedJournalFileName).c_str(),
                    MOVEFILE_REPLACE_EXISTING);
    } else if (result == kInstallRecovered) {
        DeleteFolderTree(folder);
    }
    return result;
}

std::string RecoveryMessage(RecoveryResult result, const JournalRecovery& recovery,
                            const std::string& backupFolder)
{
    if (result == kRecoveryRefused) {
        const std::string folder = WithBackslash(backupFolder);
        const std::string args[] = {folder + kJournalFileName, folder + kRefusedJournalFileName};
        return FormatStrings(kRecoveryRefusedText, args, 2);
    }
    if (result == kRecoveryIncomplete && !recovery.notRestored.empty()) {
        const std::string args[] = {recovery.installFolder,
                                    std::to_string(recovery.notRestored.size()),
                                    recovery.notRestored.front(), backupFolder};
        return FormatStrings(kRecoveryIncompleteText, args, 4);
    }
    const std::string args[] = {recovery.installFolder, std::to_string(recovery.restoredFiles),
                                std::to_string(recovery.deletedFiles),
                                std::to_string(recovery.removedFolders)};
    return FormatStrings(kInstallRecoveredText, args, 4);
}
