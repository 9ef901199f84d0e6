// The sample game played twice in-process with the same input on the fake clock, once drawn with
// damage tracking and once redrawn whole every frame: every presented frame must show the same
// pixels. Tracked, the frame is rebuilt from the changed rectangles alone, as the window does,
// so a rectangle left out shows as a difference.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/devices_graphics.h"
#include "platform/graphics.h"
#include "platform/input_devices.h"
#include "platform/render_context.h"
#include "screens/adventure.h"
#include "tests/app/app_harness.h"
#include "tests/files/temp_folder.h"
#include "tests/platform/scoped_env.h"

namespace {

const std::string kSampleGame = std::string(TEST_BINARY_DIR) + "/game";

// What a window shows, built from the changed rectangles of each presented frame, and one
// checksum per frame.
struct SShownFrames {
    std::vector<uint32_t> screen;
    std::vector<uint64_t> checksums;

    static void Present(void* user, const SPresentFrame& frame) {
        auto* shown = static_cast<SShownFrames*>(user);
        shown->screen.resize(size_t{frame.width} * frame.height);
        for (uint32_t i = 0; i < frame.changedCount; ++i) {
            const SRect& r = frame.changed[i];
            for (int32_t y = r.top; y < r.bottom; ++y) {
                const uint32_t* row =
                    reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(frame.pixels) + size_t(y) * frame.pitchBytes);
                std::copy(row + r.left, row + r.right, shown->screen.begin() + size_t(y) * frame.width + r.left);
            }
        }
        uint64_t hash = 14695981039346656037ull;
        for (uint32_t pixel : shown->screen) hash = (hash ^ (pixel & 0xFFFFFFu)) * 1099511628211ull;
        shown->checksums.push_back(hash);
    }
};

// Logo, title, a new game with its fades and text reveals, the backlog, the menu, a quick save
// (its thumbnail drawn into the back buffer and read back), a lost and reset device, and the
// first choice taken.
std::vector<uint64_t> PlayMainRoad(bool fullRedraw) {
    const CTempFolder home;
    const CScopedEnv mode("VELKORA_FULL_REDRAW", fullRedraw ? "1" : nullptr);
    CAppHarness harness(kSampleGame, home.Path());
    EXPECT_EQ(harness.Start(), 1);
    SShownFrames shown;
    g_pD3DDevice->SetPresentObserver(SShownFrames::Present, &shown);
    EXPECT_EQ(g_pD3DDevice->DamageTracking(), !fullRedraw);
    const auto wait = [&](uint32_t ms) {
        for (uint32_t t = 0; t < ms; t += kTickMs) harness.Tick();
    };
    const auto click = [&](int32_t x, int32_t y, uint32_t after) {
        harness.Click(x, y);
        wait(after);
    };
    click(400, 300, 600);   // the logo
    click(10, 10, 300);     // the title's opening fade
    click(680, 269, 2200);  // new game: the title fades out, the first page fades in
    click(400, 300, 900);   // its text shown whole
    for (int page = 0; page < 3; ++page) click(400, 300, 1200);  // pages revealed as they come
    click(587, 584, 600);   // the backlog
    EXPECT_EQ(harness.app.adventure.subMode, kAdventureBacklog);
    harness.RightClick(400, 300);
    wait(600);
    harness.RightClick(400, 300);  // the menu, opened and closed
    wait(600);
    EXPECT_EQ(harness.app.adventure.subMode, kAdventureMenu);
    harness.RightClick(400, 300);
    wait(600);
    click(750, 536, 400);  // quick save
    EXPECT_TRUE(std::filesystem::exists(harness.SavePath("Q-Save.sav")));
    g_pD3DDevice->SimulateDeviceLoss(0);
    wait(300);
    for (int i = 0; i < 40 && harness.app.adventure.engine.choiceWindow.active == 0; ++i) click(400, 300, 300);
    EXPECT_EQ(harness.app.adventure.engine.choiceWindow.active, 1) << "the choice page is reached";
    harness.MoveMouse(400, 227);
    wait(300);
    harness.TapKey(DIK_RETURN);
    wait(1500);
    g_pD3DDevice->SetPresentObserver(nullptr, nullptr);
    return shown.checksums;
}

TEST(RedrawEquivalence, TrackedFramesShowWhatAFullRedrawShows) {
    if (!std::filesystem::exists(kSampleGame + "/System.pac")) GTEST_SKIP() << "build the sample_game target";
    const std::vector<uint64_t> tracked = PlayMainRoad(false);
    const std::vector<uint64_t> full = PlayMainRoad(true);
    ASSERT_GT(tracked.size(), 500u);
    ASSERT_EQ(tracked.size(), full.size());
    for (size_t i = 0; i < tracked.size(); ++i) ASSERT_EQ(tracked[i], full[i]) << "presented frame " << i;
}

}  // namespace
