#include "platform/input_state.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class InputStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        ReleaseDirectInput();
        ResetInputSource();
        ASSERT_EQ(InitDirectInput(), 0);
    }
    void TearDown() override {
        ReleaseDirectInput();
        ResetInputSource();
    }

    void Event(WindowEventType type, uint32_t x = 0, uint32_t y = 0) {
        UpdateMouseFields(&fields, SWindowEvent{type, x, y});
    }
    void Update(uint32_t frameTime) { CInputState::Update(&input, &fields, frameTime); }
    // x, y, moved, left down, left up, right down, right up.
    std::vector<int64_t> Mouse() const {
        return {input.mouseX,   input.mouseY,    input.mouseMoved, input.leftDown,
                input.leftUp,   input.rightDown, input.rightUp};
    }

    CInputState input = {};
    CMouseFields fields;
};

TEST_F(InputStateTest, MouseEventsShowInOneSnapshotAndThePositionStays) {
    Event(WindowEventType::MouseMove, 120, 340);
    Event(WindowEventType::LeftDown);
    Event(WindowEventType::LeftUp);
    Event(WindowEventType::RightDown);
    Update(1000);
    EXPECT_EQ(Mouse(), (std::vector<int64_t>{120, 340, 1, 1, 1, 1, 0}));
    Update(1015);
    EXPECT_EQ(Mouse(), (std::vector<int64_t>{120, 340, 0, 0, 0, 0, 0}));
    // Positions are unsigned 16-bit values.
    Event(WindowEventType::MouseMove, static_cast<uint32_t>(-3), 0x12345);
    Update(1030);
    EXPECT_EQ(input.mouseX, 0xFFFD);
    EXPECT_EQ(input.mouseY, 0x2345);
}

TEST_F(InputStateTest, KeysAreReadFromTheSecondTickAndHeldAsLevels) {
    FeedKey(DIK_RETURN, true);
    Update(1000);  // the keyboard is acquired by the first failing read
    EXPECT_FALSE(input.IsKeyDown(DIK_RETURN));
    Update(1015);
    EXPECT_EQ(input.keys[DIK_RETURN], 0x80);
    EXPECT_EQ(input.keys[DIK_SPACE], 0);
    Update(1030);
    EXPECT_TRUE(input.IsKeyDown(DIK_RETURN));
    FeedKey(DIK_RETURN, false);
    Update(1045);
    EXPECT_FALSE(input.IsKeyDown(DIK_RETURN));

    // A tap between two ticks is seen once.
    FeedKey(DIK_ESCAPE, true);
    FeedKey(DIK_ESCAPE, false);
    Update(1060);
    EXPECT_TRUE(input.IsKeyDown(DIK_ESCAPE));
    Update(1075);
    EXPECT_FALSE(input.IsKeyDown(DIK_ESCAPE));
}

TEST_F(InputStateTest, KeyGuardHidesEveryKeyFor200Ms) {
    FeedKey(DIK_SPACE, true);
    FeedKey(DIK_DOWN, true);
    Update(5000);
    Update(5015);
    ASSERT_TRUE(input.IsKeyDown(DIK_SPACE));

    input.keyGuardTime = 5015;
    FeedKey(DIK_RETURN, true);
    FeedKey(DIK_RETURN, false);
    Update(5030);
    EXPECT_FALSE(input.IsKeyDown(DIK_SPACE));
    EXPECT_FALSE(input.IsKeyDown(DIK_DOWN));
    EXPECT_FALSE(input.IsKeyDown(DIK_RETURN));
    Update(5214);
    EXPECT_FALSE(input.IsKeyDown(DIK_SPACE)) << "199 ms after the guard";
    Update(5215);
    EXPECT_TRUE(input.IsKeyDown(DIK_SPACE)) << "200 ms after the guard";
    EXPECT_TRUE(input.IsKeyDown(DIK_DOWN));
    EXPECT_FALSE(input.IsKeyDown(DIK_RETURN)) << "a tap during the guard is not replayed after it";

    // The elapsed time is a signed difference across the timer's wrap-around.
    input.keyGuardTime = 0xFFFFFF00u;
    Update(0x00000010u);
    EXPECT_TRUE(input.IsKeyDown(DIK_SPACE));
    input.keyGuardTime = 0x00000010u;
    Update(0xFFFFFF00u);
    EXPECT_FALSE(input.IsKeyDown(DIK_SPACE)) << "a guard time in the future guards";
}

