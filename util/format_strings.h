#pragma once
// "%1".."%9" filling of message texts. A placeholder without an argument is
// copied as it stands, like every other byte; double-byte characters stay whole.
#include <cstddef>
#include <string>

std::string FormatStrings(const std::string& format, const std::string* args, std::size_t count);

void FormatString1(std::string& out, const std::string& format, const std::string& arg1);
void FormatString2(std::string& out, const std::string& format, const std::string& arg1,
                   const std::string& arg2);

// The same, answering the filled text.
std::string FormatString1(const std::string& format, const std::string& arg1);
std::string FormatString2(const std::string& format, const std::string& arg1,
                          const std::string& arg2);
