// The movie decoders on a real MPEG program stream: the frame due at a time, scaled into the
// caller's pixels; the end found by decoding, not from the container's estimate; rewinding;
// the sound as stereo PCM; and files that are missing, damaged or cut short. Then the same
// movie in every common container: a rewind gives back its first frame and first sample.
#include "platform/movie_decoder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "tests/files/temp_folder.h"
#include "tests/support/movie_files.h"

namespace {

constexpr uint32_t kWidth = 200;
constexpr uint32_t kHeight = 150;

bool Near(uint32_t pixel, uint32_t rgb) {
    for (int shift = 0; shift < 24; shift += 8) {
        const int a = static_cast<int>(pixel >> shift & 0xFF), b = static_cast<int>(rgb >> shift & 0xFF);
        if (std::abs(a - b) > 40) return false;
    }
    return (pixel >> 24) == 0xFF;
}

class MovieDecoderTest : public CTestMovieSuite {
protected:
    // The current frame written into a kWidth × kHeight picture with a wider pitch.
    std::vector<uint32_t> Frame(IMovieVideo& video) {
        std::vector<uint32_t> pixels((kWidth + 8) * kHeight, 0);
        EXPECT_EQ(video.WriteFrame(pixels.data(), static_cast<int32_t>((kWidth + 8) * 4), kWidth, kHeight), 0);
        return pixels;
    }
    static uint32_t At(const std::vector<uint32_t>& pixels, uint32_t x, uint32_t y) { return pixels[y * (kWidth + 8) + x]; }
};

TEST_F(MovieDecoderTest, FramesAreDueByTheirTimeFromTheFirstTimestampAndTheEndIsDecoded) {
    auto video = OpenMovieVideo(MoviePath().c_str());
    ASSERT_NE(video, nullptr);
    std::vector<uint32_t> unwritten(kWidth * kHeight);
    EXPECT_EQ(video->WriteFrame(unwritten.data(), kWidth * 4, kWidth, kHeight), -1) << "no frame before the first";
    // The program stream's first timestamp (its sound's) is half a second in; the first frame
    // follows it by 11 ms.
    EXPECT_EQ(video->AdvanceTo(0), 0);
    ASSERT_EQ(video->AdvanceTo(20), 1);
    std::vector<uint32_t> first = Frame(*video);
    EXPECT_TRUE(Near(At(first, 20, 75), 0xFF0000)) << std::hex << At(first, 20, 75);
    EXPECT_TRUE(Near(At(first, 180, 75), 0x0000FF)) << std::hex << At(first, 180, 75);
    EXPECT_EQ(At(first, kWidth + 2, 0), 0u) << "nothing is written past the width";
    EXPECT_EQ(video->AdvanceTo(40), 0) << "the same frame is still due";
    EXPECT_EQ(video->EndMs(), -1);

    ASSERT_EQ(video->AdvanceTo(1500), 1);
    EXPECT_TRUE(Near(At(Frame(*video), 100, 75), 0x00FF00));
    EXPECT_EQ(video->EndMs(), -1) << "the end is not known before it is decoded";
    video->AdvanceTo(60000);
    EXPECT_NEAR(static_cast<double>(video->EndMs()), kTestMovieMs, 40.0) << "the container estimates 1.93 s";

    ASSERT_EQ(video->Rewind(), 0);
    EXPECT_EQ(video->EndMs(), -1);
    ASSERT_EQ(video->AdvanceTo(20), 1);
    EXPECT_TRUE(Near(At(Frame(*video), 20, 75), 0xFF0000)) << "rewound to the first frame";
}

TEST_F(MovieDecoderTest, TheSoundIsStereoPcmOfTheWholeTrackAndRewinds) {
    auto audio = OpenMovieAudio(MoviePath().c_str());
    ASSERT_NE(audio, nullptr);
    const auto readAll = [&](int16_t* firstPeak) {
        std::vector<int16_t> pcm(4096 * kMovieAudioChannels);
        int64_t frames = 0;
        int16_t peak = 0;
        for (int32_t got; (got = audio->Read(pcm.data(), 4096)) > 0;) {
            for (int32_t i = 0; i < got; ++i) {
                EXPECT_EQ(pcm[2 * i], pcm[2 * i + 1]) << "a mono track on both channels";
                peak = std::max<int16_t>(peak, static_cast<int16_t>(std::abs(pcm[2 * i])));
            }
            frames += got;
        }
        *firstPeak = peak;
        return frames;
    };
    int16_t peak = 0;
    const int64_t frames = readAll(&peak);
    EXPECT_NEAR(static_cast<double>(frames), kTestMovieMs * 44.1, 44.1 * 60);
    EXPECT_GT(peak, 2000) << "the tone is there";
    EXPECT_EQ(audio->Read(std::vector<int16_t>(8).data(), 4), 0) << "the end stays the end";
    ASSERT_EQ(audio->Rewind(), 0);
    EXPECT_EQ(readAll(&peak), frames);
}

TEST_F(MovieDecoderTest, MissingDamagedAndTruncatedFilesNeitherHangNorCrash) {
    CTempFolder folder;
    EXPECT_EQ(OpenMovieVideo((folder / "none.mpg").c_str()), nullptr);
    EXPECT_EQ(OpenMovieAudio(nullptr), nullptr);
    EXPECT_EQ(OpenMovieVideo(folder.Write("noise.mpg", std::vector<uint8_t>(5000, 0x5A)).c_str()), nullptr);
    EXPECT_EQ(OpenMovieVideo("http://127.0.0.1:9/movie.mpg"), nullptr) << "only files are read";

    // Cut in the middle: what is there plays, then the movie ends.
    std::vector<uint8_t> bytes = CTempFolder::Read(MoviePath());
    bytes.resize(bytes.size() / 2);
    const std::string cut = folder.Write("cut.mpg", bytes);
    auto video = OpenMovieVideo(cut.c_str());
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->AdvanceTo(20), 1);
    video->AdvanceTo(60000);
    EXPECT_GT(video->EndMs(), 0);
    EXPECT_LT(video->EndMs(), kTestMovieMs);
    auto audio = OpenMovieAudio(cut.c_str());
    ASSERT_NE(audio, nullptr);
    std::vector<int16_t> pcm(4096 * 2);
    int64_t frames = 0;
    for (int32_t got; (got = audio->Read(pcm.data(), 4096)) > 0;) frames += got;
    EXPECT_GT(frames, 0);

