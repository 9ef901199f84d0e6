// Mode 5, the picture gallery: a grid of up to 20 thumbnails, one per gallery entry of up to 16
// pictures. An entry is available when the system-wide picture flags unlock at least one of its
// pictures; choosing it shows its unlocked pictures full screen one after the other. Two buttons
// lead to the movie gallery and back to the title.
#pragma once

#include <cstdint>

#include "screens/screen_resources.h"

struct CPackArchive;

extern const char kCgTablePath[];       // "System/Extra/CGTable.txt"
extern const char kCgBackgroundPath[];  // "System/Extra/CGModeBG.bmp"
extern const char kCgButtonPath[];      // "System/Extra/CGModeButton.bmp"
extern const char kCgMusicPath[];       // "System/Extra/BGM.ogg"

constexpr int32_t kCgEntryCount = 20;
constexpr int32_t kCgPicturesPerEntry = 16;
constexpr uint32_t kCgPathSize = 260;

// Hover positions besides the entries 0-19.
enum : int32_t {
    kCgMovieButton = 20,
    kCgBackButton = 21,
    kCgHoverCount = 22,
};

enum : int32_t {
    kCgFadeIn = 0,
    kCgList = 1,
    kCgView = 2,
    kCgFadeOut = 3,
};

// Results of CCgMode::Frame.
enum : int32_t {
    kCgRunning = 0,
    kCgToMovieGallery = 1,
    kCgToTitle = 2,
};

struct CCgEntry {
    char names[kCgPicturesPerEntry][kCgPathSize];
    int32_t count;
};

// The picture table: each line is a picture flag, an entry number and a quoted picture path.
// A line whose flag is unlocked adds its picture to the entry; every line read makes its entry
// show in the grid (as a locked thumbnail when it has no picture). A negative flag ends the
// table. Lines outside the limits (flag 0-1023, entry 0-19, 16 pictures an entry, a path) are
// skipped.
struct CCgTable {
    CCgEntry entries[kCgEntryCount];
    int32_t entryCount = 0;  // 1 + the highest entry number read

    void Clear();
    // One line of the table; `unlocked` holds the 1,024 picture flags. False when the
    // line ends the table.
    bool AddLine(const char* line, const uint8_t* unlocked);
};

struct CCgMode {
    CScreenResources head;  // background, button sheet, cursor and select sounds
    CPackArchive* archive = nullptr;  // Image.pac, or null
    CTexture* picture = nullptr;      // the picture being viewed
    IDirectSoundPlayer* music = nullptr;
    CCgTable table;
    int32_t viewedEntry = 0;
    int32_t viewedPicture = 0;
    int32_t state = kCgFadeIn;
    uint32_t stateStart = 0;
    int32_t hover = -1;

    CCgMode() = default;
    CCgMode(const CCgMode&) = delete;
    CCgMode& operator=(const CCgMode&) = delete;
    ~CCgMode() { End(); }

    // Opens Image.pac, reads the table with the flags of this moment and loads the pictures and
    // sounds; the music starts. 0, or -1 at the first failure (the owner then calls End).
    int32_t Init();
    // Reads "System/Extra/CGTable.txt" (loose file, else System.pac). 0, or -1 after the
    // file-open box when it cannot be opened.
    int32_t LoadTable();
    // Replaces the viewed picture: a loose TEYL file, a loose BMP, PNG or JPEG file, else the
    // Image.pac entry. 0, or -1 after the file-open box.
    int32_t LoadPicture(const char* path);
    // kCgRunning, kCgToMovieGallery or kCgToTitle.
    int32_t Frame();
    // Releases everything; harmless when nothing is held.
    void End();

    bool HasPictures(int32_t entry) const;
    bool IsHoverable(int32_t position) const;

private:
    void SkipFadeIn();
    void UpdateList();
    void UpdateView();
    void Activate(int32_t position);
    void Close();
    void DrawList(uint32_t overlayAlpha);
    void DrawView();
    void EnterState(int32_t next);
};
