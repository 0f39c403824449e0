#include "product/package_install.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include <windows.h>
#include <shellapi.h>

#include "archive/archive.h"
#include "archive/entry_name.h"
#include "framework/format_strings.h"
#include "net/install_view.h"
#include "product/copy_policy.h"
#include "util/cp936.h"
#include "util/file_system.h"
#include "util/text_path.h"
#include "util/wide_text.h"

namespace {

const char kNotFullPathText[] = "安装目录必须是完整的路径: %1";
const char kFolderFailedText[] = "无法创建安装目录 %1";
const char kBadPackageText[] = "安装包已损坏或不是有效的安装包: %1";
const char kUnsafeNameText[] = "安装包含有不安全的文件名: %1";
const char kBackupFailedText[] = "无法备份将被替换的文件 %1";
const char kExtractFailedText[] = "无法解压文件 %1";
const char kNotRestoredText[] = "\n\n有文件未能恢复，原文件保存在 %1";
const char kStatusFormat[] = "安装到 %1\\";

// Progress texts change every few entries only: each change is a synchronous
// call into the window.
constexpr int kProgressStep = 5;

// Entry names are resolved against the current folder, so the install folder is
// current for exactly the time of the extraction and the old one comes back
// before anything else happens (a roll-back may remove the install folder).
class CurrentFolderSwitch {
public:
    CurrentFolderSwitch() = default;
    CurrentFolderSwitch(const CurrentFolderSwitch&) = delete;
    CurrentFolderSwitch& operator=(const CurrentFolderSwitch&) = delete;
    ~CurrentFolderSwitch() { Leave(); }

    bool Enter(const std::string& folder)
    {
        const DWORD size = GetCurrentDirectoryW(0, nullptr);
        if (size == 0) {
            return false;
        }
        std::wstring saved(size, L'\0');
        const DWORD length = GetCurrentDirectoryW(size, &saved[0]);
        if (length == 0 || length >= size) {
            return false;
        }
        saved.resize(length);
        if (!SetCurrentDirectoryW(WidenText(folder).c_str())) {
            return false;
        }
        saved_ = std::move(saved);
        entered_ = true;
        return true;
    }

    void Leave()
    {
        if (entered_) {
            SetCurrentDirectoryW(saved_.c_str());
            entered_ = false;
        }
    }

private:
    std::wstring saved_;
    bool entered_ = false;
};

std::wstring FullPathOf(const std::wstring& path)
{
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return path;
    }
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
    if (length == 0 || length >= size) {
        return path;
    }
    full.resize(length);
    return full;
}

std::wstring LongPathOf(const std::wstring& path)
{
    const DWORD size = GetLongPathNameW(path.c_str(), nullptr, 0);
    if (size == 0) {
        return path;
    }
    std::wstring longPath(size, L'\0');
    const DWORD length = GetLongPathNameW(path.c_str(), &longPath[0], size);
    if (length == 0 || length >= size) {
        return path;
    }
    longPath.resize(length);
    return longPath;
}

// One text per file: a short 8.3 alias, trailing dots or blanks and letter case
// all name the same file on this file system.
std::wstring FileIdentity(const std::string& path)
{
    std::wstring identity = LongPathOf(FullPathOf(WidenText(path)));
    if (!identity.empty()) {
        CharUpperBuffW(&identity[0], static_cast<DWORD>(identity.size()));
    }
    return identity;
}

// `folder` ends with a backslash; the path must name something below it.
bool IsBelowFolder(const std::wstring& path, const std::wstring& folder)
{
    if (path.size() <= folder.size()) {
        return false;
    }
    const int length = static_cast<int>(folder.size());
    return CompareStringOrdinal(path.c_str(), length, folder.c_str(), length, TRUE) == CSTR_EQUAL;
}

