#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "platform/message_box.h"
#include "platform/window.h"

namespace {

TEST(MessageBoxTest, HeadlessBoxIsOneLineOnStderrAndNeverBlocks) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    CPlatformWindow* window = CreatePlatformWindow("Box", 800, 600);
    ASSERT_NE(window, nullptr);
    SuppressMessageBoxWindows(false);  // the dummy display alone keeps the window away
    TakeShownMessages();

    // "ファイルのオープンに失敗しました\n"a.txt""
    const char text[] = "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xCC\x83\x49\x81\x5B\x83\x76\x83\x93\x82\xC9"
                        "\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD\n\"a.txt\"";
    testing::internal::CaptureStderr();
    ShowMessageBox(text, "Error!!", MessageBoxStyle::IconError | MessageBoxStyle::Topmost);
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed, "[Error!!] \xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB\xE3\x81\xAE\xE3\x82\xAA"
                       "\xE3\x83\xBC\xE3\x83\x97\xE3\x83\xB3\xE3\x81\xAB\xE5\xA4\xB1\xE6\x95\x97\xE3\x81\x97"
                       "\xE3\x81\xBE\xE3\x81\x97\xE3\x81\x9F \"a.txt\"\n");

    const auto shown = TakeShownMessages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], std::string("Error!!|") + text) << "the kept text is the Shift-JIS original";
    DestroyPlatformWindow(window);
}

TEST(MessageBoxTest, ARunThatNobodyAsksKeepsOnlyTheLatestBoxes) {
    SuppressMessageBoxWindows(true);
    TakeShownMessages();
    testing::internal::CaptureStderr();
    for (int i = 0; i < 100; ++i) ShowMessageBox(std::to_string(i).c_str(), "Error!!", MessageBoxStyle::IconError);
    testing::internal::GetCapturedStderr();
    const auto shown = TakeShownMessages();
    ASSERT_EQ(shown.size(), 64u);
    EXPECT_EQ(shown.front(), "Error!!|36");
    EXPECT_EQ(shown.back(), "Error!!|99");
    SuppressMessageBoxWindows(false);
}

}  // namespace
