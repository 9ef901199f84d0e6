#include "platform/window.h"

#include <gtest/gtest.h>
#include <signal.h>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <vector>

#include "platform/external_request.h"
#include "platform/graphics.h"
#include "platform/input_state.h"
#include "platform/single_instance.h"
#include "platform/window_sdl.h"
#include "tests/files/temp_folder.h"
#include "tests/platform/scoped_env.h"

// SDL events are built with designated initializers: the fields left out are zero.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        ReleaseDirectInput();
        ResetInputSource();
        ASSERT_EQ(InitDirectInput(), 0);
        window = CreatePlatformWindow("Test", 800, 600);
        ASSERT_NE(window, nullptr);
        SetWindowProcedure(
            window, [](void* user, const SWindowEvent& event) { static_cast<WindowTest*>(user)->events.push_back(event); },
            this);
        id = SDL_GetWindowID(GetSdlWindow(window));
        PumpWindowEvents(window);
        events.clear();
    }
    void TearDown() override {
        DestroyPlatformWindow(window);
        ReleaseDirectInput();
        ResetInputSource();
    }

    void Push(SDL_Event event) { ASSERT_EQ(SDL_PushEvent(&event), 1); }
    void PushMotion(int32_t x, int32_t y, int32_t dx, int32_t dy) {
        Push({.motion = {.type = SDL_MOUSEMOTION, .windowID = id, .x = x, .y = y, .xrel = dx, .yrel = dy}});
    }
    void PushButton(uint8_t button, bool down, uint32_t windowId = 0) {
        Push({.button = {.type = uint32_t(down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP),
                         .windowID = windowId != 0 ? windowId : id,
                         .button = button,
                         .state = uint8_t(down ? SDL_PRESSED : SDL_RELEASED),
                         .x = 10,
                         .y = 20}});
    }
    void PushKey(SDL_Scancode scancode, bool down) {
        Push({.key = {.type = uint32_t(down ? SDL_KEYDOWN : SDL_KEYUP), .windowID = id, .keysym = {.scancode = scancode}}});
    }
    void PushWheel(int32_t y, uint32_t direction) {
        Push({.wheel = {.type = SDL_MOUSEWHEEL, .windowID = id, .y = y, .direction = direction, .preciseY = float(y)}});
    }
    void PushWindowEvent(uint8_t type) { Push({.window = {.type = SDL_WINDOWEVENT, .windowID = id, .event = type}}); }
    void Tick() {
        PumpWindowEvents(window);
        for (const SWindowEvent& event : events) UpdateMouseFields(&fields, event);
        events.clear();
        frameTime += 15;
        CInputState::Update(&input, &fields, frameTime);
    }

    CPlatformWindow* window = nullptr;
    uint32_t id = 0;
    std::vector<SWindowEvent> events;
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
    PushButton(SDL_BUTTON_MIDDLE, true);            // no window event, only the device
    PushButton(SDL_BUTTON_RIGHT, true, id + 1000);  // another window's: ignored
    EXPECT_EQ(PumpWindowEvents(window), 0);

    std::vector<std::vector<uint32_t>> seen;
    for (const SWindowEvent& e : events) seen.push_back({uint32_t(e.type), e.x, e.y});
    using W = WindowEventType;
    EXPECT_EQ(seen, (std::vector<std::vector<uint32_t>>{{uint32_t(W::MouseMove), 799, 0},
                                                        {uint32_t(W::MouseMove), 0xFFFB, 650},
                                                        {uint32_t(W::LeftDown), 10, 20},
                                                        {uint32_t(W::RightDown), 10, 20},
                                                        {uint32_t(W::LeftUp), 10, 20}}));
    EXPECT_FALSE(IsMouseButtonHeld(MouseButton::Left));
    EXPECT_TRUE(IsMouseButtonHeld(MouseButton::Right));
    EXPECT_TRUE(IsMouseButtonHeld(MouseButton::Middle));
}

TEST_F(WindowTest, KeysWheelAndFocusArriveInTheInputState) {
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

    // Focus changes reach the devices (what they do then is the input state's business).
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    Tick();
    EXPECT_FALSE(HasInputFocus());
    EXPECT_FALSE(input.IsKeyDown(DIK_NUMPADENTER));
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
    PumpWindowEvents(window);
    EXPECT_TRUE(HasInputFocus());
}

TEST_F(WindowTest, ClosingOrQuittingEndsThePumpForGood) {
    EXPECT_EQ(PumpWindowEvents(window), 0);
    PushWindowEvent(SDL_WINDOWEVENT_CLOSE);
    EXPECT_EQ(PumpWindowEvents(window), 1);
    EXPECT_EQ(PumpWindowEvents(window), 1);
    DestroyPlatformWindow(window);
    window = CreatePlatformWindow("Test", 800, 600);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(PumpWindowEvents(window), 0);
    Push({.quit = {.type = SDL_QUIT}});
    EXPECT_EQ(PumpWindowEvents(window), 1);
}

