#pragma once
// Texts are byte strings in code page 936 (GBK); lists of texts keep their order.
#include <string>
#include <vector>

using TextList = std::vector<std::string>;
