// make_sample_game: generates the sample game into a folder: the seven data archives with the
// compiled scripts, pictures, music, voices, sound effects and tables, the story movies as loose
// files, and a few loose files that override archive entries.
//   make_sample_game GAME-SOURCE-FOLDER OUTPUT-FOLDER
// GAME-SOURCE-FOLDER is the repository's game/ folder (scripts, tables, voice lines). The
// output is the same on every run.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/sjis.h"
#include "tools/lib/chunk_writer.h"
#include "tools/lib/pack_writer.h"
#include "tools/lib/script_compiler.h"
#include "tools/lib/teyl_writer.h"
#include "tools/make_sample_game/audio.h"
#include "tools/make_sample_game/movie_set.h"
#include "tools/make_sample_game/models.h"
#include "tools/make_sample_game/movies.h"
#include "tools/make_sample_game/scenes.h"
#include "tools/make_sample_game/screens.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

Bytes Teyl(const CCanvas& canvas) { return BuildTeyl(canvas.Width(), canvas.Height(), canvas.Pixels().data()); }

// The archive that holds a file, by the file's first folder.
std::string ArchiveOf(const std::string& path) {
    static const std::map<std::string, std::string> kArchives = {
        {"System", "System.pac"}, {"Script", "Script.pac"}, {"Image", "Image.pac"}, {"BGM", "BGM.pac"},
        {"Voice", "Voice.pac"},   {"SE", "SE.pac"},         {"Movie", "Movie.pac"}};
    auto it = kArchives.find(path.substr(0, path.find('/')));
    if (it == kArchives.end()) throw std::runtime_error("no archive takes " + path);
    return it->second;
}

struct STrack {
    const char* path;
    const char* title;  // shown in the music gallery; empty for the screens' own music
    SMusicTune tune;
};

std::vector<STrack> Tracks() {
    auto tune = [](float bpm, int root, bool minor, std::vector<int> progression, float brightness, float density,
                   uint32_t seed) {
        SMusicTune s;
        s.bpm = bpm;
        s.root = root;
        s.minor = minor;
        s.progression = std::move(progression);
        s.bars = 8;
        s.brightness = brightness;
        s.melodyDensity = density;
        s.seed = seed;
        return s;
    };
    return {
        {"BGM/BGM01.ogg", "01  夕凪の港", tune(76, 60, false, {0, 5, 3, 4, 0, 5, 1, 4}, 0.3f, 0.45f, 11)},
        {"BGM/BGM02.ogg", "02  市場の午後", tune(112, 62, false, {0, 3, 4, 0, 5, 1, 4, 4}, 0.7f, 0.7f, 12)},
        {"BGM/BGM03.ogg", "03  夜の灯台", tune(70, 57, true, {0, 5, 3, 4}, 0.2f, 0.35f, 13)},
        {"BGM/BGM04.ogg", "04  止まった時計", tune(96, 55, true, {0, 0, 5, 4, 0, 3, 4, 4}, 0.5f, 0.6f, 14)},
        {"BGM/BGM05.ogg", "05  灯る光", tune(100, 65, false, {0, 4, 5, 3, 0, 4, 3, 4}, 0.6f, 0.6f, 15)},
        {"BGM/BGM06.ogg", "06  夜明けの浜辺", tune(68, 64, false, {0, 3, 0, 4, 5, 3, 1, 4}, 0.25f, 0.4f, 16)},
        {"BGM/BGM07.ogg", "07  記憶の欠片", tune(80, 59, true, {0, 5, 2, 6}, 0.35f, 0.5f, 17)},
        {"System/Title/BGM.ogg", "", tune(84, 60, false, {0, 4, 5, 3}, 0.45f, 0.5f, 18)},
        {"System/Extra/BGM.ogg", "", tune(90, 62, false, {0, 5, 3, 4}, 0.4f, 0.5f, 19)},
    };
}

