#include "product/setup_descriptor.h"

#include <cstddef>

#include "archive/entry_name.h"
#include "util/hex_text.h"
#include "util/text_path.h"

const char kUnsafeProgramNameText[] =
    "安装说明指定的程序不在安装目录中: %1\n\n安装已取消。";

namespace {

constexpr std::size_t kHashLineIndex = 7;

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
