// Damage tracking in the graphics device: frames drawn with tracking must present exactly the
// pixels of a full redraw by the reference rasteriser, and the rectangles reported as changed
// must cover every pixel that differs from the previous presented frame.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "platform/devices_graphics.h"
#include "platform/graphics.h"
#include "platform/quad_draw.h"
#include "platform/raster.h"
#include "tests/support/graphics_support.h"

namespace {

// A window stand-in: keeps only what the changed rectangles carry, and the rectangles.
struct SScreen {
    std::vector<uint32_t> pixels;
    std::vector<SRect> changed;
    bool disjoint = true;

    static void Present(void* user, const SPresentFrame& frame) {
        auto* screen = static_cast<SScreen*>(user);
        screen->pixels.resize(size_t{frame.width} * frame.height);
        screen->changed.assign(frame.changed, frame.changed + frame.changedCount);
        for (uint32_t i = 0; i < frame.changedCount; ++i) {
            const SRect& r = frame.changed[i];
            for (uint32_t j = i + 1; j < frame.changedCount; ++j) {
                const SRect& o = frame.changed[j];
                if (r.left < o.right && o.left < r.right && r.top < o.bottom && o.top < r.bottom) screen->disjoint = false;
            }
            for (int32_t y = r.top; y < r.bottom; ++y)
                for (int32_t x = r.left; x < r.right; ++x)
                    screen->pixels[size_t(y) * frame.width + x] =
                        reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(frame.pixels) +
                                                          size_t(y) * frame.pitchBytes)[x];
        }
    }

    bool Covers(const SRect& area) const {
        for (int32_t y = area.top; y < area.bottom; ++y)
            for (int32_t x = area.left; x < area.right; ++x) {
                bool inside = false;
                for (const SRect& r : changed) inside = inside || (x >= r.left && x < r.right && y >= r.top && y < r.bottom);
                if (!inside) return false;
            }
        return true;
    }
    bool Touches(const SRect& area) const {
        for (const SRect& r : changed)
            if (r.left < area.right && area.left < r.right && r.top < area.bottom && area.top < r.bottom) return true;
        return false;
    }
};

CGraphicsDevice* MakeDevice(uint32_t width, uint32_t height, SScreen* screen) {
    SDeviceParams params;
    params.width = width;
    params.height = height;
    params.present = SScreen::Present;
    params.presentUser = screen;
    CGraphicsDevice* device = CGraphicsDevice::Create(params);
    if (device) ApplyDefaultRenderStates(device);
    return device;
}

uint32_t Texel(uint32_t seed, uint32_t x, uint32_t y) {
    const uint32_t h = (x * 73856093u) ^ (y * 19349663u) ^ (seed * 83492791u);
    const uint32_t alpha = (h >> 5) % 4 == 0 ? 0u : (h >> 3) % 3 == 0 ? 0x80u : 0xFFu;
    return alpha << 24 | (h & 0xFFFFFFu);
}

// One quad of a frame.
struct SSprite {
    int texture;  // -1: an untextured rectangle
    float x, y, scale, angle;
    uint32_t colour;
    int blend;  // 0-6: the layer blend modes; 7: no blending
    bool linear;
    SRect viewport;
};

const uint32_t kBlends[7][2] = {{Blend::SrcAlpha, Blend::InvSrcAlpha}, {Blend::SrcAlpha, Blend::One},
                                {Blend::DestColor, Blend::Zero},       {Blend::InvDestColor, Blend::InvSrcColor},
                                {Blend::One, Blend::InvSrcColor},      {Blend::Zero, Blend::InvSrcColor},
                                {Blend::DestColor, Blend::One}};

// The same textures, render target and frames on two devices: one tracking damage on the span
// paths, one redrawing everything with the reference rasteriser.
class CTwinDevices {
public:
    static constexpr uint32_t kWidth = 160, kHeight = 120;

