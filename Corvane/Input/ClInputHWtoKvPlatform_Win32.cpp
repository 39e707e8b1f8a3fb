#include "Corvane/Input/ClInputHWtoKvPlatform_Win32.h"

#include <algorithm>
#include <cstring>

#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Development/ClMonkeyMgr.h"
#include "Corvane/GameModes/KvEngineGameHooks.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Input/ClInputHWtoKvPlatform.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/Math/KvMath.h"
#include "Platform/DInput/XInput.h"
#include "Platform/Win32/Win32.h"

LPDIRECTINPUT8A g_pDirectInput = nullptr;
LPDIRECTINPUTDEVICE8A g_pDIKeyboard = nullptr;
LPDIRECTINPUTDEVICE8A g_pDIMouse = nullptr;

namespace {

constexpr DWORD gc_uiKEYBOARD_BUFFER_EVENTS = 32;
constexpr DWORD gc_uiMOUSE_BUFFER_EVENTS = 128;
constexpr DWORD gc_uiCOOPERATIVE_EXCLUSIVE = DISCL_EXCLUSIVE | DISCL_FOREGROUND;        // 5
constexpr DWORD gc_uiCOOPERATIVE_NONEXCLUSIVE = DISCL_NONEXCLUSIVE | DISCL_FOREGROUND;  // 6

// The last state read from each hardware pad, with the dead zones taken off.
XINPUT_STATE g_aXInputStates[cuiMAX_GAME_PADS];

bool settingNonZero(const char* pKey) { return ClDevINI::getInt(pKey) != 0; }
bool settingAboveZero(const char* pKey) { return ClDevINI::hasKey(pKey) && ClDevINI::getInt(pKey) > 0; }

HRESULT setBufferSize(LPDIRECTINPUTDEVICE8A pDevice, DWORD uiEvents) {
  DIPROPDWORD property{};
  property.diph.dwSize = sizeof(DIPROPDWORD);
  property.diph.dwHeaderSize = sizeof(DIPROPHEADER);
  property.diph.dwObj = 0;
  property.diph.dwHow = DIPH_DEVICE;
  property.dwData = uiEvents;
  return pDevice->SetProperty(DIPROP_BUFFERSIZE, &property.diph);
}

// A lost device is acquired again at once; retried while it answers that the input is lost.
void reacquire(LPDIRECTINPUTDEVICE8A pDevice) {
  while (pDevice->Acquire() == DIERR_INPUTLOST) {
  }
}

f32 pressed(WORD uiButtons, WORD uiMask) { return (uiButtons & uiMask) != 0 ? KV_ONE : KV_ZERO; }

f32 stickValue(SHORT iAxis) {
  return std::clamp(static_cast<f32>(iAxis) / ClInputHWtoKvPlatform::cTHUMB_DIVISOR, -KV_ONE, KV_ONE);
}

// Fraction of a display extent; 0 while the display has no size yet.
f32 fractionOf(f32 fValue, f32 fExtent) { return fExtent > KV_ZERO ? fValue / fExtent : KV_ZERO; }

// The system cursor's screen position, the client area's screen origin and its size when the pointer last
// followed the cursor; none after initialize, so the first tick places the pointer wherever the cursor is.
POINT g_lastCursor = {0, 0};
POINT g_lastClientOrigin = {0, 0};
POINT g_lastClientSize = {0, 0};
bool g_bCursorSeen = false;

// Puts pointer 0 where the system cursor is over the main window, in the pixels of the 2D picture: the client
// position into the display where Present shows it in the client area (ClGraphics::windowToDisplay), then into the
// picture where it shows on the display. Only when the cursor's place in the client area may have changed since
// the last tick: the cursor moved, or the window moved or changed size under it. So a position the UI gave the
// pointer holds until the mouse or the window moves, and the pointer stays on the cursor whatever moved.
void followSystemCursor(kv_vector2* pPointer) {
  POINT cursor{};
  RECT client{};
  POINT origin{0, 0};
  if (ClGraphics::mp_hWnd == nullptr || !GetCursorPos(&cursor) || !GetClientRect(ClGraphics::mp_hWnd, &client) ||
      client.right <= 0 || client.bottom <= 0 || !ClientToScreen(ClGraphics::mp_hWnd, &origin)) {
    return;
  }
  if (g_bCursorSeen && cursor.x == g_lastCursor.x && cursor.y == g_lastCursor.y &&
      origin.x == g_lastClientOrigin.x && origin.y == g_lastClientOrigin.y && client.right == g_lastClientSize.x &&
      client.bottom == g_lastClientSize.y) {
    return;
  }
  g_bCursorSeen = true;
  g_lastCursor = cursor;
  g_lastClientOrigin = origin;
  g_lastClientSize = {client.right, client.bottom};
  const kv_vector2 vClient = {static_cast<f32>(cursor.x - origin.x), static_cast<f32>(cursor.y - origin.y)};
  *pPointer = ClGraphics::displayTo2DPicture(ClGraphics::windowToDisplay(vClient, client.right, client.bottom));
}

}  // namespace

