// The scenario engine on one core: page throughput of the interpreter in skip mode (effects
// finished at once) over a script of 10,000 pages of text and layer commands, without and with
// glyph rasterisation; and save and restore of a full engine state (16 used layers, the ten
// saved sound channels active, a full page of text), without picture reloads and with the
// pictures reloaded from Image.pac.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_files.h"
#include "engine/vant_engine.h"
#include "platform/audio.h"
#include "platform/devices_graphics.h"
#include "platform/graphics.h"
#include "platform/render_context.h"
#include "tools/lib/chunk_writer.h"
#include "tools/lib/memory_stream.h"
#include "tools/lib/pack_writer.h"
#include "tools/lib/sound_writer.h"
#include "tools/lib/teyl_writer.h"

namespace {

constexpr int32_t kPictureSide = 256;

std::string Kana(int32_t n) {
    std::string text;
    for (int32_t i = 0; i < n; ++i) text += "\x82\xA0";  // あ
    return text;
}

std::string PictureName(int32_t layer) { return "Image/layer" + std::to_string(layer) + ".teyl"; }

// An engine on a headless device and a silent sound output, in a temporary working folder
// holding the scripts, pictures (loose files, or only inside Image.pac) and sounds.
class BenchEngine {
public:
    explicit BenchEngine(bool picturesInArchive) {
        std::vector<uint32_t> pixels(kPictureSide * kPictureSide, 0xC0406080u);
        std::vector<CPackWriterEntry> entries;
        for (int32_t i = 0; i < kLayerCount; ++i) {
            std::vector<uint8_t> teyl = BuildTeyl(kPictureSide, kPictureSide, pixels.data());
            if (picturesInArchive) {
                entries.push_back({PictureName(i), teyl});
            } else {
                WriteBenchFile(PictureName(i), teyl);
            }
        }
        if (picturesInArchive && WritePackArchive("Image.pac", entries) != 0) std::abort();
        std::vector<uint8_t> pcm(22050 * 2, 0);
        const std::vector<uint8_t> wav = MakeWav(PcmFormat(1, 22050, 16), pcm);
        for (int32_t i = 0; i < 10; ++i) WriteBenchFile("Sound/s" + std::to_string(i) + ".wav", wav);

        device_ = CGraphicsDevice::Create(SDeviceParams{});
        device_->SetDamageTracking(false);  // every draw rasterised at once: the drawing is measured
        ApplyDefaultRenderStates(device_);
        device_->GetBackBuffer(&backBuffer_);
        audio_ = CAudioDevice::Create(EAudioOutput::Manual);
        engine = std::make_unique<CVantEngine>();
        CEngineParams params = {};
        std::strcpy(params.archives.names[kImageArchive], "Image.pac");
        params.messageWindow.nameFont.height = 24;
        std::strcpy(params.messageWindow.nameFont.face, "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E");
        params.messageWindow.textRect = {90, 480, 660, 570};
        params.choiceWindow.normalBar = {0, 0, 543, 48};
        CEngineSettings settings;
        CVantEngine::SetDefaultSettings(&settings);
        settings.fontMode = 0;
        if (engine->Init(nullptr, device_, backBuffer_, audio_.get(), &params, &settings) != 0) std::abort();
    }

    ~BenchEngine() {
        engine.reset();
        audio_.reset();
        backBuffer_->Release();
        device_->Release();
    }

