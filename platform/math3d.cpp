#include "platform/math3d.h"

#include <cmath>
#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

SMatrix* MatrixIdentity(SMatrix* out) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out->m[r][c] = r == c ? 1.0f : 0.0f;
    return out;
}

// Each element is ((a0 * b0 + a1 * b1) + a2 * b2) + a3 * b3, rounded after every step; the SSE2
// path computes a whole row in that same order, so both give the same bits.
SMatrix* MatrixMultiply(SMatrix* out, const SMatrix* a, const SMatrix* b) {
    SMatrix product;
#if defined(__SSE2__)
    const __m128 b0 = _mm_loadu_ps(b->m[0]), b1 = _mm_loadu_ps(b->m[1]);
    const __m128 b2 = _mm_loadu_ps(b->m[2]), b3 = _mm_loadu_ps(b->m[3]);
    for (int r = 0; r < 4; ++r) {
        __m128 row = _mm_mul_ps(_mm_set1_ps(a->m[r][0]), b0);
        row = _mm_add_ps(row, _mm_mul_ps(_mm_set1_ps(a->m[r][1]), b1));
        row = _mm_add_ps(row, _mm_mul_ps(_mm_set1_ps(a->m[r][2]), b2));
        row = _mm_add_ps(row, _mm_mul_ps(_mm_set1_ps(a->m[r][3]), b3));
        _mm_storeu_ps(product.m[r], row);
    }
#else
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            product.m[r][c] = a->m[r][0] * b->m[0][c] + a->m[r][1] * b->m[1][c] + a->m[r][2] * b->m[2][c] +
                              a->m[r][3] * b->m[3][c];
#endif
    *out = product;
    return out;
}

// Inverse by the adjugate, built from the 2 x 2 minors of the upper and lower row pairs.
SMatrix* MatrixInverse(SMatrix* out, float* determinant, const SMatrix* m) {
    const float(&a)[4][4] = m->m;
    const float s0 = a[0][0] * a[1][1] - a[1][0] * a[0][1];
    const float s1 = a[0][0] * a[1][2] - a[1][0] * a[0][2];
    const float s2 = a[0][0] * a[1][3] - a[1][0] * a[0][3];
    const float s3 = a[0][1] * a[1][2] - a[1][1] * a[0][2];
    const float s4 = a[0][1] * a[1][3] - a[1][1] * a[0][3];
    const float s5 = a[0][2] * a[1][3] - a[1][2] * a[0][3];
    const float c5 = a[2][2] * a[3][3] - a[3][2] * a[2][3];
    const float c4 = a[2][1] * a[3][3] - a[3][1] * a[2][3];
    const float c3 = a[2][1] * a[3][2] - a[3][1] * a[2][2];
    const float c2 = a[2][0] * a[3][3] - a[3][0] * a[2][3];
    const float c1 = a[2][0] * a[3][2] - a[3][0] * a[2][2];
    const float c0 = a[2][0] * a[3][1] - a[3][0] * a[2][1];
    const float det = s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
    if (det == 0.0f) return nullptr;
    if (determinant != nullptr) *determinant = det;
    const float k = 1.0f / det;
    SMatrix inv;
    inv.m[0][0] = (a[1][1] * c5 - a[1][2] * c4 + a[1][3] * c3) * k;
    inv.m[0][1] = (-a[0][1] * c5 + a[0][2] * c4 - a[0][3] * c3) * k;
    inv.m[0][2] = (a[3][1] * s5 - a[3][2] * s4 + a[3][3] * s3) * k;
    inv.m[0][3] = (-a[2][1] * s5 + a[2][2] * s4 - a[2][3] * s3) * k;
    inv.m[1][0] = (-a[1][0] * c5 + a[1][2] * c2 - a[1][3] * c1) * k;
    inv.m[1][1] = (a[0][0] * c5 - a[0][2] * c2 + a[0][3] * c1) * k;
    inv.m[1][2] = (-a[3][0] * s5 + a[3][2] * s2 - a[3][3] * s1) * k;
    inv.m[1][3] = (a[2][0] * s5 - a[2][2] * s2 + a[2][3] * s1) * k;
    inv.m[2][0] = (a[1][0] * c4 - a[1][1] * c2 + a[1][3] * c0) * k;
    inv.m[2][1] = (-a[0][0] * c4 + a[0][1] * c2 - a[0][3] * c0) * k;
    inv.m[2][2] = (a[3][0] * s4 - a[3][1] * s2 + a[3][3] * s0) * k;
    inv.m[2][3] = (-a[2][0] * s4 + a[2][1] * s2 - a[2][3] * s0) * k;
    inv.m[3][0] = (-a[1][0] * c3 + a[1][1] * c1 - a[1][2] * c0) * k;
    inv.m[3][1] = (a[0][0] * c3 - a[0][1] * c1 + a[0][2] * c0) * k;
    inv.m[3][2] = (-a[3][0] * s3 + a[3][1] * s1 - a[3][2] * s0) * k;
    inv.m[3][3] = (a[2][0] * s3 - a[2][1] * s1 + a[2][2] * s0) * k;
    *out = inv;
    return out;
}

SMatrix* MatrixTranslation(SMatrix* out, float x, float y, float z) {
    MatrixIdentity(out);
    out->m[3][0] = x;
    out->m[3][1] = y;
    out->m[3][2] = z;
    return out;
}

SMatrix* MatrixScaling(SMatrix* out, float x, float y, float z) {
    MatrixIdentity(out);
    out->m[0][0] = x;
    out->m[1][1] = y;
    out->m[2][2] = z;
    return out;
}

SMatrix* MatrixRotationX(SMatrix* out, float angle) {
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    MatrixIdentity(out);
    out->m[1][1] = c;
    out->m[1][2] = s;
    out->m[2][1] = -s;
    out->m[2][2] = c;
    return out;
}

