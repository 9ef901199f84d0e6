#include "screens/backlog.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "app/system_data.h"
#include "engine/vant_engine.h"
#include "files/loaders.h"
#include "platform/devices_graphics.h"
#include "platform/font.h"
#include "platform/graphics.h"
#include "platform/input_state.h"
#include "platform/quad_draw.h"
#include "platform/render_context.h"
#include "platform/text_helpers.h"
#include "screens/screen_resources.h"
#include "screens/screen_text.h"
#include "text/message_log.h"

namespace {

constexpr uint32_t kFadeMs = 500;
constexpr SBlockSize kLineBlock = {570, 90};
constexpr int32_t kLineFontHeight = 20;
constexpr int32_t kLineSpacing = 100;

enum : int32_t { kPageBack, kLineBack, kLineForward, kPageForward, kClose, kButtonCount, kFirstIcon = kButtonCount };
constexpr int32_t kHoverCount = kButtonCount + kBacklogLines;

struct SBacklogButton {
    SRect normal;
    SRect hovered;
    int32_t x, y;
    SRect hit;  // inclusive
};
constexpr SBacklogButton kButtons[kButtonCount] = {
    {{0, 600, 72, 672}, {0, 672, 72, 744}, 699, 54, {699, 54, 770, 124}},
    {{72, 600, 144, 672}, {72, 672, 144, 744}, 699, 124, {699, 125, 770, 195}},
    {{144, 600, 216, 672}, {144, 672, 216, 744}, 699, 254, {699, 254, 770, 324}},
    {{216, 600, 288, 672}, {216, 672, 288, 744}, 699, 324, {699, 325, 770, 395}},
    {{288, 600, 460, 637}, {288, 637, 460, 674}, 624, 549, {624, 549, 795, 585}},
};
constexpr SRect kIconLit = {336, 674, 384, 722};
constexpr SRect kIconNormal = {288, 674, 336, 722};

SRect IconHit(int32_t line) { return SRect{53, 49 + kLineSpacing * line, 100, 96 + kLineSpacing * line}; }

}  // namespace

int32_t CBacklog::Init(CVantEngine* owner) {
    const CConfigBlock config = g_Config;
    engine = owner;
    hover = -1;
    if (LoadSystemTexture(g_pD3DDevice, &picture, "System/Adventure/Backlog.bmp") != 0 ||
        LoadScreenSound(&cursorSound, kCursorSoundPath) != 0 || LoadScreenSound(&selectSound, kSelectSoundPath) != 0) {
        return -1;
    }
    ApplySoundEffectVolume(config, cursorSound, selectSound);

    scroll = 0;
    for (CBacklogLine& line : lines) {
        ReleaseTexture(&line.texture);
        line = CBacklogLine{};
    }
    std::memcpy(face, config.settings.font.face, sizeof face);
    face[sizeof face - 1] = 0;
    height = config.settings.font.height;
    bold = config.settings.font.bold;
    italic = config.settings.font.italic;
    colour = config.settings.font.colour;
    replayedEntry = -1;

    const int32_t voiceVolume = VolumeWithSwitch(config.voiceOff, config.settings.voiceVolume);
    for (CSoundChannel& channel : voiceChannels) {
        channel.masterVolume = voiceVolume;
        if (channel.player != nullptr) channel.player->SetMasterVolume(voiceVolume);
    }
    RenderLine();
    state = 0;
    stateTime = g_FrameTime;
    return 0;
}

void CBacklog::ReleaseResources() {
    for (CBacklogLine& line : lines) {
        ReleaseTexture(&line.texture);
        line.used = 0;
    }
    for (CSoundChannel& channel : voiceChannels) channel.Release();
    ReleaseTexture(&picture);
    ReleaseScreenSound(&cursorSound);
    ReleaseScreenSound(&selectSound);
}

int32_t CBacklog::LogCount() const { return engine != nullptr ? engine->messageLog.Count() : 0; }

