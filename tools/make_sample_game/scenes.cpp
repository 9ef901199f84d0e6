#include "tools/make_sample_game/scenes.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr int kW = 800;
constexpr int kH = 600;

void Stars(CCanvas& c, int count, int maxY, uint32_t seed) {
    CRandom random(seed);
    for (int i = 0; i < count; ++i) {
        float x = random.Range(0, kW), y = random.Range(0, static_cast<float>(maxY));
        float size = random.Unit() < 0.1f ? 1.6f : 0.9f;
        uint32_t alpha = static_cast<uint32_t>(random.Range(90, 255) * (1.0f - y / maxY * 0.6f));
        c.FillCircle(x, y, size, WithAlpha(0xFFFFFFF0, alpha));
        if (size > 1) c.Glow(x, y, 6, 0x40C0D0FF);
    }
}

void Sea(CCanvas& c, int horizon, uint32_t top, uint32_t bottom, uint32_t sparkle, float sparkleX, uint32_t seed) {
    c.VerticalGradient(0, horizon, kW, kH, top, bottom);
    CRandom random(seed);
    for (int i = 0; i < 260; ++i) {
        float y = horizon + std::pow(random.Unit(), 1.6f) * (kH - horizon);
        float depth = (y - horizon) / (kH - horizon);
        float spread = 40 + depth * 260;
        float x = sparkleX + random.Range(-spread, spread);
        float len = 4 + depth * 30 * random.Unit();
        float fade = 1.0f - std::fabs(x - sparkleX) / (spread + 1);
        c.Line(x - len, y, x + len, y, 1.0f + depth * 1.5f, WithAlpha(sparkle, static_cast<uint32_t>(200 * fade)));
    }
    for (int i = 0; i < 40; ++i) {
        float y = horizon + 8 + random.Unit() * (kH - horizon);
        float x = random.Range(0, kW);
        c.Line(x - 30, y, x + 30, y, 1.0f, 0x18FFFFFF);
    }
}

// A rolling silhouette from x0 to x1 whose top follows a sum of sines.
void Hill(CCanvas& c, float x0, float x1, float baseY, float amplitude, float phase, uint32_t colour) {
    std::vector<SPointF> points;
    for (float x = x0; x <= x1; x += 8) {
        float t = (x - x0) / (x1 - x0);
        float y = baseY - amplitude * std::sin(t * kPi) * (0.8f + 0.2f * std::sin(x * 0.03f + phase));
        points.push_back({x, y});
    }
    points.push_back({x1, kH});
    points.push_back({x0, kH});
    c.FillPolygon(points, colour);
}

