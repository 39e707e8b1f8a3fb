#include "Platform/DInput/DInput8.h"

#include <gtest/gtest.h>

#include <vector>

#include "Platform/Win32/Win32Messages.h"
#include "Platform/Win32/Win32Window.h"

namespace {

LPDIRECTINPUTDEVICE8A g_pKeyboardForProc = nullptr;
std::vector<HRESULT> g_acquireOnActivate;

// Re-acquires the keyboard on activation, as the game's window procedure does.
LRESULT inputWindowProc(HWND hWnd, UINT uiMsg, WPARAM wParam, LPARAM lParam) {
  if (uiMsg == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE && g_pKeyboardForProc) {
    g_acquireOnActivate.push_back(g_pKeyboardForProc->Acquire());
  }
  return DefWindowProcA(hWnd, uiMsg, wParam, lParam);
}

HRESULT setBufferSize(LPDIRECTINPUTDEVICE8A pDevice, DWORD uiSize) {
  DIPROPDWORD property{};
  property.diph.dwSize = sizeof(DIPROPDWORD);
  property.diph.dwHeaderSize = sizeof(DIPROPHEADER);
  property.diph.dwObj = 0;
  property.diph.dwHow = DIPH_DEVICE;
  property.dwData = uiSize;
  return pDevice->SetProperty(DIPROP_BUFFERSIZE, &property.diph);
}

void pumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

class DInput8 : public ::testing::Test {
 protected:
  void SetUp() override {
    g_acquireOnActivate.clear();
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &inputWindowProc;
    windowClass.lpszClassName = "Input Test";
    ASSERT_NE(RegisterClassExA(&windowClass), 0);
    m_hWnd = CreateWindowExA(0, "Input Test", "Input", WS_VISIBLE | WS_CAPTION, 0, 0, 320, 240, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(m_hWnd, nullptr);
    pumpMessages();
    ASSERT_EQ(DirectInput8Create(GetModuleHandleA(nullptr), 0x0800, IID_IDirectInput8A,
                                 reinterpret_cast<void**>(&m_pInput), nullptr),
              DI_OK);
  }

  void TearDown() override {
    g_pKeyboardForProc = nullptr;
    if (m_pKeyboard) {
      m_pKeyboard->Unacquire();
      EXPECT_EQ(m_pKeyboard->Release(), 0u);
    }
    if (m_pMouse) {
      m_pMouse->Unacquire();
      EXPECT_EQ(m_pMouse->Release(), 0u);
    }
    if (m_pInput) {
      EXPECT_EQ(m_pInput->Release(), 0u);
    }
    DInputTestSetFaults(DINPUT_FAULT_NONE);
    Win32TestReset();
  }

  // The keyboard and mouse set up as the game does: non-exclusive, foreground, buffered, acquired.
  void openKeyboard(DWORD uiBufferSize = 32) {
    ASSERT_EQ(m_pInput->CreateDevice(GUID_SysKeyboard, &m_pKeyboard, nullptr), DI_OK);
    ASSERT_EQ(m_pKeyboard->SetDataFormat(&c_dfDIKeyboard), DI_OK);
    ASSERT_EQ(m_pKeyboard->SetCooperativeLevel(m_hWnd, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), DI_OK);
    ASSERT_EQ(setBufferSize(m_pKeyboard, uiBufferSize), DI_OK);
    ASSERT_EQ(m_pKeyboard->Acquire(), DI_OK);
  }
  void openMouse() {
    ASSERT_EQ(m_pInput->CreateDevice(GUID_SysMouse, &m_pMouse, nullptr), DI_OK);
    ASSERT_EQ(m_pMouse->SetDataFormat(&c_dfDIMouse2), DI_OK);
    ASSERT_EQ(m_pMouse->SetCooperativeLevel(m_hWnd, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), DI_OK);
    ASSERT_EQ(setBufferSize(m_pMouse, 128), DI_OK);
    ASSERT_EQ(m_pMouse->Acquire(), DI_OK);
  }

  static std::vector<DIDEVICEOBJECTDATA> read(LPDIRECTINPUTDEVICE8A pDevice, HRESULT* pResult = nullptr,
                                              DWORD uiMax = 64) {
    std::vector<DIDEVICEOBJECTDATA> events(uiMax);
    DWORD uiCount = uiMax;
    const HRESULT hr = pDevice->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), events.data(), &uiCount, 0);
    if (pResult) {
      *pResult = hr;
    }
    events.resize(SUCCEEDED(hr) ? uiCount : 0);
    return events;
  }

