#pragma once
// A flat owner-drawn push button with an icon and a caption, whose background
// lights up while the mouse is over it. Attached to a push button of a dialog
// template, it keeps the control's id, text, position and click notification;
// it only takes over the drawing (the button type becomes owner-draw).
#include <windows.h>

#include "framework/controls.h"
#include "util/handles.h"

// The indices of the state colours.
enum IconButtonColor : int {
    kColorActiveBack = 0,  // background while hovered or pressed
    kColorActiveText = 1,  // caption while hovered or pressed
    kColorNormalBack = 2,  // background in the normal state
    kColorNormalText = 3,  // caption in the normal state
    kColorFocusBack = 4,   // background while focused (neither hovered nor pressed)
    kColorFocusText = 5,   // caption while focused
    kIconButtonColorCount = 6,
};

// Results of the configuration operations.
enum IconButtonResult : int {
    kIconButtonOk = 0,
    kIconButtonNoIconInfo = 1,  // the icon's information could not be read
    kIconButtonBadIndex = 3,    // colour index above 5
    kIconButtonBadShade = 5,    // shade outside -255..255
};

// `color` with `shade` added to all three channels, the offset limited so that
// no channel leaves 0..255 and the hue stays: (240, 240, 240) + 30 gives white,
// (250, 100, 0) + 30 gives (255, 105, 5), (10, 200, 200) - 30 gives (0, 190, 190).
COLORREF ShiftedColor(COLORREF color, int shade);

class CIconButton : public CButtonCtl {
public:
    CIconButton();

    // Each answers an IconButtonResult; `repaint` invalidates the whole button.
    int SetFlatLook(bool on, bool repaint = true);
    // Light on hover even while no window of this thread is active.
    int SetHoverWhenInactive(bool on);
    // Loads icon `iconId` of `instance`. With both sizes given, the icon is
    // loaded at the system's standard size and drawn at width x height;
    // otherwise it is drawn at its own size. The button owns the icon.
    int SetIconResource(HINSTANCE instance, UINT iconId, int width = 0, int height = 0);
    int SetStateColor(int index, COLORREF color, bool repaint = true);
    int ShiftStateColor(int index, int shade, bool repaint = true);
    // Even indices to the system button face colour, odd ones to the button
    // text colour.
    int ResetStateColors(bool repaint = true);

    // CLR_INVALID for an index outside 0..5.
    COLORREF GetStateColor(int index) const;
    bool IsFlat() const { return flat_; }
    bool IsHovered() const { return hover_; }
    bool IsDefaultButton() const { return defaultButton_; }
    HICON Icon() const { return icon_.get(); }
    SIZE IconSize() const { return iconSize_; }

    // Gap between the left edge and the icon, and between the icon and the
    // caption area, in pixels.
    int imageMargin = 3;
    // How far icon and caption move while the button is pressed.
    POINT pressedOffset{1, 1};

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnAttached() override;

private:
    void OnMouseMove();
    void EndHover();
    void MoveFocusOnDisable();
    void Draw(const DRAWITEMSTRUCT& item);
    void DrawCaption(HDC dc, RECT area, bool disabled, COLORREF color);
    void RepaintIf(bool repaint);
    LRESULT PassStyle(WPARAM style, LPARAM redraw);

    bool flat_ = true;
    bool hover_ = false;
    bool trackWhenInactive_ = true;
    bool defaultButton_ = false;
    COLORREF colors_[kIconButtonColorCount]{};
    UniqueIcon icon_;
    SIZE iconSize_{0, 0};
};
