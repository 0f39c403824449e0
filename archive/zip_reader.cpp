#include "archive/zip_reader.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>
#include <vector>

#include <unzip.h>

namespace {

constexpr std::uint32_t kEncryptedFlag = 0x0001;
constexpr std::uint32_t kStored = 0;
constexpr std::uint32_t kDeflated = 8;

// ---- minizip's input functions over a SourceStream ----

voidpf OpenStream(voidpf opaque, const void*, int)
{
    return opaque;
}

uLong ReadStream(voidpf, voidpf stream, void* buffer, uLong size)
{
    SourceStream& s = *static_cast<SourceStream*>(stream);
    const std::int64_t got = s.source->ReadAt(s.position, buffer, size);
    if (got < 0) {
        s.failed = true;
        return 0;
    }
    s.position += static_cast<std::uint64_t>(got);
    // minizip asks whether a short read was an error; past the end it is, or
    // a truncated header would be taken for one made of the bytes before it.
    s.failed = static_cast<uLong>(got) < size;
    return static_cast<uLong>(got);
}

uLong WriteStream(voidpf, voidpf, const void*, uLong)
{
    return 0;
}

ZPOS64_T TellStream(voidpf, voidpf stream)
{
    return static_cast<const SourceStream*>(stream)->position;
}

long SeekStream(voidpf, voidpf stream, ZPOS64_T offset, int origin)
{
    SourceStream& s = *static_cast<SourceStream*>(stream);
    std::uint64_t from = 0;
    if (origin == ZLIB_FILEFUNC_SEEK_CUR) {
        from = s.position;
    } else if (origin == ZLIB_FILEFUNC_SEEK_END) {
        from = s.length;
    } else if (origin != ZLIB_FILEFUNC_SEEK_SET) {
        return -1;
    }
    if (offset > s.length || from > s.length - offset) {
        return -1;
    }
    s.position = from + offset;
    return 0;
}

int CloseStream(voidpf, voidpf)
{
    return 0;
}

int StreamError(voidpf, voidpf stream)
{
    return static_cast<const SourceStream*>(stream)->failed ? 1 : 0;
}

// ---- why minizip refused to open an archive ----
//
// unzOpen2_64 answers only with null. Its verdict is rebuilt here from the same
// bytes in the same order: no end record, or a read that fails, is an input
// error (-1); a multi-disk archive, or a directory that does not end where the
// end record begins, is a damaged archive (-103). As in minizip, a later read
// failure overrides an earlier verdict.

constexpr std::uint64_t kMaxComment = 0xFFFF;
constexpr std::size_t kSearchBlock = 0x400;

class FieldCursor {
public:
    FieldCursor(ZipSource& source, std::uint64_t position) : source_(source), position_(position) {}

