#include "app/system_data.h"

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/main_window.h"
#include "files/atomic_file.h"
#include "files/scrambled_io.h"
#include "platform/input_state.h"
#include "platform/paths.h"
#include "platform/render_context.h"

const char kSystemDataFileName[] = "System.sys";
CConfigBlock g_Config;
uint8_t g_PersistentGameFlags[kPersistentFlagCount];
uint8_t g_SystemCgFlags[kSystemCgFlagCount];
uint8_t g_SystemMovieFlags[kSystemMovieFlagCount];

// The stored integers are the little-endian bytes of the fields as they are in memory.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr uint32_t kBufferSize = 4096;
constexpr uint32_t kFaceSize = sizeof(CEngineSettings::font.face);

// Everything System.sys stores after its key.
struct CStoredSystemData {
    uint32_t windowed;
    CConfigBlock config;
    uint8_t persistent[kPersistentFlagCount];
    uint8_t cg[kSystemCgFlagCount];
    uint8_t movie[kSystemMovieFlagCount];
};

// Hands every stored field to `field(pointer, size)` in file order; the font face, stored
// with its length in front, goes to `face(settings)` in its place. Stops when a call returns
// false.
template <typename Field, typename Face>
bool ForEachStoredField(CStoredSystemData* data, Field field, Face face) {
    CConfigBlock& c = data->config;
    CEngineSettings& s = c.settings;
    auto all = [&](auto... items) { return (field(items.first, items.second) && ...); };
    auto item = [](auto& value) { return std::pair<void*, uint32_t>(&value, static_cast<uint32_t>(sizeof value)); };
    return all(item(data->windowed), item(c.rightClick), item(c.bgmOff), item(c.seOff), item(c.voiceOff),
               item(s.windowColour), item(s.fontMode)) &&
           face(&s) &&
           all(item(s.font.height), item(s.font.bold), item(s.font.italic), item(s.font.colour), item(s.textFlags),
               item(s.textEffect), item(s.textSpeed), item(s.autoWait), item(s.skipUnread), item(s.modelAntialias),
               item(s.effectsOn), item(s.modelEdge), item(s.bgmVolume), item(s.voiceVolume), item(s.seVolume),
               item(data->persistent), item(data->cg), item(data->movie));
}

void DefaultConfig(CConfigBlock* config) {
    std::memset(config, 0, sizeof *config);
    SetDefaultEngineSettings(&config->settings);
    config->settings.fontMode = 0;
    config->settings.font.height = 22;
    config->settings.textFlags = 2;
    config->settings.textSpeed = 137;
    config->settings.bgmVolume = -2000;
    config->settings.voiceVolume = -2000;
    config->settings.seVolume = -2000;
}

std::string SystemFilePath() { return std::string(g_SaveFolder) + kSystemDataFileName; }

void Publish(const CStoredSystemData& data) {
    g_Config = data.config;
    std::memcpy(g_PersistentGameFlags, data.persistent, sizeof g_PersistentGameFlags);
    std::memcpy(g_SystemCgFlags, data.cg, sizeof g_SystemCgFlags);
    std::memcpy(g_SystemMovieFlags, data.movie, sizeof g_SystemMovieFlags);
}

// Reads the stored fields over the defaults; fields beyond a short file keep their defaults.
// False when the file is damaged (a face length outside 1..32).
bool ReadStoredData(CReadStream* stream, CStoredSystemData* data) {
    if (stream->Read(g_SystemDataKey, kScrambleKeySize) != static_cast<int32_t>(kScrambleKeySize)) return true;
    bool damaged = false;
    auto field = [&](void* at, uint32_t size) { return ReadSystemScrambled(stream, at, size) == static_cast<int32_t>(size); };
    auto face = [&](CEngineSettings* settings) {
        uint32_t length = 0;
        if (!field(&length, sizeof length)) return false;
        if (length == 0 || length > kFaceSize) {
            damaged = true;
            return false;
        }
        std::memset(settings->font.face, 0, kFaceSize);
        const bool complete = field(settings->font.face, length);
        settings->font.face[kFaceSize - 1] = 0;
        return complete;
    };
    ForEachStoredField(data, field, face);
    return !damaged;
}

}  // namespace

