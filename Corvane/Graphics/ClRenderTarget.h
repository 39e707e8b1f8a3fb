// A render target: a colour texture (or, for the depth-only format, a colour surface without storage) and,
// optionally, a depth texture of one size, each wrapped in a ClTexture that effects can sample. The Direct3D objects
// live in the default pool: release() gives them back before a device Reset and create() makes them again after it,
// with the same size and format (the ClTexture objects are made anew, so signatures holding them are interned
// again).
//
// Main thread (start-up, lost device) and render worker (targets borrowed during a frame), never both at once.
// release() may be called any number of times. A format the device cannot render to, and a texture or surface the
// device does not make, stop the program with a fatal error naming the size and format.
#pragma once

#include "Corvane/System/KvTypes.h"

class ClTexture;
struct IDirect3DSurface9;
struct IDirect3DTexture9;

// Format selectors of a target's colour part.
enum E_RENDER_TARGET_FORMAT : i32 {
  E_RENDER_TARGET_FORMAT_A8R8G8B8 = 0,
  E_RENDER_TARGET_FORMAT_R5G6B5 = 1,
  E_RENDER_TARGET_FORMAT_DEPTH_ONLY = 2,  // no colour texture: a surface of the format "NULL"
  E_RENDER_TARGET_FORMAT_R32F = 3,
  E_RENDER_TARGET_FORMAT_A2R10G10B10 = 4,
  NUM_E_RENDER_TARGET_FORMAT
};

class ClRenderTargetBase {
 public:
  virtual ~ClRenderTargetBase() = default;
  virtual ClTexture* getColorTexture() = 0;
  virtual ClTexture* getDepthTexture() = 0;
  virtual void release() {}
  virtual void create() {}
};

class ClRenderTarget : public ClRenderTargetBase {
 public:
  // Records the size (pixels) and format; create() makes the Direct3D objects.
  ClRenderTarget(f32 fWidth, f32 fHeight, i32 iFormat, u32 bHasDepth);
  // Runs release().
  ~ClRenderTarget() override;

  // Null when absent.
  ClTexture* getColorTexture() override { return m_pColorTex; }
  ClTexture* getDepthTexture() override { return m_pDepthTex; }
  // The colour part, then the depth part when the target has one. Asserts that nothing is made yet.
  void create() override;
  // Signatures holding the textures forgotten (ClSignatureMgr::releaseTexture), the textures destroyed, the
  // surfaces released; whatever is absent is skipped.
  void release() override;

  IDirect3DTexture9* mp_pD3DColorTex;
  IDirect3DTexture9* mp_pD3DDepthTex;
  IDirect3DSurface9* mp_pD3DColorSurface;  // level 0 of the colour texture, or the depth-only surface
  IDirect3DSurface9* mp_pD3DDepthSurface;
  f32 mp_fWidth;
  f32 mp_fHeight;
  i32 mp_iFormat;
  u32 mp_bHasDepth;
  ClTexture* m_pColorTex;
  ClTexture* m_pDepthTex;

 private:
  void createColor();
  void createDepth();
};
