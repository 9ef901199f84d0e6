// The sound track of a movie, streamed like every other sound: its PCM comes from the movie
// file's audio decoder, so the mixer, volumes and the fake clock work for it unchanged.
#pragma once

#include <atomic>
#include <memory>

#include "platform/movie_decoder.h"
#include "sound/sound_player.h"

class CMovieAudioPlayer : public CDirectSoundBase {
public:
    CMovieAudioPlayer() = default;
    ~CMovieAudioPlayer() override;

    // Opens the sound track of a movie file (always a loose file). 0, or -1 when the file has
    // no sound track that decodes.
    int32_t Open(CAudioDevice* device, const char* path) override;
    // Movie files are opened by path only: always -1.
    int32_t OpenFromCallbacks(CAudioDevice* device, const char* name, const CStreamCallbacks* callbacks,
                              void* source) override;
    void Close() override;
    int32_t SeekTime(double seconds) override;

    // Where the sound track ends, in ms from its start, once the decoder has reached the end;
    // -1 before.
    int64_t EndMs() const { return m_endMs.load(); }

protected:
    int64_t ReadPcm(void* destination, uint32_t bytes) override;

private:
    std::unique_ptr<IMovieAudio> m_decoder;
    int64_t m_framesRead = 0;  // since the start; used under the source lock
    std::atomic<int64_t> m_endMs{-1};
};
