#include "screens/movie_table.h"

#include <strings.h>

#include <cstring>

#include "platform/text_helpers.h"

namespace {

constexpr char kDelimiters[] = " \t\r\n";
constexpr int32_t kKeywordSize = 32;

void ReadQuoted(CTokenizer& words, char* field) { words.NextQuoted(field, kQuotedTokenSize); }

// One keyword line of a ClickItem block; true for its "End".
bool ParseItemLine(const char* keyword, CTokenizer& words, EMovieTableKeywords keywords, CMovieClickItem* item) {
    const auto is = [keyword](const char* word) { return strcasecmp(keyword, word) == 0; };
    if (is("End")) return true;
    if (is("ClickRect")) {
        item->left = words.NextInt();
        item->top = words.NextInt();
        item->right = words.NextInt();
        item->bottom = words.NextInt();
    } else if (is("Table")) {
        ReadQuoted(words, item->table);
    } else if (keywords == EMovieTableKeywords::Story && is("UPFlag")) {
        item->resultFlag = words.NextInt();
    } else if (keywords == EMovieTableKeywords::Gallery && is("FlagNo")) {
        item->flagNumber = static_cast<uint8_t>(words.NextInt());
    } else if (keywords == EMovieTableKeywords::Gallery && is("ElseTable")) {
        item->elseSwitch = 1;
        ReadQuoted(words, item->elseTable);
    }
    return false;
}

// One keyword line outside a block; true for "End".
bool ParseTopLine(const char* keyword, CTokenizer& words, EMovieTableKeywords keywords, SMovieTable* table,
                  bool* itemOpen) {
    const auto is = [keyword](const char* word) { return strcasecmp(keyword, word) == 0; };
    const bool story = keywords == EMovieTableKeywords::Story;
    if (is("End")) return true;
    if (is("ClickItem")) {
        *itemOpen = true;
    } else if (is("Movie")) {
        ReadQuoted(words, table->movie);
    } else if (is("LoopEndTable")) {
        ReadQuoted(words, table->loopEndTable);
    } else if (is("LoopNum")) {
        table->loopCount = words.NextInt();
    } else if (story && is("UPMovieFlag")) {
        // Numbers outside the flag table leave the table without a movie flag.
        const int32_t flag = words.NextInt();
        if (flag >= 0 && flag < kMovieFlagLimit) table->movieFlag = flag;
    } else if (story && is("CursorType")) {
        const int32_t type = words.NextInt();
        table->cursorType = type == kHandCursor ? kHandCursor : kClickCursor;
    } else if (!story && is("FlagNo")) {
        table->flagNumber = words.NextInt();
    } else if (!story && is("ElseTable")) {
        table->elseSwitch = 1;
        ReadQuoted(words, table->elseTable);
    }
    return false;
}

}  // namespace

void SMovieTable::ClearForReading() {
    movie[0] = '\0';
    movieFlag = kNoMovieFlag;
    cursorType = kClickCursor;
    flagNumber = -1;
    elseSwitch = 0;
    elseTable[0] = '\0';
    for (CMovieClickItem& item : items) item = CMovieClickItem{};
    itemCount = 0;
}

bool CMovieTableReader::Line(const char* line) {
    CTokenizer words;
    words.Init(line, kDelimiters);
    char keyword[kKeywordSize];
    words.Next(keyword, kKeywordSize);
    if (keyword[0] == '\0') return true;
    if (!itemOpen_) {
        if (ParseTopLine(keyword, words, keywords_, table_, &itemOpen_)) return false;
        item_ = CMovieClickItem{};
    } else if (ParseItemLine(keyword, words, keywords_, &item_)) {
        itemOpen_ = false;
        if (table_->itemCount < kMovieClickItemMax) table_->items[table_->itemCount++] = item_;
    }
    return true;
}

void ParseMovieTable(const char* text, size_t size, EMovieTableKeywords keywords, SMovieTable* table) {
    CMovieTableReader reader(keywords, table);
    CTableLineSplitter lines([&reader](const char* line) { return reader.Line(line); }, kMovieTableLineMax);
    lines.Feed(text, size);
    lines.Finish();
}

int32_t ReadMovieTable(const char* name, const CPackArchive* archive, EMovieTableKeywords keywords,
                       SMovieTable* table) {
    CMovieTableReader reader(keywords, table);
    return ReadTableLines(
        name, archive, [&reader](const char* line) { return reader.Line(line); }, kMovieTableLineMax);
}

int32_t FindClickItem(const SMovieTable& table, SPoint point) {
    int32_t found = -1;
    for (int32_t i = 0; i < table.itemCount && i < kMovieClickItemMax; ++i) {
        const CMovieClickItem& item = table.items[i];
        if (IsPointInRect(SRect{item.left, item.top, item.right, item.bottom}, point)) found = i;
    }
    return found;
}
