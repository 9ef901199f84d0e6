#include "platform/input_state.h"

#include <cstring>

CInputState g_Input = {};

namespace {

// A mouse whose acquisition keeps reporting lost input is given up for this tick.
constexpr int kMaxMouseAcquireAttempts = 4;

void ReadKeyboard(CInputState* input, uint32_t frameTime) {
    const bool guarded = static_cast<int32_t>(frameTime - input->keyGuardTime) < static_cast<int32_t>(kKeyGuardMs);
    if (g_pKeyboard == nullptr) {
        std::memset(input->keys, 0, sizeof(input->keys));
        return;
    }
    if (guarded) {
        // Taps during the guard are dropped, not kept for the first tick after it.
        uint8_t discarded[256];
        g_pKeyboard->GetDeviceState(discarded);
        std::memset(input->keys, 0, sizeof(input->keys));
        return;
    }
    if (g_pKeyboard->GetDeviceState(input->keys) != kInputOk) {
        std::memset(input->keys, 0, sizeof(input->keys));
        g_pKeyboard->Acquire();
    }
}

void ReadMouse(CInputState* input) {
    if (g_pMouse == nullptr) {
        input->mouse = DIMOUSESTATE2{};
        return;
    }
    if (g_pMouse->Poll() != kInputOk) {
        for (int attempt = 0; attempt < kMaxMouseAcquireAttempts; ++attempt) {
            if (g_pMouse->Acquire() != DIERR_INPUTLOST) break;
        }
    }
    if (g_pMouse->GetDeviceState(&input->mouse) != kInputOk) input->mouse = DIMOUSESTATE2{};
}

void CopyMouseFields(CInputState* input, const CMouseFields& fields) {
    input->mouseX = static_cast<int32_t>(fields.mouseX);
    input->mouseY = static_cast<int32_t>(fields.mouseY);
    input->mouseMoved = fields.mouseMoved;
    input->leftDown = fields.leftDown;
    input->leftUp = fields.leftUp;
    input->rightDown = fields.rightDown;
    input->rightUp = fields.rightUp;
}

void LoseInput(CInputState* input) {
    if (g_pKeyboard != nullptr) g_pKeyboard->Unacquire();
    if (g_pMouse != nullptr) g_pMouse->Unacquire();
    std::memset(input->keys, 0, sizeof(input->keys));
    input->mouse = DIMOUSESTATE2{};
    input->mouseX = kMouseNowhere;
    input->mouseY = kMouseNowhere;
    input->mouseMoved = 0;
    input->leftDown = 0;
    input->leftUp = 0;
    input->rightDown = 0;
    input->rightUp = 0;
}

}  // namespace

void UpdateMouseFields(CMouseFields* fields, const SWindowEvent& event) {
    switch (event.type) {
        case WindowEventType::MouseMove:
            fields->mouseX = event.x & 0xFFFFu;
            fields->mouseY = event.y & 0xFFFFu;
            fields->mouseMoved = 1;
            break;
        case WindowEventType::LeftDown: fields->leftDown = 1; break;
        case WindowEventType::LeftUp: fields->leftUp = 1; break;
        case WindowEventType::RightDown: fields->rightDown = 1; break;
        case WindowEventType::RightUp: fields->rightUp = 1; break;
        default: break;
    }
}

void CInputState::Update(CInputState* input, CMouseFields* fields, uint32_t frameTime) {
    if (HasInputFocus()) {
        ReadKeyboard(input, frameTime);
        ReadMouse(input);
        CopyMouseFields(input, *fields);
    } else {
        LoseInput(input);
    }
    fields->mouseMoved = 0;
    fields->leftDown = 0;
    fields->leftUp = 0;
    fields->rightDown = 0;
    fields->rightUp = 0;
}
