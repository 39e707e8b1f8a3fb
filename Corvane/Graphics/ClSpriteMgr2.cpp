#include "Corvane/Graphics/ClSpriteMgr2.h"

#include <algorithm>

#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/ClJobMgr.h"
#include "Corvane/System/ClTaskMgr.h"
#include "Corvane/System/KvDebug.h"

kv_vector4 ClSpriteMgr::mp_stagingQuad[8] = {};
i32 ClSpriteMgr::mp_iNumQuadSprites[2] = {};
i32 ClSpriteMgr::mp_iNumLineSprites[2] = {};
i32 ClSpriteMgr::mp_iNumSprites[2] = {};
i32 ClSpriteMgr::mp_iNumLineSpritesEx[2] = {};
i32 ClSpriteMgr::mp_iRecordsWorthSharing = gc_iSPRITE_RECORDS_WORTH_SHARING;
SQuadSprite ClSpriteMgr::mp_aQuadSprites[2][MAX_QUAD_SPRITES];
SLineSprite ClSpriteMgr::mp_aLineSprites[2][MAX_LINE_SPRITES];
SSprite ClSpriteMgr::mp_aSprites[2][MAX_SPRITES];
SLineSpriteEx ClSpriteMgr::mp_aLineSpritesEx[2][MAX_LINE_SPRITES_EX];
// The job-record pools are engine globals (Program/KvEngineGlobals_Win32.cpp).

