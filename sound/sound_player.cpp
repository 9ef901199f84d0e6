#include "sound/sound_player.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <system_error>
#include <vector>

#include "files/file_stream.h"

namespace {

constexpr uint32_t kPollMs = 50;
constexpr int32_t kFadeOutStopLevel = -5000;
constexpr int32_t kRateMin = 10;
constexpr int32_t kRateMax = 2000;

int32_t FadeStep(float speed, uint32_t dt) { return static_cast<int32_t>(speed * static_cast<float>(dt)); }

}  // namespace

CDirectSoundBase::CDirectSoundBase() = default;

CDirectSoundBase::~CDirectSoundBase() {
    WaitThread();
    Stop(-1.0f);
    WaitThread();
    ReleaseBuffer();
    m_name[0] = '\0';
}

int64_t CDirectSoundBase::ReadPcm(void*, uint32_t) { return -1; }

int32_t CDirectSoundBase::Fill(void* destination, uint32_t bytes) {
    auto* out = static_cast<uint8_t*>(destination);
    uint32_t filled = 0;
    bool justLooped = false;
    const auto silenceRest = [&](int32_t result) {
        std::memset(out + filled, 0, bytes - filled);
        return result;
    };
    while (filled < bytes) {
        const int64_t got = ReadPcm(out + filled, bytes - filled);
        if (got > 0) {
            filled += static_cast<uint32_t>(std::min<int64_t>(got, bytes - filled));
            justLooped = false;
            continue;
        }
        if (got < 0) return silenceRest(-1);
        // Nothing to play from the loop-back point: the source counts as ended.
        if (justLooped) return silenceRest(1);
        m_playsDone += 1;
        const int32_t count = m_playCount;
        if (count >= 1 && m_playsDone >= count) return silenceRest(1);
        SeekTime(m_loopBack);
        justLooped = true;
    }
    return 0;
}

int32_t CDirectSoundBase::SeekTime(double) { return -1; }

int32_t CDirectSoundBase::CreateBuffer(CAudioDevice* device, const SWaveFormat& format) {
    m_format = format;
    const uint64_t half = static_cast<uint64_t>(format.wBitsPerSample) * format.nChannels * format.nSamplesPerSec / 8;
    if (device == nullptr || half == 0 || half > kAudioBufferMaxBytes / 2) return -1;
    m_halfSize = static_cast<uint32_t>(half);
    ReleaseBuffer();
    return device->CreateSoundBuffer(format, 2 * m_halfSize, &m_buffer) == 0 ? 0 : -1;
}

void CDirectSoundBase::Reset() {
    m_state = kSoundStopped;
    m_fadeOutOn = 0;
    m_volumeFade.on = 0;
    m_panFade.on = 0;
    m_rateFade.on = 0;
    m_volume = 0;
    m_pan = 0;
    m_rate = 1000;
    if (m_buffer != nullptr) ApplyVolume(m_masterVolume);
}

void CDirectSoundBase::ReleaseBuffer() {
    if (m_buffer != nullptr) m_buffer->Release();
    m_buffer = nullptr;
}

// The buffer takes [-10000, 0]; a master volume plus a volume below that is silence, not a
// refused change.
void CDirectSoundBase::ApplyVolume(int32_t volume) {
    m_buffer->SetVolume(std::clamp(volume, kAudioVolumeMin, kAudioVolumeMax));
}

void CDirectSoundBase::ApplyRate(int32_t rate) {
    const auto frequency = static_cast<uint32_t>(static_cast<double>(m_format.nSamplesPerSec) * rate * 0.001);
    m_buffer->SetFrequency(std::clamp(frequency, kAudioFrequencyMin, kAudioFrequencyMax));
}

