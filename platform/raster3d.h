// The 3D path of the rasteriser: triangles given in clip space, clipped, projected and drawn
// with perspective-correct colours and texture coordinates, two texture stages and a specular
// colour, through the coverage, depth test and blending of raster.h.
//
// Exact arithmetic (in addition to raster.h; shared by every path):
//   clipping    : in clip space against z >= 0, z <= w and w >= kMinClipW; attributes are
//                 linear along the clipped edges
//   viewport    : x = X + (1 + x / w) * W / 2, y = Y + (1 - y / w) * H / 2,
//                 z = minZ + z / w * (maxZ - minZ); pixel centres at integer coordinates
//   depth       : z * 65535 planar in screen space, evaluated in float as the attributes are
//                 (without the division by q); value = trunc(min(max(z, 0), 65535) + 0.5)
//   attributes  : q = 1 / w and each attribute times q are planes through the three vertices,
//                 in float: with fx = float(px - ox), fy = float(py - oy) for the plane origin
//                 (ox, oy), value = (a0 + ady * fy) + adx * fx. q is clamped to the range of its
//                 three vertices (min and max as the vector instructions order them) and
//                 w = 1.0f / q; an attribute is value * w, or, when the three vertices agree,
//                 their value
//   colours     : 0..1 scaled to 0..255 at the vertices; level = trunc(min(max(c, 0), 255) + 0.5)
//   coordinates : f = t - floor(t) for t clamped to +-2^24, U = trunc(f * 65536) mod 65536;
//                 point sampling texel (U * size) >> 16; linear: U * size - 32768 in 1/65536
//                 of a texel, weights its bits 8..15; the filter of each stage is chosen per
//                 triangle from the screen-linear texel footprint
//   stages      : stage 0 as raster.h; stage 1 multiplies the colour, the alpha or both by its
//                 texel (Mul8); the specular colour is then added to red, green and blue,
//                 saturating at 255
#pragma once

#include <cstdint>

#include "platform/graphics_3d.h"
#include "platform/raster.h"

namespace raster {

// Clip-space w below this is clipped away (it would divide by almost nothing).
constexpr float kMinClipW = 1e-5f;

struct SPipeline3D {
    SPipeline base;  // stage 0, alpha test, blending, depth, culling
    bool stage1Colour;  // stage 1 multiplies the colour by its texel
    bool stage1Alpha;   // and the alpha
    STextureView texture1;
    bool minLinear1, magLinear1;
    bool specular;  // add the specular colour
};

struct SViewport3D {
    double x, y, width, height, minZ, maxZ;
};

// Draws triangleCount triangles whose corners are three consecutive entries of indices, each
// a vertex number below vertexCount (a triangle with another is skipped).
void DrawTriangles3D(const STarget& target, const SPipeline3D& pipeline, const SViewport3D& viewport,
                     const SShadedVertex* vertices, uint32_t vertexCount, const uint32_t* indices,
                     uint32_t triangleCount);

}  // namespace raster
