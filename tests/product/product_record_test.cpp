#include "product/product_record.h"

#include <string>

#include <gtest/gtest.h>

#include "tests/bench/registry_fixture.h"
#include "util/file_system.h"
#include "util/wide_text.h"

namespace {

const char kVendorKey[] = "Software\\Morvane\\";

// The registry fixture plus a fresh folder under the temporary folder, removed
// with its content after the test.
class ProductRecordTest : public RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        static unsigned serial = 0;
        wchar_t temp[MAX_PATH + 1];
        ASSERT_NE(GetTempPathW(MAX_PATH + 1, temp), 0u);
        folder_ = std::wstring(temp) + L"mrv_product_" + std::to_wstring(GetCurrentProcessId()) +
                  L"_" + std::to_wstring(GetTickCount()) + L"_" + std::to_wstring(++serial);
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
    }

    void TearDown() override
    {
        DeleteFolderTree(NarrowText(folder_));
        RegistryFixture::TearDown();
    }

    // A folder below the test's folder, made with its missing parents.
    std::wstring MakeFolder(const std::wstring& relative)
    {
        std::wstring path = folder_;
        std::size_t start = 0;
        while (start <= relative.size()) {
            std::size_t end = relative.find(L'\\', start);
            if (end == std::wstring::npos) {
                end = relative.size();
            }
            path += L"\\" + relative.substr(start, end - start);
            CreateDirectoryW(path.c_str(), nullptr);
            start = end + 1;
        }
        return path;
    }

    static bool FolderExists(const std::wstring& path)
    {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

    std::wstring folder_;
};

// Makes a folder the current one for the lifetime of the object.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::wstring& folder)
    {
        wchar_t previous[MAX_PATH + 1];
        if (GetCurrentDirectoryW(MAX_PATH + 1, previous) != 0) {
            previous_ = previous;
        }
        EXPECT_TRUE(SetCurrentDirectoryW(folder.c_str()));
    }
    ~CurrentFolder() { SetCurrentDirectoryW(previous_.c_str()); }
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;

private:
    std::wstring previous_;
};

struct ProductKeyCase {
    const char* note;
    bool writeCurVer;
    const wchar_t* curVer;
    const char* productKey;
    const char* installPath;
};

TEST_F(ProductRecordTest, CurrentProductKeyChoosesWhereTheRecordIsRead)
{
    const ProductKeyCase cases[] = {
        {"CurVer missing", false, L"", "MrvCAD", "C:\\Default\\"},
        {"CurVer empty", true, L"", "MrvCAD", "C:\\Default\\"},
        {"CurVer names a product", true, L"MrvCAD2", "MrvCAD2", "C:\\Second\\"},
        {"CurVer names a key that is missing", true, L"MrvCAD9", "MrvCAD9", ""},
        {"Chinese product key", true, L"墨岚", "墨岚", "C:\\墨岚\\"},
    };
    for (const ProductKeyCase& c : cases) {
        ASSERT_TRUE(RemoveVendorKeys());
        ASSERT_TRUE(WriteText(L"MrvCAD", L"InstallPath", L"C:\\Default\\"));
        ASSERT_TRUE(WriteText(L"MrvCAD2", L"InstallPath", L"C:\\Second\\"));
        ASSERT_TRUE(WriteText(L"墨岚", L"InstallPath", L"C:\\墨岚\\"));
        if (c.writeCurVer) {
            ASSERT_TRUE(WriteText(L"", L"CurVer", c.curVer));
        }
        EXPECT_EQ(GetCurrentProductKey(), c.productKey) << c.note;
        EXPECT_EQ(GetInstallPath(), c.installPath) << c.note;
    }
}

TEST_F(ProductRecordTest, NoRecordMeansNotInstalled)
{
    // A script library path relative to the current folder would be created here.
    const CurrentFolder current(folder_);

    const auto expectNotInstalled = [this](const char* state) {
        EXPECT_EQ(GetInstallPath(), "") << state;
        EXPECT_FALSE(IsProductInstalled()) << state;
        EXPECT_EQ(GetScriptLibraryPath(), "") << state;
        EXPECT_EQ(GetFrameIniPath(), "Support\\Location\\Frame.ini") << state;
        EXPECT_FALSE(FolderExists(folder_ + L"\\Library")) << state;
    };
    expectNotInstalled("no vendor key");
    EXPECT_EQ(GetInstalledVersion(), "");

    ASSERT_TRUE(WriteText(L"MrvCAD", L"Version", L"2.1"));
    expectNotInstalled("product key without InstallPath");
    EXPECT_EQ(GetInstalledVersion(), "2.1");
}

struct InstallPathCase {
    const char* note;
    std::wstring stored;
    bool installed;
    std::string frameIni;
};

