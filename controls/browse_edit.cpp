#include "controls/browse_edit.h"

#include <commctrl.h>
#include <shlobj.h>
#include <windowsx.h>

#include "controls/shell_folder_browser.h"
#include "util/handles.h"
#include "util/wide_text.h"

namespace {

constexpr int kPictureSize = 16;

// The folder picture, row 0 at the top: K outline, W white, Y fill, S shade,
// '.' the button face.
const char* const kFolderPicture[kPictureSize] = {
    "................",
    "..........KKK...",
    ".........K...K.K",
    "..............KK",
    "..KKK........KKK",
    ".KWYWKKKKKKK....",
    ".KYWYWYWYWYK....",
    ".KWYWYWYWYWK....",
    ".KYWYWKKKKKKKKKK",
    ".KWYWKSSSSSSSSSK",
    ".KYWKSSSSSSSSSK.",
    ".KWKSSSSSSSSSK..",
    ".KKSSSSSSSSSK...",
    ".KKKKKKKKKKK....",
    "................",
    "................",
};

bool IsEnterKey(const MSG* message)
{
    return message != nullptr &&
           ((message->message == WM_KEYDOWN && message->wParam == VK_RETURN) ||
            (message->message == WM_CHAR && message->wParam == '\r'));
}

void FillSolid(HDC dc, const RECT& rect, COLORREF color)
{
    UniqueBrush brush(CreateSolidBrush(color));
    FillRect(dc, &rect, brush.get());
}

// A one-pixel frame: `topLeft` on the top and left edges, `bottomRight` on the
// bottom and right ones.
void Draw3dFrame(HDC dc, const RECT& rect, COLORREF topLeft, COLORREF bottomRight)
{
    FillSolid(dc, RECT{rect.left, rect.top, rect.right - 1, rect.top + 1}, topLeft);
    FillSolid(dc, RECT{rect.left, rect.top, rect.left + 1, rect.bottom - 1}, topLeft);
    FillSolid(dc, RECT{rect.right - 1, rect.top, rect.right, rect.bottom}, bottomRight);
    FillSolid(dc, RECT{rect.left, rect.bottom - 1, rect.right, rect.bottom}, bottomRight);
}

}  // namespace

// The edit of the control: Enter in it browses instead of reaching the dialog.
class CBrowseEdit::CField : public CWindow {
public:
    explicit CField(CBrowseEdit& owner) : owner_(owner) {}

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        switch (message) {
        case WM_GETDLGCODE: {
            const LRESULT code = DefaultProc(message, wParam, lParam);
            return IsEnterKey(reinterpret_cast<const MSG*>(lParam)) ? code | DLGC_WANTMESSAGE
                                                                     : code;
        }
        case WM_KEYDOWN:
            if (wParam == VK_RETURN) {
                owner_.BrowseAndNotify();
                return 0;
            }
            break;
        case WM_CHAR:
            if (wParam == '\r') {
                return 0;
            }
            break;
        default:
            break;
        }
        return CWindow::HandleMessage(message, wParam, lParam);
    }

private:
    CBrowseEdit& owner_;
};

CBrowseEdit::CBrowseEdit() = default;

CBrowseEdit::~CBrowseEdit() = default;

LRESULT CBrowseEdit::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    // The button's own drawing, clicks and focus handling stay out: the
    // control draws both parts and reports a click only after browsing.
    case WM_PAINT: {
        PaintDC dc(Hwnd());
        Paint(dc.get());
        return 0;
    }
    case ReflectedMessage(WM_DRAWITEM):
        Paint(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hDC);
        return TRUE;
    case WM_ERASEBKGND:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == kEditId) {
            OnEditNotification(HIWORD(wParam));
        }
        return 0;
    case WM_GETDLGCODE: {
        const LRESULT code = DefaultProc(message, wParam, lParam);
        return IsEnterKey(reinterpret_cast<const MSG*>(lParam)) ? code | DLGC_WANTMESSAGE : code;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        OnLeftButtonDown(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_LBUTTONUP:
        OnLeftButtonUp(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_MOUSELEAVE:
        LeaveButton();
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_SPACE) {
            pressed_ = true;
            RedrawButton();
        } else if (wParam == VK_RETURN) {
            BrowseAndNotify();
        }
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE) {
            pressed_ = false;
            RedrawButton();
            BrowseAndNotify();
        }
        return 0;
    case WM_CHAR:
        return 0;
    case WM_ENABLE: {
        const LRESULT result = DefaultProc(message, wParam, lParam);
        if (HWND edit = EditHwnd()) {
            EnableWindow(edit, wParam != FALSE ? TRUE : FALSE);
        }
        RedrawAll();
        return result;
    }
    case WM_SETFOCUS:
        OnSetFocus(reinterpret_cast<HWND>(wParam));
        return 0;
    case WM_KILLFOCUS:
        return 0;
    case WM_MOVE:
    case WM_SIZE: {
        const LRESULT result = DefaultProc(message, wParam, lParam);
        Layout();
        return result;
    }
    case WM_DESTROY:
        if (HWND edit = EditHwnd()) {
            DestroyWindow(edit);
        }
        edit_.reset();
        tooltip_.Destroy();
        return DefaultProc(message, wParam, lParam);
    default:
        return CButtonCtl::HandleMessage(message, wParam, lParam);
    }
}

