// DirectInput 8 stand-in: the system keyboard and mouse as buffered and immediate devices, fed by the Win32
// stand-in's SDL event pump.
//
// Behaviour the engine relies on:
// - Buffered data: each device keeps up to DIPROP_BUFFERSIZE events in arrival order. Keyboard events carry
//   the DIK_ scan code in dwOfs and 0x80 (down) or 0 (up) in dwData; key repeats are not events. Mouse events
//   carry DIMOFS_X / DIMOFS_Y (relative motion), DIMOFS_Z (wheel, WHEEL_DELTA a notch) or DIMOFS_BUTTON0..7
//   (0x80 down, 0 up); the X and Y of one motion share a sequence number. When the buffer is full newer events
//   are lost and the next GetDeviceData answers DI_BUFFEROVERFLOW (a success code).
// - No press is lost by a program that reads once a frame and keeps each key's last state: a GetDeviceData
//   hands out one event of each key (or button) at most. Its later events (the release after a press, the next
//   press after a release) stay in the buffer for the next read, while the other events of the read go out in
//   their order; so a tap between two reads reads as a press, then as a release, and a release and a new press
//   between two reads as a release, then as a press. Each key's own events keep their order (sequence numbers
//   rise within a read, not always from one read to the next).
//   A flush or count (no array) takes events as they are. Likewise GetDeviceState reports down, once, a key
//   or button pressed since its last call even when it is up again; the call after reports it as it is.
// - Immediate data: the keyboard's 256 key bytes (0x80 down); DIMOUSESTATE2 with the motion and wheel since
//   the last GetDeviceState and the button bytes.
// - Cooperative levels: DISCL_FOREGROUND devices can be acquired only while their window is the active window
//   (else DIERR_OTHERAPPHASPRIO). When the window loses the activation an acquired foreground device is lost:
//   its buffer and state are cleared, the next read answers DIERR_INPUTLOST, later reads DIERR_NOTACQUIRED,
//   until Acquire succeeds again. Without SetCooperativeLevel a device is non-exclusive and background.
//   An exclusive foreground mouse switches SDL to relative mouse mode while acquired (where the video driver
//   has one). The keyboard refuses DISCL_EXCLUSIVE | DISCL_BACKGROUND with E_NOTIMPL.
// - Reads pump SDL events first (Win32PumpEvents), so data is current without a message loop.
//
// Main thread only (the window thread of the Win32 stand-in).
//
// Faults for tests: GRINDLOW_DINPUT_FAULTS holds comma-separated faults read at the first DirectInput8Create:
// "create" (DirectInput8Create fails), "keyboard" / "mouse" (CreateDevice of that device fails), "mousecoop"
// (the mouse's SetCooperativeLevel answers E_NOTIMPL). DInputTestSetFaults replaces them.
#pragma once

#include "Platform/Win32/Win32Types.h"

#ifndef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0800
#endif

// Results.
#define DI_OK S_OK
#define DI_NOEFFECT S_FALSE
#define DI_BUFFEROVERFLOW S_FALSE
#define DI_PROPNOEFFECT S_FALSE
#define DIERR_INVALIDPARAM E_INVALIDARG
#define DIERR_NOINTERFACE E_NOINTERFACE
#define DIERR_OUTOFMEMORY E_OUTOFMEMORY
#define DIERR_UNSUPPORTED E_NOTIMPL
#define DIERR_OTHERAPPHASPRIO E_ACCESSDENIED
#define DIERR_NOTACQUIRED (static_cast<HRESULT>(0x8007000Cu))
#define DIERR_INPUTLOST (static_cast<HRESULT>(0x8007001Eu))
#define DIERR_NOTINITIALIZED (static_cast<HRESULT>(0x80070015u))
#define DIERR_ACQUIRED (static_cast<HRESULT>(0x800700AAu))
#define DIERR_OLDDIRECTINPUTVERSION (static_cast<HRESULT>(0x8007047Eu))
#define DIERR_BETADIRECTINPUTVERSION (static_cast<HRESULT>(0x80070481u))
#define DIERR_DEVICENOTREG (static_cast<HRESULT>(0x80040154u))
#define DIERR_NOTBUFFERED (static_cast<HRESULT>(0x80040207u))

