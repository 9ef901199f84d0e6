// The text-window button bar, the backlog and menu sub-modes, quick save, quick load and the
// auto save.
#include "app/system_data.h"
#include "platform/devices_graphics.h"
#include "platform/input_devices.h"
#include "platform/input_state.h"
#include "platform/render_context.h"
#include "platform/text_helpers.h"
#include "screens/adventure.h"
#include "screens/screen_messages.h"
#include "screens/screen_resources.h"

namespace {

enum : int32_t {
    kButtonSkip,
    kButtonAuto,
    kButtonBacklog,
    kButtonVoice,
    kButtonMenu,
    kButtonQuickSave,
    kButtonQuickLoad,
    kButtonHide,
};

struct SBarButton {
    SRect hit;  // inclusive; the button is drawn at its top left
    SRect disabled;
    SRect normal;
    SRect hovered;
    SRect modeOn;  // empty for buttons without a mode
};

constexpr SBarButton kBar[kBarButtonCount] = {
    {{433, 575, 479, 594}, {0, 0, 47, 20}, {0, 20, 47, 40}, {0, 40, 47, 60}, {0, 60, 47, 80}},
    {{491, 575, 549, 594}, {47, 0, 106, 20}, {47, 20, 106, 40}, {47, 40, 106, 60}, {47, 60, 106, 80}},
    {{559, 575, 615, 594}, {106, 0, 163, 20}, {106, 20, 163, 40}, {106, 40, 163, 60}, {}},
    {{625, 575, 685, 594}, {163, 0, 224, 20}, {163, 20, 224, 40}, {163, 40, 224, 60}, {}},
    {{693, 575, 751, 594}, {224, 0, 283, 20}, {224, 20, 283, 40}, {224, 40, 283, 60}, {}},
    {{714, 526, 792, 547}, {79, 80, 158, 102}, {79, 102, 158, 124}, {79, 124, 158, 146}, {}},
    {{714, 549, 792, 570}, {0, 80, 79, 102}, {0, 102, 79, 124}, {0, 124, 79, 146}, {}},
    {{769, 574, 791, 596}, {158, 136, 181, 159}, {181, 136, 204, 159}, {204, 136, 227, 159}, {}},
};

constexpr int32_t kClickCursorX = 673;
constexpr int32_t kClickCursorY = 538;
constexpr uint32_t kClickCursorFrameMs = 80;
constexpr SRect kNameUnderline = {0, 168, 167, 170};

SRect ClickCursorFrame(uint32_t frame) {
    const int32_t f = static_cast<int32_t>(frame);
    if (f < 5) return SRect{158 + 21 * f, 80, 179 + 21 * f, 108};
    return SRect{158 + 21 * (f - 5), 108, 179 + 21 * (f - 5), 136};
}

// Up or Down without Left or Right.
bool IsChoiceKey() {
    return (g_Input.IsKeyDown(DIK_UP) || g_Input.IsKeyDown(DIK_DOWN)) && !IsLeftKey() && !IsRightKey();
}

}  // namespace

bool CAdventure::IsButtonEnabled(int32_t button) const {
    switch (button) {
    case kButtonBacklog:
        return engine.messageLog.Count() > 0;
    case kButtonVoice:
        return engine.IsVoicePlaying() == 1;
    case kButtonQuickLoad:
        return quickSaveExists != 0;
    default:
        return true;
    }
}

bool CAdventure::IsBarActive() const { return engine.messageWindow.whf == 0 && engine.windowHiddenByUser == 0; }

void CAdventure::Draw() {
    CGraphicsDevice* device = g_pD3DDevice;
    const auto sprite = [&](int32_t button, const SRect& source) {
        DrawSheetSprite(device, buttonSheet, source, kBar[button].hit.left, kBar[button].hit.top, kOpaqueWhite);
    };
    const int32_t activeMode = engine.IsSkipMode() ? kButtonSkip : engine.autoMode ? kButtonAuto : -1;
    if (activeMode >= 0) {
        for (int32_t button = 0; button < kBarButtonCount; ++button) {
            sprite(button, button == activeMode ? kBar[button].modeOn : kBar[button].disabled);
        }
    } else {
        for (int32_t button = 0; button < kBarButtonCount; ++button) {
            if (!IsButtonEnabled(button)) {
                sprite(button, kBar[button].disabled);
            } else {
                sprite(button, button == hoveredButton ? kBar[button].hovered : kBar[button].normal);
            }
        }
        if (g_bPageTextDone == 1) {
            const uint32_t frame = (g_FrameTime % (10 * kClickCursorFrameMs)) / kClickCursorFrameMs;
            DrawSheetSprite(device, buttonSheet, ClickCursorFrame(frame), kClickCursorX, kClickCursorY, kOpaqueWhite);
        }
    }
    if ((g_Config.settings.windowColour >> 24) == 0 && engine.messageWindow.name[0] != 0) {
        DrawSheetSprite(device, buttonSheet, kNameUnderline, 0, 474, kOpaqueWhite);
    }
}

