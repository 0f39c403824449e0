#pragma once
// A static text turned into a web link: link colours, an underline, a hand
// cursor, a tooltip with the address, a size that fits the text, and OpenLink,
// which opens the address in the user's browser. The label does not open on
// its own click: attach it to a static (it adds SS_NOTIFY), handle the
// static's STN_CLICKED in the owner and call OpenLink there.
#include <string>

#include <windows.h>

#include "framework/controls.h"
#include "util/handles.h"

enum LinkUnderline : int {
    kUnderlineOnHover = -1,
    kUnderlineNever = 0,
    kUnderlineAlways = 1,
};

// The text of the error box for a ShellExecute/WinExec result code:
// "Unable to open hyperlink:\n\n" followed by the code's explanation.
std::string HyperlinkErrorText(int code);
// The command line that starts a browser handler with `address`: the handler's
// command cut before its first "\"%1\"" (else before its first "%1"), a space,
// then the address.
std::string HandlerCommandLine(const std::string& handlerCommand, const std::string& address);

class CLinkLabel : public CStaticCtl {
public:
    static constexpr UINT_PTR kHoverTimer = 100;
    static constexpr UINT kHoverTimerPeriod = 100;

    CLinkLabel();
    ~CLinkLabel() override;

    // Stores the address; with a window, refits it to its text and shows the
    // address as the tooltip.
    void SetLinkAddress(const std::string& address);
    const std::string& GetLinkAddress() const { return address_; }
    // kUnderlineAlways, kUnderlineNever or kUnderlineOnHover.
    void SetUnderlineMode(int mode);
    int GetUnderlineMode() const { return underline_; }
    // Opens the address with the shell, falling back on the .htm handler's
    // command; true (and visited) on success, else a warning box and false.
    bool OpenLink();
    void SetVisitedState(bool visited);
    bool IsVisited() const { return visited_; }
    bool IsHovered() const { return hover_; }
    // The text colour that the label draws with now.
    COLORREF CurrentTextColor() const;
    HCURSOR HandCursor() const { return handCursor_.get(); }
    HWND TooltipHwnd() const { return tooltip_.Hwnd(); }
    // The tooltip's current text.
    std::string TooltipText() const { return tooltip_.GetText(); }

    COLORREF linkColor = RGB(0, 0, 238);
    COLORREF visitedColor = RGB(85, 26, 139);
    COLORREF hoverColor = RGB(255, 0, 0);
    // Resize the window to its text on attach and on SetLinkAddress.
    bool fitToText = true;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnAttached() override;

private:
    void MakeFonts();
    void FitToText();
    void LoadHandCursor();
    void OnMouseMove();
    void OnHoverTimer();
    void UseFont(bool underlined);
    int Launch() const;
    void ReportFailure(int code) const;

    std::string address_;
    int underline_ = kUnderlineOnHover;
    bool hover_ = false;
    bool visited_ = false;
    UniqueFont normalFont_;
    UniqueFont underlinedFont_;
    UniqueCursor handCursor_;
    CToolTip tooltip_;
};
