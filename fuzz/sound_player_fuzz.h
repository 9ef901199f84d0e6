// One sound player over arbitrary bytes: it opens cleanly or fails, then decodes, seeks and
// decodes again, and closes its source.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "files/file_stream.h"
#include "platform/audio.h"

template <typename Player>
int FuzzSoundPlayer(const uint8_t* data, size_t size, const char* name) {
    static CAudioDevice* device = CAudioDevice::Create(EAudioOutput::Manual).release();
    if (size == 0) return 0;
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (file == nullptr) return 0;
    CStreamCallbacks callbacks = FileRefCallbacks();
    Player player;
    if (player.OpenFromCallbacks(device, name, &callbacks, &file) != 0) {
        std::fclose(file);  // a failed open leaves the source with the caller
        return 0;
    }
    std::vector<uint8_t> block(16384);
    for (int i = 0; i < 3; ++i) player.Fill(block.data(), static_cast<uint32_t>(block.size()));
    player.SeekTime(0.25);
    player.Fill(block.data(), static_cast<uint32_t>(block.size()));
    player.Close();  // closes the file through the callbacks
    return 0;
}