int32_t CAdventure::Update() {
    switch (subMode) {
    case kAdventureScript:
        return UpdateScript();
    case kAdventureBacklog:
        if (backlog.Update() == 1) {
            subMode = kAdventureScript;
            backlog.ReleaseResources();
            engine.windowHiddenByUser = 0;
        }
        return 1;
    case kAdventureMenu:
        return HandleMenuResult();
    default:
        return 0;
    }
}

int32_t CAdventure::UpdateScript() {
    const uint32_t now = g_FrameTime;
    const int32_t before = hoveredButton;
    const bool wheel = g_Input.mouse.lZ != 0;
    if (!IsBarActive()) return wheel ? 1 : 0;

    if (IsHoverTick()) {
        hoveredButton = -1;
        const SPoint mouse = MousePosition();
        for (int32_t button = 0; button < kBarButtonCount; ++button) {
            if (IsButtonEnabled(button) && IsPointInRect(kBar[button].hit, mouse)) hoveredButton = button;
        }
    }
    if (IsCancelClick()) {
        if (g_Config.rightClick == 0) {
            OpenMenu();
        } else {
            engine.windowHiddenByUser = 1;
        }
        return 1;
    }
    if (wheel) {
        if (engine.messageLog.Count() > 0) OpenBacklog();
        return 1;
    }
    if (engine.choiceWindow.active && IsChoiceKey()) {
        // Up and Down pick among the choices; the bar leaves them, and the next Return, to the engine.
        hoveredButton = -1;
        return 0;
    }
    if (IsPreviousKey() || IsNextKey()) {
        const auto enabled = [this](int32_t button) { return IsButtonEnabled(button); };
        hoveredButton = StepHover(hoveredButton, IsPreviousKey() ? -1 : +1, kBarButtonCount, enabled);
        g_Input.keyGuardTime = now;
        if (hoveredButton != -1 && hoveredButton != before) PlayScreenSound(cursorSound);
        return 1;
    }
    if (IsActivation()) {
        if (hoveredButton != -1) PlayScreenSound(selectSound);
        g_Input.keyGuardTime = now;
        if (hoveredButton == -1) return 0;
        PressButton(hoveredButton);
        return 1;
    }
    if (hoveredButton != -1 && hoveredButton != before) PlayScreenSound(cursorSound);
    return 0;
}

void CAdventure::StopAutoAndSkip() {
    engine.autoMode = 0;
    engine.SetSkipMode(0);
}

void CAdventure::ToggleSkip() {
    if (engine.IsSkipMode()) {
        engine.SetSkipMode(0);
        return;
    }
    engine.SetSkipMode(1);
    engine.autoMode = 0;
    engine.messageLog.FadeOutVoices(engine.logVoiceChannels);
    engine.messageLog.SetOpen(0, &engine.messageWindow, engine.logVoiceChannels);
}

void CAdventure::ToggleAuto() {
    if (engine.autoMode) {
        engine.autoMode = 0;
        return;
    }
    engine.autoMode = 1;
    engine.SetSkipMode(0);
    engine.messageLog.FadeOutVoices(engine.logVoiceChannels);
    engine.messageLog.SetOpen(0, &engine.messageWindow, engine.logVoiceChannels);
}

void CAdventure::OpenBacklog() {
    if (engine.messageLog.Count() <= 0) return;
    subMode = kAdventureBacklog;
    if (backlog.Init(&engine) == 0) {
        engine.windowHiddenByUser = 1;
    } else {
        ShowScreenError(kBacklogScreenFailedText, true);
        subMode = kAdventureScript;
        backlog.ReleaseResources();
    }
    StopAutoAndSkip();
}

