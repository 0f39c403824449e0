#pragma once
// Taking paths and texts apart. Every separator search steps over double-byte
// characters: a trail byte 0x5C is never a backslash.
#include <cstddef>
#include <string>

#include "util/text.h"

// A path split once, at construction, into drive, directory and file title.
class CPathName {
public:
    CPathName() = default;
    explicit CPathName(const std::string& path);

    const std::string& Drive() const { return drive_; }
    const std::string& Directory() const { return directory_; }
    const std::string& FileTitle() const { return fileTitle_; }
    const std::string& Extension() const { return extension_; }
    bool IsRelative() const { return relative_; }
    bool HasFileName() const { return !fileTitle_.empty(); }

    // The directory's folder names, split on first use.
    std::size_t ComponentCount() const;
    // An index at or past the count yields an empty text.
    std::string Component(std::size_t index) const;

private:
    void FillComponents() const;

    std::string drive_;
    std::string directory_;
    std::string fileTitle_;
    std::string extension_;
    bool relative_ = false;
    mutable TextList components_;
};

// Longest path text a CPathName takes (a 260-byte buffer with its terminator).
constexpr std::size_t kMaxPathText = 259;

// Clears `parts` and fills it with the pieces of `text` between occurrences of
// `delimiter`; an empty piece after the last delimiter is dropped. An empty
// delimiter yields the whole text as one piece (none for an empty text).
bool SplitString(const std::string& text, const std::string& delimiter, TextList& parts);

// The text without its trailing backslashes; a double-byte character whose
// second byte is 0x5C stays whole.
std::string WithoutTrailingBackslashes(const std::string& path);

// The text without the blanks (space, tab, line ends, vertical tab, form feed)
// at either end; no byte of a double-byte character is one of them.
std::string TrimBlanks(const std::string& text);

// Where the folder levels below a full folder path start: after "X:\" or after
// the share of "\\server\share\"; npos for any other kind of path, since a
// relative folder would depend on whatever folder happens to be current.
std::size_t FolderLevelsStart(const std::string& folder);
inline bool IsFullFolderPath(const std::string& folder)
{
    return FolderLevelsStart(folder) != std::string::npos;
}

// `folder` and `name` joined by exactly one backslash.
std::string JoinPath(const std::string& folder, const std::string& name);

// The file name with its extension: the text after the last separator.
std::string GetPathFileName(const std::string& path);
