#pragma once
// Message boxes of the application, owned by its main window, and the registry
// of that main window. The main window is registered as an object, so that it
// may be named before its window exists (a modal dialog gets its window only
// inside DoModal). Both are for the user-interface thread; a worker shows a box
// through the UI-thread call (framework/thread.h).
#include <string>

#include <windows.h>

class CWindow;

// The caption of the application's own boxes, which the application names at
// its start (empty until then).
void SetMessageCaption(const std::string& caption);

void SetMainWindow(CWindow* window);
// The main window's handle, or null while there is none.
HWND GetMainWindow();

// A modal box with a code page 936 text and MB_* flags and the application's
// caption, owned by the main window; answers IDOK, IDCANCEL, IDYES ... (0 when no box could be shown).
int ShowMessageBox(const std::string& text, UINT flags = MB_OK);
int ShowMessageBox(const std::string& text, UINT flags, const std::string& caption);
