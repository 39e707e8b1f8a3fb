// The engine's maths layer: float vectors, 4x4 matrices for rotations and transforms, rectangles, the
// fraction rule and random directions.
//
// Conventions shared by rendering and game code:
// - Matrices hold row vectors: rows 0-2 are the rotation (3x3 part), row 3 the position. A product is
//   this x other, so a child's world rotation is its own rotation times its parent's.
// - Degenerate input is absorbed where that is cheap and safe (normalising a zero vector leaves it as it is,
//   arc-cosine arguments are clamped); anything else is an assertion.
// - The random functions draw from the global generator (KvRandom.h) and count every word they use, so a
//   fixed seed replays the same directions. Main thread only.
#pragma once

#include <cmath>

#include "Corvane/System/KvTypes.h"

inline constexpr f32 KV_PI = 3.14159265358979f;

namespace KvMath {

// Square root; a negative argument is an assertion (NaN passes through).
f32 sqrt(f32 fValue);
// Arc cosine in radians; the argument is clamped to [-1, 1], only NaN is an assertion.
f32 acos(f32 fValue);

// x - floor(x) for x >= 0, x - floor(x + 1) for x < 0: the fraction keeps the sign of x.
inline f32 getFraction(f32 fValue) {
  return fValue >= KV_ZERO ? fValue - std::floor(fValue) : fValue - std::floor(fValue + KV_ONE);
}

}  // namespace KvMath

struct kv_vector2 {
  f32 x;
  f32 y;

  f32 lengthSquared() const { return x * x + y * y; }
  f32 length() const { return KvMath::sqrt(lengthSquared()); }
  // Divides by the length; a zero or NaN length leaves the vector unchanged.
  void normalize() {
    const f32 fLength = length();
    if (fLength != KV_ZERO && !std::isnan(fLength)) {
      x /= fLength;
      y /= fLength;
    }
  }
  f32 dot(const kv_vector2& o) const { return x * o.x + y * o.y; }

  kv_vector2 operator+(const kv_vector2& o) const { return {x + o.x, y + o.y}; }
  kv_vector2 operator-(const kv_vector2& o) const { return {x - o.x, y - o.y}; }
  kv_vector2 operator*(f32 f) const { return {x * f, y * f}; }
  kv_vector2 operator-() const { return {-x, -y}; }
  kv_vector2& operator+=(const kv_vector2& o) { x += o.x; y += o.y; return *this; }
  kv_vector2& operator-=(const kv_vector2& o) { x -= o.x; y -= o.y; return *this; }
  kv_vector2& operator*=(f32 f) { x *= f; y *= f; return *this; }
  bool operator==(const kv_vector2&) const = default;
};

struct kv_vector3 {
  f32 x;
  f32 y;
  f32 z;

  f32 lengthSquared() const { return x * x + y * y + z * z; }
  f32 length() const { return KvMath::sqrt(lengthSquared()); }
  // Divides by the length; a zero or NaN length leaves the vector unchanged.
  void normalize() {
    const f32 fLength = length();
    if (fLength != KV_ZERO && !std::isnan(fLength)) {
      x /= fLength;
      y /= fLength;
      z /= fLength;
    }
  }
  kv_vector3 normalized() const {
    kv_vector3 v = *this;
    v.normalize();
    return v;
  }
  f32 dot(const kv_vector3& o) const { return x * o.x + y * o.y + z * o.z; }
  kv_vector3 cross(const kv_vector3& o) const {
    return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x};
  }
  // A unit vector perpendicular to this one, which must be unit length within the loose tolerance.
  kv_vector3 getPerpendicular() const;

  kv_vector3 operator+(const kv_vector3& o) const { return {x + o.x, y + o.y, z + o.z}; }
  kv_vector3 operator-(const kv_vector3& o) const { return {x - o.x, y - o.y, z - o.z}; }
  kv_vector3 operator*(f32 f) const { return {x * f, y * f, z * f}; }
  kv_vector3 operator-() const { return {-x, -y, -z}; }
  kv_vector3& operator+=(const kv_vector3& o) { x += o.x; y += o.y; z += o.z; return *this; }
  kv_vector3& operator-=(const kv_vector3& o) { x -= o.x; y -= o.y; z -= o.z; return *this; }
  kv_vector3& operator*=(f32 f) { x *= f; y *= f; z *= f; return *this; }
  bool operator==(const kv_vector3&) const = default;
};