    CTwinDevices() {
        for (int i = 0; i < 2; ++i) {
            device_[i] = MakeDevice(kWidth, kHeight, &screen_[i]);
            device_[i]->GetBackBuffer(&back_[i]);
            textures_[i].push_back(MakeTestTexture(device_[i], 64, 48, [](uint32_t x, uint32_t y) { return Texel(1, x, y); }));
            textures_[i].push_back(MakeTestTexture(device_[i], 100, 90, [](uint32_t x, uint32_t y) { return Texel(2, x, y); },
                                                   Format::X8R8G8B8));
            textures_[i].push_back(MakeTestTexture(device_[i], 8, 8, [](uint32_t x, uint32_t y) { return Texel(3, x, y); }));
            CTexture* target = nullptr;
            device_[i]->CreateTexture(40, 40, 1, Usage::RenderTarget, Format::A8R8G8B8, Pool::Default, &target);
            textures_[i].push_back(target);
        }
        device_[1]->SetDamageTracking(false);
    }
    ~CTwinDevices() {
        raster::SelectPath(raster::Path::Auto);
        for (int i = 0; i < 2; ++i) {
            device_[i]->SetTexture(0, nullptr);
            back_[i]->Release();
            for (CTexture* t : textures_[i]) t->Release();
            device_[i]->Release();
        }
    }

    // Runs op on both devices, each on its own raster path.
    void Both(const std::function<void(CGraphicsDevice*, int)>& op) {
        raster::SelectPath(raster::Path::Auto);
        op(device_[0], 0);
        raster::SelectPath(raster::Path::Reference);
        op(device_[1], 1);
    }

    void DrawSprite(CGraphicsDevice* d, int side, const SSprite& s) {
        const SViewport viewport = {uint32_t(s.viewport.left), uint32_t(s.viewport.top),
                                    uint32_t(s.viewport.right - s.viewport.left),
                                    uint32_t(s.viewport.bottom - s.viewport.top), 0.0f, 1.0f};
        d->SetViewport(viewport);
        d->SetRenderState(RenderState::AlphaBlendEnable, s.blend < 7 ? 1 : 0);
        d->SetRenderState(RenderState::SrcBlend, kBlends[s.blend % 7][0]);
        d->SetRenderState(RenderState::DestBlend, kBlends[s.blend % 7][1]);
        const uint32_t filter = s.linear ? TexFilter::Linear : TexFilter::Point;
        d->SetSamplerState(0, Sampler::MinFilter, filter);
        d->SetSamplerState(0, Sampler::MagFilter, filter);
        if (s.texture < 0) {
            DrawFilledRect(d, {int32_t(s.x), int32_t(s.y), int32_t(s.x + 30 * s.scale), int32_t(s.y + 20 * s.scale)},
                           s.colour);
        } else {
            DrawSpriteRotated(d, textures_[side][s.texture], nullptr, {int32_t(s.x), int32_t(s.y)}, {-10, -10}, s.scale,
                              s.scale, s.angle, s.colour);
        }
        d->SetViewport({0, 0, kWidth, kHeight, 0.0f, 1.0f});
    }

    // Presents on both, then the tracked back buffer and the screen built from its changed
    // rectangles must both equal the reference's back buffer.
    void PresentAndCompare(int frame) {
        Both([](CGraphicsDevice* d, int) { d->Present(); });
        raster::SelectPath(raster::Path::Auto);
        int differing = 0, stale = 0;
        for (int32_t y = 0; y < int32_t(kHeight); ++y)
            for (int32_t x = 0; x < int32_t(kWidth); ++x) {
                const uint32_t expected = SurfacePixel(back_[1], x, y);
                differing += SurfacePixel(back_[0], x, y) != expected;
                stale += screen_[0].pixels[size_t(y) * kWidth + x] != expected;
            }
        ASSERT_EQ(differing, 0) << "frame " << frame << ": back buffer differs from the full redraw";
        ASSERT_EQ(stale, 0) << "frame " << frame << ": a changed pixel was not reported";
        ASSERT_TRUE(screen_[0].disjoint) << "frame " << frame;
    }

