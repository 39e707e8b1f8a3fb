#include "Corvane/Development/ClMonkeyMgr.h"


#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "Corvane/ADT/ClListPicker.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Data/ClDScriptData2.h"
#include "Corvane/Data/ClDScriptMgr2.h"
#include "Corvane/Input/ClInputHWtoKv.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/System/KvDebug.h"

ClDScriptData2* ClMonkeyMgr::mp_pCurrentScheme = nullptr;
ClDScriptData2* ClMonkeyMgr::mp_pCurrentProgramSet = nullptr;
ClDScriptData2* ClMonkeyMgr::mp_pPointerProgram = nullptr;
ClDynamicVector<SMonkeyButtonPress> ClMonkeyMgr::mp_daActivePresses;
f32 ClMonkeyMgr::mp_fMoveTimer = FLT_MAX;
f32 ClMonkeyMgr::mp_fFreeMovementTime = KV_ZERO;
kv_vector2 ClMonkeyMgr::mp_vPointerPosition = {KV_ZERO, KV_ZERO};

namespace {

constexpr i32 gc_iINITIAL_PRESSES = 8;

ClMonkeyPointerDetectors g_noDetectors;
ClMonkeyPointerDetectors* g_pDetectors = &g_noDetectors;

// Input codes are the first pad-record index of each input's row.
enum E_MONKEY_INPUT : i32 {
  E_MONKEY_A = E_PAD_INPUT_A,
  E_MONKEY_B = E_PAD_INPUT_B,
  E_MONKEY_X = E_PAD_INPUT_X,
  E_MONKEY_Y = E_PAD_INPUT_Y,
  E_MONKEY_LB = E_PAD_INPUT_LEFT_SHOULDER,
  E_MONKEY_RB = E_PAD_INPUT_RIGHT_SHOULDER,
  E_MONKEY_LTRIG = E_PAD_INPUT_LEFT_TRIGGER,
  E_MONKEY_RTRIG = E_PAD_INPUT_RIGHT_TRIGGER,
  E_MONKEY_DPAD = 14,
  E_MONKEY_LA = 17,
  E_MONKEY_RA = 19,
  E_MONKEY_SELECT = E_PAD_INPUT_BACK,
  E_MONKEY_START = E_PAD_INPUT_START,
  E_MONKEY_P1 = E_PAD_INPUT_MOUSE_LEFT,
  E_MONKEY_P2 = E_PAD_INPUT_MOUSE_RIGHT,
};

struct SMonkeyInputName {
  const char* pName;
  i32 iCode;
};
constexpr SMonkeyInputName gc_aMonkeyInputs[] = {
    {"A", E_MONKEY_A},         {"B", E_MONKEY_B},          {"X", E_MONKEY_X},       {"Y", E_MONKEY_Y},
    {"LB", E_MONKEY_LB},       {"RB", E_MONKEY_RB},        {"LTRIG", E_MONKEY_LTRIG}, {"RTRIG", E_MONKEY_RTRIG},
    {"DPAD", E_MONKEY_DPAD},   {"LA", E_MONKEY_LA},        {"RA", E_MONKEY_RA},     {"SELECT", E_MONKEY_SELECT},
    {"START", E_MONKEY_START}, {"P1", E_MONKEY_P1},        {"P2", E_MONKEY_P2},
};

// A picker that lives for one scope and is terminated when the scope ends, also when a malformed script
// stops the program on the way.
template <typename T>
struct SScopedPicker {
  SScopedPicker() { picker.initialize(); }
  ~SScopedPicker() {
    if (picker.isInitialized()) {
      picker.terminate();
    }
  }
  SScopedPicker(const SScopedPicker&) = delete;
  SScopedPicker& operator=(const SScopedPicker&) = delete;
  ClListPicker<T> picker;
};

// Sets a FLOAT child of an array node, creating it when missing.
void setFloatChild(ClDScriptData2* pNode, const char* pName, f32 fValue) {
  ClDScriptData2* pChild = pNode->findChild(pName);
  if (pChild == nullptr) {
    pChild = pNode->addChild(pName);
  }
  pChild->setFloat(fValue);
}

// A weight of a picker entry: FLOAT, above 0.0001.
f32 weightOf(const ClDScriptData2* pWeight) {
  KV_ASSERT_MSG(pWeight->getType() == E_DSVT_FLOAT, "mp_eValueType == E_DSVT_FLOAT");
  const f32 fWeight = pWeight->getFloatExact();
  KV_ASSERT(fWeight>KV_EPSILON);
  return fWeight;
}

i32 inputCodeOf(const ClDScriptData2* pName) {
  KV_ASSERT_MSG(pName->getType() == E_DSVT_STRING || pName->getType() == E_DSVT_HASH_ID,
                "mp_eValueType == E_DSVT_STRING || mp_eValueType == E_DSVT_HASH_ID");
  const char* pText = pName->getString();
  for (const SMonkeyInputName& input : gc_aMonkeyInputs) {
    if (std::strcmp(input.pName, pText) == 0) {
      return input.iCode;
    }
  }
  KV_FATALF("Unknown Monkey input [%s]", pText);
}

// A fresh word of the generator as a unit float; counted as a draw.
f32 drawUnit() {
  const u32 uiWord = sfmtNextWord();
  KvRandomCountDraws(1);
  return KvMath::wordToUnitFloat(uiWord);
}

// Writes a held press into pad record 0.
void applyPress(const SMonkeyButtonPress& press, f32* pInputs) {
  switch (press.mp_iInputCode) {
    case E_MONKEY_A:
    case E_MONKEY_B:
    case E_MONKEY_X:
    case E_MONKEY_Y:
    case E_MONKEY_LB:
    case E_MONKEY_RB:
    case E_MONKEY_LTRIG:
    case E_MONKEY_RTRIG:
    case E_MONKEY_SELECT:
    case E_MONKEY_START:
    case E_MONKEY_P1:
    case E_MONKEY_P2:
      pInputs[press.mp_iInputCode] = KV_ONE;
      break;
    case E_MONKEY_DPAD:
      if (press.mp_fDirectionY > KV_ZERO) {
        pInputs[E_PAD_INPUT_DPAD_UP] = KV_ONE;
      }
      if (press.mp_fDirectionY < KV_ZERO) {
        pInputs[E_PAD_INPUT_DPAD_DOWN] = KV_ONE;
      }
      if (press.mp_fDirectionX < KV_ZERO) {
        pInputs[E_PAD_INPUT_DPAD_LEFT] = KV_ONE;
      }
      if (press.mp_fDirectionX > KV_ZERO) {
        pInputs[E_PAD_INPUT_DPAD_RIGHT] = KV_ONE;
      }
      break;
    case E_MONKEY_LA:
      pInputs[E_PAD_INPUT_LEFT_STICK_Y] = press.mp_fDirectionY;
      pInputs[E_PAD_INPUT_LEFT_STICK_X] = press.mp_fDirectionX;
      break;
    case E_MONKEY_RA:
      pInputs[E_PAD_INPUT_RIGHT_STICK_Y] = press.mp_fDirectionY;
      pInputs[E_PAD_INPUT_RIGHT_STICK_X] = press.mp_fDirectionX;
      break;
    default:
      KV_FATAL("Unhandled case");
  }
}

// A program whose press time has come presses one button, picked by weight.
void pressButton(ClDScriptData2* pProgramRoot) {
  ClDScriptData2* pButtons = pProgramRoot->getChild("Buttons");
  SScopedPicker<ClDScriptData2*> buttons;
  ClListPicker<ClDScriptData2*>& buttonPicker = buttons.picker;
  for (i32 i = 0; i < pButtons->getCount(); ++i) {
    ClDScriptData2* pButton = pButtons->getChildAt(i);
    f32 fWeight = KV_ONE;
    if (pButton->getType() == E_DSVT_ARRAY && pButton->hasChild("Weight")) {
      fWeight = weightOf(pButton->getChild("Weight"));
    }
    buttonPicker.add(pButton, fWeight);
  }
  if (buttonPicker.getCount() == 0) {
    // No press; the time stays run out, so the program tries again next tick.
    return;
  }

  ClDScriptData2* pButton = buttonPicker.pick();
  const bool bArray = pButton->getType() == E_DSVT_ARRAY;
  SMonkeyButtonPress buttonDown{};
  if (bArray && pButton->hasChild("Repetitions")) {
    ClDScriptData2* pRepetitions = pButton->getChild("Repetitions");
    i32 iChoice = 0;
    {
      SScopedPicker<i32> repetitions;
      repetitions.picker.addIndices(pRepetitions->getCount());
      iChoice = repetitions.picker.pick();
    }
    const ClDScriptData2* pCount = pRepetitions->getChildAt(iChoice);
    KV_ASSERT_MSG(pCount->getType() == E_DSVT_INT, "mp_eValueType == E_DSVT_INT");
    buttonDown.mp_iRepetitionsLeft = pCount->getInt() - 1;
    KV_ASSERT(buttonDown.mp_iRepetitionsLeft >= 0);
    buttonDown.mp_fGap = pProgramRoot->getChild("TimeBetweenPresses")->getChild("Min")->getFloatExact();
  }
  const f32 fTimeHeld = pProgramRoot->getChild("TimeHeld")->getFloat();
  const f32 fAngle = drawUnit() * 2.0f * KV_PI;
  buttonDown.mp_iInputCode = inputCodeOf(bArray ? pButton->getChildAt(0) : pButton);
  buttonDown.mp_uiPhase = 0;
  buttonDown.mp_fTimeHeld = fTimeHeld;
  buttonDown.mp_fTimer = fTimeHeld;
  buttonDown.mp_fDirectionX = std::cos(fAngle);
  buttonDown.mp_fDirectionY = std::sin(fAngle);
  ClMonkeyMgr::mp_daActivePresses.append(buttonDown);

  const f32 fInterval = pProgramRoot->getChild("TimeBetweenPresses")->getFloat();
  const char* pOverlap = pProgramRoot->getChild("AllowButtonPressOverlap")->getString();
  f32 fNext = fInterval;
  if (std::strcmp(pOverlap, "no") == 0) {
    // The next press starts only after the whole sequence of repetitions.
    fNext = (fTimeHeld + buttonDown.mp_fGap) * static_cast<f32>(buttonDown.mp_iRepetitionsLeft) + fTimeHeld +
            fInterval;
  } else {
    KV_ASSERT_MSG(std::strcmp(pOverlap, "yes") == 0,
                  "pProgramRoot->getChild(\"AllowButtonPressOverlap\")->asStringObj() == \"yes\"");
  }
  setFloatChild(pProgramRoot, "TimeUntilNextButtonPress", fNext);
}

void tickPresses(f32 fDT) {
  ClDynamicVector<SMonkeyButtonPress>& presses = ClMonkeyMgr::mp_daActivePresses;
  f32* pInputs = ClInputHWtoKv::mp_aPadStates[0].mp_afInputs;
  for (i32 i = presses.getCount() - 1; i >= 0; --i) {
    SMonkeyButtonPress& press = presses[i];
    if (press.mp_uiPhase == 0) {
      applyPress(press, pInputs);
    }
    press.mp_fTimer -= fDT;
    if (press.mp_fTimer > KV_ZERO) {
      continue;
    }
    if (press.mp_uiPhase == 0) {
      if (press.mp_iRepetitionsLeft == 0) {
        presses.erase(i);
      } else {
        --press.mp_iRepetitionsLeft;
        press.mp_fTimer = press.mp_fGap;
        press.mp_uiPhase = 1;
      }
    } else {
      press.mp_fTimer = press.mp_fTimeHeld;
      press.mp_uiPhase = 0;
    }
  }
}

// One random step of at most MoveLengths each way, kept inside the unit square.
f32 stepAxis(f32 fValue, const ClDScriptData2* pPointer) {
  const f32 fLength = pPointer->getChild("MoveLengths")->getFloat();
  const f32 u = drawUnit();
  return std::clamp(fValue + u * 2.0f * fLength - fLength, KV_ZERO, KV_ONE);
}

void tickPointer(f32 fDT) {
  ClMonkeyMgr::mp_fFreeMovementTime -= fDT;
  ClMonkeyMgr::mp_fMoveTimer -= fDT;
  if (ClMonkeyMgr::mp_fMoveTimer <= KV_ZERO) {
    const ClDScriptData2* pPointer = ClMonkeyMgr::mp_pPointerProgram;
    ClMonkeyMgr::mp_fMoveTimer = pPointer->getChild("TimeBetweenMoves")->getFloat();
    kv_vector2 target{KV_ZERO, KV_ZERO};
    const i32 iCount = g_pDetectors->getDetectorCount();
    if (iCount > 0) {
      f32 fLeft = KV_ZERO;
      f32 fTop = KV_ZERO;
      f32 fRight = KV_ZERO;
      f32 fBottom = KV_ZERO;
      g_pDetectors->getDetectorRect(KvMath::randomIntBelow(iCount), &fLeft, &fTop, &fRight, &fBottom);
      target = {(fLeft + fRight) / 2.0f, (fTop + fBottom) / 2.0f};
    }
    kv_vector2& pointer = ClMonkeyMgr::mp_vPointerPosition;
    if (ClMonkeyMgr::mp_fFreeMovementTime > KV_ZERO || (target.x == KV_ZERO && target.y == KV_ZERO)) {
      pointer.x = stepAxis(pointer.x, pPointer);
      pointer.y = stepAxis(pointer.y, pPointer);
    } else {
      pointer = target;
    }
  }
  f32* pInputs = ClInputHWtoKv::mp_aPadStates[0].mp_afInputs;
  pInputs[E_PAD_INPUT_POINTER_X] = ClMonkeyMgr::mp_vPointerPosition.x;
  pInputs[E_PAD_INPUT_POINTER_Y] = ClMonkeyMgr::mp_vPointerPosition.y;
  pInputs[E_PAD_INPUT_POINTER_PRESENT] = KV_ONE;
}

}  // namespace

