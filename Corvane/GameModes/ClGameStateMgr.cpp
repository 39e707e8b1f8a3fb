#include "Corvane/GameModes/ClGameStateMgr.h"

#include "Corvane/Camera/ClCameraMgr.h"
#include "Corvane/System/KvDebug.h"

i32 ClGameStateMgr::m_iInputBlockedFrames = 0;

namespace {

// Defaults of the bool states; states 10 and 11 get no entry.
struct SBoolDefault {
  u32 uiState;
  u32 bValue;
};
constexpr SBoolDefault gc_aBoolDefaults[] = {
    {0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}, {8, 0}, {9, 1}, {12, 0},
};
constexpr f32 gc_afFloatDefaults[gc_uiNUM_FLOAT_STATES] = {0.1f, 1.0f, 1.0f};

}  // namespace

void ClGameStateMgr::initialize() {
  for (const SBoolDefault& boolDefault : gc_aBoolDefaults) {
    m_aBoolStateStack[boolDefault.uiState].push(boolDefault.bValue);
  }
  for (u32 state = 0; state < gc_uiNUM_FLOAT_STATES; ++state) {
    m_aFloatStateStack[state].push(gc_afFloatDefaults[state]);
  }
}

void ClGameStateMgr::terminate() {
  for (auto& stack : m_aBoolStateStack) stack = ClSimpleStackTemplate<u32>();
  for (auto& stack : m_aFloatStateStack) stack = ClSimpleStackTemplate<f32>();
  for (STVChannelState& channel : m_aTVChannelStates) channel = STVChannelState();
  for (SLocalPlayerState& player : m_aLocalPlayers) player = SLocalPlayerState();
  m_iInputBlockedFrames = 0;
}

bool ClGameStateMgr::getBoolState(u32 state) {
  KV_ASSERT(state < gc_uiNUM_BOOL_STATES);
  KV_ASSERT(m_aBoolStateStack[state].getCount());
  return m_aBoolStateStack[state].top() != 0;
}

f32 ClGameStateMgr::getFloatState(u32 state) {
  KV_ASSERT(state < gc_uiNUM_FLOAT_STATES);
  KV_ASSERT(m_aFloatStateStack[state].getCount());
  return m_aFloatStateStack[state].top();
}

void ClGameStateMgr::setFloatState(u32 state, f32 fValue) {
  KV_ASSERT(state < gc_uiNUM_FLOAT_STATES);
  KV_ASSERT(m_aFloatStateStack[state].getCount());
  if (m_aFloatStateStack[state].getCount() > 0) {
    m_aFloatStateStack[state].top() = fValue;
  }
}

void ClGameStateMgr::blockInput(i32 iFrames) { m_iInputBlockedFrames = iFrames; }

void ClGameStateMgr::tickInputBlock() {
  if (m_iInputBlockedFrames > 0) {
    --m_iInputBlockedFrames;
  }
}

void ClGameStateMgr::pushInputMapper(u32 uiPlayerIndex, ClInputMapperBase* pMapper) {
  KV_ASSERT(uiPlayerIndex<cMAX_LOCAL_PLAYERS);
  blockInput();
  m_aLocalPlayers[uiPlayerIndex].mp_inputMapperStack.push(pMapper);
}

void ClGameStateMgr::popInputMapper(u32 uiPlayerIndex) {
  KV_ASSERT(uiPlayerIndex<cMAX_LOCAL_PLAYERS);
  KV_ASSERT(m_aLocalPlayers[uiPlayerIndex].mp_inputMapperStack.getCount());
  blockInput();
  m_aLocalPlayers[uiPlayerIndex].mp_inputMapperStack.pop();
}

ClInputMapperBase* ClGameStateMgr::getInputMapper(u32 uiPlayerIndex) {
  KV_ASSERT(uiPlayerIndex<cMAX_LOCAL_PLAYERS);
  KV_ASSERT(m_aLocalPlayers[uiPlayerIndex].mp_inputMapperStack.getCount());
  return m_aLocalPlayers[uiPlayerIndex].mp_inputMapperStack.top();
}

i32 ClGameStateMgr::getInputMapperCount(u32 uiPlayerIndex) {
  KV_ASSERT(uiPlayerIndex<cMAX_LOCAL_PLAYERS);
  return m_aLocalPlayers[uiPlayerIndex].mp_inputMapperStack.getCount();
}

void ClGameStateMgr::setTVChannel(u32 uiPlayerIndex, i32 iTVChannelIdx) {
  KV_ASSERT(uiPlayerIndex<cMAX_LOCAL_PLAYERS);
  m_aLocalPlayers[uiPlayerIndex].m_iTVChannelIdx = iTVChannelIdx;
}

i32 ClGameStateMgr::getTVChannel(u32 uiPlayerIndex) {
  KV_ASSERT(uiPlayerIndex<cMAX_LOCAL_PLAYERS);
  return m_aLocalPlayers[uiPlayerIndex].m_iTVChannelIdx;
}

i32 ClGameStateMgr::firstPlayerChannel() {
  const i32 iTVChannelIdx = m_aLocalPlayers[0].m_iTVChannelIdx;
  KV_ASSERT(iTVChannelIdx!=-1);
  KV_ASSERT(iTVChannelIdx >= 0 && iTVChannelIdx < gc_iNUM_TV_CHANNELS);
  return iTVChannelIdx;
}

void ClGameStateMgr::pushCamera(ClCamera* pCamera) {
  const i32 iTVChannelIdx = firstPlayerChannel();
  m_aTVChannelStates[iTVChannelIdx].mp_cameraStack.push(pCamera);
  ClCameraMgr::switchChannelCamera(iTVChannelIdx, pCamera, 0.0f);
}

void ClGameStateMgr::popCamera(f32 fBlendTime) {
  const i32 iTVChannelIdx = firstPlayerChannel();
  KV_ASSERT(m_aTVChannelStates[iTVChannelIdx].mp_cameraStack.getCount());
  ClSimpleStackTemplate<ClCamera*>& cameraStack = m_aTVChannelStates[iTVChannelIdx].mp_cameraStack;
  cameraStack.pop();
  if (cameraStack.getCount() > 0) {
    ClCameraMgr::switchChannelCamera(iTVChannelIdx, cameraStack.top(), fBlendTime);
  }
}
