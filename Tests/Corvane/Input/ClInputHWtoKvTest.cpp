#include <cmath>
#include <set>

#include "Corvane/Data/ClDScriptData2.h"
#include "Corvane/Development/ClMonkeyMgr.h"
#include "Corvane/Input/ClInputHWtoKvPlatform.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/Input/ClInputHWtoKvPlatform_Win32.h"
#include "Tests/Corvane/Input/InputTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

TEST(InputKeyIndex, TheKeyboardsCodesAreNumberedInOrderAndOthersAreZero) {
  EXPECT_EQ(KvKeyIndexFromScanCode(DIK_ESCAPE), 1);
  EXPECT_EQ(KvKeyIndexFromScanCode(DIK_C), 46);
  EXPECT_EQ(KvKeyIndexFromScanCode(DIK_OEM_102), 84);
  EXPECT_EQ(KvKeyIndexFromScanCode(DIK_NUMPADENTER), 106);
  EXPECT_EQ(KvKeyIndexFromScanCode(DIK_UP), 121);
  EXPECT_EQ(KvKeyIndexFromScanCode(DIK_DOWN), 126);
  EXPECT_EQ(KvKeyIndexFromScanCode(DIK_MEDIASELECT), 144);
  for (u32 uiUndefined : {0x00u, 0x54u, 0x59u, 0x8Cu, 0x98u, 0xA3u, 0xEEu, 0xFFu, 0x100u}) {
    EXPECT_EQ(KvKeyIndexFromScanCode(uiUndefined), 0) << uiUndefined;
  }
  // Every index 1..144 is used exactly once, in ascending code order.
  std::set<u8> seen;
  u8 uiLast = 0;
  for (u32 uiCode = 0; uiCode < 256; ++uiCode) {
    const u8 uiIndex = KvKeyIndexFromScanCode(uiCode);
    if (uiIndex != 0) {
      EXPECT_GT(uiIndex, uiLast);
      uiLast = uiIndex;
      seen.insert(uiIndex);
    }
  }
  EXPECT_EQ(seen.size(), 144u);
}

using InputHardware = InputTest;

TEST_F(InputHardware, KeysBecomeTheirEntriesHeldAndReleased) {
  ClInputManager::tick();
  Win32TestPushKey(SDL_SCANCODE_C, true);
  Win32TestPushKey(SDL_SCANCODE_UP, true);
  Win32TestPushKey(SDL_SCANCODE_RCTRL, true);
  ClInputManager::tick();
  EXPECT_EQ(key(46), E_KEY_DOWN);
  EXPECT_EQ(key(121), E_KEY_DOWN);
  EXPECT_EQ(key(107), E_KEY_DOWN);
  EXPECT_EQ(key(29), E_KEY_UP);  // the left control is another key

  // Held keys stay down; a release reads 2 for one tick, then 0.
  ClInputManager::tick();
  EXPECT_EQ(key(46), E_KEY_DOWN);
  Win32TestPushKey(SDL_SCANCODE_C, false);
  ClInputManager::tick();
  EXPECT_EQ(key(46), E_KEY_RELEASED);
  EXPECT_EQ(key(121), E_KEY_DOWN);
  ClInputManager::tick();
  EXPECT_EQ(key(46), E_KEY_UP);

  // Pressed and released between two ticks: down in the next tick, released in the one after.
  Win32TestPushKey(SDL_SCANCODE_A, true);
  Win32TestPushKey(SDL_SCANCODE_A, false);
  ClInputManager::tick();
  EXPECT_EQ(key(30), E_KEY_DOWN);
  EXPECT_EQ(key(121), E_KEY_DOWN);
  ClInputManager::tick();
  EXPECT_EQ(key(30), E_KEY_RELEASED);
  ClInputManager::tick();
  EXPECT_EQ(key(30), E_KEY_UP);

  // Repeats of a held key are not events: the key stays down.
  Win32TestPushKey(SDL_SCANCODE_UP, true, KMOD_NONE, true);
  ClInputManager::tick();
  EXPECT_EQ(key(121), E_KEY_DOWN);
}

