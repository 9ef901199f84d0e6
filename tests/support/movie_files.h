// A small real movie for the decoder tests, made with the ffmpeg command-line tool (which the
// sample game needs as well): MPEG-1 video and MP2 sound in an MPEG program stream, 320 × 240 at
// 25 frames per second. For its first second the left half is red and the right half blue; for
// its second second the whole picture is green. The sound is a 440 Hz tone for both seconds.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/files/temp_folder.h"

constexpr int kTestMovieMs = 2000;

// Writes the movie to `path`. False (with the tool's complaint on stderr) when it cannot.
bool MakeTestMovie(const std::string& path);
// The same pictures and tone with other codecs and container: `codecArguments` are the ffmpeg
// options that choose them ("-c:v", "libvpx", "-c:a", "libopus", "-f", "webm").
bool MakeTestMovie(const std::string& path, const std::vector<std::string>& codecArguments);
// A silent MPEG-1 program stream of kLongTestMovieMs, 160 × 120 at 25 frames per second with a
// key frame every 12: its first 20 seconds red, its last 10 green.
constexpr int kLongTestMovieMs = 30000;
bool MakeLongTestMovie(const std::string& path);
// True when this machine's ffmpeg can encode with the named encoder ("libx264").
bool HasFfmpegEncoder(const std::string& name);

// Moves the times of the video packets that start between the bytes `from` and `to` by
// `seconds`, as damage to those fields of an MPEG-1 program stream would.
void ShiftVideoTimes(std::vector<uint8_t>* bytes, size_t from, size_t to, int64_t seconds);

// A test suite that shares one test movie, made once for all its tests.
class CTestMovieSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new CTempFolder;
        ASSERT_TRUE(MakeTestMovie(*folder_ / "movie.mpg")) << "the ffmpeg tool makes the test movie";
    }
    static void TearDownTestSuite() {
        delete folder_;
        folder_ = nullptr;
    }
    static std::string MoviePath() { return *folder_ / "movie.mpg"; }

    static inline CTempFolder* folder_ = nullptr;  // holds the movie; tests may add files beside it
};
