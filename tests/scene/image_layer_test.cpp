#include "scene/image_layer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/files/temp_folder.h"
#include "tests/scene/scene_test_util.h"

namespace {

using namespace scene_test;

constexpr int32_t kRunning = LayerFrame::Animating | LayerFrame::HoldText;

class LayerTest : public SceneGlobalsTest {
protected:
    // A layer as a successful LOAD leaves it, with a picture that names its texel positions.
    void Loaded(CImageLayer* layer, int32_t width, int32_t height, uint32_t side, const char* name = "a.bmp",
                uint32_t (*texel)(int, int) = SceneDevice::PositionTexel) {
        layer->Release();
        layer->texture = scene.MakeTexture(side, side, texel);
        layer->used = 1;
        layer->width = width;
        layer->height = height;
        std::strcpy(layer->name, name);
        layer->ResetGeometry();
    }
    void Shown(CImageLayer* layer, int32_t width, int32_t height, uint32_t side) {
        Loaded(layer, width, height, side);
        layer->visible = 1;
    }
    int32_t DrawFrame(CImageLayer* layer) {
        scene.Clear(0);
        return layer->Draw();
    }
    // Advances the game clock, draws, and checks the frame result and the pixels drawn.
    void ExpectFrame(CImageLayer* layer, uint32_t advance, int32_t result, int lit) {
        g_GameClock += advance;
        SCOPED_TRACE(g_GameClock);
        EXPECT_EQ(DrawFrame(layer), result);
        EXPECT_EQ(scene.CountLit(), lit);
    }
    uint32_t TexelAt(int x, int y) const { return scene.Pixel(x, y) | 0xFF000000u; }
    int Level() const { return static_cast<int>(scene.Pixel(5, 5) & 0xFF); }

    SceneDevice scene;
};

Bytes Effect(uint32_t kind, int32_t delay, uint32_t a, int32_t b = 0) {
    Bytes e;
    e.U32(kind).I32(delay).U32(a);
    if (kind == 2) e.I32(b);
    return Bytes().Chunk("EFEC", e);
}

TEST_F(LayerTest, DefaultGeometryCentresAndStandsOnTheBottomLine) {
    CImageLayer layer;
    Loaded(&layer, 800, 600, 1024);
    EXPECT_THAT(layer.pivot, FieldsAre(0, 0));
    EXPECT_THAT(layer.source, FieldsAre(0, 0, 800, 600));
    EXPECT_EQ(layer.visible, 0u);

    Shown(&layer, 1024, 600, 1024);
    EXPECT_THAT(layer.pivot, FieldsAre(-112, 0));
    DrawFrame(&layer);
    EXPECT_EQ(TexelAt(0, 0), SceneDevice::PositionTexel(112, 0));
    EXPECT_EQ(TexelAt(799, 599), SceneDevice::PositionTexel(911, 599));

    Shown(&layer, 401, 300, 512);
    EXPECT_THAT(layer.pivot, FieldsAre(199, 300));  // (800 - 401) × 0.5 truncated
    DrawFrame(&layer);
    EXPECT_EQ(TexelAt(199, 300), SceneDevice::PositionTexel(0, 0));
    EXPECT_EQ(scene.Pixel(198, 300), 0u);
    EXPECT_EQ(scene.Pixel(199, 299), 0u);
    EXPECT_EQ(scene.CountLit(), 401 * 300);
}

TEST_F(LayerTest, PlacementOffsetScaleRotationAndSource) {
    CImageLayer layer;
    Shown(&layer, 100, 50, 128);
    ParseInto(&layer, Ints("PIVO", {400, 300}) + Ints("DPOS", {-50, -25}) + Floats("SCAL", {2, 2}));
    DrawFrame(&layer);
    EXPECT_NE(scene.Pixel(300, 250), 0u);
    EXPECT_EQ(scene.Pixel(299, 250), 0u);
    EXPECT_NE(scene.Pixel(499, 349), 0u);
    EXPECT_EQ(scene.Pixel(500, 349), 0u);
    EXPECT_EQ(scene.Pixel(499, 350), 0u);
    EXPECT_EQ(scene.CountLit(), 200 * 100);

    // A positive angle turns clockwise: the picture's +x axis points down the screen.
    ParseInto(&layer, Ints("DPOS", {0, 0}) + Floats("SCAL", {1, 1}) + Floats("ANGL", {1.5707964f}));
    DrawFrame(&layer);
    const uint32_t below = scene.Pixel(380, 360);  // local (60, 20)
    EXPECT_NEAR(SceneDevice::TexelX(below), 60, 1);
    EXPECT_NEAR(SceneDevice::TexelY(below), 20, 1);
    EXPECT_EQ(scene.Pixel(380, 240), 0u);  // nothing above the pivot
    EXPECT_EQ(scene.Pixel(420, 360), 0u);  // nor to its right

    // The source rectangle picks the texels.
    ParseInto(&layer, Floats("ANGL", {0}) + Ints("PIVO", {0, 0}) + Ints("DREC", {10, 20, 30, 25}));
    DrawFrame(&layer);
    EXPECT_EQ(TexelAt(0, 0), SceneDevice::PositionTexel(10, 20));
    EXPECT_EQ(TexelAt(19, 4), SceneDevice::PositionTexel(29, 24));
    EXPECT_EQ(scene.CountLit(), 20 * 5);
}

TEST_F(LayerTest, DamagedGeometryDrawsNothingWrong) {
    const Bytes cases[] = {
        Floats("SCAL", {NAN, 1}), Floats("ANGL", {INFINITY}), Ints("DREC", {INT32_MIN, 0, INT32_MAX, 50}),
        Ints("DPOS", {INT32_MAX, INT32_MIN}),
        // Negative and huge (but bounded) rectangles and scales go to the rasteriser, which
        // clips them.
        Ints("DREC", {-5000, -5000, 5000, -9000}), Floats("SCAL", {1e30f, -1e30f}),
        Ints("DREC", {-5000, -5000, 5000, -9000}) + Floats("SCAL", {1e30f, -1e30f})};
    CImageLayer layer;
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        Shown(&layer, 100, 50, 128);
        ParseInto(&layer, cases[i]);
        EXPECT_EQ(DrawFrame(&layer), 0);
        if (i < 4) {
            EXPECT_EQ(scene.CountLit(), 0);
        }
    }
}

