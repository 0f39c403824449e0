#include "product/setup_descriptor.h"

#include <cstddef>
#include <string>

#include "archive/entry_name.h"
#include "product/version.h"
#include "util/format_strings.h"
#include "util/hex_text.h"
#include "util/text_path.h"

const char kUnsafeProgramNameText[] =
    "安装说明指定的程序不在安装目录中: %1\n\n安装已取消。";
const char kReleaseLinesMissingText[] = "安装说明缺少版本号或有效期，安装已取消。";
const char kReleaseVersionMalformedText[] = "安装说明中的版本号无效，安装已取消。";
const char kLastDayMalformedText[] = "安装说明中的有效期无效，安装已取消。";
const char kReleaseExpiredText[] =
    "安装说明的有效期到 %1 (UTC) 为止，现已过期，安装已取消。\n\n如果系统日期不正确，请更正后重试。";
const char kReleaseOlderThanInstalledText[] =
    "安装说明提供的版本 %1 比已安装的版本 %2 旧，安装已取消。";

namespace {

constexpr std::size_t kHashLineIndex = 7;
constexpr std::size_t kReleaseVersionLineIndex = 8;
constexpr std::size_t kLastDayLineIndex = 9;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Decimal numbers separated by single dots, as the version file gives them;
// a part of more than nine digits is no version anyone ships.
bool IsVersionText(const std::string& text)
{
    std::size_t digits = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && IsDigit(text[i])) {
            if (++digits > 9) {
                return false;
            }
        } else if (digits == 0 || (i < text.size() && text[i] != '.')) {
            return false;
        } else {
            digits = 0;
        }
    }
    return true;
}

bool IsLeapYear(long year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}


// A line that claims a hash it cannot deliver is not taken for "no hash": that
// would let a damaged or tampered description switch the check off.
void ApplyHashLine(const std::string& line, SetupDescriptor& descriptor)
{
    descriptor.packageHash.clear();
    if (line.find_first_not_of(" \t") == std::string::npos) {
        descriptor.packageHashLine = kHashAbsent;
    } else if (ParseHexBytes(line, kPackageHashBytes, descriptor.packageHash)) {
        descriptor.packageHashLine = kHashPresent;
    } else {
        descriptor.packageHashLine = kHashMalformed;
    }
}

}  // namespace

void ApplySetupDescriptor(const std::string& text, SetupDescriptor& descriptor)
{
    std::string* const fields[] = {
        &descriptor.displayName,    &descriptor.instanceNames,   &descriptor.downloadUrl,
        &descriptor.setupFile,      &descriptor.setupArguments,  &descriptor.launchFile,
        &descriptor.launchArguments,
    };
    TextList lines;
    SplitString(text, "\r\n", lines);
    const std::size_t fieldCount = sizeof fields / sizeof fields[0];
    for (std::size_t i = 0; i < lines.size() && i < fieldCount; ++i) {
        *fields[i] = lines[i];
    }
    if (lines.size() > kHashLineIndex) {
        ApplyHashLine(lines[kHashLineIndex], descriptor);
    }
    if (lines.size() > kReleaseVersionLineIndex) {
        descriptor.releaseVersion = TrimBlanks(lines[kReleaseVersionLineIndex]);
    }
    if (lines.size() > kLastDayLineIndex) {
        descriptor.lastDay = TrimBlanks(lines[kLastDayLineIndex]);
    }
}

bool ParseCalendarDay(const std::string& text, CalendarDay& day)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i != 4 && i != 7 && !IsDigit(text[i])) {
            return false;
        }
    }
    const long year = std::stol(text.substr(0, 4));
    const long month = std::stol(text.substr(5, 2));
    const long date = std::stol(text.substr(8, 2));
    static const long kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || month < 1 || month > 12 || date < 1) {
        return false;
    }
    const long lastOfMonth = kMonthDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
    if (date > lastOfMonth) {
        return false;
    }
    day = year * 10000 + month * 100 + date;
    return true;
}

// Malformed lines are refused before the date and the version are compared:
// what cannot be read is never taken for "current".
ReleaseCheck CheckRelease(const SetupDescriptor& descriptor, const std::string& installedVersion,
                          CalendarDay today, ExpiryRule expiry)
{
    if (descriptor.releaseVersion.empty() || descriptor.lastDay.empty()) {
        return kReleaseLinesMissing;
    }
    if (!IsVersionText(descriptor.releaseVersion)) {
        return kReleaseVersionMalformed;
    }
    CalendarDay lastDay = 0;
    if (!ParseCalendarDay(descriptor.lastDay, lastDay)) {
        return kLastDayMalformed;
    }
    if (expiry == ExpiryRule::kChecked && today > lastDay) {
        return kReleaseExpired;
    }
    if (IsNewerVersion(descriptor.releaseVersion, installedVersion)) {
        return kReleaseOlderThanInstalled;
    }
    return kReleaseCurrent;
}

std::string ReleaseCheckText(ReleaseCheck check, const SetupDescriptor& descriptor,
                             const std::string& installedVersion)
{
    switch (check) {
    case kReleaseLinesMissing:
        return kReleaseLinesMissingText;
    case kReleaseVersionMalformed:
        return kReleaseVersionMalformedText;
    case kLastDayMalformed:
        return kLastDayMalformedText;
    case kReleaseExpired:
        return FormatString1(kReleaseExpiredText, descriptor.lastDay);
    case kReleaseOlderThanInstalled:
        return FormatString2(kReleaseOlderThanInstalledText, descriptor.releaseVersion,
                             installedVersion);
    default:
        return std::string();
    }
}

bool FindUnsafeProgramName(const SetupDescriptor& descriptor, std::string& name)
{
    TextList parts;
    for (const std::string* program : {&descriptor.setupFile, &descriptor.launchFile}) {
        if (!IsSafeEntryName(*program) || !SplitEntryName(*program, parts)) {
            name = *program;
            return true;
        }
    }
    return false;
}
