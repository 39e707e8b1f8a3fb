// The 2D canvas layer of the UI: the named canvases (2D frames placed on the screen, each with a pixel rectangle, a
// scale from canvas units to pixels and a resolution height that selects asset versions), the rule that turns an
// offset, a size and alignment flags into a pixel position, the parent-window rectangles that nested widgets
// position themselves in (the widget render pops what its "onRender" pushed, after the children), and the 2D
// projection of the pass that draws the UI's geometry.
//
// Canvases and parent windows belong to the main thread; the projection is pushed and popped by the render
// worker while it draws a frame.
#pragma once

#include "Corvane/ADT/ClDictionaryPool.h"
#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/ADT/ClPool.h"
#include "Corvane/Math/KvMath.h"
#include "Corvane/System/KvTypes.h"

inline constexpr i32 gc_iMAX_PARENT_WINDOWS = 16;
inline constexpr i32 gc_iMAX_2D_CANVASES = 4;
inline constexpr i32 MAX_2D_CANVAS_SUFFIX_LEN = 8;
inline constexpr i32 gc_iCANVAS_ASSET_SUFFIX_LEN = 16;
// The height in canvas units that the default canvas "FULL" spans.
inline constexpr f32 gc_f2D_DESIGN_HEIGHT = 216.0f;

// Alignment flags: where on a rectangle a box is placed (screen flags) and which point of the box is placed there
// (anchor flags). One X bit and one Y bit each.
inline constexpr u32 gc_ui2D_ALIGN_LEFT = 1;
inline constexpr u32 gc_ui2D_ALIGN_CENTRE_X = 2;
inline constexpr u32 gc_ui2D_ALIGN_RIGHT = 4;
inline constexpr u32 gc_ui2D_ALIGN_TOP = 8;
inline constexpr u32 gc_ui2D_ALIGN_CENTRE_Y = 16;
inline constexpr u32 gc_ui2D_ALIGN_BOTTOM = 32;
inline constexpr u32 gc_ui2D_ALIGN_TOP_LEFT = gc_ui2D_ALIGN_LEFT | gc_ui2D_ALIGN_TOP;
inline constexpr u32 gc_ui2D_ALIGN_CENTRE = gc_ui2D_ALIGN_CENTRE_X | gc_ui2D_ALIGN_CENTRE_Y;

// A rectangle in screen pixels.
struct SParentWindow {
  f32 mp_fLeft;
  f32 mp_fRight;
  f32 mp_fTop;
  f32 mp_fBottom;
};

struct SCanvasAssetHeight {
  i32 mp_iHeight;
  char mp_szSuffix[gc_iCANVAS_ASSET_SUFFIX_LEN];
};

struct Cl2dCanvas {
  f32 mp_fLeft;  // screen pixels
  f32 mp_fRight;
  f32 mp_fTop;
  f32 mp_fBottom;
  f32 mp_fScale;             // pixels per canvas unit
  f32 mp_fResolutionHeight;  // picks font resolutions and UI texture versions
  char mp_acResolutionSuffixToUse[MAX_2D_CANVAS_SUFFIX_LEN];  // "_%.0f" of the resolution height
  ClDynamicVector<SCanvasAssetHeight> mp_potentialAssetHeights;

  SParentWindow rect() const { return {mp_fLeft, mp_fRight, mp_fTop, mp_fBottom}; }
};

class Cl2d {
 public:
  // The canvas dictionary (4 canvases) with the default canvas "FULL": the whole screen, 216 units high (scale =
  // screen height / 216), resolution height the screen height; an empty parent-window stack. Main thread.
  static void initialise();
  // Only when initialised: every parent window freed, every canvas's asset heights and the dictionary released.
  static void terminate();
  static bool isInitialised() { return mp_bInitialized != 0; }

  // Makes (or remakes in place) the canvas: the box of width x height placed on "FULL" (or the current parent
  // window) at the offset by the flags, its size rounded to whole pixels; scale = resolution height / design
  // height. The asset-height list starts empty. A suffix of 7 or more characters is an assertion.
  static Cl2dCanvas* createCanvas(const char* pName, u32 uiScreenFlags, f32 fDesignHeight, f32 fResolutionHeight,
                                  f32 fX, f32 fY, f32 fWidth, f32 fHeight, u32 uiAnchorFlags);
  // The canvas record; a missing name is fatal "Dictionary item not found" ("Dictionary not init!" before
  // initialise).
  static Cl2dCanvas* getCanvasByHash(u32 uiNameHash);
  static Cl2dCanvas* getFullCanvas();

  // The top-left pixel position of a width x height box at offset (x, y) on the rectangle: X from the screen flags
  // (left: x; right: W - x; centre: W / 2 + x), then moved by the anchor flags (right: - width; centre: - width / 2),
  // the same for Y; both rounded to whole pixels and moved by the rectangle's origin. No X or Y bit is fatal ("X
  // SCREEN alignment not specified!", "X TEXTURE alignment not specified!" and the Y ones); two bits of one axis
  // are the assertion "Too many flags for positionning!".
  static kv_vector2 computePosition(const SParentWindow& rect, f32 fX, f32 fY, f32 fWidth, f32 fHeight,
                                    u32 uiScreenFlags, u32 uiAnchorFlags);
  // The same on "FULL", or on the current parent window while one is pushed.
  static kv_vector2 computePositionOnFullCanvas(f32 fX, f32 fY, f32 fWidth, f32 fHeight, u32 uiScreenFlags,
                                                u32 uiAnchorFlags);
  // floor(x + 0.5).
  static f32 roundToPixel(f32 fValue);

  // Render worker: the 2D projection of the bound render-target group's colour texture, or of the screen; and its
  // pop (both matrix stacks).
  static void pushProjection();
  static void popProjection();

  // Takes the next record and copies the rectangle into it; a 17th is the fatal "Pool alloc failed".
  static void pushParentWindow(const SParentWindow& window);
  // The current (last pushed) parent window; asserts "m_iAllocCount > 0" when none is pushed.
  static SParentWindow* getParentWindow();
  // Frees one record.
  static void popParentWindow(SParentWindow* pWindow);
  static void clearParentWindows();

  // The last allocated record is the current parent window.
  static ClPool<SParentWindow, gc_iMAX_PARENT_WINDOWS> mp_parentWindowStack;
  static ClDictionaryPool<Cl2dCanvas> mp_canvasDictionary;
  static u32 mp_uiFullCanvasHash;
  static Cl2dCanvas* mp_pFullCanvas;
  static u32 mp_bInitialized;
};
