// model_scene: plays a script of a generated game with 3D models on, as the adventure would if
// it switched them on, and writes chosen frames as PNG pictures.
//
// usage: see kUsage below, or model_scene --help.
//
// The engine runs on a headless device with the 800 x 600 off-screen target, the fake clock,
// stepped by the tick, and a sound output that follows it, so that every run draws the same
// pixels.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/vant_engine.h"
#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/devices_graphics.h"
#include "platform/graphics.h"
#include "platform/input_state.h"
#include "platform/message_box.h"
#include "platform/picture_decode.h"
#include "platform/raster.h"
#include "platform/render_context.h"
#include "platform/window.h"
#include "screens/adventure.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kFakeClockStart = 1000000;
constexpr uint32_t kWindowRunMs = 600000;  // a window without frames to write plays ten minutes

const char kUsage[] =
    "usage: model_scene [--game DIR] [--script NAME] (--frames T,T,... | --count N --step MS) [--tick MS]\n"
    "                   [--clicks T,T,...] [--out DIR | --compare DIR] [--raster PATH] [--window]\n"
    "  --game DIR        the game folder (default: the working folder)\n"
    "  --script NAME     the script to start (default Script/ModelScene.vsf)\n"
    "  --frames T,T,...  game times in ms of the frames to write (multiples of the tick)\n"
    "  --count N --step MS   or N frames, the first at 0, then every MS ms\n"
    "  --tick MS         the clock step of one frame (default 20)\n"
    "  --clicks T,T,...  game times in ms at which a click is given to the engine's input step\n"
    "                    (a click finishes the text, the next one turns the page)\n"
    "  --out DIR         where the frames go, as frame_<ms>.png (default: the working folder)\n"
    "  --compare DIR     compare each frame with DIR/frame_<ms>.png pixel for pixel instead of\n"
    "                    writing it; exit status 1 when any differs\n"
    "  --raster PATH     auto, reference, sse2 or avx2: the rasteriser's span path\n"
    "  --window          show the frames in a window, paced in real time, until it is closed\n"
    "                    (after the last frame the scene keeps playing)\n"
    "  -h, --help        this text\n"
    "Exit status: 0, 1 for differing frames, 2 for bad options, 3 when the scene or a frame could\n"
    "not be set up or written.\n";

struct SOptions {
    bool help = false;
    std::string game = ".";
    std::string script = "Script/ModelScene.vsf";
    std::set<uint32_t> frames;
    std::set<uint32_t> clicks;
    uint32_t tick = 20;
    std::string out = ".";
    std::string compare;
    raster::Path path = raster::Path::Auto;
    bool window = false;
};

bool ParseTimes(const char* text, std::set<uint32_t>* times) {
    const std::string list(text);
    size_t start = 0;
    while (start <= list.size()) {
        const size_t comma = std::min(list.find(',', start), list.size());
        const std::string item = list.substr(start, comma - start);
        char* end = nullptr;
        const unsigned long value = std::strtoul(item.c_str(), &end, 10);
        if (item.empty() || *end != '\0' || value > 0x7FFFFFFFul) return false;
        times->insert(static_cast<uint32_t>(value));
        start = comma + 1;
    }
    return true;
}

bool ParsePath(const std::string& name, raster::Path* path) {
    if (name == "auto") *path = raster::Path::Auto;
    else if (name == "reference") *path = raster::Path::Reference;
    else if (name == "sse2") *path = raster::Path::Sse2;
    else if (name == "avx2") *path = raster::Path::Avx2;
    else return false;
    return true;
}