namespace {

constexpr i32 gc_iMAX_VERTS_PER_RECORD = 8;
constexpr i32 gc_iMAX_INDEXES_PER_RECORD = 18;
constexpr u32 gc_auiQuadPattern[6] = {0, 1, 2, 1, 3, 2};
constexpr u32 gc_auiCappedPattern[18] = {0, 1, 2, 1, 3, 2, 2, 3, 4, 3, 5, 4, 4, 5, 6, 5, 7, 6};
constexpr f32 gc_afCappedV[8] = {0.0f, 1.0f, 0.0f, 1.0f, 0.0f, 1.0f, 0.0f, 1.0f};
constexpr f32 gc_afCappedU[8] = {0.0f, 0.0f, 0.5f, 0.5f, 0.5f, 0.5f, 1.0f, 1.0f};

i32 writeBuffer() { return 1 - ClGraphics::getCurCPUBuffer(); }

kv_vector3 normalizedUnlessZero(const kv_vector3& v) {
  const f32 fLengthSquared = v.lengthSquared();
  return fLengthSquared > 0.0f ? v * (1.0f / KvMath::sqrt(fLengthSquared)) : v;
}

// What a task routine wrote for one record.
struct SRecordGeometry {
  i32 iVerts;
  i32 iIndexes;
  f32 fDepth;
};

void setVertex(SDynamicGeometryVertex* pVertex, const kv_vector3& p, u32 uiColor, f32 u, f32 v, f32 nx = 0.0f) {
  *pVertex = SDynamicGeometryVertex{p.x, p.y, p.z, uiColor, nx, 0.0f, 0.0f, u, v};
}

void writeIndexes(u32* pIndexes, u32 uiFirstVertex, const u32* pPattern, i32 iCount) {
  for (i32 i = 0; i < iCount; ++i) pIndexes[i] = uiFirstVertex + pPattern[i];
}

// The end cap's offset at one end of a ribbon: across the ribbon as seen from the eye, fHalfWidth long, against
// the direction from A to B (the cap at B is subtracted, so both point away from the ribbon).
kv_vector3 capOffset(const kv_vector3& vEye, const kv_vector3& vEnd, const kv_vector3& vSide, const kv_vector3& vAlong,
                     f32 fHalfWidth) {
  const kv_vector3 vCap = normalizedUnlessZero((vEye - vEnd).cross(vSide));
  return vCap * (vCap.dot(vAlong) > 0.0f ? -fHalfWidth : fHalfWidth);
}

// The ribbon from A to B, half-width hA at A and hB at B, turned to the eye; capped or not. With bProjective, the
// extended line's projective coordinate q = hA / hB goes into the normal's x of the A end (1 at the B end) and
// replaces the v of vertices 1 and 3. Returns the counts and the depth (squared distance from the eye to the
// middle).
SRecordGeometry writeRibbon(SDynamicGeometryVertex* pVerts, u32* pIndexes, u32 uiFirstVertex, const kv_vector3& vEye,
                            const kv_vector3& vA, const kv_vector3& vB, f32 fHalfA, f32 fHalfB, u32 uiColorA,
                            u32 uiColorB, bool bCapped, bool bProjective) {
  const kv_vector3 vD = vB - vA;
  const kv_vector3 vSide = normalizedUnlessZero((vB - vEye).cross(vA - vEye));
  const kv_vector3 vSideA = vSide * fHalfA;
  const kv_vector3 vSideB = vSide * fHalfB;
  const kv_vector3 vMid = vA + vD * 0.5f;
  const f32 fDepth = (vEye - vMid).lengthSquared();
  if (!bCapped) {
    setVertex(&pVerts[0], vA + vSideA, uiColorA, 0.0f, 0.0f);
    setVertex(&pVerts[1], vA - vSideA, uiColorA, 0.0f, 1.0f);
    setVertex(&pVerts[2], vB + vSideB, uiColorB, 1.0f, 0.0f);
    setVertex(&pVerts[3], vB - vSideB, uiColorB, 1.0f, 1.0f);
    writeIndexes(pIndexes, uiFirstVertex, gc_auiQuadPattern, 6);
    return {4, 6, fDepth};
  }
  const kv_vector3 vCapA = capOffset(vEye, vA, vSideA, vD, fHalfA);
  const kv_vector3 vCapB = capOffset(vEye, vB, vSideB, vD, fHalfB);
  const kv_vector3 aPositions[8] = {vA + vSideA + vCapA, vA - vSideA + vCapA, vA + vSideA, vA - vSideA,
                                    vB + vSideB,         vB - vSideB,         vB + vSideB - vCapB, vB - vSideB - vCapB};
  // A zero width at B would make q infinite: the ribbon then goes without it.
  const f32 fQ = fHalfB != 0.0f ? fHalfA / fHalfB : 1.0f;
  for (i32 i = 0; i < 8; ++i) {
    const bool bEndA = i < 4;
    f32 fV = gc_afCappedV[i];
    f32 fNormalX = 0.0f;
    if (bProjective) {
      fNormalX = bEndA ? fQ : 1.0f;
      if (bEndA && fV == 1.0f) fV = fQ;
    }
    setVertex(&pVerts[i], aPositions[i], bEndA ? uiColorA : uiColorB, gc_afCappedU[i], fV, fNormalX);
  }
  writeIndexes(pIndexes, uiFirstVertex, gc_auiCappedPattern, 18);
  return {8, 18, fDepth};
}

kv_vector3 eyeFor(const SSpriteTask& task, SSpriteViewpoint pViewpoint) {
  return pViewpoint != nullptr ? pViewpoint[1].xyz() : task.mp_vEye.xyz();
}

SRecordGeometry buildRecord(const SSpriteTask& task, const SLineSprite& record, SDynamicGeometryVertex* pVerts,
                            u32* pIndexes) {
  return writeRibbon(pVerts, pIndexes, task.mp_uiNextVertex, eyeFor(task, record.mp_pViewpoint), record.mp_vA.xyz(),
                     record.mp_vB.xyz(), record.mp_fHalfWidth, record.mp_fHalfWidth, record.mp_uiColor,
                     record.mp_uiColor, record.mp_bCapped != 0, false);
}

SRecordGeometry buildRecord(const SSpriteTask& task, const SLineSpriteEx& record, SDynamicGeometryVertex* pVerts,
                            u32* pIndexes) {
  if (record.mp_uiType != 0) {
    KV_FATAL("Unsupported extended line Sprite type");
  }
  return writeRibbon(pVerts, pIndexes, task.mp_uiNextVertex, eyeFor(task, record.mp_pViewpoint), record.mp_vA.xyz(),
                     record.mp_vB.xyz(), record.mp_fHalfWidthA, record.mp_fHalfWidthB, record.mp_uiColorA,
                     record.mp_uiColorB, true, true);
}

SRecordGeometry buildRecord(const SSpriteTask& task, const SSprite& record, SDynamicGeometryVertex* pVerts,
                            u32* pIndexes) {
  const kv_vector3 vEye = eyeFor(task, record.mp_pViewpoint);
  const kv_vector3 vCentre = record.mp_vCentre.xyz();
  const f32 fHalf = record.mp_fSize * 0.5f;
  const kv_vector3 vView = normalizedUnlessZero(vEye - vCentre);
  const kv_vector3 vRight = normalizedUnlessZero(vView.cross(task.mp_vUp.xyz()));
  const kv_vector3 vX = vRight * fHalf;
  const kv_vector3 vY = vRight.cross(vView) * fHalf;
  setVertex(&pVerts[0], vCentre + vY + vX, record.mp_uiColor, 0.0f, 0.0f);
  setVertex(&pVerts[1], vCentre - vY + vX, record.mp_uiColor, 0.0f, 1.0f);
  setVertex(&pVerts[2], vCentre + vY - vX, record.mp_uiColor, 1.0f, 0.0f);
  setVertex(&pVerts[3], vCentre - vY - vX, record.mp_uiColor, 1.0f, 1.0f);
  writeIndexes(pIndexes, task.mp_uiNextVertex, gc_auiQuadPattern, 6);
  return {4, 6, record.mp_fDepthBias + (vEye - vCentre).lengthSquared()};
}

// The records of the current buffer of each kind.
const SLineSprite* currentRecords(const SLineSprite*) { return ClSpriteMgr::mp_aLineSprites[ClGraphics::getCurCPUBuffer()]; }
const SSprite* currentRecords(const SSprite*) { return ClSpriteMgr::mp_aSprites[ClGraphics::getCurCPUBuffer()]; }
const SLineSpriteEx* currentRecords(const SLineSpriteEx*) {
  return ClSpriteMgr::mp_aLineSpritesEx[ClGraphics::getCurCPUBuffer()];
}

// A task: its records in index-list order, each written at the cursors, which then move on.
template <typename TRecord>
void runTask(void* pTaskData) {
  SSpriteTask& task = *static_cast<SSpriteTask*>(pTaskData);
  const TRecord* pRecords = currentRecords(static_cast<const TRecord*>(nullptr));
  for (i32 i = 0; i < task.mp_iNumRecords; ++i) {
    const TRecord& record = pRecords[task.mp_puiIndexList[i]];
    const SRecordGeometry geometry = buildRecord(task, record, task.mp_pVertexCursor, task.mp_pIndexCursor);
    *task.mp_pRanges = SDynamicGeometryRange{task.mp_uiNextIndexSlot, static_cast<u32>(geometry.iIndexes)};
    *task.mp_puiFlags = record.mp_uiFlags & task.mp_uiFlagMask;
    *task.mp_ppSignatures = record.mp_pSignature;
    *task.mp_puiBatchIds = reinterpret_cast<std::uintptr_t>(record.mp_pViewpoint);
    *task.mp_pfDepths = geometry.fDepth;
    task.mp_pVertexCursor += geometry.iVerts;
    task.mp_pIndexCursor += geometry.iIndexes;
    task.mp_uiNextIndexSlot += static_cast<u32>(geometry.iIndexes);
    task.mp_uiNextVertex += static_cast<u32>(geometry.iVerts);
    ++task.mp_puiFlags;
    ++task.mp_pRanges;
    ++task.mp_pfDepths;
    ++task.mp_ppSignatures;
    ++task.mp_puiBatchIds;
  }
}

// The dispatch of every kind: the selected records of the current buffer, one reservation for all of them, and
// tasks that each take a slice of both.
template <typename TRecord>
void dispatch(void* pUserData, ClJob* hJob, i32 iCount) {
  KV_ASSERT_MSG(pUserData != nullptr, "pData");
  KV_ASSERT_MSG(hJob != nullptr, "pJob");
  SSpriteJobData& data = *static_cast<SSpriteJobData*>(pUserData);
  data.mp_hJob = hJob;
  const TRecord* pRecords = currentRecords(static_cast<const TRecord*>(nullptr));
  i32 iTaken = 0;
  for (i32 i = 0; i < iCount; ++i) {
    if ((pRecords[i].mp_uiFlags & data.mp_uiSelectFlags) == data.mp_uiSelectFlags) {
      data.mp_auiIndexList[iTaken++] = static_cast<u32>(i);
    }
  }
  SDynamicGeometryAlloc alloc{};
  if (iTaken > 0) {
    ClDynamicGeometry::reserve(iTaken, gc_iMAX_VERTS_PER_RECORD * iTaken, gc_iMAX_INDEXES_PER_RECORD * iTaken, &alloc);
  }
  if (iTaken == 0 || alloc.mp_pVerts == nullptr) {
    ClJobMgr::finishJob(hJob);
    return;
  }
  data.mp_taskPool.initialize();
  auto takeTask = [&](i32 iFirst, i32 iNumRecords) -> SSpriteTask* {
    SSpriteTask& task = *data.mp_taskPool.alloc();
    task.mp_uiSelectFlags = data.mp_uiSelectFlags;
    task.mp_uiFlagMask = data.mp_uiFlagMask;
    task.mp_vEye = data.mp_vEye;
    task.mp_vUp = data.mp_vUp;
    task.mp_iNumRecords = iNumRecords;
    task.mp_puiIndexList = data.mp_auiIndexList + iFirst;
    task.mp_pVertexCursor = alloc.mp_pVerts + gc_iMAX_VERTS_PER_RECORD * iFirst;
    task.mp_pIndexCursor = alloc.mp_pIndexes + gc_iMAX_INDEXES_PER_RECORD * iFirst;
    task.mp_uiNextIndexSlot = alloc.mp_uiFirstIndex + static_cast<u32>(gc_iMAX_INDEXES_PER_RECORD * iFirst);
    task.mp_uiNextVertex = alloc.mp_uiFirstVertex + static_cast<u32>(gc_iMAX_VERTS_PER_RECORD * iFirst);
    task.mp_puiFlags = alloc.mp_puiFlags + iFirst;
    task.mp_pRanges = alloc.mp_pRanges + iFirst;
    task.mp_pfDepths = alloc.mp_pfDepths + iFirst;
    task.mp_ppSignatures = alloc.mp_ppSignatures + iFirst;
    task.mp_puiBatchIds = alloc.mp_puiUserWords + iFirst;
    return &task;
  };
  // Too few records to be worth waking workers for: one task, run here.
  if (iTaken < ClSpriteMgr::mp_iRecordsWorthSharing) {
    ClJobMgr::runTaskOnThisThread(hJob, takeTask(0, iTaken));
    return;
  }
  const i32 iChunk = ClSpriteMgr::taskChunkSize(iTaken, std::max(ClTaskMgr::getNumLogicalProcessors(), 2));
  SSpriteTask* apTasks[gc_iSPRITE_JOB_MAX_TASKS];
  i32 iTasks = 0;
  for (i32 iFirst = 0; iFirst < iTaken; iFirst += iChunk) {
    apTasks[iTasks++] = takeTask(iFirst, std::min(iChunk, iTaken - iFirst));
  }
  for (i32 i = 0; i < iTasks; ++i) {
    ClJobMgr::startTask(hJob, apTasks[i]);
  }
}

void giveBack(ClPool<SSpriteJobData, gc_iSPRITE_JOB_POOL_SIZE>& pool, void* pUserData) {
  KV_ASSERT_MSG(pUserData != nullptr, "pData");
  pool.free(static_cast<SSpriteJobData*>(pUserData));
}

void emptyPool(ClPool<SSpriteJobData, gc_iSPRITE_JOB_POOL_SIZE>& pool) {
  while (pool.getCount() > 0) {
    pool.free(pool.get(pool.getCount() - 1));
  }
}

}  // namespace