  HWND m_hWnd = nullptr;
  LPDIRECTINPUT8A m_pInput = nullptr;
  LPDIRECTINPUTDEVICE8A m_pKeyboard = nullptr;
  LPDIRECTINPUTDEVICE8A m_pMouse = nullptr;
};

TEST_F(DInput8, CreationAndSetUpRefuseWhatTheEngineMustNotRelyOn) {
  LPVOID pOut = nullptr;
  HINSTANCE hInstance = GetModuleHandleA(nullptr);
  EXPECT_EQ(DirectInput8Create(hInstance, 0x0700, IID_IDirectInput8A, &pOut, nullptr), DIERR_OLDDIRECTINPUTVERSION);
  EXPECT_EQ(DirectInput8Create(hInstance, 0x0800, GUID_SysMouse, &pOut, nullptr), DIERR_NOINTERFACE);
  EXPECT_EQ(pOut, nullptr);
  LPDIRECTINPUTDEVICE8A pDevice = nullptr;
  EXPECT_EQ(m_pInput->CreateDevice(IID_IDirectInput8A, &pDevice, nullptr), DIERR_DEVICENOTREG);

  ASSERT_EQ(m_pInput->CreateDevice(GUID_SysKeyboard, &m_pKeyboard, nullptr), DI_OK);
  EXPECT_EQ(m_pKeyboard->Acquire(), DIERR_INVALIDPARAM);  // no data format yet
  EXPECT_EQ(m_pKeyboard->SetDataFormat(&c_dfDIMouse2), DIERR_INVALIDPARAM);
  ASSERT_EQ(m_pKeyboard->SetDataFormat(&c_dfDIKeyboard), DI_OK);
  EXPECT_EQ(m_pKeyboard->SetCooperativeLevel(m_hWnd, DISCL_EXCLUSIVE | DISCL_BACKGROUND), E_NOTIMPL);
  EXPECT_EQ(m_pKeyboard->SetCooperativeLevel(m_hWnd, DISCL_NONEXCLUSIVE), DIERR_INVALIDPARAM);
  EXPECT_EQ(m_pKeyboard->SetCooperativeLevel(nullptr, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), E_HANDLE);
  ASSERT_EQ(m_pKeyboard->Acquire(), DI_OK);  // non-exclusive background until told otherwise
  EXPECT_EQ(m_pKeyboard->Acquire(), DI_NOEFFECT);
  DIDEVICEOBJECTDATA events[4];
  DWORD uiCount = 4;
  EXPECT_EQ(m_pKeyboard->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), events, &uiCount, 0), DIERR_NOTBUFFERED);
  EXPECT_EQ(setBufferSize(m_pKeyboard, 8), DIERR_ACQUIRED);
  EXPECT_EQ(m_pKeyboard->Unacquire(), DI_OK);
  ASSERT_EQ(setBufferSize(m_pKeyboard, 8), DI_OK);
  EXPECT_EQ(m_pKeyboard->GetDeviceData(24, events, &uiCount, 0), DIERR_INVALIDPARAM);
  EXPECT_EQ(m_pKeyboard->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), events, &uiCount, 0), DIERR_NOTACQUIRED);

  DInputTestSetFaults(DINPUT_FAULT_CREATE);
  EXPECT_EQ(DirectInput8Create(hInstance, 0x0800, IID_IDirectInput8A, &pOut, nullptr), E_FAIL);
  DInputTestSetFaults(DINPUT_FAULT_NO_MOUSE);
  EXPECT_EQ(m_pInput->CreateDevice(GUID_SysMouse, &pDevice, nullptr), DIERR_DEVICENOTREG);
  DInputTestSetFaults(DINPUT_FAULT_MOUSE_COOPERATION);
  ASSERT_EQ(m_pInput->CreateDevice(GUID_SysMouse, &m_pMouse, nullptr), DI_OK);
  EXPECT_EQ(m_pMouse->SetCooperativeLevel(m_hWnd, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND), E_NOTIMPL);
}

