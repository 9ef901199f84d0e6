// Message boxes: what the user must see when something fails.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace MessageBoxStyle {
enum : uint32_t {
    IconError = 0x10,
    IconInformation = 0x40,
    Topmost = 0x40000,
};
}

// Shows a box with the caption and text (both Shift-JIS). Always writes one line to stderr;
// shows a window only when a real display is available and windows are not suppressed (by
// SuppressMessageBoxWindows or the environment variable VELKORA_NO_MESSAGE_WINDOWS): a desktop
// dialog (platform/desktop_dialog.h), else SDL's box. Returns once the window is closed.
void ShowMessageBox(const char* textSjis, const char* captionSjis, uint32_t style);

// Tests and headless runs: no window is shown (neither boxes nor the file chooser of
// platform/desktop_dialog.h); every box is still written to stderr and kept.
void SuppressMessageBoxWindows(bool suppress);
// True when windows beside the game window may be shown: a real display, not suppressed.
bool CanShowMessageWindows();

// The boxes shown since the last call (the latest 64 of them), as "caption|text" in Shift-JIS,
// oldest first.
std::vector<std::string> TakeShownMessages();
