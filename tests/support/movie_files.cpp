#include "tests/support/movie_files.h"

#include <spawn.h>
#include <sys/wait.h>

#include <vector>

extern char** environ;

bool MakeTestMovie(const std::string& path) {
    const std::vector<std::string> arguments = {
        "ffmpeg", "-nostdin", "-loglevel", "error", "-y",
        "-f", "lavfi", "-i", "color=c=0xFF0000:s=320x240:r=25:d=1",
        "-f", "lavfi", "-i", "color=c=0x00FF00:s=320x240:r=25:d=1",
        "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=2",
        "-filter_complex", "[0:v]drawbox=x=160:y=0:w=160:h=240:color=0x0000FF:t=fill[a];[a][1:v]concat=n=2:v=1:a=0[v]",
        "-map", "[v]", "-map", "2:a", "-c:v", "mpeg1video", "-q:v", "2", "-c:a", "mp2", "-b:a", "128k",
        "-threads", "1", "-f", "mpeg", path};
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
