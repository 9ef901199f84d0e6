#include "screens/config_screen.h"

#include <strings.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "platform/devices_graphics.h"
#include "platform/font.h"
#include "platform/quad_draw.h"
#include "platform/graphics.h"
#include "platform/render_context.h"
#include "platform/text_helpers.h"
#include "screens/screen_text.h"

namespace {

constexpr uint32_t kFadeMs = 150;
constexpr SBlockSize kPreviewBlock = {180, 25};
constexpr int32_t kPreviewFontHeight = 20;
constexpr SRect kOpacitySample = {572, 267, 776, 309};

enum : int32_t {
    kIdWindowed = 0,
    kIdFullScreen = 1,
    kIdEffectsOn = 2,
    kIdEffectsOff = 3,
    kIdFirstSpeed = 4,
    kIdFirstAutoWait = 8,
    kIdSkipReadOnly = 18,
    kIdSkipUnread = 19,
    kIdRightClickMenu = 20,
    kIdRightClickHide = 21,
    kIdFirstOpacity = 22,
    kIdShadow = 27,
    kIdOutline = 28,
    kIdPlainText = 29,
    kIdPrevFont = 30,
    kIdNextFont = 31,
    kIdMusicOn = 32,
    kIdFirstMusicVolume = 34,
    kIdEffectSoundOn = 44,
    kIdFirstEffectVolume = 46,
    kIdVoiceOn = 56,
    kIdFirstVoiceVolume = 58,
    kIdClose = 68,
    kIdReturnToTitle = 69,
    kIdQuit = 70,
};

constexpr uint32_t kTextSpeeds[4] = {200, 137, 66, 0};
constexpr uint32_t kOpacities[5] = {0, 64, 128, 192, 255};
constexpr uint32_t kTextFlagChoices[3] = {1, 2, 0};  // ids 27, 28, 29

// The rows of a button's looks on the sheet: normal, hovered and current (-1: none).
struct SRows {
    int32_t top[3];
    int32_t height;
};
constexpr SRows kWideRows = {{0, 30, 60}, 30};
constexpr SRows kSmallRows = {{90, 119, 148}, 29};
constexpr SRows kArrowRows = {{90, 148, -1}, 29};
constexpr SRows kSwitchRows = {{177, 207, 237}, 30};
constexpr SRows kClosingRows = {{267, 300, -1}, 33};

struct SConfigButton {
    SRect hit;  // inclusive; the button is drawn at its top left
    int32_t cellLeft;
    int32_t cellRight;
    SRows rows;
};

std::array<SConfigButton, kConfigButtonCount> MakeButtons() {
    std::array<SConfigButton, kConfigButtonCount> b{};
    const auto pair = [&](int32_t id, SRect first, SRect second, int32_t l0, int32_t r0, int32_t l1, int32_t r1,
                          SRows rows) {
        b[id] = {first, l0, r0, rows};
        b[id + 1] = {second, l1, r1, rows};
    };
    pair(kIdWindowed, {180, 52, 319, 81}, {320, 52, 459, 81}, 0, 140, 140, 280, kWideRows);
    pair(kIdEffectsOn, {180, 82, 319, 111}, {320, 82, 459, 111}, 280, 420, 420, 560, kWideRows);
    for (int32_t k = 0; k < 4; ++k) b[kIdFirstSpeed + k] = {{179 + 40 * k, 143, 217 + 40 * k, 171}, 39 * k, 39 * k + 39, kSmallRows};
    const auto tenSteps = [&](int32_t first, int32_t left, int32_t top) {
        for (int32_t k = 0; k < 10; ++k) {
            b[first + k] = {{left + 30 * k, top, left + 28 + 30 * k, top + 28}, 467 + 29 * k, 496 + 29 * k, kSmallRows};
        }
    };
    tenSteps(kIdFirstAutoWait, 180, 174);
    pair(kIdSkipReadOnly, {180, 204, 319, 233}, {320, 204, 459, 233}, 0, 140, 140, 280, kSwitchRows);
    pair(kIdRightClickMenu, {179, 263, 338, 292}, {340, 263, 499, 292}, 280, 440, 440, 600, kSwitchRows);
    for (int32_t k = 0; k < 5; ++k) {
        b[kIdFirstOpacity + k] = {{179 + 40 * k, 324, 217 + 40 * k, 352}, 156 + 39 * k, 195 + 39 * k, kSmallRows};
    }
    b[kIdShadow] = {{179, 353, 248, 382}, 560, 630, kWideRows};
    b[kIdOutline] = {{250, 353, 319, 382}, 630, 700, kWideRows};
    b[kIdPlainText] = {{321, 353, 390, 382}, 700, 770, kWideRows};
    pair(kIdPrevFont, {710, 353, 738, 381}, {741, 353, 769, 381}, 351, 380, 380, 409, kArrowRows);
    const auto soundRow = [&](int32_t switchId, int32_t volumeId, int32_t top) {
        pair(switchId, {179, top, 207, top + 28}, {209, top, 237, top + 28}, 409, 438, 438, 467, kSmallRows);
        tenSteps(volumeId, 250, top);
    };
    soundRow(kIdMusicOn, kIdFirstMusicVolume, 414);
    soundRow(kIdEffectSoundOn, kIdFirstEffectVolume, 444);
    soundRow(kIdVoiceOn, kIdFirstVoiceVolume, 474);
    b[kIdClose] = {{346, 537, 488, 569}, 286, 429, kClosingRows};
    b[kIdReturnToTitle] = {{496, 537, 638, 569}, 143, 286, kClosingRows};
    b[kIdQuit] = {{646, 537, 788, 569}, 429, 572, kClosingRows};
    return b;
}

const std::array<SConfigButton, kConfigButtonCount> kButtons = MakeButtons();

bool InGroup(int32_t id, int32_t first, int32_t count) { return id >= first && id < first + count; }

int32_t VolumeStep(int32_t volume) { return std::max(0, volume / 500 + 9); }
int32_t VolumeOf(int32_t step) { return -4500 + 500 * step; }

uint32_t TruncScale(float t, uint32_t value) { return static_cast<uint32_t>(t * static_cast<float>(value)); }

}  // namespace

