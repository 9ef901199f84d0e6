// Movie files made up in memory: OpenMovieVideo and OpenMovieAudio find them by path (as the
// program passes it), so that the movie code runs on the fake clock without real decoding. Every
// pixel of frame n of a movie tagged t is FakeMoviePixel(t, n); frame n is due from n × frameMs;
// the sound is a constant sample value.
#pragma once

#include <cstdint>
#include <map>
#include <string>

struct SFakeMovie {
    uint32_t tag = 1;
    int32_t frameCount = 25;
    int32_t frameMs = 40;
    bool video = true;
    int32_t soundMs = 0;  // 0: no sound track
};

constexpr int16_t kFakeMovieSample = 1200;

constexpr uint32_t FakeMoviePixel(uint32_t tag, int32_t frame) {
    return 0xFF000000u | (tag & 0xFF) << 16 | static_cast<uint32_t>(frame & 0xFFFF);
}

// Installs the fake openers with these movies (any other path fails to open).
void UseFakeMovies(const std::map<std::string, SFakeMovie>& movies);
// The real decoders again.
void UseRealMovies();