i32 ClInputHWtoKvPlatform::applyDeadZone(i32 iValue, i32 iZone) {
  if (iValue >= 0) {
    return iValue < iZone ? 0 : iValue - iZone;
  }
  return iValue > -iZone ? 0 : iValue + iZone;
}

void ClInputHWtoKvPlatform::initialize() {
  g_pDirectInput = nullptr;
  g_pDIKeyboard = nullptr;
  g_pDIMouse = nullptr;
  std::memset(mp_aPadStates, 0, sizeof(mp_aPadStates));
  std::memset(mp_auiKeyStates, 0, sizeof(mp_auiKeyStates));
  std::memset(mp_auiPadConnected, 0, sizeof(mp_auiPadConnected));
  mp_bTextInputCaptureActive = 0;

  g_bCursorSeen = false;

  startTextInputCapture(nullptr, nullptr, nullptr, 0.5f, 0.1f);
  // The tester needs none of the devices below.
  initPadMonkey();

  if (FAILED(DirectInput8Create(GetModuleHandleA(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8A,
                                reinterpret_cast<LPVOID*>(&g_pDirectInput), nullptr))) {
    g_pDirectInput = nullptr;
    return;
  }

  if (FAILED(g_pDirectInput->CreateDevice(GUID_SysKeyboard, &g_pDIKeyboard, nullptr))) {
    g_pDIKeyboard = nullptr;
    return;
  }
  if (FAILED(g_pDIKeyboard->SetDataFormat(&c_dfDIKeyboard))) {
    return;
  }
  m_bKeyboardCooperativeLevelSet = 0;
  setKeyboardCooperativeLevel();
  if (FAILED(setBufferSize(g_pDIKeyboard, gc_uiKEYBOARD_BUFFER_EVENTS))) {
    return;
  }
  g_pDIKeyboard->Acquire();

  if (FAILED(g_pDirectInput->CreateDevice(GUID_SysMouse, &g_pDIMouse, nullptr))) {
    g_pDIMouse = nullptr;
    return;
  }
  if (FAILED(g_pDIMouse->SetDataFormat(&c_dfDIMouse2))) {
    return;
  }
  const DWORD uiMouseLevel =
      ClDevINI::getInt("MOUSE_EXCLUSIVE") >= 1 ? gc_uiCOOPERATIVE_EXCLUSIVE : gc_uiCOOPERATIVE_NONEXCLUSIVE;
  const HRESULT hr = g_pDIMouse->SetCooperativeLevel(ClGraphics::mp_hWnd, uiMouseLevel);
  if (hr == E_NOTIMPL || FAILED(hr)) {
    return;
  }
  if (SUCCEEDED(setBufferSize(g_pDIMouse, gc_uiMOUSE_BUFFER_EVENTS))) {
    std::memset(mp_aPointerPositions, 0, sizeof(mp_aPointerPositions));
    g_pDIMouse->Acquire();
  }
}

void ClInputHWtoKvPlatform::setKeyboardCooperativeLevel() {
  const bool bExclusive = settingAboveZero("MOUSE_EXCLUSIVE") || settingAboveZero("KEYBOARD_EXCLUSIVE");
  const DWORD uiLevel = bExclusive ? gc_uiCOOPERATIVE_EXCLUSIVE : gc_uiCOOPERATIVE_NONEXCLUSIVE;
  if (SUCCEEDED(g_pDIKeyboard->SetCooperativeLevel(ClGraphics::mp_hWnd, uiLevel))) {
    m_bKeyboardCooperativeLevelSet = 1;
  }
}

void ClInputHWtoKvPlatform::tick() {
  if (g_pDIKeyboard != nullptr && m_bKeyboardCooperativeLevelSet == 0) {
    setKeyboardCooperativeLevel();
  }
  std::memset(mp_aPadStates, 0, sizeof(mp_aPadStates));

  if (ClMonkeyMgr::isRunning()) {
    ClMonkeyMgr::tick();
    return;
  }
  if (ClDevINI::hasKey("NOGFX") && ClDevINI::getInt("NOGFX") == 1) {
    return;
  }
  readPads();
  if (g_pDIKeyboard != nullptr) {
    readKeyboard();
  }
  if (g_pDIMouse != nullptr) {
    readMouse();
  }
  tickPadMonkey();
}

void ClInputHWtoKvPlatform::readPads() {
  const bool bIgnorePads = settingNonZero("IGNORE_GAMEPAD_INPUTS");
  for (u32 i = 0; i < cuiMAX_GAME_PADS; ++i) {
    const u32 r = ClInputManager::m_auiPadMap[i];
    XINPUT_STATE& state = g_aXInputStates[i];
    if (XInputGetState(i, &state) != ERROR_SUCCESS) {
      mp_auiPadConnected[r] = 0;
      continue;
    }
    mp_auiPadConnected[r] = 1;
    XINPUT_GAMEPAD& pad = state.Gamepad;
    pad.sThumbLX = static_cast<SHORT>(applyDeadZone(pad.sThumbLX, cLEFT_THUMB_DEAD_ZONE));
    pad.sThumbLY = static_cast<SHORT>(applyDeadZone(pad.sThumbLY, cLEFT_THUMB_DEAD_ZONE));
    pad.sThumbRX = static_cast<SHORT>(applyDeadZone(pad.sThumbRX, cRIGHT_THUMB_DEAD_ZONE));
    pad.sThumbRY = static_cast<SHORT>(applyDeadZone(pad.sThumbRY, cRIGHT_THUMB_DEAD_ZONE));
    if (bIgnorePads) {
      continue;
    }

    f32* pInputs = mp_aPadStates[r].mp_afInputs;
    pInputs[E_PAD_INPUT_LEFT_STICK_Y] = stickValue(pad.sThumbLY);
    pInputs[E_PAD_INPUT_LEFT_STICK_X] = stickValue(pad.sThumbLX);
    pInputs[E_PAD_INPUT_RIGHT_STICK_Y] = stickValue(pad.sThumbRY);
    pInputs[E_PAD_INPUT_RIGHT_STICK_X] = stickValue(pad.sThumbRX);

    const WORD uiButtons = pad.wButtons;
    pInputs[E_PAD_INPUT_A] = pressed(uiButtons, XINPUT_GAMEPAD_A);
    pInputs[E_PAD_INPUT_B] = pressed(uiButtons, XINPUT_GAMEPAD_B);
    pInputs[E_PAD_INPUT_X] = pressed(uiButtons, XINPUT_GAMEPAD_X);
    pInputs[E_PAD_INPUT_Y] = pressed(uiButtons, XINPUT_GAMEPAD_Y);
    pInputs[E_PAD_INPUT_LEFT_SHOULDER] = pressed(uiButtons, XINPUT_GAMEPAD_LEFT_SHOULDER);
    pInputs[E_PAD_INPUT_RIGHT_SHOULDER] = pressed(uiButtons, XINPUT_GAMEPAD_RIGHT_SHOULDER);
    pInputs[E_PAD_INPUT_LEFT_THUMB] = pressed(uiButtons, XINPUT_GAMEPAD_LEFT_THUMB);
    pInputs[E_PAD_INPUT_RIGHT_THUMB] = pressed(uiButtons, XINPUT_GAMEPAD_RIGHT_THUMB);
    pInputs[E_PAD_INPUT_DPAD_UP] = pressed(uiButtons, XINPUT_GAMEPAD_DPAD_UP);
    pInputs[E_PAD_INPUT_DPAD_DOWN] = pressed(uiButtons, XINPUT_GAMEPAD_DPAD_DOWN);
    pInputs[E_PAD_INPUT_DPAD_LEFT] = pressed(uiButtons, XINPUT_GAMEPAD_DPAD_LEFT);
    pInputs[E_PAD_INPUT_DPAD_RIGHT] = pressed(uiButtons, XINPUT_GAMEPAD_DPAD_RIGHT);
    pInputs[E_PAD_INPUT_BACK] = pressed(uiButtons, XINPUT_GAMEPAD_BACK);
    pInputs[E_PAD_INPUT_START] = pressed(uiButtons, XINPUT_GAMEPAD_START);

    pInputs[E_PAD_INPUT_LEFT_TRIGGER] = std::clamp(static_cast<f32>(pad.bLeftTrigger) / 255.0f, KV_ZERO, KV_ONE);
    pInputs[E_PAD_INPUT_RIGHT_TRIGGER] = std::clamp(static_cast<f32>(pad.bRightTrigger) / 255.0f, KV_ZERO, KV_ONE);

    // Direction of the right stick, clockwise from up: the stick as (x, 0, -y), centred taken as up.
    kv_vector3 direction{pInputs[E_PAD_INPUT_RIGHT_STICK_X], KV_ZERO, -pInputs[E_PAD_INPUT_RIGHT_STICK_Y]};
    const f32 fLength = KvMath::sqrt(direction.lengthSquared());
    if (fLength > KV_ZERO) {
      direction = {direction.x / fLength, direction.y / fLength, direction.z / fLength};
    } else {
      direction = {KV_ZERO, KV_ZERO, -KV_ONE};
    }
    f32 fAngle = KvMath::acos(-direction.z);
    if (direction.x < KV_ZERO) {
      fAngle = 2.0f * KV_PI - fAngle;
    }
    pInputs[E_PAD_INPUT_RIGHT_STICK_DIRECTION] = fAngle * 180.0f / KV_PI;
    pInputs[E_PAD_INPUT_RIGHT_TRIGGER_X10] = pInputs[E_PAD_INPUT_RIGHT_TRIGGER] * 10.0f;
  }
}

void ClInputHWtoKvPlatform::readKeyboard() {
  DIDEVICEOBJECTDATA aEvents[gc_uiKEYBOARD_BUFFER_EVENTS];
  DWORD uiCount = gc_uiKEYBOARD_BUFFER_EVENTS;
  if (FAILED(g_pDIKeyboard->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), aEvents, &uiCount, 0))) {
    // Lost or not acquired: no key may stay held.
    reacquire(g_pDIKeyboard);
    std::memset(mp_auiKeyStates, 0, sizeof(mp_auiKeyStates));
    return;
  }
  for (u32& uiState : mp_auiKeyStates) {
    if (uiState == E_KEY_RELEASED) {
      uiState = E_KEY_UP;
    }
  }
  if (settingNonZero("IGNORE_KEYBOARD_INPUTS")) {
    return;
  }
  if (mp_bTextInputCaptureActive) {
    feedTextInputCapture(aEvents, uiCount, 0);
    return;
  }
  for (DWORD i = 0; i < uiCount; ++i) {
    const u8 uiKey = KvKeyIndexFromScanCode(aEvents[i].dwOfs);
    mp_auiKeyStates[uiKey] = (aEvents[i].dwData & 0x80u) != 0 ? E_KEY_DOWN : E_KEY_RELEASED;
  }
}