i32 ClSpriteMgr::taskChunkSize(i32 iNumRecords, i32 iNumWorkers) {
  i32 iChunk = iNumRecords < iNumWorkers ? iNumRecords : iNumRecords / iNumWorkers;
  iChunk = std::max(iChunk, 1);
  if ((iNumRecords + iChunk - 1) / iChunk > gc_iSPRITE_JOB_MAX_TASKS) {
    iChunk = (iNumRecords + gc_iSPRITE_JOB_MAX_TASKS - 1) / gc_iSPRITE_JOB_MAX_TASKS;
  }
  return iChunk;
}

void ClSpriteMgr::setStagingQuad(const kv_vector4 (&avQuad)[8]) {
  for (i32 i = 0; i < 8; ++i) {
    mp_stagingQuad[i] = avQuad[i];
  }
}

void ClSpriteMgr::addQuadSprite(u32 uiColor, const SRenderSignature* pSignature) {
  KvCheckPointer(pSignature);
  const i32 iBuffer = writeBuffer();
  i32& iCount = mp_iNumQuadSprites[iBuffer];
  if (iCount + 1 >= MAX_QUAD_SPRITES) {
    return;
  }
  SQuadSprite& sprite = mp_aQuadSprites[iBuffer][iCount++];
  for (i32 i = 0; i < 4; ++i) {
    sprite.mp_avCorners[i] = mp_stagingQuad[i];
    sprite.mp_avTexCoords[i] = mp_stagingQuad[4 + i];
  }
  // Both are written so that the depth order of the world batch never depends on an earlier frame's sprite.
  sprite.mp_vNormal = kv_vector4{0.0f, 0.0f, 0.0f, 0.0f};
  sprite.mp_fDepth = 0.0f;
  sprite.mp_pSignature = pSignature;
  sprite.mp_uiColor = uiColor;
  sprite.mp_uiFlags = gc_uiSPRITE_FLAGS;
  sprite.mp_uiBatchId = 0;
}

