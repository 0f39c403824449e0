#include <windows.h>
#include <ole2.h>

#include "app/setup_app.h"
#include "framework/controls.h"

namespace {

CSetupApp theApp;

}  // namespace

// The web panel hosts an OLE control and the dialog uses common controls; both
// are made ready before the window. Nothing is reported from here: the window
// tells the user everything there is to tell.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    try {
        const bool ole = SUCCEEDED(OleInitialize(nullptr));
        InitControlClasses();
        theApp.InitInstance();
        if (ole) {
            OleUninitialize();
        }
    } catch (...) {
        return 1;
    }
    return 0;
}
