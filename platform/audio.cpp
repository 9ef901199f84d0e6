#include "platform/audio.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <utility>

#include "platform/clock.h"

CAudioDevice* g_pDirectSound = nullptr;

namespace {

constexpr uint32_t kMixChunkFrames = 4096;

float DecibelGain(int32_t hundredths) {
    if (hundredths <= kAudioVolumeMin) return 0.0f;
    return static_cast<float>(std::pow(10.0, hundredths / 2000.0));
}

bool IsMixableFormat(const SWaveFormat& format) {
    return format.wFormatTag == kWaveFormatPcm && (format.nChannels == 1 || format.nChannels == 2) &&
           (format.wBitsPerSample == 8 || format.wBitsPerSample == 16) &&
           format.nSamplesPerSec >= kAudioFrequencyMin && format.nSamplesPerSec <= kAudioFrequencyMax &&
           format.nBlockAlign == format.nChannels * format.wBitsPerSample / 8;
}

uint64_t StepFor(uint32_t frequency) { return (static_cast<uint64_t>(frequency) << 32) / kAudioOutputRate; }

}  // namespace

// What the device and its buffers share; every field is guarded by mutex. The System output's
// thread reaches it through the SDL callback.
struct CMixerCore {
    std::mutex mutex;
    EAudioOutput output = EAudioOutput::Manual;
    std::vector<CAudioBuffer*> buffers;
    std::vector<float> mix;
    // Clock output bookkeeping.
    uint32_t lastMs = 0;
    bool fakeClock = false;  // the clock lastMs was read from
    uint64_t elapsedMs = 0;
    uint64_t framesMixed = 0;
    bool capture = false;
    std::vector<int16_t> captured;

    void CatchUpLocked();
    void RenderLocked(int16_t* out, uint32_t frames);
    void MixBufferLocked(CAudioBuffer& buffer, float* mix, uint32_t frames);
};

namespace {

template <int Bits>
inline float SampleAt(const uint8_t* data, uint32_t index) {
    if constexpr (Bits == 8) {
        return (static_cast<float>(data[index]) - 128.0f) * (1.0f / 128.0f);
    } else {
        int16_t s;
        std::memcpy(&s, data + 2 * static_cast<size_t>(index), 2);
        return static_cast<float>(s) * (1.0f / 32768.0f);
    }
}

// Reads the buffer from its cursor with linear interpolation and adds it, scaled by the
// channel gains, into the stereo float mix. Returns false when a non-looping buffer ended.
template <int Bits, int Channels>
bool MixFrames(const uint8_t* data, uint32_t frames, bool looping, uint32_t& frame, uint32_t& fraction,
               uint64_t step, float gainLeft, float gainRight, float* mix, uint32_t count) {
    const uint32_t stepWhole = static_cast<uint32_t>(step >> 32);
    const uint32_t stepFraction = static_cast<uint32_t>(step);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t next = frame + 1;
        if (next >= frames) next = looping ? 0 : frame;
        const float t = static_cast<float>(fraction) * (1.0f / 4294967296.0f);
        if constexpr (Channels == 1) {
            const float a = SampleAt<Bits>(data, frame);
            const float v = a + (SampleAt<Bits>(data, next) - a) * t;
            mix[2 * i] += v * gainLeft;
            mix[2 * i + 1] += v * gainRight;
        } else {
            const float l = SampleAt<Bits>(data, 2 * frame);
            const float r = SampleAt<Bits>(data, 2 * frame + 1);
            mix[2 * i] += (l + (SampleAt<Bits>(data, 2 * next) - l) * t) * gainLeft;
            mix[2 * i + 1] += (r + (SampleAt<Bits>(data, 2 * next + 1) - r) * t) * gainRight;
        }
        const uint64_t sum = static_cast<uint64_t>(fraction) + stepFraction;
        fraction = static_cast<uint32_t>(sum);
        const uint64_t advanced = static_cast<uint64_t>(frame) + stepWhole + (sum >> 32);
        if (advanced >= frames) {
            if (!looping) return false;
            frame = static_cast<uint32_t>(advanced % frames);
        } else {
            frame = static_cast<uint32_t>(advanced);
        }
    }
    return true;
}

}  // namespace

