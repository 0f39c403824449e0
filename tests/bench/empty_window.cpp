// The least Win32 program with a window: the yardstick for the setup program's
// first window (tests/bench/window_bench.sh).
#include <windows.h>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"MrvEmptyWindow";
    if (RegisterClassW(&windowClass) == 0) {
        return 1;
    }
    if (CreateWindowW(L"MrvEmptyWindow", L"Empty", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640,
                      480, nullptr, nullptr, instance, nullptr) == nullptr) {
        return 1;
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
