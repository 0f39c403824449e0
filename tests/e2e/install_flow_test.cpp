// Product installs and upgrades of the real program, from the vendor server
// and from "data.cab", with a running product and with cancels.
#include <cstdio>
#include <set>

#include "net/description_check.h"
#include "net/resume_rules.h"
#include "net/package_integrity.h"
#include "product/setup_descriptor.h"
#include "res/resource.h"
#include "tests/bench/vendor_server.h"
#include "tests/e2e/setup_scenario.h"
#include "util/file_system.h"
#include "util/format_strings.h"
#include "util/hex_text.h"
#include "util/wide_text.h"

namespace e2e {
namespace {

const char kRunningMessage[] =
    "安装向导发现 墨岚 AutoCAD 插件 正在运行!\n\n请立即关闭其所有实例，然后单击“确定”继续，或单\n"
    "击“取消”退出。";
const char kAbandonQuestion[] = "你确定要放弃“墨岚软件”的安装吗？";

// A file whole, past the limit of the reads of texts, and read so that the
// program may replace or delete it meanwhile.
std::string ReadLargeFile(const std::string& path)
{
    UniqueFile file(CreateFileW(WidenText(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    std::vector<char> block(1 << 20);
    DWORD read = 0;
    while (file && ReadFile(file.get(), block.data(), static_cast<DWORD>(block.size()), &read, nullptr) &&
           read != 0) {
        bytes.append(block.data(), read);
    }
    return bytes;
}

class InstallFlow : public SetupScenario {
protected:
    HWND FolderEdit() const { return GetDlgItem(Control(window_, IDC_INSTALL_FOLDER), 12345); }

    void ChooseProductFolder() { ASSERT_TRUE(TypeText(FolderEdit(), productFolder_)); }

    std::string PackageTarget() const { return std::string(kVendorHost) + "/download.php?key=11"; }

    // Presses "取消" and confirms; the program ends.
    void CancelAndConfirm()
    {
        ASSERT_TRUE(Click(window_, IDC_CANCEL_INSTALL));
        const HWND box = WaitForMessageBox();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(MessageBoxText(box), kAbandonQuestion);
        Shot("abandon_question", box);
        ASSERT_TRUE(Answer(box, IDYES));
        ASSERT_TRUE(run_.WaitForExit()) << "the window stayed after the cancel";
    }

    void ExpectProductSetupStarted()
    {
        const std::vector<StartRecord> records = WaitForRecords(1);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].program, productFolder_ + "\\MrvCADSetup.exe");
        EXPECT_EQ(records[0].arguments, "all");
    }

    // The product folder of an earlier install and nothing else: each row of a
    // table starts as the first did.
    void StartRowAfresh()
    {
        run_.Kill();
        DeleteFolderTree(productFolder_);
        DeleteFolderTree(WorkFolder());
        DeleteFileW(WidenText(recordPath_).c_str());
        LeaveEarlierInstall();
        PutStandin("MrvCADSetup", productFolder_ + "\\MrvCADSetup.exe");
    }

    // The bytes sent for `target`, which came as a request to the server or to
    // its proxy.
    static long long SentFor(const std::string& target)
    {
        return vendor::SentBytes(site::Url(""), target) +
               vendor::SentBytes(site::Url(""), site::Url(target));
    }

    static long RequestsFor(const std::string& target)
    {
        return vendor::StatsCount(site::Url(""), target) +
               vendor::StatsCount(site::Url(""), site::Url(target));
    }

    // "[STATUS FIRST]" for each answer that the server sent for `target`.
    static std::string AnswersFor(const std::string& target)
    {
        return vendor::SentAnswers(site::Url(""), target, site::Url(target));
    }

    // What an install left in the working folder for the next start.
    bool KeptDownloadThere(KeptDownload& kept) const
    {
        return ParseKeptRecord(ReadLargeFile(WorkFolder() + "~download.resume"), kept);
    }

    void ExpectPackageInstalled()
    {
        ExpectProductSetupStarted();
        EXPECT_EQ(ReadWholeFile(productFolder_ + "\\readme.txt"), "墨岚岱文 Morvane Tessaly 2.2\r\n");
        EXPECT_TRUE(FileExists(productFolder_ + "\\Sys\\MrvScript.exe"));
    }
};

TEST_F(InstallFlow, FirstInstallFromServerDownloadsExtractsAndStartsTheSetupProgram)
{
    // A folder name in Chinese and with a blank travels as code page 936 text.
    productFolder_ = root_ + "\\墨岚 产品";
    PutSite("2.1", Descriptor(PackageTarget()), "product.zip");
    const long before = site::VendorRequestCount("/download.php?key=11");
    Start();
    ASSERT_EQ(CurrentPage(), Page::Install);
    EXPECT_EQ(ControlText(window_, IDC_INSTALL_NOW), "立即安装");
    EXPECT_EQ(ControlText(window_, IDC_VERSION_TEXT), "版本：2.1");
    EXPECT_TRUE(IsChecked(window_, IDC_LICENCE_ACCEPTED));
    ChooseProductFolder();
    Shot("1_install_page");

    ASSERT_TRUE(Click(window_, IDC_INSTALL_NOW));
    ASSERT_TRUE(WaitForPage(Page::Download));
    std::set<std::string> seen;
    ASSERT_TRUE(WaitUntil(
        [&] {
            if (CurrentPage() == Page::Download) {
                const ProgressState bar = ProgressOf(window_, IDC_PROGRESS);
                seen.insert(TextOf(window_) + "|" + ControlText(window_, IDC_STATUS_TEXT) + "|" +
                            ControlText(window_, IDC_SOURCE_TEXT) + "|" +
                            std::to_string(bar.position) + "/" + std::to_string(bar.high));
            }
            return CurrentPage() == Page::Finish;
        },
        60000));
    EXPECT_GE(seen.size(), 2u) << "the download page never changed its texts";
    Shot("3_finish_page");

    EXPECT_EQ(TextOf(window_), kCaption);
    EXPECT_EQ(site::VendorRequestCount("/download.php?key=11"), before + 1);
    ExpectProductSetupStarted();
    EXPECT_TRUE(FileExists(productFolder_ + "\\readme.txt"));
    EXPECT_TRUE(FileExists(productFolder_ + "\\Sys\\MrvScript.exe"));
    EXPECT_TRUE(FileExists(productFolder_ + "\\Library\\Script\\welcome.lsp"));
    EXPECT_FALSE(FileExists(WorkFolder() + "~download.tmp"));
    EXPECT_FALSE(FolderExists(WorkFolder() + "~downloadtmp"));
    EXPECT_FALSE(IsShown(window_, IDC_UNINSTALL));

    // Below version 2.0 (nothing recorded yet) the script host is the product.
    ASSERT_TRUE(Click(window_, IDC_FINISH));
    ASSERT_TRUE(run_.WaitForExit());
    const std::vector<StartRecord> records = WaitForRecords(2);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].program, productFolder_ + "\\Sys\\MrvScript.exe");
    EXPECT_EQ(records[1].arguments, "");
}

TEST_F(InstallFlow, NewerServerVersionOffersAnUpgradeOnTheInstallPage)
{
    RecordInstalledProduct("2.1");
    PutSite("2.2", Descriptor(PackageTarget()), "product.zip");
    Start();
    ASSERT_EQ(CurrentPage(), Page::Install);
    Shot("upgrade_offer");
    EXPECT_EQ(ControlText(window_, IDC_INSTALL_NOW), "立即升级");
    EXPECT_EQ(ControlText(window_, IDC_VERSION_TEXT), "版本：2.2　　当前版本：2.1");
    EXPECT_EQ(TextOf(FolderEdit()), productFolder_ + "\\");

    // Unticking the licence disables the install button; ticking enables it.
    ASSERT_TRUE(SetCheck(window_, IDC_LICENCE_ACCEPTED, false));
    EXPECT_TRUE(WaitUntil([&] { return !IsEnabled(window_, IDC_INSTALL_NOW); }));
    ASSERT_TRUE(SetCheck(window_, IDC_LICENCE_ACCEPTED, true));
    EXPECT_TRUE(WaitUntil([&] { return IsEnabled(window_, IDC_INSTALL_NOW); }));

    // Closing from the install page asks first; the backup folder stays, empty.
    ASSERT_TRUE(PostMessageW(window_, WM_CLOSE, 0, 0));
    const HWND box = WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), kAbandonQuestion);
    ASSERT_TRUE(Answer(box, IDYES));
    ASSERT_TRUE(run_.WaitForExit());
    EXPECT_TRUE(FolderExists(WorkFolder() + "~downloadtmp"));
    EXPECT_TRUE(SnapshotFolder(WorkFolder() + "~downloadtmp").empty());
    EXPECT_TRUE(Records().empty());
}

