// The install window's product install: the install folder, the licence, the
// install command, the install step on the worker, the end of the download and
// the cancel button.
#include "app/install_dlg.h"

#include "app/install_dlg_support.h"
#include "app/message_helpers.h"
#include "net/description_check.h"
#include "product/setup_descriptor.h"
#include "res/resource.h"
#include "util/file_system.h"
#include "util/text_path.h"
#include "util/wide_text.h"

namespace {

const char kProductFolderSuffix[] = "\\MrvACAD";
const char kNoFolderText[] = "请输入安装目录！";
const char kFolderFailedText[] = "无法创建安装目录 %1";
const char kRunningText[] =
    "安装向导发现 %1 正在运行!\n\n请立即关闭其所有实例，然后单击“确定”继续，或单\n击“取消”退出。";
const char kAbandonQuestion[] = "你确定要放弃“墨岚软件”的安装吗？";

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

void CInstallDlg::OnLicenceTick()
{
    installButton_.Enable(licenceCheck_.GetCheck() == BST_CHECKED);
}

void CInstallDlg::OnLicenceLink()
{
    licenceLink_.SetLinkAddress(VendorUrl("/License.php"));
    licenceLink_.OpenLink();
}

// A folder picked in the browser always names the product's own subfolder; a
// typed folder is taken as typed. Setting the path notifies again, which is
// not to complete the folder a second time.
LRESULT CInstallDlg::OnBrowseNotify(WPARAM code)
{
    if (code != 1 || completingFolder_ || folderEdit_.IsPathTyped()) {
        return 0;
    }
    const std::string path = folderEdit_.GetPath();
    if (path.empty() || EndsWith(path, kProductFolderSuffix)) {
        return 0;
    }
    completingFolder_ = true;
    folderEdit_.SetPath(WithoutTrailingBackslashes(path) + kProductFolderSuffix);
    completingFolder_ = false;
    return 0;
}

// The folder is checked before the server is asked, so that a refusal comes at
// once. The window keeps answering while the server is asked; a second click
// meanwhile does nothing, and a window ended meanwhile installs nothing.
void CInstallDlg::OnInstallNow()
{
    if (fetchingSetup_ || !TakeInstallFolder()) {
        return;
    }
    SetupDescriptor setup;
    setup.downloadUrl = VendorUrl("/download.php?key=11");
    std::vector<std::string> urls{VendorUrl("/download/MrvACAD.setup")};
    if (SignatureRequired()) {
        urls.push_back(VendorUrl(kDescriptionSignaturePath));
    }
    std::vector<CTextFetch::Answer> answers;
    fetchingSetup_ = true;
    const bool windowStays = FetchTexts(urls, answers);
    fetchingSetup_ = false;
    if (!windowStays) {
        return;
    }
    const bool fetched = answers[0].result == kFetchOk;
    if (!AcceptSetupDescription(answers)) {
        return;
    }
    if (fetched) {
        ApplySetupDescriptor(answers[0].text, setup);
    }
    setupFile_ = setup.setupFile;
    setupArguments_ = setup.setupArguments;
    launchFile_ = setup.launchFile;
    launchArguments_ = setup.launchArguments;

    while (!CheckProductNotRunning(setup.instanceNames)) {
        if (Ask(FormatString1(kRunningText, setup.displayName), MB_OKCANCEL | MB_ICONHAND) != IDOK) {
            return;
        }
    }
    ShowPage(PageDownload);
    job_.downloadUrl = setup.downloadUrl;
    job_.targetPath = MakeTempFilePath("~download.tmp");
    DeleteFileW(WidenText(job_.targetPath).c_str());
    job_.localPackageMode = localPackagePresent_;
    job_.localPackagePath = localPackagePath_;
    // "data.cab" beside the program is the user's own copy: the server's hash
    // names the package on the server.
    job_.packageHash = localPackagePresent_ ? std::vector<std::uint8_t>() : setup.packageHash;
    install_ = std::make_unique<CPackageInstall>(installFolder_, backupFolder_);
    job_.StartDownload();
}

// A description changed on the way (or unsigned, in a build that checks
// signatures) is refused before anything is downloaded. A package beside the
// program installs offline as before: only a description that did arrive is
// held to the check then.
bool CInstallDlg::AcceptSetupDescription(const std::vector<CTextFetch::Answer>& answers)
{
    const bool fetched = answers[0].result == kFetchOk;
    if (!fetched && localPackagePresent_) {
        return true;
    }
    const bool signatureFetched = answers.size() > 1 && answers[1].result == kFetchOk;
    const std::string none;
    const DescriptionCheck check =
        CheckSetupDescription(fetched, fetched ? answers[0].text : none, signatureFetched,
                              signatureFetched ? answers[1].text : none);
    if (check == kDescriptionAccepted) {
        return true;
    }
    Ask(DescriptionCheckText(check), MB_OK | MB_ICONHAND);
    return false;
}

// The install folder must be a full path that exists or can be made: the
// package is never extracted relative to whatever folder is current, and the
// user learns at once why nothing happens.
bool CInstallDlg::TakeInstallFolder()
{
    std::string folder = folderEdit_.GetPath();
    if (TrimBlanks(folder).empty()) {
        Ask(kNoFolderText, MB_OK | MB_ICONWARNING);
        return false;
    }
    folder = WithoutTrailingBackslashes(folder);
    // A drive typed alone means that drive, as when it is picked in the folder
    // browser: the product gets its own folder there, never the root itself.
    if (IsDriveRoot(folder)) {
        folder += kProductFolderSuffix;
        completingFolder_ = true;
        folderEdit_.SetPath(folder);
        completingFolder_ = false;
    }
    if (!IsFullFolderPath(folder)) {
        Ask(FormatString1(kNotFullPathText, folder), MB_OK | MB_ICONWARNING);
        return false;
    }
    CreateDirectoryTree(CPathName(folder + "\\"));
    const DWORD attributes = GetFileAttributesW(WidenText(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        Ask(FormatString1(kFolderFailedText, folder), MB_OK | MB_ICONHAND);
        return false;
    }
    installFolder_ = folder;
    return true;
}

// On the worker. A cancelled or failed install has been rolled back by the time
// Install returns. A finished one keeps its journal until it is decided here:
// a cancel that came meanwhile rolls it back (a crash during that roll-back is
// undone at the next start), otherwise it stands, and only then does the
// setup program start. A cancel after that decision changes nothing.
bool CInstallDlg::InstallProductPackage(const std::string& packagePath)
{
    const int result = install_->Install(packagePath, *this, job_.AbortFlag());
    if (result == kInstallCancelled) {
        return true;
    }
    if (result == kInstallFailed) {
        job_.SetErrorText(install_->ErrorText());
        return false;
    }
    if (job_.AbortRequested()) {
        install_->RollBack();
        return true;
    }
    install_->Finish();
    installFinished_ = true;
    StartSetupProgram(installFolder_, setupFile_, setupArguments_);
    return true;
}

LRESULT CInstallDlg::OnDownloadDone(bool failed)
{
    safeToClose_ = true;
    downloadDone_ = true;
    KillTimer(Hwnd(), kAbortTimer);
    // The worker posts this as its last act; once it has ended, what it wrote
    // may be read here.
    job_.WaitForWorker();
    if (job_.AbortRequested() && !installFinished_) {
        // A roll-back that could not restore every file says where they are.
        if (install_ && !install_->ErrorText().empty()) {
            Ask(install_->ErrorText(), MB_OK | MB_ICONHAND);
        }
        RemoveDirectoryW(WidenText(backupFolder_).c_str());
        EndDialog(IDCANCEL);
    } else if (failed) {
        Ask(job_.ErrorText(), MB_OK);
        EndDialog(IDCANCEL);
    } else {
        SetText(savedCaption_);
        ShowPage(PageAfterInstall);
    }
    return 0;
}

// The worker rolls the install back itself once it sees the abort: the files
// are never touched by two threads at once, and the setup program is not
// started. A cancel that comes after the install has ended changes nothing.
void CInstallDlg::RollBackInstall()
{
    if (!ConfirmAbandon() || downloadDone_) {
        return;
    }
    RequestAbort();
}

bool CInstallDlg::ConfirmAbandon()
{
    return Ask(kAbandonQuestion, MB_YESNO) == IDYES;
}
