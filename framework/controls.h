#pragma once
// Thin control objects over the system's controls; texts in code page 936.
// Each is bound to a dialog item (CDialogBase::BindItem) or attached to a
// window, and is the base of our own controls that add behaviour.
#include <string>

#include <windows.h>
#include <commctrl.h>

#include "framework/window.h"

// Registers the common-control classes that our dialog templates use (progress
// bar, animation); call once before the first dialog.
bool InitControlClasses();

class CStaticCtl : public CWindow {
public:
    HICON SetIcon(HICON icon);
    HBITMAP SetBitmap(HBITMAP bitmap);
};

class CButtonCtl : public CWindow {
public:
    // BST_UNCHECKED, BST_CHECKED or BST_INDETERMINATE.
    int GetCheck() const;
    void SetCheck(int state);
    // The button type: the low bits of the style (BS_TYPEMASK).
    UINT GetButtonType() const;
    void SetButtonStyle(UINT style, bool redraw = true);
    // Acts as a click of the user: the parent gets its BN_CLICKED.
    void Click();
};

class CComboBoxCtl : public CWindow {
public:
    // The new item's index, or CB_ERR.
    int AddString(const std::string& text);
    int InsertString(int index, const std::string& text);
    int DeleteString(int index);
    void ResetContent();
    int GetCount() const;
    int GetCurSel() const;
    int SetCurSel(int index);
    std::string GetItemText(int index) const;
    int FindStringExact(const std::string& text, int after = -1) const;
};

class CProgressCtl : public CWindow {
public:
    // The full 32-bit range of PBM_SETRANGE32.
    void SetRange32(int lower, int upper);
    void GetRange(int& lower, int& upper) const;
    int SetPos(int position);
    int GetPos() const;
};

// A tooltip over one rectangle of a window. It watches the window's mouse
// messages itself (TTF_SUBCLASS), so the window needs no relaying; it is
// destroyed with this object or with Destroy, whichever comes first.
class CToolTip {
public:
    CToolTip() = default;
    ~CToolTip() { Destroy(); }
    CToolTip(const CToolTip&) = delete;
    CToolTip& operator=(const CToolTip&) = delete;

    bool Create(HWND owner, const RECT& rect, const std::string& text);
    void Destroy();
    HWND Hwnd() const { return window_; }
    void SetRect(const RECT& rect);
    void SetText(const std::string& text);
    std::string GetText() const;

private:
    TOOLINFOW Tool() const;

    HWND window_ = nullptr;
    HWND owner_ = nullptr;
};

// An animation control that a dialog template holds as a plain "Static"
// placeholder (same id, place, styles and text): creating an animation control
// loads the video libraries of the system (under Wine: msvfw32 with winmm,
// msacm32 and OLE), which a window that never plays one should not wait for.
// The first Open creates the animation control in the placeholder's place and
// Z order; a window that is an animation control already is used as it is.
class CAnimateCtl : public CWindow {
public:
    bool Open(UINT resourceId);
    // Before the first Open nothing is open: Play fails, Stop and Close have
    // nothing to do.
    bool Play(UINT from = 0, UINT to = 0xFFFF, UINT repeat = 1);
    bool Stop();
    void Close();

private:
    bool IsPlaceholder() const;
    bool CreateInPlace();
};
