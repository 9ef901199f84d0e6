// The one X11 query of the window layer, kept apart: the X11 headers define macros (None,
// Status, Bool) that would clash with names in the platform headers, which come first here.
#include "platform/window_sdl.h"

#define SDL_VIDEO_DRIVER_X11 1
#include <SDL_syswm.h>

namespace {

// Asked only of the X11 driver: the others answer with an SDL error, which costs an allocation
// on the calling thread.
bool X11Info(SDL_Window* window, SDL_SysWMinfo* info) {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (window == nullptr || driver == nullptr || SDL_strcmp(driver, "x11") != 0) return false;
    SDL_VERSION(&info->version);
    return SDL_GetWindowWMInfo(window, info) == SDL_TRUE && info->subsystem == SDL_SYSWM_X11;
}

}  // namespace

int X11ConnectionFd(SDL_Window* window, bool* eventsQueued) {
    // Asked before every tick: the window's display is looked up once (a null window forgets
    // it, before the window goes).
    static SDL_Window* known = nullptr;
    static Display* display = nullptr;
    if (window != known) {
        SDL_SysWMinfo info;
        known = window;
        display = X11Info(window, &info) ? info.info.x11.display : nullptr;
    }
    *eventsQueued = display != nullptr && XQLength(display) > 0;
    return display != nullptr ? ConnectionNumber(display) : -1;
}

bool QueryX11WindowSize(SDL_Window* window, int* width, int* height) {
    SDL_SysWMinfo info;
    if (!X11Info(window, &info)) return false;
    XWindowAttributes attributes;
    if (XGetWindowAttributes(info.info.x11.display, info.info.x11.window, &attributes) == 0) return false;
    *width = attributes.width;
    *height = attributes.height;
    return true;
}