int32_t CDirectSoundBase::Play(int32_t playCount, int32_t loopBackMs) {
    if (m_buffer == nullptr) return -1;
    m_playCount = playCount;
    m_loopBack = std::max(0, loopBackMs) * 0.001;
    const int32_t state = m_state;
    if (state == kSoundStopped) {
        WaitThread();
        m_pollSleep.Reset();
        m_state = kSoundPlaying;
        m_playsDone = 0;
        try {
            m_thread = StartClockedThread([this] { StreamThread(); });
        } catch (const std::system_error&) {
            m_state = kSoundStopped;
            return -1;
        }
    } else if (state == kSoundPaused) {
        m_buffer->Play(kAudioPlayLooping);
        int32_t paused = kSoundPaused;
        m_state.compare_exchange_strong(paused, kSoundPlaying);
    }
    if (m_fadeOutOn) {
        m_fadeOutOn = 0;
        m_fadeOutAttenuation = 0;
        ApplyVolume(m_masterVolume + m_volume);
    }
    return 0;
}

int32_t CDirectSoundBase::Pause() {
    if (m_buffer == nullptr) return -1;
    // Only a playing sound pauses: a stopped one has no streaming thread to resume, and a sound
    // that its thread has just stopped stays stopped.
    int32_t playing = kSoundPlaying;
    if (!m_state.compare_exchange_strong(playing, kSoundPaused)) return 0;
    m_buffer->Stop();
    FinishFades();
    return 0;
}

int32_t CDirectSoundBase::Stop(float fadeSpeed) {
    if (m_buffer == nullptr) return -1;
    if (m_state == kSoundPlaying && fadeSpeed > 0.0f) {
        if (!m_fadeOutOn) {
            m_fadeOutAttenuation = 0;
            m_fadeOutOn = 1;
        }
        m_fadeOutSpeed = fadeSpeed;
        m_volumeFade.on = 0;
        return 0;
    }
    m_buffer->Stop();
    m_state = kSoundStopped;
    return 0;
}

int32_t CDirectSoundBase::Seek(int32_t ms) {
    if (m_buffer == nullptr) return -1;
    const double seconds = std::max(0, ms) * 0.001;
    if (m_state == kSoundPlaying) {
        m_pendingSeek = seconds;
    } else {
        std::lock_guard<std::mutex> lock(m_sourceMutex);
        SeekTime(seconds);
    }
    return 0;
}

int32_t CDirectSoundBase::SetMasterVolume(int32_t volume) {
    m_masterVolume = std::clamp(volume, kAudioVolumeMin, kAudioVolumeMax);
    if (m_buffer != nullptr) ApplyVolume(m_masterVolume + m_volume);
    return 0;
}

int32_t CDirectSoundBase::SetVolume(int32_t volume, float speed) {
    if (m_buffer == nullptr) return -1;
    volume = std::clamp(volume, kAudioVolumeMin, kAudioVolumeMax);
    if (m_fadeOutOn) {
        m_volume = volume;  // the fade-out goes on from the new volume
        return 0;
    }
    if (m_state == kSoundPlaying && speed > 0.0f) {
        m_volumeFade.target = volume;
        m_volumeFade.speed = speed;
        m_volumeFade.on = 1;
    } else {
        ApplyVolume(m_masterVolume + volume);
        m_volume = volume;
    }
    return 0;
}

int32_t CDirectSoundBase::SetPan(int32_t pan, float speed) {
    if (m_buffer == nullptr) return -1;
    pan = std::clamp(pan, kAudioPanLeft, kAudioPanRight);
    if (m_state == kSoundPlaying && speed > 0.0f) {
        m_panFade.target = pan;
        m_panFade.speed = speed;
        m_panFade.on = 1;
    } else {
        m_buffer->SetPan(pan);
        m_pan = pan;
    }
    return 0;
}

int32_t CDirectSoundBase::SetRate(int32_t rate, float speed) {
    if (m_buffer == nullptr) return -1;
    rate = std::clamp(rate, kRateMin, kRateMax);
    if (m_state == kSoundPlaying && speed > 0.0f) {
        m_rateFade.target = rate;
        m_rateFade.speed = speed;
        m_rateFade.on = 1;
    } else {
        ApplyRate(rate);
        m_rate = rate;
    }
    return 0;
}

