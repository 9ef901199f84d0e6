// The 3D entry points of the graphics device: buffers, declarations, the checks of an indexed
// draw, what the vertex stage receives, the second texture stage, the specular colour and the
// reset.
#include "platform/graphics_3d.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "tests/support/graphics_support.h"

namespace {

// Clip-space position (4 floats) and a colour (D3DCOLOR), then a specular colour.
struct STestVertex {
    float x, y, z, w;
    uint32_t colour;
    float specular[3];
};

const SVertexElement kElements[] = {
    {0, 0, DeclType::Float4, kDeclMethodDefault, DeclUsage::Position, 0},
    {0, 16, DeclType::Color, kDeclMethodDefault, DeclUsage::Color, 0},
    {0, 20, DeclType::Float3, kDeclMethodDefault, DeclUsage::Color, 1},
    kDeclEnd,
};

// Passes the position through, records each call.
class CPassThrough : public IVertexShader {
public:
    struct SCall {
        uint32_t first, count;
    };
    std::vector<SCall> calls;
    void ShadeVertices(const SVertexStreams& streams, uint32_t first, uint32_t count, SShadedVertex* out) override {
        calls.push_back({first, count});
        const CVertexDeclaration& d = *streams.declaration;
        for (uint32_t i = 0; i < count; ++i) {
            SShadedVertex& v = out[i];
            float specular[4];
            ReadElement(streams, d.Find(DeclUsage::Position, 0), first + i, v.position);
            ReadElement(streams, d.Find(DeclUsage::Color, 0), first + i, v.diffuse);
            ReadElement(streams, d.Find(DeclUsage::Color, 1), first + i, specular);
            std::memcpy(v.specular, specular, sizeof v.specular);
            v.texCoord[0][0] = v.texCoord[0][1] = v.texCoord[1][0] = v.texCoord[1][1] = 0.25f;
        }
    }
};

// Two triangles covering the left and the right half of the target.
const std::vector<STestVertex> kHalves = {
    {-1, 1, 0.5f, 1, 0xFFFF0000u, {0, 0, 0}}, {0, 1, 0.5f, 1, 0xFFFF0000u, {0, 0, 0}},
    {-1, -1, 0.5f, 1, 0xFFFF0000u, {0, 0, 0}}, {0, 1, 0.5f, 1, 0xFF00FF00u, {0, 0, 0}},
    {1, 1, 0.5f, 1, 0xFF00FF00u, {0, 0, 0}},   {0, -1, 0.5f, 1, 0xFF00FF00u, {0, 0, 0}},
};
const std::vector<uint16_t> kHalvesIndices = {0, 1, 2, 3, 4, 5};

class Graphics3DTest : public ::testing::Test {
protected:
    void SetUp() override {
        device_ = MakeTestDevice(16, 16);
        device_->SetRenderState(RenderState::AlphaBlendEnable, 0);
        ASSERT_EQ(device_->CreateVertexDeclaration(kElements, &declaration_), 0);
        device_->SetVertexDeclaration(declaration_);
        device_->SetVertexShader(&shader_);
        device_->SetStreamSourceMemory(0, kHalves.data(), kHalves.size() * sizeof(STestVertex), sizeof(STestVertex));
        device_->SetIndicesMemory(kHalvesIndices.data(), 6);
        device_->Clear(0, nullptr, ClearFlag::Target | ClearFlag::ZBuffer, 0, 1.0f, 0);
        device_->BeginScene();
    }
    void TearDown() override {
        device_->EndScene();
        device_->SetVertexDeclaration(nullptr);
        device_->SetTexture(1, nullptr);
        declaration_->Release();
        device_->Release();
    }
    uint32_t Pixel(int x, int y) {
        CSurface* back = nullptr;
        device_->GetBackBuffer(&back);
        const uint32_t pixel = SurfacePixel(back, x, y) & 0xFFFFFF;
        back->Release();
        return pixel;
    }