// SetCooperativeLevel.
#define DISCL_EXCLUSIVE 0x00000001u
#define DISCL_NONEXCLUSIVE 0x00000002u
#define DISCL_FOREGROUND 0x00000004u
#define DISCL_BACKGROUND 0x00000008u
#define DISCL_NOWINKEY 0x00000010u

// GetDeviceData.
#define DIGDD_PEEK 0x00000001u

// DIPROPHEADER.dwHow.
#define DIPH_DEVICE 0

// DIDATAFORMAT.dwFlags.
#define DIDF_ABSAXIS 0x00000001u
#define DIDF_RELAXIS 0x00000002u

// Mouse object offsets: fields of DIMOUSESTATE2.
#define DIMOFS_X 0
#define DIMOFS_Y 4
#define DIMOFS_Z 8
#define DIMOFS_BUTTON0 12
#define DIMOFS_BUTTON1 13
#define DIMOFS_BUTTON2 14
#define DIMOFS_BUTTON3 15
#define DIMOFS_BUTTON4 16
#define DIMOFS_BUTTON5 17
#define DIMOFS_BUTTON6 18
#define DIMOFS_BUTTON7 19

// Keyboard scan codes: the PC keyboard's set-1 make codes, 0x80 added for keys sent with the E0 prefix.
#define DIK_ESCAPE 0x01
#define DIK_1 0x02
#define DIK_2 0x03
#define DIK_3 0x04
#define DIK_4 0x05
#define DIK_5 0x06
#define DIK_6 0x07
#define DIK_7 0x08
#define DIK_8 0x09
#define DIK_9 0x0A
#define DIK_0 0x0B
#define DIK_MINUS 0x0C
#define DIK_EQUALS 0x0D
#define DIK_BACK 0x0E
#define DIK_TAB 0x0F
#define DIK_Q 0x10
#define DIK_W 0x11
#define DIK_E 0x12
#define DIK_R 0x13
#define DIK_T 0x14
#define DIK_Y 0x15
#define DIK_U 0x16
#define DIK_I 0x17
#define DIK_O 0x18
#define DIK_P 0x19
#define DIK_LBRACKET 0x1A
#define DIK_RBRACKET 0x1B
#define DIK_RETURN 0x1C
#define DIK_LCONTROL 0x1D
#define DIK_A 0x1E
#define DIK_S 0x1F
#define DIK_D 0x20
#define DIK_F 0x21
#define DIK_G 0x22
#define DIK_H 0x23
#define DIK_J 0x24
#define DIK_K 0x25
#define DIK_L 0x26
#define DIK_SEMICOLON 0x27
#define DIK_APOSTROPHE 0x28
#define DIK_GRAVE 0x29
#define DIK_LSHIFT 0x2A
#define DIK_BACKSLASH 0x2B
#define DIK_Z 0x2C
#define DIK_X 0x2D
#define DIK_C 0x2E
#define DIK_V 0x2F
#define DIK_B 0x30
#define DIK_N 0x31
#define DIK_M 0x32
#define DIK_COMMA 0x33
#define DIK_PERIOD 0x34
#define DIK_SLASH 0x35
#define DIK_RSHIFT 0x36
#define DIK_MULTIPLY 0x37
#define DIK_LMENU 0x38
#define DIK_SPACE 0x39
#define DIK_CAPITAL 0x3A
#define DIK_F1 0x3B
#define DIK_F2 0x3C
#define DIK_F3 0x3D
#define DIK_F4 0x3E
#define DIK_F5 0x3F
#define DIK_F6 0x40
#define DIK_F7 0x41
#define DIK_F8 0x42
#define DIK_F9 0x43
#define DIK_F10 0x44
#define DIK_NUMLOCK 0x45
#define DIK_SCROLL 0x46
#define DIK_NUMPAD7 0x47
#define DIK_NUMPAD8 0x48
#define DIK_NUMPAD9 0x49
#define DIK_SUBTRACT 0x4A
#define DIK_NUMPAD4 0x4B
#define DIK_NUMPAD5 0x4C
#define DIK_NUMPAD6 0x4D
#define DIK_ADD 0x4E
#define DIK_NUMPAD1 0x4F
#define DIK_NUMPAD2 0x50
#define DIK_NUMPAD3 0x51
#define DIK_NUMPAD0 0x52
#define DIK_DECIMAL 0x53
#define DIK_OEM_102 0x56
#define DIK_F11 0x57
#define DIK_F12 0x58
#define DIK_F13 0x64
#define DIK_F14 0x65
#define DIK_F15 0x66
#define DIK_KANA 0x70
#define DIK_ABNT_C1 0x73
#define DIK_CONVERT 0x79
#define DIK_NOCONVERT 0x7B
#define DIK_YEN 0x7D
#define DIK_ABNT_C2 0x7E
#define DIK_NUMPADEQUALS 0x8D
#define DIK_PREVTRACK 0x90
#define DIK_AT 0x91
#define DIK_COLON 0x92
#define DIK_UNDERLINE 0x93
#define DIK_KANJI 0x94
#define DIK_STOP 0x95
#define DIK_AX 0x96
#define DIK_UNLABELED 0x97
#define DIK_NEXTTRACK 0x99
#define DIK_NUMPADENTER 0x9C
#define DIK_RCONTROL 0x9D
#define DIK_MUTE 0xA0
#define DIK_CALCULATOR 0xA1
#define DIK_PLAYPAUSE 0xA2
#define DIK_MEDIASTOP 0xA4
#define DIK_VOLUMEDOWN 0xAE
#define DIK_VOLUMEUP 0xB0
#define DIK_WEBHOME 0xB2
#define DIK_NUMPADCOMMA 0xB3
#define DIK_DIVIDE 0xB5
#define DIK_SYSRQ 0xB7
#define DIK_RMENU 0xB8
#define DIK_PAUSE 0xC5
#define DIK_HOME 0xC7
#define DIK_UP 0xC8
#define DIK_PRIOR 0xC9
#define DIK_LEFT 0xCB
#define DIK_RIGHT 0xCD
#define DIK_END 0xCF
#define DIK_DOWN 0xD0
#define DIK_NEXT 0xD1
#define DIK_INSERT 0xD2
#define DIK_DELETE 0xD3
#define DIK_LWIN 0xDB
#define DIK_RWIN 0xDC
#define DIK_APPS 0xDD
#define DIK_POWER 0xDE
#define DIK_SLEEP 0xDF
#define DIK_WAKE 0xE3
#define DIK_WEBSEARCH 0xE5
#define DIK_WEBFAVORITES 0xE6
#define DIK_WEBREFRESH 0xE7
#define DIK_WEBSTOP 0xE8
#define DIK_WEBFORWARD 0xE9
#define DIK_WEBBACK 0xEA
#define DIK_MYCOMPUTER 0xEB
#define DIK_MAIL 0xEC
#define DIK_MEDIASELECT 0xED

