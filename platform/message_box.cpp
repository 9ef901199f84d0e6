#include "platform/message_box.h"

#include <SDL.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/sjis.h"

namespace {

std::atomic<bool> g_suppress{false};
std::mutex g_shownMutex;
std::vector<std::string> g_shown;

bool CanShowWindow() {
    if (g_suppress.load() || !SDL_WasInit(SDL_INIT_VIDEO)) return false;
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver != nullptr && std::strcmp(driver, "dummy") != 0 && std::strcmp(driver, "offscreen") != 0;
}

}  // namespace

void ShowMessageBox(const char* textSjis, const char* captionSjis, uint32_t style) {
    const std::string text = SjisToUtf8(textSjis ? textSjis : "");
    const std::string caption = SjisToUtf8(captionSjis ? captionSjis : "");
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
    {
        std::lock_guard<std::mutex> lock(g_shownMutex);
        g_shown.push_back(std::string(captionSjis ? captionSjis : "") + "|" + (textSjis ? textSjis : ""));
    }
    if (!CanShowWindow()) return;
    const Uint32 flags = (style & MessageBoxStyle::IconError) ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
    SDL_ShowSimpleMessageBox(flags, caption.c_str(), text.c_str(), nullptr);
}

void SuppressMessageBoxWindows(bool suppress) { g_suppress.store(suppress); }

std::vector<std::string> TakeShownMessages() {
    std::lock_guard<std::mutex> lock(g_shownMutex);
    std::vector<std::string> out;
    out.swap(g_shown);
    return out;
}
