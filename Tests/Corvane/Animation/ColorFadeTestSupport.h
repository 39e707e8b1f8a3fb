// A colour animator's play request for tests: kind, easing, the two colours, duration and start delay; the rest 0.
#pragma once

#include "Corvane/Animation/ClAnimator.h"

inline SAnimatorParams KvTestFade(i32 iKind, i32 iMethod, u32 uiFrom, u32 uiTo, f32 fDuration, f32 fDelay = 0.0f) {
  SAnimatorParams params{};
  params.mp_iKind = iKind;
  params.mp_iMethod = iMethod;
  params.mp_uiStartColor = uiFrom;
  params.mp_uiEndColor = uiTo;
  params.mp_fDuration = fDuration;
  params.mp_fDelay = fDelay;
  return params;
}
