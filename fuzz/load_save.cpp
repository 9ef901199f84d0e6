// CAdventure::LoadSave on any file: the head is refused or read within its limits, the engine
// restores what it can, and the adventure draws and runs a frame afterwards without fault.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/system_data.h"
#include "platform/audio.h"
#include "platform/devices_graphics.h"
#include "platform/font.h"
#include "platform/graphics.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "screens/adventure.h"
#include "tools/lib/script_compiler.h"
#include "tools/lib/sound_writer.h"
#include "tools/lib/teyl_writer.h"

namespace {

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return;
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

void WritePicture(const std::string& root, const std::string& name, int32_t width, int32_t height) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0xFF336699u);
    std::filesystem::create_directories(std::filesystem::path(root + "/" + name).parent_path());
    WriteTeylFile(root + "/" + name, width, height, pixels.data());
}

// The game's data is found by relative paths; the fuzzer's own paths are relative to the folder
// it started in, so the working folder changes only while the adventure runs.
struct CInFolder {
    std::filesystem::path saved = std::filesystem::current_path();
    explicit CInFolder(const std::string& folder) { std::filesystem::current_path(folder); }
    ~CInFolder() { std::filesystem::current_path(saved); }
};

struct CFuzzGame {
    std::string root;
    std::unique_ptr<CAudioDevice> audio;
    std::unique_ptr<CAdventure> adventure;

    CFuzzGame() {
        char pattern[] = "/tmp/fuzz-load-save-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) return;
        root = pattern;
        WritePicture(root, "System/Adventure/TextWindowButton.bmp", 283, 170);
        WritePicture(root, "Image/TextWindow.bmp", 800, 184);
        WritePicture(root, "Image/SelectWindow.bmp", 543, 96);
        WritePicture(root, "Image/Thumb.bmp", 100, 75);
        const std::vector<uint8_t> ogg = EncodeOgg(std::vector<int16_t>(2 * 441, 0), 2, 44100);
        WriteBytes(root + "/System/OnCursor.ogg", ogg);
        WriteBytes(root + "/System/Select.ogg", ogg);
        std::vector<uint8_t> script;
        std::vector<std::string> errors;
        CompileScript("page\n  text: say \"one\"\npage\n  text: say \"two\"\n", "Main.vss", &script, &errors);
        WriteBytes(root + "/Script/Main.vsf", script);
        if (!std::filesystem::exists(root + "/Script/Main.vsf")) return;
        std::snprintf(g_SaveFolder, sizeof g_SaveFolder, "%s/save/", root.c_str());
        SuppressMessageBoxWindows(true);
        SDeviceParams params;
        g_pD3DDevice = CGraphicsDevice::Create(params);
        ApplyDefaultRenderStates(g_pD3DDevice);
        g_pD3DDevice->GetBackBuffer(&g_pBackBuffer);
        audio = CAudioDevice::Create(EAudioOutput::Manual);
        g_pDirectSound = audio.get();
        SetDefaultSystemData();
        adventure = std::make_unique<CAdventure>();
        CInFolder inside(root);
        if (adventure->Init(0, kFirstScript) != 0) adventure.reset();
    }
};

CFuzzGame& Game() {
    static CFuzzGame game;
    return game;
}

}  // namespace

// The game starts, and the font layer resolves an unknown face once (fontconfig keeps what its
// first match allocates), before any input is judged for leaks.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Game();
    for (int32_t weight : {kFontWeightNormal, kFontWeightBold}) {
        for (uint32_t italic : {0u, 1u}) DeleteFont(CreateFontSjis(20, weight, italic, "No such face"));
    }
    return 0;
}

// fontconfig keeps caches it allocates when a face is first matched; the leak checker sees them
// as leaked although the library holds them until exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzGame& game = Game();
    if (!game.adventure) return 0;
    CInFolder inside(game.root);
    const std::string path = game.root + "/save/Save00.sav";
    WriteBytes(path, std::vector<uint8_t>(data, data + size));
    game.adventure->LoadSave(path.c_str());
    game.adventure->Frame();
    TakeShownMessages();
    return 0;
}
