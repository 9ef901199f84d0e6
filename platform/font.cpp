#include "platform/font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include <iconv.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "platform/font_faces.h"

struct CFont {
    int32_t height = 0;
    int32_t weight = kFontWeightNormal;
    uint32_t italic = 0;
    std::shared_ptr<const SResolvedFace> face;
    int32_t selections = 0;      // contexts that have it selected
    bool deletePending = false;  // deleted while selected: freed when deselected
    bool stock = false;          // the contexts' default font, never freed
};

struct CFontDC {
    CFont* selected = nullptr;
};

namespace {

constexpr uint32_t kNoCharacter = 0xFFFFFFFFu;

// The Unicode character of a Shift-JIS code (code page 932), or kNoCharacter.
uint32_t SjisCodeToUnicode(uint32_t code) {
    static iconv_t converter = iconv_open("UTF-32LE", "CP932");
    if (converter == reinterpret_cast<iconv_t>(-1) || code > 0xFFFF) return kNoCharacter;
    char input[2];
    size_t inputLeft = 0;
    if (code > 0xFF) input[inputLeft++] = static_cast<char>(code >> 8);
    input[inputLeft++] = static_cast<char>(code & 0xFF);
    uint8_t output[8];
    char* in = input;
    char* out = reinterpret_cast<char*>(output);
    size_t outputLeft = sizeof output;
    const size_t result = iconv(converter, &in, &inputLeft, &out, &outputLeft);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    if (result == static_cast<size_t>(-1) || inputLeft != 0 || sizeof output - outputLeft != 4) return kNoCharacter;
    return static_cast<uint32_t>(output[0]) | static_cast<uint32_t>(output[1]) << 8 |
           static_cast<uint32_t>(output[2]) << 16 | static_cast<uint32_t>(output[3]) << 24;
}

bool IsControlCode(uint32_t code) { return code < 0x20 || code == 0x7F; }

// The glyph shown for a code that is not Shift-JIS or that the face lacks.
FT_UInt ReplacementGlyph(FT_Face face) {
    for (FT_ULong character : {0xFFFDul, 0x25A1ul, static_cast<FT_ULong>('?')})
        if (FT_UInt index = FT_Get_Char_Index(face, character)) return index;
    return 0;
}

struct SGlyphKey {
    uint32_t fileId = 0;
    int32_t index = 0;
    int32_t height = 0;
    uint32_t styles = 0;  // bit 0 synthetic bold, bit 1 synthetic italic
    uint32_t code = 0;
    bool operator==(const SGlyphKey&) const = default;
};

struct SCachedGlyph {
    bool valid = false;
    SGlyphKey key;
    SGlyphMetrics metrics{};
    std::vector<uint8_t> bits;  // the padded 65-level bitmap
};

// Recent glyphs by (face, height, styles, code): a message page asks for each glyph twice
// (size, then bitmap) and a text block three times more. Direct-mapped and bounded; bitmaps of
// very large glyphs are not kept.
constexpr size_t kGlyphCacheSlots = 1024;
constexpr size_t kMaxCachedBitmapBytes = 16384;
std::array<SCachedGlyph, kGlyphCacheSlots> g_GlyphCache;
uint32_t g_GlyphRenders = 0;

size_t SlotOf(const SGlyphKey& key) {
    uint64_t h = key.code * 0x9E3779B1u;
    h ^= (static_cast<uint64_t>(key.fileId) << 32) ^ (static_cast<uint64_t>(key.index) << 20) ^
         (static_cast<uint64_t>(static_cast<uint32_t>(key.height)) << 4) ^ key.styles;
    h *= 0xFF51AFD7ED558CCDull;
    return static_cast<size_t>(h >> 40) % kGlyphCacheSlots;
}

void SetEmptyGlyph(SGlyphMetrics* metrics, int32_t advance) {
    *metrics = {};
    metrics->gmBlackBoxX = 1;
    metrics->gmBlackBoxY = 1;
    metrics->gmCellIncX = static_cast<int16_t>(std::clamp(advance, -32768, 32767));
}

// Rasterises one glyph into the 65-level layout.
bool RenderGlyph(FT_Face face, const SResolvedFace& resolved, uint32_t code, SGlyphMetrics* metrics,
                 std::vector<uint8_t>* bits) {
    ++g_GlyphRenders;
    bits->clear();
    if (IsControlCode(code)) {
        SetEmptyGlyph(metrics, 0);
        return true;
    }
    const uint32_t character = SjisCodeToUnicode(code);
    FT_UInt glyphIndex = character == kNoCharacter ? 0 : FT_Get_Char_Index(face, character);
    if (!glyphIndex) glyphIndex = ReplacementGlyph(face);
    if (FT_Load_Glyph(face, glyphIndex, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_LIGHT) != 0) return false;
    FT_GlyphSlot slot = face->glyph;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        if (resolved.syntheticItalic) FT_GlyphSlot_Oblique(slot);
        if (resolved.syntheticBold) FT_GlyphSlot_Embolden(slot);
    }
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return false;
    const FT_Bitmap& bitmap = slot->bitmap;
    const int32_t advance = static_cast<int32_t>((slot->advance.x + 32) >> 6);
    if (bitmap.width == 0 || bitmap.rows == 0 || bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) {
        SetEmptyGlyph(metrics, advance);
        return true;
    }
    *metrics = {};
    metrics->gmBlackBoxX = bitmap.width;
    metrics->gmBlackBoxY = bitmap.rows;
    metrics->gmptGlyphOrigin = {slot->bitmap_left, slot->bitmap_top};
    metrics->gmCellIncX = static_cast<int16_t>(std::clamp(advance, -32768, 32767));
    const uint32_t pitch = (bitmap.width + 3) & ~3u;
    bits->assign(static_cast<size_t>(pitch) * bitmap.rows, 0);
    const uint32_t grays = bitmap.num_grays > 1 ? bitmap.num_grays - 1 : 1;
    for (uint32_t y = 0; y < bitmap.rows; ++y) {
        const uint8_t* source = bitmap.buffer + static_cast<ptrdiff_t>(y) * bitmap.pitch;
        uint8_t* dest = bits->data() + static_cast<size_t>(y) * pitch;
        for (uint32_t x = 0; x < bitmap.width; ++x) dest[x] = static_cast<uint8_t>((source[x] * 64u + grays / 2) / grays);
    }
    return true;
}

