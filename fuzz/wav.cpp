// The WAV player's RIFF walk and its reads of the data: any bytes open cleanly or fail.
#include "fuzz/sound_player_fuzz.h"
#include "sound/wave_player.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzSoundPlayer<CDirectSoundWave>(data, size, "f.wav");
}
