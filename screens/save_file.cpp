#include "screens/save_file.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/paths.h"

const char kQuickSaveName[] = "Q-Save.sav";
const char kGameDataName[] = "GameData.sys";

void GetSaveFileName(int32_t slot, char path[kSavePathSize]) {
    if (g_SaveFolder[0] == 0) {
        path[0] = 0;
    } else if (slot >= 0 && slot < kOrdinarySaveCount) {
        FormatPath(path, "%sSave%02d.sav", g_SaveFolder, slot);
    } else if (slot >= kFirstAutoSaveSlot && slot < kFirstAutoSaveSlot + kAutoSaveCount) {
        FormatPath(path, "%sA-Save%02d.sav", g_SaveFolder, slot - kFirstAutoSaveSlot);
    } else if (slot == kQuickSaveSlot) {
        GetSaveFolderPath(kQuickSaveName, path);
    } else {
        path[0] = 0;
    }
}

void GetSaveFolderPath(const char* name, char path[kSavePathSize]) {
    if (g_SaveFolder[0] == 0) {
        path[0] = 0;
        return;
    }
    FormatPath(path, "%s%s", g_SaveFolder, name);
}

bool CanOpenFile(const char* path) {
    FILE* file = OpenRegularFile(path, "rb");
    if (file == nullptr) return false;
    std::fclose(file);
    return true;
}

SSystemTime GetLocalSaveTime() {
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local = {};
    localtime_r(&now.tv_sec, &local);
    SSystemTime time = {};
    time.year = static_cast<uint16_t>(local.tm_year + 1900);
    time.month = static_cast<uint16_t>(local.tm_mon + 1);
    time.day = static_cast<uint16_t>(local.tm_mday);
    time.hour = static_cast<uint16_t>(local.tm_hour);
    time.minute = static_cast<uint16_t>(local.tm_min);
    time.second = static_cast<uint16_t>(local.tm_sec);
    time.milliseconds = static_cast<uint16_t>(now.tv_nsec / 1000000);
    return time;
}

bool ReadWindow(CReadStream* stream, void* destination, uint32_t n) {
    if (n == 0) return true;
    if (stream->Fill(n) != 0) return false;
    return stream->Read(destination, n) == static_cast<int32_t>(n);
}

bool ReadU32Window(CReadStream* stream, uint32_t* value) {
    uint8_t bytes[4];
    if (!ReadWindow(stream, bytes, 4)) return false;
    *value = ReadU32LE(bytes);
    return true;
}

namespace {

bool ReadDate(CReadStream* stream, SSystemTime* time) {
    uint8_t bytes[kSaveDateBytes];
    if (!ReadWindow(stream, bytes, kSaveDateBytes)) return false;
    uint16_t fields[7];
    for (int i = 0; i < 7; ++i) fields[i] = static_cast<uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    *time = SSystemTime{fields[0], fields[1], 0, fields[2], fields[3], fields[4], fields[5], fields[6]};
    return true;
}

// A counted text field of `length` bytes that must end with its zero byte and fit `capacity`.
bool ReadCountedText(CReadStream* stream, uint32_t length, char* field, uint32_t capacity) {
    field[0] = 0;
    if (length == 0) return true;
    if (length > capacity) return false;
    if (!ReadWindow(stream, field, length)) return false;
    return field[length - 1] == 0;
}

}  // namespace

int32_t ReadSaveDate(const char* path, SSystemTime* time) {
    CReadStream stream;
    if (stream.OpenFile(path) != 0 || stream.AllocBuffer(64) != 0) return -1;
    return ReadDate(&stream, time) ? 0 : -1;
}

int32_t ReadSaveHeader(CReadStream* stream, CSaveFileHeader* header, uint8_t* pixels) {
    *header = CSaveFileHeader{};
    uint32_t nameLength = 0;
    if (!ReadDate(stream, &header->time) || !ReadU32Window(stream, &nameLength)) return -1;
    if (nameLength == 0) {
        if (pixels != nullptr) {
            if (!ReadWindow(stream, pixels, kThumbnailBytes)) return -1;
        } else if (stream->Seek(kThumbnailBytes, SEEK_CUR) != 0) {
            return -1;
        }
    } else if (!ReadCountedText(stream, nameLength, header->thumbnailName, kThumbnailNameSize)) {
        return -1;
    }
    uint32_t captionLength = 0;
    if (!ReadU32Window(stream, &captionLength) ||
        !ReadCountedText(stream, captionLength, header->caption, kCaptionSize) ||
        !ReadU32Window(stream, &header->stateSize)) {
        return -1;
    }
    return 0;
}

void WriteSaveDate(CWriteStream* stream, const SSystemTime& time) {
    const uint16_t fields[7] = {time.year, time.month, time.day, time.hour, time.minute, time.second, time.milliseconds};
    uint8_t bytes[kSaveDateBytes];
    for (int i = 0; i < 7; ++i) {
        bytes[2 * i] = static_cast<uint8_t>(fields[i]);
        bytes[2 * i + 1] = static_cast<uint8_t>(fields[i] >> 8);
    }
    stream->Write(bytes, sizeof bytes);
}

void WriteU32(CWriteStream* stream, uint32_t value) {
    uint8_t bytes[4];
    WriteU32LE(bytes, value);
    stream->Write(bytes, 4);
}

void WriteCountedText(CWriteStream* stream, const char* text) {
    const uint32_t length = static_cast<uint32_t>(std::strlen(text)) + 1;
    WriteU32(stream, length);
    stream->Write(text, length);
}