TEST_F(LayerTest, EffectsRunFromThePageStartAfterTheirDelay) {
    CImageLayer layer;
    Loaded(&layer, 16, 16, 16);
    EXPECT_EQ(ParseInto(&layer, Ints("PIVO", {10, 10}) + Effect(1, 500, 1)), 0);
    ExpectFrame(&layer, 0, kRunning, 0);  // before the page-start stamp
    layer.StampEffectStart(g_GameClock);
    ExpectFrame(&layer, 499, kRunning, 0);
    ExpectFrame(&layer, 1, 0, 256);  // the cut in shows from the first frame after the delay
    EXPECT_EQ(layer.visible, 1u);
    EXPECT_EQ(layer.effect, nullptr);
    ExpectFrame(&layer, 0, 0, 256);

    // A fade in up to the layer's alpha, drawn in white.
    Loaded(&layer, 16, 16, 16, "white.bmp", [](int, int) { return 0xFFFFFFFFu; });
    ParseInto(&layer, Ints("PIVO", {0, 0}) + Bytes().ChunkU32("COLR", 0x80FFFFFF) + Effect(2, 0, 0, 1000));
    layer.StampEffectStart(g_GameClock);
    ExpectFrame(&layer, 500, kRunning, 256);
    EXPECT_NEAR(Level(), 0x40, 1);
    ExpectFrame(&layer, 500, 0, 256);
    EXPECT_NEAR(Level(), 0x80, 1);
    EXPECT_EQ(layer.visible, 1u);

    // A fade out that ends hides the layer, and its last frame draws nothing.
    ParseInto(&layer, Effect(2, 0, 1, 300));
    layer.StampEffectStart(g_GameClock);
    ExpectFrame(&layer, 299, kRunning, 0);  // 1/300 of half alpha rounds to nothing
    ExpectFrame(&layer, 1, 0, 0);
    EXPECT_EQ(layer.visible, 0u);

    // Finishing takes the end state without a last frame.
    ParseInto(&layer, Effect(2, 10000, 0, 300));
    layer.FinishEffect();
    EXPECT_EQ(layer.visible, 1u);
    EXPECT_EQ(layer.effect, nullptr);

    // A shown layer whose effect waits for its delay is drawn as it stands, holding the text.
    ParseInto(&layer, Effect(2, 200, 1, 300));
    layer.StampEffectStart(g_GameClock);
    ExpectFrame(&layer, 199, kRunning, 256);
    EXPECT_NEAR(Level(), 0x80, 1);
}

TEST_F(LayerTest, EffectsReplaceEachOtherAndUnknownKindsAreSkipped) {
    CImageLayer layer;
    Loaded(&layer, 16, 16, 16);
    ParseInto(&layer, Effect(2, 100, 0, 1000) + Effect(1, 300, 1));
    ASSERT_NE(layer.effect, nullptr);
    EXPECT_EQ(layer.effect->GetType(), EffectType::Cut);
    EXPECT_EQ(layer.effectDelay, 300);

    IEffecter9* cut = layer.effect;
    layer.startPending = 0;
    ParseInto(&layer, Ints("EFEC", {9, 700, 1, 2}));
    EXPECT_EQ(layer.effect, cut);
    EXPECT_EQ(layer.effectDelay, 700);  // stored before the kind was known
    EXPECT_EQ(layer.startPending, 0u);

    // A truncated EFEC still makes its effect with the defaults it could not read.
    ParseInto(&layer, Ints("EFEC", {2, 0}));
    ASSERT_EQ(layer.effect->GetType(), EffectType::Fade);
    uint32_t params[IEffecter9::kMaxParams];
    layer.effect->GetParams(params);
    EXPECT_EQ(params[0], 0u);
    EXPECT_EQ(params[1], 1000u);
}

