// The .lmf loader: the sample character through writer and loader, foreign chunks at every
// level, padded textures, OpenModelStream's loose file and archive entry, and damaged files
// that are refused or clamped.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

#include "files/loaders.h"
#include "model/lmf_model.h"
#include "model/shader_context.h"
#include "platform/graphics.h"
#include "platform/message_box.h"
#include "tests/files/temp_folder.h"
#include "tests/support/graphics_support.h"
#include "tools/lib/chunk_writer.h"
#include "tools/lib/memory_stream.h"
#include "tools/lib/pack_writer.h"
#include "tools/lib/sample_models.h"

namespace {

using Bytes = std::vector<uint8_t>;

SLmfForeignChunk Foreign(const char* tag, size_t size) { return {tag, Bytes(size, 0x5A)}; }

// The file with the u16 count of the first chunk tagged `tag` replaced.
Bytes CountPatched(Bytes bytes, const char (&tag)[5], uint16_t count) {
    const Bytes reversed = {uint8_t(tag[3]), uint8_t(tag[2]), uint8_t(tag[1]), uint8_t(tag[0])};
    auto at = std::search(bytes.begin(), bytes.end(), reversed.begin(), reversed.end());
    if (at != bytes.end()) at[8] = static_cast<uint8_t>(count), at[9] = static_cast<uint8_t>(count >> 8);
    return bytes;
}

// One layer with one triangle on one surface, and two nodes.
SLmfModelData SmallModel() {
    SLmfModelData model;
    model.layers.resize(1);
    SLmfMeshData& mesh = model.layers[0].meshes.emplace_back();
    mesh.vertices.resize(3);
    mesh.indices = {0, 1, 2};
    model.surfaces.resize(1);
    model.nodes.resize(2);
    model.nodes[1].parent = 0;
    return model;
}

class LmfLoader : public ::testing::Test {
protected:
    void SetUp() override { device_ = MakeTestDevice(16, 16); }
    void TearDown() override {
        model_.Free();
        device_->Release();
    }
    int32_t Load(const Bytes& bytes) {
        CStreamCallbacks callbacks;
        void* source = NewMemorySource(bytes.data(), bytes.size(), &callbacks);
        return model_.LoadStream(device_, callbacks, source);
    }
    bool IsEmpty() const {
        return model_.layers.empty() && model_.nodes.empty() && model_.surfaces.empty() && model_.cameras.empty() &&
               model_.lightGroups.empty();
    }

