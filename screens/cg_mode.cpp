#include "screens/cg_mode.h"

#include <algorithm>
#include <cstdio>

#include "app/system_data.h"
#include "files/loaders.h"
#include "files/table_lines.h"
#include "platform/clock.h"
#include "platform/devices_graphics.h"
#include "platform/quad_draw.h"
#include "platform/render_context.h"
#include "platform/text_helpers.h"
#include "platform/tokenizer.h"
#include "screens/extra_menu.h"
#include "sound/sound_player.h"

const char kCgTablePath[] = "System/Extra/CGTable.txt";
const char kCgBackgroundPath[] = "System/Extra/CGModeBG.bmp";
const char kCgButtonPath[] = "System/Extra/CGModeButton.bmp";
const char kCgMusicPath[] = "System/Extra/BGM.ogg";

namespace {

const char kImageArchiveName[] = "Image.pac";
const char kTableDelimiters[] = " \t\r\n";

constexpr int32_t kGridColumns = 5;
constexpr int32_t kGridLeft = 80;
constexpr int32_t kGridTop = 75;
constexpr int32_t kGridPitchX = 132;
constexpr int32_t kGridPitchY = 102;
constexpr int32_t kThumbWidth = 120;
constexpr int32_t kThumbHeight = 90;
// Sheet rows of the thumbnails: hovered from y 90, normal from y 450.
constexpr int32_t kHoveredRowTop = 90;
constexpr int32_t kNormalRowTop = 450;
constexpr SRect kLockedCell = {0, 0, 120, 90};

struct SButton {
    SRect hit;
    SRect normal;
    SRect hovered;
};
// Button 20 (to the movie gallery) and 21 (back); each drawn at its hit rectangle's corner.
constexpr SButton kButtons[2] = {
    {{501, 548, 648, 580}, {263, 0, 406, 33}, {263, 33, 406, 66}},
    {{642, 548, 784, 580}, {120, 0, 263, 33}, {120, 33, 263, 66}},
};

SPoint GridCorner(int32_t entry) {
    return SPoint{kGridLeft + kGridPitchX * (entry % kGridColumns), kGridTop + kGridPitchY * (entry / kGridColumns)};
}

SRect HitRect(int32_t position) {
    if (position >= kCgEntryCount) return kButtons[position - kCgEntryCount].hit;
    const SPoint corner = GridCorner(position);
    return SRect{corner.x, corner.y, corner.x + kThumbWidth - 1, corner.y + kThumbHeight - 1};
}

SRect ThumbnailCell(int32_t entry, int32_t rowTop) {
    const int32_t left = kThumbWidth * (entry % kGridColumns);
    const int32_t top = rowTop + kThumbHeight * (entry / kGridColumns);
    return SRect{left, top, left + kThumbWidth, top + kThumbHeight};
}

void DrawCell(CTexture* sheet, const SRect& cell, SPoint at) {
    DrawSprite(g_pD3DDevice, sheet, &cell, 0, static_cast<float>(at.x), static_cast<float>(at.y), kOpaqueWhite);
}

}  // namespace

void CCgTable::Clear() {
    for (CCgEntry& entry : entries) entry.count = 0;
    entryCount = 0;
}

bool CCgTable::AddLine(const char* line, const uint8_t* unlocked) {
    CTokenizer tokens;
    tokens.Init(line, kTableDelimiters);
    if (tokens.IsAtEnd() != 0) return true;
    const int32_t flag = tokens.NextInt();
    if (flag < 0) return false;
    const int32_t number = tokens.NextInt();
    char path[kCgPathSize];
    tokens.NextQuoted(path, sizeof path);
    // A line outside the limits, or without its path, is skipped whole.
    if (flag >= static_cast<int32_t>(kSystemCgFlagCount) || number < 0 || number >= kCgEntryCount || path[0] == 0)
        return true;
    entryCount = std::max(entryCount, number + 1);
    CCgEntry& entry = entries[number];
    if (unlocked[flag] != 0 && entry.count < kCgPicturesPerEntry) {
        std::snprintf(entry.names[entry.count], kCgPathSize, "%s", path);
        ++entry.count;
    }
    return true;
}

int32_t CCgMode::Init() {
    End();
    const CConfigBlock config = g_Config;
    archive = NewOpenedArchive(kImageArchiveName);
    if (LoadTable() != 0) return -1;
    if (LoadSystemTexture(g_pD3DDevice, &head.background, kCgBackgroundPath) != 0) return -1;
    if (LoadSystemTexture(g_pD3DDevice, &head.buttonSheet, kCgButtonPath) != 0) return -1;
    if (LoadScreenSound(&music, kCgMusicPath) != 0) return -1;
    if (head.LoadSounds() != 0) return -1;
    music->SetMasterVolume(VolumeWithSwitch(config.bgmOff, config.settings.bgmVolume));
    head.ApplySoundVolume(config);
    viewedEntry = 0;
    viewedPicture = 0;
    hover = -1;
    state = kCgFadeIn;
    stateStart = GetTimeMs();
    music->Play(0, 0);
    return 0;
}

