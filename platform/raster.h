// The rasteriser behind the graphics device: pre-transformed triangles with one texture stage,
// alpha test, depth test and blending, in 8-bit fixed-point arithmetic.
//
// Exact arithmetic (shared by every path, so that their results agree bit for bit):
//   Mul8(a, b)      = round(a * b / 255)                       (modulate, blend products)
//   Lerp8(a, b, w)  = (a * (256 - w) + b * w + 128) >> 8       (bilinear, weights in 1/256)
//   coverage        : vertices snapped to 1/256 pixel, pixel centres at integer coordinates,
//                     top-left fill rule
//   attributes      : planes through the three vertices, evaluated at the pixel centre;
//                     u, v as 0.32 fixed point (wrapping), colours and depth as x.16 fixed
//                     point rounded to nearest
//   point sampling  : texel floor(u * W); linear: texel centres at u * W - 0.5, 8-bit weights
//   blend           : sat(round((src * fs op dst * fd) / 255)), the exact sum or difference
//                     rounded once; MIN and MAX ignore the factors
//   unknown values  : blend factors act as ONE, blend operations as ADD, comparison functions
//                     as ALWAYS, stage operations as MODULATE, stage arguments other than
//                     TEXTURE as the diffuse colour; every address mode wraps
#pragma once

#include <cstdint>

namespace raster {

// Pixel sources of the texture stage after normalisation: colour = Mul8(a, b).
enum Source : uint8_t { kSrcTexture, kSrcDiffuse, kSrcWhite };

struct STextureView {
    const uint32_t* texels;  // row 0
    int32_t pitch;           // texels from one row to the next
    uint32_t width;
    uint32_t height;
    uint32_t alphaOr;  // 0xFF000000 for X8R8G8B8 (alpha reads as 255), else 0
};

struct SPipeline {
    STextureView texture;  // a 1×1 white texture when none is bound
    bool useTexture;
    bool minLinear;
    bool magLinear;
    Source colourA, colourB, alphaA, alphaB;

    bool alphaTest;
    uint32_t alphaFunc;
    uint8_t alphaRef;

    bool blend;
    uint32_t srcBlend, destBlend, blendOp;
    uint32_t srcBlendAlpha, destBlendAlpha, blendOpAlpha;  // equal to the colour ones unless separate

    bool depthTest;
    bool depthWrite;
    uint32_t depthFunc;

    bool cullCw;
    bool cullCcw;
};

struct STarget {
    uint32_t* pixels;
    int32_t pitch;  // in pixels
    uint32_t width;
    uint32_t height;
    bool opaque;  // X8R8G8B8: alpha reads as 255 and is written as 255
    uint16_t* depth;  // null: no depth buffer
    int32_t depthPitch;  // in depth values
    // Pixels drawn: left, top inclusive; right, bottom exclusive (viewport within the target).
    int32_t clipLeft, clipTop, clipRight, clipBottom;
};

struct SVertex {
    double x, y, z;
    uint32_t diffuse;
    double u, v;
};

enum class Path { Auto, Reference, Sse2, Avx2 };

// Selects the implementation used by DrawTriangle (tests compare them); Auto takes the best the
// processor supports.
void SelectPath(Path path);
Path ActivePath();
bool CpuHasAvx2();

void DrawTriangle(const STarget& target, const SPipeline& pipeline, const SVertex& v0, const SVertex& v1,
                  const SVertex& v2);
// The fan (v0, v1, v2), (v0, v2, v3): the same pixels as the two triangles, drawn as one convex
// quad when that gives exactly the same result (one plane, no pixel whose owner would change).
void DrawQuad(const STarget& target, const SPipeline& pipeline, const SVertex& v0, const SVertex& v1,
              const SVertex& v2, const SVertex& v3);

// The arithmetic above, for every path and for the device's copies.
inline uint32_t Mul8(uint32_t a, uint32_t b) {
    const uint32_t t = a * b + 128;
    return (t + (t >> 8)) >> 8;
}
inline uint32_t Lerp8(uint32_t a, uint32_t b, uint32_t w) { return (a * (256 - w) + b * w + 128) >> 8; }

uint32_t LerpPixel(uint32_t a, uint32_t b, uint32_t w);

}  // namespace raster
