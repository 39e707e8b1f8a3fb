#include "Corvane/Math/KvMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "Corvane/Math/KvRandom.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

void expectNear(const kv_vector3& a, const kv_vector3& b, f32 fTol = 1e-5f) {
  EXPECT_NEAR(a.x, b.x, fTol);
  EXPECT_NEAR(a.y, b.y, fTol);
  EXPECT_NEAR(a.z, b.z, fTol);
}

// Orthonormal and right-handed (column 0 x column 1 = column 2).
void expectRotation(const kv_matrix& M) {
  for (i32 i = 0; i < 3; ++i) {
    EXPECT_NEAR(M.getRow(i).length(), 1.0f, 1e-5f);
    EXPECT_NEAR(M.getRow(i).dot(M.getRow((i + 1) % 3)), 0.0f, 1e-5f);
  }
  expectNear(M.getColumn(0).cross(M.getColumn(1)), M.getColumn(2));
}

kv_vector3 randomDirection(std::mt19937& rng) {
  std::uniform_real_distribution<f32> dist(-1.0f, 1.0f);
  kv_vector3 v = {dist(rng), dist(rng), dist(rng)};
  return v.length() > 0.1f ? v.normalized() : kv_vector3{0.0f, 0.0f, 1.0f};
}

f32 signedUnit(u32 w) { return KvMath::wordToUnitFloat(w) * 2.0f - 1.0f; }

TEST(KvMath, ScalarRulesAndDegenerateVectors) {
  EXPECT_FLOAT_EQ(KvMath::getFraction(2.25f), 0.25f);
  EXPECT_FLOAT_EQ(KvMath::getFraction(-0.25f), -0.25f);
  EXPECT_FLOAT_EQ(KvMath::getFraction(-1.75f), -0.75f);
  EXPECT_KV_ASSERT(KvMath::sqrt(-0.5f), "Trying to sqrt negative value (-0.50000000)");
  EXPECT_FLOAT_EQ(KvMath::acos(1.5f), 0.0f);
  EXPECT_FLOAT_EQ(KvMath::acos(-7.0f), KV_PI);
  EXPECT_KV_ASSERT(KvMath::acos(std::nanf("")), "Trying to acos() value (nan) outside of -1 to 1");

  kv_vector3 vZero = {0.0f, 0.0f, 0.0f};
  vZero.normalize();
  EXPECT_EQ(vZero, (kv_vector3{0.0f, 0.0f, 0.0f}));
  kv_vector2 v2 = {3.0f, 4.0f};
  v2.normalize();
  EXPECT_EQ(v2, (kv_vector2{0.6f, 0.8f}));
  EXPECT_TRUE(KvMath::isNormalLoose({1.039f, 0.0f, 0.0f}));
  EXPECT_FALSE(KvMath::isNormalLoose({0.0f, 1.041f, 0.0f}));
}

TEST(KvMath, ProductsComposeRowVectors) {
  kv_matrix A;
  A.makeAxisRotation({0.0f, 0.0f, 1.0f}, KV_PI * 0.5f);  // turns X towards Y
  A.setPosition({1.0f, 2.0f, 3.0f});
  kv_matrix B;
  B.makeAxisRotation({1.0f, 0.0f, 0.0f}, KV_PI * 0.5f);  // turns Y towards Z
  kv_matrix AB;
  A.multiply(B, AB);
  // A is applied first: X -> Y -> Z, and A's position is turned by B.
  expectNear(AB.getRow(0), {0.0f, 0.0f, 1.0f});
  expectNear(AB.getPosition(), {1.0f, -3.0f, 2.0f});
  kv_matrix aliased = A;
  aliased.multiply(B, aliased);
  EXPECT_EQ(std::memcmp(&aliased, &AB, sizeof(AB)), 0);

  kv_matrix T;
  AB.transpose(T);
  EXPECT_EQ(T.m[3][1], AB.m[1][3]);
  T.transpose(T);
  EXPECT_EQ(std::memcmp(&T, &AB, sizeof(AB)), 0);

  // B x A^T on the 3x3 parts: for a rotation, A x A^T is the identity; row 3 of out stays as it was.
  kv_matrix out;
  out.setPosition({7.0f, 8.0f, 9.0f});
  out.m[0][3] = 5.0f;
  A.multiplyTransposed3x3(A, out);
  expectNear(out.getRow(0), {1.0f, 0.0f, 0.0f});
  expectNear(out.getRow(2), {0.0f, 0.0f, 1.0f});
  EXPECT_EQ(out.m[0][3], 0.0f);
  EXPECT_EQ(out.getPosition(), (kv_vector3{7.0f, 8.0f, 9.0f}));
}

