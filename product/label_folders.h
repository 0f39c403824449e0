#pragma once
// The label folders that the product lists in its Frame.ini.
#include <string>

#include "util/text.h"

// Most entries read from one Frame.ini; a larger LEFTVIEW_COUNT is taken as this,
// so a damaged count cannot stall the program or use up its memory.
constexpr int kMaxLabelFolders = 1024;

// Appends each entry's title and start path to the two lists (not cleared first),
// exactly LEFTVIEW_COUNT entries (at most kMaxLabelFolders), missing keys read as
// empty texts.
void LoadLabelFolders(const std::string& frameIniPath, TextList& titles, TextList& paths);
