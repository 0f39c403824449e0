#pragma once
// A progress sink that shows nothing and answers yes, for programs and tests
// that drive the engine without a window; they override what they watch.
#include <cstdint>
#include <string>

#include "net/install_progress.h"

class NullProgress : public IInstallProgress {
public:
    void OnSource(const std::string&) override {}
    void OnPhase(DownloadPhase, const std::string&) override {}
    void OnDownloadSize(std::uint32_t) override {}
    void OnBytesReceived(const ByteProgress&) override {}
    void OnTransferRate(const std::string&) override {}
    void OnTimeLeft(const std::string&) override {}
    void OnExtractStart(std::uint32_t) override {}
    void OnEntries(const EntryProgress&) override {}
    void OnExtractEnd(std::uint32_t) override {}
    bool AskReplace(const std::string&) override { return true; }
    void OnNotStarted(const std::string&) override {}
    HWND CredentialOwner() const override { return nullptr; }
    void OnEnd(bool, const std::string&) override {}
};
