#include "Code/Input/GAMEPadTester.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/ClPointerTracker.h"

GAMEPadTester g_GAMEPadTester;

namespace {

f32 timeSetting(const char* pKey, f32 fDefault) {
  return ClDevINI::hasKey(pKey) && ClDevINI::getFloat(pKey) > 0.0f ? ClDevINI::getFloat(pKey) : fDefault;
}

i32 countSetting(const char* pKey, i32 iDefault) {
  return ClDevINI::hasKey(pKey) && ClDevINI::getInt(pKey) >= 1 ? ClDevINI::getInt(pKey) : iDefault;
}

// A minimum set above its maximum would make the random range empty: the two are taken the other way round.
template <typename T>
void orderRange(T* pMin, T* pMax) {
  if (*pMin > *pMax) {
    std::swap(*pMin, *pMax);
  }
}

f32 randomInRange(f32 fMin, f32 fMax) { return fMin + (fMax - fMin) * KvMath::randomUnitFloat(); }

}  // namespace

void GAMEPadTester::init() {
  m_fBetweenTime = timeSetting("PAD_MONKEY_BETWEEN_TIME", 0.05f);
  f32 fDigitalMinHold = timeSetting("PAD_MONKEY_DIGITAL_MIN_HOLD", 0.03f);
  f32 fDigitalMaxHold = timeSetting("PAD_MONKEY_DIGITAL_MAX_HOLD", 0.03f);
  i32 iDigitalMinReps = countSetting("PAD_MONKEY_DIGITAL_MIN_REPS", 1);
  i32 iDigitalMaxReps = countSetting("PAD_MONKEY_DIGITAL_MAX_REPS", 5);
  f32 fAnalogMinHold = timeSetting("PAD_MONKEY_ANALOG_MIN_HOLD", 0.075f);
  f32 fAnalogMaxHold = timeSetting("PAD_MONKEY_ANALOG_MAX_HOLD", 0.075f);
  i32 iAnalogMinReps = countSetting("PAD_MONKEY_ANALOG_MIN_REPS", 1);
  i32 iAnalogMaxReps = countSetting("PAD_MONKEY_ANALOG_MAX_REPS", 1);
  orderRange(&fDigitalMinHold, &fDigitalMaxHold);
  orderRange(&iDigitalMinReps, &iDigitalMaxReps);
  orderRange(&fAnalogMinHold, &fAnalogMaxHold);
  orderRange(&iAnalogMinReps, &iAnalogMaxReps);

  std::fill(std::begin(m_aiWeights), std::end(m_aiWeights), 0);
  m_aiWeights[E_PAD_INPUT_MOUSE_LEFT] = 10;
  m_aiWeights[E_PAD_INPUT_MOUSE_RIGHT] = 3;
  m_fNewSequenceCountdown = 0.0f;
  m_fTimeFactor = 1.0f;

  for (SPadMonkeyControl& control : m_aControls) {
    control = {};
  }
  for (i32 i = 0; i <= 15; ++i) {
    m_aControls[i] = {0, 0, iDigitalMinReps, iDigitalMaxReps, fDigitalMinHold, fDigitalMaxHold};
  }
  for (i32 i = 16; i <= 21; ++i) {
    m_aControls[i] = {1, 0, iAnalogMinReps, iAnalogMaxReps, fAnalogMinHold, fAnalogMaxHold};
  }
  for (i32 i : {E_PAD_INPUT_MOUSE_LEFT, E_PAD_INPUT_MOUSE_RIGHT}) {
    m_aControls[i] = {0, 1, 1, 1, 0.025f, 0.025f};
  }
  for (SPadMonkeySequence& sequence : m_aSequences) {
    sequence = {};
  }
  m_fPointerCountdown = 0.0f;
  m_iPointerSteps = 30;
  m_bTicked = false;
}

i32 GAMEPadTester::getActiveCount() const {
  return static_cast<i32>(std::count_if(std::begin(m_aSequences), std::end(m_aSequences),
                                        [](const SPadMonkeySequence& s) { return s.m_bInUse != 0; }));
}

void GAMEPadTester::startSequence() {
  i32 iTotal = 0;
  for (i32 iWeight : m_aiWeights) {
    iTotal += std::max(iWeight, 0);
  }
  if (iTotal == 0) {
    return;
  }
  // The weighted list, each slot repeated by its weight, and one entry of it drawn.
  i32 iPick = KvMath::randomIntBelow(iTotal);
  i32 iSlot = 0;
  while (iPick >= std::max(m_aiWeights[iSlot], 0)) {
    iPick -= std::max(m_aiWeights[iSlot], 0);
    ++iSlot;
  }
  SPadMonkeySequence* pSeq = nullptr;
  for (SPadMonkeySequence& sequence : m_aSequences) {
    if (!sequence.m_bInUse) {
      pSeq = &sequence;
      break;
    }
  }
  KV_ASSERT(pSeq);
  const SPadMonkeyControl& control = m_aControls[iSlot];
  pSeq->m_bInUse = 1;
  pSeq->m_iSlot = iSlot;
  pSeq->m_fBetweenTime = m_fBetweenTime;
  pSeq->m_bPressed = 1;
  pSeq->m_bOneShot = control.m_bOneShot;
  pSeq->m_fHoldTime = randomInRange(control.m_fMinHold, control.m_fMaxHold);
  pSeq->m_fCountdown = pSeq->m_fHoldTime;
  pSeq->m_fValue = control.m_uiKind == 0 ? 1.0f : (KvMath::randomIntBelow(2) == 0 ? 1.0f : -1.0f);
  pSeq->m_iRepsLeft = KvMath::randomIntRange(control.m_iMinReps, control.m_iMaxReps);
  m_fNewSequenceCountdown =
      (pSeq->m_fHoldTime + pSeq->m_fBetweenTime) * static_cast<f32>(pSeq->m_iRepsLeft) * m_fTimeFactor;
}

