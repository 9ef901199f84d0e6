#include "text/choice_window.h"

#include <cstring>

#include "files/chunk_reader.h"
#include "files/chunk_save.h"
#include "files/loaders.h"
#include "files/scrambled_io.h"
#include "platform/font.h"
#include "platform/graphics.h"
#include "platform/input_state.h"
#include "platform/quad_draw.h"
#include "platform/render_context.h"
#include "text/text_reveal.h"

namespace {

constexpr uint32_t kTagSeln = MakeTag("SELN");
constexpr uint32_t kTagText = MakeTag("TEXT");
constexpr uint32_t kTagJmpf = MakeTag("JMPF");

struct CChoiceScratch {
    int32_t used;
    char text[kChoiceTextSize];
    char target[kChoiceTargetSize];
};

int32_t Trunc(float value) { return static_cast<int32_t>(value); }

}  // namespace

CChoiceItem::~CChoiceItem() { ReleaseGlyphs(); }

void CChoiceItem::ReleaseGlyphs() {
    for (CGlyph& glyph : glyphs) glyph.Release();
    glyphCount = 0;
}

CChoiceWindow::~CChoiceWindow() { ReleaseGlyphs(); }

void CChoiceWindow::Clear() {
    active = 0;
    highlighted = -1;
    waitForVoice = 0;
    for (CChoiceItem& item : items) {
        item.used = 0;
        item.text[0] = '\0';
        item.target[0] = '\0';
    }
}

void CChoiceWindow::ReleaseGlyphs() {
    if (picture != nullptr) {
        picture->Release();
        picture = nullptr;
    }
    for (CChoiceItem& item : items) item.ReleaseGlyphs();
}

int32_t CChoiceWindow::SetStyle(const CChoiceWindowStyle* style) {
    normalBar = style->normalBar;
    highlightedBar = style->highlightedBar;
    originX = style->originX;
    originY = style->originY;
    spacing = style->spacing;
    textRect = style->textRect;
    std::memcpy(face, style->face, sizeof(face));
    face[sizeof(face) - 1] = '\0';
    height = style->height;
    bold = style->bold;
    italic = style->italic;
    textColour = style->textColour;
    highlightColour = style->highlightColour;
    if (style->picture[0] == '\0') return 0;
    if (picture != nullptr) {
        picture->Release();
        picture = nullptr;
    }
    return LoadTexture(g_pEngineDevice, &picture, style->picture, nullptr) == 0 ? 0 : -1;
}

int32_t CChoiceWindow::BuildItemGlyphs(const char* text, CGlyph* glyphs, int32_t* count) const {
    CFont* font = CreateFontSjis(height, bold ? kFontWeightBold : kFontWeightNormal, italic, face);
    if (font == nullptr) return -1;
    const int32_t result = RasterizeText(text, true, glyphs, kChoiceTextSize, count, 0,
                                         [&](int32_t) { return SGlyphStyle{font, false, textColour}; });
    DeleteFont(font);
    return result;
}

int32_t CChoiceWindow::ReadItems(CReadStream* stream, ChunkReadFn read, uint32_t size, uint32_t* consumed) {
    CChoiceScratch scratch[kChoiceItemCount] = {};
    CChoiceScratch* selected = nullptr;
    CChunkReader reader(stream, size, read);
    CChunkHeader header;
    while (reader.NextChunk(&header)) {
        CChunkReader body = reader.Body();
        if (header.tag == kTagSeln) {
            uint32_t index = 0;
            const bool present = body.ReadU32(&index);
            selected = present && index < static_cast<uint32_t>(kChoiceItemCount) ? &scratch[index] : nullptr;
            if (selected != nullptr) selected->used = 1;
        } else if (header.tag == kTagText && selected != nullptr) {
            body.ReadString(selected->text, kChoiceTextSize);
        } else if (header.tag == kTagJmpf && selected != nullptr) {
            body.ReadString(selected->target, kChoiceTargetSize);
        }
    }
    reader.SkipRest();
    *consumed = reader.Consumed();

    for (int32_t i = 0; i < kChoiceItemCount; ++i) {
        CChoiceItem& item = items[i];
        item.used = scratch[i].used;
        if (!item.used) continue;
        if (BuildItemGlyphs(scratch[i].text, item.glyphs, &item.glyphCount) != 0) return -1;
        std::memcpy(item.text, scratch[i].text, kChoiceTextSize);
        std::memcpy(item.target, scratch[i].target, kChoiceTargetSize);
    }
    active = 1;
    waitForVoice = 1;
    return 0;
}

int32_t CChoiceWindow::ParseCommand(CReadStream* stream, uint32_t size, uint32_t* consumed) {
    return ReadItems(stream, ReadPlain, size, consumed);
}

