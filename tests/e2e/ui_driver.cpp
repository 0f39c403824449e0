#include "tests/e2e/ui_driver.h"

#include <algorithm>
#include <cstdint>
#include <cwctype>

#include <commctrl.h>
#include <zlib.h>

#include "util/wide_text.h"
#include "tests/bench/test_files.h"

namespace e2e {
namespace {

constexpr UINT kSendTimeoutMs = 5000;

struct WindowSearch {
    DWORD processId;
    HWND owner;
    bool wantOwned;
    std::wstring caption;
    HWND found;
};

bool IsDialogClass(HWND window)
{
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    return std::wstring(name) == L"#32770";
}

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
{
    auto& search = *reinterpret_cast<WindowSearch*>(parameter);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != search.processId || !IsWindowVisible(window) || !IsDialogClass(window)) {
        return TRUE;
    }
    const HWND owner = GetWindow(window, GW_OWNER);
    if (search.wantOwned) {
        if (owner != search.owner) {
            return TRUE;
        }
    } else if (owner != nullptr || WidenText(TextOf(window)) != search.caption) {
        return TRUE;
    }
    search.found = window;
    return FALSE;
}

HWND FindWindowOf(WindowSearch search)
{
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The environment block of this process with `extra` laid over it, sorted by
// name as CreateProcess wants it.
std::wstring EnvironmentBlock(const std::vector<std::string>& extra)
{
    std::vector<std::wstring> variables;
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1) {
        variables.emplace_back(entry);
    }
    FreeEnvironmentStringsW(block);
    const auto nameOf = [](const std::wstring& variable) {
        // Drive variables such as "=C:=C:\" start with '='.
        std::wstring name = variable.substr(0, variable.find(L'=', 1));
        std::transform(name.begin(), name.end(), name.begin(), towupper);
        return name;
    };
    for (const std::string& narrow : extra) {
        const std::wstring variable = WidenText(narrow);
        variables.erase(std::remove_if(variables.begin(), variables.end(),
                                       [&](const std::wstring& v) {
                                           return nameOf(v) == nameOf(variable);
                                       }),
                        variables.end());
        variables.push_back(variable);
    }
    std::sort(variables.begin(), variables.end(),
              [&](const std::wstring& a, const std::wstring& b) { return nameOf(a) < nameOf(b); });
    std::wstring result;
    for (const std::wstring& variable : variables) {
        result += variable;
        result += L'\0';
    }
    result += L'\0';
    return result;
}

void AppendChunk(std::string& png, const char* type, const std::string& data)
{
    const auto appendNumber = [&png](std::uint32_t number) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            png += static_cast<char>((number >> shift) & 0xFF);
        }
    };
    appendNumber(static_cast<std::uint32_t>(data.size()));
    const std::string body = std::string(type, 4) + data;
    png += body;
    appendNumber(static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

// A PNG file of 24-bit pixels given top row first as blue, green, red.
std::string EncodePng(const std::vector<unsigned char>& bgr, int width, int height, int stride)
{
    std::string rows;
    rows.reserve(static_cast<std::size_t>(height) * (width * 3 + 1));
    for (int y = 0; y < height; ++y) {
        rows += '\0';
        const unsigned char* line = &bgr[static_cast<std::size_t>(y) * stride];
        for (int x = 0; x < width; ++x) {
            rows += static_cast<char>(line[x * 3 + 2]);
            rows += static_cast<char>(line[x * 3 + 1]);
            rows += static_cast<char>(line[x * 3]);
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(rows.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                  reinterpret_cast<const Bytef*>(rows.data()), static_cast<uLong>(rows.size()),
                  6) != Z_OK) {
        return std::string();
    }
    packed.resize(packedSize);
    std::string header;
    for (const std::uint32_t number :
         {static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            header += static_cast<char>((number >> shift) & 0xFF);
        }
    }
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, no interlace
    std::string png("\x89PNG\r\n\x1a\n", 8);
    AppendChunk(png, "IHDR", header);
    AppendChunk(png, "IDAT", packed);
    AppendChunk(png, "IEND", std::string());
    return png;
}

struct ScreenPixels {
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<unsigned char> bgr;  // top row first; empty on failure
};

ScreenPixels CaptureScreen(const RECT& rect)
{
    ScreenPixels pixels;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) {
        return pixels;
    }
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    const bool copied = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    pixels.stride = (width * 3 + 3) & ~3;
    pixels.bgr.resize(static_cast<std::size_t>(pixels.stride) * height);
    const bool read = copied && GetDIBits(memory, bitmap, 0, static_cast<UINT>(height),
                                          pixels.bgr.data(), &info, DIB_RGB_COLORS) == height;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (!read) {
        pixels.bgr.clear();
        return pixels;
    }
    pixels.width = width;
    pixels.height = height;
    return pixels;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) {
            return true;
        }
        if (GetTickCount64() >= end) {
            return false;
        }
        Sleep(10);
    }
}