// The vowels of a voice line, one per kana; other characters take a vowel of their own.
std::string VowelsOf(const std::string& utf8) {
    static const char* const kRows[5] = {
        "あかさたなはまやらわがざだばぱぁゃアカサタナハマヤラワガザダバパァャ",
        "いきしちにひみりぎじぢびぴぃイキシチニヒミリギジヂビピィ",
        "うくすつぬふむゆるぐずづぶぷぅゅっんウクスツヌフムユルグズヅブプゥュッン",
        "えけせてねへめれげぜでべぺぇエケセテネヘメレゲゼデベペェ",
        "おこそとのほもよろをごぞどぼぽぉょオコソトノホモヨロヲゴゾドボポォョ"};
    static const char kVowels[] = "aiueo";
    std::string vowels;
    size_t i = 0;
    while (i < utf8.size()) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        std::string ch = utf8.substr(i, n);
        i += n;
        if (n != 3) continue;
        char vowel = 0;
        for (int row = 0; row < 5 && !vowel; ++row)
            if (std::string(kRows[row]).find(ch) != std::string::npos) vowel = kVowels[row];
        if (!vowel && ch == "ー" && !vowels.empty()) vowel = vowels.back();
        unsigned code = (c & 0x0F) << 12 | (utf8[i - 2] & 0x3F) << 6 | (utf8[i - 1] & 0x3F);
        if (!vowel && code >= 0x4E00 && code <= 0x9FFF) vowel = kVowels[code % 5];  // a kanji
        if (vowel) vowels += vowel;
    }
    return vowels.empty() ? "a" : vowels;
}

class CSampleGame {
public:
    CSampleGame(fs::path source, fs::path output) : m_source(std::move(source)), m_output(std::move(output)) {}

    void Build() {
        fs::create_directories(m_output);
        Scripts();
        Tables();
        Pictures();
        for (auto& [path, bytes] : SampleModelFiles()) Add(path, std::move(bytes));
        Sounds();
        Movies();
        WriteArchives();
        for (const auto& [path, bytes] : m_loose) Write(path, bytes);
    }

private:
    void Add(const std::string& path, Bytes bytes) {
        std::string sjis;
        if (!Utf8ToSjis(path, &sjis)) throw std::runtime_error("file name without Shift-JIS form: " + path);
        m_archives[ArchiveOf(path)].push_back({sjis, std::move(bytes)});
    }

    void Write(const std::string& relative, const Bytes& bytes) {
        fs::path path = m_output / relative;
        fs::create_directories(path.parent_path());
        if (!WriteFileAtomically(path.string(), bytes.data(), bytes.size()))
            throw std::runtime_error("cannot write " + path.string());
    }

    void Scripts() {
        std::vector<fs::path> sources;
        for (const auto& entry : fs::directory_iterator(m_source / "scripts"))
            if (entry.path().extension() == ".vss") sources.push_back(entry.path());
        std::sort(sources.begin(), sources.end());
        std::string failures;
        for (const fs::path& source : sources) {
            std::vector<uint8_t> compiled;
            std::vector<std::string> errors;
            if (!CompileScript(ReadText(source), source.string(), &compiled, &errors)) {
                for (const std::string& e : errors) failures += e + "\n";
                continue;
            }
            const std::string name = "Script/" + source.stem().string() + ".vsf";
            if (name == "Script/NormalEnd.vsf") m_loose.push_back({name, compiled});  // overrides the archive's copy
            Add(name, std::move(compiled));
        }
        if (!failures.empty()) throw std::runtime_error(failures + "the scripts have mistakes");
    }

