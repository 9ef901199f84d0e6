#include "platform/font_faces.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <tuple>

#include "platform/sjis.h"

namespace {

// One installed outline font with Japanese glyphs.
struct SInstalledFace {
    std::vector<std::string> families;  // every family name (UTF-8), in fontconfig's order
    std::string displayName;            // the Japanese family name when there is one
    std::string file;
    int32_t index = 0;
    int32_t weight = FC_WEIGHT_REGULAR;
    int32_t slant = FC_SLANT_ROMAN;
};

// The Windows faces the program names, and the IPA families made to their metrics.
struct SFaceAlias {
    const char* windowsName;  // UTF-8
    const char* substitute;
};
constexpr SFaceAlias kFaceAliases[] = {
    {"\xEF\xBC\xAD\xEF\xBC\xB3 \xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF", "IPAGothic"},  // ＭＳ ゴシック
    {"\xEF\xBC\xAD\xEF\xBC\xB3 \xEF\xBC\xB0\xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF",
     "IPAPGothic"},                                                             // ＭＳ Ｐゴシック
    {"\xEF\xBC\xAD\xEF\xBC\xB3 \xE6\x98\x8E\xE6\x9C\x9D", "IPAMincho"},        // ＭＳ 明朝
    {"\xEF\xBC\xAD\xEF\xBC\xB3 \xEF\xBC\xB0\xE6\x98\x8E\xE6\x9C\x9D", "IPAPMincho"},  // ＭＳ Ｐ明朝
    {"MS Gothic", "IPAGothic"},
    {"MS PGothic", "IPAPGothic"},
    {"MS Mincho", "IPAMincho"},
    {"MS PMincho", "IPAPMincho"},
};
constexpr size_t kWindowsAliasCount = 4;  // the first four are the names the program itself uses

std::string GetString(FcPattern* pattern, const char* object, int n) {
    FcChar8* value = nullptr;
    if (FcPatternGetString(pattern, object, n, &value) != FcResultMatch || !value) return {};
    return reinterpret_cast<const char*>(value);
}

// Lists the installed outline fonts that cover Japanese, once per process.
const std::vector<SInstalledFace>& InstalledJapaneseFaces() {
    static std::vector<SInstalledFace> faces = [] {
        std::vector<SInstalledFace> list;
        if (!FcInit()) return list;
        // Fontconfig frees its configuration only in FcFini; without it the leak checker
        // reports the configuration parser's buffers at exit.
        std::atexit(FcFini);
        // The installed fonts do not change while the game runs; without this, fontconfig
        // rebuilds its whole configuration every 30 seconds in the middle of play.
        FcConfigSetRescanInterval(nullptr, 0);
        FcPattern* pattern = FcPatternCreate();
        FcLangSet* langs = FcLangSetCreate();
        FcLangSetAdd(langs, reinterpret_cast<const FcChar8*>("ja"));
        FcPatternAddLangSet(pattern, FC_LANG, langs);
        FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
        FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_FAMILYLANG, FC_WEIGHT, FC_SLANT, FC_FILE, FC_INDEX,
                                                static_cast<char*>(nullptr));
        FcFontSet* set = FcFontList(nullptr, pattern, objects);
        for (int i = 0; set && i < set->nfont; ++i) {
            FcPattern* font = set->fonts[i];
            SInstalledFace face;
            face.file = GetString(font, FC_FILE, 0);
            if (face.file.empty()) continue;
            int value = 0;
            if (FcPatternGetInteger(font, FC_INDEX, 0, &value) == FcResultMatch) face.index = value;
            if (FcPatternGetInteger(font, FC_WEIGHT, 0, &value) == FcResultMatch) face.weight = value;
            if (FcPatternGetInteger(font, FC_SLANT, 0, &value) == FcResultMatch) face.slant = value;
            for (int n = 0;; ++n) {
                std::string family = GetString(font, FC_FAMILY, n);
                if (family.empty()) break;
                if (GetString(font, FC_FAMILYLANG, n) == "ja" && face.displayName.empty()) face.displayName = family;
                face.families.push_back(std::move(family));
            }
            if (face.families.empty()) continue;
            if (face.displayName.empty()) face.displayName = face.families[0];
            list.push_back(std::move(face));
        }
        // A stable order, so that equal candidates always resolve to the same file.
        std::sort(list.begin(), list.end(), [](const SInstalledFace& a, const SInstalledFace& b) {
            return std::tie(a.file, a.index) < std::tie(b.file, b.index);
        });
        if (set) FcFontSetDestroy(set);
        FcObjectSetDestroy(objects);
        FcLangSetDestroy(langs);
        FcPatternDestroy(pattern);
        return list;
    }();
    return faces;
}

