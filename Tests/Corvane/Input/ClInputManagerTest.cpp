#include <new>
#include <string>
#include <vector>

#include "Corvane/Input/ClInputMapperDebugCamera.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Tests/Corvane/Input/InputTestSupport.h"
#include "Tests/Support/GameHooksDoubles.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

std::vector<std::string> g_destroyed;

// A game mapper: one key held gives one action the value 1.0; the named object records its destruction.
class CKeyMapper : public ClInputMapperBase {
 public:
  CKeyMapper(const char* pName, i32 iKey, i32 iAction) : m_pName(pName), m_iKey(iKey), m_iAction(iAction) {}
  ~CKeyMapper() override { g_destroyed.push_back(m_pName); }
  void process(u8 uiPlayerIndex) override {
    ++iCalls;
    SGameInputAction* pActions = ClInputManager::getActions(uiPlayerIndex);
    if (ClInputHWtoKv::mp_auiKeyStates[m_iKey] == E_KEY_DOWN) {
      pActions[m_iAction].mp_afValues[ClInputManager::m_uiCurInputFrame] = 1.0f;
    }
  }
  const char* m_pName;
  i32 m_iKey;
  i32 m_iAction;
  i32 iCalls = 0;
};

CKeyMapper* makeMapper(const char* pName, i32 iKey, i32 iAction) {
  return new (KvAlignedAlloc(sizeof(CKeyMapper), 16)) CKeyMapper(pName, iKey, iAction);
}

// Gameplay: key C gives action 5; menus: key B gives action 6.
void createTestMappers() {
  ClInputManager::installGameMappers(makeMapper("gameplay", gc_iKEY_INDEX_C, 5), makeMapper("menus", 48, 6));
}

SGameInputAction& action(u32 uiPad, i32 iAction) { return ClInputManager::m_apGameSpecificInputs[uiPad][iAction]; }

void setNow(SGameInputAction& a, f32 fValue) { a.mp_afValues[ClInputManager::m_uiCurInputFrame] = fValue; }

class InputManager : public InputTest {
 protected:
  void SetUp() override {
    KvTestInputHooks().m_createMappers = &createTestMappers;
    g_destroyed.clear();
    InputTest::SetUp();
  }
  void TearDown() override {
    InputTest::TearDown();
    KvTestInputHooks().reset();
  }
};

TEST_F(InputManager, InitializeMakesEverythingAndTerminateFreesItInOrder) {
  ASSERT_NE(g_pInputHWToKv, nullptr);
  ASSERT_NE(g_pInputMapperDebugCamera, nullptr);
  ASSERT_NE(ClInputManager::getGameplayMapper(), nullptr);
  ASSERT_NE(ClInputManager::getMenusMapper(), nullptr);
  for (u32 uiPad = 0; uiPad < cuiMAX_GAME_PADS; ++uiPad) {
    ASSERT_NE(ClInputManager::m_apGameSpecificInputs[uiPad], nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(ClInputManager::m_apGameSpecificInputs[uiPad]) % 16, 0u);
    EXPECT_EQ(action(uiPad, 36).mp_afValues[0], 0.0f);  // the 37th action is the last
    EXPECT_EQ(ClInputManager::m_auiPadMap[uiPad], uiPad);
  }
  ClInputManager::terminate();
  EXPECT_EQ(g_destroyed, (std::vector<std::string>{"gameplay", "menus"}));
  EXPECT_EQ(g_pInputHWToKv, nullptr);
  EXPECT_EQ(g_pInputMapperDebugCamera, nullptr);
  EXPECT_EQ(ClInputManager::getGameplayMapper(), nullptr);
  EXPECT_EQ(ClInputManager::getMenusMapper(), nullptr);
  EXPECT_EQ(ClInputManager::m_apGameSpecificInputs[0], nullptr);
  EXPECT_EQ(ClInputManager::terminate(), 1);  // a second terminate does nothing
  ClInputManager::initialize();  // for the fixture's own terminate
}

