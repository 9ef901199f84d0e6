#include "engine_fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "files/scrambled_io.h"
#include "platform/clock.h"
#include "platform/graphics.h"
#include "platform/message_box.h"
#include "platform/render_context.h"
#include "tests/support/engine_bytes.h"
#include "tests/support/graphics_support.h"
#include "tools/lib/sound_writer.h"
#include "tools/lib/teyl_writer.h"

CTestPage& CTestPage::Text(const std::string& name, const std::string& text, uint32_t flags) {
    w.Begin("TEXT");
    if (flags & TextFlag::Nblf) w.EmptyChunk("NBLF");
    if (flags & TextFlag::Niwf) w.EmptyChunk("NIWF");
    if (flags & TextFlag::Nef) w.EmptyChunk("NEF ");
    if (flags & TextFlag::Whf) w.EmptyChunk("WHF ");
    if (!name.empty()) w.CStringChunk("NAME", name);
    w.CStringChunk("TEXT", text);
    w.End();
    return *this;
}

CTestPage& CTestPage::Number(const char* tag, int32_t number) {
    w.I32Chunk(tag, number);
    return *this;
}

CTestPage& CTestPage::Layer(int32_t layer, const std::string& picture, uint32_t effectKind, uint32_t a, uint32_t b,
                            int32_t delay) {
    w.I32Chunk("IMGN", layer);
    w.Begin("IMAG");
    w.CStringChunk("LOAD", picture);
    if (effectKind != 0) {
        w.Begin("EFEC");
        w.U32(effectKind);
        w.I32(delay);
        w.U32(a);
        if (effectKind == 2) w.U32(b);
        w.End();
    }
    w.End();
    return *this;
}

CTestPage& CTestPage::Voice(int32_t channel, const std::string& file) {
    w.I32Chunk("VTNO", channel);
    w.Begin("VOIT");
    w.CStringChunk("LOAD", file);
    w.Begin("STAT");
    for (uint32_t value : {0u, 0u, 1u, 0u}) w.U32(value);  // restart and play, no delay, once, no loop-back
    w.End();
    w.End();
    return *this;
}

CTestPage& CTestPage::Flags(const char* tag, std::vector<uint32_t> numbers) {
    w.Begin(tag);
    for (uint32_t n : numbers) w.U32(n);
    w.End();
    return *this;
}

CTestPage& CTestPage::Jump(
    const std::vector<std::tuple<int32_t, std::vector<uint32_t>, std::vector<uint32_t>, std::string>>& entries) {
    w.Begin("JUNP");
    for (const auto& [index, up, down, target] : entries) {
        w.I32Chunk("JMPN", index);
        w.Begin("UPF ");
        for (uint32_t n : up) w.U32(n);
        w.End();
        w.Begin("DWNF");
        for (uint32_t n : down) w.U32(n);
        w.End();
        w.CStringChunk("JMPF", target);
    }
    w.End();
    return *this;
}

CTestPage& CTestPage::Wait(const char* tag, uint32_t ms, bool iwf, bool twf) {
    w.Begin(tag);
    if (iwf) w.EmptyChunk("IWF ");
    if (twf) w.EmptyChunk("TWF ");
    w.U32Chunk(std::strcmp(tag, "KLOK") == 0 ? "LTIM" : "WTIM", ms);
    w.End();
    return *this;
}

CTestPage& CTestPage::Choices(const std::vector<std::pair<std::string, std::string>>& items,
                              const std::vector<int32_t>& slots) {
    w.Begin("SELE");
    for (size_t i = 0; i < items.size(); ++i) {
        w.U32Chunk("SELN", slots.empty() ? static_cast<uint32_t>(i) : static_cast<uint32_t>(slots[i]));
        w.CStringChunk("TEXT", items[i].first);
        w.CStringChunk("JMPF", items[i].second);
    }
    w.End();
    return *this;
}

CTestPage& CTestPage::Raw(const char* tag, const std::vector<uint8_t>& payload) {
    w.Chunk(tag, payload.data(), payload.size());
    return *this;
}

CTestPage& CTestPage::Movie(const std::string& file, const std::string& target, bool noSkip) {
    w.Begin("MOVI");
    w.CStringChunk("MOVF", file);
    if (!target.empty()) w.CStringChunk("JMPF", target);
    if (noSkip) w.EmptyChunk("SREF");
    w.End();
    return *this;
}

std::vector<uint8_t> BuildScript(const std::vector<CTestPage>& pages, const CScriptOptions& options) {
    CChunkWriter w;
    w.Tag("VSF3");
    w.U32(0);
    for (const auto& [tag, payload] : options.before) w.Chunk(tag, payload.data(), payload.size());
    if (options.mstp) w.CStringChunk("MSTP", "header");
    for (const CTestPage& page : pages) {
        w.Begin("PAGE");
        w.Append(page.w);
        w.End();
    }
    if (options.eof) w.EmptyChunk("EOF ");
    return w.Data();
}

