// The sound command payloads: any bytes as a script sound command (BGMT, VOIT, "SET ") and as
// the masked save form of a channel are read within their size, consumed exactly, and applied.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "files/scrambled_io.h"
#include "files/stream.h"
#include "platform/audio.h"
#include "platform/render_context.h"
#include "sound/sound_channel.h"
#include "tools/lib/memory_stream.h"

namespace {

// A stream over the bytes with a read window of exactly their size.
bool OpenPayload(CReadStream* stream, const uint8_t* data, size_t size) {
    if (!OpenMemoryStream(stream, data, size, 4096)) return false;
    stream->Fill(static_cast<uint32_t>(size));
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CAudioDevice* device = CAudioDevice::Create(EAudioOutput::Manual).release();
    if (size == 0 || size > 65536) return 0;
    g_pEngineDirectSound = device;
    const int32_t kind = data[0] % 3;
    CSoundChannel channel;
    uint32_t consumed = 0;
    {
        CReadStream stream;
        if (!OpenPayload(&stream, data, size)) return 0;
        channel.ParseCommand(&stream, kind, static_cast<uint32_t>(size), &consumed);
        if (consumed > size) __builtin_trap();
    }
    channel.startTime = 0;
    g_GameClock = 0x7FFFFFFF;
    channel.Update(0);
    uint32_t saved = 0;
    channel.Save(nullptr, &saved);
    {
        std::memset(g_SaveKey, data[size - 1], sizeof g_SaveKey);
        CReadStream stream;
        if (!OpenPayload(&stream, data, size)) return 0;
        channel.Restore(&stream, &consumed, kind, static_cast<uint32_t>(size));
        if (consumed > size) __builtin_trap();
    }
    channel.Update(1);
    return 0;
}
