// Render signatures: the pair of an effect and a texture set that keys every sprite, UI quad and dynamic-geometry
// batch. Both kinds of record are interned, so equal pairs are one record and draws sort and merge by address.
//
// Records come from two pools of 1024; running out is the assertion "pNew". They live until a render target that
// holds one of their textures is released (releaseTexture) or the pools are emptied at shut-down; callers keep the
// pointers. Interning runs on the main thread and on the render worker, never both at once (the lockstep
// hand-over); nothing is locked.
#pragma once

#include "Corvane/ADT/ClPool.h"
#include "Corvane/Graphics/ClShader.h"
#include "Corvane/System/KvTypes.h"

class ClTextureBase;

inline constexpr i32 gc_iMAX_SIGNATURES = 1024;
inline constexpr i32 gc_iMAX_TEXTURE_SETS = 1024;

// Up to 8 textures, each bound to a sampler index; sets made here use indices 0 .. count-1 in slot order and
// zero the slots past the count.
struct STextureSet {
  struct SSlot {
    u32 mp_uiSamplerIndex;
    ClTextureBase* mp_pTexture;
  };
  u32 mp_uiCount;
  SSlot mp_aSlots[MAX_TEXTURES_PER_SET];
};

struct SRenderSignature {
  STextureSet* mp_pTextureSet;  // null for a signature without textures
  void* mp_pLighting;           // null in every record made
  ClShader* mp_pShader;
};

class ClSignatureMgr {
 public:
  // Prepares the manager at graphics start-up (the pools must have been built) and marks it initialised.
  static void initialize();
  // Marks the manager uninitialised at shutdown, after both pools were freed.
  static void terminate() { mp_bInitialized = 0; }
  static bool isInitialized() { return mp_bInitialized != 0; }
  static void initSignaturePool();
  static void initTexSetPool();
  // Return every allocated record to its pool.
  static void termSignaturePool();
  static void termTexSetPool();

  // Find-or-add. Assertions "pShader", "pTexSet"; the hash variants are fatal for an unknown shader
  // ("ClShaderMgr::getShader() -> Could not find shader [0x%8X]!").
  static SRenderSignature* getSignatureNoTex(ClShader* pShader);
  static SRenderSignature* getSignature(ClShader* pShader, STextureSet* pTexSet);
  static SRenderSignature* getSignatureByName(const char* pShaderName, ClTextureBase* pTexture);
  static SRenderSignature* getSignatureByHashNoTex(u32 uiShaderNameHash);
  static SRenderSignature* getSignatureByHash(u32 uiShaderNameHash, ClTextureBase* pTexture);
  static SRenderSignature* getSignatureByHash2(u32 uiShaderNameHash, ClTextureBase* pTexture1,
                                               ClTextureBase* pTexture2);
  static STextureSet* getTexSet(ClTextureBase* pTexture);
  static STextureSet* getTexSet2(ClTextureBase* pTexture1, ClTextureBase* pTexture2);
  static STextureSet* getTexSet4(ClTextureBase* pTexBase1, ClTextureBase* pTexBase2, ClTextureBase* pTexBase3,
                                 ClTextureBase* pTexBase4);
  // Frees every set holding the texture and every signature using such a set (asserts "pTex").
  static void releaseTexture(ClTextureBase* pTex);
  // Changes whenever a record may have moved or gone (a free moves the pool's last record; the pools ended or
  // started again): a signature or set found before is found again.
  static u32 getGeneration() { return mp_uiGeneration; }
  static u32 mp_uiGeneration;

  static ClPool<SRenderSignature, gc_iMAX_SIGNATURES> mp_signaturePool;
  static ClPool<STextureSet, gc_iMAX_TEXTURE_SETS> mp_texSetPool;

 private:
  static u32 mp_bInitialized;

  static STextureSet* findOrAddTexSet(ClTextureBase* const* ppTextures, u32 uiCount);
};