void CAdventure::OpenMenu() {
    subMode = kAdventureMenu;
    if (menu.Init() != 0) {
        ShowScreenError(kMenuScreenFailedText, true);
        subMode = kAdventureScript;
        menu.Close();
    }
    StopAutoAndSkip();
}

void CAdventure::QuickSave() {
    char path[kSavePathSize];
    GetSaveFolderPath(kQuickSaveName, path);
    if (WriteSave(path) == 0) {
        quickSaveExists = 1;
    } else {
        ShowScreenError(kQuickSaveFailedText, false);
    }
}

void CAdventure::QuickLoad() {
    if (!quickSaveExists) return;
    char path[kSavePathSize];
    GetSaveFolderPath(kQuickSaveName, path);
    if (LoadSave(path) != 0) {
        ShowScreenError(kQuickLoadFailedText, false);
        subMode = kAdventureLeave;
    }
}

void CAdventure::PressButton(int32_t button) {
    switch (button) {
    case kButtonSkip:
        ToggleSkip();
        break;
    case kButtonAuto:
        ToggleAuto();
        break;
    case kButtonBacklog:
        OpenBacklog();
        break;
    case kButtonVoice:
        if (engine.IsVoicePlaying()) engine.RearmVoices();
        break;
    case kButtonMenu:
        OpenMenu();
        break;
    case kButtonQuickSave:
        QuickSave();
        break;
    case kButtonQuickLoad:
        QuickLoad();
        break;
    case kButtonHide:
        engine.windowHiddenByUser = 1;
        break;
    default:
        break;
    }
}

int32_t CAdventure::HandleMenuResult() {
    switch (menu.Update()) {
    case kMenuSave:
        if (WriteSave(menu.chosenFile) != 0) ShowScreenError(kSaveFailedText, true);
        menu.saveScreen.RefreshPage();
        break;
    case kMenuLoad:
        menu.Close();
        if (LoadSave(menu.chosenFile) == 0) {
            subMode = kAdventureScript;
        } else {
            ShowScreenError(kLoadFailedText, true);
            subMode = kAdventureLeave;
        }
        break;
    case kMenuSettingsChanged: {
        CConfigBlock config = g_Config;
        config.settings.bgmVolume = VolumeWithSwitch(config.bgmOff, config.settings.bgmVolume);
        config.settings.seVolume = VolumeWithSwitch(config.seOff, config.settings.seVolume);
        config.settings.voiceVolume = VolumeWithSwitch(config.voiceOff, config.settings.voiceVolume);
        ApplySoundEffectVolume(config, cursorSound, selectSound);
        engine.ApplySettings(&config.settings);
        SetNameFontFromConfig();
        break;
    }
    case kMenuReturnToTitle:
        menu.Close();
        subMode = kAdventureLeave;
        break;
    case kMenuQuit:
        menu.Close();
        subMode = kAdventureQuit;
        break;
    case kMenuBack:
        menu.Close();
        subMode = kAdventureScript;
        break;
    default:
        break;
    }
    return 1;
}

int32_t CAdventure::AutoSave() {
    char path[kSavePathSize] = {};
    int32_t chosen = -1;
    SSystemTime oldest = {};
    for (int32_t slot = 0; slot < kAutoSaveCount && chosen < 0; ++slot) {
        GetSaveFileName(kFirstAutoSaveSlot + slot, path);
        if (!CanOpenFile(path)) chosen = slot;
    }
    if (chosen < 0) {
        for (int32_t slot = 0; slot < kAutoSaveCount; ++slot) {
            GetSaveFileName(kFirstAutoSaveSlot + slot, path);
            SSystemTime time = {};
            if (ReadSaveDate(path, &time) != 0) {  // a damaged file is the first to replace
                chosen = slot;
                break;
            }
            if (chosen < 0 || CompareSaveTime(time, oldest) < 0) {
                chosen = slot;
                oldest = time;
            }
        }
    }
    GetSaveFileName(kFirstAutoSaveSlot + chosen, path);
    if (WriteSave(path) != 0) {
        ShowScreenError(kAutoSaveFailedText, false);
        return -1;
    }
    return 0;
}