void Lighthouse(CCanvas& c, float x, float baseY, float height, bool lit, float shade) {
    const float bottomHalf = height * 0.13f, topHalf = height * 0.085f;
    const float topY = baseY - height;
    auto mixShade = [&](uint32_t colour) { return Mix(colour, 0xFF101828, shade); };
    c.FillPolygon({{x - bottomHalf, baseY}, {x + bottomHalf, baseY}, {x + topHalf, topY}, {x - topHalf, topY}},
                  mixShade(0xFFF2EEE4));
    // Red bands.
    for (int band = 0; band < 3; ++band) {
        float y0 = baseY - height * (0.22f + band * 0.27f), y1 = y0 - height * 0.1f;
        auto halfAt = [&](float y) { return bottomHalf + (topHalf - bottomHalf) * (baseY - y) / height; };
        c.FillPolygon({{x - halfAt(y0), y0}, {x + halfAt(y0), y0}, {x + halfAt(y1), y1}, {x - halfAt(y1), y1}},
                      mixShade(0xFFC8403A));
    }
    // Shadow side.
    c.FillPolygon({{x + bottomHalf * 0.35f, baseY}, {x + bottomHalf, baseY}, {x + topHalf, topY}, {x + topHalf * 0.35f, topY}},
                  0x30000000);
    // Gallery, lamp room and roof.
    c.FillRect(static_cast<int>(x - topHalf * 1.5f), static_cast<int>(topY - 4), static_cast<int>(x + topHalf * 1.5f),
               static_cast<int>(topY + 2), mixShade(0xFF303038));
    const float roomH = height * 0.09f;
    c.FillRect(static_cast<int>(x - topHalf * 0.9f), static_cast<int>(topY - 4 - roomH), static_cast<int>(x + topHalf * 0.9f),
               static_cast<int>(topY - 4), lit ? 0xFFFFE7A0 : mixShade(0xFF46566A));
    for (int i = -1; i <= 1; ++i)
        c.Line(x + i * topHalf * 0.45f, topY - 4 - roomH, x + i * topHalf * 0.45f, topY - 4, 1.5f, mixShade(0xFF303038));
    c.FillPolygon({{x - topHalf * 1.15f, topY - 4 - roomH}, {x + topHalf * 1.15f, topY - 4 - roomH}, {x, topY - 4 - roomH - height * 0.07f}},
                  mixShade(0xFF2A2A30));
    if (lit) {
        const float ly = topY - 4 - roomH * 0.5f;
        c.Glow(x, ly, height * 0.35f, 0xC0FFE9A0);
        c.FillPolygon({{x, ly - 4}, {x - 1000, ly - 150}, {x - 1000, ly + 110}, {x, ly + 4}}, 0x30FFF2C0);
        c.FillPolygon({{x, ly - 4}, {x + 1000, ly - 90}, {x + 1000, ly + 90}, {x, ly + 4}}, 0x22FFF2C0);
    }
}

void Houses(CCanvas& c, float x0, float x1, float baseY, uint32_t wall, uint32_t roof, float lit, uint32_t seed) {
    CRandom random(seed);
    for (float x = x0; x < x1;) {
        float w = random.Range(36, 70), h = random.Range(40, 90);
        c.FillRect(static_cast<int>(x), static_cast<int>(baseY - h), static_cast<int>(x + w), static_cast<int>(baseY), wall);
        c.FillPolygon({{x - 4, baseY - h}, {x + w + 4, baseY - h}, {x + w / 2, baseY - h - w * 0.45f}}, roof);
        for (float wy = baseY - h + 12; wy < baseY - 14; wy += 22)
            for (float wx = x + 8; wx < x + w - 12; wx += 18)
                if (random.Unit() < lit) {
                    c.FillRect(static_cast<int>(wx), static_cast<int>(wy), static_cast<int>(wx + 8), static_cast<int>(wy + 10), 0xFFFFD27A);
                    c.Glow(wx + 4, wy + 5, 14, 0x40FFC060);
                }
        x += w + random.Range(-6, 6);
    }
}

void Boat(CCanvas& c, float x, float y, float scale, uint32_t colour, bool lantern) {
    c.FillPolygon({{x - 40 * scale, y}, {x + 40 * scale, y}, {x + 28 * scale, y + 14 * scale}, {x - 30 * scale, y + 14 * scale}},
                  colour);
    c.Line(x, y, x, y - 60 * scale, 2 * scale, colour);
    c.FillPolygon({{x + 2 * scale, y - 58 * scale}, {x + 34 * scale, y - 8 * scale}, {x + 2 * scale, y - 8 * scale}},
                  Mix(colour, 0xFFFFFFFF, 0.55f));
    if (lantern) {
        c.Glow(x - 30 * scale, y - 6 * scale, 26 * scale, 0xD0FFC060);
        c.FillCircle(x - 30 * scale, y - 6 * scale, 3 * scale, 0xFFFFF0C0);
    }
}

void Arc(CCanvas& c, float cx, float cy, float rx, float ry, float a0, float a1, float width, uint32_t colour) {
    const int steps = 12;
    for (int i = 0; i < steps; ++i) {
        float t0 = a0 + (a1 - a0) * i / steps, t1 = a0 + (a1 - a0) * (i + 1) / steps;
        c.Line(cx + rx * std::cos(t0), cy + ry * std::sin(t0), cx + rx * std::cos(t1), cy + ry * std::sin(t1), width, colour);
    }
}

