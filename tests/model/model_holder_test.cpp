// The model holder: the SOLD script form and what each sub-chunk sets, the page-time tracks,
// fades and motion with their frame results, the blink and the lip sync, finishing, the saved
// form and its restore, and a model layer drawn on screen through the real model effect.
#include "model/model_holder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "model/shader_context.h"
#include "platform/devices_graphics.h"
#include "scene/image_layer.h"
#include "sound/sound_player.h"
#include "tests/files/temp_folder.h"
#include "tests/scene/scene_test_util.h"
#include "tools/lib/lmf_writer.h"
#include "tools/lib/sample_models.h"

namespace {

using namespace scene_test;

constexpr const char* kModelPath = "Model/Character.lmf";
constexpr int32_t kRunning = ModelFrame::Animating;

// "LNO " n followed by a LAYR of the given part-state sub-chunks.
Bytes Layer(int32_t number, const Bytes& states) { return Ints("LNO ", {number}) + Bytes().Chunk("LAYR", states); }

Bytes Fade(uint32_t mode, uint32_t duration, uint32_t start) {
    return Bytes().Chunk("FADE", Bytes().U32(mode).U32(duration).U32(start));
}

Bytes Motion(const std::vector<std::array<uint32_t, 5>>& segments) {
    Bytes payload;
    payload.U32(static_cast<uint32_t>(segments.size()));
    for (const auto& s : segments)
        for (uint32_t v : s) payload.U32(v);
    return Bytes().Chunk("PFLM", payload);
}

// A player whose level the test sets.
class CLevelPlayer : public IDirectSoundPlayer {
public:
    int32_t level = -10000;
    int32_t Open(CAudioDevice*, const char*) override { return 0; }
    int32_t OpenFromCallbacks(CAudioDevice*, const char*, const CStreamCallbacks*, void*) override { return 0; }
    int32_t Play(int32_t, int32_t) override { return 0; }
    int32_t Pause() override { return 0; }
    int32_t Stop(float) override { return 0; }
    int32_t Seek(int32_t) override { return 0; }
    int32_t SetMasterVolume(int32_t) override { return 0; }
    int32_t SetVolume(int32_t, float) override { return 0; }
    int32_t SetPan(int32_t, float) override { return 0; }
    int32_t SetRate(int32_t, float) override { return 0; }
    void GetName(char* destination) override { destination[0] = '\0'; }
    int32_t GetState() override { return kSoundPlaying; }
    int32_t GetPlayCount() override { return 0; }
    int32_t GetMasterVolume() override { return 0; }
    int32_t GetVolume() override { return 0; }
    int32_t GetPan() override { return 0; }
    int32_t GetRate() override { return 1000; }
    int32_t GetLevel(int32_t* left, int32_t* right) override {
        *left = -9000;
        *right = level;
        return 0;
    }
    void WaitThread() override {}
    void Close() override {}
};

class ModelHolderTest : public SceneGlobalsTest {
protected:
    void SetUp() override {
        SceneGlobalsTest::SetUp();
        folder_.Write(kModelPath, BuildLmf(MakeSampleCharacter()));
        g_PageStartClock = g_GameClock;
        ASSERT_EQ(holder_.LoadMesh(kModelPath), 0);
        holder_.SetupDefaultState();
    }
    void TearDown() override {
        SetBlinkRandom(nullptr);
        g_PageStartClock = 0;
        SceneGlobalsTest::TearDown();
    }
    static void Parse(CModelHolder* holder, const Bytes& payload) {
        CMemoryReadStream m(payload.bytes);
        CChunkReader reader(&m.stream, static_cast<uint32_t>(payload.size()));
        EXPECT_EQ(holder->ParseCommand(reader), 0);
        EXPECT_EQ(reader.Consumed(), payload.size());
    }
    // Renders at `pageTime` ms of the page without a target (the layer states step, nothing is
    // drawn).
    int32_t RenderAt(int32_t pageTime) {
        g_GameClock = g_PageStartClock + static_cast<uint32_t>(pageTime);
        return holder_.Render(nullptr);
    }
    int32_t Layers() const { return holder_.partCount; }

