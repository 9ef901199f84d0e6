#include "tests/screens/screen_fixture.h"

#include <cstring>
#include <vector>

#include "app/main_window.h"
#include "app/system_data.h"
#include "files/loaders.h"
#include "platform/clock.h"
#include "platform/devices_graphics.h"
#include "platform/input_state.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/render_context.h"
#include "tests/support/graphics_support.h"
#include "tools/lib/sound_writer.h"
#include "tools/lib/teyl_writer.h"

void WriteCodedPicture(const std::string& folder, const std::string& name, uint32_t tag, uint32_t width,
                       uint32_t height) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) pixels[static_cast<size_t>(y) * width + x] = CodedTexel(tag, x, y);
    }
    const std::string path = folder + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    ASSERT_EQ(WriteTeylFile(path, static_cast<int32_t>(width), static_cast<int32_t>(height), pixels.data()), 0);
}

const std::string& AssetFolder() {
    static CTempFolder folder;
    static bool made = false;
    if (!made) {
        made = true;
        const std::string& root = folder.Path();
        struct SPicture {
            const char* name;
            uint32_t tag, width, height;
        };
        const SPicture pictures[] = {
            {"System/Menu/YesNoBG.bmp", kTagYesNoBg, 800, 600},
            {"System/Menu/YesNoButton.bmp", kTagYesNoButton, 330, 120},
            {"System/Menu/SaveBG.bmp", kTagSaveBg, 800, 600},
            {"System/Menu/LoadBG.bmp", kTagLoadBg, 800, 600},
            {"System/Menu/SaveLoadButton.bmp", kTagSaveLoadButton, 432, 360},
            {"System/Menu/ConfigBG.bmp", kTagConfigBg, 800, 600},
            {"System/Menu/ConfigButton.bmp", kTagConfigButton, 776, 333},
            {"System/Menu/MenuBG.bmp", kTagMenuBg, 800, 600},
            {"System/Menu/MenuButton.bmp", kTagMenuButton, 360, 180},
            {"System/Adventure/TextWindowButton.bmp", kTagTextWindowButton, 283, 170},
            {"System/Adventure/Backlog.bmp", kTagBacklog, 800, 744},
            {"Image/TextWindow.bmp", kTagTextWindow, 800, 184},
            {"Image/SelectWindow.bmp", kTagSelectWindow, 543, 96},
            {"Image/Thumb.bmp", kTagThumbnailPicture, 100, 75},
            {"Image/BG.bmp", kTagSceneBg, 800, 600},
            {"System/Extra/MovieModeBG1.bmp", kTagMovieBg1, 800, 600},
            {"System/Extra/MovieModeBG2.bmp", kTagMovieBg2, 800, 600},
            {"System/Extra/MovieModeButton.bmp", kTagMovieSheet, 883, 1280},
        };
        for (const SPicture& picture : pictures) {
            WriteCodedPicture(root, picture.name, picture.tag, picture.width, picture.height);
        }
        std::vector<int16_t> samples(2 * 4410);
        for (size_t i = 0; i < samples.size(); ++i) samples[i] = (i / 40) % 2 ? 3000 : -3000;
        const std::vector<uint8_t> ogg = EncodeOgg(samples, 2, 44100);
        folder.Write("System/OnCursor.ogg", ogg);
        folder.Write("System/Select.ogg", ogg);
        folder.Write("System/Extra/BGM.ogg", ogg);
        folder.Write("Voice/V1.ogg", ogg);
        folder.Write("Voice/V2.ogg", ogg);
    }
    return folder.Path();
}

void ScreenTest::SetUp() {
    UseFakeClock(100000);
    g_FrameTime = GetTimeMs();
    std::memset(&g_Input, 0, sizeof g_Input);
    g_Input.keyGuardTime = g_FrameTime - 1000;
    SuppressMessageBoxWindows(true);
    TakeShownMessages();
    m_workingFolder = std::make_unique<CWorkingFolder>(AssetFolder());
    const std::string saveFolder = m_saves.Path() + "/save/";
    std::snprintf(g_SaveFolder, sizeof g_SaveFolder, "%s", saveFolder.c_str());
    m_device = MakeTestDevice(800, 600);
    ASSERT_NE(m_device, nullptr);
    g_pD3DDevice = m_device;
    m_device->GetBackBuffer(&m_backBuffer);
    g_pBackBuffer = m_backBuffer;
    m_audio = CAudioDevice::Create(EAudioOutput::Manual);
    ASSERT_NE(m_audio, nullptr);
    g_pDirectSound = m_audio.get();
    g_bShowSysArchiveErrors = 1;
    SetDefaultSystemData();
}

void ScreenTest::TearDown() {
    g_bShowSysArchiveErrors = 0;
    g_pDirectSound = nullptr;
    m_audio.reset();
    g_pBackBuffer = nullptr;
    if (m_backBuffer != nullptr) m_backBuffer->Release();
    g_pD3DDevice = nullptr;
    if (m_device != nullptr) m_device->Release();
    m_workingFolder.reset();
    UseRealClock();
}

std::string ScreenTest::SavePath(const std::string& name) const { return std::string(g_SaveFolder) + name; }

void ScreenTest::NextTick(uint32_t ms) {
    AdvanceFakeClock(ms);
    g_FrameTime = GetTimeMs();
    g_Input.mouseMoved = g_Input.leftDown = g_Input.leftUp = g_Input.rightDown = g_Input.rightUp = 0;
    std::memset(g_Input.keys, 0, sizeof g_Input.keys);
    std::memset(&g_Input.mouse, 0, sizeof g_Input.mouse);
}

void ScreenTest::MoveMouse(int32_t x, int32_t y) {
    g_Input.mouseX = x;
    g_Input.mouseY = y;
    g_Input.mouseMoved = 1;
}

void ScreenTest::Click(int32_t x, int32_t y) {
    MoveMouse(x, y);
    g_Input.leftDown = 1;
    g_Input.leftUp = 1;
}

void ScreenTest::RightClick() {
    g_Input.rightDown = 1;
    g_Input.rightUp = 1;
}

void ScreenTest::PressKey(uint8_t dik) {
    // As the poll does: within the guard period after a screen acted on a key, keys read as up.
    if (static_cast<int32_t>(g_FrameTime - g_Input.keyGuardTime) >= static_cast<int32_t>(kKeyGuardMs)) {
        g_Input.keys[dik] = 0x80;
    }
}

void ScreenTest::TurnWheel(int32_t amount) { g_Input.mouse.lZ = amount; }

void ScreenTest::BeginFrame() {
    m_device->Clear(0, nullptr, ClearFlag::Target | ClearFlag::ZBuffer, 0, 1.0f, 0);
    m_device->BeginScene();
}

void ScreenTest::EndFrame() { m_device->EndScene(); }

uint32_t ScreenTest::Pixel(int32_t x, int32_t y) const { return SurfacePixel(m_backBuffer, x, y) & 0xFFFFFF; }
