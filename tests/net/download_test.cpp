#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <windows.h>
#include <wincrypt.h>
#include <wininet.h>

#include "net/download.h"
#include "net/package_integrity.h"
#include "net/progress_text.h"
#include "net/web_session.h"
#include "tests/bench/vendor_server.h"
#include "tests/net/test_view.h"
#include "util/file_system.h"
#include "util/hex_text.h"
#include "util/wide_text.h"
#include "tests/bench/test_files.h"

namespace {

constexpr char kFileError[] = "当前下载文件错误:";
constexpr char kConnectError[] = "无法连接 MorvaneNet 网络，错误:";
constexpr char kConnectFailed[] = "连接 MorvaneNet 网络失败";

// What the install step found when it ran (on the worker).
struct InstallSeen {
    int runs = 0;
    std::string path;
    bool existed = false;
    std::uint64_t size = 0;
    bool pattern = false;  // every byte i is i % 251, as the server's bodies are
    // Another opener (Wine checks sharing across processes as within one) could
    // neither write, rename nor delete the package while the step ran.
    bool othersRefused = false;
};

// Reads the package through the handle that the job hands over.
void LookAtPackage(HANDLE file, const std::string& path, InstallSeen& seen)
{
    ++seen.runs;
    seen.path = path;
    seen.existed = file != INVALID_HANDLE_VALUE && RewindFile(file);
    if (!seen.existed) {
        return;
    }
    const std::wstring name = WidenText(path);
    const HANDLE writer = CreateFileW(name.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    seen.othersRefused = writer == INVALID_HANDLE_VALUE &&
                         !MoveFileExW(name.c_str(), (name + L".moved").c_str(), 0) &&
                         !DeleteFileW(name.c_str());
    if (writer != INVALID_HANDLE_VALUE) {
        CloseHandle(writer);
    }
    seen.pattern = true;
    std::vector<char> buffer(1 << 20);
    DWORD read = 0;
    while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) &&
           read != 0) {
        for (DWORD i = 0; i < read; ++i) {
            if (static_cast<unsigned char>(buffer[i]) != (seen.size + i) % 251) {
                seen.pattern = false;
            }
        }
        seen.size += read;
    }
}

bool StartsWith(const std::string& text, const std::string& start)
{
    return text.compare(0, start.size(), start) == 0;
}

// The bytes that the test server's pattern routes send: i % 251 at offset i.
std::string PatternBody(std::uint32_t size)
{
    std::string body(size, '\0');
    for (std::uint32_t i = 0; i < size; ++i) {
        body[i] = static_cast<char>(i % 251);
    }
    return body;
}

bool HashOf(const std::string& bytes, std::vector<std::uint8_t>& digest)
{
    CSha256 hasher;
    return hasher.Start() && hasher.Add(bytes.data(), bytes.size()) && hasher.Finish(digest);
}

std::string Joined(const std::vector<std::string>& texts)
{
    std::string joined;
    for (const std::string& text : texts) {
        joined += "[" + text + "]";
    }
    return joined;
}

class DownloadTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(vendor::Running()) << "the test vendor server is not running (ctest fixture "
                                          "\"vendor\": tests/bench/vendor start BUILD_FOLDER)";
        ASSERT_NE(view_.Window(), nullptr);
        folder_ = MakeTempFilePath("mrv-download-" + TestName() + "-" +
                                   std::to_string(GetCurrentProcessId()));
        DeleteFolderTree(folder_);
        ASSERT_TRUE(CreateDirectoryW(WidenText(folder_).c_str(), nullptr));
        target_ = folder_ + "\\~download.tmp";
    }

    void TearDown() override
    {
        job_.reset();
        DeleteFolderTree(folder_);
    }

    // A table's case carries its row after a '/', which a folder name may not.
    static std::string TestName()
    {
        std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '-');
        return name;
    }

    // The server address of `target` marked with this test's name and run, so
    // that its request count is this test's alone.
    static std::string Marked(const std::string& target)
    {
        return target + (target.find('?') == std::string::npos ? "?" : "&") + "test=" + TestName() +
               "-" + vendor::RunStamp();
    }

    // A job on `url` whose install step records what it saw and answers `installs`;
    // its clock moves `tick` milliseconds at each reading.
    CDownloadJob& MakeJob(const std::string& url, bool installs = true, std::uint32_t tick = 250)
    {
        job_ = std::make_unique<CDownloadJob>(view_, [this, installs](HANDLE package, const std::string& path) {
            LookAtPackage(package, path, seen_);
            if (!installs && !installText_.empty()) {
                job_->SetErrorText(installText_);
            }
            return installs;
        });
        job_->downloadUrl = url;
        job_->targetPath = target_;
        job_->tickSource = [this, tick] { return clock_ += tick; };
        return *job_;
    }

    // Starts the job and runs the window until the worker's message came.
    void Download(CDownloadJob& job)
    {
        ASSERT_TRUE(job.StartDownload());
        ASSERT_TRUE(view_.RunUntilDone(120000));
        job.WaitForWorker();
        view_.RunUntil([] { return false; }, 50);
        EXPECT_EQ(view_.DoneCount(), 1);
    }

    void ExpectFailure(const std::string& errorStart)
    {
        EXPECT_TRUE(view_.DoneFailed());
        EXPECT_TRUE(StartsWith(job_->ErrorText(), errorStart)) << job_->ErrorText();
        EXPECT_EQ(seen_.runs, 0);
        EXPECT_FALSE(PathExists(target_));
    }

    void ExpectInstalled(std::uint64_t size)
    {
        EXPECT_FALSE(view_.DoneFailed()) << job_->ErrorText();
        EXPECT_EQ(job_->ErrorText(), "");
        EXPECT_EQ(seen_.runs, 1);
        EXPECT_EQ(seen_.path, target_);
        EXPECT_TRUE(seen_.existed);
        EXPECT_EQ(seen_.size, size);
        EXPECT_TRUE(seen_.pattern);
        EXPECT_TRUE(seen_.othersRefused);
        EXPECT_FALSE(PathExists(target_));
    }

    TestView view_;
    std::unique_ptr<CDownloadJob> job_;
    InstallSeen seen_;
    std::string installText_;
    std::atomic<std::uint32_t> clock_{100000};
    // Where a job of the test keeps the record of a download that broke off.
    std::string Record() const { return folder_ + "\\~download.resume"; }

    // "[STATUS FIRST]" for each answer of the range-aware routes to `target`.
    static std::string Answers(const std::string& target)
    {
        return vendor::SentAnswers(vendor::Url(""), target);
    }

    std::string folder_;
    std::string target_;
};

