// Save files and GameData.sys: the head with its thumbnail, the engine state behind it, the load
// with its persistent-flag rule, and the read history's file. Every file is written beside its
// target and put in its place only once all of it was written.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/system_data.h"
#include "files/atomic_file.h"
#include "platform/devices_graphics.h"
#include "platform/graphics.h"
#include "platform/paths.h"
#include "screens/adventure.h"
#include "screens/save_file.h"
#include "screens/screen_resources.h"

namespace {

constexpr uint32_t kSaveWriteBuffer = 16 * 1024;
constexpr uint32_t kLoadReadBuffer = 64 * 1024;
constexpr uint32_t kGameDataBuffer = 64 * 1024;
constexpr uint32_t kThumbnailClearColour = 0xFF000000u;

// An atomic writer with a buffered stream over its temporary file.
struct CReplacingWriter {
    CAtomicFile target;
    CWriteStream stream;
    const char* failedStep = nullptr;  // why the write stopped when no file operation failed

    ~CReplacingWriter() { stream.file = nullptr; }  // the file belongs to the atomic writer

    bool Begin(const char* path, uint32_t bufferSize) {
        const std::string text(path);
        const size_t slash = text.rfind('/');
        if (slash != std::string::npos && slash > 0) MakeDirectories(text.substr(0, slash));
        stream.file = target.Begin(path);
        if (stream.file == nullptr) return false;
        if (stream.AllocBuffer(bufferSize) != 0) {
            stream.file = nullptr;
            failedStep = "out of memory for the write buffer";
            return false;
        }
        return true;
    }
    bool Commit() {
        const bool committed = target.Commit(&stream);
        stream.file = nullptr;
        return committed;
    }
    int32_t Fail(const char* step) {
        failedStep = step;
        return -1;
    }

    // The boxes of a failed save name no file and no reason, and nothing of GameData.sys is
    // shown at all: stderr is where the player learns which file it was and why.
    void ReportFailure(const char* path, const char* fileKind) const {
        if (path == nullptr || path[0] == 0) {
            std::fprintf(stderr, "%s not written: there is no save folder\n", fileKind);
            return;
        }
        const int error = target.error != 0 ? target.error : stream.error;
        if (error == 0 && failedStep != nullptr) {
            ReportUnwrittenFile(path, failedStep);
        } else {
            ReportUnwrittenFile(path, error);
        }
    }
};

int32_t WriteSaveTo(CReplacingWriter* into, const char* path, CAdventure* adventure) {
    CReplacingWriter& writer = *into;
    CVantEngine& engine = adventure->engine;
    if (!writer.Begin(path, kSaveWriteBuffer)) return -1;
    CWriteStream* stream = &writer.stream;
    WriteSaveDate(stream, GetLocalSaveTime());
    if (adventure->thumbnailName[0] == 0) {
        WriteU32(stream, 0);
        if (adventure->WriteThumbnail(stream) != 0) return writer.Fail("the frame for its thumbnail cannot be read");
    } else {
        WriteCountedText(stream, adventure->thumbnailName);
    }
    char caption[kCaptionSize] = {};
    engine.GetSaveCaption(caption);
    caption[kCaptionSize - 1] = 0;
    WriteCountedText(stream, caption);
    uint32_t stateSize = 0;
    engine.Save(nullptr, &stateSize);
    WriteU32(stream, stateSize);
    uint32_t written = 0;
    if (engine.Save(stream, &written) != 0 || written != stateSize) return writer.Fail("the game's state cannot be saved");
    return writer.Commit() ? 0 : -1;
}

}  // namespace

// Menu saves, quick saves and auto saves all come here, so each failure is said once.
int32_t CAdventure::WriteSave(const char* path) {
    CReplacingWriter writer;
    if (WriteSaveTo(&writer, path, this) == 0) return 0;
    writer.ReportFailure(path, "save file");
    return -1;
}

int32_t CAdventure::WriteThumbnail(CWriteStream* stream) {
    CGraphicsDevice* device = g_pD3DDevice;
    device->Clear(0, nullptr, ClearFlag::Target | ClearFlag::ZBuffer, kThumbnailClearColour, 1.0f, 0);
    device->BeginScene();
    const int32_t hidden = engine.windowHiddenByUser;
    engine.windowHiddenByUser = 1;
    engine.Draw();
    engine.windowHiddenByUser = hidden;
    device->EndScene();

    // Locking exactly the 800 × 600 frame fails on a smaller back buffer instead of sampling past it.
    SLockedRect locked = {};
    if (g_pBackBuffer == nullptr || g_pBackBuffer->LockRect(&locked, &kFullScreenRect, 0) != 0) return -1;
    uint8_t row[kThumbnailRowBytes];
    for (uint32_t r = 0; r < kThumbnailHeight; ++r) {
        uint32_t* line = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.bits) +
                                                     static_cast<size_t>(r * kThumbnailStep) * locked.pitch);
        for (uint32_t c = 0; c < kThumbnailWidth; ++c) {
            uint32_t& pixel = line[c * kThumbnailStep];
            pixel |= 0xFF000000u;
            WriteU32LE(row + 4 * c, pixel);
        }
        stream->Write(row, sizeof row);
    }
    g_pBackBuffer->UnlockRect();
    return 0;
}

int32_t CAdventure::LoadSave(const char* path) {
    KeepPersistentFlags();
    CReadStream stream;
    if (stream.OpenFile(path) != 0 || stream.AllocBuffer(kLoadReadBuffer) != 0) return -1;
    CSaveFileHeader header;
    if (ReadSaveHeader(&stream, &header, nullptr) != 0) return -1;
    static_assert(sizeof thumbnailName == sizeof header.thumbnailName);
    std::memcpy(thumbnailName, header.thumbnailName, sizeof thumbnailName);
    const int32_t restored = engine.Restore(&stream, header.stateSize);
    stream.Close();
    if (restored != 0) return -1;
    TakePersistentFlags();
    return 0;
}

namespace {

int32_t WriteGameDataTo(CReplacingWriter* into, const char* path, CAdventure* adventure) {
    CReplacingWriter& writer = *into;
    CVantEngine& engine = adventure->engine;
    if (!writer.Begin(path, kGameDataBuffer)) return -1;
    const auto recordCurrentPage = [&engine]() {
        if (engine.scriptName[0] != 0) {
            engine.readHistory.Record(engine.scriptName, static_cast<int32_t>(engine.pageNumber));
        }
    };
    recordCurrentPage();
    uint32_t size = 0;
    engine.readHistory.Save(nullptr, &size);
    WriteU32(&writer.stream, size);
    recordCurrentPage();
    uint32_t written = 0;
    if (engine.readHistory.Save(&writer.stream, &written) != 0 || written != size) return -1;
    return writer.Commit() ? 0 : -1;
}

}  // namespace

int32_t CAdventure::WriteGameData(const char* path, CAdventure* adventure) {
    CReplacingWriter writer;
    if (WriteGameDataTo(&writer, path, adventure) == 0) return 0;
    writer.ReportFailure(path, kGameDataName);
    return -1;
}

int32_t CAdventure::ReadGameData(const char* path) {
    CReadStream stream;
    if (stream.OpenFile(path) != 0 || stream.AllocBuffer(kGameDataBuffer) != 0) return -1;
    uint32_t size = 0;
    if (!ReadU32Window(&stream, &size)) return -1;
    uint32_t consumed = 0;
    return engine.readHistory.Restore(&stream, size, &consumed) == 0 ? 0 : -1;
}
