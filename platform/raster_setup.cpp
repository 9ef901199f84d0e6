#include "platform/raster_setup.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace raster {
namespace {

constexpr int kSubPixel = 256;  // positions snap to 1/256 pixel
// Positions beyond the guard band are clipped before snapping so that fixed-point edge
// functions cannot overflow; the band is far wider than the largest target.
constexpr double kGuard = 16384.0;
constexpr int64_t kFixedLimit = int64_t{1} << 40;

std::atomic<Path> g_path{Path::Auto};

struct SPoint2 {
    double x, y;
};

// std::llround (halves away from zero) for |value| below 2^62, without the library call.
int64_t RoundToNearest(double value) {
    const int64_t whole = static_cast<int64_t>(value);
    const double fraction = value - static_cast<double>(whole);
    return whole + (fraction >= 0.5 ? 1 : 0) - (fraction <= -0.5 ? 1 : 0);
}

int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}


uint32_t WrapFixed(double value) {
    if (!std::isfinite(value)) return 0;
    const double fraction = value - std::floor(value);
    return static_cast<uint32_t>(static_cast<uint64_t>(std::llround(fraction * 4294967296.0)));
}

// Intersection of segment p-q with the line coordinate[axis] = c, computed from the
// lexicographically smaller end so that two triangles sharing the edge get the same point.
SPoint2 Intersect(SPoint2 p, SPoint2 q, int axis, double c) {
    if (q.x < p.x || (q.x == p.x && q.y < p.y)) std::swap(p, q);
    if (axis == 0) {
        const double t = (c - p.x) / (q.x - p.x);
        return {c, p.y + t * (q.y - p.y)};
    }
    const double t = (c - p.y) / (q.y - p.y);
    return {p.x + t * (q.x - p.x), c};
}

// Keeps the part of the polygon where sign * coordinate[axis] <= sign * c.
int ClipPolygon(const SPoint2* in, int count, SPoint2* out, int axis, double sign, double c) {
    int n = 0;
    for (int i = 0; i < count; ++i) {
        const SPoint2& a = in[i];
        const SPoint2& b = in[(i + 1) % count];
        const double ca = axis == 0 ? a.x : a.y;
        const double cb = axis == 0 ? b.x : b.y;
        const bool insideA = sign * ca <= sign * c;
        const bool insideB = sign * cb <= sign * c;
        if (insideA) out[n++] = a;
        if (insideA != insideB) out[n++] = Intersect(a, b, axis, c);
    }
    return n;
}

int ClipToGuardBand(SPoint2* polygon, int count) {
    SPoint2 scratch[16];
    count = ClipPolygon(polygon, count, scratch, 0, -1.0, -kGuard);
    count = ClipPolygon(scratch, count, polygon, 0, 1.0, kGuard);
    count = ClipPolygon(polygon, count, scratch, 1, -1.0, -kGuard);
    count = ClipPolygon(scratch, count, polygon, 1, 1.0, kGuard);
    return count;
}

bool IsTopLeft(int64_t dx, int64_t dy) { return dy < 0 || (dy == 0 && dx > 0); }

// The edge from a to b of a shape wound clockwise on screen (positive area).
SEdge MakeEdge(int64_t ax, int64_t ay, int64_t bx, int64_t by) {
    const int64_t dx = bx - ax;
    const int64_t dy = by - ay;
    return {-dy * kSubPixel, dx * kSubPixel, dy * ax - dx * ay + (IsTopLeft(dx, dy) ? 1 : 0)};
}

void ClipBox(const STarget& target, int64_t minX, int64_t maxX, int64_t minY, int64_t maxY, SCoverage* cover) {
    cover->left = static_cast<int32_t>(std::max<int64_t>(-FloorDiv(-minX, kSubPixel), target.clipLeft));
    cover->right = static_cast<int32_t>(std::min<int64_t>(FloorDiv(maxX, kSubPixel) + 1, target.clipRight));
    cover->top = static_cast<int32_t>(std::max<int64_t>(-FloorDiv(-minY, kSubPixel), target.clipTop));
    cover->bottom = static_cast<int32_t>(std::min<int64_t>(FloorDiv(maxY, kSubPixel) + 1, target.clipBottom));
}