void ClSpriteMgr::AddQuad(const kv_vector4* pPosition, const kv_vector4* pNormal, const kv_vector4* pWidthDir,
                          f32 fWidth, f32 fLength, u32 uiColor, const SRenderSignature* pSignature, f32 fDepth) {
  KvCheckPointer(pSignature);
  const kv_vector3 vNormal = pNormal->xyz();
  const kv_vector3 vWidthDir = pWidthDir->xyz();
  KV_ASSERT_MSG(KvMath::isNormalLoose(vNormal), "Normal must be a normalized vector!");
  KV_ASSERT_MSG(KvMath::isNormalLoose(vWidthDir), "WidthDir must be a normalized vector!");
  const i32 iBuffer = writeBuffer();
  i32& iCount = mp_iNumQuadSprites[iBuffer];
  if (iCount + 1 >= MAX_QUAD_SPRITES) {
    KV_FATAL("ClSpriteMgr::AddQuad() -> Out of line quad sprites!");
  }
  SQuadSprite& sprite = mp_aQuadSprites[iBuffer][iCount++];
  const kv_vector3 vP = pPosition->xyz();
  const kv_vector3 vA = vWidthDir.cross(vNormal) * fLength;
  const kv_vector3 vB = vWidthDir * fWidth;
  const kv_vector3 aCorners[4] = {vP, vP + vA, vP + vB, vP + vB + vA};
  const kv_vector4 aTexCoords[4] = {{0, 0, 0, 0}, {0, 1, 0, 0}, {1, 0, 0, 0}, {1, 1, 0, 0}};
  for (i32 i = 0; i < 4; ++i) {
    sprite.mp_avCorners[i] = kv_vector4::from(aCorners[i], 1.0f);
    sprite.mp_avTexCoords[i] = aTexCoords[i];
  }
  sprite.mp_vNormal = kv_vector4::from(vNormal);
  sprite.mp_pSignature = pSignature;
  sprite.mp_uiColor = uiColor;
  sprite.mp_uiFlags = gc_uiSPRITE_FLAGS;
  sprite.mp_uiBatchId = 0;
  sprite.mp_fDepth = fDepth;
}

