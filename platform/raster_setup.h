// Triangle set-up shared by the rasteriser paths: clipping to the guard band, snapping to the
// sub-pixel grid, edge functions with the fill rule, and the attribute planes.
#pragma once

#include <cstdint>

#include "platform/graphics.h"
#include "platform/raster.h"

namespace raster {

// Edge function in pixel units: F(px, py) = a * px + b * py + c; a pixel centre is inside when
// F > 0 for all three edges (the fill rule is folded into c).
struct SEdge {
    int64_t a, b, c;
};

struct SCoverage {
    SEdge edge[4];  // a triangle's fourth edge is {0, 0, 1}: always inside
    int32_t left, top, right, bottom;  // candidate pixels; right and bottom exclusive
};

// Attribute planes: value(px, py) = base + dx * (px - originX) + dy * (py - originY).
struct SPlanes {
    int32_t originX, originY;
    uint32_t u, udx, udy;  // 0.32 fixed point, wrapping (only the fraction matters)
    uint32_t v, vdx, vdy;
    int64_t colour[4], colourDx[4], colourDy[4];  // B, G, R, A in 1/65536 of a level
    int64_t depth, depthDx, depthDy;              // z * 65535 in 1/65536
    bool linear;      // the sampler filter chosen for this triangle (minification or magnification)
    bool flatColour;  // every colour gradient is zero: flatColourValue everywhere
    uint32_t flatColourValue;
    bool flatDepth;
    uint16_t flatDepthValue;
};

// A clipped triangle becomes up to five coverage triangles sharing one set of planes.
struct STriangleSetup {
    SPlanes planes;
    SCoverage cover[5];
    int count;
};

// Returns false when nothing can be drawn (culled, degenerate, non-finite or outside the clip).
bool SetupTriangle(const STarget& target, const SPipeline& pipeline, const SVertex& v0, const SVertex& v1,
                   const SVertex& v2, STriangleSetup* setup);
// The coverage part of the set-up (setup->planes untouched) for the corners (x, y); *area gets
// the triangle's doubled signed area (positive: clockwise on screen). False as above.
bool SetupCoverage(const STarget& target, bool cullCw, bool cullCcw, const double (&x)[3], const double (&y)[3],
                   STriangleSetup* setup, double* area);

struct SGradient {
    double dx, dy;
};
// The screen-space gradient of the plane through values a0..a2 at the corners (x, y) of a
// triangle of doubled signed area `area` (0 where it is not finite).
SGradient PlaneGradient(const double (&x)[3], const double (&y)[3], double a0, double a1, double a2, double area);
// round(value) clamped to +-2^40 (0 for NaN): the fixed-point planes' range.
int64_t ClampFixed(double value);

// The reference's per-pixel steps after the texture stage: alpha test, depth test and write,
// blending and the store of pixel (px, py) whose source colour is src and depth z.
void WritePixel(const STarget& target, const SPipeline& pipeline, int32_t px, int32_t py, uint32_t src, uint16_t z);
bool InsideCoverage(const SCoverage& cover, int64_t px, int64_t py);

inline uint32_t ColourChannel(int64_t fixed) {
    const int64_t level = (fixed + 32768) >> 16;
    return level < 0 ? 0u : level > 255 ? 255u : static_cast<uint32_t>(level);
}

inline uint16_t DepthValue(int64_t fixed) {
    const int64_t value = (fixed + 32768) >> 16;
    return value < 0 ? 0 : value > 65535 ? 65535 : static_cast<uint16_t>(value);
}

inline uint32_t TexelIndex(uint32_t coord, uint32_t size) {
    return static_cast<uint32_t>((static_cast<uint64_t>(coord) * size) >> 32);
}

// The two texels of a linear filter along one axis and the weight of the second (0..255).
struct SLinearTap {
    uint32_t first, second, weight;
};

inline SLinearTap LinearTap(uint32_t coord, uint32_t size) {
    const int64_t position = static_cast<int64_t>(static_cast<uint64_t>(coord) * size) - (int64_t{1} << 31);
    int64_t first = position >> 32;
    if (first < 0) first += size;
    uint32_t second = static_cast<uint32_t>(first) + 1;
    if (second == size) second = 0;
    return {static_cast<uint32_t>(first), second, static_cast<uint32_t>((position >> 24) & 0xFF)};
}

// The four texels around each of I::N sample points and the weights of the second column and
// row (0..255 in 32-bit lanes), filled by the instruction set's BilinearTaps.
template <class I>
struct SBilinearTaps {
    typename I::V t00, t10, t01, t11;
    typename I::V weightU, weightV;
};

uint32_t SamplePoint(const STextureView& texture, uint32_t u, uint32_t v);
uint32_t SampleLinear(const STextureView& texture, uint32_t u, uint32_t v);

// Runs the span paths (SSE2 or AVX2) for one prepared triangle.
void DrawSetupSse2(const STarget& target, const SPipeline& pipeline, const STriangleSetup& setup);
void DrawSetupAvx2(const STarget& target, const SPipeline& pipeline, const STriangleSetup& setup);
void DrawSetupReference(const STarget& target, const SPipeline& pipeline, const STriangleSetup& setup);

}  // namespace raster
