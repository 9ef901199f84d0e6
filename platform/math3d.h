// Small 3D math in the conventions of the Direct3D extension library: left-handed
// coordinates, 4 x 4 float matrices applied to row vectors (v' = v * M, so M1 * M2 applies M1
// first), angles in radians. Each function carries the name of its D3DX counterpart without
// the "D3DX" prefix, computes with the same formulas, accepts an output that aliases an
// input, and returns its output pointer.
#pragma once

#include <cstdint>

struct SVector2 {
    float x, y;
};

struct SVector3 {
    float x, y, z;
};

struct SVector4 {
    float x, y, z, w;
};

// m[row][column]; row 3 holds the translation.
struct SMatrix {
    float m[4][4];
};

SMatrix* MatrixIdentity(SMatrix* out);
// out = a * b.
SMatrix* MatrixMultiply(SMatrix* out, const SMatrix* a, const SMatrix* b);
// Returns null (out unchanged) when the matrix is singular; determinant may be null.
SMatrix* MatrixInverse(SMatrix* out, float* determinant, const SMatrix* m);
SMatrix* MatrixTranslation(SMatrix* out, float x, float y, float z);
SMatrix* MatrixScaling(SMatrix* out, float x, float y, float z);
SMatrix* MatrixRotationX(SMatrix* out, float angle);
SMatrix* MatrixRotationY(SMatrix* out, float angle);
SMatrix* MatrixRotationZ(SMatrix* out, float angle);
// Rz(roll) * Rx(pitch) * Ry(yaw): roll about Z first, then pitch about X, then yaw about Y.
SMatrix* MatrixRotationYawPitchRoll(SMatrix* out, float yaw, float pitch, float roll);
SMatrix* MatrixLookAtLH(SMatrix* out, const SVector3* eye, const SVector3* at, const SVector3* up);
SMatrix* MatrixPerspectiveFovLH(SMatrix* out, float fovY, float aspect, float zNear, float zFar);

float Vec3Dot(const SVector3* a, const SVector3* b);
SVector3* Vec3Cross(SVector3* out, const SVector3* a, const SVector3* b);
float Vec3Length(const SVector3* v);
// A zero vector normalises to zero.
SVector3* Vec3Normalize(SVector3* out, const SVector3* v);
// (x, y, z, 1) * M, the full 4-vector result.
SVector4* Vec3Transform(SVector4* out, const SVector3* v, const SMatrix* m);
// (x, y, z, 0) * M: a direction, translation ignored.
SVector3* Vec3TransformNormal(SVector3* out, const SVector3* v, const SMatrix* m);
// (x, y, z, 1) * M divided by the resulting w.
SVector3* Vec3TransformCoord(SVector3* out, const SVector3* v, const SMatrix* m);
// A zero vector normalises to zero.
SVector4* Vec4Normalize(SVector4* out, const SVector4* v);