void ClSpriteMgr::initLineSpriteJobPool() {
  mp_lineSpriteJobPool.initialize();
  ClJobMgr::m_aBuiltInJobTypes[E_SPRITE_JOB_LINE] = {&dispatchLineSpriteTasks, &lineSpriteTask,
                                                     &lineSpriteJobFinished};
}

void ClSpriteMgr::initSpriteJobPool() {
  mp_spriteJobPool.initialize();
  ClJobMgr::m_aBuiltInJobTypes[E_SPRITE_JOB_SPRITE] = {&dispatchSpriteTasks, &spriteTask, &spriteJobFinished};
}

void ClSpriteMgr::initLineSpriteExJobPool() {
  mp_lineSpriteExJobPool.initialize();
  ClJobMgr::m_aBuiltInJobTypes[E_SPRITE_JOB_LINE_EX] = {&dispatchLineSpriteExTasks, &lineSpriteExTask,
                                                        &lineSpriteExJobFinished};
}

void ClSpriteMgr::termLineSpriteJobPool() { emptyPool(mp_lineSpriteJobPool); }
void ClSpriteMgr::termSpriteJobPool() { emptyPool(mp_spriteJobPool); }
void ClSpriteMgr::termLineSpriteExJobPool() { emptyPool(mp_lineSpriteExJobPool); }

