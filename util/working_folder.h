#pragma once
// The folder in which the elevated program keeps what it writes and later reads
// back or starts (the downloaded package, the backups, the journal): one that
// only Administrators and SYSTEM can change, below the Windows folder's Temp,
// whose parents no ordinary user can rename or replace.
//
//   <Windows>\Temp\MrvTessalySetup\<16 hex digits>\ (with its backslash)
//
// The last level is named after the user's temporary folder, so that two users
// (and two test runs with their own TEMP) never share one; the name only picks
// a folder, each is made by this program with the protected descriptor below.
// Every level is made with that descriptor, opened, checked through its handle
// and held open (without delete sharing: it cannot be renamed) until the
// process ends. A level that is there already and fails the check is set
// aside and made afresh.
#include <string>

#include <windows.h>

// Owner Administrators, no inherited entries, full control for Administrators
// and SYSTEM only, a high mandatory label that no lower process may write past.
extern const wchar_t kProtectedFolderSddl[];

// What a product folder that the program creates is given, as a program folder
// of Windows has: Administrators and SYSTEM full control, Users read and run,
// nothing inherited from a parent (outside Program Files that parent may let
// every user change it). The owner is the elevated creator's default,
// Administrators.
extern const wchar_t kProgramFolderSddl[];

// Creates one folder with the descriptor of `sddl`; false as CreateDirectory.
bool CreateFolderWithSddl(const std::string& path, const wchar_t* sddl);

enum class FolderTrust {
    kTrusted,        // owner and entries as this program makes them
    kSetAside,       // the volume keeps descriptors, and this one is not ours
    kNoDescriptors,  // the volume keeps none (FAT; Wine): the location is what is trusted
};

// The decision over a folder's descriptor as it reads back, beside the
// read-back of a probe folder just made with kProtectedFolderSddl on the same
// volume: a folder whose descriptor is as this program makes it is trusted; one
// that is not is set aside where the probe shows that the volume keeps what it
// is given (or where there is no probe), and taken as it is where the probe
// shows that the volume does not keep it.
FolderTrust DecideFolderTrust(PSECURITY_DESCRIPTOR folder, PSECURITY_DESCRIPTOR probe);

// True for a descriptor owned by Administrators or SYSTEM, with a protected
// DACL of no inherited entry, in which no allowing entry gives anyone but
// Administrators or SYSTEM a right to change the folder or what it holds.
bool IsProtectedFolderDescriptor(PSECURITY_DESCRIPTOR descriptor);

// The working folder with its trailing backslash, made and checked at the first
// call (below `parent`, or below the Windows folder's Temp when it is empty);
// empty when it could not be made. The first call is the start-up's, on the
// main thread, before any other thread runs.
std::string WorkingFolder();
std::string WorkingFolderBelow(const std::string& parent);
// `name` inside the working folder; empty when there is none.
std::string WorkingFilePath(const std::string& name);
// Where the working folder of a user whose temporary folder is `userTempFolder`
// (with its trailing backslash, as GetTempPath gives it) lies below the Windows
// folder's Temp; nothing is made or checked.
std::string WorkingFolderOf(const std::string& userTempFolder);
