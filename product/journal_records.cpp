#include "product/journal_records.h"

#include <cstdint>

#include <zlib.h>

#include "util/hex_text.h"

namespace {

const char kLineEnd[] = "\r\n";
constexpr std::size_t kCrcDigits = 8;

bool IsFieldText(const std::string& text)
{
    return text.find_first_of("\t\r\n") == std::string::npos;
}

bool FieldCountFits(char kind, std::size_t fields)
{
    switch (kind) {
    case kJournalHeader:
    case kJournalFolder:
    case kJournalAdded:
        return fields == 1;
    case kJournalReplaced:
        return fields == 2;
    default:
        return false;
    }
}

std::string CrcText(const std::string& body)
{
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(body.data()),
                            static_cast<uInt>(body.size()));
    const std::uint8_t bytes[4] = {
        static_cast<std::uint8_t>(crc >> 24), static_cast<std::uint8_t>(crc >> 16),
        static_cast<std::uint8_t>(crc >> 8), static_cast<std::uint8_t>(crc)};
    return HexText(bytes, sizeof bytes);
}

// One line without its line end; false when it is not a whole, intact record.
bool ParseRecord(const std::string& line, JournalRecord& record)
{
    const std::size_t crcTab = line.rfind('\t');
    if (crcTab == std::string::npos || line.size() - crcTab - 1 != kCrcDigits) {
        return false;
    }
    // A CR or LF inside a field is no record that FormatJournalRecord wrote,
    // whatever its CRC says.
    const std::string body = line.substr(0, crcTab);
    if (body.find_first_of("\r\n") != std::string::npos ||
        CrcText(body) != line.substr(crcTab + 1)) {
        return false;
    }
    std::vector<std::string> fields;
    for (std::size_t start = 0;;) {
        const std::size_t tab = body.find('\t', start);
        fields.push_back(body.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) {
            break;
        }
        start = tab + 1;
    }
    if (fields[0].size() != 1 || !FieldCountFits(fields[0][0], fields.size() - 1)) {
        return false;
    }
    record.kind = fields[0][0];
    record.path = fields[1];
    record.backupName = fields.size() > 2 ? fields[2] : std::string();
    return true;
}

}  // namespace

std::string FormatJournalRecord(const JournalRecord& record)
{
    const bool replaced = record.kind == kJournalReplaced;
    if (!FieldCountFits(record.kind, replaced ? 2 : 1) || !IsFieldText(record.path) ||
        (replaced && !IsFieldText(record.backupName))) {
        return std::string();
    }
    std::string body(1, record.kind);
    body += '\t';
    body += record.path;
    if (replaced) {
        body += '\t';
        body += record.backupName;
    }
    return body + '\t' + CrcText(body) + kLineEnd;
}

bool ParseJournal(const std::string& text, std::vector<JournalRecord>& records)
{
    records.clear();
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find(kLineEnd, start);
        JournalRecord record;
        if (end == std::string::npos || !ParseRecord(text.substr(start, end - start), record)) {
            return false;
        }
        records.push_back(record);
        start = end + 2;
    }
    return true;
}
