#include "tools/make_sample_game/screens.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "tools/make_sample_game/scenes.h"

namespace {

constexpr int kW = 800;
constexpr int kH = 600;
const char* const kGothic = "ＭＳ Ｐゴシック";
const char* const kMincho = "ＭＳ Ｐ明朝";

enum class ELook { Disabled, Normal, Hover, Current };

struct SRectI {
    int x0, y0, x1, y1;
};

STextStyle Label(int height, uint32_t colour = 0xFFFFFFFF, const char* face = kGothic) {
    STextStyle s;
    s.face = face;
    s.height = height;
    s.colour = colour;
    s.shadow = 1;
    s.shadowColour = 0x90000000;
    return s;
}

// A button face filling the cell, in one of its looks.
void ButtonFace(CCanvas& c, SRectI r, const std::string& text, ELook look, int textHeight, float radius = 6) {
    uint32_t fill, border, ink;
    switch (look) {
        case ELook::Disabled: fill = 0x90202634, border = 0x90505868, ink = 0xFF6A7080; break;
        case ELook::Normal: fill = 0xD0182A46, border = 0xFF8FA8C8, ink = 0xFFFFFFFF; break;
        case ELook::Hover: fill = 0xF02C5A8C, border = 0xFFFFE08A, ink = 0xFFFFF6C8; break;
        default: fill = 0xF09A7428, border = 0xFFFFECB0, ink = 0xFFFFFFFF; break;
    }
    const float x0 = r.x0 + 1.5f, y0 = r.y0 + 1.5f, x1 = r.x1 - 1.5f, y1 = r.y1 - 1.5f;
    c.FillRoundRect(x0, y0, x1, y1, radius, fill);
    c.FillRoundRect(x0 + 2, y0 + 2, x1 - 2, (y0 + y1) / 2, radius - 1, 0x18FFFFFF);
    c.StrokeRoundRect(x0, y0, x1, y1, radius, 1.5f, border);
    if (!text.empty()) c.TextCentered(r.x0 + 3, r.y0, r.x1 - 3, r.y1, text, Label(textHeight, ink));
}

// A frame like the windows of the game: dark blue glass with a gold rim.
void Panel(CCanvas& c, float x0, float y0, float x1, float y1, uint32_t alpha = 0xD8) {
    c.FillRoundRect(x0, y0, x1, y1, 12, WithAlpha(0xFF101C32, alpha));
    c.StrokeRoundRect(x0, y0, x1, y1, 12, 2, 0xFFC8A860);
    c.StrokeRoundRect(x0 + 4, y0 + 4, x1 - 4, y1 - 4, 9, 1, 0x60C8D8F0);
}

void Title(CCanvas& c, int x, int y, const std::string& english, const std::string& japanese) {
    STextStyle big = Label(40, 0xFFFFF2D0, kMincho);
    big.outline = 2;
    big.outlineColour = 0xC0201810;
    int w = c.Text(x, y, english, big);
    c.Text(x + w + 16, y + 16, japanese, Label(20, 0xFFE8D8B0));
    c.Line(static_cast<float>(x), y + 45.0f, x + 320.0f, y + 45.0f, 2, 0xC0C8A860);
}

CCanvas Darkened(EScene scene, uint32_t shade) {
    CCanvas c = PaintScene(scene);
    c.FillRect(0, 0, kW, kH, shade);
    return c;
}

// Small level meter for the ten volume and wait steps.
void LevelCell(CCanvas& c, SRectI r, int step, ELook look) {
    ButtonFace(c, r, "", look, 10, 4);
    const float h = 4 + step * 1.8f;
    c.FillRect(r.x0 + 9, static_cast<int>(r.y1 - 5 - h), r.x1 - 9, r.y1 - 5, look == ELook::Current ? 0xFFFFFFFF : 0xFFB8D0F0);
}

// ---------------------------------------------------------------------------------------------

CCanvas Maker() {
    CCanvas c(kW, kH, 0xFF000000);
    c.Glow(400, 230, 180, 0x60A0B8FF);
    c.FillCircle(400, 230, 70, 0xFFF4F0DC);
    c.FillCircle(430, 210, 64, 0xFF000000);
    c.Glow(380, 260, 60, 0x30FFFFFF);
    STextStyle name = Label(56, 0xFFF4F0DC, kMincho);
    c.TextCentered(0, 330, kW, 400, "月灯ソフト", name);
    c.TextCentered(0, 400, kW, 430, "T S U K I A K A R I   S O F T", Label(18, 0xFF9AA8C0));
    return c;
}

CCanvas TitleBackground(EScene scene, bool menuPanel = true) {
    CCanvas c = PaintScene(scene);
    c.HorizontalGradient(0, 0, 470, kH, 0x70000010, 0x00000010);
    STextStyle logo = Label(84, 0xFFFFF4DC, kMincho);
    logo.outline = 3;
    logo.outlineColour = 0xC0302038;
    logo.shadow = 4;
    c.Glow(200, 110, 220, 0x40FFE0A0);
    c.Text(40, 40, "Velkora", logo);
    STextStyle sub = Label(34, 0xFFF8E8C0, kMincho);
    sub.outline = 2;
    sub.outlineColour = 0xC0302038;
    c.Text(70, 140, "～Sarnith～", sub);
    c.Text(74, 192, "サーニスの灯台", Label(22, 0xFFE8E0D0));
    if (menuPanel) c.FillRoundRect(531, 232, 812, 556, 14, 0x70081020);
    c.Text(20, 572, "(C) 月灯ソフト　Sample Game", Label(14, 0xC0E0E0E8));
    return c;
}

CCanvas TitleButtons() {
    static const char* const kLabels[6] = {"はじめから", "ロード", "つづきから", "コンフィグ", "エクストラ", "ゲーム終了"};
    CCanvas c(737, 300, 0);
    for (int i = 0; i < 6; ++i) {
        const int y = 50 * i;
        ButtonFace(c, {4, y + 6, 235, y + 44}, kLabels[i], ELook::Disabled, 22);
        ButtonFace(c, {243, y + 6, 474, y + 44}, kLabels[i], ELook::Normal, 22);
        ButtonFace(c, {482, y + 4, 737, y + 46}, "", ELook::Hover, 22);
        c.FillPolygon({{494, y + 17.0f}, {506, y + 25.0f}, {494, y + 33.0f}}, 0xFFFFE08A);
        c.TextCentered(502, y + 4, 737, y + 46, kLabels[i], Label(24, 0xFFFFF6C8));
    }
    return c;
}

CCanvas ExtraBackground() {
    CCanvas c = Darkened(EScene::TitleNight, 0x90000010);
    Title(c, 40, 30, "EXTRA", "エクストラ");
    Panel(c, 238, 190, 458, 430);
    return c;
}

CCanvas ExtraButtons() {
    static const char* const kLabels[4] = {"CG鑑賞", "ムービー鑑賞", "BGM鑑賞", "戻る"};
    CCanvas c(360, 200, 0);
    for (int i = 0; i < 4; ++i) {
        ButtonFace(c, {4, 50 * i + 6, 176, 50 * i + 44}, kLabels[i], ELook::Normal, 20);
        ButtonFace(c, {184, 50 * i + 6, 356, 50 * i + 44}, kLabels[i], ELook::Hover, 20);
    }
    return c;
}

CCanvas MenuBackground() {
    CCanvas c(kW, kH, 0x90000008);
    Panel(c, 290, 20, 510, 275, 0xE8);
    c.TextCentered(290, 26, 510, 66, "MENU", Label(26, 0xFFFFF2D0, kMincho));
    return c;
}

CCanvas MenuButtons() {
    static const char* const kLabels[6] = {"セーブ", "ロード", "コンフィグ", "タイトルへ戻る", "ゲームに戻る", "ゲーム終了"};
    CCanvas c(360, 180, 0);
    for (int k = 0; k < 6; ++k) {
        ButtonFace(c, {2, 30 * k + 1, 158, 30 * k + 29}, kLabels[k], ELook::Normal, 18);
        ButtonFace(c, {162, 30 * k + 1, 358, 30 * k + 29}, kLabels[k], ELook::Hover, 18);
    }
    return c;
}

CCanvas YesNoBackground() {
    CCanvas c(kW, kH, 0x80000008);
    Panel(c, 250, 150, 550, 275, 0xF0);
    return c;
}

CCanvas YesNoButtons() {
    CCanvas c(325, 120, 0);
    ButtonFace(c, {2, 1, 118, 29}, "はい", ELook::Normal, 18);
    ButtonFace(c, {2, 31, 118, 59}, "はい", ELook::Hover, 18);
    ButtonFace(c, {2, 61, 118, 89}, "いいえ", ELook::Normal, 18);
    ButtonFace(c, {2, 91, 118, 119}, "いいえ", ELook::Hover, 18);
    c.TextCentered(120, 20, 302, 40, "タイトルに戻りますか？", Label(17));
    c.TextCentered(120, 40, 307, 60, "ゲームを終了しますか？", Label(17));
    c.TextCentered(120, 80, 325, 100, "上書きしてもよろしいですか？", Label(17));
    return c;
}

CCanvas SaveLoadBackground(bool save) {
    CCanvas c(kW, kH, 0xFF000000);
    c.VerticalGradient(0, 0, kW, kH, save ? 0xFF16243C : 0xFF1C2238, save ? 0xFF0A101C : 0xFF0E0A1C);
    for (int i = 0; i < 12; ++i) c.Glow(60 + i * 70.0f, 580 - (i % 3) * 12.0f, 90, 0x10FFD090);
    Title(c, 20, 0, save ? "SAVE" : "LOAD", save ? "セーブ" : "ロード");
    c.FillRoundRect(10, 540, 790, 590, 10, 0x60000000);
    return c;
}

CCanvas SaveLoadButtons() {
    CCanvas c(429, 359, 0);
    static const ELook kRows[3] = {ELook::Normal, ELook::Hover, ELook::Current};
    for (int k = 0; k <= 10; ++k)
        for (int row = 0; row < 3; ++row)
            ButtonFace(c, {39 * k, 29 * row, 39 * k + 39, 29 * row + 29}, k == 10 ? "A/Q" : std::to_string(k + 1), kRows[row], 14, 5);
    ButtonFace(c, {0, 87, 143, 120}, "ロード画面へ", ELook::Normal, 16);
    ButtonFace(c, {0, 120, 143, 153}, "ロード画面へ", ELook::Hover, 16);
    ButtonFace(c, {143, 87, 286, 120}, "セーブ画面へ", ELook::Normal, 16);
    ButtonFace(c, {143, 120, 286, 153}, "セーブ画面へ", ELook::Hover, 16);
    ButtonFace(c, {286, 87, 429, 120}, "閉じる", ELook::Normal, 16);
    ButtonFace(c, {286, 120, 429, 153}, "閉じる", ELook::Hover, 16);
    // Slot frame, empty picture, labels, digits and the newest badge.
    // The frame is light so that the captions, drawn dark grey over it, read well. The screen
    // puts the thumbnail at +(18, 11)-(118, 86), the newest badge and the number on the header
    // band (y 13-31) and the caption's two lines in +(122, 33)-(362, 83): the art leaves
    // that block plain, with its rule above it and clear of the thumbnail's mount.
    constexpr int kTop = 186;
    c.FillRoundRect(1, kTop + 1, 377, kTop + 97, 8, 0xFFF4EEDC);
    c.VerticalGradient(4, kTop + 4, 374, kTop + 31, 0xFFFFFFFF, 0xFFF4EEDC);
    c.FillRect(15, kTop + 8, 120, kTop + 90, 0xFF2A2A34);
    c.StrokeRoundRect(1, kTop + 1, 377, kTop + 97, 8, 2, 0xFFC8A860);
    c.Line(124, kTop + 30, 368, kTop + 30, 1, 0x60A08850);
    c.FillRect(0, 284, 100, 359, 0xFF101826);
    c.TextCentered(0, 284, 100, 359, "NO DATA", Label(14, 0xFF6A7890));
    STextStyle dark = Label(12, 0xFF5A4A2A);
    dark.shadow = 0;
    c.TextCentered(100, 287, 132, 302, "No.", dark);
    dark.height = 14;
    for (int d = 0; d < 10; ++d) c.TextCentered(100 + 12 * d, 302, 112 + 12 * d, 318, std::to_string(d), dark);
    dark.height = 12;
    dark.colour = 0xFF2A6AA0;
    c.TextCentered(132, 287, 180, 302, "AUTO", dark);
    dark.colour = 0xFFB05A20;
    c.TextCentered(180, 284, 252, 302, "QUICK", dark);
    c.FillRoundRect(253, 285, 302, 299, 6, 0xFFD04A40);
    c.TextCentered(252, 284, 303, 300, "NEW", Label(11, 0xFFFFFFFF));
    return c;
}

CCanvas ConfigBackground() {
    CCanvas c(kW, kH, 0xFF000000);
    c.VerticalGradient(0, 0, kW, kH, 0xFF182238, 0xFF0A0E18);
    Title(c, 20, 0, "CONFIG", "コンフィグ");
    struct SRow {
        int y0, y1;
        const char* label;
    };
    static const SRow kRows[] = {{52, 81, "画面モード"},   {82, 111, "画面効果"},   {143, 171, "文字速度"},
                                 {174, 202, "オート速度"}, {204, 233, "スキップ"},  {263, 292, "右クリック"},
                                 {324, 352, "ウィンドウ濃度"}, {353, 382, "文字装飾"}, {414, 442, "BGM"},
                                 {444, 472, "効果音"},     {474, 502, "音声"}};
    for (const SRow& row : kRows) {
        c.FillRoundRect(24, row.y0 + 1.0f, 172, row.y1 - 1.0f, 5, 0x50000000);
        c.TextCentered(24, row.y0, 172, row.y1, row.label, Label(16, 0xFFE8E0C8));
    }
    for (int y : {125, 250, 310, 400, 520}) c.Line(24, static_cast<float>(y), 776, static_cast<float>(y), 1, 0x40C8A860);
    c.TextCentered(640, 353, 706, 382, "書体", Label(16, 0xFFE8E0C8));
    c.TextCentered(600, 143, 776, 171, "遅い ← → 速い", Label(13, 0xFF8A98B0));
    c.TextCentered(600, 174, 776, 202, "短い ← → 長い", Label(13, 0xFF8A98B0));
    return c;
}

CCanvas ConfigButtons() {
    CCanvas c(776, 333, 0);
    static const ELook kLooks[3] = {ELook::Normal, ELook::Hover, ELook::Current};
    auto three = [&](int x0, int x1, int y0, int rowHeight, const std::string& label, int textHeight) {
        for (int look = 0; look < 3; ++look)
            ButtonFace(c, {x0, y0 + look * rowHeight, x1, y0 + (look + 1) * rowHeight}, label, kLooks[look], textHeight);
    };
    three(0, 140, 0, 30, "ウィンドウ", 16);
    three(140, 280, 0, 30, "フルスクリーン", 16);
    three(280, 420, 0, 30, "あり", 16);
    three(420, 560, 0, 30, "なし", 16);
    three(560, 630, 0, 30, "影", 15);
    three(630, 700, 0, 30, "縁取り", 15);
    three(700, 770, 0, 30, "なし", 15);
    static const char* const kSpeeds[4] = {"遅", "普", "速", "瞬"};
    for (int k = 0; k < 4; ++k) three(39 * k, 39 * k + 39, 90, 29, kSpeeds[k], 14);
    static const char* const kOpacity[5] = {"0", "25", "50", "75", "100"};
    for (int k = 0; k < 5; ++k) three(156 + 39 * k, 195 + 39 * k, 90, 29, kOpacity[k], 13);
    for (int look : {0, 1, 2}) {
        ButtonFace(c, {351, 90 + 29 * look, 380, 119 + 29 * look}, "←", look == 0 ? ELook::Normal : ELook::Hover, 13);
        ButtonFace(c, {380, 90 + 29 * look, 409, 119 + 29 * look}, "→", look == 0 ? ELook::Normal : ELook::Hover, 13);
    }
    three(409, 438, 90, 29, "ON", 11);
    three(438, 467, 90, 29, "OFF", 10);
    for (int k = 0; k < 10; ++k)
        for (int look = 0; look < 3; ++look)
            LevelCell(c, {467 + 29 * k, 90 + 29 * look, 496 + 29 * k, 119 + 29 * look}, k, kLooks[look]);
    three(0, 140, 177, 30, "既読のみ", 16);
    three(140, 280, 177, 30, "すべて", 16);
    three(280, 440, 177, 30, "メニューを開く", 16);
    three(440, 600, 177, 30, "ウィンドウを消す", 16);
    for (int look = 0; look < 2; ++look) {
        ButtonFace(c, {143, 267 + 33 * look, 286, 300 + 33 * look}, "タイトルへ", kLooks[look], 17);
        ButtonFace(c, {286, 267 + 33 * look, 429, 300 + 33 * look}, "ゲームに戻る", kLooks[look], 17);
        ButtonFace(c, {429, 267 + 33 * look, 572, 300 + 33 * look}, "ゲーム終了", kLooks[look], 17);
    }
    // The opacity sample: a patch of the message window.
    c.FillRoundRect(572, 267, 776, 309, 8, 0xFF142440);
    c.VerticalGradient(574, 269, 774, 288, 0x40FFFFFF, 0x00FFFFFF);
    c.StrokeRoundRect(572, 267, 776, 309, 8, 1.5f, 0xFFC8A860);
    return c;
}

CCanvas TextWindowButtons() {
    CCanvas c(283, 170, 0);
    struct SBar {
        int x0, x1;
        const char* label;
        bool mode;
    };
    static const SBar kBar[5] = {{0, 47, "SKIP", true}, {47, 106, "AUTO", true}, {106, 163, "LOG", false},
                                 {163, 224, "VOICE", false}, {224, 283, "MENU", false}};
    static const ELook kRows[4] = {ELook::Disabled, ELook::Normal, ELook::Hover, ELook::Current};
    for (const SBar& b : kBar)
        for (int row = 0; row < (b.mode ? 4 : 3); ++row) ButtonFace(c, {b.x0, 20 * row, b.x1, 20 * row + 20}, b.label, kRows[row], 12, 5);
    for (int row = 0; row < 3; ++row) {
        ButtonFace(c, {0, 80 + 22 * row, 79, 102 + 22 * row}, "Q.LOAD", kRows[row], 12, 5);
        ButtonFace(c, {79, 80 + 22 * row, 158, 102 + 22 * row}, "Q.SAVE", kRows[row], 12, 5);
        ButtonFace(c, {158 + 23 * row, 136, 181 + 23 * row, 159}, "×", kRows[row], 13, 5);
    }
    // The click-wait cursor: a feather-light triangle bobbing over ten frames.
    for (int f = 0; f < 10; ++f) {
        const float x = 158.0f + 21 * (f % 5), y = f < 5 ? 80.0f : 108.0f;
        const float bob = 4 * std::sin(f * 2 * 3.14159265f / 10);
        c.Glow(x + 10.5f, y + 14 + bob, 10, 0x80FFE8A0);
        c.FillPolygon({{x + 4, y + 9 + bob}, {x + 17, y + 9 + bob}, {x + 10.5f, y + 20 + bob}}, 0xFFFFF0C0);
    }
    c.HorizontalGradient(0, 168, 167, 170, 0xFFFFE08A, 0x00FFE08A);
    return c;
}

CCanvas Backlog() {
    CCanvas c(kW, 744, 0);
    c.FillRect(0, 0, kW, kH, 0xE8060C18);
    STextStyle title = Label(28, 0xFFFFF2D0, kMincho);
    c.Text(24, 8, "BACKLOG", title);
    for (int k = 0; k < 5; ++k) {
        c.FillRoundRect(46, 44 + 100.0f * k, 684, 142 + 100.0f * k, 8, 0x30FFFFFF);
        c.StrokeRoundRect(46, 44 + 100.0f * k, 684, 142 + 100.0f * k, 8, 1, 0x40C8A860);
    }
    // Scroll buttons: older page, older line, newer line, newer page.
    static const int kArrows[4] = {2, 1, -1, -2};
    for (int b = 0; b < 4; ++b)
        for (int look = 0; look < 2; ++look) {
            const int x0 = 72 * b, y0 = 600 + 72 * look;
            ButtonFace(c, {x0 + 2, y0 + 2, x0 + 70, y0 + 70}, "", look ? ELook::Hover : ELook::Normal, 10, 10);
            const float dir = kArrows[b] > 0 ? -1.0f : 1.0f;
            const int count = std::abs(kArrows[b]);
            for (int n = 0; n < count; ++n) {
                const float cy = y0 + 36 + (count == 2 ? (n - 0.5f) * 14 : 0) * -dir;
                c.FillPolygon({{x0 + 20.0f, cy - 8 * dir}, {x0 + 52.0f, cy - 8 * dir}, {x0 + 36.0f, cy + 8 * dir}},
                              look ? 0xFFFFF0C0 : 0xFFE0E8F8);
            }
        }
    ButtonFace(c, {288, 600, 460, 637}, "閉じる", ELook::Normal, 18);
    ButtonFace(c, {288, 637, 460, 674}, "閉じる", ELook::Hover, 18);
    for (int look = 0; look < 2; ++look) {
        const float x = 288.0f + 48 * look, y = 674;
        c.FillCircle(x + 24, y + 24, 20, look ? 0xF09A7428 : 0xD0182A46);
        c.FillPolygon({{x + 12, y + 19}, {x + 19, y + 19}, {x + 27, y + 12}, {x + 27, y + 36}, {x + 19, y + 29}, {x + 12, y + 29}},
                      0xFFFFFFFF);
        c.Line(x + 31, y + 18, x + 33, y + 30, 2, 0xFFFFFFFF);
        if (look) c.Line(x + 35, y + 14, x + 38, y + 34, 2, 0xFFFFFFFF);
    }
    return c;
}

// A sheet of thumbnails: one cell per entry at (120 column, rowOffset + 90 row).
void ThumbnailCell(CCanvas& c, int x, int y, const CCanvas& picture, bool hovered) {
    c.DrawScaled(picture, x + 3, y + 3, x + 117, y + 87);
    if (!hovered) c.FillRect(x + 3, y + 3, x + 117, y + 87, 0x50000000);
    c.StrokeRoundRect(x + 1, y + 1, x + 119, y + 89, 4, hovered ? 3.0f : 1.5f, hovered ? 0xFFFFE08A : 0xFF8FA8C8);
}

void LockedCell(CCanvas& c) {
    c.FillRoundRect(2, 2, 118, 88, 4, 0xFF1A2030);
    c.StrokeRoundRect(2, 2, 118, 88, 4, 1.5f, 0xFF505868);
    c.TextCentered(0, 0, 120, 90, "？", Label(30, 0xFF505868));
}

CCanvas GalleryBackground(const std::string& english, const std::string& japanese, int slots) {
    CCanvas c = Darkened(EScene::TitleNight, 0xB0000010);
    Title(c, 20, 0, english, japanese);
    for (int i = 0; i < slots; ++i) {
        const float x = 80.0f + 132 * (i % 5), y = 75.0f + 102 * (i / 5);
        c.FillRoundRect(x - 4, y - 4, x + 124, y + 94, 6, 0x40000000);
    }
    return c;
}

CCanvas PictureGalleryButtons(const SGalleryArt& art) {
    CCanvas c(600, 810, 0);
    LockedCell(c);
    ButtonFace(c, {120, 0, 263, 33}, "戻る", ELook::Normal, 17);
    ButtonFace(c, {120, 33, 263, 66}, "戻る", ELook::Hover, 17);
    ButtonFace(c, {263, 0, 406, 33}, "ムービー鑑賞へ", ELook::Normal, 16);
    ButtonFace(c, {263, 33, 406, 66}, "ムービー鑑賞へ", ELook::Hover, 16);
    for (size_t i = 0; i < art.pictureEntries.size() && i < 20; ++i) {
        if (!art.pictureEntries[i]) continue;
        const int col = static_cast<int>(i % 5), row = static_cast<int>(i / 5);
        ThumbnailCell(c, 120 * col, 90 + 90 * row, *art.pictureEntries[i], true);
        ThumbnailCell(c, 120 * col, 450 + 90 * row, *art.pictureEntries[i], false);
    }
    return c;
}

CCanvas MusicBackground() {
    CCanvas c = Darkened(EScene::HarbourDusk, 0xB0000010);
    Title(c, 20, 0, "MUSIC", "BGM鑑賞");
    Panel(c, 60, 98, 430, 412, 0xB0);
    Panel(c, 450, 98, 770, 412, 0xB0);
    CCanvas still = PaintScene(EScene::TitleNight);
    c.DrawScaled(still, 466, 114, 754, 330);
    c.TextCentered(450, 340, 770, 370, "Velkora ～Sarnith～", Label(18, 0xFFE8D8B0));
    c.TextCentered(450, 368, 770, 396, "Original Soundtrack", Label(15, 0xFFE8D8B0));
    c.FillRoundRect(60, 470, 570, 524, 8, 0x60000000);
    c.TextCentered(68, 483, 188, 511, "BGM / 音量", Label(15, 0xFFE8D8B0));
    return c;
}

CCanvas MusicButtons(const SGalleryArt& art) {
    CCanvas c(1020, 350, 0);
    static const ELook kLooks[3] = {ELook::Normal, ELook::Hover, ELook::Current};
    for (size_t k = 0; k < art.trackTitles.size() && k < 7; ++k)
        for (int look = 0; look < 3; ++look) {
            const int x0 = 340 * look, y0 = 35 * static_cast<int>(k);
            ButtonFace(c, {x0 + 2, y0 + 2, x0 + 338, y0 + 33}, "", kLooks[look], 16);
            c.Text(x0 + 16, y0 + 7, (look == 2 ? "♪ " : "　 ") + art.trackTitles[k], Label(18, look ? 0xFFFFF6C8 : 0xFFFFFFFF));
        }
    for (int look = 0; look < 3; ++look) {
        ButtonFace(c, {283, 245 + 29 * look, 312, 274 + 29 * look}, "ON", kLooks[look], 11);
        ButtonFace(c, {312, 245 + 29 * look, 341, 274 + 29 * look}, "OFF", kLooks[look], 10);
        for (int k = 0; k < 10; ++k) LevelCell(c, {341 + 29 * k, 245 + 29 * look, 370 + 29 * k, 274 + 29 * look}, k, kLooks[look]);
    }
    ButtonFace(c, {0, 245, 140, 280}, "■ 停止", ELook::Disabled, 17);
    ButtonFace(c, {0, 280, 140, 315}, "■ 停止", ELook::Normal, 17);
    ButtonFace(c, {0, 315, 140, 350}, "■ 停止", ELook::Hover, 17);
    ButtonFace(c, {140, 245, 283, 278}, "戻る", ELook::Normal, 17);
    ButtonFace(c, {140, 278, 283, 311}, "戻る", ELook::Hover, 17);
    return c;
}

CCanvas MovieBackground(int page, int slots) {
    CCanvas c = GalleryBackground("MOVIE", "ムービー鑑賞", slots);
    c.Text(700, 20, "PAGE " + std::to_string(page), Label(18, 0xFFE8D8B0));
    c.FillRoundRect(272, 488, 571, 530, 8, 0x60000000);
    return c;
}

CCanvas MovieButtons(const SGalleryArt& art) {
    CCanvas c(883, 1280, 0);
    LockedCell(c);
    ButtonFace(c, {120, 0, 263, 33}, "戻る", ELook::Normal, 17);
    ButtonFace(c, {120, 33, 263, 66}, "戻る", ELook::Hover, 17);
    ButtonFace(c, {263, 0, 406, 33}, "CG鑑賞へ", ELook::Normal, 17);
    ButtonFace(c, {263, 33, 406, 66}, "CG鑑賞へ", ELook::Hover, 17);
    static const ELook kLooks[3] = {ELook::Normal, ELook::Hover, ELook::Current};
    for (int look = 0; look < 3; ++look) {
        ButtonFace(c, {406, 29 * look, 455, 29 * look + 29}, "1", kLooks[look], 14, 5);
        ButtonFace(c, {455, 29 * look, 504, 29 * look + 29}, "2", kLooks[look], 14, 5);
    }
    // Each page's rows lie four rows below the previous page's: hovered cells from y 90, the
    // others from y 540. The second page's first row is the last one that overlaps nothing.
    if (art.movieStills.size() > 25) throw std::runtime_error("the movie sheet holds at most 25 thumbnails");
    for (size_t i = 0; i < art.movieStills.size(); ++i) {
        const int k = static_cast<int>(i % 20), row = k / 5 + 4 * static_cast<int>(i / 20), col = k % 5;
        ThumbnailCell(c, 120 * col, 90 + 90 * row, *art.movieStills[i], true);
        ThumbnailCell(c, 120 * col, 540 + 90 * row, *art.movieStills[i], false);
    }
    for (size_t i = 0; i < art.movieTitles.size() && i < 40; ++i) {
        const int y = 32 * static_cast<int>(i);
        c.TextCentered(600, y, 883, y + 32, art.movieTitles[i], Label(18, 0xFFFFF2D0));
    }
    return c;
}

CCanvas TextWindow() {
    CCanvas c(kW, 184, 0);
    // Name plate.
    c.FillRoundRect(2, 4, 144, 50, 10, 0xE0142440);
    c.HorizontalGradient(8, 8, 140, 26, 0x30FFFFFF, 0x00FFFFFF);
    c.StrokeRoundRect(2, 4, 144, 50, 10, 2, 0xFFC8A860);
    // Window frame.
    c.VerticalGradient(0, 53, kW, 184, 0xD0142440, 0xE0080E1C);
    c.HorizontalGradient(0, 53, kW, 56, 0xFFC8A860, 0x40C8A860);
    c.HorizontalGradient(0, 57, kW, 59, 0x60FFFFFF, 0x00FFFFFF);
    for (int i = 0; i < 3; ++i) c.FillCircle(24.0f + 12 * i, 70, 2.5f, 0x80FFE8A0);
    return c;
}

// The two choice bars. The normal one is translucent navy under white text. The highlighted
// one carries the engine's magenta text (0xFFFF00FF), which keeps a contrast of 4.5 : 1 only on
// a background of relative luminance below about 0.024, so it is an opaque, nearly black plum
// with no sheen under the text; its gold rim and the lamp at its left end mark it as picked.
CCanvas SelectWindow() {
    CCanvas c(543, 96, 0);
    const float y0 = 2, y1 = 46;
    c.FillRoundRect(4, y0, 539, y1, 20, 0xD0142440);
    c.VerticalGradient(10, static_cast<int>(y0 + 3), 533, static_cast<int>(y0 + 18), 0x28FFFFFF, 0x00FFFFFF);
    c.StrokeRoundRect(4, y0, 539, y1, 20, 2, 0xFF8FA8C8);

    const float h0 = 50, h1 = 94;  // the text's line takes rows 14 to 43 of the bar
    c.FillRoundRect(4, h0, 539, h1, 20, 0xFF160A1E);
    c.VerticalGradient(12, static_cast<int>(h0 + 3), 531, static_cast<int>(h0 + 9), 0x30FFE08A, 0x00FFE08A);
    c.StrokeRoundRect(4, h0, 539, h1, 20, 2, 0xFFFFE08A);
    c.Glow(23, h0 + 22, 12, 0xF0FFE08A);
    return c;
}

}  // namespace

