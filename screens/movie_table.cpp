#include "screens/movie_table.h"

#include <strings.h>

#include <cstring>
#include <string>

#include "files/file_stream.h"
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

void SMovieTable::ClearItems() {
    movieFlag = kNoMovieFlag;
    cursorType = kClickCursor;
    flagNumber = -1;
    elseSwitch = 0;
    elseTable[0] = '\0';
    for (CMovieClickItem& item : items) item = CMovieClickItem{};
    itemCount = 0;
}

void ParseMovieTable(CTextLineReader& lines, EMovieTableKeywords keywords, SMovieTable* table) {
    std::string line;
    bool itemOpen = false;
    CMovieClickItem item;
    while (lines.Next(&line)) {
        CTokenizer words;
        words.Init(line.c_str(), kDelimiters);
        char keyword[kKeywordSize];
        words.Next(keyword, kKeywordSize);
        if (keyword[0] == '\0') continue;
        if (!itemOpen) {
            if (ParseTopLine(keyword, words, keywords, table, &itemOpen)) return;
            item = CMovieClickItem{};
        } else if (ParseItemLine(keyword, words, keywords, &item)) {
            itemOpen = false;
            if (table->itemCount < kMovieClickItemMax) table->items[table->itemCount++] = item;
        }
    }
}

int32_t ReadMovieTable(const char* name, const CPackArchive* archive, EMovieTableKeywords keywords,
                       SMovieTable* table) {
    CFileStream source;
    if (source.OpenLoose(name) != 0 && (archive == nullptr || source.OpenEntry(archive, name) != 0)) return -1;
    CTextLineReader lines(&source, kMovieTableLineBytes);
    ParseMovieTable(lines, keywords, table);
    CFileStream::Close(&source);
    return 0;
}

int32_t FindClickItem(const SMovieTable& table, SPoint point) {
    int32_t found = -1;
    for (int32_t i = 0; i < table.itemCount && i < kMovieClickItemMax; ++i) {
        const CMovieClickItem& item = table.items[i];
        if (IsPointInRect(SRect{item.left, item.top, item.right, item.bottom}, point)) found = i;
    }
    return found;
}