// One buffered event, 20 bytes as the engine asks for it. The application data word is not used (there are no
// action maps).
typedef struct DIDEVICEOBJECTDATA {
  DWORD dwOfs;
  DWORD dwData;
  DWORD dwTimeStamp;  // milliseconds
  DWORD dwSequence;   // increases over every device; equal for events that happened together
  DWORD uAppData;
} DIDEVICEOBJECTDATA, *LPDIDEVICEOBJECTDATA;
static_assert(sizeof(DIDEVICEOBJECTDATA) == 20, "buffered events are 20 bytes");

typedef struct _DIMOUSESTATE2 {
  LONG lX;
  LONG lY;
  LONG lZ;
  BYTE rgbButtons[8];
} DIMOUSESTATE2, *LPDIMOUSESTATE2;
static_assert(sizeof(DIMOUSESTATE2) == 20, "DIMOUSESTATE2 is 20 bytes");

typedef struct DIPROPHEADER {
  DWORD dwSize;        // size of the whole property record
  DWORD dwHeaderSize;  // sizeof(DIPROPHEADER)
  DWORD dwObj;         // 0 with DIPH_DEVICE
  DWORD dwHow;
} DIPROPHEADER, *LPDIPROPHEADER;
typedef const DIPROPHEADER* LPCDIPROPHEADER;

