#include "tests/e2e/setup_scenario.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include <wininet.h>

#include "build_config.h"
#include "res/resource.h"
#include "util/file_system.h"
#include "util/wide_text.h"
#include "util/working_folder.h"
#include "tests/bench/vendor_server.h"

namespace e2e {

const char kCaption[] = "安装 - 墨岚岱文 Morvane Tessaly";
const char kMessageCaption[] = "墨岚岱文软件";
const char kVendorHost[] = MRV_VENDOR_SERVER;

namespace {

const char kDefaultNames[] = "MorvaneForAutoCADStart MorvaneForAutoCADSetup";

std::wstring ModulePath()
{
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

void CollectFiles(const std::string& folder, const std::string& relative,
                  std::map<std::string, std::string>& files)
{
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(WidenText(folder + relative + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const std::string name = NarrowText(found.cFileName);
        if (name == "." || name == "..") {
            continue;
        }
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            files[relative + name + "\\"] = "<folder>";
            CollectFiles(folder, relative + name + "\\", files);
        } else {
            std::string bytes;
            ReadFileBytes(folder + relative + name, bytes);
            files[relative + name] = bytes;
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

std::string Field(const std::string& record, const std::string& name)
{
    const std::string key = name + "=";
    std::istringstream lines(record);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.compare(0, key.size(), key) == 0) {
            return line.substr(key.size());
        }
    }
    return std::string();
}

std::string TestName()
{
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& ch : name) {
        if (ch == '/' || ch == '\\' || ch == ':') {
            ch = '_';
        }
    }
    return name;
}

}  // namespace

const char* PageName(Page page)
{
    switch (page) {
    case Page::Install: return "install";
    case Page::Download: return "download";
    case Page::Script: return "script";
    case Page::Finish: return "finish";
    case Page::None: break;
    }
    return "none";
}

const std::map<Page, std::vector<int>>& PageMembers()
{
    static const std::map<Page, std::vector<int>> members = {
        {Page::Install,
         {IDC_INSTALL_FOLDER, IDC_INSTALL_NOW, IDC_VERSION_TEXT, IDC_LICENCE_ACCEPTED,
          IDC_LICENCE_LINK}},
        {Page::Download,
         {IDC_SOURCE_TEXT, IDC_PROGRESS, IDC_TIME_LEFT_CAPTION, IDC_TIME_LEFT, IDC_RATE_CAPTION,
          IDC_RATE, IDC_CANCEL_INSTALL}},
        {Page::Script,
         {IDC_SCRIPT_TARGETS, IDC_PICK_TARGET, IDC_INSTALL_TOOLBAR, IDC_INSTALL_SCRIPTS}},
        {Page::Finish, {IDC_FINISH, IDC_START_PRODUCT}},
    };
    return members;
}

std::string BuildFolder()
{
    std::wstring folder = ModulePath();
    for (;;) {
        const std::size_t slash = folder.find_last_of(L'\\');
        if (slash == std::wstring::npos) {
            return std::string();
        }
        folder.erase(slash);
        if (FileExists(NarrowText(folder) + "\\CMakeCache.txt")) {
            return NarrowText(folder);
        }
    }
}

namespace site {

std::string Folder()
{
    return BuildFolder() + "\\e2e\\bench";
}

namespace {

unsigned short PortNamed(const std::string& name)
{
    std::string text;
    ReadFileBytes(Folder() + "\\vendor.ports", text);
    const std::size_t at = ("\n" + text).find("\n" + name + "=");
    return at == std::string::npos
               ? 0
               : static_cast<unsigned short>(std::atoi(text.c_str() + at + name.size() + 1));
}

}  // namespace

unsigned short Port()
{
    return PortNamed("http");
}

unsigned short SilentPort()
{
    return PortNamed("silent");
}

std::string Url(const std::string& target)
{
    return "http://127.0.0.1:" + std::to_string(Port()) + target;
}

bool Put(const std::string& name, const std::string& bytes)
{
    CreateDirectoryW(WidenText(Folder() + "\\vendor-files").c_str(), nullptr);
    return WriteWholeFile(Folder() + "\\vendor-files\\" + name, bytes);
}

long VendorRequestCount(const std::string& path)
{
    long count = 0;
    for (const std::string& host : {std::string(kVendorHost), std::string(kVendorHost) + ":80"}) {
        const long seen = vendor::StatsCount(Url(""), host + path);
        if (seen < 0) {
            return -1;
        }
        count += seen;
    }
    return count;
}

}  // namespace site

std::string FixturePath(const std::string& name)
{
    return BuildFolder() + "\\e2e_site\\" + name;
}

bool CopyFolder(const std::string& from, const std::string& to)
{
    CreateDirectoryW(WidenText(to).c_str(), nullptr);
    bool ok = true;
    for (const auto& [relative, bytes] : SnapshotFolder(from)) {
        if (relative.back() == '\\') {
            ok = CreateDirectoryW(WidenText(to + "\\" + relative).c_str(), nullptr) && ok;
        } else {
            ok = WriteWholeFile(to + "\\" + relative, bytes) && ok;
        }
    }
    return ok;
}

bool FileExists(const std::string& path)
{
    const DWORD attributes = GetFileAttributesW(WidenText(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path)
{
    const DWORD attributes = GetFileAttributesW(WidenText(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::map<std::string, std::string> SnapshotFolder(const std::string& folder)
{
    std::map<std::string, std::string> files;
    CollectFiles(folder + "\\", std::string(), files);
    return files;
}

void SetupScenario::SetUp()
{
    RegistryFixture::SetUp();
    ASSERT_NE(site::Port(), 0) << "the end-to-end vendor server is not running";
    root_ = RunFolder();
    DeleteFolderTree(root_);
    CreateDirectoryW(WidenText(root_.substr(0, root_.find_last_of('\\'))).c_str(), nullptr);
    ASSERT_TRUE(CreateDirectoryW(WidenText(root_).c_str(), nullptr)) << root_;
    programFolder_ = root_ + "\\setup\\";
    program_ = programFolder_ + "TessalySetup.exe";
    productFolder_ = root_ + "\\product";
    tempFolder_ = root_ + "\\temp";
    recordPath_ = root_ + "\\started.record";
    CreateDirectoryW(WidenText(programFolder_).c_str(), nullptr);
    CreateDirectoryW(WidenText(tempFolder_).c_str(), nullptr);
    // The working folder outlives the run folder: what an earlier run left
    // there would be this run's journal.
    DeleteFolderTree(WorkFolder());
    ASSERT_TRUE(CopyFileW(WidenText(BuildFolder() + "\\TessalySetup.exe").c_str(),
                          WidenText(program_).c_str(), FALSE));
    PutSite("2.2", Descriptor(std::string(kVendorHost) + "/download.php?key=11"), "product.zip");
}

void SetupScenario::TearDown()
{
    run_.Kill();
    if (!KeepRunFolder()) {
        DeleteFolderTree(root_);
        DeleteFolderTree(WorkFolder());
    }
    RegistryFixture::TearDown();
}

std::string SetupScenario::RunFolder() const
{
    std::wstring temp(MAX_PATH + 1, L'\0');
    temp.resize(GetTempPathW(static_cast<DWORD>(temp.size()), temp.data()));
    return NarrowText(temp) + "mrv_e2e\\" + TestName();
}

std::string SetupScenario::ShotPrefix() const
{
    return TestName() + "_";
}

void SetupScenario::RecordInstalledProduct(const std::string& version)
{
    CreateDirectoryW(WidenText(productFolder_).c_str(), nullptr);
    ASSERT_TRUE(WriteText(L"", L"CurVer", L"MrvCAD"));
    ASSERT_TRUE(WriteText(L"MrvCAD", L"InstallPath", WidenText(productFolder_ + "\\")));
    ASSERT_TRUE(WriteText(L"MrvCAD", L"Version", WidenText(version)));
}

void SetupScenario::LeaveEarlierInstall()
{
    RecordInstalledProduct("2.1");
    CreateDirectoryW(WidenText(productFolder_ + "\\Sys").c_str(), nullptr);
    CreateDirectoryW(WidenText(productFolder_ + "\\Data").c_str(), nullptr);
    ASSERT_TRUE(WriteWholeFile(productFolder_ + "\\readme.txt", "old readme\r\n"));
    ASSERT_TRUE(WriteWholeFile(productFolder_ + "\\MrvCADSetup.exe", "old setup\r\n"));
    ASSERT_TRUE(WriteWholeFile(productFolder_ + "\\Sys\\MrvScript.exe", "old host\r\n"));
    ASSERT_TRUE(WriteWholeFile(productFolder_ + "\\notes.txt", "the user's notes\r\n"));
    for (int i = 0; i < 1000; i += 97) {
        char name[32];
        std::snprintf(name, sizeof name, "\\Data\\f%04d.txt", i);
        ASSERT_TRUE(WriteWholeFile(productFolder_ + name, "old:" + std::to_string(i)));
    }
}

void SetupScenario::PutSite(const std::string& serverVersion, const std::string& setupDescriptor,
                            const std::string& packageFile)
{
    const auto put = [](const std::string& name, const std::string& text) {
        ASSERT_TRUE(site::Put(name, text)) << name;
    };
    put("MrvACAD.ver", serverVersion.empty() ? std::string() : serverVersion + "\r\n");
    put("MrvACAD.setupad", std::string(kVendorHost) + "/tessaly.php\r\n");
    put("MrvACAD.setup", setupDescriptor);
    put("MrvACAD.setup.delay", "");
    std::string package;
    ASSERT_TRUE(ReadFileBytes(FixturePath(packageFile), package)) << packageFile;
    ASSERT_TRUE(site::Put("package.zip", package));
}

std::string SetupScenario::Descriptor(const std::string& downloadUrl)
{
    return std::string("墨岚 AutoCAD 插件\r\n") + kDefaultNames + "\r\n" + downloadUrl +
           "\r\nMrvCADSetup.exe\r\nall\r\nMrvCADSetup.exe\r\ntessaly\r\n";
}

std::string SetupScenario::WorkFolder() const
{
    return WorkingFolderOf(tempFolder_ + "\\");
}

void SetupScenario::PutBesideProgram(const std::string& name, const std::string& bytes)
{
    ASSERT_TRUE(WriteWholeFile(programFolder_ + name, bytes)) << name;
}

void SetupScenario::PutScriptPackagesBesideProgram()
{
    ASSERT_TRUE(CopyFolder(FixturePath("scripts"), root_ + "\\setup"));
}

void SetupScenario::PutStandin(const std::string& name, const std::string& destination)
{
    ASSERT_TRUE(CopyFileW(WidenText(BuildFolder() + "\\standins\\" + name + ".exe").c_str(),
                          WidenText(destination).c_str(), FALSE))
        << destination;
}

void SetupScenario::Start(bool online)
{
    StartProgram(online ? Server::kLive : Server::kAbsent);
    ASSERT_NE(window_, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return CurrentPage() != Page::None; }))
        << "no page shows after the window opened";
    // The first page may come while the window already shows: what is seen
    // from here in the middle of the page switch is not the page yet.
    ASSERT_TRUE(Settle(window_));
}

void SetupScenario::StartProgram(Server server)
{
    unsigned short port = 1;
    if (server == Server::kLive) {
        port = site::Port();
    } else if (server == Server::kSilent) {
        port = site::SilentPort();
        ASSERT_NE(port, 0) << "the end-to-end vendor server has no silent port";
    }
    const std::string proxy = "http://127.0.0.1:" + std::to_string(port);
    ASSERT_TRUE(run_.Start(program_, {"http_proxy=" + proxy, "no_proxy=", "TEMP=" + tempFolder_,
                                      "TMP=" + tempFolder_, "MRV_STANDIN_RECORD=" + recordPath_}))
        << program_;
    window_ = run_.WaitForMainWindow(kCaption);
    ASSERT_NE(window_, nullptr) << "the install window did not show";
}

Page SetupScenario::CurrentPage() const
{
    if (IsShown(window_, IDC_CANCEL_INSTALL)) {
        return Page::Download;
    }
    if (IsShown(window_, IDC_INSTALL_NOW)) {
        return Page::Install;
    }
    if (IsShown(window_, IDC_INSTALL_SCRIPTS)) {
        return Page::Script;
    }
    if (IsShown(window_, IDC_FINISH)) {
        return Page::Finish;
    }
    return Page::None;
}

void SetupScenario::ExpectOnlyPageShown(Page page) const
{
    for (const auto& [member, ids] : PageMembers()) {
        for (const int id : ids) {
            EXPECT_EQ(IsShown(window_, id), member == page)
                << "control " << id << " on the " << PageName(page) << " page";
        }
    }
    for (const int frame : {IDC_FRAME_SCRIPT, IDC_FRAME_DOWNLOAD, IDC_FRAME_INSTALL,
                            IDC_FRAME_FINISH}) {
        EXPECT_FALSE(IsShown(window_, frame)) << "frame " << frame << " shows";
    }
}

bool SetupScenario::WaitForPage(Page page, DWORD timeoutMs) const
{
    return WaitUntil([&] { return CurrentPage() == page; }, timeoutMs) && Settle(window_) &&
           CurrentPage() == page;
}

HWND SetupScenario::WaitForMessageBox() const
{
    const HWND box = run_.WaitForOwnedDialog(window_);
    if (box != nullptr) {
        EXPECT_TRUE(WaitUntil([&] { return !MessageBoxText(box).empty(); }));
    }
    return box;
}

void SetupScenario::Shot(const std::string& name, HWND window) const
{
    const std::string folder = BuildFolder() + "\\screenshots";
    CreateDirectoryW(WidenText(folder).c_str(), nullptr);
    SavePicture(window != nullptr ? window : window_, folder + "\\" + ShotPrefix() + name + ".png");
}

std::vector<StartRecord> SetupScenario::Records() const
{
    std::vector<StartRecord> records;
    std::string text;
    if (!ReadFileBytes(recordPath_, text)) {
        return records;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find("\r\n\r\n", start);
        if (end == std::string::npos) {
            break;
        }
        const std::string record = text.substr(start, end - start);
        records.push_back({Field(record, "program"), Field(record, "arguments"),
                           Field(record, "folder")});
        start = end + 4;
    }
    return records;
}

std::vector<StartRecord> SetupScenario::WaitForRecords(std::size_t count) const
{
    std::vector<StartRecord> records;
    WaitUntil([&] {
        records = Records();
        return records.size() >= count;
    });
    return records;
}

}  // namespace e2e