// The manager owns the installed mappers: a second install would lose them, so it is refused and they stay.
TEST_F(InputManager, ASecondInstallIsRefusedAndTheHeldMappersStay) {
  ClInputMapperBase* pGameplay = ClInputManager::getGameplayMapper();
  ClInputMapperBase* pMenus = ClInputManager::getMenusMapper();
  EXPECT_KV_ASSERT(ClInputManager::installGameMappers(nullptr, nullptr), "the game's mappers are already installed");
  EXPECT_EQ(ClInputManager::getGameplayMapper(), pGameplay);
  EXPECT_EQ(ClInputManager::getMenusMapper(), pMenus);
  EXPECT_TRUE(g_destroyed.empty());
}

TEST_F(InputManager, JustPressedNeedsANewValueAboveTheThreshold) {
  SGameInputAction& a = action(0, 3);
  ClInputManager::tick();
  setNow(a, 0.2f);
  EXPECT_TRUE(ClInputManager::isActionJustPressed(a));
  ClInputManager::tick();
  EXPECT_EQ(a.mp_afValues[ClInputManager::m_uiCurInputFrame], 0.0f);  // the tick cleared this frame's value
  setNow(a, 0.2f);
  EXPECT_FALSE(ClInputManager::isActionJustPressed(a));  // held
  ClInputManager::tick();
  setNow(a, 0.1f);
  EXPECT_FALSE(ClInputManager::isActionJustPressed(a));  // exactly 0.1 is not pressed
  ClInputManager::tick();
  setNow(a, 0.11f);
  EXPECT_TRUE(ClInputManager::isActionJustPressed(a));
}

TEST_F(InputManager, AnyPadFindsTheLastPad) {
  ClInputManager::tick();
  EXPECT_FALSE(ClInputManager::isActionJustPressedAnyPad(36));
  setNow(action(3, 36), 1.0f);
  EXPECT_TRUE(ClInputManager::isActionJustPressedAnyPad(36));
  EXPECT_FALSE(ClInputManager::isActionJustPressedAnyPad(35));
  // 36 is the last action: an index or a record past it is a programming error, caught before any read.
  for (const i32 iAction : {37, -1}) {
    EXPECT_KV_ASSERT(ClInputManager::isActionJustPressedAnyPad(iAction), "iAction >= 0 && iAction < m_iActionCount");
    EXPECT_KV_ASSERT(ClInputManager::isActionJustPressed(*(ClInputManager::getActions(3) + iAction)),
                     "iAction >= 0 && iAction < m_iActionCount");
  }
  EXPECT_FALSE(ClInputManager::isActionJustPressed(ClInputManager::m_aDebugCameraActions[gc_iNUM_DEBUG_CAMERA_ACTIONS - 1]));
}

TEST_F(InputManager, AContextChangeBlocksTheRestOfItsFrameAndTheNext) {
  SGameInputAction& a = action(1, 0);
  SGameInputAction& b = action(1, 1);
  SGameInputAction& c = action(1, 2);
  ClInputManager::tick();
  setNow(a, 1.0f);
  ASSERT_TRUE(ClInputManager::isActionJustPressed(a));
  // A mapper change after this frame's tick blocks the rest of the frame...
  ClGameStateMgr::blockInput(gc_iINPUT_BLOCKED_FRAMES);
  EXPECT_FALSE(ClInputManager::isActionJustPressed(a));
  // ... and the next frame,
  ClInputManager::tick();
  setNow(b, 1.0f);
  EXPECT_FALSE(ClInputManager::isActionJustPressed(b));
  EXPECT_FALSE(ClInputManager::isActionJustPressedAnyPad(1));
  // but not the one after.
  ClInputManager::tick();
  setNow(c, 1.0f);
  EXPECT_TRUE(ClInputManager::isActionJustPressed(c));
  EXPECT_TRUE(ClInputManager::isActionJustPressedAnyPad(2));
  EXPECT_EQ(ClGameStateMgr::getInputBlockedFrames(), 0);
}

