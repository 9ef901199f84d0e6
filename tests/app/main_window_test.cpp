#include "app/main_window.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include "platform/sjis.h"

namespace {

struct SApp {
    int requests = 0;
    static void OnRequest(void* app) { ++static_cast<SApp*>(app)->requests; }
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        ResetInputSource();
        g_bWindowed = 1;
        g_SavedWindowRect = SRect{0, 0, 0, 0};
        ASSERT_EQ(CreateMainWindow(&window), 1);
        ASSERT_EQ(window, g_hWnd);
        link = CMainWindowLink{&mouse, SApp::OnRequest, &app};
    }
    void TearDown() override {
        FailNextDisplaySwitches(0);
        if (g_bWindowed == 0) SetDisplayMode(1);
        DestroyMainWindow();
        ResetInputSource();
    }

    // The pump records the button state before the window procedure sees the event.
    void Send(WindowEventType type, uint32_t x = 0, uint32_t y = 0) {
        if (type == WindowEventType::LeftDown || type == WindowEventType::LeftUp) {
            FeedMouseButton(MouseButton::Left, type == WindowEventType::LeftDown);
        }
        if (type == WindowEventType::RightDown || type == WindowEventType::RightUp) {
            FeedMouseButton(MouseButton::Right, type == WindowEventType::RightDown);
        }
        MainWndProc(&link, SWindowEvent{type, x, y});
    }

    CPlatformWindow* window = nullptr;
    CMouseFields mouse;
    SApp app;
    CMainWindowLink link;
};

TEST_F(MainWindowTest, MouseEventsFillTheFieldsAndHoldTheCapture) {
    Send(WindowEventType::MouseMove, 300, 200);
    EXPECT_EQ(mouse.mouseX, 300u);
    EXPECT_EQ(mouse.mouseY, 200u);
    EXPECT_EQ(mouse.mouseMoved, 1u);

    Send(WindowEventType::LeftDown);
    EXPECT_EQ(mouse.leftDown, 1u);
    EXPECT_TRUE(IsPlatformMouseCaptured(window));
    Send(WindowEventType::RightDown);
    Send(WindowEventType::LeftUp);
    EXPECT_EQ(mouse.leftUp, 1u);
    EXPECT_TRUE(IsPlatformMouseCaptured(window)) << "the right button is still held";
    Send(WindowEventType::RightUp);
    EXPECT_EQ(mouse.rightDown, 1u);
    EXPECT_EQ(mouse.rightUp, 1u);
    EXPECT_FALSE(IsPlatformMouseCaptured(window));

    Send(WindowEventType::RightDown);
    Send(WindowEventType::RightUp);
    EXPECT_FALSE(IsPlatformMouseCaptured(window));
}

TEST_F(MainWindowTest, EventsBeforeTheLinkAreOnlyPassedOn) {
    EXPECT_EQ(SjisToUtf8(kMainWindowTitle), "Velkora \xEF\xBD\x9ESarnith\xEF\xBD\x9E");  // Velkora ～Sarnith～
    EXPECT_EQ(CreateMainWindow(nullptr), 0) << "there is one main window";
    MainWndProc(nullptr, SWindowEvent{WindowEventType::LeftDown, 0, 0});
    MainWndProc(nullptr, SWindowEvent{WindowEventType::ExternalRequest, 0, 0});
    EXPECT_FALSE(IsPlatformMouseCaptured(window));

    // Unlinked, a request from outside is dropped; linked, it reaches the application.
    ASSERT_EQ(raise(SIGUSR1), 0);
    EXPECT_EQ(PumpWindowEvents(window), 0);
    EXPECT_EQ(app.requests, 0);
    LinkMainWindow(&mouse, SApp::OnRequest, &app);
    ASSERT_EQ(raise(SIGUSR1), 0);
    PumpWindowEvents(window);
    EXPECT_EQ(app.requests, 1);
    PumpWindowEvents(window);
    EXPECT_EQ(app.requests, 1);
}

TEST_F(MainWindowTest, FullScreenAndBackRestoreThePlaceAndTheScreenSaverAndAFailedSwitchChangesNothing) {
    MovePlatformWindow(window, 40, 30);
    const SRect before = GetPlatformWindowRect(window);
    FailNextDisplaySwitches(1);
    EXPECT_EQ(SetDisplayMode(0), -1);
    EXPECT_EQ(g_bWindowed, 1u);
    EXPECT_FALSE(IsPlatformFullscreen(window));
    ASSERT_TRUE(IsScreenSaverAllowed());

    ASSERT_EQ(SetDisplayMode(0), 0);
    EXPECT_EQ(g_bWindowed, 0u);
    EXPECT_TRUE(IsPlatformFullscreen(window));
    EXPECT_FALSE(IsScreenSaverAllowed());
    EXPECT_EQ(g_SavedWindowRect.left, before.left);
    EXPECT_EQ(g_SavedWindowRect.top, before.top);
    EXPECT_EQ(SetDisplayMode(0), 0);  // the mode in force is only recorded
    EXPECT_EQ(g_bWindowed, 0u);
    EXPECT_EQ(g_SavedWindowRect.left, before.left);
    FailNextDisplaySwitches(1);
    EXPECT_EQ(SetDisplayMode(1), -1);
    EXPECT_EQ(g_bWindowed, 0u);
    EXPECT_TRUE(IsPlatformFullscreen(window));

    ASSERT_EQ(SetDisplayMode(7), 0) << "any non-zero value means windowed";
    EXPECT_EQ(g_bWindowed, 1u);
    EXPECT_FALSE(IsPlatformFullscreen(window));
    EXPECT_TRUE(IsScreenSaverAllowed());
    const SRect after = GetPlatformWindowRect(window);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.right - after.left, 800);
    EXPECT_EQ(after.bottom - after.top, 600);

    AllowScreenSaver(false);  // a screen saver setting of the user's own is restored as it was
    ASSERT_EQ(SetDisplayMode(0), 0);
    ASSERT_EQ(SetDisplayMode(1), 0);
    EXPECT_FALSE(IsScreenSaverAllowed());
    AllowScreenSaver(true);
}

TEST(MainWindowWithoutWindowTest, RequestsAreRecorded) {
    ASSERT_EQ(g_hWnd, nullptr);
    g_bWindowed = 1;
    EXPECT_EQ(SetDisplayMode(0), 0);
    EXPECT_EQ(g_bWindowed, 0u);
    EXPECT_EQ(SetDisplayMode(1), 0);
    EXPECT_EQ(g_bWindowed, 1u);
}

}  // namespace
