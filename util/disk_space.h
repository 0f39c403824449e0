#pragma once
// Free space on the volume that will hold a folder, and the refusal the user
// reads when it is too little.
#include <cstdint>
#include <string>

enum SpaceCheck : int {
    kSpaceEnough = 0,
    kSpaceShort = 1,    // the message names the folder, what is needed and what is free
    kSpaceUnknown = 2,  // the volume did not answer; the caller goes on as it would have
};

// The bytes available to this user on the volume of `folder`. The folder need
// not exist yet: its nearest existing ancestor is asked. False when no
// ancestor exists or the volume does not answer.
bool GetFreeBytes(const std::string& folder, std::uint64_t& freeBytes);

// Compares `neededBytes` with the free space of `folder`'s volume; on
// kSpaceShort `message` holds the text for the user.
SpaceCheck CheckFreeSpace(const std::string& folder, std::uint64_t neededBytes, std::string& message);

// The message for a folder whose volume holds `freeBytes` where `neededBytes`
// are needed. Sizes in MB with one decimal: the need rounded up and the free
// space rounded down, so that the two never read the same.
std::string SpaceShortageText(const std::string& folder, std::uint64_t neededBytes,
                              std::uint64_t freeBytes);

// The message text; %1 the folder, %2 needed MB, %3 free MB.
extern const char kSpaceShortageText[];

// A disk that fills up while the install writes (another program wrote in the
// meantime): the install step's text when an entry fails on a full disk and
// was rolled back; %1 the file.
extern const char kDiskFullText[];

// True for the system's error codes of a full disk (ERROR_HANDLE_DISK_FULL,
// ERROR_DISK_FULL).
bool IsDiskFullError(unsigned long errorCode);