    CGraphicsDevice* device_ = nullptr;
    CLmfModel model_;
};

void ExpectFloats(const float* actual, const float* expected, int n, const char* what) {
    for (int i = 0; i < n; ++i) EXPECT_EQ(actual[i], expected[i]) << what << " [" << i << "]";
}

void ExpectTexture(const CLmfTexture& loaded, const SLmfTextureData& written) {
    ASSERT_EQ(loaded.width, written.width);
    ASSERT_EQ(loaded.height, written.height);
    if (written.width == 0) return;
    ASSERT_NE(loaded.texture, nullptr);
    const uint32_t side = LmfTextureSide(written.width, written.height);
    EXPECT_EQ(loaded.texture->Width(), side);
    EXPECT_EQ(loaded.texture->Height(), side);
    const CSurface* level = loaded.texture->Level0();
    for (uint32_t y = 0; y < side; ++y)
        for (uint32_t x = 0; x < side; ++x) {
            const bool inside = x < static_cast<uint32_t>(written.width) && y < static_cast<uint32_t>(written.height);
            ASSERT_EQ(SurfacePixel(level, x, y), inside ? written.pixels[y * written.width + x] : 0u) << x << "," << y;
        }
}

void ExpectRoundTrip(const CLmfModel& model, const SLmfModelData& data) {
    ASSERT_EQ(model.layers.size(), data.layers.size());
    for (size_t l = 0; l < data.layers.size(); ++l) {
        const CLmfLayer& layer = model.layers[l];
        const SLmfLayerData& written = data.layers[l];
        EXPECT_EQ(layer.name, written.name + '\0') << "stored as the file holds it";
        ExpectFloats(&layer.boxMin.x, written.box, 3, "box min");
        ExpectFloats(&layer.boxMax.x, written.box + 3, 3, "box max");
        EXPECT_EQ(layer.show, written.show);
        EXPECT_EQ(layer.ownNode, written.ownNode.value_or(0));
        EXPECT_EQ(layer.ownSlot, written.ownSlot.value_or(0));
        ASSERT_EQ(layer.meshes.size(), written.meshes.size());
        for (size_t m = 0; m < written.meshes.size(); ++m) {
            const CLmfMesh& mesh = layer.meshes[m];
            ASSERT_EQ(mesh.VertexCount(), written.meshes[m].vertices.size());
            ASSERT_EQ(0,
                      std::memcmp(mesh.vertices.data(), written.meshes[m].vertices.data(), mesh.vertices.size() * 80));
            EXPECT_EQ(mesh.indices, written.meshes[m].indices);
            EXPECT_EQ(mesh.surface, written.meshes[m].surface);
        }
        ASSERT_EQ(layer.bones.size(), written.bones.size());
        for (size_t b = 0; b < written.bones.size(); ++b) {
            EXPECT_EQ(layer.bones[b].name, written.bones[b].name + '\0');
            ExpectFloats(&layer.bones[b].restDirection.x, written.bones[b].restDirection, 3, "rest direction");
            EXPECT_EQ(layer.bones[b].restLength, written.bones[b].restLength);
            EXPECT_EQ(layer.bones[b].node, written.bones[b].node);
        }
        ASSERT_EQ(layer.palette.size(), written.palette.size());
        for (size_t p = 0; p < written.palette.size(); ++p) {
            EXPECT_EQ(layer.palette[p].node, written.palette[p].node);
            EXPECT_EQ(layer.palette[p].slot, written.palette[p].slot);
        }
    }
    ASSERT_EQ(model.nodes.size(), data.nodes.size());
    for (size_t n = 0; n < data.nodes.size(); ++n) {
        const CLmfNode& node = model.nodes[n];
        const SLmfNodeData& written = data.nodes[n];
        ExpectFloats(&node.inverseRest.m[0][0], written.inverseRest, 16, "inverse rest");
        ExpectFloats(&node.pivot.x, written.pivot, 3, "pivot");
        EXPECT_EQ(node.parentIndex, written.parent.value_or(kLmfNone));
        EXPECT_EQ(node.parent, written.parent ? &model.nodes[*written.parent] : nullptr);
        for (int c = 0; c < kChannelCount; ++c) {
            const CLmfChannel& channel = node.channels[c];
            ASSERT_EQ(channel.keys.size(), written.channels[c].keys.size()) << "node " << n << " channel " << c;
            EXPECT_EQ(channel.pre, written.channels[c].pre);
            EXPECT_EQ(channel.post, written.channels[c].post);
            for (size_t k = 0; k < channel.keys.size(); ++k) {
                const SLmfKeyData& key = written.channels[c].keys[k];
                EXPECT_EQ(channel.keys[k].frame, key.frame);
                EXPECT_EQ(channel.keys[k].value, key.value);
                EXPECT_EQ(channel.keys[k].shape, key.shape);
                ExpectFloats(channel.keys[k].params, key.params, 6, "key parameters");
            }
        }
    }
    ASSERT_EQ(model.surfaces.size(), data.surfaces.size());
    for (size_t s = 0; s < data.surfaces.size(); ++s) {
        const CLmfSurface& surface = model.surfaces[s];
        const SLmfSurfaceData& written = data.surfaces[s];
        EXPECT_EQ(surface.name, written.name + '\0');
        EXPECT_EQ(surface.shadingType, written.shadingType);
        EXPECT_EQ(surface.blendMode, written.blendMode);
        ExpectFloats(&surface.diffuse.r, written.diffuse, 4, "diffuse");
        EXPECT_EQ(surface.emissive, written.emissive);
        EXPECT_EQ(surface.specular, written.specular);
        EXPECT_EQ(surface.power, written.power);
        EXPECT_EQ(surface.twoSided, written.twoSided);
        ExpectFloats(&surface.edgeColour.r, written.edgeColour, 4, "edge colour");
        EXPECT_EQ(surface.edgeSize, written.edgeSize);
        ExpectTexture(surface.texture, written.texture);
        ExpectTexture(surface.toon, written.toon);
    }
    ASSERT_EQ(model.cameras.size(), data.cameras.size());
    for (size_t c = 0; c < data.cameras.size(); ++c) {
        EXPECT_EQ(model.cameras[c].name, data.cameras[c].name + '\0');
        EXPECT_EQ(model.cameras[c].fovY, data.cameras[c].fovY);
        EXPECT_EQ(model.cameras[c].node, data.cameras[c].node);
    }
    EXPECT_EQ(model.lightGroups.size(), data.lightGroups.size());
}

}  // namespace

