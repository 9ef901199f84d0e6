// The adventure on the screens' test bench: scenario sources compiled into the asset folder, the
// adventure started on them and driven frame by frame.
#pragma once

#include <cstdint>
#include <string>

#include "screens/adventure.h"
#include "tests/screens/screen_fixture.h"

class AdventureTest : public ScreenTest {
protected:
    void TearDown() override;

    // Compiles the source into Script/<name>.vsf of the asset folder; returns the script path.
    std::string WriteScript(const std::string& name, const std::string& source);
    // Starts a new game on the source (compiled under the test's own name).
    void Start(const std::string& source);
    // One tick with the input the caller set after NextTick (or none).
    int32_t Frame() { return adventure.Frame(); }
    // Ticks with no input.
    int32_t RunFrames(int32_t count);
    // A tick with a click at (x, y).
    int32_t ClickFrame(int32_t x, int32_t y);
    // A tick with a right click, the mouse moved to (x, y), the wheel turned.
    int32_t RightClickFrame(uint32_t ms = 15);
    int32_t MoveFrame(int32_t x, int32_t y);
    int32_t WheelFrame(int32_t amount);
    // A tick with the key pressed, past the key guard.
    int32_t KeyFrame(uint8_t dik);
    // Clicks on empty space until the page number changes (at most 40 frames).
    void NextPage();
    // Opens the in-game menu with the bar's menu button and lets it fade in.
    void OpenMenu();

    static constexpr SPoint kMenuButton = {700, 580};
    std::string PageText() const { return adventure.engine.messageWindow.text; }

    CAdventure adventure;
};

// Pages whose text shows at once, one per line of `texts` separated by '|'.
std::string PlainPages(const std::string& texts);
