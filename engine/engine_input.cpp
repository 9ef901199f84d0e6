// The engine's per-frame input step: sound upkeep, the input lock, and exactly one input
// handler chosen by the engine's state, which may run the next page.
#include <cstdio>

#include "engine/input_keys.h"
#include "engine/vant_engine.h"
#include "platform/message_box.h"
#include "platform/render_context.h"

namespace {

// "バックログの表示に失敗しました"
constexpr const char* kLogShowFailed =
    "\x83\x6F\x83\x62\x83\x4E\x83\x8D\x83\x4F\x82\xCC\x95\x5C\x8E\xA6\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82"
    "\xB5\x82\xBD";

void ShowLogShowFailure() {
    ShowMessageBox(kLogShowFailed, "Error!!", MessageBoxStyle::IconError | MessageBoxStyle::Topmost);
}

void StampKeyGuard(CInputState* input) {
    if (input != nullptr) input->keyGuardTime = g_ClockNow;
}

bool PlayerIsPlaying(const CSoundChannel& channel) {
    if (!channel.active || channel.player == nullptr) return false;
    return channel.player->GetState() == 0 && channel.player->GetPlayCount() >= 0;
}

}  // namespace

int32_t CVantEngine::Advance() { return RunPage(); }

void CVantEngine::UpdateSoundChannels() {
    for (CSoundChannel& channel : musicChannels) channel.Update(0);

    const bool revealWaiting = messageWindow.revealStart == kTimeNotSet;
    const bool holdVoices =
        readHistory.skipOn || (revealWaiting && (!messageWindow.whf || g_bPageEffectsDone == 0));
    uint32_t silent = 1;
    for (CSoundChannel& channel : voiceChannels) {
        channel.Update(holdVoices ? 1 : 0);
        if (PlayerIsPlaying(channel)) silent = 0;
    }
    g_bPageVoiceDone = silent;

    for (CSoundChannel& channel : seChannels) channel.Update(readHistory.skipOn ? 1 : 0);
    for (CSoundChannel& channel : logVoiceChannels) channel.Update(0);
}

int32_t CVantEngine::UpdateInput(CInputState* input, int32_t interfaceBusy) {
    UpdateSoundChannels();
    if (inputLock.active && !inputLock.HasRunOut()) inputLock.Start();
    if (movie.active) return UpdateMovie(input);
    if (windowHiddenByUser) return UpdateHiddenWindow(input);
    if (messageLog.viewOpen) return UpdateMessageLog(input);
    if (choiceWindow.active) return UpdateSelection(input);
    return UpdateTextWait(input, interfaceBusy);
}

int32_t CVantEngine::ClickInTextWait() {
    if (g_bPageEffectsDone == 1 && g_bPageTextDone == 1) return Advance();
    CompleteCurrentPage();
    return 0;
}

int32_t CVantEngine::UpdateTextWait(CInputState* input, int32_t interfaceBusy) {
    if (readHistory.skipOn && readHistory.CanSkip(input, pageNumber) == 1) {
        const int32_t result = Advance();
        if (result != 0) return result;
        if (!inputLock.active && !movie.active) {
            FinishEffects();
            messageWindow.revealStart = kRevealShowAll;
        }
        return 0;
    }
    if (autoAdvance.active) return interfaceBusy == 0 ? UpdateAutoAdvance(input) : 0;
    if (autoMode && IsPageAdvanceDue(this, input, messageWindow.revealStart, messageWindow.textGlyphCount) == 1) {
        return Advance();
    }
    if (input == nullptr) return 0;
    if (IsInputLocked()) return 0;
    if (input->IsKeyDown(DIK_SPACE)) {
        StampKeyGuard(input);
        windowHiddenByUser = 1;
        return 0;
    }
    if (WheelMovement(input) != 0 || input->IsKeyDown(DIK_NEXT) || input->IsKeyDown(DIK_PRIOR)) {
        StampKeyGuard(input);
        if (OpenMessageLog(1) != 0) ShowLogShowFailure();
        return 0;
    }
    // Ctrl is read as held every frame: it sets no key guard.
    if (IsCtrlHeld(input)) return SkipPage();
    if (IsClick(input)) {
        StampKeyGuard(input);
        return ClickInTextWait();
    }
    return 0;
}

