#include "platform/window.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/external_request.h"
#include "platform/input_state.h"
#include "platform/single_instance.h"
#include "platform/window_sdl.h"

namespace {

struct SRecorder {
    std::vector<SWindowEvent> events;
    static void Procedure(void* user, const SWindowEvent& event) {
        static_cast<SRecorder*>(user)->events.push_back(event);
    }
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        ReleaseDirectInput();
        ResetInputSource();
        ASSERT_EQ(InitDirectInput(), 0);
        window = CreatePlatformWindow("Test", 800, 600);
        ASSERT_NE(window, nullptr);
        SetWindowProcedure(window, SRecorder::Procedure, &recorder);
        id = SDL_GetWindowID(GetSdlWindow(window));
        PumpWindowEvents(window);
        recorder.events.clear();
    }
    void TearDown() override {
        DestroyPlatformWindow(window);
        ReleaseDirectInput();
        ResetInputSource();
    }

    void PushMotion(int32_t x, int32_t y, int32_t dx, int32_t dy) {
        SDL_Event event = {};
        event.type = SDL_MOUSEMOTION;
        event.motion.windowID = id;
        event.motion.x = x;
        event.motion.y = y;
        event.motion.xrel = dx;
        event.motion.yrel = dy;
        SDL_PushEvent(&event);
    }
    void PushButton(uint8_t button, bool down, uint32_t windowId = 0) {
        SDL_Event event = {};
        event.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        event.button.windowID = windowId != 0 ? windowId : id;
        event.button.button = button;
        event.button.state = down ? SDL_PRESSED : SDL_RELEASED;
        event.button.x = 10;
        event.button.y = 20;
        SDL_PushEvent(&event);
    }
    void PushKey(SDL_Scancode scancode, bool down) {
        SDL_Event event = {};
        event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        event.key.windowID = id;
        event.key.keysym.scancode = scancode;
        SDL_PushEvent(&event);
    }
    void PushWheel(int32_t y, uint32_t direction) {
        SDL_Event event = {};
        event.type = SDL_MOUSEWHEEL;
        event.wheel.windowID = id;
        event.wheel.y = y;
        event.wheel.preciseY = static_cast<float>(y);
        event.wheel.direction = direction;
        SDL_PushEvent(&event);
    }
    void PushWindowEvent(uint8_t type) {
        SDL_Event event = {};
        event.type = SDL_WINDOWEVENT;
        event.window.windowID = id;
        event.window.event = type;
        SDL_PushEvent(&event);
    }
    void Tick() {
        PumpWindowEvents(window);
        for (const SWindowEvent& event : recorder.events) UpdateMouseFields(&fields, event);
        recorder.events.clear();
        frameTime += 15;
        CInputState::Update(&input, &fields, frameTime);
    }

    CPlatformWindow* window = nullptr;
    uint32_t id = 0;
    SRecorder recorder;
    CMouseFields fields;
    CInputState input = {};
    uint32_t frameTime = 1000;
};

TEST_F(WindowTest, MouseEventsReachTheProcedureInClientCoordinates) {
    PushMotion(799, 0, 3, 4);
    PushMotion(-5, 650, -2, 1);  // outside the window while captured
    PushButton(SDL_BUTTON_LEFT, true);
    PushButton(SDL_BUTTON_RIGHT, true);
    PushButton(SDL_BUTTON_LEFT, false);
    PushButton(SDL_BUTTON_MIDDLE, true);                 // no window event, only the device
    PushButton(SDL_BUTTON_RIGHT, true, id + 1000);       // another window's: ignored
    EXPECT_EQ(PumpWindowEvents(window), 0);

    ASSERT_EQ(recorder.events.size(), 5u);
    EXPECT_EQ(recorder.events[0].type, WindowEventType::MouseMove);
    EXPECT_EQ(recorder.events[0].x, 799u);
    EXPECT_EQ(recorder.events[0].y, 0u);
    EXPECT_EQ(recorder.events[1].x, 0xFFFBu);
    EXPECT_EQ(recorder.events[1].y, 650u);
    EXPECT_EQ(recorder.events[2].type, WindowEventType::LeftDown);
    EXPECT_EQ(recorder.events[3].type, WindowEventType::RightDown);
    EXPECT_EQ(recorder.events[4].type, WindowEventType::LeftUp);
    EXPECT_FALSE(IsMouseButtonHeld(MouseButton::Left));
    EXPECT_TRUE(IsMouseButtonHeld(MouseButton::Right));
    EXPECT_TRUE(IsMouseButtonHeld(MouseButton::Middle));
}

