#pragma once
// Modal dialogs from templates of the program's resources.
//
// A dialog registers, in its constructor, which items are bound to control
// objects (BindItem) and which check boxes exchange their state with integer
// members (ExchangeCheck). The base initialisation binds them all and fills the
// check boxes; UpdateData(true) takes the states back. Enter and Esc arrive as
// the IDOK and IDCANCEL commands and end in OnOK and OnCancel.
#include <utility>
#include <vector>

#include <windows.h>

#include "framework/window.h"

class CDialogBase : public CWindow {
public:
    // Without a parent the main window (framework/message_box.h) owns the
    // dialog while it runs, when there is one.
    explicit CDialogBase(UINT templateId, HWND parent = nullptr);

    // Runs the dialog and answers the value it was ended with; -1 when the
    // dialog could not be created or its initialisation failed.
    INT_PTR DoModal();
    void EndDialog(INT_PTR result);

    HWND GetItem(int id) const;
    // Moves the check states between the check boxes and their members: into
    // the members when `save`, else into the check boxes. False when a
    // registered check box is missing (the other states are still moved).
    bool UpdateData(bool save);

protected:
    // Before the window exists the binding is made at initialisation; later
    // at once. False only when an existing dialog lacks the item.
    bool BindItem(int id, CWindow& control);
    void ExchangeCheck(int id, int& state);

    // Binds the registered items and fills the check boxes; a dialog whose
    // items cannot be bound ends with -1. The answer tells the system whether
    // to give the focus to the first tab stop.
    virtual bool OnInitDialog();
    // Takes the check states and ends with IDOK.
    virtual void OnOK();
    virtual void OnCancel();

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool BindRegisteredItems();

    UINT templateId_;
    HWND parent_;
    std::vector<std::pair<int, CWindow*>> bindings_;
    std::vector<std::pair<int, int*>> checks_;
};
