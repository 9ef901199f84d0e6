// A movie's playback on the fake clock: the frame due at the media clock in the back buffer,
// written only when it changes; the sound streamed by its own thread through the mixer; the
// stop position found once both tracks were decoded to their ends; rewinding.
#include "sound/movie_playback.h"

#include <gtest/gtest.h>

#include "platform/graphics.h"
#include "tests/sound/sound_test_util.h"
#include "tests/support/fake_movies.h"
#include "tests/support/graphics_support.h"

namespace {

constexpr uint32_t kTag = 9;

class MoviePlaybackTest : public SoundClockTest {
protected:
    void SetUp() override {
        SoundClockTest::SetUp();
        UseFakeMovies({{"Movie/both.mpg", SFakeMovie{kTag, 10, 40, true, 600}},
                       {"Movie/silent.mpg", SFakeMovie{kTag, 5, 40, true, 0}},
                       {"Movie/sound.mpg", SFakeMovie{kTag, 0, 40, false, 300}},
                       {"Movie/long.mpg", SFakeMovie{kTag, 10, 40, true, 60000}}});
        device_ = MakeTestDevice(800, 600);
        ASSERT_NE(device_, nullptr);
        ASSERT_EQ(device_->GetBackBuffer(&backBuffer_), 0);
    }
    void TearDown() override {
        backBuffer_->Release();
        device_->Release();
        UseRealMovies();
        SoundClockTest::TearDown();
    }
    uint32_t Pixel(int32_t x, int32_t y) const { return SurfacePixel(backBuffer_, x, y); }

    CGraphicsDevice* device_ = nullptr;
    CSurface* backBuffer_ = nullptr;
};

TEST_F(MoviePlaybackTest, PictureAndSoundFollowTheClockUntilTheLaterTrackEnds) {
    CMoviePlayback movie;
    ASSERT_EQ(movie.Open(m_device.get(), "Movie/both.mpg", 0), 0);
    TakeOutput();
    ASSERT_EQ(movie.Play(), 0);
    Run(210);
    ASSERT_EQ(movie.DrawFrame(device_), 0);
    EXPECT_EQ(Pixel(0, 0), FakeMoviePixel(kTag, 5));
    EXPECT_EQ(Pixel(799, 599), FakeMoviePixel(kTag, 5)) << "the frame covers the whole back buffer";
    const std::vector<int16_t> sound = TakeOutput();
    ASSERT_GE(sound.size(), 2u * 44 * 200);
    EXPECT_EQ(sound[2 * 44 * 100], kFakeMovieSample);

    Run(250);  // 460 ms: the picture has ended, the sound has not
    EXPECT_FALSE(movie.HasReachedEnd());
    EXPECT_EQ(movie.StopPosition(), 600);
    Run(140);
    EXPECT_TRUE(movie.HasReachedEnd());

    // Rewinding restarts both the picture and the sound.
    TakeOutput();
    ASSERT_EQ(movie.Rewind(), 0);
    EXPECT_EQ(movie.CurrentPosition(), 0);
    EXPECT_FALSE(movie.HasReachedEnd());
    Run(50);
    movie.DrawFrame(device_);
    EXPECT_EQ(Pixel(400, 300), FakeMoviePixel(kTag, 1));
    const std::vector<int16_t> again = TakeOutput();
    ASSERT_GE(again.size(), 2u * 44 * 40);
    EXPECT_EQ(again[2 * 44 * 30], kFakeMovieSample);
}

TEST_F(MoviePlaybackTest, TheBackBufferIsWrittenOnlyWhenAnotherFrameIsDue) {
    CMoviePlayback movie;
    ASSERT_EQ(movie.Open(m_device.get(), "Movie/silent.mpg", 0), 0);
    ASSERT_EQ(movie.Play(), 0);
    movie.DrawFrame(device_);
    ASSERT_EQ(Pixel(10, 10), FakeMoviePixel(kTag, 0));
    reinterpret_cast<uint32_t*>(backBuffer_->Bits())[0] = 0xFF123456u;
    Run(30);
    movie.DrawFrame(device_);
    EXPECT_EQ(Pixel(0, 0), 0xFF123456u) << "the same frame is not written again";
    Run(10);
    movie.DrawFrame(device_);
    EXPECT_EQ(Pixel(0, 0), FakeMoviePixel(kTag, 1));
    // A silent movie ends with its picture; the end is found without drawing.
    Run(170);
    EXPECT_TRUE(movie.HasReachedEnd());
}

TEST_F(MoviePlaybackTest, ASoundOutputThatDoesNotMoveHoldsTheMovieTwoSecondsAtMost) {
    auto stalled = CAudioDevice::Create(EAudioOutput::Manual);
    CMoviePlayback movie;
    ASSERT_EQ(movie.Open(stalled.get(), "Movie/long.mpg", 0), 0);
    ASSERT_EQ(movie.Play(), 0);
    Run(2390);
    EXPECT_FALSE(movie.HasReachedEnd());
    EXPECT_EQ(movie.StopPosition(), 400 + 2000);
    Run(10);
    EXPECT_TRUE(movie.HasReachedEnd());
}

TEST_F(MoviePlaybackTest, ASoundOnlyMovieEndsWithItsSoundAndAMissingOneDoesNotOpen) {
    CMoviePlayback movie;
    EXPECT_EQ(movie.Open(m_device.get(), "Movie/none.mpg", 0), -1);
    EXPECT_FALSE(movie.IsOpen());
    EXPECT_EQ(movie.Play(), -1);
    ASSERT_EQ(movie.Open(m_device.get(), "Movie/sound.mpg", -10000), 0);
    ASSERT_EQ(movie.Play(), 0);
    EXPECT_EQ(movie.DrawFrame(device_), 0);
    Run(290);
    EXPECT_FALSE(movie.HasReachedEnd());
    Run(20);
    EXPECT_TRUE(movie.HasReachedEnd());
    Run(2000);
    EXPECT_TRUE(movie.HasReachedEnd()) << "still ended once the sound thread has stopped and rewound";
}

}  // namespace
