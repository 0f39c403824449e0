#include "net/download.h"

#include <algorithm>
#include <cwchar>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "util/format_strings.h"
#include "util/last_error.h"
#include "framework/thread.h"
#include "net/url.h"
#include "net/package_integrity.h"
#include "net/web_session.h"
#include "util/cp936.h"
#include "util/disk_space.h"
#include "util/file_system.h"
#include "util/hex_text.h"
#include "util/wide_text.h"

namespace {

constexpr char kFileErrorText[] = "当前下载文件错误:%1";
constexpr char kConnectErrorText[] = "无法连接 MorvaneNet 网络，错误:%1";
constexpr char kConnectFailedText[] = "连接 MorvaneNet 网络失败";
constexpr char kReplaceQuestion[] = "文件 '%1' 已经存在！\n是否替换它?";
constexpr char kSourceText[] = "%1 来自 %2";
constexpr char kIncompleteText[] = "下载的文件不完整: 收到 %1 字节，应为 %2 字节";
constexpr char kInstallFailedText[] = "安装程序包失败";
constexpr char kRetryingText[] = "连接中断，正在重试（第 %1 次，共 %2 次）…";

// One WinInet read costs about the same whatever its size, so the body moves in
// large blocks; the display is throttled on its own (CTransferDisplay).
constexpr DWORD kBlockSize = 64 * 1024;
constexpr DWORD kDiscardSize = 50;
constexpr DWORD kHeaderBufferSize = 32;
// Validators and ranges are short; a longer header is no usable one.
constexpr DWORD kLongHeaderBufferSize = 256;
constexpr DWORD kAbortPollMs = 50;
constexpr DWORD kStatusRangeNotSatisfiable = 416;
// How often a growing download is made durable and its record brought up to
// date: rarely enough that an unbroken download keeps its speed, often enough
// that a killed program or a lost power loses little of a large package.
constexpr std::uint64_t kCheckpointBytes = 32ull * 1024 * 1024;
// A record that could not be written (a scanner holding the old one open) is
// tried again soon; the old one still vouches for fewer bytes than there are.
constexpr std::uint64_t kCheckpointRetryBytes = 1024 * 1024;
constexpr DWORD kKeptReadBlock = 1024 * 1024;
constexpr wchar_t kNewRecordSuffix[] = L".new";
constexpr DWORD kRequestFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION;
constexpr DWORD kCredentialDialogFlags = FLAGS_ERROR_UI_FILTER_FOR_ERRORS |
                                         FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                                         FLAGS_ERROR_UI_FLAGS_GENERATE_DATA;

// The framework's application name: the program file's name without extension.
std::wstring ApplicationName()
{
    std::vector<wchar_t> path(MAX_PATH * 4, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    std::wstring name(path.data(), length < path.size() ? length : 0);
    const std::size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) {
        name.erase(0, slash + 1);
    }
    const std::size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos) {
        name.erase(dot);
    }
    return name;
}

// The last segment of the object: "/download.php?key=11" gives "download.php?key=11".
std::string FileNameOfObject(const std::string& object)
{
    if (object.size() < 2) {
        return object;
    }
    std::size_t last = FindLastOf936(object, "/");
    if (last == std::string::npos) {
        last = FindLastOf936(object, "\\");
    }
    return last == std::string::npos ? object : object.substr(last + 1);
}

// The folder that holds the target file, with its backslash.
std::string TempFolderOf(const std::string& path)
{
    const std::size_t slash = FindLastOf936(path, "\\/");
    return slash == std::string::npos ? path : path.substr(0, slash + 1);
}

// A digits-only header value that fits 32 bits; anything else is no size at all.
bool ParseContentLength(const wchar_t* text, std::uint32_t& size)
{
    if (*text == L'\0') {
        return false;
    }
    std::uint64_t value = 0;
    for (const wchar_t* p = text; *p != L'\0'; ++p) {
        if (*p < L'0' || *p > L'9') {
            return false;
        }
        value = value * 10 + static_cast<std::uint64_t>(*p - L'0');
        if (value > UINT32_MAX) {
            return false;
        }
    }
    size = static_cast<std::uint32_t>(value);
    return true;
}

// A header's value as text; empty when the answer has none (or one too long).
std::string QueryHeaderText(HINTERNET request, DWORD header)
{
    wchar_t text[kLongHeaderBufferSize] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    if (!HttpQueryInfoW(request, header, text, &size, nullptr)) {
        return std::string();
    }
    return NarrowText(std::wstring(text, wcsnlen(text, kLongHeaderBufferSize)));
}

