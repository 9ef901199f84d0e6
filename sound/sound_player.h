// The sound player family: IDirectSoundPlayer is what every user of a sound calls;
// CDirectSoundBase streams any PCM source through a two-second mixer buffer used as a double
// buffer, refilled by one streaming thread per playing sound, with play counts, a loop-back
// point, seeking, fades and a level meter. The format players supply Fill and SeekTime.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "files/stream.h"
#include "platform/audio.h"
#include "platform/clock.h"

constexpr int32_t kSoundPlaying = 0;
constexpr int32_t kSoundPaused = 1;
constexpr int32_t kSoundStopped = 2;
constexpr uint32_t kSoundNameSize = 260;

class IDirectSoundPlayer {
public:
    virtual ~IDirectSoundPlayer() = default;
    // Opens a plain file. 0, or -1.
    virtual int32_t Open(CAudioDevice* device, const char* path) = 0;
    // Opens a source read through callbacks (read, seek, close, tell). On success the player owns
    // the source and closes it through the close callback; on failure it stays with the caller.
    virtual int32_t OpenFromCallbacks(CAudioDevice* device, const char* name, const CStreamCallbacks* callbacks,
                                      void* source) = 0;
    // playCount below 1 plays endlessly, n ≥ 1 n times; after an end the source resumes at
    // loopBackMs.
    virtual int32_t Play(int32_t playCount, int32_t loopBackMs) = 0;
    virtual int32_t Pause() = 0;
    // fadeSpeed > 0 fades out (hundredths of a decibel per ms) and stops; otherwise at once.
    virtual int32_t Stop(float fadeSpeed) = 0;
    virtual int32_t Seek(int32_t ms) = 0;
    virtual int32_t SetMasterVolume(int32_t volume) = 0;
    virtual int32_t SetVolume(int32_t volume, float speed) = 0;
    virtual int32_t SetPan(int32_t pan, float speed) = 0;
    virtual int32_t SetRate(int32_t rate, float speed) = 0;
    virtual void GetName(char* destination) = 0;  // destination of kSoundNameSize bytes
    virtual int32_t GetState() = 0;
    virtual int32_t GetPlayCount() = 0;
    virtual int32_t GetMasterVolume() = 0;
    virtual int32_t GetVolume() = 0;
    virtual int32_t GetPan() = 0;
    virtual int32_t GetRate() = 0;
    virtual int32_t GetLevel(int32_t* left, int32_t* right) = 0;
    virtual void WaitThread() = 0;
    virtual void Close() = 0;
};

class CDirectSoundBase : public IDirectSoundPlayer {
public:
    CDirectSoundBase();
    ~CDirectSoundBase() override;
    CDirectSoundBase(const CDirectSoundBase&) = delete;
    CDirectSoundBase& operator=(const CDirectSoundBase&) = delete;

    int32_t Play(int32_t playCount, int32_t loopBackMs) override;
    int32_t Pause() override;
    int32_t Stop(float fadeSpeed) override;
    int32_t Seek(int32_t ms) override;
    int32_t SetMasterVolume(int32_t volume) override;
    int32_t SetVolume(int32_t volume, float speed) override;
    int32_t SetPan(int32_t pan, float speed) override;
    int32_t SetRate(int32_t rate, float speed) override;
    void GetName(char* destination) override;
    int32_t GetState() override { return m_state.load(); }
    int32_t GetPlayCount() override { return m_playCount.load(); }
    int32_t GetMasterVolume() override { return m_masterVolume.load(); }
    int32_t GetVolume() override { return m_volume.load(); }
    int32_t GetPan() override { return m_pan.load(); }
    int32_t GetRate() override { return m_rate.load(); }
    int32_t GetLevel(int32_t* left, int32_t* right) override;
    void WaitThread() override;
    void Close() override;

    // Decodes the next bytes of PCM through ReadPcm, never a short block: at the end of the
    // source the play is counted, and the source either goes on from the loop-back point or, once
    // the play count is reached (or nothing follows the loop-back point), the rest is silence.
    // 0 filled completely; 1 the source ended and the rest is silence; -1 decoding error (the
    // rest is silence). Runs on the streaming thread.
    virtual int32_t Fill(void* destination, uint32_t bytes);
    // Moves the source to a time. 0.
    virtual int32_t SeekTime(double seconds);

protected:
    // The format's part of Fill: up to `bytes` bytes of PCM from where the source stands. The
    // count (above 0), 0 at the end of the source, -1 on a decoding error.
    virtual int64_t ReadPcm(void* destination, uint32_t bytes);

    int32_t CreateBuffer(CAudioDevice* device, const SWaveFormat& format);
    void Reset();
    void ReleaseBuffer();

    // Read by Fill on the streaming thread.
    std::atomic<int32_t> m_playsDone{0};
    std::atomic<int32_t> m_playCount{0};
    std::atomic<double> m_loopBack{0.0};  // seconds
    SWaveFormat m_format;

private:
    struct SFade {
        std::atomic<int32_t> on{0};
        std::atomic<int32_t> target{0};
        std::atomic<float> speed{0.0f};
    };

    void StreamThread();
    int32_t FillHalf(uint32_t half);
    void StepFadeOut(uint32_t dt);
    static void StepFade(SFade& fade, std::atomic<int32_t>& value, uint32_t dt);
    void StepRateFade(uint32_t dt);
    void FinishFades();
    void ApplyVolume(int32_t volume);
    void ApplyRate(int32_t rate);

    CAudioBuffer* m_buffer = nullptr;  // set and cleared only while no streaming thread runs
    char m_name[kSoundNameSize] = {};
    uint32_t m_halfSize = 0;
    std::thread m_thread;
    CWakeableSleep m_pollSleep;
    // Fill and SeekTime run under this lock: the streaming thread decodes while the main thread
    // may seek a paused or just-stopped player.
    std::mutex m_sourceMutex;

    std::atomic<int32_t> m_state{kSoundStopped};
    std::atomic<double> m_pendingSeek{-1.0};
    std::atomic<int32_t> m_masterVolume{0};
    std::atomic<int32_t> m_volume{0};
    std::atomic<int32_t> m_pan{0};
    std::atomic<int32_t> m_rate{1000};
    std::atomic<int32_t> m_fadeOutOn{0};
    std::atomic<int32_t> m_fadeOutAttenuation{0};
    std::atomic<float> m_fadeOutSpeed{0.0f};
    SFade m_volumeFade;
    SFade m_panFade;
    SFade m_rateFade;
};