void InitGlobals() {
    std::memset(&g_Input, 0, sizeof g_Input);
    std::memset(&g_Config, 0, sizeof g_Config);
    g_SavedWindowRect = SRect{0, 0, 0, 0};
    std::memset(g_PersistentGameFlags, 0, sizeof g_PersistentGameFlags);
    std::memset(g_SystemCgFlags, 0, sizeof g_SystemCgFlags);
    std::memset(g_SystemMovieFlags, 0, sizeof g_SystemMovieFlags);
    g_FrameTime = 0;
    g_bWindowed = 1;
}

int32_t SetDefaultSystemData() {
    const int32_t displayed = SetDisplayMode(1);
    CStoredSystemData data{};
    DefaultConfig(&data.config);
    Publish(data);
    return displayed == 0 ? 1 : 0;
}

int32_t LoadSystemData() {
    CReadStream stream;
    if (g_SaveFolder[0] == 0 || stream.OpenFile(SystemFilePath().c_str()) != 0) return SetDefaultSystemData();
    stream.blockMode = 1;
    if (stream.AllocBuffer(kBufferSize) != 0) return 0;
    CStoredSystemData data{};
    data.windowed = 1;
    DefaultConfig(&data.config);
    const bool intact = ReadStoredData(&stream, &data);
    stream.Close();
    if (!intact) return SetDefaultSystemData();
    Publish(data);
    return SetDisplayMode(data.windowed != 0 ? 1 : 0) == 0 ? 1 : 0;
}

int32_t SaveSystemData() {
    if (g_SaveFolder[0] == 0) {
        std::fprintf(stderr, "%s not written: there is no save folder\n", kSystemDataFileName);
        return 0;
    }
    const std::string folder(g_SaveFolder);
    const std::string path = SystemFilePath();
    if (MakeDirectories(folder.substr(0, folder.size() - 1)) != 0) {
        ReportUnwrittenFile(path.c_str(), errno);
        return 0;
    }
    CAtomicFile target;
    CWriteStream stream;
    stream.file = target.Begin(path.c_str());
    if (stream.file == nullptr) {
        ReportUnwrittenFile(path.c_str(), target.error);
        return 0;
    }
    if (stream.AllocBuffer(kBufferSize) != 0) {
        stream.file = nullptr;
        ReportUnwrittenFile(path.c_str(), ENOMEM);
        return 0;
    }
    for (uint8_t& byte : g_SystemDataKey) byte = static_cast<uint8_t>(std::rand() % 256);
    stream.Write(g_SystemDataKey, kScrambleKeySize);

    CStoredSystemData data{};
    data.windowed = g_bWindowed;
    data.config = g_Config;
    data.config.settings.font.face[kFaceSize - 1] = 0;
    std::memcpy(data.persistent, g_PersistentGameFlags, sizeof data.persistent);
    std::memcpy(data.cg, g_SystemCgFlags, sizeof data.cg);
    std::memcpy(data.movie, g_SystemMovieFlags, sizeof data.movie);
    auto field = [&](const void* at, uint32_t size) { return WriteSystemScrambled(&stream, at, size) == size; };
    auto face = [&](CEngineSettings* settings) {
        const uint32_t length = static_cast<uint32_t>(std::strlen(settings->font.face)) + 1;
        return field(&length, sizeof length) && field(settings->font.face, length);
    };
    const bool written = ForEachStoredField(&data, field, face);
    const bool committed = written && target.Commit(&stream);
    stream.file = nullptr;  // the file belongs to the atomic writer, which removes it on failure
    stream.Close();
    if (!committed) ReportUnwrittenFile(path.c_str(), written ? target.error : stream.error);
    return committed ? 1 : 0;
}

void MergeCgFlags(const uint8_t* flags) {
    for (uint32_t i = 0; i < kSystemCgFlagCount; ++i) g_SystemCgFlags[i] |= flags[i];
}

void MergeMovieFlags(const uint8_t* flags) {
    for (uint32_t i = 0; i < kSystemMovieFlagCount; ++i) g_SystemMovieFlags[i] |= flags[i];
}