    SceneDevice scene_;
    CTempFolder folder_;
    CWorkingFolder working_{folder_.Path()};
    CModelHolder holder_;
};

TEST_F(ModelHolderTest, LoadGivesEveryLayerADefaultStateFromItsName) {
    ASSERT_EQ(Layers(), static_cast<int32_t>(MakeSampleCharacter().layers.size()));
    for (int32_t i = 0; i < Layers(); ++i) {
        const CModelPartState& part = holder_.parts[i];
        EXPECT_EQ(part.visible, 0u) << i;
        EXPECT_EQ(part.morphTarget, -1) << i;
        EXPECT_EQ(part.colour.value.a, 1.0f) << i;
    }
    EXPECT_EQ(holder_.parts[0].slot.kind, kSlotWear);
    EXPECT_EQ(holder_.parts[1].slot.value, 2);
    EXPECT_EQ(holder_.motion.Count(), 1);
    EXPECT_EQ(holder_.lipChannel, -1);
    EXPECT_EQ(holder_.blinkState, kBlinkOff);

    CModelHolder missing;
    EXPECT_EQ(missing.LoadMesh("Model/None.lmf"), -1);
    EXPECT_EQ(missing.partCount, 0);
    std::vector<uint8_t> cut = BuildLmf(MakeSampleCharacter());
    cut.resize(200);
    folder_.Write("Model/Cut.lmf", cut);
    EXPECT_EQ(missing.LoadMesh("Model/Cut.lmf"), -1);
    EXPECT_EQ(missing.parts, nullptr);
}

TEST_F(ModelHolderTest, ScriptFormSetsEachFieldAndSkipsWhatItCannotPlace) {
    Parse(&holder_, Static("POS ", {0, 1, 0}) + Bytes().Chunk("BLNK", Bytes().U32(1).I32(3).I32(4).I32(100)) +
                        Ints("LIPS", {5, 6, 2}) + Ints("ZCLR", {1}) +
                        Motion({{0, 10, 100, 500, 0}, {10, 0, 50, 0, 200}}) + Ints("JUNK", {7}) +
                        Bytes().Chunk("LAYR", Fade(1, 9, 9)) +  // no "LNO " before it
                        Layer(2, Animated("COLR", 0, {{0, {1, 0, 0, 1}}, {100, {0, 0, 1, 0.5f}}}) +
                                     Bytes().Chunk("MORP", Bytes().I32(4).U32(0).F32(0.25f)) + Fade(2, 500, 1000)) +
                        Layer(99, Fade(1, 1, 1)));
    EXPECT_EQ(holder_.position.value.y, 1.0f);
    EXPECT_EQ(holder_.position.animating, 0u);
    EXPECT_EQ(holder_.blinkState, kBlinkWaiting);
    EXPECT_EQ(holder_.blinkLayer, 3);
    EXPECT_EQ(holder_.blinkTargetLayer, 4);
    EXPECT_EQ(holder_.blinkPeriod, 100);
    EXPECT_EQ(holder_.lipLayer, 5);
    EXPECT_EQ(holder_.lipTargetLayer, 6);
    EXPECT_EQ(holder_.lipChannel, 2);
    EXPECT_EQ(holder_.depthClear, 1);
    ASSERT_EQ(holder_.motion.Count(), 2);
    EXPECT_EQ(holder_.motionStartPending, 1u) << "a page's motion restarts at the page start";
    for (int32_t i : {0, 1, 3}) EXPECT_EQ(holder_.parts[i].fadeMode, kFadeNone) << i;
    const CModelPartState& part = holder_.parts[2];
    EXPECT_EQ(part.colour.animating, 1u);
    EXPECT_EQ(part.colour.track.Count(), 2);
    EXPECT_EQ(part.colour.track.clampFlags, 0u);
    EXPECT_EQ(part.morphTarget, 4);
    EXPECT_EQ(part.morphWeight.value, 0.25f);
    EXPECT_EQ(part.fadeMode, kFadeOut);
    EXPECT_EQ(part.fadeTimes[0], 500u);
    EXPECT_EQ(part.fadeTimes[1], 1000u);
    EXPECT_EQ(holder_.GetMotionLength(), 1500 + 700);

    // The blink switched off; a motion without a playing speed ends the motion length; a
    // payload cut in the middle of a key keeps what came whole.
    Parse(&holder_, Ints("BLNK", {0}) + Motion({{0, 4, 10, 0, 0}, {0, 0, 0, 0, 0}, {0, 9, 10, 0, 0}}));
    EXPECT_EQ(holder_.blinkState, kBlinkOff);
    EXPECT_EQ(holder_.GetMotionLength(), 40);
    Bytes cut = Animated("ROT ", 0, {{0, {0, 0, 0}}, {1000, {0, 2, 0}}});
    cut.bytes.resize(cut.size() - 6);
    cut.bytes[4] = static_cast<uint8_t>(cut.size() - 8);
    Parse(&holder_, cut);
    EXPECT_EQ(holder_.rotation.track.Count(), 1);
}

TEST_F(ModelHolderTest, TracksAndFadesRunFromThePageStart) {
    Parse(&holder_, Static("POS ", {0, 1, 0}) + Animated("ROT ", 0, {{0, {0, 0, 0}}, {1000, {0, 1.5f, 0}}}) +
                        Layer(0, Fade(1, 500, 1000)) + Layer(7, Fade(2, 0, 800)));
    EXPECT_EQ(RenderAt(500) & kRunning, kRunning);
    EXPECT_FLOAT_EQ(holder_.rotation.value.y, 0.75f);
    EXPECT_FLOAT_EQ(g_ShaderContext.world.m[3][1], 1.0f) << "the position is the world's translation";
    EXPECT_EQ(holder_.parts[7].fadeMode, kFadeOut) << "a fade waits for its start";
    EXPECT_EQ(RenderAt(1000) & kRunning, kRunning) << "the fade in still runs";
    EXPECT_EQ(holder_.rotation.animating, 0u);
    EXPECT_FLOAT_EQ(holder_.rotation.value.y, 1.5f);
    EXPECT_EQ(holder_.parts[7].visible, 0u) << "a fade out of no duration ends hidden at its start";
    EXPECT_EQ(holder_.parts[0].visible, 0u);
    EXPECT_EQ(RenderAt(1499) & kRunning, kRunning);
    EXPECT_EQ(RenderAt(1500), 0);
    EXPECT_EQ(holder_.parts[0].visible, 1u);
    EXPECT_EQ(holder_.parts[0].fadeMode, kFadeNone);

    // The motion plays from the page start once the page stamps it, and reports while it plays.
    Parse(&holder_, Motion({{0, 10, 100, 500, 0}}));
    holder_.motionStart = g_PageStartClock;
    holder_.motionStartPending = 0;
    EXPECT_EQ(RenderAt(1200), kRunning) << "holding the last frame";
    EXPECT_EQ(RenderAt(1600), 0);

    // The lip-sync layer holds the text while it fades in or its weight track runs.
    Parse(&holder_, Ints("LIPS", {5, 6, 0}) + Layer(5, Fade(1, 100, 2000)));
    EXPECT_EQ(RenderAt(2050), ModelFrame::Animating | ModelFrame::HoldText);
    Parse(&holder_, Layer(5, Bytes().Chunk("MORP", Bytes().I32(6).U32(1).U32(0).U32(1).U32(3000).F32(1))));
    EXPECT_EQ(RenderAt(2500), ModelFrame::Animating | ModelFrame::HoldText);
    EXPECT_EQ(RenderAt(3000), 0) << "a weight track ends even on a layer drawn by its lip sync";
}

TEST_F(ModelHolderTest, BlinkClosesAndOpensOverItsPeriod) {
    static int draw = 50;
    SetBlinkRandom([] { return draw; });
    Parse(&holder_, Bytes().Chunk("BLNK", Bytes().U32(1).I32(3).I32(4).I32(100)));
    holder_.blinkPhaseStart = 1000;
    // Checks come every 300 ms; a draw of 10 or more keeps waiting.
    EXPECT_EQ(holder_.BlinkWeight(1299), 0.0f);
    EXPECT_EQ(holder_.BlinkWeight(1300), 0.0f);
    EXPECT_EQ(holder_.blinkState, kBlinkWaiting);
    EXPECT_EQ(holder_.blinkPhaseStart, 1300u);
    draw = 9;
    EXPECT_EQ(holder_.BlinkWeight(1600), 0.0f);
    EXPECT_EQ(holder_.blinkState, kBlinkClosing);
    const std::pair<uint32_t, float> steps[] = {{1650, 0.5f}, {1700, 1.0f}, {1725, 0.75f}, {1800, 0.0f}, {1801, 0.0f}};
    for (const auto& [now, weight] : steps) EXPECT_FLOAT_EQ(holder_.BlinkWeight(now), weight) << now;
    EXPECT_EQ(holder_.blinkState, kBlinkWaiting);

    // A period of 0 closes and opens at once instead of giving an undefined weight.
    holder_.blinkPeriod = 0;
    holder_.blinkState = kBlinkClosing;
    holder_.blinkPhaseStart = 5000;
    EXPECT_EQ(holder_.BlinkWeight(5000), 1.0f);
    EXPECT_EQ(holder_.BlinkWeight(5000), 0.0f);
    EXPECT_EQ(holder_.blinkState, kBlinkWaiting);
}

TEST_F(ModelHolderTest, LipSyncFollowsTheLouderChannelAtLimitedSpeed) {
    EXPECT_EQ(holder_.LipSyncWeight(100), 0.0f) << "no player: a closed mouth";
    CLevelPlayer player;
    holder_.lipPlayer = &player;
    holder_.lipTime = 1000;
    player.level = -2000;
    const std::pair<uint32_t, float> opening[] = {{1010, 0.1f}, {1050, 0.5f}, {1100, 1.0f}, {1200, 1.0f}};
    for (const auto& [now, weight] : opening) EXPECT_FLOAT_EQ(holder_.LipSyncWeight(now), weight) << now;
    player.level = -6000;
    const std::pair<uint32_t, float> closing[] = {{1300, 0.3f}, {1342, 0.006f}, {1400, 0.0f}};
    for (const auto& [now, weight] : closing) EXPECT_NEAR(holder_.LipSyncWeight(now), weight, 1e-5f) << now;
    EXPECT_EQ(holder_.lipTime, 1400u);
}

TEST_F(ModelHolderTest, FinishJumpsToTheEnds) {
    Parse(&holder_, Animated("SCAL", 0, {{0, {1, 1, 1}}, {800, {2, 3, 4}}}) + Animated("PIVO", 0, {}) +
                        Layer(0, Fade(1, 500, 0)) + Layer(2, Fade(2, 500, 0)) +
                        Layer(3, Animated("COLR", 0, {{0, {0, 0, 0, 0}}, {900, {0.5f, 0.5f, 0.5f, 1}}}) +
                                     Bytes().Chunk("MORP", Bytes().I32(4).U32(1).U32(0).U32(1).U32(90).F32(0.75f))) +
                        Motion({{0, 10, 100, 0, 0}}));
    holder_.Finish(2000);
    EXPECT_EQ(holder_.scale.value.z, 4.0f);
    EXPECT_EQ(holder_.scale.animating, 0u);
    EXPECT_EQ(holder_.pivot.animating, 0u) << "a track without keys leaves its value";
    EXPECT_EQ(holder_.pivot.value.x, 0.0f);
    EXPECT_EQ(holder_.motionStart, 0u - 2000u);
    EXPECT_EQ(holder_.motionStartPending, 0u) << "the page stamp does not undo the finish";
    EXPECT_EQ(holder_.parts[0].visible, 1u);
    EXPECT_EQ(holder_.parts[2].visible, 0u);
    EXPECT_EQ(holder_.parts[3].colour.value.a, 1.0f);
    EXPECT_EQ(holder_.parts[3].morphWeight.value, 0.75f);
    EXPECT_EQ(RenderAt(0), 0) << "nothing is left running";
}

TEST_F(ModelHolderTest, SavedFormKeepsCurrentValuesAndRestoresThem) {
    SetBlinkRandom([] { return 99; });  // the eyes stay open
    SetSaveKey(0x21);
    Parse(&holder_, Animated("ROT ", 0, {{0, {0, 0, 0}}, {1000, {0, 2, 0}}}) +
                        Bytes().Chunk("BLNK", Bytes().U32(1).I32(3).I32(4).I32(120)) + Ints("LIPS", {5, 6, 1}) +
                        Motion({{2, 8, 40, 100, 30}, {8, 0, 10, 0, 0}}) + Layer(0, Fade(1, 0, 0)) +
                        Layer(1, Bytes().Chunk("MORP", Bytes().I32(3).U32(0).F32(0.5f))) +
                        Layer(2, Static("COLR", {0.25f, 0.5f, 0.75f, 1})));
    RenderAt(250);
    CSaveChunkWriter counter(nullptr);
    holder_.Save(counter);
    const uint32_t layers = static_cast<uint32_t>(Layers());
    EXPECT_EQ(counter.Total(), 4 * 20 + 24 + 20 + 12 + 28 + layers * (12 + 56) + 4);

    CMemoryWriteStream memory;
    CSaveChunkWriter writer(&memory.stream);
    holder_.Save(writer);
    const std::vector<uint8_t> bytes = memory.Bytes();
    ASSERT_EQ(bytes.size(), counter.Total());

    CModelHolder restored;
    ASSERT_EQ(restored.LoadMesh(kModelPath), 0);
    restored.SetupDefaultState();
    CMemoryReadStream m(bytes);
    CChunkReader reader(&m.stream, static_cast<uint32_t>(bytes.size()), ReadSaveScrambled);
    restored.Restore(reader);
    EXPECT_FLOAT_EQ(restored.rotation.value.y, 0.5f) << "a running track comes back as its current value";
    EXPECT_EQ(restored.rotation.animating, 0u);
    EXPECT_EQ(restored.blinkState, kBlinkWaiting);
    EXPECT_EQ(restored.blinkPeriod, 120);
    EXPECT_EQ(restored.lipChannel, 1);
    SMotionSegment segment;
    ASSERT_EQ(restored.motion.Count(), 1) << "only the first segment is kept";
    restored.motion.GetAt(0, &segment);
    EXPECT_EQ(segment.totalMs, 6 * 40 + 100 + 30);
    EXPECT_EQ(restored.parts[0].visible, 1u);
    EXPECT_EQ(restored.parts[1].morphTarget, 3);
    EXPECT_EQ(restored.parts[1].morphWeight.value, 0.5f);
    EXPECT_EQ(restored.parts[2].colour.value.b, 0.75f);
    EXPECT_EQ(restored.parts[2].morphTarget, -1);

    // A layer number beyond the model is skipped.
    Bytes foreign = Layer(Layers() + 3, Ints("DFLG", {1}));
    SetSaveKey(0);
    CMemoryReadStream f(foreign.bytes);
    CChunkReader foreignReader(&f.stream, static_cast<uint32_t>(foreign.size()), ReadSaveScrambled);
    restored.Restore(foreignReader);
    EXPECT_EQ(foreignReader.Consumed(), foreign.size());
}

// A model layer drawn by the real model effect into the off-screen surface, copied to the
// model target and shown through the layer like a picture.
class ModelLayerTest : public ModelHolderTest {
protected:
    void SetUp() override {
        ModelHolderTest::SetUp();
        CGraphicsDevice* device = scene_.device;
        ASSERT_EQ(device->CreateRenderTarget(800, 600, Format::A8R8G8B8, &offscreen_), 0);
        ASSERT_EQ(device->GetBackBuffer(&back_), 0);
        SetModelEffectHooks(CreateModelEffect, ReleaseModelEffect);
        ASSERT_EQ(InitRenderContext(nullptr, nullptr, 1, back_, device, 0, offscreen_), 0);
        g_PageStartClock = g_GameClock = 10000;
    }
    // What the scene camera and lights upload every frame.
    static void ApplyCameraAndLights() {
        const SVector3 eye{0, 1.1f, -3.2f}, at{0, 1.0f, 0}, up{0, 1, 0};
        MatrixPerspectiveFovLH(&g_ShaderContext.projection, 0.8f, 800.0f / 600.0f, 0.1f, 100.0f);
        g_ShaderContext.SetCamera(eye, at, up);
        g_ShaderContext.SetAmbientLight({0.4f, 0.4f, 0.4f});
        g_ShaderContext.SetLight1({0.3f, -0.5f, 1.0f}, {0.8f, 0.8f, 0.8f});
    }
    void TearDown() override {
        layer_.Release();
        ClearRenderContext();
        SetModelEffectHooks(nullptr, nullptr);
        g_pEngineOffscreenSurface = nullptr;
        back_->Release();
        offscreen_->Release();
        ModelHolderTest::TearDown();
    }
    // Every layer fades in over `duration` from `start`.
    Bytes ShowAll(uint32_t duration, uint32_t start) const {
        Bytes payload;
        for (int32_t i = 0; i < Layers(); ++i) payload = payload + Layer(i, Fade(1, duration, start));
        return Bytes().Chunk("SOLD", payload);
    }
    int32_t DrawAt(int32_t pageTime) {
        g_GameClock = g_PageStartClock + static_cast<uint32_t>(pageTime);
        scene_.device->Clear(0, nullptr, ClearFlag::Target | ClearFlag::ZBuffer, 0, 1.0f, 0);  // as the adventure
        ApplyCameraAndLights();
        const int32_t result = layer_.Draw();
        if (const char* folder = std::getenv("MODEL_LAYER_PNG"))
            SaveSurfacePng(back_, (std::string(folder) + "/" + std::to_string(pageTime) + ".png").c_str());
        return result;
    }
    // The lit pixels' bounding box and summed green channel.
    struct SLit {
        int count = 0, left = 800, right = -1;
        long long green = 0;
    };
    SLit Lit() const {
        SLit lit;
        for (int y = 0; y < 600; ++y)
            for (int x = 0; x < 800; ++x) {
                const uint32_t p = scene_.Pixel(x, y);
                if (p == 0) continue;
                ++lit.count;
                lit.green += p >> 8 & 0xFF;
                lit.left = std::min(lit.left, x);
                lit.right = std::max(lit.right, x);
            }
        return lit;
    }

