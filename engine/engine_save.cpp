// The engine's part of a save file: a chunk stream holding the current values of every
// component, masked from the second chunk on.
#include <cstring>

#include "engine/engine_tags.h"
#include "engine/vant_engine.h"
#include "files/chunk_reader.h"
#include "files/chunk_save.h"
#include "files/scrambled_io.h"
#include "platform/clock.h"
#include "platform/render_context.h"

namespace {

// Writes (or, with no stream, counts) one chunk whose payload a component's Save produces.
// `save` has the shape (stream or null, out size).
template <typename SaveFn>
void EmitChunk(CWriteStream* stream, uint32_t* total, uint32_t tag, SaveFn save) {
    uint32_t size = 0;
    save(nullptr, &size);
    if (stream != nullptr) {
        CSaveChunkWriter(stream).Header(tag, size);
        uint32_t written = 0;
        save(stream, &written);
    }
    *total += 8 + size;
}

void EmitIndex(CWriteStream* stream, uint32_t* total, uint32_t tag, uint32_t index) {
    CSaveChunkWriter writer(stream);
    writer.ChunkU32(tag, index);
    *total += writer.Total();
}

bool InRange(int32_t value, int32_t count) { return value >= 0 && value < count; }

// Reads n bytes of the current chunk's window through the save scrambling; false when the
// data ends first.
bool ReadExactly(CReadStream* stream, void* destination, uint32_t n) {
    return n == 0 || ReadSaveScrambled(stream, destination, n) == static_cast<int32_t>(n);
}

// The masked 4-byte reader: a little-endian u32 through the save scrambling; false when the
// data ends first.
bool ReadSaveScrambledValue(CReadStream* stream, uint32_t* value) {
    uint8_t bytes[4];
    if (!ReadExactly(stream, bytes, sizeof bytes)) return false;
    *value = ReadU32LE(bytes);
    return true;
}

}  // namespace

int32_t CVantEngine::SaveClock(CWriteStream* stream, uint32_t* size) const {
    CSaveChunkWriter writer(stream);
    writer.ChunkU32(EngineTag::kPlayClock, g_GameClock);
    writer.ChunkU32(EngineTag::kPageClock, g_PageStartClock);
    *size = writer.Total();
    return 0;
}

int32_t CVantEngine::SaveScriptPos(CWriteStream* stream, uint32_t* size) const {
    CSaveChunkWriter writer(stream);
    writer.ChunkString(EngineTag::kFileName, scriptName);
    writer.ChunkU32(EngineTag::kPageNumber, pageNumber);
    *size = writer.Total();
    return 0;
}

int32_t CVantEngine::SaveChunks(CWriteStream* stream, uint32_t* total) {
    EmitChunk(stream, total, EngineTag::kTime, [&](CWriteStream* s, uint32_t* n) { return SaveClock(s, n); });
    EmitChunk(stream, total, EngineTag::kScript, [&](CWriteStream* s, uint32_t* n) { return SaveScriptPos(s, n); });
    EmitChunk(stream, total, EngineTag::kText, [&](CWriteStream* s, uint32_t* n) { return messageWindow.Save(s, n); });
    for (int32_t i = 0; i < kLayerCount; ++i) {
        EmitIndex(stream, total, EngineTag::kLayerNumber, static_cast<uint32_t>(i));
        EmitChunk(stream, total, EngineTag::kLayer, [&](CWriteStream* s, uint32_t* n) { return layers[i].Save(s, n); });
    }
    EmitChunk(stream, total, EngineTag::kMainLayer, [&](CWriteStream* s, uint32_t* n) { return mainLayer.Save(s, n); });
    EmitChunk(stream, total, EngineTag::kCamera, [&](CWriteStream* s, uint32_t* n) { return camera.Save(s, n); });
    EmitChunk(stream, total, EngineTag::kLights, [&](CWriteStream* s, uint32_t* n) { return lights.Save(s, n); });
    auto emitChannels = [&](CSoundChannel* channels, int32_t count, uint32_t numberTag, uint32_t chunkTag) {
        for (int32_t i = 0; i < count; ++i) {
            EmitIndex(stream, total, numberTag, static_cast<uint32_t>(i));
            EmitChunk(stream, total, chunkTag,
                      [&](CWriteStream* s, uint32_t* n) { return channels[i].Save(s, n); });
        }
    };
    emitChannels(musicChannels, kMusicChannelCount, EngineTag::kMusicNumber, EngineTag::kMusic);
    emitChannels(voiceChannels, kVoiceChannelCount, EngineTag::kVoiceNumber, EngineTag::kVoice);
    emitChannels(seChannels, kSeChannelCount, EngineTag::kEffectNumber, EngineTag::kEffect);
    if (choiceWindow.active) {
        EmitChunk(stream, total, EngineTag::kChoices, [&](CWriteStream* s, uint32_t* n) { return choiceWindow.Save(s, n); });
    }
    EmitChunk(stream, total, EngineTag::kGameFlags, [&](CWriteStream* s, uint32_t* n) {
        CSaveChunkWriter writer(s);
        writer.Bytes(flags.game, kGameFlagCount);
        *n = writer.Total();
        return 0;
    });
    if (autoAdvance.active) {
        EmitChunk(stream, total, EngineTag::kAutoAdvance, [&](CWriteStream* s, uint32_t* n) { return autoAdvance.Save(s, n); });
    }
    if (inputLock.active) {
        EmitChunk(stream, total, EngineTag::kInputLock, [&](CWriteStream* s, uint32_t* n) { return inputLock.Save(s, n); });
    }
    return 0;
}

