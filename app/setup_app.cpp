#include "app/setup_app.h"

#include "app/install_dlg.h"
#include "app/message_helpers.h"
#include "framework/message_box.h"
#include "product/install_journal.h"

namespace {

const char kNoSafeDllSearch[] =
    "此 Windows 缺少系统更新 KB2533623，安装程序无法安全地运行。\n\n请先安装该更新，然后再运行安装程序。";

// An install that a killed process or a power loss cut off is undone before
// anything else, so that the window starts from the folder as it was.
void UndoInterruptedInstall()
{
    const std::string backupFolder = InstallBackupFolder();
    if (backupFolder.empty()) {
        return;
    }
    JournalRecovery recovery;
    const RecoveryResult result = RecoverUnfinishedInstall(backupFolder, recovery);
    if (result != kNothingToRecover) {
        ShowMessageBox(RecoveryMessage(result, recovery, backupFolder),
                       MB_OK | (result == kInstallRecovered ? MB_ICONINFORMATION : MB_ICONWARNING));
    }
}

}  // namespace

// Looked up rather than imported: a Windows 7 without the update that brings
// it must still start far enough to say what is missing.
bool CSetupApp::RestrictDllSearch()
{
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto setDefault = kernel == nullptr ? nullptr
        : reinterpret_cast<SetDefaultDllDirectoriesFn>(
              reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return true;
    }
    SetMessageCaption(kMessageCaption);
    ShowMessageBox(kNoSafeDllSearch, MB_OK | MB_ICONERROR);
    return false;
}

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