int32_t CChoiceWindow::Restore(CReadStream* stream, uint32_t size, uint32_t* consumed) {
    return ReadItems(stream, ReadSaveScrambled, size, consumed);
}

int32_t CChoiceWindow::Save(CWriteStream* stream, uint32_t* size) const {
    CSaveChunkWriter writer(stream);
    for (int32_t i = 0; i < kChoiceItemCount; ++i) {
        const CChoiceItem& item = items[i];
        if (!item.used) continue;
        writer.ChunkU32(kTagSeln, static_cast<uint32_t>(i));
        writer.ChunkString(kTagText, item.text);
        writer.ChunkString(kTagJmpf, item.target);
    }
    *size = writer.Total();
    return 0;
}

int32_t CChoiceWindow::UsedCount() const {
    int32_t n = 0;
    for (const CChoiceItem& item : items) n += item.used ? 1 : 0;
    return n;
}

int32_t CChoiceWindow::BarLeft() const { return originX - Trunc((normalBar.right - normalBar.left) * 0.5f); }

int32_t CChoiceWindow::BarTop(int32_t item) const {
    const int32_t h = normalBar.bottom - normalBar.top;
    const int32_t n = UsedCount();
    const int32_t top = n > 1 ? originY - Trunc(((spacing + h) * n - spacing) * 0.5f) : originY - Trunc(h * n * 0.5f);
    int32_t row = 0;
    for (int32_t i = 0; i < item; ++i) row += items[i].used ? 1 : 0;
    return top + (spacing + h) * row;
}

int32_t CChoiceWindow::ItemAt(int32_t x, int32_t y) const {
    const int32_t left = BarLeft();
    const int32_t w = normalBar.right - normalBar.left;
    const int32_t h = normalBar.bottom - normalBar.top;
    for (int32_t i = 0; i < kChoiceItemCount; ++i) {
        if (!items[i].used) continue;
        const int32_t top = BarTop(i);
        if (x >= left && x <= left + w && y >= top && y <= top + h) return i;
    }
    return -1;
}

int32_t CChoiceWindow::Draw() {
    if (g_bPageEffectsDone != 1 || g_bPageTextDone != 1 || g_bPageVoiceDone != 1) return 0;
    CGraphicsDevice* device = g_pEngineDevice;
    if (device == nullptr) return 0;
    device->SetTexture(0, picture);
    const int32_t left = BarLeft();
    for (int32_t i = 0; i < kChoiceItemCount; ++i) {
        if (!items[i].used) continue;
        const SRect& bar = i == highlighted ? highlightedBar : normalBar;
        DrawSprite(device, picture, &bar, 0, static_cast<float>(left), static_cast<float>(BarTop(i)), 0xFFFFFFFFu);
    }
    for (int32_t i = 0; i < kChoiceItemCount; ++i) {
        if (!items[i].used) continue;
        const int32_t top = BarTop(i);
        const SRect rect = {textRect.left + left, textRect.top + top, textRect.right + left, textRect.bottom + top};
        const int32_t isHighlighted = i == highlighted ? 1 : 0;
        DrawGlyphRun(device, items[i].glyphs, items[i].glyphCount, rect, 0, 0, isHighlighted, highlightColour);
    }
    return 0;
}

// The next used item upwards (-1) or downwards (+1), wrapping; from none, the last or first used.
int32_t CChoiceWindow::StepHighlight(int32_t direction) const {
    int32_t index = highlighted;
    if (index < 0) index = direction < 0 ? 0 : kChoiceItemCount - 1;
    for (int32_t step = 0; step < kChoiceItemCount; ++step) {
        index = (index + direction + kChoiceItemCount) % kChoiceItemCount;
        if (items[index].used) return index;
    }
    return highlighted;
}

int32_t CChoiceWindow::Update(CInputState* input, char target[kChoiceTargetSize]) {
    if (input->mouseMoved) highlighted = ItemAt(input->mouseX, input->mouseY);
    if (input->leftUp) {
        const int32_t item = ItemAt(input->mouseX, input->mouseY);
        if (item >= 0) {
            std::memcpy(target, items[item].target, kChoiceTargetSize);
            return 1;
        }
    }
    if (input->IsKeyDown(DIK_UP)) {
        highlighted = StepHighlight(-1);
        input->keyGuardTime = g_ClockNow;
    }
    if (input->IsKeyDown(DIK_DOWN)) {
        highlighted = StepHighlight(1);
        input->keyGuardTime = g_ClockNow;
    }
    if (input->IsKeyDown(DIK_RETURN) || input->IsKeyDown(DIK_NUMPADENTER)) {
        if (highlighted >= 0 && items[highlighted].used) {
            std::memcpy(target, items[highlighted].target, kChoiceTargetSize);
            return 1;
        }
        input->keyGuardTime = g_ClockNow;
    }
    return 0;
}