    // Damage in the middle: decoding goes on past it to the end.
    bytes = CTempFolder::Read(MoviePath());
    for (size_t i = bytes.size() / 3; i < bytes.size() / 3 + 2000; ++i) bytes[i] ^= 0xA5;
    video = OpenMovieVideo(folder.Write("damaged.mpg", bytes).c_str());
    ASSERT_NE(video, nullptr);
    video->AdvanceTo(60000);
    EXPECT_GT(video->EndMs(), kTestMovieMs / 2);

    // An AVI cut after its headers, or its headers followed by zeros: the tracks are declared
    // but nothing decodes, and the file does not open as a movie.
    const std::string avi = folder / "movie.avi";
    ASSERT_TRUE(MakeTestMovie(avi, {"-c:v", "mpeg4", "-c:a", "mp2", "-f", "avi"}));
    for (const bool zeros : {false, true}) {
        SCOPED_TRACE(zeros ? "zeros" : "cut");
        bytes = CTempFolder::Read(avi);
        const std::string list = "movi";
        const auto data = std::search(bytes.begin(), bytes.end(), list.begin(), list.end()) + 4;
        ASSERT_LT(data, bytes.end());
        if (zeros) {
            std::fill(data, bytes.end(), 0);
        } else {
            bytes.erase(data, bytes.end());
        }
        const std::string empty = folder.Write(zeros ? "zeros.avi" : "cut.avi", bytes);
        EXPECT_EQ(OpenMovieVideo(empty.c_str()), nullptr);
        EXPECT_EQ(OpenMovieAudio(empty.c_str()), nullptr);
    }

    // Video times damaged into a leap of an hour, after the first frame or at it: the picture
    // goes on at once, or after ten seconds at most.
    bytes = CTempFolder::Read(MoviePath());
    const struct {
        size_t from, to;
        int64_t longest;
    } leaps[] = {{bytes.size() / 8, bytes.size(), kTestMovieMs + 40}, {0, 1000, 10000 + kTestMovieMs + 40}};
    for (const auto& leap : leaps) {
        bytes = CTempFolder::Read(MoviePath());
        ShiftVideoTimes(&bytes, leap.from, leap.to, 3600);
        video = OpenMovieVideo(folder.Write("leap.mpg", bytes).c_str());
        ASSERT_NE(video, nullptr);
        video->AdvanceTo(60000);
        EXPECT_GE(video->EndMs(), kTestMovieMs - 40) << "from byte " << leap.from;
        EXPECT_LE(video->EndMs(), leap.longest) << "from byte " << leap.from;
    }
}

