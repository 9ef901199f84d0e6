// Platform-internal: the SDL objects behind the window, for the other platform files.
#pragma once

#include <SDL.h>

#include "platform/window.h"

SDL_Window* GetSdlWindow(const CPlatformWindow* window);

// Brings up SDL video: the real display when there is one, else the dummy driver.
// Returns false when not even the dummy driver starts. Balanced by QuitSdlVideo.
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
