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

namespace {

const char kHash[] = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";

KeptDownload SampleKept()
{
    KeptDownload kept;
    kept.url = "http://www.morvane.example/download.php?key=11";
    kept.hashLine = kHash;
    kept.validator = kTag;
    kept.size = 1000000;
    kept.received = 65536;
    return kept;
}

std::string SampleRecordText()
{
    return std::string("MrvTessaly kept download 1\n"
                       "url=http://www.morvane.example/download.php?key=11\n"
                       "hash=") +
           kHash + "\nvalidator=" + kTag + "\nsize=1000000\nreceived=65536\n";
}

}  // namespace

// What the program writes reads back as it was; everything else, down to a
// byte, is no record at all and leaves the one read before untouched.
TEST(ResumeRulesTest, AKeptRecordIsReadOnlyAsItWasWritten)
{
    const std::string good = SampleRecordText();
    ASSERT_EQ(FormatKeptRecord(SampleKept()), good);
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const struct {
        const char* name;
        std::string text;
        bool valid;
    } cases[] = {
        {"as written", good, true},
        {"no hash line", replaced(std::string("hash=") + kHash, "hash="), true},
        {"a date as validator", replaced(kTag, kDate), true},
        {"nothing received yet", replaced("received=65536", "received=0"), true},
        {"empty", "", false},
        {"no final line break", good.substr(0, good.size() - 1), false},
        {"a line after the last", good + "x=1\n", false},
        {"carriage returns", replaced("\nsize", "\r\nsize"), false},
        {"another header", replaced("download 1", "download 2"), false},
        {"keys in another order", replaced("size=1000000\nreceived=65536", "received=65536\nsize=1000000"), false},
        {"a key missing", replaced("size=1000000\n", ""), false},
        {"a blank before the value", replaced("size=1000000", "size= 1000000"), false},
        {"no address", replaced("url=http://www.morvane.example/download.php?key=11", "url="), false},
        {"a tab in the address", replaced("?key", "\t?key"), false},
        {"a short hash", replaced(kHash, std::string(kHash).substr(1)), false},
        {"an upper-case hash", replaced("9f86", "9F86"), false},
        {"a tag cut short", replaced(kTag, "\"v1"), false},
        {"a byte outside ASCII in the validator", replaced(kTag, "\"v\x80\""), false},
        {"no validator", replaced(kTag, ""), false},
        {"a leading zero", replaced("received=65536", "received=065536"), false},
        {"a sign", replaced("received=65536", "received=+65536"), false},
        {"a number past 64 bits", replaced("received=65536", "received=99999999999999999999"), false},
        {"a size past 32 bits", replaced("size=1000000", "size=4294967296"), false},
        {"all received", replaced("received=65536", "received=1000000"), false},
        {"more than announced", replaced("received=65536", "received=1000001"), false},
        {"no size", replaced("size=1000000", "size=0"), false},
        {"too long", replaced("key=11", "key=11&" + std::string(kKeptRecordMaxBytes, 'a')), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        KeptDownload read;
        read.url = "before";
        EXPECT_EQ(ParseKeptRecord(c.text, read), c.valid);
        if (!c.valid) {
            EXPECT_EQ(read.url, "before");
        }
    }
    KeptDownload read;
    ASSERT_TRUE(ParseKeptRecord(good, read));
    EXPECT_EQ(read.url, SampleKept().url);
    EXPECT_EQ(read.hashLine, kHash);
    EXPECT_EQ(read.validator, kTag);
    EXPECT_EQ(read.size, 1000000u);
    EXPECT_EQ(read.received, 65536u);

    KeptDownload unwritable = SampleKept();
    unwritable.url += "\r\nreceived=999999";
    EXPECT_EQ(FormatKeptRecord(unwritable), "");
    unwritable = SampleKept();
    unwritable.url += std::string(kKeptRecordMaxBytes, 'a');
    EXPECT_EQ(FormatKeptRecord(unwritable), "");
}

TEST(ResumeRulesTest, OnlyTheSameDownloadGoesOnWithAKeptFile)
{
    const KeptDownload kept = SampleKept();
    const struct {
        const char* name;
        std::string url;
        std::string hashLine;
        std::uint64_t fileLength;
        bool matches;
    } cases[] = {
        {"the same, file as recorded", kept.url, kHash, 65536, true},
        {"the file longer than recorded", kept.url, kHash, 200000, true},
        {"the file shorter than recorded", kept.url, kHash, 65535, false},
        {"another address", kept.url + "2", kHash, 65536, false},
        {"another hash line", kept.url, std::string(64, '0'), 65536, false},
        {"the hash line gone", kept.url, "", 65536, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MatchesKeptDownload(kept, c.url, c.hashLine, c.fileLength), c.matches);
    }
    KeptDownload none = kept;
    none.received = 0;
    EXPECT_FALSE(MatchesKeptDownload(none, kept.url, kHash, 65536));
}