CProgramRun::~CProgramRun()
{
    Kill();
}

bool CProgramRun::Start(const std::string& program, const std::vector<std::string>& extraEnvironment)
{
    const std::wstring path = WidenText(program);
    const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
    std::wstring commandLine = L"\"" + path + L"\"";
    std::wstring environment = EnvironmentBlock(extraEnvironment);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT, environment.data(), folder.c_str(), &startup,
                        &info)) {
        return false;
    }
    CloseHandle(info.hThread);
    process_.reset(info.hProcess);
    processId_ = info.dwProcessId;
    return true;
}

HWND CProgramRun::WaitForMainWindow(const std::string& caption, DWORD timeoutMs)
{
    HWND found = nullptr;
    WaitUntil(
        [&] {
            found = FindWindowOf({processId_, nullptr, false, WidenText(caption), nullptr});
            return found != nullptr || !Running();
        },
        timeoutMs);
    return found;
}

HWND CProgramRun::FindOwnedDialog(HWND owner) const
{
    return FindWindowOf({processId_, owner, true, std::wstring(), nullptr});
}

HWND CProgramRun::WaitForOwnedDialog(HWND owner, DWORD timeoutMs) const
{
    HWND found = nullptr;
    WaitUntil(
        [&] {
            found = FindOwnedDialog(owner);
            return found != nullptr || !Running();
        },
        timeoutMs);
    return found;
}

bool CProgramRun::WaitForExit(DWORD timeoutMs)
{
    return process_ && WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0;
}

bool CProgramRun::Running() const
{
    return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

void CProgramRun::Kill()
{
    if (Running()) {
        TerminateProcess(process_.get(), 99);
        WaitForSingleObject(process_.get(), kWaitMs);
    }
}

HWND Control(HWND dialog, int id)
{
    return GetDlgItem(dialog, id);
}

std::string TextOf(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &length)) {
        return std::string();
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied)) {
        return std::string();
    }
    text.resize(std::min<std::size_t>(copied, length));
    return NarrowText(text);
}

std::string ControlText(HWND dialog, int id)
{
    const HWND control = Control(dialog, id);
    return control == nullptr ? std::string() : TextOf(control);
}

bool IsShown(HWND dialog, int id)
{
    const HWND control = Control(dialog, id);
    return control != nullptr && IsWindowVisible(control);
}

bool IsEnabled(HWND dialog, int id)
{
    const HWND control = Control(dialog, id);
    return control != nullptr && IsWindowEnabled(control);
}

bool Click(HWND dialog, int id)
{
    const HWND control = Control(dialog, id);
    if (control == nullptr || !IsWindowVisible(control) || !IsWindowEnabled(control)) {
        return false;
    }
    return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(control)) != FALSE;
}

bool SetCheck(HWND dialog, int id, bool checked)
{
    const HWND control = Control(dialog, id);
    if (control == nullptr || !IsWindowVisible(control) || !IsWindowEnabled(control)) {
        return false;
    }
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutW(control, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0,
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored)) {
        return false;
    }
    return Click(dialog, id);
}

bool TypeText(HWND edit, const std::string& text)
{
    const std::wstring wide = WidenText(text);
    DWORD_PTR result = 0;
    return edit != nullptr && IsWindowVisible(edit) && IsWindowEnabled(edit) &&
           SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()),
                               SMTO_ABORTIFHUNG, kSendTimeoutMs, &result) &&
           result == TRUE;
}

bool IsChecked(HWND dialog, int id)
{
    DWORD_PTR state = 0;
    return SendMessageTimeoutW(Control(dialog, id), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG,
                               kSendTimeoutMs, &state) &&
           state == BST_CHECKED;
}

