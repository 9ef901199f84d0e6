// The shader context: the one process-wide holder of what the model effect is fed with: the
// world, view and projection matrices, the camera position and the two light directions, and
// the values of the effect's named parameters as the setters last wrote them. The scene
// camera and lights feed it each frame; the model drawing reads the parameter store.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "platform/math3d.h"

// The named parameters of the model effect, holding what was last uploaded to each.
class CEffectParams {
public:
    void SetMatrix(const char* name, const SMatrix& value);
    void SetVector(const char* name, const SVector4& value);
    // Null when the parameter was never set.
    const SMatrix* GetMatrix(const char* name) const;
    const SVector4* GetVector(const char* name) const;

private:
    std::map<std::string, SMatrix, std::less<>> matrices_;
    std::map<std::string, SVector4, std::less<>> vectors_;
};

struct CShaderContext {
    SMatrix world;
    SMatrix view;
    SMatrix projection;
    SVector3 eye{0.0f, 0.0f, 0.0f};
    SVector3 light1Direction{0.0f, 0.0f, 1.0f};
    SVector3 light2Direction{0.0f, 0.0f, 1.0f};
    CEffectParams params;

    CShaderContext();

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

private:
    void UpdateCameraPosition();
    SMatrix InverseWorld() const;
};

extern CShaderContext g_ShaderContext;