void Gear(CCanvas& c, float cx, float cy, float r, uint32_t colour) {
    for (int i = 0; i < 10; ++i) {
        float a = i * 2 * kPi / 10;
        float ca = std::cos(a), sa = std::sin(a), w = r * 0.18f;
        c.FillPolygon({{cx + ca * r * 0.9f - sa * w, cy + sa * r * 0.9f + ca * w},
                       {cx + ca * r * 1.25f - sa * w * 0.7f, cy + sa * r * 1.25f + ca * w * 0.7f},
                       {cx + ca * r * 1.25f + sa * w * 0.7f, cy + sa * r * 1.25f - ca * w * 0.7f},
                       {cx + ca * r * 0.9f + sa * w, cy + sa * r * 0.9f - ca * w}},
                      colour);
    }
    c.FillCircle(cx, cy, r, colour);
    c.FillCircle(cx, cy, r * 0.35f, 0xFF3A2A18);
    c.Glow(cx - r * 0.4f, cy - r * 0.4f, r * 0.8f, 0x60FFF8E0);
}

// ---------------------------------------------------------------------------------------------

CCanvas HarbourDusk() {
    CCanvas c(kW, kH, 0xFF000000);
    c.VerticalGradient(0, 0, kW, 250, 0xFF3B2A5A, 0xFFC8607A);
    c.VerticalGradient(0, 250, kW, 352, 0xFFC8607A, 0xFFF4A860);
    c.Glow(410, 345, 220, 0x90FFD080);
    c.FillCircle(410, 345, 34, 0xFFFFE2A0);
    for (int i = 0; i < 5; ++i)
        c.FillRoundRect(80 + i * 150.0f, 70 + (i % 2) * 40.0f, 230 + i * 150.0f, 84 + (i % 2) * 40.0f, 7, 0x50FFD0D0);
    Sea(c, 352, 0xFFB8607A, 0xFF2A2848, 0xFFFFE0A0, 410, 11);
    Hill(c, -40, 330, 360, 120, 0.4f, 0xFF3A2E48);
    Lighthouse(c, 150, 262, 170, false, 0.55f);
    Houses(c, 470, 820, 372, 0xFF4A3A58, 0xFF3A2A48, 0.45f, 5);
    Boat(c, 560, 400, 0.7f, 0xFF2A2238, false);
    // Pier in the foreground.
    c.FillPolygon({{0, 520}, {800, 470}, {800, 600}, {0, 600}}, 0xFF3A2A22);
    for (int i = 0; i < 14; ++i) c.Line(i * 60.0f, 600, i * 60.0f + 30, 470 + (520 - 470) * (1 - i / 14.0f), 2, 0xFF2A1E18);
    for (float x = 20; x < 800; x += 130) {
        c.FillRect(static_cast<int>(x), 430, static_cast<int>(x + 10), 505, 0xFF2A1E18);
        c.FillCircle(x + 5, 430, 6, 0xFF2A1E18);
    }
    return c;
}

CCanvas LighthouseNight(bool lit) {
    CCanvas c(kW, kH, 0xFF000000);
    c.VerticalGradient(0, 0, kW, 420, 0xFF070B1E, 0xFF1E2E58);
    Stars(c, 220, 380, 3);
    c.Glow(650, 110, 120, 0x70B0C8FF);
    c.FillCircle(650, 110, 30, 0xFFF0F2FF);
    c.FillCircle(662, 102, 27, 0xFF13204A);  // crescent
    Sea(c, 420, 0xFF1A2848, 0xFF0A1024, 0xFFB0C8FF, 650, 21);
    Hill(c, -60, 860, 560, 120, 1.2f, 0xFF101626);
    Lighthouse(c, 360, 500, 420, lit, 0.35f);
    c.FillPolygon({{300, 500}, {420, 500}, {440, 540}, {280, 540}}, 0xFF0E1420);
    return c;
}

