// Keyboard and mouse devices with the behaviour of the DirectInput 8 devices the game was
// written against: a 256-byte key state indexed by DIK code (bit 7 set = held) and a relative
// mouse state (DIMOUSESTATE2). The keyboard is a foreground device: it is lost when the window
// loses the focus and must be acquired again on return.
//
// The devices read a process-wide input source. The window's event pump feeds it from SDL;
// tests feed it directly (FeedKey, FeedMouseMotion, ...) so that the engine and the screens
// run without a window.
#pragma once

#include <cstdint>

// DirectInput key codes (the keyboard's scan-code set 1 numbering).
constexpr uint8_t DIK_ESCAPE = 0x01;
constexpr uint8_t DIK_1 = 0x02;
constexpr uint8_t DIK_2 = 0x03;
constexpr uint8_t DIK_3 = 0x04;
constexpr uint8_t DIK_4 = 0x05;
constexpr uint8_t DIK_5 = 0x06;
constexpr uint8_t DIK_6 = 0x07;
constexpr uint8_t DIK_7 = 0x08;
constexpr uint8_t DIK_8 = 0x09;
constexpr uint8_t DIK_9 = 0x0A;
constexpr uint8_t DIK_0 = 0x0B;
constexpr uint8_t DIK_MINUS = 0x0C;
constexpr uint8_t DIK_EQUALS = 0x0D;
constexpr uint8_t DIK_BACK = 0x0E;
constexpr uint8_t DIK_TAB = 0x0F;
constexpr uint8_t DIK_Q = 0x10;
constexpr uint8_t DIK_W = 0x11;
constexpr uint8_t DIK_E = 0x12;
constexpr uint8_t DIK_R = 0x13;
constexpr uint8_t DIK_T = 0x14;
constexpr uint8_t DIK_Y = 0x15;
constexpr uint8_t DIK_U = 0x16;
constexpr uint8_t DIK_I = 0x17;
constexpr uint8_t DIK_O = 0x18;
constexpr uint8_t DIK_P = 0x19;
constexpr uint8_t DIK_LBRACKET = 0x1A;
constexpr uint8_t DIK_RBRACKET = 0x1B;
constexpr uint8_t DIK_RETURN = 0x1C;
constexpr uint8_t DIK_LCONTROL = 0x1D;
constexpr uint8_t DIK_A = 0x1E;
constexpr uint8_t DIK_S = 0x1F;
constexpr uint8_t DIK_D = 0x20;
constexpr uint8_t DIK_F = 0x21;
constexpr uint8_t DIK_G = 0x22;
constexpr uint8_t DIK_H = 0x23;
constexpr uint8_t DIK_J = 0x24;
constexpr uint8_t DIK_K = 0x25;
constexpr uint8_t DIK_L = 0x26;
constexpr uint8_t DIK_SEMICOLON = 0x27;
constexpr uint8_t DIK_APOSTROPHE = 0x28;
constexpr uint8_t DIK_GRAVE = 0x29;
constexpr uint8_t DIK_LSHIFT = 0x2A;
constexpr uint8_t DIK_BACKSLASH = 0x2B;
constexpr uint8_t DIK_Z = 0x2C;
constexpr uint8_t DIK_X = 0x2D;
constexpr uint8_t DIK_C = 0x2E;
constexpr uint8_t DIK_V = 0x2F;
constexpr uint8_t DIK_B = 0x30;
constexpr uint8_t DIK_N = 0x31;
constexpr uint8_t DIK_M = 0x32;
constexpr uint8_t DIK_COMMA = 0x33;
constexpr uint8_t DIK_PERIOD = 0x34;
constexpr uint8_t DIK_SLASH = 0x35;
constexpr uint8_t DIK_RSHIFT = 0x36;
constexpr uint8_t DIK_MULTIPLY = 0x37;
constexpr uint8_t DIK_LMENU = 0x38;
constexpr uint8_t DIK_SPACE = 0x39;
constexpr uint8_t DIK_CAPITAL = 0x3A;
constexpr uint8_t DIK_F1 = 0x3B;
constexpr uint8_t DIK_F2 = 0x3C;
constexpr uint8_t DIK_F3 = 0x3D;
constexpr uint8_t DIK_F4 = 0x3E;
constexpr uint8_t DIK_F5 = 0x3F;
constexpr uint8_t DIK_F6 = 0x40;
constexpr uint8_t DIK_F7 = 0x41;
constexpr uint8_t DIK_F8 = 0x42;
constexpr uint8_t DIK_F9 = 0x43;
constexpr uint8_t DIK_F10 = 0x44;
constexpr uint8_t DIK_NUMLOCK = 0x45;
constexpr uint8_t DIK_SCROLL = 0x46;
constexpr uint8_t DIK_NUMPAD7 = 0x47;
constexpr uint8_t DIK_NUMPAD8 = 0x48;
constexpr uint8_t DIK_NUMPAD9 = 0x49;
constexpr uint8_t DIK_SUBTRACT = 0x4A;
constexpr uint8_t DIK_NUMPAD4 = 0x4B;
constexpr uint8_t DIK_NUMPAD5 = 0x4C;
constexpr uint8_t DIK_NUMPAD6 = 0x4D;
constexpr uint8_t DIK_ADD = 0x4E;
constexpr uint8_t DIK_NUMPAD1 = 0x4F;
constexpr uint8_t DIK_NUMPAD2 = 0x50;
constexpr uint8_t DIK_NUMPAD3 = 0x51;
constexpr uint8_t DIK_NUMPAD0 = 0x52;
constexpr uint8_t DIK_DECIMAL = 0x53;
constexpr uint8_t DIK_OEM_102 = 0x56;
constexpr uint8_t DIK_F11 = 0x57;
constexpr uint8_t DIK_F12 = 0x58;
constexpr uint8_t DIK_F13 = 0x64;
constexpr uint8_t DIK_F14 = 0x65;
constexpr uint8_t DIK_F15 = 0x66;
constexpr uint8_t DIK_KANA = 0x70;
constexpr uint8_t DIK_ABNT_C1 = 0x73;
constexpr uint8_t DIK_CONVERT = 0x79;
constexpr uint8_t DIK_NOCONVERT = 0x7B;
constexpr uint8_t DIK_YEN = 0x7D;
constexpr uint8_t DIK_ABNT_C2 = 0x7E;
constexpr uint8_t DIK_NUMPADEQUALS = 0x8D;
constexpr uint8_t DIK_PREVTRACK = 0x90;
constexpr uint8_t DIK_AT = 0x91;
constexpr uint8_t DIK_COLON = 0x92;
constexpr uint8_t DIK_UNDERLINE = 0x93;
constexpr uint8_t DIK_KANJI = 0x94;
constexpr uint8_t DIK_STOP = 0x95;
constexpr uint8_t DIK_AX = 0x96;
constexpr uint8_t DIK_UNLABELED = 0x97;
constexpr uint8_t DIK_NEXTTRACK = 0x99;
constexpr uint8_t DIK_NUMPADENTER = 0x9C;
constexpr uint8_t DIK_RCONTROL = 0x9D;
constexpr uint8_t DIK_MUTE = 0xA0;
constexpr uint8_t DIK_CALCULATOR = 0xA1;
constexpr uint8_t DIK_PLAYPAUSE = 0xA2;
constexpr uint8_t DIK_MEDIASTOP = 0xA4;
constexpr uint8_t DIK_VOLUMEDOWN = 0xAE;
constexpr uint8_t DIK_VOLUMEUP = 0xB0;
constexpr uint8_t DIK_WEBHOME = 0xB2;
constexpr uint8_t DIK_NUMPADCOMMA = 0xB3;
constexpr uint8_t DIK_DIVIDE = 0xB5;
constexpr uint8_t DIK_SYSRQ = 0xB7;
constexpr uint8_t DIK_RMENU = 0xB8;
constexpr uint8_t DIK_PAUSE = 0xC5;
constexpr uint8_t DIK_HOME = 0xC7;
constexpr uint8_t DIK_UP = 0xC8;
constexpr uint8_t DIK_PRIOR = 0xC9;
constexpr uint8_t DIK_LEFT = 0xCB;
constexpr uint8_t DIK_RIGHT = 0xCD;
constexpr uint8_t DIK_END = 0xCF;
constexpr uint8_t DIK_DOWN = 0xD0;
constexpr uint8_t DIK_NEXT = 0xD1;
constexpr uint8_t DIK_INSERT = 0xD2;
constexpr uint8_t DIK_DELETE = 0xD3;
constexpr uint8_t DIK_LWIN = 0xDB;
constexpr uint8_t DIK_RWIN = 0xDC;
constexpr uint8_t DIK_APPS = 0xDD;
constexpr uint8_t DIK_POWER = 0xDE;
constexpr uint8_t DIK_SLEEP = 0xDF;
constexpr uint8_t DIK_WAKE = 0xE3;
constexpr uint8_t DIK_WEBSEARCH = 0xE5;
constexpr uint8_t DIK_WEBFAVORITES = 0xE6;
constexpr uint8_t DIK_WEBREFRESH = 0xE7;
constexpr uint8_t DIK_WEBSTOP = 0xE8;
constexpr uint8_t DIK_WEBFORWARD = 0xE9;
constexpr uint8_t DIK_WEBBACK = 0xEA;
constexpr uint8_t DIK_MYCOMPUTER = 0xEB;
constexpr uint8_t DIK_MAIL = 0xEC;
constexpr uint8_t DIK_MEDIASELECT = 0xED;

