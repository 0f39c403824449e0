#include "app/install_dlg_support.h"

namespace {

bool IsAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

bool IsDriveRoot(const std::string& folder)
{
    return folder.size() == 2 && IsAsciiLetter(folder[0]) && folder[1] == ':';
}
