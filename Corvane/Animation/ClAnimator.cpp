#include "Corvane/Animation/ClAnimator.h"

void ClAnimator<ClColor>::play(const SAnimatorParams& params) {
  if (params.mp_iKind == gc_iANIM_PLAY_OFF) {
    mp_params.mp_iKind = gc_iANIM_PLAY_OFF;
    return;
  }
  if (params.mp_fDuration == KV_ZERO) {
    mp_params.mp_iKind = gc_iANIM_PLAY_SET;
    mp_params.mp_uiEndColor = params.mp_uiEndColor;
    mp_end = ClColor::fromARGB(params.mp_uiEndColor);
    mp_uiCurrentColor = params.mp_uiEndColor;
    mp_bActive = 0;
    return;
  }
  KV_ASSERT_MSG(params.mp_iRequestMode != 1 || !mp_bActive,
                "Trying to play an animation that is already in progress, and not trying to 'interrupt' it! i.e.: "
                "the higher-level layer should wait until this is complete to play another animation!");
  mp_params = params;
  if (params.mp_bFromCurrent == 1) {
    mp_params.mp_uiStartColor = mp_uiCurrentColor;
  }
  if (mp_params.mp_iKind == gc_iANIM_PLAY_OSCILLATE && mp_params.mp_iMethod == gc_iANIM_EASE_COSINE) {
    mp_fRate = 2.0f * KV_PI / mp_params.mp_fDuration;
    mp_fCurrentTime = -0.25f * mp_params.mp_fDuration;
    mp_params.mp_fDuration *= 0.75f;
  } else {
    mp_fRate = KV_ONE / mp_params.mp_fDuration;
    mp_fCurrentTime = KV_ZERO;
  }
  mp_uiCurrentColor = mp_params.mp_uiStartColor;
  mp_bStopRequest = 0;
  mp_start = ClColor::fromARGB(mp_params.mp_uiStartColor);
  mp_end = ClColor::fromARGB(mp_params.mp_uiEndColor);
  mp_delta = mp_end - mp_start;
  if (mp_params.mp_fHeadStart != KV_ZERO) {
    mp_fCurrentTime = mp_params.mp_fHeadStart;
    _updateBasedOnCurTime();
  }
  mp_bActive = 1;
}

void ClAnimator<ClColor>::update(f32 fDT) {
  if (mp_params.mp_fDelay > KV_ZERO) {
    mp_params.mp_fDelay -= fDT;
    if (mp_params.mp_fDelay > KV_ZERO) {
      return;
    }
    mp_uiCurrentColor = mp_params.mp_uiStartColor;
  }
  mp_fCurrentTime += fDT;
  _updateBasedOnCurTime();
}

void ClAnimator<ClColor>::_updateBasedOnCurTime() {
  const f32 x = mp_fRate * mp_fCurrentTime;
  switch (mp_params.mp_iKind) {
    case gc_iANIM_PLAY_SET:
      mp_bActive = 0;
      mp_uiCurrentColor = mp_end.toARGB();
      return;
    case gc_iANIM_PLAY_ONCE: {
      if (mp_fCurrentTime >= mp_params.mp_fDuration) {
        mp_bActive = 0;
        mp_uiCurrentColor = mp_end.toARGB();
        return;
      }
      f32 t = KV_ZERO;
      switch (mp_params.mp_iMethod) {
        case gc_iANIM_EASE_LINEAR:
          t = x;
          break;
        case gc_iANIM_EASE_COSINE:
          t = (std::cos((KV_ONE - x) * KV_PI) + KV_ONE) * 0.5f;
          break;
        case gc_iANIM_EASE_QUADRATIC:
          t = KV_ONE - (KV_ONE - x) * (KV_ONE - x);
          break;
        case 4: {
          const f32 fRest = KV_ONE - x;
          t = KV_ONE - fRest * fRest * fRest * fRest;
          break;
        }
        default:
          KV_FATAL("Unsupported method");
      }
      mp_uiCurrentColor = (mp_start + mp_delta * t).toARGB();
      return;
    }
    case gc_iANIM_PLAY_LOOP:
      KV_FATAL("Unsupported method");
    case gc_iANIM_PLAY_OSCILLATE:
      if (mp_bStopRequest && mp_fCurrentTime > mp_params.mp_fDuration) {
        mp_bActive = 0;
        mp_uiCurrentColor = mp_start.toARGB();
        return;
      }
      if (mp_params.mp_iMethod != gc_iANIM_EASE_COSINE) {
        KV_FATAL("Unsupported method");
      }
      mp_uiCurrentColor = (mp_start + mp_delta * (std::sin(x) * 0.5f + 0.5f)).toARGB();
      return;
    default:
      KV_FATAL("Unhandled case");
  }
}
