// The install window on the bench display, with the product record of the
// prefix's registry: its geometry, its pages, the script targets, and the
// commands that must not run away with the user's click.
#include "app/install_dlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "app/message_helpers.h"
#include "framework/message_box.h"
#include "res/resource.h"
#include "tests/bench/registry_fixture.h"
#include "tests/framework/ui_test_support.h"
#include "product/product_record.h"
#include "util/file_system.h"
#include "util/wide_text.h"
#include "tests/bench/test_files.h"

namespace {

using CProbeInstallDlg = CProbed<CInstallDlg, IDABORT>;

// The window's message boxes, answered from a helper thread while the window's
// thread sits in the box's modal loop.
class CBoxAnswerer {
public:
    explicit CBoxAnswerer(int button)
        : uiThread_(GetCurrentThreadId()), helper_([this, button] { Run(button); })
    {
    }
    ~CBoxAnswerer() { Finish(); }

    std::vector<std::wstring> Texts()
    {
        Finish();
        return texts_;
    }
    void Finish()
    {
        stop_ = true;
        if (helper_.joinable()) {
            helper_.join();
        }
    }

private:
    void Run(int button)
    {
        while (!stop_) {
            HWND box = WaitForThreadWindow(uiThread_, L"#32770", L"墨岚岱文软件", 50);
            if (box == nullptr) {
                continue;
            }
            texts_.push_back(WindowTextOf(GetDlgItem(box, 0xFFFF)));
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
            for (int i = 0; i < 250 && IsWindow(box); ++i) {
                Sleep(10);
            }
        }
    }

    DWORD uiThread_;
    std::atomic<bool> stop_{false};
    std::vector<std::wstring> texts_;
    std::thread helper_;
};

class InstallWindow : public RegistryFixture {
protected:
    void SetUp() override
    {
        RegistryFixture::SetUp();
        ASSERT_TRUE(InitControlClasses());
        SetMessageCaption(kMessageCaption);
    }

    static void Run(std::function<void(CProbeInstallDlg&)> probe)
    {
        bool probed = false;
        CProbeInstallDlg dialog([&](CProbeInstallDlg& window) {
            probed = true;
            probe(window);
        });
        SetMainWindow(&dialog);
        EXPECT_EQ(dialog.DoModal(), IDABORT);
        SetMainWindow(nullptr);
        EXPECT_TRUE(probed);
    }