TEST(KvMath, LookDirectionIsOrthonormal) {
  kv_matrix M;
  M.setColumnNegZ({0.0f, 0.6f, 0.8f});
  expectNear(M.getColumn(2), {0.0f, -0.6f, -0.8f});
  EXPECT_KV_ASSERT(M.setColumnX({1.0f, 0.1f, 0.0f}),
                   "Vectors for 'SetMatrix' should be normalized (we're assuming we're setting a rotation "
                   "matrix!). Current length: 1.00498");

  std::mt19937 rng(11);
  for (i32 iCase = 0; iCase < 200; ++iCase) {
    const kv_vector3 vForward = randomDirection(rng) * (0.2f + iCase * 0.1f);
    const kv_vector3 vUp = randomDirection(rng);
    M.setLookDirection(vForward, vUp);
    expectRotation(M);
    expectNear(M.getColumn(2), -vForward.normalized());
    EXPECT_GE(M.getColumn(1).dot(vUp), -1e-5f);  // up leans towards the hint
    const kv_vector3 vPerp = vUp.getPerpendicular();
    EXPECT_NEAR(vPerp.length(), 1.0f, 1e-5f);
    EXPECT_NEAR(vPerp.dot(vUp), 0.0f, 1e-5f);
  }
  // Forward along the up hint: the perpendicular (0, 0, 1) x forward = (-1, 0, 0) replaces the hint.
  M.setLookDirection({0.0f, 1.0f, 0.0f}, {0.0f, 1.0f, 0.0f});
  expectRotation(M);
  expectNear(M.getColumn(1), {-1.0f, 0.0f, 0.0f});
  M.setLookDirection({0.0f, -3.0f, 0.0f}, {0.0f, 1.0f, 0.0f});
  expectRotation(M);
  EXPECT_KV_ASSERT(kv_vector3({0.0f, 2.0f, 0.0f}).getPerpendicular(), "KvMath::isNormalLoose(*this)");
}

TEST(KvMath, AxisAngleRoundTrips) {
  kv_matrix R;
  EXPECT_KV_ASSERT(R.makeAxisRotation({0.0f, 0.0f, 0.9f}, 1.0f), "KvMath::isNormalLoose(vAxis)");
  f32 fAngle = -1.0f;
  kv_vector3 vAxis = {};
  R.toAxisAngle(fAngle, vAxis);
  EXPECT_EQ(fAngle, 0.0f);
  EXPECT_EQ(vAxis, (kv_vector3{1.0f, 0.0f, 0.0f}));

  std::mt19937 rng(5);
  std::uniform_real_distribution<f32> angles(0.05f, KV_PI - 0.05f);
  for (i32 iCase = 0; iCase < 200; ++iCase) {
    const kv_vector3 vIn = randomDirection(rng);
    const f32 fIn = angles(rng);
    R.makeAxisRotation(vIn, fIn);
    expectRotation(R);
    R.toAxisAngle(fAngle, vAxis);
    EXPECT_NEAR(fAngle, fIn, 2e-3f);
    expectNear(vAxis, vIn, 2e-3f);
  }
}

