#include "util/wide_text.h"

#include <climits>

#include <windows.h>

namespace {

constexpr UINT kCodePage936 = 936;

}  // namespace

std::wstring WidenText(const std::string& text)
{
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) {
        return std::wstring();
    }
    const int length = static_cast<int>(text.size());
    const int wideLength = MultiByteToWideChar(kCodePage936, 0, text.data(), length, nullptr, 0);
    if (wideLength <= 0) {
        return std::wstring();
    }
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(kCodePage936, 0, text.data(), length, &wide[0], wideLength);
    return wide;
}

std::string NarrowText(const std::wstring& text)
{
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) {
        return std::string();
    }
    const int length = static_cast<int>(text.size());
    const int narrowLength =
        WideCharToMultiByte(kCodePage936, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (narrowLength <= 0) {
        return std::string();
    }
    std::string narrow(static_cast<std::size_t>(narrowLength), '\0');
    WideCharToMultiByte(kCodePage936, 0, text.data(), length, &narrow[0], narrowLength, nullptr,
                        nullptr);
    return narrow;
}

std::string NarrowText(const wchar_t* text)
{
    return text == nullptr ? std::string() : NarrowText(std::wstring(text));
}