CCanvas LampRoom(bool lit) {
    CCanvas c(kW, kH, 0xFF000000);
    c.VerticalGradient(0, 0, kW, kH, 0xFF2A2030, 0xFF141018);
    // Window arch with the night outside.
    c.FillRoundRect(214, 40, 586, 352, 150, 0xFF3A3040);
    c.FillRoundRect(220, 46, 580, 346, 145, 0xFF0E1838);
    for (int i = 0; i < 70; ++i) {
        float x = 230 + (i * 97) % 340 + 0.5f, y = 60 + (i * 53) % 270 + 0.5f;
        if (std::hypot(std::max(std::fabs(x - 400) - 35, 0.0f), std::max(std::fabs(y - 196) - 5, 0.0f)) < 140)
            c.FillCircle(x, y, 0.9f, 0xC0FFFFFF);
    }
    c.StrokeRoundRect(214, 40, 586, 352, 150, 10, 0xFF5A4A50);
    c.Line(400, 46, 400, 346, 6, 0xFF5A4A50);
    c.Line(220, 200, 580, 200, 6, 0xFF5A4A50);
    for (int x = 0; x < kW; x += 46) c.Line(x, 0, x, kH, 2, 0x30000000);
    // Floor.
    c.VerticalGradient(0, 470, kW, kH, 0xFF3A2A22, 0xFF20160F);
    // The lens.
    const uint32_t glass = lit ? 0xFFFFF0C0 : 0xFF7A9AB0;
    c.FillEllipse(400, 330, 120, 150, WithAlpha(glass, lit ? 235 : 150));
    for (int ring = 0; ring < 6; ++ring)
        c.FillEllipse(400, 330, 120 - ring * 18.0f, 150 - ring * 22.0f, WithAlpha(Mix(glass, 0xFFFFFFFF, 0.3f), 40));
    for (int ring = 0; ring < 6; ++ring)
        Arc(c, 400, 330, 120 - ring * 18.0f, 150 - ring * 22.0f, 0, 2 * kPi, 1.5f, WithAlpha(0xFFFFFFFF, lit ? 160 : 70));
    c.FillRect(330, 470, 470, 500, 0xFF6A5030);
    c.FillRect(300, 500, 500, 520, 0xFF4A3820);
    // Brass railing.
    c.Line(0, 455, 800, 455, 5, 0xFFB08A40);
    for (int x = 20; x < kW; x += 60) c.Line(x, 455, x, 520, 3, 0xFF8A6A30);
    if (lit) {
        c.Glow(400, 330, 420, 0x90FFD890);
        for (int i = 0; i < 8; ++i) {
            float a = i * kPi / 4 + 0.2f;
            c.Line(400, 330, 400 + std::cos(a) * 600, 330 + std::sin(a) * 600, 18, 0x18FFF0C0);
        }
    }
    return c;
}