// The sample character uses every chunk of the format; foreign chunks before the known ones of
// every record, one of them larger than the 64 KiB stream buffer, must not disturb them.
TEST_F(LmfLoader, SampleCharacterRoundTripsWithForeignChunksAtEveryLevel) {
    SLmfModelData data = MakeSampleCharacter();
    data.layers[0].foreign.push_back(Foreign("LXXX", 70000));
    data.layers[0].meshes[0].foreign.push_back(Foreign("MXXX", 9));
    data.layers[0].bones[0].foreign.push_back(Foreign("BXXX", 3));
    data.nodes[kCharacterHead].foreign.push_back(Foreign("NXXX", 5));
    data.nodes[kCharacterHead].channels[kChannelRotationX].foreign.push_back(Foreign("CXXX", 1));
    data.surfaces[0].foreign.push_back(Foreign("SXXX", 7));
    data.surfaces[0].texture.foreign.push_back(Foreign("TXXX", 66000));
    data.cameras[0].foreign.push_back(Foreign("KXXX", 2));
    ASSERT_EQ(Load(BuildLmf(data)), 0);
    ExpectRoundTrip(model_, data);
    EXPECT_EQ(model_.surfaces[0].texture.texture->Width(), 128u) << "100 x 60 pads to 128";
    EXPECT_TRUE(model_.nodes[kCharacterHips].channels[kChannelPositionX].keys.empty());
    EXPECT_TRUE(model_.CanMorph(kCharacterEyesOpen, kCharacterEyesClosed));
    EXPECT_TRUE(model_.CanMorph(kCharacterMouthClosed, kCharacterMouthOpen));
    EXPECT_FALSE(model_.CanMorph(kCharacterEyesOpen, kCharacterMouthOpen)) << "other vertex counts";
    EXPECT_FALSE(model_.CanMorph(kCharacterEyesOpen, 99));
}

TEST_F(LmfLoader, FileAndArchiveEntryThroughOpenModelStream) {
    CTempFolder folder;
    CWorkingFolder working(folder.Path());
    SuppressMessageBoxWindows(true);
    TakeShownMessages();
    const Bytes character = BuildLmf(MakeSampleCharacter());
    ASSERT_EQ(WritePackArchive("Image.pac", {{"Model/A.lmf", character}, {"Model/Loose.lmf", BuildLmf(SmallModel())}}),
              0);
    folder.Write("Model/Loose.lmf", character);
    CArchiveParams params{};
    std::strcpy(params.names[kImageArchive], "Image.pac");
    params.errorMask = kReportPictures;
    OpenArchives(&params, nullptr);

    ASSERT_EQ(OpenModelStream(&model_, device_, "Model/A.lmf"), 0);
    EXPECT_EQ(model_.layers.size(), MakeSampleCharacter().layers.size());
    CTexture* first = model_.surfaces[0].texture.texture;
    first->AddRef();
    ASSERT_EQ(OpenModelStream(&model_, device_, "Model/Loose.lmf"), 0) << "the loose file wins";
    EXPECT_EQ(model_.layers.size(), MakeSampleCharacter().layers.size());
    EXPECT_EQ(first->Release(), 0u) << "the second load released the first model's textures";
    EXPECT_TRUE(TakeShownMessages().empty());

    EXPECT_EQ(OpenModelStream(&model_, device_, "Model/Missing.lmf"), -1);
    EXPECT_TRUE(IsEmpty());
    EXPECT_EQ(TakeShownMessages().size(), 1u);
    CloseArchives();
}

TEST_F(LmfLoader, TexturesArePaddedSquaresOfPowersOfTwo) {
    const std::pair<int32_t, int32_t> sizes[][2] = {{{300, 200}, {512, 512}},
                                                    {{256, 256}, {256, 256}},
                                                    {{1, 1}, {1, 1}},
                                                    {{3, 17}, {32, 32}},
                                                    {{1024, 1}, {1024, 1024}}};
    for (const auto& [size, square] : sizes) EXPECT_EQ(LmfTextureSide(size.first, size.second), square.first);

    SLmfModelData data = SmallModel();
    data.surfaces[0].texture.width = 300;
    data.surfaces[0].texture.height = 200;
    for (int i = 0; i < 300 * 200; ++i) data.surfaces[0].texture.pixels.push_back(0xFF000000u | i);
    // A toon ramp's square is large beside its pixels, and the allowance has room for it.
    data.surfaces[0].toon = {1024, 1, std::vector<uint32_t>(1024, 0xFF808080u), {}};
    ASSERT_EQ(Load(BuildLmf(data)), 0);
    ExpectTexture(model_.surfaces[0].texture, data.surfaces[0].texture);
    ExpectTexture(model_.surfaces[0].toon, data.surfaces[0].toon);
    EXPECT_EQ(LmfTextureAllowance(0), kLmfTextureSlackBytes);
    EXPECT_EQ(LmfTextureAllowance(uint64_t{1} << 40), kLmfTextureCeilingBytes);
}

