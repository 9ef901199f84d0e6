// The message log: the 32 most recent pages the player has seen (name, text, per-character
// formats and the voices that played with them), paged through inside the message window and
// read by the backlog screen.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>

#include "text/message_window.h"

struct CSoundChannel;

constexpr int32_t kMessageLogCapacity = 32;
constexpr int32_t kLogVoiceCount = 4;

struct CLogVoice {
    int32_t used;
    char name[260];
    int32_t playCount;
    int32_t loopBack;
    int32_t volume;
    int32_t pan;
    int32_t tempo;
};

struct CMessageLogEntry {
    char name[16];
    char text[256];
    CTextFormat formats[256];
    CLogVoice voices[kLogVoiceCount];
};

struct CMessageLog {
    int32_t viewOpen = 0;
    std::deque<std::unique_ptr<CMessageLogEntry>> entries;  // front = newest
    int32_t shownIndex = 0;

    CMessageLog() = default;
    CMessageLog(const CMessageLog&) = delete;
    CMessageLog& operator=(const CMessageLog&) = delete;
    ~CMessageLog() { RemoveAll(); }

    int32_t Count() const { return static_cast<int32_t>(entries.size()); }
    // Adds the finished page with the voices that play or are about to. 0, non-zero without memory.
    int32_t AddPage(const CMessageWindow* window, const CSoundChannel voiceChannels[kLogVoiceCount]);
    // Opens the view at the newest entry (-1 when the log is empty or the entry cannot be shown),
    // or closes it (the log voices fade out first).
    int32_t SetOpen(int32_t open, CMessageWindow* window, CSoundChannel logChannels[kLogVoiceCount]);
    // Step the view; a closed view opens at the newest entry. 0, or -1 on failure.
    int32_t ShowOlder(CMessageWindow* window, CSoundChannel logChannels[kLogVoiceCount]);
    int32_t ShowNewer(CMessageWindow* window, CSoundChannel logChannels[kLogVoiceCount]);
    // Shows the entry in the window and loads its voices into the log channels. 0 or -1.
    static int32_t ShowEntry(CMessageWindow* window, CSoundChannel logChannels[kLogVoiceCount],
                             const CMessageLogEntry& entry);
    // While the view is open, every active log channel gets a fade-out.
    void FadeOutVoices(CSoundChannel logChannels[kLogVoiceCount]) const;
    // Copies entry #index (0 = newest); -1 when there is no such entry.
    int32_t GetEntry(int32_t index, CMessageLogEntry* entry) const;
    void RemoveAll();
};
