#include "controls/link_label.h"

#include <commctrl.h>
#include <shellapi.h>

#include "framework/message_box.h"
#include "util/wide_text.h"

namespace {

// The handler's command (at most 259 bytes) plus a space and the address fill
// a 520-byte command line, so addresses stay below 260 bytes.
constexpr std::size_t kMaxRegistryText = MAX_PATH - 1;
constexpr int kFirstSuccessCode = 33;
constexpr int kHandCursorId = 106;

const char* ErrorExplanation(int code)
{
    switch (code) {
    case 0: return "The operating system is out\nof memory or resources.";
    case ERROR_FILE_NOT_FOUND: return "The specified file was not found.";
    case ERROR_PATH_NOT_FOUND: return "The specified path was not found.";
    case SE_ERR_ACCESSDENIED: return "The operating system denied\naccess to the specified file.";
    case SE_ERR_OOM: return "There was not enough memory to complete the operation.";
    case ERROR_BAD_FORMAT:
        return "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
    case SE_ERR_SHARE: return "A sharing violation occurred. ";
    case SE_ERR_ASSOCINCOMPLETE: return "The filename association is\nincomplete or invalid.";
    case SE_ERR_DDETIMEOUT:
        return "The DDE transaction could not\nbe completed because the request timed out.";
    case SE_ERR_DDEFAIL: return "The DDE transaction failed.";
    case SE_ERR_DDEBUSY:
        return "The DDE transaction could not\nbe completed because other DDE transactions\n"
               "were being processed.";
    case SE_ERR_NOASSOC:
        return "There is no application associated\nwith the given filename extension.";
    case SE_ERR_DLLNOTFOUND: return "The specified dynamic-link library was not found.";
    default: return nullptr;
    }
}

// The default value of a key under HKEY_CLASSES_ROOT; false when it cannot be
// read or is longer than the handler's part of the command line.
bool ReadClassesText(const std::wstring& key, std::string& text)
{
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    DWORD type = 0;
    UniqueRegKey opened;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, opened.put()) !=
        ERROR_SUCCESS) {
        return false;
    }
    const LONG status = RegQueryValueExW(opened.get(), nullptr, nullptr, &type,
                                         reinterpret_cast<BYTE*>(value), &size);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
    }
    text = NarrowText(value);
    return text.size() <= kMaxRegistryText;
}

// Starts a command line the way WinExec does, answering its codes: above 31 on
// success, else the reason.
int StartCommandLine(const std::string& commandLine, int show)
{
    std::wstring command = WidenText(commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(show);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        const DWORD error = GetLastError();
        return error <= SE_ERR_DLLNOTFOUND ? static_cast<int>(error) : 0;
    }
    const UniqueHandle thread(process.hThread);
    const UniqueHandle started(process.hProcess);
    return kFirstSuccessCode;
}

}  // namespace

std::string HyperlinkErrorText(int code)
{
    std::string text = "Unable to open hyperlink:\n\n";
    const char* explanation = ErrorExplanation(code);
    if (explanation != nullptr) {
        return text + explanation;
    }
    return text + "Unknown Error (" + std::to_string(code) + ") occurred.";
}

std::string HandlerCommandLine(const std::string& handlerCommand, const std::string& address)
{
    std::string command = handlerCommand;
    std::size_t cut = command.find("\"%1\"");
    if (cut == std::string::npos) {
        cut = command.find("%1");
    }
    if (cut != std::string::npos) {
        command.erase(cut);
    }
    return command + " " + address;
}

CLinkLabel::CLinkLabel() = default;

CLinkLabel::~CLinkLabel() = default;

LRESULT CLinkLabel::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case ReflectedMessage(WM_CTLCOLORSTATIC): {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, CurrentTextColor());
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    }
    case WM_SETCURSOR:
        if (!handCursor_) {
            return FALSE;
        }
        SetCursor(handCursor_.get());
        return TRUE;
    case WM_MOUSEMOVE:
        OnMouseMove();
        return DefaultProc(message, wParam, lParam);
    case WM_TIMER:
        if (wParam == kHoverTimer) {
            OnHoverTimer();
        }
        return DefaultProc(message, wParam, lParam);
    case WM_ERASEBKGND:
        return TRUE;
    case WM_DESTROY:
        KillTimer(Hwnd(), kHoverTimer);
        tooltip_.Destroy();
        return DefaultProc(message, wParam, lParam);
    default:
        return CStaticCtl::HandleMessage(message, wParam, lParam);
    }
}

void CLinkLabel::OnAttached()
{
    SetStyle(Style() | SS_NOTIFY);
    if (address_.empty()) {
        address_ = GetText();
    }
    if (GetText().empty()) {
        SetText(address_);
    }
    MakeFonts();
    UseFont(underline_ == kUnderlineAlways);
    FitToText();
    LoadHandCursor();
    tooltip_.Create(Hwnd(), ClientRect(), address_);
}

void CLinkLabel::MakeFonts()
{
    HGDIOBJ font = reinterpret_cast<HGDIOBJ>(Send(WM_GETFONT));
    if (font == nullptr) {
        font = GetStockObject(DEFAULT_GUI_FONT);
    }
    if (font == nullptr) {
        font = GetStockObject(ANSI_VAR_FONT);
    }
    LOGFONTW description{};
    if (font == nullptr || GetObjectW(font, sizeof(description), &description) == 0) {
        return;
    }
    description.lfUnderline = FALSE;
    normalFont_.reset(CreateFontIndirectW(&description));
    description.lfUnderline = TRUE;
    underlinedFont_.reset(CreateFontIndirectW(&description));
}