void CDirectSoundBase::GetName(char* destination) {
    if (destination == nullptr) return;
    std::memcpy(destination, m_name, kSoundNameSize);
    destination[kSoundNameSize - 1] = '\0';
}

void CDirectSoundBase::WaitThread() {
    if (!m_thread.joinable()) return;
    m_state = kSoundStopped;
    m_pollSleep.Wake();
    m_thread.join();
}

void CDirectSoundBase::Close() {
    Stop(-1.0f);
    WaitThread();
    ReleaseBuffer();
    m_name[0] = '\0';
}

int32_t CDirectSoundBase::GetLevel(int32_t* left, int32_t* right) {
    int32_t unusedLeft = 0, unusedRight = 0;
    if (left == nullptr) left = &unusedLeft;
    if (right == nullptr) right = &unusedRight;
    *left = kAudioVolumeMin;
    *right = kAudioVolumeMin;
    if (m_state != kSoundPlaying || m_buffer == nullptr) return 0;
    const uint32_t bits = m_format.wBitsPerSample;
    const uint32_t channels = m_format.nChannels;
    if ((bits != 8 && bits != 16) || (channels != 1 && channels != 2)) return -1;
    uint32_t cursor = 0;
    if (m_buffer->GetCurrentPosition(&cursor, nullptr) != 0) return -1;
    const uint32_t frameBytes = bits / 8 * channels;
    const auto bytes = static_cast<uint32_t>(m_format.nSamplesPerSec * static_cast<double>(0.02f) * frameBytes);
    void* part1 = nullptr;
    void* part2 = nullptr;
    uint32_t bytes1 = 0, bytes2 = 0;
    if (m_buffer->Lock(cursor, bytes, &part1, &bytes1, &part2, &bytes2) != 0) return -1;
    std::vector<uint8_t> window(bytes1 + bytes2);
    std::memcpy(window.data(), part1, bytes1);
    if (bytes2 != 0) std::memcpy(window.data() + bytes1, part2, bytes2);
    m_buffer->Unlock(part1, 0, part2, 0);

    int32_t peak[2] = {0, 0};
    const size_t frames = window.size() / frameBytes;
    for (size_t f = 0; f < frames; ++f) {
        for (uint32_t c = 0; c < channels; ++c) {
            const uint8_t* p = window.data() + f * frameBytes + c * (bits / 8);
            int32_t magnitude;
            if (bits == 8) {
                magnitude = std::abs(static_cast<int32_t>(*p) - 128);
            } else {
                int16_t s;
                std::memcpy(&s, p, 2);
                magnitude = std::abs(static_cast<int32_t>(s));
            }
            peak[c] = std::max(peak[c], magnitude);
        }
    }
    const double fullScale = bits == 8 ? 128.0 : 32768.0;
    auto level = [&](int32_t value) {
        if (value == 0) return kAudioVolumeMin;
        const auto result = static_cast<int32_t>(2000.0 * std::log(value / fullScale));
        return result < -9999 ? kAudioVolumeMin : result;
    };
    *left = level(peak[0]);
    *right = channels == 2 ? level(peak[1]) : *left;
    return 0;
}

int32_t CDirectSoundBase::FillHalf(uint32_t half) {
    void* part1 = nullptr;
    void* part2 = nullptr;
    uint32_t bytes1 = 0, bytes2 = 0;
    if (m_buffer->Lock(half * m_halfSize, m_halfSize, &part1, &bytes1, &part2, &bytes2) != 0) return -1;
    int32_t result = 0;
    {
        std::lock_guard<std::mutex> lock(m_sourceMutex);
        result = Fill(part1, bytes1);
        if (result != -1 && bytes2 != 0) {
            const int32_t second = Fill(part2, bytes2);
            result = second == -1 ? -1 : std::max(result, second);
        }
    }
    m_buffer->Unlock(part1, bytes1, part2, bytes2);
    return result;
}

