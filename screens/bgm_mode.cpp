#include "screens/bgm_mode.h"

#include <algorithm>
#include <cstdio>

#include "app/system_data.h"
#include "files/loaders.h"
#include "platform/clock.h"
#include "platform/devices_graphics.h"
#include "platform/quad_draw.h"
#include "platform/render_context.h"
#include "platform/text_helpers.h"
#include "screens/extra_menu.h"
#include "sound/sound_loaders.h"

const char kBgmBackgroundPath[] = "System/Extra/BGMModeBG.bmp";
const char kBgmButtonPath[] = "System/Extra/BGMModeButton.bmp";
const char kBgmTrackFormat[] = "BGM/BGM%02d.ogg";

namespace {

const char kBgmArchiveName[] = "BGM.pac";
constexpr int32_t kMutedVolume = -10000;

// Hit rectangles (edges included); each button is drawn at its rectangle's corner.
constexpr SRect kMusicOnRect = {191, 483, 219, 511};
constexpr SRect kMusicOffRect = {221, 483, 249, 511};
constexpr SRect kStopRect = {583, 478, 722, 512};
constexpr SRect kBackRect = {642, 548, 784, 580};

// Sheet: a 340 × 35 track row per track in the columns normal, hovered, current; 29 × 29 switch
// cells in the rows normal, hovered, active; the stop button disabled, normal, hovered; back.
constexpr int32_t kTrackCellWidth = 340;
constexpr int32_t kTrackCellHeight = 35;
constexpr int32_t kSwitchCell = 29;
constexpr int32_t kSwitchRowTop = 245;
constexpr int32_t kMusicOnCellLeft = 283;
constexpr int32_t kMusicOffCellLeft = 312;
constexpr int32_t kVolumeCellLeft = 341;
constexpr SRect kStopCells[3] = {{0, 245, 140, 280}, {0, 280, 140, 315}, {0, 315, 140, 350}};
constexpr SRect kBackCells[2] = {{140, 245, 283, 278}, {140, 278, 283, 311}};

enum ELook : int32_t { kLookNormal = 0, kLookHovered = 1, kLookActive = 2 };

SRect ButtonRect(int32_t button) {
    if (button < kBgmTrackCount) return SRect{75, 112 + 42 * button, 414, 146 + 42 * button};
    if (button == kBgmMusicOn) return kMusicOnRect;
    if (button == kBgmMusicOff) return kMusicOffRect;
    if (button < kBgmStop) {
        const int32_t step = button - kBgmFirstVolume;
        return SRect{260 + 30 * step, 483, 288 + 30 * step, 511};
    }
    return button == kBgmStop ? kStopRect : kBackRect;
}

SRect SwitchCell(int32_t left, ELook look) {
    const int32_t top = kSwitchRowTop + kSwitchCell * look;
    return SRect{left, top, left + kSwitchCell, top + kSwitchCell};
}

void DrawAt(CTexture* sheet, const SRect& cell, const SRect& place) {
    DrawSprite(g_pD3DDevice, sheet, &cell, 0, static_cast<float>(place.left), static_cast<float>(place.top),
               kOpaqueWhite);
}

}  // namespace

int32_t CBgmMode::Init() {
    End();
    const CConfigBlock config = g_Config;
    archive = NewOpenedArchive(kBgmArchiveName);
    if (head.Load(kBgmBackgroundPath, kBgmButtonPath) != 0) return -1;
    head.ApplySoundVolume(config);
    state = kBgmFadeIn;
    stateStart = GetTimeMs();
    currentTrack = -1;
    requestedTrack = -1;
    hover = -1;
    musicOff = config.bgmOff != 0 ? 1 : 0;
    volume = config.settings.bgmVolume;
    return 0;
}

int32_t CBgmMode::Frame() {
    Draw();
    StartRequestedTrack();
    Update();
    return state == kBgmDone ? 1 : 0;
}

void CBgmMode::End() {
    head.Release();
    player.Stop(-1.0f);
    player.Close();
    DeleteArchive(&archive);
}

int32_t CBgmMode::OpenTrack(const char* path) {
    player.Close();
    if (OpenSoundFrom(&player, g_pDirectSound, path, archive) == 0) return 0;
    ShowDataFileOpenError(path);
    return -1;
}

int32_t CBgmMode::PlayerVolume() const { return musicOff != 0 ? kMutedVolume : volume; }

// The keys pass over the stop button while nothing plays; the pointer can still reach it.
bool CBgmMode::IsEnabled(int32_t button) {
    return button != kBgmStop || player.GetState() == kSoundPlaying;
}

