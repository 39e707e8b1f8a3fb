#include "Platform/DInput/XInput.h"

#include <SDL.h>

#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Platform/Common/PlatformFaults.h"
#include "Platform/Win32/Win32Messages.h"
#include "Platform/Win32/Win32Sdl.h"

namespace {

struct SPad {
  SDL_GameController* pController;
  SDL_JoystickID iInstance;
  std::string identity;  // device GUID and serial: how a returning pad is known again
  int iSlot;             // -1 while it waits for a free slot
};

struct SSlot {
  std::string lastIdentity;  // the pad that held the slot last
  DWORD uiPacket = 0;
  XINPUT_GAMEPAD lastState{};
  bool bHasLastState = false;
  WORD uiLeftMotor = 0;
  WORD uiRightMotor = 0;
  Uint64 uiLastRumbleTicks = 0;
  bool bUnplugged = false;
};

class CXInputHub final : public Win32PumpListener {
 public:
  bool start() {
    if (m_bStarted) {
      return m_bUsable;
    }
    m_bStarted = true;
    if (Win32InitSdlSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
      std::fprintf(stderr, "XInput stand-in: SDL game controllers could not start: %s\n", SDL_GetError());
      return false;
    }
    m_bUsable = true;
    // Bit i stands for slot i.
    const std::uint32_t uiUnplugged = PlatformEnvironmentFaultBits("GRINDLOW_XINPUT_UNPLUGGED", {"0", "1", "2", "3"});
    static_assert(XUSER_MAX_COUNT == 4);
    for (DWORD i = 0; i < XUSER_MAX_COUNT; ++i) {
      if ((uiUnplugged & (1u << i)) != 0) m_slots[i].bUnplugged = true;
    }
    Win32AddPumpListener(this);
    // Pads present before the pump listened: their "added" events may already be gone.
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
      open(i);
    }
    return true;
  }

  void onSdlEvent(const SDL_Event& event) override {
    if (event.type == SDL_CONTROLLERDEVICEADDED) {
      open(event.cdevice.which);
    } else if (event.type == SDL_CONTROLLERDEVICEREMOVED) {
      close(event.cdevice.which);
    }
  }

  void onWindowActivation(HWND, bool) override {}

  void onPumpFinished() override {
    const Uint64 uiNow = SDL_GetTicks64();
    for (int i = 0; i < XUSER_MAX_COUNT; ++i) {
      const SSlot& slot = m_slots[i];
      if ((slot.uiLeftMotor || slot.uiRightMotor) && uiNow - slot.uiLastRumbleTicks >= m_uiRumbleMs / 3) {
        if (SPad* pPad = padIn(i)) {
          sendRumble(i, *pPad);
        }
      }
    }
  }

  // The pad readable in a slot, else null.
  SPad* connectedPad(DWORD uiSlot) {
    SPad* pPad = padIn(static_cast<int>(uiSlot));
    if (pPad == nullptr || m_slots[uiSlot].bUnplugged || !SDL_GameControllerGetAttached(pPad->pController)) {
      return nullptr;
    }
    return pPad;
  }

  SSlot& slot(DWORD uiSlot) { return m_slots[uiSlot]; }

  void sendRumble(int iSlot, const SPad& pad) {
    SSlot& slot = m_slots[iSlot];
    if (slot.uiLeftMotor == 0 && slot.uiRightMotor == 0) {
      SDL_GameControllerRumble(pad.pController, 0, 0, 0);
    } else {
      SDL_GameControllerRumble(pad.pController, slot.uiLeftMotor, slot.uiRightMotor, m_uiRumbleMs);
    }
    slot.uiLastRumbleTicks = SDL_GetTicks64();
  }

  void setUnplugged(DWORD uiSlot, bool bUnplugged) {
    SSlot& slot = m_slots[uiSlot];
    slot.bUnplugged = bUnplugged;
    if (bUnplugged) {
      slot.uiLeftMotor = 0;
      slot.uiRightMotor = 0;
      if (SPad* pPad = padIn(static_cast<int>(uiSlot))) {
        sendRumble(static_cast<int>(uiSlot), *pPad);
      }
    }
  }

  void setRumbleDuration(DWORD uiMilliseconds) { m_uiRumbleMs = uiMilliseconds > 0 ? uiMilliseconds : 1; }

 private:
  SPad* padIn(int iSlot) {
    for (SPad& pad : m_pads) {
      if (pad.iSlot == iSlot) {
        return &pad;
      }
    }
    return nullptr;
  }