TEST(KvMath, HalfTurnsGiveTheirAxis) {
  // Half turns made directly and as two quarter turns; the products leave some diagonal elements a little
  // below -1, which must not reach the square root. Every sign pattern of the axis must be found.
  const kv_vector3 axes[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1},  {1, 1, 1},  {1, -1, 1},
                             {-1, 1, 1}, {1, 1, -1}, {0, 1, -1}, {3, -1, 2}, {1, -2, -3}};
  i32 iBelowMinusOne = 0;
  for (const kv_vector3& vRaw : axes) {
    const kv_vector3 vIn = vRaw.normalized();
    kv_matrix halves[3];
    halves[0].makeAxisRotation(vIn, KV_PI);
    kv_matrix quarter;
    quarter.makeAxisRotation(vIn, KV_PI * 0.5f);
    quarter.multiply(quarter, halves[1]);
    quarter.makeAxisRotation(vIn * 1.0000001f, KV_PI * 0.5f);  // an axis a rounding step too long
    quarter.multiply(quarter, halves[2]);
    for (const kv_matrix& R : halves) {
      for (i32 i = 0; i < 3; ++i) {
        iBelowMinusOne += R.m[i][i] < -1.0f ? 1 : 0;
      }
      f32 fAngle = 0.0f;
      kv_vector3 vAxis = {};
      R.toAxisAngle(fAngle, vAxis);
      EXPECT_NEAR(fAngle, KV_PI, 2e-3f);
      EXPECT_NEAR(std::fabs(vAxis.dot(vIn)), 1.0f, 1e-3f) << vRaw.x << " " << vRaw.y << " " << vRaw.z;
    }
  }
  EXPECT_GT(iBelowMinusOne, 0);  // the rounding case really occurred
}

TEST(KvMath, ClipToViewport) {
  const kv_rect saved = g_kvClipRect;
  g_kvClipRect = {10.0f, 100.0f, 20.0f, 50.0f};
  EXPECT_EQ((kv_rect{0.0f, 30.0f, 40.0f, 90.0f}.clipToViewport()), (kv_rect{10.0f, 30.0f, 40.0f, 50.0f}));
  EXPECT_EQ((kv_rect{0.0f, 500.0f, 0.0f, 500.0f}.clipToViewport()), g_kvClipRect);
  // Touching edges overlap, giving zero width or height, not the empty rectangle.
  EXPECT_EQ((kv_rect{0.0f, 10.0f, 30.0f, 35.0f}.clipToViewport()), (kv_rect{10.0f, 10.0f, 30.0f, 35.0f}));
  EXPECT_EQ((kv_rect{100.0f, 120.0f, 0.0f, 20.0f}.clipToViewport()), (kv_rect{100.0f, 100.0f, 20.0f, 20.0f}));
  EXPECT_EQ((kv_rect{0.0f, 9.0f, 30.0f, 35.0f}.clipToViewport()), gc_kvEmptyRect);
  EXPECT_EQ((kv_rect{20.0f, 30.0f, 51.0f, 60.0f}.clipToViewport()), gc_kvEmptyRect);
  EXPECT_KV_ASSERT((kv_rect{5.0f, 4.0f, 0.0f, 1.0f}.clipToViewport()), "mp_fX1<=mp_fX2");
  EXPECT_KV_ASSERT((kv_rect{0.0f, 4.0f, 2.0f, 1.0f}.clipToViewport()), "mp_fY1<=mp_fY2");
  g_kvClipRect = saved;
}