void CBrowseEdit::OnAttached()
{
    // Owner-drawn, the button's own repaints come to Paint as well.
    SetStyle((Style() & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
    Layout();
    if (!captionSet_) {
        caption_ = GetText();
    }
    SetText(std::string());
    CreateEdit();
    tooltip_.Create(Hwnd(), buttonRect_, tipText_);
}

void CBrowseEdit::Layout()
{
    const RECT client = ClientRect();
    buttonRect_ = client;
    if (kButtonWidth < client.right - client.left) {
        if ((style_ & kBrowseButtonLeft) != 0) {
            buttonRect_.right = client.left + kButtonWidth;
        } else {
            buttonRect_.left = client.right - kButtonWidth;
        }
    }
    RECT inner = buttonRect_;
    InflateRect(&inner, -2, -2);
    RECT picture{};
    picture.left = inner.left + ((inner.right - inner.left) - kPictureSize) / 2;
    picture.top = inner.top + ((inner.bottom - inner.top) - kPictureSize) / 2;
    picture.right = picture.left + kPictureSize;
    picture.bottom = picture.top + kPictureSize;
    if (!IntersectRect(&pictureRect_, &picture, &inner)) {
        pictureRect_ = RECT{};
    }
    editRect_ = client;
    if ((style_ & kBrowseButtonLeft) != 0) {
        editRect_.left = buttonRect_.right;
    } else {
        editRect_.right = buttonRect_.left;
    }
    if (HWND edit = EditHwnd()) {
        MoveWindow(edit, editRect_.left, editRect_.top, editRect_.right - editRect_.left,
                   editRect_.bottom - editRect_.top, TRUE);
    }
    tooltip_.SetRect(buttonRect_);
}

HWND CBrowseEdit::EditHwnd() const
{
    return edit_ ? edit_->Hwnd() : nullptr;
}

void CBrowseEdit::CreateEdit()
{
    std::string text;
    if (HWND old = EditHwnd()) {
        text = EditText();
        DestroyWindow(old);
    }
    edit_.reset();
    DWORD style = WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | ES_NOHIDESEL;
    if ((style_ & kBrowseEditable) == 0) {
        style |= ES_READONLY;
    }
    if (!IsEnabled()) {
        style |= WS_DISABLED;
    }
    HWND edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", WidenText(text).c_str(), style,
                                editRect_.left, editRect_.top, editRect_.right - editRect_.left,
                                editRect_.bottom - editRect_.top, Hwnd(),
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEditId)),
                                GetModuleHandleW(nullptr), nullptr);
    if (edit == nullptr) {
        return;
    }
    edit_ = std::make_unique<CField>(*this);
    edit_->Attach(edit);
    SendMessageW(edit, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELONG(1, 1));
    SendMessageW(edit, WM_SETFONT, static_cast<WPARAM>(Send(WM_GETFONT)), FALSE);
    ShowWindow(edit, SW_SHOW);
}

void CBrowseEdit::SetButtonTip(const std::string& text)
{
    tipText_ = text;
    tooltip_.SetText(text);
}

void CBrowseEdit::SetButtonCaption(const std::string& caption)
{
    caption_ = caption;
    captionSet_ = true;
    RedrawButton();
}

void CBrowseEdit::SetBrowseStyle(unsigned char style)
{
    if (style == style_) {
        return;
    }
    style_ = style;
    if (Hwnd() == nullptr) {
        return;
    }
    Layout();
    CreateEdit();
    RedrawAll();
}

void CBrowseEdit::SetPath(const std::string& path)
{
    if (HWND edit = EditHwnd()) {
        SetWindowTextW(edit, WidenText(path).c_str());
    }
    path_ = path;
}