// WinInet hands the name being resolved as UTF-16 to a W callback and the
// addresses as narrow text; anything past the first control character is not text.
std::string StatusInformationText(DWORD status, const void* information, DWORD length)
{
    if (information == nullptr || length == 0) {
        return std::string();
    }
    const auto* bytes = static_cast<const unsigned char*>(information);
    const bool wide = status == INTERNET_STATUS_RESOLVING_NAME ||
                      (length >= 2 && bytes[0] != 0 && bytes[1] == 0);
    std::string text;
    if (wide) {
        const auto* chars = static_cast<const wchar_t*>(information);
        text = NarrowText(std::wstring(chars, wcsnlen(chars, length / sizeof(wchar_t))));
    } else {
        const auto* chars = static_cast<const char*>(information);
        text.assign(chars, strnlen(chars, length));
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) < 0x20) {
            text.erase(i);
            break;
        }
    }
    return text;
}

bool IsLinkAttributes(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A plain file of the working folder opened on itself: never through a link,
// never a folder or a file with a second name. The name is asked first, as Wine
// follows a link even when it is opened on the link itself; the handle decides.
UniqueFile OpenKeptFile(const std::string& path, DWORD access, std::uint64_t& length)
{
    const std::wstring name = WidenText(path);
    if (IsLinkAttributes(GetFileAttributesW(name.c_str()))) {
        return UniqueFile();
    }
    UniqueFile file(CreateFileW(name.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (file && (!GetFileInformationByHandle(file.get(), &information) ||
                 (information.dwFileAttributes &
                  (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
                 information.nNumberOfLinks != 1)) {
        file.reset();
    }
    length = (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    return file;
}

bool ReadKeptRecord(const std::string& path, KeptDownload& record)
{
    std::uint64_t length = 0;
    const UniqueFile file = OpenKeptFile(path, GENERIC_READ, length);
    if (!file || length > kKeptRecordMaxBytes) {
        return false;
    }
    std::string text(static_cast<std::size_t>(length), '\0');
    DWORD read = 0;
    return (length == 0 || (ReadFile(file.get(), &text[0], static_cast<DWORD>(length), &read,
                                     nullptr) &&
                            read == length)) &&
           ParseKeptRecord(text, record);
}

// The record is written beside itself and renamed over the old one: a power
// lost while it is written leaves the old record or the new one, never half
// of either (and a half one would only be refused).
bool WriteKeptRecord(const std::string& path, const std::string& text)
{
    const std::wstring name = WidenText(path);
    const std::wstring fresh = name + kNewRecordSuffix;
    {
        const UniqueFile file(CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!file ||
            !WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written != text.size() || !FlushFileBuffers(file.get())) {
            DeleteFileW(fresh.c_str());
            return false;
        }
    }
    if (!MoveFileExW(fresh.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(fresh.c_str());
        return false;
    }
    return true;
}

}  // namespace

CDownloadJob::CDownloadJob(IInstallProgress& progress, InstallStep installStep)
    : progress_(progress), installStep_(std::move(installStep))
{
}

CDownloadJob::~CDownloadJob()
{
    WaitForWorker();
    CloseTargetFile();
}

bool CDownloadJob::StartDownload()
{
    if (thread_) {
        return false;
    }
    UrlParts parts;
    if (!ParseUrl(downloadUrl, parts)) {
        downloadUrl = "http://" + downloadUrl;
        if (!ParseUrl(downloadUrl, parts)) {
            progress_.OnNotStarted(std::string());
            return false;
        }
    }
    serviceType_ = parts.serviceType;
    server_ = parts.server;
    object_ = parts.object;
    port_ = parts.port;

    if (!TakeKeptDownload()) {
        if (PathExists(targetPath) &&
            !progress_.AskReplace(FormatString1(kReplaceQuestion, targetPath))) {
            progress_.OnNotStarted(std::string());
            return false;
        }
        if (!OpenTargetFile()) {
            progress_.OnNotStarted(FormatString1(kFileErrorText, GetLastErrorText()));
            return false;
        }
    }
    fileName_ = FileNameOfObject(object_);
    progress_.OnSource(FormatString2(kSourceText, fileName_, server_));

    if (!StartWorkerThread(thread_, [this] { return DownloadWorker(); })) {
        CloseTargetFile();
        DeleteTargetFile();
        progress_.OnNotStarted(std::string());
        return false;
    }
    return true;
}

void CDownloadJob::RequestAbort()
{
    std::lock_guard<std::mutex> lock(requestLock_);
    abort_ = true;
    request_.reset();
}

HINTERNET CDownloadJob::Request() const
{
    std::lock_guard<std::mutex> lock(requestLock_);
    return request_.get();
}

// The worker may be sending a change to this very thread's window: the wait
// keeps answering sent messages so that neither thread waits for the other.
bool CDownloadJob::WaitForWorker(DWORD timeoutMs)
{
    if (thread_) {
        if (!WaitForThreadDispatching(thread_.get(), timeoutMs)) {
            if (timeoutMs != INFINITE) {
                return false;
            }
            WaitForSingleObject(thread_.get(), INFINITE);
        }
        thread_.reset();
    }
    CloseInternetHandles();
    return true;
}

bool CDownloadJob::WorkerRunning() const
{
    return thread_ && WaitForSingleObject(thread_.get(), 0) == WAIT_TIMEOUT;
}

// The end is reported whatever happens: an exception (memory running
// out) is a failed download like any other.
DWORD CDownloadJob::DownloadWorker()
{
    WorkerEnd end = WorkerEnd::kFailed;
    try {
        end = RunWorker();
    } catch (...) {
        errorText_ = FormatString1(kFileErrorText, std::to_string(ERROR_NOT_ENOUGH_MEMORY));
        CloseTargetFile();
        DeleteTargetFile();
    }
    const bool failed = end == WorkerEnd::kFailed;
    progress_.OnEnd(failed, failed ? errorText_ : std::string());
    return 0;
}

// Whatever an abort interrupted (a wait for a silent server that RequestAbort
// cut short fails like a dropped line), the download ends as aborted: no
// message, no file left behind, nothing installed.
CDownloadJob::WorkerEnd CDownloadJob::RunWorker()
{
    if (localPackageMode) {
        return InstallLocalPackage();
    }
    const WorkerEnd end = DownloadPackage();
    if (!abort_) {
        return end;
    }
    CloseTargetFile();
    DeleteTargetFile();
    return WorkerEnd::kFinished;
}

// The target file that StartDownload made is not needed: it is closed before it
// is deleted, so that it does not stay behind.
CDownloadJob::WorkerEnd CDownloadJob::InstallLocalPackage()
{
    CloseTargetFile();
    DeleteTargetFile();
    if (localPackage != nullptr) {
        return RunInstallStep(localPackage, localPackagePath);
    }
    // One that cannot be opened is reported by the install step as damaged.
    const UniqueFile package = OpenFileDenyingWriters(localPackagePath);
    return RunInstallStep(package.get(), localPackagePath);
}

// The window learns of an abort from the flag, not from the end.
CDownloadJob::WorkerEnd CDownloadJob::DownloadPackage()
{
    if (keptLength_ > 0 && !HashKeptBytes() && !abort_ &&
        ForgetKeptBytes() == WorkerEnd::kFailed) {
        return WorkerEnd::kFailed;
    }
    if (abort_) {
        return WorkerEnd::kFinished;
    }
    // A network that is down at this start says nothing of the kept bytes:
    // they wait for the next one, until a server has answered.
    keepUntilAnswered_ = keptLength_ > 0;
    if (OpenSession() == WorkerEnd::kFailed) {
        return WorkerEnd::kFailed;
    }
    if (abort_) {
        return WorkerEnd::kFinished;
    }
    if (OpenRequest() == WorkerEnd::kFailed) {
        return WorkerEnd::kFailed;
    }
    if (abort_) {
        return WorkerEnd::kFinished;
    }
    // Added to the request rather than sent with it, so that a request sent
    // again with credentials still asks for the rest. One not added asks for
    // the whole file, whose 200 starts it over.
    if (keptLength_ > 0) {
        const std::wstring headers = RangeHeaders(keptLength_);
        HttpAddRequestHeadersW(Request(), headers.c_str(), static_cast<DWORD>(headers.size()),
                               HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
    }
    if (!HttpSendRequestW(Request(), nullptr, 0, nullptr, 0)) {
        ReportWorkerError(kConnectErrorText, ErrorDetail::kLastError);
        return WorkerEnd::kFailed;
    }
    keepUntilAnswered_ = false;
    if (CheckResponse() == WorkerEnd::kFailed) {
        return WorkerEnd::kFailed;
    }
    if (abort_) {
        return WorkerEnd::kFinished;
    }
    return TransferBody();
}

CDownloadJob::WorkerEnd CDownloadJob::OpenSession()
{
    session_.reset(InternetOpenW(ApplicationName().c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                 nullptr, 0));
    if (!session_) {
        ReportWorkerError(kFileErrorText, ErrorDetail::kLastError);
        return WorkerEnd::kFailed;
    }
    SetSessionTimeouts(session_.get());
    if (abort_) {
        return WorkerEnd::kFinished;
    }
    if (InternetSetStatusCallbackW(session_.get(), &CDownloadJob::StatusCallback) ==
        INTERNET_INVALID_STATUS_CALLBACK) {
        ReportWorkerError(kFileErrorText, ErrorDetail::kLastError);
        return WorkerEnd::kFailed;
    }
    return WorkerEnd::kFinished;
}

// An https address is an http connection whose request goes over TLS. The
// request is handed over under the lock, so that an abort either finds it and
// closes it or comes first and keeps it from being opened.
CDownloadJob::WorkerEnd CDownloadJob::OpenRequest()
{
    const bool secure = serviceType_ == kServiceHttps;
    const DWORD service = secure ? DWORD{INTERNET_SERVICE_HTTP} : DWORD{serviceType_};
    const auto context = reinterpret_cast<DWORD_PTR>(this);
    connection_.reset(InternetConnectW(session_.get(), WidenText(server_).c_str(), port_, nullptr,
                                       nullptr, service, 0, context));
    if (!connection_) {
        ReportWorkerError(kConnectErrorText, ErrorDetail::kLastError);
        return WorkerEnd::kFailed;
    }
    // Some WinInet versions (Wine's) take the send and receive bounds of a
    // request from its connection rather than from the session.
    SetSessionTimeouts(connection_.get());
    if (abort_) {
        return WorkerEnd::kFinished;
    }
    const wchar_t* acceptTypes[] = {L"*/*", nullptr};
    const DWORD flags = kRequestFlags | (secure ? INTERNET_FLAG_SECURE : 0);
    UniqueInternet request(HttpOpenRequestW(connection_.get(), nullptr, WidenText(object_).c_str(),
                                            nullptr, nullptr, acceptTypes, flags, context));
    if (!request) {
        ReportWorkerError(kConnectErrorText, ErrorDetail::kLastError);
        return WorkerEnd::kFailed;
    }
    std::lock_guard<std::mutex> lock(requestLock_);
    if (!abort_) {
        request_ = std::move(request);
    }
    return WorkerEnd::kFinished;
}

// A server or proxy that wants credentials gets them through the platform's
// dialog (not after an abort: nobody would be there to answer); when nobody
// supplies them the answer stands as a failure, never as a download.
CDownloadJob::WorkerEnd CDownloadJob::CheckResponse()
{
    const HINTERNET request = Request();
    for (;;) {
        wchar_t text[kHeaderBufferSize] = {};
        DWORD size = sizeof text;
        if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE, text, &size, nullptr)) {
            ReportWorkerMessage(kConnectFailedText);
            return WorkerEnd::kFailed;
        }
        const DWORD status = static_cast<DWORD>(_wtol(text));
        // The answers to a range for a kept file are judged with its body.
        if (status == HTTP_STATUS_OK ||
            (keptLength_ > 0 &&
             (status == HTTP_STATUS_PARTIAL_CONTENT || status == kStatusRangeNotSatisfiable))) {
            return WorkerEnd::kFinished;
        }
        if (status != HTTP_STATUS_DENIED && status != HTTP_STATUS_PROXY_AUTH_REQ) {
            ReportWorkerError(kConnectFailedText, ErrorDetail::kHttpStatus, status);
            return WorkerEnd::kFailed;
        }
        char discard[kDiscardSize];
        DWORD read = 0;
        while (InternetReadFile(request, discard, kDiscardSize, &read) && read != 0) {
        }
        if (abort_) {
            return WorkerEnd::kFinished;
        }
        const DWORD answer = InternetErrorDlg(progress_.CredentialOwner(), request,
                                              ERROR_INTERNET_INCORRECT_PASSWORD,
                                              kCredentialDialogFlags, nullptr);
        if (answer != ERROR_INTERNET_FORCE_RETRY) {
            ReportWorkerError(kConnectFailedText, ErrorDetail::kHttpStatus, status);
            return WorkerEnd::kFailed;
        }
        if (!HttpSendRequestW(request, nullptr, 0, nullptr, 0)) {
            ReportWorkerError(kConnectErrorText, ErrorDetail::kLastError);
            return WorkerEnd::kFailed;
        }
    }
}

// A body that breaks off (the connection reset or closed before the announced
// length, or silent for longer than the receive time-out) is asked for again
// after a pause, a bounded number of times; only when they are spent does the
// download fail with the break's message, the partial file deleted and the
// install step not run.
CDownloadJob::WorkerEnd CDownloadJob::TransferBody()
{
    progress_.OnPhase(DownloadPhase::kFileInfo, "得到文件信息");
    CTransferDisplay display(progress_, fileName_, tickSource);
    // Hashed while it is written: the file is never read a second time, and
    // the handle it is written through is the one the install step reads. A
    // resumed body goes on with the same hash; a restarted one gets a new one.
    auto verifier = std::make_unique<CPackageVerifier>(packageHash);
    verifier->Start();
    std::uint64_t received = 0;
    BodyEnd end = keptLength_ > 0 ? GoOnWithKeptFile(display, verifier, received)
                                  : BeginWholeBody(display);
    if (end == BodyEnd::kComplete) {
        end = ReceiveBody(display, *verifier, received);
    }
    CAttemptCount attempts(resumeAttempts);
    while (end == BodyEnd::kBroken) {
        CheckpointKeptDownload(received);
        const int attempt = attempts.NextAfterBreak(received);
        if (attempt == 0) {
            // What arrived stays for the next start when the record vouches for it.
            const bool kept = recorded_ && received > 0;
            CloseTargetFile();
            if (!kept) {
                DeleteTargetFile();
            }
            return WorkerEnd::kFailed;
        }
        end = AskAgain(attempt, display, verifier, received);
        if (end == BodyEnd::kComplete) {
            end = ReceiveBody(display, *verifier, received);
        }
    }
    if (end == BodyEnd::kAborted) {
        return EndAborted();
    }
    if (end == BodyEnd::kFailed) {
        return WorkerEnd::kFailed;
    }
    // The body is whole: a later start has nothing to go on with.
    DeleteKeptRecord();
    const PackageCheck check = verifier->Finish();
    if (check != kPackageIntact) {
        errorText_ = PackageCheckText(check);
        CloseTargetFile();
        DeleteTargetFile();
        return WorkerEnd::kFailed;
    }
    const WorkerEnd installed = RunInstallStep(targetFile_.get(), targetPath);
    CloseTargetFile();
    DeleteTargetFile();
    return installed;
}

// The whole file comes with the current answer, into an empty target.
CDownloadJob::BodyEnd CDownloadJob::BeginWholeBody(CTransferDisplay& display)
{
    ReadAnswerHeaders(Request());
    if (sizeKnown_ && RefuseWhenNoSpace()) {
        return BodyEnd::kFailed;
    }
    if (sizeKnown_) {
        display.ReportSize(size_);
    }
    progress_.OnPhase(DownloadPhase::kDownloading, "下载文件");
    display.Start();
    RecordKeptDownload();
    return BodyEnd::kComplete;
}

// The first answer for a kept file: its rest (the bar goes on from the kept
// bytes), or the whole file, or an answer that fits neither, after which the
// whole file is asked for at once. The kept record stays as it was until the
// bytes it vouches for are gone.
CDownloadJob::BodyEnd CDownloadJob::GoOnWithKeptFile(CTransferDisplay& display,
                                                     VerifierPtr& verifier, std::uint64_t& received)
{
    const std::uint64_t kept = keptLength_;
    keptLength_ = 0;
    RepeatAnswer answer;
    if (!QueryRepeatAnswer(Request(), answer)) {
        ReportWorkerMessage(kConnectFailedText);
        return BodyEnd::kFailed;
    }
    const ResumeStep step = answer.status == kStatusRangeNotSatisfiable
                                ? ResumeStep::kRestartNextAttempt
                                : JudgeRepeatAnswer(PointAt(kept), true, answer);
    switch (step) {
    case ResumeStep::kAppend:
        verifier = std::move(keptVerifier_);
        received = kept;
        recordable_ = true;
        recorded_ = true;
        nextCheckpoint_ = received + kCheckpointBytes;
        display.ReportSize(size_);
        progress_.OnPhase(DownloadPhase::kDownloading, "下载文件");
        display.Start();
        display.Resume(received);
        return BodyEnd::kComplete;
    case ResumeStep::kRestartWithBody:
        keptVerifier_.reset();
        if (!EmptyTargetFile(verifier, received)) {
            return BodyEnd::kFailed;
        }
        return BeginWholeBody(display);
    case ResumeStep::kRestartNextAttempt:
        keptVerifier_.reset();
        if (!EmptyTargetFile(verifier, received)) {
            return BodyEnd::kFailed;
        }
        return RequestAgain(display, verifier, received);
    case ResumeStep::kFail:
        break;
    }
    ReportWorkerError(kConnectFailedText, ErrorDetail::kHttpStatus, answer.status);
    return BodyEnd::kFailed;
}

CDownloadJob::WorkerEnd CDownloadJob::EndAborted()
{
    CloseTargetFile();
    DeleteTargetFile();
    return WorkerEnd::kFinished;
}

// The length, and what proves later that a range comes from the same file.
void CDownloadJob::ReadAnswerHeaders(HINTERNET request)
{
    wchar_t text[kHeaderBufferSize] = {};
    DWORD textSize = sizeof text;
    sizeKnown_ = HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, text, &textSize, nullptr) &&
                 ParseContentLength(text, size_);
    validator_ = ResumeValidator(QueryHeaderText(request, HTTP_QUERY_ETAG),
                                 QueryHeaderText(request, HTTP_QUERY_LAST_MODIFIED));
}

// Reads the current response's body to its end. A break leaves the error
// text that the user sees when no attempt is left.
CDownloadJob::BodyEnd CDownloadJob::ReceiveBody(CTransferDisplay& display,
                                                CPackageVerifier& verifier,
                                                std::uint64_t& received)
{
    const HINTERNET request = Request();
    std::vector<char> block(kBlockSize);
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(request, block.data(), kBlockSize, &read)) {
            if (abort_) {
                return BodyEnd::kAborted;
            }
            errorText_ = FormatString1(kFileErrorText, GetLastErrorText());
            return BodyEnd::kBroken;
        }
        if (abort_) {
            return BodyEnd::kAborted;
        }
        if (read == 0) {
            break;
        }
        DWORD written = 0;
        if (!WriteFile(targetFile_.get(), block.data(), read, &written, nullptr) ||
            written != read) {
            const DWORD code = GetLastError();
            ReportWorkerError(kFileErrorText, ErrorDetail::kSystemCode,
                              code != 0 ? code : ERROR_HANDLE_DISK_FULL);
            return BodyEnd::kFailed;
        }
        verifier.Add(block.data(), read);
        received += read;
        if (recordable_ && received >= nextCheckpoint_) {
            CheckpointKeptDownload(received);
        }
        display.UpdateTransferDisplay(received, sizeKnown_, size_);
    }
    if (sizeKnown_ && received < size_) {
        const std::string missing = FormatString2(kIncompleteText, std::to_string(received),
                                                  std::to_string(size_));
        errorText_ = FormatString1(kFileErrorText, missing);
        return BodyEnd::kBroken;
    }
    return BodyEnd::kComplete;
}

// One more attempt after a break: kComplete when a body is there to be read
// (the rest of the file, or the whole file into the emptied target).
CDownloadJob::BodyEnd CDownloadJob::AskAgain(int attempt, CTransferDisplay& display,
                                             VerifierPtr& verifier, std::uint64_t& received)
{
    if (!WaitBeforeAttempt(attempt)) {
        return BodyEnd::kAborted;
    }
    return RequestAgain(display, verifier, received);
}

CDownloadJob::BodyEnd CDownloadJob::RequestAgain(CTransferDisplay& display, VerifierPtr& verifier,
                                                 std::uint64_t& received)
{
    const ResumePoint point = PointAt(received);
    const bool asksRange = AsksForRange(point);
    const BodyEnd sent = SendRepeatRequest(asksRange, received);
    if (sent != BodyEnd::kComplete) {
        return sent;
    }
    RepeatAnswer answer;
    if (!QueryRepeatAnswer(Request(), answer)) {
        errorText_ = kConnectFailedText;
        return BodyEnd::kBroken;
    }
    switch (JudgeRepeatAnswer(point, asksRange, answer)) {
    case ResumeStep::kAppend:
        display.Resume(received);
        break;
    case ResumeStep::kRestartWithBody:
        if (!EmptyTargetFile(verifier, received)) {
            return BodyEnd::kFailed;
        }
        return BeginWholeBody(display);
    case ResumeStep::kRestartNextAttempt:
        if (!EmptyTargetFile(verifier, received)) {
            return BodyEnd::kFailed;
        }
        errorText_ = kConnectFailedText;
        return BodyEnd::kBroken;
    case ResumeStep::kFail:
        ReportWorkerError(kConnectFailedText, ErrorDetail::kHttpStatus, answer.status);
        return BodyEnd::kFailed;
    }
    progress_.OnPhase(DownloadPhase::kDownloading, "下载文件");
    return BodyEnd::kComplete;
}

// False when the answer has no status.
bool CDownloadJob::QueryRepeatAnswer(HINTERNET request, RepeatAnswer& answer)
{
    wchar_t text[kHeaderBufferSize] = {};
    DWORD textSize = sizeof text;
    if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE, text, &textSize, nullptr)) {
        return false;
    }
    answer.status = static_cast<unsigned>(_wtol(text));
    answer.contentRange = QueryHeaderText(request, HTTP_QUERY_CONTENT_RANGE);
    answer.etag = QueryHeaderText(request, HTTP_QUERY_ETAG);
    answer.lastModified = QueryHeaderText(request, HTTP_QUERY_LAST_MODIFIED);
    return true;
}

