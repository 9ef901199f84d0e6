// Sound costs: the mixer with the engine's 14 channels all playing, and Ogg Vorbis decoding.
// The counter core_percent is the share of one core that one second of output takes.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/audio.h"
#include "sound/ogg_player.h"
#include "tools/lib/sound_writer.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr int kChannels = 14;

// Two detuned partials per channel, so that no two buffers hold the same samples.
std::vector<int16_t> Tone(uint32_t frames, double frequency) {
    std::vector<int16_t> out(2 * static_cast<size_t>(frames));
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        out[2 * i] = static_cast<int16_t>(6000 * std::sin(2 * M_PI * frequency * t) + 2000 * std::sin(2 * M_PI * 3.01 * frequency * t));
        out[2 * i + 1] = static_cast<int16_t>(6000 * std::sin(2 * M_PI * 1.002 * frequency * t));
    }
    return out;
}

benchmark::Counter CorePercent(double audioSeconds) {
    return benchmark::Counter(audioSeconds / 100.0, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_MixFourteenStreams(benchmark::State& state) {
    auto device = CAudioDevice::Create(EAudioOutput::Manual);
    std::vector<CAudioBuffer*> buffers;
    for (int i = 0; i < kChannels; ++i) {
        CAudioBuffer* buffer = nullptr;
        device->CreateSoundBuffer(PcmFormat(2, kRate, 16), 4 * 2 * kRate, &buffer);
        const std::vector<int16_t> tone = Tone(2 * kRate, 110.0 * (i + 1));
        void* part1 = nullptr;
        uint32_t bytes1 = 0;
        buffer->Lock(0, 4 * 2 * kRate, &part1, &bytes1, nullptr, nullptr);
        std::memcpy(part1, tone.data(), bytes1);
        buffer->Unlock(part1, bytes1, nullptr, 0);
        buffer->SetVolume(-600 - 100 * i);
        buffer->SetPan(-7000 + 1000 * i);
        buffer->SetFrequency(kRate * 1050 / 1000);  // a rate change: every stream is resampled
        buffer->Play(kAudioPlayLooping);
        buffers.push_back(buffer);
    }
    const uint32_t frames = static_cast<uint32_t>(state.range(0));
    std::vector<int16_t> out(2 * static_cast<size_t>(frames));
    for (auto _ : state) {
        device->Render(out.data(), frames);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["core_percent"] = CorePercent(static_cast<double>(state.iterations()) * frames / kRate);
    for (CAudioBuffer* buffer : buffers) buffer->Release();
}
BENCHMARK(BM_MixFourteenStreams)->Arg(1024)->Unit(benchmark::kMicrosecond);

// Decoding one second of 44.1 kHz stereo Vorbis into PCM, as the streaming thread does per
// buffer half.
void BM_DecodeOggSecond(benchmark::State& state) {
    // A tone with a noise floor, so that the stream has a music-like bit rate.
    std::vector<int16_t> music = Tone(10 * kRate, 220.0);
    uint32_t seed = 1;
    for (int16_t& sample : music) {
        seed = seed * 1664525u + 1013904223u;
        sample = static_cast<int16_t>(sample + static_cast<int32_t>(seed >> 20) - 2048);
    }
    const std::vector<uint8_t> encoded = EncodeOgg(music, 2, kRate, static_cast<float>(state.range(0)) / 10.0f);
    char path[] = "/tmp/sound_bench_XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0 || write(fd, encoded.data(), encoded.size()) != static_cast<ssize_t>(encoded.size())) {
        state.SkipWithError("cannot write the test stream");
        return;
    }
    close(fd);
    auto device = CAudioDevice::Create(EAudioOutput::Manual);
    CDirectSoundOgg ogg;
    if (ogg.Open(device.get(), path) != 0) {
        state.SkipWithError("cannot open the test stream");
        unlink(path);
        return;
    }
    std::vector<uint8_t> second(4 * kRate);
    for (auto _ : state) {
        ogg.Fill(second.data(), static_cast<uint32_t>(second.size()));  // endless: loops at the end
        benchmark::DoNotOptimize(second.data());
    }
    state.counters["core_percent"] = CorePercent(static_cast<double>(state.iterations()));
    state.counters["kbit_per_s"] = static_cast<double>(encoded.size()) * 8 / 10 / 1000;
    ogg.Close();
    unlink(path);
}
BENCHMARK(BM_DecodeOggSecond)->Arg(3)->Arg(7)->Unit(benchmark::kMillisecond);

}  // namespace