TEST_F(WindowTest, KeysAndWheelArriveInTheInputState) {
    Tick();  // acquires the devices
    PushKey(SDL_SCANCODE_RETURN, true);
    PushKey(SDL_SCANCODE_KP_ENTER, true);
    PushWheel(1, SDL_MOUSEWHEEL_NORMAL);
    PushMotion(100, 200, 6, -2);
    Tick();
    EXPECT_TRUE(input.IsKeyDown(DIK_RETURN));
    EXPECT_TRUE(input.IsKeyDown(DIK_NUMPADENTER));
    EXPECT_EQ(input.mouse.lZ, kWheelDelta);
    EXPECT_EQ(input.mouse.lX, 6);
    EXPECT_EQ(input.mouseX, 100);
    EXPECT_EQ(input.mouseMoved, 1u);

    PushKey(SDL_SCANCODE_RETURN, false);
    PushWheel(2, SDL_MOUSEWHEEL_FLIPPED);
    Tick();
    EXPECT_FALSE(input.IsKeyDown(DIK_RETURN));
    EXPECT_TRUE(input.IsKeyDown(DIK_NUMPADENTER));
    EXPECT_EQ(input.mouse.lZ, -2 * kWheelDelta);
    EXPECT_EQ(input.mouseMoved, 0u);
    Tick();
    EXPECT_EQ(input.mouse.lZ, 0);
}

TEST_F(WindowTest, FocusEventsDriveTheForegroundState) {
    Tick();
    PushKey(SDL_SCANCODE_SPACE, true);
    Tick();
    ASSERT_TRUE(input.IsKeyDown(DIK_SPACE));
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    Tick();
    EXPECT_FALSE(HasInputFocus());
    EXPECT_FALSE(input.IsKeyDown(DIK_SPACE));
    EXPECT_EQ(input.mouseX, kMouseNowhere);
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
    PushKey(SDL_SCANCODE_SPACE, true);
    Tick();
    Tick();
    EXPECT_TRUE(HasInputFocus());
    EXPECT_TRUE(input.IsKeyDown(DIK_SPACE));
}

TEST_F(WindowTest, ClosingTheWindowAsksToQuitForGood) {
    EXPECT_EQ(PumpWindowEvents(window), 0);
    PushWindowEvent(SDL_WINDOWEVENT_CLOSE);
    EXPECT_EQ(PumpWindowEvents(window), 1);
    EXPECT_EQ(PumpWindowEvents(window), 1);
}

TEST_F(WindowTest, QuitEventAsksToQuit) {
    SDL_Event event = {};
    event.type = SDL_QUIT;
    SDL_PushEvent(&event);
    EXPECT_EQ(PumpWindowEvents(window), 1);
}

TEST_F(WindowTest, ClientAreaKeepsItsSize) {
    SDL_Window* sdlWindow = GetSdlWindow(window);
    SDL_SetWindowSize(sdlWindow, 640, 480);
    PumpWindowEvents(window);
    int width = 0;
    int height = 0;
    SDL_GetWindowSize(sdlWindow, &width, &height);
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 600);

    SDL_SetWindowSize(sdlWindow, 800, 480);  // one dimension right: left alone
    PumpWindowEvents(window);
    SDL_GetWindowSize(sdlWindow, &width, &height);
    EXPECT_EQ(height, 480);
}

TEST_F(WindowTest, SignalBecomesOneExternalRequest) {
    ASSERT_EQ(raise(SIGUSR1), 0);
    ASSERT_EQ(raise(SIGUSR1), 0);
    PumpWindowEvents(window);
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(recorder.events[0].type, WindowEventType::ExternalRequest);
    PumpWindowEvents(window);
    EXPECT_EQ(recorder.events.size(), 1u);
}

