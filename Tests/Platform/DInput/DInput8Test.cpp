#include "Platform/DInput/DInput8.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>
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
  Win32TestPushKey(SDL_SCANCODE_C, true);
  Win32TestPushKey(SDL_SCANCODE_C, false);

  // Peeking leaves the events in place.
  DIDEVICEOBJECTDATA peeked[2];
  DWORD uiCount = 2;
  ASSERT_EQ(m_pKeyboard->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), peeked, &uiCount, DIGDD_PEEK), DI_OK);
  EXPECT_EQ(uiCount, 2u);

  // Every event, over as many reads as it takes: a release whose press is in the same read waits for the next
  // read (A's and C's); the rest keep their order, and so does each key's own.
  struct SExpected {
    DWORD uiOffset;
    DWORD uiData;
    size_t uiRead;
  };
  const SExpected expected[] = {{DIK_A, 0x80, 0},      {DIK_B, 0x80, 0},  {DIK_RCONTROL, 0x80, 0},
                                {DIK_NUMPADENTER, 0x80, 0}, {DIK_UP, 0x80, 0}, {DIK_C, 0x80, 0},
                                {DIK_A, 0, 1},         {DIK_C, 0, 1}};
  std::vector<DIDEVICEOBJECTDATA> events;
  std::vector<size_t> reads;
  for (size_t uiRead = 0; uiRead < 3; ++uiRead) {
    HRESULT hr = E_FAIL;
    for (const DIDEVICEOBJECTDATA& event : read(m_pKeyboard, &hr)) {
      events.push_back(event);
      reads.push_back(uiRead);
    }
    EXPECT_EQ(hr, DI_OK);
  }
  ASSERT_EQ(events.size(), std::size(expected));
  for (size_t i = 0; i < events.size(); ++i) {
    EXPECT_EQ(events[i].dwOfs, expected[i].uiOffset) << i;
    EXPECT_EQ(events[i].dwData, expected[i].uiData) << i;
    EXPECT_EQ(reads[i], expected[i].uiRead) << i;
    if (i > 0 && reads[i] == reads[i - 1]) {
      EXPECT_GT(events[i].dwSequence, events[i - 1].dwSequence) << i;
    }
  }
  EXPECT_EQ(peeked[0].dwOfs, static_cast<DWORD>(DIK_A));
  EXPECT_EQ(peeked[1].dwOfs, static_cast<DWORD>(DIK_B));

  // The keys pressed since the last state read down once, then as they are.
  BYTE keys[256];
  ASSERT_EQ(m_pKeyboard->GetDeviceState(sizeof(keys), keys), DI_OK);
  for (BYTE uiKey : {DIK_A, DIK_B, DIK_UP, DIK_C}) {
    EXPECT_EQ(keys[uiKey], 0x80) << int{uiKey};
  }
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

