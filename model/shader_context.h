// The shader context: the one process-wide holder of the model effect, of the two vertex
// declarations of the 80-byte model vertex, of the handles of every technique and parameter,
// and of the world, view and projection matrices, the camera position and the two light
// directions. The scene camera and lights feed it each frame; the model drawing sets each
// model's world matrix and surface and draws through its effect. Every setter uploads what it
// changes at once; without an effect (models off) only the context's own fields change.
#pragma once

#include <cstdint>

#include "model/model_effect.h"
#include "platform/math3d.h"
#include "scene/key_track.h"

class CGraphicsDevice;

// The model vertex (80 bytes): position, normal (3 f32 each), colour (4 f32, multiplies the
// surface colour), texture coordinates (2 f32), four palette slots and four weights (4 f32
// each).
constexpr uint32_t kModelVertexSize = 80;

// A surface as the drawing reads it.
struct SModelSurface {
    uint32_t shadingType = 0;  // the main technique's pass; 4 binds the toon texture
    uint32_t blendMode = 0;    // 0-6: SetModelBlendMode; others keep the blend states
    SColorF diffuse{0.0f, 0.0f, 0.0f, 0.0f};
    float emissive = 0.0f;
    float specular = 0.0f;
    float power = 0.0f;
    uint32_t twoSided = 0;  // low byte 0: counter-clockwise faces culled; else no culling
    CTexture* texture = nullptr;
    CTexture* toonTexture = nullptr;
    SColorF edgeColour{0.0f, 0.0f, 0.0f, 0.0f};  // alpha not used
    float edgeSize = 0.0f;                        // 0: no edge pass
};

// Handles of the effect's techniques and parameters, looked up once when it is created.
struct SShaderHandles {
    EffectTechnique shaderTechnique = nullptr;
    EffectTechnique morphingShaderTechnique = nullptr;
    EffectTechnique edgeShader = nullptr;
    EffectTechnique morphingEdgeShader = nullptr;
    EffectParameter worldViewProjection = nullptr;
    EffectParameter diffuse = nullptr;
    EffectParameter surfaceParam = nullptr;
    EffectParameter cameraPosition = nullptr;
    EffectParameter ambientLightColor = nullptr;
    EffectParameter light1Direction = nullptr;
    EffectParameter light1Color = nullptr;
    EffectParameter light2Direction = nullptr;
    EffectParameter light2Color = nullptr;
    EffectParameter morphingWeight = nullptr;
    EffectParameter blendMatrix[kBlendMatrixCount] = {};
    EffectParameter texture = nullptr;
    EffectParameter toonTexture = nullptr;
};

struct CShaderContext {
    CVertexDeclaration* skinnedDeclaration = nullptr;
    CVertexDeclaration* morphingDeclaration = nullptr;  // adds stream 1: the morph target's positions and normals
    CModelEffect* effect = nullptr;
    SShaderHandles handles;
    SMatrix world;
    SMatrix view;
    SMatrix projection;
    SVector3 eye{0.0f, 0.0f, 0.0f};
    SVector3 light1Direction{0.0f, 0.0f, 1.0f};
    SVector3 light2Direction{0.0f, 0.0f, 1.0f};
    CGraphicsDevice* device = nullptr;  // the device of the effect

    CShaderContext();
    ~CShaderContext();
    CShaderContext(const CShaderContext&) = delete;
    CShaderContext& operator=(const CShaderContext&) = delete;

    // Creates the two declarations and the effect on the device, validates the four techniques
    // and looks up every handle (a missing parameter leaves a null handle). 0, or -1 when
    // something cannot be created or a technique does not validate; what was made stays until
    // Release. Whatever the context held before is released first.
    int32_t Create(CGraphicsDevice* graphicsDevice);
    // Releases the declarations and the effect (each only if held).
    void Release();

    // Stores the eye, builds the view with MatrixLookAtLH and uploads the dependent values.
    void SetCamera(const SVector3& eyePosition, const SVector3& lookAt, const SVector3& up);
    // "WorldViewProjectionMat" = world * view * projection.
    void UpdateWorldViewProj();
    // A new world matrix: the product, the camera position and both light directions follow.
    void SetWorld(const SMatrix& matrix);
    // Colours are red, green, blue in 0..1; the effect receives their luminance as fourth value.
    void SetAmbientLight(const SVector3& colour);
    void SetLight1(const SVector3& direction, const SVector3& colour);
    void SetLight2(const SVector3& direction, const SVector3& colour);
    void UpdateLight1Direction();
    void UpdateLight2Direction();

    // The drawing's setters. SetSurface uploads the diffuse colour (times `colour` when given),
    // emissive, specular and power, the textures (the toon texture for shading type 4 only) and
    // sets the device's culling; SetEdgeParams uploads the edge colour (alpha 1) and size.
    void SetSurface(const SModelSurface& surface, const SColorF* colour);
    void SetEdgeParams(const SColorF& colour, float size);
    // Uploads one element of the skinning palette (slots 80 and above upload nothing).
    void SetBlendMatrix(uint32_t slot, const SMatrix& matrix);
    void SetMorphingWeight(const SVector4& weights);

private:
    void UploadMatrix(EffectParameter parameter, const SMatrix& value);
    void UploadVector(EffectParameter parameter, const SVector4& value);
    SVector4 UploadedVector(EffectParameter parameter) const;
    void UpdateCameraPosition();
    SMatrix InverseWorld() const;
};

extern CShaderContext g_ShaderContext;

// The render context's hooks for the model path: create the global context's effect on the
// device (0 / -1), and release it.
struct CPlatformWindow;
int32_t CreateModelEffect(CGraphicsDevice* device, CPlatformWindow* window);
void ReleaseModelEffect();