TEST_F(InputHardware, LosingTheKeyboardLeavesNoKeyHeld) {
  Win32TestPushKey(SDL_SCANCODE_SPACE, true);
  ClInputManager::tick();
  ASSERT_EQ(key(57), E_KEY_DOWN);
  Win32TestSetFocus(nullptr);
  ClInputManager::tick();
  EXPECT_EQ(key(57), E_KEY_UP);

  // Focus back (the window procedure acquires the devices again): keys work as before.
  Win32TestSetFocus(ClGraphics::mp_hWnd);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    DispatchMessageA(&msg);
  }
  Win32TestPushKey(SDL_SCANCODE_SPACE, true);
  ClInputManager::tick();
  EXPECT_EQ(key(57), E_KEY_DOWN);

  DInputTestLoseDevices();
  ClInputManager::tick();
  EXPECT_EQ(key(57), E_KEY_UP);
}

TEST_F(InputHardware, MouseMotionMovesThePointerInsideTheDisplay) {
  HWND hWnd = ClGraphics::mp_hWnd;
  ClInputManager::tick();
  EXPECT_EQ(pad(0)[E_PAD_INPUT_POINTER_PRESENT], 1.0f);
  EXPECT_EQ(pad(1)[E_PAD_INPUT_POINTER_PRESENT], 0.0f);

  Win32TestPushMouseMotion(hWnd, 100, 50, 100, 50);
  Win32TestPushMouseMotion(hWnd, 160, 140, 60, 90);
  ClInputManager::tick();
  EXPECT_FLOAT_EQ(ClInputHWtoKv::mp_aPointerPositions[0].x, 160.0f);
  EXPECT_FLOAT_EQ(pad(0)[E_PAD_INPUT_POINTER_X], 160.0f / cWIDTH);
  EXPECT_FLOAT_EQ(pad(0)[E_PAD_INPUT_POINTER_Y], 140.0f / cHEIGHT);

  // Clamped to the display.
  Win32TestPushMouseMotion(hWnd, 0, 600, -500, 900);
  ClInputManager::tick();
  EXPECT_EQ(pad(0)[E_PAD_INPUT_POINTER_X], 0.0f);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_POINTER_Y], 1.0f);

  // The UI may place the pointer itself (pixels); it stays there until the mouse moves.
  g_pInputHWToKv->setPointerPosition(0, 320.0f, 90.0f);
  EXPECT_FLOAT_EQ(pad(0)[E_PAD_INPUT_POINTER_X], 0.5f);
  EXPECT_FLOAT_EQ(pad(0)[E_PAD_INPUT_POINTER_Y], 0.25f);
  ClInputManager::tick();
  EXPECT_FLOAT_EQ(pad(0)[E_PAD_INPUT_POINTER_X], 0.5f);
  Win32TestPushMouseMotion(hWnd, 330, 90, 10, 0);
  ClInputManager::tick();
  EXPECT_FLOAT_EQ(pad(0)[E_PAD_INPUT_POINTER_X], 330.0f / cWIDTH);
  EXPECT_KV_ASSERT(g_pInputHWToKv->setPointerPosition(4, 1.0f, 1.0f), "iPointer");
}

// The pointer is where the cursor is over the window, in the pixels of the UI's 2D picture: the display stretched
// over the client, the picture fitted into the display, and kept inside the picture.
TEST_F(InputHardware, ThePointerIsTheCursorInTheUIsPicture) {
  struct SRow {
    const char* pWhat;
    f32 afDisplay[2];
    f32 afPicture[6];  // size, then where it shows; zeros: the display itself
    int aiCursor[2];   // client pixels of the 640 x 360 window
    f32 afPointer[2];
  };
  const SRow aRows[] = {
      {"the display is the window", {640.0f, 360.0f}, {}, {100, 50}, {100.0f, 50.0f}},
      {"a display twice the window", {1280.0f, 720.0f}, {}, {110, 60}, {220.0f, 120.0f}},
      {"a 480 x 270 picture over the display", {1280.0f, 720.0f}, {480, 270, 0, 0, 1280, 720}, {320, 180},
       {240.0f, 135.0f}},
      {"a picture with bars above and below", {480.0f, 360.0f}, {480, 270, 0, 45, 480, 270}, {320, 200},
       {240.0f, 155.0f}},
      {"on a bar, kept in the picture", {480.0f, 360.0f}, {480, 270, 0, 45, 480, 270}, {640, 10}, {480.0f, 0.0f}},
  };
  for (const SRow& row : aRows) {
    SCOPED_TRACE(row.pWhat);
    ClGraphics::mp_fScreenWidth = row.afDisplay[0];
    ClGraphics::mp_fScreenHeight = row.afDisplay[1];
    ClGraphics::set2DPicture(row.afPicture[0], row.afPicture[1], &row.afPicture[2]);
    Win32TestPushMouseMotion(ClGraphics::mp_hWnd, row.aiCursor[0], row.aiCursor[1], 1, 1);
    ClInputManager::tick();
    EXPECT_FLOAT_EQ(ClInputHWtoKv::mp_aPointerPositions[0].x, row.afPointer[0]);
    EXPECT_FLOAT_EQ(ClInputHWtoKv::mp_aPointerPositions[0].y, row.afPointer[1]);
    EXPECT_FLOAT_EQ(pad(0)[E_PAD_INPUT_POINTER_X], row.afPointer[0] / row.afDisplay[0]);
  }
  const f32 afNone[4] = {};
  ClGraphics::set2DPicture(0.0f, 0.0f, afNone);
}

