#include "screens/title.h"

#include <cstdlib>
#include <cstring>

#include "files/loaders.h"
#include "platform/clock.h"
#include "platform/devices_graphics.h"
#include "platform/quad_draw.h"
#include "platform/render_context.h"
#include "screens/screen_messages.h"
#include "sound/sound_player.h"

const char kTitleBackgroundPaths[2][32] = {"System/Title/TitleBG01.bmp", "System/Title/TitleBG02.bmp"};
const char kTitleButtonPath[] = "System/Title/TitleButton.bmp";
const char kTitleMusicPath[] = "System/Title/BGM.ogg";

namespace {

// エクストラメニューの初期化に失敗しました
const char kExtraMenuFailedText[] =
    "\x83\x47\x83\x4E\x83\x58\x83\x67\x83\x89\x83\x81\x83\x6A\x83\x85\x81\x5B\x82\xCC\x8F\x89\x8A\xFA\x89\xBB\x82"
    "\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD";

constexpr int32_t kButtonLeft = 561;
constexpr int32_t kButtonRight = 799;
constexpr int32_t kButtonTop = 244;
constexpr int32_t kButtonPitch = 50;
constexpr int32_t kHoverShift = 20;
// Sheet columns: disabled, normal, hovered (the hovered cell reaches the screen's right edge).
constexpr SRect kCellColumns[3] = {{0, 0, 239, 0}, {239, 0, 478, 0}, {478, 0, 737, 0}};

SRect ButtonRect(int32_t button) {
    const int32_t top = kButtonTop + kButtonPitch * button;
    return SRect{kButtonLeft, top, kButtonRight, top + kButtonPitch - 1};
}

bool SlotExists(int32_t slot) {
    char path[kSavePathSize];
    GetSaveFileName(slot, path);
    return path[0] != 0 && CanOpenFile(path);
}

}  // namespace

CTitleMode::~CTitleMode() { End(); }

int32_t CTitleMode::Init() {
    End();
    config = g_Config;
    std::srand(g_FrameTime);
    const char* backgroundPath = kTitleBackgroundPaths[std::rand() % 2];
    if (LoadSystemTexture(g_pD3DDevice, &head.background, backgroundPath) != 0) return -1;
    if (LoadSystemTexture(g_pD3DDevice, &head.buttonSheet, kTitleButtonPath) != 0) return -1;
    if (LoadScreenSound(&music, kTitleMusicPath) != 0) return -1;
    if (head.LoadSounds() != 0) return -1;
    ApplyVolumes();
    FindSaveFiles();
    extraEnabled = g_PersistentGameFlags[0] != 0 ? 1 : 0;
    state = kTitleOpening;
    hover = -1;
    stateStart = GetTimeMs();
    result = 0;
    chosenSave[0] = 0;
    music->Play(-1, 0);
    return 0;
}

void CTitleMode::FindSaveFiles() {
    loadEnabled = 0;
    continueEnabled = 0;
    for (int32_t slot = 0; slot < kQuickSaveSlot && loadEnabled == 0; ++slot)
        if (SlotExists(slot)) loadEnabled = 1;
    if (SlotExists(kQuickSaveSlot)) {
        loadEnabled = 1;
        continueEnabled = 1;
    }
}

void CTitleMode::ApplyVolumes() {
    if (music != nullptr) music->SetMasterVolume(VolumeWithSwitch(config.bgmOff, config.settings.bgmVolume));
    head.ApplySoundVolume(config);
}

bool CTitleMode::IsButtonEnabled(int32_t button) const {
    switch (button) {
        case kTitleLoad: return loadEnabled != 0;
        case kTitleContinue: return continueEnabled != 0;
        case kTitleExtra: return extraEnabled != 0;
        default: return button >= 0 && button < kTitleButtonCount;
    }
}

int32_t CTitleMode::Update() {
    Draw();
    switch (state) {
        case kTitleOpening:
            if (IsActivation()) {
                EnterState(kTitleMenu);
                StampKeyGuard();
            }
            break;
        case kTitleMenu: UpdateMenu(); break;
        case kTitleLoadOpen: {
            const int32_t loaded = loadScreen.UpdateLoad();
            if (loaded == kSaveLoadChosen) {
                loadScreen.GetSelectedFileName(chosenSave);
                StopMusic();
                return kTitleResultLoad;
            }
            if (loaded == kSaveLoadClose) {
                loadScreen.ReleaseSlots();
                state = kTitleMenu;
            }
            break;
        }
        case kTitleConfigOpen: {
            const int32_t changed = configScreen.Update();
            if (changed == kConfigWritten) {
                config = g_Config;
                ApplyVolumes();
            } else if (changed == kConfigClosed || changed == kConfigReturnToTitle) {
                // A return to the title (the screen's ending when its question cannot be shown)
                // leaves the title on its menu, like a close.
                configScreen.Release();
                state = kTitleMenu;
            } else if (changed == kConfigQuit) {
                StopMusic();
                return kTitleResultQuit;
            }
            break;
        }
        case kTitleExtraOpen: {
            const int32_t chosen = extraMenu.Update();
            if (chosen >= kExtraPictureGallery && chosen <= kExtraMusicGallery) {
                StopMusic();
                return kTitleResultPictureGallery + (chosen - kExtraPictureGallery);
            }
            if (chosen == kExtraBack) {
                extraMenu.Release();
                state = kTitleMenu;
            }
            break;
        }
        case kTitleClosing:
            if (IsActivation()) EnterState(kTitleDone);
            break;
        default: break;
    }
    return state == kTitleDone ? result : 0;
}