TEST_F(InstallFlow, LocalPackageInstallsWithoutNetwork)
{
    // A drive typed alone gets the product's own folder, as a drive picked in
    // the folder browser does. C: is the drive of this build's own Wine prefix.
    productFolder_ = "C:\\MrvACAD";
    DeleteFolderTree(productFolder_);
    ASSERT_TRUE(CreateDirectoryW(WidenText(productFolder_).c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(productFolder_ + "\\readme.txt", "old readme\r\n"));
    RecordInstalledProduct("2.2");
    std::string package;
    ASSERT_TRUE(ReadFileBytes(FixturePath("product.zip"), package));
    PutBesideProgram("data.cab", package);
    Start(false);
    // A product that is installed and current still opens on the install page.
    ASSERT_EQ(CurrentPage(), Page::Install);
    EXPECT_EQ(ControlText(window_, IDC_VERSION_TEXT), "");
    EXPECT_EQ(ControlText(window_, IDC_INSTALL_NOW), "立即安装");
    Shot("install_page");

    ASSERT_TRUE(TypeText(FolderEdit(), "C:\\"));
    ASSERT_TRUE(Click(window_, IDC_INSTALL_NOW));
    ASSERT_TRUE(WaitForPage(Page::Finish, 60000));
    Shot("finish_page");
    EXPECT_EQ(TextOf(FolderEdit()), productFolder_);
    EXPECT_EQ(TextOf(window_), kCaption) << "a percentage stayed in the caption";
    ExpectProductSetupStarted();
    // The package's readme (tests/fixtures/make_e2e_site.py) replaced the old one.
    std::string readme;
    EXPECT_TRUE(ReadFileBytes(productFolder_ + "\\readme.txt", readme));
    EXPECT_EQ(readme, "墨岚岱文 Morvane Tessaly 2.2\r\n");
    EXPECT_TRUE(FileExists(programFolder_ + "data.cab")) << "the local package must stay";
    EXPECT_FALSE(FileExists(WorkFolder() + "~download.tmp"));
    DeleteFolderTree(productFolder_);
}

TEST_F(InstallFlow, RunningProductIsReportedUntilItEnds)
{
    PutSite("2.2", Descriptor(PackageTarget()), "product.zip");
    UniqueResource<handle_traits::Kernel> running(
        CreateMutexW(nullptr, TRUE, L"MorvaneForAutoCADStart"));
    ASSERT_TRUE(running);
    const long before = site::VendorRequestCount("/download.php?key=11");
    Start();
    ChooseProductFolder();

    ASSERT_TRUE(Click(window_, IDC_INSTALL_NOW));
    HWND box = WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), kRunningMessage);
    EXPECT_EQ(TextOf(box), kMessageCaption);
    Shot("running_message", box);
    ASSERT_TRUE(Answer(box, IDCANCEL));
    ASSERT_TRUE(Settle(window_));
    EXPECT_EQ(CurrentPage(), Page::Install);
    EXPECT_EQ(site::VendorRequestCount("/download.php?key=11"), before);

    // Asked again while it still runs; once it has ended, OK goes on.
    ASSERT_TRUE(Click(window_, IDC_INSTALL_NOW));
    box = WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(Answer(box, IDOK));
    box = WaitForMessageBox();
    ASSERT_NE(box, nullptr) << "an instance still runs, yet nobody said so";
    EXPECT_EQ(MessageBoxText(box), kRunningMessage);
    ReleaseMutex(running.get());
    running.reset();
    ASSERT_TRUE(Answer(box, IDOK));
    ASSERT_TRUE(WaitForPage(Page::Finish, 60000));
    ExpectProductSetupStarted();
    EXPECT_EQ(site::VendorRequestCount("/download.php?key=11"), before + 1);
}

