// Texture-animation objects: playing and queueing flip books by the clock an owner names, the queue's delays and
// waits, the colour animator advanced by the same clock, and the object's ownership of its queued requests.
#include <gtest/gtest.h>

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/Animation/ClTexAnimObj.h"
#include "Tests/Corvane/Animation/ColorFadeTestSupport.h"
#include "Tests/Corvane/Animation/FlipBookTestFixture.h"

namespace {

class TexAnimObjTest : public FlipBookTest {
 protected:
  void SetUp() override {
    FlipBookTest::SetUp();
    // Four frames a second: every time below is exact in binary.
    m_pA = flipBook("A", 4, "fps = 4");
    m_pB = flipBook("B", 3, "fps = 4");
    m_pC = flipBook("C", 2, "fps = 4");
  }

  // Runs iFrames updates of the object on the gameplay clock at fDT seconds a frame.
  static void run(ClTexAnimObj* pObj, f32 fDT, int iFrames = 1) {
    setClock(gc_uiCLOCK_GAMEPLAY, fDT);
    for (int i = 0; i < iFrames; ++i) pObj->update(gc_uiCLOCK_GAMEPLAY);
  }

  static const ClFlipBookAnimator& animator(const ClTexAnimObj& obj) { return obj.mp_curAnimators.mp_flipBookAnimator; }

