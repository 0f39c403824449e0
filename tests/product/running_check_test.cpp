#include "product/setup_descriptor.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "util/wide_text.h"

namespace {

// A running product instance, as far as the probe can tell: a named mutex that
// another holder keeps open.
class HeldMutex {
public:
    explicit HeldMutex(const std::string& name)
        : handle_(CreateMutexW(nullptr, FALSE, WidenText(name).c_str()))
    {
    }
    ~HeldMutex()
    {
        if (handle_ != nullptr) {
            CloseHandle(handle_);
        }
    }
    HeldMutex(const HeldMutex&) = delete;
    HeldMutex& operator=(const HeldMutex&) = delete;
    bool Held() const { return handle_ != nullptr; }

private:
    HANDLE handle_;
};

bool MutexExists(const std::string& name)
{
    const HANDLE handle = OpenMutexW(SYNCHRONIZE, FALSE, WidenText(name).c_str());
    if (handle == nullptr) {
        return false;
    }
    CloseHandle(handle);
    return true;
}

struct RunningCase {
    const char* what;
    std::vector<std::string> held;
    const char* names;
    bool notRunning;
};

const char kDefaultNames[] = "MorvaneForAutoCADStart MorvaneForAutoCADSetup";

// One test walks every case: the probe creates the same names for a moment, so
// two probes must never run side by side.
TEST(RunningCheckTest, CheckProductNotRunning)
{
    const RunningCase cases[] = {
        {"none running", {}, kDefaultNames, true},
        {"the product's start mutex is held", {"MorvaneForAutoCADStart"}, kDefaultNames, false},
        {"the setup mutex is held", {"MorvaneForAutoCADSetup"}, kDefaultNames, false},
        {"both held", {"MorvaneForAutoCADStart", "MorvaneForAutoCADSetup"}, kDefaultNames, false},
        {"a held mutex that is not listed", {"MorvaneSomethingElse"}, kDefaultNames, true},
        {"empty list", {"MorvaneForAutoCADStart"}, "", true},
        {"double blank between names", {"MorvaneForAutoCADSetup"},
         "MorvaneForAutoCADStart  MorvaneForAutoCADSetup", false},
        {"name in Chinese", {"墨岚运行中"}, "MorvaneForAutoCADStart 墨岚运行中", false},
        {"letter case differs", {"MorvaneForAutoCADStart"}, "morvaneforautocadstart", true},
    };
    for (const RunningCase& c : cases) {
        std::vector<std::unique_ptr<HeldMutex>> held;
        for (const std::string& name : c.held) {
            held.push_back(std::make_unique<HeldMutex>(name));
            ASSERT_TRUE(held.back()->Held()) << c.what;
        }
        EXPECT_EQ(CheckProductNotRunning(c.names), c.notRunning) << c.what;
        held.clear();
        // The probe keeps nothing open: once the holders let go, no mutex remains.
        EXPECT_FALSE(MutexExists("MorvaneForAutoCADStart")) << c.what;
        EXPECT_FALSE(MutexExists("MorvaneForAutoCADSetup")) << c.what;
    }
}

}  // namespace
