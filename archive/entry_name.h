#pragma once
// Which archive entry names may be written below an install folder.
#include <string>

// False for a name that is empty, absolute, carries a drive letter or a ':'
// stream, has a ".." component, names a device (CON, NUL, COM1 ...) in any
// component, or otherwise could land outside the folder it is extracted into.
bool IsSafeEntryName(const std::string& name);