// Some files carry a texture of 0 x 0 pixels as a placeholder: it becomes a 1 x 1 texture that
// holds what the texture was created with (transparent black), and the surface draws with it.
TEST_F(LmfLoader, ZeroByZeroTextureLoadsAsOneTexelAndDraws) {
    SLmfModelData data = SmallModel();
    // With identity matrices the triangle covers the whole target in clip space.
    const float corners[3][3] = {{-1.0f, -1.0f, 0.5f}, {-1.0f, 3.0f, 0.5f}, {3.0f, -1.0f, 0.5f}};
    for (int v = 0; v < 3; ++v) std::copy(corners[v], corners[v] + 3, data.layers[0].meshes[0].vertices[v].position);
    data.surfaces[0].twoSided = 1;
    data.surfaces[0].blendMode = 2;  // DestColor/Zero: the target is multiplied by the texel
    data.surfaces[0].texture.placeholder = true;
    ASSERT_EQ(Load(BuildLmf(data)), 0);
    const CLmfTexture& texture = model_.surfaces[0].texture;
    EXPECT_EQ(texture.width, 0);
    EXPECT_EQ(texture.height, 0);
    ASSERT_NE(texture.texture, nullptr);
    EXPECT_EQ(texture.texture->Width(), 1u);
    EXPECT_EQ(texture.texture->Height(), 1u);
    EXPECT_EQ(SurfacePixel(texture.texture->Level0(), 0, 0), 0u);

    // Every fragment passes the alpha test, so the white target shows what the texel multiplies.
    CShaderContext context;
    ASSERT_EQ(context.Create(device_), 0);
    CSurface* target = nullptr;
    ASSERT_EQ(device_->CreateRenderTarget(16, 16, Format::A8R8G8B8, &target), 0);
    device_->SetRenderTarget(target);
    device_->SetRenderState(RenderState::AlphaFunc, Cmp::Always);
    device_->Clear(0, nullptr, ClearFlag::Target | ClearFlag::ZBuffer, 0xFFFFFFFFu, 1.0f, 0);
    device_->BeginScene();
    EXPECT_EQ(model_.DrawLayer(device_, 0, context, nullptr, 0), 0);
    device_->EndScene();
    device_->SetTexture(0, nullptr);
    int32_t untouched = 0;
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16; ++x) untouched += SurfacePixel(target, x, y) != 0u;
    EXPECT_EQ(untouched, 0);
    target->Release();
}

