// The playback state of one flip book: its mode, current frame, direction and timing. It lives inside a
// texture-animation object (ClTexAnimObj), which advances it by its clock's frame time; drawing code reads the
// current frame's image and anchor.
//
// Modes: 1 hold (the start frame shows; the first update ends playback), 2 once (through once in the start
// direction, staying on the last frame reached), 3 loop (forward only, wrapping to frame 0; a pending
// stop-at-end request ends it on the last frame), 4 ping-pong (forward to the last frame, back to the first,
// without end). A frame shows for its delay in the flip book when that is not 0, else for 1 / frames per second.
// A finished animator keeps its last frame readable. The flip book is borrowed: it must outlive the playback.
// Main thread only.
#pragma once

#include "Corvane/System/KvTypes.h"

class ClFlipBook;
struct SFlipBookFrame;

enum E_FLIPBOOK_MODE : i32 {
  E_FLIPBOOK_MODE_NONE = 0,
  E_FLIPBOOK_MODE_HOLD = 1,
  E_FLIPBOOK_MODE_ONCE = 2,
  E_FLIPBOOK_MODE_LOOP = 3,
  E_FLIPBOOK_MODE_PINGPONG = 4,
  NUM_E_FLIPBOOK_MODE
};

class ClFlipBookAnimator {
 public:
  // Starts pFB (asserts "pFB") from frame 0 forward, or from its last frame backward.
  void start(ClFlipBook* pFB, i32 iMode, bool bForward);
  // Advances by dt seconds; nothing happens while no mode is set or playback has ended. A long dt skips frames.
  void update(f32 fDT);

  // These assert "m_pFlipBook" when nothing was ever started.
  const SFlipBookFrame* getCurFrame() const;
  i32 getNumFrames() const;
  i32 getCurrentFrameIndex() const;
  // Shows another frame (asserts "iNumFrame < getNumFrames()"); the timing of the current frame is kept.
  void setCurrentFrameIndex(i32 iNumFrame);

  ClFlipBook* getFlipBook() const { return m_pFlipBook; }
  // Holds the current frame until the next start.
  void pause() { m_bPlaying = 0; }

  i32 m_iMode = E_FLIPBOOK_MODE_NONE;
  ClFlipBook* m_pFlipBook = nullptr;
  i32 m_bPlaying = 0;
  i32 m_iCurFrame = 0;
  f32 m_fTimeLeft = 0.0f;   // seconds the current frame still shows
  f32 m_fFrameTime = 0.0f;  // seconds, 1 / frames per second
  i32 m_bStopAtEnd = 0;     // a loop ends on its last frame
  i32 m_bPlayingForward = 1;
  f32 m_fElapsed = 0.0f;  // seconds since the start

 private:
  f32 displayTime(i32 iFrame) const;
  // Steps one frame in the current mode and direction; false when that ended playback.
  bool stepFrame();
};
