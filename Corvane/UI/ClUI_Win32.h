// The UI's own Direct3D objects and the one textured quad it draws outside the sprite queue: the aspect-fit copy
// of a render target's picture (ClUI::blitRenderTargetAspectFit) and the full-screen passes of the render targets'
// blurs, which reach it through the graphics hooks.
//
// The five objects (a declaration of 24-byte vertices: position, colour, texture coordinate; two index buffers of
// six 16-bit indices; two vertex buffers of one quad) live in the default pool: made after the device (and again
// after a Reset), released before a Reset and at shutdown. The quad is drawn on the render worker; the objects are
// made and released on the main thread while the worker waits.
#pragma once

#include "Corvane/System/KvTypes.h"

struct IDirect3DIndexBuffer9;
struct IDirect3DVertexBuffer9;
struct IDirect3DVertexDeclaration9;
struct SRenderSignature;

class ClUI_Win32 {
 public:
  // Creates the declaration, both index buffers (filled once with 2, 0, 1, 2, 3, 1; the assertion "pLockedIdxes"
  // when a lock gives no memory) and both vertex buffers.
  static void createDeviceObjects();
  // Releases each object that exists and clears it. Safe to repeat.
  static void releaseDeviceObjects();
  // One quad over (x, y, width, height) in pixels of the bound target or the back buffer, moved by the view offset
  // and half a pixel so texels meet pixels exactly, texture coordinates 0..1, the colour on all four corners, drawn
  // with the signature; the signature state is ended and the 2D projection popped again afterwards. Nothing is
  // drawn while the objects do not exist.
  static void renderAspectFitQuad(const SRenderSignature* pSignature, u32 uiColor, f32 fX, f32 fY, f32 fWidth,
                                  f32 fHeight);

  static IDirect3DVertexDeclaration9* mp_pVertexDeclaration;
  static IDirect3DIndexBuffer9* mp_apIndexBuffers[2];
  static IDirect3DVertexBuffer9* mp_apVertexBuffers[2];
};
