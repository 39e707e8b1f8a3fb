// The sprite manager: the quad sprites' limits, geometry and defined depth, their elements; the split of sprite jobs
// into tasks; line, billboard and extended line sprites built by the task workers.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/ClJobMgr.h"
#include "Corvane/System/ClTaskMgr.h"
#include "Tests/Corvane/GraphicsGeometry/GeometryTestSupport.h"

namespace {

class SpriteMgrTest : public GeometryTest {
 protected:
  // The buffer the game writes now, and the one the worker reads.
  static i32 writeBuffer() { return 1 - ClGraphics::getCurCPUBuffer(); }
  static i32 readBuffer() { return ClGraphics::getCurCPUBuffer(); }
  // Makes the written buffer the one the worker reads, as the hand-over does.
  static void flip() { ClGraphics::mp_iCurCPUBuffer.store(1 - ClGraphics::mp_iCurCPUBuffer.load()); }
  static kv_vector3 position(u32 uiVertex) {
    const SDynamicGeometryVertex& v = vertex(uiVertex);
    return {v.x, v.y, v.z};
  }
  static void expectNear(const kv_vector3& a, const kv_vector3& b, const char* pWhat) {
    EXPECT_NEAR(a.x, b.x, 1e-4f) << pWhat;
    EXPECT_NEAR(a.y, b.y, 1e-4f) << pWhat;
    EXPECT_NEAR(a.z, b.z, 1e-4f) << pWhat;
  }
};

// 1999 quad sprites fit a buffer; the 2000th is dropped by addQuadSprite and fatal through AddQuad. AddQuad builds
// its corners from the width direction and the normal; a normal 1.03 long passes, 1.05 does not.
TEST_F(SpriteMgrTest, QuadSpriteLimitsGeometryAndNormalChecks) {
  const SRenderSignature* pSig = colorSignature();
  const kv_vector4 vP{1, 2, 3, 1};
  const kv_vector4 vN{0, 0, -1, 0};
  const kv_vector4 vW{1, 0, 0, 0};
  ClSpriteMgr::AddQuad(&vP, &vN, &vW, 4.0f, 10.0f, 0xFF00FF00u, pSig, -1.0f);
  const SQuadSprite& quad = ClSpriteMgr::mp_aQuadSprites[writeBuffer()][0];
  // a = (W x N) * 10 = (0, 10, 0); b = W * 4.
  const kv_vector3 aExpected[4] = {{1, 2, 3}, {1, 12, 3}, {5, 2, 3}, {5, 12, 3}};
  const kv_vector4 aUV[4] = {{0, 0, 0, 0}, {0, 1, 0, 0}, {1, 0, 0, 0}, {1, 1, 0, 0}};
  for (i32 i = 0; i < 4; ++i) {
    EXPECT_EQ(quad.mp_avCorners[i].xyz(), aExpected[i]) << i;
    EXPECT_EQ(quad.mp_avTexCoords[i], aUV[i]) << i;
  }
  EXPECT_EQ(quad.mp_fDepth, -1.0f);
  EXPECT_EQ(quad.mp_uiFlags, 0x100000u);
  EXPECT_EQ(quad.mp_vNormal.xyz(), (kv_vector3{0, 0, -1}));

  const kv_vector4 vLong103{0, 0, -1.03f, 0};
  const kv_vector4 vLong105{0, 0, -1.05f, 0};
  ClSpriteMgr::AddQuad(&vP, &vLong103, &vW, 1.0f, 1.0f, 0, pSig, 0.0f);
  EXPECT_KV_ASSERT(ClSpriteMgr::AddQuad(&vP, &vLong105, &vW, 1.0f, 1.0f, 0, pSig, 0.0f),
                   "Normal must be a normalized vector!");
  EXPECT_KV_ASSERT(ClSpriteMgr::AddQuad(&vP, &vN, &vLong105, 1.0f, 1.0f, 0, pSig, 0.0f),
                   "WidthDir must be a normalized vector!");

  // addQuadSprite writes a defined normal and depth over whatever the slot held.
  ClSpriteMgr::mp_iNumQuadSprites[writeBuffer()] = 0;
  kv_vector4 avQuad[8] = {};
  for (i32 i = 0; i < 4; ++i) avQuad[i] = kv_vector4{static_cast<f32>(i), 0, 0, 1};
  ClSpriteMgr::setStagingQuad(avQuad);
  ClSpriteMgr::addQuadSprite(0xFFFFFFFFu, pSig);
  EXPECT_EQ(quad.mp_fDepth, 0.0f);
  EXPECT_EQ(quad.mp_vNormal.xyz(), (kv_vector3{0, 0, 0}));
  EXPECT_EQ(quad.mp_avCorners[3].x, 3.0f);

  for (i32 i = 1; i < 1999; ++i) ClSpriteMgr::addQuadSprite(0xFFFFFFFFu, pSig);
  EXPECT_EQ(ClSpriteMgr::mp_iNumQuadSprites[writeBuffer()], 1999);
  ClSpriteMgr::addQuadSprite(0xFFFFFFFFu, pSig);
  EXPECT_EQ(ClSpriteMgr::mp_iNumQuadSprites[writeBuffer()], 1999) << "the 2000th is dropped";
  EXPECT_KV_FATAL(ClSpriteMgr::AddQuad(&vP, &vN, &vW, 1.0f, 1.0f, 0, pSig, 0.0f),
                  "ClSpriteMgr::AddQuad() -> Out of line quad sprites!");
  EXPECT_KV_FATAL(ClSpriteMgr::addQuadSprite(0, nullptr), "NULL Pointer!");
}

// The worker turns the buffer it reads into elements: corners, colour, normal and texture coordinates per vertex,
// the zigzag indices, the record's flags, batch and depth; the counts are cleared after the frame.
TEST_F(SpriteMgrTest, QuadSpritesBecomeElements) {
  const SRenderSignature* pSig = colorSignature();
  const kv_vector4 vP{10, 20, 30, 1};
  const kv_vector4 vN{0, 1, 0, 0};
  const kv_vector4 vW{1, 0, 0, 0};
  ClSpriteMgr::AddQuad(&vP, &vN, &vW, 2.0f, 3.0f, 0xFF112233u, pSig, 4.5f);
  ClSpriteMgr::AddQuad(&vP, &vN, &vW, 2.0f, 3.0f, 0xFF112233u, pSig, 5.5f);
  flip();
  ClDynamicGeometry::beginFrame();
  ClSpriteMgr::renderQuadSprites();
  ASSERT_EQ(ClDynamicGeometry::getNumElements(), 2);
  const SQuadSprite& quad = ClSpriteMgr::mp_aQuadSprites[readBuffer()][1];
  for (u32 k = 0; k < 4; ++k) {
    expectNear(position(4 + k), quad.mp_avCorners[k].xyz(), "corner");
    EXPECT_EQ(vertex(4 + k).color, 0xFF112233u);
    EXPECT_EQ(vertex(4 + k).ny, 1.0f);
    EXPECT_EQ(vertex(4 + k).u, quad.mp_avTexCoords[k].x);
    EXPECT_EQ(vertex(4 + k).v, quad.mp_avTexCoords[k].y);
  }
  const SElement e = element(1);
  EXPECT_EQ(e.uiFlags, 0x100000u);
  EXPECT_EQ(e.fDepth, 5.5f);
  EXPECT_EQ(e.range.mp_uiNumIndices, 6u);
  const u32 auiZigZag[6] = {4, 5, 6, 5, 7, 6};
  for (u32 i = 0; i < 6; ++i) EXPECT_EQ(stagingIndex(e.range.mp_uiFirstIndex + i), auiZigZag[i]);
  ClDynamicGeometry::unlockBuffers();
  ClSpriteMgr::clearCurrentBuffer();
  EXPECT_EQ(ClSpriteMgr::mp_iNumQuadSprites[readBuffer()], 0);
}

// Jobs split their records into tasks: fewer records than workers make one task, else records / workers each, and
// never more tasks than the pool of 32 holds.
TEST(SpriteJobSplit, ChunksFollowTheWorkersAndStayWithinThePool) {
  const auto taskSizes = [](i32 n, i32 w) {
    std::vector<i32> sizes;
    const i32 iChunk = ClSpriteMgr::taskChunkSize(n, w);
    for (i32 iFirst = 0; iFirst < n; iFirst += iChunk) sizes.push_back(std::min(iChunk, n - iFirst));
    return sizes;
  };
  EXPECT_EQ(taskSizes(5, 4), (std::vector<i32>{1, 1, 1, 1, 1}));
  EXPECT_EQ(taskSizes(9, 4), (std::vector<i32>{2, 2, 2, 2, 1}));
  EXPECT_EQ(taskSizes(3, 4), (std::vector<i32>{3}));
  EXPECT_EQ(taskSizes(99, 32).size(), 25u) << "33 tasks of 3 would overflow the pool: chunks of 4";
  EXPECT_EQ(taskSizes(10000, 64).size(), 32u);
  EXPECT_EQ(taskSizes(10000, 2), (std::vector<i32>{5000, 5000}));
}

// The three jobs on the task workers (four of them counted, every job shared however small): every selected record
// becomes its element facing the eye, in slices that do not overlap; records without the world flag are left out;
// empty arrays reserve nothing.
TEST_F(SpriteMgrTest, SpriteJobsBuildCameraFacingGeometryOnTheWorkers) {
  const SRenderSignature* pSig = colorSignature();
  ClJobMgr::initialize();
  const i32 iSavedProcessors = ClTaskMgr::m_iNumLogicalProcessors;
  ClTaskMgr::m_iNumLogicalProcessors = 4;
  ClSpriteMgr::mp_iRecordsWorthSharing = 0;
  const i32 b = writeBuffer();
  // Nine billboards along x, one without the world flag.
  for (i32 i = 0; i < 9; ++i) {
    SSprite& sprite = ClSpriteMgr::mp_aSprites[b][i];
    sprite = SSprite{};
    sprite.mp_vCentre = kv_vector4{static_cast<f32>(10 * i), 0, 0, 1};
    sprite.mp_pSignature = pSig;
    sprite.mp_fSize = 2.0f;
    sprite.mp_uiColor = 0xFF000000u | static_cast<u32>(i);
    sprite.mp_uiFlags = i == 4 ? 0u : 0x100000u;
    sprite.mp_fDepthBias = 1.0f;
  }
  ClSpriteMgr::mp_iNumSprites[b] = 9;
  // The last billboard faces a viewpoint of its own (a position straight above it) instead of the eye; its element
  // keeps the viewpoint's address (a full pointer) as its user word.
  static const kv_vector4 s_aViewpoint[2] = {{0, 0, 0, 0}, {80, 10, 0, 1}};
  ClSpriteMgr::mp_aSprites[b][8].mp_pViewpoint = s_aViewpoint;
  // A capped and an uncapped line along x, and an extended line.
  const SLineSprite capped{{0, 0, 0, 1}, {10, 0, 0, 1}, 0xFFAA0000u, pSig, 1.0f, 0x100000u, nullptr, 1};
  ClSpriteMgr::mp_aLineSprites[b][0] = capped;
  ClSpriteMgr::mp_aLineSprites[b][1] = capped;
  ClSpriteMgr::mp_aLineSprites[b][1].mp_bCapped = 0;
  ClSpriteMgr::mp_iNumLineSprites[b] = 2;
  ClSpriteMgr::mp_aLineSpritesEx[b][0] =
      SLineSpriteEx{{0, 0, 0, 1}, {10, 0, 0, 1}, 0, 0xFF0000AAu, 0xFF00AA00u, 2.0f, 1.0f, pSig, 0x100000u, nullptr};
  ClSpriteMgr::mp_iNumLineSpritesEx[b] = 1;
  flip();

  ClDynamicGeometry::beginFrame();
  const kv_vector4 vEye{0, 0, -10, 1};
  const kv_vector4 vUp{0, 1, 0, 0};
  ClSpriteMgr::runSpriteJobs(vEye, vUp);
  EXPECT_EQ(ClSpriteMgr::mp_spriteJobPool.getCount(), 0) << "job records go back when their jobs finish";
  ASSERT_EQ(ClDynamicGeometry::getNumElements(), 8 + 1 + 2) << "billboards, the extended line, the lines";

  // Billboards come first (their job is posted first), in record order; each faces the eye.
  for (i32 k = 0; k < 7; ++k) {
    const i32 iRecord = k < 4 ? k : k + 1;
    const SElement e = element(k);
    ASSERT_EQ(e.range.mp_uiNumIndices, 6u);
    const u32 uiFirstVertex = stagingIndex(e.range.mp_uiFirstIndex);
    EXPECT_EQ(vertex(uiFirstVertex).color & 0xFFu, static_cast<u32>(iRecord));
    const kv_vector3 vCentre{static_cast<f32>(10 * iRecord), 0, 0};
    kv_vector3 vSum{0, 0, 0};
    for (u32 v = 0; v < 4; ++v) vSum += position(uiFirstVertex + v);
    expectNear(vSum * 0.25f, vCentre, "billboard centre");
    // The quad lies across the view: its corners are as far from the eye's line as the half size allows.
    const kv_vector3 vEdge = position(uiFirstVertex) - position(uiFirstVertex + 2);
    EXPECT_NEAR(vEdge.length(), 2.0f, 1e-4f);
    EXPECT_NEAR(vEdge.dot((vEye.xyz() - vCentre).normalized()), 0.0f, 1e-4f);
    EXPECT_NEAR(e.fDepth, 1.0f + (vEye.xyz() - vCentre).lengthSquared(), 1e-3f);
  }

  const SElement eViewpoint = element(7);
  EXPECT_EQ(eViewpoint.uiUserWord, reinterpret_cast<std::uintptr_t>(s_aViewpoint));
  EXPECT_NEAR(eViewpoint.fDepth, 1.0f + 100.0f, 1e-3f) << "the distance to the viewpoint";
  const u32 uiViewpointVertex = stagingIndex(eViewpoint.range.mp_uiFirstIndex);
  EXPECT_NEAR(position(uiViewpointVertex).y, 0.0f, 1e-4f) << "seen from above, the quad lies flat";
  EXPECT_EQ(element(0).uiUserWord, 0u);

  // The extended line: capped, 8 vertices, colour A at its A end, q = 2 in the normal's x and v at A.
  const SElement eEx = element(8);
  EXPECT_EQ(eEx.range.mp_uiNumIndices, 18u);
  const u32 uiEx = stagingIndex(eEx.range.mp_uiFirstIndex);
  EXPECT_EQ(vertex(uiEx).color, 0xFF0000AAu);
  EXPECT_EQ(vertex(uiEx + 7).color, 0xFF00AA00u);
  EXPECT_EQ(vertex(uiEx + 1).nx, 2.0f);
  EXPECT_EQ(vertex(uiEx + 1).v, 2.0f);
  EXPECT_EQ(vertex(uiEx + 5).nx, 1.0f);
  EXPECT_NEAR(std::fabs(position(uiEx + 2).y - position(uiEx + 3).y), 4.0f, 1e-4f) << "2 half-widths at A";
  EXPECT_NEAR(std::fabs(position(uiEx + 4).y - position(uiEx + 5).y), 2.0f, 1e-4f) << "1 at B";

  // The lines: the capped one reaches past both ends by its half-width, the uncapped one does not.
  const SElement eCapped = element(9);
  const SElement eOpen = element(10);
  EXPECT_EQ(eCapped.range.mp_uiNumIndices, 18u);
  EXPECT_EQ(eOpen.range.mp_uiNumIndices, 6u);
  const u32 uiCapped = stagingIndex(eCapped.range.mp_uiFirstIndex);
  EXPECT_NEAR(position(uiCapped).x, -1.0f, 1e-4f) << "the cap at A points away from B";
  // Seen from the eye at an angle, the cap at B turns: still one half-width long, still away from A.
  EXPECT_NEAR(position(uiCapped + 6).x, 10.0f + std::sqrt(0.5f), 1e-4f) << "the cap at B points away from A";
  EXPECT_NEAR((position(uiCapped + 6) - position(uiCapped + 4)).length(), 1.0f, 1e-4f);
  EXPECT_NEAR(position(uiCapped + 2).x, 0.0f, 1e-4f);
  EXPECT_NEAR(eCapped.fDepth, (vEye.xyz() - kv_vector3{5, 0, 0}).lengthSquared(), 1e-3f);
  EXPECT_EQ(vertex(uiCapped + 2).u, 0.5f);
  const u32 uiOpen = stagingIndex(eOpen.range.mp_uiFirstIndex);
  EXPECT_NEAR(position(uiOpen).x, 0.0f, 1e-4f);
  EXPECT_NEAR(position(uiOpen + 3).x, 10.0f, 1e-4f);
  EXPECT_EQ(vertex(uiOpen + 1).v, 1.0f);
  EXPECT_EQ(vertex(uiOpen).nx, 0.0f) << "plain lines write no projective coordinate";
  ClDynamicGeometry::unlockBuffers();

  // Nothing to draw: the jobs finish at once and reserve nothing.
  ClSpriteMgr::clearCurrentBuffer();
  ClDynamicGeometry::beginFrame();
  ClSpriteMgr::runSpriteJobs(vEye, vUp);
  EXPECT_EQ(ClDynamicGeometry::getNumElements(), 0);
  ClDynamicGeometry::unlockBuffers();
  ClTaskMgr::m_iNumLogicalProcessors = iSavedProcessors;
  ClSpriteMgr::mp_iRecordsWorthSharing = gc_iSPRITE_RECORDS_WORTH_SHARING;
  ClJobMgr::shutdown();
}

// A billboard job below the sharing threshold is built on the calling thread: it is complete, its record given back
// and its elements written when addJob returns. At the threshold it is shared: a shared job completes only once a
// dispatch has retired its tasks, so never inside addJob.
TEST_F(SpriteMgrTest, SpriteJobsTooSmallToShareRunOnTheCallingThread) {
  const SRenderSignature* pSig = colorSignature();
  ClJobMgr::initialize();
  const i32 b = writeBuffer();
  constexpr i32 iRecords = 6;
  for (i32 i = 0; i < iRecords; ++i) {
    ClSpriteMgr::mp_aSprites[b][i] =
        SSprite{{static_cast<f32>(i), 0, 10, 1}, pSig, 1.0f, 0xFFFFFFFFu, 0x100000u, nullptr, 0};
  }
  ClSpriteMgr::mp_iNumSprites[b] = iRecords;
  flip();
  for (const i32 iWorthSharing : {iRecords + 1, iRecords}) {
    ClSpriteMgr::mp_iRecordsWorthSharing = iWorthSharing;
    ClDynamicGeometry::beginFrame();
    SSpriteJobData* pData = ClSpriteMgr::mp_spriteJobPool.alloc();
    pData->mp_uiSelectFlags = 0x100000u;
    pData->mp_uiFlagMask = 0xFFFFFFFFu;
    pData->mp_vEye = kv_vector4{0, 0, 0, 1};
    pData->mp_vUp = kv_vector4{0, 1, 0, 0};
    ClJob* hJob = nullptr;
    ClJobMgr::addJob(E_SPRITE_JOB_SPRITE, pData, &hJob);
    const bool bShared = iWorthSharing <= iRecords;
    EXPECT_EQ(ClJobMgr::isJobComplete(hJob), !bShared) << "threshold " << iWorthSharing;
    EXPECT_EQ(ClSpriteMgr::mp_spriteJobPool.getCount(), bShared ? 1 : 0);
    ClJobMgr::waitForJob(hJob);
    KvAlignedFree(hJob);
    ClJobMgr::removeJob(hJob);
    EXPECT_EQ(ClSpriteMgr::mp_spriteJobPool.getCount(), 0);
    ASSERT_EQ(ClDynamicGeometry::getNumElements(), iRecords);
    for (i32 k = 0; k < iRecords; ++k) {
      EXPECT_EQ(element(k).range.mp_uiNumIndices, 6u);
    }
    ClDynamicGeometry::unlockBuffers();
  }
  ClSpriteMgr::mp_iRecordsWorthSharing = gc_iSPRITE_RECORDS_WORTH_SHARING;
  ClSpriteMgr::clearCurrentBuffer();
  ClJobMgr::shutdown();
}

// A billboard at the eye has no view direction: its quad collapses instead of dividing by zero; an extended line
// of another type is fatal.
TEST_F(SpriteMgrTest, DegenerateRecordsStayFinite) {
  const SRenderSignature* pSig = colorSignature();
  const i32 b = readBuffer();
  SSprite& sprite = ClSpriteMgr::mp_aSprites[b][0];
  sprite = SSprite{};
  sprite.mp_vCentre = kv_vector4{3, 4, 5, 1};
  sprite.mp_pSignature = pSig;
  sprite.mp_fSize = 2.0f;
  sprite.mp_uiFlags = 0x100000u;
  ClSpriteMgr::mp_aLineSpritesEx[b][0] = SLineSpriteEx{};
  ClSpriteMgr::mp_aLineSpritesEx[b][0].mp_uiType = 1;
  std::vector<SDynamicGeometryVertex> vertices(8);
  std::vector<u32> indices(18);
  std::vector<u32> flags(1);
  std::vector<SDynamicGeometryRange> ranges(1);
  std::vector<f32> depths(1);
  std::vector<const SRenderSignature*> signatures(1);
  std::vector<std::uintptr_t> batchIds(1);
  const u32 uiIndex = 0;
  SSpriteTask task{};
  task.mp_vEye = kv_vector4{3, 4, 5, 1};
  task.mp_vUp = kv_vector4{0, 1, 0, 0};
  task.mp_uiFlagMask = 0xFFFFFFFFu;
  task.mp_pVertexCursor = vertices.data();
  task.mp_pIndexCursor = indices.data();
  task.mp_puiFlags = flags.data();
  task.mp_pRanges = ranges.data();
  task.mp_pfDepths = depths.data();
  task.mp_ppSignatures = signatures.data();
  task.mp_puiBatchIds = batchIds.data();
  task.mp_iNumRecords = 1;
  task.mp_puiIndexList = &uiIndex;
  SSpriteTask billboardTask = task;
  ClSpriteMgr::spriteTask(&billboardTask);
  for (i32 i = 0; i < 4; ++i) {
    EXPECT_TRUE(std::isfinite(vertices[i].x) && std::isfinite(vertices[i].y) && std::isfinite(vertices[i].z));
  }
  EXPECT_EQ(depths[0], 0.0f);
  SSpriteTask exTask = task;
  EXPECT_KV_FATAL(ClSpriteMgr::lineSpriteExTask(&exTask), "Unsupported extended line Sprite type");
}

}  // namespace