void ClInputHWtoKvPlatform::readMouse() {
  const bool bIgnoreMouse = settingNonZero("IGNORE_MOUSE_INPUTS");
  f32* pInputs = mp_aPadStates[0].mp_afInputs;

  DIDEVICEOBJECTDATA aEvents[gc_uiMOUSE_BUFFER_EVENTS];
  DWORD uiCount = gc_uiMOUSE_BUFFER_EVENTS;
  if (FAILED(g_pDIMouse->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), aEvents, &uiCount, 0))) {
    reacquire(g_pDIMouse);
  } else {
    for (DWORD i = 0; i < uiCount; ++i) {
      const DIDEVICEOBJECTDATA& event = aEvents[i];
      const u32 uiPressed = (event.dwData & 0x80u) != 0 ? 1u : 0u;
      switch (event.dwOfs) {
        case DIMOFS_Z: {
          const LONG lDelta = static_cast<LONG>(event.dwData);
          if (lDelta != 0 && !bIgnoreMouse) {
            pInputs[E_PAD_INPUT_MOUSE_WHEEL] = lDelta > 0 ? KV_ONE : -KV_ONE;
          }
          break;
        }
        case DIMOFS_BUTTON0:
          mp_auiMouseButtons[0] = uiPressed;
          break;
        case DIMOFS_BUTTON1:
          mp_auiMouseButtons[1] = uiPressed;
          break;
        case DIMOFS_BUTTON2:
          mp_auiMouseButtons[2] = uiPressed;
          break;
        default:
          break;
      }
    }
  }

  if (!bIgnoreMouse) {
    pInputs[E_PAD_INPUT_MOUSE_LEFT] = mp_auiMouseButtons[0] != 0 ? KV_ONE : KV_ZERO;
    pInputs[E_PAD_INPUT_MOUSE_RIGHT] = mp_auiMouseButtons[1] != 0 ? KV_ONE : KV_ZERO;
    pInputs[E_PAD_INPUT_MOUSE_MIDDLE] = mp_auiMouseButtons[2] != 0 ? KV_ONE : KV_ZERO;

    DIMOUSESTATE2 state;
    if (SUCCEEDED(g_pDIMouse->GetDeviceState(sizeof(DIMOUSESTATE2), &state))) {
      const f32 fWidth = ClGraphics::mp_fScreenWidth;
      const f32 fHeight = ClGraphics::mp_fScreenHeight;
      kv_vector2& pointer = mp_aPointerPositions[0];
      // An exclusive mouse has its cursor held at the window's centre: only its motion tells where it goes.
      // Otherwise the pointer is where the system cursor is.
      if (ClDevINI::getInt("MOUSE_EXCLUSIVE") >= 1) {
        pointer.x += static_cast<f32>(state.lX);
        pointer.y += static_cast<f32>(state.lY);
      } else {
        followSystemCursor(&pointer);
      }
      const kv_vector2 vPicture = ClGraphics::get2DPictureSize();
      pointer.x = std::clamp(pointer.x, KV_ZERO, std::max(vPicture.x, KV_ZERO));
      pointer.y = std::clamp(pointer.y, KV_ZERO, std::max(vPicture.y, KV_ZERO));
      if (!settingNonZero("USE_ABSOLUTE_WM_MOUSE_POSITION")) {
        pInputs[E_PAD_INPUT_POINTER_X] = fractionOf(pointer.x, fWidth);
        pInputs[E_PAD_INPUT_POINTER_Y] = fractionOf(pointer.y, fHeight);
      } else {
        const f32 fDivisor = ClDevINI::getFloat("HARD_FORCED_WINDOW_DIVISOR");
        const f32 fFactor = fDivisor != KV_ZERO ? fDivisor : KV_ONE;
        pInputs[E_PAD_INPUT_POINTER_X] = fractionOf(ClGraphics::mp_vWMMousePosition.x, fWidth) * fFactor;
        pInputs[E_PAD_INPUT_POINTER_Y] = fractionOf(ClGraphics::mp_vWMMousePosition.y, fHeight) * fFactor;
      }
    }
  }
  pInputs[E_PAD_INPUT_POINTER_PRESENT] = KV_ONE;
}

