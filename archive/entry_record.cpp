#include "archive/entry_record.h"

#include <algorithm>
#include <cstring>

#include "util/cp936.h"

namespace {

constexpr std::uint32_t kUnixDirectory = 0x40000000;
constexpr std::uint32_t kUnixOwnerWrite = 0x00800000;
constexpr std::uint32_t kUnixFileType = 0170000u << 16;
constexpr std::uint32_t kUnixLink = 0120000u << 16;
constexpr std::uint32_t kHostUnix = 3;

constexpr std::uint64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;

constexpr unsigned char kTimestampId0 = 0x55;  // 'U'
constexpr unsigned char kTimestampId1 = 0x54;  // 'T'
constexpr std::size_t kBlockHeader = 4;
constexpr std::size_t kTimeValue = 4;

ArchiveFileTime FromTicks(std::uint64_t ticks)
{
    ArchiveFileTime time;
    time.low = static_cast<std::uint32_t>(ticks & 0xFFFFFFFFu);
    time.high = static_cast<std::uint32_t>(ticks >> 32);
    return time;
}

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1601-01-01 to the given date of the proleptic Gregorian calendar.
std::int64_t DaysSince1601(int year, int month, int day)
{
    const std::int64_t yearsBefore = year - 1601;
    std::int64_t days = yearsBefore * 365 + yearsBefore / 4 - yearsBefore / 100 + yearsBefore / 400;
    for (int m = 1; m < month; ++m) {
        days += DaysInMonth(year, m);
    }
    return days + day - 1;
}

std::uint16_t ReadLittle16(const unsigned char* bytes)
{
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

std::int32_t ReadLittle32(const unsigned char* bytes)
{
    const std::uint32_t value = static_cast<std::uint32_t>(bytes[0]) |
                                (static_cast<std::uint32_t>(bytes[1]) << 8) |
                                (static_cast<std::uint32_t>(bytes[2]) << 16) |
                                (static_cast<std::uint32_t>(bytes[3]) << 24);
    return static_cast<std::int32_t>(value);
}

// Reads the times of one "UT" block whose data spans [data, data + size).
void ReadTimestampBlock(const unsigned char* data, std::size_t size, ArchiveEntry& entry)
{
    if (size < 1) {
        return;
    }
    const unsigned flags = data[0];
    std::size_t offset = 1;
    ArchiveFileTime* const targets[] = {&entry.writeTime, &entry.accessTime, &entry.creationTime};
    for (unsigned bit = 0; bit < 3; ++bit) {
        if ((flags & (1u << bit)) == 0) {
            continue;
        }
        if (size - offset < kTimeValue) {
            return;
        }
        *targets[bit] = UnixTimeToFileTime(ReadLittle32(data + offset));
        offset += kTimeValue;
    }
}

// A size beyond the record's 32 bits reads as 0xFFFFFFFF, the value that the
// central directory itself holds for it.
std::uint32_t RecordSize(std::uint64_t size)
{
    return size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(size);
}

}  // namespace

std::uint32_t MapEntryAttributes(std::uint32_t externalAttributes)
{
    std::uint32_t attributes = kEntryNormal;
    if ((externalAttributes & kUnixDirectory) != 0 ||
        (externalAttributes & kEntryDirectory) != 0) {
        attributes = kEntryDirectory | kEntryNormal;
    }
    if ((externalAttributes & kEntryArchive) != 0) {
        attributes |= kEntryArchive;
    }
    if ((externalAttributes & kEntryHidden) != 0) {
        attributes |= kEntryHidden;
    }
    if ((externalAttributes & kUnixOwnerWrite) == 0 ||
        (externalAttributes & kEntryReadOnly) != 0) {
        attributes |= kEntryReadOnly;
    }
    if ((externalAttributes & kEntrySystem) != 0) {
        attributes |= kEntrySystem;
    }
    return attributes;
}

bool IsFolderEntry(const ArchiveEntry& entry, const std::string& name)
{
    return (entry.attributes & kEntryDirectory) != 0 ||
           (!name.empty() && FindLastOf936(name, "\\/") == name.size() - 1);
}

bool IsUnixLinkEntry(std::uint32_t versionMadeBy, std::uint32_t externalAttributes)
{
    return ((versionMadeBy >> 8) & 0xFFu) == kHostUnix &&
           (externalAttributes & kUnixFileType) == kUnixLink;
}

bool DosTimeToFileTime(std::uint16_t date, std::uint16_t time, ArchiveFileTime& fileTime)
{
    const int year = 1980 + (date >> 9);
    const int month = (date >> 5) & 0x0F;
    const int day = date & 0x1F;
    const int hour = time >> 11;
    const int minute = (time >> 5) & 0x3F;
    const int second = (time & 0x1F) * 2;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59) {
        return false;
    }
    const std::int64_t seconds =
        DaysSince1601(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    fileTime = FromTicks(static_cast<std::uint64_t>(seconds) * kTicksPerSecond);
    return true;
}

ArchiveFileTime UnixTimeToFileTime(std::int32_t seconds)
{
    // Every signed 32-bit count lands after 1601 in whole seconds, so the
    // platform's round trip through SYSTEMTIME with the milliseconds cleared
    // would give the same value back.
    const std::int64_t since1601 = static_cast<std::int64_t>(seconds) + kSecondsFrom1601To1970;
    return FromTicks(static_cast<std::uint64_t>(since1601) * kTicksPerSecond);
}

void ApplyExtendedTimestamp(const unsigned char* field, std::size_t length, ArchiveEntry& entry)
{
    if (field == nullptr || length <= kBlockHeader) {
        return;
    }
    std::size_t start = 0;
    while (start + kBlockHeader < length) {
        const std::size_t dataSize = ReadLittle16(field + start + 2);
        const std::size_t dataStart = start + kBlockHeader;
        if (field[start] == kTimestampId0 && field[start + 1] == kTimestampId1) {
            ReadTimestampBlock(field + dataStart, std::min(dataSize, length - dataStart), entry);
            return;
        }
        start = dataStart + dataSize;
    }
}

std::string RecordName(const std::string& storedName)
{
    const std::size_t zero = storedName.find('\0');
    return CutText936(storedName.substr(0, zero), kMaxEntryName);
}

void FillEntryRecord(int index, const EntryFacts& facts, ArchiveEntry& entry)
{
    entry = ArchiveEntry();
    entry.index = index;
    const std::string name = RecordName(facts.name);
    std::memcpy(entry.name, name.data(), name.size());
    entry.name[name.size()] = '\0';
    entry.nameCut = name.size() != facts.name.size();
    entry.attributes = MapEntryAttributes(facts.externalAttributes);

    ArchiveFileTime stamp;
    if (DosTimeToFileTime(static_cast<std::uint16_t>(facts.dosDateTime >> 16),
                          static_cast<std::uint16_t>(facts.dosDateTime & 0xFFFFu), stamp)) {
        entry.accessTime = stamp;
        entry.creationTime = stamp;
        entry.writeTime = stamp;
    }
    ApplyExtendedTimestamp(reinterpret_cast<const unsigned char*>(facts.localExtraField.data()),
                           facts.localExtraField.size(), entry);

    entry.link = IsUnixLinkEntry(facts.versionMadeBy, facts.externalAttributes);
    entry.compressedSize = RecordSize(facts.compressedSize);
    entry.uncompressedSize = RecordSize(facts.uncompressedSize);
    entry.uncompressedSize64 = facts.uncompressedSize;
}
