#include <gtest/gtest.h>

#include <string>

#include "util/cp936.h"
#include "util/text_path.h"

// In code page 936 "運" is DF 5C, "誠" D5 5C and "錦" E5 5C: their second byte is
// a backslash byte. "癮" is B0 61: its second byte is an 'a'.
namespace {

struct PathCase {
    const char* text;
    const char* drive;
    const char* directory;
    const char* fileTitle;
    const char* extension;
    bool relative;
    TextList components;
};

TEST(CPathNameTest, SplitsPathsIntoTheirParts)
{
    const PathCase cases[] = {
        {"C:\\Program Files\\MrvACAD\\", "C:", "\\Program Files\\MrvACAD\\", "", "", false,
         {"Program Files", "MrvACAD"}},
        {"\"C:\\a b\\c.txt\"", "C:", "\\a b\\", "c", ".txt", false, {"a b"}},
        {"C:/a/b/", "C:", "\\a\\b\\", "", "", false, {"a", "b"}},
        {"C:\\a\\.cfg", "C:", "\\a\\", "", ".cfg", false, {"a"}},
        {"a\\b\\", "", "a\\b\\", "", "", true, {"a", "b"}},
        {"C:a\\b\\", "C:", "a\\b\\", "", "", true, {"a", "b"}},
        {"\\\\server\\share\\dir\\", "", "\\\\server\\share\\dir\\", "", "", false,
         {"server", "share", "dir"}},
        {"C:\\a\\\\b\\", "C:", "\\a\\\\b\\", "", "", false, {"a", "", "b"}},
        {"C:\\運誠\\錦\\x.dat", "C:", "\\運誠\\錦\\", "x", ".dat", false, {"運誠", "錦"}},
        {"C:\\a\\運", "C:", "\\a\\", "運", "", false, {"a"}},
        {"C:\\a.b\\c", "C:", "\\a.b\\", "c", "", false, {"a.b"}},
        {"setup.tar.gz", "", "", "setup.tar", ".gz", false, {}},
        {"C:\\", "C:", "\\", "", "", false, {}},
        {"C:", "C:", "", "", "", false, {}},
        {"", "", "", "", "", false, {}},
        {"\"\"", "", "", "", "", false, {}},
        {"\"", "", "", "", "", false, {}},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.text);
        const CPathName path(c.text);
        EXPECT_EQ(path.Drive(), c.drive);
        EXPECT_EQ(path.Directory(), c.directory);
        EXPECT_EQ(path.FileTitle(), c.fileTitle);
        EXPECT_EQ(path.Extension(), c.extension);
        EXPECT_EQ(path.IsRelative(), c.relative);
        EXPECT_EQ(path.HasFileName(), !std::string(c.fileTitle).empty());
        ASSERT_EQ(path.ComponentCount(), c.components.size());
        for (std::size_t i = 0; i < c.components.size(); ++i) {
            EXPECT_EQ(path.Component(i), c.components[i]) << "component " << i;
        }
        EXPECT_EQ(path.Component(c.components.size()), "");
    }
}

TEST(CPathNameTest, TakesAtMost259BytesWithoutSplittingACharacter)
{
    const std::string folder = "C:\\" + std::string(250, 'a') + "\\";
    EXPECT_EQ(CPathName(folder + std::string(50, 'b')).FileTitle(), std::string(5, 'b'));

    // 3 + 255 bytes leave one byte free: too little for the double-byte character.
    const CPathName cut("C:\\" + std::string(255, 'a') + "運x");
    EXPECT_EQ(cut.FileTitle(), std::string(255, 'a'));

    // A directory of 257 bytes is kept whole, its last separator included.
    const std::string longFolder = "\\" + std::string(255, 'd') + "\\";
    const CPathName full("C:" + longFolder);
    EXPECT_EQ(full.Directory(), longFolder);
    ASSERT_EQ(full.ComponentCount(), 1u);
    EXPECT_EQ(full.Component(0), std::string(255, 'd'));
}

TEST(CPathNameTest, DefaultObjectIsEmpty)
{
    const CPathName path;
    EXPECT_FALSE(path.HasFileName());
    EXPECT_EQ(path.ComponentCount(), 0u);
    EXPECT_EQ(path.Component(0), "");
}

struct SplitCase {
    const char* text;
    const char* delimiter;
    TextList parts;
};

TEST(SplitStringTest, SplitsAtEveryDelimiter)
{
    const SplitCase cases[] = {
        {"a,,b", ",", {"a", "", "b"}},
        {",a", ",", {"", "a"}},
        {"a,", ",", {"a"}},
        {"a,,", ",", {"a", ""}},
        {"", ",", {}},
        {",", ",", {""}},
        {"1.2.10", ".", {"1", "2", "10"}},
        {"x\r\ny\r\n", "\r\n", {"x", "y"}},
        {"MorvaneForAutoCADStart MorvaneForAutoCADSetup", " ",
         {"MorvaneForAutoCADStart", "MorvaneForAutoCADSetup"}},
        {"no delimiter", ";", {"no delimiter"}},
        {"運\\b", "\\", {"運", "b"}},
        {"x癮b", "ab", {"x癮b"}},
        {"x癮ab", "ab", {"x癮"}},
        {"abc", "", {"abc"}},
        {"", "", {}},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + c.delimiter);
        TextList parts = {"left over"};
        EXPECT_TRUE(SplitString(c.text, c.delimiter, parts));
        EXPECT_EQ(parts, c.parts);
    }
}

