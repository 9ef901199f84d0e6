#include "platform/raster3d.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/raster3d_setup.h"

namespace raster {
namespace {

// Plane values beyond this are treated as a degenerate triangle: they cannot occur for
// anything visible, and keeping below it leaves float sums far from overflow.
constexpr double kPlaneLimit = 1e18;

// Clip-space outcodes.
enum : uint32_t {
    kOutNear = 1,
    kOutFar = 2,
    kOutW = 4,
    kOutLeft = 8,
    kOutRight = 16,
    kOutBottom = 32,
    kOutTop = 64,
    kOutNonFinite = 128,
};
constexpr uint32_t kNeedsClipping = kOutNear | kOutFar | kOutW;

// A clip-space point with its attributes, as clipping interpolates them.
struct SClipPoint {
    double p[4];
    float attr[kAttrCount];
};

float Unit(float c) { return c > 0.0f ? (c < 1.0f ? c : 1.0f) : 0.0f; }

float FiniteOrZero(float v) { return std::isfinite(v) ? v : 0.0f; }

SClipPoint ClipPoint(const SShadedVertex& v) {
    SClipPoint c;
    for (int i = 0; i < 4; ++i) c.p[i] = v.position[i];
    // Colours reach the rasteriser clamped to 0..1, as a vertex shader's colour outputs do.
    c.attr[kAttrDiffuseB] = Unit(v.diffuse[2]) * 255.0f;
    c.attr[kAttrDiffuseG] = Unit(v.diffuse[1]) * 255.0f;
    c.attr[kAttrDiffuseR] = Unit(v.diffuse[0]) * 255.0f;
    c.attr[kAttrDiffuseA] = Unit(v.diffuse[3]) * 255.0f;
    c.attr[kAttrSpecularB] = Unit(v.specular[2]) * 255.0f;
    c.attr[kAttrSpecularG] = Unit(v.specular[1]) * 255.0f;
    c.attr[kAttrSpecularR] = Unit(v.specular[0]) * 255.0f;
    c.attr[kAttrU0] = FiniteOrZero(v.texCoord[0][0]);
    c.attr[kAttrV0] = FiniteOrZero(v.texCoord[0][1]);
    c.attr[kAttrU1] = FiniteOrZero(v.texCoord[1][0]);
    c.attr[kAttrV1] = FiniteOrZero(v.texCoord[1][1]);
    return c;
}

uint32_t Outcode(const SClipPoint& c) {
    const double x = c.p[0], y = c.p[1], z = c.p[2], w = c.p[3];
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z) || !std::isfinite(w)) return kOutNonFinite;
    uint32_t code = 0;
    if (z < 0.0) code |= kOutNear;
    if (z > w) code |= kOutFar;
    if (w < kMinClipW) code |= kOutW;
    if (x < -w) code |= kOutLeft;
    if (x > w) code |= kOutRight;
    if (y < -w) code |= kOutBottom;
    if (y > w) code |= kOutTop;
    return code;
}

SScreenVertex Project(const SClipPoint& c, const SViewport3D& vp) {
    SScreenVertex s;
    const double q = 1.0 / c.p[3];
    s.x = vp.x + (1.0 + c.p[0] * q) * vp.width * 0.5;
    s.y = vp.y + (1.0 - c.p[1] * q) * vp.height * 0.5;
    s.z = vp.minZ + c.p[2] * q * (vp.maxZ - vp.minZ);
    s.q = q;
    std::copy(c.attr, c.attr + kAttrCount, s.attr);
    return s;
}

// Signed distance of a point from a clipping plane (inside where it is not negative).
double PlaneDistance(const SClipPoint& c, uint32_t plane) {
    switch (plane) {
        case kOutNear: return c.p[2];
        case kOutFar: return c.p[3] - c.p[2];
        default: return c.p[3] - kMinClipW;
    }
}

bool Before(const SClipPoint& a, const SClipPoint& b) {
    return std::lexicographical_compare(a.p, a.p + 4, b.p, b.p + 4);
}

// The point where segment a-b meets the plane, worked out from the lesser end so that two
// triangles sharing the edge get exactly the same point.
SClipPoint Intersect(const SClipPoint& a, const SClipPoint& b, uint32_t plane) {
    const SClipPoint& from = Before(a, b) ? a : b;
    const SClipPoint& to = Before(a, b) ? b : a;
    const double df = PlaneDistance(from, plane), dt = PlaneDistance(to, plane);
    const double t = df / (df - dt);
    SClipPoint c;
    for (int i = 0; i < 4; ++i) c.p[i] = from.p[i] + t * (to.p[i] - from.p[i]);
    for (int k = 0; k < kAttrCount; ++k)
        c.attr[k] = static_cast<float>(from.attr[k] + t * (static_cast<double>(to.attr[k]) - from.attr[k]));
    if (plane == kOutNear) c.p[2] = 0.0;  // exactly on the plane, whatever the rounding
    if (plane == kOutFar) c.p[2] = c.p[3];
    return c;
}

