// The engine's part of a save file: a chunk stream holding the current values of every
// component, masked from the second chunk on.
#include <cstring>

#include "engine/chunk_reader.h"
#include "engine/engine_tags.h"
#include "engine/save_chunks.h"
#include "engine/vant_engine.h"
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
        WriteSaveChunkHeader(stream, tag, size);
        uint32_t written = 0;
        save(stream, &written);
    }
    *total += 8 + size;
}

void EmitIndex(CWriteStream* stream, uint32_t* total, uint32_t tag, uint32_t index) {
    if (stream != nullptr) WriteSaveChunkU32(stream, tag, index);
    *total += 12;
}

bool InRange(int32_t value, int32_t count) { return value >= 0 && value < count; }

}  // namespace

int32_t CVantEngine::SaveClock(CWriteStream* stream, uint32_t* size) const {
    *size = 24;
    if (stream == nullptr) return 0;
    WriteSaveChunkU32(stream, EngineTag::kPlayClock, g_GameClock);
    WriteSaveChunkU32(stream, EngineTag::kPageClock, g_PageStartClock);
    return 0;
}

int32_t CVantEngine::SaveScriptPos(CWriteStream* stream, uint32_t* size) const {
    *size = SaveChunkStringSize(scriptName) + 12;
    if (stream == nullptr) return 0;
    WriteSaveChunkString(stream, EngineTag::kFileName, scriptName);
    WriteSaveChunkU32(stream, EngineTag::kPageNumber, pageNumber);
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
        *n = kGameFlagCount;
        if (s != nullptr) WriteMasked(s, flags.game, kGameFlagCount);
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
    uint32_t total = 40;  // the CKEY chunk
    if (stream != nullptr) WriteSaveKeyChunk(stream, g_ClockNow);
    SaveChunks(stream, &total);
    *size = total;
    return 0;
}

int32_t CVantEngine::RestoreClock(CReadStream* stream, uint32_t size) {
    uint32_t done = 0;
    CChunkHeader header;
    while (ReadSubChunkHeader(stream, ReadMasked, size, &done, &header)) {
        uint32_t used = 0;
        uint32_t value = 0;
        if ((header.tag == EngineTag::kPlayClock || header.tag == EngineTag::kPageClock) && header.size >= 4 &&
            ReadU32(stream, ReadMasked, &value)) {
            used = 4;
            (header.tag == EngineTag::kPlayClock ? g_GameClock : g_PageStartClock) = value;
        }
        used += SkipBytes(stream, header.size - used);
        done += used;
        if (used < header.size) return -1;
    }
    return done == size ? 0 : -1;
}

int32_t CVantEngine::WalkToSavedPage(uint32_t savedPage) {
    script.Seek(8, 0);
    while (pageNumber < savedPage) {
        script.Fill(8);
        uint8_t bytes[8];
        if (script.Read(bytes, 8) != 8) return 0;
        const uint32_t tag = ReadU32LE(bytes);
        if (tag == EngineTag::kEnd) return 0;
        if (tag == EngineTag::kPage) ++pageNumber;
        script.Seek(ReadU32LE(bytes + 4), 1);
    }
    return 0;
}

int32_t CVantEngine::RestoreScriptPos(CReadStream* stream, uint32_t size) {
    char name[kScriptNameSize] = {};
    uint32_t savedPage = 0;
    uint32_t done = 0;
    CChunkHeader header;
    while (ReadSubChunkHeader(stream, ReadMasked, size, &done, &header)) {
        uint32_t used = 0;
        if (header.tag == EngineTag::kFileName) {
            used = ReadStringPayload(stream, ReadMasked, header.size, name, kScriptNameSize);
        } else if (header.tag == EngineTag::kPageNumber && header.size >= 4 && ReadU32(stream, ReadMasked, &savedPage)) {
            used = 4;
        }
        used += SkipBytes(stream, header.size - used);
        done += used;
        if (used < header.size) return -1;
    }
    if (done != size) return -1;
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
        if (!BeginChunk(stream, ReadMasked, size, &done, &header)) return -1;
        done += header.size;
        const uint32_t n = header.size;
        uint32_t consumed = 0;
        int32_t result = 0;
        switch (header.tag) {
            case EngineTag::kKey: {
                uint8_t key[32];
                if (n < 32 || !ReadExact(stream, ReadMasked, key, 32)) return -1;
                InstallSaveMask(key);
                break;
            }
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
                uint32_t index = 0xFFFFFFFFu;
                if (n >= 4 && !ReadU32(stream, ReadMasked, &index)) return -1;
                const int32_t value = static_cast<int32_t>(index);
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
                if (!ReadExact(stream, ReadMasked, flags.game, count)) return -1;
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
    g_ClockNow = g_ClockPrevTime = GetTimeMs();
    messageWindow.revealStart = messageWindow.niwf ? g_GameClock : kTimeNotSet;
    for (CSoundChannel& channel : musicChannels) channel.startTime = g_GameClock;
    for (CSoundChannel& channel : voiceChannels) channel.startTime = g_GameClock;
    autoAdvance.Stamp(g_PageStartClock);
    inputLock.Stamp(g_PageStartClock);
}

int32_t CVantEngine::Restore(CReadStream* stream, uint32_t size) {
    autoAdvance.active = 0;
    choiceWindow.active = 0;
    inputLock.active = 0;
    messageLog.RemoveAll();
    ClearSaveMask();
    const int32_t result = RestoreComponents(stream, size);
    FinishRestore();
    return result;
}
