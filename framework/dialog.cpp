#include "framework/dialog.h"

#include "framework/message_box.h"

CDialogBase::CDialogBase(UINT templateId, HWND parent) : templateId_(templateId), parent_(parent) {}

INT_PTR CDialogBase::DoModal()
{
    if (Hwnd() != nullptr) {
        return -1;
    }
    HWND owner = parent_ != nullptr ? parent_ : GetMainWindow();
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner,
                           &CDialogBase::DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CDialogBase::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Every later message reaches the object through its subclass of the dialog
    // window; the system's dialog procedure then calls this with nothing to do.
    if (message != WM_INITDIALOG || FromHandle(window) != nullptr) {
        return FALSE;
    }
    auto* self = reinterpret_cast<CDialogBase*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    if (self == nullptr || !self->Subclass(window)) {
        ::EndDialog(window, -1);
        return FALSE;
    }
    try {
        return self->HandleMessage(WM_INITDIALOG, wParam, lParam) != 0 ? TRUE : FALSE;
    } catch (...) {
        // A half-initialised window is not shown.
        ::EndDialog(window, -1);
        return FALSE;
    }
}

void CDialogBase::EndDialog(INT_PTR result)
{
    if (Hwnd() != nullptr) {
        ::EndDialog(Hwnd(), result);
    }
}

HWND CDialogBase::GetItem(int id) const
{
    return Hwnd() != nullptr ? GetDlgItem(Hwnd(), id) : nullptr;
}

bool CDialogBase::BindItem(int id, CWindow& control)
{
    bindings_.emplace_back(id, &control);
    if (Hwnd() == nullptr || control.Hwnd() != nullptr) {
        return true;
    }
    return control.Attach(GetItem(id));
}

void CDialogBase::ExchangeCheck(int id, int& state)
{
    checks_.emplace_back(id, &state);
}

bool CDialogBase::BindRegisteredItems()
{
    bool bound = true;
    for (const auto& binding : bindings_) {
        CWindow& control = *binding.second;
        if (control.Hwnd() == nullptr && !control.Attach(GetItem(binding.first))) {
            bound = false;
        }
    }
    return bound;
}

bool CDialogBase::UpdateData(bool save)
{
    bool complete = true;
    for (const auto& check : checks_) {
        HWND item = GetItem(check.first);
        if (item == nullptr) {
            complete = false;
            continue;
        }
        if (save) {
            *check.second = static_cast<int>(SendMessageW(item, BM_GETCHECK, 0, 0));
        } else {
            SendMessageW(item, BM_SETCHECK, static_cast<WPARAM>(*check.second), 0);
        }
    }
    return complete;
}

bool CDialogBase::OnInitDialog()
{
    if (!BindRegisteredItems() || !UpdateData(false)) {
        EndDialog(-1);
    }
    return true;
}

void CDialogBase::OnOK()
{
    if (UpdateData(true)) {
        EndDialog(IDOK);
    }
}

void CDialogBase::OnCancel()
{
    EndDialog(IDCANCEL);
}

LRESULT CDialogBase::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog() ? TRUE : FALSE;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            switch (LOWORD(wParam)) {
            case IDOK:
                OnOK();
                return 0;
            case IDCANCEL:
                OnCancel();
                return 0;
            default:
                break;
            }
        }
        break;
    default:
        break;
    }
    return CWindow::HandleMessage(message, wParam, lParam);
}