TEST_F(InstallFlow, CancelDuringDownloadLeavesTheInstallFolderAsItWas)
{
    LeaveEarlierInstall();
    PutSite("2.2", Descriptor(site::Url("/behave/slow?size=2000000&delay=20")), "product.zip");
    const auto before = SnapshotFolder(productFolder_);
    Start();
    ASSERT_EQ(CurrentPage(), Page::Install);
    ASSERT_TRUE(Click(window_, IDC_INSTALL_NOW));
    ASSERT_TRUE(WaitForPage(Page::Download));
    ASSERT_TRUE(WaitUntil([&] { return ProgressOf(window_, IDC_PROGRESS).position > 0; }))
        << "the download did not get under way";
    ExpectOnlyPageShown(Page::Download);
    Shot("downloading");
    CancelAndConfirm();
    EXPECT_EQ(SnapshotFolder(productFolder_), before);
    EXPECT_TRUE(Records().empty());
    EXPECT_FALSE(FileExists(WorkFolder() + "~download.tmp"));
    EXPECT_FALSE(FolderExists(WorkFolder() + "~downloadtmp"));
}

TEST_F(InstallFlow, ClosingDuringDownloadStopsItAndEnds)
{
    LeaveEarlierInstall();
    PutSite("2.2", Descriptor(site::Url("/behave/slow?size=2000000&delay=20")), "product.zip");
    const auto before = SnapshotFolder(productFolder_);
    Start();
    ASSERT_TRUE(Click(window_, IDC_INSTALL_NOW));
    ASSERT_TRUE(WaitUntil([&] { return ProgressOf(window_, IDC_PROGRESS).position > 0; }));
    ASSERT_TRUE(PostMessageW(window_, WM_CLOSE, 0, 0));
    const HWND box = WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), kAbandonQuestion);
    ASSERT_TRUE(Answer(box, IDYES));
    ASSERT_TRUE(run_.WaitForExit()) << "the window stayed after the close";
    EXPECT_EQ(SnapshotFolder(productFolder_), before);
    EXPECT_TRUE(Records().empty());
    EXPECT_FALSE(FileExists(WorkFolder() + "~download.tmp"));
}

