// The engine with models on: its start makes the model effect and target, a page's model
// motion starts at the page's start (a restored one at the restored page's start), lip sync
// follows the voice channel after each page and after a restore, and finishing the page's
// effects brings every model to the end of the longest motion on the scene.
#include <gtest/gtest.h>

#include <filesystem>

#include "model/shader_context.h"
#include "platform/graphics.h"
#include "platform/render_context.h"
#include "tests/engine/engine_fixture.h"
#include "tests/support/engine_bytes.h"
#include "tools/lib/lmf_writer.h"
#include "tools/lib/memory_stream.h"
#include "tools/lib/sample_models.h"

namespace {

constexpr const char* kModel = "Image/Model/Character.lmf";

// IMGN layer, IMAG {LOAD model, EFEC cut in when shown, SOLD {LIPS mouth layers on voice
// channel, PFLM one segment of 10 ms frames}}.
CTestPage& ModelLayer(CTestPage& page, int32_t layer, int32_t lipChannel, uint32_t lastFrame, bool shown = false) {
    page.w.I32Chunk("IMGN", layer);
    page.w.Begin("IMAG");
    page.w.CStringChunk("LOAD", kModel);
    if (shown) {
        page.w.Begin("EFEC");
        for (uint32_t v : {1u, 0u, 1u}) page.w.U32(v);  // cut, no delay, in
        page.w.End();
    }
    page.w.Begin("SOLD");
    page.w.Begin("LIPS");
    for (int32_t v : {static_cast<int32_t>(kCharacterMouthClosed), static_cast<int32_t>(kCharacterMouthOpen), lipChannel})
        page.w.I32(v);
    page.w.End();
    page.w.Begin("PFLM");
    for (uint32_t v : {1u, 0u, lastFrame, 10u, 0u, 0u}) page.w.U32(v);
    page.w.End();
    page.w.End();
    page.w.End();
    return page;
}

class EngineModelsTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_EQ(device->CreateRenderTarget(800, 600, Format::A8R8G8B8, &offscreen_), 0);
        params.modelsUsable = 1;
        params.offscreenSurface = offscreen_;
        std::filesystem::create_directories("Image/Model");
        ASSERT_TRUE(WriteFileBytes(kModel, BuildLmf(MakeSampleCharacter())));
        WriteVoice("v.wav", 2000);
    }
    void TearDown() override {
        engine->Release();
        offscreen_->Release();
        EngineTest::TearDown();
    }
    CSurface* offscreen_ = nullptr;
};

TEST_F(EngineModelsTest, StartNeedsTheOffscreenSurfaceAndMakesTheModelPath) {
    params.offscreenSurface = nullptr;
    EXPECT_EQ(Start(), -1);
    params.offscreenSurface = offscreen_;
    ASSERT_EQ(Start(), 0);
    EXPECT_NE(g_ShaderContext.effect, nullptr);
    EXPECT_NE(g_pModelTargetTexture, nullptr);
    EXPECT_EQ(g_pEngineOffscreenSurface, offscreen_);

    // The anti-alias and edge settings reach every layer's model.
    CEngineSettings changed = settings;
    changed.modelAntialias = 0;
    changed.modelEdge = 0;
    engine->ApplySettings(&changed);
    for (const CImageLayer& layer : engine->layers) {
        EXPECT_EQ(layer.model.antialias, 0);
        EXPECT_EQ(layer.model.edge, 0);
    }
    engine->Release();
    EXPECT_EQ(g_ShaderContext.effect, nullptr);
    EXPECT_EQ(g_pModelTargetTexture, nullptr);
}

