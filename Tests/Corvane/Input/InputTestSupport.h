// Shared set-up of the input tests: the main window, the input manager, and virtual game controllers
// (CVirtualPad) attached on demand.
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
#include "Tests/Support/VirtualPad.h"

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
    // The client is the display, as device creation makes it.
    ClGraphics::resizeWindow(static_cast<i32>(cWIDTH), static_cast<i32>(cHEIGHT));
    ClGraphics::mp_fScreenWidth = cWIDTH;
    ClGraphics::mp_fScreenHeight = cHEIGHT;
    ClInputManager::setActionCount(37);
    ClGameStateMgr::blockInput(0);
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
