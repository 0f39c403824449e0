#pragma once
// Which archive entry names may be written below an install folder.
#include <string>

// False for a name that is empty, absolute, carries a drive letter or a ':'
// stream, has a ".." component or any other component that ends in a dot or a
// blank (the platform drops those, so the name would alias another one), names
// a device (CON, NUL, COM1 ...) in any component, or otherwise could land
// outside the folder it is extracted into. A "." component is this folder.
bool IsSafeEntryName(const std::string& name);
