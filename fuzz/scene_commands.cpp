// Fuzzes the scene components' page-command payloads (IMAG/MIMG, "CAM ", LGHT) and their saved
// forms on arbitrary bytes, then runs a frame of each: drawing the layer with whatever
// placement the bytes gave, applying the camera and lights, saving and finishing.
//
// Input: byte 0 picks the form (bit 0: saved form), the component (bits 1-2: picture layer,
// camera, lights, main layer; bit 5 instead: the SOLD payload of a layer holding the sample
// character model) and how the stream is read (bit 6: the payload filled first as the engine
// does; bit 7: a small buffer); bytes 1-4 advance the game clock; the rest is the payload, read
// through a window-mode stream like a script or a save.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "files/scrambled_io.h"
#include "files/stream.h"
#include "platform/graphics.h"
#include "platform/render_context.h"
#include "scene/camera.h"
#include "scene/image_layer.h"
#include "scene/scene_light.h"
#include "tools/lib/lmf_writer.h"
#include "tools/lib/memory_stream.h"
#include "tools/lib/sample_models.h"

namespace {

CGraphicsDevice* Device() {
    static CGraphicsDevice* device = [] {
        SDeviceParams params;
        params.width = 800;
        params.height = 600;
        return CGraphicsDevice::Create(params);
    }();
    return device;
}

// A small picture for layers that the bytes left without one, so that every placement is
// drawn through the rasteriser.
void GivePicture(CImageLayer* layer) {
    if (layer->used != 1 || layer->texture != nullptr || layer->kind != LayerKind::Picture) return;
    CTexture* texture = nullptr;
    if (Device()->CreateTexture(16, 16, 1, Usage::None, Format::A8R8G8B8, Pool::Managed, &texture) != 0) return;
    SLockedRect locked;
    if (texture->LockRect(0, &locked, nullptr, 0) == 0) {
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                static_cast<uint32_t*>(locked.bits)[y * locked.pitch / 4 + x] = 0x80000000u | (x * 16u << 8) | y * 16u;
        texture->UnlockRect(0);
    }
    layer->texture = texture;
}

// The sample character written once into a folder of its own; the working folder stays where
// the fuzzer keeps its corpus.
const char* ModelFile() {
    static const std::string path = [] {
        char folder[] = "/tmp/fuzz-scene-XXXXXX";
        if (::mkdtemp(folder) == nullptr) return std::string();
        const std::string file = std::string(folder) + "/Character.lmf";
        const std::vector<uint8_t> bytes = BuildLmf(MakeSampleCharacter());
        FILE* out = std::fopen(file.c_str(), "wb");
        if (out == nullptr) return std::string();
        const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
        return std::fclose(out) == 0 && ok ? file : std::string();
    }();
    return path.empty() ? nullptr : path.c_str();
}

// A model holder through a page's SOLD or a save's SOLD, then frames, a save and a finish.
void RunModel(CReadStream* stream, uint32_t payloadSize, bool restore, uint32_t advance) {
    CModelHolder holder;
    if (ModelFile() == nullptr || holder.LoadMesh(ModelFile()) != 0) __builtin_trap();
    holder.SetupDefaultState();
    CChunkReader body(stream, payloadSize, restore ? ReadSaveScrambled : ReadPlain);
    if (restore) holder.Restore(body);
    else holder.ParseCommand(body);
    g_PageStartClock = g_GameClock;
    holder.Render(nullptr);
    g_GameClock += advance;
    holder.Render(nullptr);
    CSaveChunkWriter counter(nullptr);
    holder.Save(counter);
    holder.Finish(holder.GetMotionLength());
    holder.Render(nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const uint8_t selector = data[0];
    uint32_t advance;
    std::memcpy(&advance, data + 1, 4);
    const uint32_t payloadSize = static_cast<uint32_t>(size - 5);

    CReadStream stream;
    if (!OpenMemoryStream(&stream, data + 5, payloadSize, selector & 0x80 ? 64 : 65536)) return 0;
    if (selector & 0x40) stream.Fill(payloadSize);

    g_pEngineDevice = Device();
    g_GameClock = 1000;
    for (int i = 0; i < 32; ++i) g_SaveKey[i] = static_cast<uint8_t>(i * 37);
    const bool restore = (selector & 1) != 0;
    uint32_t read = 0;
    uint32_t saved = 0;

    const uint32_t component = selector & 0x20 ? 4 : (selector >> 1) & 3;
    switch (component) {
        case 4: RunModel(&stream, payloadSize, restore, advance); break;
        case 0:
        case 3: {
            CImageLayer layer;
            if (component == 3) layer.InitMainLayer();
            if (restore) {
                layer.Restore(&stream, payloadSize, &read);
            } else {
                layer.ParseCommand(&stream, payloadSize, &read);
            }
            GivePicture(&layer);
            layer.StampEffectStart(g_GameClock);
            layer.Draw();
            g_GameClock += advance;
            layer.Draw();
            layer.Save(nullptr, &saved);
            layer.FinishEffect();
            layer.Draw();
            break;
        }
        case 1: {
            CCamera camera;
            if (restore) {
                camera.Restore(&stream, payloadSize, &read);
            } else {
                camera.ParseCommand(&stream, payloadSize, &read);
            }
            camera.startTime = g_GameClock;
            g_GameClock += advance;
            camera.Apply();
            camera.Save(nullptr, &saved);
            camera.Finish();
            camera.Apply();
            break;
        }
        case 2: {
            CSceneLight lights;
            if (restore) {
                lights.Restore(&stream, payloadSize, &read);
            } else {
                lights.ParseCommand(&stream, payloadSize, &read);
            }
            lights.startTime = g_GameClock;
            g_GameClock += advance;
            lights.Apply();
            lights.Save(nullptr, &saved);
            lights.Finish();
            lights.Apply();
            break;
        }
    }
    g_pEngineDevice = nullptr;
    return 0;
}
