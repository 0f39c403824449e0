#pragma once
// Whole-file reads and writes for the Windows tests.
#include <map>
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

// What TreeSnapshot records of a file beside its bytes.
enum class FileDetail { kBytes, kReadOnly, kAttributes };

// Every file (path → bytes, then "<ro>" for a read-only one, or "/" and its
// attributes, as `detail` asks; "<unreadable>" for one that cannot be read)
// and folder (path → "<folder>") below `folder` (given without a trailing
// backslash): two snapshots compare whole trees.
inline std::map<std::string, std::string> TreeSnapshot(const std::string& folder,
                                                       FileDetail detail = FileDetail::kBytes)
{
    std::map<std::string, std::string> tree;
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileW(WidenText(folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return tree;
    }
    do {
        const std::string name = NarrowText(data.cFileName);
        if (name == "." || name == "..") {
            continue;
        }
        const std::string path = folder + "\\" + name;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            tree[path] = "<folder>";
            for (const auto& inner : TreeSnapshot(path, detail)) {
                tree.insert(inner);
            }
            continue;
        }
        std::string bytes;
        if (!ReadFileBytes(path, bytes)) {
            tree[path] = "<unreadable>";
        } else if (detail == FileDetail::kAttributes) {
            tree[path] = bytes + "/" + std::to_string(data.dwFileAttributes);
        } else if (detail == FileDetail::kReadOnly && (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
            tree[path] = bytes + "<ro>";
        } else {
            tree[path] = bytes;
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return tree;
}
