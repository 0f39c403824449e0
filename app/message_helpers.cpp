#include "app/message_helpers.h"

#include "app/overwrite_dlg.h"
#include "util/wide_text.h"

const char kMessageCaption[] = "墨岚岱文软件";

CopyPolicy AskOverwrite(const std::string& question)
{
    COverwriteDlg prompt;
    prompt.question = question;
    prompt.DoModal();
    return prompt.result;
}

void SetLabelText(HWND window, int controlId, const std::string& text)
{
    HWND label = GetDlgItem(window, controlId);
    if (label == nullptr) {
        return;
    }
    SetWindowTextW(label, WidenText(text).c_str());
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW);
    RECT area{};
    GetWindowRect(label, &area);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&area), 2);
    InvalidateRect(window, &area, TRUE);
}
