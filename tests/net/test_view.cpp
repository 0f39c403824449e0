#include "tests/net/test_view.h"

#include <utility>

#include <commctrl.h>

#include "util/wide_text.h"

namespace {

constexpr wchar_t kClassName[] = L"MrvTestInstallView";
constexpr wchar_t kMessageCaption[] = L"墨岚岱文软件";
constexpr UINT kEndWindowMessage = WM_APP + 50;
constexpr UINT_PTR kAnswerTimer = 1;
constexpr UINT kAnswerInterval = 30;

struct ControlSpec {
    int id;
    const wchar_t* windowClass;
    const wchar_t* text;
    RECT place;
};

const ControlSpec kControls[] = {
    {kStatusLabel, L"STATIC", L"", {10, 10, 400, 20}},
    {kSourceLabel, L"STATIC", L"", {10, 35, 400, 20}},
    {kProgressBar, PROGRESS_CLASSW, L"", {10, 60, 400, 16}},
    {kTimeLeftCaption, L"STATIC", L"剩余时间:", {10, 85, 80, 20}},
    {kTimeLeftLabel, L"STATIC", L"", {95, 85, 315, 20}},
    {kRateCaption, L"STATIC", L"传输速率:", {10, 110, 80, 20}},
    {kRateLabel, L"STATIC", L"", {95, 110, 315, 20}},
    {kCancelButton, L"BUTTON", L"取消", {330, 140, 80, 24}},
};

void RegisterViewClass(WNDPROC procedure)
{
    static const bool registered = [procedure] {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        WNDCLASSEXW windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kClassName;
        return RegisterClassExW(&windowClass) != 0;
    }();
    (void)registered;
}

std::string WindowTextOf(HWND window)
{
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(window, &text[0], length + 1);
    text.resize(static_cast<std::size_t>(length));
    return NarrowText(text);
}

struct OwnedSearch {
    HWND owner;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectOwned(HWND window, LPARAM search)
{
    auto* s = reinterpret_cast<OwnedSearch*>(search);
    if (GetWindow(window, GW_OWNER) == s->owner && IsWindowVisible(window)) {
        s->found.push_back(window);
    }
    return TRUE;
}

}  // namespace

TestView::TestView()
{
    RegisterViewClass(&TestView::WindowProc);
    window_ = CreateWindowExW(0, kClassName, L"安装 - 墨岚岱文 Morvane Tessaly",
                              WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 440, 220, nullptr,
                              nullptr, GetModuleHandleW(nullptr), this);
    if (window_ == nullptr) {
        return;
    }
    for (const ControlSpec& spec : kControls) {
        HWND control = CreateWindowExW(
            0, spec.windowClass, spec.text, WS_CHILD | WS_VISIBLE, spec.place.left, spec.place.top,
            spec.place.right, spec.place.bottom, window_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.id)), GetModuleHandleW(nullptr),
            nullptr);
        SetWindowSubclass(control, &TestView::ControlProc, static_cast<UINT_PTR>(spec.id),
                          reinterpret_cast<DWORD_PTR>(this));
    }
    SetTimer(window_, kAnswerTimer, kAnswerInterval, nullptr);
}

TestView::~TestView()
{
    if (window_ != nullptr) {
        KillTimer(window_, kAnswerTimer);
        DestroyWindow(window_);
    }
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&message);
    }
}

HWND TestView::Control(int controlId) const
{
    return GetDlgItem(window_, controlId);
}

// As the install window does it: the text, then the window's pending paint at
// once, then the background under the label.
void TestView::SetLabelText(int controlId, const std::string& text)
{
    HWND control = Control(controlId);
    SetWindowTextW(control, WidenText(text).c_str());
    RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW);
    RECT place;
    GetWindowRect(control, &place);
    MapWindowPoints(HWND_DESKTOP, window_, reinterpret_cast<POINT*>(&place), 2);
    InvalidateRect(window_, &place, TRUE);
}

void TestView::SetControlText(int controlId, const std::string& text)
{
    SetWindowTextW(Control(controlId), WidenText(text).c_str());
}

void TestView::ShowControl(int controlId, bool show)
{
    ShowWindow(Control(controlId), show ? SW_SHOW : SW_HIDE);
}

