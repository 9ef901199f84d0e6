// System.sys from any bytes: the load either reads it or falls back to the defaults.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/system_data.h"
#include "platform/paths.h"

namespace {

const std::string& Folder() {
    static const std::string folder = [] {
        char pattern[] = "/tmp/fuzz-system-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        return std::string(made != nullptr ? made : "/tmp") + "/";
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::strcpy(g_SaveFolder, Folder().c_str());
    FILE* file = std::fopen((Folder() + "System.sys").c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    InitGlobals();
    LoadSystemData();
    if (std::strlen(g_Config.settings.font.face) >= sizeof g_Config.settings.font.face) __builtin_trap();
    return 0;
}
