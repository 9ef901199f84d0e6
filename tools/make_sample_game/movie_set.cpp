#include "tools/make_sample_game/movie_set.h"

#include <cstdio>

namespace {

// A gallery table: the entry's own tables live in System/Extra.
struct STable {
    std::string name;  // file name below System/Extra
    std::string movie;
    int loops;               // LoopNum; 0 without end
    std::string loopEnd;     // file name of the loop-end table, or empty
    std::string extra;       // further lines (click items, kept keywords)
};

std::string Path(const std::string& name) { return "System/Extra/" + name; }

std::string ClickItem(int x1, int y1, int x2, int y2, const std::string& table) {
    char rect[64];
    std::snprintf(rect, sizeof rect, "ClickRect %d %d %d %d\n", x1, y1, x2, y2);
    std::string text = std::string("ClickItem\n") + rect;
    if (!table.empty()) text += "Table \"" + Path(table) + "\"\n";
    return text + "End\n";
}

// The two levers of the lever still end the movie; its notebook shows the notebook's movie.
std::string Levers(const std::string& notebookTable) {
    return ClickItem(90, 180, 330, 470, "") + ClickItem(470, 180, 710, 470, "") +
           (notebookTable.empty() ? "" : ClickItem(350, 490, 450, 560, notebookTable));
}

std::string WholeScreen(const std::string& table) { return ClickItem(0, 0, 799, 599, table); }

std::string Text(const STable& t) {
    std::string text = "Movie \"Movie/" + t.movie + "\"\nLoopNum " + std::to_string(t.loops) + "\n";
    if (!t.loopEnd.empty()) text += "LoopEndTable \"" + Path(t.loopEnd) + "\"\n";
    return text + t.extra + "End\n";
}

struct SEntry {
    SGalleryMovie shown;
    STable table;
};

std::vector<SEntry> Entries() {
    return {
        {{0, "プロローグ", "Prologue.mpg"}, {"Movie00.txt", "Prologue.mpg", 1, "", ""}},
        {{1, "二つのレバー", "Story01.mpg"},
         {"Movie01.txt", "Story01.mpg", 0, "", "FlagNo 1\n" + Levers("Movie04.txt")}},
        {{2, "エンディング", "Ending.mpg"}, {"Movie02.txt", "Ending.mpg", 1, "", ""}},
        {{3, "夕暮れの坂道", "Dusk.mpg"}, {"Movie03.txt", "Dusk.mpg", 1, "", ""}},
        {{4, "祖父の手帳", "Note.mpg"},
         {"Movie04.txt", "Note.mpg", 1, "Movie01.txt", "ElseTable \"" + Path("Movie00.txt") + "\"\n" + WholeScreen("Movie01.txt")}},
        {{0, "港の夕凪", "Harbour.mpg"}, {"Movie05.txt", "Harbour.mpg", 2, "", ""}},
        {{0, "夜の灯台", "Lighthouse.mpg"}, {"Movie06.txt", "Lighthouse.mpg", 1, "Movie07.txt", ""}},
        {{0, "灯室", "LampRoom.mpg"}, {"Movie07.txt", "LampRoom.mpg", 1, "", ""}},
        {{0, "夜明けの浜辺", "Dawn.mpg"}, {"Movie08.txt", "Dawn.mpg", 1, "", ""}},
        {{0, "ダイジェスト", "Harbour.mpg"}, {"Movie09.txt", "Harbour.mpg", 1, "Digest2.txt", ""}},
        {{0, "港の夕凪（クリックで次へ）", "Harbour.mpg"}, {"Movie10.txt", "Harbour.mpg", 0, "", WholeScreen("Movie11.txt")}},
        {{0, "夜の灯台（クリックで次へ）", "Lighthouse.mpg"},
         {"Movie11.txt", "Lighthouse.mpg", 0, "", WholeScreen("Movie12.txt")}},
        {{0, "灯室（クリックで次へ）", "LampRoom.mpg"}, {"Movie12.txt", "LampRoom.mpg", 0, "", WholeScreen("Movie13.txt")}},
        {{0, "夜明けの浜辺（クリックで終わり）", "Dawn.mpg"}, {"Movie13.txt", "Dawn.mpg", 0, "", WholeScreen("")}},
        {{1, "二つのレバー（手帳つき）", "Story01.mpg"}, {"Movie14.txt", "Story01.mpg", 2, "Movie04.txt", Levers("")}},
        {{0, "プロローグ（クリックまで）", "Prologue.mpg"}, {"Movie15.txt", "Prologue.mpg", 0, "", WholeScreen("")}},
        {{2, "エンディング（三回）", "Ending.mpg"}, {"Movie16.txt", "Ending.mpg", 3, "", ""}},
        {{3, "夕暮れの坂道（右下で終わり）", "Dusk.mpg"},
         {"Movie17.txt", "Dusk.mpg", 0, "", ClickItem(799, 599, 600, 500, "")}},
        {{0, "港から灯台へ", "Harbour.mpg"}, {"Movie18.txt", "Harbour.mpg", 1, "Movie06.txt", ""}},
        {{0, "灯室から夜明けへ", "LampRoom.mpg"}, {"Movie19.txt", "LampRoom.mpg", 1, "Movie08.txt", ""}},
        {{0, "全編", "Prologue.mpg"}, {"Movie20.txt", "Prologue.mpg", 1, "Full2.txt", ""}},
        {{99, "？？？", "Ending.mpg"}, {"Movie21.txt", "Ending.mpg", 1, "", ""}},
    };
}

// Tables that only chains reach.
std::vector<STable> ChainedTables() {
    return {
        {"Digest2.txt", "Dusk.mpg", 1, "Digest3.txt", ""},
        {"Digest3.txt", "Lighthouse.mpg", 1, "Digest4.txt", ""},
        {"Digest4.txt", "LampRoom.mpg", 1, "Digest5.txt", ""},
        {"Digest5.txt", "Dawn.mpg", 1, "", ""},
        {"Full2.txt", "Dusk.mpg", 1, "Full3.txt", ""},
        {"Full3.txt", "Story01.mpg", 1, "Full4.txt", ""},
        {"Full4.txt", "Ending.mpg", 1, "", ""},
    };
}

}  // namespace

std::vector<SGalleryMovie> GalleryMovies() {
    std::vector<SGalleryMovie> movies;
    for (const SEntry& entry : Entries()) movies.push_back(entry.shown);
    return movies;
}

std::vector<std::pair<std::string, std::string>> GalleryTableFiles() {
    std::vector<std::pair<std::string, std::string>> files;
    std::string list;
    for (const SEntry& entry : Entries()) {
        list += std::to_string(entry.shown.flag) + "\t\"" + Path(entry.table.name) + "\"\n";
        files.emplace_back(Path(entry.table.name), Text(entry.table));
    }
    files.emplace_back(Path("MovieTable.txt"), list + "-1\n");
    for (const STable& table : ChainedTables()) files.emplace_back(Path(table.name), Text(table));
    return files;
}