std::string CBrowseEdit::GetPath() const
{
    return IsPathTyped() ? typedText_ : path_;
}

bool CBrowseEdit::IsPathTyped() const
{
    if (!typed_) {
        return false;
    }
    const std::wstring typed = WidenText(typedText_);
    const std::wstring path = WidenText(path_);
    return CompareStringOrdinal(typed.c_str(), static_cast<int>(typed.size()), path.c_str(),
                                static_cast<int>(path.size()), TRUE) != CSTR_EQUAL;
}

std::string CBrowseEdit::EditText() const
{
    HWND edit = EditHwnd();
    if (edit == nullptr) {
        return std::string();
    }
    const int length = GetWindowTextLengthW(edit);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(edit, &text[0], length + 1);
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return NarrowText(text);
}

void CBrowseEdit::OnEditNotification(WORD code)
{
    switch (code) {
    case EN_CHANGE:
        OnEditChanged();
        break;
    case EN_SETFOCUS:
        if (!editFocused_) {
            editFocused_ = true;
            SelectAllText();
        }
        break;
    case EN_KILLFOCUS:
        if (editFocused_) {
            editFocused_ = false;
            CaretToEnd();
        }
        break;
    default:
        break;
    }
}

void CBrowseEdit::OnEditChanged()
{
    if ((style_ & kBrowseEditable) == 0) {
        return;
    }
    typedText_ = EditText();
    typed_ = true;
    Notify(kBrowseChosen);
}

void CBrowseEdit::Notify(WPARAM code) const
{
    HWND parent = Parent();
    if (notifyMessage_ != 0 && parent != nullptr) {
        SendMessageW(parent, notifyMessage_, code, reinterpret_cast<LPARAM>(Hwnd()));
    }
}

int CBrowseEdit::Browse()
{
    if (busy_) {
        return kBrowseCancelled;
    }
    busy_ = true;
    int result = kBrowseCancelled;
    std::string chosen;
    FolderBrowseRequest request;
    request.owner = Parent();
    request.title = dialogCaption_;
    request.prompt = dialogPrompt_;
    request.selected = GetPath();
    request.flags = browseFlags_;
    if ((style_ & kBrowseForFolder) != 0 && BrowseForFolder(request, chosen)) {
        path_ = chosen;
        if (HWND edit = EditHwnd()) {
            SetWindowTextW(edit, WidenText(chosen).c_str());
        }
        SelectAllText();
        typed_ = false;
        typedText_ = chosen;
        result = kBrowseChosen;
    }
    Notify(static_cast<WPARAM>(result));
    busy_ = false;
    return result;
}

void CBrowseEdit::BrowseAndNotify()
{
    if (busy_) {
        return;
    }
    Browse();
    HWND parent = Parent();
    if (parent != nullptr && Hwnd() != nullptr) {
        PostMessageW(parent, WM_COMMAND, MAKEWPARAM(ControlId(), BN_CLICKED), 0);
    }
}

void CBrowseEdit::OnLeftButtonDown(POINT point)
{
    // As a button would, the click takes the focus, which goes on to the edit.
    SetFocus(Hwnd());
    if (!PtInRect(&buttonRect_, point)) {
        return;
    }
    CaretToEnd();
    SetCapture(Hwnd());
    pressed_ = true;
    RedrawAll();
}

void CBrowseEdit::OnLeftButtonUp(POINT point)
{
    if (GetCapture() != Hwnd()) {
        return;
    }
    ReleaseCapture();
    pressed_ = false;
    RedrawButton();
    if (PtInRect(&buttonRect_, point)) {
        BrowseAndNotify();
    }
}

void CBrowseEdit::OnMouseMove(POINT point)
{
    const bool overButton = PtInRect(&buttonRect_, point) != FALSE;
    if (hot_ && !overButton) {
        LeaveButton();
        return;
    }
    if (hot_ || !overButton) {
        return;
    }
    hot_ = true;
    if (GetCapture() == Hwnd()) {
        pressed_ = true;
    }
    // The system says when the cursor leaves the control; moves inside it say
    // when it leaves the button.
    TRACKMOUSEEVENT track{};
    track.cbSize = sizeof(track);
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = Hwnd();
    TrackMouseEvent(&track);
    RedrawButton();
}

void CBrowseEdit::LeaveButton()
{
    if (!hot_) {
        return;
    }
    hot_ = false;
    pressed_ = false;
    RedrawButton();
}

void CBrowseEdit::OnSetFocus(HWND previous)
{
    // The edit's own focus notification selects its text.
    HWND edit = EditHwnd();
    if (!editFocused_ && edit != nullptr && previous != edit) {
        SetFocus(edit);
    }
}

