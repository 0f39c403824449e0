#pragma once
#include <string>

// The system's text for GetLastError() (line end included), or the code in
// decimal when the system has no text for it.
std::string GetLastErrorText();
