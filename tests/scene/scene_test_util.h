// Helpers of the scene tests: a headless device set up as the engine leaves it and installed as
// the engine device, hand-built payloads, and parse, save and restore runners over memory.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "files/scrambled_io.h"
#include "files/stream.h"
#include "platform/graphics.h"
#include "platform/render_context.h"
#include "tests/support/engine_bytes.h"
#include "tests/support/graphics_support.h"

namespace scene_test {

using Bytes = CTestBytes;
using ::testing::FieldsAre;

// Sub-chunks one after the other.
inline Bytes operator+(Bytes first, const Bytes& second) {
    first.Raw(second.bytes.data(), second.size());
    return first;
}

// A sub-chunk of 32-bit integers or of floats.
inline Bytes Ints(const char* tag, std::initializer_list<int32_t> values) {
    Bytes payload;
    for (int32_t v : values) payload.I32(v);
    return Bytes().Chunk(tag, payload);
}
inline Bytes Floats(const char* tag, std::initializer_list<float> values) {
    Bytes payload;
    for (float v : values) payload.F32(v);
    return Bytes().Chunk(tag, payload);
}

// A value sub-chunk in its static form: animate 0 and the values.
inline Bytes Static(const char* tag, std::initializer_list<float> values) {
    Bytes payload;
    payload.U32(0);
    for (float v : values) payload.F32(v);
    return Bytes().Chunk(tag, payload);
}

// An animated sub-chunk: animate 1, cubic, the key count and the keys {time, values}.
struct SKey {
    int32_t time;
    std::vector<float> values;
};
inline Bytes Animated(const char* tag, uint32_t cubic, std::initializer_list<SKey> keys) {
    Bytes payload;
    payload.U32(1).U32(cubic).U32(static_cast<uint32_t>(keys.size()));
    for (const SKey& key : keys) {
        payload.I32(key.time);
        for (float v : key.values) payload.F32(v);
    }
    return Bytes().Chunk(tag, payload);
}

// An 800 x 600 device with the engine's render states, inside a scene.
class SceneDevice {
public:
    SceneDevice() {
        device = MakeTestDevice(800, 600);
        device->SetRenderState(RenderState::ZEnable, 0);
        device->SetRenderState(RenderState::SeparateAlphaBlendEnable, 1);
        device->SetRenderState(RenderState::BlendOpAlpha, BlendOp::Max);
        g_pEngineDevice = device;
        device->BeginScene();
        Clear(0);
    }
    ~SceneDevice() {
        g_pEngineDevice = nullptr;
        device->EndScene();
        device->SetTexture(0, nullptr);
        device->Release();
    }
    SceneDevice(const SceneDevice&) = delete;
    SceneDevice& operator=(const SceneDevice&) = delete;

    void Clear(uint32_t colour) { device->Clear(0, nullptr, ClearFlag::Target, colour, 1.0f, 0); }

    // The back buffer's pixel as 0xRRGGBB.
    uint32_t Pixel(int x, int y) const {
        CSurface* back = nullptr;
        device->GetBackBuffer(&back);
        const uint32_t value = SurfacePixel(back, x, y) & 0xFFFFFFu;
        back->Release();
        return value;
    }

    // Pixels of the back buffer that are not black.
    int CountLit() const {
        CSurface* back = nullptr;
        device->GetBackBuffer(&back);
        int count = 0;
        for (int y = 0; y < 600; ++y)
            for (int x = 0; x < 800; ++x) count += (SurfacePixel(back, x, y) & 0xFFFFFFu) != 0 ? 1 : 0;
        back->Release();
        return count;
    }

    // A managed A8R8G8B8 texture filled by texel(x, y); the caller owns it.
    CTexture* MakeTexture(uint32_t width, uint32_t height, const std::function<uint32_t(int, int)>& texel) const {
        return MakeTestTexture(device, width, height, [&](uint32_t x, uint32_t y) {
            return texel(static_cast<int>(x), static_cast<int>(y));
        });
    }

    // Opaque texels, never black, that name their own position: 11 bits of x above 12 of y.
    static uint32_t PositionTexel(int x, int y) {
        return 0xFF800000u | static_cast<uint32_t>(x & 0x7FF) << 12 | static_cast<uint32_t>(y & 0xFFF);
    }
    static int TexelX(uint32_t rgb) { return static_cast<int>(rgb >> 12 & 0x7FF); }
    static int TexelY(uint32_t rgb) { return static_cast<int>(rgb & 0xFFF); }

    CGraphicsDevice* device = nullptr;
};

// The engine globals that scene objects read, set for a page at game time 10000 and cleared
// afterwards.
class SceneGlobalsTest : public ::testing::Test {
protected:
    void SetUp() override { Reset(10000); }
    void TearDown() override { Reset(0); }
    static void Reset(uint32_t clock) {
        g_GameClock = clock;
        g_bModelsUsable = 0;
        std::memset(g_SaveKey, 0, sizeof g_SaveKey);
    }
};

// Runs a command parser over the payload; it must consume the payload exactly.
template <typename Target>
int32_t ParseInto(Target* target, const Bytes& payload) {
    CMemoryReadStream m(payload.bytes);
    uint32_t read = 0;
    const int32_t result = target->ParseCommand(&m.stream, static_cast<uint32_t>(payload.size()), &read);
    EXPECT_EQ(read, payload.size());
    EXPECT_EQ(m.stream.LogicalPosition(), static_cast<int64_t>(payload.size()));
    return result;
}

// The saved form written after `prefix` filler bytes (so that scrambling by absolute offset
// shows); the written count must match the counted one.
template <typename Target>
std::vector<uint8_t> SavedBytes(const Target& target, size_t prefix = 0) {
    uint32_t counted = 0, written = 0;
    EXPECT_EQ(target.Save(nullptr, &counted), 0);
    CMemoryWriteStream memory;
    for (size_t i = 0; i < prefix; ++i) memory.stream.Write("\xAA", 1);
    target.Save(&memory.stream, &written);
    EXPECT_EQ(written, counted);
    return memory.Bytes();
}

// Restores from the bytes after `prefix`; the restore must consume them exactly.
template <typename Target>
int32_t RestoreFrom(Target* target, const std::vector<uint8_t>& bytes, size_t prefix = 0) {
    CMemoryReadStream m(bytes);
    if (prefix != 0) {
        std::vector<uint8_t> skipped(prefix);
        m.stream.Fill(static_cast<uint32_t>(bytes.size()));
        m.stream.Read(skipped.data(), static_cast<uint32_t>(prefix));
    }
    const auto size = static_cast<uint32_t>(bytes.size() - prefix);
    uint32_t read = 0;
    const int32_t result = target->Restore(&m.stream, size, &read);
    EXPECT_EQ(read, size);
    return result;
}

// Sets a recognisable save key, or clears it.
inline void SetSaveKey(uint8_t seed) {
    for (uint8_t i = 0; i < 32; ++i) g_SaveKey[i] = seed == 0 ? 0 : static_cast<uint8_t>(seed + i * 7);
}

// XORs bytes with the save key by absolute offset, as the save scrambling does.
inline std::vector<uint8_t> Unscrambled(std::vector<uint8_t> bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] ^= g_SaveKey[i % 32];
    return bytes;
}

}  // namespace scene_test
