// Platform-internal: the SDL objects behind the window, for the other platform files.
#pragma once

#include <SDL.h>

#include "platform/window.h"

SDL_Window* GetSdlWindow(const CPlatformWindow* window);

// Brings up SDL video on the display asked for (DISPLAY, WAYLAND_DISPLAY, or the driver named by
// SDL_VIDEODRIVER, which is how the dummy driver is chosen). Returns false, said on stderr with
// the display and SDL's reason, when none is asked for or it cannot be opened: never a silent
// fallback to running without a window. Balanced by QuitSdlVideo.
bool InitSdlVideo();
void QuitSdlVideo();
// True when video runs and shows nothing (the dummy or off-screen driver).
bool IsSdlVideoHeadless();

// The real size of an X11 window, which SDL may not know (a full-screen request that no window
// manager carried out leaves the window as it was while SDL takes it for the display's size).
// False on other video drivers.
bool QueryX11WindowSize(SDL_Window* window, int* width, int* height);

// The X11 connection's descriptor, or -1 on other video drivers; *eventsQueued tells whether
// Xlib already holds events read from it. The window's connection is remembered until it is
// asked with a null window, which the window's destruction does.
int X11ConnectionFd(SDL_Window* window, bool* eventsQueued);
