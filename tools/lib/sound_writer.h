// Writers of test and sample sounds: RIFF WAVE bytes built chunk by chunk, and Ogg Vorbis
// streams encoded with libvorbisenc.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/audio.h"

SWaveFormat PcmFormat(uint16_t channels, uint32_t rate, uint16_t bits);

// RIFF WAVE bytes built chunk by chunk.
class CWavBuilder {
public:
    CWavBuilder& Chunk(const char (&tag)[5], const std::vector<uint8_t>& payload);
    CWavBuilder& Format(const SWaveFormat& format, uint32_t payloadSize = 16);
    CWavBuilder& Data(const std::vector<uint8_t>& pcm);
    std::vector<uint8_t> Build(const char (&riff)[5] = "RIFF", const char (&wave)[5] = "WAVE") const;

private:
    std::vector<uint8_t> m_chunks;
};

std::vector<uint8_t> MakeWav(const SWaveFormat& format, const std::vector<uint8_t>& pcm);
// An Ogg Vorbis stream of interleaved samples from -1 to 1 at the VBR quality (-0.1 to 1.0),
// with the given stream serial number; the identification header on a page of its own, as
// decoders expect. Empty when the encoder refuses the channel count or rate.
std::vector<uint8_t> EncodeOgg(const std::vector<float>& interleaved, uint16_t channels, uint32_t rate,
                               float quality = 0.3f, uint32_t serial = 1234);
// The same from 16-bit samples.
std::vector<uint8_t> EncodeOgg(const std::vector<int16_t>& interleaved, uint16_t channels, uint32_t rate,
                               float quality = 0.3f);