TEST_F(InputManager, AKeyMappedToAnActionIsJustPressedOnceWhileHeld) {
  CKeyMapper& mapper = *static_cast<CKeyMapper*>(ClInputManager::getGameplayMapper());  // key C, action 5
  auto frame = [&mapper]() {
    ClInputManager::tick();
    mapper.process(0);
    return ClInputManager::isActionJustPressed(action(0, 5));
  };
  EXPECT_FALSE(frame());
  Win32TestPushKey(SDL_SCANCODE_C, true);
  EXPECT_TRUE(frame());
  EXPECT_FALSE(frame());
  EXPECT_FALSE(frame());
  Win32TestPushKey(SDL_SCANCODE_C, false);
  EXPECT_FALSE(frame());
  Win32TestPushKey(SDL_SCANCODE_C, true);
  EXPECT_TRUE(frame());
  EXPECT_EQ(mapper.iCalls, 6);
}

// A key pressed and released between two frames (a slow frame, a quick tap) is one press in the next frame
// and a release in the one after.
TEST_F(InputManager, ATapBetweenTwoFramesIsOnePressInTheNextFrame) {
  CKeyMapper& mapper = *static_cast<CKeyMapper*>(ClInputManager::getGameplayMapper());  // key C, action 5
  struct SFrame {
    bool bJustPressed;
    u32 uiKeyState;
  };
  auto frame = [&mapper]() {
    ClInputManager::tick();
    mapper.process(0);
    return SFrame{ClInputManager::isActionJustPressed(action(0, 5)), key(gc_iKEY_INDEX_C)};
  };
  auto expectFrame = [&frame](bool bJustPressed, u32 uiKeyState, int iLine) {
    const SFrame seen = frame();
    EXPECT_EQ(seen.bJustPressed, bJustPressed) << "line " << iLine;
    EXPECT_EQ(seen.uiKeyState, uiKeyState) << "line " << iLine;
  };
  expectFrame(false, E_KEY_UP, __LINE__);
  Win32TestPushKey(SDL_SCANCODE_C, true);
  Win32TestPushKey(SDL_SCANCODE_C, false);
  expectFrame(true, E_KEY_DOWN, __LINE__);
  expectFrame(false, E_KEY_RELEASED, __LINE__);
  expectFrame(false, E_KEY_UP, __LINE__);

  // Another key tapped alongside is a press of its own in the same frame.
  Win32TestPushKey(SDL_SCANCODE_C, true);
  Win32TestPushKey(SDL_SCANCODE_C, false);
  Win32TestPushKey(SDL_SCANCODE_B, true);
  Win32TestPushKey(SDL_SCANCODE_B, false);
  expectFrame(true, E_KEY_DOWN, __LINE__);
  EXPECT_EQ(key(48), E_KEY_DOWN);
  expectFrame(false, E_KEY_RELEASED, __LINE__);
  EXPECT_EQ(key(48), E_KEY_RELEASED);
  expectFrame(false, E_KEY_UP, __LINE__);

  // A held key is down in every frame and just pressed in the first only.
  Win32TestPushKey(SDL_SCANCODE_C, true);
  expectFrame(true, E_KEY_DOWN, __LINE__);
  expectFrame(false, E_KEY_DOWN, __LINE__);
  Win32TestPushKey(SDL_SCANCODE_C, false);
  expectFrame(false, E_KEY_RELEASED, __LINE__);
}

