// The sample game's movie gallery: its entries (flag, title, the movie whose still stands for
// it) and the text files the gallery reads: "System/Extra/MovieTable.txt" and the gallery's movie
// tables, chained ones included. Every rule of the gallery is used by some entry: single and
// repeated plays, endless plays ended by a click, click areas that chain tables, loop-end tables
// that chain, a second page and an entry no play unlocks.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct SGalleryMovie {
    int flag;            // the movie flag that unlocks it (0 always)
    std::string title;   // UTF-8
    std::string movie;   // the movie file whose still is its thumbnail
};

std::vector<SGalleryMovie> GalleryMovies();
// (path, UTF-8 text) of the list and of every gallery table.
std::vector<std::pair<std::string, std::string>> GalleryTableFiles();
