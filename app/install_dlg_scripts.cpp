// The install window's script package install and its uninstall command.
#include "app/install_dlg.h"

#include "app/install_dlg_support.h"
#include "app/message_helpers.h"
#include "controls/folder_picker.h"
#include "framework/message_box.h"
#include "product/copy_policy.h"
#include "product/package_install.h"
#include "product/product_record.h"
#include "util/file_system.h"

namespace {

const char kNoTargetText[] = "请选择安装文件夹！";
const char kCopyFailedText[] = "复制时拷贝下面的文件失败！";
const char kCopyStoppedText[] = "目标中的 %1 是一个链接，复制在此停止，其后的文件没有复制！";
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
        ShowMessageBox(kNoTargetText, MB_OK);
        return;
    }
    const std::string target = targetFolders_[static_cast<std::size_t>(index)];
    TextList failed;
    TextList copied;
    std::string stoppedAt;
    if (CopyFolderTree(failed, copied, GetModuleFolder(), target, "", kCopyAsk, "*.*",
                       AskOverwrite, &stoppedAt) == kCopyCancelled) {
        return;
    }
    // A half-copied package is not installed: its toolbar is not asked for,
    // and the page stays for another target.
    if (!stoppedAt.empty()) {
        ShowMessageBox(FormatString1(kCopyStoppedText, stoppedAt), MB_OK | MB_ICONHAND);
        return;
    }
    if (installToolbar_ != 0) {
        StartScriptHost("/dde " + GetModuleFolder() + "|" + target);
    }
    if (!failed.empty()) {
        std::string text = kCopyFailedText;
        for (const std::string& path : failed) {
            text += "\n" + path;
        }
        ShowMessageBox(text, MB_OK);
    }
    ShowPage(PageFinish);
}

std::string CInstallDlg::ProductFolder()
{
    if (installFolder_.empty()) {
        installFolder_ = WithoutTrailingBackslashes(GetInstallPath());
    }
    return installFolder_;
}

// Without any install folder there is nothing to start.
void CInstallDlg::StartScriptHost(const std::string& arguments)
{
    if (!ProductFolder().empty()) {
        StartSetupProgram(installFolder_, "Sys\\MrvScript.exe", arguments);
    }
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
    if (PathExists(path + "unins000.exe")) {
        StartSetupProgram(folder, "unins000.exe", "null");
        PostQuitMessage(0);
        return;
    }
    if (ShowMessageBox(kUninstallQuestion, MB_OKCANCEL) != IDOK) {
        return;
    }
    StartSetupProgram(folder, setupFile_, "null");
    std::string done;
    FormatString1(done, kUninstalledText, path);
    ShowMessageBox(done, MB_OK);
    StartSetupProgram(folder, "", "");
    CBackdropDialog::OnOK();
}
