#include "text/message_window.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "files/chunk_reader.h"
#include "files/chunk_save.h"
#include "files/loaders.h"
#include "files/scrambled_io.h"
#include "platform/font.h"
#include "platform/graphics.h"
#include "platform/quad_draw.h"
#include "platform/render_context.h"
#include "platform/text_helpers.h"
#include "text/text_reveal.h"

namespace {

constexpr uint32_t kTagNblf = MakeTag("NBLF");
constexpr uint32_t kTagNef = MakeTag("NEF ");
constexpr uint32_t kTagWhf = MakeTag("WHF ");
constexpr uint32_t kTagNiwf = MakeTag("NIWF");
constexpr uint32_t kTagName = MakeTag("NAME");
constexpr uint32_t kTagTfmt = MakeTag("TFMT");
constexpr uint32_t kTagText = MakeTag("TEXT");

constexpr uint32_t kLogAlpha = 0x88000000u;
constexpr float kSwellAmount = 0.5f;
// Bytes of a format run entry besides its face: entry size, face length, height, bold, italic,
// colour, run length.
constexpr uint32_t kRunFixedBytes = 22;
constexpr uint32_t kRunFieldBytes = 14;  // height .. run length

// Format runs; returns false when the rest of the payload is to be skipped.
bool ReadFormatRun(CChunkReader& runs, CTextFormat* formats, int32_t* filled) {
    uint32_t entrySize = 0, faceLength = 0;
    if (!runs.ReadU32(&entrySize)) return false;
    CChunkReader entry = runs.Slice(entrySize);
    if (!entry.ReadU32(&faceLength) || faceLength > entry.Remaining() || entry.Remaining() - faceLength < kRunFieldBytes)
        return false;
    CTextFormat format{};
    entry.Slice(faceLength).ReadString(format.face, kFaceNameBytes);
    uint8_t fields[kRunFieldBytes];
    if (entry.Read(fields, sizeof fields) != sizeof fields) return false;
    format.height = static_cast<int32_t>(ReadU32LE(fields));
    format.bold = fields[4];
    format.italic = fields[5];
    format.colour = ReadU32LE(fields + 6);
    const uint32_t runLength = ReadU32LE(fields + 10);
    const uint32_t room = static_cast<uint32_t>(kTextGlyphs - *filled);
    const uint32_t taken = std::min(runLength, room);
    std::fill_n(formats + *filled, taken, format);
    *filled += static_cast<int32_t>(taken);
    return runLength <= room;
}

// What a "TEXT" payload sets.
struct STextPayload {
    int32_t nef = 0, niwf = 0, nblf = 0, whf = 0;
    char name[kNameBytes] = {};
    char text[kTextBytes] = {};
    CTextFormat formats[kTextGlyphs];
};

// The page flag a tag sets, or null for the tags that are not flags.
int32_t* FlagOfTag(uint32_t tag, STextPayload* payload) {
    switch (tag) {
        case kTagNblf: return &payload->nblf;
        case kTagNef: return &payload->nef;
        case kTagWhf: return &payload->whf;
        case kTagNiwf: return &payload->niwf;
        default: return nullptr;
    }
}

// Sub-chunks larger than what is left of the payload are cut to it.
void ReadTextPayload(CChunkReader& reader, STextPayload* payload) {
    CChunkHeader header;
    while (reader.NextChunk(&header, OversizedChunk::Clip)) {
        if (int32_t* flag = FlagOfTag(header.tag, payload)) {
            reader.NoBody();  // the flag tags carry no payload; their size field is not used
            *flag = 1;
            continue;
        }
        CChunkReader body = reader.Body();
        if (header.tag == kTagName) {
            body.ReadString(payload->name, kNameBytes);
        } else if (header.tag == kTagText) {
            body.ReadString(payload->text, kTextBytes);
        } else if (header.tag == kTagTfmt) {
            int32_t filled = 0;
            while (body.Remaining() >= 4 && ReadFormatRun(body, payload->formats, &filled)) {
            }
        }
    }
}

// Copies a string into a field of `capacity` bytes, cut and terminated (source may alias it).
void CopyField(char* field, const char* source, size_t capacity) {
    char copy[kTextBytes] = {};
    if (source) std::memcpy(copy, source, strnlen(source, capacity - 1));
    std::memcpy(field, copy, capacity);
    field[capacity - 1] = '\0';
}

// Format records used by a text: its characters (13 and 12 excepted) + 1.
int32_t RecordCount(const char* text) { return std::min(CountChars(text, kCodeCarriageReturn, kCodeFormFeed) + 1, kTextGlyphs); }

CFont* CreateFormatFont(const CTextFormat& format) {
    return CreateFontSjis(format.height, format.bold ? kFontWeightBold : kFontWeightNormal, format.italic, format.face);
}

}  // namespace

