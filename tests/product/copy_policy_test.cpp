#include "product/copy_policy.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include <windows.h>

#include <gtest/gtest.h>

#include "product/product_record.h"
#include "tests/bench/host_link.h"
#include "tests/bench/test_files.h"
#include "util/file_read.h"
#include "util/file_system.h"
#include "util/text_path.h"
#include "util/wide_text.h"

namespace {

const char kMissing[] = "<missing>";

std::string FileQuestion(const std::string& destination)
{
    return "目标文件" + destination + "\n已经存在，覆盖吗？";
}

std::string TreeQuestion(const std::string& destination)
{
    return "目标文件" + destination + "已经存在，覆盖吗？";
}

// Stands in for the person answering the overwrite prompt: gives the scripted
// answers in turn, cancels when asked more often than scripted, and keeps every
// question it was shown.
class ScriptedAnswerer {
public:
    explicit ScriptedAnswerer(std::vector<int> answers = {}) : answers_(std::move(answers)) {}

    OverwritePrompt Prompt()
    {
        // Scripts may hold answers that are no policy: the copy must not take them.
        return [this](const std::string& question) {
            questions_.push_back(question);
            const std::size_t turn = questions_.size() - 1;
            return static_cast<CopyPolicy>(turn < answers_.size() ? answers_[turn]
                                                                  : static_cast<int>(kCopyCancelled));
        };
    }

    const TextList& Questions() const { return questions_; }

private:
    std::vector<int> answers_;
    TextList questions_;
};

// Test names are ASCII where these apply.
std::string LowerAscii(std::string text)
{
    for (char& ch : text) {
        ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
    }
    return text;
}

std::string UpperAscii(std::string text)
{
    for (char& ch : text) {
        ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 'a' + 'A' : ch);
    }
    return text;
}

TextList Sorted(TextList list)
{
    std::sort(list.begin(), list.end());
    return list;
}

// A fresh folder under the temporary folder per test, with the source,
// destination and backup folders of a copy below it; removed after the test.
class CopyPolicyTest : public testing::Test {
protected:
    void SetUp() override
    {
        static unsigned serial = 0;
        root_ = MakeTempFilePath("mrv_copy_" + std::to_string(GetCurrentProcessId()) + "_" +
                                 std::to_string(GetTickCount()) + "_" +
                                 std::to_string(++serial) + "\\");
        ASSERT_FALSE(PathExists(root_));
        ASSERT_TRUE(CreateDirectoryTree(CPathName(root_)));
        source_ = root_ + "src\\";
        destination_ = root_ + "dst\\";
        backup_ = root_ + "bak\\";
        ASSERT_TRUE(CreateDirectoryTree(CPathName(source_)));
        ASSERT_TRUE(CreateDirectoryTree(CPathName(destination_)));
    }

    void TearDown() override { DeleteFolderTree(root_); }

    // Writes `content` to the file at `path`, creating its folders.
    static void Write(const std::string& path, const std::string& content)
    {
        ASSERT_TRUE(CreateDirectoryTree(CPathName(path))) << path;
        const HANDLE file = CreateFileW(WidenText(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
        DWORD written = 0;
        const BOOL ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()),
                                  &written, nullptr);
        CloseHandle(file);
        ASSERT_TRUE(ok && written == content.size()) << path;
    }

    static std::string Read(const std::string& path)
    {
        std::string content;
        return ReadFileBytes(path, content) ? content : kMissing;
    }

    // `folder` ends with a backslash.
    static void MakeFolder(const std::string& folder)
    {
        ASSERT_TRUE(CreateDirectoryTree(CPathName(folder))) << folder;
    }

    static void SetReadOnly(const std::string& path)
    {
        ASSERT_TRUE(SetFileAttributesW(WidenText(path).c_str(), FILE_ATTRIBUTE_READONLY)) << path;
    }

