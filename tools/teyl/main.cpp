// teyl: converts a BMP, PNG or JPEG picture into a TEYL raw picture.
//   teyl INPUT OUTPUT.teyl
#include <cstdio>
#include <filesystem>
#include <vector>

#include "files/picture_loader.h"
#include "platform/picture_decode.h"
#include "tools/lib/teyl_writer.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: teyl INPUT(.bmp|.png|.jpg) OUTPUT.teyl\n");
        return 2;
    }
    // The input is a native path: made absolute, it is not taken for a Shift-JIS game path.
    std::vector<uint8_t> bytes;
    if (!ReadGameFile(std::filesystem::absolute(argv[1]).c_str(), &bytes)) {
        std::fprintf(stderr, "teyl: cannot read %s\n", argv[1]);
        return 1;
    }
    CPicture picture;
    if (DecodePicture(bytes.data(), bytes.size(), &picture) != 0) {
        std::fprintf(stderr, "teyl: %s is not a BMP, PNG or JPEG picture this program reads\n", argv[1]);
        return 1;
    }
    if (WriteTeylFile(argv[2], static_cast<int32_t>(picture.width), static_cast<int32_t>(picture.height),
                      picture.pixels.data()) != 0) {
        std::fprintf(stderr, "teyl: cannot write %s\n", argv[2]);
        return 1;
    }
    std::printf("%s: %ux%u\n", argv[2], picture.width, picture.height);
    return 0;
}
