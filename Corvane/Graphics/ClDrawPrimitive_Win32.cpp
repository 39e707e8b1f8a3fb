#include <cmath>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "Corvane/Graphics/ClDrawPrimitive.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Math/KvMath.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/Graphics/KvReleaseAndClear.h"
#include "Platform/D3D9/D3D9.h"

IDirect3DVertexBuffer9* ClDrawPrimitive::mp_apCubeVB[6] = {};
IDirect3DVertexBuffer9* ClDrawPrimitive::mp_pSphereVB = nullptr;
IDirect3DVertexBuffer9* ClDrawPrimitive::mp_apCameraVB[13] = {};
IDirect3DVertexBuffer9* ClDrawPrimitive::mp_pArrowheadVB = nullptr;
IDirect3DIndexBuffer9* ClDrawPrimitive::mp_pArrowheadIB = nullptr;
IDirect3DVertexBuffer9* ClDrawPrimitive::mp_apAxisVB[3] = {};
IDirect3DVertexBuffer9* ClDrawPrimitive::mp_pLineVB = nullptr;
IDirect3DVertexBuffer9* ClDrawPrimitive::mp_pTriangleVB = nullptr;

namespace {

// The pending and render-side pools of one kind.
class CDebugKindPools {
 public:
  virtual ~CDebugKindPools() = default;
  virtual void flush() = 0;
  virtual void freePending() = 0;
  virtual void freeRendered() = 0;
  virtual void queue(const void* pBytes) = 0;
  virtual i32 pendingCount() const = 0;
  virtual i32 renderedCount() const = 0;
};

template <i32 N>
class TDebugKindPools final : public CDebugKindPools {
 public:
  void flush() override {
    for (i32 i = 0; i < m_pending.getCount(); ++i) {
      SDebugPrimitive<N>* pThings = m_pending.get(i);
      KV_ASSERT(pThings);
      KV_ASSERT_MSG(!m_rendered.isFull(), "pNewThings");
      SDebugPrimitive<N>* pNewThings = m_rendered.alloc();
      KV_ASSERT(pNewThings);
      std::memcpy(pNewThings, pThings, sizeof(SDebugPrimitive<N>));
    }
  }
  void freePending() override { freeAll(m_pending); }
  void freeRendered() override { freeAll(m_rendered); }
  void queue(const void* pBytes) override { std::memcpy(m_pending.alloc(), pBytes, N); }
  i32 pendingCount() const override { return m_pending.getCount(); }
  i32 renderedCount() const override { return m_rendered.getCount(); }

 private:
  static void freeAll(ClPool<SDebugPrimitive<N>, 1>& pool) {
    while (pool.getCount() > 0) {
      pool.free(pool.get(pool.getCount() - 1));
    }
  }
  ClPool<SDebugPrimitive<N>, 1> m_pending;
  ClPool<SDebugPrimitive<N>, 1> m_rendered;
};

template <i32... I>
std::vector<std::unique_ptr<CDebugKindPools>> makeKinds(std::integer_sequence<i32, I...>) {
  std::vector<std::unique_ptr<CDebugKindPools>> kinds;
  (kinds.push_back(std::make_unique<TDebugKindPools<gc_aiDEBUG_PRIMITIVE_SIZES[I]>>()), ...);
  return kinds;
}

// Built once, kept for the process (static pools as the engine's other pools are).
std::vector<std::unique_ptr<CDebugKindPools>>& kinds() {
  static std::vector<std::unique_ptr<CDebugKindPools>> s_kinds =
      makeKinds(std::make_integer_sequence<i32, gc_iNUM_DEBUG_PRIMITIVE_KINDS>{});
  return s_kinds;
}

// Pending pools are emptied in this order after the hand-over: kinds 2-5, 6, 7, 8, 9, 10, 11, 12, then 1.
constexpr i32 gc_aiPENDING_FREE_ORDER[gc_iNUM_DEBUG_PRIMITIVE_KINDS] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0};

IDirect3DVertexBuffer9* makeVertexBuffer(const SDebugVertex* pVertices, i32 iCount, DWORD dwUsage) {
  IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
  IDirect3DVertexBuffer9* pBuffer = nullptr;
  const UINT uiSize = static_cast<UINT>(iCount) * sizeof(SDebugVertex);
  KV_ASSERT_MSG(SUCCEEDED(pDevice->CreateVertexBuffer(uiSize, dwUsage, D3DFVF_XYZ, D3DPOOL_DEFAULT, &pBuffer, nullptr)),
                "0");
  if (pVertices != nullptr) {
    void* pData = nullptr;
    KV_ASSERT_MSG(SUCCEEDED(pBuffer->Lock(0, uiSize, &pData, 0)), "0");
    std::memcpy(pData, pVertices, uiSize);
    KV_ASSERT_MSG(SUCCEEDED(pBuffer->Unlock()), "0");
  }
  return pBuffer;
}

