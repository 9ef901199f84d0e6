// Movie tables: small text files that name a movie file, how often it plays, which table
// follows its last play, and up to four click areas, each of which may record a result or chain
// to another table. The story movies and the movie gallery read the same format with keyword
// sets of their own; keywords match in any letter case.
#pragma once

#include <cstdint>

#include "files/pack_archive.h"
#include "files/table_lines.h"
#include "platform/tokenizer.h"
#include "platform/types.h"

constexpr int32_t kMovieClickItemMax = 4;
constexpr size_t kMovieTableLineMax = 1023;
constexpr int32_t kMovieResultCount = 5;
constexpr int32_t kNoResultFlag = 255;
constexpr int32_t kNoMovieFlag = -1;
constexpr int32_t kMovieFlagLimit = 127;  // UPMovieFlag takes 0 to 126

// Cursor types of the story movies.
enum : int32_t {
    kClickCursor = 0,
    kHandCursor = 1,
};

enum class EMovieTableKeywords {
    Story,    // UPMovieFlag, CursorType and the items' UPFlag
    Gallery,  // FlagNo and ElseTable, kept without effect
};

struct CMovieClickItem {
    int32_t left = 0;  // client coordinates, corners in any order
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    char table[kQuotedTokenSize] = {};   // empty: a click ends the movie
    int32_t resultFlag = kNoResultFlag;  // story: the result byte (0-4) a click sets
    int32_t flagNumber = -1;             // gallery
    int32_t elseSwitch = 0;              // gallery
    char elseTable[kQuotedTokenSize] = {};
};

struct SMovieTable {
    char movie[kQuotedTokenSize] = {};
    char loopEndTable[kQuotedTokenSize] = {};  // empty: none
    int32_t loopCount = 0;                     // plays before the loop end; 0 without end
    int32_t movieFlag = kNoMovieFlag;          // story: set at the end or on a click
    int32_t cursorType = kClickCursor;         // story
    int32_t flagNumber = -1;                   // gallery
    int32_t elseSwitch = 0;                    // gallery
    char elseTable[kQuotedTokenSize] = {};
    CMovieClickItem items[kMovieClickItemMax];
    int32_t itemCount = 0;

    // What reading a table starts from: no movie and no items; the story's movie flag and cursor
    // type, the gallery's flag number and else table back to none. A table names its own movie:
    // one that names none fails to open rather than playing the movie of the table before it.
    void ClearForReading();
};

// Reads a table line by line into `table` until "End" outside a click item: only what the lines
// name changes. At most four click items are kept; a later ClickItem block is read through its
// End and dropped.
class CMovieTableReader {
public:
    CMovieTableReader(EMovieTableKeywords keywords, SMovieTable* table) : keywords_(keywords), table_(table) {}
    // One line; false once the table has ended.
    bool Line(const char* line);

private:
    EMovieTableKeywords keywords_;
    SMovieTable* table_;
    bool itemOpen_ = false;
    CMovieClickItem item_;
};

// The table from text in memory (lines of at most 1023 bytes; a longer one is skipped).
void ParseMovieTable(const char* text, size_t size, EMovieTableKeywords keywords, SMovieTable* table);
// The table as a loose file, else as the archive's entry (the archive may be null). 0, or -1
// when neither opens.
int32_t ReadMovieTable(const char* name, const CPackArchive* archive, EMovieTableKeywords keywords,
                       SMovieTable* table);
// The last click item whose area holds the point (edges included); -1 for none.
int32_t FindClickItem(const SMovieTable& table, SPoint point);
