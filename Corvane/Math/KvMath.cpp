#include "Corvane/Math/KvMath.h"

#include <algorithm>

#include "Corvane/Math/KvRandom.h"
#include "Corvane/System/KvDebug.h"

kv_rect g_kvClipRect = {0.0f, 0.0f, 0.0f, 0.0f};

namespace {

// A random word as a value in [-1, 1).
inline f32 wordToSignedUnit(u32 uiWord) { return KvMath::wordToUnitFloat(uiWord) * 2.0f - 1.0f; }

void assertRotationColumn(const kv_vector3& v) {
  KV_ASSERTF(KvMath::isNormal(v),
             "Vectors for 'SetMatrix' should be normalized (we're assuming we're setting a rotation matrix!). "
             "Current length: %f",
             static_cast<f64>(v.length()));
}

}  // namespace

namespace KvMath {

f32 sqrt(f32 fValue) {
  KV_ASSERTF(!(fValue < KV_ZERO), "Trying to sqrt negative value (%.8f)", static_cast<f64>(fValue));
  return std::sqrt(fValue);
}

f32 acos(f32 fValue) {
  KV_ASSERTF(!std::isnan(fValue), "Trying to acos() value (%.8f) outside of -1 to 1", static_cast<f64>(fValue));
  return std::acos(std::clamp(fValue, -KV_ONE, KV_ONE));
}

kv_vector3 getRandomUnitVector() {
  for (;;) {
    KvRandomCountDraws(3);
    const u32 uiW1 = sfmtNextWord();
    const u32 uiW2 = sfmtNextWord();
    const u32 uiW3 = sfmtNextWord();
    kv_vector3 v = {wordToSignedUnit(uiW3), wordToSignedUnit(uiW2), wordToSignedUnit(uiW1)};
    const f32 fLength = v.length();
    if (fLength == KV_ZERO || std::isnan(fLength) || fLength < KV_EPSILON) {
      continue;
    }
    v.normalize();
    return v;
  }
}

}  // namespace KvMath

kv_vector3 kv_vector3::getPerpendicular() const {
  KV_ASSERT(KvMath::isNormalLoose(*this));
  const kv_vector3 vUp = {0.0f, 1.0f, 0.0f};
  if (std::fabs(dot(vUp)) < 0.96f) {
    return vUp.cross(*this).normalized();
  }
  const kv_vector3 vZ = {0.0f, 0.0f, 1.0f};
  return vZ.cross(*this).normalized();
}

kv_matrix& kv_matrix::multiply(const kv_matrix& other, kv_matrix& out) const {
  // Built in a temporary so that out may alias either operand.
  kv_matrix result;
  for (i32 i = 0; i < 4; ++i) {
    for (i32 j = 0; j < 4; ++j) {
      f32 fSum = 0.0f;
      for (i32 k = 0; k < 4; ++k) {
        fSum += m[i][k] * other.m[k][j];
      }
      result.m[i][j] = fSum;
    }
  }
  out = result;
  return out;
}

kv_matrix& kv_matrix::transpose(kv_matrix& out) const {
  kv_matrix result;
  for (i32 i = 0; i < 4; ++i) {
    for (i32 j = 0; j < 4; ++j) {
      result.m[i][j] = m[j][i];
    }
  }
  out = result;
  return out;
}

kv_matrix& kv_matrix::multiplyTransposed3x3(const kv_matrix& B, kv_matrix& out) const {
  f32 result[3][4];
  for (i32 i = 0; i < 3; ++i) {
    for (i32 j = 0; j < 3; ++j) {
      result[i][j] = B.m[i][0] * m[j][0] + B.m[i][1] * m[j][1] + B.m[i][2] * m[j][2];
    }
    result[i][3] = 0.0f;
  }
  for (i32 i = 0; i < 3; ++i) {
    for (i32 j = 0; j < 4; ++j) {
      out.m[i][j] = result[i][j];
    }
  }
  return out;
}

void kv_matrix::setColumnX(const kv_vector3& v) {
  assertRotationColumn(v);
  m[0][0] = v.x;
  m[1][0] = v.y;
  m[2][0] = v.z;
}

void kv_matrix::setColumnY(const kv_vector3& v) {
  assertRotationColumn(v);
  m[0][1] = v.x;
  m[1][1] = v.y;
  m[2][1] = v.z;
}

void kv_matrix::setColumnNegZ(const kv_vector3& v) {
  assertRotationColumn(v);
  m[0][2] = -v.x;
  m[1][2] = -v.y;
  m[2][2] = -v.z;
}

void kv_matrix::setLookDirection(const kv_vector3& vForward, const kv_vector3& vUpHint) {
  const kv_vector3 vF = vForward.normalized();
  kv_vector3 vU = vUpHint;
  if (std::fabs(vF.dot(vU)) > 0.995f) {
    vU = vF.getPerpendicular();
  }
  kv_vector3 vSide = vF.cross(vU);
  kv_vector3 vUp = vSide.cross(vF);
  vUp.normalize();
  vSide.normalize();
  setColumnNegZ(vF);
  setColumnY(vUp);
  setColumnX(vSide);
}

void kv_matrix::makeAxisRotation(const kv_vector3& vAxis, f32 fAngle) {
  KV_ASSERT(KvMath::isNormalLoose(vAxis));
  const f32 c = std::cos(fAngle);
  const f32 s = std::sin(fAngle);
  const f32 k = 1.0f - c;
  const f32 ax = vAxis.x;
  const f32 ay = vAxis.y;
  const f32 az = vAxis.z;
  m[0][0] = k * ax * ax + c;
  m[0][1] = k * ax * ay + s * az;
  m[0][2] = k * ax * az - s * ay;
  m[1][0] = k * ax * ay - s * az;
  m[1][1] = k * ay * ay + c;
  m[1][2] = k * ay * az + s * ax;
  m[2][0] = k * ax * az + s * ay;
  m[2][1] = k * ay * az - s * ax;
  m[2][2] = k * az * az + c;
}

