#include "tests/bench/vendor_server.h"

#include <cstdlib>
#include <map>
#include <sstream>
#include <vector>

#include <windows.h>
#include <wininet.h>

#include "util/file_read.h"
#include "util/wide_text.h"
#include "tests/bench/test_files.h"

namespace vendor {
namespace {

bool FileExists(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The build folder is the nearest folder above the test program with a CMakeCache.txt.
std::wstring BenchFolder()
{
    std::vector<wchar_t> path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    std::wstring folder(path.data(), length);
    for (;;) {
        const std::size_t slash = folder.find_last_of(L'\\');
        if (slash == std::wstring::npos) {
            return std::wstring();
        }
        folder.erase(slash);
        if (FileExists(folder + L"\\CMakeCache.txt")) {
            return folder + L"\\bench";
        }
    }
}

std::map<std::string, std::uint16_t> ReadPorts()
{
    std::map<std::string, std::uint16_t> ports;
    std::string text;
    ReadFileBytes(NarrowText(BenchFolder() + L"\\vendor.ports"), text);
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos) {
            ports[line.substr(0, equals)] =
                static_cast<std::uint16_t>(std::atoi(line.c_str() + equals + 1));
        }
    }
    return ports;
}

std::uint16_t Port(const char* name)
{
    static const std::map<std::string, std::uint16_t> ports = ReadPorts();
    const auto found = ports.find(name);
    return found == ports.end() ? 0 : found->second;
}

// Wine's WinInet reads the variable from the environment copy of its own C
// runtime (ucrtbase), taken when the process started: it is changed there, and
// in the process's block that programs started later inherit.
bool SetVariable(const wchar_t* name, const std::wstring& value)
{
    using PutVariable = int(__cdecl*)(const wchar_t*);
    const std::wstring assignment = std::wstring(name) + L"=" + value;
    bool set = SetEnvironmentVariableW(name, value.empty() ? nullptr : value.c_str()) != FALSE ||
               value.empty();
    for (const wchar_t* runtime : {L"ucrtbase.dll", L"msvcrt.dll"}) {
        HMODULE module = LoadLibraryW(runtime);
        const FARPROC put = module == nullptr ? nullptr : GetProcAddress(module, "_wputenv");
        if (put != nullptr) {
            const auto putVariable = reinterpret_cast<PutVariable>(reinterpret_cast<void (*)()>(put));
            set = putVariable(assignment.c_str()) == 0 && set;
        }
    }
    return set;
}

}  // namespace

bool Running()
{
    return HttpPort() != 0 && StatsCount(Url(""), "/") >= 0;
}

std::uint16_t HttpPort()
{
    return Port("http");
}

std::uint16_t ProxyPort()
{
    return Port("proxy");
}

std::uint16_t HttpsPort()
{
    return Port("https");
}

std::string Url(const std::string& target)
{
    return "http://127.0.0.1:" + std::to_string(HttpPort()) + target;
}

std::string Encode(const std::string& text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char ch : text) {
        if ((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') ||
            ch == '-' || ch == '_' || ch == '.' || ch == '~' || ch == '/') {
            out += static_cast<char>(ch);
        } else {
            out += '%';
            out += hex[ch >> 4];
            out += hex[ch & 15];
        }
    }
    return out;
}

std::string FetchDirect(const std::string& url)
{
    std::string body;
    HINTERNET session = InternetOpenW(L"MrvBench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (session == nullptr) {
        return body;
    }
    HINTERNET request = InternetOpenUrlW(session, WidenText(url).c_str(), L"Connection: close\r\n",
                                         static_cast<DWORD>(-1),
                                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    if (request != nullptr) {
        char buffer[4096];
        DWORD read = 0;
        while (InternetReadFile(request, buffer, sizeof buffer, &read) && read != 0) {
            body.append(buffer, read);
        }
        InternetCloseHandle(request);
    }
    InternetCloseHandle(session);
    return body;
}

long StatsCount(const std::string& serverUrl, const std::string& target)
{
    const std::string answer = FetchDirect(serverUrl + "/stats?target=" + Encode(target));
    if (answer.empty()) {
        return -1;
    }
    return std::atol(answer.c_str());
}

namespace {

long Count(const std::string& target)
{
    return StatsCount(Url(""), target);
}

}  // namespace

std::string SecureUrl(const std::string& target)
{
    return "https://127.0.0.1:" + std::to_string(HttpsPort()) + target;
}

std::string ProxyAddress()
{
    return "127.0.0.1:" + std::to_string(ProxyPort());
}

bool UseHttpProxy(const std::string& proxyUrl)
{
    const bool proxySet = SetVariable(L"http_proxy", WidenText(proxyUrl));
    return SetVariable(L"no_proxy", L"") && proxySet;
}

std::string OpenProxyUrl()
{
    return "http://127.0.0.1:" + std::to_string(HttpPort());
}

bool RouteVendorHostToServer(bool on)
{
    return UseHttpProxy(on ? OpenProxyUrl() : std::string());
}

std::string RunStamp()
{
    static const std::string stamp = [] {
        LARGE_INTEGER counter = {};
        QueryPerformanceCounter(&counter);
        return std::to_string(counter.QuadPart) + "-" + std::to_string(GetCurrentProcessId());
    }();
    return stamp;
}

long RequestCount(const std::string& target)
{
    return Count(target);
}

long ProxyRequestCount(const std::string& target)
{
    return Count("proxy " + target);
}

long long SentBytes(const std::string& target)
{
    return SentBytes(Url(""), target);
}

long long SentBytes(const std::string& serverUrl, const std::string& target)
{
    const std::string answer = FetchDirect(serverUrl + "/sent?target=" + Encode(target));
    if (answer.empty()) {
        return -1;
    }
    return std::atoll(answer.c_str());
}

std::string SentAnswers(const std::string& serverUrl, const std::string& target,
                        const std::string& alsoTarget)
{
    const std::string listing = FetchDirect(serverUrl + "/sent");
    std::string answers;
    std::size_t begin = 0;
    while (begin < listing.size()) {
        std::size_t end = listing.find('\n', begin);
        end = end == std::string::npos ? listing.size() : end;
        const std::string line = listing.substr(begin, end - begin);
        begin = end + 1;
        for (const std::string& asked : {target, alsoTarget}) {
            if (!asked.empty() && line.compare(0, asked.size() + 1, asked + " ") == 0) {
                const std::string rest = line.substr(asked.size() + 1);
                answers += "[" + rest.substr(0, rest.rfind(' ')) + "]";
            }
        }
    }
    return answers;
}

std::string FilesFolder()
{
    return NarrowText(BenchFolder() + L"\\vendor-files");
}

bool PutFile(const std::string& name, const std::string& bytes)
{
    CreateDirectoryW(WidenText(FilesFolder()).c_str(), nullptr);
    return WriteWholeFile(FilesFolder() + "\\" + name, bytes);
}

std::string CertificatePath()
{
    const std::wstring path = BenchFolder() + L"\\vendor-cert.pem";
    return FileExists(path) ? NarrowText(path) : std::string();
}

std::string PatternBytes(std::size_t offset, std::size_t length)
{
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<char>((offset + i) % 251);
    }
    return bytes;
}

}  // namespace vendor
