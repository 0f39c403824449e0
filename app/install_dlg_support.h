#pragma once
// Small pieces that the install window's source files share.
#include <string>

#include "util/text_path.h"

// "X:" with a drive letter: a drive's root once its trailing backslashes are gone.
bool IsDriveRoot(const std::string& folder);