// Values that would make the drawing index outside its palette or the animation divide by zero
// are clamped; record chunks without or beyond their count are skipped.
TEST_F(LmfLoader, ClampsBlendIndicesAndUnorderedKeysAndSkipsUncountedRecords) {
    SLmfModelData data = SmallModel();
    const float indices[3][4] = {{NAN, 79.5f, 80.0f, -1.0f}, {0, 1, 2, 3}, {INFINITY, 5, 5, 5}};
    for (int v = 0; v < 3; ++v) {
        std::copy(indices[v], indices[v] + 4, data.layers[0].meshes[0].vertices[v].blendIndices);
        std::fill(data.layers[0].meshes[0].vertices[v].blendWeights,
                  data.layers[0].meshes[0].vertices[v].blendWeights + 4, 0.25f);
    }
    for (int frame : {0, 10, 10, 5, 20, -3, 30}) {
        SLmfKeyData key;
        key.frame = frame;
        key.value = static_cast<float>(frame);
        data.nodes[0].channels[kChannelScaleY].keys.push_back(key);
    }
    ASSERT_EQ(Load(BuildLmf(data)), 0);
    const SLmfVertex* v = model_.layers[0].meshes[0].vertices.data();
    const float expectedIndices[3][4] = {{0, 79.5f, 0, 0}, {0, 1, 2, 3}, {0, 5, 5, 5}};
    const float expectedWeights[3][4] = {{0, 0.25f, 0, 0}, {0.25f, 0.25f, 0.25f, 0.25f}, {0, 0.25f, 0.25f, 0.25f}};
    for (int i = 0; i < 3; ++i) {
        ExpectFloats(v[i].blendIndices, expectedIndices[i], 4, "blend indices");
        ExpectFloats(v[i].blendWeights, expectedWeights[i], 4, "blend weights");
    }
    std::vector<int32_t> frames;
    for (const CLmfKey& key : model_.nodes[0].channels[kChannelScaleY].keys) frames.push_back(key.frame);
    EXPECT_EQ(frames, (std::vector<int32_t>{0, 10, 20, 30}));

    // A record before any count, a record beyond the count, a count payload of four bytes and
    // a LIGT whose inner chunks are passed over before the camera that follows.
    CChunkWriter w(CChunkWriter::TagOrder::Reversed);
    w.Tag("LMD3");
    w.U32(0);
    auto surface = [&](uint32_t shading) {
        w.Begin("SURF");
        w.U32Chunk("STYP", shading);
        w.End();
    };
    surface(9);
    w.Header("SRFN", 4);
    w.U32(0x77770001);
    surface(3);
    surface(4);
    w.Header("LITN", 2);
    w.U16(1);
    w.Begin("LIGT");
    w.U32Chunk("LTYP", 1);
    w.End();
    w.Header("CAMN", 2);
    w.U16(1);
    w.Begin("CAM ");
    w.Header("FOVY", 4);
    w.F32(0.5f);
    w.End();
    Bytes bytes = w.Data();
    const uint32_t body = static_cast<uint32_t>(bytes.size() - 8);
    std::memcpy(&bytes[4], &body, 4);
    ASSERT_EQ(Load(bytes), 0);
    ASSERT_EQ(model_.surfaces.size(), 1u);
    EXPECT_EQ(model_.surfaces[0].shadingType, 3u);
    EXPECT_EQ(model_.lightGroups.size(), 1u);
    ASSERT_EQ(model_.cameras.size(), 1u);
    EXPECT_EQ(model_.cameras[0].fovY, 0.5f);
}