TEST_F(DInput8, QueryInterfaceOffersOnlyTheObjectsOwnInterface) {
  ASSERT_EQ(m_pInput->CreateDevice(GUID_SysKeyboard, &m_pKeyboard, nullptr), DI_OK);
  struct SCase {
    IUnknown* pObject;
    const GUID& own;
    const GUID& other;
  };
  const SCase cases[] = {{m_pInput, IID_IDirectInput8A, IID_IDirectInputDevice8A},
                         {m_pKeyboard, IID_IDirectInputDevice8A, IID_IDirectInput8A}};
  for (const SCase& c : cases) {
    void* pOut = &pOut;
    EXPECT_EQ(c.pObject->QueryInterface(c.other, &pOut), E_NOINTERFACE);
    EXPECT_EQ(pOut, nullptr);
    EXPECT_EQ(c.pObject->QueryInterface(c.own, nullptr), E_POINTER);
    ASSERT_EQ(c.pObject->QueryInterface(c.own, &pOut), S_OK);
    EXPECT_EQ(pOut, static_cast<void*>(c.pObject));
    // The answer holds a reference of its own: two now, one after its release.
    EXPECT_EQ(c.pObject->Release(), 1u);
  }
}

TEST_F(DInput8, KeysArriveInOrderWithTheirScanCodes) {
  openKeyboard();
  Win32TestPushKey(SDL_SCANCODE_A, true);
  Win32TestPushKey(SDL_SCANCODE_A, true, KMOD_NONE, true);  // auto-repeat: a message, not an event
  Win32TestPushKey(SDL_SCANCODE_B, true);
  Win32TestPushKey(SDL_SCANCODE_A, false);
  Win32TestPushKey(SDL_SCANCODE_RCTRL, true);
  Win32TestPushKey(SDL_SCANCODE_KP_ENTER, true);
  Win32TestPushKey(SDL_SCANCODE_UP, true);
  Win32TestPushKey(SDL_SCANCODE_C, true);  // pressed and released in the same batch: both are reported
  Win32TestPushKey(SDL_SCANCODE_C, false);

  // Peeking leaves the events in place.
  DIDEVICEOBJECTDATA peeked[2];
  DWORD uiCount = 2;
  ASSERT_EQ(m_pKeyboard->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), peeked, &uiCount, DIGDD_PEEK), DI_OK);
  EXPECT_EQ(uiCount, 2u);

  HRESULT hr = E_FAIL;
  const std::vector<DIDEVICEOBJECTDATA> events = read(m_pKeyboard, &hr);
  EXPECT_EQ(hr, DI_OK);
  struct SExpected {
    DWORD uiOffset;
    DWORD uiData;
  };
  const SExpected expected[] = {{DIK_A, 0x80},           {DIK_B, 0x80},  {DIK_A, 0},    {DIK_RCONTROL, 0x80},
                                {DIK_NUMPADENTER, 0x80}, {DIK_UP, 0x80}, {DIK_C, 0x80}, {DIK_C, 0}};
  ASSERT_EQ(events.size(), std::size(expected));
  for (size_t i = 0; i < events.size(); ++i) {
    EXPECT_EQ(events[i].dwOfs, expected[i].uiOffset) << i;
    EXPECT_EQ(events[i].dwData, expected[i].uiData) << i;
    if (i > 0) {
      EXPECT_GT(events[i].dwSequence, events[i - 1].dwSequence) << i;
    }
  }
  EXPECT_EQ(peeked[0].dwOfs, static_cast<DWORD>(DIK_A));
  EXPECT_EQ(peeked[1].dwOfs, static_cast<DWORD>(DIK_B));
  EXPECT_TRUE(read(m_pKeyboard).empty());

  BYTE keys[256];
  ASSERT_EQ(m_pKeyboard->GetDeviceState(sizeof(keys), keys), DI_OK);
  EXPECT_EQ(keys[DIK_B], 0x80);
  EXPECT_EQ(keys[DIK_UP], 0x80);
  EXPECT_EQ(keys[DIK_A], 0);
  EXPECT_EQ(keys[DIK_C], 0);

  // The same events also became window messages: the pump serves both.
  int iKeyDowns = 0;
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    iKeyDowns += msg.message == WM_KEYDOWN ? 1 : 0;
  }
  EXPECT_EQ(iKeyDowns, 7);
}

