#include "tests/support/fake_movies.h"

#include <algorithm>
#include <memory>

#include "platform/movie_decoder.h"

namespace {

std::map<std::string, SFakeMovie> g_movies;

const SFakeMovie* Find(const char* path) {
    const auto it = g_movies.find(path != nullptr ? path : "");
    return it != g_movies.end() ? &it->second : nullptr;
}

class CFakeVideo final : public IMovieVideo {
public:
    explicit CFakeVideo(const SFakeMovie& movie) : movie_(movie) {}
    int32_t AdvanceTo(int64_t mediaMs) override {
        if (mediaMs < 0) return 0;
        const int32_t due = static_cast<int32_t>(std::min<int64_t>(movie_.frameCount - 1, mediaMs / movie_.frameMs));
        if (due == current_) return 0;
        current_ = due;
        return 1;
    }
    int32_t WriteFrame(uint32_t* pixels, int32_t pitchBytes, uint32_t width, uint32_t height) override {
        if (current_ < 0) return -1;
        for (uint32_t y = 0; y < height; ++y) {
            uint32_t* row = pixels + static_cast<size_t>(y) * static_cast<uint32_t>(pitchBytes) / 4;
            std::fill(row, row + width, FakeMoviePixel(movie_.tag, current_));
        }
        return 0;
    }
    int64_t EndMs() const override {
        return current_ == movie_.frameCount - 1 ? static_cast<int64_t>(movie_.frameCount) * movie_.frameMs : -1;
    }
    int32_t Rewind() override {
        current_ = -1;
        return 0;
    }

private:
    SFakeMovie movie_;
    int32_t current_ = -1;
};

class CFakeAudio final : public IMovieAudio {
public:
    explicit CFakeAudio(const SFakeMovie& movie)
        : frames_(static_cast<int64_t>(movie.soundMs) * kMovieAudioRate / 1000) {}
    int32_t Read(int16_t* pcm, uint32_t frameCount) override {
        const auto n = static_cast<uint32_t>(std::min<int64_t>(frameCount, frames_ - read_));
        std::fill(pcm, pcm + static_cast<size_t>(n) * kMovieAudioChannels, kFakeMovieSample);
        read_ += n;
        return static_cast<int32_t>(n);
    }
    int32_t Rewind() override {
        read_ = 0;
        return 0;
    }

private:
    int64_t frames_;
    int64_t read_ = 0;
};

std::unique_ptr<IMovieVideo> OpenFakeVideo(const char* path) {
    const SFakeMovie* movie = Find(path);
    if (movie == nullptr || !movie->video) return nullptr;
    return std::make_unique<CFakeVideo>(*movie);
}

std::unique_ptr<IMovieAudio> OpenFakeAudio(const char* path) {
    const SFakeMovie* movie = Find(path);
    if (movie == nullptr || movie->soundMs <= 0) return nullptr;
    return std::make_unique<CFakeAudio>(*movie);
}

}  // namespace

void UseFakeMovies(const std::map<std::string, SFakeMovie>& movies) {
    g_movies = movies;
    SetMovieOpeners(SMovieOpeners{OpenFakeVideo, OpenFakeAudio});
}

void UseRealMovies() {
    g_movies.clear();
    SetMovieOpeners(SMovieOpeners{});
}
