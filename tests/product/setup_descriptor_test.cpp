#include "product/setup_descriptor.h"

#include <string>

#include <gtest/gtest.h>

namespace {

const char kDefaultUrl[] = "http://www.morvane.example/download.php?key=11";

struct DescriptorCase {
    const char* what;
    const char* text;
    SetupDescriptor expected;
};

SetupDescriptor Defaults()
{
    SetupDescriptor descriptor;
    descriptor.downloadUrl = kDefaultUrl;
    return descriptor;
}

SetupDescriptor With(const char* name, const char* names, const char* url)
{
    SetupDescriptor descriptor = Defaults();
    descriptor.displayName = name;
    descriptor.instanceNames = names;
    descriptor.downloadUrl = url;
    return descriptor;
}

SetupDescriptor SevenLines(const char* launchArguments)
{
    SetupDescriptor descriptor = With("新产品", "StartA SetupB", "http://mirror.example/p.zip");
    descriptor.setupFile = "Setup2.exe";
    descriptor.setupArguments = "quiet";
    descriptor.launchFile = "Launch.exe";
    descriptor.launchArguments = launchArguments;
    return descriptor;
}

void ExpectSame(const SetupDescriptor& actual, const SetupDescriptor& expected, const char* what)
{
    EXPECT_EQ(actual.displayName, expected.displayName) << what;
    EXPECT_EQ(actual.instanceNames, expected.instanceNames) << what;
    EXPECT_EQ(actual.downloadUrl, expected.downloadUrl) << what;
    EXPECT_EQ(actual.setupFile, expected.setupFile) << what;
    EXPECT_EQ(actual.setupArguments, expected.setupArguments) << what;
    EXPECT_EQ(actual.launchFile, expected.launchFile) << what;
    EXPECT_EQ(actual.launchArguments, expected.launchArguments) << what;
    EXPECT_EQ(actual.packageHashLine, expected.packageHashLine) << what;
    EXPECT_EQ(actual.packageHash, expected.packageHash) << what;
    EXPECT_EQ(actual.releaseVersion, expected.releaseVersion) << what;
    EXPECT_EQ(actual.lastDay, expected.lastDay) << what;
}

SetupDescriptor WithRelease(SetupDescriptor descriptor, const char* version, const char* lastDay)
{
    descriptor.releaseVersion = version;
    descriptor.lastDay = lastDay;
    return descriptor;
}

const char kSevenLines[] =
    "新产品\r\nStartA SetupB\r\nhttp://mirror.example/p.zip\r\nSetup2.exe\r\nquiet\r\n"
    "Launch.exe\r\nrun\r\n";
// SHA-256 of "abc".
const char kAbcHash[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

SetupDescriptor WithHash(PackageHashLine line)
{
    SetupDescriptor descriptor = SevenLines("run");
    descriptor.packageHashLine = line;
    if (line == kHashPresent) {
        descriptor.packageHash = {0xba, 0x78, 0x16, 0xbf, 0x8f, 0x01, 0xcf, 0xea, 0x41, 0x41, 0x40,
                                  0xde, 0x5d, 0xae, 0x22, 0x23, 0xb0, 0x03, 0x61, 0xa3, 0x96, 0x17,
                                  0x7a, 0x9c, 0xb4, 0x10, 0xff, 0x61, 0xf2, 0x00, 0x15, 0xad};
    }
    return descriptor;
}

TEST(SetupDescriptorTest, ApplySetupDescriptor)
{
    const DescriptorCase cases[] = {
        {"empty text keeps every default", "", Defaults()},
        {"three lines change name, instances and address; files keep defaults",
         "墨岚 新插件\r\nMrvStart MrvSetup\r\nhttp://mirror.example/MrvACAD.zip",
         With("墨岚 新插件", "MrvStart MrvSetup", "http://mirror.example/MrvACAD.zip")},
        {"an empty line inside is an empty value", "墨岚\r\n\r\nhttp://mirror.example/a.zip",
         With("墨岚", "", "http://mirror.example/a.zip")},
        {"one line changes the name only", "产品",
         With("产品", "MorvaneForAutoCADStart MorvaneForAutoCADSetup", kDefaultUrl)},
        {"seven lines change everything",
         "新产品\r\nStartA SetupB\r\nhttp://mirror.example/p.zip\r\nSetup2.exe\r\nquiet\r\n"
         "Launch.exe\r\nrun",
         SevenLines("run")},
        {"a line ending the text with nothing after it is no line",
         "新产品\r\nStartA SetupB\r\nhttp://mirror.example/p.zip\r\nSetup2.exe\r\nquiet\r\n"
         "Launch.exe\r\n",
         SevenLines("tessaly")},
        {"an empty seventh is an empty value; an empty eighth is no hash; a ninth is taken as it stands",
         "新产品\r\nStartA SetupB\r\nhttp://mirror.example/p.zip\r\nSetup2.exe\r\nquiet\r\n"
         "Launch.exe\r\n\r\n\r\nextra",
         WithRelease(SevenLines(""), "extra", "")},
        {"lines nine and ten without their blanks; later lines are ignored",
         "新产品\r\nStartA SetupB\r\nhttp://mirror.example/p.zip\r\nSetup2.exe\r\nquiet\r\n"
         "Launch.exe\r\nrun\r\n\r\n 2.2\t\r\n2026-03-31 \r\nmore",
         WithRelease(SevenLines("run"), "2.2", "2026-03-31")},
        {"a bare line feed does not end a line", "甲\n乙\r\nA",
         With("甲\n乙", "A", kDefaultUrl)},
    };
    for (const DescriptorCase& c : cases) {
        SetupDescriptor descriptor = Defaults();
        ApplySetupDescriptor(c.text, descriptor);
        ExpectSame(descriptor, c.expected, c.what);
    }
}

// The eighth line: 64 hex digits in either case, blanks around them allowed;
// anything else that is not blank is malformed and must not read as "no hash".
TEST(SetupDescriptorTest, PackageHashLine)
{
    const std::string abcUpper = "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD";
    const struct {
        std::string eighth;
        PackageHashLine line;
    } cases[] = {
        {kAbcHash, kHashPresent},
        {abcUpper, kHashPresent},
        {std::string(" \t") + kAbcHash + " ", kHashPresent},
        {std::string(kAbcHash) + "\r\n \t", kHashPresent},
        {" \t", kHashAbsent},
        {std::string(kAbcHash).substr(1), kHashMalformed},
        {std::string(kAbcHash) + "0", kHashMalformed},
        {std::string(kAbcHash).replace(10, 1, "g"), kHashMalformed},
        {std::string(kAbcHash).replace(10, 1, " "), kHashMalformed},
        {"sha256:" + std::string(kAbcHash), kHashMalformed},
        {"有", kHashMalformed},
    };
    for (const auto& c : cases) {
        SetupDescriptor descriptor = Defaults();
        ApplySetupDescriptor(kSevenLines + c.eighth, descriptor);
        ExpectSame(descriptor, WithHash(c.line), c.eighth.c_str());
    }
}

// The day as the clock gives it; only real dates of the calendar are days.
TEST(SetupDescriptorTest, CalendarDays)
{
    const struct {
        const char* text;
        CalendarDay day;  // 0: no day
    } cases[] = {
        {"2026-03-31", 20260331}, {"2024-02-29", 20240229}, {"2000-02-29", 20000229},
        {"1900-02-29", 0},        {"2026-02-29", 0},        {"2026-04-31", 0},
        {"2026-13-01", 0},        {"2026-00-10", 0},        {"2026-01-00", 0},
        {"0000-01-01", 0},        {"2026-3-31", 0},         {"2026/03/31", 0},
        {"2026-03-31x", 0},       {"+026-03-31", 0},        {"", 0},
    };
    for (const auto& c : cases) {
        CalendarDay day = 0;
        EXPECT_EQ(ParseCalendarDay(c.text, day), c.day != 0) << c.text;
        EXPECT_EQ(day, c.day) << c.text;
    }
}

// A signed description that names no release, an unreadable one, one whose
// last day has passed or one older than the installed product is refused;
// the same version reinstalls. Install media are not held to their last day.
TEST(SetupDescriptorTest, ReleaseLines)
{
    const CalendarDay today = 20260309;
    const struct {
        const char* version;
        const char* lastDay;
        const char* installed;
        ExpiryRule expiry;
        ReleaseCheck check;
        const char* message;  // none for kReleaseCurrent
    } cases[] = {
        {"2.2", "2026-03-09", "2.1", ExpiryRule::kChecked, kReleaseCurrent, nullptr},
        {"2.2", "2026-12-31", "2.2", ExpiryRule::kChecked, kReleaseCurrent, nullptr},
        {"2.2", "2026-12-31", "", ExpiryRule::kChecked, kReleaseCurrent, nullptr},
        {"10.0", "2026-12-31", "9.9", ExpiryRule::kChecked, kReleaseCurrent, nullptr},
        {"2.2", "2026-03-08", "2.1", ExpiryRule::kChecked, kReleaseExpired,
         "安装说明的有效期到 2026-03-08 (UTC) 为止，现已过期，安装已取消。\n\n如果系统日期不正确，请更正后重试。"},
        {"2.2", "2020-01-01", "2.1", ExpiryRule::kIgnored, kReleaseCurrent, nullptr},
        {"2.1", "2026-12-31", "2.2", ExpiryRule::kChecked, kReleaseOlderThanInstalled,
         "安装说明提供的版本 2.1 比已安装的版本 2.2 旧，安装已取消。"},
        {"2.1", "2020-01-01", "2.2", ExpiryRule::kIgnored, kReleaseOlderThanInstalled,
         "安装说明提供的版本 2.1 比已安装的版本 2.2 旧，安装已取消。"},
        {"", "2026-12-31", "2.1", ExpiryRule::kChecked, kReleaseLinesMissing, kReleaseLinesMissingText},
        {"2.2", "", "2.1", ExpiryRule::kIgnored, kReleaseLinesMissing, kReleaseLinesMissingText},
        {"2.x", "2026-12-31", "2.1", ExpiryRule::kChecked, kReleaseVersionMalformed,
         kReleaseVersionMalformedText},
        {"2..2", "2026-12-31", "2.1", ExpiryRule::kChecked, kReleaseVersionMalformed,
         kReleaseVersionMalformedText},
        {"v2.2", "2026-12-31", "2.1", ExpiryRule::kChecked, kReleaseVersionMalformed,
         kReleaseVersionMalformedText},
        {"2.2.", "2026-12-31", "2.1", ExpiryRule::kChecked, kReleaseVersionMalformed,
         kReleaseVersionMalformedText},
        {"2.2", "31.12.2026", "2.1", ExpiryRule::kIgnored, kLastDayMalformed, kLastDayMalformedText},
        {"2.2", "2026-02-30", "2.1", ExpiryRule::kChecked, kLastDayMalformed, kLastDayMalformedText},
    };
    for (const auto& c : cases) {
        const SetupDescriptor descriptor = WithRelease(Defaults(), c.version, c.lastDay);
        const std::string what = std::string(c.version) + " / " + c.lastDay + " / " + c.installed;
        EXPECT_EQ(CheckRelease(descriptor, c.installed, today, c.expiry), c.check) << what;
        EXPECT_EQ(ReleaseCheckText(c.check, descriptor, c.installed), c.message ? c.message : "")
            << what;
    }
}

}  // namespace

// The elevated program starts the setup and launch files from the install
// folder: only names below it pass, whatever the description says.
TEST(SetupDescriptorTest, ProgramNamesStayBelowTheInstallFolder)
{
    const struct {
        const char* setupFile;
        const char* launchFile;
        const char* unsafe;  // none: both pass
    } cases[] = {
        {"MrvCADSetup.exe", "MrvCADSetup.exe", nullptr},
        {"bin\\setup.exe", "bin/launch.exe", nullptr},
        {"墨岚\\安装.exe", "MrvCADSetup.exe", nullptr},
        {"..\\..\\Windows\\System32\\cmd.exe", "MrvCADSetup.exe", "..\\..\\Windows\\System32\\cmd.exe"},
        {"MrvCADSetup.exe", "bin\\..\\..\\x.exe", "bin\\..\\..\\x.exe"},
        {"C:\\Windows\\System32\\cmd.exe", "MrvCADSetup.exe", "C:\\Windows\\System32\\cmd.exe"},
        {"C:cmd.exe", "MrvCADSetup.exe", "C:cmd.exe"},
        {"\\Windows\\cmd.exe", "MrvCADSetup.exe", "\\Windows\\cmd.exe"},
        {"MrvCADSetup.exe", "/bin/sh", "/bin/sh"},
        {"\\\\server\\share\\x.exe", "MrvCADSetup.exe", "\\\\server\\share\\x.exe"},
        {"setup.exe:stream", "MrvCADSetup.exe", "setup.exe:stream"},
        {"MrvCADSetup.exe", "", ""},
        {".", "MrvCADSetup.exe", "."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.setupFile) + " | " + c.launchFile);
        SetupDescriptor descriptor;
        descriptor.setupFile = c.setupFile;
        descriptor.launchFile = c.launchFile;
        std::string name = "untouched";
        EXPECT_EQ(FindUnsafeProgramName(descriptor, name), c.unsafe != nullptr);
        EXPECT_EQ(name, c.unsafe != nullptr ? c.unsafe : "untouched");
    }
}
