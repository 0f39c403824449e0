#include "net/transfer_display.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include <windows.h>

#include "net/progress_text.h"

namespace {

constexpr std::uint32_t kSampleInterval = 1000;

}  // namespace

std::uint32_t SystemTickCount()
{
    return GetTickCount();
}

CTransferDisplay::CTransferDisplay(IInstallProgress& progress, std::string fileName,
                                   TickSource ticks)
    : progress_(progress), fileName_(std::move(fileName)), ticks_(std::move(ticks))
{
}

void CTransferDisplay::ReportSize(std::uint32_t size)
{
    progress_.OnDownloadSize(size);
}

void CTransferDisplay::Start()
{
    Resume(0);
    lastPercentage_ = 0;
}

void CTransferDisplay::Resume(std::uint64_t received)
{
    startTime_ = ticks_();
    lastSampleTime_ = startTime_;
    bytesAtStart_ = received;
    bytesAtLastSample_ = received;
}

void CTransferDisplay::UpdateTransferDisplay(std::uint64_t received, bool sizeKnown,
                                             std::uint32_t size)
{
    // A server may announce nothing useful: a size of 0 has no percentage.
    const bool showSize = sizeKnown && size > 0;
    if (showSize) {
        UpdatePercentage(received, size);
    }
    const std::uint32_t now = ticks_();
    const std::uint32_t elapsed = now - lastSampleTime_;
    if (elapsed <= kSampleInterval) {
        return;
    }
    ShowTransferRate(static_cast<double>(received - bytesAtLastSample_) / elapsed);
    lastSampleTime_ = now;
    bytesAtLastSample_ = received;
    if (showSize && received != 0) {
        UpdateTimeLeft(now, received, size);
    }
}

// More bytes than announced never show more than 100 percent nor a bar past its end.
void CTransferDisplay::UpdatePercentage(std::uint64_t received, std::uint32_t size)
{
    const std::uint64_t counted = std::min<std::uint64_t>(received, size);
    const int percentage = static_cast<int>(static_cast<double>(counted) * 100.0 / size);
    if (percentage == lastPercentage_) {
        return;
    }
    ShowPercentage(percentage, counted, size);
    lastPercentage_ = percentage;
}

// The average speed since the start of this attempt, applied to the bytes still missing; none
// are missing once the announced size is reached. The elapsed time is taken
// across a wrap of the tick count.
void CTransferDisplay::UpdateTimeLeft(std::uint32_t now, std::uint64_t received, std::uint32_t size)
{
    const std::uint32_t counted = static_cast<std::uint32_t>(std::min<std::uint64_t>(received, size));
    if (counted <= bytesAtStart_) {
        return;
    }
    const double millisecondsPerByte =
        static_cast<double>(now - startTime_) / static_cast<double>(counted - bytesAtStart_);
    const double seconds = millisecondsPerByte * (size - counted) * 0.001;
    const double longest = static_cast<double>(UINT32_MAX);
    ShowTimeLeft(static_cast<std::uint32_t>(std::min(seconds, longest)), counted, size);
}

void CTransferDisplay::ShowPercentage(int percentage, std::uint64_t received, std::uint32_t size)
{
    ByteProgress progress;
    progress.received = received;
    progress.total = size;
    progress.percentage = percentage;
    progress.caption = FormatPercentageCaption(percentage, fileName_);
    progress_.OnBytesReceived(progress);
}

void CTransferDisplay::ShowTransferRate(double bytesPerMillisecond)
{
    progress_.OnTransferRate(FormatTransferRate(bytesPerMillisecond));
}

void CTransferDisplay::ShowTimeLeft(std::uint32_t seconds, std::uint32_t received, std::uint32_t size)
{
    progress_.OnTimeLeft(FormatTimeLeftText(seconds, received, size));
}
