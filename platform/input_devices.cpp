#include "platform/input_devices.h"

#include <SDL.h>

#include <cstring>

CKeyboardDevice* g_pKeyboard = nullptr;
CMouseDevice* g_pMouse = nullptr;

namespace {

// What the hardware reports, as the event pump or a test feeds it.
struct SInputSource {
    uint8_t keys[256] = {};
    uint8_t pressedSinceRead[256] = {};  // a press shorter than a tick still shows once
    uint8_t buttons[MouseButton::Count] = {};
    int32_t dx = 0;
    int32_t dy = 0;
    int32_t dz = 0;
    bool focused = true;
};

// What a device remembers between reads.
struct SDeviceState {
    bool acquired = false;
    bool lost = false;  // the focus went away while acquired: the next read says so once
};

SInputSource g_source;
SDeviceState g_keyboardState;
SDeviceState g_mouseState;

constexpr uint8_t kHeld = 0x80;

int32_t SaturatingAdd(int32_t a, int32_t b) {
    const int64_t sum = static_cast<int64_t>(a) + b;
    if (sum > INT32_MAX) return INT32_MAX;
    if (sum < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(sum);
}

void ClearMotion() {
    g_source.dx = 0;
    g_source.dy = 0;
    g_source.dz = 0;
}

struct SScancodeDik {
    SDL_Scancode scancode;
    uint8_t dik;
};

constexpr SScancodeDik kScancodeTable[] = {
    {SDL_SCANCODE_ESCAPE, DIK_ESCAPE},
    {SDL_SCANCODE_1, DIK_1},
    {SDL_SCANCODE_2, DIK_2},
    {SDL_SCANCODE_3, DIK_3},
    {SDL_SCANCODE_4, DIK_4},
    {SDL_SCANCODE_5, DIK_5},
    {SDL_SCANCODE_6, DIK_6},
    {SDL_SCANCODE_7, DIK_7},
    {SDL_SCANCODE_8, DIK_8},
    {SDL_SCANCODE_9, DIK_9},
    {SDL_SCANCODE_0, DIK_0},
    {SDL_SCANCODE_MINUS, DIK_MINUS},
    {SDL_SCANCODE_EQUALS, DIK_EQUALS},
    {SDL_SCANCODE_BACKSPACE, DIK_BACK},
    {SDL_SCANCODE_TAB, DIK_TAB},
    {SDL_SCANCODE_Q, DIK_Q},
    {SDL_SCANCODE_W, DIK_W},
    {SDL_SCANCODE_E, DIK_E},
    {SDL_SCANCODE_R, DIK_R},
    {SDL_SCANCODE_T, DIK_T},
    {SDL_SCANCODE_Y, DIK_Y},
    {SDL_SCANCODE_U, DIK_U},
    {SDL_SCANCODE_I, DIK_I},
    {SDL_SCANCODE_O, DIK_O},
    {SDL_SCANCODE_P, DIK_P},
    {SDL_SCANCODE_LEFTBRACKET, DIK_LBRACKET},
    {SDL_SCANCODE_RIGHTBRACKET, DIK_RBRACKET},
    {SDL_SCANCODE_RETURN, DIK_RETURN},
    {SDL_SCANCODE_LCTRL, DIK_LCONTROL},
    {SDL_SCANCODE_A, DIK_A},
    {SDL_SCANCODE_S, DIK_S},
    {SDL_SCANCODE_D, DIK_D},
    {SDL_SCANCODE_F, DIK_F},
    {SDL_SCANCODE_G, DIK_G},
    {SDL_SCANCODE_H, DIK_H},
    {SDL_SCANCODE_J, DIK_J},
    {SDL_SCANCODE_K, DIK_K},
    {SDL_SCANCODE_L, DIK_L},
    {SDL_SCANCODE_SEMICOLON, DIK_SEMICOLON},
    {SDL_SCANCODE_APOSTROPHE, DIK_APOSTROPHE},
    {SDL_SCANCODE_GRAVE, DIK_GRAVE},
    {SDL_SCANCODE_LSHIFT, DIK_LSHIFT},
    {SDL_SCANCODE_BACKSLASH, DIK_BACKSLASH},
    {SDL_SCANCODE_NONUSHASH, DIK_BACKSLASH},
    {SDL_SCANCODE_Z, DIK_Z},
    {SDL_SCANCODE_X, DIK_X},
    {SDL_SCANCODE_C, DIK_C},
    {SDL_SCANCODE_V, DIK_V},
    {SDL_SCANCODE_B, DIK_B},
    {SDL_SCANCODE_N, DIK_N},
    {SDL_SCANCODE_M, DIK_M},
    {SDL_SCANCODE_COMMA, DIK_COMMA},
    {SDL_SCANCODE_PERIOD, DIK_PERIOD},
    {SDL_SCANCODE_SLASH, DIK_SLASH},
    {SDL_SCANCODE_RSHIFT, DIK_RSHIFT},
    {SDL_SCANCODE_KP_MULTIPLY, DIK_MULTIPLY},
    {SDL_SCANCODE_LALT, DIK_LMENU},
    {SDL_SCANCODE_SPACE, DIK_SPACE},
    {SDL_SCANCODE_CAPSLOCK, DIK_CAPITAL},
    {SDL_SCANCODE_F1, DIK_F1},
    {SDL_SCANCODE_F2, DIK_F2},
    {SDL_SCANCODE_F3, DIK_F3},
    {SDL_SCANCODE_F4, DIK_F4},
    {SDL_SCANCODE_F5, DIK_F5},
    {SDL_SCANCODE_F6, DIK_F6},
    {SDL_SCANCODE_F7, DIK_F7},
    {SDL_SCANCODE_F8, DIK_F8},
    {SDL_SCANCODE_F9, DIK_F9},
    {SDL_SCANCODE_F10, DIK_F10},
    {SDL_SCANCODE_NUMLOCKCLEAR, DIK_NUMLOCK},
    {SDL_SCANCODE_SCROLLLOCK, DIK_SCROLL},
    {SDL_SCANCODE_KP_7, DIK_NUMPAD7},
    {SDL_SCANCODE_KP_8, DIK_NUMPAD8},
    {SDL_SCANCODE_KP_9, DIK_NUMPAD9},
    {SDL_SCANCODE_KP_MINUS, DIK_SUBTRACT},
    {SDL_SCANCODE_KP_4, DIK_NUMPAD4},
    {SDL_SCANCODE_KP_5, DIK_NUMPAD5},
    {SDL_SCANCODE_KP_6, DIK_NUMPAD6},
    {SDL_SCANCODE_KP_PLUS, DIK_ADD},
    {SDL_SCANCODE_KP_1, DIK_NUMPAD1},
    {SDL_SCANCODE_KP_2, DIK_NUMPAD2},
    {SDL_SCANCODE_KP_3, DIK_NUMPAD3},
    {SDL_SCANCODE_KP_0, DIK_NUMPAD0},
    {SDL_SCANCODE_KP_PERIOD, DIK_DECIMAL},
    {SDL_SCANCODE_NONUSBACKSLASH, DIK_OEM_102},
    {SDL_SCANCODE_F11, DIK_F11},
    {SDL_SCANCODE_F12, DIK_F12},
    {SDL_SCANCODE_F13, DIK_F13},
    {SDL_SCANCODE_F14, DIK_F14},
    {SDL_SCANCODE_F15, DIK_F15},
    {SDL_SCANCODE_INTERNATIONAL2, DIK_KANA},
    {SDL_SCANCODE_INTERNATIONAL1, DIK_ABNT_C1},
    {SDL_SCANCODE_INTERNATIONAL4, DIK_CONVERT},
    {SDL_SCANCODE_INTERNATIONAL5, DIK_NOCONVERT},
    {SDL_SCANCODE_INTERNATIONAL3, DIK_YEN},
    {SDL_SCANCODE_KP_EQUALS, DIK_NUMPADEQUALS},
    {SDL_SCANCODE_AUDIOPREV, DIK_PREVTRACK},
    {SDL_SCANCODE_STOP, DIK_STOP},
    {SDL_SCANCODE_AUDIONEXT, DIK_NEXTTRACK},
    {SDL_SCANCODE_KP_ENTER, DIK_NUMPADENTER},
    {SDL_SCANCODE_RCTRL, DIK_RCONTROL},
    {SDL_SCANCODE_MUTE, DIK_MUTE},
    {SDL_SCANCODE_CALCULATOR, DIK_CALCULATOR},
    {SDL_SCANCODE_AUDIOPLAY, DIK_PLAYPAUSE},
    {SDL_SCANCODE_AUDIOSTOP, DIK_MEDIASTOP},
    {SDL_SCANCODE_VOLUMEDOWN, DIK_VOLUMEDOWN},
    {SDL_SCANCODE_VOLUMEUP, DIK_VOLUMEUP},
    {SDL_SCANCODE_AC_HOME, DIK_WEBHOME},
    {SDL_SCANCODE_KP_COMMA, DIK_NUMPADCOMMA},
    {SDL_SCANCODE_KP_DIVIDE, DIK_DIVIDE},
    {SDL_SCANCODE_PRINTSCREEN, DIK_SYSRQ},
    {SDL_SCANCODE_RALT, DIK_RMENU},
    {SDL_SCANCODE_PAUSE, DIK_PAUSE},
    {SDL_SCANCODE_HOME, DIK_HOME},
    {SDL_SCANCODE_UP, DIK_UP},
    {SDL_SCANCODE_PAGEUP, DIK_PRIOR},
    {SDL_SCANCODE_LEFT, DIK_LEFT},
    {SDL_SCANCODE_RIGHT, DIK_RIGHT},
    {SDL_SCANCODE_END, DIK_END},
    {SDL_SCANCODE_DOWN, DIK_DOWN},
    {SDL_SCANCODE_PAGEDOWN, DIK_NEXT},
    {SDL_SCANCODE_INSERT, DIK_INSERT},
    {SDL_SCANCODE_DELETE, DIK_DELETE},
    {SDL_SCANCODE_LGUI, DIK_LWIN},
    {SDL_SCANCODE_RGUI, DIK_RWIN},
    {SDL_SCANCODE_APPLICATION, DIK_APPS},
    {SDL_SCANCODE_POWER, DIK_POWER},
    {SDL_SCANCODE_SLEEP, DIK_SLEEP},
    {SDL_SCANCODE_AC_SEARCH, DIK_WEBSEARCH},
    {SDL_SCANCODE_AC_BOOKMARKS, DIK_WEBFAVORITES},
    {SDL_SCANCODE_AC_REFRESH, DIK_WEBREFRESH},
    {SDL_SCANCODE_AC_STOP, DIK_WEBSTOP},
    {SDL_SCANCODE_AC_FORWARD, DIK_WEBFORWARD},
    {SDL_SCANCODE_AC_BACK, DIK_WEBBACK},
    {SDL_SCANCODE_COMPUTER, DIK_MYCOMPUTER},
    {SDL_SCANCODE_MAIL, DIK_MAIL},
    {SDL_SCANCODE_MEDIASELECT, DIK_MEDIASELECT},
};

struct SDikTable {
    uint8_t dik[SDL_NUM_SCANCODES] = {};
    SDikTable() {
        for (const SScancodeDik& entry : kScancodeTable) dik[entry.scancode] = entry.dik;
    }
};

}  // namespace

uint8_t DikFromScancode(int scancode) {
    static const SDikTable table;
    if (scancode < 0 || scancode >= SDL_NUM_SCANCODES) return 0;
    return table.dik[scancode];
}

void FeedKey(uint8_t dik, bool held) {
    if (dik == 0 || !g_source.focused) return;
    g_source.keys[dik] = held ? kHeld : 0;
    if (held) g_source.pressedSinceRead[dik] = kHeld;
}

void FeedMouseMotion(int32_t dx, int32_t dy) {
    g_source.dx = SaturatingAdd(g_source.dx, dx);
    g_source.dy = SaturatingAdd(g_source.dy, dy);
}

void FeedMouseWheel(int32_t delta) { g_source.dz = SaturatingAdd(g_source.dz, delta); }

void FeedMouseButton(uint32_t button, bool held) {
    if (button >= MouseButton::Count) return;
    g_source.buttons[button] = held ? kHeld : 0;
}

void FeedFocus(bool focused) {
    if (g_source.focused == focused) return;
    g_source.focused = focused;
    if (focused) return;
    std::memset(g_source.keys, 0, sizeof(g_source.keys));
    std::memset(g_source.pressedSinceRead, 0, sizeof(g_source.pressedSinceRead));
    std::memset(g_source.buttons, 0, sizeof(g_source.buttons));
    if (g_keyboardState.acquired) {
        g_keyboardState.acquired = false;
        g_keyboardState.lost = true;
    }
}

bool HasInputFocus() { return g_source.focused; }

bool IsMouseButtonHeld(uint32_t button) {
    return button < MouseButton::Count && (g_source.buttons[button] & kHeld) != 0;
}

void ResetInputSource() { g_source = SInputSource{}; }

int32_t CKeyboardDevice::Acquire() {
    if (!g_source.focused) return DIERR_OTHERAPPHASPRIO;
    g_keyboardState.acquired = true;
    g_keyboardState.lost = false;
    return kInputOk;
}

int32_t CKeyboardDevice::Unacquire() {
    g_keyboardState.acquired = false;
    g_keyboardState.lost = false;
    return kInputOk;
}

int32_t CKeyboardDevice::GetDeviceState(uint8_t* keys) {
    if (g_keyboardState.lost) {
        g_keyboardState.lost = false;
        return DIERR_INPUTLOST;
    }
    if (!g_keyboardState.acquired) return DIERR_NOTACQUIRED;
    for (size_t i = 0; i < sizeof(g_source.keys); ++i) keys[i] = g_source.keys[i] | g_source.pressedSinceRead[i];
    std::memset(g_source.pressedSinceRead, 0, sizeof(g_source.pressedSinceRead));
    return kInputOk;
}

int32_t CMouseDevice::Acquire() {
    if (!g_mouseState.acquired) ClearMotion();  // motion counts from the acquisition on
    g_mouseState.acquired = true;
    return kInputOk;
}

int32_t CMouseDevice::Unacquire() {
    g_mouseState.acquired = false;
    return kInputOk;
}

int32_t CMouseDevice::Poll() { return g_mouseState.acquired ? kInputOk : DIERR_NOTACQUIRED; }

int32_t CMouseDevice::GetDeviceState(DIMOUSESTATE2* state) {
    if (!g_mouseState.acquired) return DIERR_NOTACQUIRED;
    state->lX = g_source.dx;
    state->lY = g_source.dy;
    state->lZ = g_source.dz;
    std::memcpy(state->rgbButtons, g_source.buttons, sizeof(state->rgbButtons));
    ClearMotion();
    return kInputOk;
}

int32_t InitDirectInput() {
    if (g_pKeyboard != nullptr || g_pMouse != nullptr) return -1;
    g_pKeyboard = new CKeyboardDevice();
    g_pMouse = new CMouseDevice();
    g_keyboardState = SDeviceState{};
    g_mouseState = SDeviceState{};
    return 0;
}

void ReleaseDirectInput() {
    if (g_pKeyboard != nullptr) {
        g_pKeyboard->Unacquire();
        delete g_pKeyboard;
        g_pKeyboard = nullptr;
    }
    if (g_pMouse != nullptr) {
        g_pMouse->Unacquire();
        delete g_pMouse;
        g_pMouse = nullptr;
    }
}
