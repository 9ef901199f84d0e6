// Text costs: building the glyphs of a page, rendering a block of text into one texture, and
// drawing one frame of the message window at full text.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/devices_graphics.h"
#include "platform/font.h"
#include "platform/graphics.h"
#include "platform/render_context.h"
#include "text/glyph.h"
#include "text/message_window.h"

namespace {

const char kMsGothic[] = "\x82\x6C\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4E";  // ＭＳ ゴシック

// n double-byte characters taken in turn from the hiragana and kanji rows.
std::vector<uint32_t> PageCodes(int32_t n) {
    std::vector<uint32_t> codes;
    for (int32_t i = 0; i < n; ++i) codes.push_back(i % 2 ? 0x889F + (i * 7) % 90 : 0x829F + i % 80);
    return codes;
}

std::string PageText(int32_t n) {
    std::string text;
    for (uint32_t code : PageCodes(n)) {
        text += static_cast<char>(code >> 8);
        text += static_cast<char>(code & 0xFF);
    }
    return text;
}

CGraphicsDevice* MakeDevice() {
    SDeviceParams params;
    CGraphicsDevice* device = CGraphicsDevice::Create(params);
    device->SetDamageTracking(false);  // every draw rasterised at once: the drawing is measured
    ApplyDefaultRenderStates(device);
    return device;
}

// 256 double-byte glyphs, a font created and deleted for each as the message window does, 24
// pixels, outlined. With flush, every font file and glyph bitmap cache is emptied first.
void RasterizePage(benchmark::State& state, bool flush) {
    CGraphicsDevice* device = MakeDevice();
    CFontDC* dc = GetFontDC(nullptr);
    auto glyphs = std::make_unique<CGlyph[]>(256);
    const std::vector<uint32_t> codes = PageCodes(256);
    for (auto _ : state) {
        if (flush) {
            state.PauseTiming();
            FlushFontCaches();
            state.ResumeTiming();
        }
        for (int32_t i = 0; i < 256; ++i) {
            CFont* font = CreateFontSjis(24, kFontWeightNormal, 0, kMsGothic);
            glyphs[i].Rasterize(codes[i], device, dc, font, 0xFFFFFFFF, 1);
            DeleteFont(font);
        }
    }
    glyphs.reset();
    ReleaseFontDC(nullptr, dc);
    device->Release();
}

void BM_PageGlyphs256(benchmark::State& state) { RasterizePage(state, false); }
void BM_PageGlyphs256Cold(benchmark::State& state) { RasterizePage(state, true); }

// A block of 570 x 90 (the backlog's line block): 80 double-byte characters of 20 pixels,
// wrapped and outlined.
void BM_RenderTextBlock570x90(benchmark::State& state) {
    CGraphicsDevice* device = MakeDevice();
    CFontDC* dc = GetFontDC(nullptr);
    const std::vector<uint32_t> codes = PageCodes(80);
    CFont* font = CreateFontSjis(20, kFontWeightNormal, 0, kMsGothic);
    const std::vector<CFont*> fonts(codes.size(), font);
    const std::vector<uint32_t> colours(codes.size(), 0xFFFFFFFF);
    for (auto _ : state) {
        CTexture* texture = nullptr;
        RenderTextToTexture(device, &texture, dc, {570, 90}, fonts.data(), codes.data(), colours.data(),
                            static_cast<int32_t>(codes.size()), 1, 1, 0);
        if (texture) texture->Release();
    }
    DeleteFont(font);
    ReleaseFontDC(nullptr, dc);
    device->Release();
}

// The message window with a name and a full page (127 double-byte characters, the most its
// 255-byte text holds), shadow and outline on, fade effect; building and one frame's drawing.
struct SWindowFixture {
    CGraphicsDevice* device = MakeDevice();
    std::unique_ptr<CMessageWindow> window = std::make_unique<CMessageWindow>();
    std::string text = PageText(127);

    SWindowFixture() {
        g_pEngineDevice = device;
        CTextFormat font{};
        std::strcpy(font.face, kMsGothic);
        font.height = 24;
        font.colour = 0xFFFFFFFF;
        window->windowFont = font;
        window->nameFont = font;
        window->formatMode = 0;
        window->textFlags = 3;
        window->textRect = {90, 480, 660, 570};
        window->textShadowRect = {92, 482, 662, 572};
        window->nameRect = {10, 436, 129, 467};
        window->nameShadowRect = {12, 438, 131, 469};
        window->lineGap = 4;
        window->shadowColour = 0xA0606060u;
        window->BuildNameGlyphs("\x96\xBC\x91\x4F");  // 名前
    }
    ~SWindowFixture() {
        window.reset();
        g_pEngineDevice = nullptr;
        device->Release();
    }
};

void BM_MessageWindowBuildPage(benchmark::State& state) {
    SWindowFixture fixture;
    for (auto _ : state) fixture.window->BuildTextGlyphs(fixture.text.c_str(), nullptr);
    state.counters["glyphs"] = fixture.window->textGlyphCount;
}

void BM_MessageWindowFrame(benchmark::State& state) {
    SWindowFixture fixture;
    fixture.window->BuildTextGlyphs(fixture.text.c_str(), nullptr);
    fixture.window->revealStart = kRevealShowAll;
    fixture.device->BeginScene();
    for (auto _ : state) benchmark::DoNotOptimize(fixture.window->Draw());
    fixture.device->EndScene();
}

}  // namespace

BENCHMARK(BM_PageGlyphs256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageGlyphs256Cold)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderTextBlock570x90)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MessageWindowBuildPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MessageWindowFrame)->Unit(benchmark::kMicrosecond);
