#include "util/file_read.h"

#include <cstdio>
#include <memory>
#include <utility>

bool ReadFileBytes(const std::string& path, std::string& bytes)
{
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
    if (!file) {
        return false;
    }
    std::string content;
    char block[4096];
    std::size_t count = 0;
    while ((count = std::fread(block, 1, sizeof block, file.get())) > 0) {
        if (content.size() + count > kMaxFileReadBytes) {
            return false;
        }
        content.append(block, count);
    }
    if (std::ferror(file.get())) {
        return false;
    }
    bytes = std::move(content);
    return true;
}
