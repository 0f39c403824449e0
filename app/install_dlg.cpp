#include "app/install_dlg.h"

#include <cstdlib>
#include <utility>

#include <ole2.h>
#include <shlobj.h>

#include "app/install_dlg_support.h"
#include "app/message_helpers.h"
#include "framework/message_box.h"
#include "product/install_journal.h"
#include "product/label_folders.h"
#include "product/product_record.h"
#include "product/version.h"
#include "res/resource.h"
#include "util/file_system.h"
#include "util/text_path.h"
#include "util/wide_text.h"

namespace {

struct IconButtonSetup {
    int id;
    UINT icon;
    int size;
};

const IconButtonSetup kIconButtons[] = {
    {IDC_INSTALL_NOW, IDI_INSTALL, 31},       {IDC_INSTALL_SCRIPTS, IDI_INSTALL_SCRIPTS, 31},
    {IDC_CANCEL_INSTALL, IDI_CANCEL, 16},     {IDC_PICK_TARGET, IDI_BROWSE_TARGET, 16},
    {IDC_FINISH, IDI_FINISH, 31},             {IDC_UNINSTALL, IDI_UNINSTALL, 31},
};

const COLORREF kButtonFace = RGB(236, 245, 251);

// Posted by the download worker as its last act; wParam 1 when it failed.
constexpr UINT WM_DOWNLOAD_DONE = WM_APP + 1;
// Posted by the initialisation to itself: what the first paint does not need
// and the fetches come once the window shows.
constexpr UINT WM_STARTUP_FETCH = WM_APP + 2;
// How long the window waits for the vendor server's texts before it takes the
// server as unreachable.
constexpr DWORD kFetchBoundMs = 5000;
// After an abort the worker normally ends at once; one held up by a network
// call that WinInet does not cut short is left to end by itself after this.
constexpr UINT kAbortGraceMs = 1500;
constexpr DWORD kDestroyWaitMs = 1500;

// The temporary folder's backup folder, created at once (one level).
std::string MakeBackupFolder()
{
    const std::string folder = InstallBackupFolder();
    CreateDirectoryW(WidenText(folder).c_str(), nullptr);
    return folder;
}

// When the Program Files folder cannot be determined, the system drive's
// conventional one is proposed: the user sees and may change it.
std::string ProgramFilesFolder(HWND owner)
{
    wchar_t folder[MAX_PATH] = {};
    if (SHGetSpecialFolderPathW(owner, folder, CSIDL_PROGRAM_FILES, FALSE) && folder[0] != L'\0') {
        return NarrowText(folder);
    }
    return "C:\\Program Files";
}

}  // namespace

CInstallDlg::CInstallDlg()
    : CBackdropDialog(IDD_INSTALL, nullptr),
      backupFolder_(MakeBackupFolder()),
      job_(*this, [this](HANDLE package, const std::string& packagePath) {
          return InstallProductPackage(package, packagePath);
      })
{
    icon_ = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP));
    // The frames are bound with the window, as they hide the pages before it
    // shows; the pages' controls once it has painted (BindPageControls).
    BindItem(IDC_FRAME_SCRIPT, scriptFrame_);
    BindItem(IDC_FRAME_FINISH, finishFrame_);
    BindItem(IDC_FRAME_INSTALL, installFrame_);
    BindItem(IDC_FRAME_DOWNLOAD, downloadFrame_);
    ExchangeCheck(IDC_LICENCE_ACCEPTED, licenceAccepted_);
    ExchangeCheck(IDC_START_PRODUCT, startProduct_);
    ExchangeCheck(IDC_INSTALL_TOOLBAR, installToolbar_);
    licenceLink_.SetUnderlineMode(kUnderlineAlways);
}

CInstallDlg::~CInstallDlg()
{
    job_.WaitForWorker();
}