TEST_F(DInput8, FullBufferKeepsTheOldestEventsAndReportsTheOverflow) {
  openKeyboard(4);
  const SDL_Scancode keys[] = {SDL_SCANCODE_1, SDL_SCANCODE_2, SDL_SCANCODE_3, SDL_SCANCODE_4, SDL_SCANCODE_5,
                               SDL_SCANCODE_6};
  for (SDL_Scancode eKey : keys) {
    Win32TestPushKey(eKey, true);
  }
  HRESULT hr = E_FAIL;
  std::vector<DIDEVICEOBJECTDATA> events = read(m_pKeyboard, &hr, 2);
  EXPECT_EQ(hr, DI_BUFFEROVERFLOW);
  EXPECT_TRUE(SUCCEEDED(hr));
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].dwOfs, static_cast<DWORD>(DIK_1));
  events = read(m_pKeyboard, &hr);
  EXPECT_EQ(hr, DI_OK);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].dwOfs, static_cast<DWORD>(DIK_4));

  // A null array with an unlimited count empties the buffer.
  Win32TestPushKey(SDL_SCANCODE_7, true);
  DWORD uiCount = 0xFFFFFFFFu;
  ASSERT_EQ(m_pKeyboard->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), nullptr, &uiCount, 0), DI_OK);
  EXPECT_EQ(uiCount, 1u);
  EXPECT_TRUE(read(m_pKeyboard).empty());
}

TEST_F(DInput8, FocusLossLosesForegroundDevicesUntilReacquired) {
  openKeyboard();
  g_pKeyboardForProc = m_pKeyboard;
  LPDIRECTINPUTDEVICE8A pBackground = nullptr;
  ASSERT_EQ(m_pInput->CreateDevice(GUID_SysKeyboard, &pBackground, nullptr), DI_OK);
  ASSERT_EQ(pBackground->SetDataFormat(&c_dfDIKeyboard), DI_OK);
  ASSERT_EQ(pBackground->SetCooperativeLevel(m_hWnd, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND), DI_OK);
  ASSERT_EQ(setBufferSize(pBackground, 32), DI_OK);
  ASSERT_EQ(pBackground->Acquire(), DI_OK);

  Win32TestPushKey(SDL_SCANCODE_A, true);
  Win32PumpEvents();
  Win32TestSetFocus(nullptr);
  HRESULT hr = E_FAIL;
  EXPECT_TRUE(read(m_pKeyboard, &hr).empty());
  EXPECT_EQ(hr, DIERR_INPUTLOST);
  read(m_pKeyboard, &hr);
  EXPECT_EQ(hr, DIERR_NOTACQUIRED);
  // Acquire fails without input-lost while the window is in the background, so a retry loop ends.
  EXPECT_EQ(m_pKeyboard->Acquire(), DIERR_OTHERAPPHASPRIO);
  BYTE keys[256];
  EXPECT_EQ(m_pKeyboard->GetDeviceState(sizeof(keys), keys), DIERR_NOTACQUIRED);
  // The background device keeps its data.
  EXPECT_EQ(read(pBackground).size(), 1u);

  // The window procedure re-acquires on activation; only later keys arrive.
  pumpMessages();
  Win32TestPushWindowEvent(m_hWnd, SDL_WINDOWEVENT_FOCUS_GAINED);
  pumpMessages();
  ASSERT_EQ(g_acquireOnActivate, std::vector<HRESULT>{DI_OK});
  Win32TestPushKey(SDL_SCANCODE_B, true);
  const std::vector<DIDEVICEOBJECTDATA> events = read(m_pKeyboard, &hr);
  EXPECT_EQ(hr, DI_OK);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].dwOfs, static_cast<DWORD>(DIK_B));
  ASSERT_EQ(m_pKeyboard->GetDeviceState(sizeof(keys), keys), DI_OK);
  EXPECT_EQ(keys[DIK_A], 0);  // the key held before the loss was cleared

  DInputTestLoseDevices();
  read(pBackground, &hr);
  EXPECT_EQ(hr, DIERR_INPUTLOST);
  EXPECT_EQ(pBackground->Acquire(), DI_OK);
  EXPECT_EQ(pBackground->Release(), 0u);
}

