// Dynamic geometry: the frame's small pieces of indexed triangle geometry (elements), reserved by any thread into
// one dynamic vertex buffer and one index staging array, then sorted on the render worker into draw batches that
// merge runs of equal render signatures into single draws. Sprites, UI rectangles, the 2D canvases and the game's
// entities all end here.
//
// A frame: beginFrame (main thread) locks the next of two buffer pairs with DISCARD and empties the element lists;
// reserve (any thread, under the lock) hands out room for elements, vertices and indices; on the render worker
// buildBatch sorts the elements of one flag mask (higher depth first, then lower signature address) and copies
// their indices into the locked index buffer, unlockBuffers uploads both buffers, and drawBatch draws a batch with
// one DrawIndexedPrimitive per run of equal signatures. At most 29,999 vertices, 119,999 indices and 9,999
// elements are in use in a frame; a reservation past those limits, or while the device or the geometry is not
// ready, comes back all zero and the caller drops its piece.
//
// Reservations point into fixed arrays that never move: the caller writes its vertices, its absolute indices (the
// first vertex number plus its own index) and, per element, the flag word, the index range, the depth, the
// signature and the user word (pointer-sized: callers store a viewpoint object's address there).
//
// Threads: reserve, beginFrame and unlockBuffers take the lock; buildBatch and drawBatch run on the render worker
// while the main thread waits for the frame, and take none. platformInitialize and platformTerminate run on the
// main thread (start-up, device loss and Reset, shutdown).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "Corvane/System/ClMutexLock.h"
#include "Corvane/System/KvTypes.h"

struct IDirect3DIndexBuffer9;
struct IDirect3DVertexBuffer9;
struct IDirect3DVertexDeclaration9;
struct SRenderSignature;

inline constexpr i32 gc_iDYNGEO_MAX_VERTICES = 30000;
inline constexpr i32 gc_iDYNGEO_MAX_INDICES = 120000;
inline constexpr i32 gc_iDYNGEO_MAX_ELEMENTS = 10000;
inline constexpr i32 gc_iDYNGEO_NUM_BATCHES = 10;
inline constexpr i32 gc_iDYNGEO_MAX_DRAW_CALLS = 4096;
inline constexpr i32 MAX_DYNGEO_REGISTERED_RENDER_TARGETS = 2;

// The flag words of the game's three batches: the world, the 2D below layer 2600 (and the UI's solid rectangles),
// the 2D from layer 2600 (the UI and the HUD).
inline constexpr u32 gc_uiDYNGEO_FLAG_WORLD = 0x100000u;
inline constexpr u32 gc_uiDYNGEO_FLAG_2D = 0x200000u;
inline constexpr u32 gc_uiDYNGEO_FLAG_UI = 0x400000u;

// The vertex of every element (36 bytes, one vertex declaration, stream 0).
struct SDynamicGeometryVertex {
  f32 x, y, z;
  u32 color;  // D3DCOLOR (0xAARRGGBB)
  f32 nx, ny, nz;
  f32 u, v;
};
static_assert(sizeof(SDynamicGeometryVertex) == 36);
static_assert(offsetof(SDynamicGeometryVertex, color) == 12);
static_assert(offsetof(SDynamicGeometryVertex, nx) == 16);
static_assert(offsetof(SDynamicGeometryVertex, u) == 28);

// An element's indices: where they start in the staging array, and how many.
struct SDynamicGeometryRange {
  u32 mp_uiFirstIndex;
  u32 mp_uiNumIndices;
};

// What reserve hands out; every field zero when nothing was reserved.
struct SDynamicGeometryAlloc {
  SDynamicGeometryVertex* mp_pVerts;     // the first reserved vertex, in the locked vertex buffer
  u32* mp_pIndexes;                      // the first reserved slot of the index staging array
  u32 mp_uiFirstIndex;                   // the staging index of that slot
  u32 mp_uiFirstVertex;                  // the vertex number of the first reserved vertex
  u32* mp_puiFlags;                      // the first reserved element's flag word, range, depth, signature and
  SDynamicGeometryRange* mp_pRanges;     // user word; further elements follow in each array
  f32* mp_pfDepths;
  const SRenderSignature** mp_ppSignatures;
  std::uintptr_t* mp_puiUserWords;
};

struct SDynamicGeometryDrawCall {
  const SRenderSignature* mp_pSignature;
  u32 mp_uiFirstIndex;  // in the index buffer
  u32 mp_uiNumIndices;
};

struct SDynamicGeometryBatch {
  u32 mp_uiNumDrawCalls;
  SDynamicGeometryDrawCall mp_aDrawCalls[gc_iDYNGEO_MAX_DRAW_CALLS];
};