ResumePoint CDownloadJob::PointAt(std::uint64_t received) const
{
    ResumePoint point;
    point.received = received;
    point.sizeKnown = sizeKnown_;
    point.size = size_;
    point.validator = validator_;
    return point;
}

std::wstring CDownloadJob::RangeHeaders(std::uint64_t received) const
{
    return L"Range: bytes=" + std::to_wstring(received) + L"-\r\nIf-Range: " +
           WidenText(validator_) + L"\r\n";
}

// The pause grows with each attempt; an abort ends it at once.
bool CDownloadJob::WaitBeforeAttempt(int attempt)
{
    if (abort_) {
        return false;
    }
    progress_.OnPhase(DownloadPhase::kRetrying,
                      FormatString2(kRetryingText, std::to_string(attempt),
                                    std::to_string(resumeAttempts)));
    const std::uint32_t pause = ResumePauseMs(firstResumePauseMs, attempt);
    const DWORD begin = GetTickCount();
    while (!abort_) {
        const DWORD waited = GetTickCount() - begin;
        if (waited >= pause) {
            return true;
        }
        Sleep(std::min<DWORD>(kAbortPollMs, pause - waited));
    }
    return false;
}

// A new request on the same connection, for the rest of the file when the
// first answer's validator can vouch for it, else for the whole file. A
// server that cannot be reached now is one more broken attempt.
CDownloadJob::BodyEnd CDownloadJob::SendRepeatRequest(bool asksRange, std::uint64_t received)
{
    const auto context = reinterpret_cast<DWORD_PTR>(this);
    const wchar_t* acceptTypes[] = {L"*/*", nullptr};
    const DWORD flags = kRequestFlags | (serviceType_ == kServiceHttps ? INTERNET_FLAG_SECURE : 0);
    UniqueInternet request(HttpOpenRequestW(connection_.get(), nullptr, WidenText(object_).c_str(),
                                            nullptr, nullptr, acceptTypes, flags, context));
    if (!request) {
        errorText_ = FormatString1(kConnectErrorText, GetLastErrorText());
        return abort_ ? BodyEnd::kAborted : BodyEnd::kBroken;
    }
    {
        std::lock_guard<std::mutex> lock(requestLock_);
        if (abort_) {
            return BodyEnd::kAborted;
        }
        request_ = std::move(request);
    }
    const std::wstring headers = asksRange ? RangeHeaders(received) : std::wstring();
    const bool sent = HttpSendRequestW(Request(), headers.empty() ? nullptr : headers.c_str(),
                                       static_cast<DWORD>(headers.size()), nullptr, 0);
    if (abort_) {
        return BodyEnd::kAborted;
    }
    if (!sent) {
        errorText_ = FormatString1(kConnectErrorText, GetLastErrorText());
        return BodyEnd::kBroken;
    }
    return BodyEnd::kComplete;
}

