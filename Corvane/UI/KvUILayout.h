// Reading a widget's LAYOUT value (18 words; see ClWidget.h): where on its rectangle the widget sits (word 3, the
// screen anchor, and word 6, the widget anchor, each 0-8) and its offset in canvas units (words 4 and 5). The
// anchors become Cl2d's alignment flags through one table. Any thread; no state.
#pragma once

#include <cstring>

#include "Corvane/System/KvDebug.h"
#include "Corvane/System/KvTypes.h"
#include "Corvane/UI/Cl2d.h"

inline constexpr i32 gc_iLAYOUT_SCREEN_ANCHOR_WORD = 3;
inline constexpr i32 gc_iLAYOUT_X_WORD = 4;
inline constexpr i32 gc_iLAYOUT_Y_WORD = 5;
inline constexpr i32 gc_iLAYOUT_WIDGET_ANCHOR_WORD = 6;
inline constexpr u32 gc_uiNUM_LAYOUT_ANCHORS = 9;

// Anchor 0-8: top-left, top-centre, top-right, bottom-left, bottom-centre, bottom-right, centre-left, centre,
// centre-right. Anything else is the assertion "Invalid layout anchor!".
inline u32 KvLayoutAnchorFlags(u32 uiAnchor) {
  static constexpr u32 s_auiFlags[gc_uiNUM_LAYOUT_ANCHORS] = {
      gc_ui2D_ALIGN_LEFT | gc_ui2D_ALIGN_TOP,          gc_ui2D_ALIGN_CENTRE_X | gc_ui2D_ALIGN_TOP,
      gc_ui2D_ALIGN_RIGHT | gc_ui2D_ALIGN_TOP,         gc_ui2D_ALIGN_LEFT | gc_ui2D_ALIGN_BOTTOM,
      gc_ui2D_ALIGN_CENTRE_X | gc_ui2D_ALIGN_BOTTOM,   gc_ui2D_ALIGN_RIGHT | gc_ui2D_ALIGN_BOTTOM,
      gc_ui2D_ALIGN_LEFT | gc_ui2D_ALIGN_CENTRE_Y,     gc_ui2D_ALIGN_CENTRE_X | gc_ui2D_ALIGN_CENTRE_Y,
      gc_ui2D_ALIGN_RIGHT | gc_ui2D_ALIGN_CENTRE_Y};
  KV_ASSERT_MSG(uiAnchor < gc_uiNUM_LAYOUT_ANCHORS, "Invalid layout anchor!");
  return s_auiFlags[uiAnchor];
}

// The placement a LAYOUT value gives: offset in canvas units and the two flag words.
struct SLayoutPlacement {
  f32 mp_fX;
  f32 mp_fY;
  u32 mp_uiScreenFlags;
  u32 mp_uiAnchorFlags;
};

inline SLayoutPlacement KvLayoutPlacement(const void* pLayout) {
  u32 auiWords[gc_iLAYOUT_SCREEN_ANCHOR_WORD + 4];
  std::memcpy(auiWords, pLayout, sizeof(auiWords));
  SLayoutPlacement placement;
  std::memcpy(&placement.mp_fX, &auiWords[gc_iLAYOUT_X_WORD], sizeof(f32));
  std::memcpy(&placement.mp_fY, &auiWords[gc_iLAYOUT_Y_WORD], sizeof(f32));
  placement.mp_uiScreenFlags = KvLayoutAnchorFlags(auiWords[gc_iLAYOUT_SCREEN_ANCHOR_WORD]);
  placement.mp_uiAnchorFlags = KvLayoutAnchorFlags(auiWords[gc_iLAYOUT_WIDGET_ANCHOR_WORD]);
  return placement;
}