void TestView::SetProgressRange(std::uint32_t maximum)
{
    SendMessageW(Control(kProgressBar), PBM_SETRANGE32, 0, static_cast<LPARAM>(maximum));
}

void TestView::SetProgressPos(std::uint32_t position)
{
    SendMessageW(Control(kProgressBar), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void TestView::SetCaption(const std::string& caption)
{
    SetWindowTextW(window_, WidenText(caption).c_str());
}

int TestView::ShowMessage(const std::string& text, UINT flags)
{
    const int answer = MessageBoxW(window_, WidenText(text).c_str(), kMessageCaption, flags);
    Record({ViewChange::kMessageBox, 0, text, static_cast<std::uint32_t>(answer)});
    return answer;
}

void TestView::EndWindow()
{
    SendMessageW(window_, kEndWindowMessage, IDCANCEL, 0);
}

void TestView::OnSource(const std::string& text)
{
    SetLabelText(kSourceLabel, text);
}

void TestView::OnPhase(DownloadPhase, const std::string& statusText)
{
    SetLabelText(kStatusLabel, statusText);
}

void TestView::OnDownloadSize(std::uint32_t bytes)
{
    SetProgressRange(static_cast<std::uint32_t>((std::uint64_t{bytes} + 512) / 1024));
}

void TestView::OnBytesReceived(const ByteProgress& progress)
{
    SetCaption(progress.caption);
    SetProgressPos(static_cast<std::uint32_t>(progress.received / 1024));
}

void TestView::OnTransferRate(const std::string& text)
{
    SetLabelText(kRateLabel, text);
}

void TestView::OnTimeLeft(const std::string& text)
{
    SetLabelText(kTimeLeftLabel, text);
}

void TestView::OnExtractStart(std::uint32_t entryCount)
{
    SetProgressRange(entryCount);
    SetLabelText(kRateLabel, "");
    SetLabelText(kTimeLeftLabel, "");
    ShowControl(kTimeLeftCaption, false);
    ShowControl(kRateCaption, false);
    SetLabelText(kStatusLabel, "");
    SetLabelText(kSourceLabel, "");
}

void TestView::OnEntries(const EntryProgress& progress)
{
    SetControlText(kStatusLabel, progress.status);
    SetProgressPos(progress.done);
    SetLabelText(kSourceLabel, progress.lastEntry);
}

void TestView::OnExtractEnd(std::uint32_t entryCount)
{
    SetProgressPos(entryCount);
}

bool TestView::AskReplace(const std::string& question)
{
    return ShowMessage(question, MB_YESNO) == IDYES;
}

void TestView::OnNotStarted(const std::string& errorText)
{
    if (!errorText.empty()) {
        ShowMessage(errorText, MB_OK);
    }
    EndWindow();
}

void TestView::OnEnd(bool failed, const std::string&)
{
    PostMessageW(window_, WM_DOWNLOAD_DONE, failed ? 1 : 0, 0);
}

bool TestView::RunUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
            if (done()) {
                return true;
            }
        }
        if (done()) {
            return true;
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
    }
}

bool TestView::RunUntilDone(DWORD timeoutMs)
{
    return RunUntil([this] { return DoneCount() > 0; }, timeoutMs);
}

std::vector<std::string> TestView::TextsOf(int controlId) const
{
    std::vector<std::string> texts;
    for (const ViewChange& change : changes_) {
        if (change.kind == ViewChange::kText && change.control == controlId) {
            texts.push_back(change.text);
        }
    }
    return texts;
}

std::vector<std::string> TestView::Captions() const
{
    std::vector<std::string> captions;
    for (const ViewChange& change : changes_) {
        if (change.kind == ViewChange::kCaption) {
            captions.push_back(change.text);
        }
    }
    return captions;
}

std::vector<std::uint32_t> TestView::ValuesOf(ViewChange::Kind kind) const
{
    std::vector<std::uint32_t> values;
    for (const ViewChange& change : changes_) {
        if (change.kind == kind) {
            values.push_back(change.value);
        }
    }
    return values;
}

