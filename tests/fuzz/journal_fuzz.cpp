// libFuzzer target: any bytes as an install journal. What ParseJournal reads
// must be exactly what FormatJournalRecord writes: its records, written again,
// are the text it read (all of it when it says so), byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "product/journal_records.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<JournalRecord> records;
    const bool whole = ParseJournal(text, records);
    std::string written;
    for (const JournalRecord& record : records) {
        const std::string line = FormatJournalRecord(record);
        if (line.empty()) {
            std::abort();
        }
        written += line;
    }
    if (text.compare(0, written.size(), written) != 0 || whole != (written.size() == text.size())) {
        std::abort();
    }
    return 0;
}
