// platform_smoke [seconds] [--fullscreen]
//
// Opens the program's window through the platform layer, draws four coloured quads on a dark
// blue background with the platform's quad drawing every 15 ms, and prints every input it receives,
// one line each, to stdout:
//   window <left> <top> <width> <height>   where the client area is on the desktop
//   ready                                   the first frame has been shown
//   mouse <x> <y> | left down | left up | right down | right up | wheel <delta>
//   key down 0x<DIK> | key up 0x<DIK> | focus lost | focus gained
//   external request                        SIGUSR1 arrived
//   quit escape | quit timeout | quit closed
// It ends on Escape, when the window is closed, or after the given time (default 10 s).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"
#include "platform/devices_graphics.h"
#include "platform/graphics.h"
#include "platform/input_state.h"
#include "platform/quad_draw.h"
#include "platform/window.h"

namespace {

constexpr uint32_t kWidth = 800;
constexpr uint32_t kHeight = 600;
constexpr uint32_t kTickMs = 15;
constexpr uint32_t kBackground = 0xFF101040u;

struct SQuad {
    SRect rect;
    uint32_t colour;
};

// Where the smoke test's script looks for these colours.
constexpr SQuad kQuads[] = {
    {{100, 100, 300, 250}, 0xFFFF0000u},
    {{500, 100, 700, 250}, 0xFF00FF00u},
    {{100, 350, 300, 500}, 0xFF0000FFu},
    {{500, 350, 700, 500}, 0xFFFFFFFFu},
};

void DrawFrame(CGraphicsDevice* device) {
    device->Clear(0, nullptr, ClearFlag::Target | ClearFlag::ZBuffer, kBackground, 1.0f, 0);
    device->BeginScene();
    for (const SQuad& quad : kQuads) DrawFilledRect(device, quad.rect, quad.colour);
    device->EndScene();
    device->Present();
}

void ReportInput(const CInputState& input, const CInputState& previous) {
    const bool nowhere = input.mouseX == kMouseNowhere;
    const bool wasNowhere = previous.mouseX == kMouseNowhere;
    if (nowhere != wasNowhere) std::printf("focus %s\n", nowhere ? "lost" : "gained");
    if (input.mouseMoved) std::printf("mouse %d %d\n", input.mouseX, input.mouseY);
    if (input.leftDown) std::printf("left down\n");
    if (input.leftUp) std::printf("left up\n");
    if (input.rightDown) std::printf("right down\n");
    if (input.rightUp) std::printf("right up\n");
    if (input.mouse.lZ != 0) std::printf("wheel %d\n", input.mouse.lZ);
    for (int dik = 0; dik < 256; ++dik) {
        const bool down = input.IsKeyDown(static_cast<uint8_t>(dik));
        if (down != previous.IsKeyDown(static_cast<uint8_t>(dik))) std::printf("key %s 0x%02X\n", down ? "down" : "up", dik);
    }
}

int Run(uint32_t seconds, bool fullscreen) {
    // "Velkora ～Sarnith～ smoke"
    CPlatformWindow* window = CreatePlatformWindow("Velkora \x81\x60Sarnith\x81\x60 smoke", kWidth, kHeight);
    if (window == nullptr) {
        std::fprintf(stderr, "platform_smoke: no window\n");
        return 1;
    }
    if (fullscreen && SetPlatformFullscreen(window, true) != 0) std::fprintf(stderr, "platform_smoke: no full screen\n");
    CMouseFields mouse;
    SetWindowProcedure(window, [](void* user, const SWindowEvent& event) {
        if (event.type == WindowEventType::ExternalRequest) std::printf("external request\n");
        UpdateMouseFields(static_cast<CMouseFields*>(user), event);
    }, &mouse);

    SDeviceParams params;
    params.present = PresentToWindow;
    params.presentUser = window;
    CGraphicsDevice* device = CGraphicsDevice::Create(params);
    if (device == nullptr || InitDirectInput() != 0) {
        std::fprintf(stderr, "platform_smoke: no graphics device or input\n");
        if (device != nullptr) device->Release();
        DestroyPlatformWindow(window);
        return 1;
    }
    ApplyDefaultRenderStates(device);

    PumpWindowEvents(window);
    const SRect rect = GetPlatformWindowRect(window);
    std::printf("window %d %d %d %d\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    DrawFrame(device);
    std::printf("ready\n");

    CInputState input = {};
    CInputState previous = {};
    const uint32_t start = GetTimeMs();
    uint32_t last = start;
    const char* reason = "timeout";
    for (;;) {
        if (PumpWindowEvents(window) != 0) {
            reason = "closed";
            break;
        }
        const uint32_t now = GetTimeMs();
        if (static_cast<int32_t>(now - last) < static_cast<int32_t>(kTickMs)) {
            SleepMs(1);
            continue;
        }
        last = now;
        if (now - start >= seconds * 1000u) break;
        CInputState::Update(&input, &mouse, now);
        ReportInput(input, previous);
        previous = input;
        if (input.IsKeyDown(DIK_ESCAPE)) {
            reason = "escape";
            break;
        }
        DrawFrame(device);
    }
    std::printf("quit %s\n", reason);

    ReleaseDirectInput();
    device->Release();
    DestroyPlatformWindow(window);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    uint32_t seconds = 10;
    bool fullscreen = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--fullscreen") == 0) {
            fullscreen = true;
        } else {
            seconds = static_cast<uint32_t>(std::strtoul(argv[i], nullptr, 10));
        }
    }
    return Run(seconds, fullscreen);
}
