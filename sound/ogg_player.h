// The player of Ogg Vorbis streams, decoded to 16-bit PCM through libvorbisfile.
#pragma once

#include <cstdio>
#include <memory>

#include "sound/sound_player.h"

struct OggVorbis_File;

class CDirectSoundOgg : public CDirectSoundBase {
public:
    CDirectSoundOgg();
    ~CDirectSoundOgg() override;

    int32_t Open(CAudioDevice* device, const char* path) override;
    int32_t OpenFromCallbacks(CAudioDevice* device, const char* name, const CStreamCallbacks* callbacks,
                              void* source) override;
    void Close() override;
    int32_t SeekTime(double seconds) override;

    const SWaveFormat& GetFormat() const { return m_format; }

protected:
    int64_t ReadPcm(void* destination, uint32_t bytes) override;

private:
    int32_t BuildFormat();
    int32_t CreateFromDecoder(CAudioDevice* device);

    FILE* m_file = nullptr;
    std::unique_ptr<OggVorbis_File> m_decoder;  // cleared to zero
    bool m_decoderOpen = false;
};
