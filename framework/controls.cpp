#include "framework/controls.h"

#include <commctrl.h>

#include "util/wide_text.h"

bool InitControlClasses()
{
    INITCOMMONCONTROLSEX classes{};
    classes.dwSize = sizeof(classes);
    classes.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS | ICC_WIN95_CLASSES;
    return InitCommonControlsEx(&classes) != FALSE;
}

HICON CStaticCtl::SetIcon(HICON icon)
{
    return reinterpret_cast<HICON>(Send(STM_SETICON, reinterpret_cast<WPARAM>(icon)));
}

HBITMAP CStaticCtl::SetBitmap(HBITMAP bitmap)
{
    return reinterpret_cast<HBITMAP>(
        Send(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
}

int CButtonCtl::GetCheck() const
{
    return static_cast<int>(Send(BM_GETCHECK));
}

void CButtonCtl::SetCheck(int state)
{
    Send(BM_SETCHECK, static_cast<WPARAM>(state));
}

UINT CButtonCtl::GetButtonType() const
{
    return static_cast<UINT>(Style() & BS_TYPEMASK);
}

void CButtonCtl::SetButtonStyle(UINT style, bool redraw)
{
    Send(BM_SETSTYLE, style, redraw ? TRUE : FALSE);
}

void CButtonCtl::Click()
{
    Send(BM_CLICK);
}

int CComboBoxCtl::AddString(const std::string& text)
{
    const std::wstring wide = WidenText(text);
    return static_cast<int>(Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str())));
}

int CComboBoxCtl::InsertString(int index, const std::string& text)
{
    const std::wstring wide = WidenText(text);
    return static_cast<int>(
        Send(CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(wide.c_str())));
}

int CComboBoxCtl::DeleteString(int index)
{
    return static_cast<int>(Send(CB_DELETESTRING, static_cast<WPARAM>(index)));
}

void CComboBoxCtl::ResetContent()
{
    Send(CB_RESETCONTENT);
}

int CComboBoxCtl::GetCount() const
{
    return static_cast<int>(Send(CB_GETCOUNT));
}

int CComboBoxCtl::GetCurSel() const
{
    return static_cast<int>(Send(CB_GETCURSEL));
}

int CComboBoxCtl::SetCurSel(int index)
{
    return static_cast<int>(Send(CB_SETCURSEL, static_cast<WPARAM>(index)));
}

std::string CComboBoxCtl::GetItemText(int index) const
{
    const LRESULT length = Send(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (length == CB_ERR || length <= 0) {
        return std::string();
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied =
        Send(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return NarrowText(text);
}

int CComboBoxCtl::FindStringExact(const std::string& text, int after) const
{
    const std::wstring wide = WidenText(text);
    return static_cast<int>(Send(CB_FINDSTRINGEXACT, static_cast<WPARAM>(after),
                                 reinterpret_cast<LPARAM>(wide.c_str())));
}

void CProgressCtl::SetRange32(int lower, int upper)
{
    Send(PBM_SETRANGE32, static_cast<WPARAM>(lower), static_cast<LPARAM>(upper));
}

void CProgressCtl::GetRange(int& lower, int& upper) const
{
    PBRANGE range{};
    Send(PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    lower = range.iLow;
    upper = range.iHigh;
}

int CProgressCtl::SetPos(int position)
{
    return static_cast<int>(Send(PBM_SETPOS, static_cast<WPARAM>(position)));
}

int CProgressCtl::GetPos() const
{
    return static_cast<int>(Send(PBM_GETPOS));
}

bool CAnimateCtl::Open(UINT resourceId)
{
    if (!CreateInPlace()) {
        return false;
    }
    return Send(ACM_OPENW, reinterpret_cast<WPARAM>(GetModuleHandleW(nullptr)),
                static_cast<LPARAM>(resourceId)) != 0;
}

bool CAnimateCtl::Play(UINT from, UINT to, UINT repeat)
{
    return !IsPlaceholder() && Send(ACM_PLAY, repeat, MAKELPARAM(from, to)) != 0;
}

bool CAnimateCtl::Stop()
{
    return IsPlaceholder() || Send(ACM_STOP) != 0;
}

void CAnimateCtl::Close()
{
    if (!IsPlaceholder()) {
        Send(ACM_OPENW);
    }
}

bool CAnimateCtl::IsPlaceholder() const
{
    wchar_t name[16] = {};
    return Hwnd() != nullptr && GetClassNameW(Hwnd(), name, 16) > 0 &&
           _wcsicmp(name, L"Static") == 0;
}

// The animation control takes the placeholder's id, rectangle, styles, text and
// place in the Z order (a group box that carries the placeholder then carries
// it, see CGroupPanel); the placeholder goes.
bool CAnimateCtl::CreateInPlace()
{
    if (Hwnd() == nullptr) {
        return false;
    }
    if (!IsPlaceholder()) {
        return true;
    }
    HWND placeholder = Hwnd();
    const RECT rect = RectInParent();
    const std::wstring text = WidenText(GetText());
    HWND animation = CreateWindowExW(
        static_cast<DWORD>(GetWindowLongPtrW(placeholder, GWL_EXSTYLE)), ANIMATE_CLASSW,
        text.c_str(), static_cast<DWORD>(Style()), rect.left, rect.top, rect.right - rect.left,
        rect.bottom - rect.top, Parent(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId())),
        GetModuleHandleW(nullptr), nullptr);
    if (animation == nullptr) {
        return false;
    }
    SetWindowPos(animation, placeholder, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    Detach();
    DestroyWindow(placeholder);
    return Attach(animation);
}

TOOLINFOW CToolTip::Tool() const
{
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = owner_;
    tool.uId = 1;
    return tool;
}

bool CToolTip::Create(HWND owner, const RECT& rect, const std::string& text)
{
    Destroy();
    window_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window_ == nullptr) {
        return false;
    }
    owner_ = owner;
    std::wstring wide = WidenText(text);
    TOOLINFOW tool = Tool();
    tool.uFlags = TTF_SUBCLASS;
    tool.rect = rect;
    tool.lpszText = &wide[0];
    return SendMessageW(window_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)) != FALSE;
}

void CToolTip::Destroy()
{
    if (window_ != nullptr) {
        DestroyWindow(window_);
        window_ = nullptr;
    }
}

void CToolTip::SetRect(const RECT& rect)
{
    if (window_ == nullptr) {
        return;
    }
    TOOLINFOW tool = Tool();
    tool.rect = rect;
    SendMessageW(window_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CToolTip::SetText(const std::string& text)
{
    if (window_ == nullptr) {
        return;
    }
    std::wstring wide = WidenText(text);
    TOOLINFOW tool = Tool();
    tool.lpszText = &wide[0];
    SendMessageW(window_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

std::string CToolTip::GetText() const
{
    if (window_ == nullptr) {
        return std::string();
    }
    wchar_t text[1024] = {};
    TOOLINFOW tool = Tool();
    tool.lpszText = text;
    SendMessageW(window_, TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&tool));
    return NarrowText(text);
}
