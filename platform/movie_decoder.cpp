#include "platform/movie_decoder.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "platform/movie_module.h"
#include "platform/paths.h"

// A program that links the decoder in (the tests, the fuzzers, the benchmarks) uses that one; the
// game links none and loads the module.
#pragma weak VelkoraMovieDecoder

namespace {

SMovieOpeners g_openers;

int OpenMovieFile(const char* path) { return OpenRegularFileFd(ResolveGamePath(path).c_str(), O_RDONLY); }

constexpr SMovieHost kHost = {OpenMovieFile};

// The decoder is found once, on the first open, by whichever thread opens first. Until a test
// names another module, the outcome stands: a failed load costs each later open nothing.
std::mutex g_decoderMutex;
std::string g_testModulePath;
bool g_decoderSought = false;
const SMovieDecoderOps* g_decoder = nullptr;

const SMovieDecoderOps* Refuse(const std::string& path, const std::string& reason) {
    std::fprintf(stderr, "cannot load the movie decoder \"%s\": %s\n", path.c_str(), reason.c_str());
    return nullptr;
}

// The module stays loaded for the rest of the run: its code runs every decoder it makes.
const SMovieDecoderOps* LoadModule(const std::string& path) {
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) return Refuse(path, ::dlerror());
    const auto entry = reinterpret_cast<MovieDecoderEntry>(::dlsym(module, VELKORA_MOVIE_ENTRY));
    if (entry == nullptr) {
        const std::string reason = ::dlerror();
        ::dlclose(module);
        return Refuse(path, reason);
    }
    const SMovieDecoderOps* decoder = entry(&kHost);
    if (decoder == nullptr) {
        ::dlclose(module);
        return Refuse(path, "its entry point gave no decoder");
    }
    return decoder;
}

// The module in the program's own folder, whichever folder the program was started from.
const SMovieDecoderOps* LoadModuleBesideProgram() {
    char program[4096];
    const ssize_t length = ::readlink("/proc/self/exe", program, sizeof program);
    if (length <= 0 || length == sizeof program)
        return Refuse(kMovieModuleFile, "the program's own folder is unknown");
    const std::string path(program, static_cast<size_t>(length));
    return LoadModule(path.substr(0, path.rfind('/') + 1) + kMovieModuleFile);
}

const SMovieDecoderOps* Decoder() {
    std::lock_guard<std::mutex> lock(g_decoderMutex);
    if (!g_decoderSought) {
        g_decoderSought = true;
        if (!g_testModulePath.empty()) {
            g_decoder = LoadModule(g_testModulePath);
        } else if (VelkoraMovieDecoder != nullptr) {
            g_decoder = VelkoraMovieDecoder(&kHost);
        } else {
            g_decoder = LoadModuleBesideProgram();
        }
    }
    return g_decoder;
}

}  // namespace

std::unique_ptr<IMovieVideo> OpenMovieVideo(const char* path) {
    if (g_openers.video != nullptr) return g_openers.video(path);
    const SMovieDecoderOps* decoder = Decoder();
    return std::unique_ptr<IMovieVideo>(decoder != nullptr ? decoder->openVideo(path) : nullptr);
}

std::unique_ptr<IMovieAudio> OpenMovieAudio(const char* path) {
    if (g_openers.audio != nullptr) return g_openers.audio(path);
    const SMovieDecoderOps* decoder = Decoder();
    return std::unique_ptr<IMovieAudio>(decoder != nullptr ? decoder->openAudio(path) : nullptr);
}

void SetMovieOpeners(const SMovieOpeners& openers) { g_openers = openers; }

void SetMovieModulePath(const char* path) {
    std::lock_guard<std::mutex> lock(g_decoderMutex);
    g_testModulePath = path != nullptr ? path : "";
    g_decoderSought = false;
    g_decoder = nullptr;
}

// Frames are counted by the decoder in use; none has decoded any before it is found.
uint64_t DecodedMovieFrames() {
    std::lock_guard<std::mutex> lock(g_decoderMutex);
    return g_decoder != nullptr ? g_decoder->decodedFrames() : 0;
}
