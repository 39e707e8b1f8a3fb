#include "Platform/DInput/XInput.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "Tests/Support/VirtualPad.h"

namespace {

XINPUT_STATE readState(DWORD uiSlot, DWORD* pResult = nullptr) {
  XINPUT_STATE state{};
  const DWORD uiResult = XInputGetState(uiSlot, &state);
  if (pResult) {
    *pResult = uiResult;
  }
  return state;
}

bool connected(DWORD uiSlot) {
  XINPUT_STATE state{};
  return XInputGetState(uiSlot, &state) == ERROR_SUCCESS;
}

class XInput : public ::testing::Test {
 protected:
  void SetUp() override {
    // Slots remember pads by identity: pads of earlier tests must not look like this test's pads.
    static Uint16 s_uiRun = 0;
    m_uiProduct = ++s_uiRun;
    XINPUT_STATE state;
    XInputGetState(0, &state);  // starts SDL's game controllers
    ASSERT_NE(SDL_WasInit(SDL_INIT_GAMECONTROLLER), 0u);
  }
  void TearDown() override {
    m_pads.clear();
    readState(0);  // lets the pump see the removals
    for (DWORD i = 0; i < XUSER_MAX_COUNT; ++i) {
      XInputTestSetUnplugged(i, false);
    }
    XInputTestSetRumbleDuration(2000);
  }

  CVirtualPad& attach(Uint16 uiVendor) {
    m_pads.push_back(std::make_unique<CVirtualPad>(uiVendor, m_uiProduct));
    return *m_pads.back();
  }

