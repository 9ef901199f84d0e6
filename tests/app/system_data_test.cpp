#include "app/system_data.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "files/scrambled_io.h"
#include "platform/paths.h"
#include "tests/files/temp_folder.h"

namespace {

void PutAt(std::vector<uint8_t>* out, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) (*out)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// The u32 fields of System.sys besides the display mode: offset (from the file's start, or from
// the end of the font face), a stored value and where the loaded value lands.
struct SStoredField {
    size_t at;
    bool afterFace;
    uint32_t value;
    uint32_t (*loaded)();
};
const SStoredField kStoredFields[] = {
    {36, false, 1, [] { return g_Config.rightClick; }},
    {40, false, 0, [] { return g_Config.bgmOff; }},
    {44, false, 1, [] { return g_Config.seOff; }},
    {48, false, 0, [] { return g_Config.voiceOff; }},
    {52, false, 0x80FFFFFF, [] { return g_Config.settings.windowColour; }},
    {56, false, 1, [] { return g_Config.settings.fontMode; }},
    {0, true, 30, [] { return static_cast<uint32_t>(g_Config.settings.font.height); }},
    {6, true, 0xFF00FF00, [] { return g_Config.settings.font.colour; }},
    {10, true, 1, [] { return g_Config.settings.textFlags; }},
    {14, true, 5, [] { return g_Config.settings.textEffect; }},
    {18, true, 50, [] { return g_Config.settings.textSpeed; }},
    {22, true, 400, [] { return g_Config.settings.autoWait; }},
    {26, true, 1, [] { return g_Config.settings.skipUnread; }},
    {30, true, 0, [] { return g_Config.settings.modelAntialias; }},
    {34, true, 0, [] { return g_Config.settings.effectsOn; }},  // stored before the edge switch
    {38, true, 1, [] { return g_Config.settings.modelEdge; }},
    {42, true, static_cast<uint32_t>(-100), [] { return static_cast<uint32_t>(g_Config.settings.bgmVolume); }},
    {46, true, static_cast<uint32_t>(-200), [] { return static_cast<uint32_t>(g_Config.settings.voiceVolume); }},
    {50, true, static_cast<uint32_t>(-300), [] { return static_cast<uint32_t>(g_Config.settings.seVolume); }},
};

// A System.sys laid out by hand from the offset table, scrambled by absolute offset.
std::vector<uint8_t> HandMadeSystemFile(uint32_t windowed, const std::string& face) {
    const size_t L = face.size() + 1;
    std::vector<uint8_t> out(1275 + L, 0);
    for (int i = 0; i < 32; ++i) out[i] = static_cast<uint8_t>(0x40 + i * 7);
    PutAt(&out, 32, windowed);
    for (const SStoredField& field : kStoredFields) PutAt(&out, field.at + (field.afterFace ? 64 + L : 0), field.value);
    PutAt(&out, 60, static_cast<uint32_t>(L));
    std::memcpy(out.data() + 64, face.c_str(), L);
    out[68 + L] = 1;  // bold
    const uint8_t persistent[5] = {1, 0, 2, 0, 3};
    std::memcpy(out.data() + 118 + L, persistent, 5);
    out[123 + L] = 1;
    out[123 + L + 1023] = 1;
    out[1147 + L + 127] = 1;
    for (size_t p = 32; p < out.size(); ++p) out[p] ^= out[p % 32];
    return out;
}

class SystemData : public ::testing::Test {
protected:
    void SetUp() override {
        std::strcpy(g_SaveFolder, (folder_.Path() + "/Save/Velkora/").c_str());
        InitGlobals();
    }
    void TearDown() override {
        g_bWindowed = 1;
        g_SaveFolder[0] = 0;
    }
    std::string SystemPath() const { return std::string(g_SaveFolder) + "System.sys"; }
    void WriteSystemFile(const std::vector<uint8_t>& bytes) const { folder_.Write("Save/Velkora/System.sys", bytes); }

    CTempFolder folder_;
};

void ExpectDefaults() {
    EXPECT_EQ(g_bWindowed, 1u);
    EXPECT_EQ(g_Config.rightClick, 0u);
    EXPECT_EQ(g_Config.settings.fontMode, 0u);
    EXPECT_STREQ(g_Config.settings.font.face, "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E");  // ＭＳ ゴシック
    EXPECT_EQ(g_Config.settings.font.height, 22);
    EXPECT_EQ(g_Config.settings.textFlags, 2u);
    EXPECT_EQ(g_Config.settings.textSpeed, 137u);
    EXPECT_EQ(g_Config.settings.autoWait, 250u);
    EXPECT_EQ(g_Config.settings.textEffect, 2u);
    EXPECT_EQ(g_Config.settings.bgmVolume, -2000);
    EXPECT_EQ(g_Config.settings.voiceVolume, -2000);
    EXPECT_EQ(g_Config.settings.seVolume, -2000);
    EXPECT_EQ(g_SystemCgFlags[0], 0);
}

}  // namespace