// Reads the options; false (after a message) when they make no sense.
bool ParseOptions(int argc, char** argv, SOptions* o) {
    uint32_t count = 0, step = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            o->help = true;
            return true;
        }
        if (option == "--window") {
            o->window = true;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "model_scene: %s needs a value\n", option.c_str());
            return false;
        }
        const char* value = argv[++i];
        bool good = true;
        if (option == "--game") o->game = value;
        else if (option == "--script") o->script = value;
        else if (option == "--frames") good = ParseTimes(value, &o->frames);
        else if (option == "--clicks") good = ParseTimes(value, &o->clicks);
        else if (option == "--count") count = static_cast<uint32_t>(std::strtoul(value, nullptr, 10));
        else if (option == "--step") step = static_cast<uint32_t>(std::strtoul(value, nullptr, 10));
        else if (option == "--tick") o->tick = static_cast<uint32_t>(std::strtoul(value, nullptr, 10));
        else if (option == "--out") o->out = value;
        else if (option == "--compare") o->compare = value;
        else if (option == "--raster") good = ParsePath(value, &o->path);
        else good = false;
        if (!good) {
            std::fprintf(stderr, "model_scene: bad option %s %s\n", option.c_str(), value);
            return false;
        }
    }
    for (uint32_t n = 0; n < count; ++n) o->frames.insert(n * step);
    if (o->tick == 0) {
        std::fprintf(stderr, "model_scene: the tick must be at least 1 ms\n");
        return false;
    }
    for (uint32_t t : o->frames) {
        if (t % o->tick != 0) {
            std::fprintf(stderr, "model_scene: frame time %u is not a multiple of the %u ms tick\n", t, o->tick);
            return false;
        }
    }
    if (o->frames.empty() && !o->window) {
        std::fprintf(stderr, "model_scene: no frames to write (--frames or --count and --step)\n");
        return false;
    }
    if (o->path == raster::Path::Avx2 && !raster::CpuHasAvx2()) {
        std::fprintf(stderr, "model_scene: this processor has no AVX2\n");
        return false;
    }
    return true;
}

// The adventure's frame: the scene, then the message and choice windows.
void DrawFrame(CGraphicsDevice* device, CVantEngine& engine) {
    BeginEngineFrame(device, engine);
    device->EndScene();
    device->Present();
}

// The number of pixels of the back buffer that differ from the PNG file (all of them when it
// cannot be read or has another size).
size_t CountDifferences(CSurface* back, const fs::path& file) {
    const size_t total = size_t{back->Width()} * back->Height();
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    CPicture golden;
    if (bytes.empty() || DecodePng(bytes.data(), bytes.size(), &golden) != 0) return total;
    if (golden.width != back->Width() || golden.height != back->Height()) return total;
    const uint8_t* bits = back->Bits();
    size_t differing = 0;
    for (uint32_t y = 0; y < back->Height(); ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(bits + size_t{y} * static_cast<size_t>(back->Pitch()));
        for (uint32_t x = 0; x < back->Width(); ++x)
            if (row[x] != golden.pixels[size_t{y} * back->Width() + x]) ++differing;
    }
    return differing;
}

// Writes or compares the frame of game time t. Returns 0, 1 when it differs, 3 on failure.
int OutputFrame(CGraphicsDevice* device, const SOptions& o, uint32_t t) {
    CSurface* back = nullptr;
    if (device->GetBackBuffer(&back) != 0) return 3;
    const std::string name = "frame_" + std::to_string(t) + ".png";
    int status = 0;
    if (o.compare.empty()) {
        const fs::path file = fs::path(o.out) / name;
        if (SaveSurfacePng(back, file.string().c_str()) != 0) {
            std::fprintf(stderr, "model_scene: cannot write %s\n", file.c_str());
            status = 3;
        } else {
            std::printf("wrote %s\n", file.c_str());
        }
    } else {
        const size_t differing = CountDifferences(back, fs::path(o.compare) / name);
        std::printf("frame %u: %zu pixels differ\n", t, differing);
        if (differing != 0) status = 1;
    }
    back->Release();
    return status;
}

