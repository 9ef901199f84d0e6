// The engine's restore on arbitrary save streams (the mask included): it must end cleanly on
// any input and leave an engine whose next frames and pages run.
#include <sys/stat.h>

#include <cstdint>

#include "fuzz/engine_fuzz_host.h"
#include "files/scrambled_io.h"
#include "tools/lib/memory_stream.h"

namespace {

// The story that the seeds' SCRT chunks name.
constexpr const char* kStoryFolder = "/tmp/velkora_engine_fuzz";
constexpr const char* kStoryPath = "/tmp/velkora_engine_fuzz/story.vsf";

void WriteStory() {
    mkdir(kStoryFolder, 0755);
    static const uint8_t kStory[] = {
        'V', 'S', 'F', '3', 0, 0, 0, 0,                                 // magic
        'M', 'S', 'T', 'P', 0, 0, 0, 0,                                 // header
        'P', 'A', 'G', 'E', 12, 0, 0, 0, 'F', 'L', 'G', 'U', 4, 0, 0, 0, 1, 0, 0, 0,
        'P', 'A', 'G', 'E', 12, 0, 0, 0, 'F', 'L', 'G', 'U', 4, 0, 0, 0, 2, 0, 0, 0,
        'P', 'A', 'G', 'E', 0, 0, 0, 0,
        'E', 'O', 'F', ' ', 0, 0, 0, 0,
    };
    FILE* file = std::fopen(kStoryPath, "wb");
    if (file == nullptr) return;
    std::fwrite(kStory, 1, sizeof(kStory), file);
    std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CFuzzEngineHost host;
    static bool storyWritten = (WriteStory(), true);
    (void)storyWritten;
    CVantEngine* engine = host.Restart();
    CReadStream stream;
    if (!OpenMemoryStream(&stream, data, size, 65536)) return 0;
    engine->Restore(&stream, static_cast<uint32_t>(size));
    stream.Close();
    for (int frame = 0; frame < 3; ++frame) host.Frame();
    engine->RunPage();
    host.Frame();
    uint32_t bytes = 0;
    engine->Save(nullptr, &bytes);
    return 0;
}