TEST_F(InputHardware, MouseButtonsPersistAndTheWheelLastsOneTick) {
  HWND hWnd = ClGraphics::mp_hWnd;
  Win32TestPushMouseButton(hWnd, SDL_BUTTON_LEFT, true, 10, 10);
  Win32TestPushMouseButton(hWnd, SDL_BUTTON_MIDDLE, true, 10, 10);
  Win32TestPushMouseWheel(hWnd, 2);
  ClInputManager::tick();
  EXPECT_EQ(pad(0)[E_PAD_INPUT_MOUSE_LEFT], 1.0f);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_MOUSE_RIGHT], 0.0f);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_MOUSE_MIDDLE], 1.0f);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_MOUSE_WHEEL], 1.0f);

  Win32TestPushMouseButton(hWnd, SDL_BUTTON_MIDDLE, false, 10, 10);
  Win32TestPushMouseButton(hWnd, SDL_BUTTON_RIGHT, true, 10, 10);
  ClInputManager::tick();
  EXPECT_EQ(pad(0)[E_PAD_INPUT_MOUSE_LEFT], 1.0f);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_MOUSE_RIGHT], 1.0f);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_MOUSE_MIDDLE], 0.0f);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_MOUSE_WHEEL], 0.0f);

  Win32TestPushMouseWheel(hWnd, -1);
  Win32TestPushMouseButton(hWnd, SDL_BUTTON_LEFT, false, 10, 10);
  Win32TestPushMouseButton(hWnd, SDL_BUTTON_RIGHT, false, 10, 10);
  ClInputManager::tick();
  EXPECT_EQ(pad(0)[E_PAD_INPUT_MOUSE_WHEEL], -1.0f);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_MOUSE_LEFT], 0.0f);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_MOUSE_RIGHT], 0.0f);

  // A click between two ticks: pressed in the next tick, up in the one after.
  Win32TestPushMouseButton(hWnd, SDL_BUTTON_LEFT, true, 10, 10);
  Win32TestPushMouseButton(hWnd, SDL_BUTTON_LEFT, false, 10, 10);
  ClInputManager::tick();
  EXPECT_EQ(pad(0)[E_PAD_INPUT_MOUSE_LEFT], 1.0f);
  ClInputManager::tick();
  EXPECT_EQ(pad(0)[E_PAD_INPUT_MOUSE_LEFT], 0.0f);
}

