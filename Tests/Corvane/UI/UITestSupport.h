// Shared by the UI suites: a fixture that starts the UI with recording hooks and test procedures, and
// helpers that compile screen-set descriptions with the UI-screen compiler's library.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/Input/ClInputHWtoKv.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClPointerTracker.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/UI/ClWidget.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tools/kuic/KuiSource.h"

// One procedure run: which procedure, on which widget, for which event, with which call record.
struct SProcedureRun {
  std::string procedure;
  ClWidget* pWidget;
  u32 uiEventHash;
  WidgetEventProcedureCall* pData;
};

// Everything the UI called of its hooks, in order, and the procedures run since the last clear.
struct SUITrace {
  std::vector<std::string> hookCalls;
  std::vector<SProcedureRun> runs;
};
inline SUITrace g_uiTrace;

// Registers the procedures named "record0".."record4", each recording its run.
template <int N>
void recordRun(ClWidget* pThis, WidgetEventProcedureCall* pData) {
  g_uiTrace.runs.push_back({"record" + std::to_string(N), pThis, pThis->mp_uiCurrentEventHash, pData});
}

class ClRecordingUIHooks : public ClTestUIHooks {
 public:
  void registerGameUIFunctions() override {
    g_uiTrace.hookCalls.push_back("registerGameUIFunctions");
    ClUIEventSystemFunctions::registerFunction(KvStrHash("record0"), &recordRun<0>);
    ClUIEventSystemFunctions::registerFunction(KvStrHash("record1"), &recordRun<1>);
    ClUIEventSystemFunctions::registerFunction(KvStrHash("record2"), &recordRun<2>);
    ClUIEventSystemFunctions::registerFunction(KvStrHash("record3"), &recordRun<3>);
    ClUIEventSystemFunctions::registerFunction(KvStrHash("record4"), &recordRun<4>);
    for (const auto& extra : m_extra) {
      ClUIEventSystemFunctions::registerFunction(KvStrHash(extra.first.c_str()), extra.second);
    }
  }

  // Further procedures to register at the next initialise.
  std::vector<std::pair<std::string, WidgetEventProcedure>> m_extra;
};

inline u32 H(const char* pName) { return KvStrHash(pName); }

// A UI started with recording hooks; ended again (and checked) after every test.
class UITest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_uiTrace = SUITrace{};
    ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = 0.0f;
    ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 0.0f;
    // No pointer and no pad input unless a test gives it.
    for (SInputPadState& pad : ClInputHWtoKv::mp_aPadStates) {
      pad = SInputPadState{};
    }
    KvTestSetUIHooks(&m_hooks);
    if (m_bStartUI) {
      ClUI::initialise();
    }
  }
  void TearDown() override {
    ClUI::terminate();
    KvTestSetUIHooks(nullptr);
    EXPECT_EQ(ClUIEventSystemFunctions::getCount(), 0u);
    if (m_bOwnScreen) {
      Cl2d::terminate();
      ClGraphics::mp_fScreenWidth = m_fSavedWidth;
      ClGraphics::mp_fScreenHeight = m_fSavedHeight;
      m_bOwnScreen = false;
    }
  }

  // The 2D layer on a screen of this size for the test; TearDown ends the layer and puts the size before it back.
  void useScreen(f32 fWidth, f32 fHeight) {
    m_fSavedWidth = ClGraphics::mp_fScreenWidth;
    m_fSavedHeight = ClGraphics::mp_fScreenHeight;
    ClGraphics::mp_fScreenWidth = fWidth;
    ClGraphics::mp_fScreenHeight = fHeight;
    Cl2d::initialise();
    m_bOwnScreen = true;
  }

  // Compiles a description and loads it under the name; fails the test on a compile error.
  bool load(const std::string& name, const std::string& description) {
    const std::vector<uint8_t> image = compile(description);
    return ClUI::loadUIDataFromImage(name.c_str(), image.data(), static_cast<u32>(image.size()));
  }

  static std::vector<uint8_t> compile(const std::string& description) {
    SKuiScreenSet set;
    std::string error;
    EXPECT_TRUE(KuiParseDescription(description, "test.json", &set, &error)) << error;
    return KuiWriteImage(set);
  }

  static ClWidget* W(const char* pName) { return ClUI::getWidget(pName); }

  // Advances the system clock by dt for the next ticks.
  static void setFrameTime(f32 fDT) { ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = fDT; }

  // Registers a detector over the whole screen and ticks the pointer tracker, so that the current hit list
  // holds one entry (the pointer stands still at the top left).
  void holdPointerHit() {
    const f32 afMin[2] = {0.0f, 0.0f};
    const f32 afMax[2] = {1.0f, 1.0f};
    ClPointerTracker::registerDetector(ClUI::getRootWidget(), afMin, afMax, E_POINTER_DETECTOR_WIDGET);
    ClPointerTracker::tick();
    ASSERT_EQ(ClPointerTracker::getNumCurrentHits(), 1u);
  }

  std::vector<std::string> runNames() const {
    std::vector<std::string> names;
    for (const SProcedureRun& run : g_uiTrace.runs) {
      names.push_back(run.procedure);
    }
    return names;
  }

  ClRecordingUIHooks m_hooks;
  bool m_bStartUI = true;

 private:
  bool m_bOwnScreen = false;
  f32 m_fSavedWidth = 0.0f;
  f32 m_fSavedHeight = 0.0f;
};