CCanvas PaintNightTitle(bool lit, bool menuPanel) {
    return TitleBackground(lit ? EScene::TitleNight : EScene::LighthouseNight, menuPanel);
}

std::vector<SScreenPicture> PaintScreenPictures(const SGalleryArt& art) {
    std::vector<SScreenPicture> out;
    auto add = [&](const char* path, CCanvas canvas) { out.push_back({path, std::move(canvas)}); };
    add("System/Maker/Maker.bmp", Maker());
    add("System/Title/TitleBG01.bmp", TitleBackground(EScene::TitleDusk));
    add("System/Title/TitleBG02.bmp", TitleBackground(EScene::TitleNight));
    add("System/Title/TitleButton.bmp", TitleButtons());
    add("System/Title/ExtraMenuBG.bmp", ExtraBackground());
    add("System/Title/ExtraMenuButton.bmp", ExtraButtons());
    add("System/Menu/MenuBG.bmp", MenuBackground());
    add("System/Menu/MenuButton.bmp", MenuButtons());
    add("System/Menu/YesNoBG.bmp", YesNoBackground());
    add("System/Menu/YesNoButton.bmp", YesNoButtons());
    add("System/Menu/SaveBG.bmp", SaveLoadBackground(true));
    add("System/Menu/LoadBG.bmp", SaveLoadBackground(false));
    add("System/Menu/SaveLoadButton.bmp", SaveLoadButtons());
    add("System/Menu/ConfigBG.bmp", ConfigBackground());
    add("System/Menu/ConfigButton.bmp", ConfigButtons());
    add("System/Adventure/TextWindowButton.bmp", TextWindowButtons());
    add("System/Adventure/Backlog.bmp", Backlog());
    add("System/Extra/CGModeBG.bmp", GalleryBackground("GALLERY", "CG鑑賞", static_cast<int>(art.pictureEntries.size())));
    add("System/Extra/CGModeButton.bmp", PictureGalleryButtons(art));
    add("System/Extra/BGMModeBG.bmp", MusicBackground());
    add("System/Extra/BGMModeButton.bmp", MusicButtons(art));
    const int movies = static_cast<int>(art.movieStills.size());
    add("System/Extra/MovieModeBG1.bmp", MovieBackground(1, std::min(movies, 20)));
    add("System/Extra/MovieModeBG2.bmp", MovieBackground(2, std::max(movies - 20, 0)));
    add("System/Extra/MovieModeButton.bmp", MovieButtons(art));
    add("Image/TextWindow.bmp", TextWindow());
    add("Image/SelectWindow.bmp", SelectWindow());
    return out;
}