bool SameFormat(const CTextFormat& a, const CTextFormat& b) {
    return strncmp(a.face, b.face, kFaceNameBytes) == 0 && a.height == b.height && a.bold == b.bold &&
           a.italic == b.italic && a.colour == b.colour;
}

CMessageWindow::CMessageWindow()
    : frameTexture(nullptr),
      frameColour(0xFFFFFFFFu),
      plateSource{},
      plateX(0),
      plateY(0),
      frameSource{},
      frameX(0),
      frameY(0),
      nef(0),
      niwf(0),
      nblf(0),
      whf(0),
      text{},
      textFormats{},
      textGlyphCount(0),
      name{},
      nameGlyphCount(0),
      logText{},
      logTextFormats{},
      logTextGlyphCount(0),
      logName{},
      logNameGlyphCount(0),
      formatMode(0),
      windowFont{},
      nameFont{},
      nameRect{},
      textRect{},
      nameShadowRect{},
      textShadowRect{},
      lineGap(0),
      textFlags(1),
      shadowColour(0xFF505050u),
      effectMode(2),
      speed(50),
      revealStart(kTimeNotSet) {}

CMessageWindow::~CMessageWindow() { ReleaseGlyphs(); }

int32_t CMessageWindow::Init(const CMessageWindowStyle* style) {
    if (!style) return -1;
    if (frameTexture) frameTexture->Release();
    frameTexture = nullptr;
    plateSource = style->plateSource;
    plateX = style->plateX;
    plateY = style->plateY;
    frameSource = style->frameSource;
    frameX = style->frameX;
    frameY = style->frameY;
    nameFont = style->nameFont;
    nameRect = style->nameRect;
    textRect = style->textRect;
    nameShadowRect = style->nameShadowRect;
    textShadowRect = style->textShadowRect;
    lineGap = style->lineGap;
    shadowColour = style->shadowColour;
    if (style->pictureName[0] == '\0') return 0;
    char picture[sizeof style->pictureName] = {};
    std::memcpy(picture, style->pictureName, strnlen(style->pictureName, sizeof picture - 1));
    if (LoadTexture(g_pEngineDevice, &frameTexture, picture) != 0) {
        frameTexture = nullptr;
        return -1;
    }
    return 0;
}

void CMessageWindow::ReleaseGlyphs() {
    for (CGlyph& glyph : textGlyphs) glyph.Release();
    for (CGlyph& glyph : nameGlyphs) glyph.Release();
    for (CGlyph& glyph : logTextGlyphs) glyph.Release();
    for (CGlyph& glyph : logNameGlyphs) glyph.Release();
    textGlyphCount = nameGlyphCount = logTextGlyphCount = logNameGlyphCount = 0;
    if (frameTexture) frameTexture->Release();
    frameTexture = nullptr;
}

int32_t CMessageWindow::ReadPayload(CReadStream* stream, uint32_t size, uint32_t* consumed, ChunkReadFn read) {
    auto payload = std::make_unique<STextPayload>();
    std::fill(std::begin(payload->formats), std::end(payload->formats), windowFont);
    CChunkReader reader(stream, size, read);
    ReadTextPayload(reader, payload.get());
    reader.SkipRest();
    if (consumed) *consumed = reader.Consumed();
    nef = payload->nef;
    niwf = payload->niwf;
    nblf = payload->nblf;
    if (payload->whf) whf = 1;
    const int32_t nameResult = BuildNameGlyphs(payload->name);
    const int32_t textResult = BuildTextGlyphs(payload->text, payload->formats);
    return nameResult == 0 && textResult == 0 ? 0 : -1;
}

