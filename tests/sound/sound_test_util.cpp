#include "tests/sound/sound_test_util.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"

std::vector<uint8_t> ToBytes(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> out(samples.size() * 2);
    std::memcpy(out.data(), samples.data(), out.size());
    return out;
}

std::vector<int16_t> Sine(uint32_t frames, uint16_t channels, double frequency, uint32_t rate, double amplitude) {
    std::vector<int16_t> out;
    out.reserve(static_cast<size_t>(frames) * channels);
    for (uint32_t i = 0; i < frames; ++i) {
        const auto v = static_cast<int16_t>(std::lrint(amplitude * std::sin(2.0 * M_PI * frequency * i / rate)));
        for (uint16_t c = 0; c < channels; ++c) out.push_back(v);
    }
    return out;
}

std::vector<int16_t> Ramp(uint32_t frames) {
    std::vector<int16_t> out;
    out.reserve(static_cast<size_t>(frames) * 2);
    for (uint32_t i = 0; i < frames; ++i) {
        const auto v = static_cast<int16_t>(i / 441 + 1);
        out.push_back(v);
        out.push_back(v);
    }
    return out;
}

CStreamCallbacks CMemorySource::Callbacks() {
    CStreamCallbacks callbacks;
    callbacks.read = [](void* destination, size_t size, size_t count, void* source) -> size_t {
        auto* memory = static_cast<CMemorySource*>(source);
        if (size == 0) return 0;
        const size_t available = memory->position < memory->bytes.size() ? memory->bytes.size() - memory->position : 0;
        const size_t items = std::min(count, available / size);
        if (items != 0) std::memcpy(destination, memory->bytes.data() + memory->position, items * size);
        memory->position += items * size;
        return items;
    };
    callbacks.seek = [](void* source, int64_t offset, int origin) -> int {
        auto* memory = static_cast<CMemorySource*>(source);
        int64_t base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? static_cast<int64_t>(memory->position)
                                                                   : static_cast<int64_t>(memory->bytes.size());
        const int64_t target = base + offset;
        if (target < 0) return -1;
        memory->position = static_cast<size_t>(target);
        return 0;
    };
    callbacks.close = [](void* source) -> int {
        ++static_cast<CMemorySource*>(source)->closes;
        return 0;
    };
    callbacks.tell = [](void* source) -> long { return static_cast<long>(static_cast<CMemorySource*>(source)->position); };
    return callbacks;
}

int CountOpenFileDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr) ++count;
        closedir(dir);
    }
    return count;
}

bool AllZero(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
    return std::all_of(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(to),
                       [](uint8_t b) { return b == 0; });
}

void SoundClockTest::SetUp() {
    UseFakeClock(5000000);
    m_device = CAudioDevice::Create(EAudioOutput::Clock);
    ASSERT_NE(m_device, nullptr);
    m_device->SetCapture(true);
}

void SoundClockTest::TearDown() {
    ASSERT_TRUE(SettleFakeClock());
    UseRealClock();
}

void SoundClockTest::Run(uint32_t ms, uint32_t step) {
    ASSERT_TRUE(SettleFakeClock());
    for (uint32_t done = 0; done < ms; done += step) {
        AdvanceFakeClock(std::min(step, ms - done));
        ASSERT_TRUE(SettleFakeClock());
    }
}

std::vector<int16_t> SoundClockTest::TakeOutput() { return m_device->TakeCaptured(); }