TEST_F(DownloadTest, ABodyWithItsLengthIsWrittenWholeThenInstalled)
{
    const std::uint32_t size = 300000;
    const std::string target = Marked("/behave/data?size=" + std::to_string(size));
    CDownloadJob& job = MakeJob(vendor::Url(target));
    Download(job);
    ExpectInstalled(size);
    EXPECT_EQ(vendor::RequestCount(target), 1);

    const std::string fileName = target.substr(target.rfind('/') + 1);
    EXPECT_EQ(job.FileName(), fileName);
    EXPECT_EQ(view_.TextsOf(kSourceLabel), std::vector<std::string>{fileName + " 来自 127.0.0.1"});
    const std::vector<std::string> status = view_.TextsOf(kStatusLabel);
    ASSERT_GE(status.size(), 2u);
    EXPECT_EQ(status[status.size() - 2], "得到文件信息");
    EXPECT_EQ(status.back(), "下载文件");
    EXPECT_NE(std::find(status.begin(), status.end(), "连接 127.0.0.1"), status.end())
        << Joined(status);

    EXPECT_EQ(view_.ValuesOf(ViewChange::kRange), std::vector<std::uint32_t>{(size + 512) / 1024});
    // One caption per whole percent reached, at most, rising to 100.
    const std::vector<std::string> captions = view_.Captions();
    ASSERT_FALSE(captions.empty());
    ASSERT_LE(captions.size(), 100u);
    int last = 0;
    for (const std::string& caption : captions) {
        const int percent = std::atoi(caption.c_str());
        EXPECT_GT(percent, last) << caption;
        EXPECT_EQ(caption, std::to_string(percent) + "% 的 " + fileName + " 完成");
        last = percent;
    }
    EXPECT_EQ(last, 100);
    const std::vector<std::uint32_t> positions = view_.ValuesOf(ViewChange::kPosition);
    ASSERT_EQ(positions.size(), captions.size());
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_EQ(positions.back(), size / 1024);
    EXPECT_EQ(view_.BarPosition(), size / 1024);

    const std::vector<std::string> rates = view_.TextsOf(kRateLabel);
    const std::vector<std::string> left = view_.TextsOf(kTimeLeftLabel);
    ASSERT_FALSE(rates.empty());
    ASSERT_EQ(left.size(), rates.size());
    EXPECT_NE(rates.back().find("/秒"), std::string::npos);
    EXPECT_NE(left.back().find(" 的 293.0 KB 复制)"), std::string::npos) << left.back();
}

TEST_F(DownloadTest, ABodyWithoutLengthShowsOnlyTheRate)
{
    const std::string target = Marked("/behave/nolength?size=300000");
    CDownloadJob& job = MakeJob(vendor::Url(target), true, 400);
    Download(job);
    ExpectInstalled(300000);
    EXPECT_TRUE(view_.Captions().empty());
    EXPECT_TRUE(view_.ValuesOf(ViewChange::kRange).empty());
    EXPECT_TRUE(view_.ValuesOf(ViewChange::kPosition).empty());
    EXPECT_TRUE(view_.TextsOf(kTimeLeftLabel).empty());
    EXPECT_FALSE(view_.TextsOf(kRateLabel).empty());
}

TEST_F(DownloadTest, AnEmptyBodyIsInstalledAsAnEmptyFile)
{
    CDownloadJob& job = MakeJob(vendor::Url(Marked("/behave/empty")));
    Download(job);
    ExpectInstalled(0);
    EXPECT_TRUE(view_.Captions().empty());
    EXPECT_TRUE(view_.TextsOf(kRateLabel).empty());
}

TEST_F(DownloadTest, AStatusOtherThan200FailsAndLeavesNoFile)
{
    for (const char* code : {"404", "403", "500", "503", "204"}) {
        SCOPED_TRACE(code);
        TestView view;
        CDownloadJob job(view, [this](HANDLE package, const std::string& path) {
            LookAtPackage(package, path, seen_);
            return true;
        });
        job.downloadUrl = vendor::Url(Marked(std::string("/behave/status?code=") + code));
        job.targetPath = target_;
        ASSERT_TRUE(job.StartDownload());
        ASSERT_TRUE(view.RunUntilDone(60000));
        job.WaitForWorker();
        EXPECT_TRUE(view.DoneFailed());
        EXPECT_EQ(job.ErrorText(), kConnectFailed);
        EXPECT_EQ(seen_.runs, 0);
        EXPECT_FALSE(PathExists(target_));
    }
}

// The package is hashed while it is written: with the description's hash it
// installs, with any other it is refused and deleted before the install step.
TEST_F(DownloadTest, OnlyAPackageWithTheDescriptionsHashIsInstalled)
{
    const std::uint32_t size = 300000;
    const std::string body = PatternBody(size);
    std::vector<std::uint8_t> hash;
    ASSERT_TRUE(HashOf(body, hash));
    std::vector<std::uint8_t> altered = hash;
    altered[31] ^= 1;
    const struct {
        std::vector<std::uint8_t> hash;
        bool installs;
    } cases[] = {{hash, true}, {altered, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.installs);
        seen_ = InstallSeen();
        TestView view;
        CDownloadJob job(view, [this](HANDLE package, const std::string& path) {
            LookAtPackage(package, path, seen_);
            return true;
        });
        job.downloadUrl = vendor::Url(Marked("/behave/data?size=" + std::to_string(size)));
        job.targetPath = target_;
        job.packageHash = c.hash;
        ASSERT_TRUE(job.StartDownload());
        ASSERT_TRUE(view.RunUntilDone(60000));
        job.WaitForWorker();
        EXPECT_EQ(view.DoneFailed(), !c.installs);
        EXPECT_EQ(job.ErrorText(), c.installs ? "" : kPackageAlteredText);
        EXPECT_EQ(seen_.runs, c.installs ? 1 : 0);
        EXPECT_EQ(seen_.size, c.installs ? size : 0);
        EXPECT_FALSE(PathExists(target_));
    }
}

