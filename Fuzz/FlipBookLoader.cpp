// Flip-book scripts from outside data: any bytes are refused by the script loader or by the flip-book check with a
// reason, or load into a flip book (twice, the second replacing the first) whose frames all have images and whose
// frame rate and delays keep every animator's update bounded; each mode then plays it, alone and through a
// texture-animation object's queue, with the frame always in range. Any stop of the program is a finding.
#include <cstddef>
#include <cstdint>

#include "Corvane/Animation/ClFlipBook.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Animation/ClTexAnimObj.h"
#include "Corvane/Data/ClDScriptData2.h"
#include "Corvane/Data/ClDScriptMgr2.h"
#include "Corvane/System/ClClock.h"
#include "Fuzz/FuzzQuiet.h"
#include "Tests/Support/FlipBookTestSupport.h"

namespace {

constexpr i32 gc_iFUZZ_FRAMES = 5;

void checkFrame(const ClFlipBookAnimator& animator) {
  const i32 iFrame = animator.getCurrentFrameIndex();
  if (iFrame < 0 || iFrame >= gc_iFUZZ_FRAMES || animator.getCurFrame()->mp_pImage == nullptr) __builtin_trap();
  if (animator.m_bPlaying && animator.m_iMode != E_FLIPBOOK_MODE_HOLD && animator.m_fTimeLeft < 0.0f) __builtin_trap();
}

void play(ClFlipBook* pBook) {
  for (i32 iMode = E_FLIPBOOK_MODE_HOLD; iMode < NUM_E_FLIPBOOK_MODE; ++iMode) {
    for (bool bForward : {true, false}) {
      if (iMode == E_FLIPBOOK_MODE_LOOP && !bForward) continue;
      ClFlipBookAnimator animator;
      animator.start(pBook, iMode, bForward);
      for (int i = 0; i < 40; ++i) {
        animator.update(i % 7 == 0 ? 0.75f : 0.05f);
        checkFrame(animator);
      }
    }
  }
  ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 0.1f;
  ClTexAnimObj obj;
  obj.playFlipBook(pBook, E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
  obj.playFlipBook(pBook, E_FLIPBOOK_MODE_ONCE, 1, 0.0f);
  obj.playFlipBook(pBook, E_FLIPBOOK_MODE_PINGPONG, 0, 0.3f);
  obj.playFlipBook(pBook, E_FLIPBOOK_MODE_LOOP, 1, 0.2f);
  for (int i = 0; i < 60; ++i) {
    obj.update(gc_uiCLOCK_GAMEPLAY);
    checkFrame(obj.mp_curAnimators.mp_flipBookAnimator);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uiSize) {
  KvFuzzSilenceProblemReports();
  char szError[gc_uiKDS_ERROR_SIZE];
  ClDScriptData2* pRoot = ClDScriptMgr2::buildTree(pData, uiSize, "AnimationsGame\\Fz.kds", szError, sizeof(szError));
  if (pRoot == nullptr) {
    if (szError[0] == '\0') __builtin_trap();  // a refusal always says why
    return 0;
  }
  static STestAtlas s_atlas;
  KvTestRegisterAtlas("FuzzAtlas",
                      {"Fz-0001_216", "Fz-0002_216", "Fz-0003_216", "Fz-0004_216", "Fz-0005_216", "Fz-0007_216",
                       "FzFX-0002_216", "Fz_0006_216"},
                      &s_atlas);
  ClFlipBookMgr::initialize();
  const i32 iFrames = ClFlipBookMgr::countFrames("Fz", "FuzzAtlas");
  if (iFrames != gc_iFUZZ_FRAMES) __builtin_trap();
  char szMessage[1024];
  if (ClFlipBookMgr::checkFlipBookScript(pRoot, "Fz", iFrames, szMessage, sizeof(szMessage)) != E_FLIPBOOK_SCRIPT_OK) {
    if (szMessage[0] == '\0') __builtin_trap();
  } else {
    ClFlipBookMgr::loadFlipBookFromScript(pRoot, "Fz", "FuzzAtlas", 1.0f);
    ClFlipBookMgr::loadFlipBookFromScript(pRoot, "Fz", "FuzzAtlas", 2.0f);
    ClFlipBook* pBook = ClFlipBookMgr::getFlipBook("Fz");
    if (pBook->getNumFrames() != gc_iFUZZ_FRAMES || !(pBook->mp_fFramesPerSecond > 0.0f)) __builtin_trap();
    if ((pBook->mp_daFrames[1].mp_pEffectImage == nullptr) || (pBook->mp_daFrames[0].mp_pEffectImage != nullptr)) {
      __builtin_trap();
    }
    for (i32 i = 0; i < pBook->mp_daFrameDelays.getCount(); ++i) {
      if (!(pBook->mp_daFrameDelays[i].mp_fSeconds >= 0.0f)) __builtin_trap();
    }
    play(pBook);
  }
  ClFlipBookMgr::terminate();
  ClAtlasMgr::terminate();
  ClDScriptData2::destroyTree(pRoot);
  return 0;
}
