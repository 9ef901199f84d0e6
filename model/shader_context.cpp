#include "model/shader_context.h"

CShaderContext g_ShaderContext;

namespace {

SVector4 ColourWithLuminance(const SVector3& c) {
    return SVector4{c.x, c.y, c.z, 0.2989f * c.x + 0.5866f * c.y + 0.1145f * c.z};
}

}  // namespace

void CEffectParams::SetMatrix(const char* name, const SMatrix& value) {
    auto it = matrices_.find(name);
    if (it == matrices_.end()) {
        matrices_.emplace(name, value);
    } else {
        it->second = value;
    }
}

void CEffectParams::SetVector(const char* name, const SVector4& value) {
    auto it = vectors_.find(name);
    if (it == vectors_.end()) {
        vectors_.emplace(name, value);
    } else {
        it->second = value;
    }
}

const SMatrix* CEffectParams::GetMatrix(const char* name) const {
    auto it = matrices_.find(name);
    return it == matrices_.end() ? nullptr : &it->second;
}

const SVector4* CEffectParams::GetVector(const char* name) const {
    auto it = vectors_.find(name);
    return it == vectors_.end() ? nullptr : &it->second;
}

CShaderContext::CShaderContext() {
    MatrixIdentity(&world);
    MatrixIdentity(&view);
    MatrixIdentity(&projection);
}

// A world matrix that cannot be inverted (a zero scale) carries nothing into object space:
// the world-space values are used unchanged instead of garbage.
SMatrix CShaderContext::InverseWorld() const {
    SMatrix inverse;
    if (MatrixInverse(&inverse, nullptr, &world) == nullptr) MatrixIdentity(&inverse);
    return inverse;
}

void CShaderContext::UpdateWorldViewProj() {
    SMatrix product;
    MatrixMultiply(&product, &world, &view);
    MatrixMultiply(&product, &product, &projection);
    params.SetMatrix("WorldViewProjectionMat", product);
}

void CShaderContext::UpdateCameraPosition() {
    const SMatrix inverse = InverseWorld();
    SVector4 position;
    Vec3Transform(&position, &eye, &inverse);
    position.w = 0.0f;
    params.SetVector("CameraPosition", position);
}

void CShaderContext::SetCamera(const SVector3& eyePosition, const SVector3& lookAt, const SVector3& up) {
    eye = eyePosition;
    MatrixLookAtLH(&view, &eye, &lookAt, &up);
    UpdateWorldViewProj();
    UpdateCameraPosition();
}

void CShaderContext::SetWorld(const SMatrix& matrix) {
    world = matrix;
    UpdateWorldViewProj();
    UpdateCameraPosition();
    UpdateLight1Direction();
    UpdateLight2Direction();
}

namespace {

SVector4 ObjectSpaceDirection(const SVector3& direction, const SMatrix& inverseWorld) {
    SVector3 local;
    Vec3TransformNormal(&local, &direction, &inverseWorld);
    SVector4 result{local.x, local.y, local.z, 0.0f};
    Vec4Normalize(&result, &result);
    return result;
}

}  // namespace

void CShaderContext::UpdateLight1Direction() {
    params.SetVector("Light1Direction", ObjectSpaceDirection(light1Direction, InverseWorld()));
}

void CShaderContext::UpdateLight2Direction() {
    params.SetVector("Light2Direction", ObjectSpaceDirection(light2Direction, InverseWorld()));
}

void CShaderContext::SetAmbientLight(const SVector3& colour) {
    params.SetVector("AmbientLightColor", ColourWithLuminance(colour));
}

void CShaderContext::SetLight1(const SVector3& direction, const SVector3& colour) {
    light1Direction = direction;
    UpdateLight1Direction();
    params.SetVector("Light1Color", ColourWithLuminance(colour));
}

void CShaderContext::SetLight2(const SVector3& direction, const SVector3& colour) {
    light2Direction = direction;
    UpdateLight2Direction();
    params.SetVector("Light2Color", ColourWithLuminance(colour));
}