    CGraphicsDevice* device_[2];
    CSurface* back_[2];
    std::vector<CTexture*> textures_[2];
    SScreen screen_[2];
};

SSprite RandomSprite(std::mt19937& rng) {
    auto below = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
    SSprite s;
    s.texture = int(below(5)) - 1;
    s.x = float(below(180)) - 10.0f + (below(4) == 0 ? 0.5f : 0.0f);
    s.y = float(below(140)) - 10.0f;
    s.scale = below(3) == 0 ? 0.5f + float(below(30)) / 10.0f : 1.0f;
    s.angle = below(4) == 0 ? float(below(628)) / 100.0f : 0.0f;
    const uint32_t colours[] = {0xFFFFFFFFu, 0x80FFFFFFu, 0xFF4080C0u, 0x20FF0000u};
    s.colour = below(3) == 0 ? static_cast<uint32_t>(rng()) : colours[below(4)];
    s.blend = int(below(8));
    s.linear = below(3) == 0;
    s.viewport = {0, 0, int32_t(CTwinDevices::kWidth), int32_t(CTwinDevices::kHeight)};
    if (below(6) == 0)
        s.viewport = {int32_t(below(60)), int32_t(below(40)), int32_t(80 + below(80)), int32_t(60 + below(60))};
    return s;
}

// Small random changes from frame to frame (moves, colours, states, sprites coming and going,
// texture writes), with the operations that force what is recorded to be drawn at once in
// between: reads, locks and writes of the back buffer, a render-target pass, StretchRect,
// partial clears and frames without a clear.
TEST(DamageTracking, RandomFramesPresentExactlyTheFullRedraw) {
    CTwinDevices twins;
    std::mt19937 rng(20240611);
    auto below = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
    std::vector<SSprite> scene;
    for (int i = 0; i < 8; ++i) scene.push_back(RandomSprite(rng));

    for (int frame = 0; frame < 250; ++frame) {
        const uint32_t change = below(12);
        const size_t pick = scene.empty() ? 0 : below(uint32_t(scene.size()));
        if (change == 0 && scene.size() < 14) scene.insert(scene.begin() + pick, RandomSprite(rng));
        if (change == 1 && !scene.empty()) scene.erase(scene.begin() + pick);
        if (change == 2 && !scene.empty()) scene[pick].x += float(below(7)) - 3.0f;
        if (change == 3 && !scene.empty()) scene[pick].colour ^= 0x10204000u;
        if (change == 4 && !scene.empty()) scene[pick].blend = int(below(8));
        if (change == 5 && !scene.empty()) scene[pick].linear = !scene[pick].linear;
        if (change == 6) {  // a texture rewritten in part
            const uint32_t seed = below(1000), left = below(40), top = below(30);
            twins.Both([&](CGraphicsDevice*, int side) {
                CTexture* t = twins.textures_[side][0];
                SLockedRect locked;
                const SRect part = {int32_t(left), int32_t(top), int32_t(left + 20), int32_t(top + 15)};
                ASSERT_EQ(t->LockRect(0, &locked, &part, 0), 0);
                for (int y = 0; y < 15; ++y)
                    for (int x = 0; x < 20; ++x)
                        reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.bits) + y * locked.pitch)[x] =
                            Texel(seed, x, y);
                t->UnlockRect(0);
            });
        }
        if (change == 7) {  // a pass into the render-target texture, which sprites may draw
            const SSprite inner = RandomSprite(rng);
            twins.Both([&](CGraphicsDevice* d, int side) {
                CSurface* surface = nullptr;
                twins.textures_[side][3]->GetSurfaceLevel(0, &surface);
                d->SetRenderTarget(surface);
                d->Clear(0, nullptr, ClearFlag::Target, 0x40102030u, 1.0f, 0);
                d->BeginScene();
                SSprite s = inner;
                s.viewport = {0, 0, 40, 40};
                twins.DrawSprite(d, side, s);
                d->EndScene();
                CSurface* back = twins.back_[side];
                d->SetRenderTarget(back);
                surface->Release();
            });
        }

        const uint32_t clearKind = below(20);
        const uint32_t interrupt = below(10);
        const size_t interruptAt = below(uint32_t(scene.size()) + 1);
        const uint32_t seed = below(1000);
        const SRect part = {int32_t(below(80)), int32_t(below(60)), int32_t(80 + below(80)), int32_t(60 + below(60))};
        twins.Both([&](CGraphicsDevice* d, int side) {
            if (clearKind > 1) d->Clear(0, nullptr, ClearFlag::Target | ClearFlag::ZBuffer, 0xFF203040u, 1.0f, 0);
            if (clearKind == 1) d->Clear(1, &part, ClearFlag::Target, 0xFF805020u, 1.0f, 0);
            d->BeginScene();
            for (size_t i = 0; i <= scene.size(); ++i) {
                if (i == interruptAt && interrupt == 0) (void)SurfacePixel(twins.back_[side], part.left, part.top);
                if (i == interruptAt && interrupt == 1) {
                    SLockedRect locked;
                    ASSERT_EQ(twins.back_[side]->LockRect(&locked, &part, 0), 0);
                    for (int32_t x = 0; x < part.right - part.left; x += 3)
                        static_cast<uint32_t*>(locked.bits)[x] = Texel(seed, x, 0) | 0xFF000000u;
                    twins.back_[side]->UnlockRect();
                }
                if (i == interruptAt && interrupt == 2) {
                    CSurface* source = nullptr;
                    twins.textures_[side][1]->GetSurfaceLevel(0, &source);
                    ASSERT_EQ(d->StretchRect(source, nullptr, twins.back_[side], &part, TexFilter::Linear), 0);
                    source->Release();
                }
                if (i < scene.size()) twins.DrawSprite(d, side, scene[i]);
            }
            d->EndScene();
        });
        twins.PresentAndCompare(frame);
        if (HasFatalFailure()) return;
    }
}

