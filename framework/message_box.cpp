#include "framework/message_box.h"

#include "framework/window.h"
#include "util/wide_text.h"

namespace {

// Boxes belong to the user-interface thread (a worker shows one through the
// UI-thread call), like the window they are owned by.
CWindow* mainWindow = nullptr;
std::string messageCaption;

}  // namespace

void SetMessageCaption(const std::string& caption)
{
    messageCaption = caption;
}

void SetMainWindow(CWindow* window)
{
    mainWindow = window;
}

HWND GetMainWindow()
{
    CWindow* window = mainWindow;
    if (window == nullptr) {
        return nullptr;
    }
    HWND handle = window->Hwnd();
    return handle != nullptr && IsWindow(handle) ? handle : nullptr;
}

int ShowMessageBox(const std::string& text, UINT flags)
{
    return ShowMessageBox(text, flags, messageCaption);
}

int ShowMessageBox(const std::string& text, UINT flags, const std::string& caption)
{
    return MessageBoxW(GetMainWindow(), WidenText(text).c_str(), WidenText(caption).c_str(), flags);
}
