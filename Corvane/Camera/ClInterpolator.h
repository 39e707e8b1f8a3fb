// Timed interpolation of a value from a start to an end with an easing method, advanced by the caller's frame
// time in seconds. The float and vector forms take methods 0 (linear), 1 (slow-fast-slow cosine), 2 (quadratic
// ease-in), 3 (quadratic ease-out) and 4 (quartic ease-out); the rotation form takes 0 and 1 and turns along the
// shortest path. Any other method is the fatal error "Unsupported method". A duration of 0 means idle.
#pragma once

#include <cmath>

#include "Corvane/Math/KvMath.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/System/KvTypes.h"

// The eased fraction of the linear fraction x for a method.
f32 KvInterpolatorEase(i32 iMethod, f32 fX, bool bRotation);

template <typename T>
class ClInterpolator {
 public:
  // From, to, a head start (seconds already elapsed) and the duration.
  void start(const T& from, const T& to, f32 fHeadStart, f32 fDuration) {
    if (fDuration == 0.0f) {
      m_end = to;
      m_current = to;
      m_fDuration = 0.0f;
      return;
    }
    m_start = from;
    m_current = from;
    m_end = to;
    m_delta = to - from;
    m_fDuration = fDuration;
    m_fRate = 1.0f / fDuration;
    m_fElapsed = 0.0f;
    if (fHeadStart != 0.0f) {
      update(fHeadStart);
    }
  }
  void update(f32 fDT) {
    if (m_fDuration == 0.0f) {
      return;
    }
    m_fElapsed += fDT;
    if (m_fElapsed >= m_fDuration) {
      m_current = m_end;
      m_fDuration = 0.0f;
      return;
    }
    m_current = m_start + m_delta * KvInterpolatorEase(m_iMethod, m_fRate * m_fElapsed, false);
  }
  bool isIdle() const { return m_fDuration == 0.0f; }

  T m_start{};
  T m_end{};
  T m_delta{};
  T m_current{};
  i32 m_iMethod = 0;
  f32 m_fDuration = 0.0f;
  f32 m_fRate = 0.0f;
  f32 m_fElapsed = 0.0f;
};

// Rotations (the 3x3 part of a matrix): turned about the axis of the relative rotation.
template <>
class ClInterpolator<kv_matrix> {
 public:
  void start(const kv_matrix& from, const kv_matrix& to, f32 fHeadStart, f32 fDuration);
  void evaluate();

  i32 m_iMethod = 1;
  kv_matrix m_start;
  kv_matrix m_end;
  kv_matrix m_current;
  f32 m_fDuration = 0.0f;
  f32 m_fElapsed = 0.0f;
};
