// Animators: the vector animator's easings and play kinds, and the colour animator's kinds, methods,
// delays and pulse.
#include <gtest/gtest.h>

#include <cmath>

#include "Corvane/Animation/ClAnimator.h"
#include "Tests/Corvane/Animation/ColorFadeTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

// The value of an animator of (0, 0) -> (8, 16) over 2 s after advancing to time t.
kv_vector2 valueAt(i32 iKind, i32 iEasing, f32 fTime, f32 fExponent = 1.0f) {
  ClAnimator<kv_vector2> animator;
  animator.play(iKind, iEasing, {0.0f, 0.0f}, {8.0f, 16.0f}, 0.0f, 2.0f, fExponent);
  animator.update(fTime);
  return animator.mp_current;
}

TEST(ClAnimatorVector, EasingsGiveTheirCurvesOnTheWayToTheEnd) {
  const f32 t = 0.25f;  // 0.5 s of 2 s
  EXPECT_FLOAT_EQ(valueAt(2, 1, 0.5f).x, 8.0f * t);
  EXPECT_FLOAT_EQ(valueAt(2, 2, 0.5f).x, 8.0f * (std::cos((1.0f - t) * KV_PI) + 1.0f) * 0.5f);
  EXPECT_FLOAT_EQ(valueAt(2, 3, 0.5f).x, 8.0f * (1.0f - (1.0f - t) * (1.0f - t)));
  EXPECT_FLOAT_EQ(valueAt(2, 4, 0.5f).x, 8.0f * (1.0f - std::pow(1.0f - t, 8.0f)));
  EXPECT_FLOAT_EQ(valueAt(2, 5, 0.5f, 3.0f).y, 16.0f * t * t * t);
  EXPECT_FLOAT_EQ(valueAt(2, 5, 0.5f, 1.0f).y, valueAt(2, 1, 0.5f).y) << "power 1 is linear";
  EXPECT_EQ(valueAt(2, 3, 2.0f), (kv_vector2{8.0f, 16.0f}));
  EXPECT_EQ(valueAt(1, 3, 0.0f), (kv_vector2{8.0f, 16.0f})) << "kind 1 jumps to the end";
}

TEST(ClAnimatorVector, OnceEndsLoopWrapsAndOscillateRepeatsEveryTwoPiDurations) {
  ClAnimator<kv_vector2> once;
  once.play(2, 1, {0.0f, 0.0f}, {8.0f, 16.0f}, 0.0f, 2.0f);
  once.update(2.5f);
  EXPECT_EQ(once.mp_bRunning, 0u);
  EXPECT_EQ(once.mp_current, (kv_vector2{8.0f, 16.0f}));

  ClAnimator<kv_vector2> loop;
  loop.play(3, 1, {0.0f, 0.0f}, {8.0f, 16.0f}, 0.0f, 2.0f);
  loop.update(1.5f);
  loop.update(1.0f);  // 2.5 s: wrapped to 0.5 s
  EXPECT_FLOAT_EQ(loop.mp_fElapsed, 0.5f);
  EXPECT_FLOAT_EQ(loop.mp_current.x, 2.0f);
  EXPECT_EQ(loop.mp_bRunning, 1u);

  const f32 fPeriod = 2.0f * KV_PI * 2.0f;
  EXPECT_NEAR(valueAt(4, 2, 0.7f).x, valueAt(4, 2, 0.7f + fPeriod).x, 1e-4f);
  EXPECT_FLOAT_EQ(valueAt(4, 2, 0.0f).x, 4.0f) << "the middle at the start";
  ClAnimator<kv_vector2> oscillate;
  oscillate.play(4, 2, {0.0f, 0.0f}, {8.0f, 16.0f}, 0.0f, 2.0f);
  for (int i = 0; i < 100; ++i) {
    oscillate.update(0.37f);
  }
  EXPECT_EQ(oscillate.mp_bRunning, 1u) << "never stops by itself";
  oscillate.mp_bStop = 1;
  oscillate.update(0.1f);
  EXPECT_EQ(oscillate.mp_bRunning, 0u);
  EXPECT_EQ(oscillate.mp_current, (kv_vector2{0.0f, 0.0f}));
}

TEST(ClAnimatorVector, AStartDelayHoldsTheAnimatorThenTheWholeFrameCounts) {
  ClAnimator<kv_vector2> animator;
  animator.play(2, 1, {2.0f, 2.0f}, {10.0f, 2.0f}, 0.5f, 2.0f);
  animator.mp_current = {99.0f, 99.0f};
  animator.update(0.3f);
  EXPECT_EQ(animator.mp_current, (kv_vector2{99.0f, 99.0f}));
  EXPECT_FLOAT_EQ(animator.mp_fElapsed, 0.0f);
  animator.update(0.3f);  // the delay runs out: back to the start, and 0.3 s elapse
  EXPECT_FLOAT_EQ(animator.mp_fElapsed, 0.3f);
  EXPECT_FLOAT_EQ(animator.mp_current.x, 2.0f + 8.0f * 0.15f);
}

