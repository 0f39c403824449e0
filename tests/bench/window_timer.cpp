// Starts a program and reports when its first window shows and answers: a
// visible top-level window of the process whose thread takes a sent message.
// Usage: window_timer PROGRAM [HTTP_PROXY]
// Prints "spawn=MS ready=MS" in milliseconds since 1970 (ready=-1 when no
// window came within a minute), then ends the program.
#include <cstdio>
#include <string>

#include <windows.h>

namespace {

constexpr DWORD kGiveUpMs = 60000;

long long NowMs()
{
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const long long ticks = (static_cast<long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return (ticks - 116444736000000000LL) / 10000;
}

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindShownWindow(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: window_timer PROGRAM [HTTP_PROXY]\n");
        return 2;
    }
    if (argc > 2) {
        SetEnvironmentVariableW(L"http_proxy", argv[2]);
        SetEnvironmentVariableW(L"no_proxy", L"");
    }
    std::wstring program = argv[1];
    std::wstring folder = program.substr(0, program.find_last_of(L"\\/") + 1);
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const long long spawn = NowMs();
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
        std::fprintf(stderr, "window_timer: cannot start the program (%lu)\n", GetLastError());
        return 1;
    }
    long long ready = -1;
    while (NowMs() - spawn < kGiveUpMs) {
        Search search{process.dwProcessId, nullptr};
        EnumWindows(FindShownWindow, reinterpret_cast<LPARAM>(&search));
        DWORD_PTR ignored = 0;
        if (search.found != nullptr &&
            SendMessageTimeoutW(search.found, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kGiveUpMs,
                                &ignored) != 0) {
            ready = NowMs();
            break;
        }
        if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0) {
            break;
        }
    }
    std::printf("spawn=%lld ready=%lld\n", spawn, ready);
    std::fflush(stdout);
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return ready < 0 ? 1 : 0;
}
