#include "tools/make_sample_game/audio.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "tools/lib/sound_writer.h"
#include "tools/make_sample_game/canvas.h"  // CRandom

namespace {

constexpr float kPi = 3.14159265358979f;

float NoteFrequency(float midi) { return 440.0f * std::pow(2.0f, (midi - 69.0f) / 12.0f); }

// The peak of each kind of sound, as a share of full scale: the loudest music, voice and effect
// playing together at full volume still stay below it, so the mix never clips. The shares leave
// room for the quarter or so that the Vorbis encoder adds to the peaks of saturated sounds.
constexpr float kMusicPeak = 0.23f;
constexpr float kVoicePeak = 0.35f;
constexpr float kEffectPeak = 0.15f;

// Brings a sound to its peak through a soft saturation (tanh with the given drive), which
// lowers the ratio of peak to mean: the sound is loud on average without its peaks running over
// its share of full scale.
void Master(std::vector<float>* samples, float drive, float peak) {
    float top = 1e-6f;
    for (float s : *samples) top = std::max(top, std::fabs(s));
    const float scale = peak / std::tanh(drive);
    for (float& s : *samples) s = std::tanh(drive * s / top) * scale;
}

}  // namespace

std::vector<uint8_t> EncodeOgg(const SAudio& audio, float quality, uint32_t serial) {
    std::vector<uint8_t> out = ::EncodeOgg(audio.samples, static_cast<uint16_t>(audio.channels),
                                           static_cast<uint32_t>(audio.rate), quality, serial);
    if (out.empty()) throw std::runtime_error("vorbis encoder set-up failed");
    return out;
}

std::vector<uint8_t> EncodeWav16(const SAudio& audio) {
    std::vector<uint8_t> pcm;
    pcm.reserve(audio.samples.size() * 2);
    for (float s : audio.samples) {
        const auto sample = static_cast<uint16_t>(static_cast<int16_t>(std::lround(std::clamp(s, -1.0f, 1.0f) * 32767.0f)));
        pcm.push_back(static_cast<uint8_t>(sample));
        pcm.push_back(static_cast<uint8_t>(sample >> 8));
    }
    const auto channels = static_cast<uint16_t>(audio.channels);
    return MakeWav(PcmFormat(channels, static_cast<uint32_t>(audio.rate), 16), pcm);
}

// ---------------------------------------------------------------------------------------------
// Music

namespace {

class CLoopMix {
public:
    CLoopMix(int rate, size_t frames) : m_rate(rate), m_left(frames), m_right(frames) {}

    // Adds a note; samples past the end wrap to the beginning so the piece loops seamlessly.
    template <typename Voice>
    void Add(float start, float length, float pan, Voice voice) {
        const size_t frames = m_left.size();
        const size_t first = static_cast<size_t>(start * m_rate);
        const size_t count = static_cast<size_t>(length * m_rate);
        const float left = std::cos((pan + 1) * kPi / 4), right = std::sin((pan + 1) * kPi / 4);
        const float tail = 0.01f * m_rate;  // a short fade at the end keeps the note from clicking
        for (size_t i = 0; i < count; ++i) {
            float v = voice(static_cast<float>(i) / m_rate) * std::min(1.0f, static_cast<float>(count - i) / tail);
            size_t at = (first + i) % frames;
            m_left[at] += v * left;
            m_right[at] += v * right;
        }
    }

    // A circular stereo echo that also wraps, so the tail of the loop feeds its start.
    void Echo(float delaySeconds, float feedback) {
        const size_t frames = m_left.size();
        const size_t delay = static_cast<size_t>(delaySeconds * m_rate);
        for (int pass = 0; pass < 2; ++pass)
            for (size_t i = 0; i < frames; ++i) {
                size_t from = (i + frames - delay % frames) % frames;
                float l = m_left[from], r = m_right[from];
                m_left[i] += r * feedback * (pass == 0 ? 1.0f : 0.3f);
                m_right[i] += l * feedback * (pass == 0 ? 1.0f : 0.3f);
            }
    }