void CLinkLabel::UseFont(bool underlined)
{
    HFONT font = underlined ? underlinedFont_.get() : normalFont_.get();
    if (font != nullptr) {
        Send(WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
}

void CLinkLabel::FitToText()
{
    HWND parent = Parent();
    if (!fitToText || Hwnd() == nullptr || parent == nullptr) {
        return;
    }
    const RECT window = RectInParent();
    RECT client = ClientRect();
    MapWindowPoints(Hwnd(), parent, reinterpret_cast<POINT*>(&client), 2);
    const LONG borderLeft = client.left - window.left;
    const LONG borderTop = client.top - window.top;
    const LONG borderRight = window.right - client.right;
    const LONG borderBottom = window.bottom - client.bottom;

    SIZE text{};
    {
        WindowDC dc(Hwnd());
        SelectedObject font(dc.get(), underlinedFont_ ? underlinedFont_.get()
                                                      : GetStockObject(DEFAULT_GUI_FONT));
        const std::wstring wide = WidenText(GetText());
        GetTextExtentPoint32W(dc.get(), wide.c_str(), static_cast<int>(wide.size()), &text);
    }

    RECT fitted = window;
    const LONG style = static_cast<LONG>(Style());
    const LONG height = text.cy + borderTop + borderBottom;
    if ((style & SS_CENTERIMAGE) != 0) {
        const LONG grow = height - (window.bottom - window.top);
        fitted.top -= grow / 2;
        fitted.bottom = fitted.top + height;
    } else {
        fitted.bottom = fitted.top + height;
    }
    const LONG width = text.cx + borderLeft + borderRight;
    const LONG alignment = style & SS_TYPEMASK;
    if (alignment == SS_CENTER) {
        const LONG grow = width - (window.right - window.left);
        fitted.left -= grow / 2;
        fitted.right = fitted.left + width;
    } else if (alignment == SS_RIGHT) {
        fitted.left = fitted.right - width;
    } else {
        fitted.right = fitted.left + width;
    }
    SetWindowPos(Hwnd(), nullptr, fitted.left, fitted.top, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void CLinkLabel::LoadHandCursor()
{
    if (handCursor_) {
        return;
    }
    wchar_t windows[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        const std::wstring helpProgram = std::wstring(windows) + L"\\winhlp32.exe";
        UniqueModule module(LoadLibraryExW(helpProgram.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        if (module) {
            HCURSOR cursor = LoadCursorW(module.get(), MAKEINTRESOURCEW(kHandCursorId));
            if (cursor != nullptr) {
                handCursor_.reset(CopyCursor(cursor));
            }
        }
    }
    // Where the help program has no hand, the system's own hand serves.
    if (!handCursor_) {
        HCURSOR systemHand = LoadCursorW(nullptr, IDC_HAND);
        if (systemHand != nullptr) {
            handCursor_.reset(CopyCursor(systemHand));
        }
    }
}

void CLinkLabel::SetLinkAddress(const std::string& address)
{
    address_ = address;
    if (Hwnd() != nullptr) {
        FitToText();
        tooltip_.SetText(address_);
    }
}

void CLinkLabel::SetUnderlineMode(int mode)
{
    if (mode == underline_) {
        return;
    }
    if (Hwnd() != nullptr) {
        UseFont(mode == kUnderlineAlways);
        Invalidate(true);
    }
    underline_ = mode;
}

void CLinkLabel::SetVisitedState(bool visited)
{
    visited_ = visited;
    if (Hwnd() != nullptr) {
        Invalidate(true);
    }
}

COLORREF CLinkLabel::CurrentTextColor() const
{
    return hover_ ? hoverColor : visited_ ? visitedColor : linkColor;
}

void CLinkLabel::OnMouseMove()
{
    if (hover_) {
        return;
    }
    hover_ = true;
    if (underline_ == kUnderlineOnHover) {
        UseFont(true);
    }
    Invalidate(true);
    SetTimer(Hwnd(), kHoverTimer, kHoverTimerPeriod, nullptr);
}

void CLinkLabel::OnHoverTimer()
{
    const DWORD position = GetMessagePos();
    POINT cursor{static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    ScreenToClient(Hwnd(), &cursor);
    const RECT client = ClientRect();
    if (PtInRect(&client, cursor)) {
        return;
    }
    hover_ = false;
    KillTimer(Hwnd(), kHoverTimer);
    if (underline_ != kUnderlineAlways) {
        UseFont(false);
    }
    // The label is transparent: the text of the hovered state goes only when
    // the parent repaints the background under it.
    RECT area = RectInParent();
    area.bottom += 10;
    HWND parent = Parent();
    if (parent != nullptr) {
        RedrawWindow(parent, &area, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    } else {
        Invalidate(true);
    }
}

bool CLinkLabel::OpenLink()
{
    hover_ = false;
    const int code = Launch();
    if (code >= kFirstSuccessCode) {
        SetVisitedState(true);
        return true;
    }
    visited_ = false;
    ReportFailure(code);
    return false;
}

int CLinkLabel::Launch() const
{
    const std::wstring address = WidenText(address_);
    const auto shellCode = static_cast<int>(reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOW)));
    if (shellCode >= kFirstSuccessCode) {
        return shellCode;
    }
    std::string documentClass;
    if (!ReadClassesText(L".htm", documentClass)) {
        return shellCode;
    }
    std::string handler;
    if (!ReadClassesText(WidenText(documentClass + "\\shell\\open\\command"), handler)) {
        return shellCode;
    }
    return StartCommandLine(HandlerCommandLine(handler, address_), SW_SHOW);
}

void CLinkLabel::ReportFailure(int code) const
{
    MessageBeep(MB_ICONEXCLAMATION);
    ShowMessageBox(HyperlinkErrorText(code), MB_OK | MB_ICONEXCLAMATION);
}