TEST_F(InputHardware, PadSticksTriggersAndButtonsLandInTheRecordWithDeadZones) {
  CVirtualPad& first = attach(0x1101);
  CVirtualPad& second = attach(0x1102);
  ClInputManager::tick();
  EXPECT_EQ(ClInputHWtoKv::mp_auiPadConnected[0], 1u);
  EXPECT_EQ(ClInputHWtoKv::mp_auiPadConnected[1], 1u);
  EXPECT_EQ(ClInputHWtoKv::mp_auiPadConnected[2], 0u);

  // SDL's Y axis points down; the record's points up.
  first.setAxis(SDL_CONTROLLER_AXIS_LEFTX, 7849);  // exactly the zone
  first.setAxis(SDL_CONTROLLER_AXIS_LEFTY, SDL_JOYSTICK_AXIS_MIN);  // fully up: 32767
  first.setAxis(SDL_CONTROLLER_AXIS_RIGHTX, 32767);
  first.setAxis(SDL_CONTROLLER_AXIS_RIGHTY, -8000);  // inside the right zone
  first.setAxis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, SDL_JOYSTICK_AXIS_MAX);
  first.setButton(SDL_CONTROLLER_BUTTON_A, true);
  first.setButton(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, true);
  first.setButton(SDL_CONTROLLER_BUTTON_DPAD_LEFT, true);
  first.setButton(SDL_CONTROLLER_BUTTON_START, true);
  second.setButton(SDL_CONTROLLER_BUTTON_Y, true);
  second.setAxis(SDL_CONTROLLER_AXIS_LEFTX, -20000);
  ClInputManager::tick();

  EXPECT_EQ(pad(0)[E_PAD_INPUT_LEFT_STICK_X], 0.0f);
  EXPECT_FLOAT_EQ(pad(0)[E_PAD_INPUT_LEFT_STICK_Y], 1.0f);
  EXPECT_FLOAT_EQ(pad(0)[E_PAD_INPUT_RIGHT_STICK_X], 24078.0f / 24918.0f);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_RIGHT_STICK_Y], 0.0f);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_RIGHT_TRIGGER], 1.0f);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_RIGHT_TRIGGER_X10], 10.0f);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_LEFT_TRIGGER], 0.0f);
  EXPECT_NEAR(pad(0)[E_PAD_INPUT_RIGHT_STICK_DIRECTION], 90.0f, 1e-3f);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_A], 1.0f);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_B], 0.0f);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_RIGHT_SHOULDER], 1.0f);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_DPAD_LEFT], 1.0f);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_START], 1.0f);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_BACK], 0.0f);
  EXPECT_EQ(pad(1)[E_PAD_INPUT_Y], 1.0f);
  EXPECT_FLOAT_EQ(pad(1)[E_PAD_INPUT_LEFT_STICK_X], (-20000.0f + 7849.0f) / 24918.0f);
  EXPECT_EQ(pad(1)[E_PAD_INPUT_A], 0.0f);
  // Entries that nothing writes stay zero.
  for (i32 i : {4, 5, 20, 21, 24, 25, 28, 29, 37, 43}) {
    EXPECT_EQ(pad(0)[i], 0.0f) << i;
  }

  // Right stick direction, clockwise from up; centred reads 0.
  const std::pair<std::pair<Sint16, Sint16>, f32> directions[] = {
      {{0, SDL_JOYSTICK_AXIS_MAX}, 180.0f},  // down
      {{SDL_JOYSTICK_AXIS_MIN, 0}, 270.0f},  // left
      {{0, SDL_JOYSTICK_AXIS_MIN}, 0.0f},    // up
      {{0, 0}, 0.0f},
  };
  for (const auto& [axes, fDegrees] : directions) {
    first.setAxis(SDL_CONTROLLER_AXIS_RIGHTX, axes.first);
    first.setAxis(SDL_CONTROLLER_AXIS_RIGHTY, axes.second);
    ClInputManager::tick();
    EXPECT_NEAR(pad(0)[E_PAD_INPUT_RIGHT_STICK_DIRECTION], fDegrees, 1e-3f) << axes.first << "," << axes.second;
  }

  // Releasing everything clears the record at the next tick.
  first.setButton(SDL_CONTROLLER_BUTTON_A, false);
  ClInputManager::tick();
  EXPECT_EQ(pad(0)[E_PAD_INPUT_A], 0.0f);
}

TEST_F(InputHardware, UnplugAndReplugKeepThePadsRecord) {
  attach(0x2201).setButton(SDL_CONTROLLER_BUTTON_X, true);
  attach(0x2202).setButton(SDL_CONTROLLER_BUTTON_B, true);
  ClInputManager::tick();
  ASSERT_EQ(pad(1)[E_PAD_INPUT_B], 1.0f);

  // The first pad goes away: its record is empty and not connected; the second keeps its record.
  m_pads[0]->detach();
  ClInputManager::tick();
  EXPECT_EQ(ClInputHWtoKv::mp_auiPadConnected[0], 0u);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_X], 0.0f);
  EXPECT_EQ(ClInputHWtoKv::mp_auiPadConnected[1], 1u);
  EXPECT_EQ(pad(1)[E_PAD_INPUT_B], 1.0f);

  // It comes back into its own record.
  attach(0x2201).setButton(SDL_CONTROLLER_BUTTON_Y, true);
  ClInputManager::tick();
  EXPECT_EQ(ClInputHWtoKv::mp_auiPadConnected[0], 1u);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_Y], 1.0f);
  EXPECT_EQ(pad(1)[E_PAD_INPUT_B], 1.0f);

  // An injected unplug reads as not connected.
  XInputTestSetUnplugged(1, true);
  ClInputManager::tick();
  EXPECT_EQ(ClInputHWtoKv::mp_auiPadConnected[1], 0u);
  EXPECT_EQ(pad(1)[E_PAD_INPUT_B], 0.0f);
}