int32_t CCgMode::LoadTable() {
    table.Clear();
    const int32_t read = ReadTableLines(kCgTablePath, g_pSystemArchive,
                                        [this](const char* line) { return table.AddLine(line, g_SystemCgFlags); });
    if (read == 0) return 0;
    ShowSystemFileOpenError(kCgTablePath);
    return -1;
}

int32_t CCgMode::LoadPicture(const char* path) {
    ReleaseTexture(&picture);
    if (LoadTextureFrom(g_pD3DDevice, &picture, path, archive) == 0) return 0;
    ShowDataFileOpenError(path);
    return -1;
}

bool CCgMode::HasPictures(int32_t entry) const {
    return entry >= 0 && entry < kCgEntryCount && table.entries[entry].count > 0;
}

bool CCgMode::IsHoverable(int32_t position) const {
    return HasPictures(position) || position == kCgMovieButton || position == kCgBackButton;
}

int32_t CCgMode::Frame() {
    const uint32_t alpha = FadeAlpha(g_FrameTime, stateStart, kGalleryFadeMs);
    switch (state) {
        case kCgFadeIn:
            DrawList(255 - alpha);
            if (alpha == 255) EnterState(kCgList);
            SkipFadeIn();
            break;
        case kCgList:
            DrawList(0);
            UpdateList();
            break;
        case kCgView:
            DrawView();
            UpdateView();
            break;
        case kCgFadeOut:
            DrawList(alpha);
            // The hover of the moment the list closed picks where to go.
            if (alpha == 255 || IsActivation()) return hover == kCgMovieButton ? kCgToMovieGallery : kCgToTitle;
            break;
        default: break;
    }
    return kCgRunning;
}

// A click or Enter during the fade-in shows the list at once; the key that did it is not taken
// again by the list.
void CCgMode::SkipFadeIn() {
    if (!IsActivation()) return;
    EnterState(kCgList);
    StampKeyGuard();
}

void CCgMode::UpdateList() {
    const int32_t before = hover;
    hover = UpdateButtonHover(hover, kCgHoverCount, HitRect,
                              [this](int32_t position) { return IsHoverable(position); });
    if (head.TakeActivation(hover, before)) Activate(hover);
    // A right release in the tick that opened a picture belongs to nothing.
    if (state == kCgList && IsCancelClick()) Close();
}

void CCgMode::Activate(int32_t position) {
    if (HasPictures(position)) {
        viewedEntry = position;
        viewedPicture = 0;
        if (LoadPicture(table.entries[position].names[0]) == 0) EnterState(kCgView);
    } else if (position == kCgMovieButton || position == kCgBackButton) {
        Close();
    }
}

void CCgMode::Close() {
    EnterState(kCgFadeOut);
    if (music != nullptr) music->Stop(kGalleryMusicFadeSpeed);
}

void CCgMode::UpdateView() {
    if (!IsActivation()) return;
    StampKeyGuard();
    ++viewedPicture;
    const CCgEntry& entry = table.entries[viewedEntry];
    if (viewedPicture < entry.count && LoadPicture(entry.names[viewedPicture]) == 0) return;
    EnterState(kCgList);
}

void CCgMode::DrawList(uint32_t overlayAlpha) {
    CGraphicsDevice* device = g_pD3DDevice;
    BeginScreenFrame(device);
    DrawBackground(device, head.background, kOpaqueWhite);
    device->SetTexture(0, head.buttonSheet);
    for (int32_t entry = 0; entry < table.entryCount; ++entry) {
        const SRect cell = !HasPictures(entry) ? kLockedCell
                           : entry == hover    ? ThumbnailCell(entry, kHoveredRowTop)
                                               : ThumbnailCell(entry, kNormalRowTop);
        DrawCell(head.buttonSheet, cell, GridCorner(entry));
    }
    for (int32_t button = 0; button < 2; ++button) {
        const SButton& look = kButtons[button];
        const bool hovered = hover == kCgEntryCount + button;
        DrawCell(head.buttonSheet, hovered ? look.hovered : look.normal, SPoint{look.hit.left, look.hit.top});
    }
    if (overlayAlpha != 0) DrawFilledRect(device, kFullScreenRect, BlackWithAlpha(overlayAlpha));
    EndScreenFrame(device);
}

void CCgMode::DrawView() {
    CGraphicsDevice* device = g_pD3DDevice;
    BeginScreenFrame(device);
    DrawSprite(device, picture, &kFullScreenRect, 1, 0.0f, 0.0f, kOpaqueWhite);
    EndScreenFrame(device);
}

void CCgMode::End() {
    DeleteArchive(&archive);
    ReleaseTexture(&picture);
    ReleaseScreenSound(&music);
    head.Release();
}

void CCgMode::EnterState(int32_t next) {
    state = next;
    stateStart = g_FrameTime;
}
