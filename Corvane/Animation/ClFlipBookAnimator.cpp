#include "Corvane/Animation/ClFlipBookAnimator.h"

#include "Corvane/Animation/ClFlipBook.h"
#include "Corvane/System/KvDebug.h"

void ClFlipBookAnimator::start(ClFlipBook* pFB, i32 iMode, bool bForward) {
  KV_ASSERT_MSG(pFB != nullptr, "pFB");
  m_pFlipBook = pFB;
  m_fFrameTime = 1.0f / pFB->mp_fFramesPerSecond;
  m_bPlayingForward = bForward ? 1 : 0;
  m_iCurFrame = bForward ? 0 : pFB->getNumFrames() - 1;
  m_fTimeLeft = displayTime(m_iCurFrame);
  m_iMode = iMode;
  m_bPlaying = 1;
  m_bStopAtEnd = 0;
  m_fElapsed = 0.0f;
}

f32 ClFlipBookAnimator::displayTime(i32 iFrame) const {
  const f32 fDelay = m_pFlipBook->getFrameDelay(iFrame);
  return fDelay != 0.0f ? fDelay : m_fFrameTime;
}

bool ClFlipBookAnimator::stepFrame() {
  const i32 iCount = m_pFlipBook->getNumFrames();
  switch (m_iMode) {
    case E_FLIPBOOK_MODE_ONCE:
      if (m_bPlayingForward) {
        if (++m_iCurFrame >= iCount) {
          m_iCurFrame = iCount - 1;
          m_bPlaying = 0;
          return false;
        }
      } else if (--m_iCurFrame < 0) {
        m_iCurFrame = 0;
        m_bPlaying = 0;
        return false;
      }
      return true;
    case E_FLIPBOOK_MODE_LOOP:
      KV_ASSERT_MSG(m_bPlayingForward, "m_bPlayingForward");
      if (++m_iCurFrame >= iCount) {
        if (m_bStopAtEnd) {
          m_iCurFrame = iCount - 1;
          m_bPlaying = 0;
          return false;
        }
        m_iCurFrame %= iCount;
      }
      return true;
    default:  // ping-pong
      if (m_bPlayingForward) {
        if (++m_iCurFrame >= iCount) {
          m_iCurFrame = iCount - 2 < 0 ? 0 : iCount - 2;
          m_bPlayingForward = 0;
        }
      } else if (--m_iCurFrame < 0) {
        m_iCurFrame = iCount > 1 ? 1 : 0;
        m_bPlayingForward = 1;
      }
      return true;
  }
}

void ClFlipBookAnimator::update(f32 fDT) {
  if (m_iMode == E_FLIPBOOK_MODE_NONE || m_bPlaying != 1) {
    return;
  }
  KV_ASSERT_MSG(m_pFlipBook != nullptr, "m_pFlipBook");
  m_fElapsed += fDT;
  if (m_iMode < E_FLIPBOOK_MODE_HOLD || m_iMode > E_FLIPBOOK_MODE_PINGPONG) {
    KV_FATAL("Unhandled case");
  }
  if (m_iMode == E_FLIPBOOK_MODE_HOLD) {
    m_bPlaying = 0;
    return;
  }
  // A frame whose time left is exactly 0 stays; the loader refuses display times that could keep this loop from
  // making progress.
  m_fTimeLeft -= fDT;
  while (m_fTimeLeft < 0.0f) {
    if (!stepFrame()) {
      return;
    }
    m_fTimeLeft += displayTime(m_iCurFrame);
  }
}

const SFlipBookFrame* ClFlipBookAnimator::getCurFrame() const {
  KV_ASSERT_MSG(m_pFlipBook != nullptr, "m_pFlipBook");
  return m_pFlipBook->mp_daFrames.at(m_iCurFrame);
}

i32 ClFlipBookAnimator::getNumFrames() const {
  KV_ASSERT_MSG(m_pFlipBook != nullptr, "m_pFlipBook");
  return m_pFlipBook->getNumFrames();
}

i32 ClFlipBookAnimator::getCurrentFrameIndex() const {
  KV_ASSERT_MSG(m_pFlipBook != nullptr, "m_pFlipBook");
  return m_iCurFrame;
}

void ClFlipBookAnimator::setCurrentFrameIndex(i32 iNumFrame) {
  KV_ASSERT_MSG(iNumFrame >= 0, "iNumFrame >= 0");
  KV_ASSERT_MSG(iNumFrame < getNumFrames(), "iNumFrame < getNumFrames()");
  m_iCurFrame = iNumFrame;
}
