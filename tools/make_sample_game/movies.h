// Story movies made from still pictures and a sound track with the ffmpeg command-line tool:
// the stills cross-fade into one another; the result is an MPEG-1 program stream.
#pragma once

#include <string>
#include <vector>

#include "tools/make_sample_game/audio.h"
#include "tools/make_sample_game/canvas.h"

struct SMovieShot {
    CCanvas picture;
    float seconds;  // time on screen, cross-fades included
};

// Writes the movie to `outputPath`, using `workFolder` for the stills and the sound. Throws
// std::runtime_error when ffmpeg is missing or fails.
void MakeMovie(const std::vector<SMovieShot>& shots, const SAudio& sound, const std::string& workFolder,
               const std::string& outputPath);
