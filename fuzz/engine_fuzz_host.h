// A scenario engine for the fuzz targets: a headless device, a silent sound output and a
// temporary folder for the files an input becomes, made once per process. The working folder
// stays as it is (libFuzzer reads its corpus folders by relative paths).
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "engine/vant_engine.h"
#include "platform/audio.h"
#include "platform/graphics.h"
#include "platform/message_box.h"
#include "platform/render_context.h"

struct CFuzzEngineHost {
    CGraphicsDevice* device = nullptr;
    CSurface* backBuffer = nullptr;
    std::unique_ptr<CAudioDevice> audio;
    std::unique_ptr<CVantEngine> engine;
    std::string folder;

    CFuzzEngineHost() {
        char pattern[] = "/tmp/engine_fuzz_XXXXXX";
        if (mkdtemp(pattern) == nullptr) std::abort();
        folder = pattern;
        SuppressMessageBoxWindows(true);
        device = CGraphicsDevice::Create(SDeviceParams{});
        if (device == nullptr || device->GetBackBuffer(&backBuffer) != 0) std::abort();
        audio = CAudioDevice::Create(EAudioOutput::Manual);
    }

    // A fresh engine: every input starts from the same state. The messages the input before
    // showed are let go here, so that an input that shows boxes frees as much as it keeps: one
    // whose allocations outnumber its frees makes libFuzzer look for leaks in the middle of the
    // run, where the font library's one-time set-up (freed only at exit) reads as a leak.
    CVantEngine* Restart() {
        TakeShownMessages();
        engine.reset();
        engine = std::make_unique<CVantEngine>();
        CEngineParams params = {};
        params.archives.errorMask = 0;  // no file-open boxes for the names the fuzzer makes up
        params.messageWindow.nameFont.height = 16;
        params.choiceWindow.normalBar = {0, 0, 100, 20};
        params.choiceWindow.height = 16;
        CEngineSettings settings;
        CVantEngine::SetDefaultSettings(&settings);
        settings.fontMode = 0;
        settings.font.height = 16;
        if (engine->Init(nullptr, device, backBuffer, audio.get(), &params, &settings) != 0) std::abort();
        return engine.get();
    }

    // One adventure frame without input.
    int32_t Frame() {
        UpdateEngineClock();
        device->BeginScene();
        engine->Draw();
        engine->DrawMessageWindow();
        if (engine->choiceWindow.active) engine->choiceWindow.Draw();
        device->EndScene();
        return engine->UpdateInput(nullptr, 0);
    }

    // Writes the bytes to a file of the temporary folder and returns its path, or "".
    std::string WriteFile(const char* name, const uint8_t* data, size_t size) const {
        const std::string path = folder + "/" + name;
        FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr) return "";
        const bool written = std::fwrite(data, 1, size, file) == size;
        return std::fclose(file) == 0 && written ? path : "";
    }
};