TEST_F(InputHardware, MissingDevicesAreSkipped) {
  ClInputManager::terminate();
  DInputTestSetFaults(DINPUT_FAULT_NO_MOUSE);
  ClInputManager::initialize();
  EXPECT_NE(g_pDIKeyboard, nullptr);
  EXPECT_EQ(g_pDIMouse, nullptr);
  Win32TestPushKey(SDL_SCANCODE_B, true);
  ClInputManager::tick();
  EXPECT_EQ(key(48), E_KEY_DOWN);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_POINTER_PRESENT], 0.0f);  // no mouse, no pointer

  ClInputManager::terminate();
  DInputTestSetFaults(DINPUT_FAULT_CREATE);
  ClInputManager::initialize();
  EXPECT_EQ(g_pDirectInput, nullptr);
  EXPECT_EQ(g_pDIKeyboard, nullptr);
  ClInputManager::tick();
  EXPECT_EQ(pad(0)[E_PAD_INPUT_POINTER_PRESENT], 0.0f);
  DInputTestSetFaults(DINPUT_FAULT_NONE);
}

TEST_F(InputHardware, NoGraphicsModeReadsNoDevice) {
  attach(0x3301).setButton(SDL_CONTROLLER_BUTTON_A, true);
  Win32TestPushKey(SDL_SCANCODE_W, true);
  ClInputManager::tick();
  ASSERT_EQ(pad(0)[E_PAD_INPUT_A], 1.0f);
  ASSERT_EQ(key(17), E_KEY_DOWN);

  settings("NOGFX 1\n");
  Win32TestPushKey(SDL_SCANCODE_W, false);
  ClInputManager::tick();
  EXPECT_EQ(pad(0)[E_PAD_INPUT_A], 0.0f);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_POINTER_PRESENT], 0.0f);
  EXPECT_EQ(key(17), E_KEY_DOWN);  // the key states keep their last values

  // Any other value reads the devices.
  settings("NOGFX 2\n");
  ClInputManager::tick();
  EXPECT_EQ(pad(0)[E_PAD_INPUT_A], 1.0f);
}

TEST_F(InputHardware, IgnoredDevicesLeaveTheirEntriesAlone) {
  CVirtualPad& padA = attach(0x3401);
  padA.setButton(SDL_CONTROLLER_BUTTON_B, true);
  padA.setAxis(SDL_CONTROLLER_AXIS_LEFTX, 30000);
  settings("IGNORE_GAMEPAD_INPUTS 1\nIGNORE_KEYBOARD_INPUTS 1\nIGNORE_MOUSE_INPUTS 1\n");
  HWND hWnd = ClGraphics::mp_hWnd;
  Win32TestPushKey(SDL_SCANCODE_W, true);
  Win32TestPushMouseMotion(hWnd, 100, 100, 100, 100);
  Win32TestPushMouseButton(hWnd, SDL_BUTTON_LEFT, true, 100, 100);
  Win32TestPushMouseWheel(hWnd, 1);
  ClInputManager::tick();
  EXPECT_EQ(ClInputHWtoKv::mp_auiPadConnected[0], 1u);  // still read, only not reported
  EXPECT_EQ(pad(0)[E_PAD_INPUT_B], 0.0f);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_LEFT_STICK_X], 0.0f);
  EXPECT_EQ(key(17), E_KEY_UP);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_POINTER_X], 0.0f);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_POINTER_Y], 0.0f);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_MOUSE_LEFT], 0.0f);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_MOUSE_WHEEL], 0.0f);
  EXPECT_EQ(pad(0)[E_PAD_INPUT_POINTER_PRESENT], 1.0f);
  Win32TestPushMouseButton(hWnd, SDL_BUTTON_LEFT, false, 100, 100);
  ClInputManager::tick();
}