    // A fresh folder of the temporary folder, removed with the test.
    std::string MakeFolder(const std::string& name)
    {
        const std::string folder = MakeTempFilePath(name);
        DeleteFolderTree(folder);
        EXPECT_TRUE(CreateDirectoryTree(CPathName(folder + "\\")));
        folders_.push_back(folder);
        return folder;
    }
    void TearDown() override
    {
        for (const std::string& folder : folders_) {
            DeleteFolderTree(folder);
        }
        RegistryFixture::TearDown();
    }

private:
    std::vector<std::string> folders_;
};

bool Visible(CInstallDlg& window, int id)
{
    return IsWindowVisible(window.GetItem(id)) != FALSE;
}

const int kPageControls[] = {
    IDC_SCRIPT_TARGETS, IDC_PICK_TARGET, IDC_INSTALL_TOOLBAR, IDC_INSTALL_SCRIPTS,
    IDC_INSTALL_FOLDER, IDC_INSTALL_NOW, IDC_VERSION_TEXT, IDC_LICENCE_ACCEPTED,
    IDC_LICENCE_LINK, IDC_STATUS_TEXT, IDC_SOURCE_TEXT, IDC_PROGRESS, IDC_TIME_LEFT_CAPTION,
    IDC_TIME_LEFT, IDC_RATE_CAPTION, IDC_RATE, IDC_CANCEL_INSTALL, IDC_FINISH,
    IDC_START_PRODUCT, IDC_UNINSTALL,
};

// The window ends 2 pixels beyond the script page's frame, and the three other
// frames lie exactly over it.
void ExpectPagesStackedOnTheScriptFrame(CInstallDlg& window)
{
    RECT outer{};
    RECT script{};
    GetWindowRect(window.Hwnd(), &outer);
    GetWindowRect(window.GetItem(IDC_FRAME_SCRIPT), &script);
    EXPECT_EQ(outer.right, script.right + 2);
    EXPECT_EQ(outer.bottom, script.bottom + 2);
    for (int frame : {IDC_FRAME_INSTALL, IDC_FRAME_DOWNLOAD, IDC_FRAME_FINISH}) {
        RECT page{};
        GetWindowRect(window.GetItem(frame), &page);
        EXPECT_TRUE(EqualRect(&page, &script)) << frame;
    }
    // The install button travelled with its frame into the visible area.
    const RECT button = RectInClient(window.GetItem(IDC_INSTALL_NOW), window.Hwnd());
    const RECT client = window.ClientRect();
    EXPECT_LE(button.right, client.right);
    EXPECT_LE(button.bottom, client.bottom);
}

TEST_F(InstallWindow, ShrinksToOnePageAndShowsExactlyItsControls)
{
    struct Case {
        int mode;
        int page;  // the page after the switch
        std::vector<int> visible;
    };
    const Case cases[] = {
        {PageInstall, PageInstall,
         {IDC_INSTALL_FOLDER, IDC_INSTALL_NOW, IDC_VERSION_TEXT, IDC_LICENCE_ACCEPTED,
          IDC_LICENCE_LINK}},
        {PageDownload, PageDownload,
         {IDC_STATUS_TEXT, IDC_SOURCE_TEXT, IDC_PROGRESS, IDC_TIME_LEFT_CAPTION, IDC_TIME_LEFT,
          IDC_RATE_CAPTION, IDC_RATE, IDC_CANCEL_INSTALL}},
        {PageFinish, PageFinish, {IDC_FINISH, IDC_START_PRODUCT}},
        // No script packages beside the program and no product: the finish page.
        {PageAfterInstall, PageFinish, {IDC_FINISH, IDC_START_PRODUCT}},
        {PageStartInstalled, PageFinish, {IDC_FINISH, IDC_START_PRODUCT}},
    };
    Run([&](CProbeInstallDlg& window) {
        ExpectPagesStackedOnTheScriptFrame(window);
        EXPECT_EQ(window.CurrentPage(), PageInstall);
        for (const Case& c : cases) {
            window.ShowPage(c.mode);
            EXPECT_EQ(window.CurrentPage(), c.page) << c.mode;
            for (int id : kPageControls) {
                const bool expected =
                    std::find(c.visible.begin(), c.visible.end(), id) != c.visible.end();
                EXPECT_EQ(Visible(window, id), expected) << "mode " << c.mode << " control " << id;
            }
            for (int frame : {IDC_FRAME_SCRIPT, IDC_FRAME_DOWNLOAD, IDC_FRAME_INSTALL,
                              IDC_FRAME_FINISH}) {
                EXPECT_FALSE(Visible(window, frame)) << frame;
            }
        }
        // Leave without the download page's close question.
        window.ShowPage(PageFinish);
    });
}

TEST_F(InstallWindow, OffersTheUninstallerWhenTheProductIsInstalledAndCurrent)
{
    const std::string folder = MakeFolder("mrv_app_installed");
    ASSERT_TRUE(WriteText(L"MrvCAD", L"InstallPath", WidenText(folder + "\\")));
    Run([](CProbeInstallDlg& window) {
        EXPECT_EQ(window.CurrentPage(), PageFinish);
        EXPECT_TRUE(Visible(window, IDC_UNINSTALL));
        EXPECT_TRUE(Visible(window, IDC_FINISH));
        window.ShowPage(PageFinish);
        EXPECT_FALSE(Visible(window, IDC_UNINSTALL));
    });
}

TEST_F(InstallWindow, ListsTheUserFolderAndTheLabelFoldersOfFrameIni)
{
    const std::string folder = MakeFolder("mrv_app_targets");
    ASSERT_TRUE(WriteText(L"MrvCAD", L"InstallPath", WidenText(folder + "\\")));
    ASSERT_TRUE(CreateDirectoryTree(CPathName(folder + "\\Support\\Location\\")));
    // The product writes its Frame.ini in code page 936, as these literals are.
    ASSERT_TRUE(WriteWholeFile(folder + "\\Support\\Location\\Frame.ini",
                           "[FrameParam]\r\nLEFTVIEW_COUNT=2\r\n"
                           "LEFTVIEWSTATE_0_sTitle=标注\r\nLEFTVIEWSTATE_0_sStartPath=D:\\标注\r\n"
                           "LEFTVIEWSTATE_1_sTitle=Net\r\nLEFTVIEWSTATE_1_sStartPath=\\\\srv\\lib\r\n"));
    const std::string library = folder + "\\Library\\Script\\";
    Run([&](CProbeInstallDlg& window) {
        window.FillTargetList(library);
        HWND combo = window.GetItem(IDC_SCRIPT_TARGETS);
        ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 3);
        EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 0);
        const std::vector<std::wstring> expected = {L"[用户路径] " + WidenText(library),
                                                    L"[标注] D:\\标注", L"[Net] \\\\srv\\lib"};
        for (int i = 0; i < 3; ++i) {
            wchar_t text[512] = {};
            SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(text));
            EXPECT_EQ(text, expected[static_cast<std::size_t>(i)]);
        }
        EXPECT_EQ(window.TargetFolders(),
                  (TextList{library, NarrowText(L"D:\\标注"), "\\\\srv\\lib"}));