CConfigScreen::~CConfigScreen() {
    Release();
    dialog.head.Release();
}

int32_t CConfigScreen::Init(int32_t screenOpener) {
    working = g_Config;
    opener = screenOpener;
    if (head.Load("System/Menu/ConfigBG.bmp", "System/Menu/ConfigButton.bmp") != 0) return -1;
    head.ApplySoundVolume(working);

    faceCount = 0;
    for (const std::string& face : EnumJapaneseFontFaces()) {
        if (faceCount >= kMaxFontFaces) break;
        if (face.empty() || face[0] == '@') continue;
        const size_t length = std::min<size_t>(face.size(), kFaceNameSize - 1);
        std::memcpy(faceNames[faceCount], face.data(), length);
        faceNames[faceCount][length] = 0;
        ++faceCount;
    }
    currentFace = -1;
    for (int32_t i = 0; i < faceCount; ++i) {
        if (strncasecmp(faceNames[i], working.settings.font.face, kFaceNameSize) == 0) {
            currentFace = i;
            break;
        }
    }
    hover = -1;
    BuildFontPreview();
    state = 0;
    startTime = g_FrameTime;
    result = 0;
    return 0;
}

void CConfigScreen::Release() {
    dialog.head.Release();
    head.Release();
    ReleaseTexture(&preview);
}

int32_t CConfigScreen::BuildFontPreview() {
    char face[kFaceNameSize];
    std::memcpy(face, working.settings.font.face, kFaceNameSize);
    face[kFaceNameSize - 1] = 0;
    std::vector<uint32_t> codes;
    AppendSjisCodes(face, sizeof face, &codes);
    ReleaseTexture(&preview);
    CFont* font = CreateFontSjis(kPreviewFontHeight, kFontWeightNormal, 0, face);
    if (font == nullptr) return -1;
    const uint32_t outline = (working.settings.textFlags & 2) != 0 ? 1 : 0;
    const int32_t rendered = RenderInOneFont(&preview, kPreviewBlock, font, codes, kOpaqueWhite, outline, 0, 0);
    DeleteFont(font);
    return rendered;
}