std::string Hiragana(int32_t n) {
    std::string text;
    for (int32_t i = 0; i < n; ++i) text += "\x82\xA0";  // あ
    return text;
}

void EngineTest::SetUp() {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    previousFolder_ = cwd;
    char pattern[] = "/tmp/engine_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder = pattern;
    ASSERT_EQ(chdir(folder.c_str()), 0);

    SuppressMessageBoxWindows(true);
    TakeShownMessages();
    UseFakeClock(1000000);
    device = MakeTestDevice(800, 600);
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->GetBackBuffer(&backBuffer), 0);
    audio = CAudioDevice::Create(EAudioOutput::Clock);
    ASSERT_NE(audio, nullptr);

    params = {};
    params.archives.errorMask = 0xFF;
    std::strcpy(params.messageWindow.nameFont.face, "\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E");
    params.messageWindow.nameFont.height = 24;
    params.messageWindow.nameFont.colour = 0xFFFFFFFFu;
    params.messageWindow.nameRect = {10, 436, 129, 467};
    params.messageWindow.textRect = {90, 480, 660, 570};
    params.messageWindow.nameShadowRect = {12, 438, 131, 469};
    params.messageWindow.textShadowRect = {92, 482, 662, 572};
    params.messageWindow.lineGap = 4;
    params.messageWindow.shadowColour = 0xA0606060u;
    params.choiceWindow.normalBar = {0, 0, 543, 48};
    params.choiceWindow.highlightedBar = {0, 48, 543, 96};
    params.choiceWindow.originX = 400;
    params.choiceWindow.originY = 190;
    params.choiceWindow.spacing = 25;
    params.choiceWindow.textRect = {38, 14, 503, 32};
    std::strcpy(params.choiceWindow.face, params.messageWindow.nameFont.face);
    params.choiceWindow.height = 24;
    params.choiceWindow.textColour = 0xFFFFFFFFu;
    params.choiceWindow.highlightColour = 0xFFFF00FFu;

    CVantEngine::SetDefaultSettings(&settings);
    settings.fontMode = 0;     // every character in the window font
    settings.textSpeed = 0;    // whole text at once unless a test asks otherwise
    engine = std::make_unique<CVantEngine>();
}

void EngineTest::TearDown() {
    engine.reset();
    audio.reset();
    if (backBuffer != nullptr) backBuffer->Release();
    if (device != nullptr) device->Release();
    UseRealClock();
    TakeShownMessages();
    std::memset(g_SaveKey, 0, sizeof(g_SaveKey));
    if (!previousFolder_.empty()) {
        EXPECT_EQ(chdir(previousFolder_.c_str()), 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

int32_t EngineTest::Start() {
    return engine->Init(nullptr, device, backBuffer, audio.get(), &params, &settings);
}

int32_t EngineTest::StartScript(const std::vector<CTestPage>& pages) {
    WriteScript("a.vsf", pages);
    if (Start() != 0) return -2;
    return engine->Load("a.vsf");
}

void EngineTest::WriteScript(const std::string& name, const std::vector<CTestPage>& pages,
                             const CScriptOptions& options) {
    ASSERT_TRUE(WriteFileBytes(name, BuildScript(pages, options)));
}

void EngineTest::WritePicture(const std::string& name, int32_t width, int32_t height, uint32_t colour) {
    std::filesystem::create_directories(std::filesystem::path(name).parent_path());
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height), colour);
    ASSERT_EQ(WriteTeylFile(name, width, height, pixels.data()), 0);
}

void EngineTest::WriteVoice(const std::string& name, uint32_t ms) {
    const std::vector<uint8_t> pcm(22050 * ms / 1000 * 2, 0x40);
    ASSERT_TRUE(WriteFileBytes(name, MakeWav(PcmFormat(1, 22050, 16), pcm)));
}

int32_t EngineTest::Frame(CInputState* input, uint32_t ms) {
    AdvanceFakeClock(ms);
    EXPECT_TRUE(SettleFakeClock());
    UpdateEngineClock();
    device->BeginScene();
    engine->Draw();
    if (!engine->windowHiddenByUser) {
        engine->DrawMessageWindow();
        if (engine->choiceWindow.active) engine->choiceWindow.Draw();
    }
    device->EndScene();
    return engine->UpdateInput(input, 0);
}

int32_t EngineTest::Idle(uint32_t ms) {
    for (uint32_t t = 0; t < ms; t += 16) {
        const int32_t result = Frame();
        if (result != 0) return result;
    }
    return 0;
}

CInputState EngineTest::Click() {
    CInputState input = {};
    input.leftDown = input.leftUp = 1;
    return input;
}

CInputState EngineTest::Key(uint8_t dik) {
    CInputState input = {};
    input.keys[dik] = 0x80;
    return input;
}

CInputState EngineTest::Wheel(int32_t delta) {
    CInputState input = {};
    input.mouse.lZ = delta;
    return input;
}