// The bytes so far belong to no file that can be finished: the target starts
// over empty, and so does its hash.
bool CDownloadJob::EmptyTargetFile(VerifierPtr& verifier, std::uint64_t& received)
{
    LARGE_INTEGER origin = {};
    if (!SetFilePointerEx(targetFile_.get(), origin, nullptr, FILE_BEGIN) ||
        !SetEndOfFile(targetFile_.get())) {
        ReportWorkerError(kFileErrorText, ErrorDetail::kLastError);
        return false;
    }
    DeleteKeptRecord();
    verifier.reset();
    verifier = std::make_unique<CPackageVerifier>(packageHash);
    verifier->Start();
    received = 0;
    return true;
}

// An install step stopped by an abort is no failure: the window sees the flag.
CDownloadJob::WorkerEnd CDownloadJob::RunInstallStep(HANDLE package, const std::string& packagePath)
{
    installing_ = true;
    const bool installed = !installStep_ || installStep_(package, packagePath);
    installing_ = false;
    if (installed || abort_) {
        return WorkerEnd::kFinished;
    }
    if (errorText_.empty()) {
        errorText_ = kInstallFailedText;
    }
    return WorkerEnd::kFailed;
}

void CALLBACK CDownloadJob::StatusCallback(HINTERNET, DWORD_PTR context, DWORD status,
                                           LPVOID information, DWORD length)
{
    if (context != 0) {
        reinterpret_cast<CDownloadJob*>(context)->OnDownloadStatus(status, information, length);
    }
}

