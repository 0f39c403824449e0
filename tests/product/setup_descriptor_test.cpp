#include "product/setup_descriptor.h"

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
        {"lines past the seventh are ignored; an empty seventh is an empty value",
         "新产品\r\nStartA SetupB\r\nhttp://mirror.example/p.zip\r\nSetup2.exe\r\nquiet\r\n"
         "Launch.exe\r\n\r\nextra\r\nmore",
         SevenLines("")},
        {"a bare line feed does not end a line", "甲\n乙\r\nA",
         With("甲\n乙", "A", kDefaultUrl)},
    };
    for (const DescriptorCase& c : cases) {
        SetupDescriptor descriptor = Defaults();
        ApplySetupDescriptor(c.text, descriptor);
        ExpectSame(descriptor, c.expected, c.what);
    }
}

}  // namespace
