// Synthesised sounds of the sample game (music, voices, effects) and their files: Ogg Vorbis
// and RIFF WAVE, written by the toolkit's sound writers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SAudio {
    int rate = 22050;
    int channels = 1;
    std::vector<float> samples;  // interleaved, -1 to 1

    size_t Frames() const { return samples.size() / channels; }
};

std::vector<uint8_t> EncodeOgg(const SAudio& audio, float quality, uint32_t serial);
std::vector<uint8_t> EncodeWav16(const SAudio& audio);

// A piece of music: a chord progression with pad, bass, arpeggio and a melody drawn from the
// scale, looping seamlessly over `bars` bars.
struct SMusicTune {
    float bpm = 90;
    int root = 57;                  // MIDI note of the key's tonic
    bool minor = false;
    std::vector<int> progression;   // scale degree (0-6) of each bar's chord
    int bars = 8;
    float brightness = 0.5f;        // 0 soft sine tones to 1 brighter ones
    float melodyDensity = 0.5f;     // chance of a melody note on each eighth
    uint32_t seed = 1;
};
SAudio MakeMusic(const SMusicTune& tune);

// A voice line: syllables of formant vowels over a pitch contour (a sung murmur, not words).
struct SVoiceLine {
    float pitch = 220;      // Hz at the start of the line
    float endPitch = 200;   // Hz at its end
    std::string vowels;     // one of "aiueo" per syllable
    float syllable = 0.13f; // seconds per syllable
    uint32_t seed = 1;
};
SAudio MakeVoice(const SVoiceLine& voice);

enum class ESoundEffect { Cursor, Select, Waves, Bell, Door, Steps, Lamp, Chime };
SAudio MakeEffect(ESoundEffect kind);
