#include "product/ini_file.h"

#include <atomic>
#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "product/label_folders.h"

namespace {

namespace fs = std::filesystem;

// A folder of its own under the temporary folder, removed with its content.
class IniFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        static std::atomic<unsigned> serial{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        const std::string name = "mrv_ini_" + std::to_string(std::random_device{}()) + "_" +
                                 std::to_string(stamp) + "_" + std::to_string(++serial);
        folder_ = fs::temp_directory_path() / name;
        ASSERT_TRUE(fs::create_directory(folder_));
    }

    void TearDown() override
    {
        std::error_code error;
        fs::remove_all(folder_, error);
    }

    // Writes `content` byte for byte and returns the file's path as the product
    // code takes it.
    std::string WriteFile(const std::string& name, const std::string& content)
    {
        const fs::path path = folder_ / name;
        std::ofstream file(path, std::ios::binary);
        file << content;
        return path.string();
    }

    std::string MissingFile() const { return (folder_ / "missing.ini").string(); }

private:
    fs::path folder_;
};

struct LookupCase {
    const char* note;
    std::string content;
    const char* section;
    const char* key;
    bool found;
    std::string value;
};

TEST(FindIniValueTest, Lookup)
{
    const LookupCase cases[] = {
        {"plain", "[FrameParam]\nLEFTVIEW_COUNT=2\n", "FrameParam", "LEFTVIEW_COUNT", true, "2"},
        {"section and key in any case", "[frameparam]\nleftview_count=2\n", "FRAMEPARAM",
         "LeftView_Count", true, "2"},
        {"blanks around names and value", "  [ FrameParam ]  \n\t key \t=  a b  \n",
         "FrameParam", "key", true, "a b"},
        {"CR LF line ends", "[S]\r\nk=v\r\nk2=w\r\n", "S", "k2", true, "w"},
        {"no line end at the end", "[S]\nk=v", "S", "k", true, "v"},
        {"UTF-8 byte order mark", "\xEF\xBB\xBF[S]\nk=v\n", "S", "k", true, "v"},
        {"empty value", "[S]\nk=\n", "S", "k", true, ""},
        {"first key wins", "[S]\nk=1\nk=2\n", "S", "k", true, "1"},
        {"first section wins", "[S]\nk=1\n[S]\nk=2\n", "S", "k", true, "1"},
        {"repeated section adds keys", "[S]\na=1\n[T]\nk=0\n[s]\nk=2\n", "S", "k", true, "2"},
        {"value keeps later equals signs", "[S]\nk=a=b\n", "S", "k", true, "a=b"},
        {"double quotes removed", "[S]\nk=\" a \"\n", "S", "k", true, " a "},
        {"single quotes removed", "[S]\nk='a'\n", "S", "k", true, "a"},
        {"only one pair of quotes removed", "[S]\nk=\"\"a\"\"\n", "S", "k", true, "\"a\""},
        {"unmatched quotes kept", "[S]\nk=\"a'\n", "S", "k", true, "\"a'"},
        {"a lone quote kept", "[S]\nk=\"\n", "S", "k", true, "\""},
        {"comment line", "[S]\n;k=1\nk=2\n", "S", "k", true, "2"},
        {"semicolon inside a value kept", "[S]\nk=1;2\n", "S", "k", true, "1;2"},
        {"key in another section", "[S]\nk=1\n[T]\n", "T", "k", false, ""},
        {"key before any section", "k=1\n[S]\n", "S", "k", false, ""},
        {"line without equals sign", "[S]\nk\n", "S", "k", false, ""},
        {"missing section", "[S]\nk=1\n", "FrameParam", "k", false, ""},
        {"empty text", "", "S", "k", false, ""},
        {"key name is not a prefix", "[S]\nkey=1\n", "S", "k", false, ""},
        {"Chinese names and value", "[标签]\n路径=D:\\脚本\\\n", "标签", "路径", true,
         "D:\\脚本\\"},
        // 0x81 0x41 and 0x81 0x61 are two characters, not one letter in two cases.
        {"double-byte names compare exactly", "[S]\n\x81\x41=1\n", "S", "\x81\x61", false, ""},
        {"trail byte 0x5D does not close a section", "[\x81\x5Dx]\nk=1\n", "\x81\x5Dx", "k", true,
         "1"},
    };
    for (const LookupCase& c : cases) {
        std::string value = "untouched";
        EXPECT_EQ(FindIniValue(c.content, c.section, c.key, value), c.found) << c.note;
        EXPECT_EQ(value, c.found ? c.value : "untouched") << c.note;
    }
}

struct NumberCase {
    std::string stored;
    int value;
    int length;
};

TEST_F(IniFileTest, GetIntReadsAsAtoi)
{
    const NumberCase cases[] = {
        {"42", 42, 2},
        {"-7", -7, 2},
        {"+5", 5, 2},
        {"3x", 3, 2},
        {"x3", 0, 2},
        {"", 0, 0},
        {"99999999999999999999", INT_MAX, 20},
        {"-99999999999999999999", INT_MIN, 21},
        // Only 31 characters are looked at: the trailing 2 is cut off.
        {std::string(29, '0') + "12", 12, 31},
        {std::string(30, '0') + "12", 1, 31},
    };
    for (const NumberCase& c : cases) {
        CIniFile ini(WriteFile("n.ini", "[S]\nn=" + c.stored + "\n"));
        int value = 99;
        EXPECT_EQ(ini.GetInt("S", "n", 5, value), c.length) << c.stored;
        EXPECT_EQ(value, c.value) << c.stored;
    }
}

