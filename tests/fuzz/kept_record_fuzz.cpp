// libFuzzer target: any bytes as the record of a kept download. What
// ParseKeptRecord takes must be exactly what FormatKeptRecord writes for the
// record it read, byte for byte; anything else is refused.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/resume_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    KeptDownload record;
    if (!ParseKeptRecord(text, record)) {
        return 0;
    }
    if (FormatKeptRecord(record) != text || record.received >= record.size ||
        MatchesKeptDownload(record, record.url, record.hashLine, record.received) !=
            (record.received > 0)) {
        std::abort();
    }
    return 0;
}
