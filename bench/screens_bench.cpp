// Save and load costs of the adventure: writing a save (thumbnail capture included), loading it
// (the pictures of the saved page loaded again), and opening the save/load screen with 100 saves
// present (ten heads read and their captions rendered per page, the newest save found).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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
#include "platform/paths.h"
#include "screens/adventure.h"
#include "screens/save_file.h"
#include "screens/save_load_screen.h"
#include "tools/lib/script_compiler.h"
#include "tools/lib/sound_writer.h"

namespace {

// A small game in a temporary folder: interface pictures, two scene pictures, sounds and one
// scenario page with a background, a character, a name and a full line of text.
const char kScenario[] =
    "page\n"
    "  layer 0: load \"Image/BG.bmp\"; pivot 0 0; cut in\n"
    "  layer 5: load \"Image/Chara.bmp\"; pivot 400 600; offset -200 -600; fade in 500\n"
    "  text\n"
    "    name \"Akari\"\n"
    "    say \"The harbour at dusk: the lighthouse on the hill has stayed dark for ten years.\"\n"
    "  end\n"
    "page\n"
    "  layer 0: load \"Image/BG2.bmp\"; pivot 0 0; cut in\n"
    "  layer 5: load \"Image/Chara2.bmp\"; pivot 400 600; offset -200 -600; cut in\n"
    "  text: name \"Kai\"; say \"Then let us go and see it together, before the sun goes down.\"\n";

void WritePicture(const std::string& root, const std::string& name, int32_t width, int32_t height) {
    WriteNoisePicture(root + "/" + name, width, height);
}

struct CBenchGame {
    std::string root;
    CGraphicsDevice* device = nullptr;
    std::unique_ptr<CAudioDevice> audio;
    std::unique_ptr<CAdventure> adventure;
    bool ready = false;

    CBenchGame() {
        char pattern[] = "/tmp/screens-bench-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) return;
        root = pattern;
        WritePicture(root, "System/Adventure/TextWindowButton.bmp", 283, 170);
        WritePicture(root, "System/Menu/SaveBG.bmp", 800, 600);
        WritePicture(root, "System/Menu/LoadBG.bmp", 800, 600);
        WritePicture(root, "System/Menu/SaveLoadButton.bmp", 432, 360);
        WritePicture(root, "Image/TextWindow.bmp", 800, 184);
        WritePicture(root, "Image/SelectWindow.bmp", 543, 96);
        WritePicture(root, "Image/BG.bmp", 800, 600);
        WritePicture(root, "Image/Chara.bmp", 400, 600);
        WritePicture(root, "Image/BG2.bmp", 800, 600);
        WritePicture(root, "Image/Chara2.bmp", 400, 600);
        std::vector<int16_t> samples(2 * 4410, 0);
        const std::vector<uint8_t> ogg = EncodeOgg(samples, 2, 44100);
        WriteBenchFile(root + "/System/OnCursor.ogg", ogg);
        WriteBenchFile(root + "/System/Select.ogg", ogg);
        std::vector<uint8_t> script;
        std::vector<std::string> errors;
        if (!CompileScript(kScenario, "Main.vss", &script, &errors)) return;
        WriteBenchFile(root + "/Script/Main.vsf", script);
        if (::chdir(root.c_str()) != 0) return;
        std::snprintf(g_SaveFolder, sizeof g_SaveFolder, "%s/save/", root.c_str());

        SuppressMessageBoxWindows(true);
        SDeviceParams params;
        device = CGraphicsDevice::Create(params);
        ApplyDefaultRenderStates(device);
        g_pD3DDevice = device;
        device->GetBackBuffer(&g_pBackBuffer);
        audio = CAudioDevice::Create(EAudioOutput::Manual);
        g_pDirectSound = audio.get();
        SetDefaultSystemData();
        adventure = std::make_unique<CAdventure>();
        if (adventure->Init(0, kFirstScript) != 0) return;
        for (int i = 0; i < 3; ++i) adventure->Frame();
        ready = true;
    }
};

// The bench game, or null (the benchmark then skips) when it could not be set up.
CBenchGame* ReadyGame(benchmark::State& state) {
    static CBenchGame game;
    if (game.ready) return &game;
    state.SkipWithError("the bench game could not be set up");
    return nullptr;
}

void BM_WriteSave(benchmark::State& state) {
    CBenchGame* game = ReadyGame(state);
    if (game == nullptr) return;
    char path[kSavePathSize];
    GetSaveFileName(0, path);
    for (auto _ : state) {
        if (game->adventure->WriteSave(path) != 0) state.SkipWithError("the save failed");
    }
}
BENCHMARK(BM_WriteSave)->Unit(benchmark::kMillisecond);

// Loads a save of each of the two pages in turn, so that every load reads both pictures again.
void BM_LoadSave(benchmark::State& state) {
    CBenchGame* game = ReadyGame(state);
    if (game == nullptr) return;
    char first[kSavePathSize];
    char second[kSavePathSize];
    GetSaveFileName(1, first);
    GetSaveFileName(2, second);
    game->adventure->LoadSave(first);
    game->adventure->WriteSave(first);
    game->adventure->engine.RunPage();
    game->adventure->WriteSave(second);
    bool odd = false;
    for (auto _ : state) {
        odd = !odd;
        if (game->adventure->LoadSave(odd ? first : second) != 0) state.SkipWithError("the load failed");
    }
}
BENCHMARK(BM_LoadSave)->Unit(benchmark::kMillisecond);

// Opening the load screen on page 0, then each further page by its tab, with 100 saves present.
void BM_SaveLoadScreenPage(benchmark::State& state) {
    CBenchGame* game = ReadyGame(state);
    if (game == nullptr) return;
    char path[kSavePathSize];
    GetSaveFileName(0, path);
    game->adventure->WriteSave(path);
    for (int32_t slot = 1; slot < kOrdinarySaveCount; ++slot) {
        char copy[kSavePathSize];
        GetSaveFileName(slot, copy);
        std::filesystem::copy_file(path, copy, std::filesystem::copy_options::overwrite_existing);
    }
    const bool open = state.range(0) == 0;
    CSaveLoadScreen screen;
    if (!open && screen.InitLoad(0, 0) != 0) state.SkipWithError("the screen could not be opened");
    int32_t page = 0;
    for (auto _ : state) {
        if (open) {
            screen.ReleaseSlots();
            if (screen.InitLoad(0, 0) != 0) state.SkipWithError("the screen could not be opened");
        } else {
            screen.page = page = (page + 1) % kAutoQuickPage;
            screen.RefreshPage();
        }
    }
    screen.ReleaseSlots();
}
BENCHMARK(BM_SaveLoadScreenPage)->Arg(0)->Arg(1)->ArgNames({"turn_page"})->Unit(benchmark::kMillisecond);

}  // namespace