        // A folder picked later becomes the user entry; the label folders stay.
        window.FillTargetList("E:\\Scripts");
        EXPECT_EQ(window.TargetFolders().front(), "E:\\Scripts");
        EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 3);
    });
}

// The install command stays on the install page, with a message, for a folder
// that is empty, relative, or cannot be made (a file stands in its way).
TEST_F(InstallWindow, RefusesAnInstallFolderThatIsEmptyRelativeOrCannotBeMade)
{
    const std::string blocker = MakeFolder("mrv_app_blocked") + "\\file.txt";
    ASSERT_TRUE(WriteWholeFile(blocker, "x"));
    const std::wstring blocked = WidenText(blocker + "\\MrvACAD");
    struct Case {
        std::wstring typed;
        std::wstring message;
    };
    const Case cases[] = {
        {L"", L"请输入安装目录！"},
        {L"   ", L"请输入安装目录！"},
        {L"Morvane\\MrvACAD", L"安装目录必须是完整的路径: Morvane\\MrvACAD"},
        {blocked, L"无法创建安装目录 " + blocked},
    };
    CBoxAnswerer answerer(IDOK);
    Run([&](CProbeInstallDlg& window) {
        HWND edit = GetDlgItem(window.GetItem(IDC_INSTALL_FOLDER), CBrowseEdit::kEditId);
        ASSERT_NE(edit, nullptr);
        for (const Case& c : cases) {
            SetWindowTextW(edit, c.typed.c_str());
            SendMessageW(window.Hwnd(), WM_COMMAND, MAKEWPARAM(IDC_INSTALL_NOW, BN_CLICKED),
                         reinterpret_cast<LPARAM>(window.GetItem(IDC_INSTALL_NOW)));
            EXPECT_EQ(window.CurrentPage(), PageInstall) << NarrowText(c.typed);
            EXPECT_TRUE(window.InstallFolder().empty()) << NarrowText(c.typed);
        }
    });
    std::vector<std::wstring> messages;
    for (const Case& c : cases) {
        messages.push_back(c.message);
    }
    EXPECT_EQ(answerer.Texts(), messages);
}

// A folder picked in the browser names the product's own subfolder; a typed
// folder is taken as typed.
TEST_F(InstallWindow, CompletesAPickedInstallFolderWithTheProductFolder)
{
    struct Case {
        bool typed;
        const char* path;
        const char* expected;
    };
    const Case cases[] = {
        {false, "D:\\Apps", "D:\\Apps\\MrvACAD"},
        {false, "D:\\Apps\\MrvACAD", "D:\\Apps\\MrvACAD"},
        {false, "D:\\", "D:\\MrvACAD"},
        {true, "D:\\Typed", "D:\\Typed"},
    };
    Run([&](CProbeInstallDlg& window) {
        HWND field = window.GetItem(IDC_INSTALL_FOLDER);
        auto* edit = dynamic_cast<CBrowseEdit*>(CWindow::FromHandle(field));
        ASSERT_NE(edit, nullptr);
        for (const Case& c : cases) {
            if (c.typed) {
                SetWindowTextW(GetDlgItem(field, CBrowseEdit::kEditId), WidenText(c.path).c_str());
            } else {
                edit->SetPath(c.path);
            }
            SendMessageW(window.Hwnd(), WM_BROWSE_NOTIFY, 1, reinterpret_cast<LPARAM>(field));
            EXPECT_EQ(edit->GetPath(), c.expected) << c.path;
        }
    });
}

