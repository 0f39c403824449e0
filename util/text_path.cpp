#include "util/text_path.h"

#include "util/cp936.h"

namespace {

bool IsAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

struct SplitPath {
    std::string drive;
    std::string directory;
    std::string fileName;
    std::string extension;
};

// The platform's path splitter: a drive when the second character is a colon,
// the directory through the last separator, the rest divided at its last dot.
// Separators and dots are searched character by character, so a double-byte
// character ending in 0x5C stays whole.
SplitPath SplitPathText(const std::string& path)
{
    SplitPath parts;
    std::size_t start = 0;
    if (path.size() >= 2 && path[1] == ':') {
        parts.drive = path.substr(0, 2);
        start = 2;
    }
    const std::string rest = path.substr(start);
    const std::size_t lastSeparator = FindLastOf936(rest, "\\/");
    const std::size_t nameStart = lastSeparator == std::string::npos ? 0 : lastSeparator + 1;
    parts.directory = rest.substr(0, nameStart);
    const std::string name = rest.substr(nameStart);
    const std::size_t dot = FindLastOf936(name, ".");
    parts.fileName = name.substr(0, dot);
    if (dot != std::string::npos) {
        parts.extension = name.substr(dot);
    }
    return parts;
}

// Removes one pair of enclosing double quotes; a lone quote leaves nothing.
std::string UnquoteSpaces(const std::string& text)
{
    if (text.empty() || text.front() != '"' || text.back() != '"') {
        return text;
    }
    return text.size() < 2 ? std::string() : text.substr(1, text.size() - 2);
}

std::string BackslashesOnly(std::string directory)
{
    for (std::size_t i = FindChar936(directory, '/'); i != std::string::npos;
         i = FindChar936(directory, '/', i + 1)) {
        directory[i] = '\\';
    }
    return directory;
}

// The first character boundary at or after `index`.
std::size_t CharBoundaryFrom(const std::string& text, std::size_t index)
{
    std::size_t i = 0;
    while (i < index && i < text.size()) {
        i += CharLength936(text, i);
    }
    return i;
}

}  // namespace

CPathName::CPathName(const std::string& path)
{
    const std::string text = UnquoteSpaces(CutText936(path, kMaxPathText));
    if (text.empty()) {
        return;
    }
    SplitPath parts = SplitPathText(text);
    drive_ = std::move(parts.drive);
    directory_ = BackslashesOnly(std::move(parts.directory));
    relative_ = !directory_.empty() && directory_[0] != '\\';
    fileTitle_ = std::move(parts.fileName);
    extension_ = std::move(parts.extension);
}

std::size_t CPathName::ComponentCount() const
{
    FillComponents();
    return components_.size();
}

std::string CPathName::Component(std::size_t index) const
{
    FillComponents();
    return index < components_.size() ? components_[index] : std::string();
}

void CPathName::FillComponents() const
{
    if (directory_.empty() || !components_.empty()) {
        return;
    }
    // A drive-absolute path skips its root backslash; a path that starts with a
    // backslash but has no drive is taken as a network path and skips both of
    // its leading backslashes.
    std::size_t position = 0;
    if (!relative_) {
        position = drive_.empty() ? 2 : 1;
    }
    position = CharBoundaryFrom(directory_, position);
    for (std::size_t separator = FindChar936(directory_, '\\', position);
         separator != std::string::npos; separator = FindChar936(directory_, '\\', position)) {
        components_.push_back(directory_.substr(position, separator - position));
        position = separator + 1;
    }
}

bool SplitString(const std::string& text, const std::string& delimiter, TextList& parts)
{
    parts.clear();
    if (delimiter.empty()) {
        if (!text.empty()) {
            parts.push_back(text);
        }
        return true;
    }
    std::size_t pieceStart = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text.compare(i, delimiter.size(), delimiter) == 0) {
            parts.push_back(text.substr(pieceStart, i - pieceStart));
            i += delimiter.size();
            pieceStart = i;
        } else {
            i += CharLength936(text, i);
        }
    }
    if (pieceStart < text.size()) {
        parts.push_back(text.substr(pieceStart));
    }
    return true;
}

std::string WithoutTrailingBackslashes(const std::string& path)
{
    std::size_t keep = 0;
    for (std::size_t i = 0; i < path.size(); i += CharLength936(path, i)) {
        if (path[i] != '\\') {
            keep = i + CharLength936(path, i);
        }
    }
    return path.substr(0, keep);
}

std::string TrimBlanks(const std::string& text)
{
    static const char kBlanks[] = " \t\r\n\v\f";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::size_t FolderLevelsStart(const std::string& folder)
{
    if (folder.size() > 3 && IsAsciiLetter(folder[0]) && folder[1] == ':' && folder[2] == '\\') {
        return 3;
    }
    if (folder.compare(0, 2, "\\\\") != 0) {
        return std::string::npos;
    }
    const std::size_t serverEnd = FindChar936(folder, '\\', 2);
    if (serverEnd == std::string::npos || serverEnd == 2 || serverEnd + 1 >= folder.size()) {
        return std::string::npos;
    }
    const std::size_t shareEnd = FindChar936(folder, '\\', serverEnd + 1);
    return shareEnd == std::string::npos ? folder.size() : shareEnd + 1;
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    const std::size_t nameStart = name.find_first_not_of('\\');
    const std::string trimmedName =
        nameStart == std::string::npos ? std::string() : name.substr(nameStart);
    return WithoutTrailingBackslashes(folder) + '\\' + trimmedName;
}

std::string GetPathFileName(const std::string& path)
{
    const SplitPath parts = SplitPathText(path);
    return parts.fileName + parts.extension;
}
