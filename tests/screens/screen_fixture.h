// The screens' test bench: a headless 800 × 600 device as the shell's device, a silent mixer as
// the sound device, the fake clock, a working folder holding every interface picture and sound,
// a fresh save folder per test, and one-tick input snapshots.
//
// Every picture is coded: texel (x, y) of the picture tagged t is 0xFF000000 | t << 20 | x << 10
// | y, so a drawn pixel tells which picture and which texel landed there.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/audio.h"
#include "platform/graphics.h"
#include "tests/files/temp_folder.h"

enum EPictureTag : uint32_t {
    kTagYesNoBg = 1,
    kTagYesNoButton,
    kTagSaveBg,
    kTagLoadBg,
    kTagSaveLoadButton,
    kTagConfigBg,
    kTagConfigButton,
    kTagMenuBg,
    kTagMenuButton,
    kTagTextWindowButton,
    kTagBacklog,
    kTagTextWindow,
    kTagSelectWindow,
    kTagThumbnailPicture,
    kTagSceneBg,
    kTagMovieBg1,
    kTagMovieBg2,
    kTagMovieSheet,
};

constexpr uint32_t CodedTexel(uint32_t tag, uint32_t x, uint32_t y) { return 0xFF000000u | tag << 20 | x << 10 | y; }

// The folder with the interface pictures and sounds (made once per test program).
const std::string& AssetFolder();
// Writes a coded picture (TEYL) of that tag and size at a path below the folder.
void WriteCodedPicture(const std::string& folder, const std::string& name, uint32_t tag, uint32_t width,
                       uint32_t height);

class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the next tick: the fake clock moves on by ms, the frame time follows, the input's
    // events, keys and wheel are cleared (the mouse stays where it was).
    void NextTick(uint32_t ms = 15);
    // This tick's input.
    void MoveMouse(int32_t x, int32_t y);
    void Click(int32_t x, int32_t y);  // moves there and releases the left button
    void RightClick();
    void PressKey(uint8_t dik);
    void TurnWheel(int32_t amount);

    // Drawing: a frame of the screen into the back buffer.
    void BeginFrame();
    void EndFrame();
    uint32_t Pixel(int32_t x, int32_t y) const;  // RGB of the back buffer
    // The picture texel that a pixel shows (its RGB compared).
    static bool Shows(uint32_t pixel, uint32_t tag, uint32_t x, uint32_t y) {
        return (pixel & 0xFFFFFF) == (CodedTexel(tag, x, y) & 0xFFFFFF);
    }

    std::string SavePath(const std::string& name) const;

    CTempFolder m_saves;
    std::unique_ptr<CWorkingFolder> m_workingFolder;
    std::unique_ptr<CAudioDevice> m_audio;
    CGraphicsDevice* m_device = nullptr;
    CSurface* m_backBuffer = nullptr;
};

// Asserts that the pixel at (x, y) shows texel (tx, ty) of the tagged picture.
#define EXPECT_SHOWS(x, y, tag, tx, ty) \
    EXPECT_TRUE(Shows(Pixel(x, y), tag, tx, ty)) << "pixel (" << (x) << ", " << (y) << ") = " << std::hex << Pixel(x, y)
