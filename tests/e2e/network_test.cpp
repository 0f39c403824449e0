// The window against a vendor server that is absent, or takes requests and
// never answers, or stops in the middle of the package: the window shows and
// answers at once, the install page comes with the defaults, and cancel and
// close end the window in time, leaving nothing behind. The bounds checked
// here are far above the program's own (a slow machine must not fail them);
// the figures themselves are measured by tests/bench/window_bench.sh.
#include "res/resource.h"
#include "tests/bench/vendor_server.h"
#include "tests/e2e/setup_scenario.h"
#include "util/wide_text.h"

namespace e2e {
namespace {

const char kAbandonQuestion[] = "你确定要放弃“墨岚软件”的安装吗？";
// The program gives the vendor server 5 s at its start, the setup description
// the network's own bounds (10 s to connect, 15 s to receive), a stalled
// download 15 s before it asks again.
constexpr DWORD kWindowShowsMs = 10000;
constexpr DWORD kFetchGivesUpMs = 5000 + 15000;
constexpr DWORD kSetupFetchGivesUpMs = 10000 + 15000 + 15000;
constexpr DWORD kDownloadGivesUpMs = 15000 + 25000;
constexpr DWORD kWindowEndsMs = 2000 + 6000;
// The process may wait for a worker held up in the network after its window has gone.
constexpr DWORD kProgramEndsMs = 15000 + 25000;

class InstallFlowNetwork : public SetupScenario {
protected:
    HWND FolderEdit() const { return GetDlgItem(Control(window_, IDC_INSTALL_FOLDER), 12345); }

    DWORD StartTimed(Server server)
    {
        const DWORD begin = GetTickCount();
        StartProgram(server);
        return GetTickCount() - begin;
    }

    // The window answers a message while the start-up fetches may still run.
    void ExpectAnswering() const
    {
        DWORD_PTR ignored = 0;
        EXPECT_NE(SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored), 0)
            << "the window does not answer";
    }

    // The install page of a product not installed, with the defaults of a
    // server that could not be asked.
    void ExpectInstallPageWithDefaults()
    {
        ASSERT_TRUE(WaitForPage(Page::Install, kFetchGivesUpMs));
        ExpectOnlyPageShown(Page::Install);
        EXPECT_EQ(ControlText(window_, IDC_INSTALL_NOW), "立即安装");
        EXPECT_EQ(ControlText(window_, IDC_VERSION_TEXT), "");
    }

    void StartInstall()
    {
        ASSERT_TRUE(TypeText(FolderEdit(), productFolder_));
        ASSERT_TRUE(Click(window_, IDC_INSTALL_NOW));
        ASSERT_TRUE(WaitForPage(Page::Download, kSetupFetchGivesUpMs));
    }

    // Asks to abandon the install by `how` (the cancel button or the close
    // request), says yes, and measures until the window has gone.
    DWORD AbandonTimed(bool cancelButton)
    {
        if (cancelButton) {
            EXPECT_TRUE(Click(window_, IDC_CANCEL_INSTALL));
        } else {
            EXPECT_TRUE(PostMessageW(window_, WM_CLOSE, 0, 0));
        }
        const HWND box = WaitForMessageBox();
        EXPECT_NE(box, nullptr);
        if (box == nullptr) {
            return kWaitMs;
        }
        EXPECT_EQ(MessageBoxText(box), kAbandonQuestion);
        const DWORD begin = GetTickCount();
        EXPECT_TRUE(Answer(box, IDYES));
        EXPECT_TRUE(WaitGone(window_, kWindowEndsMs + 10000));
        return GetTickCount() - begin;
    }