    // A little-endian field of `size` bytes; 0 and false when it cannot be read.
    bool Read(std::size_t size, std::uint64_t& value)
    {
        unsigned char bytes[8] = {};
        const std::int64_t got = source_.ReadAt(position_, bytes, size);
        value = 0;
        if (got != static_cast<std::int64_t>(size)) {
            position_ = UINT64_MAX;
            return false;
        }
        position_ += size;
        for (std::size_t i = size; i-- > 0;) {
            value = (value << 8) | bytes[i];
        }
        return true;
    }

private:
    ZipSource& source_;
    std::uint64_t position_;
};

// The position of the last `signature` in the archive's final 64 KB, as
// minizip searches for it; 0 when there is none (or it is at the very start).
std::uint64_t FindSignatureFromEnd(ZipSource& source, std::uint64_t length, std::uint32_t signature)
{
    const std::uint64_t maxBack = length < kMaxComment ? length : kMaxComment;
    std::vector<unsigned char> block(kSearchBlock + 4);
    std::uint64_t back = 4;
    while (back < maxBack) {
        back = back + kSearchBlock > maxBack ? maxBack : back + kSearchBlock;
        const std::uint64_t readPosition = length - back;
        const std::size_t readSize =
            static_cast<std::size_t>(std::min<std::uint64_t>(kSearchBlock + 4, length - readPosition));
        if (source.ReadAt(readPosition, block.data(), readSize) !=
            static_cast<std::int64_t>(readSize)) {
            return 0;
        }
        for (std::size_t i = readSize - 3; i-- > 0;) {
            const std::uint32_t found = static_cast<std::uint32_t>(block[i]) |
                                        (static_cast<std::uint32_t>(block[i + 1]) << 8) |
                                        (static_cast<std::uint32_t>(block[i + 2]) << 16) |
                                        (static_cast<std::uint32_t>(block[i + 3]) << 24);
            if (found == signature) {
                return readPosition + i;
            }
        }
    }
    return 0;
}

// The zip64 end record that a zip64 locator points to, as minizip accepts it; 0 when none.
std::uint64_t FindZip64End(ZipSource& source, std::uint64_t length)
{
    const std::uint64_t locator = FindSignatureFromEnd(source, length, 0x07064b50);
    if (locator == 0) {
        return 0;
    }
    FieldCursor cursor(source, locator);
    std::uint64_t value = 0;
    std::uint64_t endRecord = 0;
    if (!cursor.Read(4, value) || !cursor.Read(4, value) || value != 0 ||
        !cursor.Read(8, endRecord) || !cursor.Read(4, value) || value != 1 || endRecord > length) {
        return 0;
    }
    FieldCursor record(source, endRecord);
    return record.Read(4, value) && value == 0x06064b50 ? endRecord : 0;
}

ArchiveResult ClassifyUnopenedArchive(ZipSource& source, std::uint64_t length)
{
    enum class Verdict { kOk, kInputError, kDamaged };
    Verdict verdict = Verdict::kOk;
    const auto read = [&verdict](FieldCursor& cursor, std::size_t size, std::uint64_t& value) {
        if (!cursor.Read(size, value)) {
            verdict = Verdict::kInputError;
        }
    };

    std::uint64_t centralPosition = FindZip64End(source, length);
    const bool zip64 = centralPosition != 0;
    if (!zip64) {
        centralPosition = FindSignatureFromEnd(source, length, 0x06054b50);
        if (centralPosition == 0) {
            return kArchiveNoDirectory;
        }
    }
    const std::size_t countSize = zip64 ? 8 : 2;
    const std::size_t diskSize = zip64 ? 4 : 2;
    const std::size_t offsetSize = zip64 ? 8 : 4;

    FieldCursor cursor(source, centralPosition);
    std::uint64_t unused = 0;
    std::uint64_t disk = 0;
    std::uint64_t directoryDisk = 0;
    std::uint64_t entriesHere = 0;
    std::uint64_t entries = 0;
    std::uint64_t directorySize = 0;
    std::uint64_t directoryOffset = 0;
    read(cursor, 4, unused);
    if (zip64) {
        read(cursor, 8, unused);
        read(cursor, 2, unused);
        read(cursor, 2, unused);
    }
    read(cursor, diskSize, disk);
    read(cursor, diskSize, directoryDisk);
    read(cursor, countSize, entriesHere);
    read(cursor, countSize, entries);
    if (entries != entriesHere || directoryDisk != 0 || disk != 0) {
        verdict = Verdict::kDamaged;
    }
    read(cursor, offsetSize, directorySize);
    read(cursor, offsetSize, directoryOffset);
    if (!zip64) {
        read(cursor, 2, unused);
    }
    if (verdict == Verdict::kOk && centralPosition < directoryOffset + directorySize) {
        verdict = Verdict::kDamaged;
    }
    return verdict == Verdict::kDamaged ? kArchiveBadDirectory : kArchiveNoDirectory;
}

ArchiveResult DirectoryResult(int minizipResult)
{
    return minizipResult == UNZ_BADZIPFILE ? kArchiveBadDirectory : kArchiveNoDirectory;
}

bool IsInflateError(int result)
{
    return result == Z_DATA_ERROR || result == Z_STREAM_ERROR || result == Z_MEM_ERROR ||
           result == Z_BUF_ERROR || result == Z_VERSION_ERROR;
}

}  // namespace

MemorySource::MemorySource(const void* data, std::size_t length)
    : data_(static_cast<const unsigned char*>(data)), length_(data == nullptr ? 0 : length)
{
}

bool MemorySource::Length(std::uint64_t& length)
{
    length = length_;
    return true;
}

std::int64_t MemorySource::ReadAt(std::uint64_t position, void* buffer, std::size_t size)
{
    if (position > length_) {
        return -1;
    }
    const std::size_t available = length_ - static_cast<std::size_t>(position);
    const std::size_t count = size < available ? size : available;
    if (count > 0) {
        std::memcpy(buffer, data_ + position, count);
    }
    return static_cast<std::int64_t>(count);
}