std::vector<std::string> TestView::MessageBoxTexts() const
{
    std::vector<std::string> texts;
    for (const ViewChange& change : changes_) {
        if (change.kind == ViewChange::kMessageBox) {
            texts.push_back(change.text);
        }
    }
    return texts;
}

int TestView::DoneCount() const
{
    return static_cast<int>(ValuesOf(ViewChange::kDone).size());
}

bool TestView::DoneFailed() const
{
    const std::vector<std::uint32_t> done = ValuesOf(ViewChange::kDone);
    return !done.empty() && done.back() == 1;
}

bool TestView::WindowEnded() const
{
    return !ValuesOf(ViewChange::kEndWindow).empty();
}

std::string TestView::ControlText(int controlId) const
{
    return WindowTextOf(Control(controlId));
}

std::uint32_t TestView::BarMaximum() const
{
    return static_cast<std::uint32_t>(SendMessageW(Control(kProgressBar), PBM_GETRANGE, FALSE, 0));
}

std::uint32_t TestView::BarPosition() const
{
    return static_cast<std::uint32_t>(SendMessageW(Control(kProgressBar), PBM_GETPOS, 0, 0));
}

void TestView::Record(ViewChange change)
{
    changes_.push_back(change);
    if (onChange) {
        onChange(changes_.back());
    }
}

// Message boxes and the credential dialog wait for a person; the bench is that
// person. A window is answered once, the first time it is seen.
void TestView::AnswerOwnedWindows()
{
    OwnedSearch search{window_, {}};
    EnumWindows(&CollectOwned, reinterpret_cast<LPARAM>(&search));
    for (HWND dialog : search.found) {
        if (!answered_.insert(dialog).second) {
            continue;
        }
        if (onDialog) {
            onDialog(dialog);
        } else {
            PressDialogButton(dialog, GetDlgItem(dialog, messageAnswer) ? messageAnswer : IDOK);
        }
    }
}

LRESULT CALLBACK TestView::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* view = reinterpret_cast<TestView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (view != nullptr) {
        switch (message) {
        case WM_SETTEXT:
            view->Record({ViewChange::kCaption, 0,
                          NarrowText(reinterpret_cast<const wchar_t*>(lParam)), 0});
            break;
        case WM_DOWNLOAD_DONE:
            view->Record({ViewChange::kDone, 0, std::string(), static_cast<std::uint32_t>(wParam)});
            return 0;
        case kEndWindowMessage:
            view->Record({ViewChange::kEndWindow, 0, std::string(),
                          static_cast<std::uint32_t>(wParam)});
            return 0;
        case WM_TIMER:
            if (wParam == kAnswerTimer) {
                view->AnswerOwnedWindows();
                return 0;
            }
            break;
        case WM_NCDESTROY:
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            break;
        default:
            break;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK TestView::ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR data)
{
    auto* view = reinterpret_cast<TestView*>(data);
    const int control = static_cast<int>(id);
    switch (message) {
    case WM_SETTEXT:
        view->Record({ViewChange::kText, control,
                      NarrowText(reinterpret_cast<const wchar_t*>(lParam)), 0});
        break;
    case PBM_SETRANGE:
        view->Record({ViewChange::kRange, control, std::string(), HIWORD(lParam)});
        break;
    case PBM_SETRANGE32:
        view->Record({ViewChange::kRange, control, std::string(),
                      static_cast<std::uint32_t>(lParam)});
        break;
    case PBM_SETPOS:
        view->Record({ViewChange::kPosition, control, std::string(),
                      static_cast<std::uint32_t>(wParam)});
        break;
    case WM_ENABLE:
        view->Record({ViewChange::kEnable, control, std::string(),
                      static_cast<std::uint32_t>(wParam)});
        break;
    case WM_SHOWWINDOW:
        view->Record({ViewChange::kShow, control, std::string(),
                      static_cast<std::uint32_t>(wParam)});
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(window, &TestView::ControlProc, id);
        break;
    default:
        break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

void PressDialogButton(HWND dialog, int button)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

std::string DialogItemText(HWND dialog, int controlId)
{
    HWND item = GetDlgItem(dialog, controlId);
    return item == nullptr ? std::string() : WindowTextOf(item);
}