// A scene of three quads; each step changes one thing, and the reported rectangles must cover
// what changed and leave the untouched quad alone.
TEST(DamageTracking, ChangedRectanglesFollowWhatDiffers) {
    SScreen screen;
    CGraphicsDevice* device = MakeDevice(200, 150, &screen);
    ASSERT_NE(device, nullptr);
    CTexture* texture = MakeTestTexture(device, 20, 20, [](uint32_t x, uint32_t y) { return 0xFF000000u | x << 8 | y; });
    struct SQuad {
        float x, y;
        uint32_t colour;
        bool shown;
        uint32_t destBlend;
    };
    SQuad quads[3] = {{10, 10, 0xFFFFFFFFu, true, Blend::InvSrcAlpha},
                      {100, 50, 0xFFFFFFFFu, true, Blend::InvSrcAlpha},
                      {150, 100, 0xFFFFFFFFu, false, Blend::InvSrcAlpha}};
    const auto rectOf = [](const SQuad& q) { return SRect{int32_t(q.x), int32_t(q.y), int32_t(q.x) + 20, int32_t(q.y) + 20}; };
    const auto drawFrame = [&] {
        device->Clear(0, nullptr, ClearFlag::Target | ClearFlag::ZBuffer, 0xFF000000u, 1.0f, 0);
        device->BeginScene();
        for (const SQuad& q : quads) {
            if (!q.shown) continue;
            device->SetRenderState(RenderState::DestBlend, q.destBlend);
            DrawSprite(device, texture, nullptr, 1, q.x, q.y, q.colour);
        }
        device->EndScene();
        device->Present();
    };
    drawFrame();
    EXPECT_TRUE(screen.Covers({0, 0, 200, 150})) << "the first frame is shown whole";
    drawFrame();
    EXPECT_TRUE(screen.changed.empty()) << "an unchanged frame changes nothing";

    const SRect untouched = rectOf(quads[0]);
    struct SStep {
        const char* what;
        std::function<void()> change;
        std::vector<SRect> covered;
    };
    const SStep steps[] = {
        {"a quad moves", [&] { quads[1].x = 120; }, {{100, 50, 120, 70}, {120, 50, 140, 70}}},
        {"a quad's colour changes", [&] { quads[1].colour = 0x80FFFFFFu; }, {{120, 50, 140, 70}}},
        {"a quad appears", [&] { quads[2].shown = true; }, {{150, 100, 170, 120}}},
        {"a quad disappears", [&] { quads[2].shown = false; }, {{150, 100, 170, 120}}},
        {"a state changes", [&] { quads[1].destBlend = Blend::One; }, {{120, 50, 140, 70}}},
    };
    for (const SStep& step : steps) {
        step.change();
        drawFrame();
        for (const SRect& r : step.covered) EXPECT_TRUE(screen.Covers(r)) << step.what;
        EXPECT_FALSE(screen.Touches(untouched)) << step.what;
    }

    // The texture's contents change: every quad drawing it is damaged.
    SLockedRect locked;
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), 0);
    static_cast<uint32_t*>(locked.bits)[0] = 0xFFFF0000u;
    texture->UnlockRect(0);
    drawFrame();
    EXPECT_TRUE(screen.Covers(untouched));
    EXPECT_TRUE(screen.Covers({120, 50, 140, 70}));

    // Switched off, every frame is shown whole.
    device->SetDamageTracking(false);
    drawFrame();
    EXPECT_TRUE(screen.Covers({0, 0, 200, 150}));
    device->SetTexture(0, nullptr);
    texture->Release();
    device->Release();
}

