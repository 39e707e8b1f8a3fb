// The automatic render targets and the blurs drawn with them.
//
// Automatic groups are kept in one list: a caller locks one for good (a non-zero tag, until
// unlockAutoRenderTarget) or borrows one for a pass (tag 0: it stays free, and the next borrow of that size may
// return it again unless it is bound by then). Their Direct3D resources are released before a device Reset and made
// again after it (releaseAutoRenderTargets, restoreAutoRenderTargets); release is safe to repeat.
//
// A blur is a named set of settings: a threshold pass into a work-size target, then Gaussian passes across and down
// with 15 taps whose weights and offsets setupBlurEffect computes once. Mode 3, the only one made here, writes the
// last pass straight into the destination group. The passes are full-screen quads drawn through the UI's
// aspect-fit quad (ClUIRenderHooks::renderAspectFitQuad) and do nothing while the shaders are not all loaded.
//
// Threads: made at start-up on the main thread; blurs and borrows run on the render worker during a frame;
// release and restore run on the main thread while the worker waits. Nothing is locked.
#pragma once

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/Graphics/ClRenderTargetGroup.h"
#include "Corvane/Math/KvMath.h"
#include "Corvane/System/KvTypes.h"

class ClShader;

inline constexpr i32 gc_iBLUR_TAPS = 15;
inline constexpr i32 gc_iBLUR_NAME_LEN = 16;
inline constexpr i32 gc_iBLUR_MODE_COMPOSITE = 1;
inline constexpr i32 gc_iBLUR_MODE_ADD = 2;
inline constexpr i32 gc_iBLUR_MODE_DIRECT = 3;
// The lock tag of a borrowed group.
inline constexpr u32 gc_uiRENDER_TARGET_BORROWED = 0;

struct SAutoRenderTarget {
  ClRenderTargetGroup* mp_pGroup;
  u32 mp_uiLockTag;  // 0 free to borrow, else locked
};

struct SBlurEffectSpecs {
  char mp_szName[gc_iBLUR_NAME_LEN];
  f32 mp_fSourceWidth;
  f32 mp_fSourceHeight;
  f32 mp_fWorkWidth;  // source size x scale
  f32 mp_fWorkHeight;
  ClShader* mp_pShrinkAndExtractShader;
  f32 mp_fThreshold;
  ClShader* mp_pGaussShader;
  i32 mp_iTaps;
  f32 mp_fDeviationFactor;
  i32 mp_iMode;
  ClShader* mp_pCompositeShader;  // modes 1 and 2 only; null as set up
  kv_vector4 mp_avHorizontalOffsets[gc_iBLUR_TAPS];  // texture coordinates
  kv_vector4 mp_avVerticalOffsets[gc_iBLUR_TAPS];
  f32 mp_afWeights[gc_iBLUR_TAPS];  // add up to 1
};

class ClRenderTargetMgr {
 public:
  // The two lists (graphics start-up).
  static void initAutoRenderTargets();
  static void initBlurEffects();
  // Every automatic group destroyed, both lists terminated (game shutdown).
  static void terminate();

  // The first free group of exactly this size (first target in format 0) that is not the bound group, else a new
  // one; it gets the tag. Never null.
  static ClRenderTargetGroup* lockAutoRenderTarget(u32 uiTag, f32 fWidth, f32 fHeight);
  // Frees a locked group (tag 0); one that is not locked is fatal "unlockAutoRenderTarget(): Could not find locked
  // target!".
  static void unlockAutoRenderTarget(ClRenderTargetGroup* pGroup);
  static void releaseAutoRenderTargets();
  static void restoreAutoRenderTargets();

  // The settings of the named blur (made on first use): mode 3, work size = source x scale, 15 taps, the threshold
  // shader "PostFx_ExtractThreshold" and the Gaussian shader "PostFx_Blur15", the weights and offsets of a Gaussian
  // of sigma (15 x 0.5 / 2.8) x deviation factor.
  static SBlurEffectSpecs* setupBlurEffect(const char* pName, const f32* pSourceDimensions, f32 fScale,
                                           f32 fThreshold, f32 fDeviationFactor);
  // Runs the named blur from the source group into the destination group (asserts "pSpecs" for an unknown name).
  // The composite argument, gamma, colour, saturation and intensity factors serve modes 1 and 2, which no blur
  // made here uses: another mode than 3 is the fatal "Unhandled case".
  static void applyBlurEffect(const char* pName, ClRenderTargetGroup* pSource, u32 uiComposite,
                              ClRenderTargetGroup* pDestination, f32 fGammaFactor, u32 uiDestColor,
                              f32 fSrcSaturation, f32 fDestSaturation, f32 fSrcIntensity, f32 fDestIntensity);
  static SBlurEffectSpecs* findBlurEffect(const char* pName);
  // The Gaussian pass's texture fetches for the taps at pOffsets (one axis): the centre, then each pair of
  // neighbouring taps on one side as one linearly filtered fetch between their texels (x, y the offset, z the
  // weight), fetches too light to change an 8-bit output left out. Returns their count (at most 9).
  static i32 foldBlurTaps(const SBlurEffectSpecs& effect, const kv_vector4* pOffsets, kv_vector4* pFetches);

  // One full-screen quad over the bound target (or the back buffer) with the shader and the source texture.
  static void fullScreenPass(ClShader* pShader, ClTexture* pSource);

  static ClDynamicVector<SAutoRenderTarget> mp_autoRenderTargets;
  static ClDynamicVector<SBlurEffectSpecs> mp_blurEffects;
};
