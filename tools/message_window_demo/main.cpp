// message_window_demo <screenshot.png> [seconds] [--headless]
//
// Draws the engine's message window as the game sets it up: the frame picture and name plate
// (a generated picture, loaded as a loose file), a speaker's name and two lines of text given
// to the window as a "TEXT" page command, with the shadow pass, outlined glyphs and the fade
// entrance. Every 15 ms it advances the engine clock and draws a frame into the window. Once the
// text is fully shown it writes the back buffer to the PNG file and prints, one line each:
//   window <left> <top> <width> <height>   where the client area is on the desktop
//   glyphs <text glyphs> <name glyphs>
//   shown <milliseconds>                    the reveal completed after this much game time
//   ready                                   the finished frame is on screen and in the PNG
//   quit timeout | quit closed
// It ends when the window is closed or after the given time (default 10 s). With --headless it
// opens no window and ends right after writing the PNG.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "files/stream.h"
#include "platform/clock.h"
#include "platform/devices_graphics.h"
#include "platform/graphics.h"
#include "platform/render_context.h"
#include "platform/window.h"
#include "text/message_window.h"
#include "tools/lib/chunk_writer.h"
#include "tools/lib/memory_stream.h"
#include "tools/lib/teyl_writer.h"

namespace {

constexpr uint32_t kTickMs = 15;
constexpr uint32_t kBackground = 0xFF6080A0u;
constexpr uint32_t kFrameColour = 0xE0182848u;  // the frame picture's texels
constexpr uint32_t kPlateColour = 0xF0304878u;
const char kPicture[] = "Image/TextWindow.bmp";
const char kMsPGothic[] = "\x82\x6C\x82\x72 \x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E";  // ＭＳ Ｐゴシック
const char kMsGothic[] = "\x82\x6C\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4E";            // ＭＳ ゴシック
const char kName[] = "\x83\x8A\x83\x93";  // リン
// 「夜の図書館には、誰もいないはずだった。」\n 窓の外で、雪が静かに降っている。
const char kText[] =
    "\x81\x75\x96\xE9\x82\xCC\x90\x7D\x8F\x91\x8A\xD9\x82\xC9\x82\xCD\x81\x41\x92\x4E\x82\xE0\x82\xA2\x82\xC8"
    "\x82\xA2\x82\xCD\x82\xB8\x82\xBE\x82\xC1\x82\xBD\x81\x42\x81\x76\n\x91\x8B\x82\xCC\x8A\x4F\x82\xC5\x81"
    "\x41\x90\xE1\x82\xAA\x90\xC3\x82\xA9\x82\xC9\x8D\x7E\x82\xC1\x82\xC4\x82\xA2\x82\xE9\x81\x42";

// The adventure's window layout: a 800 x 237 picture with the plate above the frame.
CMessageWindowStyle AdventureStyle() {
    CMessageWindowStyle style{};
    std::strcpy(style.pictureName, kPicture);
    style.plateSource = {0, 0, 146, 52};
    style.plateX = 0;
    style.plateY = 429;
    style.frameSource = {0, 53, 800, 184};
    style.frameX = 0;
    style.frameY = 469;
    std::strcpy(style.nameFont.face, kMsPGothic);
    style.nameFont.height = 24;
    style.nameFont.colour = 0xFFFFFFFFu;
    style.nameRect = {10, 436, 129, 467};
    style.textRect = {90, 480, 660, 570};
    style.nameShadowRect = {12, 438, 131, 469};
    style.textShadowRect = {92, 482, 662, 572};
    style.lineGap = 4;
    style.shadowColour = 0xA0606060u;
    return style;
}

int32_t WriteWindowPicture(const std::filesystem::path& folder) {
    std::vector<uint32_t> pixels(800 * 237, 0);
    for (int y = 0; y < 237; ++y)
        for (int x = 0; x < 800; ++x) {
            if (y < 52 && x < 146) pixels[y * 800 + x] = kPlateColour;
            if (y >= 53 && y < 184) pixels[y * 800 + x] = kFrameColour;
        }
    std::filesystem::create_directories(folder / "Image");
    return WriteTeylFile((folder / kPicture).string(), 800, 237, pixels.data());
}

// The page command: name, text, and formats: the text in the window font, its second line in
// gold and bold.
std::vector<uint8_t> TextCommand() {
    CChunkWriter runs;
    auto run = [&runs](const char* face, int32_t height, uint8_t bold, uint32_t colour, uint32_t length) {
        const uint32_t faceLength = static_cast<uint32_t>(std::strlen(face)) + 1;
        runs.U32(faceLength + 18);
        runs.U32(faceLength);
        runs.CString(face);
        runs.I32(height);
        runs.U8(bold);
        runs.U8(0);
        runs.U32(colour);
        runs.U32(length);
    };
    run(kMsGothic, 24, 0, 0xFFFFFFFFu, 22);  // the first line and its line break
    run(kMsGothic, 24, 1, 0xFFFFD860u, 17);  // the second line and the terminator's record
    CChunkWriter command;
    command.Chunk("NAME", kName, sizeof kName);
    command.Chunk("TEXT", kText, sizeof kText);
    command.Chunk("TFMT", runs.Data().data(), runs.Size());
    return command.Data();
}

// Hands the command to the window through a read stream over its bytes.
int32_t RunTextCommand(CMessageWindow* window) {
    const std::vector<uint8_t> command = TextCommand();
    CReadStream stream;
    if (!OpenMemoryStream(&stream, command.data(), command.size(), 4096)) return -1;
    const uint32_t size = static_cast<uint32_t>(command.size());
    stream.Fill(size);
    uint32_t consumed = 0;
    const int32_t result = window->ParseCommand(&stream, size, &consumed);
    return result == 0 && consumed == size ? 0 : -1;
}

int32_t DrawFrame(CGraphicsDevice* device, CMessageWindow* window) {
    device->Clear(0, nullptr, ClearFlag::Target | ClearFlag::ZBuffer, kBackground, 1.0f, 0);
    device->BeginScene();
    const int32_t shown = window->Draw();
    device->EndScene();
    device->Present();
    return shown;
}

int Run(const char* screenshot, uint32_t seconds, bool headless) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "message_window_demo";
    const std::filesystem::path previous = std::filesystem::current_path();
    if (WriteWindowPicture(folder) != 0) {
        std::fprintf(stderr, "message_window_demo: cannot write the window picture\n");
        return 1;
    }
    std::filesystem::current_path(folder);