int32_t CVantEngine::SkipPage() {
    const int32_t result = Advance();
    if (result == 0 && !inputLock.active && !movie.active) CompleteCurrentPage();
    return result;
}

int32_t CVantEngine::UpdateAutoAdvance(CInputState* input) {
    if (autoAdvance.IsElapsed() == 1) return Advance();
    if (input == nullptr || IsInputLocked()) return 0;
    if (IsCtrlHeld(input)) return SkipPage();
    if (IsClick(input)) {
        StampKeyGuard(input);
        return ClickInTextWait();
    }
    return 0;
}

int32_t CVantEngine::UpdateMovie(CInputState* input) {
    if (!IsInputLocked()) movie.SkipOnInput(input);
    if (movie.IsFinished() != 1) return 0;
    char target[kMoviePathSize];
    std::snprintf(target, sizeof target, "%s", movie.jumpTarget);
    movie.Release();
    if (target[0] != '\0') return Load(target);
    return Advance();
}

int32_t IsPageAdvanceDue(CVantEngine* engine, CInputState* input, uint32_t revealStart, int32_t glyphCount) {
    if (!engine->autoMode) return 0;
    if (input != nullptr && IsAnyAdvanceInput(input)) {
        input->keyGuardTime = g_ClockNow;
        engine->autoMode = 0;
        return 0;
    }
    if (g_bPageEffectsDone != 1 || g_bPageTextDone != 1 || g_bPageVoiceDone != 1) return 0;
    const uint32_t due = revealStart + static_cast<uint32_t>(engine->autoUnit) * static_cast<uint32_t>(glyphCount);
    return static_cast<int32_t>(due) <= static_cast<int32_t>(g_GameClock) ? 1 : 0;
}

int32_t CVantEngine::UpdateHiddenWindow(CInputState* input) {
    if (input != nullptr && IsAnyAdvanceInput(input)) {
        StampKeyGuard(input);
        windowHiddenByUser = 0;
    }
    return 0;
}

int32_t CVantEngine::UpdateMessageLog(CInputState* input) {
    if (input == nullptr) return 0;
    const int32_t wheel = WheelMovement(input);
    int32_t result = 0;
    if (input->IsKeyDown(DIK_SPACE) || wheel != 0 || input->IsKeyDown(DIK_NEXT) || input->IsKeyDown(DIK_PRIOR) ||
        IsClickOrCancel(input)) {
        StampKeyGuard(input);
    }
    if (input->IsKeyDown(DIK_SPACE)) windowHiddenByUser = 1;
    if (wheel < 0 || input->IsKeyDown(DIK_NEXT)) result |= messageLog.ShowNewer(&messageWindow, logVoiceChannels);
    if (wheel > 0 || input->IsKeyDown(DIK_PRIOR)) result |= messageLog.ShowOlder(&messageWindow, logVoiceChannels);
    if (result != 0) {
        ShowLogShowFailure();
        return -1;
    }
    if (IsClickOrCancel(input)) {
        messageLog.FadeOutVoices(logVoiceChannels);
        messageLog.SetOpen(0, &messageWindow, logVoiceChannels);
    }
    return 0;
}

int32_t CVantEngine::UpdateSelection(CInputState* input) {
    if (input == nullptr) return 0;
    if (input->IsKeyDown(DIK_SPACE)) {
        StampKeyGuard(input);
        windowHiddenByUser = 1;
        return 0;
    }
    if (WheelMovement(input) != 0) {
        autoMode = 0;
        readHistory.skipOn = 0;
        if (!messageLog.viewOpen && messageLog.SetOpen(1, &messageWindow, logVoiceChannels) != 0) ShowLogShowFailure();
        return 0;
    }
    const bool settled = g_bPageEffectsDone == 1 && g_bPageTextDone == 1;
    if (settled && (g_bPageVoiceDone == 1 || !choiceWindow.waitForVoice)) {
        char target[kScriptNameSize];
        if (choiceWindow.Update(input, target) != 1) return 0;
        // A pick by key or click is acted on once: a Return still held must not complete the
        // next page on the following frame.
        StampKeyGuard(input);
        if (target[0] != '\0') return Load(target);
        return Advance();
    }
    if (IsClick(input)) {
        StampKeyGuard(input);
        CompleteCurrentPage();
        choiceWindow.waitForVoice = 0;
    }
    return 0;
}
