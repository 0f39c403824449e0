#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "archive/entry_record.h"

namespace {

std::uint64_t Ticks(const ArchiveFileTime& time)
{
    return (static_cast<std::uint64_t>(time.high) << 32) | time.low;
}

std::uint16_t DosDate(int year, int month, int day)
{
    return static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}

std::uint16_t DosTime(int hour, int minute, int second)
{
    return static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

TEST(EntryRecordTest, MapsExternalAttributesToWindowsAttributes)
{
    const struct {
        std::uint32_t external;
        std::uint32_t attributes;
    } cases[] = {
        {0x00000000, 0x81},                 // no Unix mode: read-only
        {0100644u << 16, 0x80},            // rw-r--r--
        {0100444u << 16, 0x81},            // r--r--r--
        {0x00000020, 0xA1},                 // MS-DOS archive bit, no Unix mode
        {(0100644u << 16) | 0x01, 0x81},   // MS-DOS read-only wins over the mode
        {(0100644u << 16) | 0x02, 0x82},
        {(0100644u << 16) | 0x04, 0x84},
        {(0100644u << 16) | 0x27, 0xA7},
        {0x00000010, 0x91},                 // MS-DOS folder
        {040755u << 16, 0x90},             // Unix folder
        {(040755u << 16) | 0x10, 0x90},
        {(040555u << 16) | 0x10, 0x91},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.external);
        EXPECT_EQ(MapEntryAttributes(c.external), c.attributes);
    }
}

TEST(EntryRecordTest, KnowsAUnixSymbolicLinkByHostAndFileType)
{
    constexpr std::uint32_t kUnix = (3 << 8) | 20;
    const struct {
        std::uint32_t madeBy;
        std::uint32_t external;
        bool link;
    } cases[] = {
        {kUnix, 0120777u << 16, true},
        {kUnix, (0120755u << 16) | 0x20, true},
        {kUnix, 0100644u << 16, false},
        {kUnix, 040755u << 16, false},
        {kUnix, 0140755u << 16, false},  // a socket shares the link's high bits
        {20, 0120777u << 16, false},     // MS-DOS host: those bits mean nothing
        {(19 << 8) | 20, 0120777u << 16, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.madeBy << " " << c.external);
        EXPECT_EQ(IsUnixLinkEntry(c.madeBy, c.external), c.link);
    }
}

TEST(EntryRecordTest, KnowsAFolderEntryByItsAttributeOrItsTrailingSlash)
{
    const struct {
        std::uint32_t attributes;
        const char* name;
        bool folder;
    } cases[] = {
        {kEntryDirectory, "bin", true},
        {0, "bin/", true},
        {0, "bin\\", true},
        {kEntryArchive, "bin/setup.exe", false},
        {0, "", false},
        {0, "\xDF\x5C", false},  // a double-byte character whose second byte is '\'
        {0, "\xDF\x5C/", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ArchiveEntry entry;
        entry.attributes = c.attributes;
        EXPECT_EQ(IsFolderEntry(entry, c.name), c.folder);
    }
}

TEST(EntryRecordTest, ConvertsDosDateAndTimeAsTheyAre)
{
    const struct {
        std::uint16_t date;
        std::uint16_t time;
        bool valid;
        std::uint64_t ticks;
    } cases[] = {
        {DosDate(1980, 1, 1), DosTime(0, 0, 0), true, 119600064000000000},
        {DosDate(2021, 6, 15), DosTime(10, 30, 42), true, 132682266420000000},
        {DosDate(2000, 2, 29), DosTime(23, 59, 58), true, 125963423980000000},
        {DosDate(2107, 12, 31), DosTime(23, 59, 58), true, 159992927980000000},
        {DosDate(1981, 2, 28), DosTime(12, 0, 2), true, 119966832020000000},
        {DosDate(1981, 2, 29), DosTime(12, 0, 0), false, 0},
        {DosDate(2100, 2, 29), DosTime(12, 0, 0), false, 0},
        {DosDate(2021, 4, 31), DosTime(12, 0, 0), false, 0},
        {DosDate(2021, 0, 10), DosTime(12, 0, 0), false, 0},
        {DosDate(2021, 13, 10), DosTime(12, 0, 0), false, 0},
        {DosDate(2021, 6, 0), DosTime(12, 0, 0), false, 0},
        {0, 0, false, 0},
        {DosDate(2021, 6, 15), DosTime(24, 0, 0), false, 0},
        {DosDate(2021, 6, 15), DosTime(12, 60, 0), false, 0},
        {DosDate(2021, 6, 15), static_cast<std::uint16_t>(DosTime(12, 0, 0) | 30), false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.date << " " << c.time);
        ArchiveFileTime time{7, 7};
        EXPECT_EQ(DosTimeToFileTime(c.date, c.time, time), c.valid);
        EXPECT_EQ(Ticks(time), c.valid ? c.ticks : Ticks(ArchiveFileTime{7, 7}));
    }
}

TEST(EntryRecordTest, ConvertsSignedUnixSeconds)
{
    const struct {
        std::int32_t seconds;
        std::uint64_t ticks;
    } cases[] = {
        {0, 116444736000000000},
        {1600000000, 132444736000000000},
        {-1, 116444735990000000},
        {INT32_MAX, 137919572470000000},
        {INT32_MIN, 94969899520000000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(Ticks(UnixTimeToFileTime(c.seconds)), c.ticks);
    }
}

using Bytes = std::vector<unsigned char>;

Bytes Block(char id0, char id1, std::uint16_t size, const Bytes& data)
{
    Bytes block = {static_cast<unsigned char>(id0), static_cast<unsigned char>(id1),
                   static_cast<unsigned char>(size & 0xFF), static_cast<unsigned char>(size >> 8)};
    block.insert(block.end(), data.begin(), data.end());
    return block;
}

Bytes Seconds(std::int32_t value)
{
    const std::uint32_t bits = static_cast<std::uint32_t>(value);
    return {static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
            static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 24)};
}

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes joined;
    for (const Bytes& part : parts) {
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

Bytes Timestamp(unsigned char flags, std::initializer_list<std::int32_t> times, int size = -1)
{
    Bytes data = {flags};
    for (std::int32_t t : times) {
        const Bytes value = Seconds(t);
        data.insert(data.end(), value.begin(), value.end());
    }
    const std::uint16_t declared = static_cast<std::uint16_t>(size < 0 ? data.size() : size);
    return Block('U', 'T', declared, data);
}

Bytes Cut(Bytes bytes, std::size_t length)
{
    bytes.resize(length);
    return bytes;
}

// Each field is handed over in a buffer of exactly its length, so the
// sanitizer sees any read past its end.
TEST(EntryRecordTest, TakesTimesFromTheFirstExtendedTimestampBlock)
{
    constexpr std::int32_t kWrite = 1600000000;
    constexpr std::int32_t kAccess = 1610000000;
    constexpr std::int32_t kCreation = 1500000000;
    constexpr std::int32_t kOld = 0;  // a time left as it was
    const Bytes ownerBlock = Block('u', 'x', 11, {1, 4, 0xE8, 3, 0, 0, 4, 0xE8, 3, 0, 0});
    const struct {
        const char* what;
        Bytes field;
        std::int32_t write;
        std::int32_t access;
        std::int32_t creation;
    } cases[] = {
        {"write only", Timestamp(1, {kWrite}), kWrite, kOld, kOld},
        {"all three", Timestamp(7, {kWrite, kAccess, kCreation}), kWrite, kAccess, kCreation},
        {"access only", Timestamp(2, {kAccess}), kOld, kAccess, kOld},
        {"access and creation", Timestamp(6, {kAccess, kCreation}), kOld, kAccess, kCreation},
        {"after another block", Join({ownerBlock, Timestamp(1, {kWrite})}), kWrite, kOld, kOld},
        {"flags promise more than the block holds",
         Join({Timestamp(7, {kWrite}, 5), Block('\xFE', '\xCA', 8, Bytes(8, 0xFF))}), kWrite, kOld,
         kOld},
        {"field ends inside the block", Cut(Timestamp(7, {kWrite, kAccess, kCreation}), 11), kWrite,
         kOld, kOld},
        {"flags without times", Timestamp(1, {}), kOld, kOld, kOld},
        {"header only", Bytes{'U', 'T', 0, 0}, kOld, kOld, kOld},
        {"empty", Bytes{}, kOld, kOld, kOld},
        {"another block runs past the field", Join({Block('z', 'z', 200, {1, 2, 3}),
                                                    Timestamp(1, {kWrite})}),
         kOld, kOld, kOld},
        {"only the first block counts",
         Join({Timestamp(1, {kWrite}), Timestamp(7, {kAccess, kAccess, kAccess})}), kWrite, kOld,
         kOld},
        {"empty first block ends the walk", Join({Timestamp(0, {}, 0), Timestamp(1, {kWrite})}),
         kOld, kOld, kOld},
        {"block header cut by the field's end", Join({ownerBlock, Bytes{'U', 'T', 5}}), kOld, kOld,
         kOld},
        {"zero-size blocks are stepped over",
         Join({Block('a', 'b', 0, {}), Block('c', 'd', 0, {}), Timestamp(1, {kWrite})}), kWrite,
         kOld, kOld},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ArchiveEntry entry;
        entry.writeTime = entry.accessTime = entry.creationTime = UnixTimeToFileTime(kOld);
        const Bytes field = c.field;
        ApplyExtendedTimestamp(field.empty() ? nullptr : field.data(), field.size(), entry);
        EXPECT_EQ(Ticks(entry.writeTime), Ticks(UnixTimeToFileTime(c.write)));
        EXPECT_EQ(Ticks(entry.accessTime), Ticks(UnixTimeToFileTime(c.access)));
        EXPECT_EQ(Ticks(entry.creationTime), Ticks(UnixTimeToFileTime(c.creation)));
    }
}

TEST(EntryRecordTest, KeepsNamesWithinTheRecordField)
{
    const std::string wide = "名";  // two bytes in code page 936
    std::string doubleByteNames = "d/";
    for (int i = 0; i < 150; ++i) {
        doubleByteNames += wide;
    }
    const struct {
        const char* what;
        std::string stored;
        std::string kept;
    } cases[] = {
        {"short", "docs/readme.txt", "docs/readme.txt"},
        {"exactly 259 bytes", std::string(259, 'a'), std::string(259, 'a')},
        {"260 bytes", std::string(260, 'a'), std::string(259, 'a')},
        {"300 bytes", std::string(300, 'a'), std::string(259, 'a')},
        {"cut before a double-byte character", doubleByteNames, doubleByteNames.substr(0, 258)},
        {"zero byte ends the name", std::string("safe.txt\0../../evil", 19), "safe.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(RecordName(c.stored), c.kept);
        // A record whose name is not the stored one says so: its name must
        // never be written as though it were the entry's.
        EntryFacts facts;
        facts.name = c.stored;
        ArchiveEntry entry;
        FillEntryRecord(0, facts, entry);
        EXPECT_EQ(entry.nameCut, c.kept != c.stored);
    }
}

TEST(EntryRecordTest, FillsEveryFieldOfTheRecord)
{
    EntryFacts facts;
    facts.name = "docs/readme.txt";
    facts.externalAttributes = 0x20;
    facts.dosDateTime = (static_cast<std::uint32_t>(DosDate(2021, 6, 15)) << 16) |
                        DosTime(10, 30, 42);
    facts.compressedSize = 4668;
    facts.uncompressedSize = 66000;
    const Bytes timestamp = Timestamp(1, {1600000000});
    facts.localExtraField.assign(timestamp.begin(), timestamp.end());

    ArchiveEntry entry;
    entry.name[200] = 'x';
    FillEntryRecord(4, facts, entry);
    EXPECT_EQ(entry.index, 4);
    EXPECT_STREQ(entry.name, "docs/readme.txt");
    EXPECT_EQ(entry.name[200], '\0');
    EXPECT_EQ(entry.attributes, 0xA1u);
    EXPECT_EQ(Ticks(entry.writeTime), 132444736000000000u);
    EXPECT_EQ(Ticks(entry.accessTime), 132682266420000000u);
    EXPECT_EQ(Ticks(entry.creationTime), 132682266420000000u);
    EXPECT_EQ(entry.compressedSize, 4668u);
    EXPECT_EQ(entry.uncompressedSize, 66000u);
    EXPECT_FALSE(entry.link);

    facts.versionMadeBy = (3 << 8) | 20;
    facts.externalAttributes = 0120777u << 16;
    facts.uncompressedSize = 0x100000000u;
    FillEntryRecord(4, facts, entry);
    EXPECT_TRUE(entry.link);
    EXPECT_EQ(entry.uncompressedSize, 0xFFFFFFFFu);
    EXPECT_EQ(entry.uncompressedSize64, 0x100000000u) << "the free-space sum takes the whole size";

    facts.dosDateTime = 0;
    facts.localExtraField.clear();
    FillEntryRecord(0, facts, entry);
    EXPECT_EQ(Ticks(entry.writeTime), 0u) << "a stamp that names no moment sets no time";
    EXPECT_EQ(Ticks(entry.accessTime), 0u);
    EXPECT_EQ(Ticks(entry.creationTime), 0u);
}

}  // namespace
