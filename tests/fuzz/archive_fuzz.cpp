// libFuzzer target: any bytes as a ZIP package held in memory. Opens it, asks
// for every record and reads every entry to its end, then walks the bytes as a
// local extra field; names that come out go through the name checks.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/entry_name.h"
#include "archive/entry_record.h"
#include "archive/zip_reader.h"
#include "util/text_path.h"

namespace {

// Enough to reach every code path without letting a tiny input that claims
// gigabytes of output stall the run.
constexpr int kMaxEntries = 256;
constexpr std::uint32_t kPiece = 4096;
constexpr int kMaxPieces = 256;

void ReadWholeEntry(ZipReader& reader, int index)
{
    std::vector<unsigned char> piece(kPiece);
    for (int i = 0; i < kMaxPieces; ++i) {
        if (reader.ReadPiece(index, piece.data(), kPiece) != kArchiveBufferFull) {
            return;
        }
    }
    reader.EndStreaming();
}

void CheckName(const char* name)
{
    const std::string text(name);
    const CPathName path(text);
    path.ComponentCount();
    IsSafeEntryName(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ZipReader reader(std::make_unique<MemorySource>(data, size), "C:\\base\\");
    if (reader.Open() == kArchiveOk) {
        ArchiveEntry entry;
        reader.ReadRecord(-1, entry);
        const int count = reader.EntryCount() < kMaxEntries ? reader.EntryCount() : kMaxEntries;
        for (int index = 0; index < count; ++index) {
            if (reader.ReadRecord(index, entry) == kArchiveOk) {
                CheckName(entry.name);
            }
            ReadWholeEntry(reader, index);
        }
        if (count > 1) {
            reader.ReadRecord(0, entry);
            ReadWholeEntry(reader, count - 1);
        }
    }
    ArchiveEntry walked;
    ApplyExtendedTimestamp(data, size, walked);
    return 0;
}
