#include "Code/Input/GAMEInputMappers.h"

#include <new>

#include "Code/UI/GAMEUI_Screens.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/ClUI.h"

// The menus mapper writes the actions the UI manager reads for its events.
static_assert(E_GAME_ACTION_MENU_UP == gc_iUI_ACTION_UP && E_GAME_ACTION_MENU_DOWN == gc_iUI_ACTION_DOWN);
static_assert(E_GAME_ACTION_MENU_LEFT == gc_iUI_ACTION_LEFT && E_GAME_ACTION_MENU_RIGHT == gc_iUI_ACTION_RIGHT);
static_assert(E_GAME_ACTION_MENU_ACCEPT == gc_iUI_ACTION_ACCEPT && E_GAME_ACTION_MENU_BACK == gc_iUI_ACTION_BACK);
static_assert(E_GAME_ACTION_MENU_ALT1 == gc_iUI_ACTION_ALT1 && E_GAME_ACTION_MENU_ALT2 == gc_iUI_ACTION_ALT2);
static_assert(E_GAME_ACTION_MENU_START == gc_iUI_ACTION_START);

namespace {

// Keyboard scan codes (the DirectInput numbering the input layer reads).
enum E_SCAN : u32 {
  E_SCAN_ESCAPE = 0x01,
  E_SCAN_1 = 0x02,
  E_SCAN_2 = 0x03,
  E_SCAN_3 = 0x04,
  E_SCAN_4 = 0x05,
  E_SCAN_5 = 0x06,
  E_SCAN_BACK = 0x0E,
  E_SCAN_TAB = 0x0F,
  E_SCAN_Q = 0x10,
  E_SCAN_W = 0x11,
  E_SCAN_E = 0x12,
  E_SCAN_R = 0x13,
  E_SCAN_I = 0x17,
  E_SCAN_O = 0x18,
  E_SCAN_RETURN = 0x1C,
  E_SCAN_A = 0x1E,
  E_SCAN_S = 0x1F,
  E_SCAN_D = 0x20,
  E_SCAN_J = 0x24,
  E_SCAN_K = 0x25,
  E_SCAN_L = 0x26,
  E_SCAN_LSHIFT = 0x2A,
  E_SCAN_RSHIFT = 0x36,
  E_SCAN_SPACE = 0x39,
  E_SCAN_UP = 0xC8,
  E_SCAN_LEFT = 0xCB,
  E_SCAN_RIGHT = 0xCD,
  E_SCAN_DOWN = 0xD0,
};

// Slot 28 of a pad record, which the input layer never writes.
constexpr i32 gc_iPAD_INPUT_UNUSED_28 = 28;

// 1.0 while the key is held.
f32 key(E_SCAN eScan) {
  return ClInputHWtoKv::mp_auiKeyStates[KvKeyIndexFromScanCode(eScan)] == E_KEY_DOWN ? KV_ONE : KV_ZERO;
}
f32 above(f32 fValue) { return fValue > 0.5f ? KV_ONE : KV_ZERO; }
f32 below(f32 fValue) { return fValue < -0.5f ? KV_ONE : KV_ZERO; }

// Adds to one player's actions of the current input frame.
class CActionAdder {
 public:
  explicit CActionAdder(u8 uiPlayer)
      : m_pActions(ClInputManager::getActions(uiPlayer)), m_uiFrame(ClInputManager::m_uiCurInputFrame) {}
  void operator()(i32 iAction, f32 fValue) const { m_pActions[iAction].mp_afValues[m_uiFrame] += fValue; }

 private:
  SGameInputAction* m_pActions;
  u8 m_uiFrame;
};

// Keys 1 to 5 and Q's second action, the same in both mappers.
void addNumberKeys(const CActionAdder& add) {
  add(E_GAME_ACTION_KEY_Q, key(E_SCAN_Q));
  const E_SCAN aeNumbers[] = {E_SCAN_1, E_SCAN_2, E_SCAN_3, E_SCAN_4, E_SCAN_5};
  for (i32 i = 0; i < 5; ++i) {
    add(E_GAME_ACTION_KEY_1 + i, key(aeNumbers[i]));
  }
}

template <typename T>
ClInputMapperBase* createAligned() {
  void* pBlock = KvAlignedAlloc(sizeof(T), 16);
  return pBlock != nullptr ? new (pBlock) T() : nullptr;
}

}  // namespace