int32_t CMessageWindow::ParseCommand(CReadStream* stream, uint32_t size, uint32_t* consumed) {
    return ReadPayload(stream, size, consumed, ReadPlain);
}

int32_t CMessageWindow::Restore(CReadStream* stream, uint32_t size, uint32_t* consumed) {
    // Like the page command, a restore sets the hidden-window flag but never clears it: only a
    // page start does.
    return ReadPayload(stream, size, consumed, ReadSaveScrambled);
}

int32_t CMessageWindow::Save(CWriteStream* stream, uint32_t* size) const {
    CSaveChunkWriter writer(stream);
    if (nef) writer.Header(kTagNef, 0);
    if (niwf) writer.Header(kTagNiwf, 0);
    if (nblf) writer.Header(kTagNblf, 0);
    if (whf) writer.Header(kTagWhf, 0);
    const uint32_t nameLength = static_cast<uint32_t>(strnlen(name, kNameBytes - 1));
    if (nameLength > 0) {
        writer.Header(kTagName, nameLength + 1);
        writer.Bytes(name, nameLength);
        writer.Bytes("", 1);
    }
    const uint32_t textLength = static_cast<uint32_t>(strnlen(text, kTextBytes - 1));
    writer.Header(kTagText, textLength + 1);
    writer.Bytes(text, textLength);
    writer.Bytes("", 1);

    // Runs of equal records over the text's character count + 1.
    const int32_t records = RecordCount(text);
    struct SRun {
        int32_t first;
        uint32_t length;
        uint32_t faceLength;
    };
    std::vector<SRun> runs;
    uint32_t runBytes = 0;
    for (int32_t i = 0; i < records; ++i) {
        if (!runs.empty() && SameFormat(textFormats[runs.back().first], textFormats[i])) {
            ++runs.back().length;
            continue;
        }
        const uint32_t faceLength = static_cast<uint32_t>(strnlen(textFormats[i].face, kFaceNameBytes - 1)) + 1;
        runs.push_back({i, 1, faceLength});
        runBytes += faceLength + kRunFixedBytes;
    }
    writer.Header(kTagTfmt, runBytes);
    for (const SRun& run : runs) {
        const CTextFormat& format = textFormats[run.first];
        writer.U32(run.faceLength + kRunFixedBytes - 4);
        writer.U32(run.faceLength);
        writer.Bytes(format.face, run.faceLength - 1);
        writer.Bytes("", 1);
        uint8_t fields[kRunFieldBytes];
        WriteU32LE(fields, static_cast<uint32_t>(format.height));
        fields[4] = format.bold;
        fields[5] = format.italic;
        WriteU32LE(fields + 6, format.colour);
        WriteU32LE(fields + 10, run.length);
        writer.Bytes(fields, sizeof fields);
    }
    if (size) *size = writer.Total();
    return 0;
}

int32_t CMessageWindow::BuildTextRun(const char* source, const CTextFormat* formats, char* field,
                                     CTextFormat* fieldFormats, CGlyph* glyphs, int32_t* count, bool translucent) {
    CopyField(field, source, kTextBytes);
    const int32_t records = RecordCount(field);
    if (formats) {
        std::memmove(fieldFormats, formats, sizeof(CTextFormat) * records);
    } else {
        std::fill_n(fieldFormats, records, windowFont);
    }
    return RasterizeText(field, false, glyphs, kTextGlyphs, count, (textFlags >> 1) & 1, [&](int32_t index) {
        const CTextFormat& format = formatMode ? fieldFormats[index] : windowFont;
        const uint32_t colour = translucent ? (format.colour & 0x00FFFFFFu) | kLogAlpha : format.colour;
        return SGlyphStyle{CreateFormatFont(format), true, colour};
    });
}

int32_t CMessageWindow::BuildTextGlyphs(const char* source, const CTextFormat* formats) {
    return BuildTextRun(source, formats, text, textFormats, textGlyphs, &textGlyphCount, false);
}