TEST_F(DownloadTest, NotFoundTellsTheConnectionFailed)
{
    CDownloadJob& job = MakeJob(vendor::Url(Marked("/behave/404")));
    Download(job);
    ExpectFailure(kConnectFailed);
    EXPECT_EQ(job.ErrorText(), kConnectFailed);
}

// A body that breaks off the same way at every attempt (the server ignores
// ranges, so each attempt starts over) fails once the attempts are spent, with
// the message of the break, and nothing is installed.
TEST_F(DownloadTest, ABodyBrokenAtEveryAttemptFailsOnceTheAttemptsAreSpent)
{
    const struct {
        const char* target;
        const char* detail;
        bool kept;
    } cases[] = {
        {"/behave/short?size=50000&announce=100000", "收到 50000 字节，应为 100000 字节", false},
        {"/behave/drop?size=400000&after=100000", "", false},
        // A validator and a length: what arrived stays for the next start.
        {"/behave/ranged?size=400000&drop=100000&ranges=0", "收到 100000 字节，应为 400000 字节", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        seen_ = InstallSeen();
        TestView view;
        const std::string target = Marked(c.target);
        CDownloadJob job(view, [this](HANDLE package, const std::string& path) {
            LookAtPackage(package, path, seen_);
            return true;
        });
        job.downloadUrl = vendor::Url(target);
        job.targetPath = target_;
        job.keptRecordPath = Record();
        job.firstResumePauseMs = 10;
        ASSERT_TRUE(job.StartDownload());
        ASSERT_TRUE(view.RunUntilDone(120000));
        job.WaitForWorker();
        EXPECT_TRUE(view.DoneFailed());
        EXPECT_TRUE(StartsWith(job.ErrorText(), kFileError)) << job.ErrorText();
        EXPECT_NE(job.ErrorText().find(c.detail), std::string::npos) << job.ErrorText();
        EXPECT_EQ(seen_.runs, 0);
        EXPECT_EQ(PathExists(target_), c.kept);
        KeptDownload kept;
        EXPECT_EQ(ParseKeptRecord(ReadWholeFile(Record()), kept), c.kept);
        if (c.kept) {
            EXPECT_EQ(kept.url, job.downloadUrl);
            EXPECT_EQ(kept.received, 100000u);
            EXPECT_EQ(ReadWholeFile(target_), PatternBody(100000));
        }
        DeleteFileW(WidenText(target_).c_str());
        DeleteFileW(WidenText(Record()).c_str());
        EXPECT_EQ(vendor::RequestCount(target), 1 + kResumeAttempts);
        const std::vector<std::string> status = view.TextsOf(kStatusLabel);
        EXPECT_NE(std::find(status.begin(), status.end(), "连接中断，正在重试（第 5 次，共 5 次）…"),
                  status.end())
            << Joined(status);
    }
}

// What an earlier start left (a file and its record) goes on where the record,
// the file and the server all vouch for it: the first request asks for the
// rest, and the hash covers the kept bytes and the new ones. Anything else
// (another address or hash line, a record that is none, one without its file
// or a file without one, a file changed on the server, a range that does not
// fit) starts over from byte 0 without a question. Either way the package is
// installed whole and nothing stays behind.
TEST_F(DownloadTest, AKeptDownloadGoesOnOnlyWhereItsRecordAndTheServerVouchForIt)
{
    const std::uint32_t size = 400000;
    const std::string body = PatternBody(size);
    std::vector<std::uint8_t> hash;
    ASSERT_TRUE(HashOf(body, hash));
    const std::string hashLine = HexText(hash.data(), hash.size());
    const std::string tag = "\"pattern-400000-1\"";
    enum Kept { kRecordAndFile, kRecordOnly, kFileOnly };
    const struct {
        const char* name;
        Kept kept;
        std::string fileBytes;
        const char* recordUrlEnd;  // after the job's address
        std::string hashLine;
        std::string validator;
        std::uint64_t recordSize;
        std::string requests;  // status and first byte of each answer
    } cases[] = {
        {"as recorded", kRecordAndFile, body.substr(0, 150000), "", hashLine, tag, size,
         "[206 150000]"},
        {"longer than recorded", kRecordAndFile, body.substr(0, 150000) + std::string(30000, 'x'),
         "", hashLine, tag, size, "[206 150000]"},
        {"shorter than recorded", kRecordAndFile, body.substr(0, 149999), "", hashLine, tag, size,
         "[200 0]"},
        {"another address", kRecordAndFile, body.substr(0, 150000), "&other", hashLine, tag, size,
         "[200 0]"},
        {"another hash line", kRecordAndFile, body.substr(0, 150000), "", "", tag, size, "[200 0]"},
        {"changed on the server", kRecordAndFile, body.substr(0, 150000), "", hashLine,
         "\"pattern-400000-0\"", size, "[200 0]"},
        {"a range that does not fit", kRecordAndFile, body.substr(0, 150000), "", hashLine, tag,
         500000, "[206 150000][200 0]"},
        {"a range past the end", kRecordAndFile, std::string(450000, 'x'), "", hashLine, tag,
         500000, "[416 450000][200 0]"},
        {"a record without its file", kRecordOnly, "", "", hashLine, tag, size, "[200 0]"},
        {"a file without its record", kFileOnly, body.substr(0, 150000), "", hashLine, tag, size,
         "[200 0]"},
        {"a record that is none", kRecordAndFile, body.substr(0, 150000), "", hashLine, "W/\"1\"",
         size, "[200 0]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        seen_ = InstallSeen();
        TestView view;
        const std::string url = vendor::Url(
            Marked("/behave/ranged?size=400000&row=" + std::to_string(&c - cases)));
        KeptDownload record;
        record.url = url + c.recordUrlEnd;
        record.hashLine = c.hashLine;
        record.validator = c.validator;
        record.size = c.recordSize;
        record.received = c.kept == kRecordAndFile && c.fileBytes.size() == 450000 ? 450000 : 150000;
        const std::string text = FormatKeptRecord(record);
        if (c.kept != kFileOnly) {
            ASSERT_TRUE(WriteWholeFile(Record(), text.empty() ? "MrvTessaly kept download 1\n" : text));
        }
        if (c.kept != kRecordOnly) {
            ASSERT_TRUE(WriteWholeFile(target_, c.fileBytes));
        }
        CDownloadJob job(view, [this](HANDLE package, const std::string& path) {
            LookAtPackage(package, path, seen_);
            return true;
        });
        job.downloadUrl = url;
        job.targetPath = target_;
        job.keptRecordPath = Record();
        job.packageHash = hash;
        ASSERT_TRUE(job.StartDownload());
        ASSERT_TRUE(view.RunUntilDone(120000));
        job.WaitForWorker();
        EXPECT_FALSE(view.DoneFailed()) << job.ErrorText();
        EXPECT_TRUE(view.MessageBoxTexts().empty());
        EXPECT_EQ(seen_.runs, 1);
        EXPECT_EQ(seen_.size, size);
        EXPECT_TRUE(seen_.pattern);
        EXPECT_FALSE(PathExists(target_));
        EXPECT_FALSE(PathExists(Record()));
        const std::string target = url.substr(vendor::Url("").size());
        EXPECT_EQ(Answers(target), c.requests);
        if (c.requests == "[206 150000]") {
            std::vector<std::uint32_t> positions = view.ValuesOf(ViewChange::kPosition);
            positions.erase(std::remove(positions.begin(), positions.end(), 0u), positions.end());
            const std::vector<std::uint32_t> ranges = view.ValuesOf(ViewChange::kRange);
            ASSERT_FALSE(positions.empty());
            ASSERT_FALSE(ranges.empty());
            EXPECT_GE(std::uint64_t{positions.front()} * size, std::uint64_t{150000} * ranges.back())
                << "the bar does not go on from the kept bytes";
        }
    }
}

// A body that breaks off is asked for again: the rest of it where the first
// answer's validator (a strong ETag, else Last-Modified) vouches for it, else
// the whole of it into the emptied file. Either way the whole body is
// installed, its hash taken across the attempts, the bar never running
// backwards except after a restart, and the server sends no byte twice where
// it could resume.
TEST_F(DownloadTest, ABrokenBodyIsResumedOrRestartedAndInstalledWhole)
{
    const std::uint32_t size = 400000;
    const std::string body = PatternBody(size);
    std::vector<std::uint8_t> hash;
    ASSERT_TRUE(HashOf(body, hash));
    const struct {
        const char* query;
        long requests;
        long long sent;
        bool restarts;
    } cases[] = {
        {"drop=100000", 4, size, false},
        {"drop=100000&validator=date", 4, size, false},
        // A reset may throw away bytes that were sent: the count is the client's.
        {"drop=100000&drops=2&reset=1", -1, -1, false},
        {"drop=100000&drops=1&validator=none", 2, size + 100000, true},
        {"drop=100000&drops=2&ranges=0", 3, size + 200000, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        seen_ = InstallSeen();
        TestView view;
        const std::string target =
            Marked("/behave/ranged?size=" + std::to_string(size) + "&" + c.query);
        CDownloadJob job(view, [this](HANDLE package, const std::string& path) {
            LookAtPackage(package, path, seen_);
            return true;
        });
        job.downloadUrl = vendor::Url(target);
        job.targetPath = target_;
        job.packageHash = hash;
        job.firstResumePauseMs = 10;
        ASSERT_TRUE(job.StartDownload());
        ASSERT_TRUE(view.RunUntilDone(120000));
        job.WaitForWorker();
        EXPECT_FALSE(view.DoneFailed()) << job.ErrorText();
        EXPECT_EQ(seen_.runs, 1);
        EXPECT_EQ(seen_.size, size);
        EXPECT_TRUE(seen_.pattern);
        EXPECT_FALSE(PathExists(target_));
        if (c.requests > 0) {
            EXPECT_EQ(vendor::RequestCount(target), c.requests);
            EXPECT_EQ(vendor::SentBytes(target), c.sent);
        } else {
            EXPECT_GT(vendor::RequestCount(target), 1);
        }
        const std::vector<std::string> status = view.TextsOf(kStatusLabel);
        EXPECT_NE(std::find(status.begin(), status.end(), "连接中断，正在重试（第 1 次，共 5 次）…"),
                  status.end())
            << Joined(status);
        EXPECT_EQ(status.back(), "下载文件");
        const std::vector<std::uint32_t> positions = view.ValuesOf(ViewChange::kPosition);
        EXPECT_EQ(std::is_sorted(positions.begin(), positions.end()), !c.restarts);
    }
}

// The pause before an attempt ends at once when the user cancels: no
// message, no file, no further request.
TEST_F(DownloadTest, AnAbortWhileWaitingToRetryEndsAtOnce)
{
    const std::string target = Marked("/behave/ranged?size=400000&drop=100000");
    CDownloadJob& job = MakeJob(vendor::Url(target));
    job.firstResumePauseMs = 600000;
    job.keptRecordPath = Record();
    view_.onChange = [&](const ViewChange& change) {
        if (change.kind == ViewChange::kText && change.control == kStatusLabel &&
            StartsWith(change.text, "连接中断")) {
            job.RequestAbort();
        }
    };
    Download(job);
    EXPECT_FALSE(view_.DoneFailed());
    EXPECT_EQ(seen_.runs, 0);
    EXPECT_EQ(vendor::RequestCount(target), 1);
    EXPECT_FALSE(PathExists(target_));
    EXPECT_FALSE(PathExists(Record())) << "a cancel keeps nothing for the next start";
}

// A server that stops sending in the middle of the body fails that attempt
// within the receive time-out (with a generous margin for a slow machine).
TEST_F(DownloadTest, AStalledBodyFailsWithinTheReceiveTimeout)
{
    CDownloadJob& job = MakeJob(vendor::Url(Marked("/behave/stall?size=400000&after=100000")));
    job.resumeAttempts = 0;
    const DWORD begin = GetTickCount();
    Download(job);
    EXPECT_LT(GetTickCount() - begin, kReceiveTimeoutMs + 15000);
    ExpectFailure(kFileError);
}

// An abort while the worker waits for a server that has stopped answering
// (before its headers, or in the middle of its body) closes the request. Where
// WinInet cuts the wait short the worker ends at once, elsewhere (Wine) at the
// receive time-out; either way the end is an abort: no message, no file,
// nothing installed.
TEST_F(DownloadTest, AnAbortEndsAWorkerThatWaitsForASilentServer)
{
    for (const char* behaviour : {"/behave/silent", "/behave/stall?size=400000&after=100000"}) {
        SCOPED_TRACE(behaviour);
        TestView view;
        InstallSeen seen;
        CDownloadJob job(view, [&seen](HANDLE package, const std::string& path) {
            LookAtPackage(package, path, seen);
            return true;
        });
        const std::string target = Marked(behaviour);
        job.downloadUrl = vendor::Url(target);
        job.targetPath = target_;
        ASSERT_TRUE(job.StartDownload());
        ASSERT_TRUE(view.RunUntil([&] { return vendor::RequestCount(target) > 0; }, 30000));
        view.RunUntil([] { return false; }, 300);
        const DWORD begin = GetTickCount();
        job.RequestAbort();
        ASSERT_TRUE(view.RunUntilDone(kReceiveTimeoutMs + 15000));
        EXPECT_LT(GetTickCount() - begin, kReceiveTimeoutMs + 15000);
        job.WaitForWorker();
        EXPECT_FALSE(view.DoneFailed()) << job.ErrorText();
        EXPECT_EQ(seen.runs, 0);
        EXPECT_FALSE(PathExists(target_));
    }
}

// Once abort is requested, what WinInet still reports about the connection
// never reaches the status label.
TEST_F(DownloadTest, NoStatusTextFollowsTheAbort)
{
    CDownloadJob& job = MakeJob(vendor::Url(Marked("/behave/data?size=3000")));
    view_.onChange = [&](const ViewChange& change) {
        if (change.kind == ViewChange::kText && change.control == kStatusLabel) {
            job.RequestAbort();
        }
    };
    Download(job);
    EXPECT_EQ(view_.TextsOf(kStatusLabel).size(), 1u) << Joined(view_.TextsOf(kStatusLabel));
    EXPECT_FALSE(view_.DoneFailed());
    EXPECT_EQ(seen_.runs, 0);
    EXPECT_FALSE(PathExists(target_));
}

TEST_F(DownloadTest, ABodyLongerThanAnnouncedNeverShowsMoreThanTheWhole)
{
    CDownloadJob& job = MakeJob(vendor::Url(Marked("/behave/long?size=40000&announce=20000")));
    Download(job);
    EXPECT_FALSE(view_.DoneFailed()) << job.ErrorText();
    EXPECT_EQ(seen_.runs, 1);
    EXPECT_GE(seen_.size, 20000u);
    const std::vector<std::string> captions = view_.Captions();
    ASSERT_FALSE(captions.empty());
    EXPECT_TRUE(StartsWith(captions.back(), "100% ")) << captions.back();
    for (std::uint32_t position : view_.ValuesOf(ViewChange::kPosition)) {
        EXPECT_LE(position, 20u);
    }
    for (const std::string& left : view_.TextsOf(kTimeLeftLabel)) {
        EXPECT_NE(left.find(" 的 19.5 KB 复制)"), std::string::npos) << left;
        EXPECT_EQ(left.find("MB"), std::string::npos) << left;
    }
}

TEST_F(DownloadTest, AnAddressWithoutSchemeIsFetchedOverHttp)
{
    const std::string target = Marked("/behave/data?size=3000");
    const std::string address = "127.0.0.1:" + std::to_string(vendor::HttpPort()) + target;
    CDownloadJob& job = MakeJob(address);
    Download(job);
    ExpectInstalled(3000);
    EXPECT_EQ(job.downloadUrl, "http://" + address);
    EXPECT_EQ(vendor::RequestCount(target), 1);
}

// Each fails as it stands and again with "http://" before it (a text that
// parses once prefixed, such as "http://:80/x" as host "http", is fetched).
TEST_F(DownloadTest, AnAddressThatCannotBeParsedEndsTheWindowUntouched)
{
    for (const char* address : {"", "://x", "/download.php?key=11", ":80/x", "127.0.0.1:99999/x",
                                "127.0.0.1:0/x", "host:eighty/x", "[::1/x"}) {
        SCOPED_TRACE(address);
        TestView view;
        CDownloadJob job(view, [this](HANDLE package, const std::string& path) {
            LookAtPackage(package, path, seen_);
            return true;
        });
        job.downloadUrl = address;
        job.targetPath = target_;
        EXPECT_FALSE(job.StartDownload());
        EXPECT_TRUE(view.WindowEnded());
        EXPECT_FALSE(job.WorkerRunning());
        EXPECT_FALSE(PathExists(target_));
        EXPECT_TRUE(view.MessageBoxTexts().empty());
    }
    EXPECT_EQ(seen_.runs, 0);
}

TEST_F(DownloadTest, AnExistingTargetIsReplacedOnlyWhenTheUserSaysYes)
{
    ASSERT_TRUE(WriteWholeFile(target_, "old content"));
    const std::string question = "文件 '" + target_ + "' 已经存在！\n是否替换它?";

    view_.messageAnswer = IDNO;
    CDownloadJob& declined = MakeJob(vendor::Url(Marked("/behave/data?size=2000")));
    EXPECT_FALSE(declined.StartDownload());
    EXPECT_EQ(view_.MessageBoxTexts(), std::vector<std::string>{question});
    EXPECT_TRUE(view_.WindowEnded());
    EXPECT_EQ(ReadWholeFile(target_), "old content");
    EXPECT_EQ(vendor::RequestCount(Marked("/behave/data?size=2000")), 0);

    view_.messageAnswer = IDYES;
    CDownloadJob& accepted = MakeJob(vendor::Url(Marked("/behave/data?size=2000")));
    Download(accepted);
    EXPECT_EQ(view_.MessageBoxTexts().size(), 2u);
    ExpectInstalled(2000);
}

TEST_F(DownloadTest, ATargetThatCannotBeOpenedIsReportedAndEndsTheWindow)
{
    CDownloadJob& job = MakeJob(vendor::Url(Marked("/behave/data?size=2000")));
    job.targetPath = folder_ + "\\no such folder\\~download.tmp";
    view_.messageAnswer = IDOK;
    EXPECT_FALSE(job.StartDownload());
    const std::vector<std::string> messages = view_.MessageBoxTexts();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(StartsWith(messages[0], kFileError)) << messages[0];
    EXPECT_GT(messages[0].size(), std::string(kFileError).size() + 1);
    EXPECT_TRUE(view_.WindowEnded());
    EXPECT_EQ(vendor::RequestCount(Marked("/behave/data?size=2000")), 0);
}

// A kept download waits for a start that reaches its server: one that
// cannot loses none of its bytes.
TEST_F(DownloadTest, AServerThatCannotBeReachedFailsWithTheErrorNumber)
{
    const std::string url = "http://127.0.0.1:1/download.php?key=11";
    CDownloadJob& job = MakeJob(url);
    Download(job);
    ExpectFailure(kConnectError);
    EXPECT_EQ(job.ErrorText(), std::string(kConnectError) + "12029");

    KeptDownload record;
    record.url = url;
    record.validator = "\"kept-1\"";
    record.size = 400000;
    record.received = 150000;
    const std::string text = FormatKeptRecord(record);
    const std::string kept = PatternBody(150000);
    ASSERT_TRUE(WriteWholeFile(Record(), text));
    ASSERT_TRUE(WriteWholeFile(target_, kept));
    TestView view;
    CDownloadJob again(view, [](HANDLE, const std::string&) { return true; });
    again.downloadUrl = url;
    again.targetPath = target_;
    again.keptRecordPath = Record();
    ASSERT_TRUE(again.StartDownload());
    ASSERT_TRUE(view.RunUntilDone(120000));
    again.WaitForWorker();
    EXPECT_TRUE(view.DoneFailed());
    EXPECT_EQ(again.ErrorText(), std::string(kConnectError) + "12029");
    EXPECT_EQ(ReadWholeFile(target_), kept);
    EXPECT_EQ(ReadWholeFile(Record()), text);
}

TEST_F(DownloadTest, AnAbortBeforeTheTransferSendsNothingAndLeavesNoFile)
{
    const std::string target = Marked("/behave/data?size=2000");
    CDownloadJob& job = MakeJob(vendor::Url(target));
    job.RequestAbort();
    Download(job);
    EXPECT_FALSE(view_.DoneFailed());
    EXPECT_EQ(seen_.runs, 0);
    EXPECT_EQ(vendor::RequestCount(target), 0);
    EXPECT_FALSE(PathExists(target_));
}

TEST_F(DownloadTest, AnAbortDuringTheTransferStopsBeforeTheNextBlockAndDeletesTheFile)
{
    const std::string target = Marked("/behave/data?size=4000000&delay=20&block=65536");
    CDownloadJob& job = MakeJob(vendor::Url(target));
    std::size_t captionsAtAbort = 0;
    view_.onChange = [&](const ViewChange& change) {
        if (change.kind == ViewChange::kCaption && !job.AbortRequested()) {
            job.RequestAbort();
            captionsAtAbort = view_.Captions().size();
        }
    };
    Download(job);
    EXPECT_FALSE(view_.DoneFailed());
    EXPECT_EQ(captionsAtAbort, 1u);
    EXPECT_EQ(view_.Captions().size(), 1u);
    EXPECT_EQ(seen_.runs, 0);
    EXPECT_FALSE(PathExists(target_));
}

TEST_F(DownloadTest, TheLocalPackageIsInstalledWithoutTheNetwork)
{
    const std::string package = folder_ + "\\data.cab";
    ASSERT_TRUE(WriteWholeFile(package, vendor::PatternBytes(0, 5000)));
    const std::string target = Marked("/download.php?key=11");
    CDownloadJob& job = MakeJob(vendor::Url(target));
    job.localPackageMode = true;
    job.localPackagePath = package;
    Download(job);
    EXPECT_FALSE(view_.DoneFailed());
    EXPECT_EQ(seen_.runs, 1);
    EXPECT_EQ(seen_.path, package);
    EXPECT_EQ(seen_.size, 5000u);
    EXPECT_FALSE(PathExists(target_));
    EXPECT_TRUE(PathExists(package));
    EXPECT_EQ(vendor::RequestCount(target), 0);
}

TEST_F(DownloadTest, AFailedInstallStepFailsTheDownloadWithItsText)
{
    installText_ = "无法打开程序包";
    CDownloadJob& job = MakeJob(vendor::Url(Marked("/behave/data?size=3000")), false);
    Download(job);
    EXPECT_TRUE(view_.DoneFailed());
    EXPECT_EQ(job.ErrorText(), installText_);
    EXPECT_EQ(seen_.runs, 1);
    EXPECT_FALSE(PathExists(target_));
}

TEST_F(DownloadTest, AFailedInstallStepWithoutTextStillSaysSo)
{
    CDownloadJob& job = MakeJob(vendor::Url(Marked("/behave/data?size=3000")), false);
    Download(job);
    EXPECT_TRUE(view_.DoneFailed());
    EXPECT_EQ(job.ErrorText(), "安装程序包失败");
}

// Plays the person at the platform's credential dialog: the first edit field
// takes the user name, the password field the password.
void AnswerCredentials(HWND dialog, const char* user, const char* password, int button)
{
    std::vector<HWND> edits;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[16] = {};
        GetClassNameW(child, className, 16);
        if (lstrcmpiW(className, L"Edit") == 0) {
            edits.push_back(child);
        }
    }
    HWND userField = nullptr;
    HWND passwordField = nullptr;
    for (HWND edit : edits) {
        if (GetWindowLongW(edit, GWL_STYLE) & ES_PASSWORD) {
            passwordField = edit;
        } else if (userField == nullptr) {
            userField = edit;
        }
    }
    if (userField != nullptr && passwordField != nullptr) {
        SendMessageW(userField, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(WidenText(user).c_str()));
        SendMessageW(passwordField, WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(WidenText(password).c_str()));
    }
    PressDialogButton(dialog, button);
}

// Who asks for credentials (the server with 401, or the proxy with 407) and
// what the person at the platform's dialog does. Answered, the request goes
// again and the package arrives; refused, the answer stands as a failure and
// nothing is installed. A proxy that is refused never lets the request reach
// the server.
struct CredentialCase {
    const char* name;
    bool proxy;
    bool answered;
};

// Names the case in the test's name and its failures.
void PrintTo(const CredentialCase& c, std::ostream* out)
{
    *out << c.name;
}

const CredentialCase kCredentialCases[] = {
    {"ServerAnswered", false, true},
    {"ServerRefused", false, false},
    {"ProxyAnswered", true, true},
    {"ProxyRefused", true, false},
};

// The proxy that wants credentials is set for this test program alone (see
// vendor::UseHttpProxy) and taken by the download's preconfigured session.
class CredentialTest : public DownloadTest, public testing::WithParamInterface<CredentialCase> {
protected:
    void SetUp() override
    {
        DownloadTest::SetUp();
        if (GetParam().proxy) {
            ASSERT_TRUE(vendor::UseHttpProxy("http://" + vendor::ProxyAddress()));
        }
    }
    void TearDown() override
    {
        if (GetParam().proxy) {
            vendor::UseHttpProxy("");
        }
        DownloadTest::TearDown();
    }
};

TEST_P(CredentialTest, TheDialogsAnswerDecides)
{
    const CredentialCase& c = GetParam();
    const std::uint64_t size = c.proxy ? 7000 : 5000;
    const std::string target = Marked(c.proxy ? "/behave/data?size=7000"
                                              : "/behave/401?size=5000&realm=" + TestName());
    CDownloadJob& job = MakeJob(vendor::Url(target));
    int dialogs = 0;
    view_.onDialog = [&](HWND dialog) {
        ++dialogs;
        if (c.answered) {
            AnswerCredentials(dialog, vendor::kUser, vendor::kPassword, IDOK);
        } else {
            PressDialogButton(dialog, IDCANCEL);
        }
    };
    Download(job);
    EXPECT_EQ(dialogs, 1);
    if (c.answered) {
        ExpectInstalled(size);
    } else {
        ExpectFailure(kConnectFailed);
    }
    const long asked = c.proxy ? vendor::ProxyRequestCount(target) : vendor::RequestCount(target);
    EXPECT_EQ(asked >= 2, c.answered) << asked;
    if (c.proxy) {
        EXPECT_EQ(vendor::RequestCount(target), c.answered ? 1 : 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Credentials, CredentialTest, testing::ValuesIn(kCredentialCases),
                         [](const testing::TestParamInfo<CredentialCase>& row) {
                             return std::string(row.param.name);
                         });

// The setup program's requests name the vendor's own host, which resolves
// nowhere here; routed through the vendor server as a proxy, both the text
// fetch and the download reach it under that name.
class VendorRoutingTest : public DownloadTest {
protected:
    void SetUp() override
    {
        DownloadTest::SetUp();
        if (VendorUrl("").compare(0, 7, "http://") != 0) {
            GTEST_SKIP() << "the build's vendor server " << VendorUrl("")
                         << " is not plain http, which the open proxy forwards";
        }
        ASSERT_TRUE(vendor::RouteVendorHostToServer(true));
    }
    void TearDown() override
    {
        vendor::RouteVendorHostToServer(false);
        DownloadTest::TearDown();
    }
};

TEST_F(VendorRoutingTest, TheVendorHostReachesTheTestServer)
{
    const std::string version = VendorUrl(Marked("/download/MrvACAD.ver"));
    CWebSession session;
    std::string text;
    EXPECT_EQ(session.FetchText(version, text), kFetchOk);
    EXPECT_EQ(text, "2.2");
    EXPECT_EQ(vendor::RequestCount(version), 1);

    const std::string package = VendorUrl(Marked("/download.php?key=11"));
    CDownloadJob& job = MakeJob(package);
    Download(job);
    EXPECT_FALSE(view_.DoneFailed()) << job.ErrorText();
    EXPECT_EQ(seen_.runs, 1);
    EXPECT_GT(seen_.size, 0u);
    EXPECT_EQ(vendor::RequestCount(package), 1);

    ASSERT_TRUE(vendor::RouteVendorHostToServer(false));
    const std::string unrouted = VendorUrl(Marked("/download/MrvACAD.setup"));
    CWebSession direct;
    EXPECT_EQ(direct.FetchText(unrouted, text), kFetchCannotOpen);
    EXPECT_EQ(vendor::RequestCount(unrouted), 0);
}

TEST_F(DownloadTest, AnHttpsAddressIsFetchedOverTls)
{
    // The plain server cannot answer a TLS hello: fetched over TLS, this fails.
    CDownloadJob& plain = MakeJob("https://127.0.0.1:" + std::to_string(vendor::HttpPort()) +
                                  Marked("/behave/data?size=3000"));
    Download(plain);
    ExpectFailure(kConnectError);
}

// The server's own certificate, trusted by the Wine prefix for this user.
bool TrustVendorCertificate()
{
    const std::string pem = ReadWholeFile(vendor::CertificatePath());
    DWORD size = 0;
    if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                              nullptr, &size, nullptr, nullptr)) {
        return false;
    }
    std::vector<BYTE> der(size);
    if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                              der.data(), &size, nullptr, nullptr)) {
        return false;
    }
    HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER,
                                    L"Root");
    if (root == nullptr) {
        return false;
    }
    const BOOL added = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, der.data(), size,
                                                        CERT_STORE_ADD_USE_EXISTING, nullptr);
    CertCloseStore(root, 0);
    return added != FALSE;
}

