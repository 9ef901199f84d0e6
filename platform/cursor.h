// Colour mouse cursors made from the program's own pictures, shown over the game window in
// place of the normal cursor.
#pragma once

#include <cstdint>

#include "platform/types.h"

struct CColourCursor;

// A cursor from width × height 0xAARRGGBB pixels (alpha 0 is transparent) whose hot spot is the
// picture's pixel `hotSpot`. Null when the pixels are missing. Where the display has no colour
// cursors the cursor still exists, and showing it keeps the normal cursor on the screen.
CColourCursor* CreateColourCursor(const uint32_t* pixels, int32_t width, int32_t height, SPoint hotSpot);
// Destroys the cursor; the normal cursor comes back if it was shown.
void DestroyColourCursor(CColourCursor* cursor);
// Shows the cursor; null shows the normal cursor.
void ShowColourCursor(CColourCursor* cursor);
// The cursor shown, or null for the normal one.
const CColourCursor* GetShownColourCursor();
