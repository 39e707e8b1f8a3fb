#include "Corvane/Stats/ClDiffMgr.h"

#include "Corvane/ADT/ClSimpleHashTable.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/Files/ClAsyncAssetLoaderMgr.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/System/KvDebug.h"

bool ClDiffMgr::mp_bInitialized = false;
SMagRef* ClDiffMgr::mp_pMagRef = nullptr;
SAsyncAssetEntry* ClDiffMgr::mp_pAsyncEntry = nullptr;
ClSimpleHashTable* ClDiffMgr::mp_pTable = nullptr;
SClockTimer* ClDiffMgr::mp_pTimer = nullptr;
char ClDiffMgr::mp_szPath[KV_MAX_PATH_LEN] = "";

void ClDiffMgr::initialize() {
  KV_ASSERT(ClClock::mp_bIsInitialized);
  mp_pMagRef = nullptr;
  mp_pAsyncEntry = nullptr;
  mp_pTable = nullptr;
  mp_pTimer = nullptr;
  mp_szPath[0] = '\0';
  mp_bInitialized = true;
}

void ClDiffMgr::terminate() {
  if (mp_pTable != nullptr) {
    mp_pTable->forEachValue([](uintptr_t uiValue, u32) { KvAlignedFree(reinterpret_cast<void*>(uiValue)); });
    mp_pTable->terminate();
    mp_pTable->~ClSimpleHashTable();
    KvAlignedFree(mp_pTable);
    mp_pTable = nullptr;
  }
  if (mp_pMagRef != nullptr) {
    ClMagFileIO::close(mp_pMagRef);
    mp_pMagRef = nullptr;
  }
  if (mp_pAsyncEntry != nullptr) {
    ClAsyncAssetLoaderMgr::releaseAsset(mp_pAsyncEntry);
    mp_pAsyncEntry = nullptr;
  }
  if (mp_pTimer != nullptr) {
    ClClock::releaseTimer(mp_pTimer);
    mp_pTimer = nullptr;
  }
  mp_szPath[0] = '\0';
  mp_bInitialized = false;
}