// Each damaged file fails the load and leaves the model empty.
TEST_F(LmfLoader, RefusesDamagedFiles) {
    const Bytes good = BuildLmf(SmallModel());
    ASSERT_EQ(Load(good), 0);
    auto withModel = [](const std::function<void(SLmfModelData&)>& change) {
        SLmfModelData data = SmallModel();
        change(data);
        return BuildLmf(data);
    };
    auto patched = [&](size_t offset, std::initializer_list<uint8_t> patch) {
        Bytes bytes = good;
        std::copy(patch.begin(), patch.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
        return bytes;
    };
    Bytes truncated(good.begin(), good.end() - 10);
    Bytes shortBody = good;  // the last chunk runs past the body
    const uint32_t body = static_cast<uint32_t>(good.size() - 18);
    std::memcpy(&shortBody[4], &body, 4);
    Bytes countWithoutRoom = good;  // LYRN claims 1000 layers in a file with room for a few
    countWithoutRoom[16] = 0xE8, countWithoutRoom[17] = 0x03;
    ASSERT_EQ(std::string(good.begin() + 8, good.begin() + 12), "NRYL");
    Bytes oneByteCount = good;
    oneByteCount[12] = 1;
    const std::pair<const char*, Bytes> cases[] = {
        {"another magic", patched(0, {'3', 'D', 'M', 'X'})},
        {"a body size beyond the file", patched(4, {0xFF, 0xFF, 0, 0})},
        {"a file cut short", truncated},
        {"a chunk running past the body", shortBody},
        {"a count larger than its payload can hold", countWithoutRoom},
        {"a count chunk of one byte", oneByteCount},
        {"a triangle index beyond the vertices",
         withModel([](SLmfModelData& d) { d.layers[0].meshes[0].indices[1] = 3; })},
        {"a surface index beyond the surfaces", withModel([](SLmfModelData& d) { d.layers[0].meshes[0].surface = 1; })},
        {"an own node beyond the nodes", withModel([](SLmfModelData& d) { d.layers[0].ownNode = 2; })},
        {"a palette node beyond the nodes", withModel([](SLmfModelData& d) {
             d.layers[0].palette.push_back({7, 0});
         })},
        {"a parent beyond the nodes", withModel([](SLmfModelData& d) { d.nodes[1].parent = 5; })},
        {"a node that is its own parent", withModel([](SLmfModelData& d) { d.nodes[0].parent = 0; })},
        {"two nodes parenting each other", withModel([](SLmfModelData& d) { d.nodes[0].parent = 1; })},
        {"a negative texture size",
         withModel([](SLmfModelData& d) { d.surfaces[0].texture.width = -4, d.surfaces[0].texture.height = 2; })},
        {"a texture larger than the device allows", withModel([](SLmfModelData& d) {
             d.surfaces[0].texture = {9000, 1, std::vector<uint32_t>(9000), {}};
         })},
        {"a texture whose pixels the file cannot hold",
         withModel([](SLmfModelData& d) { d.surfaces[0].texture.width = d.surfaces[0].texture.height = 8000; })},
        {"a thin texture whose square takes 256 MiB for 32 KiB of pixels", withModel([](SLmfModelData& d) {
             d.surfaces[0].texture = {1, 8192, std::vector<uint32_t>(8192), {}};
         })},
        {"thin textures that pass the allowance together", withModel([](SLmfModelData& d) {
             d.surfaces.resize(8);
             for (SLmfSurfaceData& surface : d.surfaces) surface.toon = {1024, 1, std::vector<uint32_t>(1024), {}};
         })},
        {"a vertex count the mesh cannot hold", CountPatched(good, "VTXN", 40)},
        {"a key count the channel cannot hold",
         CountPatched(withModel([](SLmfModelData& d) { d.nodes[0].channels[0].keys.resize(1); }), "KEYN", 2)},
    };
    for (const auto& [what, bytes] : cases) {
        EXPECT_EQ(Load(bytes), -1) << what;
        EXPECT_TRUE(IsEmpty()) << what;
    }
    SLmfModelData noNodes = SmallModel();
    noNodes.nodes.clear();
    noNodes.layers[0].palette.push_back({7, 3});
    EXPECT_EQ(Load(BuildLmf(noNodes)), 0) << "node indices are not used without nodes";
    EXPECT_EQ(model_.LoadFile(device_, "no/such/file.lmf"), -1);
}

TEST_F(LmfLoader, SampleGameModelsLoadFromImagePac) {
    CPackArchive archive;
    ASSERT_EQ(archive.Open((std::string(TEST_BINARY_DIR) + "/game/Image.pac").c_str()), 0);
    g_pArchives[kImageArchive] = &archive;
    EXPECT_EQ(OpenModelStream(&model_, device_, "Image/Model/Character.lmf"), 0);
    EXPECT_EQ(model_.nodes.size(), kCharacterNodeCount);
    EXPECT_EQ(OpenModelStream(&model_, device_, "Image/Model/Column.lmf"), 0);
    EXPECT_EQ(model_.nodes.size(), static_cast<size_t>(kDenseModelNodes));
    ASSERT_EQ(model_.layers.size(), 1u);
    EXPECT_GE(model_.layers[0].meshes[0].TriangleCount(), 10000u);
    g_pArchives[kImageArchive] = nullptr;
}

// The character samples only texels of its pictures (the loader pads a texture to a square of a
// power of two, and coordinates refer to that square), and its surfaces use every blend mode.
TEST(SampleCharacter, SamplesOnlyPictureTexelsAndUsesEveryBlendMode) {
    const SLmfModelData character = MakeSampleCharacter();
    for (const SLmfLayerData& layer : character.layers) {
        for (const SLmfMeshData& mesh : layer.meshes) {
            const SLmfTextureData& texture = character.surfaces[mesh.surface].texture;
            uint32_t side = 1;
            while (side < static_cast<uint32_t>(std::max(texture.width, texture.height))) side *= 2;
            const bool padded = texture.width != static_cast<int32_t>(side) || texture.height != texture.width;
            if (texture.pixels.empty() || !padded) continue;  // every coordinate reaches the picture
            float low[2] = {1e9f, 1e9f}, high[2] = {-1e9f, -1e9f};
            for (const SLmfVertexData& v : mesh.vertices)
                for (int i = 0; i < 2; ++i) low[i] = std::min(low[i], v.uv[i]), high[i] = std::max(high[i], v.uv[i]);
            EXPECT_GE(low[0] * side, 0.5f) << layer.name;
            EXPECT_LE(high[0] * side, texture.width - 0.5f) << layer.name;
            EXPECT_GE(low[1] * side, 0.5f) << layer.name;
            EXPECT_LE(high[1] * side, texture.height - 0.5f) << layer.name;
        }
    }
    std::vector<bool> blendModes(7, false);
    for (const SLmfSurfaceData& surface : character.surfaces)
        if (surface.blendMode < 7) blendModes[surface.blendMode] = true;
    EXPECT_EQ(std::count(blendModes.begin(), blendModes.end(), true), 7);
}
