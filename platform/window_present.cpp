#include "platform/window_present.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/raster.h"
#include "platform/window_sdl.h"

struct CWindowPresenter {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;  // null: the window's own surface
    SDL_Texture* texture = nullptr;
    uint32_t width = 0;  // the picture
    uint32_t height = 0;
    bool layoutStale = true;  // the drawable's size is to be asked again
    bool showWhole = true;    // the next frame is shown whole, borders included
    int drawableWidth = 0;
    int drawableHeight = 0;
    SDL_Rect picture = {};  // where the picture lies in the drawable
    std::vector<uint32_t> row;  // one scaled or converted row
};

namespace {

bool UserChoseRenderDriver() {
    const char* driver = SDL_GetHint(SDL_HINT_RENDER_DRIVER);
    return driver != nullptr && driver[0] != '\0';
}

// Without a render node (nor NVIDIA's device files) OpenGL can only draw on the CPU, and creating
// a context only to find that out costs its threads, its mapped libraries and start-up time.
bool MayHaveGpu() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/dri", error))
        if (entry.path().filename().string().rfind("renderD", 0) == 0) return true;
    return std::filesystem::exists("/dev/nvidiactl", error);
}

// True when the renderer's OpenGL implementation draws on the CPU (Mesa's llvmpipe, softpipe or
// swrast, as in a virtual machine without a GPU).
bool RendersOnCpu(SDL_Renderer* renderer) {
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(renderer, &info) != 0 || std::strncmp(info.name, "opengl", 6) != 0) return false;
    using GetStringFunction = const unsigned char* (*)(unsigned int);
    const auto getString = reinterpret_cast<GetStringFunction>(SDL_GL_GetProcAddress("glGetString"));
    if (getString == nullptr) return false;
    constexpr unsigned int kGlRenderer = 0x1F01;
    const char* name = reinterpret_cast<const char*>(getString(kGlRenderer));
    if (name == nullptr) return false;
    for (const char* software : {"llvmpipe", "softpipe", "Software Rasterizer", "swrast"}) {
        if (std::strstr(name, software) != nullptr) return true;
    }
    return false;
}

SDL_Renderer* CreateRenderer(SDL_Window* window) {
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
    if (UserChoseRenderDriver()) return SDL_CreateRenderer(window, -1, 0);
    if (!MayHaveGpu()) return nullptr;
    SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED);
    if (renderer != nullptr && RendersOnCpu(renderer)) {
        SDL_DestroyRenderer(renderer);
        renderer = nullptr;
    }
    return renderer;
}

bool IsRgb32(const SDL_Surface* surface) {
    const uint32_t format = surface->format->format;
    return format == SDL_PIXELFORMAT_ARGB8888 || format == SDL_PIXELFORMAT_RGB888;
}

// The picture's place in a drawable: as large as fits, centred, its shape kept.
void UpdateLayout(CWindowPresenter* p) {
    int w = 0, h = 0;
    int shownW = 0, shownH = 0;  // what SDL takes the drawable to be
    if (p->renderer != nullptr) {
        SDL_GetRendererOutputSize(p->renderer, &shownW, &shownH);
    } else if (SDL_Surface* surface = SDL_GetWindowSurface(p->window)) {
        shownW = surface->w;
        shownH = surface->h;
    }
    if (!QueryX11WindowSize(p->window, &w, &h) || w <= 0 || h <= 0) {
        w = shownW;
        h = shownH;
    }
    // The window's surface cannot be written past its own size.
    if (p->renderer == nullptr) {
        w = std::min(w, shownW);
        h = std::min(h, shownH);
    }
    p->drawableWidth = std::max(w, 0);
    p->drawableHeight = std::max(h, 0);
    const int64_t pw = p->width, ph = p->height;
    int64_t scaledW = p->drawableWidth, scaledH = p->drawableHeight;
    if (scaledW * ph > scaledH * pw)
        scaledW = scaledH * pw / ph;
    else
        scaledH = scaledW * ph / pw;
    p->picture = {static_cast<int>((p->drawableWidth - scaledW) / 2), static_cast<int>((p->drawableHeight - scaledH) / 2),
                  static_cast<int>(scaledW), static_cast<int>(scaledH)};
    p->layoutStale = false;
}

