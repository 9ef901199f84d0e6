// The software sound mixer that stands in for DirectSound: a device with one stereo output at
// 44,100 Hz and secondary buffers of PCM data that play into it, each with its own play cursor,
// volume, pan and frequency. Buffers keep the DirectSound semantics the sound players rely on:
// byte-range locks that wrap, looping play, volumes in hundredths of a decibel.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// The PCM format of a buffer, laid out like WAVEFORMATEX.
struct SWaveFormat {
    uint16_t wFormatTag = 0;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;
};

constexpr uint16_t kWaveFormatPcm = 1;
constexpr uint32_t kAudioOutputRate = 44100;
constexpr int32_t kAudioVolumeMin = -10000;  // silent
constexpr int32_t kAudioVolumeMax = 0;
constexpr int32_t kAudioPanLeft = -10000;
constexpr int32_t kAudioPanRight = 10000;
constexpr uint32_t kAudioFrequencyMin = 100;
constexpr uint32_t kAudioFrequencyMax = 200000;
constexpr uint32_t kAudioBufferMaxBytes = 0x0FFFFFFF;

// Play flag: start again at the beginning when the end is reached.
constexpr uint32_t kAudioPlayLooping = 1;
// Status bits.
constexpr uint32_t kAudioStatusPlaying = 1;
constexpr uint32_t kAudioStatusLooping = 4;

// Where the mixed output goes.
enum class EAudioOutput {
    System,  // the sound card through SDL; SDL's dummy driver when no device can be opened
    Clock,   // nothing is heard; the output consumes 44,100 frames per second of GetTimeMs
    Manual,  // nothing is heard; the output advances only by Render calls
};

struct CMixerCore;

class CAudioBuffer {
public:
    CAudioBuffer(const CAudioBuffer&) = delete;
    CAudioBuffer& operator=(const CAudioBuffer&) = delete;

    // Opens bytes bytes at offset for access; a range that passes the end wraps into a second
    // part at offset 0 (part2 is null and bytes2 0 when it does not). The parts are a copy
    // of the buffer's bytes; Unlock writes the first written1 and written2 bytes of them back.
    int32_t Lock(uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1, void** part2, uint32_t* bytes2);
    int32_t Unlock(void* part1, uint32_t written1, void* part2, uint32_t written2);

    int32_t Play(uint32_t flags);
    int32_t Stop();
    // Play cursor in bytes; the write cursor equals it (writes are never in flight here).
    int32_t GetCurrentPosition(uint32_t* play, uint32_t* write);
    int32_t SetCurrentPosition(uint32_t bytes);
    uint32_t GetStatus();

    // Hundredths of a decibel, [-10000, 0]; outside the range fails.
    int32_t SetVolume(int32_t volume);
    int32_t GetVolume(int32_t* volume);
    // [-10000, 10000]: the far side is attenuated by |pan| hundredths of a decibel.
    int32_t SetPan(int32_t pan);
    int32_t GetPan(int32_t* pan);
    // Samples per second read from the buffer, [100, 200000]; outside the range fails.
    int32_t SetFrequency(uint32_t frequency);
    int32_t GetFrequency(uint32_t* frequency);

    uint32_t GetSize() const { return m_size; }
    const SWaveFormat& GetFormat() const { return m_format; }

    // Stops the buffer, detaches it from the mixer and deletes it.
    void Release();

private:
    friend class CAudioDevice;
    friend struct CMixerCore;
    CAudioBuffer(std::shared_ptr<CMixerCore> core, const SWaveFormat& format, uint32_t size);
    ~CAudioBuffer();

    struct SLockedCopy {
        std::unique_ptr<uint8_t[]> bytes;
        uint32_t offset;
        uint32_t bytes1;
        uint32_t bytes2;
    };

    // All of the following is guarded by the mixer core's mutex.
    void UpdateGains();
    std::shared_ptr<CMixerCore> m_core;
    const SWaveFormat m_format;
    const uint32_t m_size;
    const uint32_t m_frameBytes;
    const uint32_t m_frames;
    std::unique_ptr<uint8_t[]> m_data;
    std::vector<SLockedCopy> m_locks;
    bool m_playing = false;
    bool m_looping = false;
    uint32_t m_frame = 0;          // play cursor in frames
    uint32_t m_fraction = 0;       // position between m_frame and the next frame, in 2^-32
    uint64_t m_step = 0;           // frames advanced per output frame, 32.32 fixed point
    int32_t m_volume = 0;
    int32_t m_pan = 0;
    uint32_t m_frequency = 0;
    float m_gainLeft = 1.0f;
    float m_gainRight = 1.0f;
};

class CAudioDevice {
public:
    // Opens the output. A System output that no audio device accepts falls back to SDL's dummy
    // driver; null only when even that fails.
    static std::unique_ptr<CAudioDevice> Create(EAudioOutput output);
    ~CAudioDevice();
    CAudioDevice(const CAudioDevice&) = delete;
    CAudioDevice& operator=(const CAudioDevice&) = delete;

    // A buffer of the given PCM format (8- or 16-bit, 1 or 2 channels, 100 to 200,000 Hz,
    // nBlockAlign = channels × bits / 8) and byte size; silent, stopped, at volume 0, pan 0 and
    // the format's rate. -1 on a format or size the mixer does not take.
    int32_t CreateSoundBuffer(const SWaveFormat& format, uint32_t bytes, CAudioBuffer** buffer);

    // Mixes the next frames of output (interleaved stereo) and advances every playing buffer.
    // The System output calls this from its own thread; Manual outputs from the caller.
    void Render(int16_t* out, uint32_t frames);

    // Clock output: mixes up to the current GetTimeMs (every buffer call does this first).
    void CatchUp();
    // Keeps what the Clock output mixes from now on, for TakeCaptured.
    void SetCapture(bool on);
    std::vector<int16_t> TakeCaptured();

    EAudioOutput GetOutput() const { return m_output; }
    // The name of the SDL driver in use ("dummy" when no device could be opened), or "".
    const char* GetDriverName() const;

private:
    explicit CAudioDevice(EAudioOutput output);
    bool OpenSystemOutput();
    EAudioOutput m_output;
    std::shared_ptr<CMixerCore> m_core;
    uint32_t m_sdlDevice = 0;
};

// The program's sound device, created at start-up (InitDirectSound) and released at shutdown.
extern CAudioDevice* g_pDirectSound;

// Creates g_pDirectSound on the system output. 0, or -1 when no output can be opened.
int32_t InitDirectSound();
// Releases g_pDirectSound (the sound part of the shutdown release); buffers still held by
// players stay valid but are no longer heard.
void ReleaseDirectSound();
