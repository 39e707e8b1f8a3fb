#include "Corvane/Animation/ClFlipBook.h"

void ClFlipBook::initialize() {
  mp_fFramesPerSecond = 0.0f;
  mp_daFrames.initialize(gc_iFLIPBOOK_VECTOR_CAPACITY);
  mp_daNodes.initialize(gc_iFLIPBOOK_VECTOR_CAPACITY);
  mp_daFrameDelays.initialize(gc_iFLIPBOOK_VECTOR_CAPACITY);
}

void ClFlipBook::terminate() {
  mp_daFrames.terminate();
  for (i32 i = 0; i < mp_daNodes.getCount(); ++i) {
    mp_daNodes[i].mp_daPositions.terminate();
  }
  mp_daNodes.terminate();
  mp_daFrameDelays.terminate();
}

f32 ClFlipBook::getFrameDelay(i32 iFrame) const {
  for (i32 i = 0; i < mp_daFrameDelays.getCount(); ++i) {
    if (mp_daFrameDelays[i].mp_iFrame == iFrame) {
      return mp_daFrameDelays[i].mp_fSeconds;
    }
  }
  return 0.0f;
}
