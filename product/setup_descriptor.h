#pragma once
// The install parameters that the vendor's setup description can replace.
#include <string>

struct SetupDescriptor {
    std::string displayName = "墨岚 AutoCAD 插件";
    std::string instanceNames = "MorvaneForAutoCADStart MorvaneForAutoCADSetup";
    std::string downloadUrl;
    std::string setupFile = "MrvCADSetup.exe";
    std::string setupArguments = "all";
    std::string launchFile = "MrvCADSetup.exe";
    std::string launchArguments = "tessaly";
};

// Applies the lines of a fetched description ("\r\n" separated) over `descriptor`:
// line n replaces field n when present; missing lines keep what was there.
void ApplySetupDescriptor(const std::string& text, SetupDescriptor& descriptor);

// True when no mutex of the blank-separated names exists (none is running).
bool CheckProductNotRunning(const std::string& instanceNames);