TEST_F(DownloadTest, AnHttpsDownloadFromATrustedServerSucceeds)
{
    if (vendor::HttpsPort() == 0 || vendor::CertificatePath().empty()) {
        GTEST_SKIP() << "the vendor server runs without a certificate (no openssl on this machine)";
    }
    ASSERT_TRUE(TrustVendorCertificate());
    const std::string target = Marked("/behave/data?size=30000");
    CDownloadJob& job = MakeJob(vendor::SecureUrl(target));
    Download(job);
    ExpectInstalled(30000);
    EXPECT_EQ(vendor::RequestCount(target), 1);
}

// The range comes from the announced length before the first block; the abort
// at the first percent spares moving 70 MB (the bar's way to its end is the
// display's own test below). The body comes paced: Wine's WinInet, closing a
// request, reads whatever of its body has already arrived.
TEST_F(DownloadTest, ABodyAbove64MegabytesKeepsTheWholeBarRange)
{
    const std::uint32_t size = 70u * 1024u * 1024u + 700u;
    const std::string target = "/behave/data?delay=20&block=65536&size=" + std::to_string(size);
    CDownloadJob& job = MakeJob(vendor::Url(Marked(target)));
    view_.onChange = [&](const ViewChange& change) {
        if (change.kind == ViewChange::kPosition) {
            job.RequestAbort();
        }
    };
    Download(job);
    EXPECT_FALSE(view_.DoneFailed());
    EXPECT_EQ(view_.ValuesOf(ViewChange::kRange), std::vector<std::uint32_t>{71681u});
    EXPECT_EQ(view_.BarMaximum(), 71681u);
    const std::vector<std::uint32_t> positions = view_.ValuesOf(ViewChange::kPosition);
    ASSERT_EQ(positions.size(), 1u);
    EXPECT_GE(positions[0], size / 100 / 1024);
    EXPECT_LE(positions[0], size / 100 / 1024 + 64);
    EXPECT_EQ(seen_.runs, 0);
}