TEST_F(InputHardware, WindowMousePositionCanReplaceRelativeMotion) {
  settings("USE_ABSOLUTE_WM_MOUSE_POSITION 1\n");
  ClGraphics::mp_vWMMousePosition = {160.0f, 90.0f};
  Win32TestPushMouseMotion(ClGraphics::mp_hWnd, 10, 10, 10, 10);
  ClInputManager::tick();
  EXPECT_FLOAT_EQ(pad(0)[E_PAD_INPUT_POINTER_X], 0.25f);
  EXPECT_FLOAT_EQ(pad(0)[E_PAD_INPUT_POINTER_Y], 0.25f);
  settings("USE_ABSOLUTE_WM_MOUSE_POSITION 1\nHARD_FORCED_WINDOW_DIVISOR 2\n");
  Win32TestPushMouseMotion(ClGraphics::mp_hWnd, 20, 10, 10, 0);
  ClInputManager::tick();
  EXPECT_FLOAT_EQ(pad(0)[E_PAD_INPUT_POINTER_X], 0.5f);
  EXPECT_FLOAT_EQ(pad(0)[E_PAD_INPUT_POINTER_Y], 0.5f);
  EXPECT_FLOAT_EQ(ClInputHWtoKv::mp_aPointerPositions[0].x, 20.0f);  // the relative pointer still moves
}

TEST_F(InputHardware, TheRandomTesterReplacesEveryDeviceWhileItRuns) {
  // A scheme that holds B for a long time.
  ClDScriptData2* pRoot = ClDScriptData2::create();
  pRoot->setArray();
  ClDScriptData2* pScheme = pRoot->addChild("Hold");
  pScheme->setArray();
  ClDScriptData2* pSet = pScheme->addUnnamedChild();
  pSet->setArray();
  pSet->addChild("Weight")->setFloat(1.0f);
  pSet->addChild("Duration")->setFloat(100.0f);
  ClDScriptData2* pPrograms = pSet->addChild("Programs");
  pPrograms->setArray();
  ClDScriptData2* pProgram = pPrograms->addUnnamedChild();
  pProgram->setArray();
  ClDScriptData2* pButtons = pProgram->addChild("Buttons");
  pButtons->setArray();
  pButtons->addUnnamedChild()->setString("B");
  pProgram->addChild("TimeBetweenPresses")->setFloat(0.0f);
  pProgram->addChild("TimeHeld")->setFloat(10.0f);
  pProgram->addChild("AllowButtonPressOverlap")->setString("yes");

  attach(0x3501);
  attach(0x3502).setButton(SDL_CONTROLLER_BUTTON_A, true);
  Win32TestPushKey(SDL_SCANCODE_W, true);
  ClInputManager::tick();
  ASSERT_EQ(pad(1)[E_PAD_INPUT_A], 1.0f);
  ASSERT_EQ(key(17), E_KEY_DOWN);

  sfmtInitGenRand(11);
  ClMonkeyMgr::initialize();
  ClMonkeyMgr::startScheme(pRoot, "Hold");
  ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = 1.0f / 60.0f;
  Win32TestPushKey(SDL_SCANCODE_W, false);
  for (i32 i = 0; i < 3; ++i) {
    ClInputManager::tick();
    EXPECT_EQ(pad(0)[E_PAD_INPUT_B], 1.0f);
    EXPECT_EQ(pad(0)[E_PAD_INPUT_POINTER_PRESENT], 1.0f);
    for (u32 uiRecord = 1; uiRecord < cuiMAX_GAME_PADS; ++uiRecord) {
      for (i32 j = 0; j < gc_iPAD_STATE_FLOATS; ++j) {
        ASSERT_EQ(pad(uiRecord)[j], 0.0f) << uiRecord << ":" << j;
      }
    }
    EXPECT_EQ(key(17), E_KEY_DOWN);  // the keyboard is not read
  }
  ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = 0.0f;
  ClMonkeyMgr::terminate();
  ClDScriptData2::destroyTree(pRoot);
  ClInputManager::tick();
  EXPECT_EQ(pad(1)[E_PAD_INPUT_A], 1.0f);
}

}  // namespace
