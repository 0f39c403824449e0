#include "app/backdrop_dialog.h"

#include "util/handles.h"
#include "res/resource.h"

namespace {

// The picture control paints the whole client area; the dialog itself only
// acknowledges the paint.
void ValidateByPainting(HWND window)
{
    PaintDC paint(window);
}

}  // namespace

CBackdropDialog::CBackdropDialog(UINT templateId, HWND parent) : CDialogBase(templateId, parent) {}

bool CBackdropDialog::OnInitDialog()
{
    HWND picture = GetItem(IDC_BACKDROP);
    if (picture != nullptr) {
        const RECT client = ClientRect();
        MoveWindow(picture, 0, 0, client.right, client.bottom, TRUE);
    }
    CDialogBase::OnInitDialog();
    return true;
}

LRESULT CBackdropDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        return TRUE;
    case WM_PAINT:
        ValidateByPainting(Hwnd());
        return DefaultProc(message, wParam, lParam);
    case WM_CTLCOLORSTATIC: {
        // Text and pictures of statics show the background picture around them.
        DefaultProc(message, wParam, lParam);
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    }
    default:
        return CDialogBase::HandleMessage(message, wParam, lParam);
    }
}