ZipReader::ZipReader(std::unique_ptr<ZipSource> source, std::string baseFolder)
    : source_(std::move(source)), baseFolder_(std::move(baseFolder))
{
    stream_.source = source_.get();
}

void handle_traits::ZipArchive::Close(Handle zip) noexcept
{
    unzClose(zip);
}

ZipReader::~ZipReader()
{
    if (zip_ && (entryOpen_ || headerOpenIndex_ != -1)) {
        unzCloseCurrentFile(zip_.get());
    }
}

ArchiveResult ZipReader::Open()
{
    if (zip_ || !source_->Length(stream_.length)) {
        return kArchiveNoDirectory;
    }
    // The 64-bit interface: packages and the positions in them may pass 2 and 4 GB.
    zlib_filefunc64_def functions{};
    functions.zopen64_file = OpenStream;
    functions.zread_file = ReadStream;
    functions.zwrite_file = WriteStream;
    functions.ztell64_file = TellStream;
    functions.zseek64_file = SeekStream;
    functions.zclose_file = CloseStream;
    functions.zerror_file = StreamError;
    functions.opaque = &stream_;
    zip_.reset(unzOpen2_64("", &functions));
    if (!zip_) {
        return ClassifyUnopenedArchive(*source_, stream_.length);
    }
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(zip_.get(), &global) != UNZ_OK || global.number_entry > INT_MAX) {
        return kArchiveBadDirectory;
    }
    count_ = static_cast<int>(global.number_entry);
    return ClassifyDirectory();
}

// Walks every central header once, so that a damaged directory is refused
// before anything is extracted, rather than halfway through.
ArchiveResult ZipReader::ClassifyDirectory()
{
    if (count_ == 0) {
        return kArchiveOk;
    }
    int result = unzGoToFirstFile(zip_.get());
    for (int i = 1; i < count_ && result == UNZ_OK; ++i) {
        result = unzGoToNextFile(zip_.get());
    }
    if (result != UNZ_OK) {
        return DirectoryResult(result);
    }
    result = unzGoToFirstFile(zip_.get());
    current_ = result == UNZ_OK ? 0 : -1;
    return result == UNZ_OK ? kArchiveOk : DirectoryResult(result);
}

void ZipReader::ReleaseHeader()
{
    if (headerOpenIndex_ != -1) {
        unzCloseCurrentFile(zip_.get());
        headerOpenIndex_ = -1;
    }
}

bool ZipReader::MoveTo(int index)
{
    if (index != current_) {
        ReleaseHeader();
    }
    if (current_ < 0 || index < current_) {
        current_ = -1;
        if (unzGoToFirstFile(zip_.get()) != UNZ_OK) {
            return false;
        }
        current_ = 0;
    }
    while (current_ < index) {
        if (unzGoToNextFile(zip_.get()) != UNZ_OK) {
            current_ = -1;
            return false;
        }
        ++current_;
    }
    return true;
}

bool ZipReader::ReadFacts(EntryFacts& facts, std::uint32_t& flags, std::uint32_t& method)
{
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(zip_.get(), &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
        return false;
    }
    std::vector<char> name(info.size_filename + 1, '\0');
    if (unzGetCurrentFileInfo64(zip_.get(), &info, name.data(), static_cast<uLong>(name.size()),
                                nullptr, 0, nullptr, 0) != UNZ_OK) {
        return false;
    }
    facts.name.assign(name.data(), info.size_filename);
    facts.versionMadeBy = static_cast<std::uint32_t>(info.version);
    facts.externalAttributes = static_cast<std::uint32_t>(info.external_fa);
    facts.dosDateTime = static_cast<std::uint32_t>(info.dosDate);
    facts.compressedSize = info.compressed_size;
    facts.uncompressedSize = info.uncompressed_size;
    flags = static_cast<std::uint32_t>(info.flag);
    method = static_cast<std::uint32_t>(info.compression_method);
    return true;
}

ArchiveResult ZipReader::ReadLocalExtraField(std::string& extra)
{
    const int size = unzGetLocalExtrafield(zip_.get(), nullptr, 0);
    if (size < 0) {
        return kArchiveBadExtraField;
    }
    extra.assign(static_cast<std::size_t>(size), '\0');
    if (size > 0 &&
        unzGetLocalExtrafield(zip_.get(), &extra[0], static_cast<unsigned>(size)) != size) {
        return kArchiveBadExtraField;
    }
    return kArchiveOk;
}