    SAudio Finish(float peak) const {
        float top = 1e-6f;
        for (size_t i = 0; i < m_left.size(); ++i) top = std::max({top, std::fabs(m_left[i]), std::fabs(m_right[i])});
        SAudio out;
        out.rate = m_rate;
        out.channels = 2;
        out.samples.reserve(m_left.size() * 2);
        for (size_t i = 0; i < m_left.size(); ++i) {
            out.samples.push_back(m_left[i] * peak / top);
            out.samples.push_back(m_right[i] * peak / top);
        }
        return out;
    }

private:
    int m_rate;
    std::vector<float> m_left, m_right;
};

float Envelope(float t, float attack, float length, float release) {
    if (t < attack) return t / attack;
    if (t > length - release) return std::max(0.0f, (length - t) / release);
    return 1.0f;
}

int ScaleNote(const SMusicTune& tune, int degree) {
    static const int kMajor[7] = {0, 2, 4, 5, 7, 9, 11};
    static const int kMinor[7] = {0, 2, 3, 5, 7, 8, 10};
    const int* scale = tune.minor ? kMinor : kMajor;
    int octave = degree >= 0 ? degree / 7 : (degree - 6) / 7;
    return tune.root + 12 * octave + scale[degree - 7 * octave];
}

}  // namespace

