// Mode 1, the first thing the program shows: the maker's logo fades in from black, holds, fades
// out, and a short black pause follows. The mode machine skips to the end on a click or Enter.
#pragma once

#include <cstdint>

class CTexture;

extern const char kMakerLogoPath[];  // "System/Maker/Maker.bmp"

constexpr uint32_t kLogoFadeInMs = 1500;
constexpr uint32_t kLogoHoldMs = 3000;
constexpr uint32_t kLogoFadeOutMs = 1500;
constexpr uint32_t kLogoPauseMs = 1000;

enum : int32_t {
    kLogoFadeIn = 0,
    kLogoHold = 1,
    kLogoFadeOut = 2,
    kLogoPause = 3,
    kLogoFinished = 4,
};

struct CMakerLogoMode {
    CTexture* logo = nullptr;
    int32_t state = kLogoFinished;
    uint32_t stateStart = 0;

    CMakerLogoMode() = default;
    CMakerLogoMode(const CMakerLogoMode&) = delete;
    CMakerLogoMode& operator=(const CMakerLogoMode&) = delete;
    ~CMakerLogoMode() { End(); }

    // Loads the logo and starts the fade-in. 0, or -1 when the picture cannot be loaded.
    int32_t Init();
    // Draws one frame at g_FrameTime and advances the state. Returns 0.
    int32_t Frame();
    // Releases the logo; harmless when it is not held.
    void End();
    // Jumps to the finished state, counted from `now`.
    void Finish(uint32_t now);
    bool IsFinished() const { return state == kLogoFinished; }

private:
    void EnterState(int32_t next, uint32_t now);
};
