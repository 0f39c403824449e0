#pragma once
// The download's progress as the user sees it: the bytes and the percentage
// caption, the transfer rate and the time left. Runs on the download worker
// after every block; the percentage is reported at most once per whole
// percent, the rate and the time left at most once a second.
#include <cstdint>
#include <functional>
#include <string>

#include "net/install_progress.h"

// Milliseconds of a clock that wraps like GetTickCount.
using TickSource = std::function<std::uint32_t()>;
std::uint32_t SystemTickCount();

class CTransferDisplay {
public:
    CTransferDisplay(IInstallProgress& progress, std::string fileName, TickSource ticks = SystemTickCount);

    void ReportSize(std::uint32_t size);
    // Takes the start time and resets the samples; before the first block.
    void Start();
    // A transfer that goes on from `received` bytes after a break: the bar
    // and the percentage stay, the rate and the time left count this attempt.
    void Resume(std::uint64_t received);
    void UpdateTransferDisplay(std::uint64_t received, bool sizeKnown, std::uint32_t size);

    void ShowPercentage(int percentage, std::uint64_t received, std::uint32_t size);
    void ShowTransferRate(double bytesPerMillisecond);
    void ShowTimeLeft(std::uint32_t seconds, std::uint32_t received, std::uint32_t size);

private:
    void UpdatePercentage(std::uint64_t received, std::uint32_t size);
    void UpdateTimeLeft(std::uint32_t now, std::uint64_t received, std::uint32_t size);

    IInstallProgress& progress_;
    std::string fileName_;
    TickSource ticks_;
    std::uint32_t startTime_ = 0;
    std::uint64_t bytesAtStart_ = 0;
    std::uint32_t lastSampleTime_ = 0;
    std::uint64_t bytesAtLastSample_ = 0;
    int lastPercentage_ = 0;
};
