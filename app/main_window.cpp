#include "app/main_window.h"

CPlatformWindow* g_hWnd = nullptr;
uint32_t g_ScreenWidth = 800;
uint32_t g_ScreenHeight = 600;
uint32_t g_bWindowed = 1;
SRect g_SavedWindowRect = {0, 0, 0, 0};
uint32_t g_bSavedScreenSaver = 1;

// "Velkora ～Sarnith～"
const char kMainWindowTitle[] = "Velkora \x81\x60Sarnith\x81\x60";

namespace {

CMainWindowLink g_link;

void OnButtonDown(CMouseFields* mouse, const SWindowEvent& event) {
    UpdateMouseFields(mouse, event);
    CapturePlatformMouse(g_hWnd, true);
}

// The capture ends with the release of the last held button.
void OnButtonUp(CMouseFields* mouse, const SWindowEvent& event, uint32_t otherButton) {
    UpdateMouseFields(mouse, event);
    if (!IsMouseButtonHeld(otherButton)) CapturePlatformMouse(g_hWnd, false);
}

int32_t EnterFullscreen() {
    const SRect placement = GetPlatformWindowRect(g_hWnd);
    if (SetPlatformFullscreen(g_hWnd, true) != 0) return -1;
    g_SavedWindowRect = placement;
    g_bSavedScreenSaver = IsScreenSaverAllowed() ? 1 : 0;
    AllowScreenSaver(false);
    g_bWindowed = 0;
    return 0;
}

int32_t LeaveFullscreen() {
    if (SetPlatformFullscreen(g_hWnd, false) != 0) return -1;
    MovePlatformWindow(g_hWnd, g_SavedWindowRect.left, g_SavedWindowRect.top);
    AllowScreenSaver(g_bSavedScreenSaver != 0);
    g_bWindowed = 1;
    return 0;
}

}  // namespace

int32_t CreateMainWindow(CPlatformWindow** window) {
    CPlatformWindow* created = CreatePlatformWindow(kMainWindowTitle, g_ScreenWidth, g_ScreenHeight);
    if (created == nullptr) return 0;
    SetWindowProcedure(created, MainWndProc, nullptr);
    g_hWnd = created;
    if (window != nullptr) *window = created;
    return 1;
}

void LinkMainWindow(CMouseFields* mouse, void (*externalRequest)(void* app), void* app) {
    g_link.mouse = mouse;
    g_link.externalRequest = externalRequest;
    g_link.app = app;
    if (g_hWnd != nullptr) SetWindowProcedure(g_hWnd, MainWndProc, &g_link);
}

void DestroyMainWindow() {
    DestroyPlatformWindow(g_hWnd);
    g_hWnd = nullptr;
    g_link = CMainWindowLink{};
}

void MainWndProc(void* user, const SWindowEvent& event) {
    const CMainWindowLink* link = static_cast<const CMainWindowLink*>(user);
    if (link == nullptr) return;
    if (event.type == WindowEventType::ExternalRequest) {
        if (link->externalRequest != nullptr) link->externalRequest(link->app);
        return;
    }
    CMouseFields* mouse = link->mouse;
    if (mouse == nullptr) return;
    switch (event.type) {
        case WindowEventType::MouseMove: UpdateMouseFields(mouse, event); break;
        case WindowEventType::LeftDown:
        case WindowEventType::RightDown: OnButtonDown(mouse, event); break;
        case WindowEventType::LeftUp: OnButtonUp(mouse, event, MouseButton::Right); break;
        case WindowEventType::RightUp: OnButtonUp(mouse, event, MouseButton::Left); break;
        default: break;
    }
}

int32_t SetDisplayMode(uint32_t windowed) {
    const uint32_t wanted = windowed != 0 ? 1 : 0;
    if (wanted == g_bWindowed || g_hWnd == nullptr) {
        g_bWindowed = wanted;
        return 0;
    }
    return wanted == 0 ? EnterFullscreen() : LeaveFullscreen();
}
