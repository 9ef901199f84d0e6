// The pictures of the game's screens, each laid out on the sprite rectangles that the screens
// cut from it: backgrounds, button sheets, the text and choice windows.
#pragma once

#include <string>
#include <vector>

#include "tools/make_sample_game/canvas.h"

// What the gallery sheets show: the first picture of each picture-gallery entry (null when the
// entry has none), a still and a title per movie-gallery entry, and the music track titles.
struct SGalleryArt {
    std::vector<const CCanvas*> pictureEntries;
    std::vector<const CCanvas*> movieStills;
    std::vector<std::string> movieTitles;
    std::vector<std::string> trackTitles;
};

struct SScreenPicture {
    std::string path;
    CCanvas canvas;
};

std::vector<SScreenPicture> PaintScreenPictures(const SGalleryArt& art);

// The title background over the night scene, with the lighthouse lit or dark, with or without
// the shade behind the title's menu.
CCanvas PaintNightTitle(bool lit, bool menuPanel = true);