int32_t CVantEngine::Save(CWriteStream* stream, uint32_t* size) {
    CompleteCurrentPage();
    uint32_t total = kSaveKeyChunkBytes;
    if (stream != nullptr) WriteSaveKeyChunk(stream, g_ClockNow);
    SaveChunks(stream, &total);
    *size = total;
    return 0;
}

int32_t CVantEngine::RestoreClock(CReadStream* stream, uint32_t size) {
    CChunkReader reader(stream, size, ReadSaveScrambled);
    CChunkHeader header;
    while (reader.NextChunk(&header)) {
        CChunkReader body = reader.Body();
        uint32_t value = 0;
        if ((header.tag == EngineTag::kPlayClock || header.tag == EngineTag::kPageClock) && body.ReadU32(&value)) {
            (header.tag == EngineTag::kPlayClock ? g_GameClock : g_PageStartClock) = value;
        }
    }
    return reader.Intact() ? 0 : -1;
}

int32_t CVantEngine::WalkToSavedPage(uint32_t savedPage) {
    script.Seek(8, 0);
    CChunkHeader header;
    while (pageNumber < savedPage) {
        if (!ReadChunkHeader(&script, &header) || header.tag == EngineTag::kEnd) return 0;
        if (header.tag == EngineTag::kPage) ++pageNumber;
        script.Seek(header.size, 1);
    }
    return 0;
}

int32_t CVantEngine::RestoreScriptPos(CReadStream* stream, uint32_t size) {
    char name[kScriptNameSize] = {};
    uint32_t savedPage = 0;
    CChunkReader reader(stream, size, ReadSaveScrambled);
    CChunkHeader header;
    while (reader.NextChunk(&header)) {
        CChunkReader body = reader.Body();
        if (header.tag == EngineTag::kFileName) {
            body.ReadString(name, kScriptNameSize);
        } else if (header.tag == EngineTag::kPageNumber) {
            body.ReadU32(&savedPage);
        }
    }
    if (!reader.Intact()) return -1;
    if (OpenScript(name) == 0) WalkToSavedPage(savedPage);
    return 0;
}

