// A sound channel of the scenario engine: one numbered slot that holds at most one sound player
// and the page's pending commands for it. Each command waits for its delay, counted from the
// page start that the engine stamps into startTime, and Update applies it once that has passed.
// The channel also writes and reads its part of a save.
#pragma once

#include <cstdint>

#include "files/stream.h"
#include "platform/render_context.h"
#include "sound/sound_player.h"

class CChunkReader;

// Channel kinds; they choose the archive a sound comes from.
constexpr int32_t kSoundKindMusic = 0;
constexpr int32_t kSoundKindVoice = 1;
constexpr int32_t kSoundKindEffect = 2;

// Status command codes, which are also the channel states 0, 2 and 3.
constexpr int32_t kSoundRestart = 0;
constexpr int32_t kSoundPlay = 1;
constexpr int32_t kSoundPause = 2;
constexpr int32_t kSoundStop = 3;

struct CSoundStatusCommand {
    int32_t pending = 0;
    int32_t command = 0;
    int32_t playCount = 0;
    int32_t loopBack = 0;  // ms
    float fadeSpeed = 0.0f;
    uint32_t delay = 0;  // ms after the page start
};

struct CSoundValueCommand {
    int32_t pending = 0;
    int32_t target = 0;
    float speed = 0.0f;
    uint32_t delay = 0;
};

struct CSoundChannel {
    int32_t active = 0;                     // 1 while a sound is loaded and opened
    IDirectSoundPlayer* player = nullptr;   // owned
    int32_t masterVolume = 0;               // handed to the player at each load
    char name[kSoundNameSize] = {};
    int32_t state = kSoundStop;             // 3 loaded or stopped, 0 playing, 2 paused
    int32_t playCount = 0;                  // of the last play command applied
    int32_t loopBack = 0;
    int32_t volume = 0;                     // the last targets applied
    int32_t pan = 0;
    int32_t tempo = 1000;
    CSoundStatusCommand status;             // STAT
    CSoundValueCommand volumeCommand;       // VOLM
    CSoundValueCommand panCommand;          // "PAN "
    CSoundValueCommand tempoCommand;        // TEMP
    uint32_t startTime = kTimeNotSet;       // game clock of the page start

    CSoundChannel() = default;
    ~CSoundChannel() { Release(); }
    CSoundChannel(const CSoundChannel&) = delete;
    CSoundChannel& operator=(const CSoundChannel&) = delete;

    // Replaces the player with one for the file (".wav" or ".ogg", any letter case), opened
    // through the opener of the kind (loose file, then BGM.pac, Voice.pac or SE.pac) on
    // g_pEngineDirectSound. Loaded and stopped at volume 0, pan 0, tempo 1000 with no pending
    // command: 0. Another extension or a file found nowhere: -1 and an inactive channel.
    int32_t LoadSound(int32_t kind, const char* fileName);
    // Closes and deletes the player; inactive, no name.
    void Release();

    // Reads a script sound command (BGMT, VOIT or "SET ") of `size` payload bytes: LOAD, RLAS,
    // STAT, VOLM, "PAN ", TEMP; other tags are skipped. Consumes exactly `size` bytes unless the
    // stream ends. -1 when a LOAD failed (the rest is still read), else 0.
    int32_t ParseCommand(CReadStream* stream, int32_t kind, uint32_t size, uint32_t* bytesRead);
    // Applies each pending command whose delay has passed since startTime; while hold is 1 the
    // play commands (0 and 1) wait. 0.
    int32_t Update(int32_t hold);

    // The save form through the save mask; with no stream only the size. 0.
    int32_t Save(CWriteStream* stream, uint32_t* size) const;
    // Reads the save form in any order (masked); music and voices that were playing restart from
    // their beginning at the next Update. -1 when a sound could not be reloaded, else 0.
    int32_t Restore(CReadStream* stream, uint32_t* bytesRead, int32_t kind, uint32_t size);

    // What a save, the message log and the voice replay record: each pending command's values
    // when it is pending, else the last ones applied (the status code: else the state).
    int32_t CurrentStatusCode() const { return status.pending ? status.command : state; }
    bool IsPlayCommand() const {
        const int32_t code = CurrentStatusCode();
        return code == kSoundRestart || code == kSoundPlay;
    }
    int32_t CurrentPlayCount() const { return status.pending ? status.playCount : playCount; }
    int32_t CurrentLoopBack() const { return status.pending ? status.loopBack : loopBack; }
    int32_t CurrentVolume() const { return volumeCommand.pending ? volumeCommand.target : volume; }
    int32_t CurrentPan() const { return panCommand.pending ? panCommand.target : pan; }
    int32_t CurrentTempo() const { return tempoCommand.pending ? tempoCommand.target : tempo; }

private:
    // STAT of a script: the status command with its delay, pending.
    void ParseStatus(CChunkReader& body);
    // STAT of a save: music and voices that were playing restart from their beginning at once.
    void RestoreStatus(CChunkReader& body, int32_t kind);
};
