// The choice window: up to four choices offered by a page ("SELE"), drawn as a stack of bars
// centred on a fixed point once the page has settled, picked with the mouse or the keyboard.
#pragma once

#include <cstdint>

#include "files/chunk_reader.h"
#include "files/stream.h"
#include "platform/types.h"
#include "text/glyph.h"

class CTexture;
struct CInputState;
struct CPlatformWindow;

constexpr int32_t kChoiceItemCount = 4;
constexpr int32_t kChoiceTextSize = 64;
constexpr int32_t kChoiceTargetSize = 260;

// The look of the window, fixed for the run (from the engine parameters).
struct CChoiceWindowStyle {
    char picture[260];  // bar picture; empty: none
    SRect normalBar;
    SRect highlightedBar;
    int32_t originX;
    int32_t originY;
    int32_t spacing;
    SRect textRect;  // relative to a bar's top-left
    char face[32];
    int32_t height;
    uint8_t bold;
    uint8_t italic;
    uint32_t textColour;
    uint32_t highlightColour;
};

struct CChoiceItem {
    int32_t used = 0;
    char text[kChoiceTextSize] = {};
    CGlyph glyphs[kChoiceTextSize];
    int32_t glyphCount = 0;  // includes the record of the terminating zero
    char target[kChoiceTargetSize] = {};

    CChoiceItem() = default;
    CChoiceItem(const CChoiceItem&) = delete;
    CChoiceItem& operator=(const CChoiceItem&) = delete;
    ~CChoiceItem();
    void ReleaseGlyphs();
};

struct CChoiceWindow {
    CTexture* picture = nullptr;
    SRect normalBar = {};
    SRect highlightedBar = {};
    int32_t originX = 0;
    int32_t originY = 0;
    int32_t spacing = 0;
    SRect textRect = {};
    char face[32] = {};
    int32_t height = 0;
    uint8_t bold = 0;
    uint8_t italic = 0;
    uint32_t textColour = 0;
    uint32_t highlightColour = 0;
    int32_t active = 0;
    CChoiceItem items[kChoiceItemCount];
    int32_t highlighted = -1;
    int32_t waitForVoice = 0;

    CChoiceWindow() = default;
    CChoiceWindow(const CChoiceWindow&) = delete;
    CChoiceWindow& operator=(const CChoiceWindow&) = delete;
    ~CChoiceWindow();

    // Inactive, no highlighted item, every item unused and empty.
    void Clear();
    // Copies the style and loads the bar picture. 0, or -1 when the picture cannot be loaded.
    int32_t SetStyle(const CChoiceWindowStyle* style);
    // The page command "SELE". 0, or -1 when an item's glyphs cannot be made.
    int32_t ParseCommand(CReadStream* stream, uint32_t size, uint32_t* consumed);
    // Draws the bars and texts once effects, text and voices are done. 0.
    int32_t Draw();
    // Mouse and keys: 1 and the picked item's target, else 0.
    int32_t Update(CInputState* input, char target[kChoiceTargetSize]);
    // The save chunk "SELE": SELN, TEXT and JMPF per used item. With no stream only the size.
    int32_t Save(CWriteStream* stream, uint32_t* size) const;
    int32_t Restore(CReadStream* stream, uint32_t size, uint32_t* consumed);
    int32_t BuildItemGlyphs(const char* text, CGlyph* glyphs, int32_t* count) const;
    void ReleaseGlyphs();

    // Layout shared by drawing and input.
    int32_t UsedCount() const;
    int32_t BarLeft() const;
    // Top of the bar of a used item, by its row among the used items.
    int32_t BarTop(int32_t item) const;
    // The used item whose bar contains the point (edges included), or -1.
    int32_t ItemAt(int32_t x, int32_t y) const;

private:
    int32_t ReadItems(CReadStream* stream, ChunkReadFn read, uint32_t size, uint32_t* consumed);
    int32_t StepHighlight(int32_t direction) const;
};
