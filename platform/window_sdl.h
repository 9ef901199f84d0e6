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