TEST_F(InputManager, PushingOrPoppingAMapperBlocksTheNextPresses) {
  // The game's frame: input tick, then the top mapper of every local player with one.
  auto frame = [](i32 iAction) {
    ClInputManager::tick();
    for (u32 uiPlayer = 0; uiPlayer < cMAX_LOCAL_PLAYERS; ++uiPlayer) {
      if (ClGameStateMgr::getInputMapperCount(uiPlayer) > 0) {
        ClGameStateMgr::getInputMapper(uiPlayer)->process(static_cast<u8>(uiPlayer));
      }
    }
    return ClInputManager::isActionJustPressed(action(0, iAction));
  };
  // Pushed before a frame: that frame is blocked, the next is not.
  ClGameStateMgr::pushInputMapper(0, ClInputManager::getGameplayMapper());
  Win32TestPushKey(SDL_SCANCODE_C, true);
  EXPECT_FALSE(frame(5));
  Win32TestPushKey(SDL_SCANCODE_C, false);
  EXPECT_FALSE(frame(5));
  Win32TestPushKey(SDL_SCANCODE_C, true);
  EXPECT_TRUE(frame(5));
  // The press opens the menus: the rest of this frame and the next are blocked.
  ClGameStateMgr::pushInputMapper(0, ClInputManager::getMenusMapper());
  EXPECT_FALSE(ClInputManager::isActionJustPressed(action(0, 5)));
  Win32TestPushKey(SDL_SCANCODE_B, true);
  EXPECT_FALSE(frame(6));
  Win32TestPushKey(SDL_SCANCODE_B, false);
  EXPECT_FALSE(frame(6));
  Win32TestPushKey(SDL_SCANCODE_B, true);
  EXPECT_TRUE(frame(6));
  EXPECT_EQ(static_cast<CKeyMapper*>(ClInputManager::getMenusMapper())->iCalls, 3);
  // Popping blocks the same way.
  ClGameStateMgr::popInputMapper(0);
  EXPECT_EQ(ClGameStateMgr::getInputMapper(0), ClInputManager::getGameplayMapper());
  EXPECT_EQ(ClGameStateMgr::getInputBlockedFrames(), gc_iINPUT_BLOCKED_FRAMES);
  ClGameStateMgr::popInputMapper(0);
}

TEST_F(InputManager, DebugCameraMapperFollowsItsTable) {
  f32* pPad = ClInputHWtoKv::mp_aPadStates[2].mp_afInputs;
  ClInputManager::tick();
  pPad[E_PAD_INPUT_LEFT_STICK_X] = -0.25f;
  pPad[E_PAD_INPUT_LEFT_STICK_Y] = 0.75f;
  pPad[E_PAD_INPUT_RIGHT_STICK_X] = 0.5f;
  pPad[E_PAD_INPUT_RIGHT_STICK_Y] = -0.2f;
  pPad[E_PAD_INPUT_DPAD_UP] = 1.0f;
  pPad[E_PAD_INPUT_DPAD_DOWN] = 0.5f;
  pPad[E_PAD_INPUT_LEFT_TRIGGER] = 0.6f;
  pPad[E_PAD_INPUT_RIGHT_TRIGGER] = 0.9f;
  pPad[E_PAD_INPUT_RIGHT_SHOULDER] = 1.0f;
  pPad[E_PAD_INPUT_BACK] = 1.0f;
  ClInputHWtoKv::mp_auiKeyStates[gc_iKEY_INDEX_C] = E_KEY_DOWN;
  g_pInputMapperDebugCamera->process(2);
  g_pInputMapperDebugCamera->process(2);  // the mapper adds
  const u8 uiNow = ClInputManager::m_uiCurInputFrame;
  const f32 afExpected[16] = {0.5f, 0.0f, 2.0f, 0.0f, 1.5f, 0.0f, 3.0f, -1.2f,
                              0.0f, 4.0f, 0.0f, 2.0f, 0.0f, 2.0f, 2.0f, 0.0f};
  for (i32 i = 0; i < 16; ++i) {
    EXPECT_FLOAT_EQ(ClInputManager::m_aDebugCameraActions[i].mp_afValues[uiNow], afExpected[i]) << i;
  }
  ClInputHWtoKv::mp_auiKeyStates[gc_iKEY_INDEX_C] = E_KEY_RELEASED;
  ClInputManager::tick();
  g_pInputMapperDebugCamera->process(2);
  EXPECT_EQ(ClInputManager::m_aDebugCameraActions[14].mp_afValues[ClInputManager::m_uiCurInputFrame], 0.0f);
}

}  // namespace