// A closed strip of four corners at height y: (x0, z0), (x1, z1), (x2, z2), (x3, z3) and the first again.
void closedStrip(std::vector<SDebugVertex>* pOut, const SDebugVertex (&corners)[4]) {
  pOut->assign(corners, corners + 4);
  pOut->push_back(corners[0]);
}

}  // namespace

void ClDrawPrimitive::buildSphereVertices(SDebugVertex* pOut) {
  constexpr f32 fPI = 3.1415927f;
  i32 iCurVtx = 0;
  auto ring = [](i32 i) {
    const f32 fC = 1.0f - static_cast<f32>(i) / 6.0f;
    return std::pair<f32, f32>{0.5f * fC, 0.5f * std::sin(KvMath::acos(fC))};
  };
  for (i32 i = 0; i < 12; ++i) {
    const auto [fY, fR] = ring(i);
    const auto [fNextY, fNextR] = ring(i + 1);
    for (i32 j = 0; j <= 14; ++j) {
      const f32 fAngle = static_cast<f32>(j % 14) * fPI / 7.0f;
      pOut[iCurVtx++] = {fR * std::sin(fAngle), fY, fR * std::cos(fAngle)};
    }
    for (i32 j = 0; j < 14; ++j) {
      const f32 fAngle = static_cast<f32>(j) * fPI / 7.0f;
      pOut[iCurVtx++] = {fR * std::sin(fAngle), fY, fR * std::cos(fAngle)};
      pOut[iCurVtx++] = {fNextR * std::sin(fAngle), fNextY, fNextR * std::cos(fAngle)};
    }
  }
  KV_ASSERT_MSG(iCurVtx == gc_iDEBUG_SPHERE_VERTICES, "iCurVtx == iNumVerts");
}

void ClDrawPrimitive::buildArrowhead(SDebugVertex* pVertices, u16* puiIndices) {
  constexpr f32 fPI = 3.1415927f;
  pVertices[0] = {0.0f, 0.0f, 0.0f};
  for (i32 k = 1; k < gc_iDEBUG_ARROWHEAD_VERTICES; ++k) {
    const f32 fAngle = static_cast<f32>(k - 1) * 2.0f * fPI / 17.0f;
    pVertices[k] = {-0.35f, 0.05f * std::cos(fAngle), 0.05f * std::sin(fAngle)};
  }
  i32 iIndex = 0;
  for (i32 k = 1; k <= 16; ++k) {
    puiIndices[iIndex++] = 0;
    puiIndices[iIndex++] = static_cast<u16>(k);
    puiIndices[iIndex++] = static_cast<u16>(k + 1);
  }
  puiIndices[iIndex++] = 0;
  puiIndices[iIndex++] = 17;
  puiIndices[iIndex++] = 1;
}

