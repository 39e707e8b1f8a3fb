#include "Corvane/Input/ClInputManager.h"

#include <cstring>
#include <new>

#include "Corvane/GameModes/KvEngineGameHooks.h"
#include "Corvane/Input/ClInputHWtoKvPlatform.h"
#include "Corvane/Input/ClInputMapperDebugCamera.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"


u32 ClInputManager::m_bInitialized = 0;
i32 ClInputManager::m_iActionCount = 0;
SGameInputAction* ClInputManager::m_apGameSpecificInputs[cuiMAX_GAME_PADS] = {};
u8 ClInputManager::m_uiCurInputFrame = 0;
u8 ClInputManager::m_auiPadMap[cuiMAX_GAME_PADS] = {0, 1, 2, 3};
SGameInputAction ClInputManager::m_aDebugCameraActions[gc_iNUM_DEBUG_CAMERA_ACTIONS] = {};

ClInputMapperBase* g_pInputMapperDebugCamera = nullptr;

namespace {

ClInputMapperBase* g_pInputMapperGameplay = nullptr;
ClInputMapperBase* g_pInputMapperMenus = nullptr;

// Objects of the manager live in 16-byte-aligned blocks and are constructed in place.
template <typename T>
T* createAligned() {
  void* pBlock = KvAlignedAlloc(sizeof(T), 16);
  return pBlock != nullptr ? new (pBlock) T() : nullptr;
}

template <typename T>
void destroyAligned(T*& pObject) {
  if (pObject != nullptr) {
    pObject->~T();
    KvAlignedFree(pObject);
    pObject = nullptr;
  }
}

bool isPressed(f32 fValue) { return fValue > gc_fACTION_PRESSED_THRESHOLD; }

}  // namespace

i32 ClInputManager::initialize() {
  g_pInputHWToKv = createAligned<ClInputHWtoKvPlatform>();
  KV_ASSERT(g_pInputHWToKv);
  g_pInputHWToKv->initialize();

  g_pInputMapperDebugCamera = createAligned<ClInputMapperDebugCamera>();
  KV_ASSERT(g_pInputMapperDebugCamera);

  KvInputGameHooks().createGameInputMappers();

  const size_t uiBytes = sizeof(SGameInputAction) * static_cast<size_t>(m_iActionCount);
  for (u32 i = 0; i < cuiMAX_GAME_PADS; ++i) {
    m_apGameSpecificInputs[i] = static_cast<SGameInputAction*>(KvAlignedAlloc(uiBytes, 16));
    KV_ASSERT(m_apGameSpecificInputs[i]);
    std::memset(m_apGameSpecificInputs[i], 0, uiBytes);
  }

  resetLogicalPadMap();
  std::memset(m_aDebugCameraActions, 0, sizeof(m_aDebugCameraActions));
  m_bInitialized = 1;
  return 1;
}

i32 ClInputManager::terminate() {
  if (!m_bInitialized) {
    return 1;
  }
  g_pInputHWToKv->terminate();
  destroyAligned(g_pInputHWToKv);
  for (SGameInputAction*& pActions : m_apGameSpecificInputs) {
    KvAlignedFree(pActions);
    pActions = nullptr;
  }
  destroyAligned(g_pInputMapperDebugCamera);
  destroyAligned(g_pInputMapperGameplay);
  destroyAligned(g_pInputMapperMenus);
  m_bInitialized = 0;
  return 1;
}

void ClInputManager::installGameMappers(ClInputMapperBase* pGameplay, ClInputMapperBase* pMenus) {
  KV_ASSERT_MSG(g_pInputMapperGameplay == nullptr && g_pInputMapperMenus == nullptr,
                "installGameMappers: the game's mappers are already installed");
  g_pInputMapperGameplay = pGameplay;
  g_pInputMapperMenus = pMenus;
}

ClInputMapperBase* ClInputManager::getGameplayMapper() { return g_pInputMapperGameplay; }

ClInputMapperBase* ClInputManager::getMenusMapper() { return g_pInputMapperMenus; }