void ClInputMapperGAMENormalGameplay::process(u8 uiPlayerIndex) {
  // An open error dialog holds every player's input.
  if (g_bErrorDialogActive != 0) {
    return;
  }
  const f32* p = ClInputManager::getPadState(uiPlayerIndex).mp_afInputs;
  const CActionAdder add(uiPlayerIndex);
  add(E_GAME_ACTION_AIM_AXIS, p[E_PAD_INPUT_LEFT_STICK_X]);
  add(E_GAME_ACTION_AIM_LEFT, p[E_PAD_INPUT_DPAD_LEFT] + key(E_SCAN_A) + key(E_SCAN_LEFT));
  add(E_GAME_ACTION_AIM_RIGHT, p[E_PAD_INPUT_DPAD_RIGHT] + key(E_SCAN_D) + key(E_SCAN_RIGHT));
  add(E_GAME_ACTION_LOW_PUNCH, p[E_PAD_INPUT_A] + key(E_SCAN_DOWN) + key(E_SCAN_K));
  add(E_GAME_ACTION_HIGH_PUNCH, p[E_PAD_INPUT_B] + key(E_SCAN_RIGHT) + key(E_SCAN_L));
  add(E_GAME_ACTION_LEFT_PUNCH, p[E_PAD_INPUT_X] + key(E_SCAN_LEFT) + key(E_SCAN_J));
  add(E_GAME_ACTION_UPPERCUT, p[E_PAD_INPUT_Y] + key(E_SCAN_UP) + key(E_SCAN_I));
  add(E_GAME_ACTION_MAGIC, p[E_PAD_INPUT_RIGHT_SHOULDER] + p[E_PAD_INPUT_RIGHT_TRIGGER] + key(E_SCAN_E) +
                               key(E_SCAN_LSHIFT) + key(E_SCAN_RSHIFT));
  add(E_GAME_ACTION_SUPER_WEAPON,
      p[E_PAD_INPUT_LEFT_SHOULDER] + p[E_PAD_INPUT_LEFT_TRIGGER] + key(E_SCAN_Q) + key(E_SCAN_SPACE));
  add(E_GAME_ACTION_LANE_UP, p[E_PAD_INPUT_DPAD_UP] + above(p[E_PAD_INPUT_LEFT_STICK_Y]) + key(E_SCAN_W));
  add(E_GAME_ACTION_LANE_DOWN, p[E_PAD_INPUT_DPAD_DOWN] + below(p[E_PAD_INPUT_LEFT_STICK_Y]) + key(E_SCAN_S));
  add(E_GAME_ACTION_BACK, p[E_PAD_INPUT_BACK] + key(E_SCAN_TAB));
  add(E_GAME_ACTION_PAUSE, p[E_PAD_INPUT_START] + key(E_SCAN_RETURN) + key(E_SCAN_ESCAPE));
  addNumberKeys(add);
}

