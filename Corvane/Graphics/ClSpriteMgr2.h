// The sprite manager: 3D sprites the game thread queues during a frame, turned into dynamic-geometry elements
// (ClDynamicGeometry) on the render worker. Four kinds, each in a fixed array per CPU buffer
// (ClGraphics::getCurCPUBuffer): quad sprites, copied one by one (renderQuadSprites); line, billboard and extended
// line sprites, built facing the camera by jobs on the task workers (runSpriteJobs), each task writing its own
// slice of one reservation.
//
// Threads: the game thread adds into buffer 1 - current, the render worker reads the current one; the frame
// hand-over flips the index, so nothing is locked. runSpriteJobs runs on the render worker while the main thread
// waits for the frame, and its tasks on the task workers while the render worker waits for the jobs. The job-data
// pools are used on the render worker only. Only quad sprites have adders; the other arrays are filled by writing
// their records and counts (the game has no such sprites).
//
// Failures: a quad sprite past the 1999th of a buffer is dropped by addQuadSprite and fatal through AddQuad; a job
// pool with no free record is an assertion naming it.
#pragma once

#include <cstdint>

#include "Corvane/ADT/ClPool.h"
#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/Math/KvMath.h"
#include "Corvane/System/KvTypes.h"

class ClJob;
struct SRenderSignature;

inline constexpr i32 MAX_QUAD_SPRITES = 2000;  // 1999 usable
inline constexpr i32 MAX_LINE_SPRITES = 100;
inline constexpr i32 MAX_SPRITES = 100;
inline constexpr i32 MAX_LINE_SPRITES_EX = 100;
inline constexpr i32 gc_iSPRITE_JOB_MAX_RECORDS = 10000;
inline constexpr i32 gc_iSPRITE_JOB_MAX_TASKS = 32;
// A sprite job with fewer selected records runs as one task on the thread that adds it: building a record
// takes well under a microsecond, so below this count waking a worker costs more than the work it takes off.
inline constexpr i32 gc_iSPRITE_RECORDS_WORTH_SHARING = 128;
inline constexpr i32 gc_iSPRITE_JOB_POOL_SIZE = 4;
// The flag word of every quad sprite and the selection of every sprite job: the world's batch.
inline constexpr u32 gc_uiSPRITE_FLAGS = gc_uiDYNGEO_FLAG_WORLD;

// The job types of the three camera-facing kinds (rows 0-2 of the job manager's built-in table).
enum E_SPRITE_JOB_TYPE : i32 {
  E_SPRITE_JOB_LINE = 0,
  E_SPRITE_JOB_SPRITE = 1,
  E_SPRITE_JOB_LINE_EX = 2,
  NUM_E_SPRITE_JOB_TYPE
};

// A viewpoint object: its world position is the xyz of its second 16-byte vector (pViewpoint[1]). A record with a
// viewpoint faces that position instead of the job's eye, and its element's user word is the viewpoint's address.
typedef const kv_vector4* SSpriteViewpoint;

struct alignas(16) SQuadSprite {
  kv_vector4 mp_avCorners[4];    // x, y, z (w unused)
  kv_vector4 mp_avTexCoords[4];  // u, v
  kv_vector4 mp_vNormal;
  const SRenderSignature* mp_pSignature;
  u32 mp_uiColor;  // D3DCOLOR
  u32 mp_uiFlags;
  u32 mp_uiBatchId;
  f32 mp_fDepth;  // sort key of the element
};

struct alignas(16) SLineSprite {
  kv_vector4 mp_vA;
  kv_vector4 mp_vB;
  u32 mp_uiColor;
  const SRenderSignature* mp_pSignature;
  f32 mp_fHalfWidth;
  u32 mp_uiFlags;
  SSpriteViewpoint mp_pViewpoint;
  u32 mp_bCapped;  // non-zero: with end caps
};

struct alignas(16) SSprite {
  kv_vector4 mp_vCentre;
  const SRenderSignature* mp_pSignature;
  f32 mp_fSize;  // full edge length
  u32 mp_uiColor;
  u32 mp_uiFlags;
  SSpriteViewpoint mp_pViewpoint;
  f32 mp_fDepthBias;
};

struct alignas(16) SLineSpriteEx {
  kv_vector4 mp_vA;
  kv_vector4 mp_vB;
  u32 mp_uiType;  // only 0 exists
  u32 mp_uiColorA;
  u32 mp_uiColorB;
  f32 mp_fHalfWidthA;
  f32 mp_fHalfWidthB;
  const SRenderSignature* mp_pSignature;
  u32 mp_uiFlags;
  SSpriteViewpoint mp_pViewpoint;
};

// One task's slice of a job's reservation: its records (by index) and where their vertices, indices and elements
// go.
struct alignas(16) SSpriteTask {
  u32 mp_uiSelectFlags;
  u32 mp_uiFlagMask;
  kv_vector4 mp_vEye;
  kv_vector4 mp_vUp;  // billboards only
  SDynamicGeometryVertex* mp_pVertexCursor;
  u32* mp_pIndexCursor;
  u32 mp_uiNextIndexSlot;  // absolute staging index
  u32 mp_uiNextVertex;     // absolute vertex number
  u32* mp_puiFlags;
  SDynamicGeometryRange* mp_pRanges;
  f32* mp_pfDepths;
  const SRenderSignature** mp_ppSignatures;
  std::uintptr_t* mp_puiBatchIds;
  i32 mp_iNumRecords;
  const u32* mp_puiIndexList;
};

