#pragma once
// A single-line path field with a built-in browse button. A push button of a
// dialog template becomes the container of an edit box (left) and a small 3-D
// button with a folder picture (right). Clicking the button, pressing the space
// bar on it, or Enter in the control, opens the shell's folder browser; the
// chosen folder replaces the text. The user may also type a path.
//
// The owner learns of changes through the notify message of its choosing
// (SetNotifyMessage), sent with the control's window as lParam:
//   - on every change of the edit's text while the edit is editable (also the
//     changes made by SetPath and by a successful browse): wParam 1;
//   - after each browse the user starts: wParam 1 (a folder was chosen) or 2
//     (cancelled), followed by a posted WM_COMMAND with the control's id and
//     BN_CLICKED.
#include <memory>
#include <string>

#include <windows.h>
#include <shlobj.h>

#include "framework/controls.h"

// The notify message that the install window chooses for its browse edit.
constexpr UINT WM_BROWSE_NOTIFY = WM_APP + 100;

// The style word's bits.
enum BrowseStyleBits : unsigned {
    kBrowseButtonLeft = 0x01,      // the button sits at the left (else right)
    kBrowsePicture = 0x02,         // the button shows a picture instead of its caption
    kBrowseFlatFrame = 0x04,       // a flat frame (else 3-D)
    kBrowseFolderPicture = 0x08,   // the picture is the folder picture
    kBrowseEditable = 0x40,        // the edit is editable (else read-only)
    kBrowseForFolder = 0x80,       // the button browses for a folder
};

// The install folder field: a folder picture, an editable path, and a button
// that browses for a folder (202).
constexpr unsigned char kBrowseFolderFieldStyle =
    kBrowsePicture | kBrowseFolderPicture | kBrowseEditable | kBrowseForFolder;

// The folder browser's flags: file-system folders only, an edit box, the new
// dialog style (0x51).
constexpr unsigned kDefaultBrowseFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;

// The results of Browse.
enum BrowseResult : int {
    kBrowseChosen = 1,
    kBrowseCancelled = 2,  // cancelled, nothing to browse, or a browser is open already
};

class CBrowseEdit : public CButtonCtl {
public:
    static constexpr int kEditId = 12345;
    static constexpr int kButtonWidth = 16 + 11;
    static constexpr unsigned char kDefaultStyle = 10;

    CBrowseEdit();
    ~CBrowseEdit() override;

    // No effect when unchanged; with a window, lays out again, recreates the
    // edit (keeping its text) and redraws.
    void SetBrowseStyle(unsigned char style);
    unsigned char GetBrowseStyle() const { return style_; }
    // Puts the text into the edit (a text change as any other) and makes it
    // the path.
    void SetPath(const std::string& path);
    // The typed text when IsPathTyped, else the last path set or chosen.
    std::string GetPath() const;
    // The user has typed since the last SetPath or browse, and the text
    // differs from that path other than in letter case.
    bool IsPathTyped() const;
    // 0 sends nothing.
    void SetNotifyMessage(UINT message) { notifyMessage_ = message; }
    void SetButtonTip(const std::string& text);
    // The caption of the button when it shows no picture.
    void SetButtonCaption(const std::string& caption);
    // Title bar and instruction line of the folder browser.
    void SetDialogCaption(const std::string& caption) { dialogCaption_ = caption; }
    void SetDialogPrompt(const std::string& prompt) { dialogPrompt_ = prompt; }
    // Opens the folder browser (modal); a BrowseResult. Notifies the owner
    // with the result, except while another browser is open.
    int Browse();

    HWND EditHwnd() const;
    RECT ButtonRect() const { return buttonRect_; }
    RECT PictureRect() const { return pictureRect_; }
    RECT EditRect() const { return editRect_; }
    bool IsPressed() const { return pressed_; }
    bool IsHot() const { return hot_; }
    bool IsBusy() const { return busy_; }
    std::string ButtonTip() const { return tipText_; }
    const std::string& DialogCaption() const { return dialogCaption_; }
    const std::string& DialogPrompt() const { return dialogPrompt_; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnAttached() override;

private:
    class CField;
    friend class CField;

    void Layout();
    void CreateEdit();
    void Paint(HDC dc);
    void DrawButtonFrame(HDC dc) const;
    void DrawFolderPicture(HDC dc) const;
    void DrawButtonCaption(HDC dc) const;
    void RedrawButton();
    void RedrawAll();
    void BrowseAndNotify();
    void OnEditNotification(WORD code);
    void OnEditChanged();
    void OnLeftButtonDown(POINT point);
    void OnLeftButtonUp(POINT point);
    void OnMouseMove(POINT point);
    void LeaveButton();
    void OnSetFocus(HWND previous);
    void SelectAllText() const;
    void CaretToEnd() const;
    void Notify(WPARAM code) const;
    std::string EditText() const;

    unsigned char style_ = kDefaultStyle;
    std::unique_ptr<CField> edit_;
    RECT buttonRect_{};
    RECT pictureRect_{};
    RECT editRect_{};
    bool pressed_ = false;
    bool hot_ = false;
    bool editFocused_ = false;
    bool busy_ = false;
    UINT notifyMessage_ = 0;
    CToolTip tooltip_;
    std::string tipText_ = "Browse";
    std::string caption_;
    bool captionSet_ = false;
    std::string dialogCaption_;
    std::string dialogPrompt_ = "Plseas select a folder from the list:";
    unsigned browseFlags_ = kDefaultBrowseFlags;
    std::string path_;
    bool typed_ = false;
    std::string typedText_;
};