  void open(int iDeviceIndex) {
    const SDL_JoystickID iInstance = SDL_JoystickGetDeviceInstanceID(iDeviceIndex);
    for (const SPad& pad : m_pads) {
      if (pad.iInstance == iInstance) {
        return;
      }
    }
    if (!SDL_IsGameController(iDeviceIndex)) {
      return;
    }
    SDL_GameController* pController = SDL_GameControllerOpen(iDeviceIndex);
    if (pController == nullptr) {
      return;
    }
    char guid[33];
    SDL_JoystickGetGUIDString(SDL_JoystickGetGUID(SDL_GameControllerGetJoystick(pController)), guid, sizeof(guid));
    const char* pSerial = SDL_GameControllerGetSerial(pController);
    m_pads.push_back(SPad{pController, iInstance, std::string(guid) + "/" + (pSerial ? pSerial : ""), -1});
    assignSlots();
  }

  void close(SDL_JoystickID iInstance) {
    for (size_t i = 0; i < m_pads.size(); ++i) {
      if (m_pads[i].iInstance != iInstance) {
        continue;
      }
      if (m_pads[i].iSlot >= 0) {
        SSlot& slot = m_slots[m_pads[i].iSlot];
        slot.uiLeftMotor = 0;
        slot.uiRightMotor = 0;
        slot.bHasLastState = false;
      }
      SDL_GameControllerClose(m_pads[i].pController);
      m_pads.erase(m_pads.begin() + static_cast<std::ptrdiff_t>(i));
      assignSlots();
      return;
    }
  }

  // Gives free slots to waiting pads in connection order: a pad's previous slot if it is free, else the lowest
  // free slot.
  void assignSlots() {
    for (SPad& pad : m_pads) {
      if (pad.iSlot >= 0) {
        continue;
      }
      int iChosen = -1;
      for (int i = 0; i < XUSER_MAX_COUNT && iChosen < 0; ++i) {
        if (padIn(i) == nullptr && m_slots[i].lastIdentity == pad.identity) {
          iChosen = i;
        }
      }
      for (int i = 0; i < XUSER_MAX_COUNT && iChosen < 0; ++i) {
        if (padIn(i) == nullptr) {
          iChosen = i;
        }
      }
      if (iChosen < 0) {
        return;
      }
      pad.iSlot = iChosen;
      SSlot& slot = m_slots[iChosen];
      slot.lastIdentity = pad.identity;
      slot.bHasLastState = false;
      slot.uiLeftMotor = 0;
      slot.uiRightMotor = 0;
    }
  }

  std::vector<SPad> m_pads;  // in connection order
  SSlot m_slots[XUSER_MAX_COUNT];
  bool m_bStarted = false;
  bool m_bUsable = false;
  DWORD m_uiRumbleMs = 2000;
};

CXInputHub& hub() {
  static CXInputHub* s_pHub = new CXInputHub;
  return *s_pHub;
}

SHORT upPositive(Sint16 iSdlY) { return static_cast<SHORT>(iSdlY == -32768 ? 32767 : -iSdlY); }

BYTE triggerByte(Sint16 iSdlValue) {
  const int iValue = iSdlValue < 0 ? 0 : iSdlValue;
  return static_cast<BYTE>((iValue * 255 + 16383) / 32767);
}

