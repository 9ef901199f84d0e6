#include "platform/input_devices.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <map>

namespace {

TEST(DikMappingTest, KeysTheGameReadsMapToTheirDirectInputCodes) {
    const std::map<SDL_Scancode, uint8_t> expected = {
        {SDL_SCANCODE_ESCAPE, 0x01},   {SDL_SCANCODE_RETURN, 0x1C},  {SDL_SCANCODE_LCTRL, 0x1D},
        {SDL_SCANCODE_SPACE, 0x39},    {SDL_SCANCODE_KP_ENTER, 0x9C}, {SDL_SCANCODE_RCTRL, 0x9D},
        {SDL_SCANCODE_UP, 0xC8},       {SDL_SCANCODE_PAGEUP, 0xC9},  {SDL_SCANCODE_LEFT, 0xCB},
        {SDL_SCANCODE_RIGHT, 0xCD},    {SDL_SCANCODE_DOWN, 0xD0},    {SDL_SCANCODE_PAGEDOWN, 0xD1},
        {SDL_SCANCODE_A, 0x1E},        {SDL_SCANCODE_Q, 0x10},       {SDL_SCANCODE_Z, 0x2C},
        {SDL_SCANCODE_M, 0x32},        {SDL_SCANCODE_1, 0x02},       {SDL_SCANCODE_0, 0x0B},
        {SDL_SCANCODE_F1, 0x3B},       {SDL_SCANCODE_F10, 0x44},     {SDL_SCANCODE_F11, 0x57},
        {SDL_SCANCODE_F12, 0x58},      {SDL_SCANCODE_KP_0, 0x52},    {SDL_SCANCODE_KP_9, 0x49},
        {SDL_SCANCODE_LSHIFT, 0x2A},   {SDL_SCANCODE_RSHIFT, 0x36},  {SDL_SCANCODE_LALT, 0x38},
        {SDL_SCANCODE_RALT, 0xB8},     {SDL_SCANCODE_HOME, 0xC7},    {SDL_SCANCODE_END, 0xCF},
        {SDL_SCANCODE_INSERT, 0xD2},   {SDL_SCANCODE_DELETE, 0xD3},  {SDL_SCANCODE_BACKSPACE, 0x0E},
        {SDL_SCANCODE_TAB, 0x0F},      {SDL_SCANCODE_KP_DIVIDE, 0xB5}, {SDL_SCANCODE_INTERNATIONAL3, 0x7D},
    };
    for (const auto& [scancode, dik] : expected) {
        EXPECT_EQ(DikFromScancode(scancode), dik) << SDL_GetScancodeName(scancode);
    }
}

TEST(DikMappingTest, EveryCodeComesFromOneKeyAndUnknownKeysHaveNone) {
    std::map<uint8_t, int> users;
    for (int scancode = 0; scancode < SDL_NUM_SCANCODES; ++scancode) {
        const uint8_t dik = DikFromScancode(scancode);
        if (dik != 0) ++users[dik];
    }
    for (const auto& [dik, count] : users) {
        // The ISO key beside Enter and the ANSI backslash are the same key position.
        const int allowed = dik == DIK_BACKSLASH ? 2 : 1;
        EXPECT_LE(count, allowed) << "DIK code 0x" << std::hex << int(dik);
    }
    EXPECT_GT(users.size(), 120u);
    EXPECT_EQ(DikFromScancode(SDL_SCANCODE_UNKNOWN), 0);
    EXPECT_EQ(DikFromScancode(SDL_SCANCODE_AC_BOOKMARKS + 1000), 0);
    EXPECT_EQ(DikFromScancode(-1), 0);
    EXPECT_EQ(DikFromScancode(SDL_NUM_SCANCODES), 0);
}

}  // namespace