bool MakeCoverage(const STarget& target, const int64_t (&x)[3], const int64_t (&y)[3], SCoverage* cover) {
    int order[3] = {0, 1, 2};
    const int64_t area = (x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0]);
    if (area == 0) return false;
    if (area < 0) std::swap(order[1], order[2]);
    for (int i = 0; i < 3; ++i) {
        const int a = order[i];
        const int b = order[(i + 1) % 3];
        cover->edge[i] = MakeEdge(x[a], y[a], x[b], y[b]);
    }
    cover->edge[3] = {0, 0, 1};
    ClipBox(target, std::min({x[0], x[1], x[2]}), std::max({x[0], x[1], x[2]}), std::min({y[0], y[1], y[2]}),
            std::max({y[0], y[1], y[2]}), cover);
    return cover->left < cover->right && cover->top < cover->bottom;
}

SGradient Gradient(const SVertex* v, double a0, double a1, double a2, double area) {
    const double x[3] = {v[0].x, v[1].x, v[2].x};
    const double y[3] = {v[0].y, v[1].y, v[2].y};
    return PlaneGradient(x, y, a0, a1, a2, area);
}

void MakePlanes(const SPipeline& pipeline, const SVertex* v, double area, SPlanes* planes) {
    planes->originX = static_cast<int32_t>(std::clamp(std::floor(v[0].x), -kGuard, kGuard));
    planes->originY = static_cast<int32_t>(std::clamp(std::floor(v[0].y), -kGuard, kGuard));
    const double offsetX = planes->originX - v[0].x;
    const double offsetY = planes->originY - v[0].y;
    auto atOrigin = [&](double a0, SGradient g) { return a0 + g.dx * offsetX + g.dy * offsetY; };

    const SGradient gu = Gradient(v, v[0].u, v[1].u, v[2].u, area);
    const SGradient gv = Gradient(v, v[0].v, v[1].v, v[2].v, area);
    planes->u = WrapFixed(atOrigin(v[0].u, gu));
    planes->udx = WrapFixed(gu.dx);
    planes->udy = WrapFixed(gu.dy);
    planes->v = WrapFixed(atOrigin(v[0].v, gv));
    planes->vdx = WrapFixed(gv.dx);
    planes->vdy = WrapFixed(gv.dy);

    const double w = pipeline.texture.width;
    const double h = pipeline.texture.height;
    const double alongX = gu.dx * w * gu.dx * w + gv.dx * h * gv.dx * h;
    const double alongY = gu.dy * w * gu.dy * w + gv.dy * h * gv.dy * h;
    planes->linear = std::max(alongX, alongY) > 1.0 ? pipeline.minLinear : pipeline.magLinear;

    planes->flatColour = true;
    uint32_t flat = 0;
    for (int c = 0; c < 4; ++c) {
        const int shift = 8 * c;
        const double a0 = (v[0].diffuse >> shift) & 0xFF;
        const double a1 = (v[1].diffuse >> shift) & 0xFF;
        const double a2 = (v[2].diffuse >> shift) & 0xFF;
        const SGradient g = Gradient(v, a0, a1, a2, area);
        planes->colour[c] = ClampFixed(atOrigin(a0, g) * 65536.0);
        planes->colourDx[c] = ClampFixed(g.dx * 65536.0);
        planes->colourDy[c] = ClampFixed(g.dy * 65536.0);
        if (planes->colourDx[c] != 0 || planes->colourDy[c] != 0) planes->flatColour = false;
        flat |= ColourChannel(planes->colour[c]) << shift;
    }
    planes->flatColourValue = flat;

    const double scale = 65535.0 * 65536.0;
    const SGradient gz = Gradient(v, v[0].z, v[1].z, v[2].z, area);
    planes->depth = ClampFixed(atOrigin(v[0].z, gz) * scale);
    planes->depthDx = ClampFixed(gz.dx * scale);
    planes->depthDy = ClampFixed(gz.dy * scale);
    planes->flatDepth = planes->depthDx == 0 && planes->depthDy == 0;
    planes->flatDepthValue = DepthValue(planes->depth);
}

bool SamePlanes(const SPlanes& a, const SPlanes& b) {
    for (int c = 0; c < 4; ++c)
        if (a.colour[c] != b.colour[c] || a.colourDx[c] != b.colourDx[c] || a.colourDy[c] != b.colourDy[c])
            return false;
    return a.originX == b.originX && a.originY == b.originY && a.u == b.u && a.udx == b.udx && a.udy == b.udy &&
           a.v == b.v && a.vdx == b.vdx && a.vdy == b.vdy && a.depth == b.depth && a.depthDx == b.depthDx &&
           a.depthDy == b.depthDy && a.linear == b.linear;
}

