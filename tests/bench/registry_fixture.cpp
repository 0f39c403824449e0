#include "tests/bench/registry_fixture.h"

namespace {

const wchar_t kVendorKey[] = L"Software\\Morvane";
// Test programs of one build share the prefix's registry; this names their turn.
const wchar_t kRegistryLockName[] = L"Local\\MorvaneRegistryTests";

REGSAM ViewFlag(RegistryView view)
{
    return view == RegistryView::Bit64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

std::wstring KeyPath(const std::wstring& productKey)
{
    return productKey.empty() ? std::wstring(kVendorKey) : kVendorKey + (L"\\" + productKey);
}

bool RemoveVendorKey(RegistryView view)
{
    HKEY key = nullptr;
    LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kVendorKey, 0,
                                KEY_ALL_ACCESS | ViewFlag(view), &key);
    if (status == ERROR_FILE_NOT_FOUND) {
        return true;
    }
    if (status != ERROR_SUCCESS) {
        return false;
    }
    status = RegDeleteTreeW(key, nullptr);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        return false;
    }
    return RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kVendorKey, ViewFlag(view), 0) == ERROR_SUCCESS;
}

}  // namespace

void RegistryFixture::SetUp()
{
    lock_ = CreateMutexW(nullptr, FALSE, kRegistryLockName);
    ASSERT_NE(lock_, nullptr);
    // An abandoned lock only means that an earlier test program died holding it.
    const DWORD wait = WaitForSingleObject(lock_, INFINITE);
    ASSERT_TRUE(wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED);
    // A test program that was killed midway cannot have cleaned up after itself.
    ASSERT_TRUE(RemoveVendorKeys());
}

void RegistryFixture::TearDown()
{
    EXPECT_TRUE(RemoveVendorKeys());
    if (lock_ != nullptr) {
        ReleaseMutex(lock_);
        CloseHandle(lock_);
        lock_ = nullptr;
    }
}

bool RegistryFixture::WriteText(const std::wstring& productKey, const std::wstring& name,
                                const std::wstring& text, RegistryView view)
{
    const DWORD size = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return WriteData(productKey, name, REG_SZ, text.c_str(), size, view);
}

bool RegistryFixture::WriteData(const std::wstring& productKey, const std::wstring& name,
                                DWORD type, const void* data, DWORD size, RegistryView view)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, KeyPath(productKey).c_str(), 0, nullptr, 0,
                        KEY_SET_VALUE | ViewFlag(view), nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LONG status =
        RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool RegistryFixture::RemoveVendorKeys()
{
    const bool removed32 = RemoveVendorKey(RegistryView::Bit32);
    const bool removed64 = RemoveVendorKey(RegistryView::Bit64);
    return removed32 && removed64;
}
