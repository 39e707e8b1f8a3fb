// The UI pointer: its position, and which registered screen rectangles (pointer detectors) lie under it.
//
// Units: the tracker works in screen fractions: a position in the UI's 2D picture (ClGraphics::mp_af2DPicture,
// the pixels widgets are placed in) over the screen's width (x) and height (y), 0 at the top left; the hot
// spots measure their rectangles the same way. The input layer follows the mouse in those pixels and turns it
// into fractions (pad record 0, E_PAD_INPUT_POINTER_X/Y, and the pointer-held value E_PAD_INPUT_POINTER_PRESENT),
// and the tracker reads only those. A hidden pointer sits at (gc_fPOINTER_HIDDEN, gc_fPOINTER_HIDDEN) = (1000.0,
// 1000.0) in fractions: inside no rectangle. The pointer image is drawn over the display, where its picture
// position shows.
//
// Widgets that react to the pointer register a detector for their rectangle. Each detector is entered into
// every square of a 16 x 16 grid over the screen that its rectangle touches (36 detectors a square at most),
// and each tick searches only the pointer's own square. The hits of a tick go into one of two lists that
// alternate, so the tick also knows which detectors were newly entered and which were left.
//
// Static (one tracker), main thread only. Detectors are owned by the tracker's pool of 128: a registration
// lives until it is unregistered, until its owner widget is destroyed (ClUI forgets it) or until
// freeAllDetectors at UI terminate. An exhausted pool or grid square and a bad rectangle are assertions.
#pragma once

#include "Corvane/ADT/ClPool.h"
#include "Corvane/System/KvTypes.h"

inline constexpr i32 MD_GRID_SIZE = 16;
inline constexpr i32 MD_GRID_DEPTH = 36;  // detector slots of one grid square
inline constexpr i32 MAX_DETECTORS = 128;
inline constexpr f32 gc_fPOINTER_HIDDEN = 1000.0f;
inline constexpr i32 gc_iPOINTER_IMAGE_NAME_LEN = 64;
// The pointer image's layer: above everything else of the UI.
inline constexpr u16 gc_uiPOINTER_LAYER = 3999;

enum E_POINTER_DETECTOR_KIND : u32 {
  E_POINTER_DETECTOR_WIDGET = 0,       // the owner is a ClWidget
  E_POINTER_DETECTOR_SCROLL_AREA = 1,  // the owner is an SScrollFingerArea
};

struct SPointerDetector {
  u32 mp_uiKind;   // E_POINTER_DETECTOR_KIND
  u32 mp_uiPad;    // 4 (any pad) at registration; the tick considers pads 0 and 4
  void* mp_pOwner;
  f32 mp_fMinX;
  f32 mp_fMinY;
  f32 mp_fMaxX;
  f32 mp_fMaxY;
  i32 mp_iPoolIndex;  // the record's place in the pool's storage; never changes
};

// One entry of the hit, entered and left lists.
struct SPointerHit {
  SPointerDetector* mp_pDetector;
  u32 mp_uiUnused;  // always 0
};

// One grid square: detector slots in slot order, null when free.
struct SPointerGridSquare {
  SPointerDetector* mp_apSlots[MD_GRID_DEPTH];
};

class ClPointerTracker {
 public:
  // Empties the hit, entered and left lists, the image name, the position and movement state and the
  // locks; the pointer hidden; every detector back in the pool and every grid square empty.
  static void reset();
  // Takes a detector (pad 4) for the rectangle [min, max] (fractions, edges inside) and enters it into the
  // grid. Assertions: "pNew" when the pool is exhausted, "Invalid rectangle for pointer registration!" when
  // max < min on an axis, the grid-depth assertion when a square is full.
  static SPointerDetector* registerDetector(void* pOwner, const f32 afMin[2], const f32 afMax[2], u32 uiKind);
  // Moves a registered detector to a new rectangle.
  static void updateDetector(SPointerDetector* pDetector, const f32 afMin[2], const f32 afMax[2]);
  // Removes a detector from the grid and every list and returns it to the pool; one that is not registered
  // is ignored (null is an assertion).
  static void unregisterDetector(SPointerDetector* pDetector);
  // Unregisters every detector whose owner is pOwner (a widget or a scroll area about to be freed).
  static void unregisterDetectorsOf(const void* pOwner);
  // Every detector back in the pool, the grid and the lists emptied (UI terminate).
  static void freeAllDetectors();
  // Once a frame from ClUI::update: moves the pointer, notes whether its button was pressed, collects the
  // detectors under it, and derives the entered and left lists.
  static void tick();
  // Empties the current hit list, so the next tick reports every detector under the pointer as entered.
  static void clearCurrentHits();
  // Image "PointerDefault" in the colour (D3DCOLOR).
  static void setDefaultPointer(u32 uiColor);
  // Queues the pointer image (layer 3999, canvas "FULL") while the pointer is shown and has an image.
  static void render();

  static bool isRegistered(const SPointerDetector* pDetector);
  // A detector as a 32-bit value for a widget's INT property ("PtrDetector"): its pool index + 1, 0 for none.
  static i32 handleOf(const SPointerDetector* pDetector);
  // The registered detector behind a handle, or null for 0 and for a detector since unregistered. A pool slot is
  // reused, so a stale handle may name a newer detector: callers that keep handles check the owner.
  static SPointerDetector* detectorOfHandle(i32 iHandle);
  static i32 getNumDetectors() { return m_detectorPool.getCount(); }
  static const SPointerHit* getCurrentHits() { return m_aaHits[m_iDetectionCurBuffer]; }
  static u32 getNumCurrentHits() { return m_uiNumDetectorsWithFocus[m_iDetectionCurBuffer]; }
  // The grid square of a point: (trunc(clamp(x * 16, 0, 15)), the same for y).
  static i32 gridColumn(f32 fX);

  // --- State (read by the UI's procedures) ---
  static ClPool<SPointerDetector, MAX_DETECTORS> m_detectorPool;
  static SPointerGridSquare m_aGrid[MD_GRID_SIZE][MD_GRID_SIZE];  // [x][y]
  static SPointerHit m_aaHits[2][MAX_DETECTORS];
  static u32 m_uiNumDetectorsWithFocus[2];
  static i32 m_iDetectionCurBuffer;
  static SPointerHit m_aEntered[MAX_DETECTORS];
  static u32 m_uiNumEntered;
  static SPointerHit m_aLeft[MAX_DETECTORS];
  static u32 m_uiNumLeft;

  // Whether the pointer image is drawn (the UI's pointer-display flag).
  static void setPointerShown(bool bShown) { m_bPointerShown = bShown ? 1u : 0u; }
  static bool isPointerShown() { return m_bPointerShown != 0; }

  // The pointer's button (the left mouse button, pad record 0): held at the last tick, and pressed in it (down
  // now, up at the tick before).
  static u32 m_bButtonDown;
  static u32 m_bClicked;

  static f32 m_afPosition[2];
  static f32 m_afSavedPosition[2];
  static f32 m_afPrevRawPosition[2];
  static u32 m_abAxisLocked[2];
  static f32 m_afLockedMovement[2];
  static u32 m_bHideRequest;
  static char m_acPointerImage[gc_iPOINTER_IMAGE_NAME_LEN];
  static u32 m_uiPointerColor;

 private:
  static u32 m_bPointerShown;

  static void addToGrid(SPointerDetector* pDetector);
  static void removeFromGrid(SPointerDetector* pDetector);
  static void updatePosition();
};
