#pragma once
// Code page 936 byte rules that every separator search relies on.
#include <cstddef>
#include <string>

// True for a byte that opens a double-byte character (0x81 to 0xFE).
bool IsLeadByte936(unsigned char byte);

// Length in bytes (1 or 2) of the character that starts at `index`; a lead byte
// that ends the text stands alone.
std::size_t CharLength936(const std::string& text, std::size_t index);

// Index of the first single-byte `ch` at or after `from`, stepping over
// double-byte characters; std::string::npos when there is none.
std::size_t FindChar936(const std::string& text, char ch, std::size_t from = 0);

// Index of the last single-byte character that is one of `chars`; npos when none.
std::size_t FindLastOf936(const std::string& text, const char* chars);

// The text cut to at most `max_bytes` bytes without splitting a double-byte character.
std::string CutText936(const std::string& text, std::size_t max_bytes);