void CMixerCore::MixBufferLocked(CAudioBuffer& b, float* out, uint32_t frames) {
    if (b.m_gainLeft == 0.0f && b.m_gainRight == 0.0f) {
        // Silent: only the cursor moves.
        const unsigned __int128 total =
            (static_cast<unsigned __int128>(b.m_frame) << 32 | b.m_fraction) + static_cast<unsigned __int128>(b.m_step) * frames;
        const uint64_t whole = static_cast<uint64_t>(total >> 32);
        if (whole >= b.m_frames && !b.m_looping) {
            b.m_playing = false;
            b.m_frame = 0;
            b.m_fraction = 0;
            return;
        }
        b.m_frame = static_cast<uint32_t>(whole % b.m_frames);
        b.m_fraction = static_cast<uint32_t>(total);
        return;
    }
    bool more = true;
    const uint8_t* data = b.m_data.get();
    auto run = [&](auto mixer) {
        more = mixer(data, b.m_frames, b.m_looping, b.m_frame, b.m_fraction, b.m_step, b.m_gainLeft, b.m_gainRight,
                     out, frames);
    };
    if (b.m_format.wBitsPerSample == 8) {
        if (b.m_format.nChannels == 1) run(MixFrames<8, 1>);
        else run(MixFrames<8, 2>);
    } else {
        if (b.m_format.nChannels == 1) run(MixFrames<16, 1>);
        else run(MixFrames<16, 2>);
    }
    if (!more) {
        b.m_playing = false;
        b.m_frame = 0;
        b.m_fraction = 0;
    }
}

void CMixerCore::RenderLocked(int16_t* out, uint32_t frames) {
    mix.assign(static_cast<size_t>(frames) * 2, 0.0f);
    for (CAudioBuffer* buffer : buffers) {
        if (buffer->m_playing) MixBufferLocked(*buffer, mix.data(), frames);
    }
    if (out == nullptr) return;
    for (size_t i = 0; i < mix.size(); ++i) {
        const float v = std::clamp(mix[i] * 32768.0f, -32768.0f, 32767.0f);
        out[i] = static_cast<int16_t>(std::lrint(v));
    }
}

void CMixerCore::CatchUpLocked() {
    if (output != EAudioOutput::Clock) return;
    const uint32_t now = GetTimeMs();
    const bool fake = IsFakeClock();
    // Time passes forwards on one clock: a switch between the real and the fake clock, or a
    // fake clock set back, would otherwise count as weeks of output to mix.
    const int32_t passed = static_cast<int32_t>(now - lastMs);
    if (fake == fakeClock && passed > 0) elapsedMs += static_cast<uint32_t>(passed);
    lastMs = now;
    fakeClock = fake;
    const uint64_t target = elapsedMs * kAudioOutputRate / 1000;
    std::vector<int16_t> chunk;
    while (framesMixed < target) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(target - framesMixed, kMixChunkFrames));
        if (capture) {
            chunk.resize(static_cast<size_t>(n) * 2);
            RenderLocked(chunk.data(), n);
            captured.insert(captured.end(), chunk.begin(), chunk.end());
        } else {
            RenderLocked(nullptr, n);
        }
        framesMixed += n;
    }
}

// ---------------------------------------------------------------------------------------------
// CAudioBuffer

CAudioBuffer::CAudioBuffer(std::shared_ptr<CMixerCore> core, const SWaveFormat& format, uint32_t size)
    : m_core(std::move(core)),
      m_format(format),
      m_size(size),
      m_frameBytes(format.nBlockAlign),
      m_frames(size / format.nBlockAlign),
      m_data(new uint8_t[size]),
      m_step(StepFor(format.nSamplesPerSec)),
      m_frequency(format.nSamplesPerSec) {
    std::memset(m_data.get(), format.wBitsPerSample == 8 ? 0x80 : 0, size);
}

CAudioBuffer::~CAudioBuffer() = default;

void CAudioBuffer::UpdateGains() {
    const float gain = DecibelGain(m_volume);
    m_gainLeft = gain * (m_pan > 0 ? DecibelGain(-m_pan) : 1.0f);
    m_gainRight = gain * (m_pan < 0 ? DecibelGain(m_pan) : 1.0f);
}

