// Text that the screens render in one font and one colour (save captions, the font preview, the
// backlog's lines) and the shadow copy drawn under it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/types.h"
#include "text/glyph.h"

class CGraphicsDevice;
class CTexture;

// Appends the Shift-JIS codes (a byte, or lead byte × 256 + trail byte) of a text of at most
// `size` bytes up to its zero byte, leaving out carriage returns and form feeds.
void AppendSjisCodes(const char* text, size_t size, std::vector<uint32_t>* codes);

// Renders the codes, every one in `font` and `colour`, into a new texture of the block's size
// (RenderTextToTexture). 0 / -1.
int32_t RenderInOneFont(CTexture** texture, SBlockSize block, CFont* font, const std::vector<uint32_t>& codes,
                        uint32_t colour, uint32_t outlineFlag, uint32_t wrapFlag, int32_t extraLineSpacing);

// Draws the texture's source rectangle at (x, y) in the colour alone, the texture giving only the
// shape; stage 0's colour states are put back afterwards.
void DrawTextShadow(CGraphicsDevice* device, CTexture* texture, const SRect& source, float x, float y,
                    uint32_t colour);