// After an abort the status label says so, and nothing that WinInet still
// reports about the connection may replace that.
void CDownloadJob::OnDownloadStatus(DWORD status, const void* information, DWORD length)
{
    if (abort_) {
        return;
    }
    const char* format = nullptr;
    switch (status) {
    case INTERNET_STATUS_RESOLVING_NAME:
        format = "解决名称: %1";
        break;
    case INTERNET_STATUS_NAME_RESOLVED:
        format = "解决名称到: %1";
        break;
    case INTERNET_STATUS_CONNECTING_TO_SERVER:
    case INTERNET_STATUS_CONNECTED_TO_SERVER:
        format = "连接 %1";
        break;
    default:
        return;
    }
    progress_.OnPhase(DownloadPhase::kConnecting,
                      FormatString1(format, StatusInformationText(status, information, length)));
}

void CDownloadJob::ReportWorkerError(const std::string& format, ErrorDetail detail, DWORD code)
{
    const std::string argument =
        detail == ErrorDetail::kLastError ? GetLastErrorText() : std::to_string(code);
    errorText_ = FormatString1(format.c_str(), argument);
    CloseTargetFile();
    if (!keepUntilAnswered_) {
        DeleteTargetFile();
    }
}

// The target file stays open until the job ends.
void CDownloadJob::ReportWorkerMessage(const std::string& text)
{
    errorText_ = text;
}

