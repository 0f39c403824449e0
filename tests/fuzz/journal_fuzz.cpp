// libFuzzer target: any bytes as an install journal. ParseJournal must read
// only whole, intact records, and what it reads must be exactly what
// FormatJournalRecord writes: the records it returns, written again, are the
// text it read, byte for byte, and read back they are the same records.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "product/journal_records.h"

namespace {

bool SameRecords(const std::vector<JournalRecord>& a, const std::vector<JournalRecord>& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].kind != b[i].kind || a[i].path != b[i].path || a[i].backupName != b[i].backupName) {
            return false;
        }
    }
    return true;
}

}  // namespace

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
    // The records read are a prefix of the text; all of it when it was whole.
    if (text.compare(0, written.size(), written) != 0 || whole != (written.size() == text.size())) {
        std::abort();
    }
    std::vector<JournalRecord> again;
    if (!ParseJournal(written, again) || !SameRecords(records, again)) {
        std::abort();
    }
    return 0;
}