TEST_F(WindowTest, ClientAreaKeepsItsSize) {
    SDL_Window* sdlWindow = GetSdlWindow(window);
    int width = 0, height = 0;
    SDL_SetWindowSize(sdlWindow, 640, 480);
    PumpWindowEvents(window);
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
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, WindowEventType::ExternalRequest);
    PumpWindowEvents(window);
    EXPECT_EQ(events.size(), 1u);
}

// A frame whose every pixel tells where it is (and which frame it belongs to).
std::vector<uint32_t> CodedFrame(uint32_t tag) {
    std::vector<uint32_t> pixels(800 * 600);
    for (uint32_t i = 0; i < pixels.size(); ++i) pixels[i] = tag << 24 | (i % 800 % 256) << 16 | (i / 800 % 256) << 8 | i % 251;
    return pixels;
}

// What the window's own surface shows at (x, y), as 0xRRGGBB.
uint32_t Shown(CPlatformWindow* window, int x, int y) {
    SDL_Surface* surface = SDL_GetWindowSurface(GetSdlWindow(window));
    uint32_t pixel = 0;
    SDL_ConvertPixels(1, 1, surface->format->format,
                      static_cast<uint8_t*>(surface->pixels) + y * surface->pitch + x * surface->format->BytesPerPixel,
                      surface->pitch, SDL_PIXELFORMAT_ARGB8888, &pixel, 4);
    return pixel & 0xFFFFFFu;
}

TEST_F(WindowTest, PresentSendsTheChangedRectanglesToTheWindowSurface) {
    ASSERT_EQ(SDL_GetRenderer(GetSdlWindow(window)), nullptr) << "no GPU here: frames go to the window surface";
    std::vector<uint32_t> first = CodedFrame(0x00);
    SPresentFrame frame = {first.data(), 800 * 4, 800, 600, nullptr, 0};
    PresentToWindow(window, frame);  // the first frame is shown whole, whatever changed
    for (const auto& [x, y] : {std::pair{0, 0}, {799, 0}, {321, 400}, {799, 599}})
        EXPECT_EQ(Shown(window, x, y), first[y * 800 + x] & 0xFFFFFFu) << x << "," << y;

    // Only the changed rectangles travel: the rest of the window keeps the first frame.
    std::vector<uint32_t> second = CodedFrame(0x00);
    for (uint32_t& pixel : second) pixel ^= 0x00FFFFFFu;
    const SRect changed[] = {{10, 20, 30, 40}, {700, 500, 800, 600}};
    frame = {second.data(), 800 * 4, 800, 600, changed, 2};
    PresentToWindow(window, frame);
    EXPECT_EQ(Shown(window, 10, 20), second[20 * 800 + 10] & 0xFFFFFFu);
    EXPECT_EQ(Shown(window, 799, 599), second[599 * 800 + 799] & 0xFFFFFFu);
    EXPECT_EQ(Shown(window, 30, 20), first[20 * 800 + 30] & 0xFFFFFFu) << "outside the changed rectangles";

    // An exposed window is shown whole again.
    PushWindowEvent(SDL_WINDOWEVENT_EXPOSED);
    PumpWindowEvents(window);
    frame.changedCount = 0;
    PresentToWindow(window, frame);
    EXPECT_EQ(Shown(window, 30, 20), second[20 * 800 + 30] & 0xFFFFFFu);

    // Malformed frames are ignored.
    frame.pitchBytes = 100;
    PresentToWindow(window, frame);
    frame = {nullptr, 800 * 4, 800, 600, nullptr, 0};
    PresentToWindow(window, frame);
    frame.pixels = second.data();
    PresentToWindow(nullptr, frame);
}

// Full screen on the desktop's 1024 × 768 mode: the whole picture is scaled to the window's size
// (nothing cropped), and mouse positions come back in picture pixels.
TEST_F(WindowTest, FullScreenScalesThePictureToTheWindowAndMapsTheMouseBack) {
    ASSERT_EQ(SetPlatformFullscreen(window, true), 0);
    PumpWindowEvents(window);
    events.clear();
    SDL_Surface* surface = SDL_GetWindowSurface(GetSdlWindow(window));
    ASSERT_NE(surface, nullptr);
    ASSERT_EQ(surface->w, 1024);
    ASSERT_EQ(surface->h, 768);
    std::vector<uint32_t> pixels(800 * 600, 0xFF000000u);
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x) pixels[y * 800 + x] |= (x < 400 ? 0xFF0000u : 0x00FF00u) | (y < 300 ? 0 : 0xFFu);
    const SPresentFrame frame = {pixels.data(), 800 * 4, 800, 600, nullptr, 0};
    PresentToWindow(window, frame);
    EXPECT_EQ(Shown(window, 5, 5), 0xFF0000u);
    EXPECT_EQ(Shown(window, 1018, 5), 0x00FF00u) << "the right edge is not cropped";
    EXPECT_EQ(Shown(window, 5, 762), 0xFF00FFu) << "nor the bottom";
    EXPECT_EQ(Shown(window, 1018, 762), 0x00FFFFu);

    PushMotion(1023, 767, 1, 1);
    PushMotion(512, 384, 1, 1);
    PumpWindowEvents(window);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].x, 799u);
    EXPECT_EQ(events[0].y, 599u);
    EXPECT_EQ(events[1].x, 400u);
    EXPECT_EQ(events[1].y, 300u);
    ASSERT_EQ(SetPlatformFullscreen(window, false), 0);
}

