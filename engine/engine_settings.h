// The engine's text, sound and drawing settings: the tail of the configuration block in
// System.sys and the copy the scenario engine works with.
#pragma once

#include <cstdint>

// The window font as the settings hold it (words 2-12): the same layout as a text format record.
struct CEngineFontRecord {
    char face[32];
    int32_t height;
    uint8_t bold;
    uint8_t italic;
    uint8_t reserved[2];
    uint32_t colour;
};
static_assert(sizeof(CEngineFontRecord) == 44);

struct CEngineSettings {
    uint32_t windowColour;    // 0: message-window colour, ARGB
    uint32_t fontMode;        // 1: 0 window font for every character, else per-character formats
    CEngineFontRecord font;   // 2-12: face, height, bold and italic, text colour
    uint32_t textFlags;       // 13: bit 0 shadow pass, bit 1 outlined glyphs
    uint32_t textEffect;      // 14: entrance effect mode 0-7
    uint32_t textSpeed;       // 15: ms per character
    uint32_t autoWait;        // 16: auto-mode wait, ms per character
    uint32_t skipUnread;      // 17: skip mode also runs through unread pages
    uint32_t modelAntialias;  // 18
    uint32_t modelEdge;       // 19
    uint32_t effectsOn;       // 20: 0 finishes every transition at once
    int32_t bgmVolume;        // 21: hundredths of a decibel
    int32_t voiceVolume;      // 22
    int32_t seVolume;         // 23
};
static_assert(sizeof(CEngineSettings) == 24 * 4);

// The engine's own defaults (face "ＭＳ ゴシック", height 24, text flags 3, speed 100, auto
// wait 250, volumes 0).
void SetDefaultEngineSettings(CEngineSettings* settings);