void ClDrawPrimitive::createDeviceObjects() {
  std::vector<SDebugVertex> temp;
  // Cube of edge 1: the two faces as closed strips, then the four vertical connectors.
  for (i32 iFace = 0; iFace < 2; ++iFace) {
    const f32 fY = iFace == 0 ? -0.5f : 0.5f;
    closedStrip(&temp, {{0.5f, fY, 0.5f}, {0.5f, fY, -0.5f}, {-0.5f, fY, -0.5f}, {-0.5f, fY, 0.5f}});
    mp_apCubeVB[iFace] = makeVertexBuffer(temp.data(), 5, 0);
  }
  const f32 afCubeCorners[4][2] = {{0.5f, 0.5f}, {0.5f, -0.5f}, {-0.5f, -0.5f}, {-0.5f, 0.5f}};
  for (i32 i = 0; i < 4; ++i) {
    const SDebugVertex line[2] = {{afCubeCorners[i][0], 0.5f, afCubeCorners[i][1]},
                                  {afCubeCorners[i][0], -0.5f, afCubeCorners[i][1]}};
    mp_apCubeVB[2 + i] = makeVertexBuffer(line, 2, 0);
  }

  SDebugVertex sphere[gc_iDEBUG_SPHERE_VERTICES];
  buildSphereVertices(sphere);
  mp_pSphereVB = makeVertexBuffer(sphere, gc_iDEBUG_SPHERE_VERTICES, 0);

  // Camera looking along +x: main box, lens (a truncated pyramid), up marker.
  i32 iCamera = 0;
  for (i32 iFace = 0; iFace < 2; ++iFace) {
    const f32 fY = iFace == 0 ? -0.25f : 0.25f;
    closedStrip(&temp, {{0.5f, fY, 0.25f}, {0.5f, fY, -0.25f}, {-0.5f, fY, -0.25f}, {-0.5f, fY, 0.25f}});
    mp_apCameraVB[iCamera++] = makeVertexBuffer(temp.data(), 5, 0);
  }
  const f32 afBoxCorners[4][2] = {{0.5f, 0.25f}, {0.5f, -0.25f}, {-0.5f, -0.25f}, {-0.5f, 0.25f}};
  for (const auto& corner : afBoxCorners) {
    const SDebugVertex line[2] = {{corner[0], 0.25f, corner[1]}, {corner[0], -0.25f, corner[1]}};
    mp_apCameraVB[iCamera++] = makeVertexBuffer(line, 2, 0);
  }
  for (i32 iFace = 0; iFace < 2; ++iFace) {
    const f32 fSign = iFace == 0 ? -1.0f : 1.0f;
    closedStrip(&temp, {{0.75f, fSign * 0.175f, 0.175f},
                        {0.75f, fSign * 0.175f, -0.175f},
                        {0.5f, fSign * 0.105f, -0.105f},
                        {0.5f, fSign * 0.105f, 0.105f}});
    mp_apCameraVB[iCamera++] = makeVertexBuffer(temp.data(), 5, 0);
  }
  // x, z and the half-size of that end of the lens.
  const f32 afLensCorners[4][3] = {{0.75f, 0.175f, 0.175f}, {0.75f, -0.175f, 0.175f}, {0.5f, -0.105f, 0.105f},
                                   {0.5f, 0.105f, 0.105f}};
  for (const auto& corner : afLensCorners) {
    const f32 fHalf = corner[2];
    const SDebugVertex line[2] = {{corner[0], fHalf, corner[1]}, {corner[0], -fHalf, corner[1]}};
    mp_apCameraVB[iCamera++] = makeVertexBuffer(line, 2, 0);
  }
  const SDebugVertex up[4] = {{0.5f, 0.25f, 0.0f}, {-0.5f, 0.25f, 0.0f}, {0.0f, 0.75f, 0.0f}, {0.5f, 0.25f, 0.0f}};
  mp_apCameraVB[iCamera++] = makeVertexBuffer(up, 4, 0);
  KV_ASSERT(iCamera == 13);

  SDebugVertex arrowhead[gc_iDEBUG_ARROWHEAD_VERTICES];
  u16 auiIndices[gc_iDEBUG_ARROWHEAD_INDICES];
  buildArrowhead(arrowhead, auiIndices);
  mp_pArrowheadVB = makeVertexBuffer(arrowhead, gc_iDEBUG_ARROWHEAD_VERTICES, 0);
  KV_ASSERT_MSG(SUCCEEDED(ClGraphics::mp_pDevice->CreateIndexBuffer(sizeof(auiIndices), 0, D3DFMT_INDEX16,
                                                                    D3DPOOL_DEFAULT, &mp_pArrowheadIB, nullptr)),
                "0");
  void* pData = nullptr;
  KV_ASSERT_MSG(SUCCEEDED(mp_pArrowheadIB->Lock(0, sizeof(auiIndices), &pData, 0)), "0");
  std::memcpy(pData, auiIndices, sizeof(auiIndices));
  KV_ASSERT_MSG(SUCCEEDED(mp_pArrowheadIB->Unlock()), "0");

  const SDebugVertex axes[3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
  for (i32 i = 0; i < 3; ++i) {
    const SDebugVertex line[2] = {{0.0f, 0.0f, 0.0f}, axes[i]};
    mp_apAxisVB[i] = makeVertexBuffer(line, 2, 0);
  }
  mp_pLineVB = makeVertexBuffer(nullptr, 2, D3DUSAGE_DYNAMIC);
  mp_pTriangleVB = makeVertexBuffer(nullptr, 3, D3DUSAGE_DYNAMIC);
}

void ClDrawPrimitive::releaseDeviceObjects() {
  for (auto& pBuffer : mp_apCubeVB) KvReleaseAndClear(pBuffer);
  KvReleaseAndClear(mp_pSphereVB);
  for (auto& pBuffer : mp_apCameraVB) KvReleaseAndClear(pBuffer);
  KvReleaseAndClear(mp_pArrowheadVB);
  KvReleaseAndClear(mp_pArrowheadIB);
  for (auto& pBuffer : mp_apAxisVB) KvReleaseAndClear(pBuffer);
  KvReleaseAndClear(mp_pLineVB);
  KvReleaseAndClear(mp_pTriangleVB);
}

void ClDrawPrimitive::flushPending() {
  for (auto& pKind : kinds()) {
    pKind->flush();
  }
  for (i32 iKind : gc_aiPENDING_FREE_ORDER) {
    kinds()[static_cast<size_t>(iKind)]->freePending();
  }
}

void ClDrawPrimitive::freeRendered() {
  for (auto& pKind : kinds()) {
    pKind->freeRendered();
  }
}

void ClDrawPrimitive::queue(i32 iKind, const void* pBytes) {
  KV_ASSERT(iKind >= 0 && iKind < gc_iNUM_DEBUG_PRIMITIVE_KINDS);
  kinds()[static_cast<size_t>(iKind)]->queue(pBytes);
}

i32 ClDrawPrimitive::getPendingCount(i32 iKind) { return kinds().at(static_cast<size_t>(iKind))->pendingCount(); }

i32 ClDrawPrimitive::getRenderedCount(i32 iKind) { return kinds().at(static_cast<size_t>(iKind))->renderedCount(); }