TEST(WindowRendererTest, TheUsersRenderDriverIsRespected) {
    const CScopedEnv video("SDL_VIDEODRIVER", "dummy");
    const CScopedEnv driver("SDL_RENDER_DRIVER", "software");
    CPlatformWindow* window = CreatePlatformWindow("Test", 800, 600);
    ASSERT_NE(window, nullptr);
    SDL_Renderer* renderer = SDL_GetRenderer(GetSdlWindow(window));
    ASSERT_NE(renderer, nullptr);
    SDL_RendererInfo info;
    ASSERT_EQ(SDL_GetRendererInfo(renderer, &info), 0);
    EXPECT_STREQ(info.name, "software");

    std::vector<uint32_t> pixels = CodedFrame(0xFF);
    PresentToWindow(window, SPresentFrame{pixels.data(), 800 * 4, 800, 600, nullptr, 0});
    std::vector<uint32_t> shown(800 * 600);
    ASSERT_EQ(SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, shown.data(), 800 * 4), 0);
    for (uint32_t point : {0u, 799u, 600u * 400u + 321u, 800u * 600u - 1u})
        EXPECT_EQ(shown[point] & 0xFFFFFFu, pixels[point] & 0xFFFFFFu) << "pixel " << point;
    DestroyPlatformWindow(window);
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
    const CTempFolder folder;
    ASSERT_EQ(AcquireSingleInstance(folder.Path()), 1);
    CInstanceLock later;
    EXPECT_EQ(AcquireInstanceLock(&later, folder.Path()), 0);
    EXPECT_EQ(PumpWindowEvents(window), 0);
    EXPECT_EQ(PollSingleInstance(), 0) << "the pump has taken the request";
    ReleaseSingleInstance();
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

namespace {

// The program never runs without its window on its own: a display that is asked for and cannot
// be opened, or none asked for, is said on stderr and no window is made. Only SDL_VIDEODRIVER
// chooses the dummy driver.
TEST(WindowDisplayTest, ADisplayThatCannotBeOpenedGivesNoWindowAndSaysWhy) {
#if defined(__SANITIZE_ADDRESS__)
    // SDL's failed X11 start leaves a D-Bus allocation that only SDL_Quit would free.
    const __lsan::ScopedDisabler sdlAllocations;
#endif
    const CScopedEnv driver("SDL_VIDEODRIVER", nullptr);
    const CScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
    {
        const CScopedEnv display("DISPLAY", "127.0.0.1:4711.0");  // no X server listens there
        testing::internal::CaptureStderr();
        EXPECT_EQ(CreatePlatformWindow("Test", 800, 600), nullptr);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("cannot open the display (DISPLAY=127.0.0.1:4711.0): "), std::string::npos) << said;
    }
    {
        const CScopedEnv display("DISPLAY", nullptr);
        testing::internal::CaptureStderr();
        EXPECT_EQ(CreatePlatformWindow("Test", 800, 600), nullptr);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("no display to open: DISPLAY and WAYLAND_DISPLAY are not set"), std::string::npos) << said;
    }
    const CScopedEnv dummy("SDL_VIDEODRIVER", "dummy");
    CPlatformWindow* window = CreatePlatformWindow("Test", 800, 600);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsHeadlessWindow(window));
    DestroyPlatformWindow(window);
}

// The request handler outlives the window: a request during the rest of the shutdown does not
// end the program; and one that came while the signal was blocked by whoever started the
// program arrives once the handler is installed.
TEST(ExternalRequestTest, TheHandlerStaysAfterTheWindowAndUnblocksTheSignal) {
    sigset_t request;
    sigemptyset(&request);
    sigaddset(&request, SIGUSR1);
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &request, nullptr), 0);
    DropExternalRequests();
    ASSERT_EQ(raise(SIGUSR1), 0);  // pending while blocked
    ASSERT_EQ(InstallExternalRequestHandler(), 0);
    EXPECT_TRUE(TakeExternalRequest());

    const CScopedEnv dummy("SDL_VIDEODRIVER", "dummy");
    CPlatformWindow* window = CreatePlatformWindow("Test", 800, 600);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(raise(SIGUSR1), 0);
    DestroyPlatformWindow(window);
    EXPECT_FALSE(TakeExternalRequest()) << "the window's end drops a pending request";
    for (int i = 0; i < 100; ++i) ASSERT_EQ(raise(SIGUSR1), 0);  // the process lives on
    EXPECT_TRUE(TakeExternalRequest());
    RemoveExternalRequestHandler();
}

}  // namespace