int Play(const SOptions& o, CGraphicsDevice* device, CPlatformWindow* window) {
    CSurface* back = nullptr;
    CSurface* offscreen = nullptr;
    if (device->GetBackBuffer(&back) != 0 ||
        device->CreateRenderTarget(800, 600, Format::A8R8G8B8, &offscreen) != 0) {
        std::fprintf(stderr, "model_scene: no back buffer or off-screen target\n");
        if (back != nullptr) back->Release();
        return 3;
    }
    std::unique_ptr<CAudioDevice> audio = CAudioDevice::Create(EAudioOutput::Clock);
    CEngineParams params;
    FillAdventureEngineParams(&params);
    params.modelsUsable = 1;
    params.sceneTarget = 0;
    params.offscreenSurface = offscreen;
    CEngineSettings settings;
    CVantEngine::SetDefaultSettings(&settings);

    int status = 0;
    {
        auto engine = std::make_unique<CVantEngine>();
        if (audio == nullptr || engine->Init(window, device, back, audio.get(), &params, &settings) != 0 ||
            engine->NewGame(o.script.c_str()) != 0) {
            std::fprintf(stderr, "model_scene: the engine could not start %s in %s\n", o.script.c_str(),
                         o.game.c_str());
            status = 3;
        } else {
            const uint32_t last = o.frames.empty() ? 0 : *o.frames.rbegin();
            const uint32_t end = o.window ? std::max(last, kWindowRunMs) : last;
            auto nextClick = o.clicks.begin();
            uint32_t page = engine->pageNumber;
            auto due = std::chrono::steady_clock::now();
            for (uint32_t t = 0; t <= end && status != 3; t += o.tick) {
                if (window != nullptr && PumpWindowEvents(window) != 0) break;
                if (t > 0) AdvanceFakeClock(o.tick);
                SettleFakeClock();
                UpdateEngineClock();
                DrawFrame(device, *engine);
                if (o.frames.count(t) != 0) status = std::max(status, OutputFrame(device, o, t));
                CInputState input = {};
                if (nextClick != o.clicks.end() && *nextClick <= t) {
                    input.leftDown = input.leftUp = 1;
                    ++nextClick;
                }
                if (engine->UpdateInput(&input, 0) == 1) break;  // the script ended
                if (engine->pageNumber != page) {
                    page = engine->pageNumber;
                    std::printf("page %u at %u ms\n", page, t);
                }
                if (window != nullptr) {
                    due += std::chrono::milliseconds(o.tick);
                    std::this_thread::sleep_until(due);
                }
            }
        }
        engine->Release();
    }
    audio.reset();
    offscreen->Release();
    back->Release();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    SOptions o;
    if (!ParseOptions(argc, argv, &o)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (o.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    raster::SelectPath(o.path);
    // The output folders are taken before the game folder becomes the working folder.
    o.out = fs::absolute(o.out).string();
    if (!o.compare.empty()) o.compare = fs::absolute(o.compare).string();
    if (chdir(o.game.c_str()) != 0) {
        std::fprintf(stderr, "model_scene: no game folder %s\n", o.game.c_str());
        return 3;
    }
    if (!o.window) SuppressMessageBoxWindows(true);
    UseFakeClock(kFakeClockStart);

    CPlatformWindow* window = nullptr;
    SDeviceParams deviceParams;
    if (o.window) {
        // "Velkora ～Sarnith～ model scene"
        window = CreatePlatformWindow("Velkora \x81\x60Sarnith\x81\x60 model scene", 800, 600);
        if (window == nullptr) {
            std::fprintf(stderr, "model_scene: no window\n");
            return 3;
        }
        deviceParams.present = PresentToWindow;
        deviceParams.presentUser = window;
    }
    CGraphicsDevice* device = CGraphicsDevice::Create(deviceParams);
    int status = 3;
    if (device == nullptr) {
        std::fprintf(stderr, "model_scene: no graphics device\n");
    } else {
        ApplyDefaultRenderStates(device);
        status = Play(o, device, window);
        device->Release();
    }
    if (window != nullptr) DestroyPlatformWindow(window);
    UseRealClock();
    return status;
}