TEST_F(LayerTest, LoadCommandsAndTheirFailures) {
    CImageLayer layer;
    // Geometry before LOAD is overwritten; geometry after it stays; a failed load leaves a
    // used 0 × 0 layer and the command reports -1 after reading everything.
    EXPECT_EQ(ParseInto(&layer, Ints("PIVO", {5, 6}) + Ints("COLR", {0x12345678}) +
                                    Bytes().ChunkStr("LOAD", "Image\\missing.bmp") + Ints("DMOD", {4}) +
                                    Effect(1, 0, 1)),
              -1);
    EXPECT_EQ(layer.used, 1u);
    EXPECT_STREQ(layer.name, "Image\\missing.bmp");
    EXPECT_THAT(layer.pivot, FieldsAre(400, 600));  // reset for a 0 × 0 picture
    EXPECT_EQ(layer.colour, 0xFFFFFFFFu);
    EXPECT_EQ(layer.blendMode, 4u);
    EXPECT_NE(layer.effect, nullptr);

    // The same name in another case: nothing is reloaded, no failure, geometry reset and the
    // pending effect dropped.
    Loaded(&layer, 64, 32, 64, "Image\\Bg01.bmp");
    CTexture* texture = layer.texture;
    ParseInto(&layer, Effect(2, 0, 0, 100) + Floats("SCAL", {3, 3}));
    EXPECT_EQ(ParseInto(&layer, Bytes().ChunkStr("LOAD", "IMAGE\\bg01.BMP")), 0);
    EXPECT_EQ(layer.texture, texture);
    EXPECT_EQ(layer.effect, nullptr);
    EXPECT_EQ(layer.scale.x, 1.0f);
    EXPECT_EQ(layer.pivot.x, 368);

    // A model name goes to the picture loader while models are not usable.
    EXPECT_EQ(ParseInto(&layer, Bytes().ChunkStr("LOAD", "Model\\girl.LMF")), -1);
    EXPECT_EQ(layer.kind, LayerKind::Picture);
    g_bModelsUsable = 1;
    EXPECT_EQ(ParseInto(&layer, Bytes().ChunkStr("LOAD", "Model\\boy.lmf")), -1);
    EXPECT_EQ(layer.kind, LayerKind::Model);
    EXPECT_EQ(layer.width, 0);

    // A name longer than the field is cut; RLAS frees the layer.
    ParseInto(&layer, Bytes().ChunkStr("LOAD", std::string(400, 'x')));
    EXPECT_EQ(std::strlen(layer.name), kLayerNameSize - 1);
    ParseInto(&layer, Bytes().Empty("RLAS"));
    EXPECT_EQ(layer.used, 0u);
    EXPECT_EQ(layer.name[0], '\0');
    EXPECT_EQ(layer.texture, nullptr);
    EXPECT_EQ(DrawFrame(&layer), 0);
}

