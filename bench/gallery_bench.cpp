// The galleries' frames and the flag report: the picture gallery's full grid of 20 thumbnails, a
// picture in its full view, the music gallery's 21 buttons, and writing the 1,413-line report.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/system_data.h"
#include "bench/bench_files.h"
#include "platform/audio.h"
#include "platform/devices_graphics.h"
#include "platform/graphics.h"
#include "platform/message_box.h"
#include "platform/render_context.h"
#include "screens/adventure.h"
#include "screens/bgm_mode.h"
#include "screens/cg_mode.h"
#include "tools/lib/sound_writer.h"

namespace {

// Both galleries open on generated pictures, with all 20 entries unlocked.
struct CBenchGalleries {
    std::string root;
    CGraphicsDevice* device = nullptr;
    std::unique_ptr<CAudioDevice> audio;
    CCgMode cg;
    CBgmMode bgm;
    bool ready = false;

    CBenchGalleries() {
        char pattern[] = "/tmp/gallery-bench-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) return;
        root = pattern;
        WriteNoisePicture(root + "/System/Extra/CGModeBG.bmp", 800, 600);
        WriteNoisePicture(root + "/System/Extra/CGModeButton.bmp", 600, 810);
        WriteNoisePicture(root + "/System/Extra/BGMModeBG.bmp", 800, 600);
        WriteNoisePicture(root + "/System/Extra/BGMModeButton.bmp", 1020, 350);
        WriteNoisePicture(root + "/Image/CG/Picture.bmp", 800, 600);
        std::string table;
        for (int entry = 0; entry < kCgEntryCount; ++entry)
            table += std::to_string(entry) + " " + std::to_string(entry) + " \"Image/CG/Picture.bmp\"\n";
        WriteBenchFile(root + "/System/Extra/CGTable.txt", std::vector<uint8_t>(table.begin(), table.end()));
        const std::vector<uint8_t> ogg = EncodeOgg(std::vector<int16_t>(2 * 4410, 0), 2, 44100);
        for (const char* name : {"/System/OnCursor.ogg", "/System/Select.ogg", "/System/Extra/BGM.ogg"})
            WriteBenchFile(root + name, ogg);

        SuppressMessageBoxWindows(true);
        device = CGraphicsDevice::Create(SDeviceParams{});
        ApplyDefaultRenderStates(device);
        g_pD3DDevice = device;
        device->GetBackBuffer(&g_pBackBuffer);
        audio = CAudioDevice::Create(EAudioOutput::Manual);
        g_pDirectSound = audio.get();
        SetDefaultSystemData();
        for (uint8_t& flag : g_SystemCgFlags) flag = 1;
        // The screens read their files at Init only; the working folder is given back at once.
        const std::filesystem::path saved = std::filesystem::current_path();
        std::filesystem::current_path(root);
        ready = cg.Init() == 0 && bgm.Init() == 0 && cg.LoadPicture("Image/CG/Picture.bmp") == 0;
        std::filesystem::current_path(saved);
        cg.state = kCgList;
        cg.hover = 7;
        bgm.state = kBgmIdle;
        bgm.currentTrack = 3;
        bgm.hover = 12;
    }
};

CBenchGalleries* ReadyGalleries(benchmark::State& state) {
    static CBenchGalleries galleries;
    if (galleries.ready) return &galleries;
    state.SkipWithError("the galleries could not be opened");
    return nullptr;
}

void BM_PictureGalleryFrame(benchmark::State& state) {
    CBenchGalleries* galleries = ReadyGalleries(state);
    if (galleries == nullptr) return;
    galleries->cg.state = state.range(0) == 0 ? kCgList : kCgView;
    for (auto _ : state) galleries->cg.Frame();
    galleries->cg.state = kCgList;
}
BENCHMARK(BM_PictureGalleryFrame)->Arg(0)->Arg(1)->ArgNames({"full_view"})->Unit(benchmark::kMicrosecond);

void BM_MusicGalleryFrame(benchmark::State& state) {
    CBenchGalleries* galleries = ReadyGalleries(state);
    if (galleries == nullptr) return;
    for (auto _ : state) galleries->bgm.Frame();
}
BENCHMARK(BM_MusicGalleryFrame)->Unit(benchmark::kMicrosecond);

void BM_FlagReport(benchmark::State& state) {
    static CAdventure adventure;
    const std::string path = std::filesystem::temp_directory_path() / "gallery-bench-flags.txt";
    for (auto _ : state) {
        if (adventure.DumpFlags(path.c_str()) != 1) state.SkipWithError("the report could not be written");
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_FlagReport)->Unit(benchmark::kMicrosecond);

}  // namespace