void CTitleMode::UpdateMenu() {
    const int32_t before = hover;
    hover = UpdateButtonHover(hover, kTitleButtonCount, ButtonRect,
                              [this](int32_t button) { return IsButtonEnabled(button); });
    if (IsActivation()) {
        const int32_t chosen = hover;
        if (chosen != -1) head.PlaySelect();
        StampKeyGuard();
        hover = -1;
        Activate(chosen);
    } else if (hover != -1 && hover != before) {
        head.PlayCursor();
    }
}

void CTitleMode::Activate(int32_t button) {
    switch (button) {
        case kTitleNewGame: Close(kTitleResultNewGame); break;
        case kTitleLoad:
            if (loadScreen.InitLoad(1, 0) == 0) {
                state = kTitleLoadOpen;
            } else {
                loadScreen.ReleaseSlots();
                ShowScreenError(kLoadScreenFailedText, false);
            }
            break;
        case kTitleContinue:
            GetSaveFileName(kQuickSaveSlot, chosenSave);
            Close(kTitleResultLoad);
            break;
        case kTitleConfig:
            if (configScreen.Init(kConfigFromTitle) == 0) {
                state = kTitleConfigOpen;
            } else {
                configScreen.Release();
                ShowScreenError(kConfigScreenFailedText, false);
            }
            break;
        case kTitleExtra:
            if (extraMenu.Init() == 0) {
                state = kTitleExtraOpen;
            } else {
                extraMenu.Release();
                ShowScreenError(kExtraMenuFailedText, false);
            }
            break;
        case kTitleQuit: Close(kTitleResultQuit); break;
        default: break;
    }
}

void CTitleMode::Close(int32_t closeResult) {
    StopMusic();
    result = closeResult;
    EnterState(kTitleClosing);
}

void CTitleMode::StopMusic() {
    if (music != nullptr) music->Stop(kTitleMusicFadeSpeed);
}

void CTitleMode::Draw() {
    CGraphicsDevice* device = g_pD3DDevice;
    BeginScreenFrame(device);
    DrawBackground(device, head.background, kOpaqueWhite);
    device->SetTexture(0, head.buttonSheet);
    DrawButtons();
    if (state == kTitleLoadOpen) loadScreen.Draw();
    if (state == kTitleConfigOpen) configScreen.Draw();
    if (state == kTitleExtraOpen) extraMenu.Draw();
    DrawFade();
    EndScreenFrame(device);
}

void CTitleMode::DrawButtons() {
    for (int32_t button = 0; button < kTitleButtonCount; ++button) {
        const bool hovered = button == hover && IsButtonEnabled(button);
        const int32_t look = !IsButtonEnabled(button) ? 0 : hovered ? 2 : 1;
        const SRect cell = {kCellColumns[look].left, kButtonPitch * button, kCellColumns[look].right,
                            kButtonPitch * button + kButtonPitch};
        const int32_t x = hovered ? kButtonLeft - kHoverShift : kButtonLeft;
        DrawSprite(g_pD3DDevice, head.buttonSheet, &cell, 0, static_cast<float>(x),
                   static_cast<float>(kButtonTop + kButtonPitch * button), kOpaqueWhite);
    }
}

// The opening fade from black and the closing fade to black, both over kTitleFadeMs.
void CTitleMode::DrawFade() {
    const uint32_t elapsed = g_FrameTime - stateStart;
    if (state == kTitleOpening) {
        if (elapsed >= kTitleFadeMs) {
            EnterState(kTitleMenu);
            return;
        }
        DrawFilledRect(g_pD3DDevice, kFullScreenRect, BlackWithAlpha((kTitleFadeMs - elapsed) * 255 / kTitleFadeMs));
    } else if (state == kTitleClosing) {
        const uint32_t alpha = FadeAlpha(g_FrameTime, stateStart, kTitleFadeMs);
        if (elapsed >= kTitleFadeMs) EnterState(kTitleDone);
        DrawFilledRect(g_pD3DDevice, kFullScreenRect, BlackWithAlpha(alpha));
    }
}

void CTitleMode::End() {
    ReleaseScreenSound(&music);
    head.Release();
    loadScreen.ReleaseSlots();
    configScreen.Release();
    extraMenu.Release();
}

void CTitleMode::EnterState(int32_t next) {
    state = next;
    stateStart = g_FrameTime;
}