TEST_F(MovieDecoderTest, AFrameDueFarPastTheDecodingIsReachedByASeek) {
    CTempFolder folder;
    const std::string path = folder / "long.mpg";
    ASSERT_TRUE(MakeLongTestMovie(path));
    auto video = OpenMovieVideo(path.c_str());
    ASSERT_NE(video, nullptr);
    ASSERT_EQ(video->Rewind(), 0);
    ASSERT_EQ(video->AdvanceTo(100), 1);
    EXPECT_TRUE(Near(At(Frame(*video), 100, 75), 0xFF0000));
    // The ticks stopped for 25 s (a dialog held them): the frame due then is shown after
    // decoding about a key frame's distance, not the 620 frames between.
    uint64_t decoded = DecodedMovieFrames();
    ASSERT_EQ(video->AdvanceTo(25100), 1);
    EXPECT_LT(DecodedMovieFrames() - decoded, 60u);
    EXPECT_TRUE(Near(At(Frame(*video), 100, 75), 0x00FF00));
    // Played on from there, frame by frame.
    decoded = DecodedMovieFrames();
    for (int64_t ms = 25100; ms < 26100; ms += 20) video->AdvanceTo(ms);
    EXPECT_LT(DecodedMovieFrames() - decoded, 40u);
    EXPECT_TRUE(Near(At(Frame(*video), 100, 75), 0x00FF00));
    EXPECT_EQ(video->EndMs(), -1);
    // Past the end: the end is the end of the last frame.
    video->AdvanceTo(600000);
    EXPECT_NEAR(static_cast<double>(video->EndMs()), kLongTestMovieMs, 100.0);
    // A rewind afterwards still gives the first frame, red, and a short gap is decoded through.
    ASSERT_EQ(video->Rewind(), 0);
    ASSERT_EQ(video->AdvanceTo(100), 1);
    EXPECT_TRUE(Near(At(Frame(*video), 100, 75), 0xFF0000));
    decoded = DecodedMovieFrames();
    ASSERT_EQ(video->AdvanceTo(900), 1);
    EXPECT_GE(DecodedMovieFrames() - decoded, 20u);
}

struct SContainer {
    const char* name;
    const char* extension;
    std::vector<std::string> encoders;  // what the ffmpeg tool needs to write it
    std::vector<std::string> arguments;
};