TEST_F(LayerTest, SavedFormFollowsTheTable) {
    CImageLayer layer;
    EXPECT_EQ(SavedBytes(layer), Bytes().ChunkU32("EFLG", 0).bytes);

    Loaded(&layer, 64, 32, 64, "Image\\Bg01.bmp");
    const Bytes placement = Ints("DPOS", {-3, 4}) + Ints("PIVO", {368, 568}) + Ints("DREC", {1, 2, 30, 31}) +
                            Floats("SCAL", {0.5f, 2.0f}) + Floats("ANGL", {0.25f}) + Bytes().ChunkU32("COLR", 0xC0FF8040) +
                            Ints("DMOD", {2}) + Ints("FILT", {1});
    ParseInto(&layer, placement + Effect(1, 0, 1));
    layer.visible = 1;
    SetSaveKey(0x21);
    const std::vector<uint8_t> bytes = SavedBytes(layer, 3);
    const Bytes expected =
        Bytes().Raw("\xAA\xAA\xAA", 3).ChunkU32("EFLG", 1).ChunkStr("FNAM", "Image\\Bg01.bmp").ChunkU32("DFLG", 1) +
        placement + Bytes().Empty("EFEC");
    ASSERT_EQ(bytes.size(), 3u + 161 + 14);
    EXPECT_TRUE(std::equal(bytes.begin() + 3, bytes.end(), Unscrambled(expected.bytes).begin() + 3));

    // Restored over a layer that holds the same picture: the saved geometry wins, no effect
    // is pending, and no reload is needed.
    CImageLayer restored;
    Loaded(&restored, 64, 32, 64, "image\\bg01.bmp");
    ParseInto(&restored, Effect(2, 0, 0, 100));
    EXPECT_EQ(RestoreFrom(&restored, bytes, 3), 0);
    EXPECT_EQ(restored.effect, nullptr);
    EXPECT_EQ(restored.visible, 1u);
    EXPECT_THAT(restored.offset, FieldsAre(-3, 4));
    EXPECT_THAT(restored.source, FieldsAre(1, 2, 30, 31));
    EXPECT_THAT(restored.scale, FieldsAre(0.5f, 2.0f));
    EXPECT_EQ(restored.colour, 0xC0FF8040u);
    EXPECT_EQ(restored.filter, 1u);
    EXPECT_STREQ(restored.name, "Image\\Bg01.bmp");

    // EDIS drops a pending effect; a restore that reads used 0 frees the layer.
    SetSaveKey(0);
    ParseInto(&restored, Effect(1, 0, 1));
    EXPECT_EQ(RestoreFrom(&restored, Bytes().Empty("EDIS").ChunkU32("ZZZZ", 1).bytes), 0);
    EXPECT_EQ(restored.effect, nullptr);
    EXPECT_EQ(RestoreFrom(&restored, Bytes().ChunkU32("EFLG", 0).bytes), 0);
    EXPECT_EQ(restored.used, 0u);
    EXPECT_EQ(restored.texture, nullptr);
}

// Pictures from loose files: a hand-written TEYL file (magic, width, height, pixels).
TEST_F(LayerTest, LoadsPicturesAndReloadsThemOnRestore) {
    CTempFolder folder;
    CWorkingFolder working(folder.Path());
    Bytes teyl;
    teyl.Tag("TEYL").U32(3).U32(2);
    for (uint32_t i = 0; i < 6; ++i) teyl.U32(0xFF102030u + i);
    folder.Write("Image/Chara.bmp", teyl.bytes);

    CImageLayer layer;
    EXPECT_EQ(ParseInto(&layer, Bytes().ChunkStr("LOAD", "image\\CHARA.bmp") + Effect(1, 0, 1)), 0);
    EXPECT_THAT(layer.pivot, FieldsAre(398, 598));
    layer.StampEffectStart(g_GameClock);
    ExpectFrame(&layer, 0, 0, 6);
    EXPECT_EQ(scene.Pixel(400, 599), 0x102035u);  // the last pixel of the picture

    // Restored on an empty layer, the picture is loaded again and placed as saved.
    ParseInto(&layer, Ints("PIVO", {7, 8}) + Floats("SCAL", {2, 3}));
    CImageLayer restored;
    EXPECT_EQ(RestoreFrom(&restored, SavedBytes(layer)), 0);
    EXPECT_EQ(restored.effect, nullptr);
    ExpectFrame(&restored, 0, 0, 6 * 6);
    EXPECT_EQ(scene.Pixel(12, 13), 0x102035u);

    // A picture that is gone fails the restore after the whole payload was read.
    CImageLayer missing;
    const Bytes gone = Bytes().ChunkU32("EFLG", 1).ChunkStr("FNAM", "Image\\Gone.bmp").ChunkU32("DFLG", 1);
    EXPECT_EQ(RestoreFrom(&missing, gone.bytes), -1);
    EXPECT_EQ(missing.visible, 1u);
    EXPECT_EQ(missing.width, 0);
}

TEST_F(LayerTest, MainLayerShowsTheSceneTarget) {
    CImageLayer main;
    main.InitMainLayer();
    EXPECT_EQ(main.visible, 0u);
    EXPECT_EQ(SavedBytes(main).size(), 161u);

    CTexture* target = nullptr;
    CSurface* surface = nullptr;
    CSurface* back = nullptr;
    ASSERT_EQ(scene.device->CreateTexture(1024, 1024, 1, Usage::RenderTarget, Format::A8R8G8B8, Pool::Default,
                                          &target),
              0);
    target->GetSurfaceLevel(0, &surface);
    scene.device->SetRenderTarget(surface);
    scene.device->Clear(0, nullptr, ClearFlag::Target, 0xFF336699u, 1.0f, 0);
    scene.device->GetBackBuffer(&back);
    scene.device->SetRenderTarget(back);
    back->Release();
    g_pSceneTargetTexture = target;
    main.visible = 1;
    DrawFrame(&main);
    EXPECT_EQ(scene.Pixel(0, 0), 0x336699u);
    EXPECT_EQ(scene.Pixel(799, 599), 0x336699u);
    g_pSceneTargetTexture = nullptr;
    scene.device->SetTexture(0, nullptr);
    surface->Release();
    target->Release();
}

}  // namespace
