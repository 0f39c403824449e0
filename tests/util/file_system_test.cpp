#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/bench/host_link.h"
#include "tests/bench/test_files.h"
#include "util/file_read.h"
#include "util/file_system.h"
#include "util/wide_text.h"
#include "util/working_folder.h"

#include <sddl.h>

// In code page 936 "運" is DF 5C, "誠" D5 5C and "錦" E5 5C: folder names made of
// them end in a byte that a byte-wise search would take for a backslash.
namespace {

DWORD AttributesOf(const std::string& path)
{
    return GetFileAttributesW(WidenText(path).c_str());
}

bool IsFolder(const std::string& path)
{
    const DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsFile(const std::string& path)
{
    const DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsLink(const std::string& path)
{
    const DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

void MakeFolder(const std::string& path, DWORD attributes = 0)
{
    ASSERT_TRUE(CreateDirectoryW(WidenText(path).c_str(), nullptr)) << path;
    if (attributes != 0) {
        ASSERT_TRUE(SetFileAttributesW(WidenText(path).c_str(), attributes)) << path;
    }
}

void MakeFile(const std::string& path, const std::string& content = "x",
              DWORD attributes = FILE_ATTRIBUTE_NORMAL)
{
    const HANDLE file = CreateFileW(WidenText(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, attributes, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written,
                              nullptr);
    CloseHandle(file);
    ASSERT_TRUE(ok && written == content.size()) << path;
}

// For names that code page 936 cannot spell.
void MakeWideFile(const std::wstring& path)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
}

std::string TempFolder()
{
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    return NarrowText(std::wstring(buffer, length));
}

std::map<std::string, std::string> TreeOf(const std::string& folder)
{
    return TreeSnapshot(folder, FileDetail::kAttributes);
}

// Cleans up after a test without following links, so a failing test cannot
// reach outside its own folder.
void RemoveTestTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    std::vector<std::pair<std::wstring, DWORD>> entries;
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name != L"." && name != L"..") {
                entries.emplace_back(folder + L"\\" + name, data.dwFileAttributes);
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    for (const auto& entry : entries) {
        SetFileAttributesW(entry.first.c_str(), FILE_ATTRIBUTE_NORMAL);
        const bool folderEntry = (entry.second & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (folderEntry && (entry.second & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            RemoveTestTree(entry.first);
        }
        if (folderEntry) {
            RemoveDirectoryW(entry.first.c_str());
        } else {
            DeleteFileW(entry.first.c_str());
        }
    }
    SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(folder.c_str());
}

// Wine answers CreateSymbolicLinkW and DefineDosDeviceW without doing anything;
// there the tests make the same links on the host, where Wine sees them as links
// (folders with the reparse-point attribute) and drives.
using host_link::StartHostCommand;
using host_link::UnixPath;
using host_link::WineUnixFileName;

bool WaitForExistence(const std::string& path, bool exists)
{
    for (int i = 0; i < 500; ++i) {
        if ((AttributesOf(path) != INVALID_FILE_ATTRIBUTES) == exists) {
            return true;
        }
        Sleep(10);
    }
    return false;
}

std::wstring Quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

class FileSystemTest : public testing::Test {
protected:
    void SetUp() override
    {
        wchar_t current[MAX_PATH + 1] = {};
        GetCurrentDirectoryW(MAX_PATH + 1, current);
        savedCurrentFolder_ = current;
        for (unsigned counter = 0; root_.empty(); ++counter) {
            const std::string candidate = TempFolder() + "mrv_fs_" +
                                          std::to_string(GetCurrentProcessId()) + "_" +
                                          std::to_string(counter);
            if (CreateDirectoryW(WidenText(candidate).c_str(), nullptr)) {
                root_ = candidate;
            }
        }
    }

    void TearDown() override
    {
        SetCurrentDirectoryW(savedCurrentFolder_.c_str());
        if (!mappedDrive_.empty()) {
            DefineDosDeviceW(DDD_REMOVE_DEFINITION, WidenText(mappedDrive_).c_str(), nullptr);
        }
        RemoveHostLinks();
        RemoveTestTree(WidenText(root_));
    }

    void RemoveHostLinks()
    {
        for (const HostLink& link : hostLinks_) {
            StartHostCommand(L"/bin/rm -f " + Quoted(link.unixPath));
            WaitForExistence(link.windowsPath, false);
        }
        hostLinks_.clear();
    }

    std::string Path(const std::string& relative) const { return root_ + "\\" + relative; }

    // A folder link at `link` to `target`; false when the platform has none.
    bool MakeFolderLink(const std::string& link, const std::string& target)
    {
        if (WineUnixFileName() == nullptr) {
            CreateSymbolicLinkW(WidenText(link).c_str(), WidenText(target).c_str(),
                                SYMBOLIC_LINK_FLAG_DIRECTORY |
                                    SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
            return IsLink(link);
        }
        const std::wstring wideLink = WidenText(link);
        const std::size_t slash = wideLink.rfind(L'\\');
        const std::wstring unixParent = UnixPath(wideLink.substr(0, slash));
        const std::wstring unixTarget = UnixPath(WidenText(target));
        if (unixParent.empty() || unixTarget.empty()) {
            return false;
        }
        const std::wstring unixLink = unixParent + L"/" + wideLink.substr(slash + 1);
        hostLinks_.push_back({unixLink, link});
        StartHostCommand(L"/bin/ln -s " + Quoted(unixTarget) + L" " + Quoted(unixLink));
        return WaitForExistence(link, true) && IsLink(link);
    }

    // A free drive letter that shows `folder` (which holds `marker`); "" when the
    // platform cannot map one.
    std::string MapDrive(const std::string& folder, const std::string& marker)
    {
        const DWORD used = GetLogicalDrives();
        char letter = 'Y';
        while (letter > 'M' && (used & (1u << (letter - 'A'))) != 0) {
            --letter;
        }
        const std::string drive = std::string(1, letter) + ":";
        if (WineUnixFileName() == nullptr) {
            if (DefineDosDeviceW(0, WidenText(drive).c_str(), WidenText(folder).c_str())) {
                mappedDrive_ = drive;
            }
        } else {
            // Wine's drives are the links in its "dosdevices" folder, beside "c:".
            const std::wstring unixDriveC = UnixPath(L"C:\\");
            const std::size_t devices = unixDriveC.rfind(L"/c:/");
            const std::wstring unixFolder = UnixPath(WidenText(folder));
            if (devices == std::wstring::npos || unixFolder.empty()) {
                return std::string();
            }
            const wchar_t name[] = {static_cast<wchar_t>(towlower(letter)), L':', L'\0'};
            const std::wstring unixDrive = unixDriveC.substr(0, devices + 1) + name;
            hostLinks_.push_back({unixDrive, drive + "\\"});
            StartHostCommand(L"/bin/ln -s " + Quoted(unixFolder) + L" " + Quoted(unixDrive));
        }
        return WaitForExistence(drive + "\\" + marker, true) ? drive : std::string();
    }

    std::string root_;

private:
    std::wstring savedCurrentFolder_;
    struct HostLink {
        std::wstring unixPath;
        std::string windowsPath;
    };
    std::vector<HostLink> hostLinks_;
    std::string mappedDrive_;
};

// ---------------------------------------------------------------- CreateDirectoryTree

struct TreeCase {
    const char* path;  // below the test folder
    bool result;
    std::vector<const char*> folders;  // exist afterwards
    std::vector<const char*> absent;   // do not exist afterwards
};

TEST_F(FileSystemTest, CreateDirectoryTreeCreatesWhatIsMissing)
{
    MakeFolder(Path("a"));
    MakeFile(Path("a\\f"));
    const TreeCase cases[] = {
        {"a\\b\\c\\", true, {"a\\b", "a\\b\\c"}, {}},
        {"a\\", true, {"a"}, {}},
        {"運誠\\錦\\", true, {"運誠", "運誠\\錦"}, {"運"}},
        {"p\\q\\file.txt", true, {"p", "p\\q"}, {"p\\q\\file.txt"}},
        // A file where a folder is wanted: nothing below it can be made.
        {"a\\f\\c\\", false, {}, {"a\\f\\c"}},
        {"a\\f\\", false, {}, {}},
        // An empty folder name: the folders above it are made, none below.
        {"x\\\\y\\", false, {"x"}, {"x\\y", "y"}},
        {"\\z\\", false, {}, {"z"}},
    };
    for (const TreeCase& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(CreateDirectoryTree(CPathName(Path(c.path))), c.result);
        for (const char* folder : c.folders) {
            EXPECT_TRUE(IsFolder(Path(folder))) << folder;
        }
        for (const char* entry : c.absent) {
            EXPECT_FALSE(PathExists(Path(entry))) << entry;
        }
    }
    EXPECT_TRUE(IsFile(Path("a\\f")));
    // The folder names reach the file system as the characters they are.
    EXPECT_NE(GetFileAttributesW((WidenText(root_) + L"\\運誠\\錦").c_str()),
              INVALID_FILE_ATTRIBUTES);
}

TEST_F(FileSystemTest, CreateDirectoryTreeWithoutFoldersSucceedsAtOnce)
{
    EXPECT_TRUE(CreateDirectoryTree(CPathName(root_.substr(0, 2) + "\\")));
    EXPECT_TRUE(CreateDirectoryTree(CPathName("")));
    EXPECT_TRUE(CreateDirectoryTree(CPathName("file.txt")));
}

TEST_F(FileSystemTest, CreateDirectoryTreeFailsOnAMissingDrive)
{
    const DWORD used = GetLogicalDrives();
    char letter = 'Y';
    while (letter > 'D' && (used & (1u << (letter - 'A'))) != 0) {
        --letter;
    }
    ASSERT_GT(letter, 'D');
    EXPECT_FALSE(CreateDirectoryTree(CPathName(std::string(1, letter) + ":\\a\\b\\")));
}

TEST_F(FileSystemTest, CreateDirectoryTreeBuildsRelativeAndRootedPathsFromTheCurrentFolder)
{
    ASSERT_TRUE(SetCurrentDirectoryW(WidenText(root_).c_str()));
    const std::string drive = root_.substr(0, 2);
    const std::string rootWithoutDrive = root_.substr(2);

    EXPECT_TRUE(CreateDirectoryTree(CPathName("rel\\sub\\")));
    EXPECT_TRUE(IsFolder(Path("rel\\sub")));

    EXPECT_TRUE(CreateDirectoryTree(CPathName(drive + "drel\\sub\\")));
    EXPECT_TRUE(IsFolder(Path("drel\\sub")));

    EXPECT_TRUE(CreateDirectoryTree(CPathName(rootWithoutDrive + "\\rooted\\x\\")));
    EXPECT_TRUE(IsFolder(Path("rooted\\x")));

    EXPECT_FALSE(CreateDirectoryTree(CPathName("bad\\\\name\\")));
    EXPECT_FALSE(PathExists(Path("name")));
}

TEST_F(FileSystemTest, CreateDirectoryTreeOnNetworkPathsStartsBelowTheShare)
{
    EXPECT_FALSE(CreateDirectoryTree(CPathName("\\\\nosuchserver\\share\\a\\")));
    EXPECT_FALSE(CreateDirectoryTree(CPathName("\\\\server\\")));
    EXPECT_FALSE(CreateDirectoryTree(CPathName("\\\\\\share\\a\\")));

    // The long-path form names the local disk the same way: "\\?\C:\".
    EXPECT_TRUE(CreateDirectoryTree(CPathName("\\\\?\\" + root_ + "\\net\\a\\")));
    EXPECT_TRUE(IsFolder(Path("net\\a")));
}

// ---------------------------------------------------------------- EnumerateFiles

class EnumerateFilesTest : public FileSystemTest {
protected:
    void SetUp() override
    {
        FileSystemTest::SetUp();
        lib_ = Path("錦");
        MakeFolder(lib_);
        MakeFile(lib_ + "\\x.esf");
        MakeFile(lib_ + "\\readme.txt");
        MakeFile(lib_ + "\\hidden.esf", "x", FILE_ATTRIBUTE_HIDDEN);
        MakeFile(lib_ + "\\system.esf", "x", FILE_ATTRIBUTE_SYSTEM);
        MakeFile(lib_ + "\\運誠.esf");
        MakeFolder(lib_ + "\\sub");
        MakeFile(lib_ + "\\sub\\y.esf");
        MakeFolder(lib_ + "\\old.esf");
        MakeFile(lib_ + "\\old.esf\\z.txt");
        MakeFolder(lib_ + "\\old.esf\\deep");
        MakeFile(lib_ + "\\old.esf\\deep\\w.dat");
        MakeFolder(lib_ + "\\empty.esf");
    }

    std::set<std::string> Lib(const std::vector<const char*>& names) const
    {
        std::set<std::string> paths;
        for (const char* name : names) {
            paths.insert(lib_ + "\\" + name);
        }
        return paths;
    }

    std::string lib_;
};

TEST_F(EnumerateFilesTest, ListsTopFilesThenTheTreesOfMatchingFolders)
{
    TextList files;
    EXPECT_EQ(EnumerateFiles(lib_, files, true, "*.esf"), 6u);
    ASSERT_EQ(files.size(), 6u);
    EXPECT_EQ(std::set<std::string>(files.begin(), files.begin() + 4),
              Lib({"x.esf", "hidden.esf", "system.esf", "運誠.esf"}));
    EXPECT_EQ(files[4], lib_ + "\\old.esf\\z.txt");
    EXPECT_EQ(files[5], lib_ + "\\old.esf\\deep\\w.dat");
}

TEST_F(EnumerateFilesTest, WithoutRecursionListsTheTopFolderOnly)
{
    TextList files;
    EXPECT_EQ(EnumerateFiles(lib_, files, false, "*.esf"), 4u);
    EXPECT_EQ(std::set<std::string>(files.begin(), files.end()),
              Lib({"x.esf", "hidden.esf", "system.esf", "運誠.esf"}));
}

TEST_F(EnumerateFilesTest, EveryFileButNoFolder)
{
    TextList files;
    EnumerateFiles(lib_, files, true, "*.*");
    EXPECT_EQ(std::set<std::string>(files.begin(), files.end()),
              Lib({"x.esf", "readme.txt", "hidden.esf", "system.esf", "運誠.esf", "sub\\y.esf",
                   "old.esf\\z.txt", "old.esf\\deep\\w.dat"}));
}

TEST_F(EnumerateFilesTest, TrailingBackslashesChangeNothing)
{
    TextList plain;
    EnumerateFiles(lib_, plain, true, "*.esf");
    for (const char* suffix : {"\\", "\\\\"}) {
        SCOPED_TRACE(suffix);
        TextList files;
        EnumerateFiles(lib_ + suffix, files, true, "*.esf");
        EXPECT_EQ(files, plain);
    }
}

TEST_F(EnumerateFilesTest, AppendsToTheListAndCountsWhatWasThere)
{
    TextList files = {"kept"};
    EXPECT_EQ(EnumerateFiles(lib_, files, false, "*.esf"), 5u);
    EXPECT_EQ(files.front(), "kept");

    EXPECT_EQ(EnumerateFiles(Path("missing"), files, true, "*.esf"), 5u);
    EXPECT_EQ(EnumerateFiles(lib_, files, true, "*.none"), 5u);
    EXPECT_EQ(files.size(), 5u);
}

// ---------------------------------------------------------------- DeleteFolderTree

TEST_F(FileSystemTest, DeleteFolderTreeRemovesEverything)
{
    const std::pair<const char*, const char*> cases[] = {
        {"tree", ""},
        {"運誠", "\\"},
        {"錦", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        const std::string tree = Path(c.first);
        MakeFolder(tree);
        MakeFile(tree + "\\readonly.txt", "x", FILE_ATTRIBUTE_READONLY);
        MakeFile(tree + "\\hidden.txt", "x", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        MakeFolder(tree + "\\a");
        MakeFolder(tree + "\\a\\錦");
        MakeFile(tree + "\\a\\錦\\deep.txt", "x", FILE_ATTRIBUTE_READONLY);
        MakeFolder(tree + "\\ro", FILE_ATTRIBUTE_READONLY);
        MakeFile(tree + "\\ro\\inner.txt");
        MakeFolder(tree + "\\empty");
        const std::wstring wideTree = WidenText(tree);
        MakeWideFile(wideTree + L"\\한.txt");
        const std::wstring unspellable = wideTree + L"\\한글";
        ASSERT_TRUE(CreateDirectoryW(unspellable.c_str(), nullptr));
        MakeWideFile(unspellable + L"\\x.txt");

        DeleteFolderTree(tree + c.second);
        EXPECT_FALSE(PathExists(tree));
    }
}

TEST_F(FileSystemTest, DeleteFolderTreeLeavesOtherThingsAlone)
{
    MakeFile(Path("file.txt"));
    DeleteFolderTree(Path("file.txt"));
    EXPECT_TRUE(IsFile(Path("file.txt")));

    DeleteFolderTree(Path("missing"));
    DeleteFolderTree("");
    EXPECT_TRUE(IsFile(Path("file.txt")));
}

// A link inside the tree, at any level, or the tree's own folder being one,
// is removed itself (on Windows) or left in place (Wine, where deleting a link
// deletes what it leads to), never followed: what the links lead to, an empty
// folder too, stays whole. (Under Wine the listing's attributes see the links;
// the check on the handle behind them is reached on Windows only.)
TEST_F(FileSystemTest, DeleteFolderTreeRemovesLinksWithoutFollowingThem)
{
    MakeFolder(Path("outside"));
    MakeFile(Path("outside\\keep.txt"), "kept");
    MakeFolder(Path("outside\\inner"));
    MakeFile(Path("outside\\inner\\deep.txt"), "deep", FILE_ATTRIBUTE_READONLY);
    MakeFolder(Path("empty"));
    const struct {
        const char* tree;  // the folder given to DeleteFolderTree
        const char* link;
        const char* target;
    } cases[] = {
        {"tree", "tree\\link", "outside"},
        {"tree", "tree\\a\\b\\link", "outside"},
        {"tree", "tree\\a\\empty", "empty"},
        {"toplink", "toplink", "outside"},
        {"toplink", "toplink", "empty"},
        {"toplink\\", "toplink", "outside"},
    };
    const std::map<std::string, std::string> outsideBefore = TreeOf(Path("outside"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.link);
        if (std::string(c.tree) == "tree") {
            MakeFolder(Path("tree"));
            MakeFile(Path("tree\\own.txt"));
            MakeFolder(Path("tree\\a"));
            MakeFolder(Path("tree\\a\\b"));
            MakeFile(Path("tree\\a\\b\\own.txt"), "x", FILE_ATTRIBUTE_READONLY);
        }
        if (!MakeFolderLink(Path(c.link), Path(c.target))) {
            GTEST_SKIP() << "no folder links on this platform";
        }
        DeleteFolderTree(Path(c.tree));
        EXPECT_EQ(TreeOf(Path("outside")), outsideBefore);
        EXPECT_TRUE(IsFolder(Path("empty")));
        EXPECT_FALSE(PathExists(Path("tree\\own.txt")));
        EXPECT_FALSE(PathExists(Path("tree\\a\\b\\own.txt")));
        if (WineUnixFileName() == nullptr) {
            EXPECT_FALSE(PathExists(Path(c.tree)));
        } else {
            EXPECT_TRUE(IsLink(Path(c.link)));
        }
        RemoveHostLinks();
        RemoveTestTree(WidenText(Path("tree")));
    }
}

TEST_F(FileSystemTest, DeleteFolderTreeNeverEmptiesADriveRoot)
{
    MakeFolder(Path("disk"));
    MakeFile(Path("disk\\marker.txt"));
    MakeFolder(Path("disk\\sub"));
    const std::string drive = MapDrive(Path("disk"), "marker.txt");
    if (drive.empty()) {
        GTEST_SKIP() << "no drive can be mapped on this platform";
    }
    ASSERT_TRUE(SetCurrentDirectoryW(WidenText(drive + "\\").c_str()));
    for (const std::string& root : {drive + "\\", drive, drive + "\\.", drive + "\\sub\\..",
                                    std::string("\\"), std::string(".")}) {
        SCOPED_TRACE(root);
        DeleteFolderTree(root);
        EXPECT_TRUE(IsFile(Path("disk\\marker.txt")));
        EXPECT_TRUE(IsFolder(Path("disk\\sub")));
    }
    // With the current folder below the root, "X:" means that folder to the
    // platform; it is refused all the same.
    ASSERT_TRUE(SetCurrentDirectoryW(WidenText(drive + "\\sub").c_str()));
    for (const std::string& root : {drive, drive + "\\\\", std::string(".."), std::string("\\")}) {
        SCOPED_TRACE("below the root: " + root);
        DeleteFolderTree(root);
        EXPECT_TRUE(IsFile(Path("disk\\marker.txt")));
        EXPECT_TRUE(IsFolder(Path("disk\\sub")));
    }
}

// ---------------------------------------------------------------- MakeTempFilePath

TEST_F(FileSystemTest, MakeTempFilePathNamesAFileInTheTemporaryFolder)
{
    const std::string temp = TempFolder();
    ASSERT_EQ(temp.back(), '\\');
    EXPECT_EQ(MakeTempFilePath("~download.tmp"), temp + "~download.tmp");
    EXPECT_EQ(MakeTempFilePath(""), temp);
    EXPECT_TRUE(IsFolder(MakeTempFilePath("")));
}

TEST_F(FileSystemTest, MakeTempFilePathKeepsChineseFolderNames)
{
    const std::string folder = Path("運誠tmp");
    MakeFolder(folder);
    wchar_t saved[4096] = {};
    const DWORD savedLength = GetEnvironmentVariableW(L"TMP", saved, 4096);
    ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", WidenText(folder).c_str()));

    const std::string path = MakeTempFilePath("~download.tmp");

    SetEnvironmentVariableW(L"TMP", savedLength > 0 ? saved : nullptr);
    EXPECT_EQ(path, folder + "\\~download.tmp");
    MakeFile(path);
    EXPECT_NE(GetFileAttributesW((WidenText(root_) + L"\\運誠tmp\\~download.tmp").c_str()),
              INVALID_FILE_ATTRIBUTES);
}

// ---------------------------------------------------------------- FullPathName

TEST_F(FileSystemTest, FullPathNameResolvesAgainstTheCurrentFolder)
{
    const std::wstring root = WidenText(root_);
    ASSERT_TRUE(SetCurrentDirectoryW(root.c_str()));
    const std::wstring longName(300, L'a');
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"a\\b", root + L"\\a\\b"},
        {L"a\\..\\運\\", root + L"\\運\\"},
        {L"C:\\x\\.\\y", L"C:\\x\\y"},
        {L"C:\\", L"C:\\"},
        {L"C:\\" + longName, L"C:\\" + longName},
        {L"", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FullPathName(c.first), c.second) << NarrowText(c.first);
    }
}

// ---------------------------------------------------------------- PathExists

TEST_F(FileSystemTest, PathExistsMatchesExactNamesOnly)
{
    MakeFile(Path("a.txt"));
    MakeFolder(Path("錦"));
    MakeFile(Path("錦\\運誠.txt"));
    const std::pair<std::string, bool> cases[] = {
        {Path("a.txt"), true},
        {Path("錦"), true},
        {Path("錦\\"), true},
        {Path("錦\\運誠.txt"), true},
        {Path("missing.txt"), false},
        {Path("*.txt"), false},
        {Path("a?txt"), false},
        {Path("?.txt"), false},
        {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(PathExists(c.first), c.second);
    }
}

// ---------------------------------------------------------------- CopyFileThroughHandles

// Each way of copying: by whole paths knowing nothing, by whole paths with the
// details a caller read before, and by names inside open folders, over an
// older target with other attributes or to a new one.
TEST_F(FileSystemTest, CopyFileThroughHandlesCarriesBytesAttributesAndWriteTime)
{
    struct CopyCase {
        const char* name;
        std::string content;
        DWORD attributes;
    };
    const CopyCase cases[] = {
        {"empty.lsp", "", FILE_ATTRIBUTE_ARCHIVE},
        {"運.lsp", std::string("a\0b", 3), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE},
        // More than one block of the copy.
        {"big.bin", std::string(200000, 'x') + "end", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE},
    };
    enum Way { kPathsUnknown, kPathsKnown, kFoldersOverOld, kFoldersNew };
    MakeFolder(Path("to"));
    const UniqueFile sourceFolder = OpenFolderForCopies(WidenText(Path("")));
    const UniqueFile targetFolder = OpenFolderForCopies(WidenText(Path("to")));
    ASSERT_TRUE(sourceFolder && targetFolder);
    for (const Way way : {kPathsUnknown, kPathsKnown, kFoldersOverOld, kFoldersNew}) {
        for (const CopyCase& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " way " + std::to_string(way));
            const std::string source = Path(c.name);
            const std::string target = Path(std::string("to\\") + c.name);
            MakeFile(source, c.content);
            DeleteFileW(WidenText(target).c_str());
            if (way != kFoldersNew) {
                // An older, longer target is replaced whole.
                MakeFile(target, std::string(300000, 'o'));
                SetFileAttributesW(WidenText(target).c_str(), FILE_ATTRIBUTE_SYSTEM);
            }
            const HANDLE file = CreateFileW(WidenText(source).c_str(), FILE_WRITE_ATTRIBUTES, 0,
                                            nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(file, INVALID_HANDLE_VALUE);
            const FILETIME written{0x12345600, 0x01d00000};
            ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &written));
            CloseHandle(file);
            ASSERT_TRUE(SetFileAttributesW(WidenText(source).c_str(), c.attributes));
            KnownCopyDetails known;
            known.sourceKnown = true;
            known.sourceAttributes = c.attributes;
            known.sourceWriteTime = written;
            known.targetKnown = true;
            known.targetAttributes = GetFileAttributesW(WidenText(target).c_str());

            FileCopyResult copied = FileCopyResult::kFailed;
            if (way == kPathsUnknown) {
                copied = CopyFileThroughHandles(WidenText(source), WidenText(target));
            } else if (way == kPathsKnown) {
                copied = CopyFileThroughHandles(WidenText(source), WidenText(target), known);
            } else {
                copied = CopyFileBetweenFolders(sourceFolder.get(), targetFolder.get(),
                                                WidenText(c.name), known);
            }
            EXPECT_EQ(copied, FileCopyResult::kCopied);
            std::string bytes;
            EXPECT_TRUE(ReadFileBytes(target, bytes));
            EXPECT_TRUE(bytes == c.content);
            WIN32_FILE_ATTRIBUTE_DATA data{};
            ASSERT_TRUE(GetFileAttributesExW(WidenText(target).c_str(), GetFileExInfoStandard, &data));
            EXPECT_EQ(data.dwFileAttributes, c.attributes);
            EXPECT_EQ(data.ftLastWriteTime.dwLowDateTime, written.dwLowDateTime);
            EXPECT_EQ(data.ftLastWriteTime.dwHighDateTime, written.dwHighDateTime);
            SetFileAttributesW(WidenText(source).c_str(), FILE_ATTRIBUTE_NORMAL);
            SetFileAttributesW(WidenText(target).c_str(), FILE_ATTRIBUTE_NORMAL);
        }
    }
}

TEST_F(FileSystemTest, CopyFileThroughHandlesReadsASourceOpenForWritingElsewhere)
{
    MakeFile(Path("open.lsp"), "still here");
    const HANDLE writer = CreateFileW(WidenText(Path("open.lsp")).c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(CopyFileThroughHandles(WidenText(Path("open.lsp")), WidenText(Path("copy.lsp"))),
              FileCopyResult::kCopied);
    // A target that another program holds open is left as it is.
    EXPECT_EQ(CopyFileThroughHandles(WidenText(Path("copy.lsp")), WidenText(Path("open.lsp"))),
              FileCopyResult::kFailed);
    CloseHandle(writer);
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(Path("copy.lsp"), bytes));
    EXPECT_EQ(bytes, "still here");
}

TEST_F(FileSystemTest, CopyFileThroughHandlesRefusesWithoutHarm)
{
    MakeFile(Path("a.lsp"), "mine");
    MakeFolder(Path("folder"));
    const std::pair<std::string, std::string> cases[] = {
        {Path("missing.lsp"), Path("new.lsp")},
        {Path("folder"), Path("new.lsp")},
        {Path("a.lsp"), Path("no such folder\\a.lsp")},
        // The file itself, by its own name and in other letters.
        {Path("a.lsp"), Path("a.lsp")},
        {Path("a.lsp"), Path("A.LSP")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first + " -> " + c.second);
        EXPECT_EQ(CopyFileThroughHandles(WidenText(c.first), WidenText(c.second)),
                  FileCopyResult::kFailed);
        EXPECT_FALSE(PathExists(Path("new.lsp")));
        std::string bytes;
        EXPECT_TRUE(ReadFileBytes(Path("a.lsp"), bytes));
        EXPECT_EQ(bytes, "mine");
    }
    // Inside open folders: a name of more than one component, a missing file
    // and the file itself, by its own name and in other letters.
    const UniqueFile folder = OpenFolderForCopies(WidenText(Path("")));
    const UniqueFile again = OpenFolderForCopies(WidenText(Path("").substr(0, Path("").size() - 1)));
    ASSERT_TRUE(folder && again);
    for (const wchar_t* name : {L"folder\\a.lsp", L"..\\a.lsp", L"missing.lsp", L"a.lsp", L"A.LSP"}) {
        SCOPED_TRACE(NarrowText(name));
        EXPECT_EQ(CopyFileBetweenFolders(folder.get(), again.get(), name, KnownCopyDetails()),
                  FileCopyResult::kFailed);
        std::string bytes;
        EXPECT_TRUE(ReadFileBytes(Path("a.lsp"), bytes));
        EXPECT_EQ(bytes, "mine");
    }
}

// ---------------------------------------------------------------- ReadFileBytes

TEST_F(FileSystemTest, ReadFileBytesReadsEveryByte)
{
    const std::string content("a\0b\r\n運誠\xFF", 10);
    const std::pair<std::string, std::string> cases[] = {
        {Path("data.bin"), content},
        {Path("錦.txt"), "[FrameParam]\r\n"},
        {Path("empty.txt"), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        MakeFile(c.first, c.second);
        std::string bytes = "old";
        EXPECT_TRUE(ReadFileBytes(c.first, bytes));
        EXPECT_EQ(bytes, c.second);
    }
}

TEST_F(FileSystemTest, ReadFileBytesReadsAFileOpenForWritingElsewhere)
{
    MakeFile(Path("open.txt"), "still here");
    const HANDLE writer = CreateFileW(WidenText(Path("open.txt")).c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(Path("open.txt"), bytes));
    CloseHandle(writer);
    EXPECT_EQ(bytes, "still here");
}

TEST_F(FileSystemTest, ReadFileBytesRefusesWhatIsNoSmallFile)
{
    MakeFolder(Path("folder"));
    const HANDLE big = CreateFileW(WidenText(Path("big.bin")).c_str(), GENERIC_WRITE, 0, nullptr,
                                   CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(big, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = static_cast<LONGLONG>(kMaxFileReadBytes) + 1;
    ASSERT_TRUE(SetFilePointerEx(big, size, nullptr, FILE_BEGIN) && SetEndOfFile(big));
    CloseHandle(big);

    for (const std::string& path : {Path("missing.txt"), Path("folder"), Path("big.bin"),
                                    std::string()}) {
        SCOPED_TRACE(path);
        std::string bytes = "untouched";
        EXPECT_FALSE(ReadFileBytes(path, bytes));
        EXPECT_EQ(bytes, "untouched");
    }
}

// ---------------------------------------------------------------- Working folder

// A descriptor made in memory from its SDDL text, as Windows would return it
// for a folder; null for no text.
UniqueLocalMemory Descriptor(const wchar_t* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (sddl != nullptr) {
        EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1,
                                                                         &descriptor, nullptr))
            << NarrowText(sddl);
    }
    return UniqueLocalMemory(descriptor);
}

// Wine keeps no descriptor; these are the answers that Windows gives, and the
// one that Wine gives for a folder made with the protected descriptor.
TEST(WorkingFolderTest, OnlyAFolderAsTheProgramMakesItIsTrusted)
{
    const wchar_t* const ours = kProtectedFolderSddl;
    // What Wine reads back for a folder made with kProtectedFolderSddl.
    const wchar_t wine[] = L"O:S-1-5-21-0-0-0-1000D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-0-0-0-1000)";
    // What the install step asks for a product folder it makes, with the owner
    // that an elevated administrator's new folder gets.
    const std::wstring programFolder = std::wstring(L"O:BA") + kProgramFolderSddl;
    const struct {
        const char* what;
        const wchar_t* folder;
        const wchar_t* probe;  // a folder just made on the same volume; null: none could be
        FolderTrust trust;
    } cases[] = {
        {"as made", ours, ours, FolderTrust::kTrusted},
        {"owned by SYSTEM", L"O:SYD:P(A;OICI;FA;;;SY)", ours, FolderTrust::kTrusted},
        {"users may read and list", L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)",
         ours, FolderTrust::kTrusted},
        {"a denying entry", L"O:BAD:P(D;;GW;;;WD)(A;;FA;;;BA)", ours, FolderTrust::kTrusted},
        {"a product folder as the install step makes it",
         programFolder.c_str(), ours, FolderTrust::kTrusted},
        {"owned by a user", L"O:S-1-5-21-1-2-3-1001D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)", ours,
         FolderTrust::kSetAside},
        {"users may add files", L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x100116;;;BU)",
         ours, FolderTrust::kSetAside},
        {"everyone may write", L"O:BAD:P(A;OICI;FA;;;BA)(A;;GW;;;WD)", ours, FolderTrust::kSetAside},
        {"users may delete it", L"O:BAD:P(A;OICI;FA;;;BA)(A;;SD;;;BU)", ours, FolderTrust::kSetAside},
        {"users may change who may", L"O:BAD:P(A;OICI;FA;;;BA)(A;;WD;;;BU)", ours,
         FolderTrust::kSetAside},
        {"entries inherited", L"O:BAD:(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)", ours,
         FolderTrust::kSetAside},
        {"not protected", L"O:BAD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)", ours, FolderTrust::kSetAside},
        {"no DACL: everyone anything", L"O:BAD:NO_ACCESS_CONTROL", ours, FolderTrust::kSetAside},
        {"no owner", L"D:P(A;OICI;FA;;;BA)", ours, FolderTrust::kSetAside},
        {"Wine: nothing kept on the volume", wine, wine, FolderTrust::kNoDescriptors},
        {"FAT: no DACL on the volume", L"O:BAD:NO_ACCESS_CONTROL", L"O:BAD:NO_ACCESS_CONTROL",
         FolderTrust::kNoDescriptors},
        {"the volume keeps descriptors, the folder is another's", wine, ours, FolderTrust::kSetAside},
        {"no probe", wine, nullptr, FolderTrust::kSetAside},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const UniqueLocalMemory folder = Descriptor(c.folder);
        const UniqueLocalMemory probe = Descriptor(c.probe);
        EXPECT_EQ(DecideFolderTrust(folder.get(), probe.get()), c.trust);
    }
}

// Wine keeps no descriptor and checks no access: here the folder is made, held
// open and named as it should be; who may change it cannot be seen.
TEST_F(FileSystemTest, WorkingFolderIsMadeBelowItsParentAndHeldOpen)
{
    const std::string folder = WorkingFolderBelow(root_);
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.rfind(root_ + "\\MrvTessalySetup\\", 0), 0u) << folder;
    EXPECT_EQ(folder.size(), root_.size() + 34) << "a 16-digit level below, with its backslash";
    EXPECT_TRUE(IsFolder(folder));
    EXPECT_EQ(WorkingFolderBelow(root_), folder) << "the same user's folder again";
    const std::string top = root_ + "\\MrvTessalySetup";
    EXPECT_FALSE(MoveFileExW(WidenText(top).c_str(), WidenText(root_ + "\\moved").c_str(), 0))
        << "a folder in use was renamed";
    EXPECT_TRUE(IsFolder(folder));
}

}  // namespace
