// Loose-file-then-archive loaders. Every piece of game data is looked up first as a loose file
// at its relative path (platform/paths.h) and only then in the archive that holds that kind of
// data: System.pac for the screens around the story (the system loaders), Script.pac,
// Image.pac, BGM.pac, Voice.pac and SE.pac for the scenario engine (the engine loaders).
#pragma once

#include <cstdint>

#include "files/file_stream.h"
#include "files/pack_archive.h"

class CGraphicsDevice;
class CTexture;
struct CPlatformWindow;

// The data archives, in the order of the engine parameters.
enum : uint32_t {
    kScriptArchive = 0,
    kImageArchive = 1,
    kBgmArchive = 2,
    kVoiceArchive = 3,
    kSeArchive = 4,
    kDataArchiveCount = 5,
};

// Bits of the error-report mask: the loaders whose failure shows the file-open box.
enum : uint32_t {
    kReportScripts = 1,    // OpenDataFile
    kReportPictures = 2,   // LoadTexture and the model opener
    kReportBgm = 4,        // OpenBgmStream
    kReportVoices = 8,     // OpenVoiceStream
    kReportEffects = 16,   // OpenSeStream
};

// The archive block of the engine parameters.
struct CArchiveParams {
    char names[kDataArchiveCount][kPackNameSize];  // an empty name leaves that archive closed
    uint32_t errorMask;
};

// System side.
extern CPackArchive* g_pSystemArchive;         // System.pac, or null
extern CPlatformWindow* g_hSysArchiveOwner;    // owner of the system loaders' boxes
extern uint32_t g_bShowSysArchiveErrors;       // 1 while System.pac is in use
// Engine side.
extern CPackArchive* g_pArchives[kDataArchiveCount];  // each may be null
extern CPlatformWindow* g_hArchiveErrorOwner;
extern uint32_t g_ArchiveErrorMask;

// Opens "System.pac" (a missing or damaged archive leaves the pointer null: loose files then
// serve alone), turns the system loaders' boxes on and clears the System.sys key. Returns 0.
int32_t OpenSystemArchive(CPlatformWindow* owner);
void CloseSystemArchive();
// "ファイルのオープンに失敗しました\n\"<path>\"" in an error box, only while the boxes are on.
void ShowSystemFileOpenError(const char* path);

// Opens each named data archive (a failure leaves that one null), stores the owner and the
// error mask, and clears the save key. Returns 0.
int32_t OpenArchives(const CArchiveParams* params, CPlatformWindow* owner);
void CloseArchives();
// The same box as ShowSystemFileOpenError, whatever the mask (the loaders test it); the movie
// screens show it without the topmost style.
void ShowDataFileOpenError(const char* path, bool topmost = true);

// printf-style formatting into a buffer of 1,024 characters.
void FormatMessage1K(char* buffer, const char* format, ...) __attribute__((format(printf, 2, 3)));

// A texture from a loose TEYL file, else a loose BMP, PNG or JPEG file (a texture of the
// picture's own size), else a TEYL entry of the archive. Width and height, when given, receive
// the picture's size. 0, or -1 with nothing shown and the slot left as it was.
int32_t LoadTextureFrom(CGraphicsDevice* device, CTexture** slot, const char* path, const CPackArchive* archive,
                        int32_t* width = nullptr, int32_t* height = nullptr);
// LoadTextureFrom with System.pac; a failure shows the box (ShowSystemFileOpenError).
int32_t LoadSystemTexture(CGraphicsDevice* device, CTexture** slot, const char* path);
// LoadTextureFrom with Image.pac; a failure shows the box when mask bit kReportPictures is set.
int32_t LoadTexture(CGraphicsDevice* device, CTexture** slot, const char* path, int32_t* width = nullptr,
                    int32_t* height = nullptr);

// Opens a script: the loose file into the record (kind 0), else the Script.pac entry (kind
// kFileStreamEntry); else the box when mask bit kReportScripts is set. 0 / -1.
int32_t OpenDataFile(CFileStream* record, const char* path);
// The same into a new heap record, handed out with the callbacks that release it on close
// (FileStreamReleasingCallbacks), ready for CReadStream::SetSource. 0 / -1 (nothing to free).
int32_t OpenDataFile(const char* path, CStreamCallbacks* callbacks, void** source);

// A new archive opened on the path (a game path), or null when it cannot be opened: the
// galleries' own readers of Image.pac and BGM.pac. DeleteArchive closes and frees one and
// sets the pointer to null.
CPackArchive* NewOpenedArchive(const char* path);
void DeleteArchive(CPackArchive** archive);

// A new heap record on an archive entry, or null when the archive is null or lacks the entry.
// Hand it to a reader with FileStreamReleasingCallbacks, or free it with CFileStream::Release.
CFileStream* NewEntryStream(const CPackArchive* archive, const char* path);