// Four floats on a 16-byte boundary: a point or direction (w unused) as the renderer's records keep it.
struct alignas(16) kv_vector4 {
  f32 x;
  f32 y;
  f32 z;
  f32 w;

  kv_vector3 xyz() const { return {x, y, z}; }
  static kv_vector4 from(const kv_vector3& v, f32 fW = 0.0f) { return {v.x, v.y, v.z, fW}; }
  bool operator==(const kv_vector4&) const = default;
};

namespace KvMath {

// Unit length within 0.0001 (the strict test of rotation set-up).
inline bool isNormal(const kv_vector3& v) { return std::fabs(v.length() - KV_ONE) < KV_EPSILON; }
// Unit length within 0.04.
inline bool isNormalLoose(const kv_vector3& v) { return std::fabs(v.length() - KV_ONE) < 0.04f; }

}  // namespace KvMath

// Four rows of four floats, 16-byte aligned. A default-constructed matrix is the identity.
struct alignas(16) kv_matrix {
  f32 m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

  void setIdentity() { *this = kv_matrix{}; }

  kv_vector3 getRow(i32 iRow) const { return {m[iRow][0], m[iRow][1], m[iRow][2]}; }
  void setRow(i32 iRow, const kv_vector3& v) {
    m[iRow][0] = v.x;
    m[iRow][1] = v.y;
    m[iRow][2] = v.z;
  }
  kv_vector3 getColumn(i32 iColumn) const { return {m[0][iColumn], m[1][iColumn], m[2][iColumn]}; }
  kv_vector3 getPosition() const { return getRow(3); }
  void setPosition(const kv_vector3& v) { setRow(3, v); }

  // out = this x other (all 16 elements); answers out. out may be this or other.
  kv_matrix& multiply(const kv_matrix& other, kv_matrix& out) const;
  // out = this transposed (all 16 elements); answers out. out may be this.
  kv_matrix& transpose(kv_matrix& out) const;
  // 3x3 parts only: out = B x this^T. Rows 0-2 of out get a fourth float of 0; row 3 is not written.
  kv_matrix& multiplyTransposed3x3(const kv_matrix& B, kv_matrix& out) const;

  // Write a unit vector into column 0 or 1, or its negation into column 2, of the 3x3 part. Asserts that it
  // is unit length within 0.0001.
  void setColumnX(const kv_vector3& v);
  void setColumnY(const kv_vector3& v);
  void setColumnNegZ(const kv_vector3& v);

  // The 3x3 part becomes the rotation that looks along vForward: column 2 = -forward, column 1 = up,
  // column 0 = right (forward x up). An up hint nearly parallel to the forward direction is replaced by a
  // perpendicular, so the result stays orthonormal.
  void setLookDirection(const kv_vector3& vForward, const kv_vector3& vUpHint);
  // The 3x3 part becomes the rotation by fAngle radians about vAxis (for row vectors).
  void makeAxisRotation(const kv_vector3& vAxis, f32 fAngle);
  // The angle (radians, 0..pi) and unit axis of the rotation in the 3x3 part; (1, 0, 0) for no rotation.
  void toAxisAngle(f32& fAngle, kv_vector3& vAxis) const;
};

// An ordered rectangle: mp_fX1 <= mp_fX2, mp_fY1 <= mp_fY2.
struct kv_rect {
  f32 mp_fX1;
  f32 mp_fX2;
  f32 mp_fY1;
  f32 mp_fY2;

  // The intersection with the current clip rectangle (touching edges count as overlap, giving a zero-width
  // or zero-height result); the empty rectangle when they do not meet.
  kv_rect clipToViewport() const;
  bool operator==(const kv_rect&) const = default;
};

// The current clip rectangle (all zero means no clip); set by the graphics code.
extern kv_rect g_kvClipRect;
// The empty rectangle (all zero).
inline constexpr kv_rect gc_kvEmptyRect = {0.0f, 0.0f, 0.0f, 0.0f};

namespace KvMath {

// A uniformly distributed unit vector: three words per attempt (rejecting near-zero vectors).
kv_vector3 getRandomUnitVector();

}  // namespace KvMath

// A random unit vector within fAngleInDeg (0 < angle <= 180) of the unit vector vNormal. Above 60 degrees by
// rejection from getRandomUnitVector (at most 8 attempts, the eighth answers regardless); at 60 degrees or
// less by a point on the disc (2 words per attempt, at most 8) and one word for the height.
kv_vector3 GetRandomVectorAroundNormal(const kv_vector3& vNormal, f32 fAngleInDeg);