// Source position of destination index i (of destSize) in 16.16 fixed point, on pixel centres.
int64_t SourcePosition(int64_t i, int64_t sourceSize, int64_t destSize) {
    return ((2 * i + 1) * sourceSize << 16) / (2 * destSize) - 32768;
}

// One destination row of the scaled picture, columns x0..x1 of the picture's rectangle.
void ScaleRow(const CWindowPresenter* p, const SPresentFrame& frame, int y, int x0, int x1, uint32_t* out) {
    const auto tap = [](int64_t fixed, int64_t size, int64_t* a, int64_t* b) {
        const int64_t base = fixed >> 16;
        *a = std::clamp<int64_t>(base, 0, size - 1);
        *b = std::clamp<int64_t>(base + 1, 0, size - 1);
        return static_cast<uint32_t>((fixed >> 8) & 0xFF);
    };
    int64_t y0, y1;
    const uint32_t wy = tap(SourcePosition(y, frame.height, p->picture.h), frame.height, &y0, &y1);
    const uint32_t* top = reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(frame.pixels) +
                                                            y0 * frame.pitchBytes);
    const uint32_t* bottom = reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(frame.pixels) +
                                                               y1 * frame.pitchBytes);
    for (int x = x0; x < x1; ++x) {
        int64_t c0, c1;
        const uint32_t wx = tap(SourcePosition(x, frame.width, p->picture.w), frame.width, &c0, &c1);
        const uint32_t upper = raster::LerpPixel(top[c0], top[c1], wx);
        const uint32_t lower = raster::LerpPixel(bottom[c0], bottom[c1], wx);
        *out++ = raster::LerpPixel(upper, lower, wy) | 0xFF000000u;
    }
}

// The drawable's rectangle that shows the frame's rectangle r (a scaled pixel mixes its
// neighbours, so one source pixel more on each side is taken).
SDL_Rect DestinationOf(const CWindowPresenter* p, const SPresentFrame& frame, const SRect& r) {
    const SDL_Rect& pic = p->picture;
    if (pic.w == static_cast<int>(frame.width) && pic.h == static_cast<int>(frame.height))
        return {pic.x + r.left, pic.y + r.top, r.right - r.left, r.bottom - r.top};
    const int64_t left = std::max<int64_t>(r.left - 1, 0) * pic.w / frame.width;
    const int64_t top = std::max<int64_t>(r.top - 1, 0) * pic.h / frame.height;
    const int64_t right = (std::min<int64_t>(r.right + 1, frame.width) * pic.w + frame.width - 1) / frame.width;
    const int64_t bottom = (std::min<int64_t>(r.bottom + 1, frame.height) * pic.h + frame.height - 1) / frame.height;
    return {pic.x + static_cast<int>(left), pic.y + static_cast<int>(top), static_cast<int>(right - left),
            static_cast<int>(bottom - top)};
}

// Writes the drawable's rectangle d (inside the picture) into the surface.
void DrawIntoSurface(CWindowPresenter* p, const SPresentFrame& frame, SDL_Surface* surface, const SDL_Rect& d) {
    const bool oneToOne = p->picture.w == static_cast<int>(frame.width) && p->picture.h == static_cast<int>(frame.height);
    const bool rgb32 = IsRgb32(surface);
    p->row.resize(static_cast<size_t>(d.w));
    for (int y = d.y; y < d.y + d.h; ++y) {
        uint8_t* destination = static_cast<uint8_t*>(surface->pixels) + static_cast<size_t>(y) * surface->pitch +
                               static_cast<size_t>(d.x) * surface->format->BytesPerPixel;
        const uint32_t* source;
        if (oneToOne) {
            source = reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(frame.pixels) +
                                                       static_cast<size_t>(y - p->picture.y) * frame.pitchBytes) +
                     (d.x - p->picture.x);
        } else {
            ScaleRow(p, frame, y - p->picture.y, d.x - p->picture.x, d.x - p->picture.x + d.w, p->row.data());
            source = p->row.data();
        }
        if (rgb32)
            std::memcpy(destination, source, static_cast<size_t>(d.w) * 4);
        else
            SDL_ConvertPixels(d.w, 1, SDL_PIXELFORMAT_ARGB8888, source, d.w * 4, surface->format->format, destination,
                              surface->pitch);
    }
}