XINPUT_GAMEPAD readPad(SDL_GameController* pController) {
  struct SButton {
    SDL_GameControllerButton eButton;
    WORD uiBit;
  };
  static const SButton s_buttons[] = {
      {SDL_CONTROLLER_BUTTON_DPAD_UP, XINPUT_GAMEPAD_DPAD_UP},
      {SDL_CONTROLLER_BUTTON_DPAD_DOWN, XINPUT_GAMEPAD_DPAD_DOWN},
      {SDL_CONTROLLER_BUTTON_DPAD_LEFT, XINPUT_GAMEPAD_DPAD_LEFT},
      {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, XINPUT_GAMEPAD_DPAD_RIGHT},
      {SDL_CONTROLLER_BUTTON_START, XINPUT_GAMEPAD_START},
      {SDL_CONTROLLER_BUTTON_BACK, XINPUT_GAMEPAD_BACK},
      {SDL_CONTROLLER_BUTTON_LEFTSTICK, XINPUT_GAMEPAD_LEFT_THUMB},
      {SDL_CONTROLLER_BUTTON_RIGHTSTICK, XINPUT_GAMEPAD_RIGHT_THUMB},
      {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, XINPUT_GAMEPAD_LEFT_SHOULDER},
      {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, XINPUT_GAMEPAD_RIGHT_SHOULDER},
      {SDL_CONTROLLER_BUTTON_A, XINPUT_GAMEPAD_A},
      {SDL_CONTROLLER_BUTTON_B, XINPUT_GAMEPAD_B},
      {SDL_CONTROLLER_BUTTON_X, XINPUT_GAMEPAD_X},
      {SDL_CONTROLLER_BUTTON_Y, XINPUT_GAMEPAD_Y},
  };
  XINPUT_GAMEPAD pad{};
  for (const SButton& button : s_buttons) {
    if (SDL_GameControllerGetButton(pController, button.eButton)) {
      pad.wButtons = static_cast<WORD>(pad.wButtons | button.uiBit);
    }
  }
  pad.bLeftTrigger = triggerByte(SDL_GameControllerGetAxis(pController, SDL_CONTROLLER_AXIS_TRIGGERLEFT));
  pad.bRightTrigger = triggerByte(SDL_GameControllerGetAxis(pController, SDL_CONTROLLER_AXIS_TRIGGERRIGHT));
  pad.sThumbLX = SDL_GameControllerGetAxis(pController, SDL_CONTROLLER_AXIS_LEFTX);
  pad.sThumbLY = upPositive(SDL_GameControllerGetAxis(pController, SDL_CONTROLLER_AXIS_LEFTY));
  pad.sThumbRX = SDL_GameControllerGetAxis(pController, SDL_CONTROLLER_AXIS_RIGHTX);
  pad.sThumbRY = upPositive(SDL_GameControllerGetAxis(pController, SDL_CONTROLLER_AXIS_RIGHTY));
  return pad;
}

// The checks both state calls make: the index and the caller's structure, the hub started, the events pumped.
// ERROR_SUCCESS with the pad connected at the index in pPad, or the error the call answers.
DWORD connectedPadFor(DWORD dwUserIndex, const void* pArgument, SPad*& pPad) {
  if (dwUserIndex >= XUSER_MAX_COUNT || pArgument == nullptr) {
    return ERROR_BAD_ARGUMENTS;
  }
  if (!hub().start()) {
    return ERROR_DEVICE_NOT_CONNECTED;
  }
  Win32PumpEvents();
  pPad = hub().connectedPad(dwUserIndex);
  return pPad != nullptr ? ERROR_SUCCESS : ERROR_DEVICE_NOT_CONNECTED;
}

}  // namespace

DWORD XInputGetState(DWORD dwUserIndex, XINPUT_STATE* pState) {
  SPad* pPad = nullptr;
  const DWORD dwResult = connectedPadFor(dwUserIndex, pState, pPad);
  if (dwResult != ERROR_SUCCESS) {
    return dwResult;
  }
  SSlot& slot = hub().slot(dwUserIndex);
  const XINPUT_GAMEPAD pad = readPad(pPad->pController);
  if (!slot.bHasLastState || std::memcmp(&pad, &slot.lastState, sizeof(pad)) != 0) {
    ++slot.uiPacket;
    slot.lastState = pad;
    slot.bHasLastState = true;
  }
  pState->dwPacketNumber = slot.uiPacket;
  pState->Gamepad = pad;
  return ERROR_SUCCESS;
}

DWORD XInputSetState(DWORD dwUserIndex, XINPUT_VIBRATION* pVibration) {
  SPad* pPad = nullptr;
  const DWORD dwResult = connectedPadFor(dwUserIndex, pVibration, pPad);
  if (dwResult != ERROR_SUCCESS) {
    return dwResult;
  }
  SSlot& slot = hub().slot(dwUserIndex);
  slot.uiLeftMotor = pVibration->wLeftMotorSpeed;
  slot.uiRightMotor = pVibration->wRightMotorSpeed;
  hub().sendRumble(static_cast<int>(dwUserIndex), *pPad);
  return ERROR_SUCCESS;
}

void XInputTestSetUnplugged(DWORD dwUserIndex, bool bUnplugged) {
  if (dwUserIndex < XUSER_MAX_COUNT && hub().start()) {
    hub().setUnplugged(dwUserIndex, bUnplugged);
  }
}

void XInputTestSetRumbleDuration(DWORD uiMilliseconds) { hub().setRumbleDuration(uiMilliseconds); }
