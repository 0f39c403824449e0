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
    // Lines 9 and 10 of a signed description, blanks around them removed: the
    // package's version and the last day (YYYY-MM-DD, UTC) it may be installed.
    // Empty when the description has no such line.
    std::string releaseVersion;
    std::string lastDay;
};

constexpr std::size_t kPackageHashBytes = 32;

// Applies the lines of a fetched description ("\r\n" separated) over `descriptor`:
// line n replaces field n when present; missing lines keep what was there. The
// eighth line, the package's SHA-256, sets packageHashLine and packageHash.
void ApplySetupDescriptor(const std::string& text, SetupDescriptor& descriptor);

// The description's setup or launch file that is no name below the install
// folder (the rules of a package's entry names: no "..", drive, stream, rooted
// or UNC name), in `name`; false when both are. Such a description is refused
// before anything is downloaded: the elevated program would start whatever it
// names.
bool FindUnsafeProgramName(const SetupDescriptor& descriptor, std::string& name);

// The refusal; %1 is the name.
extern const char kUnsafeProgramNameText[];

// What a signing build makes of lines 9 and 10, which keep a signed but
// superseded description (and its package) from being installed again.
enum ReleaseCheck : int {
    kReleaseCurrent = 0,
    kReleaseLinesMissing = 1,        // no line 9 or no line 10
    kReleaseVersionMalformed = 2,    // line 9 is no version such as "2.2"
    kLastDayMalformed = 3,           // line 10 is no date YYYY-MM-DD
    kReleaseExpired = 4,             // the last day has passed
    kReleaseOlderThanInstalled = 5,  // the installed product is newer (the same may reinstall)
};

// Whether a description's expiry counts: install media lying beside the
// program are kept for years, and only their version is held to the rule.
enum class ExpiryRule { kChecked, kIgnored };

// A day as the number YYYYMMDD, so that days compare as numbers.
using CalendarDay = long;

// The day of "YYYY-MM-DD" (a real date of the Gregorian calendar); false for
// any other text.
bool ParseCalendarDay(const std::string& text, CalendarDay& day);

// Lines 9 and 10 of `descriptor` against the installed product's version (the
// product record's; empty when none is installed) and today's UTC date.
ReleaseCheck CheckRelease(const SetupDescriptor& descriptor, const std::string& installedVersion,
                          CalendarDay today, ExpiryRule expiry);

// The message for a ReleaseCheck other than kReleaseCurrent; the expiry names
// the last day, so that a user whose clock is wrong can tell.
std::string ReleaseCheckText(ReleaseCheck check, const SetupDescriptor& descriptor,
                             const std::string& installedVersion);

extern const char kReleaseLinesMissingText[];
extern const char kReleaseVersionMalformedText[];
extern const char kLastDayMalformedText[];
extern const char kReleaseExpiredText[];        // %1: the last day
extern const char kReleaseOlderThanInstalledText[];  // %1: offered, %2: installed version

// True when no mutex of the blank-separated names exists (none is running).
bool CheckProductNotRunning(const std::string& instanceNames);
