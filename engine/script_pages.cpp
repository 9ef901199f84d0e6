// The script container and the page interpreter: opening a script, finding its pages, handing
// each page command to its owner and the steps before and after a page.
#include <cstring>

#include "engine/engine_tags.h"
#include "engine/vant_engine.h"
#include "files/chunk_reader.h"
#include "files/loaders.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/render_context.h"

namespace {

// A channel or layer number command: one i32 in the first four bytes.
int32_t ReadNumberCommand(CReadStream* stream, uint32_t size) {
    CChunkReader body(stream, size);
    int32_t value = 0;
    return body.ReadI32(&value) ? value : -1;
}

bool InRange(int32_t value, int32_t count) { return value >= 0 && value < count; }

}  // namespace

int32_t CVantEngine::OpenScript(const char* name) {
    CloseScript();
    CStreamCallbacks callbacks;
    void* source = nullptr;
    if (OpenDataFile(name, &callbacks, &source) != 0) return -1;
    script.SetSource(callbacks, source);
    script.Fill(8);
    uint8_t head[8];
    if (script.Read(head, 8) != 8 || ReadU32LE(head) != EngineTag::kMagic) {
        script.CloseFile();
        return -1;
    }
    std::strncpy(scriptName, name, kScriptNameSize - 1);
    scriptName[kScriptNameSize - 1] = '\0';
    pageNumber = 0;
    readHistory.Lookup(scriptName);
    return 0;
}

void CVantEngine::CloseScript() {
    if (scriptName[0] == '\0') return;
    readHistory.Record(scriptName, static_cast<int32_t>(pageNumber));
    script.CloseFile();
    scriptName[0] = '\0';
}

int32_t CVantEngine::SkipToBody() {
    CChunkHeader header;
    while (ReadChunkHeader(&script, &header)) {
        script.Seek(header.size, 1);
        if (header.tag == EngineTag::kHeader) return 0;
    }
    return 1;
}

int32_t CVantEngine::Load(const char* name) {
    // The name may be the open script's own, which closing the script empties.
    char target[kScriptNameSize];
    std::strncpy(target, name, kScriptNameSize - 1);
    target[kScriptNameSize - 1] = '\0';
    CloseScript();
    if (OpenScript(target) != 0) return -1;
    if (SkipToBody() != 0) return -1;
    return RunPage();
}

void CVantEngine::CompleteCurrentPage() {
    if (g_bPageEffectsDone == 0) FinishEffects();
    if (g_bPageTextDone == 0) messageWindow.revealStart = kRevealShowAll;
}

void CVantEngine::ResetPageState() {
    jumpTable.active = 0;
    autoAdvance.active = 0;
    g_bPageEffectsDone = 0;
    g_bPageTextDone = 0;
    g_bPageVoiceDone = 0;
    g_bHoldTextStart = 1;
    messageWindow.whf = 0;
    choiceWindow.active = 0;
    inputLock.active = 0;
}

int32_t CVantEngine::FindNextPage(uint32_t* pageSize) {
    if (scriptName[0] == '\0') return 1;
    CChunkHeader header;
    while (ReadChunkHeader(&script, &header)) {
        if (header.tag == EngineTag::kPage) {
            *pageSize = header.size;
            return 0;
        }
        if (header.tag == EngineTag::kEnd) return 1;
        script.Seek(header.size, 1);
    }
    return 1;
}

int32_t CVantEngine::DispatchCommand(const CChunkHeader& command, uint32_t* consumed) {
    CReadStream* s = &script;
    const uint32_t size = command.size;
    *consumed = size;
    switch (command.tag) {
        case EngineTag::kMusicNumber:
            pageMusic_ = ReadNumberCommand(s, size);
            return 0;
        case EngineTag::kVoiceNumber:
            pageVoice_ = ReadNumberCommand(s, size);
            return 0;
        case EngineTag::kEffectNumber:
            pageSe_ = ReadNumberCommand(s, size);
            return 0;
        case EngineTag::kLayerNumber:
            pageLayer_ = ReadNumberCommand(s, size);
            return 0;
        case EngineTag::kMusic:
            if (!InRange(pageMusic_, kMusicChannelCount)) return 0;
            return musicChannels[pageMusic_].ParseCommand(s, kSoundKindMusic, size, consumed);
        case EngineTag::kVoice:
            if (!InRange(pageVoice_, kVoiceChannelCount)) return 0;
            return voiceChannels[pageVoice_].ParseCommand(s, kSoundKindVoice, size, consumed);
        case EngineTag::kEffect:
            if (!InRange(pageSe_, kSeChannelCount)) return 0;
            return seChannels[pageSe_].ParseCommand(s, kSoundKindEffect, size, consumed);
        case EngineTag::kLayer:
            if (!InRange(pageLayer_, kLayerCount)) return 0;
            return layers[pageLayer_].ParseCommand(s, size, consumed);
        case EngineTag::kMainLayer:
            return mainLayer.ParseCommand(s, size, consumed);
        case EngineTag::kCamera:
            return camera.ParseCommand(s, size, consumed);
        case EngineTag::kLights:
            return lights.ParseCommand(s, size, consumed);
        case EngineTag::kChoices:
            return choiceWindow.ParseCommand(s, size, consumed);
        case EngineTag::kJumps:
            return jumpTable.ParseCommand(s, consumed, size);
        case EngineTag::kAutoAdvance:
            return autoAdvance.Parse(s, consumed, size);
        case EngineTag::kInputLock:
            return inputLock.Parse(s, consumed, size);
        case EngineTag::kHostText:
            return ReadStringChunk(s, consumed, size, this);
        case EngineTag::kText:
            return messageWindow.ParseCommand(s, size, consumed);
        case EngineTag::kFlagsUp:
            return ParseFlagUp(s, &flags, consumed, size);
        case EngineTag::kFlagsDown:
            return ParseFlagDown(s, &flags, consumed, size);
        case EngineTag::kCgFlagsUp:
            return ParseCgFlagUp(s, &flags, consumed, size);
        case EngineTag::kMovieFlagsUp:
            return ParseMovieFlagUp(s, &flags, consumed, size);
        case EngineTag::kMovie:
            return movie.ParseCommand(s, size, settings.bgmVolume);
        default:
            return 0;
    }
}

