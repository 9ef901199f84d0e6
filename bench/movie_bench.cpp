// Movie costs on the sample game's 800 × 600 MPEG-1 movies (<build>/game/Movie, target
// sample_game): one frame decoded, converted and written into the back buffer, the two halves of
// that apart, and a whole movie tick with Present (a copy of the frame standing in for the
// window's). core_percent is the share of one core that 25 frames a second take. Last, the
// tick after a pause of the ticks in the middle of a long movie, and the sound's rewind.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/graphics.h"
#include "platform/movie_decoder.h"
#include "sound/movie_playback.h"

namespace {

constexpr int64_t kFrameMs = 40;
constexpr double kFramesPerSecond = 25.0;

std::string MoviePath() {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "game/Movie/Story01.mpg")
        .string();
}

std::vector<uint32_t> g_window(800 * 600);

// As the window does: the frame's changed rectangles are copied.
void CopyToWindow(void*, const SPresentFrame& frame) {
    for (uint32_t i = 0; i < frame.changedCount; ++i) {
        const SRect& r = frame.changed[i];
        for (int32_t y = r.top; y < r.bottom; ++y)
            std::memcpy(g_window.data() + static_cast<size_t>(y) * frame.width + r.left,
                        reinterpret_cast<const uint8_t*>(frame.pixels) + static_cast<size_t>(y) * frame.pitchBytes +
                            static_cast<size_t>(r.left) * 4,
                        static_cast<size_t>(r.right - r.left) * 4);
    }
}

struct SMovieBench {
    std::unique_ptr<IMovieVideo> video = OpenMovieVideo(MoviePath().c_str());
    CGraphicsDevice* device = nullptr;
    CSurface* backBuffer = nullptr;
    int64_t time = 0;

    SMovieBench() {
        SDeviceParams params;
        params.present = CopyToWindow;
        device = CGraphicsDevice::Create(params);
        device->GetBackBuffer(&backBuffer);
    }
    ~SMovieBench() {
        backBuffer->Release();
        device->Release();
    }
    // The next frame; at the end the movie starts again (outside the timing).
    void NextFrame(benchmark::State& state) {
        time += kFrameMs;
        if (video->AdvanceTo(time) == 1) return;
        state.PauseTiming();
        video->Rewind();
        time = 0;
        video->AdvanceTo(time);
        state.ResumeTiming();
    }
    void Write() {
        SLockedRect locked;
        backBuffer->LockRect(&locked, nullptr, 0);
        video->WriteFrame(static_cast<uint32_t*>(locked.bits), locked.pitch, 800, 600);
        backBuffer->UnlockRect();
    }
};

bool Ready(benchmark::State& state, const SMovieBench& bench) {
    if (bench.video != nullptr) return true;
    state.SkipWithError("the sample game's movie is missing: build the sample_game target");
    return false;
}

// The share of one core that playing the frames of the run at 25 a second takes.
void SetFrameCounters(benchmark::State& state) {
    const double movieSeconds = static_cast<double>(state.iterations()) / kFramesPerSecond;
    state.counters["core_percent"] =
        benchmark::Counter(movieSeconds / 100.0, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_MovieFrameDecodeConvertWrite(benchmark::State& state) {
    SMovieBench bench;
    if (!Ready(state, bench)) return;
    for (auto _ : state) {
        bench.NextFrame(state);
        bench.Write();
    }
    SetFrameCounters(state);
}
BENCHMARK(BM_MovieFrameDecodeConvertWrite)->Unit(benchmark::kMillisecond);

void BM_MovieFrameDecodeOnly(benchmark::State& state) {
    SMovieBench bench;
    if (!Ready(state, bench)) return;
    for (auto _ : state) bench.NextFrame(state);
    SetFrameCounters(state);
}
BENCHMARK(BM_MovieFrameDecodeOnly)->Unit(benchmark::kMillisecond);

void BM_MovieFrameConvertWriteOnly(benchmark::State& state) {
    SMovieBench bench;
    if (!Ready(state, bench)) return;
    bench.NextFrame(state);
    for (auto _ : state) bench.Write();
    SetFrameCounters(state);
}
BENCHMARK(BM_MovieFrameConvertWriteOnly)->Unit(benchmark::kMillisecond);

// A movie tick as the modes run it, on a clock stepped by one frame per tick: the frame due
// decoded and written through the back buffer's lock, the end test, then Present.
void BM_MovieTickWithPresent(benchmark::State& state) {
    SMovieBench bench;
    if (!Ready(state, bench)) return;
    UseFakeClock(1000);
    CMoviePlayback movie;
    movie.Open(nullptr, MoviePath().c_str(), 0);
    movie.Play();
    for (auto _ : state) {
        AdvanceFakeClock(kFrameMs);
        movie.DrawFrame(bench.device);
        if (movie.HasReachedEnd()) movie.Rewind();
        bench.device->Present();
    }
    UseRealClock();
    SetFrameCounters(state);
}
BENCHMARK(BM_MovieTickWithPresent)->Unit(benchmark::kMillisecond);

// The tick after the ticks stood still for pause_s seconds (a dialog held them) 5 s into a
// generated 60 s 800 × 600 MPEG-1 movie (a key frame every 12 frames): the frame then due,
// decoded from where the decoding stood. frames_decoded: the frames that tick decoded.
void BM_MovieTickAfterAPause(benchmark::State& state) {
    const std::string path = "/tmp/velkora-movie-pause-bench.mpg";
    if (!std::filesystem::exists(path) &&
        std::system(("ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=s=800x600:r=25:d=60 "
                     "-c:v mpeg1video -q:v 4 -threads 1 -f mpeg " + path).c_str()) != 0) {
        state.SkipWithError("the ffmpeg tool could not make the movie");
        return;
    }
    const auto video = OpenMovieVideo(path.c_str());
    if (video == nullptr) {
        state.SkipWithError("the movie does not open");
        return;
    }
    const int64_t pauseMs = state.range(0) * 1000;
    uint64_t decoded = 0;
    for (auto _ : state) {
        state.PauseTiming();
        video->Rewind();
        video->AdvanceTo(5000);
        const uint64_t before = DecodedMovieFrames();
        state.ResumeTiming();
        benchmark::DoNotOptimize(video->AdvanceTo(5000 + pauseMs));
        decoded += DecodedMovieFrames() - before;
    }
    state.counters["frames_decoded"] = static_cast<double>(decoded) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_MovieTickAfterAPause)->Arg(2)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond);

// The sound's rewind, as each play of a movie starts it, with the first 4096 sample frames read.
void BM_MovieSoundRewind(benchmark::State& state) {
    const auto audio = OpenMovieAudio(MoviePath().c_str());
    if (audio == nullptr) {
        state.SkipWithError("the sample game's movie is missing: build the sample_game target");
        return;
    }
    std::vector<int16_t> pcm(4096 * kMovieAudioChannels);
    for (auto _ : state) {
        audio->Rewind();
        benchmark::DoNotOptimize(audio->Read(pcm.data(), 4096));
    }
}
BENCHMARK(BM_MovieSoundRewind)->Unit(benchmark::kMillisecond);

}  // namespace
