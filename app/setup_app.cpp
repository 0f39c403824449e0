#include "app/setup_app.h"

#include "app/install_dlg.h"
#include "framework/message_box.h"

bool CSetupApp::InitInstance()
{
    CInstallDlg dialog;
    SetMainWindow(&dialog);
    dialog.DoModal();
    SetMainWindow(nullptr);
    return false;
}
