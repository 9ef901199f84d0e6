#include "tests/support/movie_files.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char** environ;

namespace {

// Runs the ffmpeg tool; with `output`, what it writes to stdout is kept there.
bool RunFfmpeg(std::vector<std::string> arguments, std::string* output = nullptr) {
    arguments.insert(arguments.begin(), {"ffmpeg", "-nostdin", "-hide_banner"});
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    int pipeEnds[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output != nullptr) {
        if (pipe(pipeEnds) != 0) {
            posix_spawn_file_actions_destroy(&actions);
            return false;
        }
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
    }
    pid_t pid = 0;
    const bool spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (output != nullptr) {
        close(pipeEnds[1]);
        char buffer[4096];
        for (ssize_t got; spawned && (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
            output->append(buffer, static_cast<size_t>(got));
        close(pipeEnds[0]);
    }
    int status = 0;
    return spawned && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

bool MakeTestMovie(const std::string& path, const std::vector<std::string>& codecArguments) {
    std::vector<std::string> arguments = {
        "-loglevel", "error", "-y",
        "-f", "lavfi", "-i", "color=c=0xFF0000:s=320x240:r=25:d=1",
        "-f", "lavfi", "-i", "color=c=0x00FF00:s=320x240:r=25:d=1",
        "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=2",
        "-filter_complex", "[0:v]drawbox=x=160:y=0:w=160:h=240:color=0x0000FF:t=fill[a];[a][1:v]concat=n=2:v=1:a=0[v]",
        "-map", "[v]", "-map", "2:a", "-threads", "1"};
    arguments.insert(arguments.end(), codecArguments.begin(), codecArguments.end());
    arguments.push_back(path);
    return RunFfmpeg(arguments);
}

bool MakeTestMovie(const std::string& path) {
    return MakeTestMovie(path, {"-c:v", "mpeg1video", "-q:v", "2", "-c:a", "mp2", "-b:a", "128k", "-f", "mpeg"});
}

bool MakeLongTestMovie(const std::string& path) {
    return RunFfmpeg({"-loglevel", "error", "-y", "-f", "lavfi", "-i", "color=c=0xFF0000:s=160x120:r=25:d=20",
                      "-f", "lavfi", "-i", "color=c=0x00FF00:s=160x120:r=25:d=10", "-filter_complex",
                      "[0:v][1:v]concat=n=2:v=1:a=0[v]", "-map", "[v]", "-c:v", "mpeg1video", "-g", "12",
                      "-threads", "1", "-f", "mpeg", path});
}

bool HasFfmpegEncoder(const std::string& name) {
    std::string help;
    return RunFfmpeg({"-h", "encoder=" + name}, &help) && help.rfind("Encoder " + name + " ", 0) == 0;
}

void ShiftVideoTimes(std::vector<uint8_t>* movie, size_t from, size_t to, int64_t seconds) {
    std::vector<uint8_t>& b = *movie;
    // A time is 33 bits in five bytes, with marker bits between its parts.
    const auto read = [&b](size_t p) {
        return static_cast<int64_t>(b[p] >> 1 & 7) << 30 | static_cast<int64_t>(b[p + 1]) << 22 |
               static_cast<int64_t>(b[p + 2] >> 1) << 15 | static_cast<int64_t>(b[p + 3]) << 7 | b[p + 4] >> 1;
    };
    const auto write = [&b](size_t p, int64_t time) {
        b[p] = static_cast<uint8_t>((b[p] & 0xF0) | (time >> 29 & 0x0E) | 1);
        b[p + 1] = static_cast<uint8_t>(time >> 22);
        b[p + 2] = static_cast<uint8_t>((time >> 14 & 0xFE) | 1);
        b[p + 3] = static_cast<uint8_t>(time >> 7);
        b[p + 4] = static_cast<uint8_t>(time << 1 | 1);
    };
    for (size_t i = from; i < to && i + 40 < b.size(); ++i) {
        if (b[i] != 0 || b[i + 1] != 0 || b[i + 2] != 1 || b[i + 3] != 0xE0) continue;
        size_t p = i + 6;  // past the packet's length: stuffing, buffer size, then the times
        while (p < i + 22 && b[p] == 0xFF) ++p;
        if (b[p] >> 6 == 1) p += 2;
        const int times = b[p] >> 4 == 3 ? 2 : b[p] >> 4 == 2 ? 1 : 0;
        for (int t = 0; t < times; ++t, p += 5) write(p, read(p) + seconds * 90000);
    }
}
