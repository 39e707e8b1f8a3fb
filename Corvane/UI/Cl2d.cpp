#include "Corvane/UI/Cl2d.h"

#include "Corvane/System/KvDebug.h"

void Cl2d::pushParentWindow(const SParentWindow& window) { *mp_parentWindowStack.alloc() = window; }

SParentWindow* Cl2d::getParentWindow() {
  const i32 m_iAllocCount = mp_parentWindowStack.getCount();
  KV_ASSERT(m_iAllocCount > 0);
  return mp_parentWindowStack.get(m_iAllocCount - 1);
}

void Cl2d::popParentWindow(SParentWindow* pWindow) { mp_parentWindowStack.free(pWindow); }

void Cl2d::clearParentWindows() {
  while (mp_parentWindowStack.getCount() > 0) {
    mp_parentWindowStack.free(mp_parentWindowStack.get(mp_parentWindowStack.getCount() - 1));
  }
}
