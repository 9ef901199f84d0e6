// Save files built byte by byte from the layout, independently of the program's writer, and
// the reader the tests use to check what the program wrote.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/types.h"

struct STestSave {
    SSystemTime time = {2024, 5, 0, 17, 13, 45, 30, 250};
    std::string thumbnailName;                              // empty: pixels
    std::function<uint32_t(uint32_t, uint32_t)> thumbnail;  // ARGB of thumbnail pixel (c, r)
    std::string caption = "caption";
    std::vector<uint8_t> state;
};

std::vector<uint8_t> BuildSaveBytes(const STestSave& save);

// The head of a save file as the layout describes it, read from bytes.
struct SParsedSave {
    bool ok = false;
    uint16_t date[7] = {};
    uint32_t nameLength = 0;  // N
    std::string thumbnailName;
    std::vector<uint8_t> pixels;  // 30,000 bytes when N = 0
    uint32_t captionLength = 0;   // L
    std::string caption;
    uint32_t stateSize = 0;       // S
    size_t stateOffset = 0;       // file offset of the engine state
};

SParsedSave ParseSaveBytes(const std::vector<uint8_t>& bytes);

// The plain bytes of a masked region: every byte XORed with key[absolute offset mod 32].
std::vector<uint8_t> Unmask(const std::vector<uint8_t>& bytes, size_t from, size_t to, const uint8_t key[32]);
