#pragma once
// The space a product package needs before it is extracted: the install
// folder's volume must hold every file entry's uncompressed size, the backup
// folder's volume every file that the package replaces. On one volume a
// backup is a rename and needs no room.
#include <cstdint>
#include <string>

#include <windows.h>

#include "util/disk_space.h"
#include "util/text.h"

struct InstallSpaceNeed {
    std::uint64_t installBytes = 0;  // uncompressed sizes of the file entries
    std::uint64_t backupBytes = 0;   // sizes of the existing files they replace
    // Those existing files, each once, by the full path the install step
    // writes them under.
    TextList replacedFiles;
};

// Reads the package's directory; false when it cannot be read (the install
// step then reports the damaged package as before). The disk is asked once per
// folder of the package and once per file in a folder that exists, so a new
// install folder costs no look-up per file.
// `package` is read from its first byte, whatever its position.
bool MeasureInstallSpace(HANDLE package, const std::string& installFolder, InstallSpaceNeed& need);
bool MeasureInstallSpace(const std::string& archivePath, const std::string& installFolder,
                         InstallSpaceNeed& need);

// kSpaceEnough, kSpaceShort with `message` (util/disk_space.h) naming the
// folder that lacks space, or kSpaceUnknown. Nothing is written.
SpaceCheck CheckInstallSpace(const InstallSpaceNeed& need, const std::string& installFolder,
                             const std::string& backupFolder, std::string& message);
