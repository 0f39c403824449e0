#pragma once
// The stage of the product install in one place: from the install command
// through the download worker's end to the window's end.
//
// Threads: the user-interface thread makes every change but two, which the
// download worker makes: kDownloading -> kInstalling as it begins the install
// step, and kInstalling -> kInstalled once the install stands. Each change is
// one compare-and-swap on `stage_`, so where the two threads race (a cancel
// against the start or the decision of the install step, the window's end
// against the start of the install step) exactly one of them wins.
#include <atomic>

enum class InstallStage {
    // No install under way: the page shown answers as it is.
    kIdle,
    // The install command waits for the setup description and asks about
    // running instances; the install page takes no input meanwhile.
    kPreparing,
    // The worker runs and has not begun the install step.
    kDownloading,
    // The worker runs the install step, which nothing cuts short.
    kInstalling,
    // The install stands; the worker starts the setup program and ends.
    kInstalled,
    // A cancel came before the install step: the worker stops and installs nothing.
    kCancelling,
    // A cancel came during the install step: the worker puts the folder back.
    kRollingBack,
    // The window ends; nothing of the install goes on.
    kEnding,
};

class CInstallFlow {
public:
    InstallStage Stage() const { return stage_; }

    // User-interface thread.
    // kIdle -> kPreparing; false while an install is under way.
    bool BeginCommand() { return Move(InstallStage::kIdle, InstallStage::kPreparing); }
    // kPreparing -> kIdle: the command stopped before anything started.
    void AbandonCommand() { Move(InstallStage::kPreparing, InstallStage::kIdle); }
    // kPreparing -> kDownloading, just before the worker starts.
    bool BeginDownload() { return Move(InstallStage::kPreparing, InstallStage::kDownloading); }
    // kDownloading -> kCancelling or kInstalling -> kRollingBack; false when
    // there is nothing left to cancel (the install stands, or it ended).
    bool Cancel();
    // Any stage but a running install step -> kEnding; false while the
    // worker runs the install step (kInstalling, kRollingBack, kInstalled),
    // which must be waited for.
    bool EndUnlessInstalling();
    // The worker's end has been handled and the window stays: kIdle again.
    void Reset() { stage_ = InstallStage::kIdle; }

    // Worker.
    // kDownloading -> kInstalling; false after a cancel or the window's end:
    // then nothing is installed.
    bool EnterInstallStep() { return Move(InstallStage::kDownloading, InstallStage::kInstalling); }
    // kInstalling -> kInstalled; false when a cancel came first: the install
    // is then rolled back.
    bool StandInstall() { return Move(InstallStage::kInstalling, InstallStage::kInstalled); }

private:
    bool Move(InstallStage from, InstallStage to)
    {
        return stage_.compare_exchange_strong(from, to);
    }

    std::atomic<InstallStage> stage_{InstallStage::kIdle};
};
