#include "product/setup_descriptor.h"

#include <cstddef>

#include "util/text_path.h"

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
}
