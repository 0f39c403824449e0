// The dialog templates as the user gets them: every control with its id,
// class, text, style and position, the texts read back as UTF-16.
#include <gtest/gtest.h>

#include <string>

#include <windows.h>
#include <commctrl.h>

#include "framework/controls.h"
#include "res/resource.h"
#include "tests/framework/ui_test_support.h"

namespace {

struct ControlLayout {
    int id;  // IDC_STATIC: found by its text
    const wchar_t* className;
    const wchar_t* text;  // null: not compared
    int left, top, width, height;
    bool visible;
    LONG_PTR styleMask;
    LONG_PTR styleValue;
    bool fixedHeight;  // a drop-down list's template height is its open list
};

constexpr LONG_PTR kButtonType = BS_TYPEMASK;
constexpr LONG_PTR kStaticType = SS_TYPEMASK;

const ControlLayout kInstallWindow[] = {
    {IDC_WEB_PLACEHOLDER, L"Edit", L"", 0, 0, 349, 96, true, 0, 0, true},
    {IDC_BACKDROP, L"Static", nullptr, 379, 7, 171, 171, true, kStaticType | SS_REALSIZECONTROL,
     SS_BITMAP | SS_REALSIZECONTROL, true},
    {IDC_ANIMATION, L"SysAnimate32", nullptr, 81, 360, 192, 32, false, ACS_TRANSPARENT,
     ACS_TRANSPARENT, true},
    {IDC_FRAME_SCRIPT, L"Button", L"", 1, 93, 346, 122, false, kButtonType, BS_GROUPBOX, true},
    {IDC_FRAME_DOWNLOAD, L"Button", L"", 365, 332, 346, 122, false, kButtonType, BS_GROUPBOX, true},
    {IDC_FRAME_INSTALL, L"Button", L"", 365, 190, 346, 122, false, kButtonType, BS_GROUPBOX, true},
    {IDC_FRAME_FINISH, L"Button", L"", 2, 233, 346, 122, false, kButtonType, BS_GROUPBOX, true},
    {IDC_STATIC, L"Static", L"脚本安装在", 12, 124, 41, 10, true, kStaticType, SS_LEFT, true},
    // A combo box keeps no scroll bar style of its own; its list takes it.
    {IDC_SCRIPT_TARGETS, L"ComboBox", nullptr, 56, 121, 260, 100, true, CBS_DROPDOWNLIST,
     CBS_DROPDOWNLIST, false},
    {IDC_PICK_TARGET, L"Button", L"", 317, 120, 15, 15, true, kButtonType, BS_PUSHBUTTON, true},
    {IDC_INSTALL_TOOLBAR, L"Button", L"安装脚本包内工具条", 253, 199, 86, 10, true, kButtonType,
     BS_AUTOCHECKBOX, true},
    {IDC_INSTALL_SCRIPTS, L"Button", L"安装脚本", 131, 151, 100, 29, true, kButtonType,
     BS_PUSHBUTTON, true},
    {IDC_STATIC, L"Static", L"安装在", 381, 221, 25, 8, true, kStaticType, SS_LEFT, true},
    {IDC_INSTALL_FOLDER, L"Button", L"", 415, 218, 274, 14, true, kButtonType, BS_PUSHBUTTON, true},
    {IDC_INSTALL_NOW, L"Button", L"立即安装", 495, 249, 100, 29, true, kButtonType, BS_PUSHBUTTON,
     true},
    {IDC_VERSION_TEXT, L"Static", L"", 381, 297, 158, 8, true, kStaticType, SS_LEFT, true},
    {IDC_LICENCE_ACCEPTED, L"Button", L"已阅读并同意", 605, 296, 60, 10, true, kButtonType,
     BS_AUTOCHECKBOX, true},
    {IDC_LICENCE_LINK, L"Static", L"许可协议", 667, 296, 33, 10, true, kStaticType | SS_NOTIFY,
     SS_LEFT | SS_NOTIFY, true},
    {IDC_STATUS_TEXT, L"Static", L"", 379, 353, 317, 8, false, kStaticType, SS_LEFT, true},
    {IDC_SOURCE_TEXT, L"Static", L"", 379, 366, 318, 8, true, kStaticType, SS_LEFT, true},
    {IDC_PROGRESS, L"msctls_progress32", nullptr, 379, 382, 319, 8, true, PBS_SMOOTH, PBS_SMOOTH,
     true},
    {IDC_TIME_LEFT_CAPTION, L"Static", L"估计剩余时间:", 379, 397, 60, 8, true, kStaticType,
     SS_LEFT, true},
    {IDC_TIME_LEFT, L"Static", L"", 451, 397, 142, 8, true, kStaticType, SS_LEFT, true},
    {IDC_RATE_CAPTION, L"Static", L"传输速度:", 379, 410, 43, 8, true, kStaticType, SS_LEFT, true},
    {IDC_RATE, L"Static", L"", 452, 410, 141, 8, true, kStaticType, SS_LEFT, true},
    {IDC_CANCEL_INSTALL, L"Button", L"取消", 645, 426, 50, 14, true, kButtonType, BS_PUSHBUTTON,
     true},
    {IDC_FINISH, L"Button", L"安装成功", 131, 296, 100, 29, true, kButtonType, BS_PUSHBUTTON, true},
    {IDC_START_PRODUCT, L"Button", L"立即启动墨岚岱文", 253, 339, 80, 10, true, kButtonType,
     BS_AUTOCHECKBOX, true},
    {IDC_UNINSTALL, L"Button", L"准备卸载", 131, 259, 100, 29, false, kButtonType, BS_PUSHBUTTON,
     true},
};

const ControlLayout kOverwritePrompt[] = {
    {IDC_QUESTION, L"Static", L"a\nb\nc", 70, 17, 274, 56, true, kStaticType, SS_LEFT, true},
    {IDC_OVERWRITE, L"Button", L"覆盖(&O)", 39, 106, 53, 17, true, kButtonType, BS_DEFPUSHBUTTON,
     true},
    {IDC_OVERWRITE_ALL, L"Button", L"全部覆盖(&A)", 103, 106, 53, 17, true, kButtonType,
     BS_PUSHBUTTON, true},
    {IDC_SKIP, L"Button", L"跳过(&S)", 167, 106, 53, 17, true, kButtonType, BS_PUSHBUTTON, true},
    {IDC_SKIP_ALL, L"Button", L"全部跳过(&K)", 231, 106, 53, 17, true, kButtonType, BS_PUSHBUTTON,
     true},
    {IDCANCEL, L"Button", L"取消(&C)", 295, 106, 53, 17, true, kButtonType, BS_PUSHBUTTON, true},
};

std::wstring ClassOf(HWND window)
{
    wchar_t name[128] = {};
    GetClassNameW(window, name, 128);
    std::wstring text = name;
    // Classes of a versioned common-controls library may carry its version.
    const std::size_t bang = text.rfind(L'!');
    return bang == std::wstring::npos ? text : text.substr(bang + 1);
}

void ExpectLayout(HWND dialog, const ControlLayout& control)
{
    SCOPED_TRACE(control.id);
    HWND window = control.id == IDC_STATIC ? FindChildByText(dialog, control.text)
                                           : GetDlgItem(dialog, control.id);
    ASSERT_NE(window, nullptr) << control.id;
    EXPECT_EQ(_wcsicmp(ClassOf(window).c_str(), control.className), 0) << control.id;
    if (control.text != nullptr) {
        EXPECT_EQ(WindowTextOf(window), control.text) << control.id;
    }
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    EXPECT_EQ((style & WS_VISIBLE) != 0, control.visible) << control.id;
    EXPECT_EQ(style & control.styleMask, control.styleValue) << control.id;
    const RECT expected =
        DialogUnitsToPixels(dialog, control.left, control.top, control.width, control.height);
    const RECT actual = RectInClient(window, dialog);
    EXPECT_EQ(actual.left, expected.left) << control.id;
    EXPECT_EQ(actual.top, expected.top) << control.id;
    EXPECT_EQ(actual.right, expected.right) << control.id;
    if (control.fixedHeight) {
        EXPECT_EQ(actual.bottom, expected.bottom) << control.id;
    }
}

void ExpectClientSize(HWND dialog, int width, int height)
{
    const RECT expected = DialogUnitsToPixels(dialog, 0, 0, width, height);
    RECT client{};
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, expected.right);
    EXPECT_EQ(client.bottom, expected.bottom);
}

class DialogTemplateTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(InitControlClasses()); }
};

TEST_F(DialogTemplateTest, InstallWindowHasEveryControlInPlace)
{
    bool probed = false;
    CProbeDialog dialog(IDD_INSTALL, [&](CProbeDialog& self) {
        HWND window = self.Hwnd();
        probed = true;
        EXPECT_EQ(WindowTextOf(window), L"安装 - 墨岚岱文 Morvane Tessaly");
        const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
        const LONG_PTR wanted = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME;
        EXPECT_EQ(style & wanted, wanted);
        EXPECT_NE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
        ExpectClientSize(window, 727, 485);
        for (const ControlLayout& control : kInstallWindow) {
            ExpectLayout(window, control);
        }
        EXPECT_EQ(GetDlgItem(window, IDOK), nullptr);
        EXPECT_EQ(GetDlgItem(window, IDCANCEL), nullptr);
        EXPECT_NE(SendDlgItemMessageW(window, IDC_BACKDROP, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
        self.EndDialog(IDOK);
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_TRUE(probed);
}

TEST_F(DialogTemplateTest, OverwritePromptHasEveryControlInPlace)
{
    bool probed = false;
    CProbeDialog dialog(IDD_OVERWRITE, [&](CProbeDialog& self) {
        HWND window = self.Hwnd();
        probed = true;
        EXPECT_EQ(WindowTextOf(window), L"安装 - 墨岚岱文 Morvane Tessaly");
        const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
        const LONG_PTR wanted = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
        EXPECT_EQ(style & wanted, wanted);
        EXPECT_EQ(style & WS_MINIMIZEBOX, 0);
        ExpectClientSize(window, 361, 127);
        for (const ControlLayout& control : kOverwritePrompt) {
            ExpectLayout(window, control);
        }
        EXPECT_EQ(SendMessageW(window, DM_GETDEFID, 0, 0), MAKELRESULT(IDC_OVERWRITE, DC_HASDEFID));

        HWND icon = GetWindow(window, GW_CHILD);
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(GetWindowLongPtrW(icon, GWL_STYLE) & (kStaticType | SS_REALSIZEIMAGE),
                  SS_ICON | SS_REALSIZEIMAGE);
        const RECT place = DialogUnitsToPixels(window, 16, 15, 20, 20);
        const RECT actual = RectInClient(icon, window);
        EXPECT_EQ(actual.left, place.left);
        EXPECT_EQ(actual.top, place.top);
        ICONINFO info{};
        HICON image = reinterpret_cast<HICON>(SendMessageW(icon, STM_GETICON, 0, 0));
        ASSERT_NE(image, nullptr);
        ASSERT_TRUE(GetIconInfo(image, &info));
        BITMAP bitmap{};
        GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap);
        EXPECT_EQ(bitmap.bmWidth, 32);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        self.EndDialog(IDOK);
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_TRUE(probed);
}

// The pictures of the program, loaded as the window loads them.
TEST(ImageResources, EveryIconAndTheBackgroundLoad)
{
    const int icons[] = {IDI_APP, IDI_FINISH, IDI_BROWSE_TARGET, IDI_INSTALL_SCRIPTS,
                         IDI_INSTALL, IDI_CANCEL, IDI_UNINSTALL, IDI_OVERWRITE_QUESTION};
    HINSTANCE module = GetModuleHandleW(nullptr);
    for (int id : icons) {
        SCOPED_TRACE(id);
        EXPECT_NE(LoadIconW(module, MAKEINTRESOURCEW(id)), nullptr);
        HANDLE small = LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, 0);
        EXPECT_NE(small, nullptr);
        DestroyIcon(static_cast<HICON>(small));
    }
    HANDLE backdrop = LoadImageW(module, MAKEINTRESOURCEW(IDB_BACKDROP), IMAGE_BITMAP, 0, 0,
                                 LR_CREATEDIBSECTION);
    ASSERT_NE(backdrop, nullptr);
    BITMAP bitmap{};
    GetObjectW(backdrop, sizeof(bitmap), &bitmap);
    EXPECT_EQ(bitmap.bmBitsPixel, 24);
    DeleteObject(backdrop);
}

}  // namespace
