#include "Platform/DInput/DInput8.h"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "Platform/Common/PlatformFaults.h"
#include "Platform/Win32/Win32Messages.h"
#include "Platform/Win32/Win32Window.h"
#include "Platform/Win32/Win32Sdl.h"

// Identifiers of this stand-in; only their identity matters.
const GUID IID_IDirectInput8A = {0x47524E44, 0x0008, 0x0001, {0x44, 0x49, 0x4E, 0x50, 0x55, 0x54, 0x38, 0x41}};
const GUID IID_IDirectInputDevice8A = {0x47524E44, 0x0008, 0x0002, {0x44, 0x49, 0x44, 0x45, 0x56, 0x38, 0x41, 0x00}};
const GUID GUID_SysKeyboard = {0x47524E44, 0x0008, 0x0003, {0x53, 0x59, 0x53, 0x4B, 0x45, 0x59, 0x42, 0x44}};
const GUID GUID_SysMouse = {0x47524E44, 0x0008, 0x0004, {0x53, 0x59, 0x53, 0x4D, 0x4F, 0x55, 0x53, 0x45}};
const GUID DIPROP_BUFFERSIZE = {0x47524E44, 0x0008, 0x0005, {0x42, 0x55, 0x46, 0x53, 0x49, 0x5A, 0x45, 0x00}};

const DIDATAFORMAT c_dfDIKeyboard = {sizeof(DIDATAFORMAT), 0, DIDF_RELAXIS, 256, 0, nullptr};
const DIDATAFORMAT c_dfDIMouse2 = {sizeof(DIDATAFORMAT), 0, DIDF_RELAXIS, sizeof(DIMOUSESTATE2), 0, nullptr};

namespace {

// Buffers larger than this are cut to it.
constexpr DWORD gc_uiMAX_BUFFER_EVENTS = 4096;

enum class EDeviceKind { KEYBOARD, MOUSE };

class CDevice;

// QueryInterface of an object that offers one interface, riidOffered: a reference more and the object itself
// for that interface, E_NOINTERFACE (and null) for any other.
template <typename TObject>
HRESULT queryOnlyInterface(TObject* pObject, REFIID riidOffered, REFIID riid, void** ppvObject) {
  if (ppvObject == nullptr) {
    return E_POINTER;
  }
  *ppvObject = nullptr;
  if (!IsEqualGUID(riid, riidOffered)) {
    return E_NOINTERFACE;
  }
  pObject->AddRef();
  *ppvObject = pObject;
  return S_OK;
}

// Feeds every live device from the pump and follows the window activation.
class CDInputHub final : public Win32PumpListener {
 public:
  void onSdlEvent(const SDL_Event& event) override;
  void onWindowActivation(HWND hWnd, bool bActive) override;
  void onPumpFinished() override {}

  unsigned faults() {
    if (!m_bFaultsRead) {
      m_bFaultsRead = true;
      // Bit i of the faults is the i-th name.
      m_uiFaults |= PlatformEnvironmentFaultBits("GRINDLOW_DINPUT_FAULTS", {"create", "keyboard", "mouse", "mousecoop"});
    }
    return m_uiFaults;
  }
  void setFaults(unsigned uiFaults) {
    m_bFaultsRead = true;
    m_uiFaults = uiFaults;
  }

  std::vector<CDevice*> m_devices;
  DWORD m_uiSequence = 0;

 private:
  unsigned m_uiFaults = 0;
  bool m_bFaultsRead = false;
};

CDInputHub& hub() {
  static CDInputHub* s_pHub = new CDInputHub;
  return *s_pHub;
}

class CDevice final : public IDirectInputDevice8A {
 public:
  explicit CDevice(EDeviceKind eKind) : m_eKind(eKind) {}

  HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
    return queryOnlyInterface(this, IID_IDirectInputDevice8A, riid, ppvObject);
  }
  ULONG AddRef() override { return ++m_uiRefs; }
  ULONG Release() override {
    const ULONG uiRefs = --m_uiRefs;
    if (uiRefs == 0) {
      Unacquire();
      std::vector<CDevice*>& devices = hub().m_devices;
      devices.erase(std::find(devices.begin(), devices.end(), this));
      delete this;
    }
    return uiRefs;
  }