TEST_F(InputStateTest, FocusLossReleasesEverythingUntilTheWindowIsBack) {
    FeedKey(DIK_LCONTROL, true);
    Event(WindowEventType::MouseMove, 40, 50);
    Update(1000);
    Update(1015);
    ASSERT_TRUE(input.IsKeyDown(DIK_LCONTROL));

    FeedFocus(false);
    FeedKey(DIK_A, true);  // typed into another window
    Event(WindowEventType::LeftUp);
    FeedMouseWheel(kWheelDelta);
    Update(1030);
    EXPECT_FALSE(input.IsKeyDown(DIK_LCONTROL));
    EXPECT_FALSE(input.IsKeyDown(DIK_A));
    EXPECT_EQ(Mouse(), (std::vector<int64_t>{kMouseNowhere, kMouseNowhere, 0, 0, 0, 0, 0}));
    EXPECT_EQ(input.mouse.lZ, 0);
    EXPECT_EQ(fields.leftUp, 0u) << "events of the background are dropped";
    EXPECT_EQ(fields.mouseX, 40u);

    FeedFocus(true);
    FeedKey(DIK_LCONTROL, true);
    Update(1045);
    EXPECT_FALSE(input.IsKeyDown(DIK_LCONTROL)) << "the keyboard is acquired again first";
    EXPECT_EQ(input.mouseX, 40);
    Update(1060);
    EXPECT_TRUE(input.IsKeyDown(DIK_LCONTROL));
    EXPECT_FALSE(input.IsKeyDown(DIK_A));
}

TEST_F(InputStateTest, WheelAndMotionShowInExactlyOneSnapshot) {
    Update(1000);  // acquires the mouse: motion counts from here
    FeedMouseWheel(kWheelDelta);
    FeedMouseWheel(kWheelDelta);
    FeedMouseMotion(5, -7);
    FeedMouseButton(MouseButton::Right, true);
    Update(1015);
    EXPECT_EQ(input.mouse.lZ, 2 * kWheelDelta);
    EXPECT_EQ(input.mouse.lX, 5);
    EXPECT_EQ(input.mouse.lY, -7);
    EXPECT_EQ(input.mouse.rgbButtons[MouseButton::Right], 0x80);
    EXPECT_EQ(input.mouse.rgbButtons[MouseButton::Left], 0);
    Update(1030);
    EXPECT_EQ(input.mouse.lZ, 0);
    EXPECT_EQ(input.mouse.lX, 0);
    EXPECT_EQ(input.mouse.rgbButtons[MouseButton::Right], 0x80) << "buttons are levels";
    FeedMouseWheel(-kWheelDelta);
    Update(1045);
    EXPECT_EQ(input.mouse.lZ, -kWheelDelta);

    // Sums saturate instead of overflowing.
    FeedMouseWheel(INT32_MAX);
    FeedMouseWheel(INT32_MAX);
    FeedMouseMotion(INT32_MIN, 0);
    FeedMouseMotion(-1, 0);
    Update(1060);
    EXPECT_EQ(input.mouse.lZ, INT32_MAX);
    EXPECT_EQ(input.mouse.lX, INT32_MIN);
}

TEST_F(InputStateTest, WithoutDevicesOnlyTheMouseFieldsArrive) {
    ReleaseDirectInput();
    EXPECT_EQ(g_pKeyboard, nullptr);
    EXPECT_EQ(g_pMouse, nullptr);
    FeedKey(DIK_ESCAPE, true);
    FeedMouseWheel(kWheelDelta);
    Update(1000);
    Event(WindowEventType::RightUp);
    Update(1015);
    EXPECT_FALSE(input.IsKeyDown(DIK_ESCAPE));
    EXPECT_EQ(input.mouse.lZ, 0);
    EXPECT_EQ(input.rightUp, 1u);
}

TEST_F(InputStateTest, KeyboardIsAForegroundDeviceAndTheMouseABackgroundOne) {
    EXPECT_EQ(InitDirectInput(), -1) << "created once";
    uint8_t keys[256];
    EXPECT_EQ(g_pKeyboard->GetDeviceState(keys), DIERR_NOTACQUIRED);
    FeedFocus(false);
    EXPECT_EQ(g_pKeyboard->Acquire(), DIERR_OTHERAPPHASPRIO);
    FeedFocus(true);
    ASSERT_EQ(g_pKeyboard->Acquire(), kInputOk);
    FeedKey(DIK_Q, true);
    ASSERT_EQ(g_pKeyboard->GetDeviceState(keys), kInputOk);
    EXPECT_EQ(keys[DIK_Q], 0x80);
    FeedFocus(false);
    EXPECT_EQ(g_pKeyboard->GetDeviceState(keys), DIERR_INPUTLOST);
    EXPECT_EQ(g_pKeyboard->GetDeviceState(keys), DIERR_NOTACQUIRED);

    EXPECT_EQ(g_pMouse->Acquire(), kInputOk);
    EXPECT_EQ(g_pMouse->Poll(), kInputOk);
    EXPECT_EQ(g_pMouse->Unacquire(), kInputOk);
    EXPECT_EQ(g_pMouse->Poll(), DIERR_NOTACQUIRED);
}

}  // namespace
