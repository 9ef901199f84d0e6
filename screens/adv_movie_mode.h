// The story-movie mode: when a script asks for a movie (the "Movie" host command), it runs over
// the paused adventure and plays a movie table: the movie loops as the table says, chains to
// further tables, and clicks on its click areas record result flags. When it ends, the five
// result bytes become the adventure's game flags 1 to 5 and the movie flags it set are merged
// into the system-wide ones. Only the tables end a story movie: it has no skip and no keys.
#pragma once

#include <cstdint>

#include "app/system_data.h"
#include "files/pack_archive.h"
#include "screens/movie_cursors.h"
#include "screens/movie_table.h"
#include "sound/movie_playback.h"

constexpr uint32_t kMovieClearColour = 0x00100010u;

// Results of the update steps.
enum : int32_t {
    kMovieFailed = -1,
    kMoviePlaying = 0,
    kMovieDone = 1,
};

struct CAdvMovieMode {
    CPackArchive* archive = nullptr;  // Movie.pac, or null: tables are then read as loose files only
    CMoviePlayback movie;
    CMovieCursors cursors;
    SMovieTable table;
    int32_t loopsPlayed = 0;
    uint8_t results[kMovieResultCount] = {};
    uint8_t movieFlags[kSystemMovieFlagCount] = {};  // copy of the system-wide flags

    CAdvMovieMode() = default;
    CAdvMovieMode(const CAdvMovieMode&) = delete;
    CAdvMovieMode& operator=(const CAdvMovieMode&) = delete;
    ~CAdvMovieMode() { End(); }

    // Opens Movie.pac, makes the cursors, plays the first table, clears the result bytes, copies
    // the movie flags and shows a cleared back buffer. 0, or -1 (the caller then runs End).
    int32_t Init(const char* tableName);
    // Reads a table (its loop count and loop-end table carry over from the table before it when
    // it names none) and starts its movie. 0, or -1 after the file-open box.
    int32_t LoadTable(const char* name);
    // Opens and starts a movie at the configuration's music volume. 0, or -1.
    int32_t OpenMovie(const char* file);
    // The frame due now into the back buffer, then Present.
    void DrawFrame();
    // At the movie's end: counts the play, then rewinds, loads the loop-end table or ends.
    // kMoviePlaying, kMovieDone or kMovieFailed.
    int32_t UpdatePlaying();
    // The cursor over the click areas and the clicks on them. kMoviePlaying, kMovieDone or
    // kMovieFailed.
    int32_t UpdateClickable();
    // Merges the movie flags, restores the mouse cursor, closes the archive and the movie.
    // Harmless when the mode is not running.
    void End();

private:
    void SetMovieFlag();

    bool running_ = false;
};
