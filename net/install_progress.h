#pragma once
// What the download worker tells whoever shows its progress, beside what the
// install step that it runs tells (product/install_progress.h), and what it
// asks of the user, in the manner of a download sink: it names no control, and
// the install window alone decides where each text goes. The calls come from the download worker unless a call says otherwise;
// a window that shows them runs each one synchronously on its own thread, so it
// must keep dispatching sent messages while the worker runs (and while it
// waits for the worker to end).
#include <cstdint>
#include <string>

#include <windows.h>

#include "product/install_progress.h"

// The steps of a download whose status text changes.
enum class DownloadPhase {
    kConnecting,   // each step of WinInet's connection: "解决名称: %1", "连接 %1" ...
    kFileInfo,     // the response arrived: "得到文件信息"
    kDownloading,  // the body is read: "下载文件"
    kRetrying,     // waiting to ask again after a break: "连接中断，正在重试（第 %1 次，共 %2 次）…"
};

// Reported once per whole percent of an announced size.
struct ByteProgress {
    std::uint64_t received = 0;  // bytes so far, never more than `total`
    std::uint32_t total = 0;     // the announced size in bytes
    int percentage = 0;
    std::string caption;         // the window caption with the percentage
};

class IInstallProgress : public IExtractProgress {
public:
    // The file and its server, "%1 来自 %2"; on the user-interface thread,
    // before the worker starts.
    virtual void OnSource(const std::string& text) = 0;
    virtual void OnPhase(DownloadPhase phase, const std::string& statusText) = 0;
    // The size the server announced, before the first byte; none when it
    // announced none.
    virtual void OnDownloadSize(std::uint32_t bytes) = 0;
    virtual void OnBytesReceived(const ByteProgress& progress) = 0;
    // The transfer rate and the time left, at most once a second each.
    virtual void OnTransferRate(const std::string& text) = 0;
    virtual void OnTimeLeft(const std::string& text) = 0;

    // On the user-interface thread, before the worker starts: true when the
    // existing file may be replaced (the question names it).
    virtual bool AskReplace(const std::string& question) = 0;
    // On the user-interface thread: the download could not start. `errorText`
    // is shown to the user when it is not empty; the install is over.
    virtual void OnNotStarted(const std::string& errorText) = 0;
    // The window that owns the platform's credential dialog; any thread.
    virtual HWND CredentialOwner() const = 0;
    // The worker's last act: the download and install are over, failed with
    // `errorText` or not (an abort is no failure).
    virtual void OnEnd(bool failed, const std::string& errorText) = 0;
};
