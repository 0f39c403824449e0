#pragma once
// One open ZIP archive, read through minizip over a source of our own. Free of
// platform calls: the Windows layer hands in a file source, tests and the
// fuzzer a memory block.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "archive/archive.h"
#include "archive/entry_record.h"
#include "util/unique_resource.h"

namespace handle_traits {

// minizip's archive handle (unzFile), closed with unzClose.
struct ZipArchive {
    using Handle = void*;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle zip) noexcept;
};

}  // namespace handle_traits

// Where an archive's bytes come from. Positions count from the archive's start.
class ZipSource {
public:
    virtual ~ZipSource() = default;
    // False when the length cannot be known (a source that cannot seek).
    virtual bool Length(std::uint64_t& length) = 0;
    // Copies up to `size` bytes from `position`; the number copied (short only
    // at the end of the source), or -1 when the source cannot be read there.
    virtual std::int64_t ReadAt(std::uint64_t position, void* buffer, std::size_t size) = 0;
};

// A memory block that the caller keeps alive while the archive is open.
class MemorySource : public ZipSource {
public:
    MemorySource(const void* data, std::size_t length);
    bool Length(std::uint64_t& length) override;
    std::int64_t ReadAt(std::uint64_t position, void* buffer, std::size_t size) override;

private:
    const unsigned char* data_;
    std::size_t length_;
};

// The position minizip reads at, kept apart from the source so the source
// stays a plain random-access reader.
struct SourceStream {
    ZipSource* source = nullptr;
    std::uint64_t length = 0;
    std::uint64_t position = 0;
    bool failed = false;
};

class ZipReader {
public:
    // `baseFolder` is the folder that folders are created under, with its
    // trailing backslash.
    ZipReader(std::unique_ptr<ZipSource> source, std::string baseFolder);
    ~ZipReader();
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    // Reads the archive's directory and checks every central header in it:
    // kArchiveOk, kArchiveNoDirectory or kArchiveBadDirectory.
    ArchiveResult Open();

    int EntryCount() const { return count_; }
    const std::string& BaseFolder() const { return baseFolder_; }

    // The record of the entry at `index` (0..count-1), or for -1 the count.
    // Ends any streaming; the record of the last index asked for is cached.
    ArchiveResult ReadRecord(int index, ArchiveEntry& entry);

    // Opens an entry's data for reading: kArchiveOk, kArchiveBadLocalHeader,
    // kArchiveWriteFailed for an encrypted entry (never delivered as if it
    // were plain), kArchiveNoDirectory when the directory cannot be read.
    ArchiveResult OpenEntryData(int index);
    // The next bytes of the open entry: a count above 0, 0 at the end of the
    // data (a damaged compressed stream ends it early), -1 on a read failure.
    long ReadEntryData(void* buffer, std::uint32_t size);
    // Ends the reading. True when every byte the directory announced arrived
    // and its CRC-32 matched.
    bool CloseEntryData();

    // Extraction to memory, one buffer at a time: kArchiveBufferFull while
    // bytes were delivered, then kArchiveOk once the entry is complete, or
    // kArchiveInflateFailed when it was damaged or unreadable.
    ArchiveResult ReadPiece(int index, void* buffer, std::uint32_t length);
    void EndStreaming();

private:
    bool MoveTo(int index);
    void ReleaseHeader();
    bool ReadFacts(EntryFacts& facts, std::uint32_t& flags, std::uint32_t& method);
    ArchiveResult ReadLocalExtraField(std::string& extra);
    ArchiveResult ClassifyDirectory();

    std::unique_ptr<ZipSource> source_;
    SourceStream stream_;
    std::string baseFolder_;
    UniqueResource<handle_traits::ZipArchive> zip_;
    int count_ = 0;
    int current_ = -1;

    int streamingIndex_ = -1;
    int cachedIndex_ = -1;
    ArchiveEntry cachedEntry_;
    // The entry whose local header ReadRecord opened and left open, -1 for
    // none: extracting the entry that was just looked at opens it only once.
    int headerOpenIndex_ = -1;

    bool entryOpen_ = false;
    bool entryDamaged_ = false;
    bool entryReadFailed_ = false;
    std::uint64_t entryDelivered_ = 0;
    std::uint64_t entryExpected_ = 0;
};
