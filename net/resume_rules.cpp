#include "net/resume_rules.h"

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
