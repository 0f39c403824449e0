#include <windows.h>

#include "app/setup_app.h"
#include "framework/controls.h"

namespace {

CSetupApp theApp;

}  // namespace

// DLL loading is restricted before any other call. The dialog uses common controls, made ready before the window; OLE waits for
// the web panel, which the window makes once it shows. Nothing is reported
// from here: the window tells the user everything there is to tell.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (!CSetupApp::RestrictDllSearch()) {
        return 1;
    }
    try {
        InitControlClasses();
        theApp.InitInstance();
    } catch (...) {
        return 1;
    }
    return 0;
}
