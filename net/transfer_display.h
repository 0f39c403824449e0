#pragma once
// The download's progress on the install window: the bar counted in kilobytes,
// the percentage in the caption, the transfer rate and the time left. Runs on
// the download worker after every block; the caption and the bar change at most
// once per whole percent, the rate and the time left at most once a second.
#include <cstdint>
#include <functional>
#include <string>

#include "net/install_view.h"

// Milliseconds of a clock that wraps like GetTickCount.
using TickSource = std::function<std::uint32_t()>;
std::uint32_t SystemTickCount();

class CTransferDisplay {
public:
    CTransferDisplay(IInstallView& view, std::string fileName, TickSource ticks = SystemTickCount);

    // The bar runs from 0 to the size in kilobytes, rounded to the nearest one.
    void SetProgressRange(std::uint32_t size);
    // Takes the start time and resets the samples; before the first block.
    void Start();
    void UpdateTransferDisplay(std::uint64_t received, bool sizeKnown, std::uint32_t size);

    void ShowPercentage(int percentage);
    void ShowTransferRate(double bytesPerMillisecond);
    void ShowTimeLeft(std::uint32_t seconds, std::uint32_t received, std::uint32_t size);

private:
    void UpdatePercentage(std::uint64_t received, std::uint32_t size);
    void UpdateTimeLeft(std::uint32_t now, std::uint64_t received, std::uint32_t size);

    IInstallView& view_;
    std::string fileName_;
    TickSource ticks_;
    std::uint32_t startTime_ = 0;
    std::uint32_t lastSampleTime_ = 0;
    std::uint64_t bytesAtLastSample_ = 0;
    int lastPercentage_ = 0;
};