struct JoinCase {
    const char* folder;
    const char* name;
    const char* joined;
};

TEST(JoinPathTest, JoinsWithExactlyOneBackslash)
{
    const JoinCase cases[] = {
        {"C:\\a\\\\", "\\b", "C:\\a\\b"},
        {"C:\\a", "b", "C:\\a\\b"},
        {"C:\\a\\", "\\\\b", "C:\\a\\b"},
        {"C:\\", "*.esf", "C:\\*.esf"},
        {"", "b", "\\b"},
        {"a", "", "a\\"},
        {"C:\\運", "x", "C:\\運\\x"},
        {"C:\\運\\", "x", "C:\\運\\x"},
        {"C:\\", "運", "C:\\運"},
    };
    for (const JoinCase& c : cases) {
        SCOPED_TRACE(std::string(c.folder) + " + " + c.name);
        EXPECT_EQ(JoinPath(c.folder, c.name), c.joined);
    }
}

TEST(WithoutTrailingBackslashesTest, RemovesOnlySingleByteBackslashesAtTheEnd)
{
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\a\\\\", "C:\\a"},
        {"C:\\a", "C:\\a"},
        {"C:\\", "C:"},
        {"\\\\", ""},
        {"", ""},
        {"C:\\運", "C:\\運"},      // ends in byte 0x5C, which is no backslash
        {"C:\\運\\", "C:\\運"},
        {"a\\b\\", "a\\b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(WithoutTrailingBackslashes(c.first), c.second);
    }
}

// A folder the install may use: a drive's folder or a share's; the levels
// below start after the drive or the share.
TEST(FolderLevelsStartTest, AcceptsOnlyDriveAndShareFolders)
{
    const std::size_t none = std::string::npos;
    const std::pair<const char*, std::size_t> cases[] = {
        {"C:\\a", 3},
        {"z:\\運\\b", 3},
        {"C:\\", none},
        {"C:a", none},
        {"1:\\a", none},
        {"\\\\server\\share", 14},
        {"\\\\server\\share\\a", 15},
        {"\\\\server\\", none},
        {"\\\\\\share", none},
        {"\\\\server", none},
        {"\\a", none},
        {"a\\b", none},
        {"", none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(FolderLevelsStart(c.first), c.second);
        EXPECT_EQ(IsFullFolderPath(c.first), c.second != none);
    }
}

TEST(TrimBlanksTest, RemovesBlanksAtBothEndsOnly)
{
    const std::pair<const char*, const char*> cases[] = {
        {" \t1.2.0\r\n", "1.2.0"},
        {"a b", "a b"},
        {"\v\f \t", ""},
        {"", ""},
        {" 運 ", "運"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(TrimBlanks(c.first), c.second);
    }
}

TEST(GetPathFileNameTest, TakesTheTextAfterTheLastSeparator)
{
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\Program Files\\MrvACAD\\MrvCADSetup.exe", "MrvCADSetup.exe"},
        {"C:/x/y.txt", "y.txt"},
        {"C:setup.exe", "setup.exe"},
        {"setup.exe", "setup.exe"},
        {"C:\\dir\\", ""},
        {"C:\\a\\運", "運"},
        {"C:\\運\\誠.exe", "誠.exe"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(GetPathFileName(c.first), c.second);
    }
}

TEST(Cp936Test, CutsTextsAtCharacterBoundaries)
{
    const struct {
        std::string text;
        std::size_t limit;
        std::string cut;
    } cases[] = {
        {"運誠", 3, "運"},
        {"運誠", 4, "運誠"},
        {"ab運", 3, "ab"},
        {"運", 1, ""},
        {"abc", 10, "abc"},
        {"abc", 0, ""},
        {"ab\x81", 3, "ab\x81"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(CutText936(c.text, c.limit), c.cut);
    }
}

TEST(Cp936Test, SeparatorSearchesStepOverDoubleByteCharacters)
{
    const std::string text = "運\\誠\\";  // DF 5C 5C D5 5C 5C
    EXPECT_EQ(FindChar936(text, '\\'), 2u);
    EXPECT_EQ(FindChar936(text, '\\', 3), 5u);
    EXPECT_EQ(FindChar936(text, '\\', 1), 2u);  // from inside "運": its trail byte is no match
    EXPECT_EQ(FindChar936(text, '\\', 6), std::string::npos);
    EXPECT_EQ(FindChar936("運誠", '\\'), std::string::npos);
    EXPECT_EQ(FindLastOf936(text, "\\/"), 5u);
    EXPECT_EQ(FindLastOf936("a/運", "\\/"), 1u);
    EXPECT_EQ(FindLastOf936("運", "\\"), std::string::npos);
    EXPECT_TRUE(IsLeadByte936(0x81));
    EXPECT_TRUE(IsLeadByte936(0xFE));
    EXPECT_FALSE(IsLeadByte936(0x80));
    EXPECT_FALSE(IsLeadByte936(0xFF));
}

}  // namespace
