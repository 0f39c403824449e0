// The dialog templates as the user gets them: every control that the code
// binds, with its class, text and style, the texts read back as UTF-16, and a
// layout that keeps every control in view and apart from the others. (The
// install window's pages and their geometry are tested with the window.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "framework/controls.h"
#include "res/resource.h"
#include "tests/framework/ui_test_support.h"

namespace {

struct ControlTemplate {
    int id;  // IDC_STATIC: found by its text
    const wchar_t* className;
    const wchar_t* text;  // null: not compared
    bool visible;
    LONG_PTR styleMask;
    LONG_PTR styleValue;
};

constexpr LONG_PTR kButtonType = BS_TYPEMASK;
constexpr LONG_PTR kStaticType = SS_TYPEMASK;

const ControlTemplate kInstallWindow[] = {
    {IDC_WEB_PLACEHOLDER, L"Edit", L"", true, 0, 0},
    {IDC_BACKDROP, L"Static", nullptr, true, kStaticType | SS_REALSIZECONTROL, SS_BITMAP | SS_REALSIZECONTROL},
    // The animation's placeholder, with the animation's text and styles.
    {IDC_ANIMATION, L"Static", L"Animate1", false, ACS_TRANSPARENT | WS_TABSTOP, ACS_TRANSPARENT | WS_TABSTOP},
    {IDC_FRAME_SCRIPT, L"Button", L"", false, kButtonType, BS_GROUPBOX},
    {IDC_FRAME_DOWNLOAD, L"Button", L"", false, kButtonType, BS_GROUPBOX},
    {IDC_FRAME_INSTALL, L"Button", L"", false, kButtonType, BS_GROUPBOX},
    {IDC_FRAME_FINISH, L"Button", L"", false, kButtonType, BS_GROUPBOX},
    {IDC_STATIC, L"Static", L"脚本安装在", true, kStaticType, SS_LEFT},
    // A combo box keeps no scroll bar style of its own; its list takes it.
    {IDC_SCRIPT_TARGETS, L"ComboBox", nullptr, true, CBS_DROPDOWNLIST, CBS_DROPDOWNLIST},
    {IDC_PICK_TARGET, L"Button", L"", true, kButtonType, BS_PUSHBUTTON},
    {IDC_INSTALL_TOOLBAR, L"Button", L"安装脚本包内工具条", true, kButtonType, BS_AUTOCHECKBOX},
    {IDC_INSTALL_SCRIPTS, L"Button", L"安装脚本", true, kButtonType, BS_PUSHBUTTON},
    {IDC_STATIC, L"Static", L"安装在", true, kStaticType, SS_LEFT},
    {IDC_INSTALL_FOLDER, L"Button", L"", true, kButtonType, BS_PUSHBUTTON},
    {IDC_INSTALL_NOW, L"Button", L"立即安装", true, kButtonType, BS_PUSHBUTTON},
    {IDC_VERSION_TEXT, L"Static", L"", true, kStaticType, SS_LEFT},
    {IDC_LICENCE_ACCEPTED, L"Button", L"已阅读并同意", true, kButtonType, BS_AUTOCHECKBOX},
    {IDC_LICENCE_LINK, L"Static", L"许可协议", true, kStaticType | SS_NOTIFY, SS_LEFT | SS_NOTIFY},
    {IDC_STATUS_TEXT, L"Static", L"", false, kStaticType, SS_LEFT},
    {IDC_SOURCE_TEXT, L"Static", L"", true, kStaticType, SS_LEFT},
    {IDC_PROGRESS, L"msctls_progress32", nullptr, true, PBS_SMOOTH, PBS_SMOOTH},
    {IDC_TIME_LEFT_CAPTION, L"Static", L"估计剩余时间:", true, kStaticType, SS_LEFT},
    {IDC_TIME_LEFT, L"Static", L"", true, kStaticType, SS_LEFT},
    {IDC_RATE_CAPTION, L"Static", L"传输速度:", true, kStaticType, SS_LEFT},
    {IDC_RATE, L"Static", L"", true, kStaticType, SS_LEFT},
    {IDC_CANCEL_INSTALL, L"Button", L"取消", true, kButtonType, BS_PUSHBUTTON},
    {IDC_FINISH, L"Button", L"安装成功", true, kButtonType, BS_PUSHBUTTON},
    {IDC_START_PRODUCT, L"Button", L"立即启动墨岚岱文", true, kButtonType, BS_AUTOCHECKBOX},
    {IDC_UNINSTALL, L"Button", L"准备卸载", false, kButtonType, BS_PUSHBUTTON},
};

const ControlTemplate kOverwritePrompt[] = {
    {IDC_QUESTION, L"Static", L"a\nb\nc", true, kStaticType, SS_LEFT},
    {IDC_OVERWRITE, L"Button", L"覆盖(&O)", true, kButtonType, BS_DEFPUSHBUTTON},
    {IDC_OVERWRITE_ALL, L"Button", L"全部覆盖(&A)", true, kButtonType, BS_PUSHBUTTON},
    {IDC_SKIP, L"Button", L"跳过(&S)", true, kButtonType, BS_PUSHBUTTON},
    {IDC_SKIP_ALL, L"Button", L"全部跳过(&K)", true, kButtonType, BS_PUSHBUTTON},
    {IDCANCEL, L"Button", L"取消(&C)", true, kButtonType, BS_PUSHBUTTON},
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

HWND FindControl(HWND dialog, const ControlTemplate& control)
{
    return control.id == IDC_STATIC ? FindChildByText(dialog, control.text)
                                    : GetDlgItem(dialog, control.id);
}

void ExpectControl(HWND dialog, const ControlTemplate& control)
{
    SCOPED_TRACE(control.id);
    HWND window = FindControl(dialog, control);
    ASSERT_NE(window, nullptr) << control.id;
    EXPECT_EQ(_wcsicmp(ClassOf(window).c_str(), control.className), 0) << control.id;
    if (control.text != nullptr) {
        EXPECT_EQ(WindowTextOf(window), control.text) << control.id;
    }
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    EXPECT_EQ((style & WS_VISIBLE) != 0, control.visible) << control.id;
    EXPECT_EQ(style & control.styleMask, control.styleValue) << control.id;
}

// Every visible control lies inside the client area, and no two of them cover
// each other.
void ExpectVisibleControlsApart(HWND dialog)
{
    RECT client{};
    GetClientRect(dialog, &client);
    std::vector<RECT> placed;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child)) {
            continue;
        }
        const RECT rect = RectInClient(child, dialog);
        RECT inside{};
        IntersectRect(&inside, &rect, &client);
        EXPECT_TRUE(EqualRect(&inside, &rect)) << GetDlgCtrlID(child);
        for (const RECT& other : placed) {
            RECT common{};
            EXPECT_FALSE(IntersectRect(&common, &rect, &other)) << GetDlgCtrlID(child);
        }
        placed.push_back(rect);
    }
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
        for (const ControlTemplate& control : kInstallWindow) {
            ExpectControl(window, control);
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
        for (const ControlTemplate& control : kOverwritePrompt) {
            ExpectControl(window, control);
        }
        ExpectVisibleControlsApart(window);
        EXPECT_EQ(SendMessageW(window, DM_GETDEFID, 0, 0), MAKELRESULT(IDC_OVERWRITE, DC_HASDEFID));

        HWND icon = GetWindow(window, GW_CHILD);
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(GetWindowLongPtrW(icon, GWL_STYLE) & (kStaticType | SS_REALSIZEIMAGE),
                  SS_ICON | SS_REALSIZEIMAGE);
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
