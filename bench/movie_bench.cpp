// Movie costs on the sample game's 800 × 600 MPEG-1 movies (<build>/game/Movie, target
// sample_game): one frame decoded, converted and written into the back buffer, the two halves of
// that apart, and a whole movie tick with Present (a copy of the frame standing in for the
// window's). core_percent is the share of one core that 25 frames a second take.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <memory>
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

void CopyToWindow(void*, const uint32_t* pixels, int32_t pitchBytes, uint32_t width, uint32_t height) {
    for (uint32_t y = 0; y < height; ++y)
        std::memcpy(g_window.data() + y * width, reinterpret_cast<const uint8_t*>(pixels) + y * pitchBytes, width * 4);
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

}  // namespace
