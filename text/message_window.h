// The engine's message window: the frame picture, the name plate with the speaker's name, and
// the page text drawn glyph by glyph with an entrance effect and an optional flat shadow; the
// page command "TEXT" and its save form; a second glyph set that shows a message-log entry.
#pragma once

#include <cstdint>

#include "files/chunk_reader.h"
#include "files/stream.h"
#include "platform/types.h"
#include "text/glyph.h"

class CTexture;

constexpr int32_t kTextBytes = 256;    // page text field, terminator included
constexpr int32_t kTextGlyphs = 256;   // glyphs and format records of a page
constexpr int32_t kNameBytes = 16;     // speaker name field, terminator included
constexpr int32_t kNameGlyphs = 16;
constexpr int32_t kFaceNameBytes = 32;

// A per-character format, also the font record of the window and the name.
struct CTextFormat {
    char face[kFaceNameBytes];  // zero-terminated Shift-JIS face name
    int32_t height;             // font height in pixels (a positive height is the cell height)
    uint8_t bold;
    uint8_t italic;
    uint8_t reserved[2];
    uint32_t colour;  // ARGB
};
static_assert(sizeof(CTextFormat) == 44);

// Equal face (as strings), height, bold, italic and colour.
bool SameFormat(const CTextFormat& a, const CTextFormat& b);

// The message-window block of the engine parameters.
struct CMessageWindowStyle {
    char pictureName[260];  // empty: no frame picture
    SRect plateSource;
    int32_t plateX, plateY;
    SRect frameSource;
    int32_t frameX, frameY;
    CTextFormat nameFont;
    SRect nameRect, textRect, nameShadowRect, textShadowRect;
    int32_t lineGap;
    uint32_t shadowColour;
};

struct CMessageWindow {
    CTexture* frameTexture;
    uint32_t frameColour;  // colour the frame and plate are drawn with
    SRect plateSource;
    int32_t plateX, plateY;
    SRect frameSource;
    int32_t frameX, frameY;
    int32_t nef;   // the page's text has no entrance effect
    int32_t niwf;  // the reveal does not wait for the picture effects
    int32_t nblf;  // the page is not added to the message log
    int32_t whf;   // the window is hidden on this page
    char text[kTextBytes];
    CTextFormat textFormats[kTextGlyphs];
    CGlyph textGlyphs[kTextGlyphs];
    int32_t textGlyphCount;
    char name[kNameBytes];
    CGlyph nameGlyphs[kNameGlyphs];
    int32_t nameGlyphCount;  // includes the record of the name's terminating zero
    char logText[kTextBytes];
    CTextFormat logTextFormats[kTextGlyphs];
    CGlyph logTextGlyphs[kTextGlyphs];
    int32_t logTextGlyphCount;
    char logName[kNameBytes];
    CGlyph logNameGlyphs[kNameGlyphs];
    int32_t logNameGlyphCount;
    int32_t formatMode;  // 0: every character uses the window font, else its own format record
    CTextFormat windowFont;
    CTextFormat nameFont;
    SRect nameRect, textRect, nameShadowRect, textShadowRect;
    int32_t lineGap;
    uint32_t textFlags;  // bit 0 shadow pass, bit 1 outlined glyphs
    uint32_t shadowColour;
    uint32_t effectMode;  // 0..7
    uint32_t speed;       // ms per character
    uint32_t revealStart;  // game-clock start; kTimeNotSet: not started; kRevealShowAll: all at once

    CMessageWindow();
    ~CMessageWindow();
    CMessageWindow(const CMessageWindow&) = delete;
    CMessageWindow& operator=(const CMessageWindow&) = delete;

    // Copies the style and loads the frame picture. -1 when the picture cannot be loaded.
    int32_t Init(const CMessageWindowStyle* style);
    // Releases every glyph texture and the frame texture.
    void ReleaseGlyphs();

    // The page command "TEXT": reads exactly size bytes of sub-chunks; -1 when the name or the
    // text glyphs could not all be built.
    int32_t ParseCommand(CReadStream* stream, uint32_t size, uint32_t* consumed);
    // The payload of the save chunk "TEXT", masked with the save key; with no stream only its size.
    int32_t Save(CWriteStream* stream, uint32_t* size) const;
    // Reads a saved "TEXT" payload of size bytes from the masked stream.
    int32_t Restore(CReadStream* stream, uint32_t size, uint32_t* consumed);

    // Draws the window for the current page. 1 when the whole text is shown, else 0.
    int32_t Draw();
    // Draws the message-log entry shown in the window.
    void DrawLogEntry();
    int32_t DrawText(uint32_t elapsed);
    void DrawTextShadow(uint32_t elapsed);
    void DrawName();
    void DrawNameShadow();

    void SetTextFontMode(int32_t mode, const CTextFormat* font);
    void SetNameFont(const CTextFormat& font, int32_t logView);
    // Builds the name and text glyphs again (after the outline switch changed).
    int32_t RebuildGlyphs();

    int32_t BuildTextGlyphs(const char* source, const CTextFormat* formats);
    int32_t BuildNameGlyphs(const char* source);
    int32_t BuildLogTextGlyphs(const char* source, const CTextFormat* formats);
    int32_t BuildLogNameGlyphs(const char* source);
    // Copies the text (256 bytes) and its character count + 1 format records (formats may be null).
    void CopyText(char* destination, CTextFormat* formats) const;

private:
    int32_t ReadPayload(CReadStream* stream, uint32_t size, uint32_t* consumed, ChunkReadFn read);
    int32_t DrawTextRun(const SRect& rect, uint32_t elapsed, int32_t overrideFlag, uint32_t overrideColour);
    // Copies a text and its format records (the window font's when formats is null) into the
    // given fields and builds its glyphs; the log's glyphs are translucent.
    int32_t BuildTextRun(const char* source, const CTextFormat* formats, char* field, CTextFormat* fieldFormats,
                         CGlyph* glyphs, int32_t* count, bool translucent);
};
