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

// The shell's browser is a dialog of the test thread; a helper presses one of
// its buttons, and cancels the browser should that not end it.
void PressInBrowser(int command)
{
    const DWORD thread = GetCurrentThreadId();
    std::thread([thread, command] {
        HWND browser = WaitForThreadWindow(thread, L"#32770", nullptr);
        if (browser == nullptr) {
            return;
        }
        Sleep(100);
        PostMessageW(browser, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
        for (int i = 0; i < 100 && IsWindow(browser); ++i) {
            Sleep(20);
        }
        PostMessageW(browser, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }).detach();
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
    PressInBrowser(IDOK);
    EXPECT_EQ(picker.DoModal(), kFolderChosen);
    EXPECT_EQ(picker.GetFolder(), folder.Path());
}

TEST_F(FolderPickerTest, CancelChoosesNothing)
{
    CFolderPicker picker("选择目录", folder.Path(), host.Hwnd());
    PressInBrowser(IDCANCEL);
    EXPECT_EQ(picker.DoModal(), kFolderNotChosen);
    EXPECT_EQ(picker.GetFolder(), folder.Path());
}

// Without a starting folder, or with one that is gone, the browser stays at
// the computer's drives, which have no file-system path.
TEST_F(FolderPickerTest, OkAtTheRootChoosesNothing)
{
    for (const char* start : {"", "C:\\mrv_no_such_folder\\below"}) {
        CFolderPicker picker("选择目录", start, host.Hwnd());
        PressInBrowser(IDOK);
        EXPECT_EQ(picker.DoModal(), kFolderNotChosen) << start;
        EXPECT_EQ(picker.GetFolder(), start);
    }
}

}  // namespace
