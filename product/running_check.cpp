#include <windows.h>

#include "product/setup_descriptor.h"
#include "util/handles.h"
#include "util/text_path.h"
#include "util/wide_text.h"

namespace {

// Creating the mutex is the probe: the product holds one of that name while it
// runs. Our own handle is closed at once so the probe never blocks the product.
// A mutex that another account created and we may not open exists just as well.
bool IsInstanceRunning(const std::string& name)
{
    SetLastError(ERROR_SUCCESS);
    const UniqueHandle mutex(CreateMutexW(nullptr, TRUE, WidenText(name).c_str()));
    const DWORD error = GetLastError();
    return error == ERROR_ALREADY_EXISTS || (!mutex && error == ERROR_ACCESS_DENIED);
}

}  // namespace

bool CheckProductNotRunning(const std::string& instanceNames)
{
    TextList names;
    SplitString(instanceNames, " ", names);
    for (const std::string& name : names) {
        // Two blanks in a row leave an empty piece; an unnamed mutex would say nothing.
        if (!name.empty() && IsInstanceRunning(name)) {
            return false;
        }
    }
    return true;
}