CCanvas Market() {
    CCanvas c(kW, kH, 0xFF000000);
    c.VerticalGradient(0, 0, kW, 260, 0xFF6AA8D8, 0xFFF0D8A8);
    // Buildings behind the stalls.
    Houses(c, -20, 820, 300, 0xFFC8A888, 0xFF9A5A48, 0.0f, 9);
    c.FillRect(0, 300, kW, kH, 0xFF9A8068);
    // Cobblestones.
    CRandom random(4);
    for (int row = 0; row < 12; ++row)
        for (int i = 0; i < 30; ++i) {
            float y = 420 + row * 16.0f + random.Range(-2, 2);
            float x = i * 30.0f + (row % 2) * 15 + random.Range(-3, 3);
            c.FillEllipse(x, y, 13, 6, WithAlpha(Mix(0xFFB09880, 0xFF806A58, random.Unit()), 255));
        }
    // Stalls with striped awnings.
    const uint32_t stripes[4][2] = {{0xFFD04A40, 0xFFF4EEE0}, {0xFF3A8A5A, 0xFFF4EEE0}, {0xFF3A5A9A, 0xFFF4E8C0}, {0xFFD89A30, 0xFFF4EEE0}};
    for (int s = 0; s < 4; ++s) {
        float x0 = 10 + s * 200.0f, x1 = x0 + 180;
        c.FillRect(static_cast<int>(x0 + 10), 250, static_cast<int>(x0 + 16), 420, 0xFF5A4030);
        c.FillRect(static_cast<int>(x1 - 16), 250, static_cast<int>(x1 - 10), 420, 0xFF5A4030);
        for (int k = 0; k < 6; ++k)
            c.FillPolygon({{x0 + k * 30.0f, 230}, {x0 + (k + 1) * 30.0f, 230}, {x0 + (k + 1) * 30.0f + 6, 285}, {x0 + k * 30.0f + 6, 285}},
                          stripes[s][k % 2]);
        for (int k = 0; k < 6; ++k) c.FillCircle(x0 + k * 30.0f + 21, 286, 15, stripes[s][k % 2]);
        c.FillRect(static_cast<int>(x0), 360, static_cast<int>(x1), 420, 0xFF7A5A40);
        c.FillRect(static_cast<int>(x0), 360, static_cast<int>(x1), 366, 0xFF9A7A58);
        for (int k = 0; k < 9; ++k) {
            uint32_t fruit = s == 0 ? 0xFFE04A30 : s == 1 ? 0xFF9AD050 : s == 2 ? 0xFFB8C8E0 : 0xFFF0B040;
            c.FillCircle(x0 + 20 + k * 18.0f, 350 - (k % 2) * 6.0f, 9, fruit);
            c.FillCircle(x0 + 17 + k * 18.0f, 347 - (k % 2) * 6.0f, 3, 0x60FFFFFF);
        }
    }
    // Lantern string.
    for (int i = 0; i < 9; ++i) {
        float x = 40 + i * 92.0f, y = 150 + 20 * std::sin(i * 0.9f);
        if (i < 8) c.Line(x, y, x + 92, 150 + 20 * std::sin((i + 1) * 0.9f), 1.5f, 0xFF4A3A30);
        c.Glow(x, y + 14, 36, 0x70FFB060);
        c.FillEllipse(x, y + 14, 9, 12, 0xFFF07A40);
    }
    return c;
}

CCanvas DawnShore() {
    CCanvas c(kW, kH, 0xFF000000);
    c.VerticalGradient(0, 0, kW, 200, 0xFF5A78B8, 0xFFE8A8B8);
    c.VerticalGradient(0, 200, kW, 330, 0xFFE8A8B8, 0xFFFFD8A0);
    c.Glow(260, 330, 260, 0xA0FFE8B0);
    c.FillCircle(260, 334, 40, 0xFFFFF4D0);
    Sea(c, 330, 0xFFE8B0A0, 0xFF5A7AA8, 0xFFFFF4D0, 260, 31);
    Lighthouse(c, 690, 318, 110, false, 0.3f);  // the Normal End: the lamp was never lit
    // Sand and the foam line.
    c.FillPolygon({{0, 500}, {300, 470}, {800, 490}, {800, 600}, {0, 600}}, 0xFFE8D0A8);
    for (int i = 0; i < 3; ++i)
        c.Line(0, 497.0f - i * 2, 800, 487.0f - i * 2, 2, 0x80FFFFFF);
    CRandom random(8);
    for (int i = 0; i < 200; ++i) c.FillCircle(random.Range(0, kW), random.Range(505, kH), 1.0f, 0x40806040);
    return c;
}

// ---------------------------------------------------------------------------------------------
// Characters

struct SLook {
    uint32_t hair, hairShade, skin, eyes, coat, coatShade, accent;
    bool ponytail, glasses;
    float headY;
};

