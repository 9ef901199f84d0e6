// 3D drawing on the graphics device: vertex and index buffers, vertex declarations, streams,
// a programmable vertex stage and indexed triangle lists in clip space, with the rules of a
// Direct3D 9 device (near and far clipping, perspective-correct colours and texture
// coordinates, a second texture stage, a specular colour added after the stages, depth test
// before blending). The pixel arithmetic is described in platform/raster3d.h.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/graphics.h"

// Vertex streams a declaration may read.
constexpr uint32_t kMaxVertexStreams = 4;

// Element types, methods and usages keep the numbers of the original graphics interface.
namespace DeclType {
enum : uint8_t { Float1 = 0, Float2 = 1, Float3 = 2, Float4 = 3, Color = 4, Unused = 17 };
}
namespace DeclUsage {
enum : uint8_t { Position = 0, BlendWeight = 1, BlendIndices = 2, Normal = 3, TexCoord = 5, Color = 10 };
}
constexpr uint8_t kDeclMethodDefault = 0;

struct SVertexElement {
    uint16_t stream;
    uint16_t offset;  // bytes from the start of the vertex
    uint8_t type;
    uint8_t method;
    uint8_t usage;
    uint8_t usageIndex;
};

// The element that ends every declaration list.
constexpr SVertexElement kDeclEnd = {0xFF, 0, DeclType::Unused, 0, 0, 0};

// A vertex layout. Reference counted like every device resource.
class CVertexDeclaration {
public:
    void AddRef() { ++refs_; }
    uint32_t Release();
    const std::vector<SVertexElement>& Elements() const { return elements_; }
    // The element of that usage and usage index, or null.
    const SVertexElement* Find(uint8_t usage, uint8_t usageIndex) const;
    // Bytes from the start of a vertex to the end of the last element read from the stream.
    uint32_t StreamExtent(uint32_t stream) const;

private:
    friend class CGraphicsDevice;
    CVertexDeclaration() = default;
    ~CVertexDeclaration() = default;
    uint32_t refs_ = 1;
    std::vector<SVertexElement> elements_;
};

// Vertex or index memory of the managed pool (it survives a device reset).
class CDeviceBuffer {
public:
    void AddRef() { ++refs_; }
    uint32_t Release();
    uint32_t Size() const { return static_cast<uint32_t>(bytes_.size()); }
    // offset and size in bytes; a size of 0 locks to the end. -1 outside the buffer or when
    // already locked.
    int32_t Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags);
    int32_t Unlock();
    const uint8_t* Data() const { return bytes_.data(); }

protected:
    friend class CGraphicsDevice;
    CDeviceBuffer() = default;
    virtual ~CDeviceBuffer() = default;
    uint32_t refs_ = 1;
    bool locked_ = false;
    std::vector<uint8_t> bytes_;
};

class CVertexBuffer : public CDeviceBuffer {
    friend class CGraphicsDevice;
    CVertexBuffer() = default;
};

// 16-bit indices.
class CIndexBuffer : public CDeviceBuffer {
    friend class CGraphicsDevice;
    CIndexBuffer() = default;
};

// What a vertex shader writes for one vertex: the clip-space position and the values the
// rasteriser interpolates. Colours are red, green, blue, alpha in 0..1 (clamped by the
// rasteriser); the specular colour has no alpha.
struct SShadedVertex {
    float position[4];
    float diffuse[4];
    float specular[3];
    float texCoord[2][2];  // the coordinate sets of texture stages 0 and 1
};

// The vertex inputs of one draw: the bound declaration and each stream's vertex 0.
struct SVertexStreams {
    const CVertexDeclaration* declaration;
    const uint8_t* data[kMaxVertexStreams];  // null for a stream the declaration does not read
    uint32_t stride[kMaxVertexStreams];
};

// The programmable vertex stage. The device calls it with vertex numbers whose bytes lie
// inside every stream the declaration reads.
class IVertexShader {
public:
    virtual ~IVertexShader() = default;
    virtual void ShadeVertices(const SVertexStreams& streams, uint32_t first, uint32_t count, SShadedVertex* out) = 0;
};

// Reads one float element (any of the float types; missing components read as 0, w as 1, as
// the original interface does); a null element reads as (0, 0, 0, 1).
void ReadElement(const SVertexStreams& streams, const SVertexElement* element, uint32_t vertex, float out[4]);