// A key or button pressed and released between two reads reads as one press, then as released, whichever
// read the program uses, and one released and pressed again between two buffered reads as a release, then as
// a press; a held one reads down every time.
TEST_F(DInput8, TapsBetweenTwoReadsReadAsOnePressThenARelease) {
  openKeyboard();
  openMouse();
  struct SCase {
    const char* pName;
    bool bMouse;
    DWORD uiOffset;  // DIK_ code or DIMOFS_BUTTONn
    std::function<void(bool bDown)> push;
  };
  const SCase aCases[] = {
      {"key", false, DIK_SPACE, [](bool bDown) { Win32TestPushKey(SDL_SCANCODE_SPACE, bDown); }},
      {"extended key", false, DIK_RIGHT, [](bool bDown) { Win32TestPushKey(SDL_SCANCODE_RIGHT, bDown); }},
      {"left button", true, DIMOFS_BUTTON0,
       [this](bool bDown) { Win32TestPushMouseButton(m_hWnd, SDL_BUTTON_LEFT, bDown, 5, 5); }},
      {"right button", true, DIMOFS_BUTTON1,
       [this](bool bDown) { Win32TestPushMouseButton(m_hWnd, SDL_BUTTON_RIGHT, bDown, 5, 5); }},
  };
  // The state byte of the case's switch.
  auto stateOf = [this](const SCase& test) {
    if (test.bMouse) {
      DIMOUSESTATE2 state{};
      EXPECT_EQ(m_pMouse->GetDeviceState(sizeof(state), &state), DI_OK);
      return state.rgbButtons[test.uiOffset - DIMOFS_BUTTON0];
    }
    BYTE keys[256];
    EXPECT_EQ(m_pKeyboard->GetDeviceState(sizeof(keys), keys), DI_OK);
    return keys[test.uiOffset];
  };
  // The data of the case's switch in one read, in order.
  auto dataOf = [this](const SCase& test) {
    std::vector<DWORD> data;
    for (const DIDEVICEOBJECTDATA& event : read(test.bMouse ? m_pMouse : m_pKeyboard)) {
      if (event.dwOfs == test.uiOffset) data.push_back(event.dwData);
    }
    return data;
  };
  for (const SCase& test : aCases) {
    SCOPED_TRACE(test.pName);
    // Buffered: two taps (another event between them) and a press; each read sees one change, so a program
    // that keeps the last state sees all three presses.
    test.push(true);
    test.push(false);
    Win32TestPushMouseMotion(m_hWnd, 9, 9, 4, 4);
    test.push(true);
    test.push(false);
    test.push(true);
    for (const DWORD uiData : {0x80u, 0u, 0x80u, 0u, 0x80u}) EXPECT_EQ(dataOf(test), std::vector<DWORD>{uiData});
    EXPECT_EQ(dataOf(test), std::vector<DWORD>{});
    // Held: down in every state read.
    EXPECT_EQ(stateOf(test), 0x80);
    EXPECT_EQ(stateOf(test), 0x80);
    // A tap: down once, then up.
    test.push(false);
    test.push(true);
    test.push(false);
    EXPECT_EQ(stateOf(test), 0x80);
    EXPECT_EQ(stateOf(test), 0);
    // The buffers emptied for the next case: the tap's release, press and release take a read each.
    for (int i = 0; i < 3; ++i) {
      for (LPDIRECTINPUTDEVICE8A pDevice : {m_pKeyboard, m_pMouse}) read(pDevice);
    }
    ASSERT_TRUE(read(m_pKeyboard).empty());
    ASSERT_TRUE(read(m_pMouse).empty());
  }
  // Other keys' events are not held back behind a release that waits: typing reads whole in one read.
  for (SDL_Scancode eKey : {SDL_SCANCODE_H, SDL_SCANCODE_I}) {
    Win32TestPushKey(eKey, true);
    Win32TestPushKey(eKey, false);
  }
  std::vector<std::pair<DWORD, DWORD>> typed;
  for (const DIDEVICEOBJECTDATA& event : read(m_pKeyboard)) typed.emplace_back(event.dwOfs, event.dwData);
  EXPECT_EQ(typed, (std::vector<std::pair<DWORD, DWORD>>{{DIK_H, 0x80}, {DIK_I, 0x80}}));
  typed.clear();
  for (const DIDEVICEOBJECTDATA& event : read(m_pKeyboard)) typed.emplace_back(event.dwOfs, event.dwData);
  EXPECT_EQ(typed, (std::vector<std::pair<DWORD, DWORD>>{{DIK_H, 0}, {DIK_I, 0}}));

  // A read of one event at a time still sees each key's events in order.
  Win32TestPushKey(SDL_SCANCODE_SPACE, true);
  Win32TestPushKey(SDL_SCANCODE_SPACE, false);
  Win32TestPushKey(SDL_SCANCODE_H, true);
  EXPECT_EQ(read(m_pKeyboard, nullptr, 1).at(0).dwOfs, static_cast<DWORD>(DIK_SPACE));
  EXPECT_EQ(read(m_pKeyboard, nullptr, 1).at(0).dwOfs, static_cast<DWORD>(DIK_SPACE));
  EXPECT_EQ(read(m_pKeyboard, nullptr, 1).at(0).dwOfs, static_cast<DWORD>(DIK_H));

  // A flush takes the held-back release too.
  Win32TestPushKey(SDL_SCANCODE_SPACE, true);
  Win32TestPushKey(SDL_SCANCODE_SPACE, false);
  DWORD uiCount = 0xFFFFFFFFu;
  ASSERT_EQ(m_pKeyboard->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), nullptr, &uiCount, 0), DI_OK);
  EXPECT_EQ(uiCount, 2u);
  EXPECT_TRUE(read(m_pKeyboard).empty());
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

  // The left button's release comes with a second read, after the one holding its press.
  std::vector<DIDEVICEOBJECTDATA> events = read(m_pMouse);
  ASSERT_EQ(events.size(), 7u);
  for (const DIDEVICEOBJECTDATA& event : read(m_pMouse)) {
    events.push_back(event);
  }
  struct SExpected {
    DWORD uiOffset;
    LONG lData;
  };
  const SExpected expected[] = {{DIMOFS_X, 5},          {DIMOFS_Y, -3},      {DIMOFS_X, 2},
                                {DIMOFS_Z, WHEEL_DELTA}, {DIMOFS_BUTTON0, 0x80}, {DIMOFS_BUTTON1, 0x80},
                                {DIMOFS_BUTTON2, 0x80},  {DIMOFS_BUTTON0, 0}};
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
  EXPECT_EQ(state.rgbButtons[0], 0x80);  // pressed since the last read, though up again
  EXPECT_EQ(state.rgbButtons[1], 0x80);
  EXPECT_EQ(state.rgbButtons[2], 0x80);
  EXPECT_EQ(state.rgbButtons[3], 0);
  // Motion counts from the previous read; buttons read as they are.
  ASSERT_EQ(m_pMouse->GetDeviceState(sizeof(state), &state), DI_OK);
  EXPECT_EQ(state.lX, 0);
  EXPECT_EQ(state.lY, 0);
  EXPECT_EQ(state.lZ, 0);
  EXPECT_EQ(state.rgbButtons[0], 0);
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
