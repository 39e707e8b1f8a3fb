// A flip book: a named frame animation read once from its data script and an atlas. It holds the frames (atlas
// images with an optional effect companion and an anchor each), the frame rate, optional display times of single
// frames and optional named points per frame ("nodes"). It holds no playback state: any number of
// ClFlipBookAnimators play one flip book at the same time.
//
// The flip-book manager (ClFlipBookMgr) allocates, fills and frees flip books; everyone else only reads them. A
// loaded flip book has at least one frame, every frame an image, a frame rate above 0 and no negative display
// time. Main thread only.
#pragma once

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/System/KvTypes.h"

struct SAtlasEntry;

struct SFlipBookFrame {
  SAtlasEntry* mp_pImage;        // never null in a loaded flip book
  SAtlasEntry* mp_pEffectImage;  // the "<name>FX-<n>_216" companion, or null
  f32 mp_fAnchorX;               // pixels, already multiplied by the scale given at load
  f32 mp_fAnchorY;
};

struct SFlipBookNodePosition {
  f32 mp_fX;  // pixels, not scaled
  f32 mp_fY;
  i32 mp_iFrame;
};

// A named point that moves with the frames (a hand, a muzzle).
struct SFlipBookNode {
  char mp_szName[KV_MAX_PATH_LEN];
  ClDynamicVector<SFlipBookNodePosition> mp_daPositions;
};

// A display time of one frame; 0 stands for the flip book's frame time.
struct SFlipBookFrameDelay {
  i32 mp_iFrame;  // 0-based, as the frames vector counts
  f32 mp_fSeconds;
};

inline constexpr i32 gc_iFLIPBOOK_VECTOR_CAPACITY = 8;

class ClFlipBook {
 public:
  // Empty vectors of capacity 8 that double when full; 0 frames per second.
  void initialize();
  // Releases the frames, each node's positions, the nodes and the frame delays.
  void terminate();

  // The seconds of the first frame-delay entry for the frame, or 0 when it has none.
  f32 getFrameDelay(i32 iFrame) const;
  i32 getNumFrames() const { return mp_daFrames.getCount(); }

  f32 mp_fFramesPerSecond = 0.0f;
  ClDynamicVector<SFlipBookFrame> mp_daFrames;
  ClDynamicVector<SFlipBookNode> mp_daNodes;
  ClDynamicVector<SFlipBookFrameDelay> mp_daFrameDelays;
};