typedef struct DIPROPDWORD {
  DIPROPHEADER diph;
  DWORD dwData;
} DIPROPDWORD, *LPDIPROPDWORD;

// Data formats are recognised by identity: only c_dfDIKeyboard (keyboard) and c_dfDIMouse2 (mouse) are
// accepted.
typedef struct _DIDATAFORMAT {
  DWORD dwSize;
  DWORD dwObjSize;
  DWORD dwFlags;
  DWORD dwDataSize;
  DWORD dwNumObjs;
  const void* rgodf;
} DIDATAFORMAT, *LPDIDATAFORMAT;
typedef const DIDATAFORMAT* LPCDIDATAFORMAT;

extern const DIDATAFORMAT c_dfDIKeyboard;
extern const DIDATAFORMAT c_dfDIMouse2;

extern const GUID IID_IDirectInput8A;
extern const GUID IID_IDirectInputDevice8A;
extern const GUID GUID_SysKeyboard;
extern const GUID GUID_SysMouse;
// Properties are named by identity as well (SetProperty compares addresses).
extern const GUID DIPROP_BUFFERSIZE;

struct IDirectInputDevice8A : public IUnknown {
  virtual HRESULT SetProperty(REFGUID rguidProp, LPCDIPROPHEADER pdiph) = 0;
  virtual HRESULT Acquire() = 0;
  virtual HRESULT Unacquire() = 0;
  virtual HRESULT GetDeviceState(DWORD cbData, LPVOID lpvData) = 0;
  virtual HRESULT GetDeviceData(DWORD cbObjectData, LPDIDEVICEOBJECTDATA rgdod, LPDWORD pdwInOut,
                                DWORD dwFlags) = 0;
  virtual HRESULT SetDataFormat(LPCDIDATAFORMAT lpdf) = 0;
  virtual HRESULT SetCooperativeLevel(HWND hwnd, DWORD dwFlags) = 0;

 protected:
  ~IDirectInputDevice8A() = default;
};
typedef IDirectInputDevice8A* LPDIRECTINPUTDEVICE8A;

struct IDirectInput8A : public IUnknown {
  // GUID_SysKeyboard or GUID_SysMouse; aggregation is refused.
  virtual HRESULT CreateDevice(REFGUID rguid, LPDIRECTINPUTDEVICE8A* lplpDirectInputDevice,
                               LPUNKNOWN pUnkOuter) = 0;

 protected:
  ~IDirectInput8A() = default;
};
typedef IDirectInput8A* LPDIRECTINPUT8A;

typedef IDirectInput8A IDirectInput8;
typedef IDirectInputDevice8A IDirectInputDevice8;
typedef LPDIRECTINPUT8A LPDIRECTINPUT8;
typedef LPDIRECTINPUTDEVICE8A LPDIRECTINPUTDEVICE8;

// Version 0x0800 and IID_IDirectInput8A only; the instance must not be null.
HRESULT DirectInput8Create(HINSTANCE hinst, DWORD dwVersion, REFIID riidltf, LPVOID* ppvOut, LPUNKNOWN punkOuter);

// --- Test and fault-injection interface ---

enum EDInputFault : unsigned {
  DINPUT_FAULT_NONE = 0,
  DINPUT_FAULT_CREATE = 1u << 0,
  DINPUT_FAULT_NO_KEYBOARD = 1u << 1,
  DINPUT_FAULT_NO_MOUSE = 1u << 2,
  DINPUT_FAULT_MOUSE_COOPERATION = 1u << 3,
};
void DInputTestSetFaults(unsigned uiFaults);
// Every acquired device is lost, as when the input system is taken away.
void DInputTestLoseDevices();
