// Jpeg pictures from any bytes.
#include <cstdint>

#include "platform/picture_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CPicture picture;
    if (DecodeJpeg(data, size, &picture) == 0 &&
        (picture.width == 0 || picture.height == 0 || picture.pixels.size() != static_cast<size_t>(picture.width) * picture.height)) {
        __builtin_trap();
    }
    return 0;
}
