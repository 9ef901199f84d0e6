// The graphics device: a software rasteriser with the semantics of a Direct3D 9 device for
// everything this program draws (screen-space quads with blending, alpha test, texture
// stage operations and filters, render targets, a depth buffer, device loss and reset).
//
// State and format values keep the numbers of the original graphics interface, so that
// state save/restore code and tables written against those numbers stay meaningful.
#pragma once

#include <cstdint>

#include "platform/types.h"

// Results of the device calls that return a status.
constexpr int32_t kDeviceOk = 0;
constexpr int32_t kDeviceLost = static_cast<int32_t>(0x88760868u);
constexpr int32_t kDeviceNotReset = static_cast<int32_t>(0x88760869u);

enum class Format : uint32_t {
    Unknown = 0,
    A8R8G8B8 = 21,  // bytes B, G, R, A in memory
    X8R8G8B8 = 22,  // alpha byte ignored (reads as 255)
    D16 = 80,       // depth surfaces
    Index16 = 101,  // index buffers
};

enum class Pool : uint32_t {
    Default = 0,  // lost on reset: must be released before Reset and created again after
    Managed = 1,  // survives a reset
    SystemMem = 2,
};

namespace Usage {
enum : uint32_t { None = 0, RenderTarget = 1, DepthStencil = 2 };
}

enum class RenderState : uint32_t {
    ZEnable = 7,
    ZWriteEnable = 14,
    AlphaTestEnable = 15,
    SrcBlend = 19,
    DestBlend = 20,
    CullMode = 22,
    ZFunc = 23,
    AlphaRef = 24,
    AlphaFunc = 25,
    DitherEnable = 26,
    AlphaBlendEnable = 27,
    SpecularEnable = 29,
    Lighting = 137,
    MultisampleAntialias = 161,
    BlendOp = 171,
    SeparateAlphaBlendEnable = 206,
    SrcBlendAlpha = 207,
    DestBlendAlpha = 208,
    BlendOpAlpha = 209,
};

namespace Blend {
enum : uint32_t {
    Zero = 1,
    One = 2,
    SrcColor = 3,
    InvSrcColor = 4,
    SrcAlpha = 5,
    InvSrcAlpha = 6,
    DestAlpha = 7,
    InvDestAlpha = 8,
    DestColor = 9,
    InvDestColor = 10,
};
}

namespace BlendOp {
enum : uint32_t { Add = 1, Subtract = 2, RevSubtract = 3, Min = 4, Max = 5 };
}

namespace Cmp {
enum : uint32_t { Never = 1, Less = 2, Equal = 3, LessEqual = 4, Greater = 5, NotEqual = 6, GreaterEqual = 7, Always = 8 };
}

namespace Cull {
enum : uint32_t { None = 1, CW = 2, CCW = 3 };
}

// Texture stage states and their values.
enum class TexStage : uint32_t {
    ColorOp = 1,
    ColorArg1 = 2,
    ColorArg2 = 3,
    AlphaOp = 4,
    AlphaArg1 = 5,
    AlphaArg2 = 6,
};

namespace TexOp {
enum : uint32_t { Disable = 1, SelectArg1 = 2, SelectArg2 = 3, Modulate = 4 };
}

namespace TexArg {
enum : uint32_t { Diffuse = 0, Current = 1, Texture = 2 };
}

// Sampler states and their values.
enum class Sampler : uint32_t {
    AddressU = 1,
    AddressV = 2,
    MagFilter = 5,
    MinFilter = 6,
    MipFilter = 7,
};

namespace TexFilter {
enum : uint32_t { None = 0, Point = 1, Linear = 2 };
}

namespace TexAddress {
enum : uint32_t { Wrap = 1, Mirror = 2, Clamp = 3 };
}

// Vertex layout bits. Pre-transformed vertices are laid out as x, y, z, rhw (floats),
// then the diffuse colour (u32 ARGB) when present, then u, v (floats) when present.
namespace Fvf {
enum : uint32_t { XyzRhw = 0x004, Diffuse = 0x040, Tex1 = 0x100 };
}

