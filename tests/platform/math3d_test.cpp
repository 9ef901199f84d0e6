#include "platform/math3d.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr float kEps = 1e-5f;

void ExpectMatrixNear(const SMatrix& a, const SMatrix& b, float eps = kEps) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(a.m[r][c], b.m[r][c], eps) << "row " << r << " column " << c;
}

void ExpectNear(const SVector3& v, float x, float y, float z) {
    EXPECT_NEAR(v.x, x, kEps);
    EXPECT_NEAR(v.y, y, kEps);
    EXPECT_NEAR(v.z, z, kEps);
}

// Equal within four units in the last place: for results that small integers give exactly.
void ExpectFloatEq(const SVector3& v, float x, float y, float z) {
    EXPECT_FLOAT_EQ(v.x, x);
    EXPECT_FLOAT_EQ(v.y, y);
    EXPECT_FLOAT_EQ(v.z, z);
}

SVector3 Normal(const SMatrix& m, SVector3 v) {
    SVector3 out;
    Vec3TransformNormal(&out, &v, &m);
    return out;
}

SVector4 Point(const SMatrix& m, SVector3 v) {
    SVector4 out;
    Vec3Transform(&out, &v, &m);
    return out;
}

TEST(Math3d, RotationsAreLeftHandedAndComposeRollPitchYaw) {
    SMatrix rx, ry, rz;
    MatrixRotationX(&rx, 0.5f);
    MatrixRotationY(&ry, 0.5f);
    MatrixRotationZ(&rz, 0.5f);
    const float c = std::cos(0.5f), s = std::sin(0.5f);
    // About X, +Z tips towards -Y; about Y, +Z turns towards +X; about Z, +X turns towards +Y.
    ExpectNear(Normal(rx, {0, 0, 1}), 0, -s, c);
    ExpectNear(Normal(ry, {0, 0, 1}), s, 0, c);
    ExpectNear(Normal(rz, {1, 0, 0}), c, s, 0);

    const float yaw = 0.7f, pitch = -0.3f, roll = 1.1f;
    SMatrix product, ypr;
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
    const SVector4 out = Point(ts, {1, 1, 1});
    ExpectFloatEq({out.x, out.y, out.z}, 4, 9, 16);
    EXPECT_FLOAT_EQ(out.w, 1);
    ExpectFloatEq(Normal(ts, {1, 1, 1}), 2, 3, 4);  // translation ignored

    // Every element rounds after each product and sum, left to right: the bits that node poses
    // and their golden values depend on.
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(-100.0f, 100.0f);
    SMatrix a, b, product;
    for (int trial = 0; trial < 200; ++trial) {
        for (int i = 0; i < 16; ++i) {
            a.m[i / 4][i % 4] = value(random);
            b.m[i / 4][i % 4] = value(random);
        }
        MatrixMultiply(&product, &a, &b);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) {
                volatile float sum = a.m[r][0] * b.m[0][c];
                sum = sum + static_cast<float>(a.m[r][1] * b.m[1][c]);
                sum = sum + static_cast<float>(a.m[r][2] * b.m[2][c]);
                sum = sum + static_cast<float>(a.m[r][3] * b.m[3][c]);
                EXPECT_EQ(product.m[r][c], sum) << trial << " " << r << c;
            }
    }
}

