#include "archive/entry_name.h"

#include <cctype>
#include <cstring>

#include "util/cp936.h"

namespace {

bool IsSeparator(char ch)
{
    return ch == '\\' || ch == '/';
}

// Characters that no Windows file name may hold; ':' also opens a drive or a stream.
bool IsForbiddenByte(unsigned char byte)
{
    return byte < 0x20 || std::strchr("<>:\"|?*", byte) != nullptr;
}

// A second byte that code page 936 accepts after a lead byte. Anything else
// makes the pair ambiguous: the platform's conversion might split it and find
// a separator or a dot that this check never saw.
bool IsTrailByte936(unsigned char byte)
{
    return byte >= 0x40 && byte <= 0xFE && byte != 0x7F;
}

std::string Uppercase(std::string text)
{
    for (char& ch : text) {
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }
    return text;
}

std::string TrimTrailing(std::string text, const char* characters)
{
    while (!text.empty() && std::strchr(characters, text.back()) != nullptr) {
        text.pop_back();
    }
    return text;
}

// The platform opens a device for these names whatever extension follows.
bool NamesDevice(const std::string& component)
{
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    const std::string stem = Uppercase(TrimTrailing(
        TrimTrailing(component, ". ").substr(0, component.find('.')), " "));
    for (const char* device : kDevices) {
        if (stem == device) {
            return true;
        }
    }
    const bool numbered = stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 ||
                                               stem.compare(0, 3, "LPT") == 0);
    return numbered && stem[3] >= '0' && stem[3] <= '9';
}

// The platform drops a component's trailing dots and blanks, so "setup.exe."
// is another name for "setup.exe", and "..", "..." or ". ." climb or stay
// put. Only "." itself, this very folder, may end in a dot.
bool IsSafeComponent(const std::string& component)
{
    if (component.empty() || component == ".") {
        return true;
    }
    const char last = component.back();
    return last != '.' && last != ' ' && !NamesDevice(component);
}

bool HasSafeBytes(const std::string& name)
{
    for (std::size_t i = 0; i < name.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(name[i]);
        if (IsLeadByte936(byte)) {
            if (i + 1 >= name.size() || !IsTrailByte936(static_cast<unsigned char>(name[i + 1]))) {
                return false;
            }
            ++i;
        } else if (IsForbiddenByte(byte)) {
            return false;
        }
    }
    return true;
}

// A component as the platform's path rules leave it: the last one loses all
// trailing dots and blanks, a folder on the way one trailing dot. False when
// what is left would be changed again where it is the last component of a
// path (a trailing dot or blank remains), or is empty.
bool NormalizeComponent(std::string& part, bool last)
{
    if (last) {
        while (!part.empty() && (part.back() == '.' || part.back() == ' ')) {
            part.pop_back();
        }
    } else if (!part.empty() && part.back() == '.') {
        part.pop_back();
    }
    return !part.empty() && part.back() != '.' && part.back() != ' ';
}

}  // namespace

bool IsSafeEntryName(const std::string& name)
{
    if (name.empty() || IsSeparator(name[0]) || !HasSafeBytes(name)) {
        return false;
    }
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = start;
        while (end < name.size() && !IsSeparator(name[end])) {
            end += CharLength936(name, end);
        }
        if (!IsSafeComponent(name.substr(start, end - start))) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

// Trail bytes of code page 936 are never '.', ' ' or ':'.
bool SplitEntryName(const std::string& name, TextList& parts)
{
    parts.clear();
    if (name.empty() || name[0] == '\\' || name[0] == '/') {
        return false;
    }
    std::size_t start = 0;
    for (std::size_t i = 0;; i += CharLength936(name, i)) {
        if (i < name.size() && name[i] != '\\' && name[i] != '/') {
            continue;
        }
        const std::string part = name.substr(start, i - start);
        if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        if (i >= name.size()) {
            break;
        }
        start = i + 1;
    }
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].find(':') != std::string::npos ||
            !NormalizeComponent(parts[i], i + 1 == parts.size())) {
            return false;
        }
    }
    return !parts.empty();
}

std::string JoinParts(const TextList& parts, std::size_t count)
{
    std::string joined;
    for (std::size_t i = 0; i < count; ++i) {
        if (i != 0) {
            joined += '\\';
        }
        joined += parts[i];
    }
    return joined;
}
