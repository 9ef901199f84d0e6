#include "platform/desktop_dialog.h"

#include <SDL_syswm.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "platform/message_box.h"
#include "platform/sjis.h"
#include "platform/window_sdl.h"

extern char** environ;

namespace {

constexpr int kPumpIntervalMs = 20;

std::mutex g_hooksMutex;
SDesktopDialogHooks g_hooks;

// The program's full path from PATH, or "" when it is not installed.
std::string FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        const std::string folder = end > start ? folders.substr(start, end - start) : ".";
        const std::string candidate = folder + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return "";
}

// Reads what the pipe holds now. False once the program has closed it.
bool ReadAvailable(int fd, std::string* output) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            output->append(buffer, static_cast<size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return n < 0 && errno == EAGAIN;
        }
    }
}

// Starts the program with its standard output on a pipe (its errors are dropped: dialog
// programs print toolkit warnings there) and waits for it, calling the pump in between.
SDesktopProgramRun RunProgram(const std::vector<std::string>& argv, const DesktopDialogPump& pump) {
    SDesktopProgramRun run;
    const std::string program = argv.empty() ? "" : FindProgram(argv[0]);
    int pipeFds[2];
    if (program.empty() || ::pipe2(pipeFds, O_CLOEXEC) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        return run;
    }
    run.started = true;
    ::fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
    bool open = true;
    int waitStatus = 0;
    for (;;) {
        pollfd readable = {pipeFds[0], POLLIN, 0};
        if (!open) {
            ::usleep(kPumpIntervalMs * 1000);
        } else if (::poll(&readable, 1, kPumpIntervalMs) > 0) {
            open = ReadAvailable(pipeFds[0], &run.output);
        }
        const pid_t done = ::waitpid(child, &waitStatus, WNOHANG);
        if (done == child || (done < 0 && errno != EINTR)) break;
        if (pump) pump();
    }
    if (open) ReadAvailable(pipeFds[0], &run.output);
    ::close(pipeFds[0]);
    run.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
    return run;
}

SDesktopProgramRun Run(const std::vector<std::string>& argv, const DesktopDialogPump& pump) {
    std::function<SDesktopProgramRun(const std::vector<std::string>&)> hook;
    {
        std::lock_guard<std::mutex> lock(g_hooksMutex);
        hook = g_hooks.runProgram;
    }
    return hook ? hook(argv) : RunProgram(argv, pump);
}

// The X11 id of the game window, so that a dialog stays above it (even in full screen); 0 when
// there is none.
unsigned long GameWindowId() {
    SDL_Window* window = GetSdlWindow(GetPlatformWindow());
    if (window == nullptr || IsSdlVideoHeadless()) return 0;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_X11) return 0;
    return static_cast<unsigned long>(info.info.x11.window);
}

// zenity reads C escapes in its texts: a backslash must stand doubled.
std::string ZenityText(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') out += '\\';
        out += c;
    }
    return out;
}

std::vector<std::string> ZenityCommand(const std::string& kind, const std::string& title) {
    std::vector<std::string> argv = {"zenity", kind, "--title=" + title, "--modal"};
    if (const unsigned long id = GameWindowId(); id != 0) argv.push_back("--attach=" + std::to_string(id));
    return argv;
}

std::vector<std::string> KdialogCommand(const std::string& title) {
    std::vector<std::string> argv = {"kdialog", "--title", title};
    if (const unsigned long id = GameWindowId(); id != 0) argv.insert(argv.end(), {"--attach", std::to_string(id)});
    return argv;
}

bool MayShowDialogs() { return DesktopDialogsHooked() || CanShowMessageWindows(); }

// The chosen path from a dialog's output: its first line.
std::string FirstLine(const std::string& output) { return output.substr(0, output.find('\n')); }

}  // namespace

void SetDesktopDialogHooks(SDesktopDialogHooks hooks) {
    std::lock_guard<std::mutex> lock(g_hooksMutex);
    g_hooks = std::move(hooks);
}

SDesktopDialogHooks GetDesktopDialogHooks() {
    std::lock_guard<std::mutex> lock(g_hooksMutex);
    return g_hooks;
}

bool DesktopDialogsHooked() {
    std::lock_guard<std::mutex> lock(g_hooksMutex);
    return static_cast<bool>(g_hooks.runProgram);
}

// A message box counts as shown when the program ran and was closed by its button (0) or by
// the window's close button or Escape (1).
int32_t ShowDesktopMessage(const char* textSjis, const char* captionSjis, bool error) {
    const std::string text = SjisToUtf8(textSjis != nullptr ? textSjis : "");
    const std::string caption = SjisToUtf8(captionSjis != nullptr ? captionSjis : "");
    std::vector<std::string> zenity = ZenityCommand(error ? "--error" : "--info", caption);
    zenity.insert(zenity.end(), {"--no-markup", "--text=" + ZenityText(text)});
    std::vector<std::string> kdialog = KdialogCommand(caption);
    kdialog.insert(kdialog.end(), {error ? "--error" : "--msgbox", text});
    for (const auto* argv : {&zenity, &kdialog}) {
        const SDesktopProgramRun run = Run(*argv, nullptr);
        if (run.started && (run.status == 0 || run.status == 1)) return 0;
    }
    return -1;
}

ESaveFileChoice ChooseSaveFile(const char* titleSjis, const std::string& start, const std::string& filterName,
                               const std::string& pattern, const DesktopDialogPump& pump, std::string* chosen) {
    if (!MayShowDialogs()) return ESaveFileChoice::Unavailable;
    const std::string title = SjisToUtf8(titleSjis != nullptr ? titleSjis : "");
    std::vector<std::string> zenity = ZenityCommand("--file-selection", title);
    zenity.insert(zenity.end(), {"--save", "--confirm-overwrite", "--file-filter=" + filterName + " | " + pattern});
    if (!start.empty()) zenity.push_back("--filename=" + start);
    std::vector<std::string> kdialog = KdialogCommand(title);
    kdialog.insert(kdialog.end(), {"--getsavefilename", start.empty() ? "." : start, pattern + "|" + filterName});
    for (const auto* argv : {&zenity, &kdialog}) {
        const SDesktopProgramRun run = Run(*argv, pump);
        if (!run.started || (run.status != 0 && run.status != 1)) continue;  // try the next program
        const std::string path = FirstLine(run.output);
        if (run.status != 0 || path.empty()) return ESaveFileChoice::Cancelled;
        *chosen = path;
        return ESaveFileChoice::Chosen;
    }
    return ESaveFileChoice::Unavailable;
}