TEST_F(InstallFlow, MissingPackageIsReportedAndChangesNothing)
{
    LeaveEarlierInstall();
    PutSite("2.2", Descriptor(site::Url("/behave/404")), "product.zip");
    const auto before = SnapshotFolder(productFolder_);
    Start();
    ASSERT_TRUE(Click(window_, IDC_INSTALL_NOW));
    const HWND box = WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), "连接 MorvaneNet 网络失败");
    Shot("download_error", box);
    ASSERT_TRUE(Answer(box, IDOK));
    ASSERT_TRUE(run_.WaitForExit());
    EXPECT_EQ(SnapshotFolder(productFolder_), before);
    EXPECT_TRUE(Records().empty());
    EXPECT_FALSE(FileExists(WorkFolder() + "~download.tmp"));
}

// The description's eighth line names the package's SHA-256: a package that
// does not match it is deleted unopened, one that matches installs, and a line
// that is no hash is ignored as later lines are. The program built with the
// test key takes the server's signed descriptions: a signed one of a newer or
// the same release installs; a changed one, a wrong signature, a signed line
// that is no hash, an older or expired release and one that names no release
// are refused before the download.
// A description that comes late is waited for, and counts all the same; the
// install page takes no input meanwhile. A description whose setup or launch
// file leaves the install folder is refused before the download as well, with
// the name it gave.
TEST_F(InstallFlow, OnlyThePackageThatTheDescriptionNamesIsInstalled)
{
    std::string package;
    ASSERT_TRUE(ReadFileBytes(FixturePath("product.zip"), package));
    CSha256 hasher;
    std::vector<std::uint8_t> hash;
    ASSERT_TRUE(hasher.Start() && hasher.Add(package.data(), package.size()) && hasher.Finish(hash));
    const std::string unsafeSetup = "..\\..\\Windows\\System32\\cmd.exe";
    const std::string unsafeLaunch = "C:\\Windows\\System32\\cmd.exe";
    // The default description with its setup (line 4) or launch file (line 6) replaced.
    const auto withProgram = [this](const std::string& line, const std::string& program) {
        std::string text = Descriptor(PackageTarget());
        const std::size_t at = text.find(line);
        return text.replace(at, line.size(), program + "\r\n/c echo\r\n");
    };
    const std::string withUnsafeSetup = withProgram("MrvCADSetup.exe\r\nall\r\n", unsafeSetup);
    const std::string withUnsafeLaunch = withProgram("MrvCADSetup.exe\r\ntessaly\r\n", unsafeLaunch);
    const struct {
        std::string hashLine;
        const char* signedVariant;  // the server's signed description, for the test-key program
        std::string message;        // none: the install goes through
        bool downloads;
        std::string descriptor;     // none: the default lines
        const char* descriptionDelayMs = "";
    } cases[] = {
        // The rows of the test-key program come last: it stays in place.
        {"hello", nullptr, "", true, ""},
        {std::string(64, '0'), nullptr, kPackageAlteredText, true, ""},
        {HexText(hash.data(), hash.size()), nullptr, "", true, ""},
        {std::string(64, '0'), nullptr, kPackageAlteredText, true, "", "7000"},
        {"", nullptr, FormatString1(kUnsafeProgramNameText, unsafeSetup), false, withUnsafeSetup},
        {HexText(hash.data(), hash.size()), nullptr,
         FormatString1(kUnsafeProgramNameText, unsafeLaunch), false, withUnsafeLaunch},
        // Signed for 2.2, newer than the installed 2.1, and current.
        {"", "good", "", true, ""},
        {"", "same", "", true, ""},
        {"", "tampered", kSignatureInvalidText, false, ""},
        {"", "badsig", kSignatureInvalidText, false, ""},
        {"", "badhash", kPackageHashMalformedText, false, ""},
        {"", "older", "安装说明提供的版本 2.0 比已安装的版本 2.1 旧，安装已取消。", false, ""},
        {"", "expired",
         "安装说明的有效期到 2024-01-31 (UTC) 为止，现已过期，安装已取消。\n\n如果系统日期不正确，请更正后重试。",
         false, ""},
        {"", "norelease", kReleaseLinesMissingText, false, ""},
    };
    // The signed descriptions name the server's own address (direct or proxied).
    const auto packageRequests = [](bool signedRow) {
        return signedRow ? vendor::StatsCount(site::Url(""), "/signed/package.zip") +
                               vendor::StatsCount(site::Url(""), site::Url("/signed/package.zip"))
                         : site::VendorRequestCount("/download.php?key=11");
    };
    for (const auto& c : cases) {
        const bool signedRow = c.signedVariant != nullptr;
        SCOPED_TRACE(signedRow ? c.signedVariant : c.hashLine);
        run_.Kill();
        DeleteFolderTree(productFolder_);
        DeleteFileW(WidenText(recordPath_).c_str());
        LeaveEarlierInstall();
        // The signed package brings no setup program: the earlier one starts.
        PutStandin("MrvCADSetup", productFolder_ + "\\MrvCADSetup.exe");
        const auto before = SnapshotFolder(productFolder_);
        PutSite("2.2", (c.descriptor.empty() ? Descriptor(PackageTarget()) : c.descriptor) + c.hashLine,
                "product.zip");
        if (signedRow) {
            const std::string path = std::string("/signed/") + c.signedVariant + "/download/MrvACAD.setup";
            ASSERT_TRUE(site::Put("MrvACAD.setup", vendor::FetchDirect(site::Url(path))));
            ASSERT_TRUE(site::Put("MrvACAD.setup.sig", vendor::FetchDirect(site::Url(path + ".sig"))));
            ASSERT_TRUE(CopyFileW(WidenText(BuildFolder() + "\\test_key\\TessalySetup.exe").c_str(),
                                  WidenText(program_).c_str(), FALSE));
        }
        ASSERT_TRUE(site::Put("MrvACAD.setup.delay", c.descriptionDelayMs));
        const long requests = packageRequests(signedRow);
        Start();
        ASSERT_TRUE(Click(window_, IDC_INSTALL_NOW));
        if (*c.descriptionDelayMs != '\0') {
            ASSERT_TRUE(WaitUntil([&] { return !IsEnabled(window_, IDC_LICENCE_ACCEPTED); }));
            EXPECT_EQ(CurrentPage(), Page::Install);
            // The focus stays in the window on something enabled, so that Esc
            // and Enter reach it (the page is disabled a moment before the
            // focus moves on).
            EXPECT_TRUE(WaitUntil([&] {
                GUITHREADINFO focus{};
                focus.cbSize = sizeof focus;
                return GetGUIThreadInfo(GetWindowThreadProcessId(window_, nullptr), &focus) &&
                       (focus.hwndFocus == window_ || IsChild(window_, focus.hwndFocus)) &&
                       IsWindowEnabled(focus.hwndFocus);
            }));
            EXPECT_FALSE(TypeText(FolderEdit(), root_ + "\\elsewhere"));
            EXPECT_FALSE(SetCheck(window_, IDC_LICENCE_ACCEPTED, false));
            Shot("waiting_for_the_description");
        }
        if (c.message.empty()) {
            ASSERT_TRUE(WaitForPage(Page::Finish, 60000));
            ExpectProductSetupStarted();
            EXPECT_EQ(ReadWholeFile(productFolder_ + "\\readme.txt"),
                      signedRow ? "Morvane Tessaly signed\r\n" : "墨岚岱文 Morvane Tessaly 2.2\r\n");
            EXPECT_EQ(packageRequests(signedRow), requests + 1);
            continue;
        }
        const HWND box = WaitForMessageBox();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(MessageBoxText(box), c.message);
        ASSERT_TRUE(Answer(box, IDOK));
        EXPECT_EQ(packageRequests(signedRow), requests + (c.downloads ? 1 : 0));
        if (!c.downloads) {
            EXPECT_TRUE(WaitForPage(Page::Install)) << "a refused description ends nothing";
        } else {
            ASSERT_TRUE(run_.WaitForExit());
        }
        EXPECT_EQ(SnapshotFolder(productFolder_), before);
        EXPECT_TRUE(Records().empty());
        EXPECT_FALSE(FileExists(WorkFolder() + "~download.tmp"));
    }
}