  HRESULT SetProperty(REFGUID rguidProp, LPCDIPROPHEADER pdiph) override {
    if (!IsEqualGUID(rguidProp, DIPROP_BUFFERSIZE)) {
      return DIERR_UNSUPPORTED;
    }
    if (pdiph == nullptr || pdiph->dwSize != sizeof(DIPROPDWORD) || pdiph->dwHeaderSize != sizeof(DIPROPHEADER) ||
        pdiph->dwHow != DIPH_DEVICE || pdiph->dwObj != 0) {
      return DIERR_INVALIDPARAM;
    }
    if (m_bAcquired) {
      return DIERR_ACQUIRED;
    }
    const DWORD uiWanted = reinterpret_cast<const DIPROPDWORD*>(pdiph)->dwData;
    m_uiBufferSize = std::min(uiWanted, gc_uiMAX_BUFFER_EVENTS);
    return uiWanted > gc_uiMAX_BUFFER_EVENTS ? DI_PROPNOEFFECT : DI_OK;
  }

  HRESULT Acquire() override {
    if (m_pFormat == nullptr) {
      return DIERR_INVALIDPARAM;
    }
    // Events that happened before the device was acquired are not its events.
    Win32PumpEvents();
    if (m_bAcquired) {
      return DI_NOEFFECT;
    }
    if ((m_uiCooperation & DISCL_FOREGROUND) && (!IsWindow(m_hWnd) || GetForegroundWindow() != m_hWnd)) {
      return DIERR_OTHERAPPHASPRIO;
    }
    clearData();
    m_bAcquired = true;
    m_bLost = false;
    if (m_eKind == EDeviceKind::MOUSE && (m_uiCooperation & DISCL_EXCLUSIVE)) {
      // Exclusive mouse: the cursor is hidden and held; a driver without relative mode keeps plain motion.
      m_bRelativeMode = SDL_SetRelativeMouseMode(SDL_TRUE) == 0;
    }
    return DI_OK;
  }

  HRESULT Unacquire() override {
    if (!m_bAcquired) {
      m_bLost = false;
      return DI_NOEFFECT;
    }
    release(false);
    return DI_OK;
  }

  HRESULT GetDeviceState(DWORD cbData, LPVOID lpvData) override {
    const DWORD uiExpected = m_eKind == EDeviceKind::KEYBOARD ? 256u : static_cast<DWORD>(sizeof(DIMOUSESTATE2));
    if (lpvData == nullptr || m_pFormat == nullptr || cbData != uiExpected) {
      return DIERR_INVALIDPARAM;
    }
    Win32PumpEvents();
    if (const HRESULT hr = readableResult(); FAILED(hr)) {
      return hr;
    }
    // A key or button pressed since the last read reads down once, even when it is up again by now.
    std::array<BYTE, 256> switches = m_switches;
    for (size_t i = 0; i < switches.size(); ++i) {
      switches[i] |= m_pressedSinceState[i];
    }
    m_pressedSinceState.fill(0);
    if (m_eKind == EDeviceKind::KEYBOARD) {
      std::memcpy(lpvData, switches.data(), switches.size());
    } else {
      DIMOUSESTATE2 state{};
      state.lX = m_lX;
      state.lY = m_lY;
      state.lZ = m_lZ;
      std::memcpy(state.rgbButtons, switches.data(), sizeof(state.rgbButtons));
      std::memcpy(lpvData, &state, sizeof(state));
      m_lX = m_lY = m_lZ = 0;
    }
    return DI_OK;
  }

