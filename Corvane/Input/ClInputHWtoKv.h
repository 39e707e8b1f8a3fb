// The input hardware layer: turns the keyboard, the mouse and up to four game pads into the engine's
// device-independent input, once per game frame, on the main thread.
//
// Results are module state, one copy for the process, read directly by the mappers, the UI and the tools:
// - pad records: 4 x SInputPadState (44 floats), zeroed at the start of every tick and refilled; record r is
//   logical pad r (the input manager's pad map says which hardware pad feeds it);
// - connected flags: 1 while the last read of that pad succeeded;
// - the key-state table: 145 entries by engine key index (KvKeyIndexFromScanCode), E_KEY_STATE values; a key
//   released during a tick reads E_KEY_RELEASED for that tick only;
// - pointer positions: 4 entries in pixels of the UI's 2D picture (ClGraphics::displayTo2DPicture; the display's
//   pixels unless the game shows the picture scaled); entry 0 is the mouse (where the system cursor is over the
//   window), clamped to the picture. The UI may write entry 0 directly when it snaps the pointer to a widget.
//
// ClInputHWtoKv is the platform-independent base (its virtual slots are the contract); the one instance, a
// ClInputHWtoKvPlatform made by the input manager, is reached through g_pInputHWToKv.
//
// The layer also carries the text-input capture: while the capture is active the buffered keyboard events
// of each tick are turned into one line of text instead of updating the key-state table. Nothing in the
// engine switches the capture on; a caller that wants typed text sets mp_bTextInputCaptureActive after
// startTextInputCapture.
#pragma once

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/Math/KvMath.h"
#include "Corvane/System/KvTypes.h"

inline constexpr u32 cuiMAX_GAME_PADS = 4;
inline constexpr i32 gc_iPAD_STATE_FLOATS = 44;
inline constexpr i32 gc_iNUM_KEY_STATES = 145;
inline constexpr i32 gc_iNUM_INPUT_POINTERS = 4;
inline constexpr i32 gc_iNUM_MOUSE_BUTTONS = 3;

// Where each control lands in a pad record. Buttons read 1.0 while held; sticks -1..1 with up and right
// positive; triggers 0..1. The pointer and mouse entries are written in record 0 only.
enum E_PAD_INPUT : i32 {
  E_PAD_INPUT_A = 0,
  E_PAD_INPUT_B = 1,
  E_PAD_INPUT_X = 2,
  E_PAD_INPUT_Y = 3,
  E_PAD_INPUT_LEFT_SHOULDER = 6,
  E_PAD_INPUT_RIGHT_SHOULDER = 7,
  E_PAD_INPUT_LEFT_TRIGGER = 8,
  E_PAD_INPUT_RIGHT_TRIGGER = 9,
  E_PAD_INPUT_LEFT_THUMB = 10,
  E_PAD_INPUT_RIGHT_THUMB = 11,
  E_PAD_INPUT_DPAD_UP = 12,
  E_PAD_INPUT_DPAD_DOWN = 13,
  E_PAD_INPUT_DPAD_LEFT = 14,
  E_PAD_INPUT_DPAD_RIGHT = 15,
  E_PAD_INPUT_LEFT_STICK_Y = 16,
  E_PAD_INPUT_LEFT_STICK_X = 17,
  E_PAD_INPUT_RIGHT_STICK_Y = 18,
  E_PAD_INPUT_RIGHT_STICK_X = 19,
  E_PAD_INPUT_BACK = 22,
  E_PAD_INPUT_START = 23,
  E_PAD_INPUT_RIGHT_STICK_DIRECTION = 26,  // degrees in [0, 360), clockwise from up; 0 when centred
  E_PAD_INPUT_RIGHT_TRIGGER_X10 = 27,      // 0..10
  E_PAD_INPUT_POINTER_PRESENT = 30,
  E_PAD_INPUT_POINTER_Y = 31,  // 0..1, 0 at the top
  E_PAD_INPUT_POINTER_X = 32,  // 0..1, 0 at the left
  E_PAD_INPUT_MOUSE_WHEEL = 33,  // +1 or -1 in the tick of a wheel event
  E_PAD_INPUT_MOUSE_LEFT = 34,
  E_PAD_INPUT_MOUSE_RIGHT = 35,
  E_PAD_INPUT_MOUSE_MIDDLE = 36,
};

struct SInputPadState {
  f32 mp_afInputs[gc_iPAD_STATE_FLOATS];
};
static_assert(sizeof(SInputPadState) == 176, "a pad record is 44 floats");

enum E_KEY_STATE : u32 {
  E_KEY_UP = 0,
  E_KEY_DOWN = 1,
  E_KEY_RELEASED = 2,  // released during this tick; up again at the next
};

// Engine key index of a keyboard scan code (the DirectInput numbering): the 144 codes the keyboard defines
// are numbered 1..144 in ascending code order; every other code is 0.
u8 KvKeyIndexFromScanCode(u32 uiScanCode);
inline constexpr i32 gc_iNUM_KEY_INDICES = 144;

// One stored character of the text capture.
struct STextInputCaptureChar {
  u16 mp_uiChar;
  u16 mp_uiUnshiftedChar;  // the same key's character without modifiers
  u32 mp_uiModifiers;      // E_TEXT_MODIFIER bits of the event
};

enum E_TEXT_MODIFIER : u32 {
  E_TEXT_MODIFIER_LSHIFT = 1,
  E_TEXT_MODIFIER_RSHIFT = 2,
  E_TEXT_MODIFIER_LCONTROL = 4,
  E_TEXT_MODIFIER_RCONTROL = 8,
  E_TEXT_MODIFIER_LALT = 16,
  E_TEXT_MODIFIER_RALT = 32,
};