void GAMEPadTester::tick() {
  const f32 fDT = ClClock::m_aClockFrames[0].m_fFrameTime;
  if (!m_bTicked) {
    m_bTicked = true;
    m_fPointerX = 0.0f;
    m_fPointerY = 0.0f;
  }
  for (SPadMonkeySequence& sequence : m_aSequences) {
    if (!sequence.m_bInUse) {
      continue;
    }
    sequence.m_fCountdown -= fDT;
    if (sequence.m_fCountdown >= 0.0f && !sequence.m_bOneShot) {
      continue;
    }
    if (sequence.m_bPressed) {
      if (!sequence.m_bOneShot) {
        sequence.m_iRepsLeft -= 1;
        sequence.m_fCountdown = sequence.m_fBetweenTime;
        sequence.m_bPressed = 0;
        if (sequence.m_iRepsLeft <= 0) {
          sequence.m_bInUse = 0;
        }
      }
    } else {
      sequence.m_fCountdown = sequence.m_fHoldTime;
      sequence.m_bPressed = 1;
    }
  }

  m_fNewSequenceCountdown -= fDT;
  if (m_fNewSequenceCountdown <= 0.0f) {
    startSequence();
  }

  const u32 uiPad = ClInputManager::m_auiPadMap[0];
  for (u32 i = 0; i < cuiMAX_GAME_PADS; ++i) {
    ClInputHWtoKv::setPadConnected(ClInputManager::m_auiPadMap[i], i == 0);
  }
  for (SPadMonkeySequence& sequence : m_aSequences) {
    if (!sequence.m_bInUse || !sequence.m_bPressed) {
      continue;
    }
    const f32 fSlot = ClInputHWtoKv::getPadInput(uiPad, sequence.m_iSlot);
    ClInputHWtoKv::setPadInput(uiPad, sequence.m_iSlot, std::clamp(fSlot + sequence.m_fValue, -1.0f, 1.0f));
    if (sequence.m_bOneShot) {
      sequence.m_bInUse = 0;
    }
  }

  wanderPointer(fDT);
  ClInputHWtoKv::setPadInput(uiPad, E_PAD_INPUT_POINTER_X, m_fPointerX);
  ClInputHWtoKv::setPadInput(uiPad, E_PAD_INPUT_POINTER_Y, m_fPointerY);
  ClInputHWtoKv::setPadInput(uiPad, E_PAD_INPUT_POINTER_PRESENT, 1.0f);
}

// Of every thirty pointer moves, the nineteen before the last jump to the centre of a clickable widget drawn at
// random (when there is one whose centre is not the origin), so the tester's clicks land on the menus; the
// others are random steps, one in fifteen six times as long.
void GAMEPadTester::wanderPointer(f32 fDT) {
  m_fPointerCountdown -= fDT;
  if (m_fPointerCountdown > 0.0f) {
    return;
  }
  m_fPointerCountdown = 0.05f;
  m_iPointerSteps -= 1;
  if (m_iPointerSteps <= 0) {
    m_iPointerSteps = 30;
  } else if (m_iPointerSteps < 20) {
    const SPointerDetector* pWidget = randomClickableWidget();
    if (pWidget != nullptr) {
      const f32 fCentreX = (pWidget->mp_fMinX + pWidget->mp_fMaxX) * 0.5f;
      const f32 fCentreY = (pWidget->mp_fMinY + pWidget->mp_fMaxY) * 0.5f;
      if (fCentreX != 0.0f || fCentreY != 0.0f) {
        m_fPointerX = fCentreX;
        m_fPointerY = fCentreY;
        return;
      }
    }
  }
  const f32 fFactor = (sfmtNextWord() % 0x7FFFFFFFu) % 15u == 4u ? 6.0f : 1.0f;
  KvRandomCountDraws(1);
  m_fPointerX = std::clamp(m_fPointerX + (KvMath::randomUnitFloat() * 0.48f - 0.24f) * fFactor, 0.0f, 1.0f);
  m_fPointerY = std::clamp(m_fPointerY + (KvMath::randomUnitFloat() * 0.48f - 0.24f) * fFactor, 0.0f, 1.0f);
}

const SPointerDetector* GAMEPadTester::randomClickableWidget() {
  const ClPool<SPointerDetector, MAX_DETECTORS>& detectors = ClPointerTracker::m_detectorPool;
  i32 iWidgets = 0;
  for (i32 i = 0; i < detectors.getCount(); ++i) {
    iWidgets += detectors.get(i)->mp_uiKind == E_POINTER_DETECTOR_WIDGET ? 1 : 0;
  }
  if (iWidgets == 0) {
    return nullptr;
  }
  i32 iPick = KvMath::randomIntBelow(iWidgets);
  for (i32 i = 0; i < detectors.getCount(); ++i) {
    const SPointerDetector* pDetector = detectors.get(i);
    if (pDetector->mp_uiKind == E_POINTER_DETECTOR_WIDGET && iPick-- == 0) {
      return pDetector;
    }
  }
  return nullptr;
}