bool HasFamily(const SInstalledFace& face, const std::string& family) {
    for (const std::string& name : face.families)
        if (::strcasecmp(name.c_str(), family.c_str()) == 0) return true;
    return false;
}

// The style of the family closest to the request: weight first, then slant.
const SInstalledFace* PickStyle(const std::string& family, bool bold, bool italic) {
    const int32_t wantedWeight = bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR;
    const SInstalledFace* best = nullptr;
    int32_t bestScore = 0;
    for (const SInstalledFace& face : InstalledJapaneseFaces()) {
        if (!HasFamily(face, family)) continue;
        int32_t score = std::abs(face.weight - wantedWeight);
        if ((face.slant != FC_SLANT_ROMAN) != italic) score += 1000;
        if (!best || score < bestScore) {
            best = &face;
            bestScore = score;
        }
    }
    return best;
}

// The family fontconfig prefers for Japanese sans-serif text, among the Japanese faces.
std::string BestJapaneseSansFamily() {
    const std::vector<SInstalledFace>& faces = InstalledJapaneseFaces();
    if (faces.empty()) return {};
    std::string family = faces[0].families[0];
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif:lang=ja"));
    if (!pattern) return family;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    if (match) {
        const std::string file = GetString(match, FC_FILE, 0);
        for (const SInstalledFace& face : faces)
            if (face.file == file) {
                family = face.families[0];
                break;
            }
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return family;
}

const char* SubstituteFor(const std::string& nameUtf8) {
    for (const SFaceAlias& alias : kFaceAliases)
        if (::strcasecmp(nameUtf8.c_str(), alias.windowsName) == 0) return alias.substitute;
    return nullptr;
}

uint32_t FileIdOf(const std::string& file) {
    static std::map<std::string, uint32_t> ids;
    auto [it, inserted] = ids.emplace(file, static_cast<uint32_t>(ids.size() + 1));
    return it->second;
}

std::shared_ptr<const SResolvedFace> Resolve(const std::string& faceSjis, bool bold, bool italic) {
    const std::string nameUtf8 = SjisToUtf8(faceSjis);
    const SInstalledFace* face = nullptr;
    if (const char* substitute = SubstituteFor(nameUtf8)) face = PickStyle(substitute, bold, italic);
    if (!face && !nameUtf8.empty()) face = PickStyle(nameUtf8, bold, italic);
    if (!face) {
        static const std::string fallback = BestJapaneseSansFamily();
        if (fallback.empty()) return nullptr;
        face = PickStyle(fallback, bold, italic);
    }
    if (!face) return nullptr;
    auto resolved = std::make_shared<SResolvedFace>();
    resolved->familyUtf8 = face->families[0];
    resolved->file = face->file;
    resolved->fileId = FileIdOf(face->file);
    resolved->index = face->index;
    resolved->syntheticBold = bold && face->weight < FC_WEIGHT_DEMIBOLD;
    resolved->syntheticItalic = italic && face->slant == FC_SLANT_ROMAN;
    return resolved;
}

FT_Library Library() {
    static FT_Library library = [] {
        FT_Library created = nullptr;
        if (FT_Init_FreeType(&created) != 0) return static_cast<FT_Library>(nullptr);
        return created;
    }();
    return library;
}

constexpr size_t kMaxCachedFaces = 8;
std::vector<std::unique_ptr<SSizedFace>> g_Faces;
uint64_t g_FaceUseClock = 0;
uint32_t g_FaceOpens = 0;

void CloseFace(SSizedFace* sized) {
    if (sized->face) FT_Done_Face(sized->face);
    sized->face = nullptr;
}

// Sizes the face for a font height: a positive height is the cell height (the Windows ascent +
// descent of the OS/2 table at that size), a negative one the em height, 0 a default cell of 16.
bool SizeFace(SSizedFace* sized) {
    FT_Face face = sized->face;
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    double unitsAscent = os2 ? os2->usWinAscent : face->ascender;
    double unitsDescent = os2 ? os2->usWinDescent : -face->descender;
    if (unitsAscent + unitsDescent <= 0) {
        unitsAscent = face->ascender;
        unitsDescent = -face->descender;
    }
    const double unitsCell = unitsAscent + unitsDescent;
    const double unitsPerEm = face->units_per_EM ? face->units_per_EM : 1000;
    if (unitsCell <= 0) return false;
    double cell = 0;
    double em = 0;
    if (sized->height < 0) {
        em = -sized->height;
        cell = std::round(em * unitsCell / unitsPerEm);
    } else {
        cell = sized->height ? sized->height : 16;
        em = cell * unitsPerEm / unitsCell;
    }
    const FT_F26Dot6 em26 = static_cast<FT_F26Dot6>(std::lround(em * 64.0));
    if (em26 <= 0 || FT_Set_Char_Size(face, 0, em26, 72, 72) != 0) return false;
    sized->ascent = static_cast<int32_t>(std::lround(unitsAscent * cell / unitsCell));
    sized->descent = static_cast<int32_t>(cell) - sized->ascent;
    const double scale = em / unitsPerEm;
    sized->aveCharWidth = static_cast<int32_t>(std::lround((os2 ? os2->xAvgCharWidth : face->max_advance_width / 2) * scale));
    sized->maxCharWidth = static_cast<int32_t>(std::lround(face->max_advance_width * scale));
    return true;
}

}  // namespace

