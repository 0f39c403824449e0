#include "product/label_folders.h"

#include <algorithm>
#include <cstdio>

#include "product/ini_file.h"

namespace {

const char kFrameSection[] = "FrameParam";

std::string EntryKeyPrefix(int index)
{
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "LEFTVIEWSTATE_%d_", index);
    return prefix;
}

}  // namespace

void LoadLabelFolders(const std::string& frameIniPath, TextList& titles, TextList& paths)
{
    CIniFile ini(frameIniPath);
    int count = 0;
    ini.GetInt(kFrameSection, "LEFTVIEW_COUNT", 0, count);
    count = std::min(count, kMaxLabelFolders);
    for (int i = 0; i < count; ++i) {
        const std::string prefix = EntryKeyPrefix(i);
        std::string path;
        std::string title;
        ini.GetString(kFrameSection, prefix + "sStartPath", "", path);
        ini.GetString(kFrameSection, prefix + "sTitle", "", title);
        titles.push_back(title);
        paths.push_back(path);
    }
}
