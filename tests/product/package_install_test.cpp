#include "product/package_install.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "net/install_progress.h"
#include "util/file_read.h"
#include "util/file_system.h"
#include "util/text_path.h"
#include "util/wide_text.h"
#include "tests/bench/test_files.h"
#include "tests/bench/host_link.h"

namespace {

// The packages come from tests/fixtures/make_install_packages.py, built beside
// this program; every file entry holds "new:" followed by its own name.
std::string PackagePath(const std::string& name)
{
    wchar_t module[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring folder(module);
    folder.erase(folder.find_last_of(L'\\'));
    return NarrowText(folder) + "\\install_packages\\" + name;
}

std::string PackageContent(const std::string& entryName)
{
    return "new:" + entryName;
}

std::string ReadBytes(const std::string& path)
{
    std::string bytes;
    return ReadFileBytes(path, bytes) ? bytes : "<unreadable>";
}

bool IsReadOnly(const std::string& path)
{
    const DWORD attributes = GetFileAttributesW(WidenText(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

void SetReadOnly(const std::string& path)
{
    SetFileAttributesW(WidenText(path).c_str(), FILE_ATTRIBUTE_READONLY);
}

// What a folder holds, every level of it: for each relative path, whether it is
// a folder, the bytes of a file and its read-only attribute.
struct TreeItem {
    bool folder = false;
    bool readOnly = false;
    std::string bytes;
};
using Tree = std::map<std::string, TreeItem>;

void WalkTree(const std::string& root, const std::string& relative, Tree& tree)
{
    const std::string folder = relative.empty() ? root : root + "\\" + relative;
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileW(WidenText(folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        return;
    }
    TextList subfolders;
    do {
        const std::string name = NarrowText(found.cFileName);
        if (name == "." || name == "..") {
            continue;
        }
        const std::string path = relative.empty() ? name : relative + "\\" + name;
        TreeItem item;
        item.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        item.readOnly = !item.folder && (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
        if (item.folder) {
            subfolders.push_back(path);
        } else {
            item.bytes = ReadBytes(root + "\\" + path);
        }
        tree[path] = item;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    for (const std::string& subfolder : subfolders) {
        WalkTree(root, subfolder, tree);
    }
}

Tree TreeOf(const std::string& root)
{
    Tree tree;
    WalkTree(root, "", tree);
    return tree;
}

// Empty when both trees hold the same paths with the same kinds, bytes and
// read-only attributes; otherwise one line per difference.
std::string TreeDifferences(const Tree& expected, const Tree& actual)
{
    std::string differences;
    for (const auto& [path, item] : expected) {
        const auto found = actual.find(path);
        if (found == actual.end()) {
            differences += "missing: " + path + "\n";
        } else if (found->second.folder != item.folder || found->second.bytes != item.bytes ||
                   found->second.readOnly != item.readOnly) {
            differences += "changed: " + path + "\n";
        }
    }
    for (const auto& [path, item] : actual) {
        if (expected.count(path) == 0) {
            differences += "added: " + path + "\n";
        }
    }
    return differences;
}

// The progress as the install step reports it, with no window behind it: it
// records what it is told, and lets a test act when the entries move on.
class RecordingView : public IInstallProgress {
public:
    void OnSource(const std::string& text) override { calls.push_back("source " + text); }
    void OnPhase(DownloadPhase, const std::string& statusText) override
    {
        calls.push_back("phase " + statusText);
    }
    void OnDownloadSize(std::uint32_t bytes) override
    {
        calls.push_back("size " + std::to_string(bytes));
    }
    void OnBytesReceived(const ByteProgress& progress) override
    {
        calls.push_back("bytes " + progress.caption);
    }
    void OnTransferRate(const std::string& text) override { calls.push_back("rate " + text); }
    void OnTimeLeft(const std::string& text) override { calls.push_back("left " + text); }
    void OnExtractStart(std::uint32_t entryCount) override
    {
        calls.push_back("start " + std::to_string(entryCount));
    }
    void OnEntries(const EntryProgress& progress) override
    {
        calls.push_back("entries " + std::to_string(progress.done) + "/" +
                        std::to_string(progress.total) + " '" + progress.status + "' '" +
                        progress.lastEntry + "'");
        Moved(progress.done);
    }
    void OnExtractEnd(std::uint32_t entryCount) override
    {
        calls.push_back("end " + std::to_string(entryCount));
        Moved(entryCount);
    }
    bool AskReplace(const std::string& question) override
    {
        calls.push_back("ask " + question);
        return true;
    }
    void OnNotStarted(const std::string& errorText) override
    {
        calls.push_back("not started " + errorText);
    }
    HWND CredentialOwner() const override { return nullptr; }
    void OnEnd(bool failed, const std::string&) override
    {
        calls.push_back(failed ? "done failed" : "done");
    }

    void Moved(std::uint32_t position)
    {
        positions.push_back(position);
        if (onPosition) {
            onPosition(position);
        }
    }

    TextList calls;
    std::vector<std::uint32_t> positions;
    std::function<void(std::uint32_t)> onPosition;
};

// Each test works in a fresh folder below the temporary folder, with a folder
// of its own as the current folder, and removes it all afterwards.
class PackageInstallTest : public testing::Test {
protected:
    void SetUp() override
    {
        static int serial = 0;
        root_ = MakeTempFilePath("mrv_install_test_" + std::to_string(GetCurrentProcessId()) +
                                 "_" + std::to_string(++serial));
        DeleteFolderTree(root_);
        ASSERT_TRUE(CreateDirectoryW(WidenText(root_).c_str(), nullptr));
        currentFolder_ = root_ + "\\current";
        ASSERT_TRUE(CreateDirectoryW(WidenText(currentFolder_).c_str(), nullptr));
        ASSERT_TRUE(WriteWholeFile(currentFolder_ + "\\keep.txt", "the current folder's own file"));
        wchar_t saved[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, saved);
        savedFolder_ = saved;
        ASSERT_TRUE(SetCurrentDirectoryW(WidenText(currentFolder_).c_str()));
        installFolder_ = root_ + "\\target\\MrvACAD";
        backupFolder_ = root_ + "\\backup\\";
    }

    void TearDown() override
    {
        wchar_t current[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, current);
        EXPECT_EQ(NarrowText(current), currentFolder_) << "the current folder was not restored";
        SetCurrentDirectoryW(savedFolder_.c_str());
        install_ = CPackageInstall("", "");  // closes a journal that a test left
        DeleteFolderTree(root_);
    }

    std::string InstallPath(const std::string& relative) const
    {
        return installFolder_ + "\\" + relative;
    }

    std::string BackupPath(const std::string& relative) const
    {
        return backupFolder_ + kBackupFilesFolder + relative;
    }

    // The folder that the upgrade package meets: files it replaces, in the top
    // folder and two levels down, and files and a folder of the user's that it
    // does not know.
    void MakeUserTree()
    {
        ASSERT_TRUE(CreateDirectoryTree(CPathName(InstallPath("Sys\\Deep\\"))));
        ASSERT_TRUE(CreateDirectoryTree(CPathName(InstallPath("Support\\"))));
        ASSERT_TRUE(WriteWholeFile(InstallPath("readme.txt"), "user readme"));
        ASSERT_TRUE(WriteWholeFile(InstallPath("notes.txt"), "user notes"));
        ASSERT_TRUE(WriteWholeFile(InstallPath("a.txt"), "user a"));
        ASSERT_TRUE(WriteWholeFile(InstallPath("Sys\\MrvScript.exe"), "user script host"));
        ASSERT_TRUE(WriteWholeFile(InstallPath("Sys\\Deep\\config.ini"), "[user]\r\nconfig=1\r\n"));
        ASSERT_TRUE(WriteWholeFile(InstallPath("Sys\\Deep\\userdata.txt"), "user data"));
        SetReadOnly(InstallPath("notes.txt"));
    }

    int Install(const std::string& package)
    {
        return install_.Install(PackagePath(package), view_, abort_);
    }

    std::string root_;
    std::string currentFolder_;
    std::wstring savedFolder_;
    std::string installFolder_;
    std::string backupFolder_;
    std::atomic<bool> abort_{false};
    RecordingView view_;
    CPackageInstall install_{"", ""};
};

const char* const kFreshFiles[] = {
    "MrvCADSetup.exe", "readme.txt",    "Sys/MrvScript.exe", "Support/Location/Frame.ini",
    "Sys/locked.dat",  "说明.txt",      "资料/手册.txt",     "lib/a1.dll",
    "lib/a2.dll",      "lib/a3.dll",
};
const char* const kFreshFolders[] = {"Sys",        "Support", "Support\\Location", "Data",
                                     "Data\\empty", "资料",    "lib",               "plain"};

std::string Backslashed(std::string name)
{
    for (char& c : name) {
        if (c == '/') {
            c = '\\';
        }
    }
    return name;
}

TEST_F(PackageInstallTest, FreshInstallThenRollBackLeavesNothing)
{
    const Tree before = TreeOf(root_);
    bool readOnlyWhenExtracted = false;
    view_.onPosition = [&](std::uint32_t position) {
        if (position == 10) {
            readOnlyWhenExtracted = IsReadOnly(InstallPath("Sys\\locked.dat"));
        }
    };
    install_ = CPackageInstall(installFolder_, backupFolder_);
    install_.SetProgressInterval(0);
    ASSERT_EQ(Install("fresh.zip"), kInstallDone) << install_.ErrorText();
    EXPECT_EQ(install_.ErrorText(), "");
    EXPECT_TRUE(readOnlyWhenExtracted);

    Tree expected;
    for (const char* name : kFreshFiles) {
        expected[Backslashed(name)] = TreeItem{false, false, PackageContent(name)};
    }
    for (const char* folder : kFreshFolders) {
        expected[folder] = TreeItem{true, false, ""};
    }
    // The read-only entry comes out writable, like every other file.
    EXPECT_EQ(TreeDifferences(expected, TreeOf(installFolder_)), "");
    EXPECT_EQ(install_.InstalledFiles().size(), std::size(kFreshFiles));
    EXPECT_TRUE(install_.ReplacedFiles().empty());

    EXPECT_TRUE(install_.RollBack());
    EXPECT_EQ(TreeDifferences(before, TreeOf(root_)), "");

    // A file the user put into a folder of the package meanwhile keeps that
    // folder and the folders above it.
    install_ = CPackageInstall(installFolder_, backupFolder_);
    ASSERT_EQ(Install("fresh.zip"), kInstallDone) << install_.ErrorText();
    ASSERT_TRUE(WriteWholeFile(InstallPath("lib\\mine.txt"), "mine"));
    EXPECT_TRUE(install_.RollBack());
    Tree kept = before;
    kept["target"] = TreeItem{true, false, ""};
    kept["target\\MrvACAD"] = TreeItem{true, false, ""};
    kept["target\\MrvACAD\\lib"] = TreeItem{true, false, ""};
    kept["target\\MrvACAD\\lib\\mine.txt"] = TreeItem{false, false, "mine"};
    EXPECT_EQ(TreeDifferences(kept, TreeOf(root_)), "");
}

// fresh.zip's entries in the order of its directory.
const char* const kFreshEntryOrder[] = {
    "MrvCADSetup.exe", "readme.txt",     "Sys/",          "Sys/MrvScript.exe",
    "Support/Location/Frame.ini",        "Data/empty/",   "Sys/locked.dat",
    "说明.txt",        "资料/手册.txt",  "lib/a1.dll",    "lib/a2.dll",
    "lib/a3.dll",      "lib/",           "plain/",
};

// The display changes by time: with no interval at every entry, with a long
// one only for the first entry and at the end; the texts are the same.
TEST_F(PackageInstallTest, ReportsProgressToTheWindow)
{
    for (const std::uint32_t interval : {0u, 3600000u}) {
        view_ = RecordingView();
        install_ = CPackageInstall(installFolder_, backupFolder_);
        install_.SetProgressInterval(interval);
        ASSERT_EQ(Install("fresh.zip"), kInstallDone) << install_.ErrorText();
        const std::string status = "/14 '安装到 " + installFolder_ + "\\' '";
        TextList expected = {"start 14"};
        const std::size_t shown = interval == 0 ? std::size(kFreshEntryOrder) : 1;
        for (std::size_t i = 0; i < shown; ++i) {
            expected.push_back("entries " + std::to_string(i) + status +
                               std::string(i == 0 ? "" : kFreshEntryOrder[i - 1]) + "'");
        }
        expected.push_back("end 14");
        EXPECT_EQ(view_.calls, expected) << interval;
        EXPECT_TRUE(install_.RollBack());
    }
}

TEST_F(PackageInstallTest, UpgradeBacksUpReplacedFilesAndRollBackRestoresThem)
{
    MakeUserTree();
    const Tree before = TreeOf(root_);
    install_ = CPackageInstall(installFolder_, backupFolder_);
    ASSERT_EQ(Install("upgrade.zip"), kInstallDone) << install_.ErrorText();

    const char* const replaced[] = {"readme.txt", "Sys/MrvScript.exe", "Sys/Deep/config.ini"};
    const char* const added[] = {"Sys/Deep/new.dat", "New/Folder/file.txt", "说明.txt",
                                 "MrvCADSetup.exe",  "资料/手册.txt",       "Sys/Deep/locked.dat"};
    TextList expectedReplaced;
    for (const char* name : replaced) {
        EXPECT_EQ(ReadBytes(InstallPath(Backslashed(name))), PackageContent(name)) << name;
        expectedReplaced.push_back(Backslashed(name));
    }
    TextList expectedAdded;
    for (const char* name : added) {
        EXPECT_EQ(ReadBytes(InstallPath(Backslashed(name))), PackageContent(name)) << name;
        EXPECT_FALSE(IsReadOnly(InstallPath(Backslashed(name)))) << name;
        expectedAdded.push_back(InstallPath(Backslashed(name)));
    }
    EXPECT_EQ(install_.ReplacedFiles(), expectedReplaced);
    EXPECT_EQ(install_.InstalledFiles(), expectedAdded);
    EXPECT_EQ(ReadBytes(BackupPath("readme.txt")), "user readme");
    EXPECT_EQ(ReadBytes(BackupPath("Sys\\MrvScript.exe")), "user script host");
    EXPECT_EQ(ReadBytes(BackupPath("Sys\\Deep\\config.ini")), "[user]\r\nconfig=1\r\n");
    EXPECT_EQ(ReadBytes(InstallPath("Sys\\Deep\\userdata.txt")), "user data");
    EXPECT_TRUE(IsReadOnly(InstallPath("notes.txt"))) << "a file of the user's was changed";
    EXPECT_TRUE(PathExists(backupFolder_ + kJournalFileName)) << "an undecided install keeps its journal";

    EXPECT_TRUE(install_.RollBack());
    EXPECT_EQ(TreeDifferences(before, TreeOf(root_)), "");
    EXPECT_TRUE(install_.InstalledFiles().empty());
    EXPECT_TRUE(install_.ReplacedFiles().empty());

    // Cut off before it is decided (killed while a late cancel rolls it back):
    // the next start undoes it. Once it stands, nothing is left to undo.
    for (const bool stands : {false, true}) {
        install_ = CPackageInstall(installFolder_, backupFolder_);
        ASSERT_EQ(Install("upgrade.zip"), kInstallDone) << install_.ErrorText();
        if (stands) {
            install_.Finish();
        }
        install_ = CPackageInstall("", "");  // the journal closed as by a killed process
        JournalRecovery recovery;
        EXPECT_EQ(RecoverUnfinishedInstall(backupFolder_, recovery),
                  stands ? kNothingToRecover : kInstallRecovered);
        EXPECT_FALSE(PathExists(backupFolder_));
        EXPECT_EQ(ReadBytes(InstallPath("readme.txt")) == "user readme", !stands);
    }
}

// The package also names the install step's own files in its backup folder:
// none of them is touched, and each is backed up like any other file.
TEST_F(PackageInstallTest, EntriesForOneFileNeverOverwriteItsBackup)
{
    MakeUserTree();
    const char* const workingNames[] = {"~install.journal", "~partial\\readme.txt",
                                        "files\\readme.txt"};
    for (const char* name : workingNames) {
        ASSERT_TRUE(CreateDirectoryTree(CPathName(InstallPath(name))));
        ASSERT_TRUE(WriteWholeFile(InstallPath(name), std::string("user ") + name));
    }
    const Tree before = TreeOf(root_);
    install_ = CPackageInstall(installFolder_, backupFolder_);
    ASSERT_EQ(Install("duplicates.zip"), kInstallDone) << install_.ErrorText();
    EXPECT_EQ(ReadBytes(InstallPath("readme.txt")), PackageContent("README.TXT"));
    EXPECT_EQ(ReadBytes(InstallPath("Sys\\MrvScript.exe")),
              PackageContent("./Sys/./MrvScript.exe"));
    EXPECT_EQ(ReadBytes(InstallPath("New\\n.txt")), PackageContent("New/./n.txt"));
    EXPECT_EQ(ReadBytes(BackupPath("readme.txt")), "user readme");
    EXPECT_EQ(ReadBytes(BackupPath("Sys\\MrvScript.exe")), "user script host");
    for (const char* name : workingNames) {
        EXPECT_EQ(ReadBytes(BackupPath(name)), std::string("user ") + name);
    }
    // A "." component names the folder it stands in and is no part of the path.
    EXPECT_EQ(install_.ReplacedFiles(),
              (TextList{"readme.txt", "Sys\\MrvScript.exe", "~install.journal",
                        "~partial\\readme.txt", "files\\readme.txt"}));
    EXPECT_EQ(install_.InstalledFiles(),
              (TextList{InstallPath("added.txt"), InstallPath("New\\n.txt")}));

    EXPECT_TRUE(install_.RollBack());
    EXPECT_EQ(TreeDifferences(before, TreeOf(root_)), "");
}

struct CancelCase {
    const char* what;
    bool userTree;
    long abortAtPosition;  // -1: asked for before the install starts
    std::vector<std::uint32_t> positions;
};

TEST_F(PackageInstallTest, CancelStopsAtTheNextEntryAndRollsBack)
{
    const CancelCase cases[] = {
        {"upgrade, cancelled before it starts", true, -1, {}},
        {"upgrade, cancelled at entry 5", true, 5, {0, 1, 2, 3, 4, 5}},
        {"upgrade, cancelled at entry 10", true, 10, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {"fresh install, cancelled at entry 0", false, 0, {0}},
        {"fresh install, cancelled at entry 10", false, 10, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
    };
    for (const CancelCase& c : cases) {
        DeleteFolderTree(root_ + "\\target");
        if (c.userTree) {
            MakeUserTree();
        }
        const Tree before = TreeOf(root_);
        abort_ = c.abortAtPosition < 0;
        view_ = RecordingView();
        view_.onPosition = [this, &c](std::uint32_t position) {
            if (static_cast<long>(position) == c.abortAtPosition) {
                abort_ = true;
            }
        };
        install_ = CPackageInstall(installFolder_, backupFolder_);
        install_.SetProgressInterval(0);
        EXPECT_EQ(Install(c.userTree ? "upgrade.zip" : "fresh.zip"), kInstallCancelled) << c.what;
        EXPECT_EQ(install_.ErrorText(), "") << c.what;
        EXPECT_EQ(view_.positions, c.positions) << c.what;
        EXPECT_EQ(TreeDifferences(before, TreeOf(root_)), "") << c.what;
        EXPECT_TRUE(install_.InstalledFiles().empty()) << c.what;
        EXPECT_TRUE(install_.ReplacedFiles().empty()) << c.what;
    }
}

// The same names as HOSTILE_NAMES of the package script, in its order, and
// its symbolic link.
const std::string kHostileNames[] = {
    "../outside.txt",
    "..\\outside.txt",
    "sub/../../outside.txt",
    "/mrv_rooted.txt",
    "\\mrv_rooted.txt",
    "C:/mrv_drive.txt",
    "C:mrv_drive.txt",
    "//mrvserver/share/x.txt",
    "a.txt:stream",
    "CON",
    "sub/nul.txt",
    "COM1.log",
    "sub/.../x.txt",
    "a.txt.",
    "sub /x.txt",
    "sub/. ./x.txt",
    std::string("MrvCADSetup.exe\0.txt", 20),
    "long/" + std::string(199, 'x') + "/" + std::string(45, 'y') + "/setup.exe.txt",
    "sub/link.txt",
};

TEST_F(PackageInstallTest, HostileEntryNameFailsAndLeavesEverythingAsItWas)
{
    MakeUserTree();
    int number = 0;
    for (const std::string& stored : kHostileNames) {
        // The message shows the name as far as it can be read.
        const std::string name = stored.substr(0, std::min<std::size_t>(stored.find('\0'), 259));
        char package[32];
        snprintf(package, sizeof package, "hostile_%02d.zip", ++number);
        const Tree before = TreeOf(root_);
        install_ = CPackageInstall(installFolder_, backupFolder_);
        EXPECT_EQ(Install(package), kInstallFailed) << name;
        EXPECT_EQ(install_.ErrorText(), "安装包含有不安全的文件名: " + name) << name;
        EXPECT_EQ(TreeDifferences(before, TreeOf(root_)), "") << name;
        EXPECT_FALSE(PathExists("C:\\mrv_rooted.txt")) << name;
        EXPECT_FALSE(PathExists("C:\\mrv_drive.txt")) << name;
        EXPECT_FALSE(PathExists(currentFolder_ + "\\mrv_drive.txt")) << name;
    }
}

// Opt-in: tests/large_package_check.sh writes large.zip (4.5 GB, ZIP64) and
// runs this test; without it the test is skipped.
TEST_F(PackageInstallTest, PackageBeyondFourGigabytesInstalls)
{
    if (!PathExists(PackagePath("large.zip"))) {
        GTEST_SKIP() << "large.zip comes from tests/large_package_check.sh";
    }
    install_ = CPackageInstall(installFolder_, backupFolder_);
    ASSERT_EQ(Install("large.zip"), kInstallDone) << install_.ErrorText();
    EXPECT_EQ(ReadBytes(InstallPath("after.txt")), PackageContent("after.txt"));
    EXPECT_EQ(ReadBytes(InstallPath("Sys\\MrvScript.exe")), PackageContent("Sys/MrvScript.exe"));
    WIN32_FILE_ATTRIBUTE_DATA big{};
    ASSERT_TRUE(GetFileAttributesExW(WidenText(InstallPath("big.bin")).c_str(),
                                     GetFileExInfoStandard, &big));
    EXPECT_EQ((static_cast<std::uint64_t>(big.nFileSizeHigh) << 32) | big.nFileSizeLow,
              0x120000000u);
    EXPECT_TRUE(install_.RollBack());
}

struct LinkCase {
    const char* what;
    const char* package;
    bool userTree;
    const char* link;         // below the install folder
    long swapAtPosition;      // -1: the link is there before the install
    const char* refusedEntry; // the entry that the message names
};

// A link inside the install folder leads elsewhere: nothing is written through
// it, and the install stops as for a hostile name. A folder that the install
// met before and left is looked at again when it comes back to it: the link
// may have taken its place meanwhile.
TEST_F(PackageInstallTest, NothingIsExtractedThroughALinkInTheInstallFolder)
{
    const LinkCase cases[] = {
        {"a link there before", "fresh.zip", false, "lib", -1, "lib/a1.dll"},
        {"a folder swapped for a link between its entries", "upgrade.zip", true, "Sys\\Deep", 5,
         "Sys/Deep/"},
    };
    const std::string outside = root_ + "\\outside";
    for (const LinkCase& c : cases) {
        DeleteFolderTree(root_ + "\\target");
        ASSERT_TRUE(CreateDirectoryTree(CPathName(outside + "\\")));
        ASSERT_TRUE(CreateDirectoryTree(CPathName(installFolder_ + "\\")));
        if (c.userTree) {
            MakeUserTree();
        }
        const std::string link = InstallPath(c.link);
        if (c.swapAtPosition < 0) {
            ASSERT_TRUE(host_link::MakeFolderLink(link, outside)) << c.what;
        }
        const Tree before = TreeOf(root_);
        view_ = RecordingView();
        view_.onPosition = [&](std::uint32_t position) {
            if (static_cast<long>(position) == c.swapAtPosition) {
                ASSERT_TRUE(MoveFileExW(WidenText(link).c_str(), WidenText(link + ".moved").c_str(), 0));
                ASSERT_TRUE(host_link::MakeFolderLink(link, outside));
            }
        };
        install_ = CPackageInstall(installFolder_, backupFolder_);
        install_.SetProgressInterval(0);
        EXPECT_EQ(Install(c.package), kInstallFailed) << c.what;
        // The roll-back may then leave a file that lay below the link alone,
        // which the message adds.
        const std::string refused = std::string("安装包含有不安全的文件名: ") + c.refusedEntry;
        EXPECT_EQ(install_.ErrorText().substr(0, refused.size()), refused) << c.what;
        EXPECT_EQ(TreeOf(outside).size(), 0u) << c.what;
        if (c.swapAtPosition < 0) {
            EXPECT_EQ(TreeDifferences(before, TreeOf(root_)), "") << c.what;
        }
        host_link::RemoveFolderLink(link);
    }
}

std::string ShortName(const std::string& path)
{
    wchar_t shortPath[MAX_PATH] = {};
    GetShortPathNameW(WidenText(path).c_str(), shortPath, MAX_PATH);
    return GetPathFileName(NarrowText(shortPath));
}

struct IdentityCase {
    std::string name;
    std::string other;  // empty: the name is refused
    bool same;
};

// Names that the file system takes for one file share one identity, decided
// from the names alone except for a component with a "~", which may be the
// 8.3 alias of an existing file or folder.
TEST_F(PackageInstallTest, NamesForOneFileShareOneIdentity)
{
    ASSERT_TRUE(CreateDirectoryTree(CPathName(InstallPath("Program Files\\"))));
    ASSERT_TRUE(WriteWholeFile(InstallPath("LongFileName.txt"), "x"));
    const std::string shortFile = ShortName(InstallPath("LongFileName.txt"));
    const std::string shortFolder = ShortName(InstallPath("Program Files"));
    ASSERT_NE(shortFile.find('~'), std::string::npos) << shortFile;
    ASSERT_NE(shortFolder.find('~'), std::string::npos) << shortFolder;
    const IdentityCase cases[] = {
        {"readme.txt", "README.TXT", true},
        {"readme.txt", "readme.txt.", true},
        {"readme.txt", "readme.txt. .", true},
        {"Sys/MrvScript.exe", "sys\\mrvscript.exe", true},
        {"docs/./x.txt", "docs/x.txt", true},
        {"./a.txt", "a.txt", true},
        {"docs//x.txt", "docs/x.txt", true},
        {"dir./x.txt", "dir/x.txt", true},
        {"Ｆｕｌｌ.txt", "ｆｕｌｌ.txt", true},
        {shortFile, "LongFileName.txt", true},
        {shortFolder + "/x.txt", "Program Files/x.txt", true},
        {"NOFILE~1.TXT", "nofile~1.txt", true},
        {"readme.txt", "readme.txt2", false},
        {"a b.txt", "ab.txt", false},
        {"NOFILE~1.TXT", "LongFileName.txt", false},
        {"../x.txt", "", false},
        {"a/.../x.txt", "", false},
        {"a/. ./x.txt", "", false},
        {"dir /x.txt", "", false},
        {"dir../x.txt", "", false},
        {"C:x.txt", "", false},
        {"/x.txt", "", false},
        {".", "", false},
    };
    for (const IdentityCase& c : cases) {
        const std::wstring key = InstallNameKey(installFolder_, c.name);
        if (c.other.empty()) {
            EXPECT_TRUE(key.empty()) << c.name;
            continue;
        }
        EXPECT_FALSE(key.empty()) << c.name;
        EXPECT_EQ(key == InstallNameKey(installFolder_, c.other), c.same)
            << c.name << " / " << c.other;
    }
}

// A file that another program holds open cannot be replaced; a file where the
// package needs a folder, or a folder where it needs a file, blocks the entry.
enum class Blocker { HeldOpen, FileForFolder, FolderForFile };

struct BlockedCase {
    Blocker blocker;
    const char* path;  // below the install folder
    const char* entry;
};

TEST_F(PackageInstallTest, DestinationThatCannotBeWrittenFailsAndRollsBack)
{
    const BlockedCase cases[] = {
        {Blocker::HeldOpen, "Sys\\Deep\\config.ini", "Sys/Deep/config.ini"},
        {Blocker::FileForFolder, "资料", "资料/手册.txt"},
        {Blocker::FolderForFile, "MrvCADSetup.exe", "MrvCADSetup.exe"},
    };
    for (const BlockedCase& c : cases) {
        DeleteFolderTree(root_ + "\\target");
        MakeUserTree();
        HANDLE held = INVALID_HANDLE_VALUE;
        switch (c.blocker) {
        case Blocker::HeldOpen:
            held = CreateFileW(WidenText(InstallPath(c.path)).c_str(), GENERIC_READ, FILE_SHARE_READ,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
            break;
        case Blocker::FileForFolder:
            ASSERT_TRUE(WriteWholeFile(InstallPath(c.path), "a file of the user's"));
            break;
        case Blocker::FolderForFile:
            ASSERT_TRUE(CreateDirectoryW(WidenText(InstallPath(c.path)).c_str(), nullptr));
            break;
        }
        const Tree before = TreeOf(root_);
        install_ = CPackageInstall(installFolder_, backupFolder_);
        EXPECT_EQ(Install("upgrade.zip"), kInstallFailed) << c.entry;
        if (held != INVALID_HANDLE_VALUE) {
            CloseHandle(held);
        }
        EXPECT_NE(install_.ErrorText().find(c.entry), std::string::npos)
            << c.entry << ": " << install_.ErrorText();
        EXPECT_EQ(TreeDifferences(before, TreeOf(root_)), "") << c.entry;
    }
}

struct BadPackageCase {
    const char* package;
    bool userTree;
};

TEST_F(PackageInstallTest, PackageThatCannotBeReadFailsAndChangesNothing)
{
    const BadPackageCase cases[] = {
        {"notzip.zip", false},  {"notzip.zip", true},   {"missing.zip", false},
        {"damaged.zip", true},  {"damaged.zip", false}, {"empty.zip", false},
    };
    for (const BadPackageCase& c : cases) {
        DeleteFolderTree(root_ + "\\target");
        if (c.userTree) {
            MakeUserTree();
        }
        const Tree before = TreeOf(root_);
        install_ = CPackageInstall(installFolder_, backupFolder_);
        EXPECT_EQ(Install(c.package), kInstallFailed) << c.package;
        EXPECT_NE(install_.ErrorText().find(PackagePath(c.package)), std::string::npos)
            << c.package << ": " << install_.ErrorText();
        EXPECT_EQ(TreeDifferences(before, TreeOf(root_)), "") << c.package;
    }
}

TEST_F(PackageInstallTest, InstallFolderThatCannotBeMadeFailsAndExtractsNothing)
{
    ASSERT_TRUE(WriteWholeFile(root_ + "\\blocker", "a file where a folder is wanted"));
    const std::string folders[] = {
        root_ + "\\blocker\\MrvACAD",
        root_ + "\\blocker",
        "MrvACAD",
        "",
        "C:",
        root_ + "\\two\\\\backslashes",
    };
    for (const std::string& folder : folders) {
        const Tree before = TreeOf(root_);
        install_ = CPackageInstall(folder, backupFolder_);
        EXPECT_EQ(Install("fresh.zip"), kInstallFailed) << folder;
        EXPECT_NE(install_.ErrorText().find(folder), std::string::npos)
            << folder << ": " << install_.ErrorText();
        EXPECT_EQ(TreeDifferences(before, TreeOf(root_)), "") << folder;
        EXPECT_TRUE(view_.calls.empty()) << folder;
    }
}

TEST_F(PackageInstallTest, RollBackKeepsTheBackupWhenAFileCannotBeRestored)
{
    MakeUserTree();
    install_ = CPackageInstall(installFolder_, backupFolder_);
    ASSERT_EQ(Install("upgrade.zip"), kInstallDone) << install_.ErrorText();
    const HANDLE inUse = CreateFileW(WidenText(InstallPath("readme.txt")).c_str(), GENERIC_READ, 0,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(inUse, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(install_.RollBack());
    CloseHandle(inUse);
    EXPECT_TRUE(PathExists(backupFolder_ + kJournalFileName)) << "the next start finishes it";
    EXPECT_EQ(ReadBytes(BackupPath("readme.txt")), "user readme");
    EXPECT_EQ(ReadBytes(InstallPath("Sys\\MrvScript.exe")), "user script host");
    EXPECT_FALSE(PathExists(InstallPath("MrvCADSetup.exe")));
}

// The stand-in for the product's setup program, built beside this program; it
// writes how it was started into "<its own path>.record".
std::string StandInPath()
{
    wchar_t module[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring folder(module);
    folder.erase(folder.find_last_of(L'\\'));
    return NarrowText(folder) + "\\standins\\MrvCADSetup.exe";
}

// The stand-in writes its record in one piece, ending with an empty line.
std::string WaitForRecord(const std::string& path)
{
    for (int attempt = 0; attempt < 300; ++attempt) {
        std::string record;
        if (ReadFileBytes(path, record) && record.size() >= 4 &&
            record.compare(record.size() - 4, 4, "\r\n\r\n") == 0) {
            return record;
        }
        Sleep(100);
    }
    return "<no record>";
}

// The program has ended once its file can be deleted.
void DeleteWhenEnded(const std::string& path)
{
    for (int attempt = 0; attempt < 100 && PathExists(path); ++attempt) {
        DeleteFileW(WidenText(path).c_str());
        Sleep(50);
    }
}

TEST_F(PackageInstallTest, StartSetupProgramRunsItFromTheInstallFolder)
{
    const std::string folder = root_ + "\\安装\\MrvACAD";
    ASSERT_TRUE(CreateDirectoryTree(CPathName(folder + "\\")));
    const std::string program = folder + "\\MrvCADSetup.exe";
    ASSERT_TRUE(CopyFileW(WidenText(StandInPath()).c_str(), WidenText(program).c_str(), FALSE))
        << StandInPath();

    EXPECT_TRUE(StartSetupProgram(folder, "MrvCADSetup.exe", "all"));
    const std::string record = WaitForRecord(program + ".record");
    EXPECT_NE(record.find("program=" + program + "\r\n"), std::string::npos) << record;
    EXPECT_NE(record.find("arguments=all\r\n"), std::string::npos) << record;
    // No working folder is given: the program starts in ours.
    EXPECT_NE(record.find("folder=" + currentFolder_ + "\r\n"), std::string::npos) << record;
    DeleteWhenEnded(program);

    EXPECT_FALSE(StartSetupProgram(folder, "Missing.exe", "all"));
    EXPECT_FALSE(PathExists(folder + "\\Missing.exe.record"));
}

}  // namespace
