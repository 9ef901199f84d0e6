// The sound openers: every sound is looked up first as a loose file and then as an entry of the
// archive that holds its kind (System.pac for the screens' sounds; BGM.pac, Voice.pac or SE.pac
// for the scenario's music, voices and sound effects).
#pragma once

#include <cstdint>

#include "sound/sound_player.h"

struct CPackArchive;

// A new player for the file's extension: ".wav" a CDirectSoundWave, ".ogg" a CDirectSoundOgg,
// in any letter case. Null for any other extension.
IDirectSoundPlayer* CreatePlayerForPath(const char* path);

// Replaces the player in *slot with one for path, opened from the loose file, else from
// System.pac. A failure shows the file-open box (while the system boxes are on) and leaves the
// unopened player, or null for an unknown extension, in the slot. 0 / -1.
int32_t LoadSystemSound(CAudioDevice* device, IDirectSoundPlayer** slot, const char* path);

// Opens the player on the loose file, else on the archive's entry (which the player then owns;
// the archive may be null). Shows nothing. 0 / -1.
int32_t OpenSoundFrom(IDirectSoundPlayer* player, CAudioDevice* device, const char* path, const CPackArchive* archive);

// Opens the player on the loose file, else on the entry of BGM.pac, Voice.pac or SE.pac, which
// the player then owns. A failure shows the file-open box when the error mask asks for it.
// 0 / -1.
int32_t OpenBgmStream(IDirectSoundPlayer* player, CAudioDevice* device, const char* path);
int32_t OpenVoiceStream(IDirectSoundPlayer* player, CAudioDevice* device, const char* path);
int32_t OpenSeStream(IDirectSoundPlayer* player, CAudioDevice* device, const char* path);