  ClFlipBook* m_pA = nullptr;
  ClFlipBook* m_pB = nullptr;
  ClFlipBook* m_pC = nullptr;
};


// A new object is idle; a play with no delay and no wait empties the queue and restarts at once, even the flip
// book already playing.
TEST_F(TexAnimObjTest, APlayWithoutDelayOrWaitRestartsAndDiscardsTheQueue) {
  ClTexAnimObj obj;
  EXPECT_EQ(animator(obj).m_iMode, 0);
  EXPECT_EQ(animator(obj).m_bPlaying, 0);
  EXPECT_EQ(obj.mp_colorAnimator.mp_params.mp_iKind, 0);
  EXPECT_EQ(obj.mp_colorAnimator.mp_bActive, 0);
  EXPECT_KV_ASSERT(obj.getCurFrame(), "mp_curAnimators.mp_flipBookAnimator.getFlipBook()");
  EXPECT_KV_ASSERT(obj.playFlipBook(nullptr, E_FLIPBOOK_MODE_LOOP, 0, 0.0f), "pFlipBook");

  obj.playFlipBook(m_pA, E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
  EXPECT_EQ(obj.getCurFrame(), m_pA->mp_daFrames.at(0));
  obj.playFlipBook(m_pB, E_FLIPBOOK_MODE_ONCE, 0, 1.0f);
  obj.playFlipBook(m_pC, E_FLIPBOOK_MODE_ONCE, 1, 0.0f);
  EXPECT_EQ(obj.mp_queuedPlays.getCount(), 2);
  run(&obj, 0.3f, 2);
  EXPECT_EQ(animator(obj).getCurrentFrameIndex(), 2);
  obj.playFlipBook(m_pA, E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
  EXPECT_EQ(obj.mp_queuedPlays.getCount(), 0);
  EXPECT_EQ(animator(obj).getFlipBook(), m_pA);
  EXPECT_EQ(animator(obj).getCurrentFrameIndex(), 0);
  EXPECT_EQ(animator(obj).m_fTimeLeft, 0.25f);
  EXPECT_EQ(animator(obj).m_fElapsed, 0.0f);
  // With a wait but nothing playing and nothing queued, a play starts at once too.
  ClTexAnimObj fresh;
  fresh.playFlipBook(m_pB, E_FLIPBOOK_MODE_ONCE, 1, 0.0f);
  EXPECT_EQ(animator(fresh).getFlipBook(), m_pB);
  EXPECT_EQ(fresh.mp_queuedPlays.getCount(), 0);
}

// A waiting play behind a loop: the loop finishes its pass, ends on its last frame, and the queued flip book
// starts in that same update. Behind a ping-pong, it never starts.
TEST_F(TexAnimObjTest, AWaitingPlayStartsInTheUpdateTheLoopEnds) {
  ClTexAnimObj obj;
  obj.playFlipBook(m_pA, E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
  run(&obj, 0.3f);  // frame 1
  obj.playFlipBook(m_pB, E_FLIPBOOK_MODE_ONCE, 1, 0.0f);
  ASSERT_EQ(obj.mp_queuedPlays.getCount(), 1);
  run(&obj, 0.25f);  // frame 2; the request is due, so the loop is asked to end
  EXPECT_EQ(animator(obj).getCurrentFrameIndex(), 2);
  EXPECT_EQ(animator(obj).m_bStopAtEnd, 1);
  run(&obj, 0.25f);
  EXPECT_EQ(animator(obj).getFlipBook(), m_pA);
  EXPECT_EQ(animator(obj).getCurrentFrameIndex(), 3);
  EXPECT_EQ(animator(obj).m_bPlaying, 1);
  run(&obj, 0.25f);  // the loop would wrap: it ends, and B starts
  EXPECT_EQ(animator(obj).getFlipBook(), m_pB);
  EXPECT_EQ(animator(obj).getCurrentFrameIndex(), 0);
  EXPECT_EQ(animator(obj).m_bPlaying, 1);
  EXPECT_EQ(animator(obj).m_bStopAtEnd, 0);
  EXPECT_EQ(obj.mp_queuedPlays.getCount(), 0);

  ClTexAnimObj pingPong;
  pingPong.playFlipBook(m_pA, E_FLIPBOOK_MODE_PINGPONG, 0, 0.0f);
  pingPong.playFlipBook(m_pB, E_FLIPBOOK_MODE_ONCE, 1, 0.0f);
  run(&pingPong, 0.1f, 200);
  EXPECT_EQ(animator(pingPong).getFlipBook(), m_pA);
  EXPECT_EQ(pingPong.mp_queuedPlays.getCount(), 1);
}

// A delay counts on the owner's clock only: while that clock stands the request never starts.
TEST_F(TexAnimObjTest, ADelayOnAStoppedClockNeverRunsOut) {
  ClTexAnimObj obj;
  obj.playFlipBook(m_pA, E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
  obj.playFlipBook(m_pB, E_FLIPBOOK_MODE_LOOP, 0, 0.5f);
  setClock(gc_uiCLOCK_SYSTEM, 0.25f);  // the other clock runs
  run(&obj, 0.0f, 100);
  EXPECT_EQ(animator(obj).getFlipBook(), m_pA);
  EXPECT_EQ(obj.mp_queuedPlays.getHead()->mp_fDelay, 0.5f);
  run(&obj, 0.25f);
  EXPECT_EQ(animator(obj).getFlipBook(), m_pA);
  run(&obj, 0.25f);
  EXPECT_EQ(animator(obj).getFlipBook(), m_pB) << "due exactly at 0: started without waiting";
  // On the system clock the same request runs by the system clock's time.
  ClTexAnimObj onSystem;
  onSystem.playFlipBook(m_pA, E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
  onSystem.playFlipBook(m_pB, E_FLIPBOOK_MODE_LOOP, 0, 0.5f);
  setClock(gc_uiCLOCK_GAMEPLAY, 0.0f);
  onSystem.update(gc_uiCLOCK_SYSTEM);
  onSystem.update(gc_uiCLOCK_SYSTEM);
  EXPECT_EQ(animator(onSystem).getFlipBook(), m_pB);
  EXPECT_KV_ASSERT(onSystem.update(2), "iClockIndex");
}

// Only the head of the queue counts its delay down: the second request starts counting when it is the head.
TEST_F(TexAnimObjTest, OnlyTheHeadsDelayCounts) {
  ClTexAnimObj obj;
  obj.playFlipBook(m_pA, E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
  obj.playFlipBook(m_pB, E_FLIPBOOK_MODE_LOOP, 0, 0.5f);
  obj.playFlipBook(m_pC, E_FLIPBOOK_MODE_LOOP, 0, 0.5f);
  run(&obj, 0.25f, 2);
  EXPECT_EQ(animator(obj).getFlipBook(), m_pB);
  ASSERT_EQ(obj.mp_queuedPlays.getCount(), 1);
  EXPECT_EQ(obj.mp_queuedPlays.getHead()->mp_fDelay, 0.5f);
  EXPECT_EQ(obj.mp_queuedPlays.getHead()->mp_bForward, 1);
  run(&obj, 0.25f);
  EXPECT_EQ(animator(obj).getFlipBook(), m_pB);
  run(&obj, 0.25f);
  EXPECT_EQ(animator(obj).getFlipBook(), m_pC);
  EXPECT_EQ(obj.mp_queuedPlays.getCount(), 0);
}

// The colour animator runs on the object's clock while it is on and active: black to white, linear, over 1 s is
// (255, 127, 127, 127) at 0.5 s and opaque white, idle, at 1 s. A duration of 0 sets the end colour at once.
TEST_F(TexAnimObjTest, TheColourAnimatorRunsOnTheObjectsClock) {
  ClTexAnimObj obj;
  obj.mp_colorAnimator.play(KvTestFade(2, 1, 0xFF000000u, 0xFFFFFFFFu, 1.0f));
  run(&obj, 0.5f);
  EXPECT_EQ(obj.mp_colorAnimator.mp_uiCurrentColor, 0xFF7F7F7Fu);
  run(&obj, 0.5f);
  EXPECT_EQ(obj.mp_colorAnimator.mp_uiCurrentColor, 0xFFFFFFFFu);
  EXPECT_EQ(obj.mp_colorAnimator.mp_bActive, 0);
  obj.mp_colorAnimator.play(KvTestFade(2, 1, 0xFF000000u, 0xFF102030u, 0.0f));
  EXPECT_EQ(obj.mp_colorAnimator.mp_uiCurrentColor, 0xFF102030u);
  EXPECT_EQ(obj.mp_colorAnimator.mp_bActive, 0);
  // Switched off (kind 0), the animator is left alone and keeps its colour.
  obj.mp_colorAnimator.play(KvTestFade(2, 1, 0xFF000000u, 0xFFFFFFFFu, 1.0f));
  obj.mp_colorAnimator.play(KvTestFade(0, 1, 0, 0, 1.0f));
  run(&obj, 0.5f);
  EXPECT_EQ(obj.mp_colorAnimator.mp_uiCurrentColor, 0xFF000000u);
  EXPECT_EQ(obj.mp_colorAnimator.mp_fCurrentTime, 0.0f);
}

// A start delay of 0.2 s: the start colour shows from the play on and for 0.2 s; in the update in which the
// delay runs out the whole frame time counts.
TEST_F(TexAnimObjTest, AColourDelayHoldsTheStartColour) {
  ClTexAnimObj obj;
  obj.mp_colorAnimator.mp_uiCurrentColor = 0xFF00FF00u;
  obj.mp_colorAnimator.play(KvTestFade(2, 1, 0xFF000000u, 0xFFFFFFFFu, 1.0f, 0.2f));
  EXPECT_EQ(obj.mp_colorAnimator.mp_uiCurrentColor, 0xFF000000u);
  run(&obj, 0.125f);
  EXPECT_EQ(obj.mp_colorAnimator.mp_uiCurrentColor, 0xFF000000u);
  run(&obj, 0.125f);  // the delay ends part way through: 0.125 s of the fade count (255 x 0.125 = 31.875)
  EXPECT_EQ(obj.mp_colorAnimator.mp_uiCurrentColor, 0xFF1F1F1Fu);
}

// A pulse (kind 4, cosine) of 2 s starts on the start colour, shows the end colour at 1 s and the start colour
// again at 2 s, and repeats; asked to stop, it ends on the start colour after its first full period.
TEST_F(TexAnimObjTest, APulseRepeatsEveryPeriod) {
  ClTexAnimObj obj;
  obj.mp_colorAnimator.play(KvTestFade(4, 2, 0xFF000000u, 0xFFFFFFFFu, 2.0f));
  EXPECT_EQ(obj.mp_colorAnimator.mp_uiCurrentColor, 0xFF000000u);
  // Blue channel at 1 s, 2 s, 3 s and 4 s: within 1 of white, black, white, black (the sine's rounding).
  const int aExpected[] = {255, 0, 255, 0};
  for (int iExpected : aExpected) {
    run(&obj, 0.5f, 2);
    EXPECT_NEAR(static_cast<int>(obj.mp_colorAnimator.mp_uiCurrentColor & 0xFFu), iExpected, 1);
    EXPECT_EQ(obj.mp_colorAnimator.mp_uiCurrentColor >> 24, 0xFFu);
    EXPECT_EQ(obj.mp_colorAnimator.mp_bActive, 1);
  }
  ClTexAnimObj stopping;
  stopping.mp_colorAnimator.play(KvTestFade(4, 2, 0xFF000000u, 0xFFFFFFFFu, 2.0f));
  stopping.mp_colorAnimator.mp_bStopRequest = 1;
  run(&stopping, 0.5f, 3);
  EXPECT_EQ(stopping.mp_colorAnimator.mp_bActive, 1) << "in its first period at 1.5 s";
  run(&stopping, 0.5f);
  EXPECT_EQ(stopping.mp_colorAnimator.mp_bActive, 1) << "exactly at the end of the period";
  run(&stopping, 0.25f);
  EXPECT_EQ(stopping.mp_colorAnimator.mp_bActive, 0);
  EXPECT_EQ(stopping.mp_colorAnimator.mp_uiCurrentColor, 0xFF000000u);
}

// The object owns its queued requests: owners may free them with the callback, the destructor frees what is
// left, copies get their own requests and moves take them along (a vector of objects grows safely). The
// sanitizer build checks that nothing is freed twice or lost.
TEST_F(TexAnimObjTest, QueuedRequestsBelongToTheirObject) {
  ClTexAnimObj obj;
  obj.playFlipBook(m_pA, E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
  obj.playFlipBook(m_pB, E_FLIPBOOK_MODE_LOOP, 0, 0.5f);
  obj.playFlipBook(m_pC, E_FLIPBOOK_MODE_ONCE, 1, 0.25f);
  {
    ClTexAnimObj copy(obj);
    ASSERT_EQ(copy.mp_queuedPlays.getCount(), 2);
    EXPECT_NE(copy.mp_queuedPlays.getHead(), obj.mp_queuedPlays.getHead());
    EXPECT_EQ(copy.mp_queuedPlays.getTail()->mp_pFlipBook, m_pC);
    EXPECT_EQ(copy.mp_queuedPlays.getTail()->mp_bWait, 1);
    EXPECT_EQ(copy.mp_queuedPlays.getTail()->mp_fDelay, 0.25f);
    run(&copy, 0.5f);
    EXPECT_EQ(animator(copy).getFlipBook(), m_pB);
    EXPECT_EQ(animator(obj).getFlipBook(), m_pA);
    ClTexAnimObj assigned;
    assigned.playFlipBook(m_pC, E_FLIPBOOK_MODE_LOOP, 0, 1.0f);
    assigned = copy;
    EXPECT_EQ(assigned.mp_queuedPlays.getCount(), 1);
  }
  ClDynamicVector<ClTexAnimObj> objects;
  objects.initialize(2);
  for (int i = 0; i < 9; ++i) objects.append(obj);
  ClTexAnimObj moved(std::move(*objects.at(0)));
  EXPECT_EQ(moved.mp_queuedPlays.getCount(), 2);
  EXPECT_EQ(objects.at(0)->mp_queuedPlays.getCount(), 0);
  objects.erase(1);
  for (int i = 1; i < objects.getCount(); ++i) EXPECT_EQ(objects.at(i)->mp_queuedPlays.getCount(), 2);
  objects.terminate();

  STexAnimQueuedPlay* pHead = obj.mp_queuedPlays.getHead();
  obj.mp_queuedPlays.removeAll(&ClTexAnimObj::deleteQueuedPlay);
  EXPECT_EQ(obj.mp_queuedPlays.getCount(), 0);
  EXPECT_EQ(obj.mp_queuedPlays.getHead(), nullptr);
  (void)pHead;
}

}  // namespace
