#pragma once
// The two rules the install window applies to product version texts.
#include <string>

// The leading decimal number of the text is at least 2.0.
bool IsVersion2OrLater(const std::string& version);

// The offered version is newer than the installed one, compared part by part
// over the parts that both texts have.
bool IsNewerVersion(const std::string& installed, const std::string& offered);
