// The install window's script package install and its uninstall command.
#include "app/install_dlg.h"

#include "app/install_dlg_support.h"
#include "app/message_helpers.h"
#include "controls/folder_picker.h"
#include "product/copy_policy.h"
#include "product/product_record.h"
#include "util/file_system.h"

namespace {

const char kNoTargetText[] = "请选择安装文件夹！";
const char kCopyFailedText[] = "复制时拷贝下面的文件失败！";
const char kUninstallQuestion[] = "确定卸载 墨岚软件 吗？";
const char kUninstalledText[] = "卸载成功，可直接删除安装目录！\n%1";

}  // namespace

void CInstallDlg::OnPickTarget()
{
    const int index = targetCombo_.GetCurSel();
    std::string start;
    if (index >= 0 && static_cast<std::size_t>(index) < targetFolders_.size()) {
        start = targetFolders_[static_cast<std::size_t>(index)];
    }
    CFolderPicker picker("选择目录", start, Hwnd());
    if (picker.DoModal() == kFolderChosen) {
        FillTargetList(picker.GetFolder());
    }
}

void CInstallDlg::OnInstallScripts()
{
    if (!UpdateData(true)) {
        return;
    }
    UpdateData(false);
    const int index = targetCombo_.GetCurSel();
    if (index < 0 || static_cast<std::size_t>(index) >= targetFolders_.size()) {
        Ask(kNoTargetText, MB_OK);
        return;
    }
    const std::string target = targetFolders_[static_cast<std::size_t>(index)];
    TextList failed;
    TextList copied;
    if (CopyFolderTree(failed, copied, GetModuleFolder(), target, "", kCopyAsk, "*.*",
                       AskOverwrite) == kCopyCancelled) {
        return;
    }
    if (installToolbar_ != 0) {
        if (installFolder_.empty()) {
            installFolder_ = WithoutTrailingBackslashes(GetInstallPath());
        }
        if (!installFolder_.empty()) {
            RunProgram(installFolder_ + "\\Sys\\MrvScript.exe",
                       "/dde " + GetModuleFolder() + "|" + target);
        }
    }
    if (!failed.empty()) {
        std::string text = kCopyFailedText;
        for (const std::string& path : failed) {
            text += "\n" + path;
        }
        Ask(text, MB_OK);
    }
    ShowPage(PageFinish);
}

// Ends the program on both paths that start something. Without a recorded
// install folder there is nothing to uninstall from; a recorded folder without
// its trailing backslash still names the files inside it.
void CInstallDlg::OnUninstall()
{
    const std::string folder = WithoutTrailingBackslashes(GetInstallPath());
    if (folder.empty()) {
        return;
    }
    const std::string path = folder + "\\";
    const std::string uninstaller = path + "unins000.exe";
    if (PathExists(uninstaller)) {
        RunProgram(uninstaller, "null");
        PostQuitMessage(0);
        return;
    }
    if (Ask(kUninstallQuestion, MB_OKCANCEL) != IDOK) {
        return;
    }
    RunProgram(path + setupFile_, "null");
    std::string done;
    FormatString1(done, kUninstalledText, path);
    Ask(done, MB_OK);
    RunProgram(path, "");
    CBackdropDialog::OnOK();
}