int32_t CVantEngine::RestoreComponents(CReadStream* stream, uint32_t size) {
    int32_t layerIndex = -1;
    int32_t musicIndex = -1;
    int32_t voiceIndex = -1;
    int32_t seIndex = -1;
    uint32_t done = 0;
    CChunkHeader header;
    while (done < size) {
        if (!BeginChunk(stream, ReadSaveScrambled, size, &done, &header)) return -1;
        done += header.size;
        const uint32_t n = header.size;
        uint32_t consumed = 0;
        int32_t result = 0;
        switch (header.tag) {
            case EngineTag::kKey:
                if (!ReadSaveKeyChunk(stream, n)) return -1;
                break;
            case EngineTag::kTime:
                result = RestoreClock(stream, n);
                break;
            case EngineTag::kScript:
                result = RestoreScriptPos(stream, n);
                break;
            case EngineTag::kText:
                result = messageWindow.Restore(stream, n, &consumed);
                break;
            case EngineTag::kLayerNumber:
            case EngineTag::kMusicNumber:
            case EngineTag::kVoiceNumber:
            case EngineTag::kEffectNumber: {
                // A number chunk too short for its value selects no channel or layer.
                uint32_t number = 0;
                const bool present = n >= sizeof number;
                if (present && !ReadSaveScrambledValue(stream, &number)) return -1;
                const int32_t value = present ? static_cast<int32_t>(number) : -1;
                (header.tag == EngineTag::kLayerNumber   ? layerIndex
                 : header.tag == EngineTag::kMusicNumber ? musicIndex
                 : header.tag == EngineTag::kVoiceNumber ? voiceIndex
                                          : seIndex) = value;
                break;
            }
            case EngineTag::kLayer:
                if (InRange(layerIndex, kLayerCount)) result = layers[layerIndex].Restore(stream, n, &consumed);
                break;
            case EngineTag::kMainLayer:
                result = mainLayer.Restore(stream, n, &consumed);
                break;
            case EngineTag::kCamera:
                camera.Restore(stream, n, &consumed);
                break;
            case EngineTag::kLights:
                lights.Restore(stream, n, &consumed);
                break;
            case EngineTag::kMusic:
                if (InRange(musicIndex, kMusicChannelCount)) {
                    result = musicChannels[musicIndex].Restore(stream, &consumed, kSoundKindMusic, n);
                }
                break;
            case EngineTag::kVoice:
                if (InRange(voiceIndex, kVoiceChannelCount)) {
                    result = voiceChannels[voiceIndex].Restore(stream, &consumed, kSoundKindVoice, n);
                }
                break;
            case EngineTag::kEffect:
                if (InRange(seIndex, kSeChannelCount)) {
                    result = seChannels[seIndex].Restore(stream, &consumed, kSoundKindEffect, n);
                }
                break;
            case EngineTag::kChoices:
                result = choiceWindow.Restore(stream, n, &consumed);
                break;
            case EngineTag::kGameFlags: {
                const uint32_t count = n < static_cast<uint32_t>(kGameFlagCount) ? n : kGameFlagCount;
                if (!ReadExactly(stream, flags.game, count)) return -1;
                break;
            }
            case EngineTag::kAutoAdvance:
                autoAdvance.Restore(stream, n, &consumed);
                break;
            case EngineTag::kInputLock:
                inputLock.Restore(stream, n, &consumed);
                break;
            default:
                break;
        }
        if (!EndChunk(stream) || result != 0) return -1;
    }
    return 0;
}

void CVantEngine::FinishRestore() {
    if (!messageWindow.nblf) messageLog.AddPage(&messageWindow, voiceChannels);
    HookUpLipSync();
    g_ClockNow = g_ClockPrevTime = GetTimeMs();
    messageWindow.revealStart = messageWindow.niwf ? g_GameClock : kTimeNotSet;
    for (CSoundChannel& channel : musicChannels) channel.startTime = g_GameClock;
    for (CSoundChannel& channel : voiceChannels) channel.startTime = g_GameClock;
    for (CImageLayer& layer : layers) layer.model.StampMotionStart(g_PageStartClock);
    mainLayer.model.StampMotionStart(g_PageStartClock);
    autoAdvance.Stamp(g_PageStartClock);
    inputLock.Stamp(g_PageStartClock);
}

int32_t CVantEngine::Restore(CReadStream* stream, uint32_t size) {
    movie.Release();
    autoAdvance.active = 0;
    choiceWindow.active = 0;
    inputLock.active = 0;
    messageLog.RemoveAll();
    ClearSaveMask();
    // A restore that fails half way keeps what it restored and stops there: the half-restored
    // page is neither logged nor re-timed.
    if (RestoreComponents(stream, size) != 0) return -1;
    FinishRestore();
    return 0;
}
