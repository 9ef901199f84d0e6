#include "platform/window.h"

#include <poll.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/external_request.h"
#include "platform/input_devices.h"
#include "platform/single_instance.h"
#include "platform/sjis.h"
#include "platform/window_present.h"
#include "platform/window_sdl.h"

struct CPlatformWindow {
    SDL_Window* window = nullptr;
    CWindowPresenter* presenter = nullptr;
    uint32_t width = 0;
    uint32_t height = 0;
    WindowProcedure procedure = nullptr;
    void* user = nullptr;
    bool headless = false;
    bool captured = false;
    bool fullscreen = false;
    bool closed = false;
    // Set by every call that talks to the display: its replies may bring events along, which
    // SDL must then be pumped for (see PollEventSources).
    mutable bool talkedToDisplay = true;
    uint32_t lastPump = 0;  // SDL_GetTicks of the last time SDL was pumped
};

namespace {

CPlatformWindow* g_window = nullptr;
uint32_t g_failDisplaySwitches = 0;
constexpr uint32_t kUpkeepPumpMs = 250;  // SDL is pumped at least this often
int g_videoUsers = 0;  // InitSdlVideo calls not yet balanced by QuitSdlVideo

const char* NonEmptyEnv(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0' ? value : nullptr;
}

// The display asked for, as the user would name it, for the message when it cannot be opened.
std::string DisplayAskedFor() {
    std::string asked;
    if (const char* driver = NonEmptyEnv("SDL_VIDEODRIVER")) asked = std::string("SDL_VIDEODRIVER=") + driver;
    if (const char* x11 = NonEmptyEnv("DISPLAY")) asked += (asked.empty() ? "DISPLAY=" : ", DISPLAY=") + std::string(x11);
    if (const char* wayland = NonEmptyEnv("WAYLAND_DISPLAY"))
        asked += (asked.empty() ? "WAYLAND_DISPLAY=" : ", WAYLAND_DISPLAY=") + std::string(wayland);
    return asked;
}

void Deliver(CPlatformWindow* window, WindowEventType type, int32_t x = 0, int32_t y = 0) {
    if (window->procedure == nullptr) return;
    const SWindowEvent event{type, static_cast<uint32_t>(x) & 0xFFFFu, static_cast<uint32_t>(y) & 0xFFFFu};
    window->procedure(window->user, event);
}

bool MouseButtonOf(uint8_t sdlButton, uint32_t* button) {
    switch (sdlButton) {
        case SDL_BUTTON_LEFT: *button = MouseButton::Left; return true;
        case SDL_BUTTON_RIGHT: *button = MouseButton::Right; return true;
        case SDL_BUTTON_MIDDLE: *button = MouseButton::Middle; return true;
        case SDL_BUTTON_X1: *button = MouseButton::X1; return true;
        case SDL_BUTTON_X2: *button = MouseButton::X2; return true;
        default: return false;
    }
}

void HandleButton(CPlatformWindow* window, const SDL_MouseButtonEvent& event) {
    uint32_t button = 0;
    if (!MouseButtonOf(event.button, &button)) return;
    const bool down = event.state == SDL_PRESSED;
    FeedMouseButton(button, down);
    const SPoint at = WindowToPicture(window->presenter, event.x, event.y);
    if (button == MouseButton::Left) {
        Deliver(window, down ? WindowEventType::LeftDown : WindowEventType::LeftUp, at.x, at.y);
    } else if (button == MouseButton::Right) {
        Deliver(window, down ? WindowEventType::RightDown : WindowEventType::RightUp, at.x, at.y);
    }
}

void HandleWheel(const SDL_MouseWheelEvent& event) {
    float notches = event.preciseY;
    if (event.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
    FeedMouseWheel(static_cast<int32_t>(std::lround(notches * kWheelDelta)));
}

// The client area keeps its size: a size in which neither dimension is right is undone.
void KeepClientSize(CPlatformWindow* window, int32_t width, int32_t height) {
    if (window->fullscreen) return;
    if (width == static_cast<int32_t>(window->width) || height == static_cast<int32_t>(window->height)) return;
    SDL_SetWindowSize(window->window, static_cast<int>(window->width), static_cast<int>(window->height));
    window->talkedToDisplay = true;
}

// Pumping SDL costs a system call to the display and more, and the main loop pumps before every
// tick. One poll asks the display's connection and the other copies' socket at once; SDL is
// pumped when the display sent something, Xlib or SDL hold events, the window has talked to
// the display since the last pump, off X11, or for SDL's own upkeep now and then. Returns
// whether to pump; *raiseRequest when another copy is asking.
bool PollEventSources(CPlatformWindow* window, bool* raiseRequest) {
    bool queued = false;
    pollfd sources[2] = {{SingleInstanceFd(), POLLIN, 0}, {X11ConnectionFd(window->window, &queued), POLLIN, 0}};
    const bool x11 = sources[1].fd >= 0;
    const bool polled = (sources[0].fd >= 0 || x11) && poll(sources, 2, 0) >= 0;
    *raiseRequest = !polled || sources[0].revents != 0;
    const uint32_t now = SDL_GetTicks();
    const bool pump = !x11 || !polled || sources[1].revents != 0 || queued || window->talkedToDisplay ||
                      now - window->lastPump >= kUpkeepPumpMs || SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    if (pump) {
        window->lastPump = now;
        window->talkedToDisplay = false;
    }
    return pump;
}

void HandleWindowEvent(CPlatformWindow* window, const SDL_WindowEvent& event) {
    switch (event.event) {
        case SDL_WINDOWEVENT_CLOSE: window->closed = true; break;
        case SDL_WINDOWEVENT_FOCUS_GAINED: FeedFocus(true); break;
        case SDL_WINDOWEVENT_FOCUS_LOST: FeedFocus(false); break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            KeepClientSize(window, event.data1, event.data2);
            InvalidateWindowPresenter(window->presenter);
            break;
        // The window's contents must be shown again, perhaps at another size.
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_RESIZED:
        case SDL_WINDOWEVENT_MAXIMIZED:
        case SDL_WINDOWEVENT_RESTORED: InvalidateWindowPresenter(window->presenter); break;
        default: break;
    }
}

void HandleEvent(CPlatformWindow* window, const SDL_Event& event) {
    const uint32_t id = SDL_GetWindowID(window->window);
    switch (event.type) {
        case SDL_QUIT: window->closed = true; break;
        case SDL_WINDOWEVENT:
            if (event.window.windowID == id) HandleWindowEvent(window, event.window);
            break;
        case SDL_MOUSEMOTION:
            if (event.motion.windowID != id) break;
            FeedMouseMotion(event.motion.xrel, event.motion.yrel);
            {
                const SPoint at = WindowToPicture(window->presenter, event.motion.x, event.motion.y);
                Deliver(window, WindowEventType::MouseMove, at.x, at.y);
            }
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            if (event.button.windowID == id) HandleButton(window, event.button);
            break;
        case SDL_MOUSEWHEEL:
            if (event.wheel.windowID == id) HandleWheel(event.wheel);
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            FeedKey(DikFromScancode(event.key.keysym.scancode), event.type == SDL_KEYDOWN);
            break;
        default: break;
    }
}

void FreeSdlObjects(CPlatformWindow* window) {
    bool queued = false;
    X11ConnectionFd(nullptr, &queued);
    DestroyWindowPresenter(window->presenter);
    if (window->window != nullptr) SDL_DestroyWindow(window->window);
    window->presenter = nullptr;
    window->window = nullptr;
}

bool FindExactMode(int display, uint32_t width, uint32_t height, SDL_DisplayMode* found) {
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(display, &desktop) != 0) return false;
    const int count = SDL_GetNumDisplayModes(display);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(display, i, &mode) != 0) continue;
        if (mode.w == static_cast<int>(width) && mode.h == static_cast<int>(height) &&
            SDL_BITSPERPIXEL(mode.format) == SDL_BITSPERPIXEL(desktop.format)) {
            *found = mode;
            return true;
        }
    }
    return false;
}