  HRESULT GetDeviceData(DWORD cbObjectData, LPDIDEVICEOBJECTDATA rgdod, LPDWORD pdwInOut, DWORD dwFlags) override {
    if (cbObjectData != sizeof(DIDEVICEOBJECTDATA) || pdwInOut == nullptr || (dwFlags & ~DIGDD_PEEK) != 0 ||
        m_pFormat == nullptr) {
      return DIERR_INVALIDPARAM;
    }
    if (m_uiBufferSize == 0) {
      return DIERR_NOTBUFFERED;
    }
    Win32PumpEvents();
    if (const HRESULT hr = readableResult(); FAILED(hr)) {
      *pdwInOut = 0;
      return hr;
    }
    const bool bRemove = (dwFlags & DIGDD_PEEK) == 0;
    const HRESULT hr = m_bOverflow ? DI_BUFFEROVERFLOW : DI_OK;
    if (rgdod == nullptr) {
      // A flush, or a count: every event, none held back.
      const size_t uiCount = std::min<size_t>(*pdwInOut, m_buffer.size());
      if (bRemove) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(uiCount));
        m_bOverflow = false;
      }
      *pdwInOut = static_cast<DWORD>(uiCount);
      return hr;
    }
    // The events taken go out in arrival order; the ones held back stay, in theirs, for the next read. A switch
    // changes once a read: its later events (the release after a press, the next press after a release) wait.
    std::array<bool, 256> changed{};
    size_t uiTaken = 0;
    size_t uiKept = 0;
    for (size_t i = 0; i < m_buffer.size(); ++i) {
      const DIDEVICEOBJECTDATA event = m_buffer[i];
      bool bTake = uiTaken < *pdwInOut;
      if (bTake && isSwitch(event.dwOfs)) {
        const size_t uiSwitch = switchIndex(event.dwOfs);
        bTake = !changed[uiSwitch];
        changed[uiSwitch] = true;
      }
      if (bTake) {
        rgdod[uiTaken++] = event;
      } else if (bRemove) {
        m_buffer[uiKept++] = event;
      }
    }
    if (bRemove) {
      m_buffer.resize(uiKept);
      m_bOverflow = false;
    }
    *pdwInOut = static_cast<DWORD>(uiTaken);
    return hr;
  }

  HRESULT SetDataFormat(LPCDIDATAFORMAT lpdf) override {
    if (m_bAcquired) {
      return DIERR_ACQUIRED;
    }
    const DIDATAFORMAT* pExpected = m_eKind == EDeviceKind::KEYBOARD ? &c_dfDIKeyboard : &c_dfDIMouse2;
    if (lpdf != pExpected) {
      return DIERR_INVALIDPARAM;
    }
    m_pFormat = lpdf;
    return DI_OK;
  }

  HRESULT SetCooperativeLevel(HWND hwnd, DWORD dwFlags) override {
    if (m_eKind == EDeviceKind::MOUSE && (hub().faults() & DINPUT_FAULT_MOUSE_COOPERATION)) {
      return E_NOTIMPL;
    }
    if (m_bAcquired) {
      return DIERR_ACQUIRED;
    }
    const bool bExclusive = (dwFlags & DISCL_EXCLUSIVE) != 0;
    const bool bForeground = (dwFlags & DISCL_FOREGROUND) != 0;
    if (bExclusive == ((dwFlags & DISCL_NONEXCLUSIVE) != 0) || bForeground == ((dwFlags & DISCL_BACKGROUND) != 0) ||
        (dwFlags & ~(DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | DISCL_BACKGROUND | DISCL_NOWINKEY))) {
      return DIERR_INVALIDPARAM;
    }
    if (m_eKind == EDeviceKind::KEYBOARD && bExclusive && !bForeground) {
      return E_NOTIMPL;
    }
    if ((bExclusive || bForeground) && !IsWindow(hwnd)) {
      return E_HANDLE;
    }
    m_uiCooperation = dwFlags;
    m_hWnd = hwnd;
    return DI_OK;
  }

  void onSdlEvent(const SDL_Event& event, DWORD uiSequence) {
    if (!m_bAcquired) {
      return;
    }
    if (m_eKind == EDeviceKind::KEYBOARD) {
      if (event.type != SDL_KEYDOWN && event.type != SDL_KEYUP) {
        return;
      }
      const BYTE uiCode = Win32KeyboardScanCode(event.key.keysym.scancode);
      const DWORD uiData = event.type == SDL_KEYDOWN ? 0x80u : 0u;
      m_switches[uiCode] = static_cast<BYTE>(uiData);
      m_pressedSinceState[uiCode] |= static_cast<BYTE>(uiData);
      push(uiCode, uiData, event.key.timestamp, uiSequence);
      return;
    }
    switch (event.type) {
      case SDL_MOUSEMOTION:
        m_lX += event.motion.xrel;
        m_lY += event.motion.yrel;
        if (event.motion.xrel != 0) {
          push(DIMOFS_X, static_cast<DWORD>(event.motion.xrel), event.motion.timestamp, uiSequence);
        }
        if (event.motion.yrel != 0) {
          push(DIMOFS_Y, static_cast<DWORD>(event.motion.yrel), event.motion.timestamp, uiSequence);
        }
        break;
      case SDL_MOUSEWHEEL: {
        const int iSign = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1 : 1;
        const LONG lDelta = iSign * event.wheel.y * WHEEL_DELTA;
        m_lZ += lDelta;
        push(DIMOFS_Z, static_cast<DWORD>(lDelta), event.wheel.timestamp, uiSequence);
        break;
      }
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP: {
        static const int s_buttonIndex[] = {-1, 0, 2, 1, 3, 4, 5, 6, 7};  // SDL 1-based: left, middle, right, X1, X2
        const int iButton = event.button.button < 9 ? s_buttonIndex[event.button.button] : -1;
        if (iButton < 0) {
          break;
        }
        const DWORD uiData = event.type == SDL_MOUSEBUTTONDOWN ? 0x80u : 0u;
        m_switches[iButton] = static_cast<BYTE>(uiData);
        m_pressedSinceState[iButton] |= static_cast<BYTE>(uiData);
        push(static_cast<DWORD>(DIMOFS_BUTTON0 + iButton), uiData, event.button.timestamp, uiSequence);
        break;
      }
      default:
        break;
    }
  }

  void onActivation(HWND hWnd, bool bActive) {
    if (!bActive && m_bAcquired && (m_uiCooperation & DISCL_FOREGROUND) && hWnd == m_hWnd) {
      release(true);
    }
  }

  void lose() {
    if (m_bAcquired) {
      release(true);
    }
  }

 private:
  ~CDevice() = default;

  HRESULT readableResult() {
    if (m_bLost) {
      m_bLost = false;
      return DIERR_INPUTLOST;
    }
    return m_bAcquired ? DI_OK : DIERR_NOTACQUIRED;
  }

  void clearData() {
    m_buffer.clear();
    m_bOverflow = false;
    m_switches.fill(0);
    m_pressedSinceState.fill(0);
    m_lX = m_lY = m_lZ = 0;
  }

  void release(bool bLost) {
    m_bAcquired = false;
    m_bLost = bLost;
    clearData();
    if (m_bRelativeMode) {
      SDL_SetRelativeMouseMode(SDL_FALSE);
      m_bRelativeMode = false;
    }
  }

  // Offsets of keys and buttons, the device's switches; the mouse's axes are not.
  bool isSwitch(DWORD uiOffset) const {
    return m_eKind == EDeviceKind::KEYBOARD || (uiOffset >= DIMOFS_BUTTON0 && uiOffset <= DIMOFS_BUTTON7);
  }
  // Index of a switch in m_switches: the keyboard's scan code, the mouse's button number.
  size_t switchIndex(DWORD uiOffset) const {
    return m_eKind == EDeviceKind::KEYBOARD ? uiOffset & 0xFFu : uiOffset - DIMOFS_BUTTON0;
  }

  void push(DWORD uiOffset, DWORD uiData, Uint32 uiTime, DWORD uiSequence) {
    if (m_uiBufferSize == 0) {
      return;
    }
    if (m_buffer.size() >= m_uiBufferSize) {
      m_bOverflow = true;
      return;
    }
    m_buffer.push_back(DIDEVICEOBJECTDATA{uiOffset, uiData, uiTime, uiSequence, 0});
  }

  EDeviceKind m_eKind;
  ULONG m_uiRefs = 1;
  const DIDATAFORMAT* m_pFormat = nullptr;
  DWORD m_uiCooperation = DISCL_NONEXCLUSIVE | DISCL_BACKGROUND;
  HWND m_hWnd = nullptr;
  DWORD m_uiBufferSize = 0;
  std::deque<DIDEVICEOBJECTDATA> m_buffer;
  bool m_bOverflow = false;
  bool m_bAcquired = false;
  bool m_bLost = false;
  bool m_bRelativeMode = false;
  // Switch states (0x80 down): the keyboard's keys by scan code, the mouse's buttons in the first eight.
  std::array<BYTE, 256> m_switches{};
  // Switches pressed since the last GetDeviceState, down or up now.
  std::array<BYTE, 256> m_pressedSinceState{};
  LONG m_lX = 0;
  LONG m_lY = 0;
  LONG m_lZ = 0;
};

