#pragma once
// One WinInet session that reads whole small texts from the vendor web server.
//
// Threads: a session is used by one thread at a time, except Cancel, which any
// thread may call while a fetch blocks. They meet under `lock_`: Cancel closes
// the request in flight and the session, so that a blocked call returns as soon
// as WinInet lets it, and every later fetch fails at once.
#include <mutex>
#include <string>

#include <windows.h>
#include <wininet.h>

#include "util/handles.h"

enum FetchResult : int {
    kFetchOk = 0,
    kFetchOffline = 1,
    kFetchCannotOpen = 2,
    kFetchEmpty = 3,
};

// The bounds of every WinInet session of the program, in milliseconds: a
// server that accepts and never answers, or stops in the middle of an answer,
// fails the call instead of holding it for ever.
constexpr DWORD kConnectTimeoutMs = 10000;
constexpr DWORD kSendTimeoutMs = 15000;
constexpr DWORD kReceiveTimeoutMs = 15000;
// Sets the bounds on a session or connection handle; the connections and
// requests opened below it inherit them.
void SetSessionTimeouts(HINTERNET session);

class CWebSession {
public:
    CWebSession();
    virtual ~CWebSession();
    CWebSession(const CWebSession&) = delete;
    CWebSession& operator=(const CWebSession&) = delete;

    bool IsOnline() const;
    // Opens the address (replaced by its canonical form); empty when it cannot
    // be opened or the server answered with anything but success.
    UniqueInternet OpenUrl(std::string& url);
    bool ReadChunk(HINTERNET request, char* buffer, DWORD size);
    // The text of the first read, trimmed; see FetchResult.
    FetchResult FetchText(const std::string& url, std::string& text);
    // Any thread: ends the fetch in flight and every later one.
    void Cancel();

private:
    HINTERNET Session() const;
    // Makes `request` the one that Cancel closes; false (and closed) when the
    // session was cancelled meanwhile.
    bool HoldRequest(UniqueInternet request);
    // Closes `request` unless Cancel already has.
    void ReleaseRequest(HINTERNET request);

    mutable std::mutex lock_;
    UniqueInternet session_;
    UniqueInternet request_;
};

// The vendor web server's address for `path` ("/download/MrvACAD.ver").
std::string VendorUrl(const std::string& path);