bool EnterFullscreen(CPlatformWindow* window) {
    const int display = SDL_GetWindowDisplayIndex(window->window);
    if (display < 0) return false;
    SDL_DisplayMode mode;
    if (FindExactMode(display, window->width, window->height, &mode) &&
        SDL_SetWindowDisplayMode(window->window, &mode) == 0 &&
        SDL_SetWindowFullscreen(window->window, SDL_WINDOW_FULLSCREEN) == 0) {
        return true;
    }
    return SDL_SetWindowFullscreen(window->window, SDL_WINDOW_FULLSCREEN_DESKTOP) == 0;
}

}  // namespace

bool InitSdlVideo() {
    if (g_videoUsers > 0) {
        ++g_videoUsers;
        return true;
    }
    // SDL would otherwise keep the screen saver off for the whole run; it is switched off only
    // while full screen (AllowScreenSaver).
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    // A click that activates the window is also a click, as on Windows.
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    // Only the display asked for: a program that cannot show its window ends with a message
    // instead of running unseen (SDL would go on to its off-screen driver). The tests ask for
    // the dummy driver by SDL_VIDEODRIVER=dummy.
    const std::string asked = DisplayAskedFor();
    if (asked.empty()) {
        std::fprintf(stderr, "video: no display to open: DISPLAY and WAYLAND_DISPLAY are not set\n");
        return false;
    }
    std::string reasons;
    bool started = false;
    // One driver, null for the one the user named; SDL's reason is kept for the message.
    const auto attempt = [&](const char* driver) {
        if (started) return;
        if (driver != nullptr) SDL_SetHint(SDL_HINT_VIDEODRIVER, driver);
        started = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        if (!started) reasons += (reasons.empty() ? "" : "; ") + std::string(SDL_GetError());
        if (driver != nullptr) SDL_SetHint(SDL_HINT_VIDEODRIVER, nullptr);
    };
    if (NonEmptyEnv("SDL_VIDEODRIVER") != nullptr) {
        attempt(nullptr);
    } else {
        if (NonEmptyEnv("DISPLAY") != nullptr) attempt("x11");
        if (NonEmptyEnv("WAYLAND_DISPLAY") != nullptr) attempt("wayland");
    }
    if (!started) {
        std::fprintf(stderr, "video: cannot open the display (%s): %s\n", asked.c_str(), reasons.c_str());
        return false;
    }
    g_videoUsers = 1;
    return true;
}

