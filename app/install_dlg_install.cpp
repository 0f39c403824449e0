// The install window's product install: the install folder, the licence, the
// install command, the install step on the worker, the end of the download and
// the cancel button.
#include "app/install_dlg.h"

#include <atomic>
#include <cstddef>

#include "app/install_dlg_support.h"
#include "app/message_helpers.h"
#include "framework/message_box.h"
#include "net/package_integrity.h"
#include "product/product_record.h"
#include "net/description_check.h"
#include "product/setup_descriptor.h"
#include "res/resource.h"
#include "util/file_system.h"
#include "util/handles.h"
#include "util/text_path.h"
#include "util/working_folder.h"
#include "util/wide_text.h"

namespace {

const char kProductFolderSuffix[] = "\\MrvACAD";
const char kNoFolderText[] = "请输入安装目录！";
const char kRunningText[] =
    "安装向导发现 %1 正在运行!\n\n请立即关闭其所有实例，然后单击“确定”继续，或单\n击“取消”退出。";
const char kAbandonQuestion[] = "你确定要放弃“墨岚软件”的安装吗？";
// The network's own bounds of one fetch: connecting, then receiving.
constexpr DWORD kSetupFetchBoundMs = kConnectTimeoutMs + kReceiveTimeoutMs;

const char kLocalPackageUnreadableText[] = "无法读取安装包 data.cab，安装已取消。";
const char kLocalPackageMismatchText[] =
    "安装包 data.cab 与已签名的安装说明不符，可能已被篡改，安装已取消。";
const char kLocalPackageUnsignedText[] =
    "没有已签名的安装说明，无法确认安装包 data.cab 的来源，安装已取消。\n\n"
    "请连接网络后重试，或将 MrvACAD.setup 和 MrvACAD.setup.sig 放在安装程序旁边。";

// The signed description of install media, beside the program and "data.cab".
const char kLocalDescriptionName[] = "MrvACAD.setup";
const char kLocalSignatureName[] = "MrvACAD.setup.sig";
// Far more than a description and its signature ever need.
constexpr LONGLONG kMaxLocalTextBytes = 64 * 1024;
constexpr DWORD kHashBlockBytes = 1024 * 1024;

CalendarDay TodayUtc()
{
    SYSTEMTIME now{};
    GetSystemTime(&now);
    return now.wYear * 10000L + now.wMonth * 100L + now.wDay;
}

// Why a signed description's release may not be installed (superseded, or
// older than what is installed), or empty when it may.
std::string ReleaseRefusal(const std::string& description, ExpiryRule expiry)
{
    SetupDescriptor parsed;
    ApplySetupDescriptor(description, parsed);
    const std::string installed = GetInstalledVersion();
    const ReleaseCheck check = CheckRelease(parsed, installed, TodayUtc(), expiry);
    return check == kReleaseCurrent ? std::string() : ReleaseCheckText(check, parsed, installed);
}

// A signed description's refusal, its signature first and then its release;
// empty when it is accepted.
std::string SignedDescriptionRefusal(const std::string& description, bool signatureThere,
                                     const std::string& signature, ExpiryRule expiry)
{
    const DescriptionCheck check = CheckSetupDescription(true, description, signatureThere, signature);
    if (check != kDescriptionAccepted) {
        return DescriptionCheckText(check);
    }
    return ReleaseRefusal(description, expiry);
}

bool NamesPackage(const std::string& description, const std::vector<std::uint8_t>& digest)
{
    SetupDescriptor parsed;
    ApplySetupDescriptor(description, parsed);
    return parsed.packageHashLine == kHashPresent && parsed.packageHash == digest;
}

// A small text file beside the program, taken as a fetched text is: white
// space removed at both ends.
bool ReadLocalText(const std::string& path, std::string& text)
{
    UniqueFile file(CreateFileW(WidenText(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxLocalTextBytes) {
        return false;
    }
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(file.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read,
                                     nullptr) ||
                           read != bytes.size())) {
        return false;
    }
    text = TrimBlanks(bytes);
    return true;
}

// The SHA-256 of what is left to read through `file`; false when it cannot be
// read or `stop` was set.
bool HashOpenFile(HANDLE file, const std::atomic<bool>& stop, std::vector<std::uint8_t>& digest)
{
    CSha256 hasher;
    if (!hasher.Start()) {
        return false;
    }
    std::vector<char> block(kHashBlockBytes);
    for (;;) {
        DWORD read = 0;
        if (stop || !ReadFile(file, block.data(), kHashBlockBytes, &read, nullptr)) {
            return false;
        }
        if (read == 0) {
            return hasher.Finish(digest);
        }
        if (!hasher.Add(block.data(), read)) {
            return false;
        }
    }
}

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

// The window keeps answering while the server is asked, but the install page
// takes no input: the folder and the licence are read once the description
// has come, so what the page shows then is what is installed.
void CInstallDlg::OnInstallNow()
{
    if (!flow_.BeginCommand()) {
        return;
    }
    if (!PrepareAndStartInstall()) {
        flow_.AbandonCommand();
    }
}

bool CInstallDlg::PrepareAndStartInstall()
{
    std::vector<CTextFetch::Answer> answers;
    if (!FetchSetupDescription(answers)) {
        return false;
    }
    std::string description;
    if (licenceCheck_.GetCheck() != BST_CHECKED || !TakeInstallFolder() ||
        !AcceptSetupDescription(answers, description)) {
        return false;
    }
    SetupDescriptor setup;
    setup.downloadUrl = VendorUrl("/download.php?key=11");
    ApplySetupDescriptor(description, setup);
    std::string unsafeName;
    if (FindUnsafeProgramName(setup, unsafeName)) {
        ShowMessageBox(FormatString1(kUnsafeProgramNameText, unsafeName), MB_OK | MB_ICONHAND);
        return false;
    }
    setupFile_ = setup.setupFile;
    setupArguments_ = setup.setupArguments;
    launchFile_ = setup.launchFile;
    launchArguments_ = setup.launchArguments;
    if (!AskUntilProductNotRunning(setup) || !flow_.BeginDownload()) {
        return false;
    }
    StartWorker(setup);
    return true;
}

// The user has asked to install: the description is waited for as long as the
// network's own time-outs allow (WinInet does not hold a URL's opening to
// them), and the defaults stand in only when it cannot be fetched. False when
// the window was ended meanwhile.
bool CInstallDlg::FetchSetupDescription(std::vector<CTextFetch::Answer>& answers)
{
    std::vector<std::string> urls{VendorUrl("/download/MrvACAD.setup")};
    if (SignatureRequired()) {
        urls.push_back(VendorUrl(kDescriptionSignaturePath));
    }
    const HWND focus = GetFocus();
    HoldInstallPage(true);
    const bool windowStays = FetchTexts(urls, kSetupFetchBoundMs, answers);
    if (windowStays) {
        HoldInstallPage(false);
        SetFocus(focus);
    }
    return windowStays;
}

// A held page's controls are disabled. The window then takes the focus back,
// which it hands on to an enabled control of its own, so that Esc and Enter
// still reach it: a disabled control would leave the focus nowhere.
void CInstallDlg::HoldInstallPage(bool hold)
{
    installFrame_.Enable(!hold);
    if (hold) {
        SetFocus(Hwnd());
    }
}

// False when the user gave up, or the window ended while a box was shown.
bool CInstallDlg::AskUntilProductNotRunning(const SetupDescriptor& setup)
{
    while (!CheckProductNotRunning(setup.instanceNames)) {
        if (ShowMessageBox(FormatString1(kRunningText, setup.displayName),
                           MB_OKCANCEL | MB_ICONHAND) != IDOK ||
            flow_.Stage() != InstallStage::kPreparing) {
            return false;
        }
    }
    return true;
}

void CInstallDlg::StartWorker(const SetupDescriptor& setup)
{
    ShowPage(PageDownload);
    job_.downloadUrl = setup.downloadUrl;
    // A download that an earlier start left for this one goes on; any other
    // left there is deleted by the job.
    job_.targetPath = WorkingFilePath("~download.tmp");
    job_.keptRecordPath = WorkingFilePath("~download.resume");
    job_.localPackageMode = localPackagePresent_;
    job_.localPackagePath = localPackagePath_;
    // The one that was hashed, when a signing build checked it.
    job_.localPackage = localPackageHold_ ? localPackageHold_.get() : nullptr;
    // "data.cab" beside the program is the user's own copy: the server's hash
    // names the package on the server.
    job_.packageHash = localPackagePresent_ ? std::vector<std::uint8_t>() : setup.packageHash;
    install_ = std::make_unique<CPackageInstall>(installFolder_, backupFolder_);
    job_.StartDownload();
}

// A description changed on the way (or unsigned, or signed for a release that
// has expired or is older than the installed one, in a build that checks
// signatures) is refused before anything is downloaded. Without a key a
// package beside the program installs offline as before: only a description
// that did arrive is held to the check then.
bool CInstallDlg::AcceptSetupDescription(const std::vector<CTextFetch::Answer>& answers,
                                         std::string& description)
{
    const bool fetched = answers[0].result == kFetchOk;
    description = fetched ? answers[0].text : std::string();
    if (localPackagePresent_ && SignatureRequired()) {
        return AcceptLocalPackage(answers, description);
    }
    if (!fetched && localPackagePresent_) {
        return true;
    }
    const bool signatureFetched = answers.size() > 1 && answers[1].result == kFetchOk;
    const std::string none;
    const DescriptionCheck check =
        CheckSetupDescription(fetched, fetched ? answers[0].text : none, signatureFetched,
                              signatureFetched ? answers[1].text : none);
    if (check != kDescriptionAccepted) {
        ShowMessageBox(DescriptionCheckText(check), MB_OK | MB_ICONHAND);
        return false;
    }
    if (!SignatureRequired()) {
        return true;
    }
    const std::string refusal = ReleaseRefusal(answers[0].text, ExpiryRule::kChecked);
    if (!refusal.empty()) {
        ShowMessageBox(refusal, MB_OK | MB_ICONHAND);
    }
    return refusal.empty();
}

// A signing build installs "data.cab" only as the package of a signed
// description: the fetched one, or the signed description of install media
// beside it, whose last day is not held against it (media are kept for years;
// their version still is). Either is the vendor's, so the second is asked
// whenever the first does not name this package. `description` becomes the
// one whose lines apply.
bool CInstallDlg::AcceptLocalPackage(const std::vector<CTextFetch::Answer>& answers,
                                     std::string& description)
{
    std::vector<std::uint8_t> digest;
    const LocalPackageHash hashed = HoldAndHashLocalPackage(digest);
    if (hashed == LocalPackageHash::kWindowEnded) {
        return false;
    }
    if (hashed == LocalPackageHash::kUnreadable) {
        ShowMessageBox(kLocalPackageUnreadableText, MB_OK | MB_ICONHAND);
        return false;
    }
    std::string refusal;
    bool signedDescriptionSeen = false;
    const auto namesThisPackage = [&](const std::string& text, bool signatureThere,
                                      const std::string& signature, ExpiryRule expiry) {
        const std::string why = SignedDescriptionRefusal(text, signatureThere, signature, expiry);
        if (!why.empty()) {
            refusal = refusal.empty() ? why : refusal;
            return false;
        }
        signedDescriptionSeen = true;
        return NamesPackage(text, digest);
    };
    const bool signatureFetched = answers.size() > 1 && answers[1].result == kFetchOk;
    if (answers[0].result == kFetchOk &&
        namesThisPackage(answers[0].text, signatureFetched,
                         signatureFetched ? answers[1].text : std::string(), ExpiryRule::kChecked)) {
        return true;
    }
    std::string local;
    std::string localSignature;
    const std::string folder = GetModuleFolder();
    const bool localThere = ReadLocalText(folder + kLocalDescriptionName, local);
    const bool localSigned = localThere && ReadLocalText(folder + kLocalSignatureName, localSignature);
    if (localThere && namesThisPackage(local, localSigned, localSignature, ExpiryRule::kIgnored)) {
        description = local;
        return true;
    }
    localPackageHold_.reset();
    ShowMessageBox(signedDescriptionSeen ? kLocalPackageMismatchText
        : refusal.empty()     ? kLocalPackageUnsignedText
                              : refusal,
        MB_OK | MB_ICONHAND);
    return false;
}

// "data.cab" is opened against writes, renames and deletion, and stays so
// until the window ends: the package that is extracted is the one hashed
// here. It is hashed on a thread of its own while the window answers its user.
CInstallDlg::LocalPackageHash CInstallDlg::HoldAndHashLocalPackage(std::vector<std::uint8_t>& digest)
{
    localPackageHold_.reset(CreateFileW(WidenText(localPackagePath_).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!localPackageHold_) {
        return LocalPackageHash::kUnreadable;
    }
    // Written by the hashing thread; read here once it has ended.
    bool hashed = false;
    std::atomic<bool> stop{false};
    const HANDLE file = localPackageHold_.get();
    UniqueHandle thread;
    const bool started = StartWorkerThread(thread, [&] {
        hashed = HashOpenFile(file, stop, digest);
        return DWORD{0};
    });
    if (!started) {
        hashed = HashOpenFile(file, stop, digest);
    } else {
        HoldInstallPage(true);
        const WaitEnd end = WaitAnsweringUser(thread.get(), INFINITE, Hwnd());
        if (end == WaitEnd::kSignalled) {
            HoldInstallPage(false);
        }
        if (end != WaitEnd::kSignalled) {
            stop = true;
            WaitForThreadDispatching(thread.get());
            localPackageHold_.reset();
            return LocalPackageHash::kWindowEnded;
        }
    }
    if (!hashed) {
        localPackageHold_.reset();
        return LocalPackageHash::kUnreadable;
    }
    return LocalPackageHash::kHashed;
}

// The install folder must be a full path that exists or can be made: the
// package is never extracted relative to whatever folder is current, and the
// user learns at once why nothing happens.
bool CInstallDlg::TakeInstallFolder()
{
    std::string folder = folderEdit_.GetPath();
    if (TrimBlanks(folder).empty()) {
        ShowMessageBox(kNoFolderText, MB_OK | MB_ICONWARNING);
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
        ShowMessageBox(FormatString1(kNotFullPathText, folder), MB_OK | MB_ICONWARNING);
        return false;
    }
    CreateDirectoryTree(CPathName(folder + "\\"));
    const DWORD attributes = GetFileAttributesW(WidenText(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        ShowMessageBox(FormatString1(kFolderFailedText, folder), MB_OK | MB_ICONHAND);
        return false;
    }
    installFolder_ = folder;
    return true;
}

// On the worker. A cancelled or failed install has been rolled back by the time
// Install returns. A finished one keeps its journal until it is decided here:
// a cancel that came meanwhile rolls it back (a crash during that roll-back is
// undone at the next start), otherwise it stands, and only then does the
// setup program start. A cancel after that decision changes nothing. Nothing
// is installed once a cancel or the window's end came before the step began.
bool CInstallDlg::InstallProductPackage(HANDLE package, const std::string& packagePath)
{
    if (!flow_.EnterInstallStep()) {
        return true;
    }
    const InstallResult result = install_->Install(package, packagePath, *this, job_.AbortFlag());
    if (result == kInstallCancelled) {
        return true;
    }
    if (result == kInstallFailed) {
        job_.SetErrorText(install_->ErrorText());
        return false;
    }
    if (!flow_.StandInstall()) {
        install_->RollBack();
        return true;
    }
    install_->Finish();
    StartSetupProgram(installFolder_, setupFile_, setupArguments_);
    return true;
}

// The worker posts this as its last act; once it has ended, what it wrote may
// be read here. Only here does a cancelled or failed install end the window,
// so that its message is always seen.
LRESULT CInstallDlg::OnDownloadDone(bool failed)
{
    KillTimer(Hwnd(), kAbortTimer);
    job_.WaitForWorker();
    switch (flow_.Stage()) {
    case InstallStage::kCancelling:
    case InstallStage::kRollingBack:
        // A roll-back that could not restore every file says where they are.
        if (install_ && !install_->ErrorText().empty()) {
            ShowMessageBox(install_->ErrorText(), MB_OK | MB_ICONHAND);
        }
        RemoveDirectoryW(WidenText(backupFolder_).c_str());
        EndWindow();
        break;
    case InstallStage::kEnding:
        break;
    default:
        if (failed) {
            ShowMessageBox(job_.ErrorText(), MB_OK);
            EndWindow();
            break;
        }
        flow_.Reset();
        SetText(savedCaption_);
        ShowPage(PageAfterInstall);
        break;
    }
    return 0;
}

// The worker rolls the install back itself once it sees the abort: the files
// are never touched by two threads at once, and the setup program is not
// started. A cancel that comes after the install has been decided changes
// nothing (RequestAbort).
void CInstallDlg::RollBackInstall()
{
    if (ConfirmAbandon()) {
        RequestAbort();
    }
}

bool CInstallDlg::ConfirmAbandon()
{
    return ShowMessageBox(kAbandonQuestion, MB_YESNO) == IDYES;
}
