// The movie gallery: two pages of up to 20 movie thumbnails from "System/Extra/MovieTable.txt".
// A movie is available when its system-wide movie flag is set (flag 0 always counts as set);
// choosing one plays it through its movie table, whose click areas may chain tables or end the
// movie, and the list comes back when the movie ends. Buttons switch pages, lead to the picture
// gallery or back to the title. The gallery writes no flags.
#pragma once

#include <cstdint>

#include "app/system_data.h"
#include "screens/movie_cursors.h"
#include "screens/movie_table.h"
#include "screens/screen_resources.h"
#include "sound/movie_playback.h"

extern const char kMovieListPath[];  // "System/Extra/MovieTable.txt"

constexpr int32_t kMovieListMax = 40;
constexpr int32_t kMoviesPerPage = 20;

enum : int32_t {
    kMovieGalleryFadeIn = 0,
    kMovieGalleryList = 1,
    kMovieGalleryPlaying = 2,
    kMovieGalleryFadeOut = 3,
};

// Results of Frame.
enum : int32_t {
    kMovieGalleryRunning = 0,
    kMovieGalleryToPictures = 1,
    kMovieGalleryToTitle = 2,
};

// Hover positions after the 20 thumbnails of a page.
enum : int32_t {
    kMovieHoverPage1 = 20,
    kMovieHoverPage2 = 21,
    kMovieHoverPictures = 22,
    kMovieHoverBack = 23,
    kMovieHoverCount = 24,
};

struct SMovieListEntry {
    int32_t flag = 0;
    char table[kQuotedTokenSize] = {};
};

struct CMovieMode {
    CScreenResources head;  // page 1's background, the button sheet, the cursor and select sounds
    CTexture* secondBackground = nullptr;
    IDirectSoundPlayer* music = nullptr;
    CMoviePlayback movie;
    CMovieCursors cursors;
    CConfigBlock config = {};
    uint8_t movieFlags[kSystemMovieFlagCount] = {};
    SMovieListEntry list[kMovieListMax];
    int32_t listCount = 0;
    SMovieTable table;
    int32_t loopsPlayed = 0;
    int32_t state = kMovieGalleryFadeIn;
    uint32_t stateStart = 0;
    int32_t page = 0;
    int32_t hover = -1;

    CMovieMode() = default;
    CMovieMode(const CMovieMode&) = delete;
    CMovieMode& operator=(const CMovieMode&) = delete;
    ~CMovieMode() { End(); }

    // The list, the pictures, the music and sounds, the cursors; the fade-in starts. 0, or -1.
    int32_t Init();
    // kMovieGalleryRunning, kMovieGalleryToPictures or kMovieGalleryToTitle.
    int32_t Frame();
    // Reads a gallery table and starts its movie. 0, or -1 after the file-open box.
    int32_t LoadTable(const char* name);
    // Harmless when the mode is not running.
    void End();

    // The thumbnail k of the shown page has a list entry whose movie flag is set.
    bool IsAvailable(int32_t k) const;

private:
    int32_t LoadMovieList();
    void SkipFadeIn();
    void DrawList(uint32_t overlayAlpha);
    void UpdateList();
    void Activate();
    void UpdatePlaying();
    void UpdateClickable();
    void CloseForList(bool restartMusic);
    void StopMusic();
    void EnterState(int32_t next);

    bool running_ = false;
};