void CBacklog::RenderLine() {
    const int32_t count = LogCount();
    const int32_t first = std::min(scroll + kBacklogLines - 1, count - 1);
    CFont* font = CreateFontSjis(kLineFontHeight, bold ? kFontWeightBold : kFontWeightNormal, italic, face);
    const uint32_t outline = (g_Config.settings.textFlags & 2) != 0 ? 1 : 0;
    auto entry = std::make_unique<CMessageLogEntry>();
    for (int32_t slot = 0; slot < kBacklogLines; ++slot) {
        CBacklogLine& line = lines[slot];
        ReleaseTexture(&line.texture);
        line.used = 0;
        line.hasVoice = 0;
        const int32_t index = first - slot;
        if (index < scroll || index < 0 || engine->messageLog.GetEntry(index, entry.get()) != 0) continue;
        std::vector<uint32_t> codes;
        if (entry->name[0] != 0) {
            AppendSjisCodes(entry->name, sizeof entry->name, &codes);
            codes.push_back(10);
        }
        AppendSjisCodes(entry->text, sizeof entry->text, &codes);
        if (font != nullptr) RenderInOneFont(&line.texture, kLineBlock, font, codes, colour, outline, 1, 1);
        line.logIndex = index;
        line.used = 1;
        for (const CLogVoice& voice : entry->voices) line.hasVoice |= voice.used != 0 ? 1 : 0;
    }
    if (font != nullptr) DeleteFont(font);
}

void CBacklog::ReplayVoice(int32_t logIndex) {
    auto entry = std::make_unique<CMessageLogEntry>();
    if (engine->messageLog.GetEntry(logIndex, entry.get()) != 0) return;
    for (int32_t i = 0; i < kBacklogVoiceChannels; ++i) {
        const CLogVoice& voice = entry->voices[i];
        if (!voice.used) continue;
        CSoundChannel& channel = voiceChannels[i];
        if (logIndex != replayedEntry) {
            channel.Release();
            char name[kSoundNameSize];
            std::memcpy(name, voice.name, sizeof name);
            name[sizeof name - 1] = 0;
            channel.LoadSound(kSoundKindVoice, name);
            channel.volumeCommand = CSoundValueCommand{1, voice.volume, -1.0f, 0};
            channel.panCommand = CSoundValueCommand{1, voice.pan, -1.0f, 0};
            channel.tempoCommand = CSoundValueCommand{1, voice.tempo, -1.0f, 0};
        }
        channel.status = CSoundStatusCommand{1, kSoundRestart, voice.playCount, voice.loopBack, 0.0f, 0};
        // The replay channels get no page-start stamp: their commands count from now.
        channel.startTime = g_GameClock;
    }
    replayedEntry = logIndex;
}

bool CBacklog::IsReplaying(int32_t logIndex) const {
    if (logIndex != replayedEntry) return false;
    for (const CSoundChannel& channel : voiceChannels) {
        if (channel.player != nullptr && channel.player->GetState() == kSoundPlaying) return true;
    }
    return false;
}

bool CBacklog::CanHover(int32_t item) const {
    if (item < kFirstIcon) return true;
    const CBacklogLine& line = lines[item - kFirstIcon];
    return line.used != 0 && line.hasVoice != 0;
}

void CBacklog::ScrollTo(int32_t position) {
    scroll = position;
    RenderLine();
}

void CBacklog::Activate(int32_t item) {
    const int32_t count = LogCount();
    switch (item) {
    case kPageBack:
        if (scroll + kBacklogLines < count) ScrollTo(std::min(scroll + kBacklogLines, count - kBacklogLines));
        break;
    case kLineBack:
        if (scroll + kBacklogLines < count) ScrollTo(scroll + 1);
        break;
    case kLineForward:
        if (scroll > 0) ScrollTo(scroll - 1);
        break;
    case kPageForward:
        if (scroll > 0) ScrollTo(std::max(scroll - kBacklogLines, 0));
        break;
    case kClose:
        state = 2;
        stateTime = g_FrameTime;
        break;
    default:
        if (item >= kFirstIcon && item < kHoverCount) ReplayVoice(lines[item - kFirstIcon].logIndex);
        break;
    }
}

