// The seam between the program and its movie decoder. The decoder, with the FFmpeg libraries it
// needs, is a module beside the program, loaded when the first movie opens: the game's start
// and every run without movies leave those libraries unmapped. The module has one C entry
// point, which takes what the program lends it and gives back the decoder's operations.
#pragma once

#include <cstdint>

#include "platform/movie_decoder.h"

// What the program lends the decoder: the movie files are opened as every game file is.
struct SMovieHost {
    // A read-only descriptor of the regular file at a game path, or -1.
    int (*openGameFile)(const char* path);
};

struct SMovieDecoderOps {
    // A decoder the caller deletes, or null as OpenMovieVideo / OpenMovieAudio say.
    IMovieVideo* (*openVideo)(const char* path);
    IMovieAudio* (*openAudio)(const char* path);
    uint64_t (*decodedFrames)();
};

// The module's file, in the program's own folder (the build puts it there).
constexpr char kMovieModuleFile[] = "velkora_movies.so";
#define VELKORA_MOVIE_ENTRY "VelkoraMovieDecoder"

extern "C" {
// The entry point, found by the name above. The host must outlive every decoder.
using MovieDecoderEntry = const SMovieDecoderOps* (*)(const SMovieHost* host);
const SMovieDecoderOps* VelkoraMovieDecoder(const SMovieHost* host);
}