// What the engine reports lands on the download page and the caption: the bar
// counts kilobytes while downloading and entries while extracting, and the
// download's rate and time left go with their captions once extraction starts.
// The bar shows over the background picture that covers the whole window.
TEST_F(InstallWindow, ProgressReportsShowOnTheDownloadPage)
{
    Run([](CProbeInstallDlg& window) {
        window.ShowPage(PageDownload);
        HWND bar = window.GetItem(IDC_PROGRESS);
        const auto text = [&window](int id) { return WindowTextOf(window.GetItem(id)); };
        window.OnSource("package.zip 来自 127.0.0.1");
        window.OnPhase(DownloadPhase::kDownloading, "下载文件");
        window.OnDownloadSize(100 * 1024 + 512);
        ByteProgress bytes;
        bytes.received = 50 * 1024 + 1023;
        bytes.total = 100 * 1024 + 512;
        bytes.percentage = 49;
        bytes.caption = "49% 的 package.zip 完成";
        window.OnBytesReceived(bytes);
        window.OnTransferRate("2.50 KB/秒");
        window.OnTimeLeft("20 秒 (50.9 KB 的 100 KB 复制)");
        EXPECT_EQ(text(IDC_SOURCE_TEXT), L"package.zip 来自 127.0.0.1");
        EXPECT_EQ(text(IDC_STATUS_TEXT), L"下载文件");
        EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 101);
        EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 50);
        EXPECT_EQ(WindowTextOf(window.Hwnd()), L"49% 的 package.zip 完成");
        EXPECT_EQ(text(IDC_RATE), L"2.50 KB/秒");
        EXPECT_EQ(text(IDC_TIME_LEFT), L"20 秒 (50.9 KB 的 100 KB 复制)");

        PumpMessages(200);
        const RECT area = RectInClient(bar, window.Hwnd());
        const std::vector<unsigned> shown = CaptureClientPixels(window.Hwnd(), area);
        ShowWindow(bar, SW_HIDE);
        PumpMessages(200);
        EXPECT_NE(CaptureClientPixels(window.Hwnd(), area), shown);
        ShowWindow(bar, SW_SHOW);

        window.OnExtractStart(14);
        EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 14);
        for (const int id : {IDC_RATE, IDC_TIME_LEFT, IDC_STATUS_TEXT, IDC_SOURCE_TEXT}) {
            EXPECT_EQ(text(id), L"") << id;
        }
        EXPECT_FALSE(IsWindowVisible(window.GetItem(IDC_TIME_LEFT_CAPTION)));
        EXPECT_FALSE(IsWindowVisible(window.GetItem(IDC_RATE_CAPTION)));
        EntryProgress entries;
        entries.done = 3;
        entries.total = 14;
        entries.status = "安装到 C:\\MrvACAD\\";
        entries.lastEntry = "lib/a1.dll";
        window.OnEntries(entries);
        EXPECT_EQ(text(IDC_STATUS_TEXT), L"安装到 C:\\MrvACAD\\");
        EXPECT_EQ(text(IDC_SOURCE_TEXT), L"lib/a1.dll");
        EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 3);
        window.OnExtractEnd(14);
        EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 14);
        window.ShowPage(PageFinish);
    });
}

