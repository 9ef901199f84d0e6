#include "sound/sound_channel.h"

#include <algorithm>
#include <cstring>

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

using ReadFn = int32_t (*)(CReadStream* stream, void* destination, uint32_t n);

int32_t ReadPlain(CReadStream* stream, void* destination, uint32_t n) { return stream->Read(destination, n); }

// Walks the sub-chunks of a payload of `size` bytes without reading past it: each sub-chunk's
// size is cut to what is left of the parent, and Finish consumes whatever remains, so exactly
// `size` bytes are consumed unless the stream ends first.
class CSubChunkReader {
public:
    CSubChunkReader(CReadStream* stream, ReadFn read, uint32_t size) : m_stream(stream), m_read(read), m_size(size) {}

    bool Next(CChunkHeader* header) {
        if (m_failed || m_size - m_done < 8) return false;
        uint8_t bytes[8];
        if (!ReadExactly(bytes, 8)) return false;
        header->tag = ReadU32LE(bytes);
        header->size = std::min(ReadU32LE(bytes + 4), m_size - m_done);
        return true;
    }
    // Takes up to capacity bytes of a payload of `payload` bytes and skips the rest.
    void Take(uint32_t payload, void* out, uint32_t capacity) {
        std::memset(out, 0, capacity);
        const uint32_t wanted = std::min(payload, capacity);
        if (ReadExactly(out, wanted)) Skip(payload - wanted);
    }
    void Skip(uint32_t bytes) {
        uint8_t scratch[256];
        while (bytes > 0 && !m_failed) {
            const uint32_t n = std::min<uint32_t>(bytes, sizeof scratch);
            if (!ReadExactly(scratch, n)) return;
            bytes -= n;
        }
    }
    uint32_t Finish() {
        Skip(m_size - m_done);
        return m_done;
    }

private:
    bool ReadExactly(void* out, uint32_t n) {
        if (n == 0) return true;
        const int32_t got = m_read(m_stream, out, n);
        if (got > 0) m_done += static_cast<uint32_t>(got);
        if (got != static_cast<int32_t>(n)) m_failed = true;
        return !m_failed;
    }
    CReadStream* m_stream;
    ReadFn m_read;
    uint32_t m_size;
    uint32_t m_done = 0;
    bool m_failed = false;
};

int32_t I32At(const uint8_t* p) { return static_cast<int32_t>(ReadU32LE(p)); }
float F32At(const uint8_t* p) {
    float value;
    const uint32_t bits = ReadU32LE(p);
    std::memcpy(&value, &bits, 4);
    return value;
}

// A file name of at most kSoundNameSize bytes with its terminator.
void TakeName(CSubChunkReader& reader, uint32_t payload, char* name) {
    char buffer[kSoundNameSize];
    reader.Take(payload, buffer, kSoundNameSize);
    buffer[kSoundNameSize - 1] = '\0';
    std::memcpy(name, buffer, kSoundNameSize);
}

void ParseValueCommand(CSubChunkReader& reader, uint32_t payload, CSoundValueCommand* command) {
    uint8_t fields[12];
    reader.Take(payload, fields, sizeof fields);
    command->target = I32At(fields);
    command->speed = F32At(fields + 4);
    command->delay = ReadU32LE(fields + 8);
    command->pending = 1;
}

void SetImmediate(CSoundValueCommand* command, int32_t target) {
    command->pending = 1;
    command->target = target;
    command->speed = -1.0f;
    command->delay = 0;
}

bool IsDue(uint32_t delay, int32_t elapsed) { return static_cast<int64_t>(delay) <= elapsed; }

void WriteSaveU32(CWriteStream* stream, uint32_t value) {
    uint8_t bytes[4];
    WriteU32LE(bytes, value);
    WriteSaveScrambled(stream, bytes, 4);
}

