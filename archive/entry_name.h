#pragma once
// Which archive entry names may be written below an install folder.
#include <string>

#include "util/text.h"

// False for a name that is empty, absolute, carries a drive letter or a ':'
// stream, has a ".." component or any other component that ends in a dot or a
// blank (the platform drops those, so the name would alias another one), names
// a device (CON, NUL, COM1 ...) in any component, or otherwise could land
// outside the folder it is extracted into. A "." component is this folder.
bool IsSafeEntryName(const std::string& name);

// The entry name's components as the file system sees them below the folder
// it is extracted into: '/' and '\' separate, empty and "." components drop
// out, the last component loses its trailing dots and blanks, a folder on the
// way one trailing dot. False for a rooted name and for a component that the
// platform would take for ".." or change again, or that names a drive or a
// stream, so every name that passes means the same file wherever it is used.
bool SplitEntryName(const std::string& name, TextList& parts);

// The first `count` components joined with '\'.
std::string JoinParts(const TextList& parts, std::size_t count);