class ClDynamicGeometry {
 public:
  // Creates the vertex declaration and both buffer pairs and takes the lock from the pool (asserts
  // "ClMutexLock::g_bInitialized"); with bResetRegisteredTargets, one registered render target (flag 0). Ready.
  static void platformInitialize(u32 bResetRegisteredTargets);
  // Not ready; the lock goes back to the pool; the declaration and the buffers are released. Nothing to do when not
  // initialised.
  static void platformTerminate();
  // Whether the start-up made the geometry (a Reset re-creates it then).
  static bool wasStarted() { return m_iNumRegisteredRenderTargets > 0; }
  static bool isReady() { return mp_bReady.load(std::memory_order_acquire) != 0; }

  // Room for e elements, v vertices and i indices (each at least 1), or an all-zero record.
  static void reserve(i32 iNumElements, i32 iNumVerts, i32 iNumIndexes, SDynamicGeometryAlloc* pAlloc);
  // Writes element k of a reservation: its indices (from staging index uiFirstIndex), flag word, signature, depth
  // and user word.
  static void setElement(const SDynamicGeometryAlloc& alloc, i32 iElement, u32 uiFirstIndex, u32 uiNumIndices,
                         u32 uiFlags, const SRenderSignature* pSignature, f32 fDepth, std::uintptr_t uiUserWord = 0) {
    alloc.mp_pRanges[iElement] = SDynamicGeometryRange{uiFirstIndex, uiNumIndices};
    alloc.mp_puiFlags[iElement] = uiFlags;
    alloc.mp_ppSignatures[iElement] = pSignature;
    alloc.mp_pfDepths[iElement] = fDepth;
    alloc.mp_puiUserWords[iElement] = uiUserWord;
  }
  // Writes a quad's two triangles (0, 1, 2) and (0, 2, 3), or with bZigZag (0, 1, 2) and (1, 3, 2), from the
  // reservation's first vertex number.
  static void setQuadIndexes(u32* pIndexes, u32 uiFirstVertex, bool bZigZag) {
    static constexpr u32 s_auiFan[6] = {0, 1, 2, 0, 2, 3};
    static constexpr u32 s_auiZigZag[6] = {0, 1, 2, 1, 3, 2};
    const u32* pPattern = bZigZag ? s_auiZigZag : s_auiFan;
    for (i32 i = 0; i < 6; ++i) pIndexes[i] = uiFirstVertex + pPattern[i];
  }
  // Main thread, at the start of every game frame before geometry is queued.
  static void beginFrame();
  // Render worker: batch b of registered target 0 from the elements whose flag word holds every bit of the mask.
  static void buildBatch(i32 iBatch, u32 uiMask);
  // Render worker, after the batches are built (and when the worker throws a frame away).
  static void unlockBuffers();
  // Render worker, inside the scene: one draw per draw call of the batch, then the signature state ended.
  static void drawBatch(i32 iBatch);

  static i32 getNumElements() { return m_iNumElements; }
  static i32 getNumVerts() { return m_iNumVerts; }
  static i32 getNumIndexes() { return m_iNumIndexes; }
  static const SDynamicGeometryBatch& getBatch(i32 iBatch, i32 iRegisteredTarget = 0) {
    return mp_aBatches[iRegisteredTarget][iBatch];
  }

  // Per-element arrays and the index staging array of the frame.
  static u32 mp_auiFlags[gc_iDYNGEO_MAX_ELEMENTS];
  static SDynamicGeometryRange mp_aRanges[gc_iDYNGEO_MAX_ELEMENTS];
  static f32 mp_afDepths[gc_iDYNGEO_MAX_ELEMENTS];
  static const SRenderSignature* mp_apSignatures[gc_iDYNGEO_MAX_ELEMENTS];
  static std::uintptr_t mp_auiUserWords[gc_iDYNGEO_MAX_ELEMENTS];
  static u32 mp_auiStagingIndexes[gc_iDYNGEO_MAX_INDICES];

  static SDynamicGeometryBatch mp_aBatches[MAX_DYNGEO_REGISTERED_RENDER_TARGETS][gc_iDYNGEO_NUM_BATCHES];
  static u32 mp_auiRegisteredTargetFlags[MAX_DYNGEO_REGISTERED_RENDER_TARGETS];
  static i32 m_iNumRegisteredRenderTargets;

  static IDirect3DVertexDeclaration9* mp_pVertexDeclaration;
  static IDirect3DVertexBuffer9* m_apVtxBuffer[2];
  static IDirect3DIndexBuffer9* m_apIdxBuffer[2];
  static i32 m_iCurBuffer;
  static SDynamicGeometryVertex* m_pLockedVerts;
  static u32* m_pLockedIdxes;

 private:
  // Locks the current pair whole with DISCARD (the lock held).
  static void lockBuffers();

  static ClMutexLock m_lock;
  static std::atomic<u32> mp_bReady;
  static i32 m_iNumElements;
  static i32 m_iNumVerts;
  static i32 m_iNumIndexes;
  static u32 m_uiIndexWritePos;
};