// A new track starts only once the old one has faded out and the player has stopped.
void CBgmMode::StartRequestedTrack() {
    if (player.GetState() == kSoundPlaying) return;
    if (requestedTrack < 0) {
        currentTrack = -1;
        return;
    }
    char path[32];
    std::snprintf(path, sizeof path, kBgmTrackFormat, requestedTrack + 1);
    if (OpenTrack(path) != 0) {
        currentTrack = -1;
        requestedTrack = -1;
        return;
    }
    player.SetMasterVolume(PlayerVolume());
    player.Seek(0);
    player.Play(-1, 0);
    currentTrack = requestedTrack;
    requestedTrack = -1;
}

void CBgmMode::Update() {
    if (state == kBgmFadeIn || state == kBgmFadeOut) {
        if (IsActivation()) {
            EnterState(state == kBgmFadeIn ? kBgmIdle : kBgmDone);
            StampKeyGuard();
        }
        return;
    }
    if (state != kBgmIdle) return;
    const int32_t before = hover;
    hover = UpdateButtonHover(hover, kBgmButtonCount, ButtonRect, [](int32_t) { return true; },
                              [this](int32_t button) { return IsEnabled(button); });
    if (head.TakeActivation(hover, before)) Activate(hover);
    if (IsCancelClick()) Close();
}

void CBgmMode::Activate(int32_t button) {
    if (button >= 0 && button < kBgmTrackCount) {
        if (button == currentTrack) {
            player.Play(-1, 0);  // also ends a fade-out that was under way
            requestedTrack = -1;
        } else {
            player.Stop(kGalleryMusicFadeSpeed);
            requestedTrack = button;
        }
    } else if (button == kBgmMusicOn || button == kBgmMusicOff) {
        musicOff = button == kBgmMusicOff ? 1 : 0;
        player.SetMasterVolume(PlayerVolume());
    } else if (button >= kBgmFirstVolume && button < kBgmStop) {
        volume = BgmStepVolume(button - kBgmFirstVolume);
        if (musicOff == 0) player.SetMasterVolume(volume);
    } else if (button == kBgmStop) {
        player.Stop(kGalleryMusicFadeSpeed);
        requestedTrack = -1;
    } else if (button == kBgmBack) {
        Close();
    }
}

// Leaving starts no requested track: the track would only sound for the last moments of the fade.
void CBgmMode::Close() {
    player.Stop(kGalleryMusicFadeSpeed);
    requestedTrack = -1;
    EnterState(kBgmFadeOut);
}

void CBgmMode::Draw() {
    CGraphicsDevice* device = g_pD3DDevice;
    BeginScreenFrame(device);
    DrawBackground(device, head.background, kOpaqueWhite);
    device->SetTexture(0, head.buttonSheet);
    for (int32_t track = 0; track < kBgmTrackCount; ++track) {
        const int32_t column = track == currentTrack ? 2 : track == hover ? 1 : 0;
        const SRect cell = {kTrackCellWidth * column, kTrackCellHeight * track, kTrackCellWidth * (column + 1),
                            kTrackCellHeight * (track + 1)};
        DrawAt(head.buttonSheet, cell, ButtonRect(track));
    }
    DrawSwitches();
    const int32_t stopLook = currentTrack < 0 ? 0 : hover == kBgmStop ? 2 : 1;
    DrawAt(head.buttonSheet, kStopCells[stopLook], kStopRect);
    DrawAt(head.buttonSheet, kBackCells[hover == kBgmBack ? 1 : 0], kBackRect);

    const uint32_t alpha = FadeAlpha(g_FrameTime, stateStart, kGalleryFadeMs);
    if (state == kBgmFadeIn) {
        DrawFilledRect(device, kFullScreenRect, BlackWithAlpha(255 - alpha));
        if (alpha == 255) EnterState(kBgmIdle);
    } else if (state == kBgmFadeOut) {
        DrawFilledRect(device, kFullScreenRect, BlackWithAlpha(alpha));
        if (alpha == 255) EnterState(kBgmDone);
    }
    EndScreenFrame(device);
}

void CBgmMode::DrawSwitches() {
    const auto look = [this](int32_t button, bool active) {
        return active ? kLookActive : button == hover ? kLookHovered : kLookNormal;
    };
    DrawAt(head.buttonSheet, SwitchCell(kMusicOnCellLeft, look(kBgmMusicOn, musicOff == 0)), kMusicOnRect);
    DrawAt(head.buttonSheet, SwitchCell(kMusicOffCellLeft, look(kBgmMusicOff, musicOff != 0)), kMusicOffRect);
    const int32_t activeStep = std::max(0, volume / 500 + 9);
    for (int32_t step = 0; step < kBgmVolumeSteps; ++step) {
        const int32_t button = kBgmFirstVolume + step;
        DrawAt(head.buttonSheet, SwitchCell(kVolumeCellLeft + kSwitchCell * step, look(button, step == activeStep)),
               ButtonRect(button));
    }
}

void CBgmMode::EnterState(int32_t next) {
    state = next;
    stateStart = g_FrameTime;
}
