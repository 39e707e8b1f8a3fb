// The engine's debug shapes: the device geometry of a cube, a sphere, a camera, an arrowhead and the axes, two
// small dynamic buffers for a line and a triangle, and twelve kinds of queued debug primitive, each with a pending
// pool (written by the game thread during a frame) and a render-side pool (read and freed by the render worker).
//
// The meshes live in the default pool: createDeviceObjects after device creation and after each Reset,
// releaseDeviceObjects before a Reset and at shut-down, on the thread that creates or resets the device (the main
// thread). flushPending runs on the game thread at the end of each frame while the worker is idle in the
// hand-over; freeRendered on the worker after a frame is drawn or discarded. While graphics are not ready nothing
// is handed over and the game thread calls both itself. No lock: the lockstep orders them.
// A failed buffer creation, lock or unlock is an assertion.
#pragma once

#include "Corvane/ADT/ClPool.h"
#include "Corvane/System/KvTypes.h"

struct IDirect3DVertexBuffer9;
struct IDirect3DIndexBuffer9;

inline constexpr i32 gc_iNUM_DEBUG_PRIMITIVE_KINDS = 12;
inline constexpr i32 gc_iDEBUG_SPHERE_VERTICES = 516;
inline constexpr i32 gc_iDEBUG_ARROWHEAD_VERTICES = 18;
inline constexpr i32 gc_iDEBUG_ARROWHEAD_INDICES = 51;

// Bytes of one queued primitive of each kind, in hand-over order.
inline constexpr i32 gc_aiDEBUG_PRIMITIVE_SIZES[gc_iNUM_DEBUG_PRIMITIVE_KINDS] = {12, 80, 80, 80, 80, 48,
                                                                                20, 28, 64, 160, 148, 12};

// One queued primitive of a kind: its bytes (what a kind carries is the caller's).
template <i32 N>
struct SDebugPrimitive {
  u8 m_auiBytes[N];
};

struct SDebugVertex {
  f32 x;
  f32 y;
  f32 z;
};
static_assert(sizeof(SDebugVertex) == 12, "debug meshes are D3DFVF_XYZ");

class ClDrawPrimitive {
 public:
  static void createDeviceObjects();
  static void releaseDeviceObjects();
  static void flushPending();
  static void freeRendered();

  // Queues one primitive of a kind (0..11) for this frame: copies its bytes into the pending pool, whose capacity
  // is one per kind (a second one in a frame is the pool's fatal error).
  static void queue(i32 iKind, const void* pBytes);
  static i32 getPendingCount(i32 iKind);
  static i32 getRenderedCount(i32 iKind);

  // The sphere's vertices as built (for checks of the mesh after a Reset).
  static void buildSphereVertices(SDebugVertex* pOut);
  // The arrowhead's vertices and its fan of triangles.
  static void buildArrowhead(SDebugVertex* pVertices, u16* puiIndices);

  // Device objects; null while the device is lost or before start-up.
  static IDirect3DVertexBuffer9* mp_apCubeVB[6];
  static IDirect3DVertexBuffer9* mp_pSphereVB;
  static IDirect3DVertexBuffer9* mp_apCameraVB[13];
  static IDirect3DVertexBuffer9* mp_pArrowheadVB;
  static IDirect3DIndexBuffer9* mp_pArrowheadIB;
  static IDirect3DVertexBuffer9* mp_apAxisVB[3];
  static IDirect3DVertexBuffer9* mp_pLineVB;
  static IDirect3DVertexBuffer9* mp_pTriangleVB;
};
