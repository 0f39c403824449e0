#pragma once
// The product package download: one HTTP GET on a worker thread, the body written
// to a temporary file in 64 KB blocks with its progress reported, then the
// install step on the same thread. A body that breaks off is asked for again
// (the rest of it where the server can prove it is the same file, else all of
// it) a bounded number of times before the download fails; what arrived by
// then stays, with a record, for the next start to go on with.
//
// Threads: StartDownload, RequestAbort and WaitForWorker run on the user-interface
// thread; DownloadWorker, OnDownloadStatus, the Report* operations and the install
// step run on the worker. They meet through `abort_` and `installing_` (each
// written by one side and read by the other), through `request_` under
// `requestLock_` (opened by the worker, closed by RequestAbort so that a blocked
// read returns at once; each repeated request replaces it there the same way;
// the pause before one polls `abort_`), and through the progress's OnEnd, reported once as
// the worker's last act; everything else is written before the worker starts
// or read only after it has ended.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <windows.h>
#include <wininet.h>

#include "util/handles.h"
#include "net/install_progress.h"
#include "net/package_integrity.h"
#include "net/resume_rules.h"
#include "net/transfer_display.h"
#include "net/url.h"

class CDownloadJob {
public:
    // Runs on the worker once the package is on disk (or at once in local-package
    // mode); true when the install went through. On failure it sets the error text
    // (SetErrorText) that the window shows. `package` is the handle through which
    // the download was written and hashed (or the local package opened once),
    // readable, held with no write or delete sharing until the step returns:
    // what is installed is what was checked. `packagePath` names it.
    using InstallStep = std::function<bool(HANDLE package, const std::string& packagePath)>;

    CDownloadJob(IInstallProgress& progress, InstallStep installStep);
    // Waits for a running worker (see WaitForWorker).
    ~CDownloadJob();
    CDownloadJob(const CDownloadJob&) = delete;
    CDownloadJob& operator=(const CDownloadJob&) = delete;

    std::string downloadUrl;
    std::string targetPath;
    bool localPackageMode = false;
    std::string localPackagePath;
    // "data.cab" as the caller already holds it open against writers (after
    // hashing it), read through rather than opened by its name once more; null
    // opens `localPackagePath`. Set on the user-interface thread before
    // StartDownload, read by the worker; the caller keeps it open until the
    // worker has ended.
    HANDLE localPackage = nullptr;
    // The package's SHA-256 from the setup description; empty checks nothing.
    std::vector<std::uint8_t> packageHash;
    // The clock of the rate and time-left display.
    TickSource tickSource = SystemTickCount;
    // How often, and after what first pause, a broken body is asked for again;
    // tests shorten them.
    int resumeAttempts = kResumeAttempts;
    std::uint32_t firstResumePauseMs = kFirstResumePauseMs;
    // Where a download that breaks off for good (its attempts spent; the
    // program killed, the machine stopped) leaves the record of its target
    // file for the next start (KeptDownload); empty keeps nothing. StartDownload
    // goes on with a kept file that is this download's and deletes any other,
    // file and record, without asking.
    std::string keptRecordPath;

    // Parses the address, opens the target file and starts the worker. False when
    // the download did not start (reported by OnNotStarted), or when a worker of
    // this job already ran.
    bool StartDownload();
    // Asks the worker to stop, and closes the request so that a read or send
    // that waits for a silent server returns now. Once asked, the worker shows
    // no more status texts, deletes the target file and installs nothing.
    void RequestAbort();
    bool AbortRequested() const { return abort_; }
    const std::atomic<bool>& AbortFlag() const { return abort_; }
    // Waits for the worker to end while dispatching sent messages, then closes
    // the Internet handles. False, with the handles left, when the worker still
    // runs after `timeoutMs`.
    bool WaitForWorker(DWORD timeoutMs = INFINITE);
    bool WorkerRunning() const;
    // True while the worker runs the install step, which stops by itself at an
    // abort and must not be cut short.
    bool Installing() const { return installing_; }

    // Read on the user-interface thread once the worker has ended.
    const std::string& ErrorText() const { return errorText_; }
    void SetErrorText(const std::string& text) { errorText_ = text; }
    const std::string& FileName() const { return fileName_; }

private:
    enum class WorkerEnd { kFinished, kFailed };
    // How one response's body, or a repeated request, ended. kBroken leaves
    // the message for the user in the error text, in case no attempt is left.
    enum class BodyEnd { kComplete, kBroken, kFailed, kAborted };
    using VerifierPtr = std::unique_ptr<CPackageVerifier>;