int32_t CAudioBuffer::Lock(uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1, void** part2,
                           uint32_t* bytes2) {
    if (part1 == nullptr || bytes1 == nullptr || offset >= m_size || bytes == 0 || bytes > m_size) return -1;
    std::lock_guard<std::mutex> lock(m_core->mutex);
    m_core->CatchUpLocked();
    SLockedCopy copy{std::unique_ptr<uint8_t[]>(new uint8_t[bytes]), offset, std::min(bytes, m_size - offset), 0};
    copy.bytes2 = bytes - copy.bytes1;
    if (copy.bytes2 != 0 && (part2 == nullptr || bytes2 == nullptr)) return -1;
    std::memcpy(copy.bytes.get(), m_data.get() + offset, copy.bytes1);
    std::memcpy(copy.bytes.get() + copy.bytes1, m_data.get(), copy.bytes2);
    *part1 = copy.bytes.get();
    *bytes1 = copy.bytes1;
    if (part2 != nullptr) *part2 = copy.bytes2 != 0 ? copy.bytes.get() + copy.bytes1 : nullptr;
    if (bytes2 != nullptr) *bytes2 = copy.bytes2;
    m_locks.push_back(std::move(copy));
    return 0;
}

int32_t CAudioBuffer::Unlock(void* part1, uint32_t written1, void* /*part2*/, uint32_t written2) {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    m_core->CatchUpLocked();
    auto it = std::find_if(m_locks.begin(), m_locks.end(),
                           [&](const SLockedCopy& copy) { return copy.bytes.get() == part1; });
    if (it == m_locks.end()) return -1;
    std::memcpy(m_data.get() + it->offset, it->bytes.get(), std::min(written1, it->bytes1));
    std::memcpy(m_data.get(), it->bytes.get() + it->bytes1, std::min(written2, it->bytes2));
    m_locks.erase(it);
    return 0;
}

int32_t CAudioBuffer::Play(uint32_t flags) {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    m_core->CatchUpLocked();
    m_playing = true;
    m_looping = (flags & kAudioPlayLooping) != 0;
    return 0;
}

int32_t CAudioBuffer::Stop() {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    m_core->CatchUpLocked();
    m_playing = false;
    return 0;
}

int32_t CAudioBuffer::GetCurrentPosition(uint32_t* play, uint32_t* write) {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    m_core->CatchUpLocked();
    const uint32_t position = m_frame * m_frameBytes;
    if (play != nullptr) *play = position;
    if (write != nullptr) *write = position;
    return 0;
}

int32_t CAudioBuffer::SetCurrentPosition(uint32_t bytes) {
    if (bytes >= m_size) return -1;
    std::lock_guard<std::mutex> lock(m_core->mutex);
    m_core->CatchUpLocked();
    m_frame = std::min(bytes / m_frameBytes, m_frames - 1);
    m_fraction = 0;
    return 0;
}

uint32_t CAudioBuffer::GetStatus() {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    m_core->CatchUpLocked();
    if (!m_playing) return 0;
    return kAudioStatusPlaying | (m_looping ? kAudioStatusLooping : 0);
}

int32_t CAudioBuffer::SetVolume(int32_t volume) {
    if (volume < kAudioVolumeMin || volume > kAudioVolumeMax) return -1;
    std::lock_guard<std::mutex> lock(m_core->mutex);
    m_core->CatchUpLocked();
    m_volume = volume;
    UpdateGains();
    return 0;
}

int32_t CAudioBuffer::GetVolume(int32_t* volume) {
    if (volume == nullptr) return -1;
    std::lock_guard<std::mutex> lock(m_core->mutex);
    *volume = m_volume;
    return 0;
}

int32_t CAudioBuffer::SetPan(int32_t pan) {
    if (pan < kAudioPanLeft || pan > kAudioPanRight) return -1;
    std::lock_guard<std::mutex> lock(m_core->mutex);
    m_core->CatchUpLocked();
    m_pan = pan;
    UpdateGains();
    return 0;
}

int32_t CAudioBuffer::GetPan(int32_t* pan) {
    if (pan == nullptr) return -1;
    std::lock_guard<std::mutex> lock(m_core->mutex);
    *pan = m_pan;
    return 0;
}

int32_t CAudioBuffer::SetFrequency(uint32_t frequency) {
    if (frequency < kAudioFrequencyMin || frequency > kAudioFrequencyMax) return -1;
    std::lock_guard<std::mutex> lock(m_core->mutex);
    m_core->CatchUpLocked();
    m_frequency = frequency;
    m_step = StepFor(frequency);
    return 0;
}

