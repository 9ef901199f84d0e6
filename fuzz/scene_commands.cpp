// Fuzzes the scene components' page-command payloads (IMAG/MIMG, "CAM ", LGHT) and their saved
// forms on arbitrary bytes, then runs a frame of each: drawing the layer with whatever
// placement the bytes gave, applying the camera and lights, saving and finishing.
//
// Input: byte 0 picks the form (bit 0: saved form), the component (bits 1-2: picture layer,
// camera, lights, main layer) and how the stream is read (bit 6: the payload filled first as
// the engine does; bit 7: a small buffer); bytes 1-4 advance the game clock; the rest is the
// payload, read through a window-mode stream like a script or a save.
#include <cstdint>
#include <cstring>
#include <vector>

#include "files/scrambled_io.h"
#include "files/stream.h"
#include "platform/graphics.h"
#include "platform/render_context.h"
#include "scene/camera.h"
#include "scene/image_layer.h"
#include "scene/scene_light.h"

namespace {

struct MemorySource {
    const uint8_t* data;
    size_t size;
    size_t position;
};

size_t ReadMemory(void* destination, size_t size, size_t count, void* source) {
    auto* m = static_cast<MemorySource*>(source);
    size_t n = size * count;
    if (m->position >= m->size) return 0;
    if (n > m->size - m->position) n = m->size - m->position;
    std::memcpy(destination, m->data + m->position, n);
    m->position += n;
    return size == 0 ? 0 : n / size;
}

long TellMemory(void* source) { return static_cast<long>(static_cast<MemorySource*>(source)->position); }

int EofMemory(void* source) {
    auto* m = static_cast<MemorySource*>(source);
    return m->position >= m->size ? 1 : 0;
}

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const uint8_t selector = data[0];
    uint32_t advance;
    std::memcpy(&advance, data + 1, 4);
    MemorySource source{data + 5, size - 5, 0};
    const uint32_t payloadSize = static_cast<uint32_t>(size - 5);

    CReadStream stream;
    CStreamCallbacks callbacks;
    callbacks.read = ReadMemory;
    callbacks.tell = TellMemory;
    callbacks.eof = EofMemory;
    stream.SetSource(callbacks, &source);
    stream.AllocBuffer(selector & 0x80 ? 64 : 65536);
    if (selector & 0x40) stream.Fill(payloadSize);

    g_pEngineDevice = Device();
    g_GameClock = 1000;
    for (int i = 0; i < 32; ++i) g_SaveKey[i] = static_cast<uint8_t>(i * 37);
    const bool restore = (selector & 1) != 0;
    uint32_t read = 0;
    uint32_t saved = 0;

    const uint32_t component = (selector >> 1) & 3;
    switch (component) {
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
