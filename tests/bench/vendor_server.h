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

// How many requests the server (not its proxy) saw for exactly this target
// (path and query); -1 when it could not be asked.
long RequestCount(const std::string& target);
// How many requests the proxy saw for this target.
long ProxyRequestCount(const std::string& target);

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
