#pragma once
// Small helpers that the install window and the copy operations share. The
// last-error text and the %1/%2 filling come along with this header.
#include <string>

#include <windows.h>

#include "product/copy_policy.h"
#include "util/format_strings.h"
#include "util/last_error.h"

// The caption of the program's own boxes.
extern const char kMessageCaption[];

// Asks through the overwrite prompt; answers any policy but kCopyAsk.
CopyPolicy AskOverwrite(const std::string& question);

// Sets the text of a label of `window` and has the window repaint the
// background under the label, which is drawn transparently over it.
void SetLabelText(HWND window, int controlId, const std::string& text);
