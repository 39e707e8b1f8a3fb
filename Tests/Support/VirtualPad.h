// A virtual game controller for the pad tests, attached through SDL, that records what its rumble motors were
// asked to do. Header only: the programs that use it link SDL and the XInput stand-in themselves.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "Platform/DInput/XInput.h"

class CVirtualPad {
 public:
  CVirtualPad(Uint16 uiVendor, Uint16 uiProduct) {
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    desc.vendor_id = uiVendor;
    desc.product_id = uiProduct;
    desc.name = "Virtual test pad";
    desc.userdata = this;
    desc.Rumble = &CVirtualPad::onRumble;
    const int iIndex = SDL_JoystickAttachVirtualEx(&desc);
    EXPECT_GE(iIndex, 0) << SDL_GetError();
    m_pJoystick = SDL_JoystickOpen(iIndex);
    EXPECT_NE(m_pJoystick, nullptr) << SDL_GetError();
    // Triggers rest at the bottom of the axis range.
    setAxis(SDL_CONTROLLER_AXIS_TRIGGERLEFT, SDL_JOYSTICK_AXIS_MIN);
    setAxis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, SDL_JOYSTICK_AXIS_MIN);
    // SDL takes the first values it sees for the resting ones: let it see these before a test moves anything.
    XINPUT_STATE state;
    XInputGetState(0, &state);
  }
  ~CVirtualPad() { detach(); }
  CVirtualPad(const CVirtualPad&) = delete;
  CVirtualPad& operator=(const CVirtualPad&) = delete;

  void setAxis(SDL_GameControllerAxis eAxis, Sint16 iValue) { SDL_JoystickSetVirtualAxis(m_pJoystick, eAxis, iValue); }
  void setButton(SDL_GameControllerButton eButton, bool bDown) {
    SDL_JoystickSetVirtualButton(m_pJoystick, eButton, bDown ? 1 : 0);
  }

  // Unplugs the pad; the pump sees the removal at its next run. A second call does nothing.
  void detach() {
    if (m_pJoystick == nullptr) {
      return;
    }
    const SDL_JoystickID iInstance = SDL_JoystickInstanceID(m_pJoystick);
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
      if (SDL_JoystickGetDeviceInstanceID(i) == iInstance) {
        SDL_JoystickDetachVirtual(i);
        break;
      }
    }
    SDL_JoystickClose(m_pJoystick);
    m_pJoystick = nullptr;
  }

  // Low-frequency and high-frequency levels, in the order they were asked for.
  std::vector<std::pair<Uint16, Uint16>> rumble;

 private:
  static int onRumble(void* pUser, Uint16 uiLow, Uint16 uiHigh) {
    static_cast<CVirtualPad*>(pUser)->rumble.emplace_back(uiLow, uiHigh);
    return 0;
  }

  SDL_Joystick* m_pJoystick = nullptr;
};