ArchiveResult ZipReader::ReadRecord(int index, ArchiveEntry& entry)
{
    if (index < -1 || index >= count_) {
        return kArchiveBadArgument;
    }
    EndStreaming();
    if (index == cachedIndex_ && index != -1) {
        entry = cachedEntry_;
        return kArchiveOk;
    }
    if (index == -1) {
        entry = ArchiveEntry();
        entry.index = count_;
        return kArchiveOk;
    }
    EntryFacts facts;
    std::uint32_t flags = 0;
    std::uint32_t method = 0;
    if (!MoveTo(index) || !ReadFacts(facts, flags, method)) {
        return kArchiveNoDirectory;
    }
    // minizip would pass other methods through as raw bytes.
    ReleaseHeader();
    if ((method != kStored && method != kDeflated) || unzOpenCurrentFile(zip_.get()) != UNZ_OK) {
        return kArchiveBadLocalHeader;
    }
    headerOpenIndex_ = index;
    const ArchiveResult extraResult = ReadLocalExtraField(facts.localExtraField);
    if (extraResult != kArchiveOk) {
        ReleaseHeader();
        return extraResult;
    }
    FillEntryRecord(index, facts, entry);
    cachedEntry_ = entry;
    cachedIndex_ = index;
    return kArchiveOk;
}

ArchiveResult ZipReader::OpenEntryData(int index)
{
    CloseEntryData();
    EntryFacts facts;
    std::uint32_t flags = 0;
    std::uint32_t method = 0;
    if (index < 0 || index >= count_ || !MoveTo(index) || !ReadFacts(facts, flags, method)) {
        return kArchiveNoDirectory;
    }
    if ((flags & kEncryptedFlag) != 0) {
        return kArchiveWriteFailed;
    }
    if (headerOpenIndex_ == index) {
        headerOpenIndex_ = -1;
    } else if ((method != kStored && method != kDeflated) ||
               unzOpenCurrentFile(zip_.get()) != UNZ_OK) {
        return kArchiveBadLocalHeader;
    }
    entryOpen_ = true;
    entryDamaged_ = false;
    entryReadFailed_ = false;
    entryDelivered_ = 0;
    entryExpected_ = facts.uncompressedSize;
    return kArchiveOk;
}

long ZipReader::ReadEntryData(void* buffer, std::uint32_t size)
{
    if (!entryOpen_ || entryDamaged_ || entryReadFailed_ || size == 0) {
        return entryReadFailed_ ? -1 : 0;
    }
    const ZPOS64_T before = unztell64(zip_.get());
    const unsigned request = std::min<std::uint32_t>(size, INT_MAX);
    const int got = unzReadCurrentFile(zip_.get(), buffer, request);
    if (got >= 0) {
        entryDelivered_ += static_cast<std::uint64_t>(got);
        return got;
    }
    if (!IsInflateError(got)) {
        entryReadFailed_ = true;
        return -1;
    }
    // minizip drops what inflate produced before the error; the data ends there.
    entryDamaged_ = true;
    const ZPOS64_T produced = unztell64(zip_.get()) - before;
    entryDelivered_ += produced;
    return static_cast<long>(produced);
}

bool ZipReader::CloseEntryData()
{
    if (!entryOpen_) {
        return false;
    }
    entryOpen_ = false;
    const bool crcMatched = unzCloseCurrentFile(zip_.get()) == UNZ_OK;
    return crcMatched && !entryDamaged_ && !entryReadFailed_ && entryDelivered_ == entryExpected_;
}

ArchiveResult ZipReader::ReadPiece(int index, void* buffer, std::uint32_t length)
{
    if (index != streamingIndex_) {
        EndStreaming();
        if (index < 0 || index >= count_) {
            return kArchiveBadArgument;
        }
        const ArchiveResult opened = OpenEntryData(index);
        if (opened != kArchiveOk) {
            return opened;
        }
        streamingIndex_ = index;
    }
    const long got = ReadEntryData(buffer, length);
    if (got > 0) {
        return kArchiveBufferFull;
    }
    const bool complete = CloseEntryData();
    streamingIndex_ = -1;
    return got == 0 && complete ? kArchiveOk : kArchiveInflateFailed;
}

void ZipReader::EndStreaming()
{
    if (streamingIndex_ != -1) {
        CloseEntryData();
        streamingIndex_ = -1;
    }
}
