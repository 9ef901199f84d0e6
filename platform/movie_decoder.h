// Movie files decoded on demand (with FFmpeg, in a module loaded on the first open,
// platform/movie_module.h): the video frame due at a media time, scaled into pixels the
// caller owns, and the sound track as 16-bit stereo PCM at 44,100 Hz. A movie file is always a
// loose file, found like every game file (platform/paths.h). Positions count from the file's
// first timestamp, and the end of a movie is found by decoding up to it: containers such as
// MPEG program streams only estimate their duration.
//
// The video and the sound are read through separate decoders of the same file, so that each
// belongs to one thread: the video to the main thread, the sound to its streaming thread.
#pragma once

#include <cstdint>
#include <memory>

constexpr uint32_t kMovieAudioRate = 44100;
constexpr uint32_t kMovieAudioChannels = 2;

class IMovieVideo {
public:
    virtual ~IMovieVideo() = default;
    // Decodes up to the frame due at mediaMs: the last frame whose time is not after it. 1 when
    // another frame became the current one, 0 when the current frame is still the one due (or
    // no frame is due yet). A frame due more than a second past the decoding is decoded from
    // the key frame before it, the packets up to there read but not decoded.
    virtual int32_t AdvanceTo(int64_t mediaMs) = 0;
    // Writes the current frame scaled to width × height 0xAARRGGBB pixels, rows pitchBytes
    // apart. 0, or -1 when there is no current frame or it cannot be converted.
    virtual int32_t WriteFrame(uint32_t* pixels, int32_t pitchBytes, uint32_t width, uint32_t height) = 0;
    // The end of the video in media ms (the last frame's time plus its duration), known once the
    // video has been decoded to its end or could not be decoded further; -1 before.
    virtual int64_t EndMs() const = 0;
    // Back to the first frame: a seek to the start with the decoder flushed and no current
    // frame. 0 / -1.
    virtual int32_t Rewind() = 0;
};

class IMovieAudio {
public:
    virtual ~IMovieAudio() = default;
    // Up to frameCount interleaved stereo frames from where the sound stands, the time before
    // the track's first sample as silence: the count (above 0), 0 at the end, -1 on a failure.
    virtual int32_t Read(int16_t* pcm, uint32_t frameCount) = 0;
    // Back to the start with the decoder flushed. 0 / -1.
    virtual int32_t Rewind() = 0;
};

// Null when the file cannot be opened or has no such track that gives a frame (a sample), and
// when the decoder cannot be loaded (said once on stderr; it is not tried again).
std::unique_ptr<IMovieVideo> OpenMovieVideo(const char* path);
std::unique_ptr<IMovieAudio> OpenMovieAudio(const char* path);

// Test hook: the openers used instead of the decoders (null members: the real decoder).
struct SMovieOpeners {
    std::unique_ptr<IMovieVideo> (*video)(const char* path) = nullptr;
    std::unique_ptr<IMovieAudio> (*audio)(const char* path) = nullptr;
};
void SetMovieOpeners(const SMovieOpeners& openers);

// Test hook: the decoder is loaded from this module on the next open, in place of the one the
// program links in or finds beside itself; null goes back to those. A module loaded before
// stays loaded, as its decoders may still be open.
void SetMovieModulePath(const char* path);

// How many video frames every decoder has decoded so far (for tests and measurements).
uint64_t DecodedMovieFrames();
