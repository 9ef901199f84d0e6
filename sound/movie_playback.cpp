#include "sound/movie_playback.h"

#include <algorithm>
#include <climits>

#include "platform/clock.h"
#include "platform/graphics.h"

namespace {

constexpr int64_t kSoundGraceMs = 2000;

}  // namespace

int32_t CMoviePlayback::Open(CAudioDevice* sound, const char* path, int32_t volume) {
    Close();
    video_ = OpenMovieVideo(path);
    audio_ = std::make_unique<CMovieAudioPlayer>();
    if (audio_->Open(sound, path) == 0) {
        audio_->SetVolume(volume, 0.0f);
    } else {
        audio_.reset();
    }
    return IsOpen() ? 0 : -1;
}

void CMoviePlayback::Close() {
    audio_.reset();
    video_.reset();
    playing_ = false;
    frameChanged_ = hasFrame_ = false;
    written_ = nullptr;
}

int32_t CMoviePlayback::Play() {
    if (!IsOpen()) return -1;
    if (video_ != nullptr && video_->Rewind() != 0) return -1;
    if (audio_ != nullptr) {
        audio_->Stop(-1.0f);
        audio_->WaitThread();
        audio_->Seek(0);
        if (audio_->Play(1, 0) != 0) return -1;
    }
    startMs_ = GetTimeMs();
    playing_ = true;
    frameChanged_ = hasFrame_ = false;
    return 0;
}

void CMoviePlayback::Stop() {
    if (audio_ != nullptr) audio_->Stop(-1.0f);
    playing_ = false;
}

int64_t CMoviePlayback::CurrentPosition() const {
    if (!playing_) return 0;
    return static_cast<int64_t>(static_cast<uint32_t>(GetTimeMs() - startMs_));
}

int64_t CMoviePlayback::StopPosition() const {
    if (!IsOpen()) return 0;
    int64_t end = 0;
    if (video_ != nullptr) {
        const int64_t videoEnd = video_->EndMs();
        if (videoEnd < 0) return INT64_MAX;
        end = videoEnd;
    }
    // A sound that has stopped has played out.
    if (audio_ == nullptr || audio_->GetState() == kSoundStopped) return end;
    const int64_t soundEnd = audio_->EndMs();
    if (soundEnd >= 0) return std::max(end, soundEnd);
    // The sound is decoded about two seconds ahead of what is heard: an end still unknown that
    // long after the picture's end means the sound output does not move, and the movie does not
    // wait for it.
    return video_ != nullptr ? end + kSoundGraceMs : INT64_MAX;
}

void CMoviePlayback::AdvanceVideo() {
    if (video_ != nullptr && playing_ && video_->AdvanceTo(CurrentPosition()) == 1) frameChanged_ = hasFrame_ = true;
}

bool CMoviePlayback::HasReachedEnd() {
    AdvanceVideo();
    return CurrentPosition() >= StopPosition();
}

int32_t CMoviePlayback::DrawFrame(CGraphicsDevice* device) {
    if (video_ == nullptr || !playing_ || device == nullptr) return 0;
    AdvanceVideo();
    if (!hasFrame_) return 0;
    CSurface* backBuffer = nullptr;
    if (device->GetBackBuffer(&backBuffer) != 0) return -1;
    int32_t result = 0;
    if (frameChanged_ || backBuffer != written_) {
        SLockedRect locked;
        if (backBuffer->LockRect(&locked, nullptr, 0) == 0) {
            // A frame that cannot be converted leaves the picture as it was.
            if (video_->WriteFrame(static_cast<uint32_t*>(locked.bits), locked.pitch, backBuffer->Width(),
                                   backBuffer->Height()) == 0) {
                frameChanged_ = false;
                written_ = backBuffer;
            }
            backBuffer->UnlockRect();
        } else {
            result = -1;
        }
    }
    backBuffer->Release();
    return result;
}