// Installs the package of MRV_APP_PACKAGES as "data.cab" beside the program for
// the life of the object.
class CLocalPackage {
public:
    explicit CLocalPackage(const char* name) : path_(GetModuleFolder() + "data.cab")
    {
        copied_ = CopyFileW(WidenText(std::string(MRV_APP_PACKAGES) + "\\" + name).c_str(),
                            WidenText(path_).c_str(), FALSE) != FALSE;
    }
    ~CLocalPackage() { DeleteFileW(WidenText(path_).c_str()); }
    bool Copied() const { return copied_; }

private:
    std::string path_;
    bool copied_ = false;
};

void StartInstall(CInstallDlg& window, const std::string& folder)
{
    SetWindowTextW(GetDlgItem(window.GetItem(IDC_INSTALL_FOLDER), CBrowseEdit::kEditId),
                   WidenText(folder).c_str());
    SendMessageW(window.Hwnd(), WM_COMMAND, MAKEWPARAM(IDC_INSTALL_NOW, BN_CLICKED),
                 reinterpret_cast<LPARAM>(window.GetItem(IDC_INSTALL_NOW)));
}

// Esc while the install runs is a close request: a question, and the window
// stays until the worker has ended.
TEST_F(InstallWindow, EscWhileInstallingAsksInsteadOfEndingTheWindow)
{
    CLocalPackage package("large.zip");
    ASSERT_TRUE(package.Copied());
    const std::string folder = MakeFolder("mrv_app_esc") + "\\MrvACAD";
    CBoxAnswerer answerer(IDYES);
    Run([&](CProbeInstallDlg& window) {
        StartInstall(window, folder);
        ASSERT_EQ(window.CurrentPage(), PageDownload);
        SendMessageW(window.Hwnd(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        EXPECT_TRUE(IsWindow(window.Hwnd()));
        EXPECT_EQ(window.CurrentPage(), PageDownload);
        // A status the worker reports after the request does not replace it.
        window.OnPhase(DownloadPhase::kConnecting, "连接 127.0.0.1");
        EXPECT_EQ(WindowTextOf(window.GetItem(IDC_STATUS_TEXT)), L"终止下载");
        EXPECT_FALSE(IsWindowEnabled(window.GetItem(IDC_CANCEL_INSTALL)));
    });
    EXPECT_EQ(answerer.Texts(), std::vector<std::wstring>{L"你确定要放弃“墨岚软件”的安装吗？"});
    EXPECT_FALSE(PathExists(folder + "\\MrvCADSetup.exe"));
}

// The cancel button during the extraction: the worker stops at the next entry
// and puts the folder back as it was, the setup program is never started, and
// the window ends.
TEST_F(InstallWindow, CancelDuringTheExtractionRestoresTheFolderAndStartsNothing)
{
    CLocalPackage package("large.zip");
    ASSERT_TRUE(package.Copied());
    const std::string folder = MakeFolder("mrv_app_cancel") + "\\MrvACAD";
    ASSERT_TRUE(CreateDirectoryTree(CPathName(folder + "\\")));
    ASSERT_TRUE(WriteWholeFile(folder + "\\readme.txt", "old"));
    CBoxAnswerer answerer(IDYES);
    Run([&](CProbeInstallDlg& window) {
        StartInstall(window, folder);
        ASSERT_EQ(window.CurrentPage(), PageDownload);
        // Let the extraction get under way before the cancel.
        const DWORD begin = GetTickCount();
        while (!PathExists(folder + "\\New") && GetTickCount() - begin < 10000) {
            PumpMessages(5);
        }
        SendMessageW(window.Hwnd(), WM_COMMAND, MAKEWPARAM(IDC_CANCEL_INSTALL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(window.GetItem(IDC_CANCEL_INSTALL)));
        while (IsWindowVisible(window.Hwnd()) && GetTickCount() - begin < 30000) {
            PumpMessages(20);
        }
        EXPECT_FALSE(IsWindowVisible(window.Hwnd())) << "the window did not end";
    });
    EXPECT_EQ(answerer.Texts(), std::vector<std::wstring>{L"你确定要放弃“墨岚软件”的安装吗？"});
    EXPECT_EQ(ReadWholeFile(folder + "\\readme.txt"), "old");
    EXPECT_FALSE(PathExists(folder + "\\MrvCADSetup.exe"));
    EXPECT_FALSE(PathExists(folder + "\\Data"));
}

}  // namespace