bool PresentToSurface(CWindowPresenter* p, const SPresentFrame& frame) {
    SDL_Surface* surface = SDL_GetWindowSurface(p->window);
    if (surface == nullptr) return false;
    if (p->layoutStale) UpdateLayout(p);
    if (p->picture.w <= 0 || p->picture.h <= 0) return false;
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return false;
    std::vector<SDL_Rect> updated;
    const SDL_Rect drawable = {0, 0, p->drawableWidth, p->drawableHeight};
    if (p->showWhole) {
        // The letterbox bars, then the whole picture.
        const SDL_Rect& pic = p->picture;
        const SDL_Rect bars[] = {{0, 0, drawable.w, pic.y},
                                 {0, pic.y + pic.h, drawable.w, drawable.h - pic.y - pic.h},
                                 {0, pic.y, pic.x, pic.h},
                                 {pic.x + pic.w, pic.y, drawable.w - pic.x - pic.w, pic.h}};
        for (const SDL_Rect& bar : bars)
            if (bar.w > 0 && bar.h > 0) SDL_FillRect(surface, &bar, SDL_MapRGB(surface->format, 0, 0, 0));
        DrawIntoSurface(p, frame, surface, pic);
        updated.push_back(drawable);
    } else {
        for (uint32_t i = 0; i < frame.changedCount; ++i) {
            SDL_Rect d = DestinationOf(p, frame, frame.changed[i]);
            if (!SDL_IntersectRect(&d, &p->picture, &d)) continue;
            DrawIntoSurface(p, frame, surface, d);
            updated.push_back(d);
        }
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    if (updated.empty()) return false;
    if (SDL_UpdateWindowSurfaceRects(p->window, updated.data(), static_cast<int>(updated.size())) == 0)
        p->showWhole = false;
    return true;
}

bool EnsureTexture(CWindowPresenter* p, uint32_t width, uint32_t height) {
    int w = 0, h = 0;
    if (p->texture != nullptr && SDL_QueryTexture(p->texture, nullptr, nullptr, &w, &h) == 0 &&
        w == static_cast<int>(width) && h == static_cast<int>(height))
        return true;
    if (p->texture != nullptr) SDL_DestroyTexture(p->texture);
    p->texture = SDL_CreateTexture(p->renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                   static_cast<int>(width), static_cast<int>(height));
    if (p->texture == nullptr) return false;
    SDL_SetTextureBlendMode(p->texture, SDL_BLENDMODE_NONE);
    p->showWhole = true;
    return true;
}

bool PresentWithRenderer(CWindowPresenter* p, const SPresentFrame& frame) {
    if (p->layoutStale) UpdateLayout(p);
    if (!EnsureTexture(p, frame.width, frame.height)) return false;
    if (!p->showWhole && frame.changedCount == 0) return false;  // the window still shows this frame
    const SRect whole = {0, 0, static_cast<int32_t>(frame.width), static_cast<int32_t>(frame.height)};
    const SRect* rects = p->showWhole ? &whole : frame.changed;
    const uint32_t count = p->showWhole ? 1 : frame.changedCount;
    for (uint32_t i = 0; i < count; ++i) {
        const SRect& r = rects[i];
        const SDL_Rect area = {r.left, r.top, r.right - r.left, r.bottom - r.top};
        const uint8_t* first = reinterpret_cast<const uint8_t*>(frame.pixels) + static_cast<size_t>(r.top) * frame.pitchBytes +
                               static_cast<size_t>(r.left) * 4;
        if (SDL_UpdateTexture(p->texture, &area, first, frame.pitchBytes) != 0) return false;
    }
    SDL_Rect destination = p->picture;
    // OpenGL counts rows from the bottom of the drawable SDL believes in; when the real one is
    // shorter (a full-screen request no window manager carried out), its top lies lower.
    int shownW = 0, shownH = 0;
    SDL_RendererInfo info;
    if (SDL_GetRendererOutputSize(p->renderer, &shownW, &shownH) == 0 && SDL_GetRendererInfo(p->renderer, &info) == 0 &&
        std::strncmp(info.name, "opengl", 6) == 0)
        destination.y += shownH - p->drawableHeight;
    SDL_SetRenderDrawColor(p->renderer, 0, 0, 0, 255);
    SDL_RenderClear(p->renderer);
    SDL_RenderCopy(p->renderer, p->texture, nullptr, &destination);
    SDL_RenderPresent(p->renderer);
    p->showWhole = false;
    return true;
}

}  // namespace

