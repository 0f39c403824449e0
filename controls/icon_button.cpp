#include "controls/icon_button.h"

#include <algorithm>

#include "util/wide_text.h"

COLORREF ShiftedColor(COLORREF color, int shade)
{
    const int channels[3] = {GetRValue(color), GetGValue(color), GetBValue(color)};
    int offset = shade;
    for (int channel : channels) {
        if (shade > 0) {
            offset = std::min(offset, channel + shade < 256 ? shade : 255 - channel);
        } else {
            offset = std::max(offset, channel + shade >= 0 ? shade : -channel);
        }
    }
    return RGB(channels[0] + offset, channels[1] + offset, channels[2] + offset);
}

CIconButton::CIconButton()
{
    ResetStateColors(false);
}

LRESULT CIconButton::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case ReflectedMessage(WM_DRAWITEM):
        Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case ReflectedMessage(WM_CTLCOLORBTN):
        // The parent paints no background under the button.
        return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    case ReflectedMessage(WM_COMMAND):
        if (HIWORD(wParam) == BN_CLICKED) {
            SetFocus(Hwnd());
        }
        return 0;  // the click goes on to the parent
    case BM_SETSTYLE:
        return PassStyle(wParam, lParam);
    case WM_GETDLGCODE:
        return DefaultProc(message, wParam, lParam) |
               (defaultButton_ ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    case WM_LBUTTONDBLCLK:
        // An owner-drawn button reports a double-click as such; ours acts as
        // two clicks.
        return DefaultProc(WM_LBUTTONDOWN, wParam, lParam);
    case WM_MOUSEMOVE: {
        const LRESULT result = DefaultProc(message, wParam, lParam);
        if ((wParam & MK_LBUTTON) == 0 || hover_) {
            OnMouseMove();
        }
        return result;
    }
    case WM_MOUSELEAVE:
        EndHover();
        return DefaultProc(message, wParam, lParam);
    case WM_KILLFOCUS:
    case WM_CANCELMODE: {
        const LRESULT result = DefaultProc(message, wParam, lParam);
        EndHover();
        return result;
    }
    case WM_ACTIVATE: {
        const LRESULT result = DefaultProc(message, wParam, lParam);
        if (LOWORD(wParam) == WA_INACTIVE) {
            EndHover();
        }
        return result;
    }
    case WM_ENABLE: {
        const LRESULT result = DefaultProc(message, wParam, lParam);
        if (wParam == FALSE) {
            MoveFocusOnDisable();
            EndHover();
        }
        return result;
    }
    case WM_SYSCOLORCHANGE: {
        const LRESULT result = DefaultProc(message, wParam, lParam);
        ResetStateColors(true);
        return result;
    }
    default:
        return CButtonCtl::HandleMessage(message, wParam, lParam);
    }
}

