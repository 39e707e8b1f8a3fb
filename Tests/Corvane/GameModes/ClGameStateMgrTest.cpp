#include "Corvane/GameModes/ClGameStateMgr.h"

#include <gtest/gtest.h>

#include <vector>

#include "Corvane/Camera/ClCameraMgr.h"
#include "Corvane/Camera/ClTVChannel.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

// Distinct stand-in pointers: the stacks never look behind them.
template <typename T>
T* fake(uintptr_t uiValue) {
  return reinterpret_cast<T*>(uiValue * 16);
}

class ClGameStateMgrTest : public ::testing::Test {
 protected:
  // The stacks are process globals: every test starts from their static state.
  void SetUp() override { clearAll(); }
  void TearDown() override { clearAll(); }

  template <typename Stack>
  static void empty(Stack& stack) {
    while (stack.getCount() > 0) stack.pop();
  }
  static void clearAll() {
    for (auto& stack : ClGameStateMgr::m_aBoolStateStack) empty(stack);
    for (auto& stack : ClGameStateMgr::m_aFloatStateStack) empty(stack);
    for (STVChannelState& channel : ClGameStateMgr::m_aTVChannelStates) empty(channel.mp_cameraStack);
    for (u32 uiPlayer = 0; uiPlayer < cMAX_LOCAL_PLAYERS; ++uiPlayer) {
      while (ClGameStateMgr::getInputMapperCount(uiPlayer) > 0) ClGameStateMgr::popInputMapper(uiPlayer);
      ClGameStateMgr::setTVChannel(uiPlayer, -1);
    }
    ClGameStateMgr::blockInput(0);
  }
};

TEST_F(ClGameStateMgrTest, StaticStateAndDefaults) {
  EXPECT_EQ(ClGameStateMgr::getTVChannel(3), -1);
  EXPECT_KV_ASSERT(ClGameStateMgr::getBoolState(9), "m_aBoolStateStack[state].getCount()");
  EXPECT_KV_ASSERT(ClGameStateMgr::getFloatState(1), "m_aFloatStateStack[state].getCount()");

  ClGameStateMgr::initialize();
  for (u32 state : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 12u}) {
    EXPECT_FALSE(ClGameStateMgr::getBoolState(state)) << state;
  }
  EXPECT_TRUE(ClGameStateMgr::getBoolState(9));
  EXPECT_KV_ASSERT(ClGameStateMgr::getBoolState(10), "m_aBoolStateStack[state].getCount()");
  EXPECT_KV_ASSERT(ClGameStateMgr::getBoolState(13), "state < gc_uiNUM_BOOL_STATES");
  EXPECT_FLOAT_EQ(ClGameStateMgr::getFloatState(0), 0.1f);
  EXPECT_FLOAT_EQ(ClGameStateMgr::getFloatState(1), 1.0f);
  EXPECT_FLOAT_EQ(ClGameStateMgr::getFloatState(2), 1.0f);

  // The time scale is replaced in place, not pushed.
  ClGameStateMgr::setFloatState(gc_uiFLOAT_STATE_TIME_SCALE, 0.25f);
  EXPECT_FLOAT_EQ(ClGameStateMgr::getFloatState(gc_uiFLOAT_STATE_TIME_SCALE), 0.25f);
  EXPECT_EQ(ClGameStateMgr::m_aFloatStateStack[1].getCount(), 1);
}

