#include "Corvane/Graphics/ClParticleMgr.h"

#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"

// The pools are engine globals (Program/KvEngineGlobals_Win32.cpp).
ClMutexLock ClParticleMgr::mp_lock;

namespace {

// The entry of the list holding the value, or null.
ClParticleSystem** findEntry(ClPool<ClParticleSystem*, gc_iMAX_PARTICLE_SYSTEMS>& list, const ClParticleSystem* pSystem) {
  for (i32 i = 0; i < list.getCount(); ++i) {
    if (*list.get(i) == pSystem) return list.get(i);
  }
  return nullptr;
}

}  // namespace

void ClParticleMgr::initialize() {
  KV_ASSERT_MSG(ClMutexLock::g_bInitialized, "ClMutexLock::g_bInitialized");
  if (!ClMutexLock::create(&mp_lock)) {
    KV_FATAL("ClParticleMgr::initialize(void) -> Could NOT create mutex lock for thread-safe particle manager!");
  }
}

void ClParticleMgr::registerSystem(ClParticleSystem* pSystem, bool bWithTransform) {
  ClScopedMutexLock lock(mp_lock);
  *mp_systemList.alloc() = pSystem;
  if (bWithTransform) {
    SParticleTransform* pTransform = mp_transformPool.alloc();
    *pTransform = SParticleTransform{};
    pSystem->mp_pTransform = pTransform;
    pSystem->mp_bHasTransform = 1;
  }
}

void ClParticleMgr::activate(ClParticleSystem* pSystem) {
  ClScopedMutexLock lock(mp_lock);
  if (findEntry(mp_activeList, pSystem) == nullptr) {
    *mp_activeList.alloc() = pSystem;
  }
}

void ClParticleMgr::deactivate(ClParticleSystem* pSystem) {
  ClScopedMutexLock lock(mp_lock);
  if (ClParticleSystem** ppEntry = findEntry(mp_activeList, pSystem)) {
    mp_activeList.free(ppEntry);
  }
}

void ClParticleMgr::terminate() {
  if (!mp_lock.isCreated()) {
    return;
  }
  mp_lock.enter();
  for (i32 i = mp_systemList.getCount() - 1; i >= 0; --i) {
    ClParticleSystem* pSystem = *mp_systemList.get(i);
    deactivate(pSystem);
    if (pSystem->mp_bHasTransform) {
      mp_transformPool.free(pSystem->mp_pTransform);
      pSystem->mp_pTransform = nullptr;
      pSystem->mp_bHasTransform = 0;
    }
    pSystem->release();
    pSystem->~ClParticleSystem();
    KvAlignedFree(pSystem);
    mp_systemList.free(mp_systemList.get(mp_systemList.indexOf(findEntry(mp_systemList, pSystem))));
  }
  while (mp_systemList.getCount() > 0) {
    mp_systemList.free(mp_systemList.get(mp_systemList.getCount() - 1));
  }
  mp_lock.leave();
  ClMutexLock::destroy(&mp_lock);
}
