#include "tools/make_sample_game/movies.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <stdexcept>

#include "tools/lib/chunk_writer.h"  // WriteFileAtomically

extern char** environ;

namespace {

constexpr float kCrossFade = 0.8f;

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    if (!WriteFileAtomically(path, bytes.data(), bytes.size())) throw std::runtime_error("cannot write " + path);
}

void Run(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        throw std::runtime_error("cannot start " + arguments[0] + " (install it with scripts/install-deps.sh)");
    int status = 0;
    if (waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(arguments[0] + " failed making " + arguments.back());
}

std::string Seconds(float s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", s);
    return text;
}

}  // namespace

void MakeMovie(const std::vector<SMovieShot>& shots, const SAudio& sound, const std::string& workFolder,
               const std::string& outputPath) {
    if (shots.empty()) throw std::runtime_error("a movie needs at least one shot");
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-loglevel", "error", "-y"};
    float total = 0;
    for (size_t i = 0; i < shots.size(); ++i) {
        const std::string still = workFolder + "/shot" + std::to_string(i) + ".bmp";
        WriteFile(still, EncodeBmp24(shots[i].picture));
        args.insert(args.end(), {"-loop", "1", "-framerate", "25", "-t", Seconds(shots[i].seconds), "-i", still});
        total += shots[i].seconds - (i ? kCrossFade : 0.0f);
    }
    const std::string soundPath = workFolder + "/sound.wav";
    WriteFile(soundPath, EncodeWav16(sound));
    args.insert(args.end(), {"-i", soundPath});

    // Each still scaled to the screen, the stills cross-faded in turn, the whole faded from and
    // to black.
    std::string filter;
    for (size_t i = 0; i < shots.size(); ++i) {
        const std::string n = std::to_string(i);
        filter.append("[").append(n).append(":v]scale=800:600,format=yuv420p,setsar=1[s").append(n).append("];");
    }
    std::string last = "s0";
    float offset = 0;
    for (size_t i = 1; i < shots.size(); ++i) {
        offset += shots[i - 1].seconds - kCrossFade;
        std::string out = "x";
        out += std::to_string(i);
        filter.append("[").append(last).append("][s").append(std::to_string(i)).append("]xfade=transition=fade:duration=");
        filter.append(Seconds(kCrossFade)).append(":offset=").append(Seconds(offset)).append("[").append(out).append("];");
        last = out;
    }
    filter.append("[").append(last).append("]fade=t=in:st=0:d=0.6,fade=t=out:st=");
    filter.append(Seconds(total - 0.6f)).append(":d=0.6[v]");

    args.insert(args.end(), {"-filter_complex", filter, "-map", "[v]", "-map", std::to_string(shots.size()) + ":a",
                             "-t", Seconds(total), "-r", "25", "-c:v", "mpeg1video", "-q:v", "4", "-c:a", "mp2",
                             "-ar", "44100", "-b:a", "128k", "-threads", "1", "-fflags", "+bitexact", "-flags:v",
                             "+bitexact", "-flags:a", "+bitexact", "-f", "mpeg", outputPath});
    Run(args);
}
