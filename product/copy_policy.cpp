#include "product/copy_policy.h"

#include <unordered_map>
#include <vector>

#include <windows.h>

#include "util/format_strings.h"
#include "util/handles.h"
#include "product/product_record.h"
#include "util/cp936.h"
#include "util/file_system.h"
#include "util/text_path.h"
#include "util/wide_text.h"

namespace {

const char kFileQuestion[] = "目标文件%1\n已经存在，覆盖吗？";
const char kTreeQuestion[] = "目标文件%1已经存在，覆盖吗？";

// Left out of every folder copy: the update's own bookkeeping. The folder names
// are matched in any letter case, the file name exactly.
const char kReadmeFile[] = "$.UpDateReadme.txt";
const char kSysDataFolder[] = "$.UpDateSysData";
const char kMenuFolder[] = "$.UpDateMenu";

// What became of one file whose copy was asked for.
struct FileOutcome {
    CopyPolicy policy = kCopyAsk;
    bool cancelled = false;
    bool backupFailed = false;
    bool copyTried = false;
    bool copied = false;
    // The destination is a link: nothing was written.
    bool throughLink = false;
};

// Only the answers the prompt can give count; anything else, or no prompt at
// all, leaves the file as it is rather than overwrite it unasked.
CopyPolicy AskUser(const OverwritePrompt& ask, const std::string& question)
{
    if (!ask) {
        return kCopySkipThis;
    }
    const CopyPolicy answer = ask(question);
    switch (answer) {
    case kCopyCancelled:
    case kCopyOverwriteThis:
    case kCopyOverwriteAll:
    case kCopySkipThis:
    case kCopySkipAll:
        return answer;
    default:
        return kCopySkipThis;
    }
}

bool EndsWithSeparator(const std::string& folder)
{
    return !folder.empty() && FindLastOf936(folder, "\\/") == folder.size() - 1;
}

std::string WithTrailingBackslash(const std::string& folder)
{
    return folder.empty() || EndsWithSeparator(folder) ? folder : folder + '\\';
}

// ASCII letters only, character by character: the second byte of a double-byte
// character may look like a capital letter and must stay as it is.
std::string LowerAscii936(std::string text)
{
    for (std::size_t i = 0; i < text.size(); i += CharLength936(text, i)) {
        if (CharLength936(text, i) == 1 && text[i] >= 'A' && text[i] <= 'Z') {
            text[i] = static_cast<char>(text[i] - 'A' + 'a');
        }
    }
    return text;
}

// A backup must land inside the backup folder, whatever the name says: no root,
// no drive or stream colon, no ".." component.
bool StaysInsideFolder(const std::string& name)
{
    if (name.empty() || name[0] == '\\' || name[0] == '/' ||
        FindChar936(name, ':') != std::string::npos) {
        return false;
    }
    const auto isParent = [&name](std::size_t start, std::size_t end) {
        return name.compare(start, end - start, "..") == 0;
    };
    std::size_t componentStart = 0;
    for (std::size_t i = 0; i < name.size(); i += CharLength936(name, i)) {
        if (name[i] == '\\' || name[i] == '/') {
            if (isParent(componentStart, i)) {
                return false;
            }
            componentStart = i + 1;
        }
    }
    return !isParent(componentStart, name.size());
}

void ClearReadOnly(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
}

bool Exists(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES;
}

bool IsLink(DWORD attributes)
{
    return Exists(attributes) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

struct FolderEntry {
    std::string name;
    // The platform's own name, by which the file is opened: one that code page
    // 936 cannot spell is copied all the same.
    std::wstring wideName;
    bool isFolder = false;
    DWORD attributes = 0;
    FILETIME lastWrite{};
};

// The two folders of one level of a tree copy, each opened on itself below
// the level above (the chosen folders by their paths) and held while the level
// is copied, so that each file is opened by its name alone inside them and no
// link put into a higher level meanwhile can lead the copy elsewhere. A level
// where either could not be opened copies nothing.
struct OpenFolders {
    UniqueFile source;
    UniqueFile destination;
    // The level's backup folder, where the copy keeps backups: made where
    // missing and held like the others.
    UniqueFile backup;
    // What the destination held before the level was copied, read once
    // through its handle (where a link shows under Wine too), by the name in
    // upper case, as the file system matches names in any letter case: one
    // listing instead of a question by path per file. Empty for a folder that
    // the copy made. Unset when the destination could not be listed.
    bool destinationListed = false;
    std::unordered_map<std::wstring, DWORD> destinationAttributes;
};

std::wstring NameKey(std::wstring name)
{
    if (!name.empty()) {
        CharUpperBuffW(&name[0], static_cast<DWORD>(name.size()));
    }
    return name;
}

// The destination's attributes before the copy (INVALID_FILE_ATTRIBUTES: it
// is not there), from the level's listing where there is one, else by path.
DWORD DestinationAttributes(const OpenFolders* folders, const std::wstring& name,
                            const std::string& path)
{
    if (folders == nullptr || !folders->destinationListed) {
        return GetFileAttributesW(WidenText(path).c_str());
    }
    const auto found = folders->destinationAttributes.find(NameKey(name));
    return found == folders->destinationAttributes.end() ? INVALID_FILE_ATTRIBUTES : found->second;
}

// A read-only destination is never written. Windows' CopyFile refuses it, but
// not every implementation of that call does (nor does a copy through handles
// on every platform), so the refusal is made here, on the attributes read once
// before. `folders` and `entry` are there for a file of a tree copy.
FileCopyResult CopyOver(const std::string& source, const std::string& destination,
                        DWORD attributes, const OpenFolders* folders, const FolderEntry* entry)
{
    if (Exists(attributes) && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return FileCopyResult::kFailed;
    }
    KnownCopyDetails known;
    known.targetKnown = true;
    known.targetAttributes = attributes;
    if (folders == nullptr || entry == nullptr) {
        return CopyFileThroughHandles(WidenText(source), WidenText(destination), known);
    }
    if (!folders->source || !folders->destination) {
        return FileCopyResult::kFailed;
    }
    known.sourceKnown = true;
    known.sourceAttributes = entry->attributes;
    known.sourceWriteTime = entry->lastWrite;
    return CopyFileBetweenFolders(folders->source.get(), folders->destination.get(),
                                  entry->wideName, known);
}

// A backup of a tree's file is taken through the level's held folders; an
// earlier backup of the same name, read-only too, is replaced all the same.
bool BackUpHeldFile(const OpenFolders& folders, const std::wstring& name)
{
    if (!folders.destination || !folders.backup) {
        return false;
    }
    const FileCopyResult first =
        CopyFileBetweenFolders(folders.destination.get(), folders.backup.get(), name, KnownCopyDetails());
    if (first != FileCopyResult::kFailed) {
        return first == FileCopyResult::kCopied;
    }
    const UniqueFile earlier = OpenEntryInFolder(folders.backup.get(), name, FILE_WRITE_ATTRIBUTES);
    if (!earlier || IsLinkHandle(earlier.get())) {
        return false;
    }
    FILE_BASIC_INFO writable{};  // times of zero stay as they are
    writable.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(earlier.get(), FileBasicInfo, &writable, sizeof writable);
    return CopyFileBetweenFolders(folders.destination.get(), folders.backup.get(), name,
                                  KnownCopyDetails()) == FileCopyResult::kCopied;
}

// The one rule for a file that may already exist at the destination. A file
// whose backup could not be made is never replaced: without the backup the
// replaced content could not be put back. A destination that is a link is
// never written: what it leads to lies elsewhere. `folders` and `entry`: see
// CopyOver.
FileOutcome ReplaceFile(const std::string& name, const std::string& sourceFolder,
                        const std::string& destinationFolder, const std::string& backupFolder,
                        CopyPolicy policy, const std::string& questionFormat,
                        const OverwritePrompt& ask, const OpenFolders* folders = nullptr,
                        const FolderEntry* entry = nullptr)
{
    FileOutcome outcome;
    outcome.policy = policy;
    const std::string destination = destinationFolder + name;
    const DWORD attributes = entry != nullptr
                                 ? DestinationAttributes(folders, entry->wideName, destination)
                                 : GetFileAttributesW(WidenText(destination).c_str());
    const bool exists = Exists(attributes);
    if (IsLink(attributes)) {
        outcome.throughLink = true;
        return outcome;
    }
    const auto backUp = [&] {
        return folders != nullptr && entry != nullptr
                   ? BackUpHeldFile(*folders, entry->wideName)
                   : BackUpFile(name, destinationFolder, backupFolder);
    };
    if (exists && !backupFolder.empty() && !backUp()) {
        outcome.backupFailed = true;
        return outcome;
    }
    if (exists && policy != kCopyOverwriteAll) {
        if (policy == kCopySkipAll) {
            return outcome;
        }
        outcome.policy = AskUser(ask, FormatString1(questionFormat, destination));
        if (outcome.policy == kCopyCancelled) {
            outcome.cancelled = true;
            return outcome;
        }
        if (outcome.policy == kCopySkipThis || outcome.policy == kCopySkipAll) {
            return outcome;
        }
    }
    outcome.copyTried = true;
    const FileCopyResult copy = CopyOver(sourceFolder + name, destination, attributes, folders, entry);
    outcome.throughLink = copy == FileCopyResult::kTargetIsLink;
    outcome.copied = copy == FileCopyResult::kCopied;
    return outcome;
}

// True when a folder level of `name` (below `folder`, which may itself be a
// link) is a link.
bool PassesThroughLink(const std::string& folder, const std::string& name)
{
    for (std::size_t i = 0; i < name.size(); i += CharLength936(name, i)) {
        if ((name[i] == '\\' || name[i] == '/') &&
            IsLink(GetFileAttributesW(WidenText(folder + name.substr(0, i)).c_str()))) {
            return true;
        }
    }
    return false;
}

FolderEntry MakeEntry(std::wstring name, DWORD attributes, FILETIME lastWrite)
{
    FolderEntry entry;
    entry.name = NarrowText(name);
    entry.wideName = std::move(name);
    entry.isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.attributes = attributes;
    entry.lastWrite = lastWrite;
    return entry;
}

// The entries of one level as the file system yields them, taken before
// anything is copied so that the copy never changes what is being walked: the
// chosen folder's by its path (with the caller's pattern), a held folder's
// through its handle.
std::vector<FolderEntry> ListFolder(const std::string& folder, const std::string& pattern)
{
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW found;
    const UniqueFindSearch find(FindFirstFileW(WidenText(folder + pattern).c_str(), &found));
    if (!find) {
        return entries;
    }
    do {
        entries.push_back(MakeEntry(found.cFileName, found.dwFileAttributes, found.ftLastWriteTime));
    } while (FindNextFileW(find.get(), &found));
    return entries;
}

std::vector<FolderEntry> ListHeldFolder(HANDLE folder)
{
    std::vector<FolderListEntry> listed;
    ListOpenFolder(folder, listed);
    std::vector<FolderEntry> entries;
    entries.reserve(listed.size());
    for (FolderListEntry& entry : listed) {
        entries.push_back(MakeEntry(std::move(entry.name), entry.attributes, entry.lastWrite));
    }
    return entries;
}

std::wstring FullPathKey(const std::string& folder)
{
    std::wstring full = FullPathName(WidenText(WithTrailingBackslash(folder)));
    if (!full.empty()) {
        CharLowerBuffW(&full[0], static_cast<DWORD>(full.size()));
    }
    return full;
}

// What stays the same through one whole tree copy.
struct TreeCopy {
    TextList& failed;
    TextList& copied;
    const OverwritePrompt& ask;
    std::string ownFileName;
    // A destination inside the source would otherwise be copied into itself
    // again and again, one level deeper each time.
    std::wstring destinationKey;
    // The link in the destination at which the copy stopped; empty while it goes on.
    std::string stoppedAt;
    bool Stopped() const { return !stoppedAt.empty(); }
};

bool IsLeftOutFolder(const std::string& lowerName)
{
    return lowerName == "." || lowerName == ".." || lowerName == LowerAscii936(kSysDataFolder) ||
           lowerName == LowerAscii936(kMenuFolder);
}

bool IsLeftOutFile(const TreeCopy& tree, const std::string& name)
{
    return name == tree.ownFileName || name == kReadmeFile;
}

// Records one file's outcome; false when the user cancelled.
bool CopyTreeFile(TreeCopy& tree, const FolderEntry& entry, const OpenFolders& folders,
                  const std::string& sourceFolder, const std::string& destinationFolder,
                  const std::string& backupFolder, CopyPolicy& policy)
{
    const FileOutcome outcome =
        ReplaceFile(entry.name, sourceFolder, destinationFolder, backupFolder, policy,
                    kTreeQuestion, tree.ask, &folders, &entry);
    policy = outcome.policy;
    const std::string destination = destinationFolder + entry.name;
    if (outcome.throughLink) {
        tree.failed.push_back(destination);
        tree.stoppedAt = destination;
    } else if (outcome.backupFailed || (outcome.copyTried && !outcome.copied)) {
        tree.failed.push_back(destination);
    } else if (outcome.copied) {
        tree.copied.push_back(destination);
    }
    return !outcome.cancelled;
}

void StopAtLink(TreeCopy& tree, const std::string& path)
{
    tree.failed.push_back(path);
    tree.stoppedAt = path;
}

// Makes or opens destination folder + name for a sub-folder, held as
// OpenFolders says; false, listing the path as failed, when it is a link,
// which nothing is written through (the path is asked first: Wine follows a
// link even where it is opened on itself). `made` tells whether the folder is
// new. Without a held parent nothing is made: the level's files fail.
bool MakeSubfolder(TreeCopy& tree, const OpenFolders& folders, const std::string& destinationFolder,
                   const std::string& name, UniqueFile& held, bool& made)
{
    const std::string path = destinationFolder + name;
    const std::wstring wideName = WidenText(name);
    made = false;
    if (IsLink(DestinationAttributes(&folders, wideName, path))) {
        StopAtLink(tree, path);
        return false;
    }
    if (!folders.destination) {
        return true;
    }
    FolderOpen result = FolderOpen::kFailed;
    held = OpenFolderInFolder(folders.destination.get(), wideName, true, 0, result);
    if (result == FolderOpen::kIsLink) {
        StopAtLink(tree, path);
        return false;
    }
    made = result == FolderOpen::kCreated;
    return true;
}

// Opens the source's sub-folder on itself below its held parent; a link (or a
// folder that cannot be opened) is not copied from and is listed as failed
// under its destination's name.
bool OpenSourceSubfolder(TreeCopy& tree, HANDLE parent, const FolderEntry& entry,
                         const std::string& destination, UniqueFile& held)
{
    FolderOpen result = FolderOpen::kFailed;
    if (parent != nullptr && !IsLink(entry.attributes)) {
        held = OpenFolderInFolder(parent, entry.wideName, false, 0, result);
    }
    if (!held) {
        tree.failed.push_back(destination);
        return false;
    }
    return true;
}

void ListDestination(OpenFolders& folders, bool freshFolder)
{
    folders.destinationListed = freshFolder;
    if (freshFolder || !folders.destination) {
        return;
    }
    std::vector<FolderListEntry> entries;
    folders.destinationListed = ListOpenFolder(folders.destination.get(), entries);
    for (FolderListEntry& entry : entries) {
        folders.destinationAttributes.emplace(NameKey(std::move(entry.name)), entry.attributes);
    }
}

HANDLE HandleOrNull(const UniqueFile& folder)
{
    return folder ? folder.get() : nullptr;
}

// Folders end with a separator here; `backupFolder` may be empty. `freshFolder`:
// the destination folder was made by this copy. `pattern` picks the entries of
// the chosen folder (`top`); below it every entry is copied.
CopyPolicy CopyFolderContent(TreeCopy& tree, OpenFolders& folders,
                             const std::string& sourceFolder, const std::string& destinationFolder,
                             const std::string& backupFolder, bool freshFolder, CopyPolicy policy,
                             const std::string& pattern, bool top)
{
    ListDestination(folders, freshFolder);
    std::vector<const FolderEntry*> subfolders;
    const std::vector<FolderEntry> entries =
        top ? ListFolder(sourceFolder, pattern)
            : (folders.source ? ListHeldFolder(folders.source.get()) : std::vector<FolderEntry>());
    for (const FolderEntry& entry : entries) {
        if (entry.isFolder) {
            if (!IsLeftOutFolder(LowerAscii936(entry.name)) &&
                FullPathKey(sourceFolder + entry.name) != tree.destinationKey) {
                subfolders.push_back(&entry);
            }
        } else if (!IsLeftOutFile(tree, entry.name)) {
            // A link among the source's files is not read through: what it
            // leads to is no file of this folder.
            if (IsLink(entry.attributes)) {
                tree.failed.push_back(destinationFolder + entry.name);
                continue;
            }
            if (!CopyTreeFile(tree, entry, folders, sourceFolder, destinationFolder, backupFolder,
                              policy)) {
                return kCopyCancelled;
            }
            if (tree.Stopped()) {
                return policy;
            }
        }
    }
    for (const FolderEntry* entry : subfolders) {
        const std::string lowerName = LowerAscii936(entry->name);
        const std::string destination = destinationFolder + lowerName;
        OpenFolders below;
        if (!OpenSourceSubfolder(tree, HandleOrNull(folders.source), *entry, destination,
                                 below.source)) {
            continue;
        }
        bool made = false;
        if (!MakeSubfolder(tree, folders, destinationFolder, lowerName, below.destination, made)) {
            return policy;
        }
        std::string backup;
        if (!backupFolder.empty()) {
            backup = backupFolder + lowerName + '\\';
            // A link there takes no backups: the path is asked first, as for
            // the destination's folders.
            FolderOpen result = FolderOpen::kFailed;
            if (folders.backup &&
                !IsLink(GetFileAttributesW(WidenText(backupFolder + lowerName).c_str()))) {
                below.backup =
                    OpenFolderInFolder(folders.backup.get(), WidenText(lowerName), true, 0, result);
            }
        }
        if (CopyFolderContent(tree, below, sourceFolder + entry->name + '\\', destination + '\\',
                              backup, made, policy, "*.*", false) == kCopyCancelled) {
            return kCopyCancelled;
        }
        if (tree.Stopped()) {
            return policy;
        }
    }
    return policy;
}

}  // namespace

bool BackUpFile(const std::string& name, const std::string& folder, const std::string& backupFolder)
{
    if (backupFolder.empty() || !StaysInsideFolder(name)) {
        return false;
    }
    const std::wstring source = WidenText(folder + name);
    const std::string backup = backupFolder + name;
    const std::wstring target = WidenText(backup);
    const FileCopyResult first = CopyFileThroughHandles(source, target);
    if (first != FileCopyResult::kFailed) {
        return first == FileCopyResult::kCopied;
    }
    // The first backup into a folder makes the folder; an earlier read-only
    // backup of the same name is replaced all the same.
    CreateDirectoryTree(CPathName(backup));
    ClearReadOnly(target);
    return CopyFileThroughHandles(source, target) == FileCopyResult::kCopied;
}

CopyPolicy CopyFileWithPrompt(const std::string& name, const std::string& sourceFolder,
                              const std::string& destinationFolder, const std::string& backupFolder,
                              CopyPolicy policy, const OverwritePrompt& ask)
{
    if (PassesThroughLink(destinationFolder, name)) {
        return policy;
    }
    return ReplaceFile(name, sourceFolder, destinationFolder, backupFolder, policy, kFileQuestion, ask)
        .policy;
}

CopyPolicy CopyFolderTree(TextList& failed, TextList& copied, const std::string& sourceFolder,
                          const std::string& destinationFolder, const std::string& backupFolder,
                          CopyPolicy policy, const std::string& pattern, const OverwritePrompt& ask,
                          std::string* stoppedAt)
{
    if (stoppedAt != nullptr) {
        stoppedAt->clear();
    }
    if (sourceFolder.empty() || destinationFolder.empty()) {
        return kCopyCancelled;
    }
    const std::string destination = WithTrailingBackslash(destinationFolder);
    TreeCopy tree{failed, copied, ask, GetOwnFileName(), FullPathKey(destination), {}};
    const std::string source = WithTrailingBackslash(sourceFolder);
    OpenFolders folders;
    folders.source = OpenFolderForCopies(WidenText(source));
    folders.destination = OpenFolderForCopies(WidenText(destination));
    const std::string backup = WithTrailingBackslash(backupFolder);
    if (!backup.empty() && CreateDirectoryTree(CPathName(backup))) {
        folders.backup = OpenFolderForCopies(WidenText(backup));
    }
    const CopyPolicy end =
        CopyFolderContent(tree, folders, source, destination, backup, false, policy, pattern, true);
    if (stoppedAt != nullptr) {
        *stoppedAt = tree.stoppedAt;
    }
    return end;
}
