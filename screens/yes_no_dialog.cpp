#include "screens/yes_no_dialog.h"

#include "app/system_data.h"
#include "platform/devices_graphics.h"
#include "platform/render_context.h"
#include "platform/text_helpers.h"

namespace {

constexpr uint32_t kFadeMs = 150;

struct SQuestionLine {
    int32_t kind;
    SRect source;
    int32_t x, y;
};
constexpr SQuestionLine kQuestionLines[] = {
    {kQuestionReturnToTitle, {120, 20, 302, 40}, 309, 174},
    {kQuestionQuit, {120, 40, 307, 60}, 306, 174},
    {kQuestionOverwrite, {120, 80, 325, 100}, 321, 174},
};

struct SButton {
    SRect hit;  // inclusive
    SRect normal;
    SRect hovered;
};
constexpr SButton kButtons[2] = {
    {{276, 225, 395, 254}, {0, 0, 120, 30}, {0, 30, 120, 60}},
    {{406, 225, 525, 254}, {0, 60, 120, 90}, {0, 90, 120, 120}},
};

}  // namespace

int32_t CYesNoDialog::Init(int32_t questionKind) {
    const CConfigBlock config = g_Config;
    if (head.Load("System/Menu/YesNoBG.bmp", "System/Menu/YesNoButton.bmp") != 0) return -1;
    head.ApplySoundVolume(config);
    kind = questionKind;
    hovered = -1;
    state = 0;
    result = 0;
    startTime = g_FrameTime;
    return 0;
}

int32_t CYesNoDialog::Update() {
    const uint32_t now = g_FrameTime;
    if (state == 0) {
        if (IsActivation()) {
            state = 1;
            startTime = now;
        }
        return 0;
    }
    if (state == 2) return IsActivation() ? result : 0;
    if (state == 3) return result;

    const int32_t before = hovered;
    if (IsHoverTick()) {
        const SPoint mouse = MousePosition();
        for (int32_t i = 0; i < 2; ++i) {
            if (IsPointInRect(kButtons[i].hit, mouse)) hovered = i;
        }
    }
    if (IsLeftKey()) {
        hovered = hovered - 1 < 0 ? 1 : hovered - 1;
        StampKeyGuard();
    } else if (IsRightKey()) {
        hovered = hovered + 1 > 1 ? 0 : hovered + 1;
        StampKeyGuard();
    }
    if (IsActivation()) {
        if (hovered != -1) {
            head.PlaySelect();
            StampKeyGuard();
            result = hovered == 0 ? kAnswerYes : kAnswerNo;
            hovered = -1;
            startTime = now;
            state = 2;
        }
    } else if (hovered != -1 && hovered != before) {
        head.PlayCursor();
    }
    if (IsCancelClick() && state == 1) {
        result = kAnswerNo;
        state = 2;
        startTime = now;
    }
    return 0;
}

void CYesNoDialog::Draw() {
    const uint32_t now = g_FrameTime;
    uint32_t alpha = 255;
    if (state == 0) {
        alpha = FadeAlpha(now, startTime, kFadeMs);
        if (alpha == 255) {
            state = 1;
            startTime = now;
        }
    } else if (state == 2) {
        alpha = 255 - FadeAlpha(now, startTime, kFadeMs);
        if (alpha == 0) {
            state = 3;
            startTime = now;
        }
    }
    const uint32_t colour = WhiteWithAlpha(alpha);
    DrawBackground(g_pD3DDevice, head.background, colour);
    for (const SQuestionLine& line : kQuestionLines) {
        if (line.kind == kind) DrawSheetSprite(g_pD3DDevice, head.buttonSheet, line.source, line.x, line.y, colour);
    }
    for (int32_t i = 0; i < 2; ++i) {
        const SButton& button = kButtons[i];
        DrawSheetSprite(g_pD3DDevice, head.buttonSheet, hovered == i ? button.hovered : button.normal, button.hit.left,
                        button.hit.top, colour);
    }
}