TEST_F(IniFileTest, GetIntDefaultWhenMissing)
{
    CIniFile ini(WriteFile("n.ini", "[S]\nother=1\n"));
    int value = 99;
    EXPECT_EQ(ini.GetInt("S", "n", -12, value), 3);
    EXPECT_EQ(value, -12);

    CIniFile missing(MissingFile());
    EXPECT_EQ(missing.GetInt("S", "n", 0, value), 1);
    EXPECT_EQ(value, 0);
}

struct StringCase {
    const char* note;
    std::string stored;
    std::string expected;
};

TEST_F(IniFileTest, GetStringCutsTo259Bytes)
{
    std::string chinese150;
    for (int i = 0; i < 150; ++i) {
        chinese150 += "墨";
    }
    const StringCase cases[] = {
        {"259 bytes kept", std::string(259, 'a'), std::string(259, 'a')},
        {"300 bytes cut", std::string(300, 'a'), std::string(259, 'a')},
        {"Chinese ending on byte 259", "a" + chinese150, "a" + chinese150.substr(0, 258)},
        {"Chinese character not split", chinese150, chinese150.substr(0, 258)},
        {"short Chinese title", "墨岚标签", "墨岚标签"},
    };
    for (const StringCase& c : cases) {
        CIniFile ini(WriteFile("s.ini", "[S]\ntitle=" + c.stored + "\n"));
        std::string value;
        EXPECT_EQ(ini.GetString("S", "title", "default", value),
                  static_cast<int>(c.expected.size()))
            << c.note;
        EXPECT_EQ(value, c.expected) << c.note;
    }
}

TEST_F(IniFileTest, GetStringDefaultWhenMissing)
{
    CIniFile ini(WriteFile("s.ini", "[S]\nother=1\n"));
    std::string value = "old";
    EXPECT_EQ(ini.GetString("S", "title", "default", value), 7);
    EXPECT_EQ(value, "default");

    CIniFile missing(MissingFile());
    EXPECT_EQ(missing.GetString("S", "title", "", value), 0);
    EXPECT_EQ(value, "");
}

TEST_F(IniFileTest, LabelFoldersFollowTheCallersEntries)
{
    const std::string path = WriteFile("Frame.ini",
                                       "[FrameParam]\r\n"
                                       "LEFTVIEW_COUNT=2\r\n"
                                       "LEFTVIEWSTATE_0_sStartPath=D:\\脚本\\\r\n"
                                       "LEFTVIEWSTATE_0_sTitle=墨岚脚本\r\n");
    TextList titles = {"用户路径"};
    TextList paths = {"C:\\Users\\me\\"};
    LoadLabelFolders(path, titles, paths);
    EXPECT_EQ(titles, (TextList{"用户路径", "墨岚脚本", ""}));
    EXPECT_EQ(paths, (TextList{"C:\\Users\\me\\", "D:\\脚本\\", ""}));
}

struct CountCase {
    const char* note;
    std::string countLine;
    std::size_t entries;
};

TEST_F(IniFileTest, LabelFolderCount)
{
    const CountCase cases[] = {
        {"zero", "LEFTVIEW_COUNT=0\n", 0},
        {"negative", "LEFTVIEW_COUNT=-3\n", 0},
        {"missing", "", 0},
        {"not a number", "LEFTVIEW_COUNT=x3\n", 0},
        {"leading digits", "LEFTVIEW_COUNT=3x\n", 3},
        {"more than stored", "LEFTVIEW_COUNT=4\n", 4},
        {"huge", "LEFTVIEW_COUNT=2000000000\n", static_cast<std::size_t>(kMaxLabelFolders)},
    };
    for (const CountCase& c : cases) {
        const std::string path = WriteFile("Frame.ini", "[FrameParam]\n" + c.countLine +
                                                            "LEFTVIEWSTATE_0_sTitle=A\n"
                                                            "LEFTVIEWSTATE_1_sTitle=B\n"
                                                            "LEFTVIEWSTATE_1_sStartPath=C:\\B\\\n");
        TextList titles;
        TextList paths;
        LoadLabelFolders(path, titles, paths);
        ASSERT_EQ(titles.size(), c.entries) << c.note;
        ASSERT_EQ(paths.size(), c.entries) << c.note;
        if (c.entries >= 2) {
            EXPECT_EQ(titles[0], "A") << c.note;
            EXPECT_EQ(paths[0], "") << c.note;
            EXPECT_EQ(titles[1], "B") << c.note;
            EXPECT_EQ(paths[1], "C:\\B\\") << c.note;
            EXPECT_EQ(titles.back(), "") << c.note;
            EXPECT_EQ(paths.back(), "") << c.note;
        }
    }
}

TEST_F(IniFileTest, MissingFrameIniLoadsNothing)
{
    TextList titles = {"用户路径"};
    TextList paths = {"C:\\"};
    LoadLabelFolders(MissingFile(), titles, paths);
    EXPECT_EQ(titles, TextList{"用户路径"});
    EXPECT_EQ(paths, TextList{"C:\\"});
}

}  // namespace
