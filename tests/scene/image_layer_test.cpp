#include "scene/image_layer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "files/scrambled_io.h"
#include "tests/files/temp_folder.h"
#include "tests/scene/scene_device.h"
#include "tests/scene/scene_test_util.h"

namespace {

using scene_test::Bytes;


using scene_test::SceneDevice;

class LayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_GameClock = 10000;
        g_bModelsUsable = 0;
        std::memset(g_SaveKey, 0, sizeof g_SaveKey);
    }
    void TearDown() override {
        g_GameClock = 0;
        g_bModelsUsable = 0;
        std::memset(g_SaveKey, 0, sizeof g_SaveKey);
    }

    // A layer as a successful LOAD leaves it, with a picture that names its texel positions.
    void Loaded(CImageLayer* layer, int32_t width, int32_t height, uint32_t textureSide, const char* name = "a.bmp") {
        layer->Release();
        layer->texture = scene.MakeTexture(textureSide, textureSide, SceneDevice::PositionTexel);
        layer->kind = LayerKind::Picture;
        layer->used = 1;
        layer->width = width;
        layer->height = height;
        std::strcpy(layer->name, name);
        layer->ResetGeometry();
    }

    int32_t Parse(CImageLayer* layer, const Bytes& payload) {
        CMemoryReadStream m(payload.bytes);
        uint32_t read = 0;
        const int32_t result = layer->ParseCommand(&m.stream, static_cast<uint32_t>(payload.size()), &read);
        EXPECT_EQ(read, payload.size());
        EXPECT_EQ(m.stream.LogicalPosition(), static_cast<int64_t>(payload.size()));
        return result;
    }

    void DrawFrame(CImageLayer* layer, int32_t* result = nullptr) {
        scene.Clear(0);
        const int32_t r = layer->Draw();
        if (result) *result = r;
    }

    SceneDevice scene;
};

Bytes Effect(uint32_t kind, int32_t delay, uint32_t a, int32_t b = 0) {
    Bytes e;
    e.U32(kind).I32(delay).U32(a);
    if (kind == 2) e.I32(b);
    return e;
}

TEST_F(LayerTest, DefaultGeometryCentresAndStandsOnTheBottomLine) {
    CImageLayer wide;
    Loaded(&wide, 1024, 600, 1024);
    EXPECT_EQ(wide.pivot.x, -112);
    EXPECT_EQ(wide.pivot.y, 0);
    EXPECT_EQ(wide.visible, 0u);
    wide.visible = 1;
    DrawFrame(&wide);
    EXPECT_EQ(SceneDevice::TexelX(scene.Pixel(0, 0)), 112);
    EXPECT_EQ(SceneDevice::TexelX(scene.Pixel(799, 599)), 911);
    EXPECT_EQ(SceneDevice::TexelY(scene.Pixel(799, 599)), 599);

    CImageLayer full;
    Loaded(&full, 800, 600, 1024);
    EXPECT_EQ(full.pivot.x, 0);
    EXPECT_EQ(full.pivot.y, 0);
    EXPECT_EQ(full.source.right, 800);
    EXPECT_EQ(full.source.bottom, 600);

    CImageLayer small;
    Loaded(&small, 401, 300, 512);
    EXPECT_EQ(small.pivot.x, 199);  // (800 - 401) × 0.5 truncated
    EXPECT_EQ(small.pivot.y, 300);
    small.visible = 1;
    DrawFrame(&small);
    EXPECT_EQ(scene.Pixel(199, 300), SceneDevice::PositionTexel(0, 0) & 0xFFFFFF);
    EXPECT_EQ(scene.Pixel(198, 300), 0u);
    EXPECT_EQ(scene.Pixel(199, 299), 0u);
    EXPECT_EQ(scene.CountOtherThan(0), 401 * 300);
}

