// The player of uncompressed PCM in RIFF WAVE files.
#pragma once

#include <cstdio>

#include "sound/sound_player.h"

class CDirectSoundWave : public CDirectSoundBase {
public:
    CDirectSoundWave();
    ~CDirectSoundWave() override;

    int32_t Open(CAudioDevice* device, const char* path) override;
    int32_t OpenFromCallbacks(CAudioDevice* device, const char* name, const CStreamCallbacks* callbacks,
                              void* source) override;
    void Close() override;
    int32_t SeekTime(double seconds) override;

    // Walks the RIFF chunks of the source: the format from "fmt ", the place and size of
    // "data". 0, or -1 when the source is not RIFF WAVE. Leaves the source at the data.
    int32_t ParseRiff();

    uint32_t GetDataOffset() const { return m_dataOffset; }
    uint32_t GetDataSize() const { return m_dataSize; }
    uint32_t GetPosition() const { return m_position; }
    const SWaveFormat& GetFormat() const { return m_format; }

protected:
    int64_t ReadPcm(void* destination, uint32_t bytes) override;

private:
    int32_t OpenParsedSource(CAudioDevice* device);
    void UseFileSource();
    size_t ReadSource(void* destination, size_t bytes);

    CStreamCallbacks m_callbacks;
    void* m_source = nullptr;
    FILE* m_file = nullptr;
    uint32_t m_bytesPerSecond = 0;
    uint32_t m_dataOffset = 0;
    uint32_t m_position = 0;
    uint32_t m_dataSize = 0;
};
