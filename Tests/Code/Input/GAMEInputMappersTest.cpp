// The game's two input mappers, from each pad slot and each key to the actions it raises, with the values it
// adds.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>

#include "Code/Input/GAMEInputMappers.h"
#include "Code/UI/GAMEUI_Screens.h"
#include "Corvane/Input/ClInputManager.h"
#include "Tests/Corvane/Input/InputTestSupport.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

constexpr i32 gc_iACTIONS = 37;

// Keyboard scan codes (DirectInput numbering) of the keys the mappers read.
enum : u32 {
  SC_ESCAPE = 0x01, SC_1 = 0x02, SC_2 = 0x03, SC_3 = 0x04, SC_4 = 0x05, SC_5 = 0x06, SC_BACK = 0x0E, SC_TAB = 0x0F,
  SC_Q = 0x10, SC_W = 0x11, SC_E = 0x12, SC_R = 0x13, SC_I = 0x17, SC_O = 0x18, SC_RETURN = 0x1C, SC_A = 0x1E,
  SC_S = 0x1F, SC_D = 0x20, SC_J = 0x24, SC_K = 0x25, SC_L = 0x26, SC_LSHIFT = 0x2A, SC_RSHIFT = 0x36,
  SC_SPACE = 0x39, SC_UP = 0xC8, SC_LEFT = 0xCB, SC_RIGHT = 0xCD, SC_DOWN = 0xD0, SC_Z = 0x2C,
};

using Actions = std::map<i32, f32>;

class GameInputMappers : public ::testing::Test {
 protected:
  void SetUp() override {
    for (u32 i = 0; i < cuiMAX_GAME_PADS; ++i) {
      ClInputManager::m_apGameSpecificInputs[i] = m_aaActions[i];
    }
    ClInputManager::resetLogicalPadMap();
    ClInputManager::m_uiCurInputFrame = 1;
    clearInputs();
  }
  void TearDown() override {
    for (SGameInputAction*& pActions : ClInputManager::m_apGameSpecificInputs) {
      pActions = nullptr;
    }
    clearInputs();
  }
  static void clearInputs() {
    std::memset(ClInputHWtoKv::mp_aPadStates, 0, sizeof(ClInputHWtoKv::mp_aPadStates));
    std::memset(ClInputHWtoKv::mp_auiKeyStates, 0, sizeof(ClInputHWtoKv::mp_auiKeyStates));
  }
  // The non-zero actions of the current frame of a player after one pass of the mapper (the other frame holds
  // garbage that must stay untouched).
  Actions run(ClInputMapperBase& mapper, u8 uiPlayer) {
    for (SGameInputAction& action : m_aaActions[uiPlayer]) {
      action = {{7.0f, 0.0f}, 9.0f};
    }
    mapper.process(uiPlayer);
    Actions result;
    for (i32 i = 0; i < gc_iACTIONS; ++i) {
      const SGameInputAction& action = m_aaActions[uiPlayer][i];
      EXPECT_EQ(action.mp_afValues[0], 7.0f) << "the other input frame's action " << i;
      EXPECT_EQ(action.mp_fThird, 9.0f);
      if (action.mp_afValues[1] != 0.0f) {
        result[i] = action.mp_afValues[1];
      }
    }
    return result;
  }
  static void holdKey(u32 uiScan, u32 uiState = E_KEY_DOWN) {
    ClInputHWtoKv::mp_auiKeyStates[KvKeyIndexFromScanCode(uiScan)] = uiState;
  }
  static void setPad(u32 uiPad, i32 iSlot, f32 fValue) { ClInputHWtoKv::mp_aPadStates[uiPad].mp_afInputs[iSlot] = fValue; }

  SGameInputAction m_aaActions[cuiMAX_GAME_PADS][gc_iACTIONS] = {};
  ClInputMapperGAMENormalGameplay m_gameplay;
  ClInputMapperMenus m_menus;
};

struct SPadCase {
  i32 iSlot;
  f32 fValue;
  Actions gameplay;
  Actions menus;
};