    static void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status,
                                        LPVOID information, DWORD length);
    DWORD DownloadWorker();
    WorkerEnd RunWorker();
    WorkerEnd InstallLocalPackage();
    WorkerEnd DownloadPackage();
    WorkerEnd OpenSession();
    WorkerEnd OpenRequest();
    // The request as the worker uses it; null once RequestAbort closed it.
    HINTERNET Request() const;
    WorkerEnd CheckResponse();
    WorkerEnd TransferBody();
    void ReadAnswerHeaders(HINTERNET request);
    BodyEnd ReceiveBody(CTransferDisplay& display, CPackageVerifier& verifier,
                        std::uint64_t& received);
    BodyEnd BeginWholeBody(CTransferDisplay& display);
    BodyEnd GoOnWithKeptFile(CTransferDisplay& display, VerifierPtr& verifier,
                             std::uint64_t& received);
    BodyEnd AskAgain(int attempt, CTransferDisplay& display, VerifierPtr& verifier,
                     std::uint64_t& received);
    BodyEnd RequestAgain(CTransferDisplay& display, VerifierPtr& verifier, std::uint64_t& received);
    bool QueryRepeatAnswer(HINTERNET request, RepeatAnswer& answer);
    ResumePoint PointAt(std::uint64_t received) const;
    std::wstring RangeHeaders(std::uint64_t received) const;
    bool WaitBeforeAttempt(int attempt);
    BodyEnd SendRepeatRequest(bool asksRange, std::uint64_t received);
    bool EmptyTargetFile(VerifierPtr& verifier, std::uint64_t& received);
    WorkerEnd EndAborted();
    bool RefuseWhenNoSpace();
    WorkerEnd RunInstallStep(HANDLE package, const std::string& packagePath);
    void OnDownloadStatus(DWORD status, const void* information, DWORD length);
    // What fills the %1 of a worker's error text: the system's text for the
    // thread's last error, or a number, an HTTP status or a system error code.
    enum class ErrorDetail { kLastError, kHttpStatus, kSystemCode };
    // Both set the error text; the worker then reports its end as failed.
    // ReportWorkerError also closes and deletes the target file.
    void ReportWorkerError(const std::string& format, ErrorDetail detail, DWORD code = 0);
    void ReportWorkerMessage(const std::string& text);

    bool TakeKeptDownload();
    bool OpenKeptTarget(std::uint64_t& length);
    bool HashKeptBytes();
    WorkerEnd ForgetKeptBytes();
    std::string HashLine() const;
    void RecordKeptDownload();
    void CheckpointKeptDownload(std::uint64_t received);
    void WriteRecordAt(std::uint64_t received);
    void DeleteKeptRecord();

    bool OpenTargetFile();
    void CloseTargetFile();
    void DeleteTargetFile();
    void CloseInternetHandles();

    IInstallProgress& progress_;
    InstallStep installStep_;
    std::atomic<bool> abort_{false};
    std::atomic<bool> installing_{false};
    std::string errorText_;
    std::string server_;
    std::string object_;
    std::string fileName_;
    std::uint16_t port_ = 0;
    UrlService serviceType_{};
    bool sizeKnown_ = false;
    std::uint32_t size_ = 0;
    // The first answer's proof of identity for a range (ResumeValidator).
    std::string validator_;
    UniqueInternet session_;
    UniqueInternet connection_;
    mutable std::mutex requestLock_;
    UniqueInternet request_;
    UniqueFile targetFile_;
    // The bytes of a kept download that StartDownload took: the length the
    // first request asks a range from (0: none), and their hash once the
    // worker has read them. Written by StartDownload, then by the worker only.
    std::uint64_t keptLength_ = 0;
    VerifierPtr keptVerifier_;
    // Worker only: whether the current body can be kept for a later start,
    // whether a record at keptRecordPath vouches for its bytes (for no more
    // than are durable in the file), and at which length it is next brought up
    // to date.
    bool recordable_ = false;
    bool recorded_ = false;
    // A kept download whose server has not answered yet stays for the next
    // start when this one cannot reach it.
    bool keepUntilAnswered_ = false;
    std::uint64_t nextCheckpoint_ = 0;
    UniqueHandle thread_;
};