i32 ClInputManager::tick() {
  g_pInputHWToKv->tick();
  g_pInputHWToKv->platformTickTextInputCapture();

  m_uiCurInputFrame = static_cast<u8>(1 - m_uiCurInputFrame);
  ClGameStateMgr::tickInputBlock();
  for (SGameInputAction* pActions : m_apGameSpecificInputs) {
    for (i32 i = 0; i < m_iActionCount; ++i) {
      pActions[i].mp_afValues[m_uiCurInputFrame] = KV_ZERO;
    }
  }
  for (SGameInputAction& action : m_aDebugCameraActions) {
    action.mp_afValues[m_uiCurInputFrame] = KV_ZERO;
  }
  return 1;
}

void ClInputManager::checkActionIndex(i32 iAction, i32 iActionCount) {
  KV_ASSERT_MSG(iAction >= 0 && iAction < iActionCount, "iAction >= 0 && iAction < m_iActionCount");
}

bool ClInputManager::isActionJustPressed(const SGameInputAction& action) {
  // The record must be one of a pad's actions or of the debug camera's. Addresses are compared as integers:
  // a record past an array's end is exactly what is being caught.
  const uintptr_t uiRecord = reinterpret_cast<uintptr_t>(&action);
  const auto indexIn = [uiRecord](const SGameInputAction* pArray) {
    const intptr_t iOffset = static_cast<intptr_t>(uiRecord - reinterpret_cast<uintptr_t>(pArray));
    return iOffset % static_cast<intptr_t>(sizeof(SGameInputAction)) == 0
               ? static_cast<i32>(iOffset / static_cast<intptr_t>(sizeof(SGameInputAction)))
               : -1;
  };
  const i32 iDebugCamera = indexIn(m_aDebugCameraActions);
  if (iDebugCamera < 0 || iDebugCamera >= gc_iNUM_DEBUG_CAMERA_ACTIONS) {
    // Pad arrays are checked against their own count; the nearest one at or below the record names it.
    i32 iAction = -1;
    for (const SGameInputAction* pActions : m_apGameSpecificInputs) {
      const i32 iIndex = pActions != nullptr ? indexIn(pActions) : -1;
      if (iIndex >= 0 && (iAction < 0 || iIndex < iAction)) {
        iAction = iIndex;
      }
    }
    checkActionIndex(iAction, m_iActionCount);
  }
  if (ClGameStateMgr::isInputBlocked()) {
    return false;
  }
  return isPressed(action.mp_afValues[m_uiCurInputFrame]) && !isPressed(action.mp_afValues[1 - m_uiCurInputFrame]);
}

bool ClInputManager::isActionJustPressedAnyPad(i32 iAction) {
  checkActionIndex(iAction, m_iActionCount);
  for (u32 uiPad = 0; uiPad < cuiMAX_GAME_PADS; ++uiPad) {
    if (isActionJustPressed(m_apGameSpecificInputs[uiPad][iAction])) {
      return true;
    }
  }
  return false;
}

void ClInputManager::mapLogicalPad(u32 uiLogical, u32 uiHW) {
  KV_ASSERT(uiHW < cuiMAX_GAME_PADS);
  KV_ASSERT(uiLogical < cuiMAX_GAME_PADS);
  m_auiPadMap[uiLogical] = static_cast<u8>(uiHW);
}

void ClInputManager::resetLogicalPadMap() {
  for (u32 i = 0; i < cuiMAX_GAME_PADS; ++i) {
    mapLogicalPad(i, i);
  }
}

SGameInputAction* ClInputManager::getActions(u32 uiLogicalPad) {
  KV_ASSERT(uiLogicalPad < cuiMAX_GAME_PADS);
  return m_apGameSpecificInputs[m_auiPadMap[uiLogicalPad]];
}

SInputPadState& ClInputManager::getPadState(u32 uiLogicalPad) {
  KV_ASSERT(uiLogicalPad < cuiMAX_GAME_PADS);
  return ClInputHWtoKv::mp_aPadStates[m_auiPadMap[uiLogicalPad]];
}
