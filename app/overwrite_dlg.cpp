#include "app/overwrite_dlg.h"

#include "product/copy_policy.h"
#include "res/resource.h"
#include "util/wide_text.h"

namespace {

struct AnswerButton {
    int id;
    CopyPolicy answer;
};

constexpr AnswerButton kAnswerButtons[] = {
    {IDC_OVERWRITE, kCopyOverwriteThis},
    {IDC_OVERWRITE_ALL, kCopyOverwriteAll},
    {IDC_SKIP, kCopySkipThis},
    {IDC_SKIP_ALL, kCopySkipAll},
};

}  // namespace

COverwriteDlg::COverwriteDlg() : CDialogBase(IDD_OVERWRITE) {}

bool COverwriteDlg::OnInitDialog()
{
    CDialogBase::OnInitDialog();
    SetDlgItemTextW(Hwnd(), IDC_QUESTION, WidenText(question).c_str());
    return true;
}

void COverwriteDlg::OnCancel()
{
    result = kCopyCancelled;
    CDialogBase::OnCancel();
}

LRESULT COverwriteDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        for (const AnswerButton& button : kAnswerButtons) {
            if (LOWORD(wParam) == button.id) {
                result = button.answer;
                OnOK();
                return 0;
            }
        }
    }
    return CDialogBase::HandleMessage(message, wParam, lParam);
}
