// The dialog templates as the code needs them: every control that a window
// binds exists once, with the class and the styles its handling relies on
// (a push button that is no check box, a link that reports its clicks, a list
// that takes no typed text), and every text reads back as the Chinese the
// resource script holds rather than as the bytes of another code page. The
// install window's pages and their geometry are tested with the window.
#include <gtest/gtest.h>

#include <cstdio>
#include <cwctype>
#include <set>
#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "framework/controls.h"
#include "res/resource.h"
#include "tests/framework/ui_test_support.h"
#include "util/wide_text.h"

namespace {

// What a bound control's handling relies on.
enum class Need {
    kPlace,           // only its rectangle: something else is created there
    kPushButton,      // clicks arrive as BN_CLICKED and leave no state behind
    kCheckBox,        // toggles itself; the code reads BM_GETCHECK
    kGroupBox,        // a page frame that carries the page's controls
    kTextLabel,       // a static whose text the code sets
    kClickableLabel,  // ... that reports clicks (STN_CLICKED)
    kBitmap,          // a static that shows the backdrop picture
    kDropDownList,    // a combo box that offers only its own entries
    kProgress,        // the progress bar
    kAnimation,       // the placeholder that the animation replaces, passing on its styles
};

struct BoundControl {
    int id;
    Need need;
};

// Every control that CInstallDlg binds or moves, by what it must be.
const BoundControl kInstallWindow[] = {
    {IDC_WEB_PLACEHOLDER, Need::kPlace},         {IDC_BACKDROP, Need::kBitmap},
    {IDC_ANIMATION, Need::kAnimation},           {IDC_FRAME_SCRIPT, Need::kGroupBox},
    {IDC_FRAME_DOWNLOAD, Need::kGroupBox},       {IDC_FRAME_INSTALL, Need::kGroupBox},
    {IDC_FRAME_FINISH, Need::kGroupBox},         {IDC_SCRIPT_TARGETS, Need::kDropDownList},
    {IDC_PICK_TARGET, Need::kPushButton},        {IDC_INSTALL_TOOLBAR, Need::kCheckBox},
    {IDC_INSTALL_SCRIPTS, Need::kPushButton},    {IDC_INSTALL_FOLDER, Need::kPushButton},
    {IDC_INSTALL_NOW, Need::kPushButton},        {IDC_VERSION_TEXT, Need::kTextLabel},
    {IDC_LICENCE_ACCEPTED, Need::kCheckBox},     {IDC_LICENCE_LINK, Need::kClickableLabel},
    {IDC_STATUS_TEXT, Need::kTextLabel},         {IDC_SOURCE_TEXT, Need::kTextLabel},
    {IDC_PROGRESS, Need::kProgress},             {IDC_TIME_LEFT_CAPTION, Need::kTextLabel},
    {IDC_TIME_LEFT, Need::kTextLabel},           {IDC_RATE_CAPTION, Need::kTextLabel},
    {IDC_RATE, Need::kTextLabel},                {IDC_CANCEL_INSTALL, Need::kPushButton},
    {IDC_FINISH, Need::kPushButton},             {IDC_START_PRODUCT, Need::kCheckBox},
    {IDC_UNINSTALL, Need::kPushButton},
};

// Every control that COverwriteDlg binds; each button gives one answer.
const BoundControl kOverwritePrompt[] = {
    {IDC_QUESTION, Need::kTextLabel},    {IDC_OVERWRITE, Need::kPushButton},
    {IDC_OVERWRITE_ALL, Need::kPushButton}, {IDC_SKIP, Need::kPushButton},
    {IDC_SKIP_ALL, Need::kPushButton},   {IDCANCEL, Need::kPushButton},
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

bool IsClass(HWND window, const wchar_t* className)
{
    return _wcsicmp(ClassOf(window).c_str(), className) == 0;
}

bool IsTextStatic(LONG_PTR style)
{
    const LONG_PTR type = style & SS_TYPEMASK;
    return type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT || type == SS_SIMPLE ||
           type == SS_LEFTNOWORDWRAP;
}

bool IsPushButton(LONG_PTR style)
{
    const LONG_PTR type = style & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

// Whether the control can do what its handling relies on.
bool Serves(HWND window, Need need)
{
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    switch (need) {
    case Need::kPlace:
        return true;
    case Need::kPushButton:
        return IsClass(window, WC_BUTTONW) && IsPushButton(style);
    case Need::kCheckBox:
        return IsClass(window, WC_BUTTONW) && (style & BS_TYPEMASK) == BS_AUTOCHECKBOX;
    case Need::kGroupBox:
        return IsClass(window, WC_BUTTONW) && (style & BS_TYPEMASK) == BS_GROUPBOX;
    case Need::kTextLabel:
        return IsClass(window, WC_STATICW) && IsTextStatic(style);
    case Need::kClickableLabel:
        return IsClass(window, WC_STATICW) && IsTextStatic(style) && (style & SS_NOTIFY) != 0;
    case Need::kBitmap:
        return IsClass(window, WC_STATICW) && (style & SS_TYPEMASK) == SS_BITMAP &&
               SendMessageW(window, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0;
    case Need::kDropDownList:
        return IsClass(window, WC_COMBOBOXW) && (style & 0x3) == CBS_DROPDOWNLIST;
    case Need::kProgress:
        return IsClass(window, PROGRESS_CLASSW);
    case Need::kAnimation:
        return IsClass(window, WC_STATICW) && (style & ACS_TRANSPARENT) != 0;
    }
    return false;
}

int CountChildrenWithId(HWND dialog, int id)
{
    int count = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        count += GetDlgCtrlID(child) == id ? 1 : 0;
    }
    return count;
}

void ExpectBoundControls(HWND dialog, const BoundControl* controls, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const BoundControl& control = controls[i];
        SCOPED_TRACE(control.id);
        // A second control of the id would never be reached by GetDlgItem.
        ASSERT_EQ(CountChildrenWithId(dialog, control.id), 1);
        EXPECT_TRUE(Serves(GetDlgItem(dialog, control.id), control.need))
            << "class " << NarrowText(ClassOf(GetDlgItem(dialog, control.id)).c_str());
    }
}

// Text compiled with the wrong code page reads back as U+FFFD, as '?', as
// Latin letters with marks (GBK bytes taken as code page 1252) or as
// characters that code page 936 cannot write back.
bool DecodesAsChinese(const std::wstring& text)
{
    for (wchar_t ch : text) {
        if (ch == L'?' || ch == 0xFFFD || (ch >= 0x80 && ch < 0x2000)) {
            return false;
        }
    }
    if (text.empty()) {
        return true;
    }
    BOOL lossy = FALSE;
    const int size = WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, text.c_str(),
                                         static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         &lossy);
    return size > 0 && !lossy;
}

std::string CodePoints(const std::wstring& text)
{
    std::string points;
    for (wchar_t ch : text) {
        char point[8];
        std::snprintf(point, sizeof point, "%04x ", static_cast<unsigned>(ch));
        points += point;
    }
    return points;
}

// The caption and every control's text; the access keys of one dialog differ,
// so that Alt with a letter reaches one control.
void ExpectTextsDecode(HWND dialog)
{
    EXPECT_TRUE(DecodesAsChinese(WindowTextOf(dialog)));
    std::set<wchar_t> accessKeys;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        const std::wstring text = WindowTextOf(child);
        // A picture's text is its resource number behind 0xFFFF.
        if (!text.empty() && text[0] == 0xFFFF) {
            continue;
        }
        EXPECT_TRUE(DecodesAsChinese(text)) << GetDlgCtrlID(child) << " " << CodePoints(text);
        const std::size_t amp = text.find(L'&');
        if (amp != std::wstring::npos && amp + 1 < text.size() && text[amp + 1] != L'&') {
            EXPECT_TRUE(accessKeys.insert(towupper(text[amp + 1])).second) << GetDlgCtrlID(child);
        }
    }
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

TEST_F(DialogTemplateTest, InstallWindowHasWhatItsCodeBinds)
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
        ExpectBoundControls(window, kInstallWindow, std::size(kInstallWindow));
        ExpectTextsDecode(window);
        // Enter and Esc must not end the install window.
        EXPECT_EQ(GetDlgItem(window, IDOK), nullptr);
        EXPECT_EQ(GetDlgItem(window, IDCANCEL), nullptr);
        EXPECT_EQ(WindowTextOf(GetDlgItem(window, IDC_INSTALL_NOW)), L"立即安装");
        self.EndDialog(IDOK);
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_TRUE(probed);
}

TEST_F(DialogTemplateTest, OverwritePromptHasWhatItsCodeBinds)
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
        ExpectBoundControls(window, kOverwritePrompt, std::size(kOverwritePrompt));
        ExpectTextsDecode(window);
        EXPECT_EQ(WindowTextOf(GetDlgItem(window, IDC_OVERWRITE_ALL)), L"全部覆盖(&A)");
        ExpectVisibleControlsApart(window);
        // Enter overwrites this one file, as the question's default.
        EXPECT_EQ(SendMessageW(window, DM_GETDEFID, 0, 0), MAKELRESULT(IDC_OVERWRITE, DC_HASDEFID));

        HWND icon = GetWindow(window, GW_CHILD);
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(GetWindowLongPtrW(icon, GWL_STYLE) & (SS_TYPEMASK | SS_REALSIZEIMAGE),
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