    CGraphicsDevice* device_ = nullptr;
    CVertexDeclaration* declaration_ = nullptr;
    CPassThrough shader_;
};

TEST_F(Graphics3DTest, BuffersAndDeclarationsRefuseWhatTheyCannotHold) {
    CVertexBuffer* vb = nullptr;
    EXPECT_EQ(device_->CreateVertexBuffer(64, 0, 0, Pool::Default, &vb), -1);
    ASSERT_EQ(device_->CreateVertexBuffer(64, 0, 0, Pool::Managed, &vb), 0);
    void* data = nullptr;
    EXPECT_EQ(vb->Lock(60, 8, &data, 0), -1);
    ASSERT_EQ(vb->Lock(32, 0, &data, 0), 0);  // size 0: to the end
    EXPECT_EQ(static_cast<uint8_t*>(data) - vb->Data(), 32);
    EXPECT_EQ(vb->Lock(0, 4, &data, 0), -1) << "already locked";
    EXPECT_EQ(vb->Unlock(), 0);
    EXPECT_EQ(device_->SetStreamSource(0, vb, 65, 16), -1) << "offset beyond the buffer";
    EXPECT_EQ(device_->SetStreamSource(0, vb, 0, 0), -1) << "stride 0";
    vb->Release();
    CIndexBuffer* ib = nullptr;
    EXPECT_EQ(device_->CreateIndexBuffer(12, 0, Format::A8R8G8B8, Pool::Managed, &ib), -1);

    const auto refused = [&](SVertexElement e) {
        const SVertexElement list[] = {kElements[0], e, kDeclEnd};
        CVertexDeclaration* d = nullptr;
        return device_->CreateVertexDeclaration(list, &d) == -1 && d == nullptr;
    };
    EXPECT_TRUE(refused({0, 16, DeclType::Float4, 0, DeclUsage::Position, 0})) << "a usage given twice";
    EXPECT_TRUE(refused({0, 16, 9, 0, DeclUsage::Normal, 0})) << "an unknown type";
    EXPECT_TRUE(refused({4, 0, DeclType::Float3, 0, DeclUsage::Normal, 0})) << "a stream beyond the last";
    EXPECT_TRUE(refused({0, 16, DeclType::Float3, 1, DeclUsage::Normal, 0})) << "another method";
    EXPECT_EQ(declaration_->StreamExtent(0), 32u);
    EXPECT_EQ(declaration_->StreamExtent(1), 0u);
}

TEST_F(Graphics3DTest, IndexedDrawsCheckEverythingTheyRead) {
    struct SCase {
        const char* what;
        std::function<void()> arrange;
        int32_t base;
        uint32_t minIndex, count, start, triangles;
    };
    const SCase cases[] = {
        {"indices beyond the list", [] {}, 0, 0, 6, 3, 2},
        {"vertices beyond the stream", [] {}, 0, 1, 6, 0, 2},
        {"a negative first vertex", [] {}, -2, 1, 4, 0, 2},
        {"no shader", [&] { device_->SetVertexShader(nullptr); }, 0, 0, 6, 0, 2},
        {"no indices", [&] { device_->SetIndicesMemory(nullptr, 0); }, 0, 0, 6, 0, 2},
        {"an unbound stream", [&] { device_->SetStreamSourceMemory(0, nullptr, 0, 0); }, 0, 0, 6, 0, 2},
        {"no declaration", [&] { device_->SetVertexDeclaration(nullptr); }, 0, 0, 6, 0, 2},
    };
    const auto bindAll = [&] {
        device_->SetVertexDeclaration(declaration_);
        device_->SetVertexShader(&shader_);
        device_->SetStreamSourceMemory(0, kHalves.data(), kHalves.size() * sizeof(STestVertex), sizeof(STestVertex));
        device_->SetIndicesMemory(kHalvesIndices.data(), 6);
    };
    for (const SCase& c : cases) {
        bindAll();
        c.arrange();
        EXPECT_EQ(device_->DrawIndexedPrimitive(Primitive::TriangleList, c.base, c.minIndex, c.count, c.start,
                                                c.triangles),
                  -1)
            << c.what;
    }
    bindAll();
    EXPECT_EQ(device_->DrawIndexedPrimitive(Primitive::TriangleFan, 0, 0, 6, 0, 2), -1);
    EXPECT_TRUE(shader_.calls.empty());
    device_->EndScene();
    EXPECT_EQ(device_->DrawIndexedPrimitive(Primitive::TriangleList, 0, 0, 6, 0, 2), -1) << "outside a scene";
    device_->BeginScene();
    device_->SimulateDeviceLoss(5);
    EXPECT_EQ(device_->DrawIndexedPrimitive(Primitive::TriangleList, 0, 0, 6, 0, 2), 0);
    EXPECT_EQ(Pixel(2, 4), 0u) << "a lost device draws nothing";
}

TEST_F(Graphics3DTest, TheVertexStageShadesTheRangeAndTrianglesOutsideItAreSkipped) {
    // Vertices 3..5 only: the first triangle's corners lie outside and it is skipped.
    ASSERT_EQ(device_->DrawIndexedPrimitive(Primitive::TriangleList, 1, 2, 3, 0, 2), 0);
    ASSERT_EQ(shader_.calls.size(), 1u);
    EXPECT_EQ(shader_.calls[0].first, 3u);
    EXPECT_EQ(shader_.calls[0].count, 3u);
    // Base vertex 1 moves the second triangle's corners 3, 4, 5 to the shaded 4, 5 and the
    // missing 6: nothing is drawn.
    EXPECT_EQ(Pixel(2, 4), 0u);
    EXPECT_EQ(Pixel(10, 4), 0u);

    // The same draw from a vertex buffer, base 0: both halves.
    CVertexBuffer* vb = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(sizeof(STestVertex) * 7, 0, 0, Pool::Managed, &vb), 0);
    void* data = nullptr;
    vb->Lock(0, 0, &data, 0);
    std::memcpy(static_cast<uint8_t*>(data) + sizeof(STestVertex), kHalves.data(), kHalves.size() * sizeof(STestVertex));
    vb->Unlock();
    ASSERT_EQ(device_->SetStreamSource(0, vb, sizeof(STestVertex), sizeof(STestVertex)), 0);
    vb->Release();  // the binding holds it
    ASSERT_EQ(device_->DrawIndexedPrimitive(Primitive::TriangleList, 0, 0, 6, 0, 2), 0);
    EXPECT_EQ(Pixel(2, 4), 0xFF0000u);
    EXPECT_EQ(Pixel(10, 4), 0x00FF00u);
    device_->SetStreamSource(0, nullptr, 0, 0);
}

