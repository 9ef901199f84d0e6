// The sample game: its scripts compile, and the generated game (the sample_game target, built
// before the tests) holds every file that the screens and the scripts load, with the pictures
// large enough for the sprite rectangles cut from them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <vorbis/vorbisfile.h>

#include <cmath>

#include "files/pack_archive.h"
#include "tools/lib/script_compiler.h"

namespace fs = std::filesystem;

namespace {

fs::path SourceRoot() {
    std::string root = TEST_DATA_DIR;
    root.erase(root.rfind("/tests/data"));
    return root;
}

fs::path GameFolder() { return fs::path(TEST_BINARY_DIR) / "game"; }

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<fs::path> ScriptSources() {
    std::vector<fs::path> sources;
    for (const auto& entry : fs::directory_iterator(SourceRoot() / "game" / "scripts"))
        if (entry.path().extension() == ".vss") sources.push_back(entry.path());
    std::sort(sources.begin(), sources.end());
    return sources;
}

TEST(SampleGame, ScriptsCompileAndUseEveryPageCommand) {
    std::vector<fs::path> sources = ScriptSources();
    ASSERT_GE(sources.size(), 3u);
    std::string all;
    for (const fs::path& source : sources) {
        std::vector<uint8_t> compiled;
        std::vector<std::string> errors;
        EXPECT_TRUE(CompileScript(ReadFile(source), source.string(), &compiled, &errors))
            << (errors.empty() ? "" : errors[0]);
        all.append(compiled.begin(), compiled.end());
    }
    for (const char* tag : {"BTNO", "BGMT", "VTNO", "VOIT", "SETN", "SET ", "IMGN", "IMAG", "MIMG", "CAM ", "LGHT",
                            "SELE", "JUNP", "ACTL", "KLOK", "MOVI", "SSCR", "TEXT", "NAME", "TFMT", "NBLF", "NEF ",
                            "WHF ", "NIWF", "FLGU", "FLGD", "CGFU", "SFUP", "EFEC", "DMOD", "AutoSaving",
                            "SaveThumbnail", "Movie \""})
        EXPECT_NE(all.find(tag), std::string::npos) << tag;
}

// The generated game, opened through the program's own archive reader.
class CGeneratedGame : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(GameFolder() / ".generated")) GTEST_SKIP() << "the sample game was not generated";
        for (const char* name : {"System.pac", "Script.pac", "Image.pac", "BGM.pac", "Voice.pac", "SE.pac", "Movie.pac"})
            ASSERT_EQ(m_archives[name].Open((GameFolder() / name).string().c_str()), 0) << name;
    }

    // The bytes of an archive entry; empty when it is missing.
    std::string Entry(const std::string& archive, const std::string& name) {
        CPackEntryHandle handle;
        if (m_archives[archive].OpenEntry(&handle, name.c_str()) != 0) return {};
        std::string bytes;
        char buffer[65536];
        for (int32_t n; (n = m_archives[archive].Read(&handle, buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
        handle.Close();
        return bytes;
    }

    static std::string ArchiveOf(const std::string& path) { return path.substr(0, path.find('/')) + ".pac"; }

    std::map<std::string, CPackArchive> m_archives;
};

// The quoted file names ("Folder/Name.ext") in a text, with their extensions.
std::vector<std::pair<std::string, std::string>> QuotedFiles(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> files;
    for (size_t open = text.find('"'); open != std::string::npos; open = text.find('"', open)) {
        size_t close = text.find('"', open + 1);
        if (close == std::string::npos) break;
        std::string name = text.substr(open + 1, close - open - 1);
        size_t dot = name.rfind('.');
        if (name.find('/') != std::string::npos && dot != std::string::npos) files.push_back({name, name.substr(dot + 1)});
        open = close + 1;
    }
    return files;
}

uint32_t U32At(const std::string& bytes, size_t offset) {
    uint32_t v = 0;
    std::memcpy(&v, bytes.data() + offset, 4);
    return v;
}

// The colour of one pixel of a TEYL picture (its pixels follow a 12-byte head); 0 outside it.
uint32_t TeylPixel(const std::string& bytes, uint32_t x, uint32_t y) {
    if (bytes.size() < 12) return 0;
    const uint32_t width = U32At(bytes, 4), height = U32At(bytes, 8);
    const size_t at = 12 + (static_cast<size_t>(y) * width + x) * 4;
    return x < width && y < height && at + 4 <= bytes.size() ? U32At(bytes, at) : 0;
}

int Brightness(uint32_t pixel) { return static_cast<int>((pixel >> 16 & 0xFF) + (pixel >> 8 & 0xFF) + (pixel & 0xFF)) / 3; }

// The endings' pictures tell what their text says: the Normal End's dawn shows the lighthouse
// dark ("灯台は、結局灯らなかった"), and when the Good End's last picture fades out, the
// lighthouse behind it burns, not the unlit lamp room that the Lighthouse script left.
TEST_F(CGeneratedGame, TheEndingsShowTheLighthouseAsTheirTextTellsIt) {
    const std::string dawn = Entry("Image.pac", "Image/BG/DawnShore.bmp");
    ASSERT_FALSE(dawn.empty());
    EXPECT_LT(Brightness(TeylPixel(dawn, 688, 199)), 128) << "the lamp room of the dawn's lighthouse is dark";

    const std::string goodEnd = ReadFile(SourceRoot() / "game/scripts/GoodEnd.vss");
    const std::string load = "layer 0: load \"";
    const size_t at = goodEnd.rfind(load);
    ASSERT_NE(at, std::string::npos) << "the Good End sets the background its last picture fades out to";
    ASSERT_LT(at, goodEnd.rfind("layer 2: fade out"));
    const std::string background = goodEnd.substr(at + load.size(), goodEnd.find('"', at + load.size()) - at - load.size());
    const std::string picture = Entry("Image.pac", background);
    ASSERT_FALSE(picture.empty()) << background;
    EXPECT_GT(Brightness(TeylPixel(picture, 352, 57)), 180) << background << ": the lighthouse's lamp burns";
}

TEST_F(CGeneratedGame, ScreenPicturesCoverTheirSpriteRectangles) {
    struct SNeed {
        const char* path;
        uint32_t width, height;
    };
    const SNeed needs[] = {
        {"System/Maker/Maker.bmp", 800, 600},          {"System/Title/TitleBG01.bmp", 800, 600},
        {"System/Title/TitleBG02.bmp", 800, 600},      {"System/Title/TitleButton.bmp", 737, 300},
        {"System/Title/ExtraMenuBG.bmp", 800, 600},    {"System/Title/ExtraMenuButton.bmp", 360, 200},
        {"System/Menu/MenuBG.bmp", 800, 600},          {"System/Menu/MenuButton.bmp", 360, 180},
        {"System/Menu/YesNoBG.bmp", 800, 600},         {"System/Menu/YesNoButton.bmp", 325, 120},
        {"System/Menu/SaveBG.bmp", 800, 600},          {"System/Menu/LoadBG.bmp", 800, 600},
        {"System/Menu/SaveLoadButton.bmp", 429, 359},  {"System/Menu/ConfigBG.bmp", 800, 600},
        {"System/Menu/ConfigButton.bmp", 776, 333},    {"System/Adventure/TextWindowButton.bmp", 283, 170},
        {"System/Adventure/Backlog.bmp", 800, 744},    {"System/Extra/CGModeBG.bmp", 800, 600},
        {"System/Extra/CGModeButton.bmp", 600, 810},   {"System/Extra/BGMModeBG.bmp", 800, 600},
        {"System/Extra/BGMModeButton.bmp", 1020, 350}, {"System/Extra/MovieModeBG1.bmp", 800, 600},
        {"System/Extra/MovieModeBG2.bmp", 800, 600},   {"System/Extra/MovieModeButton.bmp", 883, 1280},
        {"Image/TextWindow.bmp", 800, 184},            {"Image/SelectWindow.bmp", 543, 96},
    };
    for (const SNeed& need : needs) {
        std::string teyl = Entry(ArchiveOf(need.path), need.path);
        ASSERT_GE(teyl.size(), 12u) << need.path;
        EXPECT_EQ(teyl.substr(0, 4), "TEYL") << need.path;
        const uint32_t width = U32At(teyl, 4), height = U32At(teyl, 8);
        EXPECT_GE(width, need.width) << need.path;
        EXPECT_GE(height, need.height) << need.path;
        EXPECT_EQ(teyl.size(), 12u + 4ull * width * height) << need.path;
    }
}

// The save slot's frame leaves the block of the caption's two lines plain (no rule, mount or
// gradient edge under the text) and a gap between the thumbnail's mount and the text.
TEST_F(CGeneratedGame, SaveSlotFrameLeavesTheCaptionBlockPlain) {
    const std::string teyl = Entry("System.pac", "System/Menu/SaveLoadButton.bmp");
    ASSERT_GE(teyl.size(), 12u);
    const uint32_t width = U32At(teyl, 4);
    auto slotPixel = [&](size_t x, size_t y) { return U32At(teyl, 12 + 4 * ((186 + y) * width + x)); };
    const uint32_t plain = slotPixel(122, 33);
    int32_t differing = 0;
    for (size_t y = 33; y < 83; ++y)
        for (size_t x = 120; x < 362; ++x) differing += slotPixel(x, y) != plain;
    EXPECT_EQ(differing, 0);
    EXPECT_NE(slotPixel(117, 50), plain);  // the thumbnail's mount
}

// Sample values (-1 to 1) of an Ogg Vorbis or 16-bit WAV file in memory; empty when unreadable.
std::vector<float> DecodeSound(const std::string& bytes) {
    std::vector<float> samples;
    if (bytes.compare(0, 4, "RIFF") == 0) {
        const size_t data = bytes.find("data");
        if (data == std::string::npos) return samples;
        for (size_t at = data + 8; at + 1 < bytes.size(); at += 2) {
            int16_t value;
            std::memcpy(&value, bytes.data() + at, 2);
            samples.push_back(value / 32768.0f);
        }
        return samples;
    }
    OggVorbis_File file;
    if (ov_open_callbacks(nullptr, &file, bytes.data(), static_cast<long>(bytes.size()), OV_CALLBACKS_NOCLOSE) != 0)
        return samples;
    for (;;) {
        float** pcm = nullptr;
        int section = 0;
        const long frames = ov_read_float(&file, &pcm, 4096, &section);
        if (frames <= 0) break;
        const int channels = ov_info(&file, -1)->channels;
        for (long i = 0; i < frames; ++i)
            for (int c = 0; c < channels; ++c) samples.push_back(pcm[c][i]);
    }
    ov_clear(&file);
    return samples;
}

double Decibels(double level) { return 20.0 * std::log10(std::max(level, 1e-9)); }

// Each kind of sound keeps to its share of full scale, so that the loudest music, voice and
// effect playing together at full volume do not clip, and is loud enough on average to be heard
// at the default volume (-20 dB).
TEST_F(CGeneratedGame, SoundLevelsLeaveHeadroomAndStayAudible) {
    struct SKind {
        const char* archive;
        const char* folder;
        double minimumMeanDb;  // the kind's mean level over all its files
        double peak = 0, squares = 0, count = 0;
    };
    SKind kinds[] = {{"BGM.pac", "BGM/", -21.0}, {"Voice.pac", "Voice/", -15.0}, {"SE.pac", "SE/", -26.0}};
    for (SKind& kind : kinds) {
        const CPackArchive& archive = m_archives[kind.archive];
        for (int32_t i = 0; i < archive.count; ++i) {
            const std::string name = archive.entries[i].name;
            std::string path = name;
            std::replace(path.begin(), path.end(), '\\', '/');
            if (path.rfind(kind.folder, 0) != 0) continue;
            const std::vector<float> samples = DecodeSound(Entry(kind.archive, name));
            ASSERT_FALSE(samples.empty()) << name;
            for (float s : samples) {
                kind.peak = std::max(kind.peak, static_cast<double>(std::fabs(s)));
                kind.squares += static_cast<double>(s) * s;
            }
            kind.count += static_cast<double>(samples.size());
        }
        ASSERT_GT(kind.count, 0) << kind.folder;
        EXPECT_GE(Decibels(std::sqrt(kind.squares / kind.count)), kind.minimumMeanDb) << kind.folder;
    }
    EXPECT_LT(kinds[0].peak + kinds[1].peak + kinds[2].peak, 1.0)
        << "music " << kinds[0].peak << ", voices " << kinds[1].peak << ", effects " << kinds[2].peak;
}

// Every file that a script or a movie table names is in its archive, or a loose movie file.
TEST_F(CGeneratedGame, EveryFileTheStoryNamesExists) {
    std::vector<std::string> texts;
    for (const fs::path& source : ScriptSources()) texts.push_back(ReadFile(source));
    // The movie tables, followed from the story table and the gallery list through every chain.
    std::set<std::string> tables = {"Movie/Story01.txt", "System/Extra/MovieTable.txt"};
    for (std::vector<std::string> pending(tables.begin(), tables.end()); !pending.empty();) {
        const std::string table = pending.back();
        pending.pop_back();
        texts.push_back(Entry(ArchiveOf(table), table));
        ASSERT_FALSE(texts.back().empty()) << table;
        for (const auto& [path, kind] : QuotedFiles(texts.back()))
            if (kind == "txt" && tables.insert(path).second) pending.push_back(path);
    }
    EXPECT_GE(tables.size(), 30u);
    int checked = 0;
    for (const std::string& text : texts)
        for (const auto& [path, kind] : QuotedFiles(text)) {
            ++checked;
            if (kind == "txt") continue;  // followed above
            if (kind == "mpg") {
                std::string movie = ReadFile(GameFolder() / path);
                EXPECT_EQ(movie.substr(0, 4), std::string("\0\0\1\xBA", 4)) << path;
            } else {
                std::string bytes = Entry(ArchiveOf(path), path);
                ASSERT_FALSE(bytes.empty()) << path;
                const std::map<std::string, std::pair<size_t, std::string>> kMagic = {
                    {"vsf", {0, "VSF3"}}, {"ogg", {0, "OggS"}}, {"wav", {8, "WAVE"}}, {"bmp", {0, "TEYL"}}};
                auto magic = kMagic.find(kind);
                if (magic != kMagic.end()) {
                    EXPECT_EQ(bytes.substr(magic->second.first, 4), magic->second.second) << path;
                }
            }
        }
    EXPECT_GT(checked, 40);
}

TEST_F(CGeneratedGame, ScreenSoundsTablesAndLooseOverrides) {
    for (std::string path : {"System/OnCursor.ogg", "System/Select.ogg", "System/Title/BGM.ogg", "System/Extra/BGM.ogg",
                             "BGM/BGM01.ogg", "BGM/BGM02.ogg", "BGM/BGM03.ogg", "BGM/BGM04.ogg", "BGM/BGM05.ogg",
                             "BGM/BGM06.ogg", "BGM/BGM07.ogg"})
        EXPECT_EQ(Entry(ArchiveOf(path), path).substr(0, 4), "OggS") << path;
    // Every picture and movie table that the gallery tables name exists.
    for (const char* table : {"System/Extra/CGTable.txt", "System/Extra/MovieTable.txt"}) {
        auto named = QuotedFiles(Entry("System.pac", table));
        for (const auto& [path, kind] : named) EXPECT_FALSE(Entry(ArchiveOf(path), path).empty()) << path << " named by " << table;
        EXPECT_GE(named.size(), 3u) << table;
    }
    // A loose bitmap in place of the archive's raw picture.
    std::string loose = ReadFile(GameFolder() / "System/Title/TitleBG02.bmp");
    ASSERT_GE(loose.size(), 54u);
    EXPECT_EQ(loose.substr(0, 2), "BM");
    EXPECT_EQ(U32At(loose, 18), 800u);
    EXPECT_EQ(U32At(loose, 22), 600u);
    EXPECT_EQ(Entry("System.pac", "System/Title/TitleBG02.bmp").substr(0, 4), "TEYL");
    // A loose script and a loose sound with the same names as archive entries.
    for (const char* path : {"Script/NormalEnd.vsf", "SE/Bell.wav"}) {
        EXPECT_FALSE(ReadFile(GameFolder() / path).empty()) << path;
        EXPECT_FALSE(Entry(ArchiveOf(path), path).empty()) << path;
    }
    EXPECT_TRUE(m_archives["SE.pac"].scrambled);
    EXPECT_FALSE(m_archives["Movie.pac"].scrambled);
}

}  // namespace
