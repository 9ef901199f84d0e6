#include "sound/movie_player.h"

#include <cstdio>

#include "files/chunk_reader.h"
#include "platform/input_state.h"
#include "platform/message_box.h"
#include "platform/render_context.h"

namespace {

constexpr uint32_t kTagMovieFile = MakeTag("MOVF");
constexpr uint32_t kTagJumpFile = MakeTag("JMPF");
constexpr uint32_t kTagNoSkip = MakeTag("SREF");

// "ムービーの再生に失敗しました"
constexpr char kMoviePlayFailed[] =
    "\x83\x80\x81\x5B\x83\x72\x81\x5B\x82\xCC\x8D\xC4\x90\xB6\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5"
    "\x82\xBD";

bool IsSkipInput(const CInputState* input) {
    return input->leftUp || input->rightUp || input->IsKeyDown(DIK_RETURN) || input->IsKeyDown(DIK_NUMPADENTER) ||
           input->IsKeyDown(DIK_ESCAPE);
}

}  // namespace

int32_t CMoviePlayer::ParseCommand(CReadStream* stream, uint32_t size, int32_t musicVolume) {
    noSkip = 0;
    char path[kMoviePathSize] = {};
    char target[kMoviePathSize] = {};
    CChunkReader body(stream, size);
    CChunkHeader header;
    while (body.NextChunk(&header)) {
        if (header.tag == kTagMovieFile) {
            body.Body().ReadString(path, sizeof path);
        } else if (header.tag == kTagJumpFile) {
            body.Body().ReadString(target, sizeof target);
        } else if (header.tag == kTagNoSkip) {
            noSkip = 1;
        }
    }
    Open(path, target, musicVolume);
    return 0;
}

int32_t CMoviePlayer::Open(const char* path, const char* target, int32_t volume) {
    playback.Close();
    active = 1;
    error = 0;
    std::snprintf(jumpTarget, sizeof jumpTarget, "%s", target != nullptr ? target : "");
    if (path == nullptr || path[0] == '\0' || playback.Open(g_pEngineDirectSound, path, volume) != 0) {
        error = 1;
        return -1;
    }
    return 0;
}

int32_t CMoviePlayer::Play() {
    if (active && !error && playback.Play() != 0) error = 1;
    if (!error) return 0;
    ShowMessageBox(kMoviePlayFailed, "Error!!", MessageBoxStyle::IconError | MessageBoxStyle::Topmost);
    return -1;
}

int32_t CMoviePlayer::SkipOnInput(CInputState* input) {
    if (noSkip || input == nullptr || !IsSkipInput(input)) return 0;
    input->keyGuardTime = g_ClockNow;
    Release();
    return 0;
}

int32_t CMoviePlayer::IsFinished() {
    if (!active || error || !playback.IsOpen()) return 1;
    return playback.HasReachedEnd() ? 1 : 0;
}

int32_t CMoviePlayer::Draw(CGraphicsDevice* device) {
    if (!active || error) return 0;
    return playback.DrawFrame(device);
}

void CMoviePlayer::Release() {
    playback.Close();
    active = 0;
    error = 0;
    noSkip = 0;
}
