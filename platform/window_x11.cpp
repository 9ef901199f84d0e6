// The one X11 query of the window layer, kept apart: the X11 headers define macros (None,
// Status, Bool) that would clash with names in the platform headers, which come first here.
#include "platform/window_sdl.h"

#define SDL_VIDEO_DRIVER_X11 1
#include <SDL_syswm.h>

bool QueryX11WindowSize(SDL_Window* window, int* width, int* height) {
    // Asked only of the X11 driver: the others answer with an SDL error, which costs an
    // allocation on the calling thread.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (window == nullptr || driver == nullptr || SDL_strcmp(driver, "x11") != 0) return false;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_X11) return false;
    XWindowAttributes attributes;
    if (XGetWindowAttributes(info.info.x11.display, info.info.x11.window, &attributes) == 0) return false;
    *width = attributes.width;
    *height = attributes.height;
    return true;
}
