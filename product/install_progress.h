#pragma once
// What the install step tells whoever shows its progress. It names no control:
// the window alone decides where each text goes. The calls come from the
// thread that runs the install step (the download worker in the program).
#include <cstdint>
#include <string>

// Reported for the first entry and then at most once per progress interval.
struct EntryProgress {
    std::uint32_t done = 0;   // entries extracted so far
    std::uint32_t total = 0;  // entries in the package
    std::string status;       // "安装到 %1\"
    std::string lastEntry;    // the name of the entry extracted last; "" before the first
};

class IExtractProgress {
public:
    virtual ~IExtractProgress() = default;

    // Extraction begins: the download's texts are over.
    virtual void OnExtractStart(std::uint32_t entryCount) = 0;
    virtual void OnEntries(const EntryProgress& progress) = 0;
    // Every entry is extracted.
    virtual void OnExtractEnd(std::uint32_t entryCount) = 0;
};