void CBrowseEdit::SelectAllText() const
{
    if (HWND edit = EditHwnd()) {
        SendMessageW(edit, EM_SETSEL, 0, -1);
    }
}

void CBrowseEdit::CaretToEnd() const
{
    if (HWND edit = EditHwnd()) {
        const LPARAM end = GetWindowTextLengthW(edit);
        SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(end), end);
    }
}

void CBrowseEdit::RedrawButton()
{
    if (Hwnd() != nullptr) {
        RedrawWindow(Hwnd(), &buttonRect_, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
}

void CBrowseEdit::RedrawAll()
{
    if (Hwnd() != nullptr) {
        RedrawWindow(Hwnd(), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE | RDW_ALLCHILDREN);
    }
}

void CBrowseEdit::Paint(HDC dc)
{
    FillSolid(dc, buttonRect_, GetSysColor(COLOR_BTNFACE));
    DrawButtonFrame(dc);
    if ((style_ & kBrowsePicture) != 0) {
        DrawFolderPicture(dc);
    } else {
        DrawButtonCaption(dc);
    }
}

void CBrowseEdit::DrawButtonFrame(HDC dc) const
{
    if ((style_ & kBrowseFlatFrame) != 0) {
        const COLORREF shadow = GetSysColor(COLOR_3DSHADOW);
        const COLORREF light = GetSysColor(COLOR_3DHILIGHT);
        Draw3dFrame(dc, buttonRect_, pressed_ ? shadow : light, pressed_ ? light : shadow);
        return;
    }
    RECT inner = buttonRect_;
    InflateRect(&inner, -1, -1);
    if (pressed_) {
        const COLORREF dark = GetSysColor(COLOR_3DDKSHADOW);
        const COLORREF shadow = GetSysColor(COLOR_3DSHADOW);
        Draw3dFrame(dc, buttonRect_, dark, dark);
        Draw3dFrame(dc, inner, shadow, shadow);
        return;
    }
    Draw3dFrame(dc, buttonRect_, GetSysColor(COLOR_3DHILIGHT), GetSysColor(COLOR_3DDKSHADOW));
    Draw3dFrame(dc, inner, GetSysColor(COLOR_3DLIGHT), GetSysColor(COLOR_3DSHADOW));
}

void CBrowseEdit::DrawFolderPicture(HDC dc) const
{
    const int width = pictureRect_.right - pictureRect_.left;
    const int height = pictureRect_.bottom - pictureRect_.top;
    if (width <= 0 || height <= 0) {
        return;
    }
    const bool enabled = IsEnabled();
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const COLORREF outline = enabled ? RGB(0, 0, 0) : RGB(128, 128, 128);
    const COLORREF fill = enabled ? RGB(255, 255, 0) : RGB(192, 192, 192);
    const COLORREF shade = enabled ? RGB(128, 128, 0) : RGB(128, 128, 128);

    UniqueMemoryDC memory(CreateCompatibleDC(dc));
    UniqueBitmap bitmap(CreateCompatibleBitmap(dc, kPictureSize, kPictureSize));
    if (!memory || !bitmap) {
        return;
    }
    SelectedObject select(memory.get(), bitmap.get());
    FillSolid(memory.get(), RECT{0, 0, kPictureSize, kPictureSize}, face);
    for (int y = 0; y < kPictureSize; ++y) {
        for (int x = 0; x < kPictureSize; ++x) {
            COLORREF color = face;
            switch (kFolderPicture[y][x]) {
            case 'K': color = outline; break;
            case 'W': color = RGB(255, 255, 255); break;
            case 'Y': color = fill; break;
            case 'S': color = shade; break;
            default: continue;
            }
            SetPixelV(memory.get(), x, y, color);
        }
    }
    const int shift = pressed_ ? 1 : 0;
    BitBlt(dc, pictureRect_.left + shift, pictureRect_.top + shift, width, height, memory.get(), 0,
           0, SRCCOPY);
}

void CBrowseEdit::DrawButtonCaption(HDC dc) const
{
    RECT area = buttonRect_;
    if (pressed_) {
        OffsetRect(&area, 1, 1);
    }
    HFONT font = reinterpret_cast<HFONT>(Send(WM_GETFONT));
    SelectedObject selectFont(dc, font != nullptr ? font : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(IsEnabled() ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    const std::wstring text = WidenText(caption_);
    DrawTextW(dc, text.c_str(), -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}