// Called with each callback character typed while the capture runs.
typedef void (*PFN_TEXT_INPUT_CALLBACK)(u16 uiChar);

inline constexpr u32 gc_uiTEXT_CAPTURE_UNLIMITED = 0xFFFFFFFFu;
inline constexpr i32 gc_iTEXT_CAPTURE_DEFAULT_MAX = 255;

struct STextInputCapture {
  ClDynamicVector<STextInputCaptureChar> mp_daTextInputCapture;
  i32 mp_iCurrentCursorLocation = 0;  // 0..character count
  u32 mp_uiMaxLength = gc_iTEXT_CAPTURE_DEFAULT_MAX;  // gc_uiTEXT_CAPTURE_UNLIMITED: no limit
  f32 mp_fInitialKeyRepeatDelay = KV_ZERO;  // seconds before the first repeat of a held key
  f32 mp_fNextKeyRepeatDelay = KV_ZERO;     // seconds between later repeats
  u32 mp_bOverwriteMode = 0;
  u32 mp_bCapsLock = 0;
  u32 mp_bShiftHeld = 0;
  u32 mp_bControlHeld = 0;
  u32 mp_bAltHeld = 0;
  ClDynamicVector<u16> mp_daAcceptedChars;  // an empty list accepts nothing
  ClDynamicVector<u16> mp_daEndChars;
  ClDynamicVector<u16> mp_daCallbackChars;
  PFN_TEXT_INPUT_CALLBACK mp_pfnCallback = nullptr;
  u16 mp_uiEndChar = 0;  // the end character that closed the capture; 0 before
};

enum E_KEY_REPEAT_STATE : u32 {
  E_KEY_REPEAT_NONE = 0,
  E_KEY_REPEAT_WAITING = 1,    // waiting for the first repeat
  E_KEY_REPEAT_REPEATING = 2,
};

class ClInputHWtoKv {
 public:
  virtual ~ClInputHWtoKv() {}
  virtual void initialize() = 0;
  virtual void tick() = 0;
  // Three device queries of the interface; the engine's platform answers 0 to each.
  virtual u32 queryDevice0(u32 uiArg) = 0;
  virtual u32 queryDevice1(u32 uiArg) = 0;
  virtual u32 queryDevice2(u32 uiArg) = 0;
  virtual void setTuningPair(f32 fFirst, f32 fSecond) = 0;
  virtual void terminate() = 0;
  // Stores the position (pixels) of one pointer.
  virtual void setPointerPosition(i32 iPointer, f32 fX, f32 fY) {
    (void)iPointer;
    (void)fX;
    (void)fY;
  }
  // The game's pad tester (set-up and tick): ClInputGameHooks::initPadMonkey and tickPadMonkey.
  virtual void initPadMonkey() = 0;
  virtual void tickPadMonkey() = 0;
  virtual void onTextInputCaptureStart(u32 uiArg0, u32 uiArg1, u32 uiArg2) {
    (void)uiArg0;
    (void)uiArg1;
    (void)uiArg2;
  }
  // Turns buffered keyboard events into captured text: 1 when events were given, else 0.
  virtual u32 feedTextInputCapture(const void* pPlatformData1, u32 uiCount, u32 uiSpare) = 0;
  // Key repeat of the capture; once per input update.
  virtual void platformTickTextInputCapture() = 0;
  virtual void onTextInputCaptureStop() {}

  // Prepares the capture record: the three character lists (zero-terminated UTF-16, null for an empty
  // list), the repeat delays in seconds (not negative). Lists of an earlier capture are released first. Does
  // not change mp_bTextInputCaptureActive. Needs g_pInputHWToKv.
  static void startTextInputCapture(const wchar16* pAcceptedChars, const wchar16* pEndChars,
                                    const wchar16* pCallbackChars, f32 fInitialKeyRepeatDelay,
                                    f32 fNextKeyRepeatDelay);
  // Releases the capture's lists when they exist. Needs g_pInputHWToKv.
  static void stopTextInputCapture();
  // One key event of the capture (scan code, pressed or released); repeats of a held key come from the
  // platform tick with bAllowRepeat false.
  static void handleTextInputKey(bool bPressed, u32 uiKeyCode, bool bAllowRepeat);

  // The keyboard's cooperative level has been set.
  u32 m_bKeyboardCooperativeLevelSet = 0;

  // One input of a hardware pad's record, and whether the pad counts as connected (the pad tester plays a pad
  // through these).
  static f32 getPadInput(u32 uiPad, i32 iInput);
  static void setPadInput(u32 uiPad, i32 iInput, f32 fValue);
  static void setPadConnected(u32 uiPad, bool bConnected);

  // --- Module state ---
  static SInputPadState mp_aPadStates[cuiMAX_GAME_PADS];
  static u32 mp_auiPadConnected[cuiMAX_GAME_PADS];
  static u32 mp_auiKeyStates[gc_iNUM_KEY_STATES];
  static u32 mp_auiMouseButtons[gc_iNUM_MOUSE_BUTTONS];  // left, right, middle; 1 while held
  static kv_vector2 mp_aPointerPositions[gc_iNUM_INPUT_POINTERS];

  static STextInputCapture mp_textInputCapture;
  static u32 mp_bTextInputCaptureActive;
  static u32 mp_bTextInputCaptureListsCreated;
};

extern ClInputHWtoKv* g_pInputHWToKv;

// Key repeat of the text capture.
extern E_KEY_REPEAT_STATE g_eKeyRepeatState;
extern u32 g_uiKeyRepeatKey;
extern f32 g_fKeyRepeatTimer;
