#include "product/ini_file.h"

#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "util/cp936.h"
#include "util/file_read.h"

namespace {

// The product reads these values through 32-byte and 260-byte buffers.
constexpr std::size_t kMaxNumberText = 31;
constexpr std::size_t kMaxValueText = 259;

bool IsBlank(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\v' || ch == '\f';
}

// Blanks are single bytes below 0x40, so they are never the trail byte of a
// double-byte character and may be cut from either end directly.
std::string Trim(const std::string& text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

char FoldAsciiCase(char ch)
{
    return (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 'a' + 'A') : ch;
}

// Only ASCII letters fold; the trail byte of a double-byte character may look like
// an ASCII letter, so double-byte characters compare whole and exactly.
bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (IsLeadByte936(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) {
                return false;
            }
            ++i;
        } else if (FoldAsciiCase(a[i]) != FoldAsciiCase(b[i])) {
            return false;
        }
    }
    return true;
}

// As GetPrivateProfileString does, one pair of matching quotes around the whole
// value is not part of it.
std::string Unquote(const std::string& value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

std::string SkipByteOrderMark(const std::string& content)
{
    static const std::string kUtf8Bom = "\xEF\xBB\xBF";
    if (content.compare(0, kUtf8Bom.size(), kUtf8Bom) == 0) {
        return content.substr(kUtf8Bom.size());
    }
    return content;
}

// A "[name]" line sets `name`; a line that opens with '[' but never closes is no
// section header.
bool ReadSectionHeader(const std::string& line, std::string& name)
{
    if (line.empty() || line.front() != '[') {
        return false;
    }
    const std::size_t close = FindChar936(line, ']', 1);
    if (close == std::string::npos) {
        return false;
    }
    name = Trim(line.substr(1, close - 1));
    return true;
}

bool ReadKeyLine(const std::string& line, std::string& key, std::string& value)
{
    const std::size_t equals = FindChar936(line, '=');
    if (equals == std::string::npos) {
        return false;
    }
    key = Trim(line.substr(0, equals));
    value = Unquote(Trim(line.substr(equals + 1)));
    return true;
}

// atoi's result, held to the int range where atoi itself would be undefined.
int ReadNumber(const std::string& text)
{
    const long number = std::strtol(text.c_str(), nullptr, 10);
    if (number > INT_MAX) {
        return INT_MAX;
    }
    if (number < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(number);
}

// Looks the key up in the file; a file that cannot be read has no keys.
bool ReadIniValue(const std::string& path, const std::string& section, const std::string& key,
                  std::string& value)
{
    std::string content;
    if (!ReadFileBytes(path, content)) {
        return false;
    }
    return FindIniValue(content, section, key, value);
}

}  // namespace

CIniFile::CIniFile(std::string path) : path_(std::move(path)) {}

CIniFile::~CIniFile() = default;

int CIniFile::GetInt(const std::string& section, const std::string& key, int defaultValue,
                     int& value)
{
    char defaultText[16];
    std::snprintf(defaultText, sizeof defaultText, "%d", defaultValue);
    std::string text;
    if (!ReadIniValue(path_, section, key, text)) {
        text = defaultText;
    }
    text = text.substr(0, kMaxNumberText);
    value = ReadNumber(text);
    return static_cast<int>(text.size());
}

int CIniFile::GetString(const std::string& section, const std::string& key,
                        const std::string& defaultValue, std::string& value)
{
    std::string text;
    if (!ReadIniValue(path_, section, key, text)) {
        text = defaultValue;
    }
    value = CutText936(text, kMaxValueText);
    return static_cast<int>(value.size());
}

bool FindIniValue(const std::string& content, const std::string& section,
                  const std::string& key, std::string& value)
{
    const std::string text = SkipByteOrderMark(content);
    bool inSection = false;
    std::size_t lineStart = 0;
    while (lineStart < text.size()) {
        std::size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string::npos) {
            lineEnd = text.size();
        }
        const std::string line = Trim(text.substr(lineStart, lineEnd - lineStart));
        lineStart = lineEnd + 1;

        std::string name;
        std::string lineValue;
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (ReadSectionHeader(line, name)) {
            inSection = SameName(name, section);
        } else if (inSection && ReadKeyLine(line, name, lineValue) && SameName(name, key)) {
            value = lineValue;
            return true;
        }
    }
    return false;
}