enum class Primitive : uint32_t { TriangleList = 4, TriangleFan = 6 };

namespace ClearFlag {
enum : uint32_t { Target = 1, ZBuffer = 2, Stencil = 4 };
}

struct SSurfaceDesc {
    Format format;
    uint32_t usage;
    Pool pool;
    uint32_t width;
    uint32_t height;
};

struct SLockedRect {
    int32_t pitch;  // bytes from one row to the next
    void* bits;     // first byte of the locked rectangle
};

struct SViewport {
    uint32_t x, y, width, height;
    float minZ, maxZ;
};

// The largest side of a texture or surface the device creates.
constexpr uint32_t kMaxTextureSide = 8192;

class CGraphicsDevice;
class CTexture;
class CVertexBuffer;
class CIndexBuffer;
class CVertexDeclaration;
class IVertexShader;
struct SVertexElement;
namespace raster {
struct SPipeline;
struct STarget;
}  // namespace raster

// A 2D array of pixels: a texture level, the back buffer, a render target or a depth surface.
// Reference counted: Release() frees it when the last reference goes.
class CSurface {
public:
    void AddRef();
    uint32_t Release();
    int32_t GetDesc(SSurfaceDesc* desc) const;
    // rect null = the whole surface. Returns 0, or -1 when the surface cannot be locked: already
    // locked, a rectangle outside the surface, a depth surface, or a render target other than the
    // back buffer (tests read those through Bits()).
    int32_t LockRect(SLockedRect* locked, const SRect* rect, uint32_t flags);
    int32_t UnlockRect();

    // Direct pixel access for the platform layer and tests (32-bit formats: one u32 per pixel,
    // 0xAARRGGBB; D16: one u16 per pixel).
    uint32_t Width() const { return width_; }
    uint32_t Height() const { return height_; }
    Format GetFormat() const { return format_; }
    uint8_t* Bits() const { return bits_; }
    int32_t Pitch() const { return pitch_; }

private:
    friend class CGraphicsDevice;
    friend class CTexture;
    CSurface() = default;
    ~CSurface();

    uint32_t refs_ = 1;
    CTexture* owner_ = nullptr;  // the texture whose level this is, or null
    CGraphicsDevice* device_ = nullptr;
    Format format_ = Format::Unknown;
    uint32_t usage_ = 0;
    Pool pool_ = Pool::Default;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    int32_t pitch_ = 0;
    uint8_t* bits_ = nullptr;
    bool locked_ = false;
    bool lockable_ = true;      // render targets (other than the back buffer) and depth surfaces are not
    bool deviceOwned_ = false;  // the back buffer and the automatic depth surface
};

// A texture of one level (a level count of 0 or 1 both make exactly one level).
class CTexture {
public:
    void AddRef();
    uint32_t Release();
    uint32_t GetLevelCount() const { return 1; }
    int32_t GetLevelDesc(uint32_t level, SSurfaceDesc* desc) const;
    // The surface is returned with a new reference: the caller releases it.
    int32_t GetSurfaceLevel(uint32_t level, CSurface** surface);
    int32_t LockRect(uint32_t level, SLockedRect* locked, const SRect* rect, uint32_t flags);
    int32_t UnlockRect(uint32_t level);

    uint32_t Width() const;
    uint32_t Height() const;
    CSurface* Level0() const { return level0_; }  // not AddRef'd

private:
    friend class CGraphicsDevice;
    CTexture() = default;
    ~CTexture();

    uint32_t refs_ = 1;
    CSurface* level0_ = nullptr;
};

// Called by Present with the finished back buffer (0xAARRGGBB pixels).
using PresentCallback = void (*)(void* user, const uint32_t* pixels, int32_t pitchBytes, uint32_t width,
                                 uint32_t height);