TEST_F(ProductRecordTest, InstallPathIsUsedAsStored)
{
    const std::wstring product = MakeFolder(L"Prod");
    const std::string narrow = NarrowText(product);
    const std::wstring file = folder_ + L"\\marker.txt";
    HANDLE marker = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(marker, INVALID_HANDLE_VALUE);
    CloseHandle(marker);

    const InstallPathCase cases[] = {
        {"trailing backslash", product + L"\\", true,
         narrow + "\\Support\\Location\\Frame.ini"},
        {"two trailing backslashes", product + L"\\\\", true,
         narrow + "\\\\Support\\Location\\Frame.ini"},
        {"no trailing backslash", product, true, narrow + "Support\\Location\\Frame.ini"},
        {"folder missing", product + L"X\\", false, narrow + "X\\Support\\Location\\Frame.ini"},
        {"only backslashes", L"\\\\", false, "\\\\Support\\Location\\Frame.ini"},
        {"a file counts", file + L"\\", true,
         NarrowText(file) + "\\Support\\Location\\Frame.ini"},
    };
    for (const InstallPathCase& c : cases) {
        ASSERT_TRUE(WriteText(L"MrvCAD", L"InstallPath", c.stored));
        EXPECT_EQ(GetInstallPath(), NarrowText(c.stored)) << c.note;
        EXPECT_EQ(IsProductInstalled(), c.installed) << c.note;
        EXPECT_EQ(GetFrameIniPath(), c.frameIni) << c.note;
    }
}

TEST_F(ProductRecordTest, ChineseInstallPath)
{
    // In code page 936 the last character, 運, ends in byte 0x5C, the code of a backslash.
    const std::wstring product = MakeFolder(L"墨岚岱文\\運");
    const std::string narrow = NarrowText(product);
    ASSERT_EQ(narrow.back(), '\\');

    const std::wstring stored[] = {product + L"\\", product};
    for (const std::wstring& installPath : stored) {
        ASSERT_TRUE(WriteText(L"MrvCAD", L"InstallPath", installPath));
        EXPECT_EQ(GetInstallPath(), NarrowText(installPath));
        EXPECT_TRUE(IsProductInstalled()) << NarrowText(installPath);
    }

    ASSERT_TRUE(WriteText(L"MrvCAD", L"InstallPath", product + L"\\"));
    MakeFolder(L"墨岚岱文\\運\\Library");
    EXPECT_EQ(GetFrameIniPath(), narrow + "\\Support\\Location\\Frame.ini");
    EXPECT_EQ(GetScriptLibraryPath(), narrow + "\\Library\\Script\\");
    EXPECT_TRUE(FolderExists(product + L"\\Library\\Script"));
}

TEST_F(ProductRecordTest, ScriptLibraryIsCreatedOneLevelDeep)
{
    const std::wstring product = MakeFolder(L"Prod");
    const std::string expected = NarrowText(product) + "\\Library\\Script\\";
    ASSERT_TRUE(WriteText(L"MrvCAD", L"InstallPath", product + L"\\"));

    // Without Library the folder cannot be made, and that is no error.
    EXPECT_EQ(GetScriptLibraryPath(), expected);
    EXPECT_FALSE(FolderExists(product + L"\\Library"));

    MakeFolder(L"Prod\\Library");
    EXPECT_EQ(GetScriptLibraryPath(), expected);
    EXPECT_TRUE(FolderExists(product + L"\\Library\\Script"));

    EXPECT_EQ(GetScriptLibraryPath(), expected);
}

TEST_F(ProductRecordTest, RecordIsReadAfreshAtEveryCall)
{
    EXPECT_EQ(GetInstalledVersion(), "");
    ASSERT_TRUE(WriteText(L"MrvCAD", L"Version", L"2.1"));
    EXPECT_EQ(GetInstalledVersion(), "2.1");
    ASSERT_TRUE(WriteText(L"MrvCAD", L"Version", L"2.2"));
    EXPECT_EQ(GetInstalledVersion(), "2.2");
    ASSERT_TRUE(WriteText(L"", L"CurVer", L"Other"));
    EXPECT_EQ(GetInstalledVersion(), "");
}

