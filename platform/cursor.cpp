#include "platform/cursor.h"

#include <SDL.h>

struct CColourCursor {
    SDL_Cursor* sdl = nullptr;  // null where the display cannot show it
};

namespace {

CColourCursor* g_shown = nullptr;

}  // namespace

CColourCursor* CreateColourCursor(const uint32_t* pixels, int32_t width, int32_t height, SPoint hotSpot) {
    if (pixels == nullptr || width <= 0 || height <= 0) return nullptr;
    auto* cursor = new CColourCursor;
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return cursor;
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(pixels), width, height, 32,
                                                              width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (surface != nullptr) {
        cursor->sdl = SDL_CreateColorCursor(surface, hotSpot.x, hotSpot.y);
        SDL_FreeSurface(surface);
    }
    return cursor;
}

void DestroyColourCursor(CColourCursor* cursor) {
    if (cursor == nullptr) return;
    if (g_shown == cursor) ShowColourCursor(nullptr);
    if (cursor->sdl != nullptr) SDL_FreeCursor(cursor->sdl);
    delete cursor;
}

void ShowColourCursor(CColourCursor* cursor) {
    g_shown = cursor;
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return;
    if (cursor != nullptr && cursor->sdl != nullptr) {
        SDL_SetCursor(cursor->sdl);
    } else if (SDL_Cursor* normal = SDL_GetDefaultCursor(); normal != nullptr) {
        SDL_SetCursor(normal);
    }
}

const CColourCursor* GetShownColourCursor() { return g_shown; }
