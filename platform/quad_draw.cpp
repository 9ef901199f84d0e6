#include "platform/quad_draw.h"

#include <cmath>

#include "platform/graphics.h"

namespace {

constexpr uint32_t kTexturedFvf = Fvf::XyzRhw | Fvf::Diffuse | Fvf::Tex1;  // 0x144
constexpr uint32_t kColouredFvf = Fvf::XyzRhw | Fvf::Diffuse;              // 0x44

struct STexturedVertex {
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
};

struct SColouredVertex {
    float x, y, z, rhw;
    uint32_t colour;
};

struct STexCoords {
    float left, top, right, bottom;
    float width, height;  // of the source rectangle in texels
};

// The 0.1-texel nudge puts point-sampled texels exactly on pixel centres.
STexCoords TexCoordsOf(const CTexture* texture, const SRect* source) {
    SSurfaceDesc desc = {};
    texture->GetLevelDesc(0, &desc);
    const SRect r = source ? *source : SRect{0, 0, static_cast<int32_t>(desc.width), static_cast<int32_t>(desc.height)};
    const float w = static_cast<float>(desc.width);
    const float h = static_cast<float>(desc.height);
    return {(static_cast<float>(r.left) + 0.1f) / w,   (static_cast<float>(r.top) + 0.1f) / h,
            (static_cast<float>(r.right) + 0.1f) / w,  (static_cast<float>(r.bottom) + 0.1f) / h,
            static_cast<float>(r.right - r.left),      static_cast<float>(r.bottom - r.top)};
}

void BindTexture(CGraphicsDevice* device, CTexture* texture) {
    device->SetTexture(0, texture);
    device->SetTexture(1, nullptr);
}

void DrawFan(CGraphicsDevice* device, const STexturedVertex (&quad)[4]) {
    device->SetFVF(kTexturedFvf);
    device->DrawPrimitiveUP(Primitive::TriangleFan, 2, quad, sizeof(STexturedVertex));
}

}  // namespace

int32_t DrawSprite(CGraphicsDevice* device, CTexture* texture, const SRect* source, uint32_t setTexture, float x,
                   float y, uint32_t colour) {
    if (!device || !texture) return 0;
    const STexCoords t = TexCoordsOf(texture, source);
    if (setTexture == 1) BindTexture(device, texture);
    const float right = x + t.width;
    const float bottom = y + t.height;
    const STexturedVertex quad[4] = {{x, y, 0.0f, 1.0f, colour, t.left, t.top},
                                     {right, y, 0.0f, 1.0f, colour, t.right, t.top},
                                     {right, bottom, 0.0f, 1.0f, colour, t.right, t.bottom},
                                     {x, bottom, 0.0f, 1.0f, colour, t.left, t.bottom}};
    DrawFan(device, quad);
    return 1;
}

int32_t DrawSpriteRotated(CGraphicsDevice* device, CTexture* texture, const SRect* source, SPoint dest,
                          SPoint offset, float scaleX, float scaleY, float angle, uint32_t colour) {
    if (!device || !texture) return 0;
    const STexCoords t = TexCoordsOf(texture, source);
    BindTexture(device, texture);
    const float left = static_cast<float>(offset.x) * scaleX;
    const float right = (static_cast<float>(offset.x) + t.width) * scaleX;
    const float top = static_cast<float>(offset.y) * scaleY;
    const float bottom = (static_cast<float>(offset.y) + t.height) * scaleY;
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    const float px = static_cast<float>(dest.x);
    const float py = static_cast<float>(dest.y);
    const auto corner = [&](float x, float y, float u, float v) {
        return STexturedVertex{x * c - y * s + px, x * s + y * c + py, 0.0f, 1.0f, colour, u, v};
    };
    const STexturedVertex quad[4] = {corner(left, top, t.left, t.top), corner(right, top, t.right, t.top),
                                     corner(right, bottom, t.right, t.bottom),
                                     corner(left, bottom, t.left, t.bottom)};
    DrawFan(device, quad);
    return 1;
}

int32_t DrawFilledRect(CGraphicsDevice* device, const SRect& rect, uint32_t colour) {
    if (!device) return 0;
    device->SetTexture(0, nullptr);
    device->SetTexture(1, nullptr);
    const float l = static_cast<float>(rect.left);
    const float t = static_cast<float>(rect.top);
    const float r = static_cast<float>(rect.right);
    const float b = static_cast<float>(rect.bottom);
    const SColouredVertex quad[4] = {{l, t, 0.0f, 1.0f, colour},
                                     {r, t, 0.0f, 1.0f, colour},
                                     {r, b, 0.0f, 1.0f, colour},
                                     {l, b, 0.0f, 1.0f, colour}};
    device->SetFVF(kColouredFvf);
    device->DrawPrimitiveUP(Primitive::TriangleFan, 2, quad, sizeof(SColouredVertex));
    return 1;
}
