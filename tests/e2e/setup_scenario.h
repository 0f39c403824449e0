#pragma once
// One run of the real setup program in a folder of its own, as a user meets it.
//
// Each scenario copies TessalySetup.exe into a fresh folder (with "data.cab" and
// script packages beside it when the scenario wants them), gives the product's
// registry record the state it wants, and starts the program with:
//   - http_proxy naming the end-to-end vendor server, so that the program's
//     requests for the vendor host (a reserved name that resolves nowhere) reach
//     that server; Wine's WinInet takes the variable when the prefix has no
//     proxy of its own, so no other test program's traffic changes;
//   - TEMP and TMP naming a folder of the scenario, where the program keeps
//     "~download.tmp" and its backup folder;
//   - MRV_STANDIN_RECORD naming the file in which the stand-ins for the
//     programs it starts record how they were started.
// The end-to-end vendor server is an instance of tests/fixtures/vendor_server.py
// of its own (ctest fixture "e2e_vendor"), so the texts and packages that a
// scenario puts there change nothing for the network tests running alongside.
// A scenario holds the registry fixture's lock from start to end, so scenarios
// run one at a time and never meet each other's record, mutex or server files.
#include <map>
#include <string>
#include <vector>

#include "tests/bench/registry_fixture.h"
#include "tests/e2e/ui_driver.h"

#include "tests/bench/test_files.h"

namespace e2e {

extern const char kCaption[];
extern const char kMessageCaption[];
// The vendor web server of this build (MRV_VENDOR_SERVER).
extern const char kVendorHost[];

enum class Page { None, Install, Download, Script, Finish };
const char* PageName(Page page);
// The controls that each page shows, every one inside its page's frame.
const std::map<Page, std::vector<int>>& PageMembers();

// What a stand-in recorded about one start.
struct StartRecord {
    std::string program;
    std::string arguments;
    std::string folder;
};

// The build folder (with its CMakeCache.txt) above this test program.
std::string BuildFolder();

// The end-to-end vendor server.
namespace site {
std::string Folder();
unsigned short Port();
// A port of the same server that takes connections and never answers.
unsigned short SilentPort();
std::string Url(const std::string& target);
bool Put(const std::string& name, const std::string& bytes);
// Requests that the program made for this path of the vendor host
// ("/download.php?key=11"); they reach the server as proxy requests, with or
// without the port in the address. -1 when the server could not be asked.
long VendorRequestCount(const std::string& path);
}  // namespace site

// Files of the folders that make_e2e_site.py writes into the build folder.
std::string FixturePath(const std::string& name);
bool CopyFolder(const std::string& from, const std::string& to);
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);

// Every file below `folder`, by its path relative to it, with its content.
std::map<std::string, std::string> SnapshotFolder(const std::string& folder);

class SetupScenario : public RegistryFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    // Where the scenario's folders go (made afresh), whether they stay after
    // it, and how its pictures begin.
    virtual std::string RunFolder() const;
    virtual bool KeepRunFolder() const { return false; }
    virtual std::string ShotPrefix() const;

    // The product as its setup program records it: CurVer, InstallPath (with
    // its trailing "\") and Version; the install folder is created.
    void RecordInstalledProduct(const std::string& version);
    // Version 2.1 recorded, with the files an earlier install left: some that
    // the test packages replace, the user's notes, and data files.
    void LeaveEarlierInstall();
    // The vendor server's texts and package (a file of FixturePath); an empty
    // version text stands for a server that offers none.
    void PutSite(const std::string& serverVersion, const std::string& setupDescriptor,
                 const std::string& packageFile);
    // The descriptor with the default lines but another download address.
    static std::string Descriptor(const std::string& downloadUrl);
    void PutBesideProgram(const std::string& name, const std::string& bytes);
    void PutScriptPackagesBesideProgram();
    void PutStandin(const std::string& name, const std::string& destination);

    // How the vendor server meets the program: it answers, nobody listens on
    // its port, or it takes every request and never answers.
    enum class Server { kLive, kAbsent, kSilent };
    // Starts the program and waits for its window and its first page; `online`
    // false points its requests at a port where nobody listens.
    void Start(bool online = true);
    // Starts the program and waits for its window only.
    void StartProgram(Server server);
    Page CurrentPage() const;
    // Every control of `page` shows, none of the other pages, no frame.
    void ExpectOnlyPageShown(Page page) const;
    bool WaitForPage(Page page, DWORD timeoutMs = kWaitMs) const;
    // Waits for a message box or prompt owned by the window; null when none came.
    HWND WaitForMessageBox() const;
    // Saves a picture of the install window (or of `window`) into the build
    // folder's screenshots\ as TEST_NAME.png.
    void Shot(const std::string& name, HWND window = nullptr) const;
    std::vector<StartRecord> Records() const;
    // The program's working folder for the scenario's temporary folder, with
    // its trailing backslash: the download and the backup folder lie there.
    std::string WorkFolder() const;
    std::vector<StartRecord> WaitForRecords(std::size_t count) const;

    std::string root_;
    std::string programFolder_;  // with its trailing "\"
    std::string program_;
    std::string productFolder_;  // without a trailing "\"
    std::string tempFolder_;
    std::string recordPath_;
    CProgramRun run_;
    HWND window_ = nullptr;
};

}  // namespace e2e