    // Tables and other text files, converted to Shift-JIS.
    // Tables and other text files, converted to Shift-JIS: those of data/ and the movie gallery's.
    void Tables() {
        const fs::path root = m_source / "data";
        std::vector<fs::path> files;
        for (const auto& entry : fs::recursive_directory_iterator(root))
            if (entry.is_regular_file()) files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) AddText(fs::relative(file, root).generic_string(), ReadText(file));
        for (const auto& [path, text] : GalleryTableFiles()) AddText(path, text);
    }

    void AddText(const std::string& path, const std::string& utf8) {
        std::string sjis;
        if (!Utf8ToSjis(utf8, &sjis)) throw std::runtime_error(path + " has no Shift-JIS form");
        Add(path, Bytes(sjis.begin(), sjis.end()));
    }

    // Every movie: its shots and the track under them.
    struct SMovie {
        std::string file;
        std::vector<SMovieShot> shots;
        size_t track;
    };
    std::vector<SMovie> MovieList() const {
        return {
            {"Prologue.mpg",
             {{PaintCard({"十年前――"}), 3.0f},
              {PaintNightTitle(true, false), 4.0f},
              {PaintCard({"ヴェルコラ灯台の灯りは、", "その夜を最後に消えた。"}), 4.0f}},
             7},
            {"Story01.mpg", {{PaintLeverChoice(false), 3.0f}, {PaintLeverChoice(true), 3.8f}}, 3},
            {"Note.mpg", {{PaintCard({"祖父の手帳"}), 2.0f}, {PaintCard({"祖父の手帳", "『夕陽の沈む側を引け』"}), 3.0f}}, 6},
            {"Dusk.mpg",
             {{PaintScene(EScene::Market), 2.5f},
              {PaintScene(EScene::HarbourDusk), 2.5f},
              {PaintScene(EScene::LighthouseNight), 2.5f}},
             1},
            {"Ending.mpg",
             {{m_events[3], 4.0f}, {m_events[4], 4.0f}, {PaintCard({"Velkora ～Sarnith～", "Fin"}), 4.0f}},
             4},
            {"Harbour.mpg", {{PaintScene(EScene::HarbourDusk), 3.0f}}, 0},
            {"Lighthouse.mpg", {{PaintScene(EScene::LighthouseNight), 3.0f}}, 2},
            {"LampRoom.mpg", {{PaintScene(EScene::LampRoom), 3.0f}}, 3},
            {"Dawn.mpg", {{PaintScene(EScene::DawnShore), 3.0f}}, 5},
        };
    }

    void Pictures() {
        const std::pair<const char*, EScene> backgrounds[] = {{"Image/BG/Harbour.bmp", EScene::HarbourDusk},
                                                              {"Image/BG/LighthouseNight.bmp", EScene::LighthouseNight},
                                                              {"Image/BG/LighthouseLit.bmp", EScene::LighthouseLit},
                                                              {"Image/BG/LampRoom.bmp", EScene::LampRoom},
                                                              {"Image/BG/Market.bmp", EScene::Market},
                                                              {"Image/BG/DawnShore.bmp", EScene::DawnShore}};
        for (const auto& [path, scene] : backgrounds) Add(path, Teyl(PaintScene(scene)));
        Add("Image/BG/Slate.bmp", Teyl(CCanvas(800, 600, Rgb(0x336699))));  // the model swatches' flat ground
        const std::pair<const char*, EExpression> expressions[] = {
            {"Normal", EExpression::Normal}, {"Smile", EExpression::Smile}, {"Worried", EExpression::Worried}};
        for (const auto& [name, expression] : expressions) {
            Add(std::string("Image/Chara/Akari_") + name + ".bmp", Teyl(PaintCharacter(ECharacter::Akari, expression)));
            Add(std::string("Image/Chara/Shion_") + name + ".bmp", Teyl(PaintCharacter(ECharacter::Shion, expression)));
        }
        for (int n = 1; n <= kEventPictureCount; ++n) {
            m_events.push_back(PaintEventPicture(n));
            char path[64];
            std::snprintf(path, sizeof path, "Image/CG/CG%02d.bmp", n);
            Add(path, Teyl(m_events.back()));
        }
        Add("Image/Effect/LampGlow.bmp", Teyl(PaintLampGlow()));
        Add("Image/Effect/NightTint.bmp", Teyl(PaintNightTint()));
        Add("Image/Effect/LensFlare.bmp", Teyl(PaintLensFlare()));
        Add("System/Thumbnail/Lighthouse.bmp", Teyl(PaintScene(EScene::LighthouseNight).Scaled(100, 75)));

        // A movie's thumbnail is its second shot (its only one when it has one).
        for (const SMovie& movie : MovieList()) m_movieStills.insert_or_assign(movie.file, movie.shots[std::min<size_t>(1, movie.shots.size() - 1)].picture);
        SGalleryArt art;
        // The picture gallery's entries and their first pictures, as System/Extra/CGTable.txt lists them.
        // Entry 5 (the dawn shore) stays locked in every play: no script sets its flag.
        static const CCanvas kNeverEarned = PaintScene(EScene::DawnShore);
        art.pictureEntries = {&m_events[0], &m_events[1], &m_events[2], &m_events[4], &m_events[5], &kNeverEarned};
        for (const SGalleryMovie& movie : GalleryMovies()) {
            art.movieStills.push_back(&m_movieStills.at(movie.movie));
            art.movieTitles.push_back(movie.title);
        }
        for (const STrack& track : Tracks())
            if (*track.title) art.trackTitles.push_back(track.title);
        for (SScreenPicture& picture : PaintScreenPictures(art)) {
            if (picture.path == "System/Title/TitleBG02.bmp") {
                // The loose bitmap (lighthouse lit) overrides the archive's older picture.
                m_loose.push_back({picture.path, EncodeBmp24(picture.canvas)});
                Add(picture.path, Teyl(PaintNightTitle(false)));
                continue;
            }
            Add(picture.path, Teyl(picture.canvas));
        }
    }

    void Sounds() {
        uint32_t serial = 1000;
        for (const STrack& track : Tracks()) Add(track.path, EncodeOgg(MakeMusic(track.tune), 0.1f, ++serial));
        Add("System/OnCursor.ogg", EncodeOgg(MakeEffect(ESoundEffect::Cursor), 0.3f, ++serial));
        Add("System/Select.ogg", EncodeOgg(MakeEffect(ESoundEffect::Select), 0.3f, ++serial));
        const std::pair<const char*, ESoundEffect> effects[] = {{"SE/Waves.ogg", ESoundEffect::Waves},
                                                                {"SE/Door.ogg", ESoundEffect::Door},
                                                                {"SE/Steps.ogg", ESoundEffect::Steps},
                                                                {"SE/Lamp.ogg", ESoundEffect::Lamp},
                                                                {"SE/Chime.ogg", ESoundEffect::Chime}};
        for (const auto& [path, kind] : effects) Add(path, EncodeOgg(MakeEffect(kind), 0.3f, ++serial));
        Bytes bell = EncodeWav16(MakeEffect(ESoundEffect::Bell));
        m_loose.push_back({"SE/Bell.wav", bell});  // the loose copy wins over SE.pac's
        Add("SE/Bell.wav", std::move(bell));

        std::istringstream lines(ReadText(m_source / "voices.txt"));
        std::string line;
        uint32_t seed = 1;
        while (std::getline(lines, line)) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream fields(line);
            std::string path, text;
            SVoiceLine voice;
            if (!(fields >> path >> voice.pitch >> voice.endPitch) || !std::getline(fields >> std::ws, text))
                throw std::runtime_error("voices.txt: bad line: " + line);
            voice.vowels = VowelsOf(text);
            voice.seed = seed++;
            Add(path, EncodeOgg(MakeVoice(voice), 0.2f, ++serial));
        }
    }

    void Movies() {
        const fs::path work = m_output / "work";
        fs::create_directories(work);
        fs::create_directories(m_output / "Movie");
        const std::vector<STrack> tracks = Tracks();
        for (const SMovie& movie : MovieList())
            MakeMovie(movie.shots, MakeMusic(tracks.at(movie.track).tune), work.string(),
                      (m_output / "Movie" / movie.file).string());
        fs::remove_all(work);
    }

    void WriteArchives() {
        for (auto& [name, entries] : m_archives) {
            CPackWriteOptions options;
            options.scrambled = name != "Movie.pac";
            uint32_t state = 2166136261u;
            for (char c : name) state = (state ^ static_cast<uint8_t>(c)) * 16777619u;
            for (uint8_t& k : options.key) {
                state = state * 1103515245u + 12345u;
                k = static_cast<uint8_t>(state >> 16);
            }
            if (WritePackArchive((m_output / name).string(), std::move(entries), options) != 0)
                throw std::runtime_error("cannot write " + name);
        }
    }

    fs::path m_source;
    fs::path m_output;
    std::map<std::string, std::vector<CPackWriterEntry>> m_archives;
    std::vector<std::pair<std::string, Bytes>> m_loose;
    std::vector<CCanvas> m_events;
    std::map<std::string, CCanvas> m_movieStills;  // by movie file
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_sample_game GAME-SOURCE-FOLDER OUTPUT-FOLDER\n");
        return 2;
    }
    try {
        CSampleGame(argv[1], argv[2]).Build();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_sample_game: %s\n", e.what());
        return 1;
    }
    return 0;
}
