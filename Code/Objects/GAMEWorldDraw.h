// Where the world's quads go. Entities and backgrounds describe each quad (atlas entry, position, pivot, colour,
// shader, depth, flips or turn) and hand it to the current sink. The game's sink turns it into dynamic geometry
// (draw group 0x100000, the shader's signature with the entry's texture); tests and the benchmark install a sink
// that records. Positions are in drawing units (1.25 per world unit). Main thread only.
//
// The effects also hand over rings of light (dynamic geometry with the shader's colour-only signature) and score
// texts, which the game's sink draws through the UI on the canvas "FULL" with the text's font family.
#pragma once

#include "Corvane/Math/KvMath.h"
#include "Corvane/System/KvTypes.h"
#include "Corvane/UI/ClUI.h"

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

// A ring between two radii (drawing units), each edge with its colour.
struct SWorldRing {
  kv_vector2 m_vCentre{0.0f, 0.0f};
  f32 m_fInnerRadius = 0.0f;
  f32 m_fOuterRadius = 0.0f;
  u32 m_uiInnerColor = 0;
  u32 m_uiOuterColor = 0;
  u32 m_uiShaderHash = 0;
  f32 m_fDepth = 0.0f;
};

// One line of text on the canvas "FULL": UTF-16 (mp_puiText) or, when that is null, 8-bit (mp_pAscii). The texts
// are borrowed for the call. Position in canvas units.
struct SWorldText {
  const wchar16* mp_puiText = nullptr;
  const char* mp_pAscii = nullptr;
  const char* mp_pFontFamily = "";
  const char* mp_pShader = "";
  u32 m_uiPointSize = 0;
  STextDrawArgs m_args{};
  f32 m_afPosition[2] = {0.0f, 0.0f};
};

class ClWorldDrawSink {
 public:
  virtual ~ClWorldDrawSink() = default;
  virtual void submit(const SWorldQuad& quad) = 0;
  virtual void submitRing(const SWorldRing& ring) = 0;
  virtual void submitText(const SWorldText& text) = 0;
};

namespace WorldDraw {
// The sink (borrowed); null restores the game's dynamic-geometry sink.
void setSink(ClWorldDrawSink* pSink);
void submit(const SWorldQuad& quad);
void submitRing(const SWorldRing& ring);
void submitText(const SWorldText& text);
// floor(v * 1.25 + 0.5) in double precision: world to pixel-snapped drawing units.
f32 snap(f32 fWorld);
}  // namespace WorldDraw
