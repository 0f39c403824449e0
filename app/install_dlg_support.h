#pragma once
// Small pieces that the install window's source files share.
#include <string>

#include "util/text_path.h"

// Starts a program (or opens a folder) the way the setup tool starts
// everything: no owner window, verb "OPEN", no working folder, SW_SHOW. Not
// waited for; a failure is not reported.
void RunProgram(const std::string& file, const std::string& arguments);

// "X:" with a drive letter: a drive's root once its trailing backslashes are gone.
bool IsDriveRoot(const std::string& folder);
