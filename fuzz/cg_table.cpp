// The picture table on any text: the first byte picks how the text arrives in pieces and which
// picture flags are unlocked; the rest is the table. Each entry must stay within its limits.
#include <cstdint>
#include <cstring>

#include "files/table_lines.h"
#include "screens/cg_mode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    uint8_t unlocked[1024];
    for (size_t i = 0; i < sizeof unlocked; ++i) unlocked[i] = (i * 7 + data[0]) % 3 == 0 ? 1 : 0;
    static CCgTable table;
    table.Clear();
    CTableLineSplitter splitter([&](const char* line) { return table.AddLine(line, unlocked); });
    const size_t piece = 1 + data[0] % 97;
    const char* text = reinterpret_cast<const char*>(data) + 1;
    for (size_t at = 0; at < size - 1; at += piece) {
        if (!splitter.Feed(text + at, size - 1 - at < piece ? size - 1 - at : piece)) break;
    }
    splitter.Finish();
    if (table.entryCount < 0 || table.entryCount > kCgEntryCount) __builtin_trap();
    for (const CCgEntry& entry : table.entries) {
        if (entry.count < 0 || entry.count > kCgPicturesPerEntry) __builtin_trap();
        for (int32_t i = 0; i < entry.count; ++i)
            if (std::strlen(entry.names[i]) == 0 || std::strlen(entry.names[i]) >= kCgPathSize) __builtin_trap();
    }
    return 0;
}
