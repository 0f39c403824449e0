#pragma once
// The install window: one modal dialog whose template holds four invisible
// group boxes, each around the controls of one page (install, download, script,
// finish). The window shrinks to one box, moves the other boxes onto it and
// shows one page at a time; above the pages sits the vendor's web panel.
//
// Threads: everything runs on the user-interface thread except the download
// worker of `job_`, which downloads the package and runs the install step
// (InstallProductPackage) on its own thread. The worker reaches the window only
// through the IInstallProgress calls below, each marshalled onto the
// user-interface thread by `uiCall_`; its end (OnEnd) posts WM_DOWNLOAD_DONE. The
// worker reads the members that the install command wrote before it started
// (install folder, setup file and arguments, `install_`), and `install_` is the
// worker's until WM_DOWNLOAD_DONE arrives; the user-interface thread only asks it
// to stop (`flow_` and the job's abort flag). Where the install stands is
// `flow_`'s stage alone, which the close, cancel, abort-timer, worker-end and
// destroy handlers each read. The vendor server's small texts are
// fetched on threads of their own (CTextFetch) that touch nothing of the
// window: the window waits for them with a bound, answering its user meanwhile.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "app/backdrop_dialog.h"
#include "app/install_flow.h"
#include "controls/browse_edit.h"
#include "controls/group_panel.h"
#include "controls/icon_button.h"
#include "controls/link_label.h"
#include "controls/web_panel.h"
#include "framework/controls.h"
#include "framework/thread.h"
#include "net/download.h"
#include "net/install_progress.h"
#include "net/text_fetch.h"
#include "net/web_session.h"
#include "product/package_install.h"
#include "product/setup_descriptor.h"
#include "util/text.h"

// The page selector. As the current page, PageAfterInstall stands for the
// script page; a request for PageStartInstalled shows the script or the
// finish page and is never the current page itself.
enum PageMode : int {
    // No page yet: the window has appeared and waits for the start-up fetches.
    PageNone = -1,
    PageInstall = 0,
    PageDownload = 1,
    PageAfterInstall = 2,
    PageFinish = 3,
    PageStartInstalled = 20,
};

class CInstallDlg : public CBackdropDialog, public IInstallProgress {
public:
    CInstallDlg();
    ~CInstallDlg() override;

    // Hides every page and shows the one that `mode` selects (see PageMode).
    void ShowPage(int mode);
    // Lists the user folder first ("用户路径"), then the label folders of the
    // product's Frame.ini, in the script-target combo box; selects the first.
    void FillTargetList(const std::string& userFolder);

    int CurrentPage() const { return currentPage_; }
    const TextList& TargetFolders() const { return targetFolders_; }
    const std::string& InstallFolder() const { return installFolder_; }
    bool LocalPackagePresent() const { return localPackagePresent_; }

    // IInstallProgress, mapped onto the download page's controls and the
    // caption: callable from the worker, run on the user-interface thread.
    void OnSource(const std::string& text) override;
    void OnPhase(DownloadPhase phase, const std::string& statusText) override;
    void OnDownloadSize(std::uint32_t bytes) override;
    void OnBytesReceived(const ByteProgress& progress) override;
    void OnTransferRate(const std::string& text) override;
    void OnTimeLeft(const std::string& text) override;
    void OnExtractStart(std::uint32_t entryCount) override;
    void OnEntries(const EntryProgress& progress) override;
    void OnExtractEnd(std::uint32_t entryCount) override;
    bool AskReplace(const std::string& question) override;
    void OnNotStarted(const std::string& errorText) override;
    HWND CredentialOwner() const override { return Hwnd(); }
    void OnEnd(bool failed, const std::string& errorText) override;

protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // Initialisation steps.
    void FitWindowToScriptFrame();
    void CreateWebPanel();
    void CollectPageMembers();
    void MovePagesOntoScriptFrame();
    bool BindPageControls();
    void ConfigureButtons();
    void ConfigureInstallFolder();
    void ProbeLocalPackage();
    // The steps that wait until the window shows.
    void OnStartupFetch();
    bool CompletePages();
    void NavigateWebPanel(const CTextFetch::Answer& advertisement);
    bool OfferServerVersion(const CTextFetch::Answer& serverVersion);
    // Fetches `urls` while the window keeps answering, for at most `boundMs`;
    // a server that takes longer counts as unreachable. False when the window
    // was ended meanwhile.
    bool FetchTexts(const std::vector<std::string>& urls, DWORD boundMs,
                    std::vector<CTextFetch::Answer>& answers);

