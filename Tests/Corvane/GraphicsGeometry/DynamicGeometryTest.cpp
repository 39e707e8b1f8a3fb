// Dynamic geometry: the frame's limits, the sort and merge of batches, the batch masks, drawing farthest first,
// reservations from the task workers under the lock, the buffers made again after a lost device, and the helpers'
// vertices.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <set>

#include "Corvane/Graphics/ClDynamicGeometryHelper.h"
#include "Corvane/System/ClJobMgr.h"
#include "Corvane/System/ClTaskMgr.h"
#include "Tests/Corvane/GraphicsGeometry/GeometryTestSupport.h"

namespace {

using DynamicGeometryTest = GeometryTest;

// One quad element of the flag word, signature and depth, covering x0..x1, y0..y1 in pixels, in one colour.
void queueQuad(u32 uiFlags, const SRenderSignature* pSignature, f32 fDepth, f32 x0, f32 y0, f32 x1, f32 y1,
               u32 uiColor = 0xFFFFFFFFu) {
  SDynamicGeometryAlloc alloc;
  ClDynamicGeometry::reserve(1, 4, 6, &alloc);
  ASSERT_NE(alloc.mp_pVerts, nullptr);
  const f32 afX[4] = {x0, x1, x1, x0};
  const f32 afY[4] = {y0, y0, y1, y1};
  for (i32 i = 0; i < 4; ++i) {
    alloc.mp_pVerts[i] = SDynamicGeometryVertex{afX[i] - 0.5f, afY[i] - 0.5f, 0.0f, uiColor, 0, 0, 0, 0, 0};
  }
  ClDynamicGeometry::setQuadIndexes(alloc.mp_pIndexes, alloc.mp_uiFirstVertex, false);
  ClDynamicGeometry::setElement(alloc, 0, alloc.mp_uiFirstIndex, 6, uiFlags, pSignature, fDepth);
}

bool reserves(i32 iElements, i32 iVerts, i32 iIndexes) {
  SDynamicGeometryAlloc alloc;
  ClDynamicGeometry::reserve(iElements, iVerts, iIndexes, &alloc);
  return alloc.mp_pVerts != nullptr;
}

// At most 29,999 vertices, 119,999 indices and 9,999 elements are handed out in a frame; nothing while the
// geometry or the device is not ready.
TEST_F(DynamicGeometryTest, ReservationsStopAtTheFramesLimits) {
  ClDynamicGeometry::beginFrame();
  EXPECT_TRUE(reserves(1, 29999, 3)) << "29,999 vertices";
  EXPECT_FALSE(reserves(1, 1, 3)) << "the 30,000th vertex";
  EXPECT_EQ(ClDynamicGeometry::getNumVerts(), 29999);
  ClDynamicGeometry::unlockBuffers();

  ClDynamicGeometry::beginFrame();
  EXPECT_EQ(ClDynamicGeometry::getNumVerts(), 0) << "a new frame starts empty";
  EXPECT_FALSE(reserves(1, 30000, 3));
  EXPECT_TRUE(reserves(1, 3, 119999));
  EXPECT_FALSE(reserves(1, 3, 1));
  ClDynamicGeometry::unlockBuffers();

  ClDynamicGeometry::beginFrame();
  EXPECT_TRUE(reserves(9999, 3, 3));
  EXPECT_FALSE(reserves(1, 3, 3)) << "the 10,000th element";
  // The record of a refused reservation is all zero.
  SDynamicGeometryAlloc alloc;
  std::memset(&alloc, 0xCD, sizeof(alloc));
  ClDynamicGeometry::reserve(1, 3, 3, &alloc);
  const SDynamicGeometryAlloc zero{};
  EXPECT_EQ(std::memcmp(&alloc, &zero, sizeof(alloc)), 0);
  ClDynamicGeometry::unlockBuffers();

  ClDynamicGeometry::beginFrame();
  ClGraphics::mp_bReady = 0;
  EXPECT_FALSE(reserves(1, 3, 3)) << "graphics not ready";
  ClGraphics::mp_bReady = 1;
  ClDynamicGeometry::unlockBuffers();
  ClDynamicGeometry::platformTerminate();
  EXPECT_FALSE(reserves(1, 3, 3)) << "geometry not ready";
  ClDynamicGeometry::beginFrame();  // does nothing while not ready
  EXPECT_EQ(ClDynamicGeometry::m_pLockedVerts, nullptr);
  ClDynamicGeometry::platformInitialize(0);
}

// Elements sort farthest first and merge runs of one signature: A-B-A by depth makes three draws, equal signatures
// side by side one; the indices land in the index buffer in the draws' order; a batch takes only the elements
// holding every bit of its mask.
TEST_F(DynamicGeometryTest, BatchesSortByDepthMergeEqualSignaturesAndSelectByMask) {
  const SRenderSignature* pA = colorSignature();
  const SRenderSignature* pB = ClSignatureMgr::getSignatureNoTex(ClShaderMgr::getShader("system_blend_premult"));
  ClDynamicGeometry::beginFrame();
  queueQuad(gc_uiDYNGEO_FLAG_WORLD, pA, 0.0f, 0, 0, 1, 1);   // element 0: A, nearest
  queueQuad(gc_uiDYNGEO_FLAG_WORLD, pB, 5.0f, 0, 0, 1, 1);   // element 1: B, between
  queueQuad(gc_uiDYNGEO_FLAG_WORLD, pA, 10.0f, 0, 0, 1, 1);  // element 2: A, farthest
  ClDynamicGeometry::buildBatch(7, gc_uiDYNGEO_FLAG_WORLD);
  const SDynamicGeometryBatch& batch = ClDynamicGeometry::getBatch(7);
  ASSERT_EQ(batch.mp_uiNumDrawCalls, 3u);
  EXPECT_EQ(batch.mp_aDrawCalls[0].mp_pSignature, pA);
  EXPECT_EQ(batch.mp_aDrawCalls[1].mp_pSignature, pB);
  EXPECT_EQ(batch.mp_aDrawCalls[2].mp_pSignature, pA);
  // The farthest element's indices come first: vertices 8..11.
  EXPECT_EQ(batch.mp_aDrawCalls[0].mp_uiFirstIndex, 0u);
  EXPECT_EQ(ClDynamicGeometry::m_pLockedIdxes[0], 8u);
  EXPECT_EQ(ClDynamicGeometry::m_pLockedIdxes[6], 4u);
  EXPECT_EQ(ClDynamicGeometry::m_pLockedIdxes[12], 0u);
  ClDynamicGeometry::unlockBuffers();

  ClDynamicGeometry::beginFrame();
  queueQuad(gc_uiDYNGEO_FLAG_WORLD, pA, 10.0f, 0, 0, 1, 1);
  queueQuad(gc_uiDYNGEO_FLAG_WORLD, pB, 5.0f, 0, 0, 1, 1);
  queueQuad(gc_uiDYNGEO_FLAG_WORLD, pA, 10.0f, 0, 0, 1, 1);
  ClDynamicGeometry::buildBatch(7, gc_uiDYNGEO_FLAG_WORLD);
  ASSERT_EQ(ClDynamicGeometry::getBatch(7).mp_uiNumDrawCalls, 2u) << "equal signature and depth merge";
  EXPECT_EQ(ClDynamicGeometry::getBatch(7).mp_aDrawCalls[0].mp_uiNumIndices, 12u);
  ClDynamicGeometry::unlockBuffers();

  ClDynamicGeometry::beginFrame();
  queueQuad(gc_uiDYNGEO_FLAG_WORLD, pA, 0.0f, 0, 0, 1, 1);
  queueQuad(gc_uiDYNGEO_FLAG_2D, pA, 0.0f, 0, 0, 1, 1);
  queueQuad(gc_uiDYNGEO_FLAG_UI, pA, 0.0f, 0, 0, 1, 1);
  queueQuad(gc_uiDYNGEO_FLAG_WORLD | gc_uiDYNGEO_FLAG_2D, pA, 0.0f, 0, 0, 1, 1);
  ClDynamicGeometry::buildBatch(7, gc_uiDYNGEO_FLAG_WORLD);
  ClDynamicGeometry::buildBatch(8, gc_uiDYNGEO_FLAG_2D);
  ClDynamicGeometry::buildBatch(9, gc_uiDYNGEO_FLAG_UI);
  ClDynamicGeometry::buildBatch(6, gc_uiDYNGEO_FLAG_WORLD | gc_uiDYNGEO_FLAG_2D);
  const auto indexCount = [](i32 iBatch) {
    const SDynamicGeometryBatch& b = ClDynamicGeometry::getBatch(iBatch);
    return b.mp_uiNumDrawCalls == 0 ? 0u : b.mp_aDrawCalls[0].mp_uiNumIndices;
  };
  EXPECT_EQ(indexCount(7), 12u) << "world and world+2D";
  EXPECT_EQ(indexCount(8), 12u) << "2D and world+2D";
  EXPECT_EQ(indexCount(9), 6u);
  EXPECT_EQ(indexCount(6), 6u) << "an element lacking one bit of the mask is left out";
  ClDynamicGeometry::unlockBuffers();

  // An empty frame builds empty batches.
  ClDynamicGeometry::beginFrame();
  ClDynamicGeometry::buildBatch(7, gc_uiDYNGEO_FLAG_WORLD);
  EXPECT_EQ(ClDynamicGeometry::getBatch(7).mp_uiNumDrawCalls, 0u);
  ClDynamicGeometry::unlockBuffers();
}

// A batch is drawn farthest first through its signatures (the effect blends without depth test), and only once
// the buffers are unlocked.
TEST_F(DynamicGeometryTest, BatchesDrawFarthestFirstOnceUnlocked) {
  const SRenderSignature* pColor = colorSignature();
  ClGraphics::pushOrtho2D(320.0f, 240.0f);
  clear(0xFF000000u);
  ClDynamicGeometry::beginFrame();
  queueQuad(gc_uiDYNGEO_FLAG_2D, pColor, -5.0f, 10, 10, 30, 30, 0xFFFF0000u);  // nearest, queued first
  queueQuad(gc_uiDYNGEO_FLAG_2D, pColor, 5.0f, 20, 20, 40, 40, 0xFF0000FFu);
  ClDynamicGeometry::buildBatch(8, gc_uiDYNGEO_FLAG_2D);
  ClDynamicGeometry::drawBatch(8);
  EXPECT_EQ(pixel(15, 15), 0xFF000000u) << "nothing drawn while the buffers are locked";
  ClDynamicGeometry::unlockBuffers();
  ClDynamicGeometry::drawBatch(8);
  EXPECT_EQ(pixel(15, 15), 0xFFFF0000u);
  EXPECT_EQ(pixel(25, 25), 0xFFFF0000u) << "the nearer quad is drawn last";
  EXPECT_EQ(pixel(35, 35), 0xFF0000FFu);
  EXPECT_EQ(pixel(45, 45), 0xFF000000u);
  EXPECT_EQ(ClGraphics::mp_pCurrentShader, nullptr) << "the signature state is ended after the batch";
  ClGraphics::popMatrix(E_MATRIX_STACK_PROJECTION);
  ClGraphics::popMatrix(E_MATRIX_STACK_VIEW);
}

// Task workers reserve at the same time: every reservation is its own, every element and vertex is written once.
TEST_F(DynamicGeometryTest, TaskWorkersReserveUnderTheLock) {
  constexpr i32 iJobs = 16;
  constexpr i32 iQuadsPerJob = 40;
  static std::atomic<i32> s_iFinished{0};
  static const SRenderSignature* s_pSignature = nullptr;
  s_iFinished = 0;
  s_pSignature = colorSignature();
  ClJobMgr::initialize();
  ClDynamicGeometry::beginFrame();
  for (i32 iJob = 0; iJob < iJobs; ++iJob) {
    SOneOffJobData* pData = ClJobMgr::allocOneOffJob();
    pData->m_aParams[0].m_iSize = iJob;
    pData->mp_workCallback = [](SOneOffJobParams* pParam, SOneOffJobParams*, SOneOffJobParams*) {
      for (i32 q = 0; q < iQuadsPerJob; ++q) {
        SDynamicGeometryAlloc alloc;
        ClDynamicGeometry::reserve(1, 4, 6, &alloc);
        const u32 uiTag = static_cast<u32>(pParam->m_iSize * 1000 + q);
        for (i32 v = 0; v < 4; ++v) {
          alloc.mp_pVerts[v] = SDynamicGeometryVertex{0, 0, 0, uiTag, 0, 0, 0, 0, 0};
        }
        ClDynamicGeometry::setQuadIndexes(alloc.mp_pIndexes, alloc.mp_uiFirstVertex, false);
        ClDynamicGeometry::setElement(alloc, 0, alloc.mp_uiFirstIndex, 6, gc_uiDYNGEO_FLAG_WORLD, s_pSignature,
                                      static_cast<f32>(uiTag), uiTag);
      }
    };
    pData->mp_finishedCallback = [](SOneOffJobParams*, SOneOffJobParams*, SOneOffJobParams*) { ++s_iFinished; };
    ClJob* hJob = nullptr;
    ClJobMgr::addJob(gc_iJOB_TYPE_ONE_OFF, pData, &hJob);
  }
  while (s_iFinished.load() < iJobs) {
    ClTaskMgr::dispatchTasks();
    ClTaskMgr::waitForFinishedTask();
  }
  ASSERT_EQ(ClDynamicGeometry::getNumElements(), iJobs * iQuadsPerJob);
  std::set<u32> tags;
  for (i32 i = 0; i < ClDynamicGeometry::getNumElements(); ++i) {
    const SElement e = element(i);
    const u32 uiTag = static_cast<u32>(e.uiUserWord);
    tags.insert(uiTag);
    EXPECT_EQ(e.fDepth, static_cast<f32>(uiTag));
    ASSERT_EQ(e.range.mp_uiNumIndices, 6u);
    for (u32 k = 0; k < 6; ++k) {
      EXPECT_EQ(vertex(stagingIndex(e.range.mp_uiFirstIndex + k)).color, uiTag) << "element " << i;
    }
  }
  EXPECT_EQ(tags.size(), static_cast<size_t>(iJobs * iQuadsPerJob)) << "every quad written once";
  ClDynamicGeometry::unlockBuffers();
  ClJobMgr::shutdown();
}

// A lost device takes the buffers with it; after the Reset they are made again (the registered target kept) and
// frames draw as before.
TEST_F(DynamicGeometryTest, BuffersAreMadeAgainAfterAnInjectedLoss) {
  IDirect3DVertexBuffer9* pBefore = ClDynamicGeometry::m_apVtxBuffer[0];
  D3D9TestLoseDevice(ClGraphics::mp_pDevice);
  ClGraphics::endFrame();
  EXPECT_FALSE(ClDynamicGeometry::isReady());
  EXPECT_EQ(ClDynamicGeometry::m_apVtxBuffer[0], nullptr);
  EXPECT_FALSE(reserves(1, 3, 3));
  ClGraphics::endFrame();
  ASSERT_TRUE(ClGraphics::mp_bReady.load());
  EXPECT_TRUE(ClDynamicGeometry::isReady());
  EXPECT_NE(ClDynamicGeometry::m_apVtxBuffer[0], nullptr);
  EXPECT_EQ(ClDynamicGeometry::m_iNumRegisteredRenderTargets, 1);
  (void)pBefore;
  ClGraphics::pushOrtho2D(320.0f, 240.0f);
  clear(0xFF000000u);
  ClDynamicGeometry::beginFrame();
  queueQuad(gc_uiDYNGEO_FLAG_WORLD, colorSignature(), 0.0f, 50, 50, 60, 60, 0xFF00FF00u);
  ClDynamicGeometry::buildBatch(7, gc_uiDYNGEO_FLAG_WORLD);
  ClDynamicGeometry::unlockBuffers();
  ClDynamicGeometry::drawBatch(7);
  EXPECT_EQ(pixel(55, 55), 0xFF00FF00u);
  ClGraphics::popMatrix(E_MATRIX_STACK_PROJECTION);
  ClGraphics::popMatrix(E_MATRIX_STACK_VIEW);
}

// The atlas helper places the pivot on the position, scales texels, and swaps coordinates for flips; the turned
// helper follows its direction; the ring has 98 vertices and 294 indices and closes on its first pair.
TEST_F(DynamicGeometryTest, HelpersWriteTheirVertices) {
  const SRenderSignature* pSig = colorSignature();
  const SAtlasEntry entry = atlasEntry(16, 8, 0.25f, 0.5f, 0.75f, 1.0f, 2.0f, 1.0f);
  ClDynamicGeometry::beginFrame();
  ClDynamicGeometryHelper::drawAtlasEntry(gc_uiDYNGEO_FLAG_WORLD, &entry, {100, 50}, {4, 3}, 0xFF123456u, pSig, 7.0f,
                                          2.0f, 0);
  // x0 = 100 - (4 - 2) * 2 = 96, y0 = 50 - (3 - 1) * 2 = 46; 32 x 16 drawing units.
  const f32 afX[4] = {96, 128, 128, 96};
  const f32 afY[4] = {46, 46, 62, 62};
  const f32 afU[4] = {0.25f, 0.75f, 0.75f, 0.25f};
  const f32 afV[4] = {0.5f, 0.5f, 1.0f, 1.0f};
  for (u32 i = 0; i < 4; ++i) {
    EXPECT_EQ(vertex(i).x, afX[i]);
    EXPECT_EQ(vertex(i).y, afY[i]);
    EXPECT_EQ(vertex(i).u, afU[i]);
    EXPECT_EQ(vertex(i).v, afV[i]);
    EXPECT_EQ(vertex(i).color, 0xFF123456u);
  }
  EXPECT_EQ(element(0).uiFlags, gc_uiDYNGEO_FLAG_WORLD);
  EXPECT_EQ(element(0).fDepth, 7.0f);
  EXPECT_EQ(element(0).uiUserWord, 0u);
  const u32 auiExpected[6] = {0, 1, 2, 0, 2, 3};
  for (u32 i = 0; i < 6; ++i) EXPECT_EQ(stagingIndex(i), auiExpected[i]);

  ClDynamicGeometryHelper::drawAtlasEntry(gc_uiDYNGEO_FLAG_WORLD, &entry, {100, 50}, {4, 3}, 0xFFFFFFFFu, pSig, 7.0f,
                                          2.0f, gc_uiATLAS_FLIP_U | gc_uiATLAS_FLIP_V);
  EXPECT_EQ(vertex(4).u, 0.75f);
  EXPECT_EQ(vertex(4).v, 1.0f);
  EXPECT_EQ(vertex(6).u, 0.25f);
  EXPECT_EQ(vertex(6).v, 0.5f);
  EXPECT_EQ(stagingIndex(6), 4u) << "indices count from the reservation's first vertex";

  // Direction (0, 1): the image's x axis runs along (-1, 0), its y axis along (0, -1).
  ClDynamicGeometryHelper::drawAtlasEntryRotated(gc_uiDYNGEO_FLAG_WORLD, &entry, {100, 50}, {0, 1}, {2, 1},
                                                 0xFFFFFFFFu, pSig, 0.0f, 1.0f);
  EXPECT_EQ(vertex(8).x, 100.0f);
  EXPECT_EQ(vertex(8).y, 50.0f);
  EXPECT_EQ(vertex(9).x, 84.0f) << "16 texels along -x";
  EXPECT_EQ(vertex(10).y, 42.0f) << "8 texels along -y";
  EXPECT_EQ(vertex(11).x, 100.0f);

  ClDynamicGeometryHelper::drawCircle({10, 20}, 5.0f, 8.0f, 0xFF0000FFu, 0xFFFF0000u, pSig, 3.0f, 0.0f, 1.0f, 0.0f);
  const SElement ring = element(3);
  EXPECT_EQ(ring.range.mp_uiNumIndices, 294u);
  EXPECT_EQ(ring.uiFlags, gc_uiDYNGEO_FLAG_WORLD);
  EXPECT_EQ(ClDynamicGeometry::getNumVerts(), 12 + 98);
  const u32 uiFirst = 12;
  EXPECT_NEAR(vertex(uiFirst).x, 15.0f, 1e-5f);
  EXPECT_NEAR(vertex(uiFirst + 1).x, 18.0f, 1e-5f);
  EXPECT_EQ(vertex(uiFirst).color, 0xFF0000FFu);
  EXPECT_EQ(vertex(uiFirst + 1).u, 1.0f);
  EXPECT_NEAR(vertex(uiFirst + 96).x, 15.0f, 1e-4f) << "pair 48 lies on pair 0";
  EXPECT_NEAR(vertex(uiFirst + 96).y, 20.0f, 1e-4f);
  EXPECT_NEAR(vertex(uiFirst + 96).v, 1.0f, 1e-5f);
  EXPECT_NEAR(vertex(uiFirst + 12).y, 20.0f + 5.0f * std::sin(6 * 0.1308997f), 1e-4f);
  // The last quad joins pair 48 to pair 0.
  const u32 uiLast = ring.range.mp_uiFirstIndex + 288;
  const u32 auiLastQuad[6] = {96, 97, 0, 97, 1, 0};
  for (u32 i = 0; i < 6; ++i) EXPECT_EQ(stagingIndex(uiLast + i), uiFirst + auiLastQuad[i]);
  ClDynamicGeometry::unlockBuffers();

  EXPECT_KV_ASSERT(ClDynamicGeometryHelper::drawAtlasEntry(0, &entry, {0, 0}, {0, 0}, 0, pSig, 0, 0.0f, 0),
                   "KvMath::abs(cfTexelScaleToWorld) > KV_EPSILON");
  EXPECT_KV_ASSERT(ClDynamicGeometryHelper::drawCircle({0, 0}, 1, 2, 0, 0, nullptr, 0, 0, 1, 0), "cpSig");
}

}  // namespace