    static bool IsFolder(const std::string& path)
    {
        const DWORD attributes = GetFileAttributesW(WidenText(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES &&
               (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }

    // The names in a folder exactly as the file system keeps them, sorted.
    static TextList NamesIn(const std::string& folder)
    {
        TextList names;
        WIN32_FIND_DATAW found;
        const HANDLE find = FindFirstFileW(WidenText(folder + "*").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE) {
            return names;
        }
        do {
            const std::string name = NarrowText(found.cFileName);
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        } while (FindNextFileW(find, &found));
        FindClose(find);
        return Sorted(names);
    }

    std::string root_;
    std::string source_;
    std::string destination_;
    std::string backup_;
};

// The prompt that no test of a copy without conflicts may reach.
const OverwritePrompt kNeverAsked = [](const std::string& question) {
    ADD_FAILURE() << "unexpected question: " << question;
    return kCopyCancelled;
};

// ---- BackUpFile ----

TEST_F(CopyPolicyTest, BackUpFileCreatesTheBackupsSubfolders)
{
    struct Case {
        const char* name;
        const char* backupPath;  // below the backup folder
    };
    const Case cases[] = {
        {"a.txt", "a.txt"},
        {"sub\\b.txt", "sub\\b.txt"},
        {"sub/c.txt", "sub\\c.txt"},
        {"one\\two\\three\\d.txt", "one\\two\\three\\d.txt"},
        {"乗\\丄E.txt", "乗\\丄E.txt"},
    };
    for (const Case& c : cases) {
        const std::string original = std::string("content of ") + c.name;
        Write(destination_ + c.name, original);
        EXPECT_TRUE(BackUpFile(c.name, destination_, backup_)) << c.name;
        EXPECT_EQ(Read(backup_ + c.backupPath), original) << c.name;
    }
}

TEST_F(CopyPolicyTest, BackUpFileReplacesAnEarlierBackupEvenAReadOnlyOne)
{
    Write(destination_ + "sub\\a.txt", "first");
    ASSERT_TRUE(BackUpFile("sub\\a.txt", destination_, backup_));
    SetReadOnly(backup_ + "sub\\a.txt");
    Write(destination_ + "sub\\a.txt", "second");
    EXPECT_TRUE(BackUpFile("sub\\a.txt", destination_, backup_));
    EXPECT_EQ(Read(backup_ + "sub\\a.txt"), "second");
}

TEST_F(CopyPolicyTest, BackUpFileReportsABackupThatCannotBeMade)
{
    Write(destination_ + "a.txt", "data");
    Write(root_ + "plain_file", "a file where the backup folder should be");
    struct Case {
        std::string name;
        std::string backupFolder;
    };
    const Case cases[] = {
        {"missing.txt", backup_},                  // nothing to back up
        {"a.txt", ""},                             // no backup folder
        {"a.txt", root_ + "plain_file\\"},         // the backup folder cannot exist
        {"..\\a.txt", backup_ + "inner\\"},        // would land outside the backup folder
        {"sub/../../a.txt", backup_ + "inner\\"},  // the same, with a forward slash
        {"\\a.txt", backup_},                      // rooted name
        {"C:a.txt", backup_},                      // drive name
        {"a.txt:stream", backup_},                 // alternate stream
        {"", backup_},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(BackUpFile(c.name, destination_, c.backupFolder))
            << c.name << " into " << c.backupFolder;
    }
    EXPECT_EQ(Read(backup_ + "a.txt"), kMissing);
    EXPECT_EQ(Read(root_ + "a.txt"), kMissing);
    EXPECT_EQ(Read(destination_ + "a.txt"), "data");
}

// ---- CopyFileWithPrompt ----

TEST_F(CopyPolicyTest, AnAbsentDestinationIsCopiedWithoutAQuestion)
{
    const CopyPolicy policies[] = {kCopyAsk, kCopyOverwriteThis, kCopyOverwriteAll,
                                   kCopySkipThis, kCopySkipAll};
    for (const CopyPolicy policy : policies) {
        const std::string name = "new" + std::to_string(policy) + ".txt";
        Write(source_ + name, "fresh");
        EXPECT_EQ(CopyFileWithPrompt(name, source_, destination_, backup_, policy, kNeverAsked),
                  policy);
        EXPECT_EQ(Read(destination_ + name), "fresh") << "policy " << policy;
    }
    EXPECT_FALSE(PathExists(backup_)) << "nothing was replaced, nothing backed up";
}

TEST_F(CopyPolicyTest, TheAnswerDecidesAndBecomesThePolicy)
{
    struct Case {
        int answer;
        int result;
        bool overwritten;
    };
    const Case cases[] = {
        {kCopyOverwriteThis, kCopyOverwriteThis, true},
        {kCopyOverwriteAll, kCopyOverwriteAll, true},
        {kCopySkipThis, kCopySkipThis, false},
        {kCopySkipAll, kCopySkipAll, false},
        {kCopyCancelled, kCopyCancelled, false},
        {kCopyAsk, kCopySkipThis, false},  // not an answer the prompt gives
        {17, kCopySkipThis, false},
    };
    for (const Case& c : cases) {
        Write(source_ + "a.txt", "new");
        Write(destination_ + "a.txt", "old");
        ScriptedAnswerer user({c.answer});
        EXPECT_EQ(CopyFileWithPrompt("a.txt", source_, destination_, "", kCopyAsk, user.Prompt()),
                  c.result)
            << "answer " << c.answer;
        EXPECT_EQ(user.Questions(), TextList{FileQuestion(destination_ + "a.txt")});
        EXPECT_EQ(Read(destination_ + "a.txt"), c.overwritten ? "new" : "old")
            << "answer " << c.answer;
    }
}

TEST_F(CopyPolicyTest, OverwriteAllAndSkipAllNeverAsk)
{
    Write(source_ + "a.txt", "new");
    Write(destination_ + "a.txt", "old");
    EXPECT_EQ(CopyFileWithPrompt("a.txt", source_, destination_, "", kCopySkipAll, kNeverAsked),
              kCopySkipAll);
    EXPECT_EQ(Read(destination_ + "a.txt"), "old");
    EXPECT_EQ(
        CopyFileWithPrompt("a.txt", source_, destination_, "", kCopyOverwriteAll, kNeverAsked),
        kCopyOverwriteAll);
    EXPECT_EQ(Read(destination_ + "a.txt"), "new");
}

TEST_F(CopyPolicyTest, WithoutAPromptAnExistingFileIsLeftAlone)
{
    Write(source_ + "a.txt", "new");
    Write(destination_ + "a.txt", "old");
    EXPECT_EQ(CopyFileWithPrompt("a.txt", source_, destination_, "", kCopyAsk, nullptr),
              kCopySkipThis);
    EXPECT_EQ(Read(destination_ + "a.txt"), "old");
}

TEST_F(CopyPolicyTest, AReplacedFileIsBackedUpIntoItsSubfolderFirst)
{
    Write(source_ + "sub\\a.txt", "new");
    Write(destination_ + "sub\\a.txt", "old");
    EXPECT_EQ(CopyFileWithPrompt("sub\\a.txt", source_, destination_, backup_, kCopyOverwriteAll,
                                 kNeverAsked),
              kCopyOverwriteAll);
    EXPECT_EQ(Read(destination_ + "sub\\a.txt"), "new");
    EXPECT_EQ(Read(backup_ + "sub\\a.txt"), "old");
}

TEST_F(CopyPolicyTest, AFileWhoseBackupFailsIsNotReplaced)
{
    Write(source_ + "a.txt", "new");
    Write(destination_ + "a.txt", "old");
    Write(root_ + "plain_file", "a file where the backup folder should be");
    EXPECT_EQ(CopyFileWithPrompt("a.txt", source_, destination_, root_ + "plain_file\\",
                                 kCopyOverwriteAll, kNeverAsked),
              kCopyOverwriteAll);
    EXPECT_EQ(Read(destination_ + "a.txt"), "old");
}

TEST_F(CopyPolicyTest, AFailedCopyKeepsThePolicy)
{
    Write(destination_ + "a.txt", "old");
    ScriptedAnswerer user({kCopyOverwriteAll});
    EXPECT_EQ(CopyFileWithPrompt("absent.txt", source_, destination_, "", kCopyAsk, kNeverAsked),
              kCopyAsk);
    EXPECT_EQ(Read(destination_ + "absent.txt"), kMissing);
    EXPECT_EQ(CopyFileWithPrompt("a.txt", source_, destination_, "", kCopyAsk, user.Prompt()),
              kCopyOverwriteAll);
    EXPECT_EQ(Read(destination_ + "a.txt"), "old");
}

// ---- CopyFolderTree ----

TEST_F(CopyPolicyTest, AnEmptyFolderTextCopiesNothing)
{
    Write(source_ + "a.txt", "data");
    struct Case {
        std::string source;
        std::string destination;
    };
    const Case cases[] = {{"", destination_}, {source_, ""}, {"", ""}};
    for (const Case& c : cases) {
        TextList failed;
        TextList copied;
        EXPECT_EQ(CopyFolderTree(failed, copied, c.source, c.destination, backup_, kCopyAsk,
                                 "*.*", kNeverAsked),
                  kCopyCancelled);
        EXPECT_TRUE(failed.empty());
        EXPECT_TRUE(copied.empty());
    }
    EXPECT_TRUE(NamesIn(destination_).empty());
}

TEST_F(CopyPolicyTest, AMissingSourceFolderKeepsTheStartingPolicy)
{
    TextList failed;
    TextList copied;
    EXPECT_EQ(CopyFolderTree(failed, copied, root_ + "nowhere", destination_, "", kCopySkipAll,
                             "*.*", kNeverAsked),
              kCopySkipAll);
    EXPECT_TRUE(failed.empty());
    EXPECT_TRUE(copied.empty());
}

TEST_F(CopyPolicyTest, ANewTreeIsCopiedWholeWithoutAQuestion)
{
    Write(source_ + "a.lsp", "a");
    Write(source_ + "Lib\\b.lsp", "b");
    Write(source_ + "Lib\\Deep\\c.lsp", "c");
    MakeFolder(source_ + "Empty\\");
    MakeFolder(backup_);
    TextList failed{"kept"};
    TextList copied{"kept"};
    EXPECT_EQ(CopyFolderTree(failed, copied, source_, destination_, backup_, kCopyAsk, "*.*",
                             kNeverAsked),
              kCopyAsk);
    EXPECT_EQ(failed, TextList{"kept"});
    EXPECT_EQ(Sorted(copied), Sorted({"kept", destination_ + "a.lsp", destination_ + "lib\\b.lsp",
                                      destination_ + "lib\\deep\\c.lsp"}));
    EXPECT_EQ(Read(destination_ + "lib\\deep\\c.lsp"), "c");
    EXPECT_TRUE(IsFolder(destination_ + "empty"));
    // A backup subfolder stands ready for every source subfolder.
    EXPECT_TRUE(IsFolder(backup_ + "lib\\deep"));
    EXPECT_TRUE(IsFolder(backup_ + "empty"));
}

TEST_F(CopyPolicyTest, SourceWithOrWithoutTrailingBackslashCopiesTheSame)
{
    Write(source_ + "a.lsp", "a");
    Write(source_ + "Sub\\b.lsp", "b");
    const std::string withSlash = root_ + "with\\";
    const std::string without = root_ + "without\\";
    MakeFolder(withSlash);
    MakeFolder(without);
    TextList failed;
    TextList copiedWith;
    TextList copiedWithout;
    EXPECT_EQ(CopyFolderTree(failed, copiedWith, source_, withSlash, "", kCopyAsk, "*.*",
                             kNeverAsked),
              kCopyAsk);
    EXPECT_EQ(CopyFolderTree(failed, copiedWithout, source_.substr(0, source_.size() - 1),
                             without.substr(0, without.size() - 1), "", kCopyAsk, "*.*",
                             kNeverAsked),
              kCopyAsk);
    EXPECT_TRUE(failed.empty());
    TextList relativeWith;
    TextList relativeWithout;
    for (const std::string& path : copiedWith) {
        relativeWith.push_back(path.substr(withSlash.size()));
    }
    for (const std::string& path : copiedWithout) {
        relativeWithout.push_back(path.substr(without.size()));
    }
    EXPECT_EQ(Sorted(relativeWith), Sorted({"a.lsp", "sub\\b.lsp"}));
    EXPECT_EQ(Sorted(relativeWith), Sorted(relativeWithout));
    EXPECT_EQ(Read(without + "sub\\b.lsp"), "b");
}

TEST_F(CopyPolicyTest, TheUpdatesOwnFilesAndTheProgramAreLeftOut)
{
    const std::string own = GetOwnFileName();
    ASSERT_FALSE(own.empty());
    Write(source_ + own, "the program");
    Write(source_ + "$.UpDateReadme.txt", "readme");
    Write(source_ + "$.updatemenu\\menu.mnu", "menu");
    Write(source_ + "$.UpDateSysData\\sys.dat", "sys");
    Write(source_ + "Scripts\\s.lsp", "script");
    Write(source_ + "a.esf", "package");
    TextList failed;
    TextList copied;
    EXPECT_EQ(CopyFolderTree(failed, copied, source_, destination_, "", kCopyAsk, "*.*",
                             kNeverAsked),
              kCopyAsk);
    EXPECT_TRUE(failed.empty());
    EXPECT_EQ(Sorted(copied), Sorted({destination_ + "a.esf", destination_ + "scripts\\s.lsp"}));
    EXPECT_EQ(NamesIn(destination_), Sorted({"a.esf", "scripts"}));
}

// Each row is a source folder holding one entry; the exact comparisons look at
// letter case, the folder comparisons do not.
TEST_F(CopyPolicyTest, WhichNamesAreLeftOut)
{
    const std::string ownUpper = UpperAscii(GetOwnFileName());
    ASSERT_NE(ownUpper, GetOwnFileName());
    struct Case {
        std::string entry;  // a trailing backslash makes it a folder holding f.txt
        bool copied;
    };
    const Case cases[] = {
        {GetOwnFileName(), false},
        {ownUpper, true},
        {"$.UpDateReadme.txt", false},
        {"$.updatereadme.txt", true},
        {"$.UpDateReadme.TXT", true},
        {"$.UpDateMenu\\", false},
        {"$.UPDATEMENU\\", false},
        {"$.UpDateSysData\\", false},
        {"$.updatesysdata\\", false},
        {"$.UpDateMenus\\", true},
        {"$.UpDateMenu", true},  // a file of that name
    };
    int row = 0;
    for (const Case& c : cases) {
        const std::string from = root_ + "from" + std::to_string(row) + "\\";
        const std::string to = root_ + "to" + std::to_string(row) + "\\";
        ++row;
        MakeFolder(to);
        const bool isFolder = c.entry.back() == '\\';
        Write(isFolder ? from + c.entry + "f.txt" : from + c.entry, "x");
        TextList failed;
        TextList copied;
        CopyFolderTree(failed, copied, from, to, "", kCopyAsk, "*.*", kNeverAsked);
        EXPECT_TRUE(failed.empty()) << c.entry;
        EXPECT_EQ(copied.size(), c.copied ? 1u : 0u) << c.entry;
    }
}

TEST_F(CopyPolicyTest, DestinationSubfoldersTakeLowerCaseNames)
{
    // 丄 is 0x81 0x41 and 乗 is 0x81 0x5C: their second bytes look like 'A' and '\'.
    Write(source_ + "Scripts\\Sub\\A.lsp", "a");
    Write(source_ + "丄AB\\乗.lsp", "b");
    Write(source_ + "乗X\\丄.lsp", "c");
    TextList failed;
    TextList copied;
    CopyFolderTree(failed, copied, source_, destination_, "", kCopyAsk, "*.*", kNeverAsked);
    EXPECT_TRUE(failed.empty());
    EXPECT_EQ(Sorted(copied),
              Sorted({destination_ + "scripts\\sub\\A.lsp", destination_ + "丄ab\\乗.lsp",
                      destination_ + "乗x\\丄.lsp"}));
    EXPECT_EQ(NamesIn(destination_), Sorted({"scripts", "丄ab", "乗x"}));
    EXPECT_EQ(NamesIn(destination_ + "scripts\\"), TextList{"sub"});
    EXPECT_EQ(Read(destination_ + "丄ab\\乗.lsp"), "b");
}

TEST_F(CopyPolicyTest, AnExistingDestinationFolderKeepsItsCase)
{
    Write(source_ + "Scripts\\a.lsp", "a");
    MakeFolder(destination_ + "SCRIPTS\\");
    TextList failed;
    TextList copied;
    CopyFolderTree(failed, copied, source_, destination_, "", kCopyAsk, "*.*", kNeverAsked);
    EXPECT_EQ(copied, TextList{destination_ + "scripts\\a.lsp"});
    EXPECT_EQ(NamesIn(destination_), TextList{"SCRIPTS"});
    EXPECT_EQ(Read(destination_ + "SCRIPTS\\a.lsp"), "a");
}

TEST_F(CopyPolicyTest, ThePatternFiltersOnlyTheTopFolder)
{
    Write(source_ + "a.esf", "a");
    Write(source_ + "b.txt", "b");
    Write(source_ + "lib\\c.txt", "c");
    Write(source_ + "pack.esf\\d.txt", "d");
    TextList failed;
    TextList copied;
    CopyFolderTree(failed, copied, source_, destination_, "", kCopyAsk, "*.esf", kNeverAsked);
    EXPECT_EQ(Sorted(copied), Sorted({destination_ + "a.esf", destination_ + "pack.esf\\d.txt"}));
}

TEST_F(CopyPolicyTest, OverwriteAllBacksUpEveryReplacedFileWithoutAsking)
{
    Write(source_ + "a.lsp", "new a");
    Write(source_ + "Sub\\b.lsp", "new b");
    Write(source_ + "Sub\\Deep\\c.lsp", "new c");
    Write(source_ + "Sub\\added.lsp", "added");
    Write(destination_ + "a.lsp", "old a");
    Write(destination_ + "sub\\b.lsp", "old b");
    Write(destination_ + "sub\\deep\\c.lsp", "old c");
    TextList failed;
    TextList copied;
    EXPECT_EQ(CopyFolderTree(failed, copied, source_, destination_, backup_, kCopyOverwriteAll,
                             "*.*", kNeverAsked),
              kCopyOverwriteAll);
    EXPECT_TRUE(failed.empty());
    EXPECT_EQ(copied.size(), 4u);
    EXPECT_EQ(Read(destination_ + "sub\\deep\\c.lsp"), "new c");
    EXPECT_EQ(Read(backup_ + "a.lsp"), "old a");
    EXPECT_EQ(Read(backup_ + "sub\\b.lsp"), "old b");
    EXPECT_EQ(Read(backup_ + "sub\\deep\\c.lsp"), "old c");
    EXPECT_EQ(Read(backup_ + "sub\\added.lsp"), kMissing);
}

TEST_F(CopyPolicyTest, TheTreeAsksWithItsOwnQuestionAndReturnsTheTopPolicy)
{
    Write(source_ + "a.lsp", "new");
    Write(destination_ + "a.lsp", "old");
    ScriptedAnswerer user({kCopyOverwriteAll});
    TextList failed;
    TextList copied;
    EXPECT_EQ(CopyFolderTree(failed, copied, source_, destination_, "", kCopyAsk, "*.*",
                             user.Prompt()),
              kCopyOverwriteAll);
    EXPECT_EQ(user.Questions(), TextList{TreeQuestion(destination_ + "a.lsp")});
    EXPECT_EQ(copied, TextList{destination_ + "a.lsp"});
}

// Both subfolders hold two conflicting files and a conflicting file one level
// deeper; the enumeration order decides which of them is met first.
TEST_F(CopyPolicyTest, SkipAllHoldsForItsFolderAndBelowButNotForSiblings)
{
    for (const char* folder : {"A\\", "B\\"}) {
        for (const char* file : {"1.lsp", "2.lsp", "Deep\\3.lsp"}) {
            Write(source_ + folder + file, "new");
            Write(destination_ + LowerAscii(std::string(folder) + file), "old");
        }
    }
    ScriptedAnswerer user({kCopySkipAll, kCopyOverwriteThis, kCopyOverwriteThis,
                           kCopyOverwriteThis});
    TextList failed;
    TextList copied;
    EXPECT_EQ(CopyFolderTree(failed, copied, source_, destination_, "", kCopyAsk, "*.*",
                             user.Prompt()),
              kCopyAsk);
    ASSERT_EQ(user.Questions().size(), 4u);
    const bool aFirst = user.Questions()[0].find(destination_ + "a\\") != std::string::npos;
    const std::string skipped = destination_ + (aFirst ? "a\\" : "b\\");
    const std::string overwritten = destination_ + (aFirst ? "b\\" : "a\\");
    for (const char* file : {"1.lsp", "2.lsp", "deep\\3.lsp"}) {
        EXPECT_EQ(Read(skipped + file), "old") << skipped << file;
        EXPECT_EQ(Read(overwritten + file), "new") << overwritten << file;
    }
    EXPECT_EQ(Sorted(copied), Sorted({overwritten + "1.lsp", overwritten + "2.lsp",
                                      overwritten + "deep\\3.lsp"}));
    EXPECT_TRUE(failed.empty());
}

TEST_F(CopyPolicyTest, CancelInASubfolderStopsTheWholeTree)
{
    Write(source_ + "top.lsp", "top");
    for (const char* folder : {"A\\", "B\\"}) {
        Write(source_ + folder + "x.lsp", "new");
        Write(destination_ + LowerAscii(folder) + "x.lsp", "old");
        Write(source_ + folder + "Deep\\n.lsp", "new");
    }
    ScriptedAnswerer user({kCopyCancelled});
    TextList failed;
    TextList copied;
    EXPECT_EQ(CopyFolderTree(failed, copied, source_, destination_, "", kCopyAsk, "*.*",
                             user.Prompt()),
              kCopyCancelled);
    EXPECT_EQ(user.Questions().size(), 1u);
    EXPECT_EQ(copied, TextList{destination_ + "top.lsp"});
    EXPECT_TRUE(failed.empty());
    for (const char* folder : {"a\\", "b\\"}) {
        EXPECT_EQ(Read(destination_ + folder + "x.lsp"), "old");
        EXPECT_EQ(Read(destination_ + folder + "deep\\n.lsp"), kMissing);
    }
}

TEST_F(CopyPolicyTest, UnwritableDestinationsAreListedAsFailed)
{
    Write(source_ + "locked.lsp", "new");
    Write(source_ + "fine.lsp", "new");
    Write(source_ + "Sub\\locked.lsp", "new");
    Write(destination_ + "locked.lsp", "old");
    Write(destination_ + "sub\\locked.lsp", "old");
    SetReadOnly(destination_ + "locked.lsp");
    SetReadOnly(destination_ + "sub\\locked.lsp");
    TextList failed;
    TextList copied;
    EXPECT_EQ(CopyFolderTree(failed, copied, source_, destination_, "", kCopyOverwriteAll, "*.*",
                             kNeverAsked),
              kCopyOverwriteAll);
    EXPECT_EQ(Sorted(failed),
              Sorted({destination_ + "locked.lsp", destination_ + "sub\\locked.lsp"}));
    EXPECT_EQ(copied, TextList{destination_ + "fine.lsp"});
    EXPECT_EQ(Read(destination_ + "locked.lsp"), "old");
}

TEST_F(CopyPolicyTest, AMissingDestinationFolderFailsEveryFile)
{
    Write(source_ + "a.lsp", "a");
    Write(source_ + "Sub\\b.lsp", "b");
    const std::string nowhere = root_ + "nowhere\\";
    TextList failed;
    TextList copied;
    EXPECT_EQ(CopyFolderTree(failed, copied, source_, nowhere, "", kCopyAsk, "*.*", kNeverAsked),
              kCopyAsk);
    EXPECT_EQ(Sorted(failed), Sorted({nowhere + "a.lsp", nowhere + "sub\\b.lsp"}));
    EXPECT_TRUE(copied.empty());
}

TEST_F(CopyPolicyTest, AFileCopiedOntoItselfKeepsItsContent)
{
    Write(source_ + "a.lsp", "content");
    EXPECT_EQ(CopyFileWithPrompt("a.lsp", source_, source_, "", kCopyOverwriteAll, kNeverAsked),
              kCopyOverwriteAll);
    EXPECT_EQ(Read(source_ + "a.lsp"), "content");
}

TEST_F(CopyPolicyTest, AFileWhoseBackupFailsIsListedAsFailedAndKept)
{
    Write(source_ + "a.lsp", "new");
    Write(destination_ + "a.lsp", "old");
    Write(source_ + "b.lsp", "added");
    Write(root_ + "plain_file", "a file where the backup folder should be");
    TextList failed;
    TextList copied;
    EXPECT_EQ(CopyFolderTree(failed, copied, source_, destination_, root_ + "plain_file",
                             kCopyOverwriteAll, "*.*", kNeverAsked),
              kCopyOverwriteAll);
    EXPECT_EQ(failed, TextList{destination_ + "a.lsp"});
    EXPECT_EQ(copied, TextList{destination_ + "b.lsp"});
    EXPECT_EQ(Read(destination_ + "a.lsp"), "old");
}

TEST_F(CopyPolicyTest, ADestinationInsideTheSourceIsNotCopiedIntoItself)
{
    Write(source_ + "a.lsp", "a");
    Write(source_ + "Lib\\b.lsp", "b");
    const std::string inside = source_ + "Lib\\Target\\";
    MakeFolder(inside);
    TextList failed;
    TextList copied;
    EXPECT_EQ(CopyFolderTree(failed, copied, source_, inside, "", kCopyAsk, "*.*", kNeverAsked),
              kCopyAsk);
    EXPECT_TRUE(failed.empty());
    EXPECT_EQ(Sorted(copied), Sorted({inside + "a.lsp", inside + "lib\\b.lsp"}));
    EXPECT_EQ(NamesIn(inside + "lib\\"), TextList{"b.lsp"});
}

// A link in the destination, at any folder level below the chosen folder,
// leads elsewhere: nothing is written through it, and the copy stops there,
// naming it as failed. A link in the source is not read through: it is listed
// as failed under its destination's name and the copy goes on. A link in the
// backup folder takes no backup: the file it would have kept is failed and
// keeps its content. What the links lead to stays as it was. The chosen folder itself may be a link (a
// redirected folder). (Links to folders, found by their names under Wine,
// which follows a link even where it is opened on itself: the check of the
// handles behind that is reached on Windows only.)
TEST_F(CopyPolicyTest, NothingIsWrittenThroughALinkInTheTree)
{
    const std::string outside = root_ + "outside\\";
    Write(outside + "o.lsp", "outside");
    Write(outside + "f.lsp", "outside f");
    Write(source_ + "a.lsp", "a");
    Write(source_ + "Sub\\f.lsp", "f");
    Write(source_ + "Sub\\Deep\\g.lsp", "g");
    const auto outsideBefore = TreeSnapshot(root_ + "outside");
    struct Case {
        std::string link;
        std::string stoppedAt;
        TextList failed;
        TextList copied;
        std::string existing;  // a file of the destination that the copy replaces
    };
    const Case cases[] = {
        {destination_ + "sub", destination_ + "sub", {destination_ + "sub"}, {destination_ + "a.lsp"},
         ""},
        {destination_ + "sub\\deep", destination_ + "sub\\deep", {destination_ + "sub\\deep"},
         {destination_ + "a.lsp", destination_ + "sub\\f.lsp"}, ""},
        {source_ + "Linked", "", {destination_ + "linked"},
         {destination_ + "a.lsp", destination_ + "sub\\f.lsp", destination_ + "sub\\deep\\g.lsp"}, ""},
        {backup_ + "sub", "", {destination_ + "sub\\f.lsp"},
         {destination_ + "a.lsp", destination_ + "sub\\deep\\g.lsp"}, destination_ + "sub\\f.lsp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        DeleteFolderTree(destination_);
        DeleteFolderTree(backup_);
        MakeFolder(destination_);
        if (!c.existing.empty()) {
            Write(c.existing, "old");
        }
        ASSERT_TRUE(CreateDirectoryTree(CPathName(c.link)));  // the folders above the link
        ASSERT_TRUE(host_link::MakeFolderLink(c.link, root_ + "outside"));
        TextList failed;
        TextList copied;
        std::string stoppedAt;
        EXPECT_EQ(CopyFolderTree(failed, copied, source_, destination_, backup_, kCopyOverwriteAll,
                                 "*.*", kNeverAsked, &stoppedAt),
                  kCopyOverwriteAll);
        EXPECT_EQ(stoppedAt, c.stoppedAt);
        EXPECT_EQ(failed, c.failed);
        EXPECT_EQ(Sorted(copied), Sorted(c.copied));
        if (!c.existing.empty()) {
            EXPECT_EQ(Read(c.existing), "old");
        }
        EXPECT_EQ(CopyFileWithPrompt("Sub\\f.lsp", source_, destination_, "", kCopyOverwriteAll,
                                     kNeverAsked),
                  kCopyOverwriteAll);
        EXPECT_EQ(TreeSnapshot(root_ + "outside"), outsideBefore);
        host_link::RemoveFolderLink(c.link);
    }

    const std::string chosen = root_ + "chosen";
    ASSERT_TRUE(host_link::MakeFolderLink(chosen, root_ + "outside"));
    TextList failed;
    TextList copied;
    std::string stoppedAt;
    EXPECT_EQ(CopyFolderTree(failed, copied, source_, chosen, "", kCopyOverwriteAll, "*.*",
                             kNeverAsked, &stoppedAt),
              kCopyOverwriteAll);
    EXPECT_EQ(stoppedAt, "");
    EXPECT_TRUE(failed.empty());
    EXPECT_EQ(Read(outside + "sub\\deep\\g.lsp"), "g");
    host_link::RemoveFolderLink(chosen);
}

}  // namespace