// Keeps the part of the polygon on the inner side of the plane; returns the new count.
int ClipPolygon(const SClipPoint* in, int count, SClipPoint* out, uint32_t plane) {
    int n = 0;
    for (int i = 0; i < count; ++i) {
        const SClipPoint& a = in[i];
        const SClipPoint& b = in[(i + 1) % count];
        const bool insideA = PlaneDistance(a, plane) >= 0.0;
        const bool insideB = PlaneDistance(b, plane) >= 0.0;
        if (insideA) out[n++] = a;
        if (insideA != insideB) out[n++] = Intersect(a, b, plane);
    }
    return n;
}

// Triangles are set up into a batch and drawn batch by batch, so that each path prepares its
// per-draw state once for many triangles.
constexpr int kBatchSize = 32;

struct SBatch {
    STriangleSetup3D setups[kBatchSize];
    int count = 0;
};

class CTriangleDrawer {
public:
    CTriangleDrawer(const STarget& target, const SPipeline3D& pipeline, SBatch* batch)
        : target_(target), pipeline_(pipeline), source_(SourcePipeline(pipeline.base)), path_(ActivePath()),
          needed_(NeededAttributes(FragmentNeeds(pipeline))), batch_(batch) {
        batch_->count = 0;
    }
    ~CTriangleDrawer() { Flush(); }

    void Add(const SScreenVertex (&v)[3]) {
        if (!SetupTriangle3D(target_, pipeline_, needed_, v, &batch_->setups[batch_->count])) return;
        if (++batch_->count == kBatchSize) Flush();
    }

private:
    void Flush() {
        const STriangleSetup3D* setups = batch_->setups;
        switch (path_) {
            case Path::Reference: DrawSetups3DReference(target_, pipeline_, source_, setups, batch_->count); break;
            case Path::Avx2: DrawSetups3DAvx2(target_, pipeline_, source_, setups, batch_->count); break;
            default: DrawSetups3DSse2(target_, pipeline_, source_, setups, batch_->count); break;
        }
        batch_->count = 0;
    }

    const STarget& target_;
    const SPipeline3D& pipeline_;
    SPipeline source_;
    Path path_;
    uint32_t needed_;
    SBatch* batch_;
};

// A triangle that crosses the near, far or w planes: clipped in clip space, then drawn as a fan.
void DrawClippedTriangle(CTriangleDrawer& drawer, const SViewport3D& vp, const SClipPoint& a, const SClipPoint& b,
                         const SClipPoint& c, uint32_t codes) {
    SClipPoint polygon[9] = {a, b, c}, scratch[9];
    int count = 3;
    for (uint32_t plane : {kOutW, kOutNear, kOutFar}) {
        if (!(codes & plane)) continue;
        count = ClipPolygon(polygon, count, scratch, plane);
        std::copy(scratch, scratch + count, polygon);
    }
    if (count < 3) return;
    const SScreenVertex first = Project(polygon[0], vp);
    SScreenVertex previous = Project(polygon[1], vp);
    for (int i = 2; i < count; ++i) {
        const SScreenVertex next = Project(polygon[i], vp);
        drawer.Add({first, previous, next});
        previous = next;
    }
}

// The filter of a stage for a triangle: minification when a pixel step covers more than a
// texel along either screen axis (screen-linear coordinates u at attribute u, v at u + 1),
// else magnification.
bool LinearFilter(const double (&x)[3], const double (&y)[3], const SScreenVertex (&v)[3], int u, double area,
                  const STextureView& texture, bool minLinear, bool magLinear) {
    if (minLinear == magLinear) return minLinear;
    const SGradient gu = PlaneGradient(x, y, v[0].attr[u], v[1].attr[u], v[2].attr[u], area);
    const SGradient gv = PlaneGradient(x, y, v[0].attr[u + 1], v[1].attr[u + 1], v[2].attr[u + 1], area);
    const double w = texture.width, h = texture.height;
    const double alongX = gu.dx * w * gu.dx * w + gv.dx * h * gv.dx * h;
    const double alongY = gu.dy * w * gu.dy * w + gv.dy * h * gv.dy * h;
    return std::max(alongX, alongY) > 1.0 ? minLinear : magLinear;
}