int32_t CBacklog::Update() {
    if (state == 0) {
        if (IsActivation()) {
            state = 1;
            stateTime = g_FrameTime;
        }
        return 0;
    }
    if (state == 2) {
        if (!IsActivation()) return 0;
        state = 3;
        stateTime = g_FrameTime;
        return 1;
    }
    if (state == 3) return 1;

    for (CSoundChannel& channel : voiceChannels) channel.Update(0);
    const int32_t before = hover;
    if (g_Input.mouseMoved) {
        hover = -1;
        const SPoint mouse = MousePosition();
        for (int32_t button = 0; button < kButtonCount && hover < 0; ++button) {
            if (IsPointInRect(kButtons[button].hit, mouse)) hover = button;
        }
        for (int32_t line = 0; line < kBacklogLines && hover < 0; ++line) {
            if (IsPointInRect(IconHit(line), mouse)) {
                if (CanHover(kFirstIcon + line)) hover = kFirstIcon + line;
                break;
            }
        }
    }
    const int32_t count = LogCount();
    if (g_Input.mouse.lZ > 0 && scroll + kBacklogLines < count) {
        ScrollTo(scroll + 1);
    } else if (g_Input.mouse.lZ < 0 && scroll > 0) {
        ScrollTo(scroll - 1);
    }
    const auto canHover = [this](int32_t item) { return CanHover(item); };
    if (IsPreviousKey()) {
        hover = StepHover(hover, -1, kHoverCount, canHover);
        StampKeyGuard();
    } else if (IsNextKey()) {
        hover = StepHover(hover, +1, kHoverCount, canHover);
        StampKeyGuard();
    }
    if (!IsActivation()) {
        if (hover != -1 && hover != before) PlayScreenSound(cursorSound);
    } else {
        if (hover != -1) PlayScreenSound(selectSound);
        StampKeyGuard();
        Activate(hover);
    }
    if (IsCancelClick() && state == 1) {
        state = 2;
        stateTime = g_FrameTime;
    }
    return state == 3 ? 1 : 0;
}

void CBacklog::Draw() {
    const uint32_t now = g_FrameTime;
    const float elapsed = static_cast<float>(static_cast<int32_t>(now - stateTime)) / kFadeMs;
    float f = 1.0f;
    if (state == 0) {
        f = std::min(std::max(elapsed, 0.0f), 1.0f);
        if (f >= 1.0f) {
            state = 1;
            stateTime = now;
        }
    } else if (state == 2) {
        f = std::max(1.0f - std::max(elapsed, 0.0f), 0.0f);
        if (f <= 0.0f) {
            state = 3;
            stateTime = now;
        }
    }
    const uint32_t white = WhiteWithAlpha(static_cast<uint32_t>(f * 255));
    const uint32_t black = BlackWithAlpha(static_cast<uint32_t>(f * 255));
    const uint32_t dim = static_cast<uint32_t>(f * 160) << 24;
    CGraphicsDevice* device = g_pD3DDevice;
    device->SetTexture(0, picture);
    device->SetTexture(1, nullptr);
    DrawSprite(device, picture, &kFullScreenRect, 0, 0.0f, 0.0f, white);
    for (int32_t button = 0; button < kButtonCount; ++button) {
        const SBacklogButton& b = kButtons[button];
        DrawSprite(device, picture, hover == button ? &b.hovered : &b.normal, 0, static_cast<float>(b.x),
                   static_cast<float>(b.y), white);
    }
    for (int32_t k = 0; k < kBacklogLines; ++k) {
        const CBacklogLine& line = lines[k];
        if (!line.used || !line.hasVoice) continue;
        const bool lit = hover == kFirstIcon + k || IsReplaying(line.logIndex);
        DrawSprite(device, picture, lit ? &kIconLit : &kIconNormal, 0, 53.0f, static_cast<float>(49 + kLineSpacing * k),
                   white);
    }
    const SRect lineSource = {0, 0, kLineBlock.width, kLineBlock.height};
    const bool shadow = (g_Config.settings.textFlags & 1) != 0;
    for (int32_t k = 0; k < kBacklogLines; ++k) {
        const CBacklogLine& line = lines[k];
        if (!line.used || line.texture == nullptr) continue;
        const float y = static_cast<float>(48 + kLineSpacing * k);
        if (shadow) DrawTextShadow(device, line.texture, lineSource, 109.0f, y + 2.0f, dim | 0x202020u);
        uint32_t lineColour = white;
        if (line.hasVoice) lineColour = (IsReplaying(line.logIndex) ? black : dim) | 0xFFFF80u;
        DrawSprite(device, line.texture, &lineSource, 1, 107.0f, y, lineColour);
    }
}