TEST(Math3d, InverseOfRandomScaledSingularAndAliasedMatrices) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> value(-3.0f, 3.0f);
    SMatrix identity, inv, product;
    MatrixIdentity(&identity);
    for (int i = 0; i < 200; ++i) {
        SMatrix m;
        for (auto& row : m.m)
            for (float& x : row) x = value(rng);
        float det = 0;
        ASSERT_NE(MatrixInverse(&inv, &det, &m), nullptr);
        if (std::fabs(det) < 0.05f) continue;  // badly conditioned: skip the precision check
        MatrixMultiply(&product, &m, &inv);
        ExpectMatrixNear(product, identity, 2e-3f);
    }

    SMatrix scale;
    MatrixScaling(&scale, 2, 3, 4);
    float det = 0;
    ASSERT_NE(MatrixInverse(&inv, &det, &scale), nullptr);
    EXPECT_FLOAT_EQ(det, 24.0f);
    EXPECT_FLOAT_EQ(inv.m[0][0], 0.5f);
    EXPECT_FLOAT_EQ(inv.m[2][2], 0.25f);

    SMatrix singular, untouched;
    MatrixScaling(&singular, 1, 0, 1);
    MatrixTranslation(&untouched, 5, 6, 7);
    SMatrix out = untouched;
    EXPECT_EQ(MatrixInverse(&out, nullptr, &singular), nullptr);
    ExpectMatrixNear(out, untouched, 0);

    SMatrix rt;
    MatrixRotationYawPitchRoll(&rt, 0.2f, 0.4f, 0.6f);
    rt.m[3][0] = 3;
    inv = rt;
    ASSERT_NE(MatrixInverse(&inv, nullptr, &inv), nullptr);
    MatrixMultiply(&product, &inv, &rt);
    ExpectMatrixNear(product, identity);
}

TEST(Math3d, LookAtAndPerspectiveMapTheViewVolume) {
    const SVector3 eye{1, 2, -3}, at{1, 2, 5}, up{0, 1, 0};
    SMatrix view;
    MatrixLookAtLH(&view, &eye, &at, &up);
    const SVector4 e = Point(view, eye), a = Point(view, at);
    ExpectNear({e.x, e.y, e.z}, 0, 0, 0);
    ExpectNear({a.x, a.y, a.z}, 0, 0, 8);
    EXPECT_NEAR(Point(view, {2, 2, -3}).x, 1, kEps) << "+X stays right in a left-handed frame";
    const SVector3 upLeft{-1, 0, 0};
    MatrixLookAtLH(&view, &eye, &at, &upLeft);
    EXPECT_NEAR(Point(view, {0, 2, -3}).y, 1, kEps) << "with up turned to -X, world -X is view +Y";

    const float fov = 1.0471976f, aspect = 4.0f / 3.0f, zn = 0.1f, zf = 20.0f, z = 5.0f;
    SMatrix proj;
    MatrixPerspectiveFovLH(&proj, fov, aspect, zn, zf);
    SVector3 p{0, 0, zn}, q;
    EXPECT_NEAR(Vec3TransformCoord(&q, &p, &proj)->z, 0, kEps);
    p = {0, 0, zf};
    EXPECT_NEAR(Vec3TransformCoord(&q, &p, &proj)->z, 1, kEps);
    p = {z * std::tan(fov / 2) * aspect, z * std::tan(fov / 2), z};
    Vec3TransformCoord(&q, &p, &proj);
    EXPECT_NEAR(q.x, 1, kEps);
    EXPECT_NEAR(q.y, 1, kEps);
    EXPECT_FLOAT_EQ(Point(proj, p).w, z);
}

TEST(Math3d, NormalizeKeepsZeroVectorsZero) {
    SVector4 v{3, 0, 4, 0}, zero{0, 0, 0, 0};
    Vec4Normalize(&v, &v);
    EXPECT_FLOAT_EQ(v.x, 0.6f);
    EXPECT_FLOAT_EQ(v.z, 0.8f);
    Vec4Normalize(&v, &zero);
    EXPECT_EQ((std::vector<float>{v.x, v.y, v.z, v.w}), (std::vector<float>{0, 0, 0, 0}));

    SVector3 a{0, 0, 0}, b{0, 5, 0}, x{1, 0, 0}, y{0, 1, 0}, z;
    ExpectFloatEq(*Vec3Normalize(&a, &a), 0, 0, 0);
    ExpectFloatEq(*Vec3Normalize(&b, &b), 0, 1, 0);
    ExpectFloatEq(*Vec3Cross(&z, &x, &y), 0, 0, 1);
}

}  // namespace
