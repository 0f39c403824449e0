#pragma once
// Splitting an Internet address into its parts, as the download needs them.
#include <cstdint>
#include <string>

// The framework's service kinds (AFX_INET_SERVICE_*). Ftp, gopher and http are
// also WinInet's INTERNET_SERVICE_* values; https is a connection of the http
// service made over TLS.
enum UrlService : std::uint32_t {
    kServiceFtp = 1,
    kServiceGopher = 2,
    kServiceHttp = 3,
    kServiceFile = 0x1001,
    kServiceHttps = 0x100B,
};

struct UrlParts {
    UrlService serviceType{};  // none (0) until an address is split
    std::string server;
    std::string object;  // path and query, "/" at least
    std::uint16_t port = 0;
};

// Splits "scheme://[user[:password]@]server[:port][/object]". Blanks around the
// address are ignored, the scheme's case too; a missing port is the scheme's own
// (http 80, https 443, ftp 21, gopher 70). False for text that is not an
// absolute address with a known scheme and a server (a file address needs none),
// or whose port is not a number from 1 to 65535; `parts` is then unchanged.
bool ParseUrl(const std::string& url, UrlParts& parts);
