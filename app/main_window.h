// The main window: its creation, its window procedure and the switch between windowed and
// full-screen display.
#pragma once

#include <cstdint>

#include "platform/input_state.h"
#include "platform/types.h"
#include "platform/window.h"

struct CPlatformWindow;

extern CPlatformWindow* g_hWnd;
extern uint32_t g_ScreenWidth;   // 800
extern uint32_t g_ScreenHeight;  // 600
extern uint32_t g_bWindowed;     // 1 windowed, 0 full screen
extern SRect g_SavedWindowRect;  // the window's place before full screen
extern uint32_t g_bSavedScreenSaver;

// The title of the main window, "Velkora ～Sarnith～" in Shift-JIS.
extern const char kMainWindowTitle[];

// What the window procedure reaches once start-up has linked the application object.
struct CMainWindowLink {
    CMouseFields* mouse = nullptr;
    void (*externalRequest)(void* app) = nullptr;  // the flag-report request from outside
    void* app = nullptr;
};

// Creates the 800×600 window with MainWndProc as its procedure and stores it in *window and
// g_hWnd. Returns 1, or 0 when it cannot be created.
int32_t CreateMainWindow(CPlatformWindow** window);
// Links the application's mouse fields and its external-request handler to the window
// procedure; before this, the procedure ignores every event.
void LinkMainWindow(CMouseFields* mouse, void (*externalRequest)(void* app), void* app);
// Destroys the window (after ReleaseDirectX) and clears g_hWnd and the link.
void DestroyMainWindow();

void MainWndProc(void* user, const SWindowEvent& event);

// windowed: 1 windowed, 0 full screen (any other non-zero value counts as 1). A request for the
// mode in force, or any request while no window exists, only records it. Returns 0, or -1 when
// the switch failed (g_bWindowed is then unchanged).
int32_t SetDisplayMode(uint32_t windowed);
