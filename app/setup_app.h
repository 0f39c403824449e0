#pragma once
// The application: it runs the install window as its main window and ends
// when that window closes.
class CSetupApp {
public:
    // Runs the install window modally; answers false, so that the process ends
    // instead of entering a message loop of its own.
    bool InitInstance();
};
