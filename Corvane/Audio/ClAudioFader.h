// A linear fader of the sound layer: a value going from a start to an end over a time, advanced by the
// gameplay clock's frame time (clock 1), so fades stand still while the game clock does. Main thread only.
#pragma once

#include <algorithm>

#include "Corvane/System/ClClock.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/System/KvTypes.h"

class ClAudioFader {
 public:
  // Seconds from start to end (0: the end at once).
  void set(f32 fTotal, f32 fStart, f32 fEnd) {
    KV_ASSERT_MSG(fTotal >= KV_ZERO, "fTotalTime >= KV_ZERO");
    m_fElapsed = 0.0f;
    fTotalTime = fTotal;
    m_fStartValue = fStart;
    mpr_fEndValue = fEnd;
    mpr_fCurrentValue = fTotal > 0.0f ? fStart : fEnd;
  }
  // The fields as they are, for a fader that starts in a state of its own.
  void setRaw(f32 fElapsed, f32 fTotal, f32 fCurrent, f32 fStart, f32 fEnd) {
    m_fElapsed = fElapsed;
    fTotalTime = fTotal;
    mpr_fCurrentValue = fCurrent;
    m_fStartValue = fStart;
    mpr_fEndValue = fEnd;
  }
  // Advances by the gameplay clock's frame time.
  void tick() {
    if (fTotalTime > m_fElapsed) {
      m_fElapsed = std::clamp(m_fElapsed + ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime, 0.0f, fTotalTime);
      const f32 fT = m_fElapsed / fTotalTime;
      if (mpr_fEndValue >= m_fStartValue) {
        mpr_fCurrentValue = std::min((mpr_fEndValue - m_fStartValue) * fT + m_fStartValue, mpr_fEndValue);
      } else {
        mpr_fCurrentValue = std::max((m_fStartValue - mpr_fEndValue) * (1.0f - fT) + mpr_fEndValue, mpr_fEndValue);
      }
    }
    if (m_fElapsed >= fTotalTime) {
      mpr_fCurrentValue = mpr_fEndValue;
    }
  }
  bool isFinished() const { return m_fElapsed == fTotalTime; }
  f32 getCurrentValue() const { return mpr_fCurrentValue; }
  f32 getElapsed() const { return m_fElapsed; }
  f32 getTotalTime() const { return fTotalTime; }

 private:
  f32 m_fElapsed = 0.0f;
  f32 fTotalTime = 0.0f;
  f32 mpr_fCurrentValue = 0.0f;
  f32 m_fStartValue = 0.0f;
  f32 mpr_fEndValue = 0.0f;
};
static_assert(sizeof(ClAudioFader) == 20);
