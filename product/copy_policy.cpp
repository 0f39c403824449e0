#include "product/copy_policy.h"

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
    bool isFolder = false;
    DWORD attributes = 0;
    FILETIME lastWrite{};
};

// The two folders of one level of a tree copy, held open so that each file is
// opened by its name alone; when either could not be opened, whole paths are
// used.
struct OpenFolders {
    UniqueFile source;
    UniqueFile destination;
};

// A read-only destination is never written. Windows' CopyFile refuses it, but
// not every implementation of that call does (nor does a copy through handles
// on every platform), so the refusal is made here, on the attributes read once
// before. `folders` and `entry` are there for a file of a tree copy.
bool CopyOver(const std::string& source, const std::string& destination, DWORD attributes,
              const OpenFolders* folders, const FolderEntry* entry)
{
    if (Exists(attributes) && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return false;
    }
    KnownCopyDetails known;
    known.targetKnown = true;
    known.targetAttributes = attributes;
    if (entry != nullptr) {
        known.sourceKnown = true;
        known.sourceAttributes = entry->attributes;
        known.sourceWriteTime = entry->lastWrite;
    }
    if (folders != nullptr && entry != nullptr && folders->source && folders->destination) {
        return CopyFileBetweenFolders(folders->source.get(), folders->destination.get(),
                                      WidenText(entry->name), WidenText(destination), known);
    }
    return CopyFileThroughHandles(WidenText(source), WidenText(destination), known);
}

// The one rule for a file that may already exist at the destination. A file
// whose backup could not be made is never replaced: without the backup the
// replaced content could not be put back. `knownNew`: the destination folder
// was made by this copy, so nothing in it exists yet. A destination that is a
// link is never written: what it leads to lies elsewhere. `folders` and
// `entry`: see CopyOver.
FileOutcome ReplaceFile(const std::string& name, const std::string& sourceFolder,
                        const std::string& destinationFolder, const std::string& backupFolder,
                        CopyPolicy policy, const std::string& questionFormat,
                        const OverwritePrompt& ask, bool knownNew, const OpenFolders* folders = nullptr,
                        const FolderEntry* entry = nullptr)
{
    FileOutcome outcome;
    outcome.policy = policy;
    const std::string destination = destinationFolder + name;
    const DWORD attributes =
        knownNew ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(WidenText(destination).c_str());
    const bool exists = Exists(attributes);
    if (IsLink(attributes)) {
        outcome.throughLink = true;
        return outcome;
    }
    if (exists && !backupFolder.empty() && !BackUpFile(name, destinationFolder, backupFolder)) {
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
    outcome.copied = CopyOver(sourceFolder + name, destination, attributes, folders, entry);
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

// The entries of one folder as the file system yields them, taken before
// anything is copied so that the copy never changes what is being walked.
std::vector<FolderEntry> ListFolder(const std::string& folder, const std::string& pattern)
{
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW found;
    const UniqueFindSearch find(FindFirstFileW(WidenText(folder + pattern).c_str(), &found));
    if (!find) {
        return entries;
    }
    do {
        FolderEntry entry;
        entry.name = NarrowText(found.cFileName);
        entry.isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.attributes = found.dwFileAttributes;
        entry.lastWrite = found.ftLastWriteTime;
        entries.push_back(std::move(entry));
    } while (FindNextFileW(find.get(), &found));
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
                  const std::string& backupFolder, bool freshFolder, CopyPolicy& policy)
{
    const FileOutcome outcome =
        ReplaceFile(entry.name, sourceFolder, destinationFolder, backupFolder, policy,
                    kTreeQuestion, tree.ask, freshFolder, &folders, &entry);
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

// Makes destination folder + name for a sub-folder; false, listing the path as
// failed, when it is a link, which nothing is written through. `made` tells
// whether the folder is new.
bool MakeSubfolder(TreeCopy& tree, const std::string& destinationFolder, const std::string& name,
                   bool& made)
{
    const std::wstring path = WidenText(destinationFolder + name);
    // Asked first: a folder that exists already costs the system a failed
    // creation otherwise.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    made = !Exists(attributes) && CreateDirectoryW(path.c_str(), nullptr) != FALSE;
    if (!made && IsLink(Exists(attributes) ? attributes : GetFileAttributesW(path.c_str()))) {
        tree.failed.push_back(destinationFolder + name);
        tree.stoppedAt = destinationFolder + name;
        return false;
    }
    return true;
}

// Folders end with a separator here; `backupFolder` may be empty. `freshFolder`:
// the destination folder was made by this copy.
CopyPolicy CopyFolderContent(TreeCopy& tree, const std::string& sourceFolder,
                             const std::string& destinationFolder, const std::string& backupFolder,
                             bool freshFolder, CopyPolicy policy, const std::string& pattern)
{
    TextList subfolders;
    OpenFolders folders{OpenFolderForCopies(WidenText(sourceFolder)),
                        OpenFolderForCopies(WidenText(destinationFolder))};
    for (const FolderEntry& entry : ListFolder(sourceFolder, pattern)) {
        if (entry.isFolder) {
            if (!IsLeftOutFolder(LowerAscii936(entry.name)) &&
                FullPathKey(sourceFolder + entry.name) != tree.destinationKey) {
                subfolders.push_back(entry.name);
            }
        } else if (!IsLeftOutFile(tree, entry.name)) {
            if (!CopyTreeFile(tree, entry, folders, sourceFolder, destinationFolder, backupFolder,
                              freshFolder, policy)) {
                return kCopyCancelled;
            }
            if (tree.Stopped()) {
                return policy;
            }
        }
    }
    // One level's folders are open at a time.
    folders.source.reset();
    folders.destination.reset();
    for (const std::string& name : subfolders) {
        const std::string lowerName = LowerAscii936(name);
        bool made = false;
        if (!MakeSubfolder(tree, destinationFolder, lowerName, made)) {
            return policy;
        }
        std::string backup;
        if (!backupFolder.empty()) {
            backup = backupFolder + lowerName + '\\';
            CreateDirectoryW(WidenText(backup).c_str(), nullptr);
        }
        const std::string destination = destinationFolder + lowerName + '\\';
        if (CopyFolderContent(tree, sourceFolder + name + '\\', destination, backup, made, policy,
                              "*.*") == kCopyCancelled) {
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
    if (CopyFileThroughHandles(source, target)) {
        return true;
    }
    // The first backup into a folder makes the folder; an earlier read-only
    // backup of the same name is replaced all the same.
    CreateDirectoryTree(CPathName(backup));
    ClearReadOnly(target);
    return CopyFileThroughHandles(source, target);
}

CopyPolicy CopyFileWithPrompt(const std::string& name, const std::string& sourceFolder,
                              const std::string& destinationFolder, const std::string& backupFolder,
                              CopyPolicy policy, const OverwritePrompt& ask)
{
    if (PassesThroughLink(destinationFolder, name)) {
        return policy;
    }
    return ReplaceFile(name, sourceFolder, destinationFolder, backupFolder, policy, kFileQuestion,
                       ask, false)
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
    const CopyPolicy end = CopyFolderContent(tree, WithTrailingBackslash(sourceFolder), destination,
                                             WithTrailingBackslash(backupFolder), false, policy, pattern);
    if (stoppedAt != nullptr) {
        *stoppedAt = tree.stoppedAt;
    }
    return end;
}