void ClInputMapperMenus::process(u8 uiPlayerIndex) {
  // An open error dialog holds every player's input.
  if (g_bErrorDialogActive != 0) {
    return;
  }
  const f32* p = ClInputManager::getPadState(uiPlayerIndex).mp_afInputs;
  const CActionAdder add(uiPlayerIndex);
  const f32 fLeftX = p[E_PAD_INPUT_LEFT_STICK_X];
  const f32 fLeftY = p[E_PAD_INPUT_LEFT_STICK_Y];
  const f32 fRightX = p[E_PAD_INPUT_RIGHT_STICK_X];
  const f32 fRightY = p[E_PAD_INPUT_RIGHT_STICK_Y];
  add(E_GAME_ACTION_BACK, p[E_PAD_INPUT_BACK]);
  add(E_GAME_ACTION_PAUSE, p[E_PAD_INPUT_START]);
  add(E_GAME_ACTION_MENU_UP,
      above(p[E_PAD_INPUT_DPAD_UP]) + above(fRightY) + above(fLeftY) + key(E_SCAN_W) + key(E_SCAN_UP));
  add(E_GAME_ACTION_MENU_DOWN,
      above(p[E_PAD_INPUT_DPAD_DOWN]) + below(fRightY) + below(fLeftY) + key(E_SCAN_S) + key(E_SCAN_DOWN));
  add(E_GAME_ACTION_MENU_LEFT,
      above(p[E_PAD_INPUT_DPAD_LEFT]) + below(fRightX) + below(fLeftX) + key(E_SCAN_A) + key(E_SCAN_LEFT));
  add(E_GAME_ACTION_MENU_RIGHT,
      above(p[E_PAD_INPUT_DPAD_RIGHT]) + above(fRightX) + above(fLeftX) + key(E_SCAN_D) + key(E_SCAN_RIGHT));
  add(E_GAME_ACTION_MENU_LEFT_SHOULDER, p[E_PAD_INPUT_LEFT_SHOULDER] + key(E_SCAN_A) + key(E_SCAN_LEFT));
  add(E_GAME_ACTION_MENU_RIGHT_SHOULDER, p[E_PAD_INPUT_RIGHT_SHOULDER] + key(E_SCAN_D) + key(E_SCAN_RIGHT));
  add(E_GAME_ACTION_MENU_ACCEPT, p[E_PAD_INPUT_A] + p[E_PAD_INPUT_MOUSE_LEFT] + key(E_SCAN_RETURN) + key(E_SCAN_E));
  add(E_GAME_ACTION_MENU_ALT1, p[E_PAD_INPUT_X] + key(E_SCAN_R));
  add(E_GAME_ACTION_MENU_ALT2, p[E_PAD_INPUT_Y] + key(E_SCAN_L));
  add(E_GAME_ACTION_MENU_BACK,
      p[E_PAD_INPUT_B] + p[E_PAD_INPUT_MOUSE_RIGHT] + key(E_SCAN_ESCAPE) + key(E_SCAN_Q) + key(E_SCAN_BACK));
  add(E_GAME_ACTION_MENU_START, p[E_PAD_INPUT_START] + key(E_SCAN_O));
  add(E_GAME_ACTION_MENU_SELECT, p[E_PAD_INPUT_BACK] + key(E_SCAN_TAB));
  add(E_GAME_ACTION_MENU_PAD_SLOT_28, p[gc_iPAD_INPUT_UNUSED_28]);
  addNumberKeys(add);
  const E_SCAN aeMenuKeys[] = {E_SCAN_SPACE, E_SCAN_UP, E_SCAN_DOWN, E_SCAN_LEFT, E_SCAN_RIGHT, E_SCAN_RETURN,
                               E_SCAN_W,     E_SCAN_A,  E_SCAN_S,    E_SCAN_D,    E_SCAN_E};
  for (E_SCAN eKey : aeMenuKeys) {
    add(E_GAME_ACTION_ANY_MENU_KEY, key(eKey));
  }
  add(E_GAME_ACTION_ANY_PAD_CONTROL,
      p[E_PAD_INPUT_BACK] + p[E_PAD_INPUT_START] + p[E_PAD_INPUT_A] + p[E_PAD_INPUT_B] + p[E_PAD_INPUT_Y] +
          p[E_PAD_INPUT_X] + p[E_PAD_INPUT_DPAD_UP] + p[E_PAD_INPUT_DPAD_DOWN] + p[E_PAD_INPUT_DPAD_LEFT] +
          p[E_PAD_INPUT_DPAD_RIGHT] + above(fRightY) + above(fLeftY) + below(fRightY) + below(fLeftY) + below(fRightX) +
          below(fLeftX) + above(fRightX) + above(fLeftX));
}

void createGameInputMappers() {
  KV_ASSERT_MSG(ClInputManager::getActionCount() >= NUM_E_GAME_ACTION,
                "ClInputManager::getActionCount() >= NUM_E_GAME_ACTION");
  ClInputManager::installGameMappers(createAligned<ClInputMapperGAMENormalGameplay>(),
                                     createAligned<ClInputMapperMenus>());
}
