// XInput 1.3 stand-in: four pad slots over SDL game controllers, fed by the Win32 stand-in's SDL event pump.
//
// Slots: a pad that connects takes the lowest free slot, unless it was connected before and its old slot is
// still free, in which case it takes that slot back (a pad is known again by SDL's device GUID and serial). A
// fifth pad waits for a free slot. A pad that disconnects leaves its slot free; its state stays unreadable
// (ERROR_DEVICE_NOT_CONNECTED) until a pad takes the slot.
//
// State follows XInput's conventions: sticks are signed 16-bit with Y positive up (SDL's Y points down; its
// -32768 becomes 32767), triggers are bytes 0..255, wButtons uses the XINPUT_GAMEPAD_ bits below, and
// dwPacketNumber grows whenever the reported state differs from the previous read of that slot. No dead zone
// is applied.
//
// Vibration: a motor level stays until it is changed, as in XInput. SDL rumble needs a duration, so non-zero
// levels are sent with a limited duration and sent again from the pump well before it runs out (if the
// program stops pumping the pad goes quiet by itself); levels of 0 stop the motors at once. wLeftMotorSpeed is
// the low-frequency motor, wRightMotorSpeed the high-frequency one.
//
// Pads are read whichever window has the focus. Main thread only (the Win32 stand-in's window thread).
//
// Faults for tests: GRINDLOW_XINPUT_UNPLUGGED holds comma-separated slot numbers (0..3) that read as
// unplugged whatever is attached; XInputTestSetUnplugged changes one slot.
#pragma once

#include "Platform/Win32/Win32Types.h"

#define XUSER_MAX_COUNT 4

#ifndef ERROR_SUCCESS
#define ERROR_SUCCESS 0L
#endif
#ifndef ERROR_BAD_ARGUMENTS
#define ERROR_BAD_ARGUMENTS 160L
#endif
#ifndef ERROR_DEVICE_NOT_CONNECTED
#define ERROR_DEVICE_NOT_CONNECTED 1167L
#endif

#define XINPUT_GAMEPAD_DPAD_UP 0x0001
#define XINPUT_GAMEPAD_DPAD_DOWN 0x0002
#define XINPUT_GAMEPAD_DPAD_LEFT 0x0004
#define XINPUT_GAMEPAD_DPAD_RIGHT 0x0008
#define XINPUT_GAMEPAD_START 0x0010
#define XINPUT_GAMEPAD_BACK 0x0020
#define XINPUT_GAMEPAD_LEFT_THUMB 0x0040
#define XINPUT_GAMEPAD_RIGHT_THUMB 0x0080
#define XINPUT_GAMEPAD_LEFT_SHOULDER 0x0100
#define XINPUT_GAMEPAD_RIGHT_SHOULDER 0x0200
#define XINPUT_GAMEPAD_A 0x1000
#define XINPUT_GAMEPAD_B 0x2000
#define XINPUT_GAMEPAD_X 0x4000
#define XINPUT_GAMEPAD_Y 0x8000

// The published thumb dead zones and trigger threshold; callers apply them.
#define XINPUT_GAMEPAD_LEFT_THUMB_DEADZONE 7849
#define XINPUT_GAMEPAD_RIGHT_THUMB_DEADZONE 8689
#define XINPUT_GAMEPAD_TRIGGER_THRESHOLD 30

typedef struct _XINPUT_GAMEPAD {
  WORD wButtons;
  BYTE bLeftTrigger;
  BYTE bRightTrigger;
  SHORT sThumbLX;
  SHORT sThumbLY;
  SHORT sThumbRX;
  SHORT sThumbRY;
} XINPUT_GAMEPAD, *PXINPUT_GAMEPAD;
static_assert(sizeof(XINPUT_GAMEPAD) == 12, "XINPUT_GAMEPAD is 12 bytes");

typedef struct _XINPUT_STATE {
  DWORD dwPacketNumber;
  XINPUT_GAMEPAD Gamepad;
} XINPUT_STATE, *PXINPUT_STATE;
static_assert(sizeof(XINPUT_STATE) == 16, "XINPUT_STATE is 16 bytes");

typedef struct _XINPUT_VIBRATION {
  WORD wLeftMotorSpeed;
  WORD wRightMotorSpeed;
} XINPUT_VIBRATION, *PXINPUT_VIBRATION;

// ERROR_SUCCESS with the slot's state, ERROR_DEVICE_NOT_CONNECTED (state untouched), or ERROR_BAD_ARGUMENTS
// for a slot outside 0..3 or a null record.
DWORD XInputGetState(DWORD dwUserIndex, XINPUT_STATE* pState);
// ERROR_SUCCESS (also for a pad without motors), ERROR_DEVICE_NOT_CONNECTED or ERROR_BAD_ARGUMENTS.
DWORD XInputSetState(DWORD dwUserIndex, XINPUT_VIBRATION* pVibration);

// --- Test and fault-injection interface ---

// A slot that reads as unplugged (its motors are stopped) or, with false, as whatever is attached.
void XInputTestSetUnplugged(DWORD dwUserIndex, bool bUnplugged);
// Duration of each rumble request in milliseconds (default 2000); requests are renewed after a third of it.
void XInputTestSetRumbleDuration(DWORD uiMilliseconds);