void ClMonkeyMgr::initialize() {
  mp_daActivePresses.initialize(gc_iINITIAL_PRESSES);
  mp_vPointerPosition = {KV_ZERO, KV_ZERO};
  mp_fMoveTimer = FLT_MAX;
  mp_pPointerProgram = nullptr;
}

void ClMonkeyMgr::terminate() {
  // A start-up that stopped early never initialised the tester.
  if (mp_daActivePresses.isInitialized()) {
    mp_daActivePresses.terminate();
  }
  mp_pCurrentScheme = nullptr;
  mp_pCurrentProgramSet = nullptr;
  mp_pPointerProgram = nullptr;
}

void ClMonkeyMgr::setPointerDetectors(ClMonkeyPointerDetectors* pDetectors) {
  g_pDetectors = pDetectors != nullptr ? pDetectors : &g_noDetectors;
}

void ClMonkeyMgr::start(const char* pScriptName, const char* pSchemeName) {
  ClDScriptData2* pScript = ClDScriptMgr2::getScript(pScriptName, nullptr);
  KV_ASSERTF(pScript != nullptr, "Could not find monkey script [%s]", pScriptName);
  startScheme(pScript, pSchemeName);
}

void ClMonkeyMgr::startScheme(ClDScriptData2* pScript, const char* pSchemeName) {
  mp_pCurrentScheme = pScript->getChild(pSchemeName);
  setupProgramSet();
}