    CSurface* offscreen_ = nullptr;
    CSurface* back_ = nullptr;
    CImageLayer layer_;
};

TEST_F(ModelLayerTest, DrawsThroughTheLayerWithItsFadesAndPlacement) {
    ASSERT_EQ(ParseInto(&layer_, Bytes().ChunkStr("LOAD", kModelPath) + ShowAll(500, 1000)), 0);
    ASSERT_EQ(layer_.kind, LayerKind::Model);
    EXPECT_EQ(layer_.width, 800);
    layer_.visible = 1;
    EXPECT_EQ(DrawAt(900), kRunning);
    EXPECT_EQ(Lit().count, 0) << "a fade in draws nothing before its start";
    DrawAt(1250);
    const SLit half = Lit();
    EXPECT_EQ(DrawAt(1600), 0);
    const SLit full = Lit();
    EXPECT_GT(full.count, 2000) << "the character stands on screen";
    EXPECT_GT(half.count, 0);
    EXPECT_LT(half.green, full.green) << "half way through the fade the model is fainter";
    EXPECT_GT(full.left, 200);
    EXPECT_LT(full.right, 600);

    // Without a destination the model steps and draws nothing, not even into the current target.
    scene_.device->Clear(0, nullptr, ClearFlag::Target | ClearFlag::ZBuffer, 0, 1.0f, 0);
    ApplyCameraAndLights();
    EXPECT_EQ(layer_.model.Render(nullptr), 0);
    EXPECT_EQ(Lit().count, 0);

    // The layer's placement moves the copied picture; a frame drawn again is the same.
    ParseInto(&layer_, Ints("DPOS", {100, 0}));
    DrawAt(1700);
    const SLit moved = Lit();
    EXPECT_EQ(moved.left, full.left + 100);
    EXPECT_EQ(moved.count, full.count);

    // A device reset with the model on screen: the shell makes its off-screen target again, and
    // the model target and the effect are made again.
    ReleaseRenderTargets();
    back_->Release();
    offscreen_->Release();
    back_ = offscreen_ = nullptr;
    scene_.device->EndScene();
    ASSERT_EQ(scene_.device->Reset(800, 600), 0);
    ASSERT_EQ(scene_.device->GetBackBuffer(&back_), 0);
    ASSERT_EQ(scene_.device->CreateRenderTarget(800, 600, Format::A8R8G8B8, &offscreen_), 0);
    ASSERT_EQ(RestoreRenderTargets(back_, offscreen_), 0);
    ApplyDefaultRenderStates(scene_.device);  // as the shell does after every reset
    scene_.device->SetRenderState(RenderState::ZEnable, 0);
    scene_.device->SetRenderState(RenderState::SeparateAlphaBlendEnable, 1);
    scene_.device->SetRenderState(RenderState::BlendOpAlpha, BlendOp::Max);
    scene_.device->BeginScene();
    DrawAt(1800);
    EXPECT_EQ(Lit().count, moved.count);
}

TEST_F(ModelLayerTest, APartItsFadeHidesDrawsNeitherFillNorOutline) {
    // The head, an outlined sphere, morphs onto itself as the mouth of a lip sync.
    constexpr int32_t kHead = 2;
    const Bytes lips = Ints("LIPS", {kHead, kHead, 0}) + Layer(kHead, Fade(1, 500, 1000));
    ASSERT_EQ(ParseInto(&layer_, Bytes().ChunkStr("LOAD", kModelPath) + Bytes().Chunk("SOLD", lips)), 0);
    layer_.visible = 1;
    DrawAt(900);
    EXPECT_EQ(Lit().count, 0) << "nothing of the lip-sync layer before its fade in starts";
    DrawAt(1250);
    const SLit fading = Lit();
    DrawAt(1600);
    const SLit shown = Lit();
    EXPECT_GT(fading.count, 1000);
    EXPECT_EQ(fading.count, shown.count) << "the outline stands at full strength while the fill fades in";
    EXPECT_LT(fading.green, shown.green);

    // The same sphere as the eyes of a blink, on the frame their fade out ends.
    const Bytes blink =
        Ints("LIPS", {0, 0, -1}) + Ints("BLNK", {1, kHead, kHead, 100}) + Layer(kHead, Fade(2, 100, 2000));
    ParseInto(&layer_, Bytes().Chunk("SOLD", blink));
    DrawAt(2100);
    EXPECT_EQ(Lit().count, 0) << "nothing of the eyes as their fade out ends";
}

// The swatch model on the layer over a known background: what the same model drawn straight
// over the scene would show, worked out channel by channel from the colours (in 0-1).
class SwatchLayerTest : public ModelLayerTest {
protected:
    static constexpr uint32_t kGround = 0x336699;  // the background, as the back buffer holds it
    static constexpr int kNormalX = 218, kMultiplyX = 582, kRow = 300;  // inside each quad