struct SDeviceParams {
    uint32_t width = 800;
    uint32_t height = 600;
    bool autoDepth = true;           // create a D16 depth surface of the back-buffer size
    PresentCallback present = nullptr;  // null: Present shows nothing (headless)
    void* presentUser = nullptr;
};

class CGraphicsDevice {
public:
    // Creates the device with its back buffer (X8R8G8B8, lockable) and depth surface.
    // Returns null when the buffers cannot be allocated.
    static CGraphicsDevice* Create(const SDeviceParams& params);
    // Destroys the device. Resources still held stay valid to read and release, but no longer
    // belong to a device.
    void Release();

    // Resources. Return 0 and a new object, or -1 (out set to null) when the request is
    // invalid or cannot be allocated: a side of 0 or above 8192, a format the use does not
    // allow, more than one level, a render-target texture outside the default pool.
    int32_t CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage, Format format,
                          Pool pool, CTexture** texture);
    int32_t CreateRenderTarget(uint32_t width, uint32_t height, Format format, CSurface** surface);
    int32_t CreateDepthSurface(uint32_t width, uint32_t height, CSurface** surface);

    // The back buffer and the current targets are returned with a new reference.
    int32_t GetBackBuffer(CSurface** surface);
    int32_t GetRenderTarget(CSurface** surface);
    int32_t SetRenderTarget(CSurface* surface);  // null is refused
    int32_t GetDepthSurface(CSurface** surface);
    int32_t SetDepthSurface(CSurface* surface);  // null: no depth test or write
    int32_t SetViewport(const SViewport& viewport);
    int32_t GetViewport(SViewport* viewport) const;

    // Frame. Clear fills the viewport (or its intersection with each rect); X8R8G8B8 targets
    // store alpha 255. -1 for the stencil flag (there is none), rects missing, or the depth flag
    // without a depth surface or with z outside 0..1. Drawing needs BeginScene, as in the
    // original interface; Present hands the back buffer to the present callback and answers
    // kDeviceLost while the device is lost.
    int32_t Clear(uint32_t rectCount, const SRect* rects, uint32_t flags, uint32_t colour, float z,
                  uint32_t stencil);
    int32_t BeginScene();
    int32_t EndScene();
    int32_t Present();

    // States: every Get returns what the last Set stored (or the creation default).
    int32_t SetRenderState(RenderState state, uint32_t value);
    uint32_t GetRenderState(RenderState state) const;
    int32_t SetTextureStageState(uint32_t stage, TexStage state, uint32_t value);
    uint32_t GetTextureStageState(uint32_t stage, TexStage state) const;
    int32_t SetSamplerState(uint32_t sampler, Sampler state, uint32_t value);
    uint32_t GetSamplerState(uint32_t sampler, Sampler state) const;
    int32_t SetTexture(uint32_t stage, CTexture* texture);  // the device holds a reference
    CTexture* GetTexture(uint32_t stage) const;              // not AddRef'd
    int32_t SetFVF(uint32_t fvf);
    uint32_t GetFVF() const;

    // Draws pre-transformed vertices of the current FVF (x, y, z, rhw required; point size,
    // diffuse, specular and up to eight coordinate sets allowed; the first set is sampled).
    // stride is the byte size of one vertex. -1 outside a scene, for another primitive type, a
    // layout without pre-transformed positions or a stride below it; while the device is lost it
    // draws nothing and returns 0. The pixel arithmetic is described in platform/raster.h.
    int32_t DrawPrimitiveUP(Primitive type, uint32_t primitiveCount, const void* vertices, uint32_t stride);

    // Copies (and scales) a rectangle between 32-bit surfaces; rects null = whole surface.
    // filter None or Point picks the nearest pixel, Linear weighs the four nearest (clamped at
    // the rectangle's edges). -1 for rects outside their surface or overlapping on one surface.
    int32_t StretchRect(CSurface* source, const SRect* sourceRect, CSurface* dest, const SRect* destRect,
                        uint32_t filter);

    // 3D drawing (types in platform/graphics_3d.h, code in graphics_3d.cpp). Buffers live in
    // the managed pool (the default pool is refused): they survive a reset, which unbinds them.
    int32_t CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, Pool pool, CVertexBuffer** buffer);
    int32_t CreateIndexBuffer(uint32_t length, uint32_t usage, Format format, Pool pool, CIndexBuffer** buffer);
    // elements ends with kDeclEnd (at most 64 elements); -1 for an unknown type, method or
    // stream, or a usage given twice.
    int32_t CreateVertexDeclaration(const SVertexElement* elements, CVertexDeclaration** declaration);
    int32_t SetVertexDeclaration(CVertexDeclaration* declaration);
    CVertexDeclaration* GetVertexDeclaration() const;  // not AddRef'd
    int32_t SetStreamSource(uint32_t stream, CVertexBuffer* buffer, uint32_t offsetBytes, uint32_t stride);
    // Streams and indices may also be read in place from the caller's memory, which must stay
    // valid and unchanged until they are unbound or another source is set.
    int32_t SetStreamSourceMemory(uint32_t stream, const void* data, uint32_t bytes, uint32_t stride);
    int32_t SetIndices(CIndexBuffer* indices);
    int32_t SetIndicesMemory(const uint16_t* indices, uint32_t count);
    // The device holds no reference: the shader must outlive its binding.
    int32_t SetVertexShader(IVertexShader* shader);
    IVertexShader* GetVertexShader() const;
    // Shades vertices baseVertexIndex + minIndex .. + numVertices - 1 and draws primitiveCount
    // triangles of the index list from startIndex (vertex = baseVertexIndex + index). -1 outside
    // a scene, for another primitive type, without a shader, declaration, indices or a stream
    // the declaration reads, or for vertices or indices outside their buffers; a triangle with
    // an index outside the shaded vertices is skipped. While the device is lost it draws
    // nothing and returns 0.
    int32_t DrawIndexedPrimitive(Primitive type, int32_t baseVertexIndex, uint32_t minIndex, uint32_t numVertices,
                                 uint32_t startIndex, uint32_t primitiveCount);

    // Device loss: kDeviceOk, kDeviceLost or kDeviceNotReset.
    int32_t TestCooperativeLevel() const;
    // Recreates the back buffer and depth surface (width or height 0: keep the current one),
    // unbinds every texture, targets the new back buffer and resets every state to the
    // creation defaults. Fails (-1), leaving the device to be reset, while it is still lost,
    // while the application holds a default-pool resource or a reference to the old back buffer
    // or depth surface, or when a test asked for failures.
    int32_t Reset(uint32_t width, uint32_t height);

    // Test hook: the device becomes lost; after `resettableAfter` further calls of
    // TestCooperativeLevel it answers kDeviceNotReset until Reset succeeds.
    void SimulateDeviceLoss(uint32_t resettableAfter);
    // Test hook: the next `count` calls of Reset fail.
    void FailNextResets(uint32_t count);

private:
    CGraphicsDevice() = default;
    ~CGraphicsDevice();
    // The states and target of a draw, for the 3D path.
    void DrawState(raster::SPipeline* pipeline, raster::STarget* target) const;
    bool InScene() const;
    bool IsLost() const;
    // Unbinds every 3D resource and forgets the 3D state (reset and destruction).
    void Release3D();
    template <class Buffer>
    int32_t CreateBuffer(uint32_t length, Pool pool, Buffer** buffer);
    struct Impl;
    struct Impl3D;
    Impl* impl_ = nullptr;
    Impl3D* impl3d_ = nullptr;
    friend class CSurface;
    friend class CTexture;
};

// Writes a 32-bit surface as a PNG file (alpha kept for A8R8G8B8, opaque for X8R8G8B8).
// Returns 0 / -1.
int32_t SaveSurfacePng(const CSurface* surface, const char* path);