    CPlatformWindow* platformWindow = nullptr;
    SDeviceParams params;
    if (!headless) {
        // "Velkora ～Sarnith～ message window"
        platformWindow = CreatePlatformWindow("Velkora \x81\x60Sarnith\x81\x60 message window", 800, 600);
        if (!platformWindow) {
            std::fprintf(stderr, "message_window_demo: no window\n");
            return 1;
        }
        params.present = PresentToWindow;
        params.presentUser = platformWindow;
    }
    CGraphicsDevice* device = CGraphicsDevice::Create(params);
    if (!device) {
        std::fprintf(stderr, "message_window_demo: no graphics device\n");
        return 1;
    }
    ApplyDefaultRenderStates(device);
    g_pEngineDevice = device;
    g_hEngineWnd = platformWindow;

    int status = 0;
    {
        CMessageWindow window;
        const CMessageWindowStyle style = AdventureStyle();
        window.textFlags = 3;  // shadow and outline
        window.effectMode = 2;
        window.speed = 50;
        window.formatMode = 1;
        std::strcpy(window.windowFont.face, kMsGothic);
        window.windowFont.height = 24;
        window.windowFont.colour = 0xFFFFFFFFu;
        if (window.Init(&style) != 0 || RunTextCommand(&window) != 0) {
            std::fprintf(stderr, "message_window_demo: the window or its text could not be set up\n");
            status = 1;
        } else {
            if (platformWindow) {
                PumpWindowEvents(platformWindow);
                const SRect rect = GetPlatformWindowRect(platformWindow);
                std::printf("window %d %d %d %d\n", rect.left, rect.top, rect.right - rect.left,
                            rect.bottom - rect.top);
            }
            std::printf("glyphs %d %d\n", window.textGlyphCount, window.nameGlyphCount);
            g_GameClock = 0;
            g_ClockPrevTime = GetTimeMs();
            g_bHoldTextStart = 0;
            window.revealStart = kTimeNotSet;
            const uint32_t start = GetTimeMs();
            uint32_t last = start - kTickMs;
            bool saved = false;
            const char* reason = "timeout";
            for (;;) {
                if (platformWindow && PumpWindowEvents(platformWindow) != 0) {
                    reason = "closed";
                    break;
                }
                const uint32_t now = GetTimeMs();
                if (now - start >= seconds * 1000u) break;
                if (now - last < kTickMs) {
                    SleepMs(1);
                    continue;
                }
                last = now;
                UpdateEngineClock();
                const int32_t shown = DrawFrame(device, &window);
                if (shown && !saved) {
                    CSurface* back = nullptr;
                    device->GetBackBuffer(&back);
                    const std::filesystem::path out = std::filesystem::absolute(previous / screenshot);
                    if (SaveSurfacePng(back, out.string().c_str()) != 0) status = 1;
                    back->Release();
                    saved = true;
                    std::printf("shown %u\nready\n", g_GameClock - window.revealStart);
                    if (!platformWindow) break;
                }
            }
            if (platformWindow) std::printf("quit %s\n", reason);
            if (!saved) status = 1;
        }
        window.ReleaseGlyphs();
    }
    g_pEngineDevice = nullptr;
    g_hEngineWnd = nullptr;
    device->Release();
    if (platformWindow) DestroyPlatformWindow(platformWindow);
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(folder);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc < 2) {
        std::fprintf(stderr, "usage: message_window_demo <screenshot.png> [seconds] [--headless]\n");
        return 2;
    }
    uint32_t seconds = 10;
    bool headless = false;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0) {
            headless = true;
        } else {
            seconds = static_cast<uint32_t>(std::strtoul(argv[i], nullptr, 10));
        }
    }
    return Run(argv[1], seconds, headless);
}
