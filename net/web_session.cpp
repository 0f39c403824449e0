#include "net/web_session.h"

#include <cstring>
#include <utility>
#include <vector>

#include "build_config.h"
#include "util/text_path.h"
#include "util/wide_text.h"

namespace {

constexpr wchar_t kAgent[] = L"AutoUpdateAgent";
// Canonical addresses longer than this are refused rather than cut.
constexpr DWORD kCanonicalUrlSize = 1024;
// Always the server's current text, never a cached one.
constexpr DWORD kOpenUrlFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_RESYNCHRONIZE |
                                INTERNET_FLAG_HYPERLINK | INTERNET_FLAG_NEED_FILE;
constexpr DWORD kTextReadSize = 4096;

// An HTTP answer other than success carries an error page, not the text asked
// for; addresses of other schemes have no status and pass.
bool AnsweredWithSuccess(HINTERNET request)
{
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr)) {
        return true;
    }
    return status >= 200 && status < 300;
}

void SetTimeout(HINTERNET session, DWORD option, DWORD milliseconds)
{
    InternetSetOptionW(session, option, &milliseconds, sizeof milliseconds);
}

}  // namespace

void SetSessionTimeouts(HINTERNET session)
{
    if (session == nullptr) {
        return;
    }
    SetTimeout(session, INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs);
    SetTimeout(session, INTERNET_OPTION_SEND_TIMEOUT, kSendTimeoutMs);
    SetTimeout(session, INTERNET_OPTION_RECEIVE_TIMEOUT, kReceiveTimeoutMs);
    SetTimeout(session, INTERNET_OPTION_DATA_SEND_TIMEOUT, kSendTimeoutMs);
    SetTimeout(session, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, kReceiveTimeoutMs);
}

CWebSession::CWebSession()
    : session_(InternetOpenW(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0))
{
    SetSessionTimeouts(session_.get());
}

CWebSession::~CWebSession() = default;

HINTERNET CWebSession::Session() const
{
    std::lock_guard<std::mutex> lock(lock_);
    return session_.get();
}

bool CWebSession::IsOnline() const
{
    DWORD connectionKinds = 0;
    return Session() != nullptr && InternetGetConnectedState(&connectionKinds, 0) != FALSE;
}

UniqueInternet CWebSession::OpenUrl(std::string& url)
{
    const HINTERNET session = Session();
    if (session == nullptr) {
        return UniqueInternet();
    }
    std::vector<wchar_t> canonical(kCanonicalUrlSize, L'\0');
    DWORD length = kCanonicalUrlSize;
    if (!InternetCanonicalizeUrlW(WidenText(url).c_str(), canonical.data(), &length,
                                  ICU_BROWSER_MODE)) {
        return UniqueInternet();
    }
    url = NarrowText(canonical.data());
    UniqueInternet request(
        InternetOpenUrlW(session, canonical.data(), nullptr, 0, kOpenUrlFlags, 0));
    if (request && !AnsweredWithSuccess(request.get())) {
        return UniqueInternet();
    }
    return request;
}

bool CWebSession::ReadChunk(HINTERNET request, char* buffer, DWORD size)
{
    DWORD read = 0;
    InternetReadFile(request, buffer, size, &read);
    return read > 0;
}

FetchResult CWebSession::FetchText(const std::string& url, std::string& text)
{
    if (!IsOnline()) {
        return kFetchOffline;
    }
    std::string address = url;
    UniqueInternet opened = OpenUrl(address);
    const HINTERNET request = opened.get();
    if (!opened || !HoldRequest(std::move(opened))) {
        return kFetchCannotOpen;
    }
    std::vector<char> buffer(kTextReadSize, '\0');
    const bool read = ReadChunk(request, buffer.data(), kTextReadSize);
    ReleaseRequest(request);
    if (!read) {
        return kFetchEmpty;
    }
    text = TrimBlanks(std::string(buffer.data(), strnlen(buffer.data(), buffer.size())));
    return kFetchOk;
}

void CWebSession::Cancel()
{
    std::lock_guard<std::mutex> lock(lock_);
    request_.reset();
    session_.reset();
}

bool CWebSession::HoldRequest(UniqueInternet request)
{
    std::lock_guard<std::mutex> lock(lock_);
    if (!session_) {
        return false;
    }
    request_ = std::move(request);
    return true;
}

void CWebSession::ReleaseRequest(HINTERNET request)
{
    std::lock_guard<std::mutex> lock(lock_);
    if (request_.get() == request) {
        request_.reset();
    }
}

std::string VendorUrl(const std::string& path)
{
    return MRV_VENDOR_SERVER + path;
}