bool IsAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Where the folder levels that an install may create start: after "X:\" or
// after the share of "\\server\share\"; npos for any other kind of path. A
// relative folder would depend on whatever folder happens to be current.
std::size_t FolderLevelsStart(const std::string& folder)
{
    if (folder.size() > 3 && IsAsciiLetter(folder[0]) && folder[1] == ':' && folder[2] == '\\') {
        return 3;
    }
    if (folder.compare(0, 2, "\\\\") != 0) {
        return std::string::npos;
    }
    const std::size_t serverEnd = FindChar936(folder, '\\', 2);
    if (serverEnd == std::string::npos || serverEnd == 2 || serverEnd + 1 >= folder.size()) {
        return std::string::npos;
    }
    const std::size_t shareEnd = FindChar936(folder, '\\', serverEnd + 1);
    return shareEnd == std::string::npos ? folder.size() : shareEnd + 1;
}

std::size_t LastSeparator(const std::string& name)
{
    return FindLastOf936(name, "\\/");
}

// The entry name as a Windows path below the install folder: backslashes only,
// no "." component, no trailing separator.
std::string RelativeName(const std::string& name)
{
    std::string relative;
    for (std::size_t start = 0; start <= name.size();) {
        std::size_t end = FindChar936(name, '/', start);
        const std::size_t backslash = FindChar936(name, '\\', start);
        if (backslash < end) {
            end = backslash;
        }
        if (end == std::string::npos) {
            end = name.size();
        }
        const std::string part = name.substr(start, end - start);
        if (part != ".") {
            relative += part + '\\';
        }
        start = end + 1;
    }
    while (!relative.empty() && LastSeparator(relative) == relative.size() - 1) {
        relative.pop_back();
    }
    return relative;
}

