// The movie decoder as the game has it, a module loaded on the first open: the module the build
// puts beside the program decodes exactly as the decoder linked into this test does, and a
// module that cannot be loaded fails every open, says why in one line on stderr and is not
// tried again.
#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/movie_decoder.h"
#include "platform/movie_module.h"
#include "tests/files/temp_folder.h"
#include "tests/support/movie_files.h"

namespace {

using ::testing::HasSubstr;

constexpr uint32_t kWidth = 64;
constexpr uint32_t kHeight = 48;

// What a decoder makes of the movie: the frame due at 1.5 s, the video frames it decoded to
// reach it, and the first 8,192 sound frames.
struct SDecoded {
    std::vector<uint32_t> frame;
    uint64_t framesDecoded = 0;
    std::vector<int16_t> sound;
};

SDecoded Decode(const std::string& path) {
    SDecoded decoded;
    auto video = OpenMovieVideo(path.c_str());
    auto audio = OpenMovieAudio(path.c_str());
    if (video == nullptr || audio == nullptr) return decoded;
    const uint64_t before = DecodedMovieFrames();
    video->AdvanceTo(1500);
    decoded.framesDecoded = DecodedMovieFrames() - before;
    decoded.frame.assign(kWidth * kHeight, 0);
    EXPECT_EQ(video->WriteFrame(decoded.frame.data(), kWidth * 4, kWidth, kHeight), 0);
    decoded.sound.assign(8192 * kMovieAudioChannels, 0);
    EXPECT_EQ(audio->Read(decoded.sound.data(), 8192), 8192);
    return decoded;
}

bool Mapped(const std::string& file) {
    std::ifstream maps("/proc/self/maps");
    const std::string all((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
    return all.find(std::filesystem::canonical(file).string()) != std::string::npos;
}

class MovieModuleTest : public CTestMovieSuite {
protected:
    void TearDown() override { SetMovieModulePath(nullptr); }

    static std::string BuiltModule() { return std::string(TEST_BINARY_DIR) + "/" + kMovieModuleFile; }
};

TEST_F(MovieModuleTest, TheBuiltModuleDecodesAsTheLinkedInDecoderAndCountsItsFrames) {
    const SDecoded linked = Decode(MoviePath());
    ASSERT_FALSE(linked.frame.empty());

    SetMovieModulePath(BuiltModule().c_str());
    EXPECT_EQ(DecodedMovieFrames(), 0u) << "nothing is loaded before a movie opens";
    const SDecoded loaded = Decode(MoviePath());
    ASSERT_FALSE(loaded.frame.empty()) << "the module beside the program opens the movie";
    EXPECT_TRUE(Mapped(BuiltModule()));
    EXPECT_GT(loaded.framesDecoded, 0u);
    EXPECT_EQ(loaded.framesDecoded, linked.framesDecoded) << "the module's decoder counts its frames";
    EXPECT_EQ(loaded.frame, linked.frame);
    EXPECT_EQ(loaded.sound, linked.sound);
}

TEST_F(MovieModuleTest, AModuleThatCannotBeLoadedFailsTheOpenWithTheReasonOnStderr) {
    Dl_info zlib = {};
    ASSERT_NE(::dladdr(reinterpret_cast<void*>(&zlibVersion), &zlib), 0);
    const std::string notALibrary = folder_->Write("not_a_module.so", std::string(4096, 'x'));
    const struct {
        std::string module;
        std::string reason;
    } cases[] = {
        {*folder_ / "absent/velkora_movies.so", "cannot open shared object file: No such file or directory"},
        {zlib.dli_fname, "undefined symbol: " VELKORA_MOVIE_ENTRY},
        {notALibrary, "invalid ELF header"},
    };
    for (const auto& [module, reason] : cases) {
        SetMovieModulePath(module.c_str());
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(OpenMovieVideo(MoviePath().c_str()), nullptr) << module;
        EXPECT_EQ(OpenMovieAudio(MoviePath().c_str()), nullptr) << module;
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(said.rfind("cannot load the movie decoder \"" + module + "\": ", 0), 0u) << said;
        EXPECT_THAT(said, HasSubstr(reason));
        EXPECT_EQ(said.find('\n'), said.size() - 1) << "one line for both opens: " << said;
    }
}

TEST_F(MovieModuleTest, AFailedLoadIsTriedOnceWhateverThreadsOpenAndStandsUntilAnotherModuleIsNamed) {
    const std::string module = *folder_ / "later/velkora_movies.so";
    SetMovieModulePath(module.c_str());
    ::testing::internal::CaptureStderr();
    // The video on this thread and the sound on another, as a movie opens them.
    std::unique_ptr<IMovieAudio> audio;
    std::thread sound([&] { audio = OpenMovieAudio(MoviePath().c_str()); });
    std::unique_ptr<IMovieVideo> video = OpenMovieVideo(MoviePath().c_str());
    sound.join();
    EXPECT_EQ(video, nullptr);
    EXPECT_EQ(audio, nullptr);

    // The module appears: the failure stands, with no new attempt and no new line.
    std::filesystem::create_directories(*folder_ / "later");
    std::filesystem::copy_file(BuiltModule(), module);
    EXPECT_EQ(OpenMovieVideo(MoviePath().c_str()), nullptr);
    EXPECT_EQ(OpenMovieAudio(MoviePath().c_str()), nullptr);
    EXPECT_EQ(DecodedMovieFrames(), 0u);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_THAT(said, HasSubstr(module));
    EXPECT_EQ(said.find('\n'), said.size() - 1) << "one attempt, one line: " << said;

    // Named again, it is loaded from its new folder.
    SetMovieModulePath(module.c_str());
    EXPECT_FALSE(Decode(MoviePath()).frame.empty());
    EXPECT_TRUE(Mapped(module));
}

}  // namespace
