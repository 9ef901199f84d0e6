#include "screens/movie_cursors.h"

#include <cstdlib>
#include <iterator>

namespace {

constexpr uint32_t kBlack = 0xFF000000u;
constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kSpark = 0xFFFFD840u;
constexpr uint32_t kSkin = 0xFFFFE2C4u;
constexpr uint32_t kWarning = 0xFFE02828u;

// Shapes in picture coordinates, tested at pixel centres.
using Shape = bool (*)(float x, float y);

// The arrow, its tip on the hot spot.
bool InArrow(float x, float y) {
    static const float kPoints[][2] = {{0, 0}, {0, 16}, {4, 12}, {7, 19}, {9.5f, 18}, {6.5f, 11}, {11.5f, 11}};
    x -= static_cast<float>(kCursorHotSpot.x);
    y -= static_cast<float>(kCursorHotSpot.y);
    bool inside = false;
    const int n = static_cast<int>(std::size(kPoints));
    for (int i = 0, j = n - 1; i < n; j = i++) {
        const float xi = kPoints[i][0], yi = kPoints[i][1], xj = kPoints[j][0], yj = kPoints[j][1];
        if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
    }
    return inside;
}

bool InRoundRect(float x, float y, float left, float top, float right, float bottom, float radius) {
    if (x < left || x > right || y < top || y > bottom) return false;
    const float cx = x < left + radius ? left + radius : x > right - radius ? right - radius : x;
    const float cy = y < top + radius ? top + radius : y > bottom - radius ? bottom - radius : y;
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
}

// A hand pointing up, the tip of its finger on the hot spot.
bool InHand(float x, float y) {
    const float tx = static_cast<float>(kCursorHotSpot.x), ty = static_cast<float>(kCursorHotSpot.y);
    return InRoundRect(x, y, tx - 1.5f, ty, tx + 2.5f, ty + 12, 2) ||
           InRoundRect(x, y, tx - 3.5f, ty + 8, tx + 13.5f, ty + 22, 4);
}

// Fills the shape, outlined in black where a neighbour lies outside it.
void PaintShape(CCursorPicture& picture, Shape inside, uint32_t fill) {
    for (int32_t y = 0; y < kCursorSide; ++y) {
        for (int32_t x = 0; x < kCursorSide; ++x) {
            const float cx = static_cast<float>(x) + 0.5f, cy = static_cast<float>(y) + 0.5f;
            if (!inside(cx, cy)) continue;
            const bool edge = !inside(cx - 1, cy) || !inside(cx + 1, cy) || !inside(cx, cy - 1) || !inside(cx, cy + 1);
            picture[static_cast<size_t>(y * kCursorSide + x)] = edge ? kBlack : fill;
        }
    }
}

void SetPixel(CCursorPicture& picture, int32_t x, int32_t y, uint32_t colour) {
    if (x >= 0 && x < kCursorSide && y >= 0 && y < kCursorSide) picture[static_cast<size_t>(y * kCursorSide + x)] = colour;
}

// Three short strokes around the hot spot: the picture says "click here".
void PaintSparks(CCursorPicture& picture) {
    const int32_t tx = kCursorHotSpot.x, ty = kCursorHotSpot.y;
    for (int32_t k = 2; k <= 4; ++k) {
        SetPixel(picture, tx - k, ty, kSpark);
        SetPixel(picture, tx, ty - k, kSpark);
        SetPixel(picture, tx - k + 1, ty - k + 1, kSpark);
    }
}

// A red ring with a bar across it, lower right.
void PaintNoEntry(CCursorPicture& picture) {
    for (int32_t y = 0; y < kCursorSide; ++y) {
        for (int32_t x = 0; x < kCursorSide; ++x) {
            const float dx = static_cast<float>(x) + 0.5f - 22, dy = static_cast<float>(y) + 0.5f - 23;
            const float distance2 = dx * dx + dy * dy;
            const bool ring = distance2 <= 64 && distance2 >= 30;
            const bool bar = distance2 < 36 && std::abs(dx + dy) < 1.6f;
            if (ring || bar) SetPixel(picture, x, y, kWarning);
        }
    }
}

}  // namespace

CCursorPicture PaintCursorPicture(EMovieCursor which) {
    CCursorPicture picture;
    picture.fill(kCursorTransparent);
    switch (which) {
        case EMovieCursor::Click:
            PaintShape(picture, InArrow, kWhite);
            PaintSparks(picture);
            break;
        case EMovieCursor::Hand: PaintShape(picture, InHand, kSkin); break;
        case EMovieCursor::NoClick:
            PaintShape(picture, InArrow, kWhite);
            PaintNoEntry(picture);
            break;
    }
    return picture;
}

void CMovieCursors::Create(EMovieCursor which) {
    CColourCursor*& slot = cursors_[static_cast<int32_t>(which)];
    if (slot != nullptr) return;
    CCursorPicture picture = PaintCursorPicture(which);
    for (uint32_t& pixel : picture)
        if (pixel == kCursorTransparent) pixel = 0;
    slot = CreateColourCursor(picture.data(), kCursorSide, kCursorSide, kCursorHotSpot);
}

void CMovieCursors::Show(EMovieCursor which) {
    CColourCursor* cursor = cursors_[static_cast<int32_t>(which)];
    if (cursor == nullptr) return;
    ShowColourCursor(cursor);
    shown_ = true;
}

void CMovieCursors::ShowNormal() {
    if (shown_) ShowColourCursor(nullptr);
    shown_ = false;
}

void CMovieCursors::Destroy() {
    ShowNormal();
    for (CColourCursor*& cursor : cursors_) {
        DestroyColourCursor(cursor);
        cursor = nullptr;
    }
}
