#include "Corvane/Animation/ClTexAnimObj.h"

#include <new>

#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/KvDebug.h"

namespace {

STexAnimQueuedPlay* newQueuedPlay() {
  void* pMemory = KvAlignedAlloc(sizeof(STexAnimQueuedPlay), 16);
  KV_ASSERT_MSG(pMemory != nullptr, "pQueuedPlay");
  return new (pMemory) STexAnimQueuedPlay();
}

}  // namespace

ClTexAnimObj::ClTexAnimObj(const ClTexAnimObj& other)
    : mp_curAnimators(other.mp_curAnimators), mp_colorAnimator(other.mp_colorAnimator) {
  appendCopiesOf(other.mp_queuedPlays);
}

ClTexAnimObj::ClTexAnimObj(ClTexAnimObj&& other) noexcept
    : mp_curAnimators(other.mp_curAnimators),
      mp_colorAnimator(other.mp_colorAnimator),
      mp_queuedPlays(other.mp_queuedPlays) {
  other.mp_queuedPlays = ClList<STexAnimQueuedPlay>();
}

ClTexAnimObj& ClTexAnimObj::operator=(const ClTexAnimObj& other) {
  if (this != &other) {
    mp_queuedPlays.removeAll(&deleteQueuedPlay);
    mp_curAnimators = other.mp_curAnimators;
    mp_colorAnimator = other.mp_colorAnimator;
    appendCopiesOf(other.mp_queuedPlays);
  }
  return *this;
}

ClTexAnimObj& ClTexAnimObj::operator=(ClTexAnimObj&& other) noexcept {
  if (this != &other) {
    mp_queuedPlays.removeAll(&deleteQueuedPlay);
    mp_curAnimators = other.mp_curAnimators;
    mp_colorAnimator = other.mp_colorAnimator;
    mp_queuedPlays = other.mp_queuedPlays;
    other.mp_queuedPlays = ClList<STexAnimQueuedPlay>();
  }
  return *this;
}

ClTexAnimObj::~ClTexAnimObj() { mp_queuedPlays.removeAll(&deleteQueuedPlay); }

void ClTexAnimObj::appendCopiesOf(const ClList<STexAnimQueuedPlay>& queue) {
  for (const STexAnimQueuedPlay* pPlay = queue.getHead(); pPlay != nullptr;
       pPlay = ClList<STexAnimQueuedPlay>::getNext(pPlay)) {
    STexAnimQueuedPlay* pCopy = newQueuedPlay();
    pCopy->mp_fDelay = pPlay->mp_fDelay;
    pCopy->mp_pFlipBook = pPlay->mp_pFlipBook;
    pCopy->mp_iMode = pPlay->mp_iMode;
    pCopy->mp_bWait = pPlay->mp_bWait;
    pCopy->mp_bForward = pPlay->mp_bForward;
    mp_queuedPlays.addTail(pCopy);
  }
}

void ClTexAnimObj::deleteQueuedPlay(STexAnimQueuedPlay* pPlay) {
  pPlay->mp_pNext = nullptr;
  pPlay->mp_pPrev = nullptr;
  pPlay->~STexAnimQueuedPlay();
  KvAlignedFree(pPlay);
}

void ClTexAnimObj::startPlay(ClFlipBook* pFlipBook, i32 iMode, i32 bForward) {
  mp_curAnimators.mp_flipBookAnimator.start(pFlipBook, iMode, bForward != 0);
}

void ClTexAnimObj::playFlipBook(ClFlipBook* pFlipBook, i32 iMode, i32 bWait, f32 fDelay) {
  KV_ASSERT_MSG(pFlipBook != nullptr, "pFlipBook");
  if (fDelay == 0.0f && !bWait) {
    mp_queuedPlays.removeAll(&deleteQueuedPlay);
    startPlay(pFlipBook, iMode, 1);
    return;
  }
  if (fDelay == 0.0f && !mp_curAnimators.mp_flipBookAnimator.m_bPlaying && mp_queuedPlays.getCount() == 0) {
    startPlay(pFlipBook, iMode, 1);
    return;
  }
  STexAnimQueuedPlay* pPlay = newQueuedPlay();
  pPlay->mp_fDelay = fDelay;
  pPlay->mp_pFlipBook = pFlipBook;
  pPlay->mp_iMode = iMode;
  pPlay->mp_bWait = bWait;
  pPlay->mp_bForward = 1;
  mp_queuedPlays.addTail(pPlay);
}

void ClTexAnimObj::update(i32 iClockIndex) {
  KV_ASSERT(iClockIndex >= 0 && iClockIndex < static_cast<i32>(gc_uiNUM_CLOCKS));
  const f32 fDT = ClClock::m_aClockFrames[iClockIndex].m_fFrameTime;
  ClFlipBookAnimator& animator = mp_curAnimators.mp_flipBookAnimator;
  animator.update(fDT);
  if (mp_colorAnimator.mp_params.mp_iKind != gc_iANIM_PLAY_OFF && mp_colorAnimator.mp_bActive) {
    mp_colorAnimator.update(fDT);
  }
  STexAnimQueuedPlay* pHead = mp_queuedPlays.getHead();
  if (pHead == nullptr) {
    return;
  }
  pHead->mp_fDelay -= fDT;
  if (pHead->mp_fDelay > 0.0f) {
    return;
  }
  if (!pHead->mp_bWait || !animator.m_bPlaying) {
    startPlay(pHead->mp_pFlipBook, pHead->mp_iMode, pHead->mp_bForward);
    mp_queuedPlays.remove(pHead);
    deleteQueuedPlay(pHead);
  } else {
    animator.m_bStopAtEnd = 1;
  }
}

const SFlipBookFrame* ClTexAnimObj::getCurFrame() const {
  KV_ASSERT_MSG(mp_curAnimators.mp_flipBookAnimator.getFlipBook() != nullptr,
                "mp_curAnimators.mp_flipBookAnimator.getFlipBook()");
  return mp_curAnimators.mp_flipBookAnimator.getCurFrame();
}
