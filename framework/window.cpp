#include "framework/window.h"

#include <mutex>
#include <unordered_map>

#include "util/wide_text.h"

namespace {

// What our subclass of one window knows: the object that sees its messages
// (none once the object let go of a window that another subclass has wrapped
// since, so that ours only passes messages on) and the procedure it replaced.
// The table is ours rather than a window property or the common controls'
// subclass chain: both are looked up by the window system on every message,
// which costs a round trip to the window server on some platforms (Wine).
// Entries are made and removed by the thread that owns the window; FromHandle
// may be asked from any thread, hence the lock.
struct Subclassing {
    CWindow* object = nullptr;
    WNDPROC replaced = nullptr;
};

std::mutex subclassLock;
std::unordered_map<HWND, Subclassing> subclasses;

bool FindSubclassing(HWND window, Subclassing& found)
{
    const std::lock_guard<std::mutex> hold(subclassLock);
    const auto entry = subclasses.find(window);
    if (entry == subclasses.end()) {
        return false;
    }
    found = entry->second;
    return true;
}

// The messages that a parent reflects to the child control they are about.
bool IsReflectable(UINT message)
{
    switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_DRAWITEM:
    case WM_COMMAND:
    case WM_NOTIFY:
        return true;
    default:
        return false;
    }
}

// The child window a message is about, when it is one that we reflect.
HWND ReflectedChild(UINT message, LPARAM lParam)
{
    if (!IsReflectable(message)) {
        return nullptr;
    }
    switch (message) {
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        return item != nullptr && item->CtlType != ODT_MENU ? item->hwndItem : nullptr;
    }
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        return header != nullptr ? header->hwndFrom : nullptr;
    }
    default:
        // WM_CTLCOLOR* and WM_COMMAND name the control; menus and accelerators carry none.
        return reinterpret_cast<HWND>(lParam);
    }
}

}  // namespace

bool IsReflectedMessage(UINT message)
{
    return message >= kReflectBase && IsReflectable(message - kReflectBase);
}

bool DispatchPendingMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return true;
}

void AnswerSentMessages()
{
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

CWindow::~CWindow()
{
    // An object that dies before its window must not be called by it again.
    Detach();
}

bool CWindow::Attach(HWND window)
{
    if (!Subclass(window)) {
        return false;
    }
    OnAttached();
    return true;
}

bool CWindow::Subclass(HWND window)
{
    if (hwnd_ != nullptr || window == nullptr || !IsWindow(window)) {
        return false;
    }
    const std::lock_guard<std::mutex> hold(subclassLock);
    const auto entry = subclasses.find(window);
    if (entry != subclasses.end()) {
        // A window whose former object let go of it keeps our procedure and
        // takes the new object without being subclassed again.
        if (entry->second.object != nullptr) {
            return false;
        }
        entry->second.object = this;
        hwnd_ = window;
        return true;
    }
    SetLastError(ERROR_SUCCESS);
    const auto replaced = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWindow::SubclassProc)));
    if (replaced == nullptr && GetLastError() != ERROR_SUCCESS) {
        return false;
    }
    subclasses[window] = Subclassing{this, replaced};
    hwnd_ = window;
    return true;
}

void CWindow::Detach()
{
    if (hwnd_ == nullptr) {
        return;
    }
    HWND window = hwnd_;
    hwnd_ = nullptr;
    const std::lock_guard<std::mutex> hold(subclassLock);
    const auto entry = subclasses.find(window);
    if (entry == subclasses.end()) {
        return;
    }
    // Only a procedure that is still the window's own can be put back; under
    // a later subclass ours stays in the chain and passes everything on.
    const auto current = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
    if (current == &CWindow::SubclassProc) {
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(entry->second.replaced));
        subclasses.erase(entry);
    } else {
        entry->second.object = nullptr;
    }
}

CWindow* CWindow::FromHandle(HWND window)
{
    Subclassing found;
    return window != nullptr && FindSubclassing(window, found) ? found.object : nullptr;
}

LRESULT CALLBACK CWindow::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Subclassing found;
    if (!FindSubclassing(window, found)) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    const LRESULT result =
        found.object != nullptr ? found.object->DispatchGuarded(message, wParam, lParam)
                                : CallWindowProcW(found.replaced, window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // The window's last message: the object outlives it without a window.
        const std::lock_guard<std::mutex> hold(subclassLock);
        subclasses.erase(window);
        if (found.object != nullptr && found.object->hwnd_ == window) {
            found.object->hwnd_ = nullptr;
        }
    }
    return result;
}

LRESULT CWindow::DispatchGuarded(UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        return Dispatch(message, wParam, lParam);
    } catch (...) {
        return DefaultProc(message, wParam, lParam);
    }
}

LRESULT CWindow::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (ReflectToChild(message, wParam, lParam, result)) {
        return result;
    }
    return HandleMessage(message, wParam, lParam);
}

bool CWindow::ReflectToChild(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    HWND child = ReflectedChild(message, lParam);
    if (child == nullptr || child == hwnd_) {
        return false;
    }
    CWindow* target = FromHandle(child);
    if (target == nullptr) {
        return false;
    }
    return target->HandleReflected(message, wParam, lParam, result);
}

