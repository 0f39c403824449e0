#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "net/resume_rules.h"

namespace {

constexpr char kTag[] = "\"v1-1000000\"";
constexpr char kDate[] = "Tue, 01 Dec 2026 10:00:00 GMT";

TEST(ResumeRulesTest, PausesDoubleFromTheFirst)
{
    EXPECT_EQ(ResumePauseMs(kFirstResumePauseMs, 1), 1000u);
    EXPECT_EQ(ResumePauseMs(kFirstResumePauseMs, 2), 2000u);
    EXPECT_EQ(ResumePauseMs(kFirstResumePauseMs, kResumeAttempts), 16000u);
    EXPECT_EQ(ResumePauseMs(0x80000000u, 3), UINT32_MAX);
}

// Each row: the bytes on disk at successive breaks, and the attempt each
// break gets (0: the download fails there).
TEST(ResumeRulesTest, OnlyBreaksWithoutHeadwaySpendTheAttempts)
{
    const struct {
        const char* name;
        std::vector<std::uint64_t> breaks;
        std::vector<int> attempts;
    } cases[] = {
        {"the same byte every time", {100, 100, 100, 100, 100, 100}, {1, 2, 3, 4, 5, 0}},
        {"starting over every time", {100, 0, 100, 0, 100, 100}, {1, 2, 3, 4, 5, 0}},
        {"a little further each time", {100, 200, 300, 400, 500, 600, 700}, {1, 1, 1, 1, 1, 1, 1}},
        {"headway after two breaks", {100, 100, 100, 150, 150}, {1, 2, 3, 1, 2}},
        {"broken before the first byte", {0, 0, 0, 0, 0, 0}, {1, 2, 3, 4, 5, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CAttemptCount count(kResumeAttempts);
        std::vector<int> made;
        for (const std::uint64_t received : c.breaks) {
            made.push_back(count.NextAfterBreak(received));
        }
        EXPECT_EQ(made, c.attempts);
    }
    EXPECT_EQ(CAttemptCount(0).NextAfterBreak(100), 0);
}

TEST(ResumeRulesTest, OnlyAStrongTagOrADateValidatesARange)
{
    const struct {
        const char* etag;
        const char* lastModified;
        const char* validator;
    } cases[] = {
        {kTag, kDate, kTag},
        {kTag, "", kTag},
        {"W/\"v1\"", kDate, kDate},
        {"W/\"v1\"", "", ""},
        {"v1", "", ""},
        {"\"", kDate, kDate},
        {"", kDate, kDate},
        {"", "", ""},
        {"\"v1\"\r\nX-Evil: 1\"", kDate, kDate},
        {"", "Tue\r\nX-Evil: 1", ""},
        {"\"v\x80\"", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.etag) + "|" + c.lastModified);
        EXPECT_EQ(ResumeValidator(c.etag, c.lastModified), c.validator);
    }
}

TEST(ResumeRulesTest, ContentRangesAreReadStrictly)
{
    const struct {
        const char* text;
        bool valid;
        std::uint64_t first, last, total;
    } cases[] = {
        {"bytes 100-999/1000", true, 100, 999, 1000},
        {"bytes 0-0/1", true, 0, 0, 1},
        {"bytes 4294967296-4294967299/4294967300", true, 4294967296u, 4294967299u, 4294967300u},
        {"bytes 100-1000/1000", false, 0, 0, 0},
        {"bytes 200-100/1000", false, 0, 0, 0},
        {"bytes 100-999/*", false, 0, 0, 0},
        {"bytes */1000", false, 0, 0, 0},
        {"bytes 100-999/1000 ", false, 0, 0, 0},
        {"bytes -100-999/1000", false, 0, 0, 0},
        {"items 100-999/1000", false, 0, 0, 0},
        {"bytes 99999999999999999999-1/2", false, 0, 0, 0},
        {"", false, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::uint64_t first = 0, last = 0, total = 0;
        EXPECT_EQ(ParseContentRange(c.text, first, last, total), c.valid);
        if (c.valid) {
            EXPECT_EQ(first, c.first);
            EXPECT_EQ(last, c.last);
            EXPECT_EQ(total, c.total);
        }
    }
}

TEST(ResumeRulesTest, ARangeIsAskedOnlyForTheRestOfAKnownValidatedFile)
{
    const struct {
        std::uint64_t received;
        bool sizeKnown;
        std::uint64_t size;
        const char* validator;
        bool asks;
    } cases[] = {
        {400, true, 1000, kTag, true},
        {400, true, 1000, kDate, true},
        {0, true, 1000, kTag, false},
        {400, false, 0, kTag, false},
        {400, true, 1000, "", false},
        {1000, true, 1000, kTag, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.received);
        ResumePoint point;
        point.received = c.received;
        point.sizeKnown = c.sizeKnown;
        point.size = c.size;
        point.validator = c.validator;
        EXPECT_EQ(AsksForRange(point), c.asks) << c.validator;
    }
}

// The rest is appended only when the answer is exactly the missing bytes of
// the very file begun; a whole file starts over with its own body; a range
// that does not fit starts over at the next attempt; other statuses fail.
TEST(ResumeRulesTest, TheRepeatAnswerDecidesBetweenAppendRestartAndFail)
{
    const struct {
        const char* name;
        const char* validator;
        bool askedRange;
        unsigned status;
        const char* contentRange;
        const char* etag;
        const char* lastModified;
        ResumeStep step;
    } cases[] = {
        {"the rest, same tag", kTag, true, 206, "bytes 400-999/1000", kTag, "", ResumeStep::kAppend},
        {"the rest, same date", kDate, true, 206, "bytes 400-999/1000", "", kDate,
         ResumeStep::kAppend},
        {"the rest, date with a new tag", kDate, true, 206, "bytes 400-999/1000", "\"x\"", kDate,
         ResumeStep::kAppend},
        {"ranges ignored", kTag, true, 200, "", kTag, "", ResumeStep::kRestartWithBody},
        {"file changed", kTag, true, 200, "", "\"v2\"", "", ResumeStep::kRestartWithBody},
        {"whole file asked", kTag, false, 200, "", kTag, "", ResumeStep::kRestartWithBody},
        {"206 with another tag", kTag, true, 206, "bytes 400-999/1000", "\"v2\"", "",
         ResumeStep::kRestartNextAttempt},
        {"206 without tag", kTag, true, 206, "bytes 400-999/1000", "", kDate,
         ResumeStep::kRestartNextAttempt},
        {"206 with another date", kDate, true, 206, "bytes 400-999/1000", "",
         "Wed, 02 Dec 2026 10:00:00 GMT", ResumeStep::kRestartNextAttempt},
        {"206 from elsewhere", kTag, true, 206, "bytes 0-999/1000", kTag, "",
         ResumeStep::kRestartNextAttempt},
        {"206 short of the end", kTag, true, 206, "bytes 400-899/1000", kTag, "",
         ResumeStep::kRestartNextAttempt},
        {"206 of another length", kTag, true, 206, "bytes 400-1999/2000", kTag, "",
         ResumeStep::kRestartNextAttempt},
        {"206 without range", kTag, true, 206, "", kTag, "", ResumeStep::kRestartNextAttempt},
        {"206 not asked for", kTag, false, 206, "bytes 400-999/1000", kTag, "",
         ResumeStep::kRestartNextAttempt},
        {"not found", kTag, true, 404, "", "", "", ResumeStep::kFail},
        {"range refused", kTag, true, 416, "bytes */1000", "", "", ResumeStep::kFail},
        {"server error", kTag, true, 500, "", "", "", ResumeStep::kFail},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResumePoint point;
        point.received = 400;
        point.sizeKnown = true;
        point.size = 1000;
        point.validator = c.validator;
        RepeatAnswer answer;
        answer.status = c.status;
        answer.contentRange = c.contentRange;
        answer.etag = c.etag;
        answer.lastModified = c.lastModified;
        EXPECT_EQ(JudgeRepeatAnswer(point, c.askedRange, answer), c.step);
    }
}

}  // namespace
