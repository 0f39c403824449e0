#pragma once
// One WinInet session that reads whole small texts from the vendor web server.
#include <string>

#include <windows.h>
#include <wininet.h>

enum FetchResult : int {
    kFetchOk = 0,
    kFetchOffline = 1,
    kFetchCannotOpen = 2,
    kFetchEmpty = 3,
};

class CWebSession {
public:
    CWebSession();
    virtual ~CWebSession();
    CWebSession(const CWebSession&) = delete;
    CWebSession& operator=(const CWebSession&) = delete;

    bool IsOnline() const;
    // Opens the address (replaced by its canonical form); the caller closes the handle.
    HINTERNET OpenUrl(std::string& url);
    bool ReadChunk(HINTERNET request, char* buffer, DWORD size);
    // The text of the first read, trimmed; see FetchResult.
    int FetchText(const std::string& url, std::string& text);

private:
    HINTERNET session_ = nullptr;
};

// The vendor web server's address for `path` ("/download/MrvACAD.ver").
std::string VendorUrl(const std::string& path);
