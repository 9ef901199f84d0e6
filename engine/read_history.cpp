#include "engine/read_history.h"

#include <strings.h>

#include <cstring>
#include <new>

#include "engine/input_keys.h"
#include "files/chunk_reader.h"
#include "files/chunk_save.h"
#include "files/scrambled_io.h"
#include "platform/clock.h"
#include "platform/input_state.h"
#include "platform/render_context.h"

namespace {

constexpr uint32_t kTagCkey = MakeTag("CKEY");
constexpr uint32_t kTagRdat = MakeTag("RDAT");
constexpr uint32_t kTagFnam = MakeTag("FNAM");
constexpr uint32_t kTagRpn = MakeTag("RPN ");

}  // namespace

const CReadRecord* CReadHistory::Find(const char* name) const {
    for (const CReadRecord& record : records) {
        if (strcasecmp(record.name, name) == 0) return &record;
    }
    return nullptr;
}

void CReadHistory::Lookup(const char* name) {
    maxPage = 0;
    if (const CReadRecord* record = Find(name)) maxPage = record->maxPage;
}

int32_t CReadHistory::Record(const char* name, int32_t page) {
    maxPage = 0;
    if (const CReadRecord* found = Find(name)) {
        CReadRecord* record = const_cast<CReadRecord*>(found);
        if (page > record->maxPage) record->maxPage = page;
        return 0;
    }
    CReadRecord record = {};
    std::strncpy(record.name, name, sizeof(record.name) - 1);
    record.maxPage = page;
    try {
        records.push_back(record);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return 0;
}

int32_t CReadHistory::CanSkip(CInputState* input, uint32_t pageNumber) {
    if (skipOn != 1) return 0;
    if (input != nullptr && (input->leftUp || input->rightDown || input->IsKeyDown(DIK_RETURN) ||
                             input->IsKeyDown(DIK_NUMPADENTER))) {
        skipOn = 0;
        input->keyGuardTime = g_ClockNow;
        return 0;
    }
    if (skipUnread) return 1;
    if (static_cast<int32_t>(pageNumber) < maxPage) return 1;
    skipOn = 0;
    return 0;
}

int32_t CReadHistory::SaveRecord(CWriteStream* stream, const CReadRecord& record) const {
    const uint32_t nameSize = static_cast<uint32_t>(std::strlen(record.name)) + 1;
    CSaveChunkWriter writer(stream);
    writer.Header(kTagRdat, nameSize + 20);
    writer.ChunkString(kTagFnam, record.name);
    writer.ChunkU32(kTagRpn, static_cast<uint32_t>(record.maxPage));
    return 0;
}

int32_t CReadHistory::Save(CWriteStream* stream, uint32_t* size) const {
    uint32_t total = 40;
    for (const CReadRecord& record : records) total += static_cast<uint32_t>(std::strlen(record.name)) + 29;
    *size = total;
    if (stream == nullptr) return 0;
    WriteSaveKeyChunk(stream, GetTimeMs());
    for (const CReadRecord& record : records) SaveRecord(stream, record);
    return 0;
}

int32_t CReadHistory::RestoreRecord(CReadStream* stream, uint32_t size) {
    CReadRecord record = {};
    CChunkReader reader(stream, size, ReadSaveScrambled);
    CChunkHeader header;
    while (reader.NextChunk(&header)) {
        CChunkReader body = reader.Body();
        uint32_t page = 0;
        if (header.tag == kTagFnam) {
            body.ReadString(record.name, sizeof(record.name));
        } else if (header.tag == kTagRpn && body.ReadU32(&page)) {
            record.maxPage = static_cast<int32_t>(page);
        }
    }
    if (!reader.Intact()) return -1;
    try {
        records.push_back(record);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return 0;
}

int32_t CReadHistory::Restore(CReadStream* stream, uint32_t size, uint32_t* consumed) {
    Clear();
    ClearSaveMask();
    uint32_t done = 0;
    int32_t result = 0;
    CChunkHeader header;
    while (done < size) {
        if (!BeginChunk(stream, ReadSaveScrambled, size, &done, &header)) {
            result = -1;
            break;
        }
        if (header.tag == kTagCkey && header.size >= kScrambleKeySize) {
            if (!ReadSaveKeyChunk(stream, header.size)) {
                result = -1;
                break;
            }
        } else if (header.tag == kTagRdat) {
            if (RestoreRecord(stream, header.size) != 0) {
                result = -1;
                break;
            }
        }
        if (!EndChunk(stream)) {
            result = -1;
            break;
        }
        done += header.size;
    }
    *consumed = done;
    return result;
}

void CReadHistory::Clear() {
    records.clear();
    records.shrink_to_fit();
}
