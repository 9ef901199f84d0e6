#include "scene/camera.h"

#include "files/scrambled_io.h"
#include "model/shader_context.h"

namespace {

constexpr uint32_t kTagPos = MakeTag("POS ");
constexpr uint32_t kTagAngl = MakeTag("ANGL");
constexpr uint32_t kTagFov = MakeTag("FOV ");

constexpr float kAspect = 1.3333334f;
constexpr float kNearZ = 0.1f;
constexpr float kFarZ = 20.0f;

}  // namespace

CCamera::CCamera() : startTime(kTimeNotSet) {}

int32_t CCamera::ParseCommand(CReadStream* stream, uint32_t size, uint32_t* bytesRead) {
    CChunkReader reader(stream, size);
    CChunkHeader header;
    while (reader.NextChunk(&header)) {
        CChunkReader body = reader.Body();
        if (header.tag == kTagPos) {
            eye.Parse(body, 3);
        } else if (header.tag == kTagAngl) {
            angles.Parse(body, 3);
        } else if (header.tag == kTagFov) {
            fieldOfView.Parse(body, 1);
        }
    }
    *bytesRead = size;
    return 0;
}

int32_t CCamera::Apply() {
    const int32_t t = ElapsedSince(startTime);
    const uint32_t running = eye.Step(t) | angles.Step(t) | fieldOfView.Step(t);

    SMatrix rz, rx, ry, rotation;
    MatrixRotationZ(&rz, angles.value.z);
    MatrixRotationX(&rx, angles.value.x);
    MatrixRotationY(&ry, angles.value.y);
    MatrixMultiply(&rotation, &rz, &rx);
    MatrixMultiply(&rotation, &rotation, &ry);

    const SVector3 forward{0.0f, 0.0f, 1.0f};
    const SVector3 upward{0.0f, 1.0f, 0.0f};
    SVector3 direction, up;
    Vec3TransformNormal(&direction, &forward, &rotation);
    Vec3TransformNormal(&up, &upward, &rotation);
    const SVector3 lookAt{eye.value.x + direction.x, eye.value.y + direction.y, eye.value.z + direction.z};

    MatrixPerspectiveFovLH(&g_ShaderContext.projection, fieldOfView.value, kAspect, kNearZ, kFarZ);
    g_ShaderContext.UpdateWorldViewProj();
    g_ShaderContext.SetCamera(eye.value, lookAt, up);
    return running ? 1 : 0;
}

void CCamera::Finish() {
    eye.Finish();
    angles.Finish();
    fieldOfView.Finish();
}

int32_t CCamera::Save(CWriteStream* stream, uint32_t* byteCount) const {
    CSaveChunkWriter writer(stream);
    eye.Save(writer, kTagPos, 3);
    angles.Save(writer, kTagAngl, 3);
    fieldOfView.Save(writer, kTagFov, 1);
    *byteCount = writer.Total();
    return 0;
}

int32_t CCamera::Restore(CReadStream* stream, uint32_t size, uint32_t* bytesRead) {
    CChunkReader reader(stream, size, ReadSaveScrambled);
    CChunkHeader header;
    while (reader.NextChunk(&header)) {
        CChunkReader body = reader.Body();
        if (header.tag == kTagPos) {
            eye.Restore(body, 3);
        } else if (header.tag == kTagAngl) {
            angles.Restore(body, 3);
        } else if (header.tag == kTagFov) {
            fieldOfView.Restore(body, 1);
        }
    }
    *bytesRead = size;
    return 0;
}

void CCamera::RemoveAllKeys() {
    eye.track.RemoveAll();
    angles.track.RemoveAll();
    fieldOfView.track.RemoveAll();
}
