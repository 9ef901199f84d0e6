// The model effect: the techniques that draw .lmf models, written in C++ for the software
// graphics device. Like a compiled effect it offers named techniques made of passes and named
// parameters: a caller looks the names up once and sets values through the handles; a pass
// puts its vertex program and its texture-stage states on the device.
//
// Techniques: "ShaderTechnique" and "MorphingShaderTechnique" with one pass per shading type
// (0 flat, 1 diffuse light, 2 diffuse light with a highlight, 3 soft light with a highlight,
// 4 toon ramp), "EdgeShader" and "MorphingEdgeShader" with one pass (the outline). The
// morphing variants blend each vertex towards the second stream's position and normal by the
// first component of "MorphingWeight" before skinning.
//
// Lighting happens in object space: "Light1Direction" and "Light2Direction" are the
// directions the light travels, "CameraPosition" the eye; colours carry their luminance in w.
// "SurfaceParam" holds emissive, specular and power (main passes) or the edge size in w (edge
// passes); neither kind of pass reads the components the other sets.
#pragma once

#include <cstdint>

#include "platform/graphics_3d.h"
#include "platform/math3d.h"

constexpr uint32_t kBlendMatrixCount = 80;

// The values the passes read, as the setters last wrote them.
struct SModelEffectValues {
    SMatrix worldViewProjection;
    SVector4 diffuse;
    SVector4 surfaceParam;
    SVector4 cameraPosition;
    SVector4 ambientLightColor;
    SVector4 light1Direction;
    SVector4 light1Color;
    SVector4 light2Direction;
    SVector4 light2Color;
    SVector4 morphingWeight;
    SMatrix blendMatrix[kBlendMatrixCount];
    CTexture* texture;  // held references (null: none)
    CTexture* toonTexture;
};

struct SEffectParameter;
struct SEffectTechnique;
using EffectParameter = const SEffectParameter*;  // null: no such parameter
using EffectTechnique = const SEffectTechnique*;  // null: no such technique

// Begin flag: leave the device states as the passes set them.
constexpr uint32_t kEffectDoNotSaveState = 1;

class CModelEffect {
public:
    // An effect that draws on `device`. 0, or -1 (effect null) without a device or memory.
    static int32_t Create(CGraphicsDevice* device, CModelEffect** effect);
    void Release();

    EffectTechnique GetTechniqueByName(const char* name) const;
    // 0 when the technique runs on the device, -1 for a null handle.
    int32_t ValidateTechnique(EffectTechnique technique) const;
    // parent null: a top-level parameter by name.
    EffectParameter GetParameterByName(EffectParameter parent, const char* name) const;
    // An element of an array parameter ("BlendMatrix"); null outside it.
    EffectParameter GetParameterElement(EffectParameter parameter, uint32_t index) const;

    int32_t SetTechnique(EffectTechnique technique);
    // Starts drawing with the current technique: *passes gets its pass count. Unless flags hold
    // kEffectDoNotSaveState, the device states a pass changes are saved here and put back by End.
    int32_t Begin(uint32_t* passes, uint32_t flags);
    // Puts pass `pass` on the device: -1 outside Begin/End or for a pass the technique lacks.
    int32_t Pass(uint32_t pass);
    int32_t End();

    // -1 for a null handle or one of another type (an array as a whole included).
    int32_t SetMatrix(EffectParameter parameter, const SMatrix* value);
    int32_t SetVector(EffectParameter parameter, const SVector4* value);
    int32_t SetTexture(EffectParameter parameter, CTexture* texture);
    int32_t GetMatrix(EffectParameter parameter, SMatrix* value) const;
    int32_t GetVector(EffectParameter parameter, SVector4* value) const;
    int32_t GetTexture(EffectParameter parameter, CTexture** texture) const;  // not AddRef'd

    const SModelEffectValues& Values() const { return values_; }

private:
    // The vertex stage the passes bind: the current technique's fetch and pass program.
    class CVertexProgram : public IVertexShader {
    public:
        const CModelEffect* effect = nullptr;
        EffectTechnique technique = nullptr;
        uint32_t pass = 0;
        void ShadeVertices(const SVertexStreams& streams, uint32_t first, uint32_t count, SShadedVertex* out) override;
    };

    // The device states a pass changes, as Begin found them.
    struct SSavedStates {
        uint32_t stage[2][6];
        CTexture* textures[2];
        uint32_t specular;
        IVertexShader* shader;
    };

    explicit CModelEffect(CGraphicsDevice* device);
    ~CModelEffect();
    void SaveStates();
    void RestoreStates();

    CGraphicsDevice* device_;
    SModelEffectValues values_ = {};
    CVertexProgram program_;
    EffectTechnique technique_ = nullptr;
    bool begun_ = false;
    bool saved_ = false;
    SSavedStates saved_states_ = {};
};
