#include "Corvane/Camera/ClInterpolator.h"

f32 KvInterpolatorEase(i32 iMethod, f32 fX, bool bRotation) {
  switch (iMethod) {
    case 0:
      return fX;
    case 1:
      return (std::cos((1.0f - fX) * 3.1415927f) + 1.0f) * 0.5f;
    case 2:
      if (!bRotation) return fX * fX;
      break;
    case 3:
      if (!bRotation) return 1.0f - (1.0f - fX) * (1.0f - fX);
      break;
    case 4:
      if (!bRotation) {
        const f32 fRest = (1.0f - fX) * (1.0f - fX);
        return 1.0f - fRest * fRest;
      }
      break;
    default:
      break;
  }
  KV_FATAL("Unsupported method");
}

void ClInterpolator<kv_matrix>::start(const kv_matrix& from, const kv_matrix& to, f32 fHeadStart, f32 fDuration) {
  if (fDuration == 0.0f) {
    m_end = to;
    m_current = to;
    m_fDuration = 0.0f;
    return;
  }
  m_start = from;
  m_current = from;
  m_end = to;
  m_fElapsed = 0.0f;
  m_fDuration = fDuration;
  if (fHeadStart != 0.0f) {
    m_fElapsed = fHeadStart;
  }
  if (m_fElapsed >= m_fDuration) {
    m_current = m_end;
  } else {
    evaluate();
  }
}

void ClInterpolator<kv_matrix>::evaluate() {
  if (m_fDuration <= 0.0f) {
    return;
  }
  const f32 fT = KvInterpolatorEase(m_iMethod, m_fElapsed / m_fDuration, true);
  // Row-vector rotations: start x relative = end, so relative = start^T x end.
  kv_matrix startTransposed;
  m_start.transpose(startTransposed);
  kv_matrix relative;
  for (i32 r = 0; r < 3; ++r) {
    for (i32 c = 0; c < 3; ++c) {
      relative.m[r][c] = startTransposed.m[r][0] * m_end.m[0][c] + startTransposed.m[r][1] * m_end.m[1][c] +
                         startTransposed.m[r][2] * m_end.m[2][c];
    }
  }
  f32 fAngle = 0.0f;
  kv_vector3 vAxis{1.0f, 0.0f, 0.0f};
  relative.toAxisAngle(fAngle, vAxis);
  kv_matrix partial;
  partial.makeAxisRotation(vAxis, fAngle * fT);
  kv_matrix current = m_current;
  for (i32 r = 0; r < 3; ++r) {
    for (i32 c = 0; c < 3; ++c) {
      current.m[r][c] = m_start.m[r][0] * partial.m[0][c] + m_start.m[r][1] * partial.m[1][c] +
                        m_start.m[r][2] * partial.m[2][c];
    }
  }
  m_current = current;
}
