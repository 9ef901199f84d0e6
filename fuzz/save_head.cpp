// A save file's head from any bytes: the head reader and the save screen's slot reader either
// take it within its limits or leave the slot empty, and never read past the file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/devices_graphics.h"
#include "platform/graphics.h"
#include "platform/message_box.h"
#include "screens/save_file.h"
#include "screens/save_load_screen.h"
#include "screens/screen_resources.h"

namespace {

const std::string& SavePath() {
    static const std::string path = [] {
        char pattern[] = "/tmp/fuzz-save-head-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        return std::string(made != nullptr ? made : "/tmp") + "/Save00.sav";
    }();
    return path;
}

void MakeDevice() {
    static bool made = false;
    if (made) return;
    made = true;
    SuppressMessageBoxWindows(true);
    SDeviceParams params;
    g_pD3DDevice = CGraphicsDevice::Create(params);
    ApplyDefaultRenderStates(g_pD3DDevice);
}

}  // namespace

// fontconfig checks every 30 s whether the installed fonts changed and rebuilds its configuration
// then; what the old one held is reported as leaked although the library keeps it.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MakeDevice();
    FILE* file = std::fopen(SavePath().c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    CReadStream stream;
    if (stream.OpenFile(SavePath().c_str()) == 0 && stream.AllocBuffer(32 * 1024) == 0) {
        CSaveFileHeader header;
        std::vector<uint8_t> pixels(kThumbnailBytes);
        if (ReadSaveHeader(&stream, &header, pixels.data()) == 0) {
            if (strnlen(header.thumbnailName, kThumbnailNameSize) >= kThumbnailNameSize) __builtin_trap();
            if (strnlen(header.caption, kCaptionSize) >= kCaptionSize) __builtin_trap();
            if (stream.LogicalPosition() > static_cast<int64_t>(size)) __builtin_trap();
        }
    }

    CSaveSlot slot;
    CSaveLoadScreen::ReadSlotHeader(&slot, SavePath().c_str());
    ReleaseTexture(&slot.thumbnail);
    ReleaseTexture(&slot.caption);
    return 0;
}
