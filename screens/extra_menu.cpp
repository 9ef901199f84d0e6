#include "screens/extra_menu.h"

#include "app/system_data.h"
#include "platform/clock.h"
#include "platform/devices_graphics.h"
#include "platform/quad_draw.h"
#include "platform/render_context.h"
#include "platform/text_helpers.h"

const char kExtraMenuBackgroundPath[] = "System/Title/ExtraMenuBG.bmp";
const char kExtraMenuButtonPath[] = "System/Title/ExtraMenuButton.bmp";

namespace {

constexpr int32_t kButtonLeft = 258;
constexpr int32_t kButtonRight = 437;
constexpr int32_t kButtonTop = 211;
constexpr int32_t kButtonPitch = 50;
constexpr int32_t kCellWidth = 180;

SRect ButtonRect(int32_t button) {
    const int32_t top = kButtonTop + kButtonPitch * button;
    return SRect{kButtonLeft, top, kButtonRight, top + kButtonPitch - 1};
}

SRect ButtonCell(int32_t button, bool hovered) {
    const int32_t left = hovered ? kCellWidth : 0;
    return SRect{left, kButtonPitch * button, left + kCellWidth, kButtonPitch * button + kButtonPitch};
}

}  // namespace

int32_t CExtraMenu::Init() {
    head.Release();
    if (head.Load(kExtraMenuBackgroundPath, kExtraMenuButtonPath) != 0) return -1;
    head.ApplySoundVolume(g_Config);
    state = kExtraFadeIn;
    result = 0;
    hover = -1;
    stateStart = GetTimeMs();
    return 0;
}

int32_t CExtraMenu::Update() {
    switch (state) {
        case kExtraFadeIn:
            if (IsActivation()) {
                EnterState(kExtraIdle);
                StampKeyGuard();
            }
            break;
        case kExtraIdle: UpdateButtons(); break;
        case kExtraFadeOut:
            if (IsActivation()) EnterState(kExtraDone);
            break;
        default: break;  // the fade to black cannot be skipped
    }
    return state == kExtraDone ? result : 0;
}

int32_t UpdateButtonHover(int32_t hover, int32_t count, SRect (*rect)(int32_t),
                          const std::function<bool(int32_t)>& enabled,
                          const std::function<bool(int32_t)>& keyEnabled) {
    if (IsHoverTick()) {
        hover = -1;
        for (int32_t button = 0; button < count; ++button)
            if (enabled(button) && IsPointInRect(rect(button), MousePosition())) hover = button;
    }
    const std::function<bool(int32_t)>& stepsOver = keyEnabled ? keyEnabled : enabled;
    if (IsPreviousKey()) {
        hover = StepHover(hover, -1, count, stepsOver);
        StampKeyGuard();
    } else if (IsNextKey()) {
        hover = StepHover(hover, 1, count, stepsOver);
        StampKeyGuard();
    }
    return hover;
}

void CExtraMenu::UpdateButtons() {
    const int32_t before = hover;
    hover = UpdateButtonHover(hover, kExtraMenuButtonCount, ButtonRect, [](int32_t) { return true; });
    if (IsActivation()) {
        if (hover != -1) head.PlaySelect();
        StampKeyGuard();
        if (hover >= 0 && hover < kExtraMenuButtonCount - 1) {
            result = kExtraPictureGallery + hover;
            state = kExtraFadeToBlack;
        } else if (hover == kExtraMenuButtonCount - 1) {
            result = kExtraBack;
            state = kExtraFadeOut;
        }
        stateStart = g_FrameTime;
    } else if (hover != -1 && hover != before) {
        head.PlayCursor();
    }
    if (IsCancelClick()) {
        result = kExtraBack;
        EnterState(kExtraFadeOut);
    }
}

void CExtraMenu::Draw() {
    CGraphicsDevice* device = g_pD3DDevice;
    const uint32_t alpha = FadeAlpha(g_FrameTime, stateStart, kExtraMenuFadeMs);
    uint32_t colour = kOpaqueWhite;
    if (state == kExtraFadeIn) {
        colour = WhiteWithAlpha(alpha);
        if (alpha == 255) EnterState(kExtraIdle);
    } else if (state == kExtraFadeOut) {
        colour = WhiteWithAlpha(255 - alpha);
        if (alpha == 255) EnterState(kExtraDone);
    }
    DrawBackground(device, head.background, colour);
    device->SetTexture(0, head.buttonSheet);
    for (int32_t button = 0; button < kExtraMenuButtonCount; ++button) {
        const SRect cell = ButtonCell(button, button == hover);
        DrawSprite(device, head.buttonSheet, &cell, 0, static_cast<float>(kButtonLeft),
                   static_cast<float>(kButtonTop + kButtonPitch * button), colour);
    }
    if (state == kExtraFadeToBlack) {
        DrawFilledRect(device, kFullScreenRect, BlackWithAlpha(alpha));
        if (alpha == 255) EnterState(kExtraDone);
    }
}

void CExtraMenu::EnterState(int32_t next) {
    state = next;
    stateStart = g_FrameTime;
}
