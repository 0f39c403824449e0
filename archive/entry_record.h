#pragma once
// The record a caller receives for one archive entry: its name, Windows
// attributes derived from the external attributes, and times from the DOS
// stamp and the "UT" (extended timestamp) block of the local extra field.
// Platform-free, so the same mapping is tested natively and fuzzed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/archive.h"

// Windows file attribute bits, without the platform header.
constexpr std::uint32_t kEntryReadOnly = 0x01;
constexpr std::uint32_t kEntryHidden = 0x02;
constexpr std::uint32_t kEntrySystem = 0x04;
constexpr std::uint32_t kEntryDirectory = 0x10;
constexpr std::uint32_t kEntryArchive = 0x20;
constexpr std::uint32_t kEntryNormal = 0x80;

// Longest entry name a record keeps, in bytes (a 260-byte field with its terminator).
constexpr std::size_t kMaxEntryName = 259;

// What the central directory and the local extra field say about one entry.
struct EntryFacts {
    std::string name;  // as stored
    std::uint32_t versionMadeBy = 0;  // the host system in the high byte
    std::uint32_t externalAttributes = 0;
    std::uint32_t dosDateTime = 0;  // date in the high 16 bits, time in the low 16
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;
    std::string localExtraField;
};

// Windows attributes of an entry from its external attributes: the low byte
// holds the MS-DOS bits, the high 16 bits the Unix mode.
std::uint32_t MapEntryAttributes(std::uint32_t externalAttributes);

// True for an entry that a Unix host stored as a symbolic link (file type
// 0120000 in the mode of the high 16 bits): its data is the link's target.
bool IsUnixLinkEntry(std::uint32_t versionMadeBy, std::uint32_t externalAttributes);

// A folder entry: by its attribute, or, from tools that write no attributes,
// by the trailing slash of its name (`name` as the record holds it).
bool IsFolderEntry(const ArchiveEntry& entry, const std::string& name);

// The FILETIME of a DOS date and time, taken as they are (no local/UTC
// conversion). False, leaving `fileTime` alone, for a date or time that names
// no real moment (month 13, 30 February, 25 o'clock ...).
bool DosTimeToFileTime(std::uint16_t date, std::uint16_t time, ArchiveFileTime& fileTime);

// The FILETIME of a signed count of seconds since 1970-01-01 00:00 UTC.
ArchiveFileTime UnixTimeToFileTime(std::int32_t seconds);

// Takes the times of the first "UT" block of a local extra field into `entry`:
// the write time (flags bit 0), the access time (bit 1), the creation time
// (bit 2), each present only when its four bytes lie inside both the block and
// the field. Nothing outside the field is read.
void ApplyExtendedTimestamp(const unsigned char* field, std::size_t length, ArchiveEntry& entry);

// The entry's name cut to kMaxEntryName bytes at its first zero byte or before,
// never inside a double-byte character.
std::string RecordName(const std::string& storedName);

// Fills every field of `entry` for the entry at `index`.
void FillEntryRecord(int index, const EntryFacts& facts, ArchiveEntry& entry);
