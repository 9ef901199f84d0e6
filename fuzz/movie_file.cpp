// A movie file of any bytes: both tracks opened, decoded to their ends with the picture written
// at a small size, rewound and decoded again (the video in leaps that read ahead to key frames).
// Nothing is written outside the pixels and every loop ends.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/movie_decoder.h"

namespace {

constexpr uint32_t kWidth = 40;
constexpr uint32_t kHeight = 30;
constexpr uint32_t kGuard = 0xA5A5A5A5u;

void PlayVideo(IMovieVideo& video, int64_t stepMs) {
    std::vector<uint32_t> pixels(kWidth * (kHeight + 1), kGuard);
    for (int64_t ms = 0; ms <= 60000; ms += stepMs) {
        if (video.AdvanceTo(ms) == 1) video.WriteFrame(pixels.data(), kWidth * 4, kWidth, kHeight);
        if (video.EndMs() >= 0) break;
    }
    for (uint32_t x = 0; x < kWidth; ++x)
        if (pixels[kWidth * kHeight + x] != kGuard) __builtin_trap();
}

void PlayAudio(IMovieAudio& audio) {
    std::vector<int16_t> pcm(1024 * kMovieAudioChannels);
    int64_t frames = 0;
    for (int32_t got; frames < 60 * int64_t{kMovieAudioRate} && (got = audio.Read(pcm.data(), 1024)) > 0;) {
        if (got > 1024) __builtin_trap();
        frames += got;
    }
}

}  // namespace

// The file the bytes are written to, removed when the fuzzer ends.
struct CScratchFile {
    std::string path = "/tmp/velkora-fuzz-movie-" + std::to_string(::getpid()) + ".mpg";
    ~CScratchFile() { std::remove(path.c_str()); }
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const CScratchFile scratch;
    const std::string& path = scratch.path;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return 0;
    const bool written = std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !written) return 0;
    if (auto video = OpenMovieVideo(path.c_str())) {
        PlayVideo(*video, 97);
        video->Rewind();
        PlayVideo(*video, 2500);
    }
    if (auto audio = OpenMovieAudio(path.c_str())) {
        PlayAudio(*audio);
        audio->Rewind();
        PlayAudio(*audio);
    }
    return 0;
}
