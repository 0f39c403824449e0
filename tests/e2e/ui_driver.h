#pragma once
// Drives the setup program from another process the way a user would: starts
// it, finds its windows and their controls by id, presses buttons, ticks boxes,
// picks combo entries, answers its message boxes and its overwrite prompt, reads
// labels, captions and the progress bar, and saves pictures of its windows.
// Texts cross the process boundary as UTF-16 and are code page 936 here.
#include <functional>
#include <string>
#include <vector>

#include <windows.h>

#include "util/handles.h"

namespace e2e {

constexpr DWORD kWaitMs = 20000;

// Asks `condition` every 10 ms until it holds or `timeoutMs` have passed.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kWaitMs);

// One run of the program. The destructor ends a run that is still going, so a
// failed test never leaves a window behind.
class CProgramRun {
public:
    CProgramRun() = default;
    ~CProgramRun();
    CProgramRun(const CProgramRun&) = delete;
    CProgramRun& operator=(const CProgramRun&) = delete;

    // Starts `program` in its own folder, with the driver's environment plus
    // `extraEnvironment` ("NAME=value", replacing a variable of that name).
    bool Start(const std::string& program, const std::vector<std::string>& extraEnvironment);

    // The process's unowned dialog window with this caption, once it is visible.
    HWND WaitForMainWindow(const std::string& caption, DWORD timeoutMs = kWaitMs);
    // A visible dialog window of the process owned by `owner`: a message box or
    // a prompt; null when none came.
    HWND WaitForOwnedDialog(HWND owner, DWORD timeoutMs = kWaitMs) const;
    // The same without waiting.
    HWND FindOwnedDialog(HWND owner) const;

    bool WaitForExit(DWORD timeoutMs = kWaitMs);
    bool Running() const;
    // Ends the process at once if it still runs.
    void Kill();

private:
    UniqueResource<handle_traits::Kernel> process_;
    DWORD processId_ = 0;
};

HWND Control(HWND dialog, int id);
// A window's text (through WM_GETTEXT, so it reaches into the other process).
std::string TextOf(HWND window);
std::string ControlText(HWND dialog, int id);
bool IsShown(HWND dialog, int id);
bool IsEnabled(HWND dialog, int id);

// Presses a button as a user can: only a visible, enabled one. The click is
// posted as the button's notification, so a modal box that it opens does not
// hold up the driver. False when the button cannot be pressed.
bool Click(HWND dialog, int id);
// Ticks or clears a check box and tells the window, as a click on it does.
bool SetCheck(HWND dialog, int id, bool checked);
bool IsChecked(HWND dialog, int id);
// Replaces the text of an edit box as typing would (the box notifies its owner).
bool TypeText(HWND edit, const std::string& text);

// The text of the item selected in a dialog's tree (the folder browser's);
// empty when there is none.
std::string TreeSelectionText(HWND dialog);

std::vector<std::string> ComboItems(HWND dialog, int id);
int ComboSelection(HWND dialog, int id);
bool SelectComboItem(HWND dialog, int id, int index);

struct ProgressState {
    int low = 0;
    int high = 0;
    int position = 0;
};
ProgressState ProgressOf(HWND dialog, int id);

RECT ScreenRectOf(HWND window);

// The text of a message box (its static control 0xFFFF) or, for the overwrite
// prompt, of its question; empty when neither exists.
std::string MessageBoxText(HWND box);
// Answers a message box or prompt with the button `id` (IDOK, IDYES, 1028 ...)
// and waits until it has gone.
bool Answer(HWND box, int id);
// True once `window` no longer exists or no longer shows.
bool WaitGone(HWND window, DWORD timeoutMs = kWaitMs);
// Makes sure the window's thread has handled what was sent to it so far.
bool Settle(HWND window);

// Saves what the screen shows of `window` as a PNG file; false on failure.
bool SavePicture(HWND window, const std::string& path);

}  // namespace e2e