void QuitSdlVideo() {
    if (g_videoUsers == 0 || --g_videoUsers > 0) return;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool IsSdlVideoHeadless() {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return true;
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver == nullptr || std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0;
}

SDL_Window* GetSdlWindow(const CPlatformWindow* window) { return window != nullptr ? window->window : nullptr; }

CPlatformWindow* CreatePlatformWindow(const char* titleSjis, uint32_t width, uint32_t height) {
    if (g_window != nullptr || width == 0 || height == 0 || !InitSdlVideo()) return nullptr;
    CPlatformWindow* window = new CPlatformWindow();
    window->width = width;
    window->height = height;
    window->headless = IsSdlVideoHeadless();
    const std::string title = SjisToUtf8(titleSjis != nullptr ? titleSjis : "");
    window->window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                      static_cast<int>(width), static_cast<int>(height), SDL_WINDOW_SHOWN);
    if (window->window != nullptr) window->presenter = CreateWindowPresenter(window->window, width, height);
    if (window->presenter == nullptr) {
        std::fprintf(stderr, "window: %s\n", SDL_GetError());
        FreeSdlObjects(window);
        delete window;
        QuitSdlVideo();
        return nullptr;
    }
    g_window = window;
    FeedFocus(window->headless || (SDL_GetWindowFlags(window->window) & SDL_WINDOW_INPUT_FOCUS) != 0);
    InstallExternalRequestHandler();
    return window;
}

void DestroyPlatformWindow(CPlatformWindow* window) {
    if (window == nullptr) return;
    if (window->captured) SDL_CaptureMouse(SDL_FALSE);
    FreeSdlObjects(window);
    if (g_window == window) {
        g_window = nullptr;
        // The handler stays: a request during the rest of the shutdown must not end the program.
        DropExternalRequests();
        FeedFocus(true);
    }
    delete window;
    QuitSdlVideo();
}