CWindowPresenter* CreateWindowPresenter(SDL_Window* window, uint32_t width, uint32_t height) {
    if (window == nullptr || width == 0 || height == 0) return nullptr;
    CWindowPresenter* p = new CWindowPresenter();
    p->window = window;
    p->width = width;
    p->height = height;
    p->renderer = CreateRenderer(window);
    if (p->renderer == nullptr) {
        // SDL's own framebuffer for the window (shared memory with X11), not a renderer's.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        if (SDL_GetWindowSurface(window) == nullptr) {
            delete p;
            return nullptr;
        }
    }
    return p;
}

void DestroyWindowPresenter(CWindowPresenter* presenter) {
    if (presenter == nullptr) return;
    if (presenter->texture != nullptr) SDL_DestroyTexture(presenter->texture);
    if (presenter->renderer != nullptr) SDL_DestroyRenderer(presenter->renderer);
    delete presenter;
}

bool PresentFrame(CWindowPresenter* presenter, const SPresentFrame& frame) {
    if (presenter == nullptr || frame.pixels == nullptr || frame.width == 0 || frame.height == 0) return false;
    if (frame.pitchBytes < 0 || static_cast<uint64_t>(frame.pitchBytes) < uint64_t{frame.width} * 4) return false;
    return presenter->renderer != nullptr ? PresentWithRenderer(presenter, frame) : PresentToSurface(presenter, frame);
}

void InvalidateWindowPresenter(CWindowPresenter* presenter) {
    if (presenter == nullptr) return;
    presenter->layoutStale = true;
    presenter->showWhole = true;
}

SPoint WindowToPicture(CWindowPresenter* presenter, int32_t x, int32_t y) {
    if (presenter == nullptr) return {x, y};
    if (presenter->layoutStale) UpdateLayout(presenter);
    const SDL_Rect& pic = presenter->picture;
    if (pic.w <= 0 || pic.h <= 0) return {x, y};
    const auto map = [](int64_t value, int64_t origin, int64_t shown, int64_t size) {
        const int64_t scaled = (value - origin) * size;
        return static_cast<int32_t>(scaled >= 0 ? scaled / shown : -((-scaled + shown - 1) / shown));
    };
    return {map(x, pic.x, pic.w, presenter->width), map(y, pic.y, pic.h, presenter->height)};
}

SDL_Renderer* PresenterRenderer(const CWindowPresenter* presenter) {
    return presenter != nullptr ? presenter->renderer : nullptr;
}

SDL_Rect PresentedPictureRect(CWindowPresenter* presenter) {
    if (presenter == nullptr) return {};
    if (presenter->layoutStale) UpdateLayout(presenter);
    return presenter->picture;
}
