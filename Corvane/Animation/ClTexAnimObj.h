// A texture-animation object: what a game object, a background layer or a UI widget holds to show an animated
// image. It plays one flip book at a time through its flip-book animator, keeps a queue of flip books to play
// next (each after a delay, or once the running one has finished) and carries a colour animator. Its owner calls
// update once a frame with the index of the clock it runs on and draws the current frame (image and anchor).
//
// Queued plays: only the head of the queue counts down its delay. When it is due it starts at once unless it
// waits for the running animation; then the running loop is asked to end on its last frame, and the request
// starts in the update in which that animation ends (a once ends by itself, a ping-pong never ends). A play with
// no delay and no wait empties the queue and restarts at once, even the flip book already playing.
//
// The object owns its queued requests (16-byte aligned blocks): owners may empty the queue with
// mp_queuedPlays.removeAll(&ClTexAnimObj::deleteQueuedPlay), and the destructor frees what is left. Copying an
// object copies its queue; moving one moves it. Flip books are borrowed. Main thread only.
#pragma once

#include "Corvane/ADT/ClList.h"
#include "Corvane/Animation/ClAnimator.h"
#include "Corvane/Animation/ClFlipBookAnimator.h"
#include "Corvane/System/KvTypes.h"

class ClFlipBook;
struct SFlipBookFrame;

// A play waiting in the queue.
struct STexAnimQueuedPlay : ClListNode {
  f32 mp_fDelay = 0.0f;  // seconds still to wait
  ClFlipBook* mp_pFlipBook = nullptr;
  i32 mp_iMode = E_FLIPBOOK_MODE_NONE;
  i32 mp_bWait = 0;     // 1: start only once the running animation has finished
  i32 mp_bForward = 1;  // always 1
};

class ClTexAnimObj {
 public:
  // Idle: no mode, not playing, no flip book, the colour animator off and inactive, an empty queue.
  ClTexAnimObj() = default;
  ClTexAnimObj(const ClTexAnimObj& other);
  ClTexAnimObj(ClTexAnimObj&& other) noexcept;
  ClTexAnimObj& operator=(const ClTexAnimObj& other);
  ClTexAnimObj& operator=(ClTexAnimObj&& other) noexcept;
  // Frees the requests still queued.
  ~ClTexAnimObj();

  // Plays pFlipBook (asserts "pFlipBook") in mode iMode (E_FLIPBOOK_MODE) now, or queues it: with fDelay exactly 0
  // and no wait the queue is emptied and it starts at once; with fDelay 0 and bWait set it starts at once when
  // nothing plays and nothing is queued; otherwise it joins the tail of the queue. fDelay in seconds.
  void playFlipBook(ClFlipBook* pFlipBook, i32 iMode, i32 bWait, f32 fDelay);
  // One frame on clock iClockIndex (0 the system clock, 1 the gameplay clock): the flip-book animator, the colour
  // animator while it is on and active, then the head of the queue, all by that clock's frame time.
  void update(i32 iClockIndex);
  // The current frame; asserts "mp_curAnimators.mp_flipBookAnimator.getFlipBook()" when nothing ever played.
  const SFlipBookFrame* getCurFrame() const;

  // The callback that frees one request unlinked from the queue (ClList::removeAll).
  static void deleteQueuedPlay(STexAnimQueuedPlay* pPlay);

  struct {
    ClFlipBookAnimator mp_flipBookAnimator;
  } mp_curAnimators;
  ClAnimator<ClColor> mp_colorAnimator;
  ClList<STexAnimQueuedPlay> mp_queuedPlays;  // oldest first

 private:
  void appendCopiesOf(const ClList<STexAnimQueuedPlay>& queue);
  void startPlay(ClFlipBook* pFlipBook, i32 iMode, i32 bForward);
};