TEST_F(LayerTest, PlacementOffsetScaleRotationAndSource) {
    CImageLayer layer;
    Loaded(&layer, 100, 50, 128);
    layer.visible = 1;
    Parse(&layer, Bytes()
                      .Chunk("PIVO", Bytes().U32(400).U32(300))
                      .Chunk("DPOS", Bytes().I32(-50).I32(-25))
                      .Chunk("SCAL", Bytes().F32(2.0f).F32(2.0f)));
    DrawFrame(&layer);
    EXPECT_NE(scene.Pixel(300, 250), 0u);
    EXPECT_EQ(scene.Pixel(299, 250), 0u);
    EXPECT_NE(scene.Pixel(499, 349), 0u);
    EXPECT_EQ(scene.Pixel(500, 349), 0u);
    EXPECT_EQ(scene.Pixel(499, 350), 0u);
    EXPECT_EQ(scene.CountOtherThan(0), 200 * 100);

    // A positive angle turns clockwise: the picture's +x axis points down the screen.
    Parse(&layer, Bytes()
                      .Chunk("DPOS", Bytes().U32(0).U32(0))
                      .Chunk("SCAL", Bytes().F32(1.0f).F32(1.0f))
                      .Chunk("ANGL", Bytes().F32(1.5707964f)));
    DrawFrame(&layer);
    const uint32_t below = scene.Pixel(380, 360);  // local (60, 20)
    EXPECT_NEAR(SceneDevice::TexelX(below), 60, 1);
    EXPECT_NEAR(SceneDevice::TexelY(below), 20, 1);
    EXPECT_EQ(scene.Pixel(380, 240), 0u);  // nothing above the pivot
    EXPECT_EQ(scene.Pixel(420, 360), 0u);  // nor to its right

    // The source rectangle picks the texels.
    Parse(&layer, Bytes()
                      .Chunk("ANGL", Bytes().F32(0.0f))
                      .Chunk("PIVO", Bytes().U32(0).U32(0))
                      .Chunk("DREC", Bytes().U32(10).U32(20).U32(30).U32(25)));
    DrawFrame(&layer);
    EXPECT_EQ(scene.Pixel(0, 0), SceneDevice::PositionTexel(10, 20) & 0xFFFFFF);
    EXPECT_EQ(scene.Pixel(19, 4), SceneDevice::PositionTexel(29, 24) & 0xFFFFFF);
    EXPECT_EQ(scene.CountOtherThan(0), 20 * 5);
}

TEST_F(LayerTest, DamagedGeometryDrawsNothingWrong) {
    CImageLayer layer;
    Loaded(&layer, 100, 50, 128);
    layer.visible = 1;
    const Bytes cases[] = {
        Bytes().Chunk("SCAL", Bytes().U32(0x7FC00000).F32(1.0f)),             // NaN
        Bytes().Chunk("ANGL", Bytes().U32(0x7F800000)),                        // infinity
        Bytes().Chunk("DREC", Bytes().I32(INT32_MIN).U32(0).I32(INT32_MAX).U32(50)),
        Bytes().Chunk("DPOS", Bytes().I32(INT32_MAX).I32(INT32_MIN)),
    };
    for (const Bytes& payload : cases) {
        CImageLayer fresh;
        Loaded(&fresh, 100, 50, 128);
        fresh.visible = 1;
        Parse(&fresh, payload);
        DrawFrame(&fresh);
        EXPECT_EQ(scene.CountOtherThan(0), 0);
    }
    // Negative and huge (but bounded) rectangles go to the rasteriser, which clips them.
    Parse(&layer, Bytes().Chunk("DREC", Bytes().I32(-5000).I32(-5000).U32(5000).I32(-9000)));
    DrawFrame(&layer);
    Parse(&layer, Bytes().Chunk("SCAL", Bytes().F32(1e30f).F32(-1e30f)));
    DrawFrame(&layer);
}

