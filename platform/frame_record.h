// The graphics device's record of a frame: the clears and draws made on the back buffer between
// two presents, kept instead of rasterised at once so that the next frame can be compared with
// this one and only the rectangles where the two differ drawn again.
//
// An entry holds everything that decides its pixels: the rasteriser's states, the texture's
// identity and contents version (a stamp that every write to a texture renews), the clip, the
// primitive and its vertex bytes. Two entries with equal keys and equal vertex bytes rasterise
// to the same pixels, given the same pixels beneath. Comparing two lists entry by entry, in
// order, then bounds every pixel that can differ: a pixel outside the bounds of every entry
// that has no equal partner is touched by the same entries, in the same order, in both lists.
//
// Platform-internal: only the graphics device uses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "platform/graphics.h"
#include "platform/raster.h"
#include "platform/types.h"

namespace frame {

// Byte offsets inside one pre-transformed vertex of an FVF; -1 when absent.
struct SVertexLayout {
    uint32_t size;
    int32_t diffuse;
    int32_t texCoord;
};

// False for layouts without pre-transformed positions and for unknown bits.
bool LayoutOf(uint32_t fvf, SVertexLayout* layout);

// The number of vertices primitiveCount primitives of the type read.
uint64_t VertexCount(Primitive type, uint32_t primitiveCount);

// Rasterises primitiveCount primitives of the type from vertices `stride` bytes apart.
void RasterisePrimitives(const raster::STarget& target, const raster::SPipeline& pipeline, Primitive type,
                         uint32_t primitiveCount, const uint8_t* vertices, uint32_t stride,
                         const SVertexLayout& layout);

// The pixels the primitives can touch inside clip (empty when none can).
SRect PrimitiveBounds(Primitive type, uint32_t primitiveCount, const uint8_t* vertices, uint32_t stride,
                      const SRect& clip);

SRect Intersection(const SRect& a, const SRect& b);
bool IsEmpty(const SRect& r);

// True when a clear of rect with these flags fills the whole width × height target, and its
// depth when it has one.
bool IsFullClear(const SRect& rect, uint32_t flags, uint32_t width, uint32_t height, bool hasDepth);

// A set of disjoint rectangles, merged into their bounding boxes past kMaxRects: disjoint, so
// that drawing a list once inside each rectangle draws every pixel at most once.
class CDamage {
public:
    static constexpr uint32_t kMaxRects = 8;

    void Add(const SRect& rect);
    void Clear() { count_ = 0; }
    bool Empty() const { return count_ == 0; }
    uint32_t Count() const { return count_; }
    const SRect* Rects() const { return rects_; }

private:
    void Insert(SRect rect);
    void MergeClosestPair();

    SRect rects_[kMaxRects + 1] = {};
    uint32_t count_ = 0;
};

class CFrameList {
public:
    enum Kind : uint32_t { kClear = 1, kDraw = 2, kBarrier = 3 };

    // What decides an entry's pixels apart from its vertex bytes, compared byte for byte.
    struct SKey {
        uint64_t textureStamp;  // 0 when the draw reads no texture
        uint32_t kind;
        uint32_t primitive, primitiveCount;
        uint32_t vertexSize;
        int32_t diffuseOffset, texCoordOffset;
        int32_t clipLeft, clipTop, clipRight, clipBottom;
        uint32_t textureWidth, textureHeight, textureAlphaOr;
        uint32_t sources;   // the stage's four sources, one byte each
        uint32_t switches;  // the rasteriser's on/off states, one bit each
        uint32_t alphaFunc, alphaRef;
        uint32_t srcBlend, destBlend, blendOp, srcBlendAlpha, destBlendAlpha, blendOpAlpha;
        uint32_t depthFunc;
        uint32_t clearFlags, clearColour, clearDepth;  // the fill of a clear
        uint32_t unused;
    };
    static_assert(std::has_unique_object_representations_v<SKey>, "keys are compared as bytes");

    struct SEntry {
        SKey key;
        SRect bounds;  // the pixels the entry can change
        uint64_t hash;
        uint32_t vertexOffset;
        raster::SPipeline pipeline;  // its texture pointer is read only while the entry is pending
    };

    void Reset();
    bool Empty() const { return entries_.empty(); }
    size_t Size() const { return entries_.size(); }
    size_t VertexBytes() const { return vertices_.size(); }
    const SEntry& operator[](size_t i) const { return entries_[i]; }

    // A fill of rect (already inside the viewport) with the target and depth values the flags ask for.
    void AddClear(const SRect& rect, uint32_t flags, uint32_t colour, uint16_t depth);
    // Primitives whose bounds inside clip are not empty; their vertices are copied.
    void AddDraw(const raster::SPipeline& pipeline, uint64_t textureStamp, bool hasDepth, const SRect& clip,
                 Primitive type, uint32_t primitiveCount, const uint8_t* vertices, uint32_t stride,
                 const SVertexLayout& layout, const SRect& bounds);
    // Pixels written by something the list does not describe: never equal to anything.
    void AddBarrier(const SRect& rect);
    void Append(const CFrameList& other);

    // True when the first entry fills the whole width × height target (and its depth, when the
    // target has one), so that the list's pixels do not depend on what the target held before.
    bool StartsWithFullClear(uint32_t width, uint32_t height, bool hasDepth) const;

    bool Same(size_t i, const CFrameList& other, size_t j) const;

    // Draws every entry inside rect, in order, on target (whose clip is replaced by each entry's
    // clip within rect). Returns true when an entry wrote depth values.
    bool Replay(const raster::STarget& target, const SRect& rect) const;

private:
    void Push(SEntry entry, size_t vertexByteCount);

    std::vector<SEntry> entries_;
    std::vector<uint8_t> vertices_;
};

// Adds to damage the bounds of every entry of `before` and `after` left without an equal partner
// when the two lists are matched in order (equal prefixes and suffixes first, then a nearby
// resynchronisation after each difference).
void FindDamage(const CFrameList& before, const CFrameList& after, CDamage* damage);

}  // namespace frame
