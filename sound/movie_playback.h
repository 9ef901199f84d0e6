// One movie playing over the whole client area: its video decoded on the main thread up to the
// frame due at the media clock (the millisecond clock since the movie started, so the fake clock
// drives it exactly) and written into the back buffer, its sound streamed through the mixer.
// The owner shows the back buffer with the ordinary Present.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/movie_decoder.h"
#include "sound/movie_audio.h"

class CAudioDevice;
class CGraphicsDevice;
class CSurface;

class CMoviePlayback {
public:
    CMoviePlayback() = default;
    CMoviePlayback(const CMoviePlayback&) = delete;
    CMoviePlayback& operator=(const CMoviePlayback&) = delete;
    ~CMoviePlayback() { Close(); }

    // Opens a movie file (always a loose file) with its sound at `volume` hundredths of a
    // decibel. 0, or -1 when it has neither a video nor a sound track that decodes (nothing is
    // then held).
    int32_t Open(CAudioDevice* sound, const char* path, int32_t volume);
    void Close();
    bool IsOpen() const { return video_ != nullptr || audio_ != nullptr; }

    // Plays from the start: the media clock counts from now. 0, or -1 when nothing is open or
    // the sound cannot start.
    int32_t Play();
    // Stops the sound; the picture stays where it is.
    void Stop();
    // Back to the start and on playing.
    int32_t Rewind() { return Play(); }

    // The positions in media ms: the current one is the media clock; the stop position is where
    // the later of the video and the sound ends, INT64_MAX while that is not known yet (the end
    // is found by decoding up to it). A sound whose end is still unknown two seconds after the
    // picture's end is not waited for.
    int64_t CurrentPosition() const;
    int64_t StopPosition() const;
    // Decodes up to the frame due now, then compares the positions.
    bool HasReachedEnd();

    // Decodes up to the frame due now and writes it, scaled, into the device's back buffer when
    // it is a new frame or the back buffer is not the one written last. 0, or -1 when the back
    // buffer cannot be locked.
    int32_t DrawFrame(CGraphicsDevice* device);

private:
    void AdvanceVideo();

    std::unique_ptr<IMovieVideo> video_;
    std::unique_ptr<CMovieAudioPlayer> audio_;
    bool playing_ = false;
    uint32_t startMs_ = 0;
    bool hasFrame_ = false;             // a frame has been due since the start
    bool frameChanged_ = false;         // the current frame is not in the back buffer yet
    const CSurface* written_ = nullptr;  // the back buffer that holds the current frame
};