int32_t CMessageWindow::BuildLogTextGlyphs(const char* source, const CTextFormat* formats) {
    return BuildTextRun(source, formats, logText, logTextFormats, logTextGlyphs, &logTextGlyphCount, true);
}

int32_t CMessageWindow::BuildNameGlyphs(const char* source) {
    CopyField(name, source, kNameBytes);
    CFont* font = CreateFormatFont(nameFont);
    const int32_t result = RasterizeText(name, true, nameGlyphs, kNameGlyphs, &nameGlyphCount, (textFlags >> 1) & 1,
                                         [&](int32_t) { return SGlyphStyle{font, false, nameFont.colour}; });
    DeleteFont(font);
    return result;
}

int32_t CMessageWindow::BuildLogNameGlyphs(const char* source) {
    CopyField(logName, source, kNameBytes);
    // Format mode 0 takes the window font's face and size, but the colour stays the name's.
    CFont* font = CreateFormatFont(formatMode ? nameFont : windowFont);
    const uint32_t colour = (nameFont.colour & 0x00FFFFFFu) | kLogAlpha;
    const int32_t result = RasterizeText(logName, true, logNameGlyphs, kNameGlyphs, &logNameGlyphCount,
                                         (textFlags >> 1) & 1, [&](int32_t) { return SGlyphStyle{font, false, colour}; });
    DeleteFont(font);
    return result;
}

int32_t CMessageWindow::RebuildGlyphs() {
    const int32_t nameResult = BuildNameGlyphs(name);
    const int32_t textResult = BuildTextGlyphs(text, textFormats);
    return nameResult == 0 && textResult == 0 ? 0 : -1;
}

void CMessageWindow::CopyText(char* destination, CTextFormat* formats) const {
    if (destination) std::memcpy(destination, text, kTextBytes);
    if (formats) std::memcpy(formats, textFormats, sizeof(CTextFormat) * RecordCount(text));
}

void CMessageWindow::SetTextFontMode(int32_t mode, const CTextFormat* font) {
    bool rebuild = false;
    if (mode != formatMode) {
        formatMode = mode;
        rebuild = true;
    }
    if (font && !SameFormat(*font, windowFont)) {
        if (mode == 0) windowFont = *font;
        rebuild = true;
    }
    if (rebuild) BuildTextGlyphs(text, textFormats);
}

void CMessageWindow::SetNameFont(const CTextFormat& font, int32_t logView) {
    if (SameFormat(font, nameFont)) return;
    nameFont = font;
    BuildNameGlyphs(name);
    if (logView == 1) BuildLogNameGlyphs(logName);
}

int32_t CMessageWindow::DrawTextRun(const SRect& rect, uint32_t elapsed, int32_t overrideFlag,
                                    uint32_t overrideColour) {
    CGraphicsDevice* device = g_pEngineDevice;
    const CGlyph* glyphs = textGlyphs;
    const int32_t count = textGlyphCount;
    if (nef) return DrawGlyphRun(device, glyphs, count, rect, 1, lineGap, overrideFlag, overrideColour);
    switch (effectMode) {
        case 0: return DrawGlyphRun(device, glyphs, count, rect, 1, lineGap, overrideFlag, overrideColour);
        case 1: return DrawGlyphRunTyped(device, glyphs, count, rect, lineGap, elapsed, speed, overrideFlag, overrideColour);
        case 2: return DrawGlyphRunFade(device, glyphs, count, rect, lineGap, elapsed, speed, overrideFlag, overrideColour);
        case 3: return DrawGlyphRunZoom(device, glyphs, count, rect, lineGap, elapsed, speed, overrideFlag, overrideColour);
        case 4:
            return DrawGlyphRunSlideUp(device, glyphs, count, rect, lineGap, elapsed, speed, overrideFlag, overrideColour);
        case 5:
            return DrawGlyphRunSlideDown(device, glyphs, count, rect, lineGap, elapsed, speed, overrideFlag,
                                         overrideColour);
        case 6: return DrawGlyphRunHop(device, glyphs, count, rect, lineGap, elapsed, speed, overrideFlag, overrideColour);
        case 7:
            return DrawGlyphRunSwell(device, glyphs, count, rect, lineGap, elapsed, speed, overrideFlag, overrideColour,
                                     kSwellAmount);
        default: return 0;
    }
}

