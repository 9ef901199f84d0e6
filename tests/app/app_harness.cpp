#include "tests/app/app_harness.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/devices_graphics.h"
#include "platform/input_devices.h"
#include "platform/message_box.h"
#include "platform/window.h"
#include "tests/support/graphics_support.h"

namespace {

constexpr uint32_t kFakeClockStart = 10000000;

}  // namespace

CAppHarness::CAppHarness(const std::string& dataFolder, const std::string& home) {
    const std::string& homePath = home.empty() ? ownHome_.Path() : home;
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("XDG_DATA_HOME", homePath.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", homePath.c_str(), 1);
    saveFolder_ = homePath + "/Save/Velkora/";
    SuppressMessageBoxWindows(true);
    TakeShownMessages();
    UseFakeClock(kFakeClockStart);
    ResetInputSource();
    // The sound device is made here so that it is paced by the fake clock; start-up keeps it.
    g_pDirectSound = CAudioDevice::Create(EAudioOutput::Clock).release();
    workingFolder_ = std::make_unique<CWorkingFolder>(dataFolder);
}

CAppHarness::~CAppHarness() {
    app.Shutdown();
    ReleaseDirectSound();
    workingFolder_.reset();
    UseRealClock();
    ResetInputSource();
}

int32_t CAppHarness::Start() { return app.Init(); }

int32_t CAppHarness::Tick(uint32_t ms) {
    AdvanceFakeClock(ms);
    EXPECT_TRUE(SettleFakeClock());
    PumpWindowEvents(app.window);
    return app.Tick();
}

void CAppHarness::MoveMouse(int32_t x, int32_t y) {
    UpdateMouseFields(&app.mouse, SWindowEvent{WindowEventType::MouseMove, static_cast<uint32_t>(x),
                                                static_cast<uint32_t>(y)});
}

void CAppHarness::Click(int32_t x, int32_t y) {
    MoveMouse(x, y);
    UpdateMouseFields(&app.mouse, SWindowEvent{WindowEventType::LeftDown, 0, 0});
    UpdateMouseFields(&app.mouse, SWindowEvent{WindowEventType::LeftUp, 0, 0});
}

void CAppHarness::RightClick(int32_t x, int32_t y) {
    MoveMouse(x, y);
    UpdateMouseFields(&app.mouse, SWindowEvent{WindowEventType::RightDown, 0, 0});
    UpdateMouseFields(&app.mouse, SWindowEvent{WindowEventType::RightUp, 0, 0});
}

void CAppHarness::TapKey(uint8_t dik) {
    FeedKey(dik, true);
    FeedKey(dik, false);
}

std::vector<std::string> CAppHarness::TakeMessages() { return TakeShownMessages(); }

uint32_t BackBufferPixel(int32_t x, int32_t y) { return SurfacePixel(g_pBackBuffer, x, y) & 0xFFFFFFu; }
