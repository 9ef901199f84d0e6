// The scenario engine's movie object: the page command MOVI opens a movie, the page
// interpreter starts it after the page, and the engine's input step watches it each frame until
// it ends or the player skips it; the story then goes on at the movie's jump target or with the
// next page. While the object is active the adventure draws the movie instead of its scene.
#pragma once

#include <cstdint>

#include "files/stream.h"
#include "sound/movie_playback.h"

class CGraphicsDevice;
struct CInputState;

constexpr uint32_t kMoviePathSize = 260;

struct CMoviePlayer {
    int32_t active = 0;   // 1 from MOVI until the movie ends, is skipped or released
    int32_t error = 0;    // 1 when the movie could not be opened or started
    int32_t noSkip = 0;   // 1 when MOVI carried SREF
    char jumpTarget[kMoviePathSize] = {};  // empty: the next page follows
    CMoviePlayback playback;

    // MOVI: the sub-chunks MOVF (movie path), JMPF (jump target) and SREF (no skipping), in any
    // order, then Open with the music volume. Always 0: a failure is reported by Play.
    int32_t ParseCommand(CReadStream* stream, uint32_t size, int32_t musicVolume);
    // Closes what was open; the object becomes active. 0, or -1 with error set.
    int32_t Open(const char* path, const char* target, int32_t volume);
    // After the page that opened the movie: starts it. -1 after the box
    // "ムービーの再生に失敗しました" when it could not be opened or started.
    int32_t Play();
    // Unless SREF was given, a left or right click, Return, keypad Enter or Escape stops and
    // releases the movie. 0.
    int32_t SkipOnInput(CInputState* input);
    // 1 when the object is not active, has an error, holds no movie, or the movie has reached
    // its stop position.
    int32_t IsFinished();
    // Writes the frame due now into the back buffer. 0, or -1.
    int32_t Draw(CGraphicsDevice* device);
    // Closes the movie and clears active, error and no skip.
    void Release();
    void Close() { Release(); }
};
