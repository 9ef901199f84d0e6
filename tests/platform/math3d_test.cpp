#include "platform/math3d.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

constexpr float kEps = 1e-5f;

void ExpectMatrixNear(const SMatrix& a, const SMatrix& b, float eps = kEps) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(a.m[r][c], b.m[r][c], eps) << "row " << r << " column " << c;
}

SVector3 Apply(const SMatrix& m, SVector3 v) {
    SVector3 out;
    Vec3TransformNormal(&out, &v, &m);
    return out;
}

TEST(Math3d, RotationsTurnRowVectorsLeftHanded) {
    SMatrix rx, ry, rz;
    MatrixRotationX(&rx, 0.5f);
    MatrixRotationY(&ry, 0.5f);
    MatrixRotationZ(&rz, 0.5f);
    const float c = std::cos(0.5f), s = std::sin(0.5f);

    // About X, +Z tips towards -Y; about Y, +Z turns towards +X; about Z, +X turns towards +Y.
    SVector3 v = Apply(rx, {0, 0, 1});
    EXPECT_NEAR(v.x, 0, kEps);
    EXPECT_NEAR(v.y, -s, kEps);
    EXPECT_NEAR(v.z, c, kEps);
    v = Apply(ry, {0, 0, 1});
    EXPECT_NEAR(v.x, s, kEps);
    EXPECT_NEAR(v.y, 0, kEps);
    EXPECT_NEAR(v.z, c, kEps);
    v = Apply(rz, {1, 0, 0});
    EXPECT_NEAR(v.x, c, kEps);
    EXPECT_NEAR(v.y, s, kEps);
    EXPECT_NEAR(v.z, 0, kEps);
}

TEST(Math3d, YawPitchRollIsRollThenPitchThenYaw) {
    const float yaw = 0.7f, pitch = -0.3f, roll = 1.1f;
    SMatrix rz, rx, ry, product, ypr;
    MatrixRotationZ(&rz, roll);
    MatrixRotationX(&rx, pitch);
    MatrixRotationY(&ry, yaw);
    MatrixMultiply(&product, &rz, &rx);
    MatrixMultiply(&product, &product, &ry);  // aliasing the output with an input
    MatrixRotationYawPitchRoll(&ypr, yaw, pitch, roll);
    ExpectMatrixNear(ypr, product);
}

TEST(Math3d, MultiplyAppliesTheLeftMatrixFirst) {
    SMatrix t, s, ts;
    MatrixTranslation(&t, 1, 2, 3);
    MatrixScaling(&s, 2, 3, 4);
    MatrixMultiply(&ts, &t, &s);
    SVector3 p{1, 1, 1};
    SVector4 out;
    Vec3Transform(&out, &p, &ts);
    EXPECT_FLOAT_EQ(out.x, 4);   // (1 + 1) * 2
    EXPECT_FLOAT_EQ(out.y, 9);   // (1 + 2) * 3
    EXPECT_FLOAT_EQ(out.z, 16);  // (1 + 3) * 4
    EXPECT_FLOAT_EQ(out.w, 1);

    SVector3 n;
    Vec3TransformNormal(&n, &p, &ts);
    EXPECT_FLOAT_EQ(n.x, 2);  // translation ignored
    EXPECT_FLOAT_EQ(n.y, 3);
    EXPECT_FLOAT_EQ(n.z, 4);
}

TEST(Math3d, InverseOfRandomMatricesAndSingularOnes) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> value(-3.0f, 3.0f);
    SMatrix identity;
    MatrixIdentity(&identity);
    for (int i = 0; i < 200; ++i) {
        SMatrix m;
        for (auto& row : m.m)
            for (float& x : row) x = value(rng);
        SMatrix inv;
        float det = 0;
        ASSERT_NE(MatrixInverse(&inv, &det, &m), nullptr);
        if (std::fabs(det) < 0.05f) continue;  // badly conditioned: skip the precision check
        SMatrix product;
        MatrixMultiply(&product, &m, &inv);
        ExpectMatrixNear(product, identity, 2e-3f);
    }

    SMatrix scale;
    MatrixScaling(&scale, 2, 3, 4);
    float det = 0;
    SMatrix inv;
    ASSERT_NE(MatrixInverse(&inv, &det, &scale), nullptr);
    EXPECT_FLOAT_EQ(det, 24.0f);
    EXPECT_FLOAT_EQ(inv.m[0][0], 0.5f);
    EXPECT_FLOAT_EQ(inv.m[2][2], 0.25f);

    SMatrix singular;
    MatrixScaling(&singular, 1, 0, 1);
    SMatrix untouched;
    MatrixTranslation(&untouched, 5, 6, 7);
    SMatrix out = untouched;
    EXPECT_EQ(MatrixInverse(&out, nullptr, &singular), nullptr);
    ExpectMatrixNear(out, untouched, 0);

    // In place.
    SMatrix rt, rtInv, back;
    MatrixRotationYawPitchRoll(&rt, 0.2f, 0.4f, 0.6f);
    rt.m[3][0] = 3;
    rtInv = rt;
    ASSERT_NE(MatrixInverse(&rtInv, nullptr, &rtInv), nullptr);
    MatrixMultiply(&back, &rtInv, &rt);
    ExpectMatrixNear(back, identity);
}

