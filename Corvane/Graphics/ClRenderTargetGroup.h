// A render-target group: up to four render targets of one size bound at once (slot k of the device gets target
// k), with one depth surface: the first target's, or a shared depth target's. Binding is ClGraphics's
// (setRenderTargetGroup).
//
// A group made with a size creates its first target (A8R8G8B8 with depth) and owns every target it adds. Same
// threads as ClRenderTarget.
#pragma once

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/Graphics/ClRenderTarget.h"
#include "Corvane/System/KvTypes.h"

inline constexpr i32 gc_iMAX_GROUP_RENDER_TARGETS = 4;

class ClRenderTargetGroupBase {
 public:
  // The first target (format 0, with depth), created at once.
  ClRenderTargetGroupBase(f32 fWidth, f32 fHeight);
  virtual ~ClRenderTargetGroupBase() = default;
  // A further target of the first one's size, without depth, created and appended (four at most).
  virtual void addRenderTarget(i32 iFormat);

  ClDynamicVector<ClRenderTarget*> mpr_pRenderTargets;
  ClRenderTarget* mp_pSharedDepthTarget;  // when set, its depth serves the group
  u32 mp_bOwnsTargets;
};

class ClRenderTargetGroup : public ClRenderTargetGroupBase {
 public:
  ClRenderTargetGroup(f32 fWidth, f32 fHeight) : ClRenderTargetGroupBase(fWidth, fHeight) {}
  // Destroys the targets it owns.
  ~ClRenderTargetGroup() override;

  // The first target's colour texture (null for a depth-only target); asserts that the group holds a target.
  ClTexture* getColorTexture();
  // The shared depth target's depth texture when one is set, else the first target's.
  ClTexture* getDepthTexture();
  // Width and height of the first target's colour texture, or of its depth texture when it has no colour one.
  void getDimensions(f32* pDimensions);
  // release() / create() of every owned target (around a device Reset).
  void releaseResources();
  void restoreResources();
  ClRenderTarget* getRenderTarget(i32 iIndex);

  // The target whose depth surface the group uses.
  static ClRenderTarget* getDepthTarget(ClRenderTargetGroup* pGroup);
};
