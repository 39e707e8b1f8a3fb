// Where the world's quads go. Entities and backgrounds describe each quad (atlas entry, position, pivot, colour,
// shader, depth, flips or turn) and hand it to the current sink. The game's sink turns it into dynamic geometry
// (draw group 0x100000, the shader's signature with the entry's texture); tests and the benchmark install a sink
// that records. Positions are in drawing units (1.25 per world unit). Main thread only.
#pragma once

#include "Corvane/Math/KvMath.h"
#include "Corvane/System/KvTypes.h"

struct SAtlasEntry;

inline constexpr u32 gc_uiWORLD_DRAW_GROUP = 0x100000;
inline constexpr f32 gc_fWORLD_TO_SCREEN = 1.25f;

struct SWorldQuad {
  const SAtlasEntry* mp_pEntry = nullptr;
  kv_vector2 m_vPosition{0.0f, 0.0f};
  kv_vector2 m_vPivot{0.0f, 0.0f};
  u32 m_uiColor = 0xFFFFFFFF;
  u32 m_uiShaderHash = 0;
  f32 m_fDepth = 0.0f;
  f32 m_fScale = 1.0f;
  u32 m_uiFlipFlags = 0;    // gc_uiATLAS_FLIP_U mirrors left to right
  i32 m_bRotated = 0;       // drawn along m_vDirection
  kv_vector2 m_vDirection{0.0f, 0.0f};
};

class ClWorldDrawSink {
 public:
  virtual ~ClWorldDrawSink() = default;
  virtual void submit(const SWorldQuad& quad) = 0;
};

namespace WorldDraw {
// The sink (borrowed); null restores the game's dynamic-geometry sink.
void setSink(ClWorldDrawSink* pSink);
void submit(const SWorldQuad& quad);
// floor(v * 1.25 + 0.5) in double precision: world to pixel-snapped drawing units.
f32 snap(f32 fWorld);
}  // namespace WorldDraw