  std::vector<std::unique_ptr<CVirtualPad>> m_pads;
  Uint16 m_uiProduct = 0;
};

TEST_F(XInput, EmptySlotsAndBadArguments) {
  DWORD uiResult = 0;
  readState(0, &uiResult);
  EXPECT_EQ(uiResult, static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
  readState(XUSER_MAX_COUNT, &uiResult);
  EXPECT_EQ(uiResult, static_cast<DWORD>(ERROR_BAD_ARGUMENTS));
  EXPECT_EQ(XInputGetState(0, nullptr), static_cast<DWORD>(ERROR_BAD_ARGUMENTS));
  XINPUT_VIBRATION vibration{1, 1};
  EXPECT_EQ(XInputSetState(0, &vibration), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_EQ(XInputSetState(7, &vibration), static_cast<DWORD>(ERROR_BAD_ARGUMENTS));
}

TEST_F(XInput, SticksAreUpPositiveAndTriggersAreBytes) {
  CVirtualPad& pad = attach(0x1111);
  pad.setAxis(SDL_CONTROLLER_AXIS_LEFTX, 12000);
  pad.setAxis(SDL_CONTROLLER_AXIS_LEFTY, -20000);  // pushed up
  pad.setAxis(SDL_CONTROLLER_AXIS_RIGHTX, SDL_JOYSTICK_AXIS_MIN);
  pad.setAxis(SDL_CONTROLLER_AXIS_RIGHTY, 1000);  // pulled down
  pad.setAxis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, SDL_JOYSTICK_AXIS_MAX);
  DWORD uiResult = 0;
  XINPUT_STATE state = readState(0, &uiResult);
  ASSERT_EQ(uiResult, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(state.Gamepad.sThumbLX, 12000);
  EXPECT_EQ(state.Gamepad.sThumbLY, 20000);
  EXPECT_EQ(state.Gamepad.sThumbRX, -32768);
  EXPECT_EQ(state.Gamepad.sThumbRY, -1000);
  EXPECT_EQ(state.Gamepad.bLeftTrigger, 0);
  EXPECT_EQ(state.Gamepad.bRightTrigger, 255);

  // Fully up does not overflow; fully down reaches -32767.
  pad.setAxis(SDL_CONTROLLER_AXIS_LEFTY, SDL_JOYSTICK_AXIS_MIN);
  pad.setAxis(SDL_CONTROLLER_AXIS_RIGHTY, SDL_JOYSTICK_AXIS_MAX);
  pad.setAxis(SDL_CONTROLLER_AXIS_TRIGGERLEFT, 0);  // half way
  state = readState(0);
  EXPECT_EQ(state.Gamepad.sThumbLY, 32767);
  EXPECT_EQ(state.Gamepad.sThumbRY, -32767);
  EXPECT_NEAR(state.Gamepad.bLeftTrigger, 128, 1);
}

TEST_F(XInput, ButtonsUseTheXInputBits) {
  CVirtualPad& pad = attach(0x2222);
  const std::pair<SDL_GameControllerButton, WORD> buttons[] = {
      {SDL_CONTROLLER_BUTTON_A, XINPUT_GAMEPAD_A},
      {SDL_CONTROLLER_BUTTON_B, XINPUT_GAMEPAD_B},
      {SDL_CONTROLLER_BUTTON_X, XINPUT_GAMEPAD_X},
      {SDL_CONTROLLER_BUTTON_Y, XINPUT_GAMEPAD_Y},
      {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, XINPUT_GAMEPAD_LEFT_SHOULDER},
      {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, XINPUT_GAMEPAD_RIGHT_SHOULDER},
      {SDL_CONTROLLER_BUTTON_LEFTSTICK, XINPUT_GAMEPAD_LEFT_THUMB},
      {SDL_CONTROLLER_BUTTON_RIGHTSTICK, XINPUT_GAMEPAD_RIGHT_THUMB},
      {SDL_CONTROLLER_BUTTON_DPAD_UP, XINPUT_GAMEPAD_DPAD_UP},
      {SDL_CONTROLLER_BUTTON_DPAD_DOWN, XINPUT_GAMEPAD_DPAD_DOWN},
      {SDL_CONTROLLER_BUTTON_DPAD_LEFT, XINPUT_GAMEPAD_DPAD_LEFT},
      {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, XINPUT_GAMEPAD_DPAD_RIGHT},
      {SDL_CONTROLLER_BUTTON_BACK, XINPUT_GAMEPAD_BACK},
      {SDL_CONTROLLER_BUTTON_START, XINPUT_GAMEPAD_START},
  };
  DWORD uiPacket = readState(0).dwPacketNumber;
  EXPECT_EQ(readState(0).dwPacketNumber, uiPacket);  // nothing changed
  for (const auto& [eButton, uiBit] : buttons) {
    pad.setButton(eButton, true);
    const XINPUT_STATE state = readState(0);
    EXPECT_EQ(state.Gamepad.wButtons, uiBit) << eButton;
    EXPECT_GT(state.dwPacketNumber, uiPacket) << eButton;
    uiPacket = state.dwPacketNumber;
    pad.setButton(eButton, false);
  }
  pad.setButton(SDL_CONTROLLER_BUTTON_GUIDE, true);  // not an XInput 1.3 button
  EXPECT_EQ(readState(0).Gamepad.wButtons, 0);
}

TEST_F(XInput, PadsKeepTheirSlotsAcrossUnplugAndReplug) {
  attach(0x0101).setAxis(SDL_CONTROLLER_AXIS_LEFTX, 101);
  attach(0x0202).setAxis(SDL_CONTROLLER_AXIS_LEFTX, 202);
  EXPECT_EQ(readState(0).Gamepad.sThumbLX, 101);
  EXPECT_EQ(readState(1).Gamepad.sThumbLX, 202);

  m_pads[0]->detach();
  m_pads[1]->detach();
  EXPECT_FALSE(connected(0));
  EXPECT_FALSE(connected(1));
  // The second pad comes back first and still gets its own slot.
  attach(0x0202).setAxis(SDL_CONTROLLER_AXIS_LEFTX, 222);
  EXPECT_FALSE(connected(0));
  EXPECT_EQ(readState(1).Gamepad.sThumbLX, 222);
  // A pad never seen takes the lowest free slot; the first pad then takes the next free one.
  attach(0x0303).setAxis(SDL_CONTROLLER_AXIS_LEFTX, 303);
  EXPECT_EQ(readState(0).Gamepad.sThumbLX, 303);
  attach(0x0101).setAxis(SDL_CONTROLLER_AXIS_LEFTX, 111);
  EXPECT_EQ(readState(2).Gamepad.sThumbLX, 111);

  // A fifth pad waits for a free slot.
  attach(0x0404).setAxis(SDL_CONTROLLER_AXIS_LEFTX, 404);
  attach(0x0505).setAxis(SDL_CONTROLLER_AXIS_LEFTX, 505);
  EXPECT_EQ(readState(3).Gamepad.sThumbLX, 404);
  m_pads[3]->detach();  // the pad in slot 0
  EXPECT_EQ(readState(0).Gamepad.sThumbLX, 505);
}

TEST_F(XInput, RumbleReachesThePadAndStopsAtZero) {
  CVirtualPad& pad = attach(0x3333);
  readState(0);
  XINPUT_VIBRATION vibration{1000, 40000};
  ASSERT_EQ(XInputSetState(0, &vibration), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_FALSE(pad.rumble.empty());
  EXPECT_EQ(pad.rumble.back(), std::make_pair(Uint16{1000}, Uint16{40000}));
  vibration = XINPUT_VIBRATION{0, 0};
  ASSERT_EQ(XInputSetState(0, &vibration), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(pad.rumble.back(), std::make_pair(Uint16{0}, Uint16{0}));
}

TEST_F(XInput, RumbleLastsUntilChanged) {
  XInputTestSetRumbleDuration(300);
  CVirtualPad& pad = attach(0x4444);
  readState(0);
  XINPUT_VIBRATION vibration{5000, 0};
  ASSERT_EQ(XInputSetState(0, &vibration), static_cast<DWORD>(ERROR_SUCCESS));
  // Well past the duration of one request, the motor must still be running.
  const Uint64 uiEnd = SDL_GetTicks64() + 1000;
  while (SDL_GetTicks64() < uiEnd) {
    readState(0);
    SDL_Delay(5);
  }
  ASSERT_FALSE(pad.rumble.empty());
  for (const auto& levels : pad.rumble) {
    EXPECT_EQ(levels.first, 5000);
  }
}

TEST_F(XInput, InjectedUnplugStopsThePad) {
  CVirtualPad& pad = attach(0x5555);
  readState(0);
  XINPUT_VIBRATION vibration{7000, 7000};
  ASSERT_EQ(XInputSetState(0, &vibration), static_cast<DWORD>(ERROR_SUCCESS));
  XInputTestSetUnplugged(0, true);
  EXPECT_EQ(pad.rumble.back(), std::make_pair(Uint16{0}, Uint16{0}));
  EXPECT_FALSE(connected(0));
  EXPECT_EQ(XInputSetState(0, &vibration), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
  XInputTestSetUnplugged(0, false);
  EXPECT_TRUE(connected(0));
}

// Slots named in the environment read as unplugged; read once, so checked in a fresh process.
TEST(XInputEnvironment, UnpluggedSlotsComeFromTheEnvironment) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("GRINDLOW_XINPUT_UNPLUGGED", "0", 1);
        XINPUT_STATE state;
        XInputGetState(0, &state);
        CVirtualPad first(0x6666, 1);
        CVirtualPad second(0x7777, 1);
        const bool bFirstHidden = XInputGetState(0, &state) == ERROR_DEVICE_NOT_CONNECTED;
        const bool bSecondSeen = XInputGetState(1, &state) == ERROR_SUCCESS;
        std::exit(bFirstHidden && bSecondSeen ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
