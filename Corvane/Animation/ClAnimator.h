// Timed animation of a value between two ends with an easing curve: ClAnimator<T> for vectors and floats
// (the UI widget's 2D animators), and its colour form ClAnimator<ClColor> (image and text fades).
//
// The owner starts an animator with play and advances it once a frame with update(dt), dt in seconds of the
// clock it runs on, while the play kind is not 0 and the animator is running; the owner reads the current
// value directly. A start delay counts down first; on the frame it runs out the current value jumps to the
// start value and the whole dt still counts as elapsed time.
//
// Play kinds: 0 off, 1 set the end value at once, 2 once, 3 loop, 4 oscillate (vectors) or pulse (colours).
// Easings of ClAnimator<T>, f of t = elapsed / duration: 1 t; 2 (cos((1 - t) pi) + 1) / 2; 3 1 - (1 - t)^2;
// 4 1 - (1 - t)^8; 5 t to the power of the exponent. The colour animator's method 4 is 1 - (1 - t)^4.
// Unsupported kinds and easings are fatal errors with the messages quoted below. Main thread only.
#pragma once

#include <cmath>

#include "Corvane/Animation/ClColor.h"
#include "Corvane/Math/KvMath.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/System/KvTypes.h"

inline constexpr i32 gc_iANIM_PLAY_OFF = 0;
inline constexpr i32 gc_iANIM_PLAY_SET = 1;
inline constexpr i32 gc_iANIM_PLAY_ONCE = 2;
inline constexpr i32 gc_iANIM_PLAY_LOOP = 3;
inline constexpr i32 gc_iANIM_PLAY_OSCILLATE = 4;

inline constexpr i32 gc_iANIM_EASE_LINEAR = 1;
inline constexpr i32 gc_iANIM_EASE_COSINE = 2;
inline constexpr i32 gc_iANIM_EASE_QUADRATIC = 3;
inline constexpr i32 gc_iANIM_EASE_POW8 = 4;
inline constexpr i32 gc_iANIM_EASE_POWER = 5;

// The name an animator's unported paths report.
template <typename T>
struct SAnimatorName;
template <>
struct SAnimatorName<kv_vector2> {
  static constexpr const char* gc_pUPDATE = "ClAnimator<class kv_vector2>::_updateBasedOnCurTime";
};
template <>
struct SAnimatorName<f32> {
  static constexpr const char* gc_pUPDATE = "ClAnimator<float>::_updateBasedOnCurTime";
};

template <typename T>
class ClAnimator {
 public:
  // Starts an animation: current value = start, elapsed 0, stop flag clear, running.
  void play(i32 iPlayKind, i32 iEasing, const T& start, const T& end, f32 fStartDelay, f32 fDuration,
            f32 fExponent = KV_ONE) {
    mp_fExponent = fExponent;
    mp_iPlayKind = iPlayKind;
    mp_iEasing = iEasing;
    mp_start = start;
    mp_end = end;
    mp_fStartDelay = fStartDelay;
    mp_fDuration = fDuration;
    mp_delta = end - start;
    mp_fOneOverDuration = fDuration > KV_ZERO ? KV_ONE / fDuration : KV_ZERO;
    mp_current = start;
    mp_fElapsed = KV_ZERO;
    mp_bStop = 0;
    mp_bRunning = 1;
  }

  // Stops the animation with the value given held.
  void stopAt(const T& value) {
    mp_current = value;
    mp_bRunning = 0;
  }

  // One frame of dt seconds (the owner calls it while the kind is not 0 and the animator runs).
  void update(f32 fDT) {
    if (mp_fStartDelay > KV_ZERO) {
      mp_fStartDelay -= fDT;
      if (mp_fStartDelay > KV_ZERO) {
        return;
      }
      mp_current = mp_start;
    }
    mp_fElapsed += fDT;
    _updateBasedOnCurTime();
  }