CCanvas Figure(const SLook& look, EExpression expression) {
    CCanvas c(360, 560, 0);
    const float cx = 180, hy = look.headY;
    // Back hair.
    c.FillEllipse(cx, hy - 4, 84, 92, look.hairShade);
    if (look.ponytail)
        c.FillPolygon({{cx + 40, hy - 70}, {cx + 110, hy - 40}, {cx + 128, hy + 60}, {cx + 100, hy + 150}, {cx + 80, hy + 40}}, look.hairShade);
    else
        c.FillPolygon({{cx - 84, hy}, {cx + 84, hy}, {cx + 78, hy + 110}, {cx - 78, hy + 110}}, look.hairShade);
    // Body: coat, collar, accent.
    c.FillPolygon({{cx - 96, hy + 120}, {cx + 96, hy + 120}, {cx + 130, 560}, {cx - 130, 560}}, look.coat);
    c.FillPolygon({{cx + 20, hy + 120}, {cx + 96, hy + 120}, {cx + 130, 560}, {cx + 50, 560}}, look.coatShade);
    c.FillRoundRect(cx - 112, hy + 110, cx - 72, 480, 20, look.coatShade);  // arms
    c.FillRoundRect(cx + 72, hy + 110, cx + 112, 480, 20, look.coatShade);
    c.FillEllipse(cx - 92, 486, 16, 14, look.skin);
    c.FillEllipse(cx + 92, 486, 16, 14, look.skin);
    c.FillRect(static_cast<int>(cx - 18), static_cast<int>(hy + 50), static_cast<int>(cx + 18), static_cast<int>(hy + 128), look.skin);
    c.FillPolygon({{cx - 40, hy + 112}, {cx + 40, hy + 112}, {cx, hy + 170}}, 0xFFF4F0EA);
    if (look.ponytail) {
        c.FillRoundRect(cx - 58, hy + 100, cx + 58, hy + 132, 14, look.accent);  // scarf
        c.FillPolygon({{cx + 20, hy + 120}, {cx + 50, hy + 120}, {cx + 62, hy + 230}, {cx + 34, hy + 226}}, look.accent);
    } else {
        c.FillPolygon({{cx - 16, hy + 118}, {cx + 16, hy + 118}, {cx, hy + 150}}, look.accent);  // cravat
        for (int b = 0; b < 4; ++b) c.FillCircle(cx + 28, hy + 200 + b * 60.0f, 6, 0xFFD8B060);
    }
    // Face.
    c.FillEllipse(cx, hy + 6, 62, 72, look.skin);
    c.FillEllipse(cx - 36, hy + 34, 12, 6, 0x50FF7A7A);
    c.FillEllipse(cx + 36, hy + 34, 12, 6, 0x50FF7A7A);
    // Eyes.
    for (int side = -1; side <= 1; side += 2) {
        const float ex = cx + side * 26.0f, ey = hy + 12;
        if (expression == EExpression::Smile) {
            Arc(c, ex, ey + 4, 11, 8, kPi * 1.05f, kPi * 1.95f, 3, 0xFF3A2A2A);
        } else {
            c.FillEllipse(ex, ey, 10, 13, 0xFFFFFFFF);
            c.FillEllipse(ex, ey + 2, 8, 11, look.eyes);
            c.FillEllipse(ex, ey + 3, 4, 6, 0xFF1A1420);
            c.FillCircle(ex - 3, ey - 3, 2.6f, 0xFFFFFFFF);
            c.Line(ex - 12, ey - 12, ex + 11, ey - 13, 3, 0xFF2A1E1E);
        }
        const float browTilt = expression == EExpression::Worried ? 5.0f * side : -1.0f * side;
        c.Line(ex - 10, ey - 24 - browTilt, ex + 10, ey - 24 + browTilt, 2.5f, look.hairShade);
        if (look.glasses) c.StrokeRoundRect(ex - 16, ey - 14, ex + 16, ey + 15, 10, 2, 0xFF404858);
    }
    if (look.glasses) c.Line(cx - 10, hy + 10, cx + 10, hy + 10, 2, 0xFF404858);
    // Mouth.
    if (expression == EExpression::Smile)
        c.FillPolygon({{cx - 12, hy + 44}, {cx + 12, hy + 44}, {cx + 6, hy + 54}, {cx - 6, hy + 54}}, 0xFFB04050);
    else if (expression == EExpression::Worried)
        Arc(c, cx, hy + 54, 9, 5, kPi * 1.1f, kPi * 1.9f, 2.5f, 0xFF8A3A40);
    else
        c.Line(cx - 8, hy + 47, cx + 8, hy + 47, 2.5f, 0xFF8A3A40);
    // Bangs.
    std::vector<SPointF> bangs = {{cx - 70, hy + 10}, {cx - 72, hy - 50}, {cx - 30, hy - 86}, {cx + 30, hy - 86},
                                  {cx + 72, hy - 50}, {cx + 70, hy + 10}};
    for (int k = 5; k >= -5; --k) {
        bangs.push_back({cx + k * 12.0f + 6, hy - 40 + (k % 2 ? 8.0f : 24.0f)});
        bangs.push_back({cx + k * 12.0f, hy - 24 + (k % 2 ? 24.0f : 4.0f)});
    }
    c.FillPolygon(bangs, look.hair);
    c.Glow(cx - 30, hy - 60, 30, 0x40FFFFFF);
    return c;
}

}  // namespace

