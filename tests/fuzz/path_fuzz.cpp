// libFuzzer target: any bytes as a path or entry name. Splits it with
// CPathName and judges it with IsSafeEntryName, and checks that a name judged
// safe can never be split into a drive, a root or a ".." folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "archive/entry_name.h"
#include "util/text_path.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const CPathName path(text);
    for (std::size_t i = 0; i <= path.ComponentCount(); ++i) {
        path.Component(i);
    }
    GetPathFileName(text);
    if (IsSafeEntryName(text)) {
        const bool rooted = !path.Directory().empty() && !path.IsRelative();
        if (!path.Drive().empty() || rooted) {
            std::abort();
        }
        for (std::size_t i = 0; i < path.ComponentCount(); ++i) {
            if (path.Component(i) == "..") {
                std::abort();
            }
        }
    }
    return 0;
}