TEST(ClAnimatorVector, UnsupportedCombinationsStop) {
  EXPECT_KV_FATAL(valueAt(2, 6, 0.5f), "Unsupported method 1");
  EXPECT_KV_FATAL(valueAt(3, 2, 0.5f), "Unsupported method 2");
  EXPECT_KV_FATAL(valueAt(4, 1, 0.5f), "Unsupported method 3");
  EXPECT_KV_FATAL(valueAt(7, 1, 0.5f), "Unhandled case");
  ClAnimator<kv_vector2> loop;
  loop.play(3, 1, {0.0f, 0.0f}, {1.0f, 1.0f}, 0.0f, 1.0f);
  loop.mp_bStop = 1;
  EXPECT_KV_FATAL(loop.update(1.5f),
                  "Port this code to the Win32 (NOW!!!) -> [ClAnimator<class kv_vector2>::_updateBasedOnCurTime]");
}

TEST(ClAnimatorColor, PacksAndUnpacksChannels) {
  const ClColor color = ClColor::fromARGB(0x80FF4000u);
  EXPECT_FLOAT_EQ(color.a, 128.0f / 255.0f);
  EXPECT_FLOAT_EQ(color.r, 1.0f);
  EXPECT_FLOAT_EQ(color.g, 64.0f / 255.0f);
  EXPECT_EQ(color.b, 0.0f);
  EXPECT_EQ(color.toARGB(), 0x80FF4000u);
  EXPECT_EQ((ClColor{-0.5f, 2.0f, 0.5f, 1.0f}).toARGB(), 0xFF00FF7Fu) << "channels kept within a byte";
}

TEST(ClAnimatorColor, OnceFromBlackToWhiteIsHalfWayAtHalfTimeAndIdlesWhiteAtTheEnd) {
  ClAnimator<ClColor> animator;
  animator.play(KvTestFade(2, 1, 0xFF000000u, 0xFFFFFFFFu, 1.0f));
  EXPECT_EQ(animator.mp_bActive, 1);
  EXPECT_EQ(animator.mp_uiCurrentColor, 0xFF000000u);
  animator.update(0.5f);
  EXPECT_EQ(animator.mp_uiCurrentColor, 0xFF7F7F7Fu);
  animator.update(0.5f);
  EXPECT_EQ(animator.mp_uiCurrentColor, 0xFFFFFFFFu);
  EXPECT_EQ(animator.mp_bActive, 0);

  // Method 4 of the colour animator is the quartic ease-out.
  animator.play(KvTestFade(2, 4, 0xFF000000u, 0xFFFFFFFFu, 1.0f));
  animator.update(0.5f);
  EXPECT_EQ(animator.mp_uiCurrentColor & 0xFFu, static_cast<u32>(255.0f * (1.0f - 0.0625f)));
  EXPECT_KV_FATAL((animator.play(KvTestFade(2, 5, 0, 0, 1.0f)), animator.update(0.1f)), "Unsupported method");
}

TEST(ClAnimatorColor, DurationZeroShowsTheEndColourAtOnceAndARequestThatMayNotInterruptIsRefused) {
  ClAnimator<ClColor> animator;
  animator.play(KvTestFade(2, 1, 0xFF000000u, 0xFF00FF00u, 0.0f));
  EXPECT_EQ(animator.mp_params.mp_iKind, 1);
  EXPECT_EQ(animator.mp_uiCurrentColor, 0xFF00FF00u);
  EXPECT_EQ(animator.mp_bActive, 0);

  animator.play(KvTestFade(2, 1, 0xFF000000u, 0xFFFFFFFFu, 1.0f));
  SAnimatorParams polite = KvTestFade(2, 1, 0xFF000000u, 0xFF0000FFu, 1.0f);
  polite.mp_iRequestMode = 1;
  EXPECT_KV_ASSERT(animator.play(polite), "Trying to play an animation that is already in progress");
  // From the current colour, with a head start.
  animator.update(0.5f);
  SAnimatorParams onward = KvTestFade(2, 1, 0, 0xFF000000u, 2.0f);
  onward.mp_bFromCurrent = 1;
  onward.mp_fHeadStart = 1.0f;
  animator.play(onward);
  EXPECT_EQ(animator.mp_params.mp_uiStartColor, 0xFF7F7F7Fu);
  EXPECT_EQ(animator.mp_uiCurrentColor, 0xFF3F3F3Fu) << "half way from grey to black at once";
  animator.play(KvTestFade(0, 1, 0, 0, 1.0f));
  EXPECT_EQ(animator.mp_params.mp_iKind, 0);
}

TEST(ClAnimatorColor, APulseStartsOnTheStartColourReachesTheEndAtHalfItsDurationAndRepeats) {
  ClAnimator<ClColor> animator;
  animator.play(KvTestFade(4, 2, 0xFF000000u, 0xFFFFFFFFu, 2.0f));
  EXPECT_FLOAT_EQ(animator.mp_params.mp_fDuration, 1.5f);
  animator.update(0.0f);
  EXPECT_EQ(animator.mp_uiCurrentColor, 0xFF000000u);
  animator.update(1.0f);
  EXPECT_EQ(animator.mp_uiCurrentColor, 0xFFFFFFFFu);
  animator.update(1.0f);
  EXPECT_EQ(animator.mp_uiCurrentColor & 0xFFu, 0u);
  animator.update(2.0f);
  EXPECT_EQ(animator.mp_uiCurrentColor & 0xFFu, 0u) << "one period later";
  animator.mp_bStopRequest = 1;
  animator.update(0.1f);
  EXPECT_EQ(animator.mp_bActive, 0);
  EXPECT_EQ(animator.mp_uiCurrentColor, 0xFF000000u);
  EXPECT_KV_FATAL((animator.play(KvTestFade(3, 1, 0, 0, 1.0f)), animator.update(0.1f)), "Unsupported method");
}

}  // namespace