CPlatformWindow* GetPlatformWindow() { return g_window; }

void SetWindowProcedure(CPlatformWindow* window, WindowProcedure procedure, void* user) {
    window->procedure = procedure;
    window->user = user;
}

int32_t PumpWindowEvents(CPlatformWindow* window) {
    if (window == nullptr) return 0;
    bool raiseRequest = false;
    const bool pump = PollEventSources(window, &raiseRequest);
    if (raiseRequest && PollSingleInstance() > 0) RaisePlatformWindow(window);
    if (TakeExternalRequest()) Deliver(window, WindowEventType::ExternalRequest);
    SDL_Event event;
    while (pump && SDL_PollEvent(&event)) HandleEvent(window, event);
    return window->closed ? 1 : 0;
}

void PresentToWindow(void* user, const SPresentFrame& frame) {
    CPlatformWindow* window = static_cast<CPlatformWindow*>(user);
    if (window != nullptr && PresentFrame(window->presenter, frame)) window->talkedToDisplay = true;
}

void CapturePlatformMouse(CPlatformWindow* window, bool capture) {
    if (window == nullptr || window->captured == capture) return;
    window->captured = capture;
    window->talkedToDisplay = true;
    if (!window->headless) SDL_CaptureMouse(capture ? SDL_TRUE : SDL_FALSE);
}

bool IsPlatformMouseCaptured(const CPlatformWindow* window) { return window != nullptr && window->captured; }

SPoint GetCursorClientPosition(const CPlatformWindow* window) {
    if (window == nullptr) return SPoint{0, 0};
    window->talkedToDisplay = true;
    int globalX = 0;
    int globalY = 0;
    SDL_GetGlobalMouseState(&globalX, &globalY);
    int left = 0;
    int top = 0;
    SDL_GetWindowPosition(window->window, &left, &top);
    return WindowToPicture(window->presenter, globalX - left, globalY - top);
}

void RaisePlatformWindow(CPlatformWindow* window) {
    if (window == nullptr) return;
    window->talkedToDisplay = true;
    if (SDL_GetWindowFlags(window->window) & SDL_WINDOW_MINIMIZED) SDL_RestoreWindow(window->window);
    SDL_RaiseWindow(window->window);
}

bool IsHeadlessWindow(const CPlatformWindow* window) { return window == nullptr || window->headless; }

SRect GetPlatformWindowRect(const CPlatformWindow* window) {
    if (window == nullptr) return SRect{0, 0, 0, 0};
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    SDL_GetWindowPosition(window->window, &left, &top);
    SDL_GetWindowSize(window->window, &width, &height);
    return SRect{left, top, left + width, top + height};
}

void MovePlatformWindow(CPlatformWindow* window, int32_t left, int32_t top) {
    if (window == nullptr) return;
    window->talkedToDisplay = true;
    SDL_SetWindowPosition(window->window, left, top);
}

int32_t SetPlatformFullscreen(CPlatformWindow* window, bool fullscreen) {
    if (window == nullptr) return -1;
    if (g_failDisplaySwitches > 0) {
        --g_failDisplaySwitches;
        return -1;
    }
    InvalidateWindowPresenter(window->presenter);
    window->talkedToDisplay = true;
    if (fullscreen) {
        window->fullscreen = true;
        if (!EnterFullscreen(window)) {
            window->fullscreen = false;
            return -1;
        }
        return 0;
    }
    if (SDL_SetWindowFullscreen(window->window, 0) != 0) return -1;
    window->fullscreen = false;
    SDL_SetWindowSize(window->window, static_cast<int>(window->width), static_cast<int>(window->height));
    return 0;
}

bool IsPlatformFullscreen(const CPlatformWindow* window) { return window != nullptr && window->fullscreen; }

void FailNextDisplaySwitches(uint32_t count) { g_failDisplaySwitches = count; }

bool IsScreenSaverAllowed() { return SDL_IsScreenSaverEnabled() == SDL_TRUE; }

void AllowScreenSaver(bool allowed) {
    if (allowed) {
        SDL_EnableScreenSaver();
    } else {
        SDL_DisableScreenSaver();
    }
}