void ClSpriteMgr::renderQuadSprites() {
  const i32 iBuffer = ClGraphics::getCurCPUBuffer();
  for (i32 i = 0; i < mp_iNumQuadSprites[iBuffer]; ++i) {
    const SQuadSprite& sprite = mp_aQuadSprites[iBuffer][i];
    SDynamicGeometryAlloc alloc;
    ClDynamicGeometry::reserve(1, 4, 6, &alloc);
    if (alloc.mp_pVerts == nullptr) {
      continue;
    }
    for (i32 k = 0; k < 4; ++k) {
      const kv_vector4& p = sprite.mp_avCorners[k];
      const kv_vector4& n = sprite.mp_vNormal;
      alloc.mp_pVerts[k] = SDynamicGeometryVertex{p.x, p.y, p.z, sprite.mp_uiColor, n.x, n.y, n.z,
                                                  sprite.mp_avTexCoords[k].x, sprite.mp_avTexCoords[k].y};
    }
    ClDynamicGeometry::setQuadIndexes(alloc.mp_pIndexes, alloc.mp_uiFirstVertex, true);
    ClDynamicGeometry::setElement(alloc, 0, alloc.mp_uiFirstIndex, 6, sprite.mp_uiFlags, sprite.mp_pSignature,
                                  sprite.mp_fDepth, sprite.mp_uiBatchId);
  }
}

void ClSpriteMgr::runSpriteJobs(const kv_vector4& vEye, const kv_vector4& vUp) {
  struct SPost {
    ClPool<SSpriteJobData, gc_iSPRITE_JOB_POOL_SIZE>* pPool;
    i32 iJobType;
    const char* pAssertion;
    ClJob* hJob;
  };
  SPost aPosts[] = {{&mp_spriteJobPool, E_SPRITE_JOB_SPRITE, "pJobSpriteData", nullptr},
                    {&mp_lineSpriteExJobPool, E_SPRITE_JOB_LINE_EX, "pJobLineSpriteExData", nullptr},
                    {&mp_lineSpriteJobPool, E_SPRITE_JOB_LINE, "pJobLineSpriteData", nullptr}};
  for (SPost& post : aPosts) {
    SSpriteJobData* pData = post.pPool->isFull() ? nullptr : post.pPool->alloc();
    KV_ASSERT_MSG(pData != nullptr, post.pAssertion);
    pData->mp_uiSelectFlags = gc_uiSPRITE_FLAGS;
    pData->mp_uiFlagMask = 0xFFFFFFFFu;
    pData->mp_vEye = vEye;
    pData->mp_vUp = vUp;
    ClJobMgr::addJob(post.iJobType, pData, &post.hJob);
  }
  for (SPost& post : aPosts) {
    ClJobMgr::waitForJob(post.hJob);
    if (post.hJob != nullptr) {
      ClJobMgr::waitForJob(post.hJob);
      KvAlignedFree(post.hJob);
      ClJobMgr::removeJob(post.hJob);
    }
  }
}

void ClSpriteMgr::clearBuffer(i32 iBuffer) {
  mp_iNumQuadSprites[iBuffer] = 0;
  mp_iNumLineSprites[iBuffer] = 0;
  mp_iNumSprites[iBuffer] = 0;
  mp_iNumLineSpritesEx[iBuffer] = 0;
}

void ClSpriteMgr::clearCurrentBuffer() { clearBuffer(ClGraphics::getCurCPUBuffer()); }

void ClSpriteMgr::clearWrittenBuffer() { clearBuffer(writeBuffer()); }

void ClSpriteMgr::dispatchLineSpriteTasks(void* pUserData, ClJob* hJob) {
  dispatch<SLineSprite>(pUserData, hJob, mp_iNumLineSprites[ClGraphics::getCurCPUBuffer()]);
}
void ClSpriteMgr::lineSpriteTask(void* pTaskData) { runTask<SLineSprite>(pTaskData); }
void ClSpriteMgr::lineSpriteJobFinished(void* pUserData) { giveBack(mp_lineSpriteJobPool, pUserData); }

void ClSpriteMgr::dispatchSpriteTasks(void* pUserData, ClJob* hJob) {
  dispatch<SSprite>(pUserData, hJob, mp_iNumSprites[ClGraphics::getCurCPUBuffer()]);
}
void ClSpriteMgr::spriteTask(void* pTaskData) { runTask<SSprite>(pTaskData); }
void ClSpriteMgr::spriteJobFinished(void* pUserData) { giveBack(mp_spriteJobPool, pUserData); }

void ClSpriteMgr::dispatchLineSpriteExTasks(void* pUserData, ClJob* hJob) {
  dispatch<SLineSpriteEx>(pUserData, hJob, mp_iNumLineSpritesEx[ClGraphics::getCurCPUBuffer()]);
}
void ClSpriteMgr::lineSpriteExTask(void* pTaskData) { runTask<SLineSpriteEx>(pTaskData); }
void ClSpriteMgr::lineSpriteExJobFinished(void* pUserData) { giveBack(mp_lineSpriteExJobPool, pUserData); }
