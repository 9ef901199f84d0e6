// A scenario engine on a headless device, the fake clock and a clock-driven sound output, in a
// temporary working folder where the tests write their scripts, pictures and voices; frames run
// as the adventure runs them: clock, draw, then input.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/vant_engine.h"
#include "platform/audio.h"
#include "platform/input_state.h"
#include "tools/lib/chunk_writer.h"

// Page flags of a TEXT command.
namespace TextFlag {
enum : uint32_t { None = 0, Nblf = 1, Niwf = 2, Nef = 4, Whf = 8 };
}

// Commands of a test page, written in file order.
struct CTestPage {
    CChunkWriter w;

    CTestPage& Text(const std::string& name, const std::string& text, uint32_t flags = TextFlag::None);
    CTestPage& Number(const char* tag, int32_t number);
    // IMGN layer, IMAG {LOAD picture, EFEC}: effect kind 0 none, 1 cut (a = in), 2 fade (a = direction, b = ms).
    CTestPage& Layer(int32_t layer, const std::string& picture, uint32_t effectKind = 0, uint32_t a = 0,
                     uint32_t b = 0, int32_t delay = 0);
    // VTNO channel, VOIT {LOAD file, STAT 0 play once}.
    CTestPage& Voice(int32_t channel, const std::string& file);
    CTestPage& Flags(const char* tag, std::vector<uint32_t> numbers);
    // JUNP with one entry per call of JumpEntry.
    CTestPage& Jump(const std::vector<std::tuple<int32_t, std::vector<uint32_t>, std::vector<uint32_t>, std::string>>&
                        entries);
    CTestPage& Wait(const char* tag, uint32_t ms, bool iwf, bool twf);  // KLOK or ACTL
    CTestPage& Choices(const std::vector<std::pair<std::string, std::string>>& items,
                       const std::vector<int32_t>& slots = {});
    CTestPage& Raw(const char* tag, const std::vector<uint8_t>& payload);
    // MOVI {MOVF file, JMPF target when given, SREF when noSkip}.
    CTestPage& Movie(const std::string& file, const std::string& target = "", bool noSkip = false);
};

struct CScriptOptions {
    bool mstp = true;
    bool eof = true;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> before;  // chunks before MSTP
};

std::vector<uint8_t> BuildScript(const std::vector<CTestPage>& pages, const CScriptOptions& options = {});

// Shift-JIS text of n full-width "あ" characters.
std::string Hiragana(int32_t n);

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Initialises the engine with the test parameters and settings.
    int32_t Start();
    void WriteScript(const std::string& name, const std::vector<CTestPage>& pages, const CScriptOptions& options = {});
    void WritePicture(const std::string& name, int32_t width, int32_t height, uint32_t colour);
    // A mono 22,050 Hz WAV of the given length.
    void WriteVoice(const std::string& name, uint32_t ms);

    // Writes the pages as a.vsf, initialises the engine and loads the script: Load's result.
    int32_t StartScript(const std::vector<CTestPage>& pages);

    // One frame: the clock advances by ms, the scene and the windows are drawn, then the input step.
    int32_t Frame(CInputState* input = nullptr, uint32_t ms = 16);
    int32_t Press(CInputState input, uint32_t ms = 16) { return Frame(&input, ms); }
    // Frames without input for ms milliseconds; stops at a non-zero result and returns it.
    int32_t Idle(uint32_t ms);

    static CInputState Click();
    static CInputState Key(uint8_t dik);
    static CInputState Wheel(int32_t delta);

    std::unique_ptr<CVantEngine> engine;
    CGraphicsDevice* device = nullptr;
    CSurface* backBuffer = nullptr;
    std::unique_ptr<CAudioDevice> audio;
    CEngineParams params = {};
    CEngineSettings settings = {};
    std::string folder;

private:
    std::string previousFolder_;
};
