#pragma once
// Binary values written as hexadecimal text: hashes, signatures and keys.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Reads exactly `byteCount` bytes written as 2 * `byteCount` hex digits (either
// letter case). Blanks, tabs and line breaks around the digits are allowed,
// nothing else. False, with `bytes` left as it was, for anything else.
bool ParseHexBytes(const std::string& text, std::size_t byteCount, std::vector<std::uint8_t>& bytes);

// Lower-case hex digits of the bytes.
std::string HexText(const std::uint8_t* bytes, std::size_t count);