void CDirectSoundBase::StepFadeOut(uint32_t dt) {
    m_fadeOutAttenuation += FadeStep(m_fadeOutSpeed, dt);
    if (m_volume - m_fadeOutAttenuation < kFadeOutStopLevel) {
        m_buffer->Stop();
        ApplyVolume(m_masterVolume + m_volume);
        m_state = kSoundStopped;
    } else {
        ApplyVolume(m_masterVolume + m_volume - m_fadeOutAttenuation);
    }
}

// Moves value towards the fade's target by speed × dt; the fade ends at its target.
void CDirectSoundBase::StepFade(SFade& fade, std::atomic<int32_t>& value, uint32_t dt) {
    const int32_t step = FadeStep(fade.speed, dt);
    const int32_t target = fade.target;
    int32_t current = value;
    bool reached = false;
    if (current > target) {
        current -= step;
        reached = current <= target;
    } else {
        current += step;
        reached = current >= target;
    }
    if (reached) {
        current = target;
        fade.on = 0;
    }
    value = current;
}

void CDirectSoundBase::StepRateFade(uint32_t dt) {
    StepFade(m_rateFade, m_rate, dt);
    ApplyRate(m_rate);
}

void CDirectSoundBase::FinishFades() {
    if (m_fadeOutOn) {
        ApplyVolume(m_masterVolume + m_volume);
        m_fadeOutOn = 0;
    }
    if (m_volumeFade.on) {
        m_volume = m_volumeFade.target.load();
        ApplyVolume(m_masterVolume + m_volume);
        m_volumeFade.on = 0;
    }
    if (m_panFade.on) {
        m_pan = m_panFade.target.load();
        m_buffer->SetPan(m_pan);
        m_panFade.on = 0;
    }
    if (m_rateFade.on) {
        m_rate = m_rateFade.target.load();
        ApplyRate(m_rate);
        m_rateFade.on = 0;
    }
}

void CDirectSoundBase::StreamThread() {
    // A half whose Fill failed keeps what it held; two failures in a row mean the source is
    // unreadable from here on, and the sound plays out as if it had ended.
    int failures = 0;
    int32_t endHalf = -1;
    auto fillHalf = [&](uint32_t half) {
        const int32_t result = FillHalf(half);
        failures = result == -1 ? failures + 1 : 0;
        if ((result == 1 || failures >= 2) && endHalf == -1) endHalf = static_cast<int32_t>(half);
    };
    fillHalf(0);
    uint32_t expectedHalf = 0;
    m_buffer->SetCurrentPosition(0);
    m_buffer->Play(kAudioPlayLooping);
    uint32_t previous = GetTimeMs();
    while (m_state != kSoundStopped) {
        const double seek = m_pendingSeek.exchange(-1.0);
        if (seek >= 0.0) {
            m_buffer->Stop();
            {
                std::lock_guard<std::mutex> lock(m_sourceMutex);
                SeekTime(seek);
            }
            endHalf = -1;
            failures = 0;
            fillHalf(0);
            m_buffer->SetCurrentPosition(0);
            expectedHalf = 0;
            m_buffer->Play(kAudioPlayLooping);
        }
        uint32_t cursor = 0;
        m_buffer->GetCurrentPosition(&cursor, nullptr);
        if (cursor / m_halfSize == expectedHalf) {
            const uint32_t next = (expectedHalf + 1) % 2;
            expectedHalf = next;
            if (endHalf == static_cast<int32_t>(next)) {
                m_state = kSoundStopped;
                Seek(0);
                break;
            }
            fillHalf(next);
        }
        const uint32_t now = GetTimeMs();
        const uint32_t dt = now - previous;
        previous = now;
        if (m_fadeOutOn) StepFadeOut(dt);
        if (m_volumeFade.on) {
            StepFade(m_volumeFade, m_volume, dt);
            ApplyVolume(m_masterVolume + m_volume);
        }
        if (m_panFade.on) {
            StepFade(m_panFade, m_pan, dt);
            m_buffer->SetPan(m_pan);
        }
        if (m_rateFade.on) StepRateFade(dt);
        m_pollSleep.Sleep(kPollMs);
    }
    m_buffer->Stop();
    FinishFades();
}
