#pragma once
// The install parameters that the vendor's setup description can replace.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What the description's eighth line says about the package's SHA-256.
enum PackageHashLine : int {
    kHashAbsent = 0,     // no eighth line, or an empty one: the package is not checked
    kHashPresent = 1,    // 64 hex digits: packageHash holds the 32 bytes
    kHashMalformed = 2,  // something else: a signing build refuses it; without a key it checks nothing
};

struct SetupDescriptor {
    std::string displayName = "墨岚 AutoCAD 插件";
    std::string instanceNames = "MorvaneForAutoCADStart MorvaneForAutoCADSetup";
    std::string downloadUrl;
    std::string setupFile = "MrvCADSetup.exe";
    std::string setupArguments = "all";
    std::string launchFile = "MrvCADSetup.exe";
    std::string launchArguments = "tessaly";
    PackageHashLine packageHashLine = kHashAbsent;
    std::vector<std::uint8_t> packageHash;
};

constexpr std::size_t kPackageHashBytes = 32;

// Applies the lines of a fetched description ("\r\n" separated) over `descriptor`:
// line n replaces field n when present; missing lines keep what was there. The
// eighth line, the package's SHA-256, sets packageHashLine and packageHash.
void ApplySetupDescriptor(const std::string& text, SetupDescriptor& descriptor);

// True when no mutex of the blank-separated names exists (none is running).
bool CheckProductNotRunning(const std::string& instanceNames);