    std::unique_ptr<CVantEngine> engine;

private:
    CBenchWorkingFolder folder_{"engine_bench"};
    CGraphicsDevice* device_ = nullptr;
    CSurface* backBuffer_ = nullptr;
    std::unique_ptr<CAudioDevice> audio_;
};

// 10,000 pages, each loading a layer (the same picture per layer, so it is loaded once), placing
// it and fading it in, with a name and a text of `characters` characters.
void WriteLongScript(const std::string& path, int32_t characters) {
    CChunkWriter w;
    w.Tag("VSF3");
    w.U32(0);
    w.EmptyChunk("MSTP");
    for (int32_t page = 0; page < 10000; ++page) {
        w.Begin("PAGE");
        const int32_t layer = page % kLayerCount;
        w.I32Chunk("IMGN", layer);
        w.Begin("IMAG");
        w.CStringChunk("LOAD", PictureName(layer));
        w.Begin("PIVO");
        w.I32(page % 800);
        w.I32(100);
        w.End();
        w.Begin("EFEC");
        w.U32(2);
        w.I32(0);
        w.U32(0);
        w.U32(500);
        w.End();
        w.End();
        w.Begin("TEXT");
        w.CStringChunk("NAME", "Aki");
        w.CStringChunk("TEXT", Kana(characters));
        w.End();
        w.Begin("FLGU");
        w.U32(static_cast<uint32_t>(page % 256));
        w.End();
        w.End();
    }
    w.EmptyChunk("EOF ");
    if (!w.SaveToFile(path)) std::abort();
}

// Argument: characters of text per page (0: no glyph is rasterised).
void BM_PageThroughputInSkipMode(benchmark::State& state) {
    BenchEngine bench(false);
    CVantEngine* engine = bench.engine.get();
    WriteLongScript("long.vsf", static_cast<int32_t>(state.range(0)));
    engine->Load("long.vsf");
    engine->readHistory.skipUnread = 1;
    int64_t pages = 0;
    for (auto _ : state) {
        engine->SetSkipMode(1);
        if (engine->UpdateInput(nullptr, 0) == 1) {
            state.PauseTiming();
            engine->Load("long.vsf");
            state.ResumeTiming();
        }
        ++pages;
    }
    state.SetItemsProcessed(pages);
    state.counters["pages/s"] = benchmark::Counter(static_cast<double>(pages), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PageThroughputInSkipMode)->Arg(0)->Arg(30)->Unit(benchmark::kMicrosecond);

// A full state: every layer used, the ten saved channels holding a sound, a page of text,
// choices, flags and both waits.
void BuildFullState(CVantEngine* engine, bool channels) {
    CChunkWriter w;
    w.Tag("VSF3");
    w.U32(0);
    w.EmptyChunk("MSTP");
    w.Begin("PAGE");
    for (int32_t i = 0; i < kLayerCount; ++i) {
        w.I32Chunk("IMGN", i);
        w.Begin("IMAG");
        w.CStringChunk("LOAD", PictureName(i));
        w.Begin("EFEC");
        w.U32(1);
        w.I32(0);
        w.U32(1);
        w.End();
        w.End();
    }
    const char* numbers[] = {"BTNO", "VTNO", "SETN"};
    const char* commands[] = {"BGMT", "VOIT", "SET "};
    const int32_t counts[] = {2, 4, 4};
    int32_t sound = 0;
    for (int32_t kind = 0; kind < 3 && channels; ++kind) {
        for (int32_t i = 0; i < counts[kind]; ++i) {
            w.I32Chunk(numbers[kind], i);
            w.Begin(commands[kind]);
            w.CStringChunk("LOAD", "Sound/s" + std::to_string(sound++) + ".wav");
            w.End();
        }
    }
    w.Begin("TEXT");
    w.CStringChunk("NAME", "Aki");
    w.CStringChunk("TEXT", Kana(127));
    w.End();
    w.Begin("SELE");
    w.U32Chunk("SELN", 0);
    w.CStringChunk("TEXT", "yes");
    w.CStringChunk("JMPF", "a.vsf");
    w.End();
    w.Begin("ACTL");
    w.U32Chunk("WTIM", 100);
    w.End();
    w.Begin("KLOK");
    w.U32Chunk("LTIM", 100);
    w.End();
    w.End();
    w.EmptyChunk("EOF ");
    if (!w.SaveToFile("state.vsf")) std::abort();
    engine->Load("state.vsf");
    engine->FinishEffects();
}

// A write stream over memory: no file system.
struct MemoryWriteStream {
    std::vector<uint8_t> buffer = std::vector<uint8_t>(1 << 20);
    CWriteStream stream;
    MemoryWriteStream() {
        stream.file = fmemopen(buffer.data(), buffer.size(), "wb");
        stream.AllocBuffer(16 * 1024);
    }
    void Rewind() {
        Flush();
        std::fseek(stream.file, 0, SEEK_SET);
    }
    void Flush() {
        stream.Flush();
        std::fflush(stream.file);
    }
};

void BM_SaveState(benchmark::State& state) {
    BenchEngine bench(false);
    BuildFullState(bench.engine.get(), true);
    MemoryWriteStream out;
    uint32_t size = 0;
    for (auto _ : state) {
        out.Rewind();
        bench.engine->Save(&out.stream, &size);
        out.Flush();
    }
    state.counters["bytes"] = size;
}
BENCHMARK(BM_SaveState)->Unit(benchmark::kMicrosecond);

// Restores a saved state. Argument 0: into the engine that already holds the pictures (no
// picture is reloaded), with the channels empty; 1: the same with the ten channels reopening
// their sounds; 2: the layers are released first, so every picture comes again from Image.pac.
void BM_RestoreState(benchmark::State& state) {
    const int64_t mode = state.range(0);
    BenchEngine bench(mode == 2);
    CVantEngine* engine = bench.engine.get();
    BuildFullState(engine, mode >= 1);
    MemoryWriteStream out;
    uint32_t size = 0;
    engine->Save(&out.stream, &size);
    out.Flush();
    for (auto _ : state) {
        if (mode == 2) {
            state.PauseTiming();
            for (CImageLayer& layer : engine->layers) layer.Release();
            state.ResumeTiming();
        }
        CReadStream in;
        OpenMemoryStream(&in, out.buffer.data(), size, 64 * 1024);
        if (engine->Restore(&in, size) != 0) state.SkipWithError("restore failed");
    }
}
BENCHMARK(BM_RestoreState)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace
