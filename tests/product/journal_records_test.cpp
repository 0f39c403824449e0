#include "product/journal_records.h"

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

namespace {

// "運" is DF 5C in code page 936: a trail byte that looks like a backslash.
const std::vector<JournalRecord> kInstall = {
    {kJournalHeader, "C:\\Program Files\\Morvane\\MrvACAD", ""},
    {kJournalFolder, "C:\\Program Files\\Morvane\\MrvACAD\\運", ""},
    {kJournalAdded, "C:\\Program Files\\Morvane\\MrvACAD\\運\\新.txt", ""},
    {kJournalReplaced, "C:\\Program Files\\Morvane\\MrvACAD\\Sys\\a b.dll", "Sys\\a b.dll"},
    {kJournalAdded, "", ""},
};

std::string JournalText(const std::vector<JournalRecord>& records)
{
    std::string text;
    for (const JournalRecord& record : records) {
        text += FormatJournalRecord(record);
    }
    return text;
}

void ExpectRecords(const std::vector<JournalRecord>& actual, std::size_t count, const char* what)
{
    ASSERT_EQ(actual.size(), count) << what;
    for (std::size_t i = 0; i < count; ++i) {
        EXPECT_EQ(actual[i].kind, kInstall[i].kind) << what << " #" << i;
        EXPECT_EQ(actual[i].path, kInstall[i].path) << what << " #" << i;
        EXPECT_EQ(actual[i].backupName, kInstall[i].backupName) << what << " #" << i;
    }
}

TEST(JournalRecordsTest, ReadsWhatWasWrittenUpToTheFirstDamage)
{
    const std::string whole = JournalText(kInstall);
    const std::string lastStart = JournalText({kInstall.begin(), kInstall.end() - 1});
    std::string flipped = whole;
    flipped[lastStart.size() - 6] ^= 0x01;  // inside the fourth record's CRC
    std::string changedPath = whole;
    changedPath[whole.find("Sys")] = 's';
    char lineBreak[32];  // a record that no write makes, with a CRC that fits
    std::snprintf(lineBreak, sizeof lineBreak, "A\tC:\\a\nb\t%08lx\r\n",
                  crc32(0L, reinterpret_cast<const Bytef*>("A\tC:\\a\nb"), 8));
    const struct {
        const char* what;
        std::string text;
        bool complete;
        std::size_t records;
    } cases[] = {
        {"whole journal", whole, true, 5},
        {"empty journal", "", true, 0},
        {"cut inside the last record", whole.substr(0, whole.size() - 5), false, 4},
        {"cut between CR and LF", whole.substr(0, whole.size() - 1), false, 4},
        {"cut right after a record", lastStart, true, 4},
        {"a damaged CRC drops that record and the rest", flipped, false, 3},
        {"a changed path fails its CRC", changedPath, false, 3},
        {"zero bytes of a preallocated tail", whole + std::string(16, '\0'), false, 5},
        {"unknown kind", whole + "X\tC:\\x\t00000000\r\n", false, 5},
        {"a line break in a field, though its CRC fits", whole + lineBreak, false, 5},
    };
    for (const auto& c : cases) {
        std::vector<JournalRecord> records;
        EXPECT_EQ(ParseJournal(c.text, records), c.complete) << c.what;
        ExpectRecords(records, c.records, c.what);
    }
}

TEST(JournalRecordsTest, RefusesRecordsItCouldNotReadBack)
{
    const JournalRecord refused[] = {
        {kJournalAdded, "C:\\a\tb", ""},
        {kJournalAdded, "C:\\a\r\nb", ""},
        {kJournalReplaced, "C:\\a", "b\nc"},
        {'X', "C:\\a", ""},
    };
    for (const JournalRecord& record : refused) {
        EXPECT_EQ(FormatJournalRecord(record), "") << record.path;
    }
}

}  // namespace