void CDInputHub::onSdlEvent(const SDL_Event& event) {
  switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      // Held keys repeat as window messages, never as device events.
      if (event.key.repeat || Win32KeyboardScanCode(event.key.keysym.scancode) == 0) {
        return;
      }
      break;
    case SDL_MOUSEMOTION:
      if (event.motion.which == SDL_TOUCH_MOUSEID || (event.motion.xrel == 0 && event.motion.yrel == 0)) {
        return;
      }
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      if (event.button.which == SDL_TOUCH_MOUSEID) {
        return;
      }
      break;
    case SDL_MOUSEWHEEL:
      if (event.wheel.which == SDL_TOUCH_MOUSEID || event.wheel.y == 0) {
        return;
      }
      break;
    default:
      return;
  }
  const DWORD uiSequence = ++m_uiSequence;
  for (size_t i = 0; i < m_devices.size(); ++i) {
    m_devices[i]->onSdlEvent(event, uiSequence);
  }
}

void CDInputHub::onWindowActivation(HWND hWnd, bool bActive) {
  for (size_t i = 0; i < m_devices.size(); ++i) {
    m_devices[i]->onActivation(hWnd, bActive);
  }
}

class CDirectInput final : public IDirectInput8A {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
    return queryOnlyInterface(this, IID_IDirectInput8A, riid, ppvObject);
  }
  ULONG AddRef() override { return ++m_uiRefs; }
  ULONG Release() override {
    const ULONG uiRefs = --m_uiRefs;
    if (uiRefs == 0) {
      delete this;
    }
    return uiRefs;
  }

  HRESULT CreateDevice(REFGUID rguid, LPDIRECTINPUTDEVICE8A* lplpDirectInputDevice, LPUNKNOWN pUnkOuter) override {
    if (lplpDirectInputDevice == nullptr) {
      return E_POINTER;
    }
    *lplpDirectInputDevice = nullptr;
    if (pUnkOuter != nullptr) {
      return DIERR_INVALIDPARAM;
    }
    EDeviceKind eKind;
    if (IsEqualGUID(rguid, GUID_SysKeyboard)) {
      if (hub().faults() & DINPUT_FAULT_NO_KEYBOARD) {
        return DIERR_DEVICENOTREG;
      }
      eKind = EDeviceKind::KEYBOARD;
    } else if (IsEqualGUID(rguid, GUID_SysMouse)) {
      if (hub().faults() & DINPUT_FAULT_NO_MOUSE) {
        return DIERR_DEVICENOTREG;
      }
      eKind = EDeviceKind::MOUSE;
    } else {
      return DIERR_DEVICENOTREG;
    }
    CDevice* pDevice = new CDevice(eKind);
    hub().m_devices.push_back(pDevice);
    *lplpDirectInputDevice = pDevice;
    return DI_OK;
  }

 private:
  ~CDirectInput() = default;

  ULONG m_uiRefs = 1;
};

}  // namespace