void ClMonkeyMgr::setupProgramSet() {
  mp_daActivePresses.clear();

  {
    SScopedPicker<ClDScriptData2*> sets;
    for (i32 i = 0; i < mp_pCurrentScheme->getCount(); ++i) {
      ClDScriptData2* pSet = mp_pCurrentScheme->getChildAt(i);
      sets.picker.add(pSet, weightOf(pSet->getChild("Weight")));
    }
    mp_pCurrentProgramSet = sets.picker.pick();
  }

  ClDScriptData2* pSet = mp_pCurrentProgramSet;
  setFloatChild(pSet, "TimeLeftToProgramSet", pSet->getChild("Duration")->getFloat());
  mp_fMoveTimer = FLT_MAX;

  ClDScriptData2* pPrograms = pSet->getChild("Programs");
  for (i32 i = 0; i < pPrograms->getCount(); ++i) {
    ClDScriptData2* pProgram = pPrograms->getChildAt(i);
    setFloatChild(pProgram, "TimeUntilNextButtonPress", pProgram->getChild("TimeBetweenPresses")->getFloat());
    ClDScriptData2* pPointer = pProgram->findChild("Pointer");
    if (pPointer == nullptr) {
      continue;
    }
    KV_ASSERT_MSG(mp_fMoveTimer == FLT_MAX, "Only define pointer movement for one program in a Monkey program set");
    mp_pPointerProgram = pPointer;
    mp_fMoveTimer = pPointer->getChild("TimeBetweenMoves")->getFloat();
    const f32 fFractionOfFreeMovement =
        KV_ONE - pPointer->getChild("FractionOfProgramSetTimeToSnapToDetectors")->getFloatExact();
    KV_ASSERT(fFractionOfFreeMovement >= KV_ZERO && fFractionOfFreeMovement <= KV_ONE);
    mp_fFreeMovementTime = pSet->getChild("TimeLeftToProgramSet")->getFloatExact() * fFractionOfFreeMovement;
  }
}

void ClMonkeyMgr::tick() {
  const f32 fDT = ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime;

  ClDScriptData2* pTimeLeft = mp_pCurrentProgramSet->getChild("TimeLeftToProgramSet");
  pTimeLeft->setFloat(pTimeLeft->getFloatExact() - fDT);
  if (pTimeLeft->getFloatExact() <= KV_ZERO) {
    setupProgramSet();
  }

  ClDScriptData2* pPrograms = mp_pCurrentProgramSet->getChild("Programs");
  for (i32 i = 0; i < pPrograms->getCount(); ++i) {
    ClDScriptData2* pProgram = pPrograms->getChildAt(i);
    pProgram->addFloat("TimeUntilNextButtonPress", -fDT);
    if (pProgram->getChild("TimeUntilNextButtonPress")->getFloatExact() > KV_ZERO) {
      continue;
    }
    pressButton(pProgram);
  }

  tickPresses(fDT);
  tickPointer(fDT);
}