  void _updateBasedOnCurTime() {
    switch (mp_iPlayKind) {
      case gc_iANIM_PLAY_SET:
        mp_current = mp_end;
        mp_bRunning = 0;
        return;
      case gc_iANIM_PLAY_ONCE:
        if (mp_fElapsed >= mp_fDuration) {
          mp_current = mp_end;
          mp_bRunning = 0;
          return;
        }
        mp_current = mp_start + mp_delta * ease(mp_fElapsed * mp_fOneOverDuration);
        return;
      case gc_iANIM_PLAY_LOOP:
        if (mp_bStop && mp_fElapsed >= mp_fDuration) {
          KV_FATALF("Port this code to the Win32 (NOW!!!) -> [%s] in [%s], Line [%d]!", SAnimatorName<T>::gc_pUPDATE,
                    __FILE__, __LINE__);
        }
        if (mp_fElapsed >= mp_fDuration) {
          mp_fElapsed -= mp_fDuration;
        }
        if (mp_iEasing != gc_iANIM_EASE_LINEAR) {
          KV_FATAL("Unsupported method 2");
        }
        mp_current = mp_start + mp_delta * (mp_fElapsed * mp_fOneOverDuration);
        return;
      case gc_iANIM_PLAY_OSCILLATE:
        if (mp_bStop) {
          mp_current = mp_start;
          mp_bRunning = 0;
          return;
        }
        if (mp_iEasing != gc_iANIM_EASE_COSINE) {
          KV_FATAL("Unsupported method 3");
        }
        mp_current = mp_start + mp_delta * (0.5f + 0.5f * std::sin(mp_fElapsed * mp_fOneOverDuration));
        return;
      default:
        KV_FATAL("Unhandled case");
    }
  }

  f32 mp_fExponent = KV_ONE;  // easing 5
  i32 mp_iPlayKind = gc_iANIM_PLAY_OFF;
  i32 mp_iEasing = gc_iANIM_EASE_LINEAR;
  T mp_start{};
  T mp_end{};
  f32 mp_fStartDelay = KV_ZERO;  // seconds
  f32 mp_fDuration = KV_ZERO;    // seconds
  u32 mp_bRunning = 0;
  T mp_delta{};
  f32 mp_fOneOverDuration = KV_ZERO;
  T mp_current{};
  f32 mp_fElapsed = KV_ZERO;  // seconds
  u32 mp_bStop = 0;

 private:
  f32 ease(f32 t) const {
    switch (mp_iEasing) {
      case gc_iANIM_EASE_LINEAR:
        return t;
      case gc_iANIM_EASE_COSINE:
        return (std::cos((KV_ONE - t) * KV_PI) + KV_ONE) * 0.5f;
      case gc_iANIM_EASE_QUADRATIC:
        return KV_ONE - (KV_ONE - t) * (KV_ONE - t);
      case gc_iANIM_EASE_POW8:
        return KV_ONE - std::pow(KV_ONE - t, 8.0f);
      case gc_iANIM_EASE_POWER:
        return std::pow(t, mp_fExponent);
      default:
        KV_FATAL("Unsupported method 1");
    }
  }
};

// The play request of a colour animator.
struct SAnimatorParams {
  i32 mp_iRequestMode;   // 1: must not interrupt a running animation; other values may
  i32 mp_iKind;          // 0 off, 1 jump to the end colour, 2 once, 3 unsupported, 4 pulse
  i32 mp_iMethod;        // easing: 1 linear, 2 cosine, 3 quadratic, 4 quartic ease-out
  u32 mp_uiStartColor;   // A8R8G8B8
  u32 mp_uiEndColor;     // A8R8G8B8
  f32 mp_fDelay;         // seconds before the animation moves
  f32 mp_fHeadStart;     // seconds of animation time already elapsed at the start
  f32 mp_fDuration;      // seconds
  i32 mp_bFromCurrent;   // 1: start from the colour shown now
};
static_assert(sizeof(SAnimatorParams) == 36, "a colour play request is nine words");

template <>
class ClAnimator<ClColor> {
 public:
  // Kind 0 only switches the animator off; a duration of exactly 0 shows the end colour at once (kind 1, not
  // active). A request mode of 1 while active is an assertion.
  void play(const SAnimatorParams& params);
  // One frame of dt seconds (the owner calls it while the kind is not 0 and the animator is active).
  void update(f32 fDT);
  void _updateBasedOnCurTime();

  SAnimatorParams mp_params{};  // of the last play; the duration possibly shortened for a cosine pulse
  i32 mp_bActive = 0;
  i32 mp_bStopRequest = 0;
  f32 mp_fRate = KV_ZERO;
  ClColor mp_start{};
  ClColor mp_end{};
  ClColor mp_delta{};
  u32 mp_uiCurrentColor = 0;  // A8R8G8B8: what the owner draws with
  f32 mp_fCurrentTime = KV_ZERO;
};