TEST_F(SystemData, ReadsAFileLaidOutByHand) {
    WriteSystemFile(HandMadeSystemFile(1, "IPAGothic"));
    ASSERT_EQ(LoadSystemData(), 1);
    for (const SStoredField& field : kStoredFields) EXPECT_EQ(field.loaded(), field.value) << "field at " << field.at;
    EXPECT_STREQ(g_Config.settings.font.face, "IPAGothic");
    EXPECT_EQ(g_Config.settings.font.bold, 1);
    EXPECT_EQ(g_Config.settings.font.italic, 0);
    EXPECT_EQ(g_PersistentGameFlags[0], 1);
    EXPECT_EQ(g_PersistentGameFlags[2], 2);
    EXPECT_EQ(g_PersistentGameFlags[4], 3);
    EXPECT_EQ(g_SystemCgFlags[0], 1);
    EXPECT_EQ(g_SystemCgFlags[1], 0);
    EXPECT_EQ(g_SystemCgFlags[1023], 1);
    EXPECT_EQ(g_SystemMovieFlags[127], 1);
    EXPECT_EQ(g_SystemDataKey[1], 0x47) << "the key is read back";

    // Saved in full screen: the next start switches before anything else (no window exists
    // here, so the switch is only recorded).
    WriteSystemFile(HandMadeSystemFile(0, "IPAGothic"));
    ASSERT_EQ(LoadSystemData(), 1);
    EXPECT_EQ(g_bWindowed, 0u);
}

TEST_F(SystemData, FirstRunUsesTheDefaultsAndTwoSavesHaveFreshKeysAndLoadToEqualValues) {
    g_SystemCgFlags[3] = 1;
    ASSERT_EQ(LoadSystemData(), 1);
    ExpectDefaults();
    EXPECT_EQ(g_SystemCgFlags[3], 0);
    const std::string face31(31, 'F');
    std::strcpy(g_Config.settings.font.face, face31.c_str());
    g_Config.voiceOff = 1;
    g_Config.settings.seVolume = -1234;
    g_PersistentGameFlags[4] = 9;
    g_SystemMovieFlags[5] = 1;
    const CConfigBlock saved = g_Config;

    std::srand(1);
    ASSERT_EQ(SaveSystemData(), 1) << "the save folder is created when missing";
    const std::vector<uint8_t> first = CTempFolder::Read(SystemPath());
    ASSERT_EQ(SaveSystemData(), 1);
    const std::vector<uint8_t> second = CTempFolder::Read(SystemPath());
    ASSERT_EQ(first.size(), 1275u + 32u);
    ASSERT_EQ(second.size(), first.size());
    EXPECT_NE(std::vector<uint8_t>(first.begin(), first.begin() + 32), std::vector<uint8_t>(second.begin(), second.begin() + 32));
    EXPECT_NE(first, second);

    InitGlobals();
    ASSERT_EQ(LoadSystemData(), 1);
    EXPECT_EQ(std::memcmp(&g_Config, &saved, sizeof saved), 0);
    EXPECT_EQ(std::string(g_Config.settings.font.face), face31);
    EXPECT_EQ(g_PersistentGameFlags[4], 9);
    EXPECT_EQ(g_SystemMovieFlags[5], 1);
}

TEST_F(SystemData, DamagedFilesFallBackToTheDefaultsOrKeepWhatWasRead) {
    // A face length above 32 (or 0) does not fit the face: the defaults are used.
    std::vector<uint8_t> bytes = HandMadeSystemFile(1, "IPAGothic");
    for (uint32_t length : {33u, 0u, 0xFFFFFFFFu}) {
        std::vector<uint8_t> bad = bytes;
        for (int i = 0; i < 4; ++i) bad[60 + i] = static_cast<uint8_t>(length >> (8 * i)) ^ bad[(60 + i) % 32];
        WriteSystemFile(bad);
        g_Config.settings.textSpeed = 1;
        ASSERT_EQ(LoadSystemData(), 1);
        ExpectDefaults();
    }
    // A file cut short keeps the fields it holds; the rest are the defaults.
    bytes.resize(64 + 10 + 4);  // up to the font height
    WriteSystemFile(bytes);
    ASSERT_EQ(LoadSystemData(), 1);
    EXPECT_EQ(g_Config.rightClick, 1u);
    EXPECT_STREQ(g_Config.settings.font.face, "IPAGothic");
    EXPECT_EQ(g_Config.settings.font.height, 30);
    EXPECT_EQ(g_Config.settings.textSpeed, 137u);
    EXPECT_EQ(g_Config.settings.seVolume, -2000);
    // Every other length of a cut file loads without reading past it.
    const std::vector<uint8_t> whole = HandMadeSystemFile(1, "IPAGothic");
    for (size_t size = 0; size < whole.size(); size += 13) {
        WriteSystemFile(std::vector<uint8_t>(whole.begin(), whole.begin() + size));
        EXPECT_EQ(LoadSystemData(), 1) << size;
    }
}

TEST_F(SystemData, AFailedSaveKeepsTheOldFile) {
    WriteSystemFile(HandMadeSystemFile(1, "IPAGothic"));
    const std::vector<uint8_t> before = CTempFolder::Read(SystemPath());
    // The save folder's place is taken by a file: nothing can be written there.
    std::strcpy(g_SaveFolder, (folder_.Path() + "/Save/Velkora/System.sys/").c_str());
    EXPECT_EQ(SaveSystemData(), 0);
    g_SaveFolder[0] = 0;
    EXPECT_EQ(SaveSystemData(), 0);
    std::strcpy(g_SaveFolder, (folder_.Path() + "/Save/Velkora/").c_str());
    EXPECT_EQ(CTempFolder::Read(SystemPath()), before);
}

TEST_F(SystemData, MergesOrFlagsIn) {
    uint8_t cg[kSystemCgFlagCount] = {};
    uint8_t movies[kSystemMovieFlagCount] = {};
    g_SystemCgFlags[1] = 1;
    cg[2] = 1;
    movies[127] = 1;
    MergeCgFlags(cg);
    MergeMovieFlags(movies);
    EXPECT_EQ(g_SystemCgFlags[1], 1);
    EXPECT_EQ(g_SystemCgFlags[2], 1);
    EXPECT_EQ(g_SystemCgFlags[3], 0);
    EXPECT_EQ(g_SystemMovieFlags[127], 1);
}