int32_t CMessageWindow::DrawText(uint32_t elapsed) { return DrawTextRun(textRect, elapsed, 0, 0); }

namespace {

// Draws glyphs in the diffuse colour alone, their coverage giving only the shape, and puts the
// stage-0 colour states back afterwards.
class CShadowStageScope {
public:
    explicit CShadowStageScope(CGraphicsDevice* device)
        : device_(device),
          op_(device ? device->GetTextureStageState(0, TexStage::ColorOp) : 0),
          arg_(device ? device->GetTextureStageState(0, TexStage::ColorArg1) : 0) {
        if (!device_) return;
        device_->SetTextureStageState(0, TexStage::ColorOp, TexOp::SelectArg1);
        device_->SetTextureStageState(0, TexStage::ColorArg1, TexArg::Diffuse);
    }
    ~CShadowStageScope() {
        if (!device_) return;
        device_->SetTextureStageState(0, TexStage::ColorOp, op_);
        device_->SetTextureStageState(0, TexStage::ColorArg1, arg_);
    }
    CShadowStageScope(const CShadowStageScope&) = delete;
    CShadowStageScope& operator=(const CShadowStageScope&) = delete;

private:
    CGraphicsDevice* device_;
    uint32_t op_;
    uint32_t arg_;
};

}  // namespace

void CMessageWindow::DrawTextShadow(uint32_t elapsed) {
    CShadowStageScope stage(g_pEngineDevice);
    DrawTextRun(textShadowRect, elapsed, 1, shadowColour);
}

void CMessageWindow::DrawName() {
    DrawGlyphRun(g_pEngineDevice, nameGlyphs, nameGlyphCount, nameRect, 0, 0, 0, 0);
}

void CMessageWindow::DrawNameShadow() {
    CShadowStageScope stage(g_pEngineDevice);
    DrawGlyphRun(g_pEngineDevice, nameGlyphs, nameGlyphCount, nameShadowRect, 0, 0, 1, shadowColour);
}

int32_t CMessageWindow::Draw() {
    CGraphicsDevice* device = g_pEngineDevice;
    if (frameTexture) DrawSprite(device, frameTexture, &frameSource, 1, frameX, frameY, frameColour);
    if (nameGlyphCount > 1 && frameTexture) DrawSprite(device, frameTexture, &plateSource, 1, plateX, plateY, frameColour);
    if (!niwf && revealStart == kTimeNotSet) {
        if (g_bHoldTextStart) return 0;
        revealStart = g_GameClock;
    }
    if (revealStart == kTimeNotSet) return 0;
    // Showing everything at once must not depend on how far the game clock has run.
    const uint32_t elapsed = revealStart == kRevealShowAll ? 0xFFFFFFFFu : g_GameClock - revealStart;
    if (textFlags & 1) DrawTextShadow(elapsed);
    const int32_t shown = DrawText(elapsed);
    if (nameGlyphCount > 1) {
        if (textFlags & 1) DrawNameShadow();
        DrawName();
    }
    return shown;
}

void CMessageWindow::DrawLogEntry() {
    CGraphicsDevice* device = g_pEngineDevice;
    if (frameTexture) DrawSprite(device, frameTexture, &frameSource, 1, frameX, frameY, frameColour);
    if (textFlags & 1)
        DrawGlyphRun(device, logTextGlyphs, logTextGlyphCount, textShadowRect, 1, lineGap, 1, shadowColour);
    DrawGlyphRun(device, logTextGlyphs, logTextGlyphCount, textRect, 1, lineGap, 0, 0);
    if (logNameGlyphCount <= 1) return;
    if (frameTexture) DrawSprite(device, frameTexture, &plateSource, 1, plateX, plateY, frameColour);
    if (textFlags & 1) DrawGlyphRun(device, logNameGlyphs, logNameGlyphCount, nameShadowRect, 0, 0, 1, shadowColour);
    DrawGlyphRun(device, logNameGlyphs, logNameGlyphCount, nameRect, 0, 0, 0, 0);
}
