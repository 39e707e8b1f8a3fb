// Shared set-up of the input tests: the main window, the input manager, and virtual game controllers
// attached through SDL that record what their rumble motors were asked to do.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Input/ClInputManager.h"
#include "Platform/DInput/XInput.h"
#include "Platform/Win32/Win32.h"

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
    desc.name = "Virtual input pad";
    desc.userdata = this;
    desc.Rumble = &CVirtualPad::onRumble;
    const int iIndex = SDL_JoystickAttachVirtualEx(&desc);
    EXPECT_GE(iIndex, 0) << SDL_GetError();
    m_pJoystick = SDL_JoystickOpen(iIndex);
    EXPECT_NE(m_pJoystick, nullptr) << SDL_GetError();
    setAxis(SDL_CONTROLLER_AXIS_TRIGGERLEFT, SDL_JOYSTICK_AXIS_MIN);
    setAxis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, SDL_JOYSTICK_AXIS_MIN);
    // SDL takes the first values it sees as the resting ones.
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

// The main window (640 x 360 display), the input manager with the game's 37 actions, and pads on demand.
class InputTest : public ::testing::Test {
 protected:
  static constexpr f32 cWIDTH = 640.0f;
  static constexpr f32 cHEIGHT = 360.0f;

  void SetUp() override {
    // Pads of earlier tests must not look like this test's pads (slots remember pads by identity).
    static Uint16 s_uiRun = 0;
    m_uiProduct = ++s_uiRun;
    ClDevINI::initialize();
    ClGraphics::mp_hWnd = nullptr;
    ClGraphics::mp_vWMMousePosition = {KV_ZERO, KV_ZERO};
    ClGraphics::readDesktopSize();
    ClGraphics::registerWindowClass(false);
    ClGraphics::createMainWindow(static_cast<i32>(cWIDTH), static_cast<i32>(cHEIGHT), false, false);
    ASSERT_NE(ClGraphics::mp_hWnd, nullptr);
    ClGraphics::mp_fScreenWidth = cWIDTH;
    ClGraphics::mp_fScreenHeight = cHEIGHT;
    ClInputManager::m_iActionCount = 37;
    g_iInputBlockedCounter = 0;
    ClInputManager::initialize();
  }
  void TearDown() override {
    ClInputManager::terminate();
    m_pads.clear();
    XINPUT_STATE state;
    XInputGetState(0, &state);  // lets the pump see the removals
    for (DWORD i = 0; i < XUSER_MAX_COUNT; ++i) {
      XInputTestSetUnplugged(i, false);
    }
    Win32TestReset();
    ClGraphics::mp_hWnd = nullptr;
    ClDevINI::terminate();
  }

  // Development settings as project.ini would give them.
  static void settings(const std::string& text) {
    ClDevINI::terminate();
    ClDevINI::initialize();
    ClDevINI::loadFromBuffer(text.data(), text.size(), "project.ini");
  }

  CVirtualPad& attach(Uint16 uiVendor) {
    m_pads.push_back(std::make_unique<CVirtualPad>(uiVendor, m_uiProduct));
    return *m_pads.back();
  }

  static const f32* pad(u32 uiRecord) { return ClInputHWtoKv::mp_aPadStates[uiRecord].mp_afInputs; }
  static u32 key(i32 iKeyIndex) { return ClInputHWtoKv::mp_auiKeyStates[iKeyIndex]; }

  std::vector<std::unique_ptr<CVirtualPad>> m_pads;
  Uint16 m_uiProduct = 0;
};