// Device results (DirectInput's values).
constexpr int32_t kInputOk = 0;
constexpr int32_t DIERR_INPUTLOST = static_cast<int32_t>(0x8007001Eu);
constexpr int32_t DIERR_NOTACQUIRED = static_cast<int32_t>(0x8007000Cu);
constexpr int32_t DIERR_OTHERAPPHASPRIO = static_cast<int32_t>(0x80070005u);

// Mouse wheel movement of one notch, as Windows reports it.
constexpr int32_t kWheelDelta = 120;

// Mouse buttons as indices into DIMOUSESTATE2::rgbButtons.
namespace MouseButton {
enum : uint32_t { Left = 0, Right = 1, Middle = 2, X1 = 3, X2 = 4, Count = 8 };
}

// The relative mouse state: motion and wheel since the previous read, bit 7 of a button byte
// set while the button is held. lZ is positive when the wheel turns away from the user.
struct DIMOUSESTATE2 {
    int32_t lX;
    int32_t lY;
    int32_t lZ;
    uint8_t rgbButtons[8];
};

// The keyboard: foreground, non-exclusive.
class CKeyboardDevice {
public:
    // Fails with DIERR_OTHERAPPHASPRIO while the window is not in the foreground.
    int32_t Acquire();
    int32_t Unacquire();
    // keys: 256 bytes. A key pressed and released again since the previous read reads as held
    // once, so that a short tap between two ticks is not lost. DIERR_INPUTLOST once after the
    // focus was lost while acquired, DIERR_NOTACQUIRED while not acquired.
    int32_t GetDeviceState(uint8_t* keys);

private:
    friend void ReleaseDirectInput();
    friend int32_t InitDirectInput();
    CKeyboardDevice() = default;
};

