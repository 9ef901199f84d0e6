#include "platform/frame_record.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <initializer_list>

namespace frame {
namespace {

float ReadFloat(const uint8_t* p) {
    float f;
    std::memcpy(&f, p, sizeof f);
    return f;
}

uint32_t ReadU32(const uint8_t* p) {
    uint32_t u;
    std::memcpy(&u, p, sizeof u);
    return u;
}

raster::SVertex ReadVertex(const uint8_t* p, const SVertexLayout& layout) {
    raster::SVertex v;
    v.x = ReadFloat(p);
    v.y = ReadFloat(p + 4);
    v.z = ReadFloat(p + 8);
    v.diffuse = layout.diffuse >= 0 ? ReadU32(p + layout.diffuse) : 0xFFFFFFFFu;
    v.u = layout.texCoord >= 0 ? ReadFloat(p + layout.texCoord) : 0.0;
    v.v = layout.texCoord >= 0 ? ReadFloat(p + layout.texCoord + 4) : 0.0;
    return v;
}

// 64-bit hash of a byte run, eight bytes at a time (the tail zero-padded).
uint64_t HashBytes(uint64_t hash, const uint8_t* bytes, size_t count) {
    constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        hash = (hash ^ word) * kMultiplier;
        hash ^= hash >> 29;
    }
    if (i < count) {
        uint64_t word = 0;
        std::memcpy(&word, bytes + i, count - i);
        hash = (hash ^ word) * kMultiplier;
        hash ^= hash >> 29;
    }
    return hash;
}

int64_t Area(const SRect& r) { return int64_t{r.right - r.left} * (r.bottom - r.top); }

SRect Union(const SRect& a, const SRect& b) {
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

bool Overlap(const SRect& a, const SRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

void SetClip(CFrameList::SKey* key, const SRect& clip) {
    key->clipLeft = clip.left;
    key->clipTop = clip.top;
    key->clipRight = clip.right;
    key->clipBottom = clip.bottom;
}

uint32_t Switches(const raster::SPipeline& p, bool hasDepth) {
    uint32_t switches = 0;
    for (const bool on : {p.useTexture, p.minLinear, p.magLinear, p.alphaTest, p.blend, p.depthTest, p.depthWrite,
                          p.cullCw, p.cullCcw, hasDepth})
        switches = switches << 1 | (on ? 1u : 0u);
    return switches;
}

}  // namespace

bool LayoutOf(uint32_t fvf, SVertexLayout* layout) {
    constexpr uint32_t kPositionMask = 0x400E, kNormal = 0x010, kPointSize = 0x020, kSpecular = 0x080;
    constexpr uint32_t kKnownBits = 0x0FFF;
    if ((fvf & kPositionMask) != Fvf::XyzRhw || (fvf & kNormal) || (fvf & ~kKnownBits)) return false;
    uint32_t size = 16;
    if (fvf & kPointSize) size += 4;
    layout->diffuse = (fvf & Fvf::Diffuse) ? static_cast<int32_t>(size) : -1;
    if (fvf & Fvf::Diffuse) size += 4;
    if (fvf & kSpecular) size += 4;
    const uint32_t texSets = (fvf >> 8) & 0xF;
    if (texSets > 8) return false;
    layout->texCoord = texSets > 0 ? static_cast<int32_t>(size) : -1;
    layout->size = size + texSets * 8;
    return true;
}

uint64_t VertexCount(Primitive type, uint32_t primitiveCount) {
    if (primitiveCount == 0) return 0;
    return type == Primitive::TriangleList ? uint64_t{primitiveCount} * 3 : uint64_t{primitiveCount} + 2;
}

void RasterisePrimitives(const raster::STarget& target, const raster::SPipeline& pipeline, Primitive type,
                         uint32_t primitiveCount, const uint8_t* vertices, uint32_t stride,
                         const SVertexLayout& layout) {
    const auto vertex = [&](uint64_t index) { return ReadVertex(vertices + index * stride, layout); };
    if (type == Primitive::TriangleList) {
        for (uint64_t i = 0; i < primitiveCount; ++i)
            raster::DrawTriangle(target, pipeline, vertex(3 * i), vertex(3 * i + 1), vertex(3 * i + 2));
    } else if (primitiveCount == 2) {
        raster::DrawQuad(target, pipeline, vertex(0), vertex(1), vertex(2), vertex(3));
    } else {
        const raster::SVertex centre = vertex(0);
        raster::SVertex previous = vertex(1);
        for (uint64_t i = 0; i < primitiveCount; ++i) {
            const raster::SVertex next = vertex(i + 2);
            raster::DrawTriangle(target, pipeline, centre, previous, next);
            previous = next;
        }
    }
}

// Positions snap to 1/256 pixel and pixel centres lie on integers, so a covered pixel lies
// within one pixel of the vertices' extent; vertices that are not finite make their
// triangles draw nothing.
SRect PrimitiveBounds(Primitive type, uint32_t primitiveCount, const uint8_t* vertices, uint32_t stride,
                      const SRect& clip) {
    const uint64_t count = VertexCount(type, primitiveCount);
    double minX = HUGE_VAL, minY = HUGE_VAL, maxX = -HUGE_VAL, maxY = -HUGE_VAL;
    for (uint64_t i = 0; i < count; ++i) {
        const double x = ReadFloat(vertices + i * stride);
        const double y = ReadFloat(vertices + i * stride + 4);
        if (!std::isfinite(x) || !std::isfinite(y)) continue;
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
    }
    if (minX > maxX) return {0, 0, 0, 0};
    // floor(value) + offset within low..high; clamped first, the value fits an integer.
    const auto edge = [](double value, int32_t offset, int32_t low, int32_t high) {
        const double bounded = std::clamp(value, low - 4.0, high + 4.0);
        int32_t whole = static_cast<int32_t>(bounded);
        if (whole > bounded) --whole;
        return std::clamp(whole + offset, low, high);
    };
    const SRect r = {edge(minX, -1, clip.left, clip.right), edge(minY, -1, clip.top, clip.bottom),
                     edge(maxX, 2, clip.left, clip.right), edge(maxY, 2, clip.top, clip.bottom)};
    return IsEmpty(r) ? SRect{0, 0, 0, 0} : r;
}

SRect Intersection(const SRect& a, const SRect& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

bool IsEmpty(const SRect& r) { return r.left >= r.right || r.top >= r.bottom; }

// ---- CDamage ----

void CDamage::Add(const SRect& rect) {
    if (IsEmpty(rect)) return;
    Insert(rect);
    while (count_ > kMaxRects) MergeClosestPair();
}

// Every rectangle the new one overlaps is absorbed into it, again and again as it grows.
void CDamage::Insert(SRect rect) {
    for (uint32_t i = 0; i < count_;) {
        if (Overlap(rects_[i], rect)) {
            rect = Union(rect, rects_[i]);
            rects_[i] = rects_[--count_];
            i = 0;
        } else {
            ++i;
        }
    }
    rects_[count_++] = rect;
}

void CDamage::MergeClosestPair() {
    uint32_t bestA = 0, bestB = 1;
    int64_t bestGrowth = INT64_MAX;
    for (uint32_t a = 0; a < count_; ++a)
        for (uint32_t b = a + 1; b < count_; ++b) {
            const int64_t growth = Area(Union(rects_[a], rects_[b])) - Area(rects_[a]) - Area(rects_[b]);
            if (growth < bestGrowth) {
                bestGrowth = growth;
                bestA = a;
                bestB = b;
            }
        }
    const SRect merged = Union(rects_[bestA], rects_[bestB]);
    rects_[bestB] = rects_[--count_];
    rects_[bestA] = rects_[--count_];
    Insert(merged);
}

// ---- CFrameList ----

void CFrameList::Reset() {
    entries_.clear();
    vertices_.clear();
}

// The entry's vertex bytes are the last vertexByteCount bytes of vertices_. The hash only sorts
// out entries that differ (Same compares them whole): the texture, the primitive and the
// vertices tell most draws apart, the whole key the rest.
void CFrameList::Push(SEntry entry, size_t vertexByteCount) {
    entry.vertexOffset = static_cast<uint32_t>(vertices_.size() - vertexByteCount);
    const uint8_t* key = reinterpret_cast<const uint8_t*>(&entry.key);
    entry.hash = vertexByteCount > 0
                     ? HashBytes(HashBytes(0, key, offsetof(SKey, clipLeft)), vertices_.data() + entry.vertexOffset,
                                 vertexByteCount)
                     : HashBytes(0, key, sizeof entry.key);
    entries_.push_back(entry);
}

void CFrameList::AddClear(const SRect& rect, uint32_t flags, uint32_t colour, uint16_t depth) {
    SEntry e = {};
    e.key.kind = kClear;
    SetClip(&e.key, rect);
    e.key.clearFlags = flags & (ClearFlag::Target | ClearFlag::ZBuffer);
    e.key.clearColour = colour;
    e.key.clearDepth = depth;
    e.bounds = rect;
    Push(e, 0);
}

void CFrameList::AddDraw(const raster::SPipeline& pipeline, uint64_t textureStamp, bool hasDepth, const SRect& clip,
                         Primitive type, uint32_t primitiveCount, const uint8_t* vertices, uint32_t stride,
                         const SVertexLayout& layout, const SRect& bounds) {
    SEntry e = {};
    SKey& k = e.key;
    k.kind = kDraw;
    k.primitive = static_cast<uint32_t>(type);
    k.primitiveCount = primitiveCount;
    k.vertexSize = layout.size;
    k.diffuseOffset = layout.diffuse;
    k.texCoordOffset = layout.texCoord;
    SetClip(&k, clip);
    k.textureStamp = pipeline.useTexture ? textureStamp : 0;
    k.textureWidth = pipeline.texture.width;
    k.textureHeight = pipeline.texture.height;
    k.textureAlphaOr = pipeline.texture.alphaOr;
    k.sources = uint32_t{pipeline.colourA} | uint32_t{pipeline.colourB} << 8 | uint32_t{pipeline.alphaA} << 16 |
                uint32_t{pipeline.alphaB} << 24;
    k.switches = Switches(pipeline, hasDepth);
    k.alphaFunc = pipeline.alphaFunc;
    k.alphaRef = pipeline.alphaRef;
    k.srcBlend = pipeline.srcBlend;
    k.destBlend = pipeline.destBlend;
    k.blendOp = pipeline.blendOp;
    k.srcBlendAlpha = pipeline.srcBlendAlpha;
    k.destBlendAlpha = pipeline.destBlendAlpha;
    k.blendOpAlpha = pipeline.blendOpAlpha;
    k.depthFunc = pipeline.depthFunc;
    e.bounds = bounds;
    e.pipeline = pipeline;
    // The vertices are packed: only the bytes of the layout are kept.
    const uint64_t count = VertexCount(type, primitiveCount);
    const size_t offset = vertices_.size();
    vertices_.resize(offset + count * layout.size);
    for (uint64_t i = 0; i < count; ++i)
        std::memcpy(vertices_.data() + offset + i * layout.size, vertices + i * stride, layout.size);
    Push(e, count * layout.size);
}

void CFrameList::AddBarrier(const SRect& rect) {
    if (IsEmpty(rect)) return;
    SEntry e = {};
    e.key.kind = kBarrier;
    e.bounds = rect;
    Push(e, 0);
}

void CFrameList::Append(const CFrameList& other) {
    const uint32_t base = static_cast<uint32_t>(vertices_.size());
    vertices_.insert(vertices_.end(), other.vertices_.begin(), other.vertices_.end());
    for (SEntry e : other.entries_) {
        e.vertexOffset += base;
        entries_.push_back(e);
    }
}

bool IsFullClear(const SRect& rect, uint32_t flags, uint32_t width, uint32_t height, bool hasDepth) {
    const uint32_t needed = ClearFlag::Target | (hasDepth ? ClearFlag::ZBuffer : 0u);
    return (flags & needed) == needed && rect.left <= 0 && rect.top <= 0 && rect.right >= static_cast<int32_t>(width) &&
           rect.bottom >= static_cast<int32_t>(height);
}

bool CFrameList::StartsWithFullClear(uint32_t width, uint32_t height, bool hasDepth) const {
    if (entries_.empty() || entries_.front().key.kind != kClear) return false;
    return IsFullClear(entries_.front().bounds, entries_.front().key.clearFlags, width, height, hasDepth);
}

bool CFrameList::Same(size_t i, const CFrameList& other, size_t j) const {
    const SEntry& a = entries_[i];
    const SEntry& b = other.entries_[j];
    if (a.hash != b.hash || a.key.kind == kBarrier || std::memcmp(&a.key, &b.key, sizeof a.key) != 0) return false;
    const size_t bytes = a.key.kind == kDraw ? VertexCount(static_cast<Primitive>(a.key.primitive),
                                                           a.key.primitiveCount) * a.key.vertexSize
                                             : 0;
    return bytes == 0 ||
           std::memcmp(vertices_.data() + a.vertexOffset, other.vertices_.data() + b.vertexOffset, bytes) == 0;
}

bool CFrameList::Replay(const raster::STarget& target, const SRect& rect) const {
    bool wroteDepth = false;
    for (const SEntry& e : entries_) {
        const SRect area = Intersection(e.bounds, rect);
        if (IsEmpty(area)) continue;
        if (e.key.kind == kClear) {
            for (int32_t y = area.top; y < area.bottom; ++y) {
                if (e.key.clearFlags & ClearFlag::Target)
                    std::fill_n(target.pixels + int64_t{y} * target.pitch + area.left, area.right - area.left,
                                e.key.clearColour);
                if ((e.key.clearFlags & ClearFlag::ZBuffer) && target.depth)
                    std::fill_n(target.depth + int64_t{y} * target.depthPitch + area.left, area.right - area.left,
                                static_cast<uint16_t>(e.key.clearDepth));
            }
            wroteDepth = wroteDepth || (e.key.clearFlags & ClearFlag::ZBuffer);
        } else if (e.key.kind == kDraw) {
            raster::STarget clipped = target;
            const SRect clip = Intersection({e.key.clipLeft, e.key.clipTop, e.key.clipRight, e.key.clipBottom}, rect);
            clipped.clipLeft = clip.left;
            clipped.clipTop = clip.top;
            clipped.clipRight = clip.right;
            clipped.clipBottom = clip.bottom;
            const SVertexLayout layout = {e.key.vertexSize, e.key.diffuseOffset, e.key.texCoordOffset};
            RasterisePrimitives(clipped, e.pipeline, static_cast<Primitive>(e.key.primitive), e.key.primitiveCount,
                                vertices_.data() + e.vertexOffset, e.key.vertexSize, layout);
            wroteDepth = wroteDepth || (e.pipeline.depthWrite && target.depth);
        }
    }
    return wroteDepth;
}

// ---- FindDamage ----

namespace {

// How far ahead a difference looks for the lists to agree again.
constexpr size_t kResyncWindow = 32;

void AddBounds(const CFrameList& list, size_t from, size_t to, CDamage* damage) {
    for (size_t i = from; i < to; ++i) damage->Add(list[i].bounds);
}

}  // namespace

void FindDamage(const CFrameList& before, const CFrameList& after, CDamage* damage) {
    size_t a = 0, b = 0;
    size_t endA = before.Size(), endB = after.Size();
    while (endA > a && endB > b && before.Same(endA - 1, after, endB - 1)) {
        --endA;
        --endB;
    }
    while (a < endA && b < endB) {
        if (before.Same(a, after, b)) {
            ++a;
            ++b;
            continue;
        }
        // The nearest pair of equal entries, skipping x entries of `before` and y of `after`.
        bool found = false;
        for (size_t step = 1; step <= kResyncWindow && !found; ++step) {
            for (size_t x = 0; x <= step && !found; ++x) {
                const size_t y = step - x;
                if (a + x < endA && b + y < endB && before.Same(a + x, after, b + y)) {
                    AddBounds(before, a, a + x, damage);
                    AddBounds(after, b, b + y, damage);
                    a += x;
                    b += y;
                    found = true;
                }
            }
        }
        if (!found) break;
    }
    AddBounds(before, a, endA, damage);
    AddBounds(after, b, endB, damage);
}

}  // namespace frame