HRESULT DirectInput8Create(HINSTANCE hinst, DWORD dwVersion, REFIID riidltf, LPVOID* ppvOut, LPUNKNOWN punkOuter) {
  if (ppvOut == nullptr) {
    return E_POINTER;
  }
  *ppvOut = nullptr;
  if (hinst == nullptr || punkOuter != nullptr) {
    return DIERR_INVALIDPARAM;
  }
  if (dwVersion < 0x0800) {
    return DIERR_OLDDIRECTINPUTVERSION;
  }
  if (dwVersion > 0x0800) {
    return DIERR_BETADIRECTINPUTVERSION;
  }
  if (!IsEqualGUID(riidltf, IID_IDirectInput8A)) {
    return DIERR_NOINTERFACE;
  }
  if (hub().faults() & DINPUT_FAULT_CREATE) {
    return E_FAIL;
  }
  if (!SDL_WasInit(SDL_INIT_VIDEO)) {
    // Keyboard and mouse events come with SDL's video.
    if (Win32InitSdlSubSystem(SDL_INIT_VIDEO) != 0) {
      return E_FAIL;
    }
  }
  Win32AddPumpListener(&hub());
  *ppvOut = static_cast<IDirectInput8A*>(new CDirectInput);
  return DI_OK;
}

void DInputTestSetFaults(unsigned uiFaults) { hub().setFaults(uiFaults); }

void DInputTestLoseDevices() {
  for (size_t i = 0; i < hub().m_devices.size(); ++i) {
    hub().m_devices[i]->lose();
  }
}
