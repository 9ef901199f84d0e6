// The movie-table reader on any text, with either keyword set (the first byte picks it): the
// table stays within its limits and the hit test stays inside the items.
#include <cstdint>
#include <cstring>

#include "screens/movie_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const EMovieTableKeywords keywords = data[0] % 2 ? EMovieTableKeywords::Gallery : EMovieTableKeywords::Story;
    SMovieTable table;
    ParseMovieTable(reinterpret_cast<const char*>(data) + 1, size - 1, keywords, &table);
    if (table.itemCount < 0 || table.itemCount > kMovieClickItemMax) __builtin_trap();
    if (table.movieFlag != kNoMovieFlag && (table.movieFlag < 0 || table.movieFlag >= kMovieFlagLimit)) __builtin_trap();
    if (table.cursorType != kClickCursor && table.cursorType != kHandCursor) __builtin_trap();
    if (strnlen(table.movie, sizeof table.movie) == sizeof table.movie) __builtin_trap();
    for (int32_t i = 0; i < table.itemCount; ++i) {
        const CMovieClickItem& item = table.items[i];
        if (strnlen(item.table, sizeof item.table) == sizeof item.table) __builtin_trap();
        if (FindClickItem(table, SPoint{item.left, item.top}) < i) __builtin_trap();
    }
    return 0;
}
