#pragma once
// A real Win32 window standing for the install window in the download tests:
// real static labels, a real progress bar and the cancel button, created on the
// test's thread and kept hidden. It maps the progress it is told onto them as
// the install window does (the window's own test checks that mapping there).
// Every change that reaches a control or the caption is recorded by the window
// itself, on its own thread, in the order it arrived; message boxes and
// dialogs that it owns are answered by the bench.
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <windows.h>

#include "net/install_progress.h"

// The controls of the test window, with the install window's ids.
enum TestControl : int {
    kStatusLabel = 1001,
    kSourceLabel = 1003,
    kProgressBar = 1004,
    kTimeLeftLabel = 1014,
    kRateLabel = 1016,
    kCancelButton = 1021,
    kTimeLeftCaption = 1023,
    kRateCaption = 1024,
};

// Posted by OnEnd; wParam 1 when failed.
constexpr UINT WM_DOWNLOAD_DONE = WM_APP + 1;

struct ViewChange {
    enum Kind { kText, kCaption, kRange, kPosition, kEnable, kShow, kMessageBox, kEndWindow, kDone };
    Kind kind;
    int control;       // the control id; 0 for the window itself
    std::string text;  // kText, kCaption, kMessageBox
    std::uint32_t value;  // kRange, kPosition, kEnable, kShow, kMessageBox (the answer), kDone (wParam)
};

class TestView : public IInstallProgress {
public:
    TestView();
    ~TestView() override;
    TestView(const TestView&) = delete;
    TestView& operator=(const TestView&) = delete;

    HWND Window() const { return window_; }

    void OnSource(const std::string& text) override;
    void OnPhase(DownloadPhase phase, const std::string& statusText) override;
    void OnDownloadSize(std::uint32_t bytes) override;
    void OnBytesReceived(const ByteProgress& progress) override;
    void OnTransferRate(const std::string& text) override;
    void OnTimeLeft(const std::string& text) override;
    void OnExtractStart(std::uint32_t entryCount) override;
    void OnEntries(const EntryProgress& progress) override;
    void OnExtractEnd(std::uint32_t entryCount) override;
    bool AskReplace(const std::string& question) override;
    void OnNotStarted(const std::string& errorText) override;
    HWND CredentialOwner() const override { return window_; }
    void OnEnd(bool failed, const std::string& errorText) override;

    // Runs this thread's messages until `done` holds (checked after every
    // message) or `timeoutMs` has passed; true when it held.
    bool RunUntil(const std::function<bool()>& done, DWORD timeoutMs);
    // Until WM_DOWNLOAD_DONE has arrived.
    bool RunUntilDone(DWORD timeoutMs = 60000);

    const std::vector<ViewChange>& Changes() const { return changes_; }
    std::vector<std::string> TextsOf(int controlId) const;
    std::vector<std::string> Captions() const;
    std::vector<std::uint32_t> ValuesOf(ViewChange::Kind kind) const;
    std::vector<std::string> MessageBoxTexts() const;
    int DoneCount() const;
    bool DoneFailed() const;
    bool WindowEnded() const;
    // The text a control shows now.
    std::string ControlText(int controlId) const;
    // The bar's range and position as the control itself reports them.
    std::uint32_t BarMaximum() const;
    std::uint32_t BarPosition() const;

    // Called on this thread after each recorded change.
    std::function<void(const ViewChange&)> onChange;
    // Called for each new window that this window owns (a dialog of a worker
    // included); when unset, message boxes get `messageAnswer`.
    std::function<void(HWND dialog)> onDialog;
    int messageAnswer = IDNO;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR id, DWORD_PTR view);
    void SetLabelText(int controlId, const std::string& text);
    void SetControlText(int controlId, const std::string& text);
    void ShowControl(int controlId, bool show);
    void SetProgressRange(std::uint32_t maximum);
    void SetProgressPos(std::uint32_t position);
    void SetCaption(const std::string& caption);
    int ShowMessage(const std::string& text, UINT flags);
    void EndWindow();
    void Record(ViewChange change);
    void AnswerOwnedWindows();
    HWND Control(int controlId) const;

    HWND window_ = nullptr;
    std::vector<ViewChange> changes_;
    std::set<HWND> answered_;
};

// Answers a message box (its text is control 0xFFFF) by pressing `button`.
void PressDialogButton(HWND dialog, int button);
// The text of a dialog's control.
std::string DialogItemText(HWND dialog, int controlId);