TEST(KvMathRandom, DrawOrderReplaysByHand) {
  // Unit vector: three words, x from the third, z from the first.
  sfmtInitGenRand(2024);
  const u32 w1 = sfmtNextWord();
  const u32 w2 = sfmtNextWord();
  const u32 w3 = sfmtNextWord();
  sfmtInitGenRand(2024);
  EXPECT_EQ(KvMath::getRandomUnitVector(), (kv_vector3{signedUnit(w3), signedUnit(w2), signedUnit(w1)}.normalized()));
  EXPECT_EQ(KvRandomGetDrawCount(), 3u);

  // Narrow cone: pairs until one lies on the disc, then one word for the height along the normal.
  const kv_vector3 vNormal = kv_vector3{1.0f, 2.0f, -2.0f}.normalized();
  const f32 fCos = std::cos(30.0f * KV_PI / 180.0f);
  for (u32 uiSeed = 1; uiSeed <= 20; ++uiSeed) {
    sfmtInitGenRand(uiSeed);
    f32 a = 0.0f;
    f32 b = 0.0f;
    u32 uiWords = 1;
    for (i32 iTry = 0; iTry < 8 && (iTry == 0 || a * a + b * b > 1.0f); ++iTry, uiWords += 2) {
      a = signedUnit(sfmtNextWord());
      b = signedUnit(sfmtNextWord());
    }
    const f32 z = KvMath::wordToUnitFloat(sfmtNextWord()) * (1.0f - fCos) + fCos;
    const u32 uiNext = sfmtNextWord();
    const f32 r = std::sqrt((1.0f - z * z) / (a * a + b * b));
    kv_matrix L;
    L.setLookDirection(vNormal, {0.0f, 1.0f, 0.0f});
    sfmtInitGenRand(uiSeed);
    expectNear(GetRandomVectorAroundNormal(vNormal, 30.0f),
               L.getColumn(0) * (a * r) + L.getColumn(1) * (b * r) + vNormal * z, 1e-6f);
    EXPECT_EQ(KvRandomGetDrawCount(), uiWords);
    EXPECT_EQ(sfmtNextWord(), uiNext);
  }
}

TEST(KvMathRandom, DirectionsStayInTheirCone) {
  sfmtInitGenRand(77);
  std::mt19937 rng(1);
  for (f32 fAngle : {5.0f, 60.0f, 60.5f, 90.0f, 120.0f, 180.0f}) {
    const f32 fCos = std::cos(fAngle * KV_PI / 180.0f);
    for (i32 i = 0; i < 1000; ++i) {
      const kv_vector3 vNormal = randomDirection(rng);
      const u32 uiBefore = KvRandomGetDrawCount();
      const kv_vector3 v = GetRandomVectorAroundNormal(vNormal, fAngle);
      const u32 uiUsed = KvRandomGetDrawCount() - uiBefore;
      ASSERT_NEAR(v.length(), 1.0f, 1e-4f);
      if (fAngle <= 60.0f) {
        ASSERT_TRUE(uiUsed % 2 == 1 && uiUsed <= 17) << uiUsed;
        ASSERT_GE(v.dot(vNormal), fCos - 1e-4f) << fAngle;
      } else {
        ASSERT_TRUE(uiUsed % 3 == 0 && uiUsed <= 24) << uiUsed;
        // Only a call that used all 8 attempts may answer outside the cone (never at 120 degrees or more).
        if (v.dot(vNormal) < fCos) {
          ASSERT_TRUE(uiUsed == 24 && fAngle < 120.0f) << fAngle;
        }
      }
    }
  }
  EXPECT_KV_ASSERT(GetRandomVectorAroundNormal({0.0f, 1.0f, 0.0f}, 0.0f),
                   "fAngleInDeg <= KV_FLOAT(180.0f) && fAngleInDeg > KV_ZERO");
  EXPECT_KV_ASSERT(GetRandomVectorAroundNormal({0.0f, 1.0f, 0.0f}, 180.5f), "fAngleInDeg <= KV_FLOAT(180.0f)");
  EXPECT_KV_ASSERT(GetRandomVectorAroundNormal({0.0f, 1.1f, 0.0f}, 20.0f),
                   "Vectors for 'GetRandomVectorAroundNormal' should be normalized . Current length: 1.1");
}

}  // namespace