TEST_F(ClGameStateMgrTest, MapperStacksPerPlayerBlockInputOnEveryChange) {
  EXPECT_KV_ASSERT(ClGameStateMgr::popInputMapper(2), "m_aLocalPlayers[uiPlayerIndex].mp_inputMapperStack.getCount()");
  EXPECT_EQ(ClGameStateMgr::getInputBlockedFrames(), 0);  // a refused pop changes nothing

  for (uintptr_t i = 1; i <= 33; ++i) {
    ClGameStateMgr::pushInputMapper(1, fake<ClInputMapperBase>(i));
  }
  EXPECT_EQ(ClGameStateMgr::getInputBlockedFrames(), 2);
  EXPECT_EQ(ClGameStateMgr::getInputMapperCount(1), 32);
  EXPECT_EQ(ClGameStateMgr::getInputMapper(1), fake<ClInputMapperBase>(32));  // the 33rd was dropped
  EXPECT_EQ(ClGameStateMgr::getInputMapperCount(0), 0);

  ClGameStateMgr::blockInput(0);
  ClGameStateMgr::popInputMapper(1);
  EXPECT_EQ(ClGameStateMgr::getInputBlockedFrames(), 2);
  EXPECT_EQ(ClGameStateMgr::getInputMapper(1), fake<ClInputMapperBase>(31));

  EXPECT_KV_ASSERT(ClGameStateMgr::pushInputMapper(4, nullptr), "uiPlayerIndex<cMAX_LOCAL_PLAYERS");
}

TEST_F(ClGameStateMgrTest, CameraStackOfTheFirstPlayersChannel) {
  EXPECT_KV_ASSERT(ClGameStateMgr::pushCamera(fake<ClCamera>(1)), "iTVChannelIdx!=-1");
  ClGameStateMgr::setTVChannel(0, 2);
  // Without the camera manager only the stacks change.
  ClGameStateMgr::pushCamera(fake<ClCamera>(1));
  EXPECT_EQ(ClGameStateMgr::m_aTVChannelStates[2].mp_cameraStack.getCount(), 1);
  ClGameStateMgr::popCamera(0.5f);
  EXPECT_EQ(g_aTVChannels[2].m_pRequestedCamera, nullptr);

  // With it, each change of the top camera activates it and switches channel 2 to it.
  ClCameraMgr::initialize();
  ClCameraDebug first;
  ClCameraDebug second;
  struct SStep {
    ClCamera* pPush;  // null: a pop with a 0.5 s blend
    ClCamera* pExpectedCamera;
    f32 fExpectedBlendTime;  // a push cuts
  };
  const SStep aSteps[] = {{&first, &first, 0.0f}, {&second, &second, 0.0f}, {nullptr, &first, 0.5f},
                          // The last one: the channel keeps showing it, no blend.
                          {nullptr, &first, 0.5f}};
  for (const SStep& step : aSteps) {
    if (step.pPush != nullptr) {
      step.pPush->m_bActive = 0;
      ClGameStateMgr::pushCamera(step.pPush);
    } else {
      ClGameStateMgr::popCamera(0.5f);
    }
    EXPECT_EQ(g_aTVChannels[2].m_pRequestedCamera, step.pExpectedCamera);
    EXPECT_EQ(g_aTVChannels[2].m_fBlendTime, step.fExpectedBlendTime);
    EXPECT_EQ(step.pExpectedCamera->m_bActive, 1);
  }
  EXPECT_EQ(ClGameStateMgr::m_aTVChannelStates[2].mp_cameraStack.getCount(), 0);
  EXPECT_EQ(g_aTVChannels[0].m_pRequestedCamera, nullptr);
  EXPECT_KV_ASSERT(ClGameStateMgr::popCamera(0.0f), "m_aTVChannelStates[iTVChannelIdx].mp_cameraStack.getCount()");
  // The channel forgets the test's cameras.
  g_aTVChannels[2].m_pRequestedCamera = g_aTVChannels[2].m_pBlendStartCamera = g_aTVChannels[2].m_pTargetCamera = nullptr;
  g_aTVChannels[2].m_fBlendTime = 0.0f;
  ClCameraMgr::terminate();

  ClGameStateMgr::setTVChannel(0, 4);
  EXPECT_KV_ASSERT(ClGameStateMgr::pushCamera(fake<ClCamera>(1)), "iTVChannelIdx < gc_iNUM_TV_CHANNELS");
}

}  // namespace