// The coverage of the convex quad q when it owns exactly the pixels of the triangles (q0, q1, q2)
// and (q0, q2, q3). Pixels inside, on the outer edges and on the diagonal agree by the fill rule;
// only a pixel centre exactly on q0 or q2 can differ, so the flags there are compared.
bool QuadCoverage(const STarget& target, const SVertex* const (&v)[4], SCoverage* cover) {
    int64_t x[4], y[4];
    for (int i = 0; i < 4; ++i) {
        x[i] = std::llround(v[i]->x * kSubPixel);
        y[i] = std::llround(v[i]->y * kSubPixel);
    }
    int sign = 0;
    for (int i = 0; i < 4; ++i) {
        const int j = (i + 1) % 4, k = (i + 2) % 4;
        const int64_t cross = (x[j] - x[i]) * (y[k] - y[j]) - (y[j] - y[i]) * (x[k] - x[j]);
        const int s = cross > 0 ? 1 : cross < 0 ? -1 : 0;
        if (s == 0 || (sign != 0 && s != sign)) return false;
        sign = s;
    }
    if (sign < 0) {
        std::swap(x[1], x[3]);
        std::swap(y[1], y[3]);
    }
    bool tl[4];
    for (int i = 0; i < 4; ++i) tl[i] = IsTopLeft(x[(i + 1) % 4] - x[i], y[(i + 1) % 4] - y[i]);
    const bool diagonalFromQ2 = IsTopLeft(x[0] - x[2], y[0] - y[2]);  // in (q0, q1, q2)
    const bool diagonalFromQ0 = IsTopLeft(x[2] - x[0], y[2] - y[0]);  // in (q0, q2, q3)
    const bool unionQ0 = (tl[0] && diagonalFromQ2) || (tl[3] && diagonalFromQ0);
    const bool unionQ2 = (tl[1] && diagonalFromQ2) || (tl[2] && diagonalFromQ0);
    if (unionQ0 != (tl[0] && tl[3]) || unionQ2 != (tl[1] && tl[2])) return false;
    for (int i = 0; i < 4; ++i) cover->edge[i] = MakeEdge(x[i], y[i], x[(i + 1) % 4], y[(i + 1) % 4]);
    ClipBox(target, std::min({x[0], x[1], x[2], x[3]}), std::max({x[0], x[1], x[2], x[3]}),
            std::min({y[0], y[1], y[2], y[3]}), std::max({y[0], y[1], y[2], y[3]}), cover);
    return cover->left < cover->right && cover->top < cover->bottom;
}

bool Finite(const SVertex& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.u) &&
           std::isfinite(v.v);
}

bool InsideGuard(const SVertex& v) { return std::fabs(v.x) <= kGuard && std::fabs(v.y) <= kGuard; }

}  // namespace

int64_t ClampFixed(double value) {
    if (!(value == value)) return 0;
    const double limit = static_cast<double>(kFixedLimit);
    return RoundToNearest(std::clamp(value, -limit, limit));
}

SGradient PlaneGradient(const double (&x)[3], const double (&y)[3], double a0, double a1, double a2, double area) {
    const double dx = ((a1 - a0) * (y[2] - y[0]) - (a2 - a0) * (y[1] - y[0])) / area;
    const double dy = ((a2 - a0) * (x[1] - x[0]) - (a1 - a0) * (x[2] - x[0])) / area;
    return {std::isfinite(dx) ? dx : 0.0, std::isfinite(dy) ? dy : 0.0};
}

bool SetupTriangle(const STarget& target, const SPipeline& pipeline, const SVertex& v0, const SVertex& v1,
                   const SVertex& v2, STriangleSetup* setup) {
    if (!Finite(v0) || !Finite(v1) || !Finite(v2)) return false;
    const SVertex v[3] = {v0, v1, v2};
    const double x[3] = {v0.x, v1.x, v2.x};
    const double y[3] = {v0.y, v1.y, v2.y};
    double area = 0.0;
    if (!SetupCoverage(target, pipeline.cullCw, pipeline.cullCcw, x, y, setup, &area)) return false;
    MakePlanes(pipeline, v, area, &setup->planes);
    return true;
}

