// The head of a save file (date, thumbnail, caption, the size of the engine state behind it),
// the slot numbers and file names of the saves, and the bounded reader of that head.
//
// Save file layout, little-endian: seven u16 date fields (year, month, day, hour, minute,
// second, milliseconds); u32 N, the thumbnail picture name's length with its zero byte, or 0;
// N name bytes, or for N = 0 the 100 × 75 thumbnail (top row first, 4 bytes B, G, R, A per
// pixel); u32 L and the caption of L bytes with its zero; u32 S and the S bytes of the engine
// state.
#pragma once

#include <cstdint>

#include "files/stream.h"
#include "platform/paths.h"
#include "platform/types.h"

constexpr int32_t kOrdinarySaveCount = 100;  // slots 0-99: "Save%02d.sav"
constexpr int32_t kFirstAutoSaveSlot = 100;  // slots 100-103: "A-Save%02d.sav"
constexpr int32_t kAutoSaveCount = 4;
constexpr int32_t kQuickSaveSlot = 104;      // "Q-Save.sav"
constexpr int32_t kSaveSlotCount = 105;

constexpr uint32_t kSavePathSize = kSaveFolderSize;
constexpr uint32_t kThumbnailWidth = 100;
constexpr uint32_t kThumbnailHeight = 75;
constexpr uint32_t kThumbnailRowBytes = kThumbnailWidth * 4;
constexpr uint32_t kThumbnailBytes = kThumbnailRowBytes * kThumbnailHeight;  // 30,000
constexpr uint32_t kThumbnailStep = 8;  // one pixel of the 800 × 600 frame in 8 each way
constexpr uint32_t kThumbnailNameSize = 260;  // with its zero byte
constexpr uint32_t kCaptionSize = 32;         // with its zero byte
constexpr uint32_t kSaveDateBytes = 14;

extern const char kQuickSaveName[];  // "Q-Save.sav"
extern const char kGameDataName[];   // "GameData.sys"

struct CSaveFileHeader {
    SSystemTime time = {};  // the day of the week is not stored (0)
    char thumbnailName[kThumbnailNameSize] = {};  // empty: the file carries the pixels
    char caption[kCaptionSize] = {};
    uint32_t stateSize = 0;
};

// The file of a slot in the save folder g_SaveFolder; an empty path for a number outside 0-104
// and while there is no save folder (a save then fails; it never goes to the working folder).
void GetSaveFileName(int32_t slot, char path[kSavePathSize]);
// g_SaveFolder + name, or an empty path while there is no save folder.
void GetSaveFolderPath(const char* name, char path[kSavePathSize]);

// True when the file is a regular file that opens for reading (it is closed again at once).
bool CanOpenFile(const char* path);

// The local time of now, with milliseconds (the day of the week 0).
SSystemTime GetLocalSaveTime();

// Reads exactly n bytes of a window-mode stream (opens an n-byte window first). False when
// the data ends before.
bool ReadWindow(CReadStream* stream, void* destination, uint32_t n);

// Reads a u32, little-endian, from a window-mode stream. False when the data ends before.
bool ReadU32Window(CReadStream* stream, uint32_t* value);

// Reads the date at the start of a save file. 0, or -1 when it cannot be opened or is too short.
int32_t ReadSaveDate(const char* path, SSystemTime* time);

// Reads the head from the start of a window-mode stream, up to and including S. With N = 0 the
// thumbnail pixels go to `pixels` (30,000 bytes) when it is given, else they are skipped. Refuses
// (-1) a name of 260 bytes or more, a caption of 32 bytes or more, a field without its zero byte
// where the layout puts it, and a file that ends inside the head; nothing is read past the head.
int32_t ReadSaveHeader(CReadStream* stream, CSaveFileHeader* header, uint8_t* pixels);

// Pieces of the head as the writer puts them: the seven date fields, a u32, and a text as its
// length with the zero byte followed by the text and the zero byte.
void WriteSaveDate(CWriteStream* stream, const SSystemTime& time);
void WriteU32(CWriteStream* stream, uint32_t value);
void WriteCountedText(CWriteStream* stream, const char* text);