TEST(TransferDisplayTest, ABarAbove64MegabytesRunsToItsEnd)
{
    TestView view;
    const std::uint32_t size = 70u * 1024u * 1024u + 700u;
    CTransferDisplay display(view, "package.zip", [] { return 0u; });
    display.ReportSize(size);
    display.Start();
    for (std::uint64_t received = 1024; received < size; received += 1024) {
        display.UpdateTransferDisplay(received, true, size);
    }
    display.UpdateTransferDisplay(size, true, size);
    EXPECT_EQ(view.BarMaximum(), 71681u);
    EXPECT_EQ(view.BarPosition(), size / 1024);
    const std::vector<std::string> captions = view.Captions();
    ASSERT_EQ(captions.size(), 100u);
    EXPECT_EQ(captions.back(), "100% 的 package.zip 完成");
}

// After a break the bar and the percentage go on from the bytes already
// there, while the rate and the time left count only this attempt's bytes
// and time, the pause before it left out.
TEST(TransferDisplayTest, AResumedTransferGoesOnFromItsBytesAndTimesThisAttempt)
{
    TestView view;
    std::uint32_t now = 0;
    const std::uint32_t size = 1000000;
    CTransferDisplay display(view, "package.zip", [&now] { return now; });
    display.ReportSize(size);
    display.Start();
    now = 2000;
    display.UpdateTransferDisplay(500000, true, size);
    now = 30000;
    display.Resume(500000);
    now = 31001;
    display.UpdateTransferDisplay(600000, true, size);
    const std::vector<std::string> captions = view.Captions();
    ASSERT_EQ(captions.size(), 2u);
    EXPECT_EQ(captions.back(), "60% 的 package.zip 完成");
    EXPECT_EQ(view.BarPosition(), 600000u / 1024u);
    EXPECT_EQ(view.TextsOf(kRateLabel).back(), FormatTransferRate(100000.0 / 1001.0));
    EXPECT_EQ(view.TextsOf(kTimeLeftLabel).back(), FormatTimeLeftText(4, 600000, size));
}

