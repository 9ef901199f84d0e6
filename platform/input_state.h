// The per-tick input snapshot that every screen and the engine read, and the mouse fields
// through which the window procedure hands mouse events to it.
#pragma once

#include <cstdint>

#include "platform/input_devices.h"
#include "platform/window.h"

// The mouse position outside the foreground.
constexpr int32_t kMouseNowhere = static_cast<int32_t>(0x80000000u);
// For this many milliseconds after keyGuardTime every key reads as up.
constexpr uint32_t kKeyGuardMs = 200;

// Written by the window procedure between ticks, taken and cleared by CInputState::Update.
struct CMouseFields {
    uint32_t mouseX = 0;  // last client position, as unsigned 16-bit values
    uint32_t mouseY = 0;
    uint32_t mouseMoved = 0;  // 1 when that event arrived since the last tick
    uint32_t leftDown = 0;
    uint32_t leftUp = 0;
    uint32_t rightDown = 0;
    uint32_t rightUp = 0;
};

// Records one mouse event of the window in the fields. Other events are ignored.
void UpdateMouseFields(CMouseFields* fields, const SWindowEvent& event);

struct CInputState {
    int32_t mouseX;  // kMouseNowhere while the window is not in the foreground
    int32_t mouseY;
    uint32_t mouseMoved;
    uint32_t leftDown;
    uint32_t leftUp;  // a click
    uint32_t rightDown;
    uint32_t rightUp;  // the cancel click
    DIMOUSESTATE2 mouse;
    uint8_t keys[256];  // by DIK code; bit 7 set = held
    uint32_t keyGuardTime;

    // The per-tick poll: keyboard and mouse devices into the record, the mouse fields copied
    // and then cleared (the position stays).
    static void Update(CInputState* input, CMouseFields* fields, uint32_t frameTime);

    bool IsKeyDown(uint8_t dik) const { return (keys[dik] & 0x80) != 0; }
};

extern CInputState g_Input;
