// The input hardware layer's Win32 implementation: the keyboard and the mouse through DirectInput 8, up to
// four pads through XInput 1.3, and the text capture fed by the keyboard's buffered events.
//
// initialize: sets up DirectInput and the devices on the main window (ClGraphics::mp_hWnd) and prepares the
// text capture; any failing platform call ends the set-up silently, keeping what was made, and the tick then
// skips what is missing. tick: refreshes the pad records, the key states and the pointer (or, while the
// random-input tester runs, lets the tester write pad record 0 instead). terminate: stops the capture and
// releases the devices. Main thread only; no allocation in the tick.
//
// The mouse pointer (pointer 0) is where the system cursor is over the main window from the first tick on, in
// the pixels of the 2D picture the UI places its hot spots in (ClGraphics::displayTo2DPicture: the display's own
// pixels unless the game shows its 2D picture scaled, and the client area where Present shows the display,
// ClGraphics::windowToDisplay); it is moved only when the cursor moved or the client area changed size, so a
// position the UI gives it holds until then. With "MOUSE_EXCLUSIVE" (the cursor held at the window's centre) it
// moves by the mouse's relative motion instead. Either way it is kept inside the picture. The pointer entries of
// pad record 0 are pointer 0 over the display size, the fractions the UI's hot spots are measured in.
//
// Development settings read: "MOUSE_EXCLUSIVE", "KEYBOARD_EXCLUSIVE" (exclusive devices), "NOGFX" (1: no
// device is read), "IGNORE_GAMEPAD_INPUTS", "IGNORE_KEYBOARD_INPUTS", "IGNORE_MOUSE_INPUTS",
// "USE_ABSOLUTE_WM_MOUSE_POSITION" with "HARD_FORCED_WINDOW_DIVISOR" (pointer from the window's mouse
// messages instead of relative motion).
#pragma once

#include "Corvane/Input/ClInputHWtoKv.h"

class ClInputHWtoKvPlatform : public ClInputHWtoKv {
 public:
  ~ClInputHWtoKvPlatform() override {}
  void initialize() override;
  void tick() override;
  u32 queryDevice0(u32 uiArg) override;
  u32 queryDevice1(u32 uiArg) override;
  u32 queryDevice2(u32 uiArg) override;
  void setTuningPair(f32 fFirst, f32 fSecond) override;
  void terminate() override;
  // Pointer position in pixels; pointer 0 also sets the pointer entries of pad record 0 (fractions of the
  // display size).
  void setPointerPosition(i32 iPointer, f32 fX, f32 fY) override;
  void initPadMonkey() override;
  void tickPadMonkey() override;
  u32 feedTextInputCapture(const void* pPlatformData1, u32 uiCount, u32 uiSpare) override;
  void platformTickTextInputCapture() override;

  // Dead zones applied to the sticks before scaling, and the one divisor of both sticks.
  static constexpr i32 cLEFT_THUMB_DEAD_ZONE = 7849;
  static constexpr i32 cRIGHT_THUMB_DEAD_ZONE = 8689;
  static constexpr f32 cTHUMB_DIVISOR = 24918.0f;
  // A stick axis with its dead zone taken off (values inside the zone become 0).
  static i32 applyDeadZone(i32 iValue, i32 iZone);

 private:
  void setKeyboardCooperativeLevel();
  void readPads();
  void readKeyboard();
  void readMouse();
};
