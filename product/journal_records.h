#pragma once
// The record format of the install journal: one line per step that an install
// takes, each carrying its own CRC-32, so that a journal cut off by a power
// loss or a killed process is read up to its last whole record.
//
//   KIND <tab> FIELD [<tab> FIELD] <tab> crc32 as 8 hex digits <CR LF>
//
// The CRC covers the line up to the tab before it. Paths are code page 936
// texts; Windows names never hold a tab, CR or LF.
#include <string>
#include <vector>

enum JournalRecordKind : char {
    kJournalHeader = 'J',    // path: the install folder; written before anything else
    kJournalFolder = 'D',    // path: a folder the install is about to create
    kJournalAdded = 'A',     // path: a file that did not exist and is about to be written
    kJournalReplaced = 'R',  // path: a file that existed; backupName: its backup, once complete
};

struct JournalRecord {
    char kind = kJournalHeader;
    std::string path;
    std::string backupName;  // kJournalReplaced only: relative to the backup folder
};

// The record's line with its CRC and line end; empty when a field holds a tab,
// CR or LF, or the kind is unknown (such a record could not be read back).
std::string FormatJournalRecord(const JournalRecord& record);

// Fills `records` with the records of a journal text in order, up to the first
// line that is cut off, damaged or unknown. True when the whole text was read;
// false when a damaged tail was left out (what a crash during a write leaves).
bool ParseJournal(const std::string& text, std::vector<JournalRecord>& records);