void CConfigScreen::PrevFont() { StepFont(-1); }
void CConfigScreen::NextFont() { StepFont(+1); }

void CConfigScreen::StepFont(int32_t direction) {
    if (faceCount <= 0) return;
    char savedFace[kFaceNameSize];
    std::memcpy(savedFace, working.settings.font.face, kFaceNameSize);
    int32_t candidate = currentFace;
    for (int32_t attempt = 0; attempt < faceCount; ++attempt) {
        if (direction < 0) {
            candidate = candidate <= 0 ? faceCount - 1 : candidate - 1;
        } else {
            candidate = candidate + 1 >= faceCount ? 0 : candidate + 1;
        }
        std::memset(working.settings.font.face, 0, kFaceNameSize);
        std::memcpy(working.settings.font.face, faceNames[candidate], kFaceNameSize);
        if (BuildFontPreview() == 0) {
            currentFace = candidate;
            return;
        }
    }
    std::memcpy(working.settings.font.face, savedFace, kFaceNameSize);
    BuildFontPreview();
}

bool CConfigScreen::IsOffered(int32_t id) const { return id != kIdClose || opener == kConfigFromMenu; }

int32_t CConfigScreen::HitTest() const {
    const SPoint mouse = MousePosition();
    int32_t hit = -1;
    for (int32_t id = 0; id < kConfigButtonCount; ++id) {
        if (IsOffered(id) && IsPointInRect(kButtons[id].hit, mouse)) hit = id;
    }
    return hit;
}

bool CConfigScreen::IsCurrent(int32_t id) const {
    const CEngineSettings& s = working.settings;
    if (id == kIdWindowed || id == kIdFullScreen) return (g_bWindowed != 0) == (id == kIdWindowed);
    if (id == kIdEffectsOn || id == kIdEffectsOff) return s.effectsOn == (id == kIdEffectsOn ? 1u : 0u);
    if (InGroup(id, kIdFirstSpeed, 4)) return s.textSpeed == kTextSpeeds[id - kIdFirstSpeed];
    if (InGroup(id, kIdFirstAutoWait, 10)) {
        return std::max<int64_t>(0, static_cast<int32_t>(s.autoWait) / 50) == id - kIdFirstAutoWait;
    }
    if (id == kIdSkipReadOnly || id == kIdSkipUnread) return s.skipUnread == static_cast<uint32_t>(id - kIdSkipReadOnly);
    if (id == kIdRightClickMenu || id == kIdRightClickHide) {
        return working.rightClick == static_cast<uint32_t>(id - kIdRightClickMenu);
    }
    if (InGroup(id, kIdFirstOpacity, 5)) return static_cast<int32_t>(((s.windowColour >> 24) + 1) >> 6) == id - kIdFirstOpacity;
    if (InGroup(id, kIdShadow, 3)) return s.textFlags == kTextFlagChoices[id - kIdShadow];
    if (id == kIdMusicOn || id == kIdMusicOn + 1) return working.bgmOff == static_cast<uint32_t>(id - kIdMusicOn);
    if (id == kIdEffectSoundOn || id == kIdEffectSoundOn + 1) return working.seOff == static_cast<uint32_t>(id - kIdEffectSoundOn);
    if (id == kIdVoiceOn || id == kIdVoiceOn + 1) return working.voiceOff == static_cast<uint32_t>(id - kIdVoiceOn);
    if (InGroup(id, kIdFirstMusicVolume, 10)) return VolumeStep(s.bgmVolume) == id - kIdFirstMusicVolume;
    if (InGroup(id, kIdFirstEffectVolume, 10)) return VolumeStep(s.seVolume) == id - kIdFirstEffectVolume;
    if (InGroup(id, kIdFirstVoiceVolume, 10)) return VolumeStep(s.voiceVolume) == id - kIdFirstVoiceVolume;
    return false;
}