bool SetupCoverage(const STarget& target, bool cullCw, bool cullCcw, const double (&x)[3], const double (&y)[3],
                   STriangleSetup* setup, double* areaOut) {
    const double area = (x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0]);
    if (!(area != 0.0) || !std::isfinite(area)) return false;
    if ((area > 0.0 && cullCw) || (area < 0.0 && cullCcw)) return false;
    *areaOut = area;

    SPoint2 polygon[16] = {{x[0], y[0]}, {x[1], y[1]}, {x[2], y[2]}};
    int count = 3;
    const auto inside = [](double px, double py) { return std::fabs(px) <= kGuard && std::fabs(py) <= kGuard; };
    if (!inside(x[0], y[0]) || !inside(x[1], y[1]) || !inside(x[2], y[2])) count = ClipToGuardBand(polygon, count);
    if (count < 3) return false;

    int64_t fx[16], fy[16];
    for (int i = 0; i < count; ++i) {
        fx[i] = RoundToNearest(polygon[i].x * kSubPixel);  // inside the guard band
        fy[i] = RoundToNearest(polygon[i].y * kSubPixel);
    }
    setup->count = 0;
    for (int i = 1; i + 1 < count; ++i) {
        const int64_t x[3] = {fx[0], fx[i], fx[i + 1]};
        const int64_t y[3] = {fy[0], fy[i], fy[i + 1]};
        if (MakeCoverage(target, x, y, &setup->cover[setup->count])) ++setup->count;
    }
    return setup->count > 0;
}

uint32_t SamplePoint(const STextureView& texture, uint32_t u, uint32_t v) {
    const uint32_t x = TexelIndex(u, texture.width);
    const uint32_t y = TexelIndex(v, texture.height);
    return texture.texels[static_cast<int64_t>(y) * texture.pitch + x] | texture.alphaOr;
}

uint32_t LerpPixel(uint32_t a, uint32_t b, uint32_t w) {
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) out |= Lerp8((a >> shift) & 0xFF, (b >> shift) & 0xFF, w) << shift;
    return out;
}

uint32_t SampleLinear(const STextureView& texture, uint32_t u, uint32_t v) {
    const SLinearTap tu = LinearTap(u, texture.width);
    const SLinearTap tv = LinearTap(v, texture.height);
    const uint32_t* row0 = texture.texels + static_cast<int64_t>(tv.first) * texture.pitch;
    const uint32_t* row1 = texture.texels + static_cast<int64_t>(tv.second) * texture.pitch;
    const uint32_t top = LerpPixel(row0[tu.first] | texture.alphaOr, row0[tu.second] | texture.alphaOr, tu.weight);
    const uint32_t bottom =
        LerpPixel(row1[tu.first] | texture.alphaOr, row1[tu.second] | texture.alphaOr, tu.weight);
    return LerpPixel(top, bottom, tv.weight);
}

void SelectPath(Path path) { g_path.store(path); }

bool CpuHasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

Path ActivePath() {
    const Path path = g_path.load();
    if (path == Path::Auto || (path == Path::Avx2 && !CpuHasAvx2())) return CpuHasAvx2() ? Path::Avx2 : Path::Sse2;
    return path;
}

namespace {

void DrawSetup(Path path, const STarget& target, const SPipeline& pipeline, const STriangleSetup& setup) {
    switch (path) {
        case Path::Reference: DrawSetupReference(target, pipeline, setup); break;
        case Path::Avx2: DrawSetupAvx2(target, pipeline, setup); break;
        default: DrawSetupSse2(target, pipeline, setup); break;
    }
}

}  // namespace

void DrawTriangle(const STarget& target, const SPipeline& pipeline, const SVertex& v0, const SVertex& v1,
                  const SVertex& v2) {
    STriangleSetup setup;
    if (SetupTriangle(target, pipeline, v0, v1, v2, &setup)) DrawSetup(ActivePath(), target, pipeline, setup);
}

void DrawQuad(const STarget& target, const SPipeline& pipeline, const SVertex& v0, const SVertex& v1,
              const SVertex& v2, const SVertex& v3) {
    const Path path = ActivePath();
    STriangleSetup first, second;
    const bool hasFirst = SetupTriangle(target, pipeline, v0, v1, v2, &first);
    const bool hasSecond = SetupTriangle(target, pipeline, v0, v2, v3, &second);
    const SVertex* const corners[4] = {&v0, &v1, &v2, &v3};
    if (path != Path::Reference && hasFirst && hasSecond && first.count == 1 && second.count == 1 &&
        InsideGuard(v3) && SamePlanes(first.planes, second.planes) &&
        QuadCoverage(target, corners, &first.cover[0])) {
        DrawSetup(path, target, pipeline, first);
        return;
    }
    if (hasFirst) DrawSetup(path, target, pipeline, first);
    if (hasSecond) DrawSetup(path, target, pipeline, second);
}

}  // namespace raster
