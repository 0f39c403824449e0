#pragma once
// The boundary between our code page 936 texts and the UTF-16 of the W APIs.
// Conversions name code page 936 explicitly, so the texts show right on every
// Windows locale.
#include <string>

std::wstring WidenText(const std::string& text);
std::string NarrowText(const std::wstring& text);
std::string NarrowText(const wchar_t* text);