LRESULT CInstallDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            OnCommand(LOWORD(wParam));
            return 0;
        }
        break;
    case WM_DOWNLOAD_DONE:
        return OnDownloadDone(wParam == 1);
    case WM_STARTUP_FETCH:
        OnStartupFetch();
        return 0;
    case WM_TIMER:
        if (wParam == kAbortTimer) {
            OnAbortTimer();
            return 0;
        }
        break;
    case WM_BROWSE_NOTIFY:
        return OnBrowseNotify(wParam);
    case WM_CLOSE:
        OnCloseRequest();
        return 0;
    case WM_DESTROY:
        OnDestroy();
        break;
    default:
        break;
    }
    return CBackdropDialog::HandleMessage(message, wParam, lParam);
}

// Button clicks and the link's STN_CLICKED share the notification code 0.
void CInstallDlg::OnCommand(int id)
{
    switch (id) {
    case IDC_INSTALL_NOW:
        OnInstallNow();
        break;
    case IDC_LICENCE_ACCEPTED:
        OnLicenceTick();
        break;
    case IDC_LICENCE_LINK:
        OnLicenceLink();
        break;
    case IDC_CANCEL_INSTALL:
        RollBackInstall();
        break;
    case IDC_INSTALL_SCRIPTS:
        OnInstallScripts();
        break;
    case IDC_PICK_TARGET:
        OnPickTarget();
        break;
    case IDC_FINISH:
        OnFinish();
        break;
    case IDC_UNINSTALL:
        OnUninstall();
        break;
    case IDOK:
        OnOK();
        break;
    case IDCANCEL:
        OnCancel();
        break;
    default:
        break;
    }
}

