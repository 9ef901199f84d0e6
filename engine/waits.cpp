#include "engine/waits.h"

#include "files/chunk_save.h"
#include "files/scrambled_io.h"
#include "platform/render_context.h"

namespace {

constexpr uint32_t kTagIwf = MakeTag("IWF ");
constexpr uint32_t kTagTwf = MakeTag("TWF ");
constexpr uint32_t kTagLtim = MakeTag("LTIM");
constexpr uint32_t kTagWtim = MakeTag("WTIM");

}  // namespace

void CTimedWait::Clear() {
    active = iwf = twf = time = 0;
    start = kTimeNotSet;
}

bool CTimedWait::ConditionsHold() const {
    if (iwf && g_bPageEffectsDone == 0) return false;
    if (twf && (g_bPageTextDone == 0 || g_bPageVoiceDone == 0)) return false;
    return true;
}

void CTimedWait::StartIfReady() {
    if (start == kTimeNotSet && ConditionsHold()) start = g_GameClock;
}

bool CTimedWait::HasRunOut() const {
    return start != kTimeNotSet && static_cast<int32_t>(g_GameClock - start) >= time;
}

void CTimedWait::Stamp(uint32_t pageStart) { start = (iwf || twf) ? kTimeNotSet : pageStart; }

uint32_t CTimedWait::SaveSize() const { return 12 + (iwf ? 8 : 0) + (twf ? 8 : 0); }

int32_t CTimedWait::ReadChunks(CReadStream* stream, ChunkReadFn read, uint32_t* consumed, uint32_t size,
                               uint32_t timeTag) {
    iwf = twf = 0;
    CChunkReader reader(stream, size, read);
    CChunkHeader header;
    while (reader.NextChunk(&header)) {
        CChunkReader body = reader.Body();
        uint32_t value = 0;
        if (header.tag == kTagIwf) {
            iwf = 1;
        } else if (header.tag == kTagTwf) {
            twf = 1;
        } else if (header.tag == timeTag && body.ReadU32(&value)) {
            time = static_cast<int32_t>(value);
        }
    }
    reader.SkipRest();
    *consumed = reader.Consumed();
    active = 1;
    return 0;
}

int32_t CTimedWait::WriteChunks(CWriteStream* stream, uint32_t* size, uint32_t timeTag) const {
    *size = SaveSize();
    if (stream == nullptr) return 0;
    CSaveChunkWriter writer(stream);
    if (iwf) writer.Header(kTagIwf, 0);
    if (twf) writer.Header(kTagTwf, 0);
    writer.ChunkU32(timeTag, static_cast<uint32_t>(time));
    return 0;
}

int32_t CClockWait::Parse(CReadStream* stream, uint32_t* consumed, uint32_t size) {
    return ReadChunks(stream, ReadPlain, consumed, size, kTagLtim);
}

void CClockWait::Start() {
    if (time > 0 || iwf || twf) StartIfReady();
}

bool CClockWait::IsLocking() const { return active && !HasRunOut(); }

int32_t CClockWait::Save(CWriteStream* stream, uint32_t* size) const { return WriteChunks(stream, size, kTagLtim); }

int32_t CClockWait::Restore(CReadStream* stream, uint32_t size, uint32_t* consumed) {
    return ReadChunks(stream, ReadSaveScrambled, consumed, size, kTagLtim);
}

int32_t CActionControl::Parse(CReadStream* stream, uint32_t* consumed, uint32_t size) {
    return ReadChunks(stream, ReadPlain, consumed, size, kTagWtim);
}

int32_t CActionControl::IsElapsed() {
    StartIfReady();
    return HasRunOut() ? 1 : 0;
}

int32_t CActionControl::Save(CWriteStream* stream, uint32_t* size) const { return WriteChunks(stream, size, kTagWtim); }

int32_t CActionControl::Restore(CReadStream* stream, uint32_t size, uint32_t* consumed) {
    return ReadChunks(stream, ReadSaveScrambled, consumed, size, kTagWtim);
}