TEST_F(EngineModelsTest, MotionStartsWithThePageAndLipSyncFollowsTheVoice) {
    CTestPage first, second;
    ModelLayer(first, 0, 1, 100).Voice(1, "v.wav").Text("", "a");
    ModelLayer(second, 3, 2, 300).Text("", "b");
    Frame();
    ASSERT_EQ(StartScript({first, second}), 0);
    CImageLayer& talking = engine->layers[0];
    ASSERT_EQ(talking.kind, LayerKind::Model);
    EXPECT_EQ(talking.model.motionStart, g_PageStartClock);
    EXPECT_EQ(talking.model.motionStartPending, 0u);
    EXPECT_EQ(talking.model.lipPlayer, engine->voiceChannels[1].player);
    ASSERT_NE(talking.model.lipPlayer, nullptr);

    // The next page: the second model listens to a channel that holds nothing.
    Frame();
    Press(Click());
    Idle(200);
    Press(Click());
    ASSERT_EQ(engine->layers[3].kind, LayerKind::Model);
    EXPECT_EQ(engine->layers[3].model.lipPlayer, nullptr);
    EXPECT_EQ(engine->layers[0].model.lipPlayer, engine->voiceChannels[1].player);

    // Finishing: every model goes to the end of the longest motion (300 frames of 10 ms).
    engine->FinishEffects();
    EXPECT_EQ(engine->layers[0].model.motionStart, 0u - 3000u);
    EXPECT_EQ(engine->layers[3].model.motionStart, 0u - 3000u);
}

TEST_F(EngineModelsTest, SaveAndRestoreKeepTheModelAndRehookItsLipSync) {
    CTestPage page;
    ModelLayer(page, 2, 0, 50).Voice(0, "v.wav").Text("", "a");
    ASSERT_EQ(StartScript({page}), 0);
    engine->layers[2].model.position.value = SVector3{0.25f, 0.0f, 0.0f};
    CMemoryWriteStream saved;
    uint32_t size = 0;
    ASSERT_EQ(engine->Save(&saved.stream, &size), 0);
    const std::vector<uint8_t> bytes = saved.Bytes();

    engine->layers[2].model.lipPlayer = nullptr;
    engine->layers[2].model.position.value.x = 0.0f;
    CMemoryReadStream read(bytes);
    ASSERT_EQ(engine->Restore(&read.stream, static_cast<uint32_t>(bytes.size())), 0);
    const CModelHolder& model = engine->layers[2].model;
    EXPECT_EQ(engine->layers[2].kind, LayerKind::Model);
    EXPECT_EQ(model.position.value.x, 0.25f);
    EXPECT_EQ(model.lipChannel, 0);
    EXPECT_EQ(model.lipPlayer, engine->voiceChannels[0].player);
}

TEST_F(EngineModelsTest, ARestoredMotionRunsFromTheRestoredPageStartAndEnds) {
    CTestPage first, second;
    ModelLayer(first, 0, -1, 300, true).Text("", "a");  // a motion of 3,000 ms
    ModelLayer(second, 0, -1, 100, true).Text("", "b");
    ASSERT_EQ(StartScript({first, second}), 0);
    Frame(nullptr, 1000);
    CMemoryWriteStream saved;
    uint32_t size = 0;
    ASSERT_EQ(engine->Save(&saved.stream, &size), 0);
    const std::vector<uint8_t> bytes = saved.Bytes();
    const uint32_t savedPageStart = g_PageStartClock;

    // A minute later the next page starts its own motion.
    Frame(nullptr, 60000);
    Press(Click());
    const CModelHolder& model = engine->layers[0].model;
    ASSERT_GT(model.motionStart, 60000u);
    Frame();
    ASSERT_EQ(g_bPageEffectsDone, 0u);

    CMemoryReadStream read(bytes);
    ASSERT_EQ(engine->Restore(&read.stream, static_cast<uint32_t>(bytes.size())), 0);
    EXPECT_EQ(g_PageStartClock, savedPageStart);
    EXPECT_EQ(model.motionStart, savedPageStart) << "the restored motion counts from its page's start";
    EXPECT_EQ(model.motionStartPending, 0u);
    Frame();
    EXPECT_EQ(g_bPageEffectsDone, 0u) << "the motion plays on from where its page had it";
    Frame(nullptr, 2000);
    EXPECT_EQ(g_bPageEffectsDone, 1u) << "and ends within its length";
    EXPECT_EQ(engine->layers[0].Draw() & LayerFrame::Animating, 0);
}

}  // namespace
