#include "net/resume_rules.h"

#include <vector>

namespace {

constexpr unsigned kStatusOk = 200;
constexpr unsigned kStatusPartial = 206;

bool ParseDecimal(const std::string& text, std::size_t& at, std::uint64_t& value)
{
    const std::size_t begin = at;
    value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        if (value > (UINT64_MAX - 9) / 10) {
            return false;
        }
        value = value * 10 + static_cast<std::uint64_t>(text[at] - '0');
        ++at;
    }
    return at > begin;
}

// The answer's validator of the same kind as the one that was sent.
const std::string& AnsweredValidator(const ResumePoint& point, const RepeatAnswer& answer)
{
    return point.validator.compare(0, 1, "\"") == 0 ? answer.etag : answer.lastModified;
}

// A value that goes back into a request header as it came: printable ASCII only.
bool IsHeaderSafe(const std::string& text)
{
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7e) {
            return false;
        }
    }
    return true;
}

const char kKeptRecordHeader[] = "MrvTessaly kept download 1";
const char* const kKeptRecordKeys[] = {"url=", "hash=", "validator=", "size=", "received="};
constexpr std::size_t kKeptRecordLines = 1 + sizeof kKeptRecordKeys / sizeof kKeptRecordKeys[0];
constexpr std::size_t kHashDigits = 64;

// Decimal digits as FormatKeptRecord writes them: no sign, no leading zero,
// nothing around them, and a value that fits.
bool ParseRecordNumber(const std::string& text, std::uint64_t& value)
{
    if (text.empty() || (text.size() > 1 && text[0] == '0')) {
        return false;
    }
    std::size_t at = 0;
    return ParseDecimal(text, at, value) && at == text.size();
}

// An address goes into the record as one line: no control character in it.
bool IsOneLineText(const std::string& text)
{
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) == 0x7f) {
            return false;
        }
    }
    return true;
}

bool IsHashLine(const std::string& text)
{
    if (text.empty()) {
        return true;
    }
    if (text.size() != kHashDigits) {
        return false;
    }
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

// Only what ResumeValidator gives: a strong ETag or a Last-Modified.
bool IsValidator(const std::string& text)
{
    return !text.empty() && (ResumeValidator(text, std::string()) == text ||
                             ResumeValidator(std::string(), text) == text);
}

// The record's lines without their line breaks; false unless there are
// exactly as many as it has and the last one ends the text.
bool SplitRecordLines(const std::string& text, std::vector<std::string>& lines)
{
    if (text.size() > kKeptRecordMaxBytes || text.empty() || text.back() != '\n') {
        return false;
    }
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t end = text.find('\n', begin);
        lines.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return lines.size() == kKeptRecordLines;
}

}  // namespace

std::uint32_t ResumePauseMs(std::uint32_t firstPauseMs, int attempt)
{
    std::uint64_t pause = firstPauseMs;
    for (int i = 1; i < attempt && pause < UINT32_MAX; ++i) {
        pause *= 2;
    }
    return pause > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(pause);
}

int CAttemptCount::NextAfterBreak(std::uint64_t received)
{
    if (received > furthest_) {
        furthest_ = received;
        made_ = 0;
    }
    if (made_ >= attempts_) {
        return 0;
    }
    return ++made_;
}

std::string ResumeValidator(const std::string& etag, const std::string& lastModified)
{
    if (etag.size() >= 2 && etag.front() == '"' && etag.back() == '"' && IsHeaderSafe(etag)) {
        return etag;
    }
    return IsHeaderSafe(lastModified) && lastModified.compare(0, 1, "\"") != 0 ? lastModified
                                                                              : std::string();
}

bool ParseContentRange(const std::string& text, std::uint64_t& first, std::uint64_t& last,
                       std::uint64_t& total)
{
    const std::string unit = "bytes ";
    if (text.compare(0, unit.size(), unit) != 0) {
        return false;
    }
    std::size_t at = unit.size();
    if (!ParseDecimal(text, at, first) || at >= text.size() || text[at++] != '-' ||
        !ParseDecimal(text, at, last) || at >= text.size() || text[at++] != '/' ||
        !ParseDecimal(text, at, total) || at != text.size()) {
        return false;
    }
    return first <= last && last < total;
}

bool AsksForRange(const ResumePoint& point)
{
    return point.received > 0 && point.sizeKnown && point.received < point.size &&
           !point.validator.empty();
}

ResumeStep JudgeRepeatAnswer(const ResumePoint& point, bool askedRange, const RepeatAnswer& answer)
{
    if (answer.status == kStatusOk) {
        return ResumeStep::kRestartWithBody;
    }
    if (answer.status != kStatusPartial) {
        return ResumeStep::kFail;
    }
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    std::uint64_t total = 0;
    const bool fits = askedRange && ParseContentRange(answer.contentRange, first, last, total) &&
                      first == point.received && last + 1 == point.size && total == point.size &&
                      AnsweredValidator(point, answer) == point.validator;
    return fits ? ResumeStep::kAppend : ResumeStep::kRestartNextAttempt;
}

std::string FormatKeptRecord(const KeptDownload& record)
{
    const std::string values[] = {record.url, record.hashLine, record.validator,
                                  std::to_string(record.size), std::to_string(record.received)};
    std::string text = std::string(kKeptRecordHeader) + "\n";
    for (std::size_t i = 0; i + 1 < kKeptRecordLines; ++i) {
        text += kKeptRecordKeys[i] + values[i] + "\n";
    }
    KeptDownload readBack;
    return ParseKeptRecord(text, readBack) ? text : std::string();
}

bool ParseKeptRecord(const std::string& text, KeptDownload& record)
{
    std::vector<std::string> lines;
    if (!SplitRecordLines(text, lines) || lines[0] != kKeptRecordHeader) {
        return false;
    }
    std::string values[kKeptRecordLines - 1];
    for (std::size_t i = 0; i + 1 < kKeptRecordLines; ++i) {
        const std::string key = kKeptRecordKeys[i];
        if (lines[i + 1].compare(0, key.size(), key) != 0) {
            return false;
        }
        values[i] = lines[i + 1].substr(key.size());
    }
    KeptDownload read;
    read.url = values[0];
    read.hashLine = values[1];
    read.validator = values[2];
    if (read.url.empty() || !IsOneLineText(read.url) || !IsHashLine(read.hashLine) ||
        !IsValidator(read.validator) || !ParseRecordNumber(values[3], read.size) ||
        !ParseRecordNumber(values[4], read.received) || read.size > UINT32_MAX ||
        read.received >= read.size) {
        return false;
    }
    record = read;
    return true;
}

bool MatchesKeptDownload(const KeptDownload& record, const std::string& url,
                         const std::string& hashLine, std::uint64_t fileLength)
{
    return record.url == url && record.hashLine == hashLine && record.received > 0 &&
           fileLength >= record.received;
}
