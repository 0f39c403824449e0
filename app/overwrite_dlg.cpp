#include "app/overwrite_dlg.h"

#include "res/resource.h"
#include "util/wide_text.h"

namespace {

struct AnswerButton {
    int id;
    int answer;
};

constexpr AnswerButton kAnswerButtons[] = {
    {IDC_OVERWRITE, 2},
    {IDC_OVERWRITE_ALL, 3},
    {IDC_SKIP, 4},
    {IDC_SKIP_ALL, 5},
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
    result = 0;
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