// Installs from /ranged/package.zip whose connection breaks off after a
// quarter of the package, as each row's server does it. Closed three times, the
// package comes by ranges, the server sending hardly a byte twice; a server
// without ranges, and one whose file changed after the first answer, start it
// over; all three install in one window with no message. A server that breaks
// off at the same byte every time spends the attempts: the break's message as
// before, nothing installed, and what arrived stays for the next start.
TEST_F(InstallFlow, ADownloadBrokenOffOnTheWayResumesRestartsOrGivesUpAsItsServerAllows)
{
    std::string package;
    ASSERT_TRUE(ReadFileBytes(FixturePath("product.zip"), package));
    const std::size_t size = package.size();
    const std::size_t drop = size / 4 + 1;
    const struct {
        const char* query;
        long requests;
        double mostSent;  // times the package's bytes
        bool installs;
    } cases[] = {
        {"drops=3", 4, 1.02, true},
        {"drops=1&ranges=0", 2, 1.26, true},
        {"drops=1&changed=1", 2, 1.26, true},
        {"ranges=0", 1 + kResumeAttempts, 1.51, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        StartRowAfresh();
        const auto before = SnapshotFolder(productFolder_);
        const std::string target = std::string("/ranged/package.zip?") + c.query +
                                   "&drop=" + std::to_string(drop) + "&run=" + vendor::RunStamp();
        PutSite("2.2", Descriptor(site::Url(target)), "product.zip");
        Start();
        ASSERT_TRUE(Click(window_, IDC_INSTALL_NOW));
        if (c.installs) {
            ASSERT_TRUE(WaitForPage(Page::Finish, 120000)) << "a message or a stuck download";
            ExpectPackageInstalled();
            EXPECT_FALSE(FileExists(WorkFolder() + "~download.tmp"));
            EXPECT_FALSE(FileExists(WorkFolder() + "~download.resume"));
        } else {
            const HWND box = run_.WaitForOwnedDialog(window_, 120000);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(MessageBoxText(box), "当前下载文件错误:下载的文件不完整: 收到 " +
                                               std::to_string(drop) + " 字节，应为 " +
                                               std::to_string(size) + " 字节");
            ASSERT_TRUE(Answer(box, IDOK));
            ASSERT_TRUE(run_.WaitForExit());
            EXPECT_EQ(SnapshotFolder(productFolder_), before);
            EXPECT_TRUE(Records().empty());
            KeptDownload kept;
            ASSERT_TRUE(KeptDownloadThere(kept));
            EXPECT_EQ(kept.received, drop);
            EXPECT_EQ(ReadWholeFile(WorkFolder() + "~download.tmp"), package.substr(0, drop));
        }
        EXPECT_EQ(RequestsFor(target), c.requests);
        const long long sent = SentFor(target);
        EXPECT_GE(sent, static_cast<long long>(size));
        EXPECT_LE(static_cast<double>(sent), c.mostSent * static_cast<double>(size));
    }
}

// The program killed in the middle of a large download (its server stalled
// there): the next start goes on from the bytes that the first one made
// durable, with one range request, and installs the whole package.
TEST_F(InstallFlow, AKilledProgramGoesOnWithItsDownloadAtTheNextStart)
{
    const std::string package = ReadLargeFile(FixturePath("crash.zip"));
    const std::size_t size = package.size();
    const std::size_t stall = 36000000;
    ASSERT_GT(size, stall);
    // The hash line holds the kept bytes to the package as well.
    CSha256 hasher;
    std::vector<std::uint8_t> hash;
    ASSERT_TRUE(hasher.Start() && hasher.Add(package.data(), package.size()) && hasher.Finish(hash));
    LeaveEarlierInstall();
    const std::string target = "/ranged/package.zip?drop=" + std::to_string(stall) +
                               "&drops=1&stall=1&run=" + vendor::RunStamp();
    PutSite("2.2", Descriptor(site::Url(target)) + HexText(hash.data(), hash.size()) + "\r\n",
            "product.zip");
    ASSERT_TRUE(CopyFileW(WidenText(FixturePath("crash.zip")).c_str(),
                          WidenText(site::Folder() + "\\vendor-files\\package.zip").c_str(), FALSE));
    Start();
    ASSERT_TRUE(Click(window_, IDC_INSTALL_NOW));
    KeptDownload kept;
    ASSERT_TRUE(WaitUntil([&] { return KeptDownloadThere(kept) && kept.received > 0; }, 60000))
        << "the download kept no record of its bytes";
    Shot("killed_download");
    run_.Kill();
    ASSERT_FALSE(run_.Running());
    EXPECT_LE(kept.received, stall);
    EXPECT_EQ(kept.size, size);

    Start();
    ASSERT_EQ(CurrentPage(), Page::Install);
    ASSERT_TRUE(Click(window_, IDC_INSTALL_NOW));
    ASSERT_TRUE(WaitForPage(Page::Finish, 120000)) << "a message or a stuck download";
    ExpectProductSetupStarted();
    EXPECT_EQ(ReadWholeFile(productFolder_ + "\\Data\\f0999.txt"), "new:999\r\n");
    const std::string big = ReadLargeFile(productFolder_ + "\\Data\\big.bin");
    EXPECT_EQ(big.size(), 50u * 1024 * 1024);
    EXPECT_NE(package.find(big), std::string::npos) << "Data\\big.bin is not the package's";
    EXPECT_EQ(ReadWholeFile(productFolder_ + "\\notes.txt"), "the user's notes\r\n");
    EXPECT_FALSE(FileExists(WorkFolder() + "~download.tmp"));
    EXPECT_FALSE(FileExists(WorkFolder() + "~download.resume"));
    EXPECT_EQ(RequestsFor(target), 2);
    EXPECT_EQ(AnswersFor(target), "[200 0][206 " + std::to_string(kept.received) + "]");
    EXPECT_EQ(SentFor(target), static_cast<long long>(stall + size - kept.received));
}

// Wine takes a DLL beside a program before its own only when its DLL overrides
// say so (WINEDLLOVERRIDES does not reach a program started from a Wine
// process here): the prefix's overrides for the program's file name, for the
// time of one test.
class DllOverrides {
public:
    explicit DllOverrides(const std::vector<std::string>& names)
    {
        if (RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key_,
                            nullptr) != ERROR_SUCCESS) {
            key_ = nullptr;
            return;
        }
        static const wchar_t kNativeFirst[] = L"native,builtin";
        for (const std::string& name : names) {
            RegSetValueExW(key_, WidenText(name).c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(kNativeFirst), sizeof kNativeFirst);
        }
    }
    ~DllOverrides()
    {
        if (key_ != nullptr) {
            RegCloseKey(key_);
            RegDeleteKeyW(HKEY_CURRENT_USER, kKey);
        }
    }
    DllOverrides(const DllOverrides&) = delete;
    DllOverrides& operator=(const DllOverrides&) = delete;
    bool Set() const { return key_ != nullptr; }

private:
    static constexpr const wchar_t* kKey =
        L"Software\\Wine\\AppDefaults\\TessalySetup.exe\\DllOverrides";
    HKEY key_ = nullptr;
};

