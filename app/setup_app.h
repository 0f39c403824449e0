#pragma once
// The application: it runs the install window as its main window and ends
// when that window closes.
class CSetupApp {
public:
    // Limits every later DLL load, the delay-loaded system DLLs among them, to
    // the system folder; answers false (after telling the user) on a system
    // that cannot, where the program must not go on. Called before anything
    // else: the folder beside a downloaded program is anybody's to write.
    static bool RestrictDllSearch();

    // Runs the install window modally; answers false, so that the process ends
    // instead of entering a message loop of its own.
    bool InitInstance();
};
