// The 2D canvas layer of the UI. So far: the parent-window stack, the rectangles that a render procedure
// pushes for its children to place themselves in (the widget render pops what its "onRender" pushed, after
// the children). Main thread only.
#pragma once

#include "Corvane/ADT/ClPool.h"
#include "Corvane/System/KvTypes.h"

inline constexpr i32 gc_iMAX_PARENT_WINDOWS = 16;

// A rectangle in screen pixels.
struct SParentWindow {
  f32 mp_fLeft;
  f32 mp_fRight;
  f32 mp_fTop;
  f32 mp_fBottom;
};

class Cl2d {
 public:
  // Takes the next record and copies the rectangle into it; a 17th is the fatal "Pool alloc failed".
  static void pushParentWindow(const SParentWindow& window);
  // The current (last pushed) parent window; asserts "m_iAllocCount > 0" when none is pushed.
  static SParentWindow* getParentWindow();
  // Frees one record.
  static void popParentWindow(SParentWindow* pWindow);
  static void clearParentWindows();

  // The last allocated record is the current parent window.
  static ClPool<SParentWindow, gc_iMAX_PARENT_WINDOWS> mp_parentWindowStack;
};