struct alignas(16) SSpriteJobData {
  ClJob* mp_hJob;
  u32 mp_uiSelectFlags;
  u32 mp_uiFlagMask;
  kv_vector4 mp_vEye;
  kv_vector4 mp_vUp;  // billboards only
  u32 mp_auiIndexList[gc_iSPRITE_JOB_MAX_RECORDS];
  ClPool<SSpriteTask, gc_iSPRITE_JOB_MAX_TASKS> mp_taskPool;
};

class ClSpriteMgr {
 public:
  // --- Game thread (writes buffer 1 - current) ---

  // Queues the staging quad (corners 0-3 then texture coordinates 0-3) with flags 0x100000, batch 0, normal 0 and
  // depth 0; dropped when the buffer already holds 1999. Checks the signature pointer.
  static void addQuadSprite(u32 uiColor, const SRenderSignature* pSignature);
  // Fills the staging quad: corners 0-3, then texture coordinates 0-3.
  static void setStagingQuad(const kv_vector4 (&avQuad)[8]);
  // A line quad: corners P, P + a, P + b, P + b + a with a = (W x N) * length and b = W * width, texture coordinates
  // (0,0), (0,1), (1,0), (1,1). N and W must be unit length within 0.04 ("Normal must be a normalized vector!",
  // "WidthDir must be a normalized vector!"); a full buffer is fatal.
  static void AddQuad(const kv_vector4* pPosition, const kv_vector4* pNormal, const kv_vector4* pWidthDir,
                      f32 fWidth, f32 fLength, u32 uiColor, const SRenderSignature* pSignature, f32 fDepth);

  // Zeroes the four counts of the buffer being written, when its frame is thrown away before the hand-over (while
  // graphics are not ready, the game thread with the worker idle).
  static void clearWrittenBuffer();

  // --- Start-up and shutdown: the three pools of job records (and their rows of the job manager's table) ---
  static void initLineSpriteJobPool();
  static void initSpriteJobPool();
  static void initLineSpriteExJobPool();
  static void termLineSpriteJobPool();
  static void termSpriteJobPool();
  static void termLineSpriteExJobPool();

  // --- Render worker (reads the current buffer) ---

  // One element of 4 vertices and 6 indices per quad sprite; a quad that finds the frame full is skipped.
  static void renderQuadSprites();
  // The billboard, extended line and line jobs (in that order), posted and then waited for. eye and up are the
  // camera's position and up axis.
  static void runSpriteJobs(const kv_vector4& vEye, const kv_vector4& vUp);
  // Zeroes the current buffer's four counts (after Present, or when a frame is thrown away).
  static void clearCurrentBuffer();

  // The chunk a job of n records is split by for W workers: n below W makes one task, else n / W records a task,
  // raised so that no job needs more tasks than its pool of 32 holds.
  static i32 taskChunkSize(i32 iNumRecords, i32 iNumWorkers);
  // Jobs with fewer selected records than this run on the calling thread (gc_iSPRITE_RECORDS_WORTH_SHARING).
  static i32 mp_iRecordsWorthSharing;

  // --- Job rows ---
  static void dispatchLineSpriteTasks(void* pUserData, ClJob* hJob);
  static void lineSpriteTask(void* pTaskData);
  static void lineSpriteJobFinished(void* pUserData);
  static void dispatchSpriteTasks(void* pUserData, ClJob* hJob);
  static void spriteTask(void* pTaskData);
  static void spriteJobFinished(void* pUserData);
  static void dispatchLineSpriteExTasks(void* pUserData, ClJob* hJob);
  static void lineSpriteExTask(void* pTaskData);
  static void lineSpriteExJobFinished(void* pUserData);

  // --- State ---
  static i32 mp_iNumQuadSprites[2];
  static i32 mp_iNumLineSprites[2];
  static i32 mp_iNumSprites[2];
  static i32 mp_iNumLineSpritesEx[2];
  static SQuadSprite mp_aQuadSprites[2][MAX_QUAD_SPRITES];
  static SLineSprite mp_aLineSprites[2][MAX_LINE_SPRITES];
  static SSprite mp_aSprites[2][MAX_SPRITES];
  static SLineSpriteEx mp_aLineSpritesEx[2][MAX_LINE_SPRITES_EX];
  // The job records (engine globals, built in this order before the program body runs).
  static ClPool<SSpriteJobData, gc_iSPRITE_JOB_POOL_SIZE> mp_lineSpriteJobPool;
  static ClPool<SSpriteJobData, gc_iSPRITE_JOB_POOL_SIZE> mp_spriteJobPool;
  static ClPool<SSpriteJobData, gc_iSPRITE_JOB_POOL_SIZE> mp_lineSpriteExJobPool;

 private:
  static kv_vector4 mp_stagingQuad[8];

  static void clearBuffer(i32 iBuffer);
};