void CConfigScreen::AskQuestion(int32_t questionKind, int32_t nextState) {
    hover = kConfigHoverClosed;
    if (dialog.Init(questionKind) != 0) {
        dialog.head.Release();
        result = kConfigReturnToTitle;
        state = 4;
    } else {
        state = nextState;
    }
    startTime = g_FrameTime;
}

void CConfigScreen::Activate(int32_t id) {
    CEngineSettings& s = working.settings;
    if (id == kIdWindowed || id == kIdFullScreen) {
        SetDisplayMode(id == kIdWindowed ? 1 : 0);
    } else if (id == kIdEffectsOn || id == kIdEffectsOff) {
        s.effectsOn = id == kIdEffectsOn ? 1 : 0;
    } else if (InGroup(id, kIdFirstSpeed, 4)) {
        s.textSpeed = kTextSpeeds[id - kIdFirstSpeed];
    } else if (InGroup(id, kIdFirstAutoWait, 10)) {
        s.autoWait = 50 * static_cast<uint32_t>(id - kIdFirstAutoWait);
    } else if (id == kIdSkipReadOnly || id == kIdSkipUnread) {
        s.skipUnread = static_cast<uint32_t>(id - kIdSkipReadOnly);
    } else if (id == kIdRightClickMenu || id == kIdRightClickHide) {
        working.rightClick = static_cast<uint32_t>(id - kIdRightClickMenu);
    } else if (InGroup(id, kIdFirstOpacity, 5)) {
        s.windowColour = (s.windowColour & 0x00FFFFFFu) | kOpacities[id - kIdFirstOpacity] << 24;
    } else if (InGroup(id, kIdShadow, 3)) {
        const uint32_t before = s.textFlags;
        s.textFlags = kTextFlagChoices[id - kIdShadow];
        if (((before ^ s.textFlags) & 2) != 0) BuildFontPreview();
    } else if (id == kIdPrevFont) {
        PrevFont();
    } else if (id == kIdNextFont) {
        NextFont();
    } else if (id == kIdMusicOn || id == kIdMusicOn + 1) {
        working.bgmOff = static_cast<uint32_t>(id - kIdMusicOn);
    } else if (InGroup(id, kIdFirstMusicVolume, 10)) {
        s.bgmVolume = VolumeOf(id - kIdFirstMusicVolume);
    } else if (id == kIdEffectSoundOn || id == kIdEffectSoundOn + 1) {
        working.seOff = static_cast<uint32_t>(id - kIdEffectSoundOn);
    } else if (InGroup(id, kIdFirstEffectVolume, 10)) {
        s.seVolume = VolumeOf(id - kIdFirstEffectVolume);
    } else if (id == kIdVoiceOn || id == kIdVoiceOn + 1) {
        working.voiceOff = static_cast<uint32_t>(id - kIdVoiceOn);
    } else if (InGroup(id, kIdFirstVoiceVolume, 10)) {
        s.voiceVolume = VolumeOf(id - kIdFirstVoiceVolume);
    } else if (id == kIdClose || (id == kIdReturnToTitle && opener == kConfigFromTitle)) {
        // The fade-out keeps the idle state's start time, unlike the right click: a screen idle
        // for longer than the fade closes on its next frame.
        hover = kConfigHoverClosed;
        result = kConfigClosed;
        state = 4;
    } else if (id == kIdReturnToTitle) {
        AskQuestion(kQuestionReturnToTitle, 2);
    } else if (id == kIdQuit) {
        AskQuestion(kQuestionQuit, 3);
    }
}