// Tools that write no attributes still mark a folder entry by its trailing slash.
bool IsFolderEntry(const ArchiveEntry& entry, const std::string& entryName)
{
    return (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
           (!entryName.empty() && LastSeparator(entryName) == entryName.size() - 1);
}

bool IsFolder(const std::string& path)
{
    const DWORD attributes = GetFileAttributesW(WidenText(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// An extracted file may be read-only, hidden or system; a restore or a delete
// must not fail on that.
void MakeWritable(const std::wstring& path)
{
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

bool RestoreFile(const std::string& backup, const std::string& destination)
{
    const std::wstring target = WidenText(destination);
    MakeWritable(target);
    return CopyFileW(WidenText(backup).c_str(), target.c_str(), FALSE) != FALSE;
}

void DeleteAddedFile(const std::string& path)
{
    const std::wstring target = WidenText(path);
    MakeWritable(target);
    DeleteFileW(target.c_str());
}

}  // namespace

CPackageInstall::CPackageInstall(std::string installFolder, std::string backupFolder)
    : installFolder_(std::move(installFolder)), backupFolder_(std::move(backupFolder))
{
}

int CPackageInstall::Install(const std::string& archivePath, IInstallView& view,
                             const std::atomic<bool>& abort)
{
    installed_.clear();
    replaced_.clear();
    extracted_.clear();
    createdFolders_.clear();
    written_.clear();
    errorText_.clear();

    int result = CreateInstallFolder();
    if (result == kInstallDone) {
        CurrentFolderSwitch current;
        result = current.Enter(installFolder_) ? ExtractEntries(archivePath, view, abort)
                                               : Fail(kFolderFailedText, installFolder_);
    }
    if (result == kInstallDone && abort) {
        result = kInstallCancelled;
    }
    if (result != kInstallDone) {
        if (!RollBack()) {
            std::string notRestored;
            FormatString1(notRestored, kNotRestoredText, backupFolder_);
            errorText_ += notRestored;
        }
        return result;
    }
    ClearReadOnlyAttributes();
    return kInstallDone;
}

bool CPackageInstall::RollBack()
{
    bool restored = true;
    for (const std::string& name : replaced_) {
        if (!RestoreFile(backupFolder_ + name, JoinPath(installFolder_, name))) {
            restored = false;
        }
    }
    for (const std::string& path : installed_) {
        DeleteAddedFile(path);
    }
    // Deepest first; a folder that still holds anything stays.
    for (auto folder = createdFolders_.rbegin(); folder != createdFolders_.rend(); ++folder) {
        RemoveDirectoryW(WidenText(*folder).c_str());
    }
    if (restored) {
        DeleteFolderTree(backupFolder_);
    }
    installed_.clear();
    replaced_.clear();
    extracted_.clear();
    createdFolders_.clear();
    written_.clear();
    return restored;
}

int CPackageInstall::CreateInstallFolder()
{
    const std::size_t levelsStart = FolderLevelsStart(installFolder_);
    if (levelsStart == std::string::npos) {
        return Fail(kNotFullPathText, installFolder_);
    }
    for (std::size_t separator = FindChar936(installFolder_, '\\', levelsStart);;
         separator = FindChar936(installFolder_, '\\', separator + 1)) {
        const std::string level = installFolder_.substr(0, separator);
        if (!PathExists(level)) {
            createdFolders_.push_back(level);
        }
        if (separator == std::string::npos) {
            break;
        }
    }
    if (!CreateDirectoryTree(CPathName(installFolder_ + "\\")) || !IsFolder(installFolder_)) {
        return Fail(kFolderFailedText, installFolder_);
    }
    // The backup folder is made beforehand; should that fail, the first backup
    // fails and stops the install.
    CreateDirectoryTree(CPathName(backupFolder_));
    return kInstallDone;
}

int CPackageInstall::ExtractEntries(const std::string& archivePath, IInstallView& view,
                                    const std::atomic<bool>& abort)
{
    ArchiveHandle* const archive = OpenArchive(archivePath.c_str(), 0, kArchiveFileName);
    if (archive == nullptr) {
        return Fail(kBadPackageText, archivePath);
    }
    ArchiveEntry count;
    GetArchiveEntry(archive, -1, count);
    if (ArchiveLastError() != kArchiveOk || count.index < 0) {
        CloseArchive(archive);
        return Fail(kBadPackageText, archivePath);
    }

    view.SetProgressRange(static_cast<std::uint32_t>(count.index));
    view.SetLabelText(kRateLabel, "");
    view.SetLabelText(kTimeLeftLabel, "");
    view.ShowControl(kTimeLeftCaption, false);
    view.ShowControl(kRateCaption, false);
    view.SetLabelText(kStatusLabel, "");
    view.SetLabelText(kSourceLabel, "");
    std::string status;
    FormatString1(status, kStatusFormat, installFolder_);

    int result = kInstallDone;
    std::string lastName;
    for (int i = 0; i < count.index && result == kInstallDone; ++i) {
        if (abort) {
            result = kInstallCancelled;
            break;
        }
        if (i % kProgressStep == 0) {
            view.SetControlText(kStatusLabel, status);
            view.SetProgressPos(static_cast<std::uint32_t>(i));
            view.SetLabelText(kSourceLabel, lastName);
        }
        ArchiveEntry entry;
        GetArchiveEntry(archive, i, entry);
        if (ArchiveLastError() != kArchiveOk) {
            result = Fail(kBadPackageText, archivePath);
            break;
        }
        lastName.assign(entry.name, strnlen(entry.name, sizeof entry.name));
        result = InstallEntry(archive, entry);
    }
    CloseArchive(archive);
    if (result == kInstallDone) {
        view.SetProgressPos(static_cast<std::uint32_t>(count.index));
    }
    return result;
}

int CPackageInstall::InstallEntry(ArchiveHandle* archive, const ArchiveEntry& entry)
{
    const std::string entryName(entry.name, strnlen(entry.name, sizeof entry.name));
    const std::string relativeName = RelativeName(entryName);
    if (!IsSafeEntryName(entryName) || entry.link || relativeName.empty() ||
        !LandsInside(relativeName)) {
        return Fail(kUnsafeNameText, entryName);
    }
    if (IsFolderEntry(entry, entryName)) {
        return InstallFolderEntry(relativeName, entryName);
    }
    const std::size_t replacedBefore = replaced_.size();
    const int prepared = PrepareFileEntry(relativeName, entryName);
    if (prepared != kInstallDone) {
        return prepared;
    }
    std::string target = relativeName;
    ExtractArchiveEntry(archive, entry.index, &target[0], 0, kArchiveFileName);
    const std::int32_t extracted = ArchiveLastError();
    if (extracted == kArchiveOk) {
        return kInstallDone;
    }
    // A target that could not be created was not touched: there is nothing to
    // restore, and a file held open by another program could not be restored.
    if (extracted == kArchiveOpenFailed && replaced_.size() > replacedBefore) {
        replaced_.pop_back();
    }
    return Fail(kExtractFailedText, entryName);
}

int CPackageInstall::InstallFolderEntry(const std::string& relativeName,
                                        const std::string& entryName)
{
    RecordMissingFolders(relativeName);
    EnsureFolderPath(installFolder_ + "\\", relativeName);
    if (!IsFolder(JoinPath(installFolder_, relativeName))) {
        return Fail(kExtractFailedText, entryName);
    }
    return kInstallDone;
}

// Decides, before a file entry is written, how a roll-back undoes it: a file
// that is new is deleted, a file that existed is backed up now and restored.
int CPackageInstall::PrepareFileEntry(const std::string& relativeName,
                                      const std::string& entryName)
{
    const std::size_t separator = FindLastOf936(relativeName, "\\");
    if (separator != std::string::npos) {
        RecordMissingFolders(relativeName.substr(0, separator));
    }
    const std::string destination = JoinPath(installFolder_, relativeName);
    // A second entry for a file written already replaces our own copy: the
    // backup taken the first time is the user's file and must stay as it is.
    if (!written_.insert(FileIdentity(destination)).second) {
        return kInstallDone;
    }
    extracted_.push_back(destination);
    if (!PathExists(destination)) {
        installed_.push_back(destination);
        return kInstallDone;
    }
    if (!BackUpFile(relativeName, installFolder_ + "\\", backupFolder_)) {
        return Fail(kBackupFailedText, entryName);
    }
    replaced_.push_back(relativeName);
    return kInstallDone;
}

// The name must resolve below the install folder, and no folder on its way may
// be a link that leads somewhere else.
bool CPackageInstall::LandsInside(const std::string& relativeName) const
{
    const std::wstring folder = FullPathOf(WidenText(installFolder_)) + L"\\";
    if (!IsBelowFolder(FullPathOf(WidenText(JoinPath(installFolder_, relativeName))), folder)) {
        return false;
    }
    TextList parts;
    SplitString(relativeName, "\\", parts);
    std::string path = installFolder_;
    for (const std::string& part : parts) {
        path = JoinPath(path, part);
        const DWORD attributes = GetFileAttributesW(WidenText(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            break;
        }
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            return false;
        }
    }
    return true;
}

void CPackageInstall::RecordMissingFolders(const std::string& relativeFolder)
{
    TextList parts;
    SplitString(relativeFolder, "\\", parts);
    std::string path = installFolder_;
    for (const std::string& part : parts) {
        if (part.empty()) {
            continue;
        }
        path = JoinPath(path, part);
        if (!PathExists(path)) {
            createdFolders_.push_back(path);
        }
    }
}

// Packages made on Windows store no write permission, so their files come out
// read-only; the product must be able to update them later.
void CPackageInstall::ClearReadOnlyAttributes() const
{
    for (const std::string& path : extracted_) {
        const std::wstring file = WidenText(path);
        const DWORD attributes = GetFileAttributesW(file.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            SetFileAttributesW(file.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
        }
    }
}

int CPackageInstall::Fail(const char* format, const std::string& argument)
{
    FormatString1(errorText_, format, argument);
    return kInstallFailed;
}

bool StartSetupProgram(const std::string& installFolder, const std::string& setupFile,
                       const std::string& arguments)
{
    const std::wstring program = WidenText(installFolder + "\\" + setupFile);
    const std::wstring parameters = WidenText(arguments);
    const HINSTANCE started =
        ShellExecuteW(nullptr, L"OPEN", program.c_str(), parameters.c_str(), nullptr, SW_SHOW);
    return reinterpret_cast<INT_PTR>(started) > 32;
}
