#include "screens/screen_text.h"

#include <cstring>

#include "app/main_window.h"
#include "platform/devices_graphics.h"
#include "platform/graphics.h"
#include "platform/quad_draw.h"
#include "platform/sjis.h"

void AppendSjisCodes(const char* text, size_t size, std::vector<uint32_t>* codes) {
    const size_t length = strnlen(text, size);
    for (size_t i = 0; i < length; ++i) {
        const uint8_t lead = static_cast<uint8_t>(text[i]);
        uint32_t code = lead;
        if (IsSjisLeadByte(lead) && i + 1 < length) code = lead << 8 | static_cast<uint8_t>(text[++i]);
        if (code == '\r' || code == '\f') continue;
        codes->push_back(code);
    }
}

int32_t RenderInOneFont(CTexture** texture, SBlockSize block, CFont* font, const std::vector<uint32_t>& codes,
                        uint32_t colour, uint32_t outlineFlag, uint32_t wrapFlag, int32_t extraLineSpacing) {
    // Filled by resize, not the fill constructor, on which GCC 12 warns falsely under TSan.
    std::vector<CFont*> fonts;
    std::vector<uint32_t> colours;
    fonts.resize(codes.size(), font);
    colours.resize(codes.size(), colour);
    CFontDC* dc = GetFontDC(g_hWnd);
    const int32_t rendered = RenderTextToTexture(g_pD3DDevice, texture, dc, block, fonts.data(), codes.data(),
                                                 colours.data(), static_cast<int32_t>(codes.size()), outlineFlag,
                                                 wrapFlag, extraLineSpacing);
    ReleaseFontDC(g_hWnd, dc);
    return rendered;
}

void DrawTextShadow(CGraphicsDevice* device, CTexture* texture, const SRect& source, float x, float y,
                    uint32_t colour) {
    device->SetTexture(0, texture);
    const uint32_t savedOp = device->GetTextureStageState(0, TexStage::ColorOp);
    const uint32_t savedArg = device->GetTextureStageState(0, TexStage::ColorArg1);
    device->SetTextureStageState(0, TexStage::ColorOp, TexOp::SelectArg1);
    device->SetTextureStageState(0, TexStage::ColorArg1, TexArg::Diffuse);
    DrawSprite(device, texture, &source, 0, x, y, colour);
    device->SetTextureStageState(0, TexStage::ColorOp, savedOp);
    device->SetTextureStageState(0, TexStage::ColorArg1, savedArg);
}
