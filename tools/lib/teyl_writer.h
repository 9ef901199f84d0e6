// Writes TEYL raw pictures for the tools and the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The file's bytes: "TEYL", width, height, then the pixels (0xAARRGGBB, top row first) stored
// little-endian. `pixels` holds width × height values.
std::vector<uint8_t> BuildTeyl(int32_t width, int32_t height, const uint32_t* pixels);

// Writes a TEYL file to a native path. 0 / -1.
int32_t WriteTeylFile(const std::string& path, int32_t width, int32_t height, const uint32_t* pixels);
