// The input manager: owns the hardware layer and the input mappers, runs the hardware tick once per game
// frame, and keeps for each of the four pads an array of game actions that the mappers write and everybody
// else reads.
//
// Each action value is double-buffered by the input frame index, which flips every tick: the value of this
// frame is mp_afValues[m_uiCurInputFrame], the value of the last frame mp_afValues[1 - m_uiCurInputFrame].
// The tick zeroes this frame's values before the mappers run, so a mapper writes (or adds to) fresh values.
// "Just pressed" means above 0.1 now and not above 0.1 in the last frame.
//
// The input-blocked count (ClGameStateMgr::blockInput, kept beside the mapper stacks that set it) is set to 2
// whenever an input context changes (a mapper pushed or popped, a mode entered, a pause); each tick lowers it
// by one while it is above 0, and while it is not 0 nothing reads as just pressed. A change made after this
// frame's tick therefore blocks the rest of this frame and all of the next one, so the press that caused the
// change does not act again in the new context.
//
// Logical pad l reads pad record m_auiPadMap[l] and action array m_auiPadMap[l]; the map is the identity.
// Main thread only; no allocation after initialize.
#pragma once

#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/Input/ClInputHWtoKv.h"
#include "Corvane/Input/ClInputMapperBase.h"
#include "Corvane/System/KvTypes.h"

struct SGameInputAction {
  f32 mp_afValues[2];  // by input frame index
  f32 mp_fThird;       // the game's; not touched here
};
static_assert(sizeof(SGameInputAction) == 12, "an action record is three floats");

inline constexpr i32 gc_iNUM_DEBUG_CAMERA_ACTIONS = 32;
inline constexpr f32 gc_fACTION_PRESSED_THRESHOLD = 0.1f;

class ClInputManager {
 public:
  // Creates and initialises the hardware layer (g_pInputHWToKv), the debug-camera mapper and the game's
  // mappers (through ClInputGameHooks::createGameInputMappers), and the action arrays (m_iActionCount records per
  // pad, zeroed). Returns 1.
  static i32 initialize();
  // Terminates and frees everything initialize made, the game's mappers included; nothing when never initialised.
  // Returns 1.
  static i32 terminate();
  // Hardware tick, text-capture key repeat, frame flip, blocked-counter step, this frame's values zeroed.
  // Returns 1.
  static i32 tick();

  // action must be a record of a pad's action array or of the debug camera's (assertion otherwise).
  static bool isActionJustPressed(const SGameInputAction& action);
  // The test on that action of pads 0, 1, 2, 3 in turn; iAction below the action count (assertion).
  static bool isActionJustPressedAnyPad(i32 iAction);
  // Identity map of logical to hardware pads.
  static void resetLogicalPadMap();

  // The action array of a logical pad (through the pad map).
  static SGameInputAction* getActions(u32 uiLogicalPad);
  // The pad record of a logical pad (through the pad map).
  static SInputPadState& getPadState(u32 uiLogicalPad);

  // The number of actions each pad's array holds; the game sets it before initialize (37).
  static void setActionCount(i32 iActionCount) { m_iActionCount = iActionCount; }
  static i32 getActionCount() { return m_iActionCount; }

  // The game's two mappers: gameplay while a level is played, menus elsewhere. The game installs them from
  // ClInputGameHooks::createGameInputMappers, each an object constructed in a 16-byte-aligned block of
  // KvAlignedAlloc (or null when the heap refused one); from then on the manager owns them and terminate destroys
  // and frees them. Installing while mappers are held is an assertion (they would be lost).
  static void installGameMappers(ClInputMapperBase* pGameplay, ClInputMapperBase* pMenus);
  static ClInputMapperBase* getGameplayMapper();
  static ClInputMapperBase* getMenusMapper();

  // --- Module state ---
  static u32 m_bInitialized;
  static SGameInputAction* m_apGameSpecificInputs[cuiMAX_GAME_PADS];
  static u8 m_uiCurInputFrame;
  static u8 m_auiPadMap[cuiMAX_GAME_PADS];
  static SGameInputAction m_aDebugCameraActions[gc_iNUM_DEBUG_CAMERA_ACTIONS];

 private:
  static i32 m_iActionCount;

  static void mapLogicalPad(u32 uiLogical, u32 uiHW);
  static void checkActionIndex(i32 iAction, i32 iActionCount);
};

extern ClInputMapperBase* g_pInputMapperDebugCamera;