TEST_F(WindowTest, PresentShowsTheBackBuffer) {
    std::vector<uint32_t> pixels(800 * 600, 0xFF000000u);
    for (uint32_t y = 0; y < 600; ++y) {
        for (uint32_t x = 0; x < 800; ++x) {
            pixels[y * 800 + x] = 0xFF000000u | (x % 256) << 16 | (y % 256) << 8 | (x + y) % 256;
        }
    }
    pixels[0] = 0x00FF0000u;  // the alpha byte of the back buffer is not used
    PresentToWindow(window, pixels.data(), 800 * 4, 800, 600);

    SDL_Renderer* renderer = SDL_GetRenderer(GetSdlWindow(window));
    ASSERT_NE(renderer, nullptr);
    std::vector<uint32_t> shown(800 * 600);
    ASSERT_EQ(SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, shown.data(), 800 * 4), 0);
    EXPECT_EQ(shown[0] & 0xFFFFFFu, 0xFF0000u);
    for (uint32_t point : {1u, 799u, 600u * 400u + 321u, 800u * 600u - 1u}) {
        EXPECT_EQ(shown[point] & 0xFFFFFFu, pixels[point] & 0xFFFFFFu) << "pixel " << point;
    }

    // Malformed frames are ignored.
    PresentToWindow(window, pixels.data(), 100, 800, 600);
    PresentToWindow(window, nullptr, 800 * 4, 800, 600);
    PresentToWindow(nullptr, pixels.data(), 800 * 4, 800, 600);
}

TEST_F(WindowTest, CaptureAndFullscreenBookkeeping) {
    EXPECT_TRUE(IsHeadlessWindow(window));
    EXPECT_EQ(GetPlatformWindow(), window);
    EXPECT_EQ(CreatePlatformWindow("Second", 800, 600), nullptr) << "one window per program";
    CapturePlatformMouse(window, true);
    EXPECT_TRUE(IsPlatformMouseCaptured(window));
    CapturePlatformMouse(window, false);
    EXPECT_FALSE(IsPlatformMouseCaptured(window));

    ASSERT_EQ(SetPlatformFullscreen(window, true), 0);
    EXPECT_TRUE(IsPlatformFullscreen(window));
    ASSERT_EQ(SetPlatformFullscreen(window, false), 0);
    EXPECT_FALSE(IsPlatformFullscreen(window));
    const SRect rect = GetPlatformWindowRect(window);
    EXPECT_EQ(rect.right - rect.left, 800);
    EXPECT_EQ(rect.bottom - rect.top, 600);

    FailNextDisplaySwitches(1);
    EXPECT_EQ(SetPlatformFullscreen(window, true), -1);
    EXPECT_FALSE(IsPlatformFullscreen(window));
    EXPECT_EQ(SetPlatformFullscreen(window, true), 0);
    EXPECT_EQ(SetPlatformFullscreen(window, false), 0);
}

TEST_F(WindowTest, PumpTakesTheRaiseRequestsOfLaterCopies) {
    char folder[] = "/tmp/window_test_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string lockPath = std::string(folder) + "/velkora.lock";
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    const std::string savedRuntime = runtime != nullptr ? runtime : "";
    setenv("XDG_RUNTIME_DIR", folder, 1);
    ASSERT_EQ(AcquireSingleInstance(), 1);

    CInstanceLock later;
    EXPECT_EQ(AcquireInstanceLock(&later, lockPath), 0);
    EXPECT_EQ(PumpWindowEvents(window), 0);
    EXPECT_EQ(PollSingleInstance(), 0) << "the pump has taken the request";

    ReleaseSingleInstance();
    if (runtime != nullptr) {
        setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
    } else {
        unsetenv("XDG_RUNTIME_DIR");
    }
    unlink(lockPath.c_str());
    rmdir(folder);
}

TEST(ExternalRequestTest, FlagIsTakenOnce) {
    ASSERT_EQ(InstallExternalRequestHandler(), 0);
    EXPECT_FALSE(TakeExternalRequest());
    ASSERT_EQ(raise(SIGUSR1), 0);
    EXPECT_TRUE(TakeExternalRequest());
    EXPECT_FALSE(TakeExternalRequest());
    ASSERT_EQ(raise(SIGUSR1), 0);
    RemoveExternalRequestHandler();
    EXPECT_FALSE(TakeExternalRequest()) << "removing the handler drops a pending request";
}

}  // namespace
