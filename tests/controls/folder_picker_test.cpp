#include "controls/folder_picker.h"

#include <gtest/gtest.h>

#include "tests/controls/control_host.h"
#include "tests/framework/ui_test_support.h"

namespace {

// A fresh folder, removed at the end. Not under the temporary folder: the
// browser's tree does not show hidden folders, and Wine's Temp is one.
class TempFolder {
public:
    TempFolder()
    {
        path_ = L"C:\\mrv_picker_" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() { RemoveDirectoryW(path_.c_str()); }
    std::string Path() const { return NarrowText(path_); }

private:
    std::wstring path_;
};

// Runs the picker while a helper presses `command` in the shell's browser once
// it shows; true when that press ended the browser (the helper cancels it
// otherwise, so that the test cannot hang).
bool RunPressing(CFolderPicker& picker, int command, int& result)
{
    CWindowDriver driver(L"#32770", nullptr, [command](HWND browser) {
        PostMessageW(browser, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
    });
    result = picker.DoModal();
    return driver.Finish();
}

class FolderPickerTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(host.Create()); }

    CControlHost host;
    TempFolder folder;
};

TEST_F(FolderPickerTest, OkChoosesTheStartingFolder)
{
    CFolderPicker picker("选择目录", folder.Path(), host.Hwnd());
    int result = 0;
    EXPECT_TRUE(RunPressing(picker, IDOK, result));
    EXPECT_EQ(result, kFolderChosen);
    EXPECT_EQ(picker.GetFolder(), folder.Path());
}

TEST_F(FolderPickerTest, CancelChoosesNothing)
{
    CFolderPicker picker("选择目录", folder.Path(), host.Hwnd());
    int result = 0;
    EXPECT_TRUE(RunPressing(picker, IDCANCEL, result));
    EXPECT_EQ(result, kFolderNotChosen);
    EXPECT_EQ(picker.GetFolder(), folder.Path());
}

// Without a starting folder, or with one that is gone, the browser stays at
// the computer's drives, which have no file-system path.
TEST_F(FolderPickerTest, OkAtTheRootChoosesNothing)
{
    for (const char* start : {"", "C:\\mrv_no_such_folder\\below"}) {
        CFolderPicker picker("选择目录", start, host.Hwnd());
        int result = 0;
        EXPECT_TRUE(RunPressing(picker, IDOK, result)) << start;
        EXPECT_EQ(result, kFolderNotChosen) << start;
        EXPECT_EQ(picker.GetFolder(), start);
    }
}

}  // namespace
