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
// SuppressMessageBoxWindows or the environment variable VELKORA_NO_MESSAGE_WINDOWS).
void ShowMessageBox(const char* textSjis, const char* captionSjis, uint32_t style);

// Tests and headless runs: no window is shown; every box is still written to stderr and kept.
void SuppressMessageBoxWindows(bool suppress);

// The boxes shown since the last call (the latest 64 of them), as "caption|text" in Shift-JIS,
// oldest first.
std::vector<std::string> TakeShownMessages();