// A DLL of the name of each system DLL that the program loads late lies beside
// it, and Wine is told to prefer such a DLL, as Windows does for DLLs outside
// its known list. Through a whole install (page, download, hash, extraction,
// the programs started) none of them loads. ole32 is not planted: Wine's own
// imm32 loads it when the first window activates, along a search of its own
// that no setting of the program reaches; on Windows ole32 is a known DLL,
// which always comes from the system folder.
TEST_F(InstallFlow, DllsPlantedBesideTheProgramNeverLoad)
{
    const std::vector<std::string> names = {"wininet", "bcrypt", "oleaut32", "shell32",
                                            "shlwapi"};
    for (const std::string& name : names) {
        ASSERT_TRUE(CopyFileW(WidenText(BuildFolder() + "\\standins\\planted.dll").c_str(),
                              WidenText(programFolder_ + name + ".dll").c_str(), FALSE));
    }
    const DllOverrides overrides(names);
    ASSERT_TRUE(overrides.Set());
    std::string package;
    ASSERT_TRUE(ReadFileBytes(FixturePath("product.zip"), package));
    CSha256 hasher;
    std::vector<std::uint8_t> hash;
    ASSERT_TRUE(hasher.Start() && hasher.Add(package.data(), package.size()) && hasher.Finish(hash));
    PutSite("2.1", Descriptor(PackageTarget()) + HexText(hash.data(), hash.size()), "product.zip");
    Start();
    ChooseProductFolder();
    ASSERT_TRUE(Click(window_, IDC_INSTALL_NOW));
    ASSERT_TRUE(WaitForPage(Page::Finish, 60000));
    ExpectProductSetupStarted();
    ASSERT_TRUE(Click(window_, IDC_FINISH));
    ASSERT_TRUE(run_.WaitForExit());
    for (const std::string& name : names) {
        EXPECT_FALSE(FileExists(programFolder_ + name + ".dll.loaded")) << name << ".dll loaded";
    }
}

