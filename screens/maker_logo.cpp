#include "screens/maker_logo.h"

#include "files/loaders.h"
#include "platform/clock.h"
#include "platform/devices_graphics.h"
#include "platform/render_context.h"
#include "screens/screen_resources.h"

const char kMakerLogoPath[] = "System/Maker/Maker.bmp";

int32_t CMakerLogoMode::Init() {
    if (LoadSystemTexture(g_pD3DDevice, &logo, kMakerLogoPath) != 0) return -1;
    state = kLogoFadeIn;
    stateStart = GetTimeMs();
    return 0;
}

int32_t CMakerLogoMode::Frame() {
    CGraphicsDevice* device = g_pD3DDevice;
    const uint32_t now = g_FrameTime;
    // A frame time before the state's start wraps to a large value: the state counts as over.
    const uint32_t elapsed = now - stateStart;
    BeginScreenFrame(device);
    uint32_t colour = 0;
    bool drawLogo = true;
    switch (state) {
        case kLogoFadeIn:
            if (elapsed >= kLogoFadeInMs) {
                colour = kOpaqueWhite;
                EnterState(kLogoHold, now);
            } else {
                colour = WhiteWithAlpha(elapsed * 255 / kLogoFadeInMs);
            }
            break;
        case kLogoHold:
            if (elapsed > kLogoHoldMs) EnterState(kLogoFadeOut, now);
            colour = kOpaqueWhite;
            break;
        case kLogoFadeOut:
            if (elapsed >= kLogoFadeOutMs) {
                colour = WhiteWithAlpha(0);
                EnterState(kLogoPause, now);
            } else {
                colour = WhiteWithAlpha((kLogoFadeOutMs - elapsed) * 255 / kLogoFadeOutMs);
            }
            break;
        case kLogoPause:
            if (elapsed > kLogoPauseMs) Finish(now);
            drawLogo = false;
            break;
        default: drawLogo = false; break;
    }
    if (drawLogo) DrawBackground(device, logo, colour);
    EndScreenFrame(device);
    return 0;
}

void CMakerLogoMode::End() { ReleaseTexture(&logo); }

void CMakerLogoMode::Finish(uint32_t now) { EnterState(kLogoFinished, now); }

void CMakerLogoMode::EnterState(int32_t next, uint32_t now) {
    state = next;
    stateStart = now;
}
