#pragma once
// When a package download breaks off part way, what the next request may do:
// go on from the bytes already on disk, start the file over, or give up. No
// platform call: the worker asks these rules and carries out the answer.
#include <cstddef>
#include <cstdint>
#include <string>

// The attempts after the first request; the pause before attempt n (from 1)
// is the first pause doubled n - 1 times.
constexpr int kResumeAttempts = 5;
constexpr std::uint32_t kFirstResumePauseMs = 1000;
std::uint32_t ResumePauseMs(std::uint32_t firstPauseMs, int attempt);

// Counts the attempts after breaks. A link that drops now and then must not
// spend them on a large file: a break after the file got further than ever
// before starts the count again, so only breaks without headway (a server
// that starts over each time, or one that stops at the same byte) use it up.
class CAttemptCount {
public:
    explicit CAttemptCount(int attempts) : attempts_(attempts) {}
    // The attempt (from 1) to make after a break with `received` bytes on
    // disk; 0 when none is left.
    int NextAfterBreak(std::uint64_t received);

private:
    int attempts_;
    int made_ = 0;
    std::uint64_t furthest_ = 0;
};

// The If-Range value that proves the rest comes from the same file: the
// first answer's ETag when it is a strong one (a weak ETag may not validate a
// range), else its Last-Modified; empty when it gave neither, and then no
// range is asked for: the bytes already there could belong to another file.
// A value with anything but printable ASCII is none: it would go back into a
// request header.
std::string ResumeValidator(const std::string& etag, const std::string& lastModified);

// "bytes FIRST-LAST/TOTAL" with decimal numbers, LAST < TOTAL, FIRST <= LAST.
bool ParseContentRange(const std::string& text, std::uint64_t& first, std::uint64_t& last,
                       std::uint64_t& total);

// What the worker knows of the file when it asks again.
struct ResumePoint {
    std::uint64_t received = 0;  // bytes on disk and hashed
    bool sizeKnown = false;      // the first answer announced its length
    std::uint64_t size = 0;
    std::string validator;       // ResumeValidator of the first answer
};

// Whether the next request asks for the rest or for the whole file.
bool AsksForRange(const ResumePoint& point);

// The answer to a repeated request, as far as these rules look at it.
struct RepeatAnswer {
    unsigned status = 0;
    std::string contentRange;  // empty when the answer had none
    std::string etag;
    std::string lastModified;
};

enum class ResumeStep {
    kAppend,            // 206 for exactly the missing bytes of the same file
    kRestartWithBody,   // 200: this answer is the whole file; empty the file, hash anew
    kRestartNextAttempt,  // a range that does not fit or from another file: empty the
                          // file and ask for the whole one at the next attempt
    kFail,              // any other status: no retry mends it
};
ResumeStep JudgeRepeatAnswer(const ResumePoint& point, bool askedRange, const RepeatAnswer& answer);

// A download that broke off for good (its attempts spent, or the program
// killed or the machine stopped while it ran) leaves its file and this record
// beside it, so that the next start of the program can go on from there. The
// record is read back as hostile text: bounded, parsed strictly, and anything
// it does not prove sends the download back to byte 0.
struct KeptDownload {
    std::string url;
    std::string hashLine;          // the package's SHA-256 in lower-case hex; empty: none named
    std::string validator;         // ResumeValidator of the answer the bytes came from
    std::uint64_t size = 0;        // the length that answer announced
    std::uint64_t received = 0;    // bytes on disk, made durable before the record was written
};

// No record is longer; one with a longer address is not kept.
constexpr std::size_t kKeptRecordMaxBytes = 4096;

// The record as text; empty when it would exceed kKeptRecordMaxBytes or
// could not be read back as it is (a line break in the address).
std::string FormatKeptRecord(const KeptDownload& record);
// False, with `record` unchanged, for anything FormatKeptRecord cannot have
// written for a download that is worth going on with.
bool ParseKeptRecord(const std::string& text, KeptDownload& record);

// Whether the kept download is this one's: the same address and hash line,
// some bytes to go on from, and a file that still holds them (a longer one is
// cut to the record; a shorter one lost what the record vouches for).
bool MatchesKeptDownload(const KeptDownload& record, const std::string& url,
                         const std::string& hashLine, std::uint64_t fileLength);