// "data.cab" in the program built with the test key installs only as the
// package of a signed description: the fetched one, or the signed one of
// install media beside it (an expired one will do there). The unsigned program
// takes it as before, also beside a description whose eighth line is no hash.
TEST_F(InstallFlow, LocalPackageOfTheSigningProgramIsTheSignedOne)
{
    const std::string signedPackage = vendor::FetchDirect(site::Url("/signed/package.zip"));
    ASSERT_FALSE(signedPackage.empty());
    std::string otherPackage;
    ASSERT_TRUE(ReadFileBytes(FixturePath("product.zip"), otherPackage));
    const auto signedText = [](const char* variant, const char* suffix) {
        return vendor::FetchDirect(
            site::Url(std::string("/signed/") + variant + "/download/MrvACAD.setup" + suffix));
    };
    const struct {
        const char* what;
        bool signingProgram;
        const char* fetched;  // the server's signed description; none: the server is away
        const char* local;    // the signed description beside the program; none: nothing there
        bool signedPackage;   // "data.cab" is the signed package, else another one
        const char* message;  // none: the install goes through
    } cases[] = {
        {"matching fetched", true, "good", nullptr, true, nullptr},
        {"matching local, expired", true, nullptr, "expired", true, nullptr},
        {"matching local beside a fetched one of another package", true, "wronghash", "good", true,
         nullptr},
        {"no description", true, nullptr, nullptr, true,
         "没有已签名的安装说明，无法确认安装包 data.cab 的来源，安装已取消。\n\n"
         "请连接网络后重试，或将 MrvACAD.setup 和 MrvACAD.setup.sig 放在安装程序旁边。"},
        {"mismatch", true, "good", "good", false,
         "安装包 data.cab 与已签名的安装说明不符，可能已被篡改，安装已取消。"},
        {"local one older than the installed product", true, nullptr, "older", true,
         "安装说明提供的版本 2.0 比已安装的版本 2.1 旧，安装已取消。"},
        {"unsigned program, eighth line hello", false, "", nullptr, false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        run_.Kill();
        DeleteFolderTree(productFolder_);
        DeleteFileW(WidenText(recordPath_).c_str());
        for (const char* name : {"MrvACAD.setup", "MrvACAD.setup.sig", "data.cab"}) {
            DeleteFileW(WidenText(programFolder_ + name).c_str());
        }
        LeaveEarlierInstall();
        PutStandin("MrvCADSetup", productFolder_ + "\\MrvCADSetup.exe");
        const auto before = SnapshotFolder(productFolder_);
        PutSite("2.2", Descriptor(PackageTarget()) + "hello", "product.zip");
        if (c.fetched != nullptr && *c.fetched != '\0') {
            ASSERT_TRUE(site::Put("MrvACAD.setup", signedText(c.fetched, "")));
            ASSERT_TRUE(site::Put("MrvACAD.setup.sig", signedText(c.fetched, ".sig")));
        }
        if (c.local != nullptr) {
            PutBesideProgram("MrvACAD.setup", signedText(c.local, ""));
            PutBesideProgram("MrvACAD.setup.sig", signedText(c.local, ".sig"));
        }
        PutBesideProgram("data.cab", c.signedPackage ? signedPackage : otherPackage);
        ASSERT_TRUE(CopyFileW(WidenText(BuildFolder() + (c.signingProgram ? "\\test_key" : "") +
                                        "\\TessalySetup.exe")
                                  .c_str(),
                              WidenText(program_).c_str(), FALSE));
        const long requests = site::VendorRequestCount("/download.php?key=11");
        Start(c.fetched != nullptr);
        ASSERT_TRUE(Click(window_, IDC_INSTALL_NOW));
        if (c.message == nullptr) {
            ASSERT_TRUE(WaitForPage(Page::Finish, 60000));
            ExpectProductSetupStarted();
            EXPECT_EQ(ReadWholeFile(productFolder_ + "\\readme.txt"),
                      c.signedPackage ? "Morvane Tessaly signed\r\n" : "墨岚岱文 Morvane Tessaly 2.2\r\n");
        } else {
            const HWND box = WaitForMessageBox();
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(MessageBoxText(box), c.message);
            ASSERT_TRUE(Answer(box, IDOK));
            EXPECT_TRUE(WaitForPage(Page::Install)) << "a refused package ends nothing";
            EXPECT_EQ(SnapshotFolder(productFolder_), before);
            EXPECT_TRUE(Records().empty());
        }
        EXPECT_EQ(site::VendorRequestCount("/download.php?key=11"), requests);
        EXPECT_TRUE(FileExists(programFolder_ + "data.cab"));
    }
}

TEST_F(InstallFlow, CancelDuringExtractionLeavesTheInstallFolderAsItWas)
{
    LeaveEarlierInstall();
    PutSite("2.2", Descriptor(PackageTarget()), "many.zip");
    const auto before = SnapshotFolder(productFolder_);
    Start();
    ASSERT_TRUE(Click(window_, IDC_INSTALL_NOW));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return ControlText(window_, IDC_STATUS_TEXT).rfind("安装到 ", 0) == 0 &&
                   ProgressOf(window_, IDC_PROGRESS).position > 1;
        },
        60000))
        << "the extraction was not seen under way";
    Shot("extracting");
    CancelAndConfirm();
    EXPECT_EQ(SnapshotFolder(productFolder_), before);
    EXPECT_TRUE(Records().empty()) << "the setup program was started after the cancel";
    EXPECT_FALSE(FolderExists(WorkFolder() + "~downloadtmp"));
}

}  // namespace
}  // namespace e2e