CCanvas PaintScene(EScene scene) {
    switch (scene) {
        case EScene::HarbourDusk: return HarbourDusk();
        case EScene::LighthouseNight: return LighthouseNight(false);
        case EScene::LighthouseLit: return LighthouseNight(true);
        case EScene::LampRoom: return LampRoom(false);
        case EScene::Market: return Market();
        case EScene::DawnShore: return DawnShore();
        case EScene::TitleDusk: return HarbourDusk();
        case EScene::TitleNight: return LighthouseNight(true);
    }
    return CCanvas(kW, kH, 0xFF000000);
}

CCanvas PaintCharacter(ECharacter who, EExpression expression) {
    if (who == ECharacter::Akari)
        return Figure({0xFF9A5530, 0xFF6A3820, 0xFFF8DCC8, 0xFFB06A2A, 0xFFE0A848, 0xFFC08A30, 0xFFD03A3A, true, false, 150},
                      expression);
    return Figure({0xFFD0D0E8, 0xFF9A9AB8, 0xFFF2DACA, 0xFF2A8A9A, 0xFF2C3E60, 0xFF22304C, 0xFF8A2A3A, false, true, 138},
                  expression);
}

CCanvas PaintEventPicture(int number) {
    switch (number) {
        case 1: {
            CCanvas c = HarbourDusk();
            c.Glow(300, 300, 300, 0x50FFC080);
            CCanvas akari = PaintCharacter(ECharacter::Akari, EExpression::Smile);
            c.DrawScaled(akari, 150, 60, 150 + 468, 60 + 728);
            return c;
        }
        case 2: {
            CCanvas c = Market();
            c.FillRect(0, 0, kW, kH, 0x30000000);
            CCanvas shion = PaintCharacter(ECharacter::Shion, EExpression::Normal);
            c.DrawScaled(shion, 300, 40, 300 + 432, 40 + 672);
            Gear(c, 260, 420, 70, 0xFFD8A848);
            return c;
        }
        case 3:
        case 4: {
            const bool lit = number == 4;
            CCanvas c = LampRoom(lit);
            CCanvas akari = PaintCharacter(ECharacter::Akari, lit ? EExpression::Smile : EExpression::Worried);
            CCanvas shion = PaintCharacter(ECharacter::Shion, EExpression::Normal);
            c.DrawScaled(akari, 0, 250, 216, 586, lit ? 1.0f : 0.75f);
            c.DrawScaled(shion, 590, 240, 806, 576, lit ? 1.0f : 0.75f);
            if (!lit) c.FillRect(0, 0, kW, kH, 0x60000010);
            return c;
        }
        case 5: {
            CCanvas c = LighthouseNight(true);
            for (int i = 0; i < 5; ++i) Boat(c, 480 + i * 70.0f, 440 + (i % 2) * 26.0f, 0.5f + i * 0.06f, 0xFF182030, true);
            return c;
        }
        default: {
            CCanvas c = DawnShore();
            CCanvas akari = PaintCharacter(ECharacter::Akari, EExpression::Smile);
            CCanvas shion = PaintCharacter(ECharacter::Shion, EExpression::Smile);
            c.DrawScaled(akari, 330, 380, 402, 492);
            c.DrawScaled(shion, 400, 372, 474, 487);
            return c;
        }
    }
}

