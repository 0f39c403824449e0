#pragma once
// Whole-file reads and writes for the Windows tests.
#include <string>

#include <windows.h>

#include "util/handles.h"
#include "util/file_read.h"
#include "util/wide_text.h"

// Writes `bytes` as the whole file, replacing what was there.
inline bool WriteWholeFile(const std::string& path, const std::string& bytes)
{
    UniqueResource<handle_traits::File> file(CreateFileW(WidenText(path).c_str(), GENERIC_WRITE,
                                                         0, nullptr, CREATE_ALWAYS,
                                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file &&
           WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
}

// The whole file, also while another program writes it; empty when it cannot
// be read.
inline std::string ReadWholeFile(const std::string& path)
{
    std::string bytes;
    return ReadFileBytes(path, bytes) ? bytes : std::string();
}
