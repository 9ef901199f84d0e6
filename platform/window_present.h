// Platform-internal: how frames reach the window. Where OpenGL could only draw on the CPU (no
// GPU render node, or an OpenGL that reports a software rasteriser), the changed rectangles of
// each frame are copied straight into the window's own surface and only those are sent to the
// display. Otherwise an SDL renderer (OpenGL on a GPU, or the driver the user named in
// SDL_RENDER_DRIVER) shows a streaming texture. Either way the picture is scaled and
// letterboxed to the window's real drawable size, whatever a window manager did with it.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "platform/graphics.h"
#include "platform/types.h"

struct CWindowPresenter;

// Null when neither path can be set up. width × height is the picture's size.
CWindowPresenter* CreateWindowPresenter(SDL_Window* window, uint32_t width, uint32_t height);
void DestroyWindowPresenter(CWindowPresenter* presenter);

// Returns whether anything was sent to the display.
bool PresentFrame(CWindowPresenter* presenter, const SPresentFrame& frame);
// After an exposure, a resize or a change of display mode: the drawable's size is asked again
// and the next frame is shown whole.
void InvalidateWindowPresenter(CWindowPresenter* presenter);
// Window coordinates (real pixels) to picture coordinates.
SPoint WindowToPicture(CWindowPresenter* presenter, int32_t x, int32_t y);
// The renderer, or null on the window-surface path.
SDL_Renderer* PresenterRenderer(const CWindowPresenter* presenter);
// Where the picture lies in the drawable.
SDL_Rect PresentedPictureRect(CWindowPresenter* presenter);
