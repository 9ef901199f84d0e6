// The whole program on the sample game in real time: the time from start-up to the first logo
// frame, and, while the game idles on a shown page, the tick rate, the share of one core the
// process uses (all its threads) and its peak memory. Run from the build folder's bench program;
// the sample game is expected in <build>/game (target sample_game).
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/game_app.h"
#include "platform/message_box.h"
#include "platform/render_context.h"

namespace {

constexpr uint32_t kIdleMs = 10000;

std::filesystem::path SampleGameFolder() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "game";
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void Click(CGameApp& app, uint32_t x, uint32_t y) {
    app.mouse.mouseX = x;
    app.mouse.mouseY = y;
    app.mouse.mouseMoved = 1;
    app.mouse.leftDown = 1;
    app.mouse.leftUp = 1;
}

// Runs the loop in real time for ms milliseconds.
void Play(CGameApp& app, uint32_t ms) { app.Loop(ms); }

void BM_GameIdleOnAPage(benchmark::State& state) {
    const std::filesystem::path game = SampleGameFolder();
    if (!std::filesystem::exists(game / "System.pac")) {
        state.SkipWithError("the sample game is missing: build the sample_game target");
        return;
    }
    char home[] = "/tmp/velkora-bench-XXXXXX";
    if (mkdtemp(home) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("XDG_DATA_HOME", home, 1);
    setenv("XDG_RUNTIME_DIR", home, 1);
    SuppressMessageBoxWindows(true);
    const std::filesystem::path saved = std::filesystem::current_path();
    std::filesystem::current_path(game);

    for (auto _ : state) {
        CGameApp app;
        const auto begin = std::chrono::steady_clock::now();
        if (app.Init() == 0 || app.Tick() == 0) {
            state.SkipWithError("start-up failed");
            break;
        }
        const double startupMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();

        Click(app, 400, 300);  // the logo
        Play(app, 300);
        Click(app, 10, 10);    // the title's opening fade
        Play(app, 300);
        Click(app, 680, 269);  // new game
        Play(app, 2500);
        Click(app, 400, 300);  // the first page, shown whole
        Play(app, 1000);
        if (app.mode != kModeAdventure || g_bPageTextDone != 1) {
            state.SkipWithError("the first page of a new game is not shown");
            break;
        }

        const uint32_t ticksBefore = app.tickCount;
        const double cpuBefore = CpuSeconds();
        const auto idleBegin = std::chrono::steady_clock::now();
        Play(app, kIdleMs);
        const double idleSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - idleBegin).count();
        state.counters["startup_ms"] = startupMs;
        state.counters["ticks_per_s"] = (app.tickCount - ticksBefore) / idleSeconds;
        state.counters["cpu_share"] = (CpuSeconds() - cpuBefore) / idleSeconds;
        state.counters["peak_mb"] = PeakMegabytes();
        app.Shutdown();
    }
    std::filesystem::current_path(saved);
    std::filesystem::remove_all(home);
}
BENCHMARK(BM_GameIdleOnAPage)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