TEST_F(GameInputMappers, PadSlotsRaiseTheirActions) {
  const SPadCase aCases[] = {
      {0, 1.0f, {{3, 1.0f}}, {{19, 1.0f}, {36, 1.0f}}},                 // A
      {1, 1.0f, {{4, 1.0f}}, {{22, 1.0f}, {36, 1.0f}}},                 // B
      {2, 1.0f, {{5, 1.0f}}, {{20, 1.0f}, {36, 1.0f}}},                 // X
      {3, 1.0f, {{6, 1.0f}}, {{21, 1.0f}, {36, 1.0f}}},                 // Y
      {6, 1.0f, {{8, 1.0f}}, {{17, 1.0f}}},                             // left shoulder
      {7, 1.0f, {{7, 1.0f}}, {{18, 1.0f}}},                             // right shoulder
      {8, 0.6f, {{8, 0.6f}}, {}},                                       // left trigger, by its value
      {9, 0.6f, {{7, 0.6f}}, {}},                                       // right trigger
      {10, 1.0f, {}, {}},                                               // left thumb: unused
      {12, 1.0f, {{9, 1.0f}}, {{13, 1.0f}, {36, 1.0f}}},                // d-pad up
      {13, 1.0f, {{10, 1.0f}}, {{14, 1.0f}, {36, 1.0f}}},               // d-pad down
      {14, 1.0f, {{1, 1.0f}}, {{15, 1.0f}, {36, 1.0f}}},                // d-pad left
      {15, 1.0f, {{2, 1.0f}}, {{16, 1.0f}, {36, 1.0f}}},                // d-pad right
      {16, 0.7f, {{9, 1.0f}}, {{13, 1.0f}, {36, 1.0f}}},                // left stick up
      {16, -0.7f, {{10, 1.0f}}, {{14, 1.0f}, {36, 1.0f}}},              // left stick down
      {16, 0.5f, {}, {}},                                               // thresholds are strict
      {16, -0.5f, {}, {}},
      {17, 0.7f, {{0, 0.7f}}, {{16, 1.0f}, {36, 1.0f}}},                // left stick right
      {17, -0.7f, {{0, -0.7f}}, {{15, 1.0f}, {36, 1.0f}}},              // left stick left
      {17, 0.3f, {{0, 0.3f}}, {}},
      {18, 0.7f, {}, {{13, 1.0f}, {36, 1.0f}}},                         // right stick up
      {18, -0.7f, {}, {{14, 1.0f}, {36, 1.0f}}},
      {19, 0.7f, {}, {{16, 1.0f}, {36, 1.0f}}},                         // right stick right
      {19, -0.7f, {}, {{15, 1.0f}, {36, 1.0f}}},
      {22, 1.0f, {{11, 1.0f}}, {{11, 1.0f}, {24, 1.0f}, {36, 1.0f}}},   // back
      {23, 1.0f, {{12, 1.0f}}, {{12, 1.0f}, {23, 1.0f}, {36, 1.0f}}},   // start
      {28, 1.0f, {}, {{25, 1.0f}}},
      {34, 1.0f, {}, {{19, 1.0f}}},                                     // left mouse button
      {35, 1.0f, {}, {{22, 1.0f}}},                                     // right mouse button
  };
  for (const SPadCase& c : aCases) {
    SCOPED_TRACE("slot " + std::to_string(c.iSlot) + " = " + std::to_string(c.fValue));
    clearInputs();
    setPad(0, c.iSlot, c.fValue);
    EXPECT_EQ(run(m_gameplay, 0), c.gameplay);
    EXPECT_EQ(run(m_menus, 0), c.menus);
  }
  // The d-pad counts through its "above 0.5" test in the menus' directions but by its value in action 36.
  clearInputs();
  setPad(0, 12, 0.4f);
  EXPECT_EQ(run(m_menus, 0), (Actions{{36, 0.4f}}));
}

struct SKeyCase {
  const char* pName;
  u32 uiScan;
  Actions gameplay;
  Actions menus;
};