SAudio MakeMusic(const SMusicTune& tune) {
    const int rate = 22050;
    const float beat = 60.0f / tune.bpm;
    const float bar = 4 * beat;
    const size_t frames = static_cast<size_t>(tune.bars * bar * rate);
    CLoopMix mix(rate, frames);
    CRandom random(tune.seed);
    const float bright = tune.brightness;

    int previousMelody = 7;
    for (int b = 0; b < tune.bars; ++b) {
        const int degree = tune.progression[b % tune.progression.size()];
        const float t0 = b * bar;
        // Pad: the chord, held over the bar.
        for (int k = 0; k < 3; ++k) {
            const float f = NoteFrequency(static_cast<float>(ScaleNote(tune, degree + 2 * k)));
            mix.Add(t0, bar + 0.6f, k == 1 ? 0.0f : (k == 0 ? -0.4f : 0.4f), [=](float t) {
                float env = Envelope(t, 0.4f, bar + 0.6f, 0.8f) * 0.10f;
                return env * (std::sin(2 * kPi * f * t) + 0.5f * std::sin(2 * kPi * f * 1.003f * t) +
                              bright * 0.15f * std::sin(4 * kPi * f * t));
            });
        }
        // Bass on beats one and three.
        for (int beatIndex : {0, 2}) {
            const float f = NoteFrequency(static_cast<float>(ScaleNote(tune, degree) - 12));
            mix.Add(t0 + beatIndex * beat, beat * 1.8f, 0.0f, [=](float t) {
                float phase = std::fmod(f * t, 1.0f);
                float tri = 4 * std::fabs(phase - 0.5f) - 1;
                return tri * 0.22f * std::exp(-2.5f * t) * std::min(1.0f, t * 200);
            });
        }
        // Arpeggio of eighths.
        for (int e = 0; e < 8; ++e) {
            const int tone = degree + 2 * (e % 4 == 3 ? 1 : e % 4) + 7;
            const float f = NoteFrequency(static_cast<float>(ScaleNote(tune, tone)));
            const float pan = e % 2 ? 0.5f : -0.5f;
            mix.Add(t0 + e * beat / 2, 0.9f, pan, [=](float t) {
                float v = std::sin(2 * kPi * f * t) + bright * 0.4f * std::sin(6 * kPi * f * t);
                return v * 0.06f * std::exp(-5.0f * t) * std::min(1.0f, t * 400);
            });
        }
        // Melody: notes from the scale near the previous one, chord tones on strong beats.
        for (int e = 0; e < 8;) {
            if (random.Unit() > tune.melodyDensity && e % 4 != 0) {
                ++e;
                continue;
            }
            int length = 1 + static_cast<int>(random.Next() % 3);
            if (e + length > 8) length = 8 - e;
            int note = previousMelody + static_cast<int>(random.Next() % 5) - 2;
            if (e % 4 == 0) note = degree + 7 + 2 * static_cast<int>(random.Next() % 3);
            note = std::clamp(note, 5, 13);
            previousMelody = note;
            const float f = NoteFrequency(static_cast<float>(ScaleNote(tune, note) + 12));
            const float duration = length * beat / 2;
            mix.Add(t0 + e * beat / 2, duration + 0.3f, 0.15f, [=](float t) {
                // A gentle vibrato: the phase swings so that the pitch moves by 0.4 %.
                float depth = 0.004f * f / 5.5f * std::min(1.0f, t * 3);
                float phase = 2 * kPi * f * t + depth * std::sin(2 * kPi * 5.5f * t);
                float v = std::sin(phase) + (0.15f + 0.3f * bright) * std::sin(3 * phase) + 0.1f * std::sin(2 * phase);
                return v * 0.09f * Envelope(t, 0.03f, duration + 0.3f, 0.3f);
            });
            e += length;
        }
    }
    mix.Echo(beat * 0.75f, 0.25f);
    SAudio out = mix.Finish(1.0f);
    Master(&out.samples, 2.0f, kMusicPeak);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Voices

namespace {

struct SFormants {
    float f[3];
};

SFormants VowelFormants(char vowel) {
    switch (vowel) {
        case 'a': return {{800, 1200, 2500}};
        case 'i': return {{300, 2300, 3000}};
        case 'u': return {{350, 1300, 2400}};
        case 'e': return {{500, 1900, 2600}};
        default: return {{500, 900, 2400}};
    }
}

float FormantGain(const SFormants& formants, float scale, float frequency) {
    static const float kWidth[3] = {90, 110, 160};
    static const float kLevel[3] = {1.0f, 0.6f, 0.3f};
    float g = 0;
    for (int i = 0; i < 3; ++i) {
        float d = (frequency - formants.f[i] * scale) / kWidth[i];
        g += kLevel[i] / (1 + d * d);
    }
    return g;
}

}  // namespace

SAudio MakeVoice(const SVoiceLine& voice) {
    SAudio out;
    out.rate = 22050;
    out.channels = 1;
    const size_t syllables = voice.vowels.size();
    const float total = syllables * voice.syllable + 0.25f;
    out.samples.assign(static_cast<size_t>(total * out.rate), 0.0f);
    const float formantScale = voice.pitch > 200 ? 1.15f : 1.0f;
    CRandom random(voice.seed);
    const int harmonics = 40;
    std::vector<float> phase(harmonics, 0.0f);
    for (size_t i = 0; i < out.samples.size(); ++i) {
        const float t = static_cast<float>(i) / out.rate;
        const float position = t / voice.syllable;
        const size_t s = std::min(static_cast<size_t>(position), syllables - 1);
        const float within = position - static_cast<float>(s);
        if (position >= syllables) break;
        // Glide between this vowel and the next over the syllable's last quarter.
        SFormants a = VowelFormants(voice.vowels[s]);
        SFormants b = VowelFormants(voice.vowels[std::min(s + 1, syllables - 1)]);
        float blend = std::clamp((within - 0.75f) * 4, 0.0f, 1.0f);
        SFormants f{};
        for (int k = 0; k < 3; ++k) f.f[k] = a.f[k] + (b.f[k] - a.f[k]) * blend;
        const float progress = t / (syllables * voice.syllable);
        const float f0 = (voice.pitch + (voice.endPitch - voice.pitch) * progress) *
                         (1.0f + 0.03f * std::sin(2 * kPi * 0.5f * position));
        float v = 0;
        for (int h = 1; h <= harmonics; ++h) {
            const float fh = f0 * h;
            if (fh > 5000) break;
            phase[h - 1] += 2 * kPi * fh / out.rate;
            if (phase[h - 1] > 2 * kPi) phase[h - 1] -= 2 * kPi;
            v += std::sin(phase[h - 1]) * FormantGain(f, formantScale, fh) / std::sqrt(static_cast<float>(h));
        }
        // Each syllable swells and dips a little; a soft breath of noise starts it.
        const float syllableEnvelope = 0.55f + 0.45f * std::sin(kPi * std::min(within * 1.2f, 1.0f));
        const float breath = within < 0.12f ? (random.Unit() * 2 - 1) * 0.25f * (1 - within / 0.12f) : 0.0f;
        const float lineEnvelope = std::min({1.0f, t * 30, (syllables * voice.syllable - t) * 12});
        out.samples[i] = (v * 0.12f * syllableEnvelope + breath * 0.3f) * std::max(lineEnvelope, 0.0f);
    }
    Master(&out.samples, 3.0f, kVoicePeak);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Sound effects

SAudio MakeEffect(ESoundEffect kind) {
    SAudio out;
    out.rate = 22050;
    out.channels = 1;
    CRandom random(static_cast<uint32_t>(kind) + 77);
    auto length = [&](float seconds) { out.samples.assign(static_cast<size_t>(seconds * out.rate), 0.0f); };
    auto at = [&](size_t i) { return static_cast<float>(i) / out.rate; };
    auto bell = [&](float start, float f, float decay, float level) {
        static const float kPartials[5] = {1.0f, 2.0f, 2.76f, 5.4f, 8.93f};
        static const float kLevels[5] = {1.0f, 0.5f, 0.35f, 0.15f, 0.08f};
        for (size_t i = static_cast<size_t>(start * out.rate); i < out.samples.size(); ++i) {
            float t = at(i) - start;
            float v = 0;
            for (int p = 0; p < 5; ++p)
                v += kLevels[p] * std::sin(2 * kPi * f * kPartials[p] * t) * std::exp(-decay * (1 + p * 0.6f) * t);
            out.samples[i] += v * level * std::min(1.0f, t * 500);
        }
    };
    switch (kind) {
        case ESoundEffect::Cursor:
            length(0.08f);
            for (size_t i = 0; i < out.samples.size(); ++i) {
                float t = at(i);
                out.samples[i] = (std::sin(2 * kPi * 1500 * t) + 0.3f * std::sin(2 * kPi * 3000 * t)) *
                                 std::exp(-45 * t) * std::min(1.0f, t * 1000) * 0.5f;
            }
            break;
        case ESoundEffect::Select:
            length(0.6f);
            bell(0.0f, 988, 7, 0.4f);
            bell(0.07f, 1319, 6, 0.4f);
            break;
        case ESoundEffect::Chime:
            length(2.2f);
            for (int n = 0; n < 4; ++n) bell(n * 0.16f, NoteFrequency(static_cast<float>(76 + (n == 3 ? 12 : 4 * n))), 2.2f, 0.3f);
            break;
        case ESoundEffect::Bell:
            length(3.0f);
            bell(0.0f, 660, 1.2f, 0.6f);
            bell(1.1f, 660, 1.4f, 0.35f);
            break;
        case ESoundEffect::Waves: {
            length(6.0f);
            float low = 0, lower = 0;
            for (size_t i = 0; i < out.samples.size(); ++i) {
                float t = at(i);
                low += (random.Unit() * 2 - 1 - low) * 0.08f;
                lower += (low - lower) * 0.2f;
                float swell = 0.25f + 0.75f * std::pow(0.5f + 0.5f * std::sin(2 * kPi * t / 6.0f - kPi / 2), 2.0f);
                out.samples[i] = lower * 6.0f * swell;
            }
            break;
        }
        case ESoundEffect::Door:
            length(1.0f);
            for (size_t i = 0; i < out.samples.size(); ++i) {
                float t = at(i);
                float creak = 0;
                if (t < 0.55f) {
                    float f = 95 + 40 * std::sin(2 * kPi * 3 * t);
                    float saw = 2 * std::fmod(f * t, 1.0f) - 1;
                    creak = saw * 0.18f * std::sin(kPi * t / 0.55f);
                }
                float thud = t > 0.6f ? std::sin(2 * kPi * 55 * (t - 0.6f)) * std::exp(-12 * (t - 0.6f)) * 0.8f : 0;
                out.samples[i] = creak + thud;
            }
            break;
        case ESoundEffect::Steps: {
            length(1.6f);
            float low = 0;
            for (size_t i = 0; i < out.samples.size(); ++i) {
                float t = at(i);
                float within = std::fmod(t, 0.38f);
                low += (random.Unit() * 2 - 1 - low) * 0.15f;
                out.samples[i] = within < 0.07f ? low * 2.5f * std::exp(-40 * within) : 0.0f;
            }
            break;
        }
        case ESoundEffect::Lamp:
            length(1.8f);
            for (size_t i = 0; i < out.samples.size(); ++i) {
                float t = at(i);
                float f = 180 + 500 * t / 1.8f;
                float v = std::sin(2 * kPi * f * t) * 0.4f + std::sin(2 * kPi * f * 2.01f * t) * 0.2f;
                out.samples[i] = v * std::sin(kPi * t / 1.8f) * 0.6f;
            }
            bell(0.9f, 1760, 3.0f, 0.15f);
            break;
    }
    Master(&out.samples, 2.5f, kEffectPeak);
    return out;
}