    void OnCommand(int id);
    void OnFinish();
    void OnCloseRequest();
    void RequestAbort();
    void OnAbortTimer();
    void OnDestroy();
    // Product install (install_dlg_install.cpp).
    void OnInstallNow();
    bool PrepareAndStartInstall();
    bool FetchSetupDescription(std::vector<CTextFetch::Answer>& answers);
    void HoldInstallPage(bool hold);
    bool AskUntilProductNotRunning(const SetupDescriptor& setup);
    void StartWorker(const SetupDescriptor& setup);
    bool TakeInstallFolder();
    bool AcceptSetupDescription(const std::vector<CTextFetch::Answer>& answers,
                                std::string& description);
    bool AcceptLocalPackage(const std::vector<CTextFetch::Answer>& answers,
                            std::string& description);
    enum class LocalPackageHash { kHashed, kUnreadable, kWindowEnded };
    LocalPackageHash HoldAndHashLocalPackage(std::vector<std::uint8_t>& digest);
    bool InstallProductPackage(HANDLE package, const std::string& packagePath);
    LRESULT OnDownloadDone(bool failed);
    void RollBackInstall();
    bool ConfirmAbandon();
    void OnLicenceTick();
    void OnLicenceLink();
    LRESULT OnBrowseNotify(WPARAM code);
    // Script packages and uninstall (install_dlg_scripts.cpp).
    void OnPickTarget();
    void OnInstallScripts();
    void OnUninstall();
    // The recorded install folder when none was chosen here; empty without one.
    std::string ProductFolder();
    // Starts the script host of the product, "Sys\MrvScript.exe".
    void StartScriptHost(const std::string& arguments);

    // Runs while an abort waits for the worker (OnAbortTimer).
    static constexpr UINT_PTR kAbortTimer = 1;

    void EndWindow();
    void RunOnUiThread(const std::function<void()>& call);
    // On the user-interface thread; nothing after an abort request.
    void ShowStatusText(const std::string& text, bool repaint);

    CLinkLabel licenceLink_;
    CIconButton uninstallButton_;
    CButtonCtl licenceCheck_;
    CIconButton cancelButton_;
    CGroupPanel scriptFrame_;
    CGroupPanel finishFrame_;
    CGroupPanel installFrame_;
    CGroupPanel downloadFrame_;
    CComboBoxCtl targetCombo_;
    CIconButton installScriptsButton_;
    CBrowseEdit folderEdit_;
    CIconButton pickTargetButton_;
    CIconButton installButton_;
    CIconButton finishButton_;
    CStaticCtl statusLabel_;
    CStaticCtl rateLabel_;
    CStaticCtl timeLeftLabel_;
    CProgressCtl progressBar_;
    CStaticCtl sourceLabel_;
    CAnimateCtl animation_;
    CWebPanel webPanel_;
    // OLE on the user-interface thread, from the web panel's making to the window's end.
    bool oleInitialised_ = false;

    int licenceAccepted_ = 1;
    int startProduct_ = 1;
    int installToolbar_ = 0;
    HICON icon_ = nullptr;
    std::string savedCaption_;
    int currentPage_ = PageInstall;
    TextList targetFolders_;
    std::string setupFile_ = "MrvCADSetup.exe";
    std::string setupArguments_ = "all";
    std::string launchFile_ = "MrvCADSetup.exe";
    std::string launchArguments_ = "tessaly";
    std::string installFolder_;
    bool localPackagePresent_ = false;
    std::string localPackagePath_ = "data.cab";
    std::string backupFolder_;

    // User-interface thread only: set while the window completes a picked folder.
    bool completingFolder_ = false;
    // "data.cab", held open against changes from its signed check to the
    // window's end (a signing build only).
    UniqueFile localPackageHold_;
    CUiThreadCall uiCall_;
    // Made by the install command before the worker starts; the worker's until
    // WM_DOWNLOAD_DONE.
    std::unique_ptr<CPackageInstall> install_;
    // Changed by both threads, each change one atomic step (app/install_flow.h).
    CInstallFlow flow_;
    // The worker uses `install_`, `flow_`, `uiCall_` and the controls above;
    // the destructor waits for it before any member goes, so the order of
    // the members does not matter to it.
    CDownloadJob job_;
};