TEST_F(DInput8, MouseReportsRelativeMotionWheelAndButtons) {
  openMouse();
  Win32TestPushMouseMotion(m_hWnd, 15, 7, 5, -3);
  Win32TestPushMouseMotion(m_hWnd, 17, 7, 2, 0);
  Win32TestPushMouseWheel(m_hWnd, 1);
  Win32TestPushMouseButton(m_hWnd, SDL_BUTTON_LEFT, true, 17, 7);
  Win32TestPushMouseButton(m_hWnd, SDL_BUTTON_LEFT, false, 17, 7);
  Win32TestPushMouseButton(m_hWnd, SDL_BUTTON_RIGHT, true, 17, 7);
  Win32TestPushMouseButton(m_hWnd, SDL_BUTTON_MIDDLE, true, 17, 7);

  const std::vector<DIDEVICEOBJECTDATA> events = read(m_pMouse);
  struct SExpected {
    DWORD uiOffset;
    LONG lData;
  };
  const SExpected expected[] = {{DIMOFS_X, 5},          {DIMOFS_Y, -3},      {DIMOFS_X, 2},
                                {DIMOFS_Z, WHEEL_DELTA}, {DIMOFS_BUTTON0, 0x80}, {DIMOFS_BUTTON0, 0},
                                {DIMOFS_BUTTON1, 0x80},  {DIMOFS_BUTTON2, 0x80}};
  ASSERT_EQ(events.size(), std::size(expected));
  for (size_t i = 0; i < events.size(); ++i) {
    EXPECT_EQ(events[i].dwOfs, expected[i].uiOffset) << i;
    EXPECT_EQ(static_cast<LONG>(events[i].dwData), expected[i].lData) << i;
  }
  EXPECT_EQ(events[0].dwSequence, events[1].dwSequence);  // X and Y of one motion
  EXPECT_LT(events[1].dwSequence, events[2].dwSequence);

  DIMOUSESTATE2 state{};
  ASSERT_EQ(m_pMouse->GetDeviceState(sizeof(state), &state), DI_OK);
  EXPECT_EQ(state.lX, 7);
  EXPECT_EQ(state.lY, -3);
  EXPECT_EQ(state.lZ, WHEEL_DELTA);
  EXPECT_EQ(state.rgbButtons[0], 0);
  EXPECT_EQ(state.rgbButtons[1], 0x80);
  EXPECT_EQ(state.rgbButtons[2], 0x80);
  // Motion counts from the previous read; buttons stay as they are.
  ASSERT_EQ(m_pMouse->GetDeviceState(sizeof(state), &state), DI_OK);
  EXPECT_EQ(state.lX, 0);
  EXPECT_EQ(state.lY, 0);
  EXPECT_EQ(state.lZ, 0);
  EXPECT_EQ(state.rgbButtons[1], 0x80);

  // Moving the cursor by program is not mouse motion.
  POINT target{100, 100};
  ClientToScreen(m_hWnd, &target);
  Win32TestPushMouseMotion(m_hWnd, 0, 0, -3, 0);
  Win32PumpEvents();
  SetCursorPos(target.x, target.y);
  SDL_FlushEvent(SDL_MOUSEMOTION);
  Win32TestPushMouseMotion(m_hWnd, 100, 100, 100, 100);  // the warp as a pointer-driving video driver reports it
  ASSERT_EQ(m_pMouse->GetDeviceState(sizeof(state), &state), DI_OK);
  EXPECT_EQ(state.lX, -3);
  EXPECT_EQ(state.lY, 0);
}

}  // namespace
