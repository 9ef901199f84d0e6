// Mode 7, the music gallery: the game's seven music tracks, none locked, played by one Ogg player
// of the mode's own, with music on/off, ten volume steps, a stop button and a back button. The
// volume and the on/off switch chosen here last while the gallery is open; the configuration is
// never changed.
#pragma once

#include <cstdint>

#include "screens/screen_resources.h"
#include "sound/ogg_player.h"

struct CPackArchive;

extern const char kBgmBackgroundPath[];  // "System/Extra/BGMModeBG.bmp"
extern const char kBgmButtonPath[];      // "System/Extra/BGMModeButton.bmp"
extern const char kBgmTrackFormat[];     // "BGM/BGM%02d.ogg", tracks 1-7

constexpr int32_t kBgmTrackCount = 7;
constexpr int32_t kBgmVolumeSteps = 10;

// Button ids: tracks 0-6, then these.
enum : int32_t {
    kBgmMusicOn = 7,
    kBgmMusicOff = 8,
    kBgmFirstVolume = 9,  // volume steps 9-18
    kBgmStop = 19,
    kBgmBack = 20,
    kBgmButtonCount = 21,
};

enum : int32_t {
    kBgmFadeIn = 0,
    kBgmIdle = 1,
    kBgmFadeOut = 2,
    kBgmDone = 3,
};

// The volume of step k: -4500 + 500 k hundredths of a decibel.
constexpr int32_t BgmStepVolume(int32_t step) { return -4500 + 500 * step; }

struct CBgmMode {
    CScreenResources head;  // background, button sheet, cursor and select sounds
    CPackArchive* archive = nullptr;  // BGM.pac, or null: tracks are then read as loose files only
    int32_t state = kBgmDone;
    uint32_t stateStart = 0;
    CDirectSoundOgg player;
    int32_t currentTrack = -1;    // playing or paused, -1 none
    int32_t requestedTrack = -1;  // starts once the player has stopped, -1 none
    int32_t volume = 0;           // hundredths of a decibel
    int32_t musicOff = 0;         // 1 muted
    int32_t hover = -1;

    CBgmMode() = default;
    CBgmMode(const CBgmMode&) = delete;
    CBgmMode& operator=(const CBgmMode&) = delete;
    ~CBgmMode() { End(); }

    // Opens BGM.pac and loads the pictures and sounds; volume and on/off start from the
    // configuration. 0, or -1 at the first failure (the owner then calls End).
    int32_t Init();
    // Draws, starts a requested track once the player has stopped, then takes the input.
    // 1 once the gallery is done, else 0.
    int32_t Frame();
    // Stops and closes the player and releases everything; harmless when nothing is held.
    void End();
    // Opens the player on the loose track, else on the BGM.pac entry. 0, or -1 after the
    // file-open box.
    int32_t OpenTrack(const char* path);

    // The volume the player gets: -10000 while muted.
    int32_t PlayerVolume() const;
    bool IsEnabled(int32_t button);

private:
    void StartRequestedTrack();
    void Update();
    void Activate(int32_t button);
    void Close();
    void Draw();
    void DrawSwitches();
    void EnterState(int32_t next);
};