std::shared_ptr<const SResolvedFace> ResolveFontFace(const std::string& faceSjis, bool bold, bool italic) {
    using Key = std::tuple<std::string, bool, bool>;
    static std::map<Key, std::shared_ptr<const SResolvedFace>> cache;
    constexpr size_t kMaxResolvedNames = 256;
    Key key{faceSjis, bold, italic};
    if (auto it = cache.find(key); it != cache.end()) return it->second;
    std::shared_ptr<const SResolvedFace> resolved = Resolve(faceSjis, bold, italic);
    if (cache.size() >= kMaxResolvedNames) cache.clear();  // fonts keep their own references
    if (resolved) cache.emplace(std::move(key), resolved);
    return resolved;
}

std::vector<std::string> ListJapaneseFaceNames() {
    std::vector<std::string> names;
    auto addName = [&names](const std::string& utf8) {
        std::string sjis;
        if (utf8.empty() || utf8[0] == '@' || !Utf8ToSjis(utf8, &sjis) || sjis.size() > 31) return;
        names.push_back(std::move(sjis));
    };
    for (const SInstalledFace& face : InstalledJapaneseFaces()) addName(face.displayName);
    for (size_t i = 0; i < kWindowsAliasCount; ++i)
        if (PickStyle(kFaceAliases[i].substitute, false, false)) addName(kFaceAliases[i].windowsName);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

SSizedFace* AcquireSizedFace(const SResolvedFace& resolved, int32_t height) {
    ++g_FaceUseClock;
    for (auto& sized : g_Faces)
        if (sized->fileId == resolved.fileId && sized->index == resolved.index && sized->height == height) {
            sized->lastUse = g_FaceUseClock;
            return sized.get();
        }
    FT_Library library = Library();
    if (!library) return nullptr;
    auto sized = std::make_unique<SSizedFace>();
    sized->fileId = resolved.fileId;
    sized->index = resolved.index;
    sized->height = height;
    sized->lastUse = g_FaceUseClock;
    ++g_FaceOpens;
    if (FT_New_Face(library, resolved.file.c_str(), resolved.index, &sized->face) != 0) {
        sized->face = nullptr;
        return nullptr;
    }
    if (!SizeFace(sized.get())) {
        CloseFace(sized.get());
        return nullptr;
    }
    if (g_Faces.size() >= kMaxCachedFaces) {
        auto oldest = std::min_element(g_Faces.begin(), g_Faces.end(),
                                       [](const auto& a, const auto& b) { return a->lastUse < b->lastUse; });
        CloseFace(oldest->get());
        g_Faces.erase(oldest);
    }
    g_Faces.push_back(std::move(sized));
    return g_Faces.back().get();
}

void CloseCachedFaces() {
    for (auto& sized : g_Faces) CloseFace(sized.get());
    g_Faces.clear();
}

uint32_t CountFaceOpens() { return g_FaceOpens; }