bool StoreFloat(double value, float* out) {
    if (!(std::fabs(value) <= kPlaneLimit)) return false;
    *out = static_cast<float>(value);
    return true;
}

}  // namespace

SFragmentNeeds FragmentNeeds(const SPipeline3D& p) {
    const SPipeline& b = p.base;
    SFragmentNeeds needs;
    needs.diffuse = b.colourA == kSrcDiffuse || b.colourB == kSrcDiffuse || b.alphaA == kSrcDiffuse ||
                    b.alphaB == kSrcDiffuse;
    needs.texture0 = b.useTexture;
    needs.texture1 = p.stage1Colour || p.stage1Alpha;
    needs.specular = p.specular;
    return needs;
}

uint32_t NeededAttributes(const SFragmentNeeds& n) {
    return (n.diffuse ? 0xFu << kAttrDiffuseB : 0u) | (n.specular ? 0x7u << kAttrSpecularB : 0u) |
           (n.texture0 ? 0x3u << kAttrU0 : 0u) | (n.texture1 ? 0x3u << kAttrU1 : 0u);
}

bool SetupTriangle3D(const STarget& target, const SPipeline3D& pipeline, uint32_t neededAttributes,
                     const SScreenVertex (&v)[3], STriangleSetup3D* setup) {
    const double x[3] = {v[0].x, v[1].x, v[2].x};
    const double y[3] = {v[0].y, v[1].y, v[2].y};
    double area = 0.0;
    if (!SetupCoverage(target, pipeline.base.cullCw, pipeline.base.cullCcw, x, y, &setup->base, &area)) return false;

    // The planes' origin lies inside the clip rectangle, so that the float planes are evaluated
    // close to where they are used.
    SPlanes& planes = setup->base.planes;
    planes = {};
    const auto origin = [](double c, int32_t low, int32_t high) {
        return static_cast<int32_t>(std::clamp(std::floor(c), static_cast<double>(low), static_cast<double>(high - 1)));
    };
    planes.originX = origin(x[0], target.clipLeft, target.clipRight);
    planes.originY = origin(y[0], target.clipTop, target.clipBottom);
    const double offsetX = planes.originX - x[0];
    const double offsetY = planes.originY - y[0];
    const auto atOrigin = [&](double a0, SGradient g) { return a0 + g.dx * offsetX + g.dy * offsetY; };
    // The gradient of the plane through a0..a2 at the corners (PlaneGradient's, sharing one
    // division).
    const double inverseArea = 1.0 / area;
    const double x1 = x[1] - x[0], x2 = x[2] - x[0], y1 = y[1] - y[0], y2 = y[2] - y[0];
    const auto gradient = [&](double a0, double a1, double a2) {
        const double dx = ((a1 - a0) * y2 - (a2 - a0) * y1) * inverseArea;
        const double dy = ((a2 - a0) * x1 - (a1 - a0) * x2) * inverseArea;
        return SGradient{std::isfinite(dx) ? dx : 0.0, std::isfinite(dy) ? dy : 0.0};
    };

    // Depth is evaluated per pixel like the attributes: the shared loops always read it.
    planes.flatDepth = false;
    planes.flatColour = true;
    planes.flatColourValue = 0xFFFFFFFFu;

    SPlanes3D& a = setup->attributes;
    const SGradient gz = gradient(v[0].z * 65535.0, v[1].z * 65535.0, v[2].z * 65535.0);
    if (!StoreFloat(atOrigin(v[0].z * 65535.0, gz), &a.z) || !StoreFloat(gz.dx, &a.zdx) || !StoreFloat(gz.dy, &a.zdy))
        return false;
    const SGradient gq = gradient(v[0].q, v[1].q, v[2].q);
    if (!StoreFloat(atOrigin(v[0].q, gq), &a.q) || !StoreFloat(gq.dx, &a.qdx) || !StoreFloat(gq.dy, &a.qdy))
        return false;
    a.qMin = static_cast<float>(std::min({v[0].q, v[1].q, v[2].q}));
    a.qMax = static_cast<float>(std::max({v[0].q, v[1].q, v[2].q}));
    a.varying = 0;
    for (int k = 0; k < kAttrCount; ++k) {
        const float a0 = v[0].attr[k], a1 = v[1].attr[k], a2 = v[2].attr[k];
        if ((a0 == a1 && a1 == a2) || !(neededAttributes >> k & 1u)) {
            a.a[k] = a0;
            a.adx[k] = a.ady[k] = 0.0f;
            continue;
        }
        a.varying |= 1u << k;
        const SGradient g = gradient(a0 * v[0].q, a1 * v[1].q, a2 * v[2].q);
        if (!StoreFloat(atOrigin(a0 * v[0].q, g), &a.a[k]) || !StoreFloat(g.dx, &a.adx[k]) ||
            !StoreFloat(g.dy, &a.ady[k]))
            return false;
    }
    a.linear0 = (neededAttributes >> kAttrU0 & 1u) &&
                LinearFilter(x, y, v, kAttrU0, area, pipeline.base.texture, pipeline.base.minLinear,
                             pipeline.base.magLinear);
    a.linear1 = (neededAttributes >> kAttrU1 & 1u) &&
                LinearFilter(x, y, v, kAttrU1, area, pipeline.texture1, pipeline.minLinear1, pipeline.magLinear1);
    return true;
}

