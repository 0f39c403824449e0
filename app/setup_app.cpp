#include "app/setup_app.h"

#include "app/install_dlg.h"
#include "app/message_helpers.h"
#include "framework/message_box.h"
#include "product/install_journal.h"

namespace {

// An install that a killed process or a power loss cut off is undone before
// anything else, so that the window starts from the folder as it was.
void UndoInterruptedInstall()
{
    const std::string backupFolder = InstallBackupFolder();
    if (backupFolder.empty()) {
        return;
    }
    JournalRecovery recovery;
    const int result = RecoverUnfinishedInstall(backupFolder, recovery);
    if (result != kNothingToRecover) {
        ShowMessageBox(RecoveryMessage(result, recovery, backupFolder),
                       MB_OK | (result == kInstallRecovered ? MB_ICONINFORMATION : MB_ICONWARNING));
    }
}

}  // namespace

bool CSetupApp::InitInstance()
{
    SetMessageCaption(kMessageCaption);
    UndoInterruptedInstall();
    CInstallDlg dialog;
    SetMainWindow(&dialog);
    dialog.DoModal();
    SetMainWindow(nullptr);
    return false;
}
