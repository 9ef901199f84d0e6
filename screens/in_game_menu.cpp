#include "screens/in_game_menu.h"

#include "app/system_data.h"
#include "platform/devices_graphics.h"
#include "platform/quad_draw.h"
#include "platform/render_context.h"
#include "platform/text_helpers.h"
#include "screens/screen_messages.h"

namespace {

constexpr uint32_t kFadeMs = 150;

enum : int32_t { kButtonSave, kButtonLoad, kButtonConfig, kButtonTitle, kButtonBack, kButtonQuit };

SRect ButtonHit(int32_t k) {
    return SRect{319, 71 + 31 * k, 478, k == kButtonQuit ? 256 : 100 + 31 * k};
}

SRect ButtonSprite(int32_t k, bool hovered) {
    return hovered ? SRect{160, 30 * k, 360, 30 * k + 30} : SRect{0, 30 * k, 160, 30 * k + 30};
}

}  // namespace

CInGameMenu::~CInGameMenu() {
    Close();
}

int32_t CInGameMenu::Init() {
    const CConfigBlock config = g_Config;
    if (head.Load("System/Menu/MenuBG.bmp", "System/Menu/MenuButton.bmp") != 0) return -1;
    head.ApplySoundVolume(config);
    state = 0;
    result = 0;
    startTime = g_FrameTime;
    hovered = -1;
    return 0;
}

void CInGameMenu::Close() {
    saveScreen.ReleaseSlots();
    loadScreen.ReleaseSlots();
    configScreen.Release();
    question.head.Release();
    head.Release();
}

void CInGameMenu::Enter(int32_t nextState) {
    state = nextState;
    startTime = g_FrameTime;
}

int32_t CInGameMenu::Update() {
    switch (state) {
    case 0:
        return FadeIn();
    case 1:
        return UpdateIdle();
    case 2:
        return RunSaveScreen();
    case 3:
        return RunLoadScreen();
    case 4:
        return RunConfigScreen();
    case 5:
    case 6:
        return RunQuestion();
    case 7:
    case 8:
        return FadeOut();
    default:
        return result;
    }
}

int32_t CInGameMenu::FadeIn() {
    if (IsActivation()) {
        Enter(1);
        StampKeyGuard();
    }
    return kMenuRunning;
}

int32_t CInGameMenu::UpdateIdle() {
    const int32_t before = hovered;
    if (IsHoverTick()) {
        const SPoint mouse = MousePosition();
        for (int32_t k = 0; k < kMenuButtonCount; ++k) {
            if (IsPointInRect(ButtonHit(k), mouse)) hovered = k;
        }
    }
    const auto all = [](int32_t) { return true; };
    if (IsPreviousKey()) {
        hovered = StepHover(hovered, -1, kMenuButtonCount, all);
        StampKeyGuard();
    } else if (IsNextKey()) {
        hovered = StepHover(hovered, +1, kMenuButtonCount, all);
        StampKeyGuard();
    }
    if (IsActivation()) {
        if (hovered != -1) head.PlaySelect();
        StampKeyGuard();
        Activate(hovered);
    } else if (hovered != -1 && hovered != before) {
        head.PlayCursor();
    }
    if (state == 1 && IsCancelClick()) {
        result = kMenuBack;
        Enter(7);
    }
    return kMenuRunning;
}

void CInGameMenu::Activate(int32_t button) {
    switch (button) {
    case kButtonSave:
        if (saveScreen.InitSave(0) == 0) {
            Enter(2);
        } else {
            ShowScreenError(kSaveScreenFailedText, false);
            saveScreen.ReleaseSlots();
        }
        break;
    case kButtonLoad:
        if (loadScreen.InitLoad(0, 0) == 0) {
            Enter(3);
        } else {
            ShowScreenError(kLoadScreenFailedText, false);
            loadScreen.ReleaseSlots();
        }
        break;
    case kButtonConfig:
        if (configScreen.Init(kConfigFromMenu) == 0) {
            Enter(4);
        } else {
            ShowScreenError(kConfigScreenFailedText, false);
            configScreen.Release();
        }
        break;
    case kButtonTitle:
        Ask(kQuestionReturnToTitle, 5, kMenuReturnToTitle);
        break;
    case kButtonBack:
        result = kMenuBack;
        Enter(7);
        break;
    case kButtonQuit:
        Ask(kQuestionQuit, 6, kMenuQuit);
        break;
    default:
        break;
    }
}

