#pragma once
// Read access to one INI file with the private-profile rules: "[section]" headers,
// "key=value" lines, section and key names compared without regard to the case of
// ASCII letters, the first occurrence winning, white space around names and values
// ignored, one pair of matching quotes around a value dropped, ';' lines skipped.
// A file that cannot be read has no keys.
#include <string>

class CIniFile {
public:
    explicit CIniFile(std::string path);
    virtual ~CIniFile();

    const std::string& Path() const { return path_; }

    // Reads a number as atoi does (at most 31 characters of the value are looked
    // at); `value` gets `defaultValue` when the key is missing. Returns the count
    // of characters read.
    int GetInt(const std::string& section, const std::string& key, int defaultValue, int& value);

    // Reads a text of at most 259 bytes (longer values are cut); `value` gets
    // `defaultValue` when the key is missing. Returns the count of bytes read.
    int GetString(const std::string& section, const std::string& key,
                  const std::string& defaultValue, std::string& value);

private:
    std::string path_;
};

// The value of `key` in `section` of the INI text `content`; false when missing.
bool FindIniValue(const std::string& content, const std::string& section,
                  const std::string& key, std::string& value);