TEST(Math3d, LookAtMovesTheEyeToTheOriginLookingDownZ) {
    const SVector3 eye{1, 2, -3}, at{1, 2, 5}, up{0, 1, 0};
    SMatrix view;
    MatrixLookAtLH(&view, &eye, &at, &up);
    SVector4 e, a;
    Vec3Transform(&e, &eye, &view);
    Vec3Transform(&a, &at, &view);
    EXPECT_NEAR(e.x, 0, kEps);
    EXPECT_NEAR(e.y, 0, kEps);
    EXPECT_NEAR(e.z, 0, kEps);
    EXPECT_NEAR(a.x, 0, kEps);
    EXPECT_NEAR(a.y, 0, kEps);
    EXPECT_NEAR(a.z, 8, kEps);

    // A point to the right of the eye (+X in a left-handed frame looking down +Z) stays right.
    const SVector3 right{2, 2, -3};
    SVector4 r;
    Vec3Transform(&r, &right, &view);
    EXPECT_NEAR(r.x, 1, kEps);

    // With up turned to -X the world's -X becomes the view's +Y.
    const SVector3 upLeft{-1, 0, 0}, left{0, 2, -3};
    MatrixLookAtLH(&view, &eye, &at, &upLeft);
    Vec3Transform(&r, &left, &view);
    EXPECT_NEAR(r.y, 1, kEps);
}

TEST(Math3d, PerspectiveMapsNearFarAndTopEdge) {
    const float fov = 1.0471976f, aspect = 4.0f / 3.0f, zn = 0.1f, zf = 20.0f;
    SMatrix proj;
    MatrixPerspectiveFovLH(&proj, fov, aspect, zn, zf);
    SVector3 p{0, 0, zn}, q;
    Vec3TransformCoord(&q, &p, &proj);
    EXPECT_NEAR(q.z, 0, kEps);
    p = {0, 0, zf};
    Vec3TransformCoord(&q, &p, &proj);
    EXPECT_NEAR(q.z, 1, kEps);
    const float z = 5.0f;
    p = {z * std::tan(fov / 2) * aspect, z * std::tan(fov / 2), z};
    Vec3TransformCoord(&q, &p, &proj);
    EXPECT_NEAR(q.x, 1, kEps);
    EXPECT_NEAR(q.y, 1, kEps);
    SVector4 h;
    Vec3Transform(&h, &p, &proj);
    EXPECT_FLOAT_EQ(h.w, z);
}

TEST(Math3d, NormalizeKeepsZeroVectorsZero) {
    SVector4 v{3, 0, 4, 0};
    Vec4Normalize(&v, &v);
    EXPECT_FLOAT_EQ(v.x, 0.6f);
    EXPECT_FLOAT_EQ(v.z, 0.8f);
    SVector4 zero{0, 0, 0, 0};
    Vec4Normalize(&v, &zero);
    EXPECT_EQ(v.x, 0);
    EXPECT_EQ(v.w, 0);
    EXPECT_FALSE(std::isnan(v.y));

    SVector3 a{0, 0, 0};
    Vec3Normalize(&a, &a);
    EXPECT_EQ(a.x, 0);
    SVector3 b{0, 5, 0};
    Vec3Normalize(&b, &b);
    EXPECT_FLOAT_EQ(b.y, 1);
    SVector3 x{1, 0, 0}, y{0, 1, 0}, z;
    Vec3Cross(&z, &x, &y);
    EXPECT_FLOAT_EQ(z.z, 1);
}

}  // namespace
