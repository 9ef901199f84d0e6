#include "files/loaders.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "files/picture_loader.h"
#include "files/scrambled_io.h"
#include "files/teyl_image.h"
#include "platform/message_box.h"
#include "platform/paths.h"

CPackArchive* g_pSystemArchive = nullptr;
CPlatformWindow* g_hSysArchiveOwner = nullptr;
uint32_t g_bShowSysArchiveErrors = 0;
CPackArchive* g_pArchives[kDataArchiveCount] = {};
CPlatformWindow* g_hArchiveErrorOwner = nullptr;
uint32_t g_ArchiveErrorMask = 0;

namespace {

// "ファイルのオープンに失敗しました\n\"%s\""
constexpr char kFileOpenErrorFormat[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xCC\x83\x49\x81\x5B\x83\x76\x83\x93\x82\xC9\x8E\xB8\x94\x73\x82\xB5"
    "\x82\xDC\x82\xB5\x82\xBD\n\"%s\"";
constexpr char kErrorCaption[] = "Error!!";
constexpr size_t kMessageSize = 1024;

void ShowFileOpenError(const char* path, bool topmost = true) {
    char text[kMessageSize];
    FormatMessage1K(text, kFileOpenErrorFormat, path != nullptr ? path : "");
    ShowMessageBox(text, kErrorCaption, MessageBoxStyle::IconError | (topmost ? MessageBoxStyle::Topmost : 0u));
}

}  // namespace

void FormatMessage1K(char* buffer, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(buffer, kMessageSize, format, arguments);
    va_end(arguments);
}

int32_t OpenSystemArchive(CPlatformWindow* owner) {
    CloseSystemArchive();
    g_hSysArchiveOwner = owner;
    g_bShowSysArchiveErrors = 1;
    g_pSystemArchive = NewOpenedArchive("System.pac");
    std::memset(g_SystemDataKey, 0, sizeof g_SystemDataKey);
    return 0;
}

void CloseSystemArchive() {
    g_hSysArchiveOwner = nullptr;
    g_bShowSysArchiveErrors = 0;
    delete g_pSystemArchive;
    g_pSystemArchive = nullptr;
}

void ShowSystemFileOpenError(const char* path) {
    if (g_bShowSysArchiveErrors) ShowFileOpenError(path);
}

int32_t OpenArchives(const CArchiveParams* params, CPlatformWindow* owner) {
    CloseArchives();
    g_hArchiveErrorOwner = owner;
    g_ArchiveErrorMask = params != nullptr ? params->errorMask : 0;
    for (uint32_t i = 0; params != nullptr && i < kDataArchiveCount; ++i) {
        char name[kPackNameSize];
        std::memcpy(name, params->names[i], kPackNameSize);
        name[kPackNameSize - 1] = 0;
        if (name[0] != 0) g_pArchives[i] = NewOpenedArchive(name);
    }
    std::memset(g_SaveKey, 0, sizeof g_SaveKey);
    return 0;
}

void CloseArchives() {
    g_hArchiveErrorOwner = nullptr;
    g_ArchiveErrorMask = 0;
    for (CPackArchive*& archive : g_pArchives) {
        delete archive;
        archive = nullptr;
    }
}

void ShowDataFileOpenError(const char* path, bool topmost) { ShowFileOpenError(path, topmost); }

int32_t LoadTextureFrom(CGraphicsDevice* device, CTexture** slot, const char* path, const CPackArchive* archive,
                        int32_t* width, int32_t* height) {
    if (device == nullptr || slot == nullptr || path == nullptr) return -1;
    FILE* file = OpenGameFile(path, "rb");
    if (file != nullptr) {
        const int32_t result = LoadTeylImage(device, slot, width, height, ReadFileRef, &file);
        std::fclose(file);
        if (result == 0) return 0;
        if (LoadPictureFile(device, slot, path, width, height) == 0) return 0;
    }
    CFileStream entry;
    if (archive == nullptr || entry.OpenEntry(archive, path) != 0) return -1;
    const int32_t result = LoadTeylImage(device, slot, width, height, CFileStream::Read, &entry);
    CFileStream::Close(&entry);
    return result;
}

int32_t LoadSystemTexture(CGraphicsDevice* device, CTexture** slot, const char* path) {
    if (LoadTextureFrom(device, slot, path, g_pSystemArchive) == 0) return 0;
    ShowSystemFileOpenError(path);
    return -1;
}

int32_t LoadTexture(CGraphicsDevice* device, CTexture** slot, const char* path, int32_t* width, int32_t* height) {
    if (LoadTextureFrom(device, slot, path, g_pArchives[kImageArchive], width, height) == 0) return 0;
    if (g_ArchiveErrorMask & kReportPictures) ShowDataFileOpenError(path);
    return -1;
}

int32_t OpenDataFile(CFileStream* record, const char* path) {
    if (record->OpenLoose(path) == 0) return 0;
    if (record->OpenEntry(g_pArchives[kScriptArchive], path) == 0) return 0;
    *record = CFileStream{};
    if (g_ArchiveErrorMask & kReportScripts) ShowDataFileOpenError(path);
    return -1;
}

int32_t OpenDataFile(const char* path, CStreamCallbacks* callbacks, void** source) {
    CFileStream* record = new (std::nothrow) CFileStream;
    if (record == nullptr) return -1;
    if (OpenDataFile(record, path) != 0) {
        delete record;
        return -1;
    }
    *callbacks = FileStreamReleasingCallbacks();
    *source = record;
    return 0;
}

CPackArchive* NewOpenedArchive(const char* path) {
    CPackArchive* archive = new (std::nothrow) CPackArchive;
    if (archive != nullptr && archive->Open(path) != 0) DeleteArchive(&archive);
    return archive;
}

void DeleteArchive(CPackArchive** archive) {
    delete *archive;  // the destructor closes it
    *archive = nullptr;
}

CFileStream* NewEntryStream(const CPackArchive* archive, const char* path) {
    if (archive == nullptr) return nullptr;
    CFileStream* record = new (std::nothrow) CFileStream;
    if (record != nullptr && record->OpenEntry(archive, path) != 0) {
        delete record;
        record = nullptr;
    }
    return record;
}
