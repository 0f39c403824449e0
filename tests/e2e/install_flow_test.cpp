// Product installs and upgrades of the real program, from the vendor server
// and from "data.cab", with a running product and with cancels.
#include <cstdio>
#include <set>

#include "net/description_check.h"
#include "net/package_integrity.h"
#include "res/resource.h"
#include "tests/bench/vendor_server.h"
#include "tests/e2e/setup_scenario.h"
#include "util/file_system.h"
#include "util/hex_text.h"
#include "util/wide_text.h"

namespace e2e {
namespace {

const char kRunningMessage[] =
    "安装向导发现 墨岚 AutoCAD 插件 正在运行!\n\n请立即关闭其所有实例，然后单击“确定”继续，或单\n"
    "击“取消”退出。";
const char kAbandonQuestion[] = "你确定要放弃“墨岚软件”的安装吗？";

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
    EXPECT_FALSE(FileExists(tempFolder_ + "\\~download.tmp"));
    EXPECT_FALSE(FolderExists(tempFolder_ + "\\~downloadtmp"));
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
    EXPECT_TRUE(FolderExists(tempFolder_ + "\\~downloadtmp"));
    EXPECT_TRUE(SnapshotFolder(tempFolder_ + "\\~downloadtmp").empty());
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
    EXPECT_FALSE(FileExists(tempFolder_ + "\\~download.tmp"));
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
    EXPECT_FALSE(FileExists(tempFolder_ + "\\~download.tmp"));
    EXPECT_FALSE(FolderExists(tempFolder_ + "\\~downloadtmp"));
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
    EXPECT_FALSE(FileExists(tempFolder_ + "\\~download.tmp"));
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
    EXPECT_FALSE(FileExists(tempFolder_ + "\\~download.tmp"));
}

// The description's eighth line names the package's SHA-256: a line that is no
// hash refuses the install before anything is downloaded, a package that does
// not match it is deleted unopened, and one that matches installs. The program
// built with the test key takes the server's signed descriptions: a signed one
// installs, a changed one or a wrong signature is refused before the download.
TEST_F(InstallFlow, OnlyThePackageThatTheDescriptionNamesIsInstalled)
{
    std::string package;
    ASSERT_TRUE(ReadFileBytes(FixturePath("product.zip"), package));
    CSha256 hasher;
    std::vector<std::uint8_t> hash;
    ASSERT_TRUE(hasher.Start() && hasher.Add(package.data(), package.size()) && hasher.Finish(hash));
    const struct {
        std::string hashLine;
        const char* signedVariant;  // the server's signed description, for the test-key program
        const char* message;        // none: the install goes through
        bool downloads;
    } cases[] = {
        {"sha256", nullptr, kPackageHashMalformedText, false},
        {std::string(64, '0'), nullptr, kPackageAlteredText, true},
        {HexText(hash.data(), hash.size()), nullptr, nullptr, true},
        {"", "good", nullptr, true},
        {"", "tampered", kSignatureInvalidText, false},
        {"", "badsig", kSignatureInvalidText, false},
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
        PutSite("2.2", Descriptor(PackageTarget()) + c.hashLine, "product.zip");
        if (signedRow) {
            const std::string path = std::string("/signed/") + c.signedVariant + "/download/MrvACAD.setup";
            ASSERT_TRUE(site::Put("MrvACAD.setup", vendor::FetchDirect(site::Url(path))));
            ASSERT_TRUE(site::Put("MrvACAD.setup.sig", vendor::FetchDirect(site::Url(path + ".sig"))));
            ASSERT_TRUE(CopyFileW(WidenText(BuildFolder() + "\\test_key\\TessalySetup.exe").c_str(),
                                  WidenText(program_).c_str(), FALSE));
        }
        const long requests = packageRequests(signedRow);
        Start();
        ASSERT_TRUE(Click(window_, IDC_INSTALL_NOW));
        if (c.message == nullptr) {
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
        EXPECT_FALSE(FileExists(tempFolder_ + "\\~download.tmp"));
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
    EXPECT_FALSE(FolderExists(tempFolder_ + "\\~downloadtmp"));
}

}  // namespace
}  // namespace e2e