void kv_matrix::toAxisAngle(f32& fAngle, kv_vector3& vAxis) const {
  fAngle = KvMath::acos((m[0][0] + m[1][1] + m[2][2] - 1.0f) * 0.5f);
  const kv_vector3 vD = {m[1][2] - m[2][1], m[2][0] - m[0][2], m[0][1] - m[1][0]};
  const f32 fLength = vD.length();
  if (fLength > 1e-6f) {
    vAxis = {vD.x / fLength, vD.y / fLength, vD.z / fLength};
    return;
  }
  if (fAngle > 1.0f) {
    // A half turn: the diagonal gives the axis up to the signs of its components. Rounding can leave a
    // diagonal element a little below -1, so the square root's argument is clamped at 0.
    const f32 ax = KvMath::sqrt(std::max(KV_ZERO, (m[0][0] + 1.0f) * 0.5f));
    const f32 ay = KvMath::sqrt(std::max(KV_ZERO, (m[1][1] + 1.0f) * 0.5f));
    const f32 az = KvMath::sqrt(std::max(KV_ZERO, (m[2][2] + 1.0f) * 0.5f));
    // Every sign pattern up to the axis' own sign; the fourth, (+, -, +), is needed for axes such as
    // (1, -1, 1), which the first three cannot represent. Without a match the third is the answer.
    const kv_vector3 candidates[4] = {{ax, ay, az}, {ax, ay, -az}, {ax, -ay, -az}, {ax, -ay, az}};
    for (const kv_vector3& vCandidate : candidates) {
      const kv_vector3 vMa = {m[0][0] * vCandidate.x + m[0][1] * vCandidate.y + m[0][2] * vCandidate.z,
                              m[1][0] * vCandidate.x + m[1][1] * vCandidate.y + m[1][2] * vCandidate.z,
                              m[2][0] * vCandidate.x + m[2][1] * vCandidate.y + m[2][2] * vCandidate.z};
      if ((vMa - vCandidate).lengthSquared() < 1e-6f) {
        vAxis = vCandidate;
        return;
      }
    }
    vAxis = candidates[2];
    return;
  }
  vAxis = {1.0f, 0.0f, 0.0f};
}

kv_rect kv_rect::clipToViewport() const {
  KV_ASSERT(mp_fX1<=mp_fX2);
  KV_ASSERT(mp_fY1<=mp_fY2);
  const kv_rect& clip = g_kvClipRect;
  if (mp_fX2 < clip.mp_fX1 || mp_fX1 > clip.mp_fX2 || mp_fY2 < clip.mp_fY1 || mp_fY1 > clip.mp_fY2) {
    return gc_kvEmptyRect;
  }
  return {std::max(mp_fX1, clip.mp_fX1), std::min(mp_fX2, clip.mp_fX2), std::max(mp_fY1, clip.mp_fY1),
          std::min(mp_fY2, clip.mp_fY2)};
}

kv_vector3 GetRandomVectorAroundNormal(const kv_vector3& vNormal, f32 fAngleInDeg) {
  KV_ASSERT(fAngleInDeg <= KV_FLOAT(180.0f) && fAngleInDeg > KV_ZERO);
  KV_ASSERTF(KvMath::isNormal(vNormal),
             "Vectors for 'GetRandomVectorAroundNormal' should be normalized . Current length: %f",
             static_cast<f64>(vNormal.length()));
  const f32 fCos = std::cos(fAngleInDeg * KV_PI / 180.0f);

  if (fAngleInDeg > 60.0f) {
    kv_vector3 v = {};
    for (i32 iTry = 0; iTry < 8; ++iTry) {
      v = KvMath::getRandomUnitVector();
      if (v.dot(vNormal) >= fCos) {
        break;
      }
    }
    return v;
  }

  // A point on the unit disc, then a height in [cos, 1] along the normal; the disc point is scaled so that
  // the result is unit length.
  f32 a = 0.0f;
  f32 b = 0.0f;
  for (i32 iTry = 0; iTry < 8; ++iTry) {
    KvRandomCountDraws(2);
    const u32 uiW1 = sfmtNextWord();
    const u32 uiW2 = sfmtNextWord();
    a = wordToSignedUnit(uiW1);
    b = wordToSignedUnit(uiW2);
    const f32 fDisc = a * a + b * b;
    // The centre itself has no direction to scale: it counts as a miss.
    if (fDisc <= 1.0f && fDisc > KV_ZERO) {
      break;
    }
  }
  KvRandomCountDraws(1);
  const f32 z = KvMath::wordToUnitFloat(sfmtNextWord()) * (1.0f - fCos) + fCos;
  const f32 fDisc = a * a + b * b;
  const f32 r = fDisc > KV_ZERO ? KvMath::sqrt(std::max(KV_ZERO, 1.0f - z * z) / fDisc) : KV_ZERO;

  kv_matrix look;
  look.setLookDirection(vNormal, {0.0f, 1.0f, 0.0f});
  const f32 fLocalX = a * r;
  const f32 fLocalY = b * r;
  const f32 fLocalZ = -z;
  kv_vector3 vResult;
  vResult.x = look.m[0][0] * fLocalX + look.m[0][1] * fLocalY + look.m[0][2] * fLocalZ;
  vResult.y = look.m[1][0] * fLocalX + look.m[1][1] * fLocalY + look.m[1][2] * fLocalZ;
  vResult.z = look.m[2][0] * fLocalX + look.m[2][1] * fLocalY + look.m[2][2] * fLocalZ;
  return vResult;
}