void CIconButton::OnAttached()
{
    const LONG_PTR style = Style();
    if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
        defaultButton_ = true;
    }
    SetStyle((style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
    SetWindowPos(Hwnd(), nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

LRESULT CIconButton::PassStyle(WPARAM style, LPARAM redraw)
{
    const WPARAM type = style & BS_TYPEMASK;
    if (type == BS_PUSHBUTTON) {
        defaultButton_ = false;
    } else if (type == BS_DEFPUSHBUTTON) {
        defaultButton_ = true;
    }
    return DefaultProc(BM_SETSTYLE, (style & ~static_cast<WPARAM>(BS_TYPEMASK)) | BS_OWNERDRAW,
                       redraw);
}

int CIconButton::SetFlatLook(bool on, bool repaint)
{
    flat_ = on;
    RepaintIf(repaint);
    return kIconButtonOk;
}

int CIconButton::SetHoverWhenInactive(bool on)
{
    trackWhenInactive_ = on;
    return kIconButtonOk;
}

int CIconButton::SetIconResource(HINSTANCE instance, UINT iconId, int width, int height)
{
    const bool sized = width != 0 && height != 0;
    // A sized icon is loaded at the system's icon size and scaled when drawn.
    HICON loaded = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(iconId), IMAGE_ICON,
                                                 sized ? 0 : width, sized ? 0 : height,
                                                 sized ? LR_DEFAULTSIZE : 0));
    icon_.reset(loaded);
    iconSize_ = SIZE{0, 0};
    if (!icon_) {
        Invalidate();
        return kIconButtonOk;
    }
    ICONINFO info{};
    if (!GetIconInfo(icon_.get(), &info)) {
        icon_.reset();
        Invalidate();
        return kIconButtonNoIconInfo;
    }
    // GetIconInfo hands over copies of the icon's bitmaps.
    UniqueBitmap mask(info.hbmMask);
    UniqueBitmap colour(info.hbmColor);
    iconSize_ = SIZE{static_cast<LONG>(info.xHotspot * 2), static_cast<LONG>(info.yHotspot * 2)};
    Invalidate();
    if (sized) {
        iconSize_ = SIZE{width, height};
    }
    return kIconButtonOk;
}

int CIconButton::SetStateColor(int index, COLORREF color, bool repaint)
{
    if (index < 0 || index >= kIconButtonColorCount) {
        return kIconButtonBadIndex;
    }
    colors_[index] = color;
    RepaintIf(repaint);
    return kIconButtonOk;
}

int CIconButton::ShiftStateColor(int index, int shade, bool repaint)
{
    if (index < 0 || index >= kIconButtonColorCount) {
        return kIconButtonBadIndex;
    }
    if (shade < -255 || shade > 255) {
        return kIconButtonBadShade;
    }
    colors_[index] = ShiftedColor(colors_[index], shade);
    RepaintIf(repaint);
    return kIconButtonOk;
}

int CIconButton::ResetStateColors(bool repaint)
{
    for (int index = 0; index < kIconButtonColorCount; ++index) {
        colors_[index] = GetSysColor(index % 2 == 0 ? COLOR_BTNFACE : COLOR_BTNTEXT);
    }
    RepaintIf(repaint);
    return kIconButtonOk;
}

COLORREF CIconButton::GetStateColor(int index) const
{
    return index >= 0 && index < kIconButtonColorCount ? colors_[index] : CLR_INVALID;
}

void CIconButton::RepaintIf(bool repaint)
{
    if (repaint) {
        Invalidate(true);
    }
}

void CIconButton::OnMouseMove()
{
    if (!flat_) {
        return;
    }
    POINT cursor{};
    GetCursorPos(&cursor);
    const bool overUs = WindowFromPoint(cursor) == Hwnd();
    if (overUs && (trackWhenInactive_ || GetActiveWindow() != nullptr)) {
        if (!hover_) {
            hover_ = true;
            Invalidate(true);
            TRACKMOUSEEVENT track{};
            track.cbSize = sizeof(track);
            track.dwFlags = TME_LEAVE;
            track.hwndTrack = Hwnd();
            TrackMouseEvent(&track);
        }
        return;
    }
    EndHover();
}

void CIconButton::EndHover()
{
    if (flat_ && hover_) {
        hover_ = false;
        Invalidate(true);
    }
}

void CIconButton::MoveFocusOnDisable()
{
    HWND parent = Parent();
    if (parent == nullptr) {
        return;
    }
    HWND next = GetNextDlgTabItem(parent, Hwnd(), FALSE);
    SetFocus(next != nullptr && next != Hwnd() ? next : parent);
}

void CIconButton::Draw(const DRAWITEMSTRUCT& item)
{
    HDC dc = item.hDC;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool focused = (item.itemState & ODS_FOCUS) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const bool active = hover_ || pressed;
    SetBkMode(dc, TRANSPARENT);

    const RECT& rect = item.rcItem;
    const COLORREF back =
        colors_[active ? kColorActiveBack : focused ? kColorFocusBack : kColorNormalBack];
    UniqueBrush backBrush(CreateSolidBrush(back));
    FillRect(dc, &rect, backBrush.get());

    if (flat_) {
        const COLORREF light = GetSysColor(COLOR_3DHILIGHT);
        const COLORREF shadow = GetSysColor(COLOR_3DSHADOW);
        const COLORREF topLeft = pressed ? shadow : light;
        const COLORREF bottomRight = pressed ? light : shadow;
        UniqueBrush first(CreateSolidBrush(topLeft));
        UniqueBrush second(CreateSolidBrush(bottomRight));
        const RECT top{rect.left, rect.top, rect.right - 1, rect.top + 1};
        const RECT left{rect.left, rect.top, rect.left + 1, rect.bottom - 1};
        const RECT bottom{rect.left, rect.bottom - 1, rect.right, rect.bottom};
        const RECT right{rect.right - 1, rect.top, rect.right, rect.bottom};
        FillRect(dc, &top, first.get());
        FillRect(dc, &left, first.get());
        FillRect(dc, &bottom, second.get());
        FillRect(dc, &right, second.get());
    } else {
        RECT edge = rect;
        DrawEdge(dc, &edge, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    }

    const std::string caption = GetText();
    RECT captionArea = rect;
    const POINT shift = pressed ? pressedOffset : POINT{0, 0};
    if (icon_) {
        const int width = rect.right - rect.left;
        const int height = rect.bottom - rect.top;
        int x = rect.left + (width - iconSize_.cx) / 2;
        if (!caption.empty()) {
            x = rect.left + imageMargin;
            captionArea.left += imageMargin + iconSize_.cx;
        }
        const int y = rect.top + (height - iconSize_.cy) / 2;
        DrawIconEx(dc, x + shift.x, y + shift.y, icon_.get(), iconSize_.cx, iconSize_.cy, 0,
                   nullptr, DI_NORMAL | DI_COMPAT);
    }
    if (!caption.empty()) {
        OffsetRect(&captionArea, shift.x, shift.y);
        const COLORREF text =
            colors_[active ? kColorActiveText : focused ? kColorFocusText : kColorNormalText];
        DrawCaption(dc, captionArea, disabled, text);
    }
}

void CIconButton::DrawCaption(HDC dc, RECT area, bool disabled, COLORREF color)
{
    const std::wstring text = WidenText(GetText());
    HFONT font = reinterpret_cast<HFONT>(Send(WM_GETFONT));
    SelectedObject selectFont(dc, font != nullptr ? font : GetStockObject(DEFAULT_GUI_FONT));

    RECT measured = area;
    DrawTextW(dc, text.c_str(), -1, &measured, DT_WORDBREAK | DT_CENTER | DT_CALCRECT);
    const int measuredWidth = measured.right - measured.left;
    const int measuredHeight = measured.bottom - measured.top;
    RECT block{};
    block.left = area.left + ((area.right - area.left) - measuredWidth) / 2;
    block.top = area.top + ((area.bottom - area.top) - measuredHeight) / 2;
    block.right = block.left + measuredWidth;
    block.bottom = block.top + measuredHeight;

    if (disabled) {
        RECT embossed = block;
        OffsetRect(&embossed, 1, 1);
        SetTextColor(dc, GetSysColor(COLOR_3DHILIGHT));
        DrawTextW(dc, text.c_str(), -1, &embossed, DT_WORDBREAK | DT_CENTER);
        SetTextColor(dc, GetSysColor(COLOR_3DSHADOW));
        DrawTextW(dc, text.c_str(), -1, &block, DT_WORDBREAK | DT_CENTER);
        return;
    }
    SetTextColor(dc, color);
    DrawTextW(dc, text.c_str(), -1, &block, DT_WORDBREAK | DT_CENTER);
}
