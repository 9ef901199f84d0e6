#include "engine/engine_settings.h"

#include <gtest/gtest.h>

namespace {

TEST(EngineSettings, DefaultsMatchTheEngineTableAndTheStoredWordOrder) {
    CEngineSettings s;
    SetDefaultEngineSettings(&s);
    EXPECT_EQ(s.windowColour, 0xFFFFFFFFu);
    EXPECT_EQ(s.fontMode, 1u);
    EXPECT_STREQ(s.font.face, "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E");  // ＭＳ ゴシック
    EXPECT_EQ(s.font.height, 24);
    EXPECT_EQ(s.textFlags, 3u);
    EXPECT_EQ(s.textEffect, 2u);
    EXPECT_EQ(s.textSpeed, 100u);
    EXPECT_EQ(s.bgmVolume, 0);
    // Word 16 is the auto wait (250), word 20 the effects switch (on).
    const uint32_t* words = reinterpret_cast<const uint32_t*>(&s);
    EXPECT_EQ(words[16], 250u);
    EXPECT_EQ(words[20], 1u);
}

}  // namespace