TEST_F(LayerTest, CutInWithDelayShowsFromTheFirstFrameAfterTheDelay) {
    CImageLayer layer;
    Loaded(&layer, 16, 16, 16);
    EXPECT_EQ(Parse(&layer, Bytes().Chunk("PIVO", Bytes().U32(10).U32(10)).Chunk("EFEC", Effect(1, 500, 1))), 0);
    EXPECT_EQ(layer.startPending, 1u);
    int32_t result = 0;
    DrawFrame(&layer, &result);  // drawn before the page-start stamp
    EXPECT_EQ(result, LayerFrame::Animating | LayerFrame::HoldText);
    layer.StampEffectStart(g_GameClock);
    EXPECT_EQ(layer.startPending, 0u);
    g_GameClock += 499;
    DrawFrame(&layer, &result);
    EXPECT_EQ(result, 3);
    EXPECT_EQ(scene.CountOtherThan(0), 0);
    g_GameClock += 1;
    DrawFrame(&layer, &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(layer.visible, 1u);
    EXPECT_EQ(layer.effect, nullptr);
    EXPECT_EQ(scene.CountOtherThan(0), 256);
    DrawFrame(&layer, &result);
    EXPECT_EQ(scene.CountOtherThan(0), 256);
}

TEST_F(LayerTest, FadesThroughTheLayer) {
    CImageLayer layer;
    layer.used = 1;
    layer.width = layer.height = 16;
    layer.texture = scene.MakeTexture(16, 16, [](int, int) { return 0xFFFFFFFFu; });
    layer.ResetGeometry();
    layer.pivot = SPoint{0, 0};
    Parse(&layer, Bytes().Chunk("COLR", Bytes().U32(0x80FFFFFF)).Chunk("EFEC", Effect(2, 0, 0, 1000)));
    layer.StampEffectStart(g_GameClock);
    int32_t result = 0;
    g_GameClock += 500;
    DrawFrame(&layer, &result);
    EXPECT_EQ(result, 3);
    EXPECT_NEAR(static_cast<int>(scene.Pixel(5, 5) & 0xFF), 0x40, 1);
    g_GameClock += 500;
    DrawFrame(&layer, &result);
    EXPECT_EQ(result, 0);
    EXPECT_NEAR(static_cast<int>(scene.Pixel(5, 5) & 0xFF), 0x80, 1);
    EXPECT_EQ(layer.visible, 1u);

    // A fade out that ends hides the layer, and its last frame draws nothing.
    Parse(&layer, Bytes().Chunk("EFEC", Effect(2, 0, 1, 300)));
    layer.StampEffectStart(g_GameClock);
    g_GameClock += 299;
    DrawFrame(&layer, &result);
    EXPECT_EQ(result, 3);
    g_GameClock += 1;
    DrawFrame(&layer, &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(layer.visible, 0u);
    EXPECT_EQ(scene.CountOtherThan(0), 0);

    // Finishing takes the end state without a last frame.
    Parse(&layer, Bytes().Chunk("EFEC", Effect(2, 10000, 0, 300)));
    layer.FinishEffect();
    EXPECT_EQ(layer.visible, 1u);
    EXPECT_EQ(layer.effect, nullptr);

    // A shown layer whose effect waits for its delay is drawn as it stands, holding the text.
    Parse(&layer, Bytes().Chunk("EFEC", Effect(2, 200, 1, 300)));
    layer.StampEffectStart(g_GameClock);
    g_GameClock += 199;
    DrawFrame(&layer, &result);
    EXPECT_EQ(result, LayerFrame::Animating | LayerFrame::HoldText);
    EXPECT_NEAR(static_cast<int>(scene.Pixel(5, 5) & 0xFF), 0x80, 1);
}

TEST_F(LayerTest, EffectsReplaceEachOtherAndUnknownKindsAreSkipped) {
    CImageLayer layer;
    Loaded(&layer, 16, 16, 16);
    Parse(&layer, Bytes().Chunk("EFEC", Effect(2, 100, 0, 1000)));
    IEffecter9* fade = layer.effect;
    ASSERT_NE(fade, nullptr);
    Parse(&layer, Bytes().Chunk("EFEC", Effect(2, 200, 1, 50)));
    EXPECT_EQ(layer.effect, fade);  // the same object, new parameters
    EXPECT_EQ(layer.effect->GetEndState(), EffectEndState::Hidden);
    EXPECT_EQ(layer.effectDelay, 200);
    Parse(&layer, Bytes().Chunk("EFEC", Effect(1, 300, 1)));
    ASSERT_NE(layer.effect, nullptr);
    EXPECT_EQ(layer.effect->GetType(), EffectType::Cut);

    IEffecter9* cut = layer.effect;
    layer.startPending = 0;
    Parse(&layer, Bytes().Chunk("EFEC", Bytes().U32(9).U32(700).U32(1).U32(2)));
    EXPECT_EQ(layer.effect, cut);
    EXPECT_EQ(layer.effectDelay, 700);  // stored before the kind was known
    EXPECT_EQ(layer.startPending, 0u);

    // A truncated EFEC still makes its effect with the defaults it could not read.
    Parse(&layer, Bytes().Chunk("EFEC", Bytes().U32(2).U32(0)));
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
    const Bytes payload = Bytes()
                              .Chunk("PIVO", Bytes().U32(5).U32(6))
                              .Chunk("COLR", Bytes().U32(0x12345678))
                              .Chunk("LOAD", Bytes().Str("Image\\missing.bmp"))
                              .Chunk("DMOD", Bytes().U32(4))
                              .Chunk("EFEC", Effect(1, 0, 1));
    EXPECT_EQ(Parse(&layer, payload), -1);
    EXPECT_EQ(layer.used, 1u);
    EXPECT_STREQ(layer.name, "Image\\missing.bmp");
    EXPECT_EQ(layer.width, 0);
    EXPECT_EQ(layer.height, 0);
    EXPECT_EQ(layer.pivot.x, 400);
    EXPECT_EQ(layer.pivot.y, 600);
    EXPECT_EQ(layer.colour, 0xFFFFFFFFu);
    EXPECT_EQ(layer.blendMode, 4u);
    EXPECT_NE(layer.effect, nullptr);

    // The same name in another case: nothing is reloaded, no failure, geometry reset and the
    // pending effect dropped.
    Loaded(&layer, 64, 32, 64, "Image\\Bg01.bmp");
    CTexture* texture = layer.texture;
    Parse(&layer, Bytes().Chunk("EFEC", Effect(2, 0, 0, 100)).Chunk("SCAL", Bytes().F32(3).F32(3)));
    EXPECT_EQ(Parse(&layer, Bytes().Chunk("LOAD", Bytes().Str("IMAGE\\bg01.BMP"))), 0);
    EXPECT_EQ(layer.texture, texture);
    EXPECT_EQ(layer.effect, nullptr);
    EXPECT_EQ(layer.scale.x, 1.0f);
    EXPECT_EQ(layer.width, 64);
    EXPECT_EQ(layer.pivot.x, 368);

    // A model name goes to the picture loader while models are not usable.
    EXPECT_EQ(Parse(&layer, Bytes().Chunk("LOAD", Bytes().Str("Model\\girl.LMF"))), -1);
    EXPECT_EQ(layer.kind, LayerKind::Picture);
    g_bModelsUsable = 1;
    EXPECT_EQ(Parse(&layer, Bytes().Chunk("LOAD", Bytes().Str("Model\\boy.lmf"))), -1);
    EXPECT_EQ(layer.kind, LayerKind::Model);
    EXPECT_EQ(layer.width, 0);
    g_bModelsUsable = 0;

    // A name longer than the field is cut; RLAS frees the layer.
    const std::string longName(400, 'x');
    Parse(&layer, Bytes().Chunk("LOAD", Bytes().Str(longName)));
    EXPECT_EQ(std::strlen(layer.name), kLayerNameSize - 1);
    Parse(&layer, Bytes().Chunk("RLAS", Bytes()));
    EXPECT_EQ(layer.used, 0u);
    EXPECT_EQ(layer.name[0], '\0');
    EXPECT_EQ(layer.texture, nullptr);
    int32_t result = -1;
    DrawFrame(&layer, &result);
    EXPECT_EQ(result, 0);
}

TEST_F(LayerTest, SavedFormFollowsTheTable) {
    CImageLayer layer;
    uint32_t size = 0;
    layer.Save(nullptr, &size);
    EXPECT_EQ(size, 12u);
    EXPECT_EQ(scene_test::WrittenBytes([&](CWriteStream* s) { layer.Save(s, &size); }),
              Bytes().Chunk("EFLG", Bytes().U32(0)).bytes);

    Loaded(&layer, 64, 32, 64, "Image\\Bg01.bmp");
    Parse(&layer, Bytes()
                      .Chunk("DPOS", Bytes().I32(-3).U32(4))
                      .Chunk("DREC", Bytes().U32(1).U32(2).U32(30).U32(31))
                      .Chunk("SCAL", Bytes().F32(0.5f).F32(2.0f))
                      .Chunk("ANGL", Bytes().F32(0.25f))
                      .Chunk("COLR", Bytes().U32(0xC0FF8040))
                      .Chunk("DMOD", Bytes().U32(2))
                      .Chunk("FILT", Bytes().U32(1))
                      .Chunk("EFEC", Effect(1, 0, 1)));
    layer.visible = 1;
    layer.Save(nullptr, &size);
    EXPECT_EQ(size, 161u + 14u);
    for (uint8_t i = 0; i < 32; ++i) g_SaveKey[i] = static_cast<uint8_t>(i * 11 + 1);
    const std::vector<uint8_t> bytes = scene_test::WrittenBytes([&](CWriteStream* s) {
        uint32_t written = 0;
        layer.Save(s, &written);
        EXPECT_EQ(written, size);
    }, 3);
    Bytes expected;
    expected.Raw("\0\0\0", 3);
    expected.Chunk("EFLG", Bytes().U32(1));
    expected.Chunk("FNAM", Bytes().Str("Image\\Bg01.bmp"));
    expected.Chunk("DFLG", Bytes().U32(1));
    expected.Chunk("DPOS", Bytes().I32(-3).U32(4));
    expected.Chunk("PIVO", Bytes().U32(368).U32(568));
    expected.Chunk("DREC", Bytes().U32(1).U32(2).U32(30).U32(31));
    expected.Chunk("SCAL", Bytes().F32(0.5f).F32(2.0f));
    expected.Chunk("ANGL", Bytes().F32(0.25f));
    expected.Chunk("COLR", Bytes().U32(0xC0FF8040));
    expected.Chunk("DMOD", Bytes().U32(2));
    expected.Chunk("FILT", Bytes().U32(1));
    expected.Chunk("EFEC", Bytes());
    std::vector<uint8_t> plain = scene_test::Unscrambled(bytes, g_SaveKey);
    ASSERT_EQ(plain.size(), expected.size());
    EXPECT_TRUE(std::equal(plain.begin() + 3, plain.end(), expected.bytes.begin() + 3));

    // Restored over a layer that holds the same picture: the saved geometry wins, no effect
    // is pending, and no reload is needed.
    CImageLayer restored;
    Loaded(&restored, 64, 32, 64, "image\\bg01.bmp");
    Parse(&restored, Bytes().Chunk("EFEC", Effect(2, 0, 0, 100)));
    CMemoryReadStream m(bytes);
    m.stream.Fill(static_cast<uint32_t>(bytes.size()));
    uint8_t skip[3];
    m.stream.Read(skip, 3);
    uint32_t read = 0;
    EXPECT_EQ(restored.Restore(&m.stream, size, &read), 0);
    EXPECT_EQ(read, size);
    EXPECT_EQ(restored.effect, nullptr);
    EXPECT_EQ(restored.visible, 1u);
    EXPECT_EQ(restored.offset.x, -3);
    EXPECT_EQ(restored.source.bottom, 31);
    EXPECT_EQ(restored.scale.y, 2.0f);
    EXPECT_EQ(restored.colour, 0xC0FF8040u);
    EXPECT_EQ(restored.filter, 1u);
    EXPECT_STREQ(restored.name, "Image\\Bg01.bmp");

    // A restore that reads used 0 frees the layer; EDIS drops a pending effect.
    std::memset(g_SaveKey, 0, sizeof g_SaveKey);
    Parse(&restored, Bytes().Chunk("EFEC", Effect(1, 0, 1)));
    Bytes edis;
    edis.Chunk("EDIS", Bytes()).Chunk("ZZZZ", Bytes().U32(1));
    CMemoryReadStream e(edis.bytes);
    restored.Restore(&e.stream, static_cast<uint32_t>(edis.size()), &read);
    EXPECT_EQ(restored.effect, nullptr);
    Bytes freed = Bytes().Chunk("EFLG", Bytes().U32(0));
    CMemoryReadStream f(freed.bytes);
    EXPECT_EQ(restored.Restore(&f.stream, static_cast<uint32_t>(freed.size()), &read), 0);
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
    EXPECT_EQ(Parse(&layer, Bytes().Chunk("LOAD", Bytes().Str("image\\CHARA.bmp")).Chunk("EFEC", Effect(1, 0, 1))), 0);
    EXPECT_EQ(layer.used, 1u);
    EXPECT_EQ(layer.kind, LayerKind::Picture);
    EXPECT_EQ(layer.width, 3);
    EXPECT_EQ(layer.height, 2);
    EXPECT_EQ(layer.pivot.x, 398);
    EXPECT_EQ(layer.pivot.y, 598);
    ASSERT_NE(layer.texture, nullptr);
    layer.StampEffectStart(g_GameClock);
    DrawFrame(&layer);
    EXPECT_EQ(scene.Pixel(400, 599), 0x102035u);  // the last pixel of the picture
    EXPECT_EQ(scene.CountOtherThan(0), 6);

    Parse(&layer, Bytes().Chunk("PIVO", Bytes().U32(7).U32(8)).Chunk("SCAL", Bytes().F32(2).F32(3)));
    uint32_t size = 0;
    const std::vector<uint8_t> saved = scene_test::WrittenBytes([&](CWriteStream* s) { layer.Save(s, &size); });
    CImageLayer restored;
    CMemoryReadStream m(saved);
    uint32_t read = 0;
    EXPECT_EQ(restored.Restore(&m.stream, size, &read), 0);
    EXPECT_NE(restored.texture, nullptr);
    EXPECT_EQ(restored.width, 3);
    EXPECT_EQ(restored.pivot.x, 7);
    EXPECT_EQ(restored.scale.y, 3.0f);
    EXPECT_EQ(restored.visible, 1u);
    EXPECT_EQ(restored.effect, nullptr);

    // A picture that is gone fails the restore after the whole payload was read.
    CImageLayer missing;
    Bytes gone;
    gone.Chunk("EFLG", Bytes().U32(1)).Chunk("FNAM", Bytes().Str("Image\\Gone.bmp")).Chunk("DFLG", Bytes().U32(1));
    CMemoryReadStream g(gone.bytes);
    EXPECT_EQ(missing.Restore(&g.stream, static_cast<uint32_t>(gone.size()), &read), -1);
    EXPECT_EQ(read, gone.size());
    EXPECT_EQ(missing.visible, 1u);
    EXPECT_EQ(missing.width, 0);
}

TEST_F(LayerTest, MainLayerShowsTheSceneTarget) {
    CImageLayer main;
    main.InitMainLayer();
    EXPECT_EQ(main.kind, LayerKind::SceneTarget);
    EXPECT_EQ(main.used, 1u);
    EXPECT_EQ(main.pivot.x, 0);
    EXPECT_EQ(main.pivot.y, 0);
    EXPECT_EQ(main.source.right, 800);
    EXPECT_EQ(main.visible, 0u);
    uint32_t size = 0;
    main.Save(nullptr, &size);
    EXPECT_EQ(size, 161u);

    CTexture* target = nullptr;
    ASSERT_EQ(scene.device->CreateTexture(1024, 1024, 1, Usage::RenderTarget, Format::A8R8G8B8, Pool::Default,
                                          &target),
              0);
    CSurface* surface = nullptr;
    target->GetSurfaceLevel(0, &surface);
    scene.device->SetRenderTarget(surface);
    scene.device->Clear(0, nullptr, ClearFlag::Target, 0xFF336699u, 1.0f, 0);
    CSurface* back = nullptr;
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
