#include "net/url.h"

#include <cstddef>
#include <cstring>

#include "util/cp936.h"

namespace {

struct Scheme {
    const char* name;
    UrlService service;
    std::uint16_t defaultPort;
};

constexpr Scheme kSchemes[] = {
    {"http", kServiceHttp, 80},   {"https", kServiceHttps, 443}, {"ftp", kServiceFtp, 21},
    {"gopher", kServiceGopher, 70}, {"file", kServiceFile, 0},
};

constexpr const char* kBlanks = " \t\r\n\v\f";

std::string TrimBlanks(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

char LowerAscii(char ch)
{
    return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
}

bool SameNameIgnoringCase(const std::string& text, const char* name)
{
    if (text.size() != std::strlen(name)) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (LowerAscii(text[i]) != name[i]) {
            return false;
        }
    }
    return true;
}

const Scheme* FindScheme(const std::string& name)
{
    for (const Scheme& scheme : kSchemes) {
        if (SameNameIgnoringCase(name, scheme.name)) {
            return &scheme;
        }
    }
    return nullptr;
}

// The first of the single-byte characters `chars` at or after `from`, stepping
// over double-byte characters (a trail byte may look like '@').
std::size_t FindFirstOf936(const std::string& text, const char* chars, std::size_t from)
{
    for (std::size_t i = from; i < text.size(); i += CharLength936(text, i)) {
        if (!IsLeadByte936(static_cast<unsigned char>(text[i])) && std::strchr(chars, text[i])) {
            return i;
        }
    }
    return std::string::npos;
}

bool ParsePort(const std::string& digits, std::uint16_t defaultPort, std::uint16_t& port)
{
    if (digits.empty()) {
        port = defaultPort;
        return true;
    }
    if (digits.size() > 5) {
        return false;
    }
    unsigned long value = 0;
    for (char ch : digits) {
        if (ch < '0' || ch > '9') {
            return false;
        }
        value = value * 10 + static_cast<unsigned long>(ch - '0');
    }
    if (value == 0 || value > 65535) {
        return false;
    }
    port = static_cast<std::uint16_t>(value);
    return true;
}

// "[user[:password]@]server[:port]" into server and port.
bool SplitAuthority(const std::string& authority, const Scheme& scheme, std::string& server,
                    std::uint16_t& port)
{
    std::size_t hostStart = 0;
    for (std::size_t at = FindFirstOf936(authority, "@", 0); at != std::string::npos;
         at = FindFirstOf936(authority, "@", at + 1)) {
        hostStart = at + 1;
    }
    const std::string host = authority.substr(hostStart);
    std::size_t colon = std::string::npos;
    if (!host.empty() && host[0] == '[') {
        const std::size_t close = host.find(']');
        if (close == std::string::npos) {
            return false;
        }
        if (close + 1 < host.size()) {
            if (host[close + 1] != ':') {
                return false;
            }
            colon = close + 1;
        }
    } else {
        colon = FindFirstOf936(host, ":", 0);
    }
    server = host.substr(0, colon);
    const std::string digits = colon == std::string::npos ? std::string() : host.substr(colon + 1);
    return ParsePort(digits, scheme.defaultPort, port);
}

}  // namespace

bool ParseUrl(const std::string& url, UrlParts& parts)
{
    const std::string text = TrimBlanks(url);
    const std::size_t schemeEnd = text.find("://");
    if (schemeEnd == std::string::npos || schemeEnd == 0) {
        return false;
    }
    const Scheme* scheme = FindScheme(text.substr(0, schemeEnd));
    if (scheme == nullptr) {
        return false;
    }
    const std::size_t authorityStart = schemeEnd + 3;
    std::size_t objectStart = FindFirstOf936(text, "/?#", authorityStart);
    if (objectStart == std::string::npos) {
        objectStart = text.size();
    }
    UrlParts result;
    result.serviceType = scheme->service;
    if (!SplitAuthority(text.substr(authorityStart, objectStart - authorityStart), *scheme,
                        result.server, result.port)) {
        return false;
    }
    if (result.server.empty() && scheme->service != kServiceFile) {
        return false;
    }
    result.object = text.substr(objectStart);
    if (result.object.empty() || result.object[0] != '/') {
        result.object.insert(0, "/");
    }
    parts = result;
    return true;
}