SMatrix* MatrixRotationY(SMatrix* out, float angle) {
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    MatrixIdentity(out);
    out->m[0][0] = c;
    out->m[0][2] = -s;
    out->m[2][0] = s;
    out->m[2][2] = c;
    return out;
}

SMatrix* MatrixRotationZ(SMatrix* out, float angle) {
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    MatrixIdentity(out);
    out->m[0][0] = c;
    out->m[0][1] = s;
    out->m[1][0] = -s;
    out->m[1][1] = c;
    return out;
}

SMatrix* MatrixRotationYawPitchRoll(SMatrix* out, float yaw, float pitch, float roll) {
    const float sr = std::sin(roll), cr = std::cos(roll);
    const float sp = std::sin(pitch), cp = std::cos(pitch);
    const float sy = std::sin(yaw), cy = std::cos(yaw);
    MatrixIdentity(out);
    out->m[0][0] = sr * sp * sy + cr * cy;
    out->m[0][1] = sr * cp;
    out->m[0][2] = sr * sp * cy - cr * sy;
    out->m[1][0] = cr * sp * sy - sr * cy;
    out->m[1][1] = cr * cp;
    out->m[1][2] = cr * sp * cy + sr * sy;
    out->m[2][0] = cp * sy;
    out->m[2][1] = -sp;
    out->m[2][2] = cp * cy;
    return out;
}

SMatrix* MatrixLookAtLH(SMatrix* out, const SVector3* eye, const SVector3* at, const SVector3* up) {
    SVector3 zAxis{at->x - eye->x, at->y - eye->y, at->z - eye->z};
    Vec3Normalize(&zAxis, &zAxis);
    SVector3 xAxis;
    Vec3Cross(&xAxis, up, &zAxis);
    Vec3Normalize(&xAxis, &xAxis);
    SVector3 yAxis;
    Vec3Cross(&yAxis, &zAxis, &xAxis);
    SMatrix view;
    MatrixIdentity(&view);
    view.m[0][0] = xAxis.x;
    view.m[1][0] = xAxis.y;
    view.m[2][0] = xAxis.z;
    view.m[0][1] = yAxis.x;
    view.m[1][1] = yAxis.y;
    view.m[2][1] = yAxis.z;
    view.m[0][2] = zAxis.x;
    view.m[1][2] = zAxis.y;
    view.m[2][2] = zAxis.z;
    view.m[3][0] = -Vec3Dot(&xAxis, eye);
    view.m[3][1] = -Vec3Dot(&yAxis, eye);
    view.m[3][2] = -Vec3Dot(&zAxis, eye);
    *out = view;
    return out;
}

SMatrix* MatrixPerspectiveFovLH(SMatrix* out, float fovY, float aspect, float zNear, float zFar) {
    const float yScale = 1.0f / std::tan(fovY / 2.0f);
    MatrixIdentity(out);
    out->m[0][0] = yScale / aspect;
    out->m[1][1] = yScale;
    out->m[2][2] = zFar / (zFar - zNear);
    out->m[2][3] = 1.0f;
    out->m[3][2] = -zNear * zFar / (zFar - zNear);
    out->m[3][3] = 0.0f;
    return out;
}

float Vec3Dot(const SVector3* a, const SVector3* b) { return a->x * b->x + a->y * b->y + a->z * b->z; }

SVector3* Vec3Cross(SVector3* out, const SVector3* a, const SVector3* b) {
    const SVector3 cross{a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x};
    *out = cross;
    return out;
}

float Vec3Length(const SVector3* v) { return std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z); }

SVector3* Vec3Normalize(SVector3* out, const SVector3* v) {
    const float length = Vec3Length(v);
    if (length == 0.0f) {
        *out = SVector3{0.0f, 0.0f, 0.0f};
    } else {
        *out = SVector3{v->x / length, v->y / length, v->z / length};
    }
    return out;
}

SVector4* Vec3Transform(SVector4* out, const SVector3* v, const SMatrix* m) {
    const SVector4 result{
        v->x * m->m[0][0] + v->y * m->m[1][0] + v->z * m->m[2][0] + m->m[3][0],
        v->x * m->m[0][1] + v->y * m->m[1][1] + v->z * m->m[2][1] + m->m[3][1],
        v->x * m->m[0][2] + v->y * m->m[1][2] + v->z * m->m[2][2] + m->m[3][2],
        v->x * m->m[0][3] + v->y * m->m[1][3] + v->z * m->m[2][3] + m->m[3][3],
    };
    *out = result;
    return out;
}

SVector3* Vec3TransformNormal(SVector3* out, const SVector3* v, const SMatrix* m) {
    const SVector3 result{
        v->x * m->m[0][0] + v->y * m->m[1][0] + v->z * m->m[2][0],
        v->x * m->m[0][1] + v->y * m->m[1][1] + v->z * m->m[2][1],
        v->x * m->m[0][2] + v->y * m->m[1][2] + v->z * m->m[2][2],
    };
    *out = result;
    return out;
}

SVector3* Vec3TransformCoord(SVector3* out, const SVector3* v, const SMatrix* m) {
    SVector4 h;
    Vec3Transform(&h, v, m);
    *out = SVector3{h.x / h.w, h.y / h.w, h.z / h.w};
    return out;
}

SVector4* Vec4Normalize(SVector4* out, const SVector4* v) {
    const float length = std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z + v->w * v->w);
    if (length == 0.0f) {
        *out = SVector4{0.0f, 0.0f, 0.0f, 0.0f};
    } else {
        *out = SVector4{v->x / length, v->y / length, v->z / length, v->w / length};
    }
    return out;
}
