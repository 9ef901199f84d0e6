// GameData.sys bodies on arbitrary bytes: the read history's restore must end cleanly on any
// input, whatever length the file's head claims.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "engine/read_history.h"
#include "files/chunk_save.h"
#include "tools/lib/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    uint32_t claimed = ReadU32LE(data);  // the length field in front of the body
    CReadStream stream;
    if (!OpenMemoryStream(&stream, data, size, 65536)) return 0;
    stream.Fill(4);
    uint8_t head[4];
    stream.Read(head, 4);
    CReadHistory history;
    uint32_t consumed = 0;
    history.Restore(&stream, claimed, &consumed);
    for (const CReadRecord& record : history.records) {
        if (std::memchr(record.name, 0, sizeof(record.name)) == nullptr) __builtin_trap();
    }
    // Whatever was read must write back.
    uint32_t bytes = 0;
    history.Save(nullptr, &bytes);
    ClearSaveMask();
    return 0;
}