// What a pending draw reads stays valid until it is drawn: a texture released or rewritten
// after its draw was recorded is drawn as it was at the draw.
TEST(DamageTracking, PendingDrawsSeeTheirTexturesAsTheyWere) {
    SScreen screen;
    CGraphicsDevice* device = MakeDevice(64, 64, &screen);
    CSurface* back = nullptr;
    device->GetBackBuffer(&back);
    device->SetRenderState(RenderState::AlphaBlendEnable, 0);
    CTexture* first = MakeTestTexture(device, 8, 8, [](uint32_t, uint32_t) { return 0xFF112233u; });
    CTexture* second = MakeTestTexture(device, 8, 8, [](uint32_t, uint32_t) { return 0xFF445566u; });
    device->Clear(0, nullptr, ClearFlag::Target | ClearFlag::ZBuffer, 0, 1.0f, 0);
    device->BeginScene();
    DrawSprite(device, first, nullptr, 1, 0, 0, 0xFFFFFFFFu);
    DrawSprite(device, second, nullptr, 1, 16, 0, 0xFFFFFFFFu);
    device->SetTexture(0, nullptr);
    first->Release();  // freed while its draw is pending
    SLockedRect locked;
    ASSERT_EQ(second->LockRect(0, &locked, nullptr, 0), 0);
    static_cast<uint32_t*>(locked.bits)[0] = 0xFF778899u;
    second->UnlockRect(0);
    DrawSprite(device, second, nullptr, 1, 32, 0, 0xFFFFFFFFu);
    device->EndScene();
    device->Present();
    EXPECT_EQ(SurfacePixel(back, 0, 0), 0xFF112233u);
    EXPECT_EQ(SurfacePixel(back, 16, 0), 0xFF445566u) << "drawn before the rewrite";
    EXPECT_EQ(SurfacePixel(back, 32, 0), 0xFF778899u) << "drawn after it";
    device->SetTexture(0, nullptr);
    second->Release();
    back->Release();
    device->Release();
}

}  // namespace
