#pragma once
// The window base of our framework: an object bound to one window, which sees
// the window's messages through one overridable dispatch (HandleMessage) and
// passes what it does not handle to the window's own procedure.
//
// Windows that exist already (dialog items, a dialog) are subclassed; windows
// that we create ourselves are made of a class whose procedure hands the window
// to its object at WM_NCCREATE. Either way the object is found from its handle
// (FromHandle), which is how a parent reflects messages to its child controls.
//
// Reflection: when one of our windows receives WM_CTLCOLOR*, WM_DRAWITEM, a
// control's WM_COMMAND notification or WM_NOTIFY about a child that is also one
// of ours, the child's HandleMessage sees it first as ReflectedMessage(message),
// so an owner-drawn button draws itself and a label chooses its own colours.
// A child that handles a reflected message answers it for the parent; only a
// reflected WM_COMMAND goes on to the parent as well, unless the child returns
// non-zero (the click of a button still reaches the dialog).
//
// No exception leaves a window procedure: one that escapes a handler is caught
// at the boundary and the message gets the window's default processing.
#include <string>

#include <windows.h>

// The messages that reflection hands to a child, each moved into a band above
// WM_USER where no system control defines messages.
constexpr UINT kReflectBase = 0x2000;
constexpr UINT ReflectedMessage(UINT message) { return kReflectBase + message; }
bool IsReflectedMessage(UINT message);

// Dispatches the messages waiting for the calling thread, for code that must
// wait inside a message handler. False when a quit request came: it is posted
// again, so that the message loop that runs the thread still ends.
bool DispatchPendingMessages();

// Answers the messages that other threads and programs have sent to the
// calling thread's windows and leaves everything posted (input included) in the
// queue: for long work inside a message handler that must not keep a sender
// waiting and must not run into a handler of the user's input.
void AnswerSentMessages();

class CWindow {
public:
    CWindow() = default;
    virtual ~CWindow();
    CWindow(const CWindow&) = delete;
    CWindow& operator=(const CWindow&) = delete;

    HWND Hwnd() const { return hwnd_; }

    // Binds this object to an existing window of the calling thread by
    // subclassing it; false when the window does not exist, when this object
    // already has a window, or when the window already belongs to an object.
    bool Attach(HWND window);
    // Gives the window back its own procedure; the object keeps no window.
    void Detach();
    // The object bound to a window, or null.
    static CWindow* FromHandle(HWND window);

    // Texts are code page 936 on our side and UTF-16 towards the window.
    void SetText(const std::string& text);
    std::string GetText() const;

    int ControlId() const;
    HWND Parent() const;
    void Show(bool show);
    bool IsVisible() const;
    void Enable(bool enable);
    bool IsEnabled() const;
    // The window's rectangle in its parent's client coordinates (in screen
    // coordinates for a window without a parent).
    RECT RectInParent() const;
    RECT ClientRect() const;
    void Move(const RECT& rect, bool repaint = true);
    void Invalidate(bool erase = true);
    LONG_PTR Style() const;
    void SetStyle(LONG_PTR style);
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

protected:
    // The one message dispatch of a class: a switch over the messages the class
    // handles, the rest passed on to the base class's HandleMessage. The base of
    // all ends in the window's default processing; for a reflected message it
    // means "not handled here".
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // The processing of the window's own procedure (the one the subclass
    // replaced). Only valid inside HandleMessage for a message of this window.
    LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam);

    // Runs once the object is bound to a window it did not create.
    virtual void OnAttached() {}

    // Registers a window class whose windows are created by CreateOwnWindow.
    // Registering a name twice is harmless.
    static bool RegisterOwnClass(const wchar_t* className, UINT classStyle, HCURSOR cursor,
                                 HBRUSH background);
    // Creates a window of such a class bound to this object from its first
    // messages on; false when this object has a window or creation fails.
    bool CreateOwnWindow(const wchar_t* className, DWORD exStyle, DWORD style, const RECT& rect,
                         HWND parent, int controlId, const std::string& text = std::string());

    // Binds without the OnAttached step, for windows this framework creates.
    bool Subclass(HWND window);
    // The guarded entry of every message into the object.
    LRESULT DispatchGuarded(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK OwnClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    bool ReflectToChild(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool HandleReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    HWND hwnd_ = nullptr;
    bool reflectHandled_ = false;
};
