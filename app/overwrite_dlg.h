#pragma once
// The modal question whether a file that exists already is to be replaced.
#include <string>

#include "framework/dialog.h"
#include "product/copy_policy.h"

class COverwriteDlg : public CDialogBase {
public:
    // Owned by the application's main window.
    COverwriteDlg();

    // Cancelled, overwrite this file, overwrite all, skip this file or skip
    // all. Stays cancelled when the dialog cannot be shown.
    CopyPolicy result = kCopyCancelled;
    std::string question;

protected:
    bool OnInitDialog() override;
    void OnCancel() override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};