bool CVantEngine::RunCommand(const CChunkHeader& command) {
    script.Fill(command.size);
    uint32_t consumed = 0;
    if (DispatchCommand(command, &consumed) != 0) pageFailed_ = 1;
    // The page always moves on by the chunk's own size, whatever the handler consumed.
    return EndChunk(&script);
}

int32_t CVantEngine::RunPage() {
    CompleteCurrentPage();
    ResetPageState();

    uint32_t pageSize = 0;
    if (FindNextPage(&pageSize) != 0) return 1;

    ++pageNumber;
    pageLayer_ = pageMusic_ = pageVoice_ = pageSe_ = -1;
    pageFailed_ = 0;

    uint32_t accounted = 0;
    while (accounted < pageSize) {
        const uint32_t left = pageSize - accounted;
        CChunkHeader command;
        if (left < 8 || !ReadChunkHeader(&script, &command)) {
            if (left >= 8) return 1;  // the file ended inside the page
            script.Seek(left, 1);     // a tail too short for a command
            break;
        }
        if (command.size > left - 8) {
            // A command larger than what remains of its page ends the page.
            script.Seek(left - 8, 1);
            break;
        }
        if (!RunCommand(command)) return 1;  // the file ended inside the command
        accounted += 8 + command.size;
    }
    return AfterPage();
}

int32_t CVantEngine::AfterPage() {
    if (jumpTable.active) {
        uint8_t flagCopy[kGameFlagCount];
        std::memcpy(flagCopy, flags.game, sizeof(flagCopy));
        char target[kScriptNameSize];
        if (jumpTable.Evaluate(flagCopy, target) == 1 && target[0] != '\0') {
            // A movie opened on this page would never be watched: the story leaves the page, or
            // the chain is cut off below and nothing would ever play or skip the movie.
            movie.Release();
            // Every jump runs the first page of its target inside this call; a chain of first
            // pages that keep jumping (a script that jumps to itself) is cut off.
            if (jumpDepth_ >= kMaxJumpChain) return -1;
            ++jumpDepth_;
            const int32_t result = Load(target);
            --jumpDepth_;
            return result;
        }
    }
    if (movie.active) {
        movie.Play();  // a page that starts a movie is not logged
    } else if (!messageWindow.nblf && messageLog.AddPage(&messageWindow, voiceChannels) != 0) {
        ShowLogFailure();
    }
    if (settings.effectsOn == 0) FinishEffects();
    HookUpLipSync();
    StampClock();
    return pageFailed_ ? -1 : 0;
}

void CVantEngine::ShowLogFailure() const {
    // "ログの登録に失敗しました"
    ShowMessageBox("\x83\x8D\x83\x4F\x82\xCC\x93\x6F\x98\x5E\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD",
                   "Error!!", MessageBoxStyle::IconError | MessageBoxStyle::Topmost);
}

void CVantEngine::StampClock() {
    UpdateEngineClock();
    g_PageStartClock = g_GameClock;
    const uint32_t now = g_GameClock;
    messageWindow.revealStart = messageWindow.niwf ? now : kTimeNotSet;
    for (CImageLayer& layer : layers) layer.StampEffectStart(now);
    mainLayer.StampEffectStart(now);
    camera.startTime = now;
    lights.startTime = now;
    for (CSoundChannel& channel : musicChannels) channel.startTime = now;
    for (CSoundChannel& channel : voiceChannels) channel.startTime = now;
    for (CSoundChannel& channel : seChannels) channel.startTime = now;
    autoAdvance.Stamp(now);
    inputLock.Stamp(now);
}

int32_t ReadStringChunk(CReadStream* stream, uint32_t* consumed, uint32_t size, CVantEngine* hook) {
    CChunkReader body(stream, size);
    body.ReadString(hook->hostText, kHostTextSize);
    *consumed = body.Consumed();
    if (hook->hostCallback != nullptr) hook->hostCallback(hook->hostText, hook->hostContext);
    return 0;
}
