// The state that game modes push when they take over and pop when they hand back: for each local player a
// stack of input mappers (the top one turns that player's pad into actions), for each TV channel a stack of
// cameras (the top one is what the channel shows), and small stacks of boolean and float settings. Every
// stack holds up to 32 entries; a push onto a full stack is ignored without a message. The stacks hold
// pointers only and own nothing.
//
// Settings read by the engine: bool 0 freezes the debug camera's free flight, bool 8 makes every game frame
// first sleep 750 ms, float 1 is the time scale of the gameplay clock. initialize() pushes the defaults; bool
// states 10 and 11 get no entry, so reading them is an assertion.
//
// Main thread only.
#pragma once

#include "Corvane/ADT/ClSimpleStackTemplate.h"
#include "Corvane/System/KvTypes.h"

class ClInputMapperBase;
class ClCamera;

inline constexpr u32 cMAX_LOCAL_PLAYERS = 4;
inline constexpr i32 gc_iNUM_TV_CHANNELS = 4;
inline constexpr u32 gc_uiNUM_BOOL_STATES = 13;
inline constexpr u32 gc_uiNUM_FLOAT_STATES = 3;
inline constexpr u32 gc_uiFLOAT_STATE_TIME_SCALE = 1;
inline constexpr i32 gc_iINPUT_BLOCKED_FRAMES = 2;

struct SLocalPlayerState {
  i8 m_iTVChannelIdx = -1;   // -1 = none; the game's modes set the first player's to 0 when they enter
  u8 m_uiChannelFlags = 0xFF;  // cleared together with the channel index
  ClSimpleStackTemplate<ClInputMapperBase*> mp_inputMapperStack;
};

struct STVChannelState {
  ClSimpleStackTemplate<ClCamera*> mp_cameraStack;
};

class ClGameStateMgr {
 public:
  // Pushes the default of every bool and float state, each only when its stack has room. Game start-up.
  static void initialize();
  // Empties every stack and lifts the input block; each player watches no TV channel. Game shutdown: the stacks
  // outlive a game, and a game started again in the same process must find them as a new process does (its
  // defaults on top, not a previous game's time scale under a full stack).
  static void terminate();

  // Top of a state's stack; an empty stack is an assertion.
  static bool getBoolState(u32 state);
  static f32 getFloatState(u32 state);
  // Replaces the top of a float state's stack (an empty stack is an assertion).
  static void setFloatState(u32 state, f32 fValue);

  // Input blocking: while the input-blocked count is above 0 no press counts, and each input frame (the input
  // manager's tick) lowers it by one. A change of input context blocks input for 2 frames, so the press that made
  // the change does not act again in the new context; a count of 0 lifts the block.
  static void blockInput(i32 iFrames = gc_iINPUT_BLOCKED_FRAMES);
  static bool isInputBlocked() { return m_iInputBlockedFrames != 0; }
  static i32 getInputBlockedFrames() { return m_iInputBlockedFrames; }
  static void tickInputBlock();

  // Input mappers of local player 0..3. Push and pop block input for 2 frames.
  static void pushInputMapper(u32 uiPlayerIndex, ClInputMapperBase* pMapper);
  static void popInputMapper(u32 uiPlayerIndex);
  static ClInputMapperBase* getInputMapper(u32 uiPlayerIndex);
  static i32 getInputMapperCount(u32 uiPlayerIndex);

  // The TV channel a local player watches (-1: none).
  static void setTVChannel(u32 uiPlayerIndex, i32 iTVChannelIdx);
  static i32 getTVChannel(u32 uiPlayerIndex);

  // Cameras of the first local player's TV channel, which must be set. A push activates the camera and cuts
  // the channel to it; a pop that leaves a camera blends the channel to it over fBlendTime seconds (through
  // ClCameraMgr::switchChannelCamera; while the camera manager is not started only the stacks change).
  static void pushCamera(ClCamera* pCamera);
  static void popCamera(f32 fBlendTime);

  static STVChannelState m_aTVChannelStates[gc_iNUM_TV_CHANNELS];
  static ClSimpleStackTemplate<u32> m_aBoolStateStack[gc_uiNUM_BOOL_STATES];
  static ClSimpleStackTemplate<f32> m_aFloatStateStack[gc_uiNUM_FLOAT_STATES];

 private:
  static SLocalPlayerState m_aLocalPlayers[cMAX_LOCAL_PLAYERS];
  static i32 m_iInputBlockedFrames;

  static i32 firstPlayerChannel();
};
