// The install engine without its window, for scripts/bench.sh: one operation
// per run, the same code the install window runs, with a view that draws
// nothing. Prints the operation's own time (the Wine start-up left out) and
// the process's peak working set, and ends with 0 when the operation went
// through.
//
//   engine_bench extract  PACKAGE INSTALL_FOLDER BACKUP_FOLDER (with its backslash)
//   engine_bench copy     SOURCE_FOLDER DESTINATION_FOLDER
//   engine_bench download URL TARGET_FILE [SHA256]
//
// "extract" also serves the upgrade: over an existing folder every replaced
// file is backed up first. Either way the backup folder is deleted after a
// successful install, as the window does. "download" with the package's
// SHA-256 (64 hex digits) checks the file as the install command does when the
// setup description names it.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include <windows.h>
#include <psapi.h>

#include "net/download.h"
#include "tests/bench/null_progress.h"
#include "product/copy_policy.h"
#include "product/package_install.h"
#include "util/file_system.h"
#include "util/hex_text.h"

namespace {

// Draws nothing; answers yes to every question so that no run ever waits.
class NullView : public NullProgress {
public:
    void OnNotStarted(const std::string& errorText) override
    {
        if (!errorText.empty()) {
            std::fprintf(stderr, "message: %s\n", errorText.c_str());
        }
        ended = true;
    }
    void OnEnd(bool failedFlag, const std::string&) override { failed = failedFlag; }

    // Written by the worker, read after it has ended.
    bool failed = false;
    bool ended = false;
};

bool Extract(const std::string& package, const std::string& installFolder,
             const std::string& backupFolder)
{
    NullView view;
    const std::atomic<bool> abort{false};
    CPackageInstall install(installFolder, backupFolder);
    const InstallResult result = install.Install(package, view, abort);
    if (result != kInstallDone) {
        std::fprintf(stderr, "install: %d %s\n", result, install.ErrorText().c_str());
        return false;
    }
    install.Finish();
    return true;
}

bool Copy(const std::string& source, const std::string& destination)
{
    TextList failed;
    TextList copied;
    const int policy = CopyFolderTree(failed, copied, source, destination, "", kCopyOverwriteAll,
                                      "*.*", nullptr);
    if (policy == kCopyCancelled || !failed.empty()) {
        std::fprintf(stderr, "copy: policy %d, %zu failed\n", policy, failed.size());
        return false;
    }
    return true;
}

bool Download(const std::string& url, const std::string& target, const std::string& hash)
{
    NullView view;
    CDownloadJob job(view, [](HANDLE, const std::string&) { return true; });
    job.downloadUrl = url;
    job.targetPath = target;
    // As the window has it: the record that lets a later start go on, kept
    // up to date (and the file flushed) while the body arrives.
    job.keptRecordPath = target + ".resume";
    if (!hash.empty() && !ParseHexBytes(hash, 32, job.packageHash)) {
        std::fprintf(stderr, "download: not a SHA-256: %s\n", hash.c_str());
        return false;
    }
    if (!job.StartDownload()) {
        std::fprintf(stderr, "download: not started\n");
        return false;
    }
    job.WaitForWorker();
    if (view.failed || view.ended) {
        std::fprintf(stderr, "download: %s\n", job.ErrorText().c_str());
        return false;
    }
    return true;
}

bool Run(int count, char** arguments)
{
    const std::string mode = count > 1 ? arguments[1] : "";
    if (mode == "extract" && count == 5) {
        return Extract(arguments[2], arguments[3], arguments[4]);
    }
    if (mode == "copy" && count == 4) {
        return Copy(arguments[2], arguments[3]);
    }
    if (mode == "download" && (count == 4 || count == 5)) {
        return Download(arguments[2], arguments[3], count == 5 ? arguments[4] : "");
    }
    std::fprintf(stderr, "usage: engine_bench extract|copy|download ...\n");
    return false;
}

}  // namespace

int main(int count, char** arguments)
{
    LARGE_INTEGER frequency;
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const bool done = Run(count, arguments);
    QueryPerformanceCounter(&end);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    std::printf("seconds=%.3f peak_kb=%lu\n",
                static_cast<double>(end.QuadPart - start.QuadPart) /
                    static_cast<double>(frequency.QuadPart),
                static_cast<unsigned long>(memory.PeakWorkingSetSize / 1024));
    std::fflush(stdout);
    return done ? 0 : 1;
}
