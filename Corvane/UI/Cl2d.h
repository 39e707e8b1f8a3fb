// The 2D canvas layer of the UI: the named canvases (2D frames placed on the screen, each with a pixel rectangle, a
// scale from canvas units to pixels and a resolution height that selects asset versions), the rule that turns an
// offset, a size and alignment flags into a pixel position, the parent-window rectangles that nested widgets
// position themselves in (the widget render pops what its "onRender" pushed, after the children), and the 2D
// projection of the pass that draws the UI's geometry; and the frame's 2D sprite queue, which every image, glyph
// and the pointer reach the screen through.
//
// Canvases and parent windows belong to the main thread; the projection is pushed and popped by the render
// worker while it draws a frame. The sprite queue is one buffer without a lock: the main thread fills it during
// the UI render, the render worker sorts, draws and empties it inside the frame hand-over, which keeps the two
// apart.
#pragma once

#include "Corvane/ADT/ClDictionaryPool.h"
#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/ADT/ClPool.h"
#include "Corvane/Math/KvMath.h"
#include "Corvane/System/KvTypes.h"

struct SRenderSignature;

inline constexpr i32 gc_iMAX_PARENT_WINDOWS = 16;
inline constexpr i32 gc_iMAX_2D_CANVASES = 4;
inline constexpr i32 MAX_2D_CANVAS_SUFFIX_LEN = 8;
inline constexpr i32 gc_iCANVAS_ASSET_SUFFIX_LEN = 16;
// The height in canvas units that the default canvas "FULL" spans.
inline constexpr f32 gc_f2D_DESIGN_HEIGHT = 216.0f;

// The sprite queue: at most this many sprites a frame (more are dropped without a message), layers 0..3999.
inline constexpr i32 gc_i2D_MAX_SPRITES = 3072;
inline constexpr u16 gc_u2D_MAX_LAYER = 3999;

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
  // Appends an asset height (pixels) with its suffix "_<height>": UI images are looked for at each height in turn.
  void addAssetHeight(i32 iHeight);
};

// The frame's view of the 2D pass: the screen size the sprites were placed for and the tag handed to every
// sprite's geometry element (always 0 in this program).
struct S2dView {
  f32 mp_fScreenWidth;
  f32 mp_fScreenHeight;
  u32 mp_uiTag;
};

// The queued sprites, one entry per index across parallel arrays (no allocation per sprite; the sort moves only
// the u16 index array).
struct S2dSpriteQueue {
  f32 mp_afX[gc_i2D_MAX_SPRITES];  // top-left corner, screen pixels
  f32 mp_afY[gc_i2D_MAX_SPRITES];
  f32 mp_afWidth[gc_i2D_MAX_SPRITES];  // pixels
  f32 mp_afHeight[gc_i2D_MAX_SPRITES];
  f32 mp_afLeftU[gc_i2D_MAX_SPRITES];  // texture coordinates of the top-left and the bottom-right corner
  f32 mp_afTopV[gc_i2D_MAX_SPRITES];
  f32 mp_afRightU[gc_i2D_MAX_SPRITES];
  f32 mp_afBottomV[gc_i2D_MAX_SPRITES];
  const SRenderSignature* mp_apSignature[gc_i2D_MAX_SPRITES];  // never null
  u32 mp_auiColor[gc_i2D_MAX_SPRITES];                         // D3DCOLOR on all four corners
  u16 mp_auLayer[gc_i2D_MAX_SPRITES];                          // the draw order key
  u32 mp_auiTag[gc_i2D_MAX_SPRITES];                           // the view's tag when queued
  u16 mp_auSortedIndex[gc_i2D_MAX_SPRITES];                    // filled by sortSprites
  u16 mp_uCount;
  u32 mp_bSorted;
  u32 mp_bActive;  // between initialise and terminate; the sort and the per-frame clear wait for it
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
  // The same on "FULL", or on the current parent window while one is pushed. Asserts
  // "mp_canvasDictionary.keyExists(cpcCanvasName)" without "FULL".
  static kv_vector2 computePositionOnFullCanvas(f32 fX, f32 fY, f32 fWidth, f32 fHeight, u32 uiScreenFlags,
                                                u32 uiAnchorFlags);
  // The same on the named canvas (a missing name is fatal), or on the current parent window while one is pushed.
  static kv_vector2 computePositionOnCanvas(u32 uiCanvasHash, f32 fX, f32 fY, f32 fWidth, f32 fHeight,
                                            u32 uiScreenFlags, u32 uiAnchorFlags);
  // The same on a canvas record already found.
  static kv_vector2 computePositionOnCanvas(const Cl2dCanvas* pCanvas, f32 fX, f32 fY, f32 fWidth, f32 fHeight,
                                            u32 uiScreenFlags, u32 uiAnchorFlags);
  // floor(v + 0.5), inline: every queued box rounds four values. Values of 2^23 and beyond are whole already.
  static f32 roundToPixel(f32 fValue) {
    const f32 fHalfUp = fValue + 0.5f;
    if (!(fHalfUp > -8388608.0f && fHalfUp < 8388608.0f)) {
      return fHalfUp;
    }
    const f32 fWhole = static_cast<f32>(static_cast<i32>(fHalfUp));
    return fWhole > fHalfUp ? fWhole - 1.0f : fWhole;
  }

  // Render worker: the 2D projection of the bound render-target group's colour texture, or of the screen; and its
  // pop (both matrix stacks).
  static void pushProjection();
  static void popProjection();

  // --- The sprite queue (Cl2d_Sprites.cpp) ---
  // Queues one sprite: top-left (x, y) and size in pixels, texture coordinates of the top-left and the bottom-right
  // corner. A null signature asserts "pSig", a layer above 3999 "Layer ID out of range!"; past 3072 sprites the
  // sprite is dropped silently. While g_kvClipRect is set (a drag-scrolled area's children) the sprite is cut to it
  // and one wholly outside is dropped. Main thread.
  static void addSprite(u16 uLayer, const SRenderSignature* pSig, u32 uiColor, f32 fX, f32 fY, f32 fWidth,
                        f32 fHeight, const kv_vector2& uvTopLeft, const kv_vector2& uvBottomRight);
  // Render worker, while the queue is active: orders the index array by layer, then by signature address, so that
  // quads sharing shader and textures follow each other; equal keys keep no particular order.
  static void sortSprites();
  // Render worker: one dynamic-geometry element per queued sprite whose layer lies in [min, max] (both inclusive),
  // in sorted order (queue order when not sorted), with the flag word uiBatchMask, depth -layer and z = layer x
  // fDepthFactor. Corners sit half a pixel up and left, as the device's pixel centres want. Nothing while the
  // geometry is not ready; a sprite that finds the geometry full is skipped.
  static void renderSprites(u32 uiBatchMask, u16 uMinLayer, u16 uMaxLayer, f32 fDepthFactor);
  // The view record of the current screen size with tag 0 (done by initialise and once a frame).
  static void refreshView();
  // Empties the queue (count 0, unsorted); nothing unless initialised. The frame calls it after the 2D pass and
  // when it throws a frame away.
  static void clearSprites();
  static i32 getNumSprites() { return mp_spriteQueue.mp_uCount; }
  static bool areSpritesSorted() { return mp_spriteQueue.mp_bSorted != 0; }

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
  // The canvas getCanvasByHash found last (records keep their place until terminate, which forgets it).
  static u32 mp_uiLastCanvasHash;
  static Cl2dCanvas* mp_pLastCanvas;
  static u32 mp_bInitialized;
  static S2dSpriteQueue mp_spriteQueue;
  static S2dView mp_view;
};