void CInGameMenu::Ask(int32_t questionKind, int32_t nextState, int32_t resultWithoutQuestion) {
    if (question.Init(questionKind) == 0) {
        Enter(nextState);
        return;
    }
    question.head.Release();
    result = resultWithoutQuestion;
    Enter(8);
}

int32_t CInGameMenu::RunSaveScreen() {
    switch (saveScreen.UpdateSave()) {
    case kSaveLoadChosen:
        saveScreen.GetSelectedFileName(chosenFile);
        return kMenuSave;
    case kSaveLoadSwitch:
        saveScreen.ReleaseSlots();
        if (loadScreen.InitLoad(0, 1) == 0) {
            Enter(3);
            return kMenuRunning;
        }
        ShowScreenError(kLoadScreenFailedText, false);
        loadScreen.ReleaseSlots();
        Enter(1);
        return kMenuFailed;
    case kSaveLoadClose:
        saveScreen.ReleaseSlots();
        return kMenuBack;
    default:
        return kMenuRunning;
    }
}

int32_t CInGameMenu::RunLoadScreen() {
    switch (loadScreen.UpdateLoad()) {
    case kSaveLoadChosen:
        loadScreen.GetSelectedFileName(chosenFile);
        loadScreen.ReleaseSlots();
        return kMenuLoad;
    case kSaveLoadSwitch:
        loadScreen.ReleaseSlots();
        if (saveScreen.InitSave(1) == 0) {
            Enter(2);
            return kMenuRunning;
        }
        ShowScreenError(kSaveScreenFailedText, false);
        saveScreen.ReleaseSlots();
        Enter(1);
        return kMenuFailed;
    case kSaveLoadClose:
        loadScreen.ReleaseSlots();
        return kMenuBack;
    default:
        return kMenuRunning;
    }
}

int32_t CInGameMenu::RunConfigScreen() {
    switch (configScreen.Update()) {
    case kConfigWritten:
        return kMenuSettingsChanged;
    case kConfigClosed:
        configScreen.Release();
        return kMenuBack;
    case kConfigReturnToTitle:
        configScreen.Release();
        return kMenuReturnToTitle;
    case kConfigQuit:
        configScreen.Release();
        return kMenuQuit;
    default:
        return kMenuRunning;
    }
}

int32_t CInGameMenu::RunQuestion() {
    const int32_t answer = question.Update();
    if (answer == kAnswerYes) {
        question.head.Release();
        result = state == 5 ? kMenuReturnToTitle : kMenuQuit;
        Enter(8);
    } else if (answer == kAnswerNo) {
        question.head.Release();
        Enter(1);
    }
    return kMenuRunning;
}

int32_t CInGameMenu::FadeOut() {
    if (IsActivation()) {
        Enter(9);
        StampKeyGuard();
    }
    return kMenuRunning;
}

void CInGameMenu::Draw() {
    const uint32_t now = g_FrameTime;
    uint32_t alpha = 255;
    if (state == 0) {
        alpha = FadeAlpha(now, startTime, kFadeMs);
        if (alpha == 255) Enter(1);
    } else if (state == 7) {
        alpha = 255 - FadeAlpha(now, startTime, kFadeMs);
        if (alpha == 0) Enter(9);
    } else if (state >= 2 && state <= 4) {
        alpha = static_cast<int32_t>(now - startTime) < static_cast<int32_t>(kFadeMs) ? 255 : 0;
    }
    if (alpha != 0) {
        const uint32_t colour = WhiteWithAlpha(alpha);
        DrawBackground(g_pD3DDevice, head.background, colour);
        for (int32_t k = 0; k < kMenuButtonCount; ++k) {
            DrawSheetSprite(g_pD3DDevice, head.buttonSheet, ButtonSprite(k, hovered == k), 319, 71 + 31 * k, colour);
        }
    }
    switch (state) {
    case 2:
        saveScreen.Draw();
        break;
    case 3:
        loadScreen.Draw();
        break;
    case 4:
        configScreen.Draw();
        break;
    case 5:
    case 6:
        question.Draw();
        break;
    case 8: {
        const uint32_t black = FadeAlpha(now, startTime, kFadeMs);
        DrawFilledRect(g_pD3DDevice, kFullScreenRect, BlackWithAlpha(black));
        if (black == 255) Enter(9);
        break;
    }
    default:
        break;
    }
}