    // No download left in the temporary folder, an empty backup folder at
    // most, nothing installed, nothing started.
    void ExpectNothingLeftBehind()
    {
        ASSERT_TRUE(run_.WaitForExit(kProgramEndsMs)) << "the program did not end";
        EXPECT_FALSE(FileExists(WorkFolder() + "~download.tmp"));
        EXPECT_TRUE(SnapshotFolder(WorkFolder() + "~downloadtmp").empty());
        EXPECT_TRUE(SnapshotFolder(productFolder_).empty());
        EXPECT_TRUE(Records().empty());
    }
};

TEST_F(InstallFlowNetwork, TheWindowShowsAndAnswersAtOnceWhateverTheServerDoes)
{
    for (const Server server : {Server::kAbsent, Server::kSilent}) {
        SCOPED_TRACE(server == Server::kAbsent ? "absent" : "silent");
        EXPECT_LT(StartTimed(server), kWindowShowsMs);
        ASSERT_NE(window_, nullptr);
        ExpectAnswering();
        ExpectInstallPageWithDefaults();
        ASSERT_TRUE(PostMessageW(window_, WM_COMMAND, IDCANCEL, 0));
        ASSERT_TRUE(run_.WaitForExit());
    }
}

// Esc and the close request are answered while the server keeps the start-up
// fetches or the setup description waiting. Before any page has come nothing
// is there to abandon, and the close request ends the window as Esc does;
// while the install command waits, it asks first, as on the install page.
TEST_F(InstallFlowNetwork, EscAndCloseDuringAStalledStartOrDescriptionEndTheWindowInTime)
{
    const struct {
        const char* name;
        bool close;
        bool installing;
    } cases[] = {
        {"esc at the start", false, false},
        {"close at the start", true, false},
        {"esc waiting for the description", false, true},
        {"close waiting for the description", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool close = c.close;
        StartProgram(Server::kSilent);
        ASSERT_NE(window_, nullptr);
        if (c.installing) {
            ExpectInstallPageWithDefaults();
            ASSERT_TRUE(Click(window_, IDC_INSTALL_NOW));
            ASSERT_TRUE(WaitUntil([&] { return !IsEnabled(window_, IDC_INSTALL_NOW); }));
            EXPECT_EQ(CurrentPage(), Page::Install);
        } else {
            EXPECT_EQ(CurrentPage(), Page::None);
        }
        DWORD begin = GetTickCount();
        if (close && c.installing) {
            ASSERT_TRUE(PostMessageW(window_, WM_CLOSE, 0, 0));
            const HWND box = WaitForMessageBox();
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(MessageBoxText(box), kAbandonQuestion);
            begin = GetTickCount();
            ASSERT_TRUE(Answer(box, IDYES));
        } else if (close) {
            ASSERT_TRUE(PostMessageW(window_, WM_CLOSE, 0, 0));
        } else {
            ASSERT_TRUE(PostMessageW(window_, WM_COMMAND, IDCANCEL, 0));
        }
        ASSERT_TRUE(WaitGone(window_, kWindowEndsMs + 10000));
        EXPECT_LT(GetTickCount() - begin, kWindowEndsMs);
        ExpectNothingLeftBehind();
    }
}

// With a silent server everything gives up in turn: the start, the setup
// description (its defaults name the vendor's package), the download; the
// cancel button ends the window in time.
TEST_F(InstallFlowNetwork, CancelDuringADownloadFromASilentServerEndsTheWindowInTime)
{
    StartProgram(Server::kSilent);
    ASSERT_NE(window_, nullptr);
    ExpectInstallPageWithDefaults();
    StartInstall();
    Shot("download_waiting");
    EXPECT_LT(AbandonTimed(true), kWindowEndsMs);
    ExpectNothingLeftBehind();
}

// A server that stops in the middle of the package: the close request ends the
// window in time; left alone, the download gives the silent line up after the
// receive time-out, asks for the rest and installs, with no message.
TEST_F(InstallFlowNetwork, AStalledDownloadEndsOnCloseOrResumesAfterTheTimeout)
{
    for (const bool close : {true, false}) {
        SCOPED_TRACE(close ? "close" : "left alone");
        const std::string target = std::string("/ranged/package.zip?drop=200000&drops=1&stall=1&") +
                                   (close ? "close" : "alone") + "&run=" + vendor::RunStamp();
        PutSite("2.2", Descriptor(site::Url(target)), "product.zip");
        Start();
        ASSERT_EQ(CurrentPage(), Page::Install);
        StartInstall();
        ASSERT_TRUE(WaitUntil([&] { return TextOf(window_) != kCaption; }, kWaitMs))
            << "no part of the package came";
        if (close) {
            EXPECT_LT(AbandonTimed(false), kWindowEndsMs);
            ExpectNothingLeftBehind();
            continue;
        }
        ASSERT_TRUE(WaitForPage(Page::Finish, kDownloadGivesUpMs + kWaitMs))
            << "the stalled download did not resume";
        Shot("stalled_download_resumed");
        EXPECT_TRUE(FileExists(productFolder_ + "\\readme.txt"));
        EXPECT_FALSE(FileExists(WorkFolder() + "~download.tmp"));
        EXPECT_EQ(vendor::StatsCount(site::Url(""), target) +
                      vendor::StatsCount(site::Url(""), site::Url(target)),
                  2);
    }
}

}  // namespace
}  // namespace e2e
