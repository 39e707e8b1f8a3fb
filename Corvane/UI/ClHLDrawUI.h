// Solid-colour rectangles in the coordinates of the UI's canvases, without a texture: one dynamic-geometry element
// each, drawn with the shader "system_blend_color", scaled by the "FULL" canvas and placed by the canvas rule
// (Cl2d::computePosition) on the current parent window or on "FULL".
//
// Game thread (the reservation is locked inside the dynamic geometry). initialize needs the signature manager and
// the shader.
#pragma once

#include "Corvane/Math/KvMath.h"
#include "Corvane/System/KvTypes.h"

struct SRenderSignature;

inline constexpr f32 gc_fCOLORED_RECT_DEPTH = -1999.0f;

class ClHLDrawUI {
 public:
  // Asserts "ClSignatureMgr::mp_bInitialized"; keeps the hash of "FULL" and the signature of "system_blend_color"
  // (a missing shader is the shader manager's fatal error).
  static void initialize();
  // A rectangle at the position (canvas units, top-left) of width x height units: nothing while the dynamic
  // geometry is not ready or the frame is full. Depth -1999, flag word mp_elementFlags.
  static void drawColoredRect(const u32* pColor, const kv_vector2* pPosition, f32 fWidth, f32 fHeight);

  // The element flags of every rectangle: 0x100 until the game sets the batch it draws them in.
  static void setElementFlags(u32 uiFlags) { mp_elementFlags = uiFlags; }
  static u32 getElementFlags() { return mp_elementFlags; }

  static u32 mp_uiFullCanvasHash;
  static const SRenderSignature* mp_pColorSignature;

 private:
  static u32 mp_elementFlags;
};
