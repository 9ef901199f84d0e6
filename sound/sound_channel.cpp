#include "sound/sound_channel.h"

#include <bit>
#include <cstring>

#include "files/chunk_reader.h"
#include "files/chunk_save.h"
#include "files/scrambled_io.h"
#include "sound/sound_loaders.h"

namespace {

constexpr uint32_t kTagLoad = MakeTag("LOAD");
constexpr uint32_t kTagRlas = MakeTag("RLAS");
constexpr uint32_t kTagStat = MakeTag("STAT");
constexpr uint32_t kTagVolm = MakeTag("VOLM");
constexpr uint32_t kTagPan = MakeTag("PAN ");
constexpr uint32_t kTagTemp = MakeTag("TEMP");
constexpr uint32_t kTagEflg = MakeTag("EFLG");
constexpr uint32_t kTagFnam = MakeTag("FNAM");

int32_t Signed(uint32_t word) { return static_cast<int32_t>(word); }

void ParseValueCommand(CChunkReader& body, CSoundValueCommand* command) {
    uint32_t words[3] = {};  // the words a short payload lacks read as zero
    ReadFields(body, &words);
    command->target = Signed(words[0]);
    command->speed = std::bit_cast<float>(words[1]);
    command->delay = words[2];
    command->pending = 1;
}

void SetImmediate(CSoundValueCommand* command, int32_t target) {
    command->pending = 1;
    command->target = target;
    command->speed = -1.0f;
    command->delay = 0;
}

bool IsDue(uint32_t delay, int32_t elapsed) { return static_cast<int64_t>(delay) <= elapsed; }

}  // namespace

int32_t CSoundChannel::LoadSound(int32_t kind, const char* fileName) {
    Release();
    if (fileName == nullptr) return -1;
    std::strncpy(name, fileName, kSoundNameSize - 1);
    name[kSoundNameSize - 1] = '\0';
    player = CreatePlayerForPath(name);
    if (player == nullptr) return -1;
    int32_t opened = -1;
    switch (kind) {
    case kSoundKindMusic: opened = OpenBgmStream(player, g_pEngineDirectSound, name); break;
    case kSoundKindVoice: opened = OpenVoiceStream(player, g_pEngineDirectSound, name); break;
    case kSoundKindEffect: opened = OpenSeStream(player, g_pEngineDirectSound, name); break;
    default: break;
    }
    if (opened != 0) return -1;  // the player stays, inactive, until the next load or release
    player->SetMasterVolume(masterVolume);
    volume = 0;
    pan = 0;
    tempo = 1000;
    state = kSoundStop;
    status.pending = 0;
    volumeCommand.pending = 0;
    panCommand.pending = 0;
    tempoCommand.pending = 0;
    active = 1;
    return 0;
}

void CSoundChannel::Release() {
    if (player != nullptr) {
        player->Close();
        delete player;
        player = nullptr;
    }
    active = 0;
    name[0] = '\0';
}

int32_t CSoundChannel::ParseCommand(CReadStream* stream, int32_t kind, uint32_t size, uint32_t* bytesRead) {
    CChunkReader reader(stream, size);
    int32_t result = 0;
    CChunkHeader header;
    while (reader.NextChunk(&header, OversizedChunk::Clip)) {
        CChunkReader body = reader.Body();
        if (header.tag == kTagLoad) {
            char fileName[kSoundNameSize];
            body.ReadString(fileName, kSoundNameSize);
            if (LoadSound(kind, fileName) != 0) result = -1;
        } else if (header.tag == kTagRlas) {
            body.SkipRest();
            Release();
        } else if (header.tag == kTagStat) {
            ParseStatus(body);
        } else if (header.tag == kTagVolm) {
            ParseValueCommand(body, &volumeCommand);
        } else if (header.tag == kTagPan) {
            ParseValueCommand(body, &panCommand);
        } else if (header.tag == kTagTemp) {
            ParseValueCommand(body, &tempoCommand);
        }
    }
    reader.SkipRest();
    if (bytesRead != nullptr) *bytesRead = reader.Consumed();
    return result;
}

void CSoundChannel::ParseStatus(CChunkReader& body) {
    uint32_t words[4] = {};
    ReadFields(body, &words);
    status.command = Signed(words[0]);
    status.delay = words[1];
    if (status.command == kSoundRestart || status.command == kSoundPlay) {
        status.playCount = Signed(words[2]);
        status.loopBack = Signed(words[3]);
    } else if (status.command == kSoundStop) {
        status.fadeSpeed = std::bit_cast<float>(words[2]);
    }
    status.pending = 1;
}

