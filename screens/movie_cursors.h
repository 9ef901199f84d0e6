// The cursors of the movie screens: 32 × 32 pictures of the program's own ("CLICKCURSOR",
// "HANDCURSOR", "NOCLICKCURSOR"), pure green marking the pixels that let the movie show
// through. Over a click area one of them replaces the mouse cursor; its picture's corner sits at
// the mouse position minus (4, 5).
#pragma once

#include <array>
#include <cstdint>

#include "platform/cursor.h"
#include "platform/types.h"

constexpr int32_t kCursorSide = 32;
constexpr SPoint kCursorHotSpot = {4, 5};
constexpr uint32_t kCursorTransparent = 0xFF00FF00u;  // pure green

enum class EMovieCursor : int32_t {
    Click = 0,
    Hand = 1,
    NoClick = 2,
};
constexpr int32_t kMovieCursorCount = 3;

using CCursorPicture = std::array<uint32_t, kCursorSide * kCursorSide>;

// The picture (0xAARRGGBB, green where transparent).
CCursorPicture PaintCursorPicture(EMovieCursor which);

// The cursors a screen made, and which of them replaces the mouse cursor.
class CMovieCursors {
public:
    CMovieCursors() = default;
    CMovieCursors(const CMovieCursors&) = delete;
    CMovieCursors& operator=(const CMovieCursors&) = delete;
    ~CMovieCursors() { Destroy(); }

    void Create(EMovieCursor which);
    // Shows the cursor in place of the mouse cursor (once made).
    void Show(EMovieCursor which);
    // The normal mouse cursor again.
    void ShowNormal();
    bool IsShown() const { return shown_; }
    const CColourCursor* Get(EMovieCursor which) const { return cursors_[static_cast<int32_t>(which)]; }
    void Destroy();

private:
    CColourCursor* cursors_[kMovieCursorCount] = {};
    bool shown_ = false;
};