void ClInputHWtoKvPlatform::terminate() {
  stopTextInputCapture();
  if (g_pDIKeyboard != nullptr) {
    g_pDIKeyboard->Unacquire();
  }
  if (g_pDIMouse != nullptr) {
    g_pDIMouse->Unacquire();
    g_pDIMouse->Release();
    g_pDIMouse = nullptr;
  }
  if (g_pDIKeyboard != nullptr) {
    g_pDIKeyboard->Release();
    g_pDIKeyboard = nullptr;
  }
  if (g_pDirectInput != nullptr) {
    g_pDirectInput->Release();
    g_pDirectInput = nullptr;
  }
}

void ClInputHWtoKvPlatform::setPointerPosition(i32 iPointer, f32 fX, f32 fY) {
  KV_ASSERT(iPointer >= 0 && iPointer < gc_iNUM_INPUT_POINTERS);
  mp_aPointerPositions[iPointer] = {fX, fY};
  f32* pInputs = mp_aPadStates[0].mp_afInputs;
  pInputs[E_PAD_INPUT_POINTER_X] = fractionOf(mp_aPointerPositions[0].x, ClGraphics::mp_fScreenWidth);
  pInputs[E_PAD_INPUT_POINTER_Y] = fractionOf(mp_aPointerPositions[0].y, ClGraphics::mp_fScreenHeight);
}

u32 ClInputHWtoKvPlatform::queryDevice0(u32) { return 0; }
u32 ClInputHWtoKvPlatform::queryDevice1(u32) { return 0; }
u32 ClInputHWtoKvPlatform::queryDevice2(u32) { return 0; }
void ClInputHWtoKvPlatform::setTuningPair(f32, f32) {}

void ClInputHWtoKvPlatform::initPadMonkey() { KvInputGameHooks().initPadMonkey(); }

void ClInputHWtoKvPlatform::tickPadMonkey() { KvInputGameHooks().tickPadMonkey(); }
