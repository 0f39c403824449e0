#pragma once
// Reading a whole small file; the one file operation the platform-free code needs.
#include <cstddef>
#include <string>

// Larger files are refused rather than read: every file read this way is a
// small text, and a huge one must not exhaust a 32-bit process's memory.
constexpr std::size_t kMaxFileReadBytes = 16u * 1024u * 1024u;

// Reads the file at `path` (code page 936) into `bytes`; false when it cannot be
// read or is larger than kMaxFileReadBytes (`bytes` is then left as it was).
bool ReadFileBytes(const std::string& path, std::string& bytes);
