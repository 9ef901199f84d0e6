// Runs the real application object in-process: the dummy video driver, a sound device paced by
// the fake clock, the save folder and the instance lock in a temporary folder, message boxes
// kept instead of shown, and ticks driven one at a time with synthetic input.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/game_app.h"
#include "tests/files/temp_folder.h"

class CAppHarness {
public:
    // The game runs with `dataFolder` as its working folder. The save folder and the instance
    // lock live under `home` (a folder of the harness's own when empty), so that a second run can
    // find the files of the first.
    explicit CAppHarness(const std::string& dataFolder, const std::string& home = "");
    ~CAppHarness();
    CAppHarness(const CAppHarness&) = delete;
    CAppHarness& operator=(const CAppHarness&) = delete;

    // CGameApp::Init.
    int32_t Start();
    // Advances the fake clock by ms, lets the sound threads catch up, pumps the window's events
    // and runs one tick. Returns the tick's result.
    int32_t Tick(uint32_t ms = kTickMs);
    // Ticks until the predicate holds or the tick limit is reached; false on the limit or when a
    // tick ends the program.
    template <typename Predicate>
    bool TickUntil(Predicate done, int32_t limit) {
        for (int32_t i = 0; i < limit; ++i) {
            if (done()) return true;
            if (Tick() == 0) return false;
        }
        return done();
    }

    // Input for the next tick, as the window procedure and the keyboard would deliver it.
    void MoveMouse(int32_t x, int32_t y);
    void Click(int32_t x, int32_t y);
    void RightClick(int32_t x, int32_t y);
    void TapKey(uint8_t dik);

    // "caption|text" of the boxes shown since the last call (Shift-JIS).
    std::vector<std::string> TakeMessages();

    const std::string& SaveFolder() const { return saveFolder_; }
    std::string SavePath(const std::string& name) const { return saveFolder_ + name; }

    CGameApp app;

private:
    CTempFolder ownHome_;
    std::string saveFolder_;
    std::unique_ptr<CWorkingFolder> workingFolder_;
};

// The colour (0xRRGGBB) of the back buffer's pixel.
uint32_t BackBufferPixel(int32_t x, int32_t y);