int32_t CAudioBuffer::GetFrequency(uint32_t* frequency) {
    if (frequency == nullptr) return -1;
    std::lock_guard<std::mutex> lock(m_core->mutex);
    *frequency = m_frequency;
    return 0;
}

void CAudioBuffer::Release() {
    {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        m_core->CatchUpLocked();
        auto& list = m_core->buffers;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    delete this;
}

// ---------------------------------------------------------------------------------------------
// CAudioDevice

namespace {

void SdlAudioCallback(void* userdata, Uint8* stream, int length) {
    auto* core = static_cast<CMixerCore*>(userdata);
    std::lock_guard<std::mutex> lock(core->mutex);
    core->RenderLocked(reinterpret_cast<int16_t*>(stream), static_cast<uint32_t>(length) / 4);
}

}  // namespace

CAudioDevice::CAudioDevice(EAudioOutput output) : m_output(output), m_core(std::make_shared<CMixerCore>()) {
    m_core->output = output;
    m_core->lastMs = GetTimeMs();
    m_core->fakeClock = IsFakeClock();
}

std::unique_ptr<CAudioDevice> CAudioDevice::Create(EAudioOutput output) {
    std::unique_ptr<CAudioDevice> device(new CAudioDevice(output));
    if (output == EAudioOutput::System && !device->OpenSystemOutput()) return nullptr;
    return device;
}

bool CAudioDevice::OpenSystemOutput() {
    auto openDevice = [this] {
        SDL_AudioSpec want{};
        want.freq = static_cast<int>(kAudioOutputRate);
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = 1024;
        want.callback = SdlAudioCallback;
        want.userdata = m_core.get();
        SDL_AudioSpec have{};
        m_sdlDevice = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        return m_sdlDevice != 0;
    };
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
        if (openDevice()) {
            SDL_PauseAudioDevice(m_sdlDevice, 0);
            return true;
        }
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    // No sound card (a server, CI): the dummy driver consumes the output in real time.
    SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
    const bool initialised = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    if (!initialised) return false;
    if (openDevice()) {
        SDL_PauseAudioDevice(m_sdlDevice, 0);
        return true;
    }
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
}

CAudioDevice::~CAudioDevice() {
    if (m_sdlDevice != 0) {
        SDL_CloseAudioDevice(m_sdlDevice);  // waits for a running callback
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    std::lock_guard<std::mutex> lock(m_core->mutex);
    m_core->output = EAudioOutput::Manual;  // buffers still held are no longer heard
}

const char* CAudioDevice::GetDriverName() const {
    if (m_sdlDevice == 0) return "";
    const char* name = SDL_GetCurrentAudioDriver();
    return name != nullptr ? name : "";
}

int32_t CAudioDevice::CreateSoundBuffer(const SWaveFormat& format, uint32_t bytes, CAudioBuffer** buffer) {
    if (buffer == nullptr) return -1;
    *buffer = nullptr;
    if (!IsMixableFormat(format) || bytes < 4 || bytes < format.nBlockAlign || bytes > kAudioBufferMaxBytes)
        return -1;
    auto* created = new CAudioBuffer(m_core, format, bytes);
    std::lock_guard<std::mutex> lock(m_core->mutex);
    m_core->CatchUpLocked();
    m_core->buffers.push_back(created);
    *buffer = created;
    return 0;
}

void CAudioDevice::Render(int16_t* out, uint32_t frames) {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    m_core->RenderLocked(out, frames);
}

void CAudioDevice::CatchUp() {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    m_core->CatchUpLocked();
}

void CAudioDevice::SetCapture(bool on) {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    m_core->CatchUpLocked();
    m_core->capture = on;
}

std::vector<int16_t> CAudioDevice::TakeCaptured() {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    m_core->CatchUpLocked();
    return std::exchange(m_core->captured, {});
}

int32_t InitDirectSound() {
    if (g_pDirectSound != nullptr) return 0;
    g_pDirectSound = CAudioDevice::Create(EAudioOutput::System).release();
    return g_pDirectSound != nullptr ? 0 : -1;
}

void ReleaseDirectSound() {
    delete g_pDirectSound;
    g_pDirectSound = nullptr;
}
