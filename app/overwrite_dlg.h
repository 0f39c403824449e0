#pragma once
// The modal question whether a file that exists already is to be replaced.
#include <string>

#include "framework/dialog.h"
#include "product/copy_policy.h"

class COverwriteDlg : public CDialogBase {
public:
    // Owned by the application's main window.
    COverwriteDlg();

    // A CopyPolicy value: 0 cancel, 2 overwrite this file, 3 overwrite all,
    // 4 skip this file, 5 skip all. Stays 0 when the dialog cannot be shown.
    int result = kCopyCancelled;
    std::string question;

protected:
    bool OnInitDialog() override;
    void OnCancel() override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};