const SContainer kContainers[] = {
    {"MpegProgramStream", "mpg", {"mpeg1video", "mp2"}, {"-c:v", "mpeg1video", "-c:a", "mp2", "-f", "mpeg"}},
    {"MpegTransportStream", "ts", {"mpeg2video", "mp2"}, {"-c:v", "mpeg2video", "-c:a", "mp2", "-f", "mpegts"}},
    {"Mp4", "mp4", {"libx264", "aac"}, {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac", "-f", "mp4"}},
    {"Avi", "avi", {"mpeg4", "libmp3lame"}, {"-c:v", "mpeg4", "-c:a", "libmp3lame", "-f", "avi"}},
    {"Ogg", "ogv", {"libtheora", "libvorbis"}, {"-c:v", "libtheora", "-c:a", "libvorbis", "-f", "ogg"}},
    {"WebM", "webm", {"libvpx", "libopus"}, {"-c:v", "libvpx", "-g", "10", "-c:a", "libopus", "-f", "webm"}},
    {"Matroska", "mkv", {"libx264", "aac"},
     {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-g", "10", "-c:a", "aac", "-f", "matroska"}},
    {"Flv", "flv", {"flv", "libmp3lame"}, {"-c:v", "flv", "-c:a", "libmp3lame", "-ar", "44100", "-f", "flv"}},
    {"Asf", "wmv", {"wmv2", "wmav2"}, {"-c:v", "wmv2", "-c:a", "wmav2", "-f", "asf"}},
};

void PrintTo(const SContainer& container, std::ostream* out) { *out << container.name; }

class MovieContainerTest : public ::testing::TestWithParam<SContainer> {
protected:
    // The first frame's time in media ms: the first time at which one is due.
    static int64_t FirstFrameMs(IMovieVideo& video) {
        for (int64_t ms = 0; ms <= 1000; ++ms)
            if (video.AdvanceTo(ms) == 1) return ms;
        return -1;
    }
    static std::vector<int16_t> Samples(IMovieAudio& audio, uint32_t frames) {
        std::vector<int16_t> pcm(static_cast<size_t>(frames) * kMovieAudioChannels);
        uint32_t filled = 0;
        for (int32_t got; filled < frames && (got = audio.Read(pcm.data() + filled * 2, frames - filled)) > 0;)
            filled += static_cast<uint32_t>(got);
        pcm.resize(filled * kMovieAudioChannels);
        return pcm;
    }
};

TEST_P(MovieContainerTest, ARewindGivesTheFirstFrameAndTheFirstSoundSample) {
    const SContainer& container = GetParam();
    for (const std::string& encoder : container.encoders)
        if (!HasFfmpegEncoder(encoder)) GTEST_SKIP() << "this ffmpeg has no " << encoder << " encoder";
    CTempFolder folder;
    const std::string path = folder / (std::string("movie.") + container.extension);
    ASSERT_TRUE(MakeTestMovie(path, container.arguments));

    auto video = OpenMovieVideo(path.c_str());
    ASSERT_NE(video, nullptr);
    const int64_t first = FirstFrameMs(*video);
    ASSERT_GE(first, 0);
    std::vector<uint32_t> pixels(kWidth * kHeight);
    ASSERT_EQ(video->WriteFrame(pixels.data(), kWidth * 4, kWidth, kHeight), 0);
    EXPECT_TRUE(Near(pixels[75 * kWidth + 20], 0xFF0000)) << std::hex << pixels[75 * kWidth + 20];
    EXPECT_TRUE(Near(pixels[75 * kWidth + 180], 0x0000FF)) << std::hex << pixels[75 * kWidth + 180];
    // Every play rewinds first: at the start, in the middle and after the end.
    for (const int64_t playedTo : {int64_t{0}, int64_t{1500}, int64_t{60000}}) {
        SCOPED_TRACE(playedTo);
        video->AdvanceTo(playedTo);
        ASSERT_EQ(video->Rewind(), 0);
        EXPECT_EQ(FirstFrameMs(*video), first);
        std::vector<uint32_t> again(kWidth * kHeight);
        ASSERT_EQ(video->WriteFrame(again.data(), kWidth * 4, kWidth, kHeight), 0);
        EXPECT_EQ(again, pixels);
    }
    video->AdvanceTo(60000);
    EXPECT_NEAR(static_cast<double>(video->EndMs()), kTestMovieMs, 100.0);

    auto audio = OpenMovieAudio(path.c_str());
    ASSERT_NE(audio, nullptr);
    const std::vector<int16_t> opening = Samples(*audio, 8192);
    ASSERT_EQ(opening.size(), 8192u * kMovieAudioChannels);
    const size_t total = opening.size() + Samples(*audio, 1 << 20).size();
    EXPECT_NEAR(static_cast<double>(total / 2), kTestMovieMs * 44.1, 44.1 * 100);
    for (const uint32_t playedTo : {0u, 30000u, 1u << 20}) {
        SCOPED_TRACE(playedTo);
        ASSERT_EQ(audio->Rewind(), 0);
        Samples(*audio, playedTo);
        ASSERT_EQ(audio->Rewind(), 0);
        EXPECT_EQ(Samples(*audio, 8192), opening);
        EXPECT_EQ(opening.size() + Samples(*audio, 1 << 20).size(), total);
    }
}

INSTANTIATE_TEST_SUITE_P(Containers, MovieContainerTest, ::testing::ValuesIn(kContainers),
                         [](const testing::TestParamInfo<SContainer>& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// A FIFO in the place of a movie is refused at once instead of blocking the open for ever.
TEST(MovieDecoderFifoTest, AFifoIsRefusedWithoutWaiting) {
    CTempFolder folder;
    const std::string fifo = folder / "movie.mpg";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(OpenMovieVideo(fifo.c_str()), nullptr);
    EXPECT_EQ(OpenMovieAudio(fifo.c_str()), nullptr);
}

}  // namespace