// The mouse: background, non-exclusive.
class CMouseDevice {
public:
    int32_t Acquire();
    int32_t Unacquire();
    int32_t Poll();
    int32_t GetDeviceState(DIMOUSESTATE2* state);

private:
    friend void ReleaseDirectInput();
    friend int32_t InitDirectInput();
    CMouseDevice() = default;
};

extern CKeyboardDevice* g_pKeyboard;
extern CMouseDevice* g_pMouse;

// Creates the keyboard and the mouse; they start unacquired (the first failing read acquires
// them). Returns 0, or -1 when they exist already.
int32_t InitDirectInput();
// Releases both devices (each only if held).
void ReleaseDirectInput();

// The input source. All of it belongs to the main thread.
void FeedKey(uint8_t dik, bool held);
void FeedMouseMotion(int32_t dx, int32_t dy);
void FeedMouseWheel(int32_t delta);  // kWheelDelta per notch, positive away from the user
void FeedMouseButton(uint32_t button, bool held);
// Focus loss releases every key and button of the source and makes the keyboard lost.
void FeedFocus(bool focused);
bool HasInputFocus();
// Whether a mouse button is held as of the event being handled (GetKeyState's answer).
bool IsMouseButtonHeld(uint32_t button);
// Back to the start: nothing held, no motion, focused, devices kept as they are.
void ResetInputSource();

// The DIK code of an SDL scan code, or 0 when the key has none.
uint8_t DikFromScancode(int scancode);
