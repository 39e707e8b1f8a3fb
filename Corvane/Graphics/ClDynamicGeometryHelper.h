// Shapes written straight into dynamic geometry (ClDynamicGeometry): an atlas image as a quad, the same turned
// along a direction, and a ring. Each is one element with the caller's flag word (the ring's is the world's,
// 0x100000), signature and depth, the default user word 0 and the normal (0, 0, -1). Nothing is drawn when the
// geometry is not ready or the frame is full. Any thread (the reservation takes the geometry's lock).
#pragma once

#include "Corvane/Math/KvMath.h"
#include "Corvane/System/KvTypes.h"

struct SAtlasEntry;
struct SRenderSignature;

// Flip flags of drawAtlasEntry.
inline constexpr u32 gc_uiATLAS_FLIP_U = 0x40;  // mirrors left to right
inline constexpr u32 gc_uiATLAS_FLIP_V = 0x80;  // mirrors top to bottom

inline constexpr i32 gc_iCIRCLE_STEPS = 48;
inline constexpr f32 gc_fCIRCLE_STEP_RADIANS = 0.1308997f;  // 7.5 degrees: 48 steps close the ring

class ClDynamicGeometryHelper {
 public:
  // The image's pivot (in its texels, counted from the untrimmed frame's corner) lands on the position; texels are
  // fScale world units. Corners run top-left, top-right, bottom-right, bottom-left with the entry's first-corner
  // and opposite-corner texture coordinates; gc_uiATLAS_FLIP_U and gc_uiATLAS_FLIP_V swap them. Asserts the
  // scale ("KvMath::abs(cfTexelScaleToWorld) > KV_EPSILON") and the signature ("cpSig").
  static void drawAtlasEntry(u32 uiFlags, const SAtlasEntry* pEntry, const kv_vector2& vPosition,
                             const kv_vector2& vPivot, u32 uiColor, const SRenderSignature* cpSig, f32 fDepth,
                             f32 cfTexelScaleToWorld, u32 uiFlipFlags);
  // The same turned so that the image's x axis follows (-dy, dx) and its y axis (-dx, -dy) for the unit direction
  // (dx, dy); no flips. A negative scale mirrors the image.
  static void drawAtlasEntryRotated(u32 uiFlags, const SAtlasEntry* pEntry, const kv_vector2& vPosition,
                                    const kv_vector2& vDirection, const kv_vector2& vPivot, u32 uiColor,
                                    const SRenderSignature* cpSig, f32 fDepth, f32 cfScale);
  // A ring of 49 quads between radius A (colour A, u 0) and radius B (colour B, u 1) from the start angle (radians)
  // round to the start again, v running from fVStart over fVSpan: 98 vertices, 294 indices.
  static void drawCircle(const kv_vector2& vCentre, f32 fRadiusA, f32 fRadiusB, u32 uiColorA, u32 uiColorB,
                         const SRenderSignature* cpSig, f32 fDepth, f32 fVStart, f32 fVSpan, f32 fStartAngle);
};