bool CInstallDlg::OnInitDialog()
{
    FitWindowToScriptFrame();
    CBackdropDialog::OnInitDialog();
    uiCall_.Create();
    savedCaption_ = GetText();
    // The web panel takes the placeholder's place after the first paint.
    ShowWindow(GetItem(IDC_WEB_PLACEHOLDER), SW_HIDE);
    SendMessageW(Hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageW(Hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    CollectPageMembers();
    ProbeLocalPackage();
    ShowPage(PageNone);
    PostMessageW(Hwnd(), WM_STARTUP_FETCH, 0, 0);
    return true;
}

// The advertisement address and the server's version come while the window
// already shows and answers its user; then the first page is chosen exactly as
// without the wait. Whatever else was posted meanwhile comes after.
void CInstallDlg::OnStartupFetch()
{
    std::vector<std::string> urls{VendorUrl("/download/MrvACAD.setupad")};
    if (!localPackagePresent_) {
        urls.push_back(VendorUrl("/download/MrvACAD.ver"));
    }
    if (!CompletePages()) {
        return;
    }
    std::vector<CTextFetch::Answer> answers;
    if (!FetchTexts(urls, kFetchBoundMs, answers)) {
        return;
    }
    NavigateWebPanel(answers[0]);
    const bool upgrade = !localPackagePresent_ && OfferServerVersion(answers[1]);
    ShowPage(IsProductInstalled() && !upgrade && !localPackagePresent_ ? PageStartInstalled
                                                                        : PageInstall);
}

bool CInstallDlg::FetchTexts(const std::vector<std::string>& urls, DWORD boundMs,
                             std::vector<CTextFetch::Answer>& answers)
{
    CTextFetch fetch;
    if (fetch.Start(urls) &&
        WaitAnsweringUser(fetch.DoneEvent(), boundMs, Hwnd()) == WaitEnd::kWindowEnded) {
        return false;
    }
    answers = AnswersOrUnreachable(fetch, urls.size());
    return true;
}

// What no one sees before the first page is chosen waits until the window has
// painted once: the pages' controls, their places, buttons and folder, and the
// web panel with the browser and OLE. False when a control is missing: the
// window has ended then, as when one is missing at its start.
bool CInstallDlg::CompletePages()
{
    UpdateWindow(Hwnd());
    AnswerSentMessages();
    if (!BindPageControls()) {
        EndDialog(-1);
        return false;
    }
    AnswerSentMessages();
    MovePagesOntoScriptFrame();
    ConfigureButtons();
    AnswerSentMessages();
    ConfigureInstallFolder();
    AnswerSentMessages();
    CreateWebPanel();
    return true;
}

bool CInstallDlg::BindPageControls()
{
    const std::pair<int, CWindow*> controls[] = {
        {IDC_LICENCE_LINK, &licenceLink_},       {IDC_UNINSTALL, &uninstallButton_},
        {IDC_LICENCE_ACCEPTED, &licenceCheck_},  {IDC_CANCEL_INSTALL, &cancelButton_},
        {IDC_SCRIPT_TARGETS, &targetCombo_},     {IDC_INSTALL_SCRIPTS, &installScriptsButton_},
        {IDC_INSTALL_FOLDER, &folderEdit_},      {IDC_PICK_TARGET, &pickTargetButton_},
        {IDC_INSTALL_NOW, &installButton_},      {IDC_FINISH, &finishButton_},
        {IDC_STATUS_TEXT, &statusLabel_},        {IDC_RATE, &rateLabel_},
        {IDC_TIME_LEFT, &timeLeftLabel_},        {IDC_PROGRESS, &progressBar_},
        {IDC_SOURCE_TEXT, &sourceLabel_},        {IDC_ANIMATION, &animation_},
    };
    bool bound = true;
    for (const auto& control : controls) {
        bound = BindItem(control.first, *control.second) && bound;
    }
    return bound;
}

// The window ends 2 pixels to the right of and below the script page's frame;
// the three other pages are moved onto that frame later.
void CInstallDlg::FitWindowToScriptFrame()
{
    RECT frame{};
    RECT window{};
    if (!GetWindowRect(GetItem(IDC_FRAME_SCRIPT), &frame) || !GetWindowRect(Hwnd(), &window)) {
        return;
    }
    SetWindowPos(Hwnd(), nullptr, 0, 0, frame.right - window.left + 2,
                 frame.bottom - window.top + 2, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Without a browser (no web control on this system) the window goes on
// without its advertisement.
void CInstallDlg::CreateWebPanel()
{
    oleInitialised_ = SUCCEEDED(OleInitialize(nullptr));
    if (!webPanel_.CreateInPlaceOf(Hwnd(), IDC_WEB_PLACEHOLDER)) {
        return;
    }
    SetWindowPos(webPanel_.Hwnd(), nullptr, -2, -1, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CInstallDlg::NavigateWebPanel(const CTextFetch::Answer& advertisement)
{
    if (webPanel_.Hwnd() == nullptr) {
        return;
    }
    webPanel_.Navigate(advertisement.result == kFetchOk ? advertisement.text
                                                        : VendorUrl("/tessaly.php"));
}

void CInstallDlg::CollectPageMembers()
{
    scriptFrame_.CollectMembers();
    downloadFrame_.CollectMembers();
    finishFrame_.CollectMembers();
    installFrame_.CollectMembers();
}

void CInstallDlg::MovePagesOntoScriptFrame()
{
    const RECT page = scriptFrame_.RectInParent();
    installFrame_.Move(page);
    downloadFrame_.Move(page);
    finishFrame_.Move(page);
}

void CInstallDlg::ConfigureButtons()
{
    const HINSTANCE module = GetModuleHandleW(nullptr);
    for (const IconButtonSetup& setup : kIconButtons) {
        auto* button = dynamic_cast<CIconButton*>(CWindow::FromHandle(GetItem(setup.id)));
        if (button == nullptr) {
            continue;
        }
        button->imageMargin = setup.size / 2;
        button->SetFlatLook(true, true);
        button->SetHoverWhenInactive(true);
        button->SetIconResource(module, setup.icon, setup.size, setup.size);
        button->SetStateColor(kColorFocusBack, kButtonFace, true);
        button->SetStateColor(kColorNormalBack, kButtonFace, true);
        button->ShiftStateColor(kColorActiveBack, 30, true);
        RedrawWindow(button->Hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ERASE | RDW_INVALIDATE);
    }
}

void CInstallDlg::ConfigureInstallFolder()
{
    folderEdit_.SetBrowseStyle(kBrowseFolderFieldStyle);
    folderEdit_.SetButtonCaption("");
    folderEdit_.SetDialogCaption("安装目录");
    folderEdit_.SetDialogPrompt("请选择安装目录");
    std::string proposed = GetInstallPath();
    if (proposed.empty()) {
        proposed = ProgramFilesFolder(Hwnd()) + "\\Morvane\\MrvACAD";
    }
    folderEdit_.SetPath(proposed);
    folderEdit_.SetNotifyMessage(WM_BROWSE_NOTIFY);
    folderEdit_.SetButtonTip("点击选择目录!");
}

void CInstallDlg::ProbeLocalPackage()
{
    localPackagePath_ = GetModuleFolder() + "data.cab";
    localPackagePresent_ = PathExists(localPackagePath_);
}

// True when the server offers a newer product than the installed one.
bool CInstallDlg::OfferServerVersion(const CTextFetch::Answer& serverVersion)
{
    const std::string installed = GetInstalledVersion();
    std::string offered;
    bool upgrade = false;
    if (serverVersion.result == kFetchOk) {
        offered = serverVersion.text;
        upgrade = IsNewerVersion(installed, offered);
        if (upgrade) {
            installButton_.SetText("立即升级");
        }
    }
    std::string versionText;
    if (std::atoi(offered.c_str()) > 0) {
        versionText += "版本：" + offered;
    }
    if (std::atoi(installed.c_str()) > 0) {
        versionText += "　　当前版本：" + installed;
    }
    ::SetLabelText(Hwnd(), IDC_VERSION_TEXT, versionText);
    return upgrade;
}

void CInstallDlg::ShowPage(int mode)
{
    CGroupPanel* const frames[] = {&scriptFrame_, &finishFrame_, &installFrame_, &downloadFrame_};
    for (CGroupPanel* frame : frames) {
        frame->HideWithMembers();
    }
    const auto showFrame = [](CGroupPanel& frame) {
        frame.Show(true);
        frame.suspended = true;
        frame.Show(false);
        frame.suspended = false;
    };

    bool uninstallVisible = false;
    switch (mode) {
    case PageInstall:
        showFrame(installFrame_);
        break;
    case PageDownload:
        showFrame(downloadFrame_);
        break;
    case PageAfterInstall:
    case PageStartInstalled: {
        TextList packages;
        if (EnumerateFiles(GetModuleFolder(), packages, true, "*.esf") > 0) {
            showFrame(scriptFrame_);
            std::string library = GetScriptLibraryPath();
            if (library.empty()) {
                library = installFolder_ + "\\Library\\Script\\";
            }
            FillTargetList(library);
            mode = PageAfterInstall;
            break;
        }
        uninstallVisible = mode == PageStartInstalled && IsProductInstalled();
        mode = PageFinish;
        showFrame(finishFrame_);
        uninstallButton_.Show(uninstallVisible);
        break;
    }
    case PageFinish:
        showFrame(finishFrame_);
        uninstallButton_.Show(false);
        break;
    default:
        break;
    }
    currentPage_ = mode;
    // The background picture lies under every control without clipping them:
    // it paints first, and the page's controls paint over it.
    RedrawWindow(Hwnd(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void CInstallDlg::FillTargetList(const std::string& userFolder)
{
    TextList titles{"用户路径"};
    TextList folders{userFolder};
    LoadLabelFolders(GetFrameIniPath(), titles, folders);
    targetFolders_ = folders;
    targetCombo_.ResetContent();
    for (std::size_t i = 0; i < titles.size(); ++i) {
        const std::string folder = i < folders.size() ? folders[i] : std::string();
        targetCombo_.AddString("[" + titles[i] + "] " + folder);
    }
    targetCombo_.SetCurSel(0);
}

void CInstallDlg::OnFinish()
{
    if (!UpdateData(true)) {
        return;
    }
    UpdateData(false);
    if (startProduct_ != 0) {
        if (!IsVersion2OrLater(GetInstalledVersion())) {
            StartScriptHost("");
        } else if (!ProductFolder().empty()) {
            StartSetupProgram(installFolder_, launchFile_, launchArguments_);
        }
    }
    CBackdropDialog::OnOK();
}

// Enter and Esc end the window at once, also while the install command waits
// for its description; once the worker runs they are a close request like the
// title bar's.
void CInstallDlg::OnOK()
{
    switch (flow_.Stage()) {
    case InstallStage::kIdle:
    case InstallStage::kPreparing:
        flow_.EndUnlessInstalling();
        CBackdropDialog::OnOK();
        break;
    default:
        OnCloseRequest();
        break;
    }
}

void CInstallDlg::OnCancel()
{
    switch (flow_.Stage()) {
    case InstallStage::kIdle:
    case InstallStage::kPreparing:
        flow_.EndUnlessInstalling();
        CBackdropDialog::OnCancel();
        break;
    default:
        OnCloseRequest();
        break;
    }
}

// Before the first page nothing has been chosen or started, so the close
// request ends the window at once, as Esc does. A second request while a
// download stops ends the window without waiting for it; a roll-back under
// way and an install that stands are waited for, so that their end is seen.
void CInstallDlg::OnCloseRequest()
{
    switch (flow_.Stage()) {
    case InstallStage::kIdle:
        if (currentPage_ == PageNone || currentPage_ == PageFinish || ConfirmAbandon()) {
            EndWindow();
        }
        break;
    case InstallStage::kPreparing:
    case InstallStage::kCancelling:
        if (ConfirmAbandon()) {
            EndWindow();
        }
        break;
    case InstallStage::kDownloading:
    case InstallStage::kInstalling:
        if (ConfirmAbandon()) {
            RequestAbort();
        }
        break;
    case InstallStage::kInstalled:
    case InstallStage::kRollingBack:
    case InstallStage::kEnding:
        break;
    }
}

// The worker stops at its next step, or at once when it waits for the server;
// its WM_DOWNLOAD_DONE then ends the window. Status texts that the worker sends
// from now on are dropped (ShowStatusText), so "终止下载" stays.
void CInstallDlg::RequestAbort()
{
    if (!flow_.Cancel()) {
        return;
    }
    job_.RequestAbort();
    cancelButton_.Enable(false);
    ::SetLabelText(Hwnd(), IDC_STATUS_TEXT, "终止下载");
    SetTimer(Hwnd(), kAbortTimer, kAbortGraceMs, nullptr);
}

// A worker still held up in the network after the grace time does not keep
// the window: it ends now, and the worker cleans up behind it (see OnDestroy).
// An install step under way is waited for, since it rolls itself back, and so
// is the end of an install that stands: the window ends on WM_DOWNLOAD_DONE.
void CInstallDlg::OnAbortTimer()
{
    switch (flow_.Stage()) {
    case InstallStage::kCancelling:
        if (!flow_.EndUnlessInstalling()) {
            return;
        }
        KillTimer(Hwnd(), kAbortTimer);
        // Nothing was installed: the backup folder is empty, as after any abort.
        RemoveDirectoryW(WidenText(backupFolder_).c_str());
        EndDialog(IDCANCEL);
        break;
    case InstallStage::kInstalling:
    case InstallStage::kInstalled:
    case InstallStage::kRollingBack:
        break;
    default:
        KillTimer(Hwnd(), kAbortTimer);
        break;
    }
}

// A worker that still runs is told to stop; the wait runs the window updates
// it sends meanwhile, so neither thread waits for the other. Outside the
// install step it is bounded, so that a worker held up in the network never
// holds the window: such a worker is waited for once the window has gone (the
// destructor), and deletes its file before the program ends. An install step
// is waited for to its end: it rolls itself back.
void CInstallDlg::OnDestroy()
{
    KillTimer(Hwnd(), kAbortTimer);
    const bool installing = !flow_.EndUnlessInstalling();
    if (job_.WorkerRunning()) {
        job_.RequestAbort();
    }
    job_.WaitForWorker(installing ? INFINITE : kDestroyWaitMs);
    uiCall_.Destroy();
    if (oleInitialised_) {
        OleUninitialize();
        oleInitialised_ = false;
    }
}

// Nothing of an install starts once the window has decided to end.
void CInstallDlg::EndWindow()
{
    flow_.EndUnlessInstalling();
    EndDialog(IDCANCEL);
}

void CInstallDlg::RunOnUiThread(const std::function<void()>& call)
{
    uiCall_.Call(call);
}

// Once abort is requested, the status label keeps "终止下载": the check runs on
// this thread, where the abort is requested, so no text sent before the request
// and run after it slips through.
void CInstallDlg::ShowStatusText(const std::string& text, bool repaint)
{
    if (job_.AbortRequested()) {
        return;
    }
    if (repaint) {
        ::SetLabelText(Hwnd(), IDC_STATUS_TEXT, text);
    } else {
        SetWindowTextW(GetItem(IDC_STATUS_TEXT), WidenText(text).c_str());
    }
}

void CInstallDlg::OnSource(const std::string& text)
{
    RunOnUiThread([&] { ::SetLabelText(Hwnd(), IDC_SOURCE_TEXT, text); });
}

void CInstallDlg::OnPhase(DownloadPhase, const std::string& statusText)
{
    RunOnUiThread([&] { ShowStatusText(statusText, true); });
}

// The bar counts kilobytes, rounded to the nearest one, so that it keeps its
// steps over the full 32-bit range of sizes.
void CInstallDlg::OnDownloadSize(std::uint32_t bytes)
{
    const auto kilobytes = static_cast<int>((std::uint64_t{bytes} + 512) / 1024);
    RunOnUiThread([&] { progressBar_.SetRange32(0, kilobytes); });
}

void CInstallDlg::OnBytesReceived(const ByteProgress& progress)
{
    RunOnUiThread([&] {
        SetText(progress.caption);
        progressBar_.SetPos(static_cast<int>(progress.received / 1024));
    });
}

void CInstallDlg::OnTransferRate(const std::string& text)
{
    RunOnUiThread([&] { ::SetLabelText(Hwnd(), IDC_RATE, text); });
}

void CInstallDlg::OnTimeLeft(const std::string& text)
{
    RunOnUiThread([&] { ::SetLabelText(Hwnd(), IDC_TIME_LEFT, text); });
}

// The download's rate and time left go, with their captions; the bar counts entries.
void CInstallDlg::OnExtractStart(std::uint32_t entryCount)
{
    RunOnUiThread([&] {
        progressBar_.SetRange32(0, static_cast<int>(entryCount));
        ::SetLabelText(Hwnd(), IDC_RATE, "");
        ::SetLabelText(Hwnd(), IDC_TIME_LEFT, "");
        ShowWindow(GetItem(IDC_TIME_LEFT_CAPTION), SW_HIDE);
        ShowWindow(GetItem(IDC_RATE_CAPTION), SW_HIDE);
        ShowStatusText("", true);
        ::SetLabelText(Hwnd(), IDC_SOURCE_TEXT, "");
    });
}

// The status text stays the same through the extraction: it is set without a
// repaint of the background of its own.
void CInstallDlg::OnEntries(const EntryProgress& progress)
{
    RunOnUiThread([&] {
        ShowStatusText(progress.status, false);
        progressBar_.SetPos(static_cast<int>(progress.done));
        ::SetLabelText(Hwnd(), IDC_SOURCE_TEXT, progress.lastEntry);
    });
}

void CInstallDlg::OnExtractEnd(std::uint32_t entryCount)
{
    RunOnUiThread([&] { progressBar_.SetPos(static_cast<int>(entryCount)); });
}

bool CInstallDlg::AskReplace(const std::string& question)
{
    bool replace = false;
    RunOnUiThread([&] { replace = ShowMessageBox(question, MB_YESNO) == IDYES; });
    return replace;
}

void CInstallDlg::OnNotStarted(const std::string& errorText)
{
    RunOnUiThread([&] {
        if (!errorText.empty()) {
            ShowMessageBox(errorText, MB_OK);
        }
        EndWindow();
    });
}

// The error text is the job's, read once the worker has ended (OnDownloadDone).
void CInstallDlg::OnEnd(bool failed, const std::string&)
{
    PostMessageW(Hwnd(), WM_DOWNLOAD_DONE, failed ? 1 : 0, 0);
}
