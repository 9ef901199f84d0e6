#include "platform/message_box.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/desktop_dialog.h"
#include "platform/sjis.h"
#include "platform/window_sdl.h"

namespace {

std::atomic<bool> g_suppress{false};
std::mutex g_shownMutex;
std::vector<std::string> g_shown;
// Only tests take the kept boxes; a long run keeps the latest few.
constexpr size_t kKeptMessages = 64;

bool EnvSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

// stderr gets exactly one line per box.
std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return text;
}

// SDL's box, or the test hook that stands in for it. 0 shown, -1 not.
int32_t ShowSdlBox(const std::string& caption, const std::string& text, uint32_t style) {
    const bool error = (style & MessageBoxStyle::IconError) != 0;
    if (DesktopDialogsHooked()) {
        const SDesktopDialogHooks hooks = GetDesktopDialogHooks();
        return hooks.sdlMessageBox ? hooks.sdlMessageBox(caption, text, error) : -1;
    }
    const Uint32 flags = error ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
    return SDL_ShowSimpleMessageBox(flags, caption.c_str(), text.c_str(), GetSdlWindow(GetPlatformWindow())) == 0 ? 0
                                                                                                                 : -1;
}

}  // namespace

// Windows would block the run until someone clicks them: they are shown only on a real display,
// and never when tests or scripted runs suppress them (VELKORA_NO_MESSAGE_WINDOWS).
bool CanShowMessageWindows() {
    if (g_suppress.load() || EnvSet("VELKORA_NO_MESSAGE_WINDOWS")) return false;
    if (SDL_WasInit(SDL_INIT_VIDEO)) return !IsSdlVideoHeadless();
    return EnvSet("DISPLAY") || EnvSet("WAYLAND_DISPLAY");
}

void ShowMessageBox(const char* textSjis, const char* captionSjis, uint32_t style) {
    const std::string text = SjisToUtf8(textSjis ? textSjis : "");
    const std::string caption = SjisToUtf8(captionSjis ? captionSjis : "");
    std::fprintf(stderr, "[%s] %s\n", OneLine(caption).c_str(), OneLine(text).c_str());
    {
        std::lock_guard<std::mutex> lock(g_shownMutex);
        if (g_shown.size() >= kKeptMessages) g_shown.erase(g_shown.begin());
        g_shown.push_back(std::string(captionSjis ? captionSjis : "") + "|" + (textSjis ? textSjis : ""));
    }
    if (!CanShowMessageWindows() && !DesktopDialogsHooked()) return;
    // SDL's X11 box draws with the X server's core fonts, which often lack Japanese: it may
    // "succeed" with the text left blank. A desktop dialog draws through fontconfig, so it comes
    // first; SDL's box serves where no dialog program is installed, and stderr has the text in
    // any case.
    if (ShowDesktopMessage(textSjis, captionSjis, (style & MessageBoxStyle::IconError) != 0) == 0) return;
    if (ShowSdlBox(caption, text, style) != 0) std::fprintf(stderr, "(no message window could be shown)\n");
}

void SuppressMessageBoxWindows(bool suppress) { g_suppress.store(suppress); }

std::vector<std::string> TakeShownMessages() {
    std::lock_guard<std::mutex> lock(g_shownMutex);
    std::vector<std::string> out;
    out.swap(g_shown);
    return out;
}
