#pragma once
// Move-only owners of system handles: one type per way of closing, so that the
// close that matches an acquisition is chosen once, where the type is named.
#include <windows.h>
#include <bcrypt.h>
#include <objbase.h>
#include <wininet.h>

#include "util/unique_resource.h"

namespace handle_traits {

// Every close keeps the thread's last error: an owner that goes out of scope
// between a failed call and the caller's GetLastError must not change the answer.
template <typename Closer>
struct KeepsLastError {
    template <typename Handle>
    static void Close(Handle handle) noexcept
    {
        const DWORD error = GetLastError();
        Closer::CloseNow(handle);
        SetLastError(error);
    }
};

struct Kernel : KeepsLastError<Kernel> {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static void CloseNow(Handle handle) noexcept { CloseHandle(handle); }
};

// CreateFile reports failure with INVALID_HANDLE_VALUE instead of null.
struct File : KeepsLastError<File> {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void CloseNow(Handle handle) noexcept { CloseHandle(handle); }
};

struct Internet : KeepsLastError<Internet> {
    using Handle = HINTERNET;
    static Handle Invalid() noexcept { return nullptr; }
    static void CloseNow(Handle handle) noexcept { InternetCloseHandle(handle); }
};

struct FindSearch : KeepsLastError<FindSearch> {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void CloseNow(Handle handle) noexcept { FindClose(handle); }
};

struct RegistryKey : KeepsLastError<RegistryKey> {
    using Handle = HKEY;
    static Handle Invalid() noexcept { return nullptr; }
    static void CloseNow(Handle handle) noexcept { RegCloseKey(handle); }
};

template <typename GdiHandle>
struct GdiObject : KeepsLastError<GdiObject<GdiHandle>> {
    using Handle = GdiHandle;
    static Handle Invalid() noexcept { return nullptr; }
    static void CloseNow(Handle handle) noexcept { DeleteObject(handle); }
};

struct Icon : KeepsLastError<Icon> {
    using Handle = HICON;
    static Handle Invalid() noexcept { return nullptr; }
    static void CloseNow(Handle handle) noexcept { DestroyIcon(handle); }
};

struct Cursor : KeepsLastError<Cursor> {
    using Handle = HCURSOR;
    static Handle Invalid() noexcept { return nullptr; }
    static void CloseNow(Handle handle) noexcept { DestroyCursor(handle); }
};

struct MemoryDC : KeepsLastError<MemoryDC> {
    using Handle = HDC;
    static Handle Invalid() noexcept { return nullptr; }
    static void CloseNow(Handle handle) noexcept { DeleteDC(handle); }
};

struct Module : KeepsLastError<Module> {
    using Handle = HMODULE;
    static Handle Invalid() noexcept { return nullptr; }
    static void CloseNow(Handle handle) noexcept { FreeLibrary(handle); }
};

// Memory that the system allocated for the caller with LocalAlloc (FormatMessage's buffer).
struct LocalMemory : KeepsLastError<LocalMemory> {
    using Handle = HLOCAL;
    static Handle Invalid() noexcept { return nullptr; }
    static void CloseNow(Handle handle) noexcept { LocalFree(handle); }
};

// Memory from the COM task allocator, such as the shell's item lists.
template <typename Pointee>
struct TaskMemory : KeepsLastError<TaskMemory<Pointee>> {
    using Handle = Pointee*;
    static Handle Invalid() noexcept { return nullptr; }
    static void CloseNow(Handle handle) noexcept { CoTaskMemFree(handle); }
};

// One reference to a COM object.
template <typename Interface>
struct ComReference : KeepsLastError<ComReference<Interface>> {
    using Handle = Interface*;
    static Handle Invalid() noexcept { return nullptr; }
    static void CloseNow(Handle handle) noexcept { handle->Release(); }
};

struct CngAlgorithm : KeepsLastError<CngAlgorithm> {
    using Handle = BCRYPT_ALG_HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static void CloseNow(Handle handle) noexcept { BCryptCloseAlgorithmProvider(handle, 0); }
};

struct CngHash : KeepsLastError<CngHash> {
    using Handle = BCRYPT_HASH_HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static void CloseNow(Handle handle) noexcept { BCryptDestroyHash(handle); }
};

struct CngKey : KeepsLastError<CngKey> {
    using Handle = BCRYPT_KEY_HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static void CloseNow(Handle handle) noexcept { BCryptDestroyKey(handle); }
};

}  // namespace handle_traits

using UniqueHandle = UniqueResource<handle_traits::Kernel>;
using UniqueFile = UniqueResource<handle_traits::File>;
using UniqueInternet = UniqueResource<handle_traits::Internet>;
using UniqueFindSearch = UniqueResource<handle_traits::FindSearch>;
using UniqueRegKey = UniqueResource<handle_traits::RegistryKey>;
using UniqueLocalMemory = UniqueResource<handle_traits::LocalMemory>;
template <typename Pointee>
using UniqueTaskMemory = UniqueResource<handle_traits::TaskMemory<Pointee>>;
template <typename Interface>
using UniqueComPtr = UniqueResource<handle_traits::ComReference<Interface>>;
using UniqueFont = UniqueResource<handle_traits::GdiObject<HFONT>>;
using UniqueBrush = UniqueResource<handle_traits::GdiObject<HBRUSH>>;
using UniqueBitmap = UniqueResource<handle_traits::GdiObject<HBITMAP>>;
using UniqueIcon = UniqueResource<handle_traits::Icon>;
using UniqueCursor = UniqueResource<handle_traits::Cursor>;
using UniqueMemoryDC = UniqueResource<handle_traits::MemoryDC>;
using UniqueModule = UniqueResource<handle_traits::Module>;
using UniqueCngAlgorithm = UniqueResource<handle_traits::CngAlgorithm>;
using UniqueCngHash = UniqueResource<handle_traits::CngHash>;
using UniqueCngKey = UniqueResource<handle_traits::CngKey>;

// A window's device context from GetDC, given back to the same window.
class WindowDC {
public:
    explicit WindowDC(HWND window) noexcept : window_(window), dc_(GetDC(window)) {}
    ~WindowDC()
    {
        if (dc_ != nullptr) {
            ReleaseDC(window_, dc_);
        }
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// BeginPaint/EndPaint around one WM_PAINT.
class PaintDC {
public:
    explicit PaintDC(HWND window) noexcept : window_(window), dc_(BeginPaint(window, &paint_)) {}
    ~PaintDC() { EndPaint(window_, &paint_); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;

    HDC get() const noexcept { return dc_; }
    const PAINTSTRUCT& paint() const noexcept { return paint_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// Selects an object into a device context and puts the previous one back.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject()
    {
        if (previous_ != nullptr && previous_ != HGDI_ERROR) {
            SelectObject(dc_, previous_);
        }
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};