TEST_F(GameInputMappers, KeysRaiseTheirActions) {
  const SKeyCase aCases[] = {
      {"A", SC_A, {{1, 1.0f}}, {{15, 1.0f}, {17, 1.0f}, {35, 1.0f}}},
      {"D", SC_D, {{2, 1.0f}}, {{16, 1.0f}, {18, 1.0f}, {35, 1.0f}}},
      {"W", SC_W, {{9, 1.0f}}, {{13, 1.0f}, {35, 1.0f}}},
      {"S", SC_S, {{10, 1.0f}}, {{14, 1.0f}, {35, 1.0f}}},
      {"LEFT", SC_LEFT, {{1, 1.0f}, {5, 1.0f}}, {{15, 1.0f}, {17, 1.0f}, {35, 1.0f}}},
      {"RIGHT", SC_RIGHT, {{2, 1.0f}, {4, 1.0f}}, {{16, 1.0f}, {18, 1.0f}, {35, 1.0f}}},
      {"UP", SC_UP, {{6, 1.0f}}, {{13, 1.0f}, {35, 1.0f}}},
      {"DOWN", SC_DOWN, {{3, 1.0f}}, {{14, 1.0f}, {35, 1.0f}}},
      {"K", SC_K, {{3, 1.0f}}, {}},
      {"L", SC_L, {{4, 1.0f}}, {{21, 1.0f}}},
      {"J", SC_J, {{5, 1.0f}}, {}},
      {"I", SC_I, {{6, 1.0f}}, {}},
      {"E", SC_E, {{7, 1.0f}}, {{19, 1.0f}, {35, 1.0f}}},
      {"LSHIFT", SC_LSHIFT, {{7, 1.0f}}, {}},
      {"RSHIFT", SC_RSHIFT, {{7, 1.0f}}, {}},
      {"Q", SC_Q, {{8, 1.0f}, {29, 1.0f}}, {{22, 1.0f}, {29, 1.0f}}},
      {"SPACE", SC_SPACE, {{8, 1.0f}}, {{35, 1.0f}}},
      {"TAB", SC_TAB, {{11, 1.0f}}, {{24, 1.0f}}},
      {"RETURN", SC_RETURN, {{12, 1.0f}}, {{19, 1.0f}, {35, 1.0f}}},
      {"ESCAPE", SC_ESCAPE, {{12, 1.0f}}, {{22, 1.0f}}},
      {"R", SC_R, {}, {{20, 1.0f}}},
      {"O", SC_O, {}, {{23, 1.0f}}},
      {"BACK", SC_BACK, {}, {{22, 1.0f}}},
      {"1", SC_1, {{30, 1.0f}}, {{30, 1.0f}}},
      {"2", SC_2, {{31, 1.0f}}, {{31, 1.0f}}},
      {"3", SC_3, {{32, 1.0f}}, {{32, 1.0f}}},
      {"4", SC_4, {{33, 1.0f}}, {{33, 1.0f}}},
      {"5", SC_5, {{34, 1.0f}}, {{34, 1.0f}}},
      {"Z", SC_Z, {}, {}},
  };
  for (const SKeyCase& c : aCases) {
    SCOPED_TRACE(c.pName);
    clearInputs();
    holdKey(c.uiScan);
    EXPECT_EQ(run(m_gameplay, 0), c.gameplay);
    EXPECT_EQ(run(m_menus, 0), c.menus);
    // A key released this frame counts for nothing.
    holdKey(c.uiScan, E_KEY_RELEASED);
    EXPECT_EQ(run(m_gameplay, 0), Actions{});
    EXPECT_EQ(run(m_menus, 0), Actions{});
  }
}

TEST_F(GameInputMappers, ControlsAddUpAndReachThePlayersTheyBelongTo) {
  // Pad A and RETURN together: 2.0 on the click, still one press.
  setPad(0, 0, 1.0f);
  holdKey(SC_RETURN);
  EXPECT_EQ(run(m_menus, 0)[19], 2.0f);
  // The keyboard reaches every player a mapper runs for; a pad only its own player.
  clearInputs();
  holdKey(SC_W);
  setPad(2, 1, 1.0f);
  for (u8 uiPlayer = 0; uiPlayer < cuiMAX_GAME_PADS; ++uiPlayer) {
    SCOPED_TRACE(int(uiPlayer));
    Actions expected{{13, 1.0f}, {35, 1.0f}};
    if (uiPlayer == 2) {
      expected[22] = 1.0f;
      expected[36] = 1.0f;
    }
    EXPECT_EQ(run(m_menus, uiPlayer), expected);
  }
  // The mouse buttons live in pad record 0: they click for player 0 only.
  clearInputs();
  setPad(0, 34, 1.0f);
  EXPECT_EQ(run(m_menus, 1), Actions{});
  // The mappers add to what the frame holds.
  clearInputs();
  holdKey(SC_E);
  m_aaActions[0][7].mp_afValues[1] = 0.25f;
  m_gameplay.process(0);
  EXPECT_EQ(m_aaActions[0][7].mp_afValues[1], 1.25f);
}

// While the error dialog is open neither mapper maps anything; once it closes the same controls act again.
TEST_F(GameInputMappers, AnOpenErrorDialogHoldsAllInput) {
  holdKey(SC_RETURN);
  setPad(0, E_PAD_INPUT_A, 1.0f);
  g_bErrorDialogActive = 1;
  EXPECT_TRUE(run(m_gameplay, 0).empty());
  EXPECT_TRUE(run(m_menus, 0).empty());
  g_bErrorDialogActive = 0;
  EXPECT_FALSE(run(m_menus, 0).empty());
}

// The input manager started with the game's factory for its mappers; its terminate frees them.
class GameInputMappersInstalled : public InputTest {
 protected:
  void SetUp() override {
    KvTestInputHooks().m_createMappers = &createGameInputMappers;
    InputTest::SetUp();
  }
  void TearDown() override {
    InputTest::TearDown();
    KvTestInputHooks().reset();
  }
};

TEST_F(GameInputMappersInstalled, FactoryMakesBothMappersForTheInputManager) {
  ASSERT_NE(dynamic_cast<ClInputMapperGAMENormalGameplay*>(ClInputManager::getGameplayMapper()), nullptr);
  ASSERT_NE(dynamic_cast<ClInputMapperMenus*>(ClInputManager::getMenusMapper()), nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(ClInputManager::getGameplayMapper()) % 16, 0u);
}

}  // namespace
