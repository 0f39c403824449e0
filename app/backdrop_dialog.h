#pragma once
// The dialog base that gives the install window its look: the picture control
// 1019 covers the whole client area, static texts are drawn transparently over
// it, and the dialog erases no background of its own.
#include "framework/dialog.h"

class CBackdropDialog : public CDialogBase {
public:
    CBackdropDialog(UINT templateId, HWND parent);

protected:
    bool OnInitDialog() override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};