std::wstring Repeat(const std::wstring& piece, int times)
{
    std::wstring text;
    for (int i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

struct LengthCase {
    const char* note;
    std::wstring stored;
    bool fits;
};

TEST_F(ProductRecordTest, ValuesOf260BytesOrMoreFail)
{
    const LengthCase cases[] = {
        {"259 single bytes", Repeat(L"a", 259), true},
        {"260 single bytes", Repeat(L"a", 260), false},
        {"129 Chinese characters and one letter: 259 bytes", Repeat(L"墨", 129) + L"a", true},
        {"130 Chinese characters: 260 bytes", Repeat(L"墨", 130), false},
        {"258 letters and a Chinese character: 260 bytes", Repeat(L"a", 258) + L"墨", false},
        {"empty", L"", true},
    };
    for (const LengthCase& c : cases) {
        ASSERT_TRUE(WriteText(L"MrvCAD", L"Version", c.stored));
        std::string value = "unchanged";
        const LONG status =
            ReadRegistryString(HKEY_LOCAL_MACHINE, "Software\\Morvane\\MrvCAD", "Version", value, kRegistryView32);
        if (c.fits) {
            EXPECT_EQ(status, ERROR_SUCCESS) << c.note;
            EXPECT_EQ(value, NarrowText(c.stored)) << c.note;
            EXPECT_EQ(GetInstalledVersion(), NarrowText(c.stored)) << c.note;
        } else {
            EXPECT_EQ(status, ERROR_MORE_DATA) << c.note;
            EXPECT_EQ(value, "unchanged") << c.note;
            EXPECT_EQ(GetInstalledVersion(), "") << c.note;
        }
    }
}

TEST_F(ProductRecordTest, MissingKeyOrValueLeavesTheOutputAlone)
{
    std::string value = "unchanged";
    EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, "Software\\Morvane", "CurVer", value, kRegistryView32),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(value, "unchanged");

    ASSERT_TRUE(WriteText(L"", L"Other", L"x"));
    EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, "Software\\Morvane", "CurVer", value, kRegistryView32),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(value, "unchanged");
}

struct StoredTypeCase {
    const char* note;
    DWORD type;
    std::wstring data;
    DWORD byteCount;
    std::string expected;
};

TEST_F(ProductRecordTest, StoredTypeIsIgnored)
{
    const std::wstring expandable = L"%TEMP%\\墨";
    const std::wstring unterminated = L"2.1";
    const std::wstring multi(L"first\0second\0", 13);
    const StoredTypeCase cases[] = {
        {"expandable text is not expanded", REG_EXPAND_SZ, expandable,
         static_cast<DWORD>((expandable.size() + 1) * sizeof(wchar_t)), "%TEMP%\\墨"},
        {"text without terminator", REG_SZ, unterminated,
         static_cast<DWORD>(unterminated.size() * sizeof(wchar_t)), "2.1"},
        {"multi-text gives its first text", REG_MULTI_SZ, multi,
         static_cast<DWORD>((multi.size() + 1) * sizeof(wchar_t)), "first"},
        // Other types are bytes: the text ends at the first zero byte.
        {"binary data are the text's bytes", REG_BINARY, std::wstring(L"\x3A43\x005C", 2), 3,
         "C:\\"},
        {"binary data end at a zero byte", REG_BINARY, L"ab", 3, "a"},
        {"a number's bytes", REG_DWORD, std::wstring(L"\x0032\x0000", 2), 4, "2"},
    };
    for (const StoredTypeCase& c : cases) {
        ASSERT_TRUE(WriteData(L"MrvCAD", L"InstallPath", c.type, c.data.c_str(), c.byteCount))
            << c.note;
        std::string value;
        EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, std::string(kVendorKey) + "MrvCAD",
                                     "InstallPath", value, kRegistryView32),
                  ERROR_SUCCESS)
            << c.note;
        EXPECT_EQ(value, c.expected) << c.note;
    }
}

TEST_F(ProductRecordTest, ViewFlagChoosesTheRegistryView)
{
    ASSERT_TRUE(WriteText(L"MrvCAD", L"Version", L"32-bit", RegistryView::Bit32));
    ASSERT_TRUE(WriteText(L"MrvCAD", L"Version", L"64-bit", RegistryView::Bit64));
    const std::string key = std::string(kVendorKey) + "MrvCAD";

    std::string value;
    EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, key, "Version", value, kRegistryView64),
              ERROR_SUCCESS);
    EXPECT_EQ(value, "64-bit");
    EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, key, "Version", value, kRegistryView32), ERROR_SUCCESS);
    EXPECT_EQ(value, "32-bit");
    EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, key, "Version", value, static_cast<RegistryReadView>(2)), ERROR_SUCCESS);
    EXPECT_EQ(value, "32-bit");
    EXPECT_EQ(GetInstalledVersion(), "32-bit");
}

TEST(ModulePathTest, NamesTheRunningProgram)
{
    const std::string folder = GetModuleFolder();
    const std::string name = GetOwnFileName();
    EXPECT_EQ(name, "platform_tests.exe");
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '\\');
    EXPECT_EQ(folder.find(name), std::string::npos);
    EXPECT_TRUE(PathExists(folder + name));
}

}  // namespace