std::string TreeSelectionText(HWND dialog)
{
    HWND tree = FindWindowExW(dialog, nullptr, WC_TREEVIEWW, nullptr);
    for (HWND child = FindWindowExW(dialog, nullptr, nullptr, nullptr); tree == nullptr && child;
         child = FindWindowExW(dialog, child, nullptr, nullptr)) {
        tree = FindWindowExW(child, nullptr, WC_TREEVIEWW, nullptr);
    }
    const LRESULT item = tree ? SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0) : 0;
    DWORD processId = 0;
    GetWindowThreadProcessId(dialog, &processId);
    UniqueResource<handle_traits::Kernel> process(
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId));
    if (item == 0 || !process) {
        return std::string();
    }
    // The tree fills the item in the memory of its own process.
    struct Remote {
        TVITEMW item;
        wchar_t text[MAX_PATH];
    };
    void* remote = VirtualAllocEx(process.get(), nullptr, sizeof(Remote), MEM_COMMIT,
                                  PAGE_READWRITE);
    if (remote == nullptr) {
        return std::string();
    }
    Remote local{};
    local.item.mask = TVIF_TEXT;
    local.item.hItem = reinterpret_cast<HTREEITEM>(item);
    local.item.pszText = static_cast<Remote*>(remote)->text;
    local.item.cchTextMax = MAX_PATH;
    std::string text;
    if (WriteProcessMemory(process.get(), remote, &local, sizeof local, nullptr) &&
        SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote)) &&
        ReadProcessMemory(process.get(), remote, &local, sizeof local, nullptr)) {
        local.text[MAX_PATH - 1] = L'\0';
        text = NarrowText(local.text);
    }
    VirtualFreeEx(process.get(), remote, 0, MEM_RELEASE);
    return text;
}

std::vector<std::string> ComboItems(HWND dialog, int id)
{
    std::vector<std::string> items;
    const HWND combo = Control(dialog, id);
    DWORD_PTR count = 0;
    if (combo == nullptr || !SendMessageTimeoutW(combo, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG,
                                                 kSendTimeoutMs, &count)) {
        return items;
    }
    for (WPARAM i = 0; i < count; ++i) {
        DWORD_PTR length = 0;
        SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, i, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                            &length);
        std::wstring text(length + 1, L'\0');
        DWORD_PTR copied = 0;
        SendMessageTimeoutW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()),
                            SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied);
        text.resize(std::min<std::size_t>(copied, length));
        items.push_back(NarrowText(text));
    }
    return items;
}

int ComboSelection(HWND dialog, int id)
{
    DWORD_PTR selection = static_cast<DWORD_PTR>(CB_ERR);
    SendMessageTimeoutW(Control(dialog, id), CB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                        &selection);
    return static_cast<int>(static_cast<LRESULT>(selection));
}

bool SelectComboItem(HWND dialog, int id, int index)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(Control(dialog, id), CB_SETCURSEL, static_cast<WPARAM>(index), 0,
                               SMTO_ABORTIFHUNG, kSendTimeoutMs, &result) &&
           static_cast<int>(static_cast<LRESULT>(result)) == index;
}

ProgressState ProgressOf(HWND dialog, int id)
{
    const HWND bar = Control(dialog, id);
    ProgressState state;
    DWORD_PTR value = 0;
    SendMessageTimeoutW(bar, PBM_GETRANGE, TRUE, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &value);
    state.low = static_cast<int>(value);
    SendMessageTimeoutW(bar, PBM_GETRANGE, FALSE, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &value);
    state.high = static_cast<int>(value);
    SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &value);
    state.position = static_cast<int>(value);
    return state;
}

RECT ScreenRectOf(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

std::string MessageBoxText(HWND box)
{
    const HWND text = GetDlgItem(box, 0xFFFF);
    if (text != nullptr) {
        return TextOf(text);
    }
    const HWND question = GetDlgItem(box, 1032);
    return question == nullptr ? std::string() : TextOf(question);
}

bool Answer(HWND box, int id)
{
    const HWND button = GetDlgItem(box, id);
    if (!PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                      reinterpret_cast<LPARAM>(button))) {
        return false;
    }
    return WaitGone(box);
}

bool WaitGone(HWND window, DWORD timeoutMs)
{
    return WaitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); }, timeoutMs);
}

bool Settle(HWND window)
{
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                               &ignored) != 0;
}

bool SavePicture(HWND window, const std::string& path)
{
    // Windows of other test programs share the display and the screen origin:
    // for the picture this one goes on top of them.
    constexpr UINT kKeepPlace = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, kKeepPlace);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Settle(window);
    // The window belongs to another process, which paints in its own time.
    Sleep(150);
    const ScreenPixels current = CaptureScreen(ScreenRectOf(window));
    SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, kKeepPlace);
    if (current.bgr.empty()) {
        return false;
    }
    const std::string png = EncodePng(current.bgr, current.width, current.height, current.stride);
    return !png.empty() && WriteWholeFile(path, png);
}

}  // namespace e2e
