// The program's one top-level window and its event pump. The window shows the graphics
// device's back buffer (PresentToWindow is its present callback); the pump drains the pending
// events without waiting, feeds keyboard and mouse to the input devices and hands the window's
// own events to the window procedure.
//
// Without a display (no DISPLAY or WAYLAND_DISPLAY, or a display that cannot be opened) no
// window is made: the failure is said on stderr. SDL_VIDEODRIVER=dummy (the tests) puts the
// window on SDL's dummy video driver: everything works, nothing is shown.
#pragma once

#include <cstdint>

#include "platform/types.h"

struct CPlatformWindow;
struct SPresentFrame;  // platform/graphics.h

enum class WindowEventType : uint32_t {
    MouseMove,
    LeftDown,
    LeftUp,
    RightDown,
    RightUp,
    ExternalRequest,  // the request sent to the process from outside (SIGUSR1)
};

struct SWindowEvent {
    WindowEventType type;
    uint32_t x;  // client position of mouse events, as unsigned 16-bit values
    uint32_t y;
};

using WindowProcedure = void (*)(void* user, const SWindowEvent& event);

// Creates the window, centred, not resizable, with a client area of width × height pixels.
// Returns null when video or the window cannot be set up.
CPlatformWindow* CreatePlatformWindow(const char* titleSjis, uint32_t width, uint32_t height);
void DestroyPlatformWindow(CPlatformWindow* window);
// The live window, or null.
CPlatformWindow* GetPlatformWindow();

void SetWindowProcedure(CPlatformWindow* window, WindowProcedure procedure, void* user);

// Handles every pending event. Returns 1 when the window was closed (the program must end),
// 0 otherwise.
int32_t PumpWindowEvents(CPlatformWindow* window);

// The graphics device's PresentCallback; user is the CPlatformWindow. Only the frame's changed
// rectangles are sent to the display (all of it after the window was exposed or resized); the
// picture is scaled and letterboxed to the window's real drawable size.
void PresentToWindow(void* user, const SPresentFrame& frame);

// Mouse capture: while captured, releases and motion outside the window still arrive.
void CapturePlatformMouse(CPlatformWindow* window, bool capture);
bool IsPlatformMouseCaptured(const CPlatformWindow* window);
// The mouse position in client coordinates (may lie outside the client area).
SPoint GetCursorClientPosition(const CPlatformWindow* window);

void RaisePlatformWindow(CPlatformWindow* window);
bool IsHeadlessWindow(const CPlatformWindow* window);

// Window placement: the client area's rectangle on the desktop.
SRect GetPlatformWindowRect(const CPlatformWindow* window);
void MovePlatformWindow(CPlatformWindow* window, int32_t left, int32_t top);

// Full screen: 800×600 exclusive when the display offers that mode at its colour depth, else
// the desktop's own mode with the picture scaled and letterboxed to the size the window really
// gets. Returns 0 / -1.
int32_t SetPlatformFullscreen(CPlatformWindow* window, bool fullscreen);
bool IsPlatformFullscreen(const CPlatformWindow* window);
// Test hook: the next `count` switches of the display mode fail.
void FailNextDisplaySwitches(uint32_t count);

bool IsScreenSaverAllowed();
void AllowScreenSaver(bool allowed);
