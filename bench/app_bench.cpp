// The whole program on the sample game. In real time: the time from start-up to the first logo
// frame, and, while the game idles on a shown page, the tick rate, the share of one core the
// process uses (all its threads) and its peak memory. On the fake clock: the main thread's CPU
// time per tick on the first story page, still (the click-wait cursor animating) and while its
// background fades in, with damage tracking on and off (core_percent: the share of one core at
// one tick every 15 ms). Run from the build folder's bench program; the sample game is expected
// in <build>/game (target sample_game).
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/game_app.h"
#include "bench/bench_globals.h"
#include "bench/bench_memory.h"
#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/devices_graphics.h"
#include "platform/message_box.h"
#include "platform/render_context.h"
#include "platform/window.h"
#include "screens/title.h"

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

void Click(CGameApp& app, uint32_t x, uint32_t y) {
    app.mouse.mouseX = x;
    app.mouse.mouseY = y;
    app.mouse.mouseMoved = 1;
    app.mouse.leftDown = 1;
    app.mouse.leftUp = 1;
}

// Runs the loop in real time for ms milliseconds.
void Play(CGameApp& app, uint32_t ms) { app.Loop(ms); }

// A run of the sample game without a display or sound card, its files in a temporary folder
// of its own (returned; empty, after telling the benchmark to skip, when it cannot be made).
std::string PrepareHeadlessRun(benchmark::State& state) {
    if (!std::filesystem::exists(SampleGameFolder() / "System.pac")) {
        state.SkipWithError("the sample game is missing: build the sample_game target");
        return "";
    }
    char home[] = "/tmp/velkora-bench-XXXXXX";
    if (mkdtemp(home) == nullptr) {
        state.SkipWithError("no temporary folder");
        return "";
    }
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("XDG_DATA_HOME", home, 1);
    setenv("XDG_RUNTIME_DIR", home, 1);
    SuppressMessageBoxWindows(true);
    return home;
}

// peak_mb: the game's own resident peak, start-up included, above what the process held before
// it (never what an earlier benchmark peaked at).
void BM_GameIdleOnAPage(benchmark::State& state) {
    const CBenchGlobalsScope globals;
    const std::filesystem::path game = SampleGameFolder();
    const std::string home = PrepareHeadlessRun(state);
    if (home.empty()) return;
    const std::filesystem::path saved = std::filesystem::current_path();
    std::filesystem::current_path(game);

    for (auto _ : state) {
        const CResidentPeak peak;
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
        state.counters["peak_mb"] = peak.PeakMib();
        app.Shutdown();
    }
    std::filesystem::current_path(saved);
    std::filesystem::remove_all(home);
}
BENCHMARK(BM_GameIdleOnAPage)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The sample game on the fake clock, brought to its first story page: the page starts (its
// background fading in over 1.5 s), or is shown whole by a click.
class CTickedGame {
    const CBenchGlobalsScope globals_;  // first made, last undone

public:
    explicit CTickedGame(benchmark::State& state) {
        home_ = PrepareHeadlessRun(state);
        if (home_.empty()) return;
        saved_ = std::filesystem::current_path();
        std::filesystem::current_path(SampleGameFolder());
        UseFakeClock(10000000);
        g_pDirectSound = CAudioDevice::Create(EAudioOutput::Clock).release();
        app_ = std::make_unique<CGameApp>();
        if (app_->Init() == 0) {
            state.SkipWithError("start-up failed");
            return;
        }
        ready_ = true;
    }
    ~CTickedGame() {
        if (app_) app_->Shutdown();
        app_.reset();
        ReleaseDirectSound();
        UseRealClock();
        if (!saved_.empty()) std::filesystem::current_path(saved_);
        if (!home_.empty()) std::filesystem::remove_all(home_);
    }

    bool Ready() const { return ready_; }

    void Tick() {
        AdvanceFakeClock(kTickMs);
        SettleFakeClock();
        PumpWindowEvents(app_->window);
        app_->Tick();
    }
    void Ticks(uint32_t ms) {
        for (uint32_t t = 0; t < ms; t += kTickMs) Tick();
    }

    // Logo, title, new game: the first page has just begun.
    bool StartFirstPage() {
        Click(*app_, 400, 300);
        Ticks(300);
        Click(*app_, 10, 10);
        Ticks(300);
        Click(*app_, 680, 269);
        Ticks(kTitleFadeMs + 250);
        return app_->mode == kModeAdventure;
    }
    void ShowPageWhole() {
        Click(*app_, 400, 300);
        Ticks(1000);
    }

private:
    std::filesystem::path saved_;
    std::string home_;
    std::unique_ptr<CGameApp> app_;
    bool ready_ = false;
};

benchmark::Counter TickCorePercent(benchmark::State& state) {
    return benchmark::Counter(static_cast<double>(state.iterations()) * kTickMs / 1000.0 / 100.0,
                              benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void SetTracking(benchmark::State& state) {
    const bool on = state.range(0) != 0;
    g_pD3DDevice->SetDamageTracking(on);
    state.SetLabel(on ? "tracked" : "full redraw");
}

void BM_TickStillPage(benchmark::State& state) {
    CTickedGame game(state);
    if (!game.Ready()) return;
    if (!game.StartFirstPage()) {
        state.SkipWithError("the first page did not start");
        return;
    }
    game.ShowPageWhole();
    SetTracking(state);
    for (auto _ : state) game.Tick();
    state.counters["core_percent"] = TickCorePercent(state);
}
BENCHMARK(BM_TickStillPage)->ArgName("tracking")->Arg(1)->Arg(0)->Iterations(400)->Unit(benchmark::kMicrosecond);

// 80 ticks of the page's first 1.5 s, while its background fades in.
void BM_TickDuringFade(benchmark::State& state) {
    CTickedGame game(state);
    if (!game.Ready()) return;
    if (!game.StartFirstPage()) {
        state.SkipWithError("the first page did not start");
        return;
    }
    SetTracking(state);
    for (auto _ : state) game.Tick();
    state.counters["core_percent"] = TickCorePercent(state);
}
BENCHMARK(BM_TickDuringFade)->ArgName("tracking")->Arg(1)->Arg(0)->Iterations(80)->Unit(benchmark::kMicrosecond);

}  // namespace
