#pragma once
// Tests that need the product's registry record get HKLM\Software\Morvane of the
// Wine prefix to themselves: empty at the start, removed from both registry views
// at the end, and held against the other test programs that ctest runs alongside.
#include <string>

#include <windows.h>

#include <gtest/gtest.h>

enum class RegistryView { Bit32, Bit64 };

class RegistryFixture : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a value below HKLM\Software\Morvane: `productKey` "" is the vendor key
    // itself. Texts go in as UTF-16 through the W API, with their terminator.
    static bool WriteText(const std::wstring& productKey, const std::wstring& name,
                          const std::wstring& text, RegistryView view = RegistryView::Bit32);
    static bool WriteData(const std::wstring& productKey, const std::wstring& name, DWORD type,
                          const void* data, DWORD size, RegistryView view = RegistryView::Bit32);

    // Removes HKLM\Software\Morvane with everything below it from both views.
    static bool RemoveVendorKeys();

private:
    HANDLE lock_ = nullptr;
};