int32_t CConfigScreen::Update() {
    const uint32_t now = g_FrameTime;
    switch (state) {
    case 0:
        if (IsActivation()) {
            state = 1;
            startTime = now;
        }
        return 0;
    case 2:
    case 3: {
        const int32_t answer = dialog.Update();
        if (answer == kAnswerYes) {
            dialog.head.Release();
            result = state == 2 ? kConfigReturnToTitle : kConfigQuit;
            state = 5;
            startTime = now;
        } else if (answer == kAnswerNo) {
            dialog.head.Release();
            state = 1;
        }
        return 0;
    }
    case 4:
        return IsActivation() ? result : 0;
    case 5:
        return 0;
    case 6:
        return result;
    default:
        break;
    }

    const int32_t before = hover;
    if (IsHoverTick()) hover = HitTest();
    if (IsPreviousKey()) {
        hover = hover - 1 < 0 ? kConfigButtonCount - 1 : hover - 1;
        if (!IsOffered(hover)) hover = kIdClose - 1;
        StampKeyGuard();
    } else if (IsNextKey()) {
        hover = hover + 1 >= kConfigButtonCount ? 0 : hover + 1;
        if (!IsOffered(hover)) hover = kIdClose + 1;
        StampKeyGuard();
    }
    if (!IsActivation()) {
        if (hover >= 0 && hover != before) head.PlayCursor();
        if (IsCancelClick()) {
            hover = -1;
            state = 4;
            startTime = now;
            result = kConfigClosed;
        }
        return 0;
    }
    StampKeyGuard();
    const int32_t id = hover;
    if (id >= 0) Activate(id);
    g_Config = working;
    head.ApplySoundVolume(working);
    if (hover != -1) head.PlaySelect();
    return kConfigWritten;
}

void CConfigScreen::Draw() {
    const uint32_t now = g_FrameTime;
    const float elapsed = static_cast<float>(static_cast<int32_t>(now - startTime));
    float t = 1.0f;
    if (state == 0) {
        t = std::clamp(elapsed / kFadeMs, 0.0f, 1.0f);
        if (t >= 1.0f) {
            state = 1;
            startTime = now;
        }
    } else if (state == 4) {
        t = 1.0f - std::clamp(elapsed / kFadeMs, 0.0f, 1.0f);
        if (t <= 0.0f) {
            state = 6;
            startTime = now;
        }
    }
    const uint32_t colour = WhiteWithAlpha(TruncScale(t, 255));
    CGraphicsDevice* device = g_pD3DDevice;
    DrawBackground(device, head.background, colour);
    for (int32_t id = 0; id < kConfigButtonCount; ++id) {
        if (!IsOffered(id)) continue;
        const SConfigButton& button = kButtons[id];
        int32_t look = 0;
        if (button.rows.top[2] >= 0 && IsCurrent(id)) {
            look = 2;
        } else if (hover == id) {
            look = 1;
        }
        const SRect cell = {button.cellLeft, button.rows.top[look], button.cellRight,
                            button.rows.top[look] + button.rows.height};
        DrawSheetSprite(device, head.buttonSheet, cell, button.hit.left, button.hit.top, colour);
    }
    const uint32_t windowAlpha = working.settings.windowColour >> 24;
    DrawSheetSprite(device, head.buttonSheet, kOpacitySample, 422, 332, WhiteWithAlpha(TruncScale(t, windowAlpha)));

    if (preview != nullptr) {
        const SRect source = {0, 0, kPreviewBlock.width, kPreviewBlock.height};
        if ((working.settings.textFlags & 1) != 0) {
            DrawTextShadow(device, preview, source, 435.0f, 340.0f, TruncScale(t, 160) << 24 | 0x606060u);
        }
        const uint32_t textAlpha = working.settings.font.colour >> 24;
        DrawSprite(device, preview, &source, 1, 433.0f, 338.0f,
                   TruncScale(t, textAlpha) << 24 | (working.settings.font.colour & 0xFFFFFFu));
    }

    if (state == 2 || state == 3) {
        dialog.Draw();
    } else if (state == 5) {
        const uint32_t black = FadeAlpha(now, startTime, kFadeMs);
        DrawFilledRect(device, kFullScreenRect, BlackWithAlpha(black));
        if (black == 255) {
            state = 6;
            startTime = now;
        }
    }
}
