// The Ogg Vorbis player's opener and decoder: any bytes open cleanly or fail, and decode or stop.
#include "fuzz/sound_player_fuzz.h"
#include "sound/ogg_player.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzSoundPlayer<CDirectSoundOgg>(data, size, "f.ogg");
}