CFont* StockFont() {
    static CFont* stock = [] {
        CFont* font = CreateFontSjis(16, kFontWeightNormal, 0, "");
        if (font) font->stock = true;
        return font;
    }();
    return stock;
}

void Deselect(CFont* font) {
    if (!font) return;
    --font->selections;
    if (font->deletePending && font->selections <= 0) delete font;
}

SSizedFace* SelectedFace(CFontDC* dc) {
    if (!dc || !dc->selected || !dc->selected->face) return nullptr;
    return AcquireSizedFace(*dc->selected->face, dc->selected->height);
}

}  // namespace

CFont* CreateFontSjis(int32_t height, int32_t weight, uint32_t italic, const char* faceSjis) {
    if (height < -kMaxFontHeight || height > kMaxFontHeight) return nullptr;
    const std::string face = faceSjis ? std::string(faceSjis, strnlen(faceSjis, 31)) : std::string();
    const bool bold = weight >= kFontWeightBold;
    std::shared_ptr<const SResolvedFace> resolved = ResolveFontFace(face, bold, italic != 0);
    if (!resolved) return nullptr;
    CFont* font = new CFont;
    font->height = height;
    font->weight = weight > 0 ? weight : kFontWeightNormal;
    font->italic = italic ? 1 : 0;
    font->face = std::move(resolved);
    return font;
}

void DeleteFont(CFont* font) {
    if (!font || font->stock) return;
    if (font->selections > 0) {
        font->deletePending = true;
        return;
    }
    delete font;
}

