// System.sys and the configuration block: what survives from one run to the next outside the
// save files (display mode, configuration, persistent game flags, the system-wide picture and
// movie flags). Read once at start-up and written once at shutdown; the globals hold it between.
#pragma once

#include <cstdint>

#include "engine/engine_settings.h"

// The user configuration, copied by every screen at its start.
struct CConfigBlock {
    uint32_t rightClick;  // 0: a right click opens the in-game menu; otherwise it hides the window
    uint32_t bgmOff;      // 1: music off
    uint32_t seOff;       // 1: sound effects off
    uint32_t voiceOff;    // 1: voices off
    CEngineSettings settings;
};
static_assert(sizeof(CConfigBlock) == 112);

constexpr uint32_t kPersistentFlagCount = 5;  // game flags 0, 6, 7, 8 and 9
constexpr uint32_t kSystemCgFlagCount = 1024;
constexpr uint32_t kSystemMovieFlagCount = 128;

extern const char kSystemDataFileName[];  // "System.sys"

extern CConfigBlock g_Config;
extern uint8_t g_PersistentGameFlags[kPersistentFlagCount];
extern uint8_t g_SystemCgFlags[kSystemCgFlagCount];
extern uint8_t g_SystemMovieFlags[kSystemMovieFlagCount];

// Clears the input state, the configuration, the flags and the saved window rectangle, and
// the frame time; the display counts as windowed.
void InitGlobals();
// The configuration defaults (the engine's defaults with the configuration's own font mode 0,
// height 22, text flags 2, speed 137 and volumes -2000), no flags, windowed display.
// 1, or 0 when the display mode could not be set.
int32_t SetDefaultSystemData();
// Reads System.sys from the save folder, or sets the defaults when there is none or it is
// damaged, then applies the stored display mode. 1, or 0 when the display mode failed.
int32_t LoadSystemData();
// Writes System.sys with a fresh key, replacing the old file only when all of it was written.
// 1 / 0.
int32_t SaveSystemData();

// OR the given flags into the system-wide tables.
void MergeCgFlags(const uint8_t* flags);
void MergeMovieFlags(const uint8_t* flags);
