#pragma once
// The test vendor web server (tests/fixtures/vendor_server.py) as the Windows
// tests see it. ctest starts it for the build folder (fixture "vendor"), which
// writes its ports into bench\vendor.ports; the tests find that file by walking
// up from their own program to the build folder.
#include <cstdint>
#include <string>

namespace vendor {

// False when the server of this build folder is not running.
bool Running();

std::uint16_t HttpPort();
std::uint16_t ProxyPort();
// 0 when the server runs without a certificate.
std::uint16_t HttpsPort();

// "http://127.0.0.1:PORT" followed by `target` ("/download/MrvACAD.ver").
std::string Url(const std::string& target);
std::string SecureUrl(const std::string& target);
// "127.0.0.1:PORT" of the proxy that wants "mrv" / "tessaly".
std::string ProxyAddress();
constexpr char kUser[] = "mrv";
constexpr char kPassword[] = "tessaly";

// Proxy routing. WinInet sessions opened with INTERNET_OPEN_TYPE_PRECONFIG (the
// setup program's, and the download's) take their proxy, under Wine, from the
// prefix's Internet Settings (ProxyEnable, ProxyServer) or, while ProxyEnable is
// not 1 there, from the http_proxy variable. The bench prefix has no proxy, and
// a registry setting would change every test program that shares the prefix, so
// a test routes through the variable, which is its own process's:
//   - for itself: UseHttpProxy below, before the sessions are opened (a session
//     keeps the proxy it was opened with);
//   - for a program it starts: "http_proxy=http://127.0.0.1:PORT" and
//     "no_proxy=" in that program's environment.
//
// Sends the http requests of sessions opened from now on, in this process and in
// programs it starts from now on, through `proxyUrl` ("http://127.0.0.1:PORT");
// an empty `proxyUrl` sends them directly again. True when it was set.
bool UseHttpProxy(const std::string& proxyUrl);
// The vendor server as an open proxy: its http port answers a proxy request
// ("GET http://www.morvane.example/PATH") for any host as that host, without
// credentials. "http://127.0.0.1:PORT".
std::string OpenProxyUrl();
// RouteVendorHostToServer(true) makes the vendor's own host (MRV_VENDOR_SERVER,
// "http://www.morvane.example" unless the build says otherwise; a name that
// resolves nowhere) reach this server: UseHttpProxy(OpenProxyUrl()). false ends
// the routing (UseHttpProxy("")). Such requests are counted by their whole
// address, the default port left out (Wine writes ":80"):
// RequestCount("http://www.morvane.example/download/MrvACAD.ver").
bool RouteVendorHostToServer(bool on);

// Text that differs between test programs and between runs ("12345678-40"): put
// into a target, it keeps a test's request counts its own, however many programs
// share the server and however often they ran against it.
std::string RunStamp();

// Asks `url` directly, whatever proxy a test has set for its own process, and
// answers the body (empty when it could not be asked). The connection is not
// kept: WinInet would hand a kept one to the test's next request, which then
// neither resolves a name nor connects.
std::string FetchDirect(const std::string& url);
// How many requests the vendor server at `serverUrl` ("http://127.0.0.1:PORT")
// saw for exactly this target; -1 when it could not be asked.
long StatsCount(const std::string& serverUrl, const std::string& target);

// How many requests the server (not its proxy) saw for exactly this target
// (path and query, or the whole address of a request that came as to a proxy);
// -1 when it could not be asked.
long RequestCount(const std::string& target);
// How many requests the proxy saw for this target.
long ProxyRequestCount(const std::string& target);
// The body bytes that the range-aware routes (/behave/ranged, /ranged/NAME) sent
// for exactly this target over all its requests; -1 when it could not be asked.
long long SentBytes(const std::string& target);
// The same, of the vendor server at `serverUrl` ("http://127.0.0.1:PORT").
long long SentBytes(const std::string& serverUrl, const std::string& target);
// "[STATUS FIRST]" for each answer, in order, that the range-aware routes of
// the vendor server at `serverUrl` sent for exactly `target` or for
// `alsoTarget` (the same request as it came through a proxy; empty: none).
std::string SentAnswers(const std::string& serverUrl, const std::string& target,
                        const std::string& alsoTarget = std::string());

// Files put here are served as /files/NAME, and as /download/NAME in place of
// the built-in texts; "package.zip" replaces the built-in package.
std::string FilesFolder();
// Writes `bytes` as FilesFolder()\`name`; true when all were written.
bool PutFile(const std::string& name, const std::string& bytes);
// The server's certificate (PEM); empty when it has none.
std::string CertificatePath();

// The body pattern of /behave/* answers: byte i is i % 251.
std::string PatternBytes(std::size_t offset, std::size_t length);

}  // namespace vendor
