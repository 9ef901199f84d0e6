#include "sound/sound_loaders.h"

#include <strings.h>

#include <cstdio>

#include "files/loaders.h"
#include "platform/paths.h"
#include "platform/sjis.h"
#include "sound/ogg_player.h"
#include "sound/wave_player.h"

namespace {

int32_t OpenArchiveEntry(IDirectSoundPlayer* player, CAudioDevice* device, const char* path,
                         const CPackArchive* archive) {
    CFileStream* record = NewEntryStream(archive, path);
    if (record == nullptr) return -1;
    const CStreamCallbacks callbacks = FileStreamReleasingCallbacks();
    if (player->OpenFromCallbacks(device, path, &callbacks, record) == 0) return 0;  // the player owns it
    CFileStream::Release(record);
    return -1;
}

// True when the sound's bytes are there (a loose regular file or an archive entry), so that a
// failed open means they could not be read.
bool SoundFileExists(const char* path, const CPackArchive* archive) {
    if (FILE* file = OpenGameFile(path, "rb")) {
        std::fclose(file);
        return true;
    }
    return archive != nullptr && archive->FindEntry(ReplaceSeparators(path, '/', '\\').c_str()) >= 0;
}

// The box names the file; stderr says when the file is there but damaged, which the box's text
// (the program's own "could not open") does not tell apart from a missing one.
void ReportUnreadableSound(const char* path, const CPackArchive* archive) {
    if (SoundFileExists(path, archive)) {
        std::fprintf(stderr, "sound: cannot read \"%s\": the file is damaged or not a sound that plays\n",
                     SjisToUtf8(path).c_str());
    }
}

int32_t OpenDataSound(IDirectSoundPlayer* player, CAudioDevice* device, const char* path, uint32_t archive,
                      uint32_t reportBit) {
    if (OpenSoundFrom(player, device, path, g_pArchives[archive]) == 0) return 0;
    if (path != nullptr && (g_ArchiveErrorMask & reportBit)) {
        ReportUnreadableSound(path, g_pArchives[archive]);
        ShowDataFileOpenError(path);
    }
    return -1;
}

}  // namespace

int32_t OpenSoundFrom(IDirectSoundPlayer* player, CAudioDevice* device, const char* path, const CPackArchive* archive) {
    if (player == nullptr || path == nullptr) return -1;
    if (player->Open(device, path) == 0) return 0;
    return OpenArchiveEntry(player, device, path, archive);
}

IDirectSoundPlayer* CreatePlayerForPath(const char* path) {
    if (path == nullptr) return nullptr;
    const char* extension = PathExtension(path);
    if (strcasecmp(extension, ".wav") == 0) return new CDirectSoundWave();
    if (strcasecmp(extension, ".ogg") == 0) return new CDirectSoundOgg();
    return nullptr;
}

int32_t LoadSystemSound(CAudioDevice* device, IDirectSoundPlayer** slot, const char* path) {
    if (slot == nullptr) return -1;
    if (*slot != nullptr) {
        (*slot)->Stop(-1.0f);
        delete *slot;
        *slot = nullptr;
    }
    *slot = CreatePlayerForPath(path);
    if (*slot != nullptr) {
        if ((*slot)->Open(device, path) == 0) return 0;
        if (OpenArchiveEntry(*slot, device, path, g_pSystemArchive) == 0) return 0;
    }
    if (path != nullptr) ReportUnreadableSound(path, g_pSystemArchive);
    ShowSystemFileOpenError(path != nullptr ? path : "");
    return -1;
}

int32_t OpenBgmStream(IDirectSoundPlayer* player, CAudioDevice* device, const char* path) {
    return OpenDataSound(player, device, path, kBgmArchive, kReportBgm);
}

int32_t OpenVoiceStream(IDirectSoundPlayer* player, CAudioDevice* device, const char* path) {
    return OpenDataSound(player, device, path, kVoiceArchive, kReportVoices);
}

int32_t OpenSeStream(IDirectSoundPlayer* player, CAudioDevice* device, const char* path) {
    return OpenDataSound(player, device, path, kSeArchive, kReportEffects);
}