CFontDC* GetFontDC(CPlatformWindow*) {
    CFontDC* dc = new CFontDC;
    dc->selected = StockFont();
    if (dc->selected) ++dc->selected->selections;
    return dc;
}

void ReleaseFontDC(CPlatformWindow*, CFontDC* dc) {
    if (!dc) return;
    Deselect(dc->selected);
    delete dc;
}

CFont* SelectFont(CFontDC* dc, CFont* font) {
    if (!dc || !font || font->deletePending) return nullptr;
    CFont* previous = dc->selected;
    ++font->selections;
    dc->selected = font;
    if (previous && previous->deletePending && previous->selections <= 1) {
        // The caller deleted it while selected: it goes now, and cannot be handed back.
        Deselect(previous);
        return StockFont();
    }
    Deselect(previous);
    return previous;
}

int32_t GetFontTextMetrics(CFontDC* dc, STextMetrics* metrics) {
    SSizedFace* sized = SelectedFace(dc);
    if (!sized || !metrics) return -1;
    *metrics = {};
    metrics->tmAscent = sized->ascent;
    metrics->tmDescent = sized->descent;
    metrics->tmHeight = sized->ascent + sized->descent;
    metrics->tmAveCharWidth = sized->aveCharWidth;
    metrics->tmMaxCharWidth = sized->maxCharWidth;
    metrics->tmWeight = dc->selected->weight;
    metrics->tmItalic = static_cast<uint8_t>(dc->selected->italic);
    return 0;
}

uint32_t GetGlyphOutlineGray8(CFontDC* dc, uint32_t code, SGlyphMetrics* metrics, uint32_t bufferSize,
                              uint8_t* buffer) {
    if (!dc || !dc->selected || !dc->selected->face || !metrics) return kGlyphOutlineError;
    const SResolvedFace& resolved = *dc->selected->face;
    SGlyphKey key;
    key.fileId = resolved.fileId;
    key.index = resolved.index;
    key.height = dc->selected->height;
    key.styles = (resolved.syntheticBold ? 1u : 0u) | (resolved.syntheticItalic ? 2u : 0u);
    key.code = code;
    SCachedGlyph& slot = g_GlyphCache[SlotOf(key)];
    SCachedGlyph rendered;
    const SCachedGlyph* glyph = &slot;
    if (!slot.valid || !(slot.key == key)) {
        SSizedFace* sized = SelectedFace(dc);
        if (!sized) return kGlyphOutlineError;
        if (!RenderGlyph(sized->face, resolved, code, &rendered.metrics, &rendered.bits)) return kGlyphOutlineError;
        rendered.valid = true;
        rendered.key = key;
        if (rendered.bits.size() <= kMaxCachedBitmapBytes) {
            slot = std::move(rendered);
        } else {
            glyph = &rendered;
        }
    }
    *metrics = glyph->metrics;
    const uint32_t size = static_cast<uint32_t>(glyph->bits.size());
    if (bufferSize == 0 || !buffer) return size;
    if (bufferSize < size) return kGlyphOutlineError;
    if (size) std::memcpy(buffer, glyph->bits.data(), size);
    return size;
}

std::vector<std::string> EnumJapaneseFontFaces() { return ListJapaneseFaceNames(); }

bool DescribeFontFace(const char* faceSjis, int32_t weight, uint32_t italic, SFontFaceInfo* info) {
    CFont* font = CreateFontSjis(16, weight, italic, faceSjis);
    if (!font || !info) {
        DeleteFont(font);
        return false;
    }
    info->familyUtf8 = font->face->familyUtf8;
    info->file = font->face->file;
    info->index = font->face->index;
    info->syntheticBold = font->face->syntheticBold;
    info->syntheticItalic = font->face->syntheticItalic;
    DeleteFont(font);
    return true;
}

SFontCacheStats GetFontCacheStats() { return {CountFaceOpens(), g_GlyphRenders}; }

void FlushFontCaches() {
    for (SCachedGlyph& glyph : g_GlyphCache) glyph = {};
    CloseCachedFaces();
}
