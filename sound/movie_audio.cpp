#include "sound/movie_audio.h"

#include <algorithm>
#include <vector>

namespace {

constexpr uint32_t kFrameBytes = kMovieAudioChannels * sizeof(int16_t);

SWaveFormat MovieFormat() {
    SWaveFormat format;
    format.wFormatTag = kWaveFormatPcm;
    format.nChannels = kMovieAudioChannels;
    format.nSamplesPerSec = kMovieAudioRate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = kFrameBytes;
    format.nAvgBytesPerSec = kMovieAudioRate * kFrameBytes;
    return format;
}

}  // namespace

CMovieAudioPlayer::~CMovieAudioPlayer() { Close(); }

int32_t CMovieAudioPlayer::Open(CAudioDevice* device, const char* path) {
    Close();
    m_decoder = OpenMovieAudio(path);
    if (m_decoder == nullptr || CreateBuffer(device, MovieFormat()) != 0) {
        m_decoder.reset();
        return -1;
    }
    Reset();
    m_framesRead = 0;
    m_endMs = -1;
    return 0;
}

int32_t CMovieAudioPlayer::OpenFromCallbacks(CAudioDevice*, const char*, const CStreamCallbacks*, void*) {
    return -1;
}

void CMovieAudioPlayer::Close() {
    CDirectSoundBase::Close();
    m_decoder.reset();
}

int64_t CMovieAudioPlayer::ReadPcm(void* destination, uint32_t bytes) {
    if (m_decoder == nullptr) return -1;
    const int32_t frames = m_decoder->Read(static_cast<int16_t*>(destination), bytes / kFrameBytes);
    if (frames > 0) {
        m_framesRead += frames;
        return static_cast<int64_t>(frames) * kFrameBytes;
    }
    if (frames == 0 && m_endMs < 0) m_endMs = m_framesRead * 1000 / kMovieAudioRate;
    return frames;
}

// Back to the start, then forward by decoding what lies before the time.
int32_t CMovieAudioPlayer::SeekTime(double seconds) {
    if (m_decoder == nullptr) return 0;
    m_decoder->Rewind();
    m_framesRead = 0;
    m_endMs = -1;
    auto skip = static_cast<int64_t>(std::max(0.0, seconds) * kMovieAudioRate);
    std::vector<int16_t> scratch(4096 * kMovieAudioChannels);
    while (skip > 0) {
        const int32_t got = m_decoder->Read(scratch.data(), static_cast<uint32_t>(std::min<int64_t>(skip, 4096)));
        if (got <= 0) break;
        m_framesRead += got;
        skip -= got;
    }
    return 0;
}