bool CWindow::HandleReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    const bool outer = reflectHandled_;
    reflectHandled_ = true;
    try {
        result = HandleMessage(ReflectedMessage(message), wParam, lParam);
    } catch (...) {
        reflectHandled_ = outer;
        throw;
    }
    bool handled = reflectHandled_;
    reflectHandled_ = outer;
    if (message == WM_COMMAND) {
        // A command is answered with zero; the child's answer only says whether
        // the parent sees it as well.
        handled = handled && result != 0;
        result = 0;
    }
    return handled;
}

LRESULT CWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (IsReflectedMessage(message)) {
        reflectHandled_ = false;
        return 0;
    }
    return DefaultProc(message, wParam, lParam);
}

LRESULT CWindow::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (hwnd_ == nullptr) {
        return 0;
    }
    Subclassing found;
    if (!FindSubclassing(hwnd_, found) || found.replaced == nullptr) {
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
    return CallWindowProcW(found.replaced, hwnd_, message, wParam, lParam);
}

bool CWindow::RegisterOwnClass(const wchar_t* className, UINT classStyle, HCURSOR cursor,
                               HBRUSH background)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = classStyle;
    windowClass.lpfnWndProc = &CWindow::OwnClassProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = cursor;
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = className;
    if (RegisterClassExW(&windowClass) != 0) {
        return true;
    }
    return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

LRESULT CALLBACK CWindow::OwnClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Only the first messages of a window come here directly; from WM_NCCREATE on
    // they go through the object's subclass, whose default processing ends here.
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* self = static_cast<CWindow*>(create->lpCreateParams);
        if (self == nullptr || !self->Subclass(window)) {
            return FALSE;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool CWindow::CreateOwnWindow(const wchar_t* className, DWORD exStyle, DWORD style,
                              const RECT& rect, HWND parent, int controlId, const std::string& text)
{
    if (hwnd_ != nullptr) {
        return false;
    }
    const HMENU menuOrId = (style & WS_CHILD) != 0
                               ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId))
                               : nullptr;
    HWND window = CreateWindowExW(exStyle, className, WidenText(text).c_str(), style, rect.left,
                                  rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                                  menuOrId, GetModuleHandleW(nullptr), this);
    if (window == nullptr) {
        // A window that failed after WM_NCCREATE has been destroyed and detached.
        hwnd_ = nullptr;
        return false;
    }
    return true;
}

void CWindow::SetText(const std::string& text)
{
    if (hwnd_ != nullptr) {
        SetWindowTextW(hwnd_, WidenText(text).c_str());
    }
}

std::string CWindow::GetText() const
{
    if (hwnd_ == nullptr) {
        return std::string();
    }
    const int length = GetWindowTextLengthW(hwnd_);
    if (length <= 0) {
        return std::string();
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(hwnd_, &text[0], length + 1);
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return NarrowText(text);
}

int CWindow::ControlId() const
{
    return hwnd_ != nullptr ? GetDlgCtrlID(hwnd_) : 0;
}

HWND CWindow::Parent() const
{
    return hwnd_ != nullptr ? GetParent(hwnd_) : nullptr;
}

void CWindow::Show(bool show)
{
    if (hwnd_ != nullptr) {
        ShowWindow(hwnd_, show ? SW_SHOW : SW_HIDE);
    }
}

bool CWindow::IsVisible() const
{
    return hwnd_ != nullptr && (GetWindowLongPtrW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0;
}

void CWindow::Enable(bool enable)
{
    if (hwnd_ != nullptr) {
        EnableWindow(hwnd_, enable ? TRUE : FALSE);
    }
}

bool CWindow::IsEnabled() const
{
    return hwnd_ != nullptr && IsWindowEnabled(hwnd_) != FALSE;
}

RECT CWindow::RectInParent() const
{
    RECT rect{};
    if (hwnd_ != nullptr && GetWindowRect(hwnd_, &rect)) {
        HWND parent = GetParent(hwnd_);
        if (parent != nullptr && (GetWindowLongPtrW(hwnd_, GWL_STYLE) & WS_CHILD) != 0) {
            MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
        }
    }
    return rect;
}

RECT CWindow::ClientRect() const
{
    RECT rect{};
    if (hwnd_ != nullptr) {
        GetClientRect(hwnd_, &rect);
    }
    return rect;
}

void CWindow::Move(const RECT& rect, bool repaint)
{
    if (hwnd_ != nullptr) {
        MoveWindow(hwnd_, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                   repaint ? TRUE : FALSE);
    }
}

void CWindow::Invalidate(bool erase)
{
    if (hwnd_ != nullptr) {
        InvalidateRect(hwnd_, nullptr, erase ? TRUE : FALSE);
    }
}

LONG_PTR CWindow::Style() const
{
    return hwnd_ != nullptr ? GetWindowLongPtrW(hwnd_, GWL_STYLE) : 0;
}

void CWindow::SetStyle(LONG_PTR style)
{
    if (hwnd_ != nullptr) {
        SetWindowLongPtrW(hwnd_, GWL_STYLE, style);
    }
}

LRESULT CWindow::Send(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return hwnd_ != nullptr ? SendMessageW(hwnd_, message, wParam, lParam) : 0;
}