// The window waits for the worker while the worker is sending it changes: the
// wait answers them, so both go on and the worker ends.
TEST_F(DownloadTest, WaitingForTheWorkerWhileItUpdatesTheWindowNeverDeadlocks)
{
    CDownloadJob& job =
        MakeJob(vendor::Url(Marked("/behave/slow?size=600000&delay=15&block=16384")));
    ASSERT_TRUE(job.StartDownload());
    ASSERT_TRUE(view_.RunUntil([&] { return view_.Captions().size() >= 2; }, 60000));
    const std::size_t before = view_.Captions().size();
    job.WaitForWorker();
    EXPECT_FALSE(job.WorkerRunning());
    const std::vector<std::string> captions = view_.Captions();
    EXPECT_GT(captions.size(), before);
    ASSERT_FALSE(captions.empty());
    EXPECT_TRUE(StartsWith(captions.back(), "100% ")) << captions.back();
    ASSERT_TRUE(view_.RunUntilDone(5000));
    ExpectInstalled(600000);
}

TEST_F(DownloadTest, ClosingDuringTheTransferWaitsForTheWorkerWithoutDeadlock)
{
    CDownloadJob& job = MakeJob(vendor::Url(Marked("/behave/slow?size=200000&delay=20")));
    ASSERT_TRUE(job.StartDownload());
    ASSERT_TRUE(view_.RunUntil([&] { return !view_.Captions().empty(); }, 60000));
    job.RequestAbort();
    job.WaitForWorker();
    ASSERT_TRUE(view_.RunUntilDone(5000));
    EXPECT_FALSE(view_.DoneFailed());
    EXPECT_EQ(seen_.runs, 0);
    EXPECT_FALSE(PathExists(target_));
}

TEST_F(DownloadTest, DestroyingTheJobWaitsForItsWorker)
{
    {
        CDownloadJob job(view_, [this](HANDLE package, const std::string& path) {
            LookAtPackage(package, path, seen_);
            return true;
        });
        job.downloadUrl = vendor::Url(Marked("/behave/slow?size=30000&delay=10"));
        job.targetPath = target_;
        ASSERT_TRUE(job.StartDownload());
    }
    ASSERT_TRUE(view_.RunUntilDone(5000));
    EXPECT_EQ(seen_.runs, 1);
    EXPECT_FALSE(PathExists(target_));
}

}  // namespace
