// Encoders of small test pictures.
#pragma once

#include <cstdint>
#include <vector>

// A PNG of width × height pixels (0xAARRGGBB, top row first), alpha kept. Empty on failure.
std::vector<uint8_t> EncodeTestPng(uint32_t width, uint32_t height, const std::vector<uint32_t>& pixels);