int32_t CSoundChannel::Update(int32_t hold) {
    if (!active || player == nullptr || startTime == kTimeNotSet) return 0;
    const auto elapsed = static_cast<int32_t>(g_GameClock - startTime);
    if (status.pending && IsDue(status.delay, elapsed)) {
        switch (status.command) {
        case kSoundRestart:
        case kSoundPlay:
            if (hold) break;
            if (status.command == kSoundRestart) player->Seek(0);
            player->Play(status.playCount, status.loopBack);
            playCount = status.playCount;
            loopBack = status.loopBack;
            state = kSoundPlaying;
            status.pending = 0;
            break;
        case kSoundPause:
            player->Pause();
            state = kSoundPause;
            status.pending = 0;
            break;
        case kSoundStop:
            player->Stop(status.fadeSpeed);
            state = kSoundStop;
            status.pending = 0;
            break;
        default:
            break;  // an unknown code is never applied
        }
    }
    if (volumeCommand.pending && IsDue(volumeCommand.delay, elapsed)) {
        player->SetVolume(volumeCommand.target, volumeCommand.speed);
        volume = volumeCommand.target;
        volumeCommand.pending = 0;
    }
    if (panCommand.pending && IsDue(panCommand.delay, elapsed)) {
        player->SetPan(panCommand.target, panCommand.speed);
        pan = panCommand.target;
        panCommand.pending = 0;
    }
    if (tempoCommand.pending && IsDue(tempoCommand.delay, elapsed)) {
        player->SetRate(tempoCommand.target, tempoCommand.speed);
        tempo = tempoCommand.target;
        tempoCommand.pending = 0;
    }
    return 0;
}

int32_t CSoundChannel::Save(CWriteStream* stream, uint32_t* size) const {
    const int32_t code = CurrentStatusCode();
    const bool withPlayArguments = code == kSoundRestart || code == kSoundPlay;
    CSaveChunkWriter writer(stream);
    writer.ChunkU32(kTagEflg, static_cast<uint32_t>(active));
    if (active) {
        writer.ChunkString(kTagFnam, name);
        writer.Header(kTagStat, withPlayArguments ? 12 : 4);
        writer.U32(static_cast<uint32_t>(code));
        if (withPlayArguments) {
            writer.U32(static_cast<uint32_t>(CurrentPlayCount()));
            writer.U32(static_cast<uint32_t>(CurrentLoopBack()));
        }
        writer.ChunkU32(kTagVolm, static_cast<uint32_t>(CurrentVolume()));
        writer.ChunkU32(kTagPan, static_cast<uint32_t>(CurrentPan()));
        writer.ChunkU32(kTagTemp, static_cast<uint32_t>(CurrentTempo()));
    }
    if (size != nullptr) *size = writer.Total();
    return 0;
}

int32_t CSoundChannel::Restore(CReadStream* stream, uint32_t* bytesRead, int32_t kind, uint32_t size) {
    CChunkReader reader(stream, size, ReadSaveScrambled);
    int32_t result = 0;
    CChunkHeader header;
    while (reader.NextChunk(&header, OversizedChunk::Clip)) {
        CChunkReader body = reader.Body();
        if (header.tag == kTagEflg) {
            uint32_t words[1] = {};
            ReadFields(body, &words);
            active = Signed(words[0]);
            if (active == 0) Release();
        } else if (header.tag == kTagFnam) {
            char fileName[kSoundNameSize];
            body.ReadString(fileName, kSoundNameSize);
            if (LoadSound(kind, fileName) != 0) result = -1;
        } else if (header.tag == kTagStat) {
            RestoreStatus(body, kind);
        } else if (header.tag == kTagVolm || header.tag == kTagPan || header.tag == kTagTemp) {
            uint32_t words[1] = {};
            ReadFields(body, &words);
            CSoundValueCommand* command = header.tag == kTagVolm  ? &volumeCommand
                                          : header.tag == kTagPan ? &panCommand
                                                                  : &tempoCommand;
            SetImmediate(command, Signed(words[0]));
        }
    }
    reader.SkipRest();
    if (bytesRead != nullptr) *bytesRead = reader.Consumed();
    return result;
}

void CSoundChannel::RestoreStatus(CChunkReader& body, int32_t kind) {
    uint32_t words[3] = {};
    ReadFields(body, &words);
    const int32_t code = Signed(words[0]);
    const bool playing = code == kSoundRestart || code == kSoundPlay;
    if (playing && (kind == kSoundKindMusic || kind == kSoundKindVoice)) {
        status.pending = 1;
        status.command = kSoundRestart;
        status.playCount = Signed(words[1]);
        status.loopBack = Signed(words[2]);
        status.delay = 0;
    }
}
