// The clicks and key groups the engine reacts to, read from the per-tick input snapshot.
#pragma once

#include <cstdint>

#include "platform/input_state.h"

// A left click, Return or keypad Enter.
inline bool IsClick(const CInputState* input) {
    return input->leftUp || input->IsKeyDown(DIK_RETURN) || input->IsKeyDown(DIK_NUMPADENTER);
}

// A left or right click, Return or keypad Enter.
inline bool IsClickOrCancel(const CInputState* input) { return IsClick(input) || input->rightUp; }

// What ends auto mode or shows a hidden window: any click, Space, Return or keypad Enter.
inline bool IsAnyAdvanceInput(const CInputState* input) {
    return IsClickOrCancel(input) || input->IsKeyDown(DIK_SPACE);
}

inline bool IsCtrlHeld(const CInputState* input) {
    return input->IsKeyDown(DIK_LCONTROL) || input->IsKeyDown(DIK_RCONTROL);
}

inline int32_t WheelMovement(const CInputState* input) { return input->mouse.lZ; }