CCanvas PaintLeverChoice(bool bright) {
    CCanvas c = LampRoom(false);
    c.FillRect(0, 0, kW, kH, bright ? 0x30000000 : 0x70000000);
    static const char* const kNames[2] = {"左のレバー", "右のレバー"};
    for (int side = 0; side < 2; ++side) {
        const float x0 = side ? 470.0f : 90.0f, x1 = x0 + 240;
        c.FillRoundRect(x0, 180, x1, 470, 16, 0xC0101828);
        c.StrokeRoundRect(x0, 180, x1, 470, 16, 3, bright ? 0xFFFFE08A : 0xFFC8A860);
        const float cx = (x0 + x1) / 2;
        c.FillRoundRect(cx - 50, 390, cx + 50, 420, 6, 0xFF6A5030);
        c.Line(cx, 400, cx + (side ? 40.0f : -40.0f), 250, 12, 0xFF8A7A60);
        c.FillCircle(cx + (side ? 40.0f : -40.0f), 246, 20, 0xFFC84A3A);
        if (bright) c.Glow(cx + (side ? 40.0f : -40.0f), 246, 50, 0x60FFE0A0);
        STextStyle label;
        label.height = 24;
        label.colour = 0xFFFFF2D0;
        label.outline = 2;
        label.outlineColour = 0xC0000000;
        c.TextCentered(static_cast<int>(x0), 425, static_cast<int>(x1), 465, kNames[side], label);
    }
    // The grandfather's notebook between the levers (a click area of its own).
    c.FillRoundRect(350, 490, 450, 560, 6, 0xFF5A3A22);
    c.StrokeRoundRect(350, 490, 450, 560, 6, 2, bright ? 0xFFFFE08A : 0xFFC8A860);
    STextStyle note;
    note.height = 18;
    note.colour = 0xFFFFF2D0;
    c.TextCentered(350, 490, 450, 560, "手帳", note);
    STextStyle question;
    question.height = 28;
    question.outline = 2;
    question.outlineColour = 0xC0000000;
    c.TextCentered(0, 60, kW, 110, "どちらのレバーを引く？", question);
    question.height = 18;
    c.TextCentered(0, 110, kW, 140, "（クリックで選んでください）", question);
    return c;
}

CCanvas PaintCard(const std::vector<std::string>& lines) {
    CCanvas c(kW, kH, 0xFF000000);
    c.Glow(400, 300, 300, 0x20A0B8FF);
    STextStyle style;
    style.face = "ＭＳ Ｐ明朝";
    style.height = 32;
    style.colour = 0xFFF4F0DC;
    const int lineHeight = 56;
    const int top = 300 - static_cast<int>(lines.size()) * lineHeight / 2;
    for (size_t i = 0; i < lines.size(); ++i)
        c.TextCentered(0, top + static_cast<int>(i) * lineHeight, kW, top + static_cast<int>(i + 1) * lineHeight, lines[i], style);
    return c;
}

CCanvas PaintLampGlow() {
    CCanvas c(kW, kH, 0);
    c.Glow(400, 300, 460, 0xB0FFC070);
    c.Glow(400, 300, 160, 0xC0FFF0C0);
    return c;
}

CCanvas PaintNightTint() {
    CCanvas c(kW, kH, 0xFF5A6A9A);
    c.VerticalGradient(0, 0, kW, kH, 0xFF4A5A8A, 0xFF7080B0);
    return c;
}

CCanvas PaintLensFlare() {
    CCanvas c(kW, kH, 0xFF000000);
    c.Glow(400, 330, 300, 0xFF604830);
    for (int i = 1; i <= 3; ++i) Arc(c, 400, 330, 90.0f * i, 90.0f * i, 0, 2 * kPi, 3, 0xFF403020);
    return c;
}