void WriteSaveHeader(CWriteStream* stream, uint32_t tag, uint32_t size) {
    WriteSaveU32(stream, tag);
    WriteSaveU32(stream, size);
}

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
    CSubChunkReader reader(stream, ReadPlain, size);
    int32_t result = 0;
    CChunkHeader header;
    while (reader.Next(&header)) {
        if (header.tag == kTagLoad) {
            char fileName[kSoundNameSize];
            TakeName(reader, header.size, fileName);
            if (LoadSound(kind, fileName) != 0) result = -1;
        } else if (header.tag == kTagRlas) {
            reader.Skip(header.size);
            Release();
        } else if (header.tag == kTagStat) {
            uint8_t fields[16];
            reader.Take(header.size, fields, sizeof fields);
            status.command = I32At(fields);
            status.delay = ReadU32LE(fields + 4);
            if (status.command == kSoundRestart || status.command == kSoundPlay) {
                status.playCount = I32At(fields + 8);
                status.loopBack = I32At(fields + 12);
            } else if (status.command == kSoundStop) {
                status.fadeSpeed = F32At(fields + 8);
            }
            status.pending = 1;
        } else if (header.tag == kTagVolm) {
            ParseValueCommand(reader, header.size, &volumeCommand);
        } else if (header.tag == kTagPan) {
            ParseValueCommand(reader, header.size, &panCommand);
        } else if (header.tag == kTagTemp) {
            ParseValueCommand(reader, header.size, &tempoCommand);
        } else {
            reader.Skip(header.size);
        }
    }
    const uint32_t consumed = reader.Finish();
    if (bytesRead != nullptr) *bytesRead = consumed;
    return result;
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
    const uint32_t nameBytes = static_cast<uint32_t>(std::strlen(name)) + 1;
    const int32_t code = CurrentStatusCode();
    const bool withPlayArguments = code == kSoundRestart || code == kSoundPlay;
    const uint32_t statusBytes = withPlayArguments ? 12 : 4;
    const uint32_t total = active ? 12 + 8 + nameBytes + 8 + statusBytes + 3 * 12 : 12;
    if (size != nullptr) *size = total;
    if (stream == nullptr) return 0;
    WriteSaveHeader(stream, kTagEflg, 4);
    WriteSaveU32(stream, static_cast<uint32_t>(active));
    if (!active) return 0;
    WriteSaveHeader(stream, kTagFnam, nameBytes);
    WriteSaveScrambled(stream, name, nameBytes);
    WriteSaveHeader(stream, kTagStat, statusBytes);
    WriteSaveU32(stream, static_cast<uint32_t>(code));
    if (withPlayArguments) {
        WriteSaveU32(stream, static_cast<uint32_t>(CurrentPlayCount()));
        WriteSaveU32(stream, static_cast<uint32_t>(CurrentLoopBack()));
    }
    WriteSaveHeader(stream, kTagVolm, 4);
    WriteSaveU32(stream, static_cast<uint32_t>(CurrentVolume()));
    WriteSaveHeader(stream, kTagPan, 4);
    WriteSaveU32(stream, static_cast<uint32_t>(CurrentPan()));
    WriteSaveHeader(stream, kTagTemp, 4);
    WriteSaveU32(stream, static_cast<uint32_t>(CurrentTempo()));
    return 0;
}

int32_t CSoundChannel::Restore(CReadStream* stream, uint32_t* bytesRead, int32_t kind, uint32_t size) {
    CSubChunkReader reader(stream, ReadSaveScrambled, size);
    int32_t result = 0;
    CChunkHeader header;
    while (reader.Next(&header)) {
        uint8_t fields[12];
        if (header.tag == kTagEflg) {
            reader.Take(header.size, fields, 4);
            active = I32At(fields);
            if (active == 0) Release();
        } else if (header.tag == kTagFnam) {
            char fileName[kSoundNameSize];
            TakeName(reader, header.size, fileName);
            if (LoadSound(kind, fileName) != 0) result = -1;
        } else if (header.tag == kTagStat) {
            reader.Take(header.size, fields, 12);
            const int32_t code = I32At(fields);
            const bool playing = code == kSoundRestart || code == kSoundPlay;
            if (playing && (kind == kSoundKindMusic || kind == kSoundKindVoice)) {
                status.pending = 1;
                status.command = kSoundRestart;
                status.playCount = I32At(fields + 4);
                status.loopBack = I32At(fields + 8);
                status.delay = 0;
            }
        } else if (header.tag == kTagVolm || header.tag == kTagPan || header.tag == kTagTemp) {
            reader.Take(header.size, fields, 4);
            CSoundValueCommand* command = header.tag == kTagVolm  ? &volumeCommand
                                          : header.tag == kTagPan ? &panCommand
                                                                  : &tempoCommand;
            SetImmediate(command, I32At(fields));
        } else {
            reader.Skip(header.size);
        }
    }
    const uint32_t consumed = reader.Finish();
    if (bytesRead != nullptr) *bytesRead = consumed;
    return result;
}
