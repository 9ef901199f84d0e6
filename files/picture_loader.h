// Textures from BMP, PNG and JPEG pictures: an A8R8G8B8 managed texture of the picture's own
// size in one level (the program's counterpart of the D3DX file loader).
#pragma once

#include <cstdint>

#include "platform/picture_decode.h"

class CGraphicsDevice;
class CTexture;

// Makes the texture of a decoded picture and stores it in *slot. 0 / -1 (slot unchanged).
int32_t CreatePictureTexture(CGraphicsDevice* device, const CPicture& picture, CTexture** slot);

// Reads a whole loose game file (platform/paths.h). False when it cannot be read.
bool ReadGameFile(const char* path, std::vector<uint8_t>* bytes);

// Decodes a loose picture file into a texture; width and height, when given, receive its size.
// 0, or -1 for a missing, unreadable or undecodable file (slot unchanged).
int32_t LoadPictureFile(CGraphicsDevice* device, CTexture** slot, const char* path, int32_t* width, int32_t* height);
