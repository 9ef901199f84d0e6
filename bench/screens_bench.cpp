// Save and load costs of the adventure: writing a save (thumbnail capture included), loading it
// (the pictures of the saved page loaded again), and opening the save/load screen with 100 saves
// present (ten heads read and their captions rendered per page, the newest save found).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/system_data.h"
#include "bench/bench_files.h"
#include "bench/bench_globals.h"
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

// Each benchmark builds its own game and takes it down again, so that none depends on what
// another left behind (the working folder, the device and engine globals, the save folder).
class CBenchGame {
    const CBenchGlobalsScope globals_;  // first made, last undone

public:
    CBenchGame() {
        char pattern[] = "/tmp/screens-bench-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) return;
        root_ = pattern;
        WritePicture(root_, "System/Adventure/TextWindowButton.bmp", 283, 170);
        WritePicture(root_, "System/Menu/SaveBG.bmp", 800, 600);
        WritePicture(root_, "System/Menu/LoadBG.bmp", 800, 600);
        WritePicture(root_, "System/Menu/SaveLoadButton.bmp", 432, 360);
        WritePicture(root_, "Image/TextWindow.bmp", 800, 184);
        WritePicture(root_, "Image/SelectWindow.bmp", 543, 96);
        WritePicture(root_, "Image/BG.bmp", 800, 600);
        WritePicture(root_, "Image/Chara.bmp", 400, 600);
        WritePicture(root_, "Image/BG2.bmp", 800, 600);
        WritePicture(root_, "Image/Chara2.bmp", 400, 600);
        std::vector<int16_t> samples(2 * 4410, 0);
        const std::vector<uint8_t> ogg = EncodeOgg(samples, 2, 44100);
        WriteBenchFile(root_ + "/System/OnCursor.ogg", ogg);
        WriteBenchFile(root_ + "/System/Select.ogg", ogg);
        std::vector<uint8_t> script;
        std::vector<std::string> errors;
        if (!CompileScript(kScenario, "Main.vss", &script, &errors)) return;
        WriteBenchFile(root_ + "/Script/Main.vsf", script);
        saved_ = std::filesystem::current_path();
        std::filesystem::current_path(root_);
        std::memcpy(savedFolder_, g_SaveFolder, sizeof g_SaveFolder);
        std::snprintf(g_SaveFolder, sizeof g_SaveFolder, "%s/save/", root_.c_str());

        SuppressMessageBoxWindows(true);
        SDeviceParams params;
        device_ = CGraphicsDevice::Create(params);
        ApplyDefaultRenderStates(device_);
        g_pD3DDevice = device_;
        device_->GetBackBuffer(&g_pBackBuffer);
        audio_ = CAudioDevice::Create(EAudioOutput::Manual);
        g_pDirectSound = audio_.get();
        SetDefaultSystemData();
        adventure = std::make_unique<CAdventure>();
        if (adventure->Init(0, kFirstScript) != 0) return;
        for (int i = 0; i < 3; ++i) adventure->Frame();
        ready_ = true;
    }
    ~CBenchGame() {
        if (adventure) adventure->End();
        adventure.reset();
        audio_.reset();
        if (g_pBackBuffer) g_pBackBuffer->Release();
        if (device_) device_->Release();
        if (!saved_.empty()) std::memcpy(g_SaveFolder, savedFolder_, sizeof g_SaveFolder);
        std::error_code ignored;
        if (!saved_.empty()) std::filesystem::current_path(saved_, ignored);
        if (!root_.empty()) std::filesystem::remove_all(root_, ignored);
    }
    CBenchGame(const CBenchGame&) = delete;
    CBenchGame& operator=(const CBenchGame&) = delete;

    // False (after telling the benchmark to skip) when the game could not be set up.
    bool Ready(benchmark::State& state) const {
        if (!ready_) state.SkipWithError("the bench game could not be set up");
        return ready_;
    }

    std::unique_ptr<CAdventure> adventure;

private:
    std::string root_;
    std::filesystem::path saved_;
    CGraphicsDevice* device_ = nullptr;
    std::unique_ptr<CAudioDevice> audio_;
    bool ready_ = false;
    char savedFolder_[sizeof g_SaveFolder] = {};
};

void BM_WriteSave(benchmark::State& state) {
    CBenchGame game;
    if (!game.Ready(state)) return;
    char path[kSavePathSize];
    GetSaveFileName(0, path);
    for (auto _ : state) {
        if (game.adventure->WriteSave(path) != 0) state.SkipWithError("the save failed");
    }
}
BENCHMARK(BM_WriteSave)->Unit(benchmark::kMillisecond);

// Loads a save of each of the two pages in turn, so that every load reads both pictures again.
void BM_LoadSave(benchmark::State& state) {
    CBenchGame game;
    if (!game.Ready(state)) return;
    char first[kSavePathSize];
    char second[kSavePathSize];
    GetSaveFileName(1, first);
    GetSaveFileName(2, second);
    game.adventure->LoadSave(first);
    game.adventure->WriteSave(first);
    game.adventure->engine.RunPage();
    game.adventure->WriteSave(second);
    bool odd = false;
    for (auto _ : state) {
        odd = !odd;
        if (game.adventure->LoadSave(odd ? first : second) != 0) state.SkipWithError("the load failed");
    }
}
BENCHMARK(BM_LoadSave)->Unit(benchmark::kMillisecond);

// Opening the load screen on page 0, then each further page by its tab, with 100 saves present.
void BM_SaveLoadScreenPage(benchmark::State& state) {
    CBenchGame game;
    if (!game.Ready(state)) return;
    char path[kSavePathSize];
    GetSaveFileName(0, path);
    game.adventure->WriteSave(path);
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
