#include "text/message_log.h"

#include <cstring>
#include <new>

#include "platform/render_context.h"
#include "sound/sound_channel.h"

namespace {

// The voice a channel plays, or is about to play, as a log slot.
CLogVoice VoiceOf(const CSoundChannel& channel) {
    CLogVoice voice = {};
    if (!channel.active || !channel.IsPlayCommand()) return voice;
    voice.used = 1;
    std::memcpy(voice.name, channel.name, sizeof(voice.name));
    voice.name[sizeof(voice.name) - 1] = '\0';
    voice.playCount = channel.CurrentPlayCount();
    voice.loopBack = channel.CurrentLoopBack();
    voice.volume = channel.CurrentVolume();
    voice.pan = channel.CurrentPan();
    voice.tempo = channel.CurrentTempo();
    return voice;
}

}  // namespace

int32_t CMessageLog::AddPage(const CMessageWindow* window, const CSoundChannel voiceChannels[kLogVoiceCount]) {
    std::unique_ptr<CMessageLogEntry> entry(new (std::nothrow) CMessageLogEntry());
    if (!entry) return -1;
    // The text and its character count + 1 format records.
    window->CopyText(entry->text, entry->formats);
    entry->text[sizeof(entry->text) - 1] = '\0';
    std::memcpy(entry->name, window->name, sizeof(entry->name));
    entry->name[sizeof(entry->name) - 1] = '\0';
    for (int32_t i = 0; i < kLogVoiceCount; ++i) entry->voices[i] = VoiceOf(voiceChannels[i]);
    try {
        entries.push_front(std::move(entry));
    } catch (const std::bad_alloc&) {
        return -1;
    }
    if (Count() > kMessageLogCapacity) entries.pop_back();
    if (shownIndex >= Count()) shownIndex = Count() - 1;
    return 0;
}

int32_t CMessageLog::ShowEntry(CMessageWindow* window, CSoundChannel logChannels[kLogVoiceCount],
                               const CMessageLogEntry& entry) {
    int32_t result = 0;
    if (window->BuildLogNameGlyphs(entry.name) != 0) result = -1;
    if (window->BuildLogTextGlyphs(entry.text, entry.formats) != 0) result = -1;
    for (int32_t i = 0; i < kLogVoiceCount; ++i) logChannels[i].Release();
    for (int32_t i = 0; i < kLogVoiceCount; ++i) {
        const CLogVoice& voice = entry.voices[i];
        if (!voice.used) continue;
        CSoundChannel& channel = logChannels[i];
        if (channel.LoadSound(kSoundKindVoice, voice.name) != 0) return -1;
        channel.player->SetVolume(voice.volume, -1.0f);
        channel.player->SetPan(voice.pan, -1.0f);
        channel.player->SetRate(voice.tempo, -1.0f);
        channel.volume = voice.volume;
        channel.pan = voice.pan;
        channel.tempo = voice.tempo;
        channel.playCount = voice.playCount;
        channel.loopBack = voice.loopBack;
        // The log's channels are not stamped by the pages: their commands count from the showing.
        channel.startTime = g_GameClock;
    }
    return result;
}

int32_t CMessageLog::SetOpen(int32_t open, CMessageWindow* window, CSoundChannel logChannels[kLogVoiceCount]) {
    if (!open) {
        FadeOutVoices(logChannels);
        viewOpen = 0;
        return 0;
    }
    if (entries.empty()) return -1;
    shownIndex = 0;
    if (ShowEntry(window, logChannels, *entries.front()) != 0) return -1;
    viewOpen = 1;
    return 0;
}

int32_t CMessageLog::ShowOlder(CMessageWindow* window, CSoundChannel logChannels[kLogVoiceCount]) {
    if (!viewOpen) return SetOpen(1, window, logChannels);
    if (shownIndex + 1 >= Count()) return 0;
    ++shownIndex;
    return ShowEntry(window, logChannels, *entries[static_cast<size_t>(shownIndex)]);
}

int32_t CMessageLog::ShowNewer(CMessageWindow* window, CSoundChannel logChannels[kLogVoiceCount]) {
    if (!viewOpen) return SetOpen(1, window, logChannels);
    if (shownIndex <= 0) return 0;
    --shownIndex;
    return ShowEntry(window, logChannels, *entries[static_cast<size_t>(shownIndex)]);
}

void CMessageLog::FadeOutVoices(CSoundChannel logChannels[kLogVoiceCount]) const {
    if (!viewOpen) return;
    for (int32_t i = 0; i < kLogVoiceCount; ++i) {
        CSoundChannel& channel = logChannels[i];
        if (!channel.active) continue;
        channel.status.pending = 1;
        channel.status.command = 3;
        channel.status.fadeSpeed = 8.0f;
        channel.status.delay = 0;
    }
}

int32_t CMessageLog::GetEntry(int32_t index, CMessageLogEntry* entry) const {
    if (index < 0 || index >= Count()) return -1;
    *entry = *entries[static_cast<size_t>(index)];
    return 0;
}

void CMessageLog::RemoveAll() {
    entries.clear();
    viewOpen = 0;
    shownIndex = 0;
}
