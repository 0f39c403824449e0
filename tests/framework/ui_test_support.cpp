#include "tests/framework/ui_test_support.h"

#include <stdexcept>
#include <utility>

namespace {

struct WindowQuery {
    const wchar_t* className;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
{
    auto* query = reinterpret_cast<WindowQuery*>(parameter);
    if (!IsWindowVisible(window)) {
        return TRUE;
    }
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    if (query->className != nullptr && std::wstring(name) != query->className) {
        return TRUE;
    }
    if (query->caption != nullptr && WindowTextOf(window) != query->caption) {
        return TRUE;
    }
    query->found = window;
    return FALSE;
}

struct ChildQuery {
    const wchar_t* text;
    HWND found;
};

BOOL CALLBACK MatchChild(HWND window, LPARAM parameter)
{
    auto* query = reinterpret_cast<ChildQuery*>(parameter);
    if (WindowTextOf(window) == query->text) {
        query->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND WaitForThreadWindow(DWORD thread, const wchar_t* className, const wchar_t* caption,
                         DWORD timeoutMs)
{
    const DWORD begin = GetTickCount();
    for (;;) {
        WindowQuery query{className, caption, nullptr};
        EnumThreadWindows(thread, &MatchWindow, reinterpret_cast<LPARAM>(&query));
        if (query.found != nullptr) {
            return query.found;
        }
        if (GetTickCount() - begin > timeoutMs) {
            return nullptr;
        }
        Sleep(20);
    }
}

HWND FindChildByText(HWND parent, const wchar_t* text)
{
    ChildQuery query{text, nullptr};
    EnumChildWindows(parent, &MatchChild, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

std::wstring WindowTextOf(HWND window)
{
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

RECT RectInClient(HWND window, HWND parent)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

RECT DialogUnitsToPixels(HWND dialog, int left, int top, int width, int height)
{
    // Dialog creation converts the position and the size each on its own.
    RECT units{left, top, width, height};
    MapDialogRect(dialog, &units);
    return RECT{units.left, units.top, units.left + units.right, units.top + units.bottom};
}

void PressKey(DWORD thread, HWND fallback, WPARAM key)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    HWND target = fallback;
    if (GetGUIThreadInfo(thread, &info) && info.hwndFocus != nullptr) {
        target = info.hwndFocus;
    }
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

void ClickButton(HWND dialog, int id)
{
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

CWindowDriver::CWindowDriver(const wchar_t* className, const wchar_t* caption,
                             std::function<void(HWND)> action)
    : uiThread_(GetCurrentThreadId()),
      helper_(&CWindowDriver::Run, this, className != nullptr ? className : L"",
              caption != nullptr ? caption : L"", std::move(action))
{
}

CWindowDriver::~CWindowDriver()
{
    if (helper_.joinable()) {
        helper_.join();
    }
}

bool CWindowDriver::Finish()
{
    if (helper_.joinable()) {
        helper_.join();
    }
    return found_ && endedByAction_;
}

void CWindowDriver::Run(std::wstring className, std::wstring caption,
                        std::function<void(HWND)> action)
{
    HWND window = WaitForThreadWindow(uiThread_, className.empty() ? nullptr : className.c_str(),
                                      caption.empty() ? nullptr : caption.c_str());
    if (window == nullptr) {
        return;
    }
    found_ = true;
    action(window);
    for (int i = 0; i < 250 && IsWindow(window); ++i) {
        Sleep(20);
    }
    if (!IsWindow(window)) {
        endedByAction_ = true;
        return;
    }
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    for (int i = 0; i < 250 && IsWindow(window); ++i) {
        Sleep(20);
    }
    if (IsWindow(window)) {
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
}

void PumpMessages(DWORD milliseconds)
{
    const DWORD begin = GetTickCount();
    while (GetTickCount() - begin < milliseconds) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(5);
    }
}

namespace {

const UINT kProbeMessage = WM_APP + 0x3A;

}  // namespace

CProbeDialog::CProbeDialog(UINT templateId, std::function<void(CProbeDialog&)> probe)
    : CDialogBase(templateId), probe_(std::move(probe))
{
}

bool CProbeDialog::OnInitDialog()
{
    if (throwInInit) {
        throw std::runtime_error("initialisation failed");
    }
    const bool focus = CDialogBase::OnInitDialog();
    if (probe_) {
        PostMessageW(Hwnd(), kProbeMessage, 0, 0);
    }
    return focus;
}

LRESULT CProbeDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kProbeMessage) {
        probe_(*this);
        return 0;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && endOnOtherButtons &&
        LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL) {
        EndDialog(LOWORD(wParam));
        return 0;
    }
    return CDialogBase::HandleMessage(message, wParam, lParam);
}

bool CTestMainWindow::Create()
{
    const wchar_t* kClass = L"MorvaneTestMainWindow";
    RegisterOwnClass(kClass, 0, LoadCursorW(nullptr, IDC_ARROW),
                     reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    return CreateOwnWindow(kClass, 0, WS_OVERLAPPEDWINDOW | WS_VISIBLE, RECT{40, 40, 440, 340},
                           nullptr, 0, "main");
}

CTestMainWindow::~CTestMainWindow()
{
    if (Hwnd() != nullptr) {
        DestroyWindow(Hwnd());
    }
}

namespace {

// A top-down 32-bit DIB of `width` x `height` filled from `dc` at (x, y).
std::vector<unsigned> CopyPixels(HDC dc, int x, int y, int width, int height)
{
    std::vector<unsigned> pixels;
    if (width <= 0 || height <= 0) {
        return pixels;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(dc);
    if (bitmap != nullptr && memory != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, dc, x, y, SRCCOPY);
        GdiFlush();
        const auto* source = static_cast<const unsigned*>(bits);
        pixels.assign(source, source + static_cast<std::size_t>(width) * height);
        for (unsigned& pixel : pixels) {
            pixel &= 0x00FFFFFFu;
        }
        SelectObject(memory, old);
    }
    if (memory != nullptr) {
        DeleteDC(memory);
    }
    if (bitmap != nullptr) {
        DeleteObject(bitmap);
    }
    return pixels;
}

}  // namespace

std::vector<unsigned> CaptureClientPixels(HWND window, const RECT& area)
{
    HDC dc = GetDC(window);
    std::vector<unsigned> pixels =
        CopyPixels(dc, area.left, area.top, area.right - area.left, area.bottom - area.top);
    ReleaseDC(window, dc);
    return pixels;
}

bool SaveWindowPicture(HWND window, const std::wstring& path)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC dc = GetWindowDC(window);
    const std::vector<unsigned> pixels = CopyPixels(dc, 0, 0, width, height);
    ReleaseDC(window, dc);
    if (pixels.empty()) {
        return false;
    }
    const int stride = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biSizeImage = static_cast<DWORD>(stride * height);
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + header.biSizeImage;
    std::vector<unsigned char> data(header.biSizeImage);
    for (int y = 0; y < height; ++y) {
        unsigned char* line = &data[static_cast<std::size_t>(height - 1 - y) * stride];
        for (int x = 0; x < width; ++x) {
            const unsigned pixel = pixels[static_cast<std::size_t>(y) * width + x];
            line[x * 3] = static_cast<unsigned char>(pixel & 0xFF);
            line[x * 3 + 1] = static_cast<unsigned char>((pixel >> 8) & 0xFF);
            line[x * 3 + 2] = static_cast<unsigned char>((pixel >> 16) & 0xFF);
        }
    }
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    bool ok = WriteFile(out, &file, sizeof(file), &written, nullptr) &&
              WriteFile(out, &header, sizeof(header), &written, nullptr) &&
              WriteFile(out, data.data(), header.biSizeImage, &written, nullptr);
    CloseHandle(out);
    return ok;
}