TEST_F(Graphics3DTest, StageOneModulatesAndTheSpecularColourIsAddedAfterIt) {
    // Stage 1 multiplies by a grey texel (0x80 / 255), then the specular colour (0.25 = 64) adds.
    CTexture* grey = MakeTestTexture(device_, 2, 2, [](uint32_t, uint32_t) { return 0xFF808080u; });
    device_->SetTexture(1, grey);
    grey->Release();
    device_->SetTextureStageState(0, TexStage::ColorOp, TexOp::SelectArg1);
    device_->SetTextureStageState(0, TexStage::ColorArg1, TexArg::Diffuse);
    device_->SetTextureStageState(1, TexStage::ColorOp, TexOp::Modulate);
    device_->SetTextureStageState(1, TexStage::ColorArg1, TexArg::Texture);
    device_->SetTextureStageState(1, TexStage::ColorArg2, TexArg::Current);
    std::vector<STestVertex> lit = kHalves;
    for (STestVertex& v : lit) v.specular[2] = 0.25f;  // blue
    device_->SetStreamSourceMemory(0, lit.data(), lit.size() * sizeof(STestVertex), sizeof(STestVertex));
    device_->SetRenderState(RenderState::SpecularEnable, 1);
    ASSERT_EQ(device_->DrawIndexedPrimitive(Primitive::TriangleList, 0, 0, 6, 0, 2), 0);
    EXPECT_EQ(Pixel(2, 4), 0x800040u);
    EXPECT_EQ(Pixel(10, 4), 0x008040u);
    device_->SetTextureStageState(1, TexStage::ColorOp, TexOp::Disable);
    device_->SetRenderState(RenderState::SpecularEnable, 0);
    ASSERT_EQ(device_->DrawIndexedPrimitive(Primitive::TriangleList, 0, 0, 6, 0, 2), 0);
    EXPECT_EQ(Pixel(2, 4), 0xFF0000u);
}

TEST_F(Graphics3DTest, ResetUnbindsTheThreeDimensionalStateAndKeepsManagedBuffers) {
    CIndexBuffer* ib = nullptr;
    ASSERT_EQ(device_->CreateIndexBuffer(12, 0, Format::Index16, Pool::Managed, &ib), 0);
    void* data = nullptr;
    ib->Lock(0, 0, &data, 0);
    std::memcpy(data, kHalvesIndices.data(), 12);
    ib->Unlock();
    device_->SetIndices(ib);
    device_->EndScene();
    device_->SimulateDeviceLoss(0);
    device_->TestCooperativeLevel();
    ASSERT_EQ(device_->Reset(0, 0), 0);
    device_->Clear(0, nullptr, ClearFlag::ZBuffer, 0, 1.0f, 0);
    EXPECT_EQ(device_->GetVertexDeclaration(), nullptr);
    EXPECT_EQ(device_->GetVertexShader(), nullptr);
    device_->BeginScene();
    EXPECT_EQ(device_->DrawIndexedPrimitive(Primitive::TriangleList, 0, 0, 6, 0, 2), -1);
    EXPECT_EQ(reinterpret_cast<const uint16_t*>(ib->Data())[5], 5) << "the buffer keeps its contents";
    device_->SetVertexDeclaration(declaration_);
    device_->SetVertexShader(&shader_);
    device_->SetStreamSourceMemory(0, kHalves.data(), kHalves.size() * sizeof(STestVertex), sizeof(STestVertex));
    device_->SetIndices(ib);
    ib->Release();
    device_->SetRenderState(RenderState::AlphaBlendEnable, 0);
    EXPECT_EQ(device_->DrawIndexedPrimitive(Primitive::TriangleList, 0, 0, 6, 0, 2), 0);
    EXPECT_EQ(Pixel(10, 4), 0x00FF00u);
}

}  // namespace