// Others may read the file while it grows, but nobody else writes, renames or
// deletes it until the install step is done with it; the install step reads it
// through this handle.
bool CDownloadJob::OpenTargetFile()
{
    targetFile_.reset(CreateFileW(WidenText(targetPath).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    return static_cast<bool>(targetFile_);
}

void CDownloadJob::CloseTargetFile()
{
    targetFile_.reset();
}

void CDownloadJob::DeleteTargetFile()
{
    DeleteKeptRecord();
    DeleteFileW(WidenText(targetPath).c_str());
}

// Another download's kept file, or one whose record is missing, unreadable
// or not this download's, goes with its record: the download starts at byte 0.
bool CDownloadJob::TakeKeptDownload()
{
    if (keptRecordPath.empty()) {
        return false;
    }
    KeptDownload record;
    std::uint64_t length = 0;
    if (!localPackageMode && ReadKeptRecord(keptRecordPath, record) && OpenKeptTarget(length) &&
        MatchesKeptDownload(record, downloadUrl, HashLine(), length)) {
        keptLength_ = record.received;
        sizeKnown_ = true;
        size_ = static_cast<std::uint32_t>(record.size);
        validator_ = record.validator;
        return true;
    }
    CloseTargetFile();
    DeleteTargetFile();
    return false;
}

// Opened as OpenTargetFile opens a new one, and checked through the handle.
bool CDownloadJob::OpenKeptTarget(std::uint64_t& length)
{
    targetFile_ = OpenKeptFile(targetPath, GENERIC_READ | GENERIC_WRITE, length);
    return static_cast<bool>(targetFile_);
}

// The hash state of the process that wrote the kept bytes is gone with it
// (the platform's hash cannot be saved), so they are read once, through the
// handle that goes on writing, after the file is cut to what the record
// vouches for. False when they cannot be read (or on an abort).
bool CDownloadJob::HashKeptBytes()
{
    keptVerifier_ = std::make_unique<CPackageVerifier>(packageHash);
    keptVerifier_->Start();
    LARGE_INTEGER end = {};
    end.QuadPart = static_cast<LONGLONG>(keptLength_);
    const HANDLE file = targetFile_.get();
    bool readable = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file) &&
                    RewindFile(file);
    std::vector<char> block(kKeptReadBlock);
    std::uint64_t hashed = 0;
    while (readable && hashed < keptLength_ && !abort_) {
        const DWORD wanted =
            static_cast<DWORD>(std::min<std::uint64_t>(kKeptReadBlock, keptLength_ - hashed));
        DWORD read = 0;
        readable = ReadFile(file, block.data(), wanted, &read, nullptr) && read == wanted;
        if (readable) {
            keptVerifier_->Add(block.data(), read);
            hashed += read;
        }
    }
    return readable && hashed == keptLength_;
}

// Kept bytes that cannot be read are no start: the download begins at byte 0.
CDownloadJob::WorkerEnd CDownloadJob::ForgetKeptBytes()
{
    keptVerifier_.reset();
    keptLength_ = 0;
    sizeKnown_ = false;
    size_ = 0;
    validator_.clear();
    VerifierPtr unused;
    std::uint64_t received = 0;
    return EmptyTargetFile(unused, received) ? WorkerEnd::kFinished : WorkerEnd::kFailed;
}

std::string CDownloadJob::HashLine() const
{
    return HexText(packageHash.data(), packageHash.size());
}

// A download that the next start can go on with: one whose answer named its
// length and gave a validator for a range. Anything else keeps no record.
void CDownloadJob::RecordKeptDownload()
{
    recorded_ = false;
    recordable_ = !keptRecordPath.empty() && sizeKnown_ && size_ > 0 && !validator_.empty();
    if (recordable_) {
        WriteRecordAt(0);
    }
}

// The bytes are made durable before the record names them: after a lost
// power the file holds at least what the record says (the rest is cut).
void CDownloadJob::CheckpointKeptDownload(std::uint64_t received)
{
    if (!recordable_ || received >= size_) {
        return;
    }
    if (!FlushFileBuffers(targetFile_.get())) {
        nextCheckpoint_ = received + kCheckpointRetryBytes;
        return;
    }
    WriteRecordAt(received);
}

void CDownloadJob::WriteRecordAt(std::uint64_t received)
{
    KeptDownload record;
    record.url = downloadUrl;
    record.hashLine = HashLine();
    record.validator = validator_;
    record.size = size_;
    record.received = received;
    const std::string text = FormatKeptRecord(record);
    if (text.empty()) {
        recordable_ = false;
        return;
    }
    if (WriteKeptRecord(keptRecordPath, text)) {
        recorded_ = true;
        nextCheckpoint_ = received + kCheckpointBytes;
    } else {
        nextCheckpoint_ = received + kCheckpointRetryBytes;
    }
}

void CDownloadJob::DeleteKeptRecord()
{
    recordable_ = false;
    recorded_ = false;
    // Also the new record that a killed program may have left unrenamed.
    if (!keptRecordPath.empty()) {
        const std::wstring name = WidenText(keptRecordPath);
        DeleteFileW(name.c_str());
        DeleteFileW((name + kNewRecordSuffix).c_str());
    }
}

void CDownloadJob::CloseInternetHandles()
{
    {
        std::lock_guard<std::mutex> lock(requestLock_);
        request_.reset();
    }
    connection_.reset();
    session_.reset();
}

// The announced size must fit on the temporary folder's volume before a byte
// is written; a volume that does not answer is not held against the download.
bool CDownloadJob::RefuseWhenNoSpace()
{
    std::string message;
    if (CheckFreeSpace(TempFolderOf(targetPath), size_, message) != kSpaceShort) {
        return false;
    }
    errorText_ = message;
    CloseTargetFile();
    DeleteTargetFile();
    return true;
}