    void SetUp() override {
        ModelLayerTest::SetUp();
        folder_.Write("Model/Swatches.lmf", BuildLmf(MakeSwatchModel()));
        const Bytes halfAlpha = Static("COLR", {1.0f, 1.0f, 1.0f, 0.5f});
        const Bytes parts = Layer(0, halfAlpha + Fade(1, 0, 0)) + Layer(1, Fade(1, 0, 0));
        ASSERT_EQ(ParseInto(&layer_, Bytes().ChunkStr("LOAD", "Model/Swatches.lmf") + Bytes().Chunk("SOLD", parts)), 0);
        layer_.visible = 1;
    }
    // Draws the layer over the background, seen from (0, 0, -2) with a vertical view of 60°.
    void DrawOverGround() {
        scene_.device->Clear(0, nullptr, ClearFlag::Target | ClearFlag::ZBuffer, kGround, 1.0f, 0);  // as the adventure
        MatrixPerspectiveFovLH(&g_ShaderContext.projection, 1.0471976f, 800.0f / 600.0f, 0.1f, 100.0f);
        g_ShaderContext.SetCamera({0, 0, -2}, {0, 0, 0}, {0, 1, 0});
        layer_.Draw();
    }
    static float Channel(uint32_t rgb, int c) { return static_cast<float>(rgb >> (16 - 8 * c) & 0xFF) / 255.0f; }
    // Expects the back buffer's pixel to hold expected(channel) (0-1) in each channel, to within
    // the rounding of the 8-bit steps.
    void ExpectPixel(int x, const std::function<float(int)>& expected, const char* what) const {
        const uint32_t pixel = scene_.Pixel(x, kRow);
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(Channel(pixel, c) * 255.0f, expected(c) * 255.0f, 1.0f) << what << ", channel " << c;
    }
    static float Ground(int c) { return Channel(kGround, c); }
    // The normal quad at alpha 0.5 over the ground, and the ground times the multiplying quad.
    static float Normal(int c) { return kSwatchNormalColour[c] * 0.5f + Ground(c) * 0.5f; }
    static float Multiplied(int c) { return Ground(c) * kSwatchMultiplyColour[c]; }
};

TEST_F(SwatchLayerTest, TranslucentAndMultiplyingSurfacesShowAsOverTheSceneBeneath) {
    DrawOverGround();
    ExpectPixel(kNormalX, Normal, "a part of alpha 0.5 at half its brightness");
    ExpectPixel(kMultiplyX, Multiplied, "a multiplying surface darkens the ground");
    EXPECT_EQ(scene_.Pixel(400, kRow), kGround) << "between the quads";
    EXPECT_EQ(scene_.Pixel(kNormalX, 100), kGround) << "above them";
    // The model pass put the engine's alpha blending back.
    EXPECT_EQ(scene_.device->GetRenderState(RenderState::SeparateAlphaBlendEnable), 1u);
    EXPECT_EQ(scene_.device->GetRenderState(RenderState::BlendOpAlpha), BlendOp::Max);
    EXPECT_EQ(scene_.device->GetRenderState(RenderState::SrcBlendAlpha), Blend::One);
    EXPECT_EQ(scene_.device->GetRenderState(RenderState::DestBlendAlpha), Blend::Zero);

    // The layer's own alpha weighs the composed model once: 128 / 255 of the way from the ground.
    ParseInto(&layer_, Bytes().Chunk("COLR", Bytes().U32(0x80FFFFFFu)));
    DrawOverGround();
    const auto faded = [](float (*full)(int)) {
        return [full](int c) { return Ground(c) + (full(c) - Ground(c)) * (128.0f / 255.0f); };
    };
    ExpectPixel(kNormalX, faded(Normal), "the translucent part, the layer at half alpha");
    ExpectPixel(kMultiplyX, faded(Multiplied), "the multiplying surface, the layer at half alpha");
}

// A layer that does not show its target in place cannot start it from the scene beneath: its
// translucent part still counts its alpha once, and a multiplying surface over nothing of the
// model leaves the scene as it is instead of drawing black.
TEST_F(SwatchLayerTest, AMovedLayerComposesOverTransparency) {
    ParseInto(&layer_, Ints("DPOS", {10, 0}));
    DrawOverGround();
    ExpectPixel(kNormalX + 10, Normal, "the moved translucent part");
    EXPECT_EQ(scene_.Pixel(kMultiplyX + 10, kRow), kGround);
}

TEST_F(ModelLayerTest, TheLayersFadeShowsTheModelWhileItRuns) {
    const Bytes fadeIn = Bytes().Chunk("EFEC", Bytes().U32(2).I32(0).U32(0).I32(400));
    ASSERT_EQ(ParseInto(&layer_, Bytes().ChunkStr("LOAD", kModelPath) + ShowAll(0, 0) + fadeIn), 0);
    layer_.StampEffectStart(g_PageStartClock);
    EXPECT_EQ(layer_.visible, 0u);
    EXPECT_EQ(DrawAt(200), LayerFrame::Animating | LayerFrame::HoldText) << "a hidden model renders for its effect";
    const SLit fading = Lit();
    EXPECT_EQ(DrawAt(400), 0);
    EXPECT_EQ(layer_.visible, 1u);
    DrawAt(500);
    const SLit shown = Lit();
    EXPECT_GT(fading.count, 0);
    EXPECT_LT(fading.green, shown.green);
}

TEST_F(ModelLayerTest, SavedLayerCarriesTheModelState) {
    ASSERT_EQ(ParseInto(&layer_, Bytes().ChunkStr("LOAD", kModelPath) + ShowAll(0, 0) +
                                     Bytes().Chunk("SOLD", Static("POS ", {0.5f, 0, 0}))),
              0);
    layer_.visible = 1;
    DrawAt(10);
    const std::vector<uint8_t> bytes = SavedBytes(layer_);
    CSaveChunkWriter counter(nullptr);
    layer_.model.Save(counter);
    EXPECT_EQ(bytes.size(), 161 + std::strlen(kModelPath) + 8 + counter.Total());

    CImageLayer restored;
    EXPECT_EQ(RestoreFrom(&restored, bytes), 0);
    EXPECT_EQ(restored.kind, LayerKind::Model);
    EXPECT_EQ(restored.model.position.value.x, 0.5f);
    for (int32_t i = 0; i < restored.model.partCount; ++i) EXPECT_EQ(restored.model.parts[i].visible, 1u) << i;
}

}  // namespace
