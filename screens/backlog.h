// The backlog screen: the adventure's full-window view of the message log. It fades in over the
// scene, lists up to five logged pages (speaker name and text, newest at the bottom), scrolls
// through all of them and replays a page's voices on four sound channels of its own.
#pragma once

#include <cstdint>

#include "sound/sound_channel.h"

class CTexture;
class CVantEngine;
class IDirectSoundPlayer;

constexpr int32_t kBacklogLines = 5;
constexpr int32_t kBacklogVoiceChannels = 4;

struct CBacklogLine {
    int32_t used = 0;
    int32_t logIndex = 0;
    CTexture* texture = nullptr;  // 570 × 90: name and text
    int32_t hasVoice = 0;
};

struct CBacklog {
    CVantEngine* engine = nullptr;
    char face[32] = {};
    int32_t height = 0;
    uint8_t bold = 0;
    uint8_t italic = 0;
    uint32_t colour = 0;
    CTexture* picture = nullptr;  // "System/Adventure/Backlog.bmp": background, buttons and icons
    IDirectSoundPlayer* cursorSound = nullptr;
    IDirectSoundPlayer* selectSound = nullptr;
    int32_t scroll = 0;  // log index of the newest page shown
    CBacklogLine lines[kBacklogLines];
    int32_t replayedEntry = -1;
    CSoundChannel voiceChannels[kBacklogVoiceChannels];
    int32_t state = 0;  // 0 fading in, 1 open, 2 fading out, 3 closed
    uint32_t stateTime = 0;
    int32_t hover = -1;  // 0-4 the buttons, 5-9 the voice icons of lines 0-4

    CBacklog() = default;
    CBacklog(const CBacklog&) = delete;
    CBacklog& operator=(const CBacklog&) = delete;
    ~CBacklog() { ReleaseResources(); }

    // 0, or -1 when the picture or a sound cannot be loaded (the owner then releases).
    int32_t Init(CVantEngine* owner);
    // 1 once the screen has closed, else 0.
    int32_t Update();
    void Draw();
    // Renders the five line textures for the current scroll position.
    void RenderLine();
    void ReplayVoice(int32_t logIndex);
    void ReleaseResources();

private:
    int32_t LogCount() const;
    bool IsReplaying(int32_t logIndex) const;
    bool CanHover(int32_t item) const;
    void ScrollTo(int32_t position);
    void Activate(int32_t item);
};
