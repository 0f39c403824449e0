#pragma once
// ZIP packages, read through minizip: a handle-based interface whose every
// operation leaves its result code where ArchiveLastError() returns it.
#include <cstdint>
#include <string>

#include "util/unique_resource.h"

// Result codes.
enum ArchiveResult : std::int32_t {
    kArchiveOk = 0,
    kArchiveDuplicateFailed = 0x100,
    kArchiveOpenFailed = 0x200,
    kArchiveWriteFailed = 0x400,
    kArchiveBufferFull = 0x600,
    kArchiveBadLocalHeader = 0x700,
    kArchiveBadExtraField = 0x800,
    kArchiveBadArgument = 0x10000,
    kArchiveNotForReading = 0x80000,
    kArchiveNotDiskFile = 0x2000000,
    kArchiveInflateFailed = 0x5000000,
    kArchiveNoDirectory = -1,
    kArchiveBadDirectory = -103,
};

// Source and target kinds.
enum ArchiveKind : int {
    kArchiveFileHandle = 1,  // an open file handle
    kArchiveFileName = 2,    // a file name (code page 936)
    kArchiveMemory = 3,      // a memory block and its length
    kArchiveFileName4 = 4,   // as 2 for targets; refused as a source
};

// A Windows FILETIME, kept as its two halves so the record needs no platform header.
struct ArchiveFileTime {
    std::uint32_t low = 0;
    std::uint32_t high = 0;
};

struct ArchiveEntry {
    std::int32_t index = 0;  // for the request -1: the number of entries
    char name[260] = {};     // as stored, at most 259 bytes, zero-terminated
    std::uint32_t attributes = 0;
    ArchiveFileTime accessTime;
    ArchiveFileTime creationTime;
    ArchiveFileTime writeTime;
    std::uint32_t compressedSize = 0;    // 0xFFFFFFFF from 4 GB on
    std::uint32_t uncompressedSize = 0;  // 0xFFFFFFFF from 4 GB on
    std::uint64_t uncompressedSize64 = 0;  // the whole size, also from 4 GB on
    bool link = false;  // a symbolic link stored by a Unix host: no file of a package
    // The stored name holds a zero byte or is longer than `name` takes: `name`
    // is not the entry's name, and writing it would put another file in place.
    bool nameCut = false;
};

struct ArchiveHandle;

// `source` is a HANDLE*, a zero-terminated file name or a memory block, by `kind`.
ArchiveHandle* OpenArchive(const void* source, std::uint32_t length, ArchiveKind kind);
void GetArchiveEntry(ArchiveHandle* archive, int index, ArchiveEntry& entry);
// `target` is a HANDLE*, a zero-terminated file name or a buffer, by `kind`.
void ExtractArchiveEntry(ArchiveHandle* archive, int index, void* target, std::uint32_t length,
                         ArchiveKind kind);
ArchiveResult CloseArchive(ArchiveHandle* archive);
// The result of the calling thread's last operation.
ArchiveResult ArchiveLastError();

namespace handle_traits {

// Closing keeps the thread's last result, as the system handles' owners keep
// the last error.
struct Archive {
    using Handle = ArchiveHandle*;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle archive) noexcept;
};

}  // namespace handle_traits

using UniqueArchive = UniqueResource<handle_traits::Archive>;

// Creates base + every folder level of `path` ('/' or '\' separated), in order;
// a level that cannot be created (one that exists, say) is passed over. False,
// creating nothing, for a path that could leave `base` (absolute, a drive or
// stream, a ".." component: see IsSafeEntryName) or whose base + path exceeds
// 259 bytes.
bool EnsureFolderPath(const std::string& base, const std::string& path);