SPipeline SourcePipeline(const SPipeline& base) {
    // Two texels, so that the loops read the source row rather than a single texel; the row
    // itself is handed over in place of the texture's.
    static const uint32_t kRowStandIn[2] = {0, 0};
    SPipeline p = base;
    p.texture = {kRowStandIn, 2, 2, 1, 0};
    p.useTexture = true;
    p.minLinear = p.magLinear = false;
    p.colourA = p.alphaA = kSrcTexture;
    p.colourB = p.alphaB = kSrcWhite;
    return p;
}

void DrawSetups3DReference(const STarget& target, const SPipeline3D& pipeline, const SPipeline& source,
                           const STriangleSetup3D* setups, int count) {
    const SFragmentNeeds needs = FragmentNeeds(pipeline);
    for (const STriangleSetup3D* setup = setups; setup < setups + count; ++setup) {
        const SPlanes& planes = setup->base.planes;
        const SPlanes3D& a = setup->attributes;
        for (int i = 0; i < setup->base.count; ++i) {
            const SCoverage& cover = setup->base.cover[i];
            for (int32_t py = cover.top; py < cover.bottom; ++py) {
                const float fy = static_cast<float>(py - planes.originY);
                const float rowQ = a.q + a.qdy * fy;
                const float rowZ = a.z + a.zdy * fy;
                float rowA[kAttrCount];
                for (int k = 0; k < kAttrCount; ++k) rowA[k] = a.a[k] + a.ady[k] * fy;
                for (int32_t px = cover.left; px < cover.right; ++px) {
                    if (!InsideCoverage(cover, px, py)) continue;
                    const float fx = static_cast<float>(px - planes.originX);
                    WritePixel(target, source, px, py, ShadeFragment(pipeline, needs, a, rowQ, rowA, fx),
                               DepthLevel(rowZ + a.zdx * fx));
                }
            }
        }
    }
}

void DrawTriangles3D(const STarget& target, const SPipeline3D& pipeline, const SViewport3D& viewport,
                     const SShadedVertex* vertices, uint32_t vertexCount, const uint32_t* indices,
                     uint32_t triangleCount) {
    // Each vertex is converted and projected once, whatever number of triangles share it.
    thread_local std::vector<SClipPoint> points;
    thread_local std::vector<SScreenVertex> screen;
    thread_local std::vector<uint32_t> codes;
    points.resize(vertexCount);
    screen.resize(vertexCount);
    codes.resize(vertexCount);
    for (uint32_t i = 0; i < vertexCount; ++i) {
        points[i] = ClipPoint(vertices[i]);
        codes[i] = Outcode(points[i]);
        if (!(codes[i] & (kNeedsClipping | kOutNonFinite))) screen[i] = Project(points[i], viewport);
    }
    thread_local SBatch batch;
    CTriangleDrawer drawer(target, pipeline, &batch);
    for (uint32_t t = 0; t < triangleCount; ++t) {
        const uint32_t* corner = indices + 3 * static_cast<size_t>(t);
        if (corner[0] >= vertexCount || corner[1] >= vertexCount || corner[2] >= vertexCount) continue;
        const uint32_t c0 = codes[corner[0]], c1 = codes[corner[1]], c2 = codes[corner[2]];
        if (((c0 | c1 | c2) & kOutNonFinite) || (c0 & c1 & c2)) continue;  // unusable or wholly outside
        if ((c0 | c1 | c2) & kNeedsClipping) {
            DrawClippedTriangle(drawer, viewport, points[corner[0]], points[corner[1]], points[corner[2]], c0 | c1 | c2);
            continue;
        }
        drawer.Add({screen[corner[0]], screen[corner[1]], screen[corner[2]]});
    }
}

}  // namespace raster
