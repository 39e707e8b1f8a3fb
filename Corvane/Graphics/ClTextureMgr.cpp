#include "Corvane/Graphics/ClTextureMgr.h"

#include <new>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/GameModes/KvEngineGameHooks.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/KvGraphicsFiles.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"

ClSimpleHashTable ClTextureMgr::mp_textureTable;

namespace {

constexpr const char* gc_apEXTENSIONS[] = {".bmp", ".png", ".tga"};

void destroyTexture(ClTexture* pTexture) {
  pTexture->~ClTexture();
  KvAlignedFree(pTexture);
}

}  // namespace

void ClTextureMgr::initObjectList() {
  if (!mp_textureTable.isAllocated()) {
    mp_textureTable.initialize(gc_iTEXTURE_TABLE_SLOTS);
  }
}

void ClTextureMgr::terminateObjectList() {
  if (!mp_textureTable.isAllocated()) return;
  mp_textureTable.forEachValue([](uintptr_t uiValue, i32) { destroyTexture(reinterpret_cast<ClTexture*>(uiValue)); });
  mp_textureTable.terminate();
  mp_textureTable.initialize(gc_iTEXTURE_TABLE_SLOTS);
}

void ClTextureMgr::terminate() {
  terminateObjectList();
  if (mp_textureTable.isAllocated()) {
    mp_textureTable.terminate();
  }
}

ClTexture* ClTextureMgr::findTexture(const char* pName) {
  return mp_textureTable.isAllocated() ? mp_textureTable.findPtr<ClTexture>(KvStrHash(pName)) : nullptr;
}

ClTexture* ClTextureMgr::loadTexture(const char* pName, u32 bNoMipmaps) {
  return loadFrom(KvGetBaseDataPath(), pName, bNoMipmaps);
}

ClTexture* ClTextureMgr::loadLocalizedTexture(const char* pName) { return loadFrom(g_szLanguagePath, pName, 1); }

ClTexture* ClTextureMgr::loadFrom(const char* pFolder, const char* pName, u32 bNoMipmaps) {
  KV_ASSERT_MSG(mp_textureTable.isAllocated(), "ClTextureMgr::initObjectList() before the first texture");
  const u32 uiHash = KvStrHash(pName);
  if (ClTexture* pCached = mp_textureTable.findPtr<ClTexture>(uiHash)) {
    return pCached;
  }
  KvForgetLastProblem();
  char szBase[KV_MAX_PATH_LEN];
  KvBuildGraphicsPath(szBase, pFolder, pName, "");
  char szPath[KV_MAX_PATH_LEN];
  bool bFound = false;
  for (const char* pExtension : gc_apEXTENSIONS) {
    KvBuildGraphicsPath(szPath, szBase, "", pExtension);
    if (ClMagFileIO::fileExists(szPath, 1)) {
      bFound = true;
      break;
    }
  }
  if (!bFound) {
    KvStrLCpy(szPath, szBase, sizeof(szPath));
    if (!ClMagFileIO::fileExists(szPath, 1)) {
      return nullptr;
    }
  }
  void* pMemory = KvAlignedAlloc(sizeof(ClTexture), 16);
  KV_ASSERT_MSG(pMemory != nullptr, "pNew");
  ClTexture* pNew = new (pMemory) ClTexture();
  if (pNew->load(szPath, 0, bNoMipmaps) != 0) {
    // A texture whose file could not be read or decoded is not kept: the caller sees the name as missing.
    destroyTexture(pNew);
    return nullptr;
  }
  mp_textureTable.insertPtr(uiHash, pNew);
  return pNew;
}

const char* ClTextureMgr::describeNotLoaded(const char* pName, bool bLocalized, char* pText, u32 uiSize) {
  if (KvGetLastProblem()[0] != '\0') {
    KvSNPrintf(pText, uiSize, "%s", KvGetLastProblem());
    return pText;
  }
  char szBase[KV_MAX_PATH_LEN];
  KvBuildGraphicsPath(szBase, bLocalized ? g_szLanguagePath : KvGetBaseDataPath(), pName, "");
  char szWhere[gc_uiMAX_MESSAGE_LEN + 1];
  KvSNPrintf(pText, uiSize, "no image of that name (.bmp, .png, .tga or none): %s",
             ClMagFileIO::describeLocation(szBase, szWhere, sizeof(szWhere)));
  return pText;
}

void ClTextureMgr::unloadTexture(const char* pcFilename) {
  if (!mp_textureTable.isAllocated()) return;
  const u32 uiHash = KvStrHash(pcFilename);
  if (mp_textureTable.find(uiHash) == 0) return;
  KV_ASSERT_MSG(!KvUIRenderHooks().hasUITextureBeenLoaded(pcFilename), "!ClUI::hasUITextureBeenLoaded(pcFilename)");
  destroyTexture(reinterpret_cast<ClTexture*>(mp_textureTable.remove(uiHash)));
}
