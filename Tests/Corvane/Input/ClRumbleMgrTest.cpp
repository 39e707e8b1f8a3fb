#include <algorithm>

#include "Corvane/Input/ClRumbleMgr.h"
#include "Corvane/Program/ClMainLoop.h"
#include "Corvane/System/ClClock.h"
#include "Tests/Corvane/Input/InputTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

// The focus-pause of the action mode, as far as rumble is concerned: pausing the game stops the pads.
class CPausingHooks : public ClTestGraphicsHooks {
 public:
  bool isUIInitialized() override { return true; }
  void focusPause() override { ClRumbleMgr::stopAll(); }
};

class Rumble : public InputTest {
 protected:
  void SetUp() override {
    InputTest::SetUp();
    ClClock::initialize();
    settings("ENABLE_RUMBLE 1\n");
    ClRumbleMgr::initialize();
  }
  void TearDown() override {
    ClRumbleMgr::terminate();
    ClClock::shutdown();
    KvTestSetGraphicsHooks(nullptr);
    InputTest::TearDown();
  }

  // One game frame: the rumble tick, then the gameplay clock advances by dt.
  static void frame(f32 fDT) {
    ClRumbleMgr::tick();
    ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = fDT;
    ClClock::updateTimers();
  }
  static std::pair<Uint16, Uint16> levels(const CVirtualPad& pad) {
    return pad.rumble.empty() ? std::pair<Uint16, Uint16>{0, 0} : pad.rumble.back();
  }
};

TEST_F(Rumble, ThePresetHoldsTheLowMotorThenFadesOnGameTime) {
  CVirtualPad& pad = attach(0x4401);
  CVirtualPad& other = attach(0x4402);
  ClRumbleMgr::startRumble();
  frame(0.05f);
  EXPECT_EQ(ClRumbleMgr::mp_uiPhase, E_RUMBLE_PHASE_HOLD);  // a ramp up of 0 s ends at once
  EXPECT_EQ(levels(pad), std::make_pair(Uint16{65535}, Uint16{0}));
  EXPECT_EQ(levels(other), std::make_pair(Uint16{65535}, Uint16{0}));  // every pad rumbles

  // A paused game (time scale 0) holds the envelope.
  for (i32 i = 0; i < 10; ++i) {
    frame(0.0f);
  }
  frame(0.1f);
  frame(0.1f);  // the hold has run out; the fade starts at the next tick, at full strength
  EXPECT_EQ(ClRumbleMgr::mp_uiPhase, E_RUMBLE_PHASE_HOLD);
  frame(0.05f);
  EXPECT_EQ(ClRumbleMgr::mp_uiPhase, E_RUMBLE_PHASE_RAMP_DOWN);
  EXPECT_EQ(levels(pad).first, 65535);
  frame(0.5f);  // half way through the 0.1 s fade
  EXPECT_NEAR(levels(pad).first, 32767, 2);
  EXPECT_EQ(levels(pad).second, 0);
  frame(0.05f);
  EXPECT_EQ(ClRumbleMgr::mp_uiPhase, E_RUMBLE_PHASE_OFF);
  EXPECT_EQ(levels(pad), std::make_pair(Uint16{0}, Uint16{0}));
  EXPECT_EQ(ClRumbleMgr::mp_pPhaseTimer, nullptr);

  // Starting again during a fade goes back to full strength.
  ClRumbleMgr::startRumble();
  frame(0.05f);
  frame(0.2f);
  frame(0.05f);
  frame(0.01f);
  ASSERT_EQ(ClRumbleMgr::mp_uiPhase, E_RUMBLE_PHASE_RAMP_DOWN);
  ASSERT_LT(levels(pad).first, 65535);
  ClRumbleMgr::startRumble();
  frame(0.05f);
  EXPECT_EQ(levels(pad).first, 65535);
  EXPECT_EQ(ClClock::m_timerPool.getCount(), 1);  // the old phase timer was given back
}

// The hold lasts 0.2 s of game time: a tick 0.19 s after it began still holds, one 0.21 s after it began starts
// the fade. Each row starts the envelope afresh.
TEST_F(Rumble, TheHoldLastsTwoTenthsOfASecondOfGameTime) {
  CVirtualPad& pad = attach(0x4801);
  const struct {
    f32 fIntoHold;
    E_RUMBLE_PHASE ePhase;
  } aCases[] = {{0.19f, E_RUMBLE_PHASE_HOLD}, {0.21f, E_RUMBLE_PHASE_RAMP_DOWN}};
  for (const auto& c : aCases) {
    ClRumbleMgr::startRumble();
    frame(c.fIntoHold);  // the hold begins at this tick (the ramp up lasts 0 s); then its game time passes
    frame(0.0f);
    EXPECT_EQ(ClRumbleMgr::mp_uiPhase, c.ePhase) << c.fIntoHold << " s into the hold";
    EXPECT_EQ(levels(pad).first, 65535) << "full strength until the fade has run";
  }
}

TEST_F(Rumble, StopAllSilencesThePadsUntilTheNextStart) {
  CVirtualPad& pad = attach(0x4501);
  ClRumbleMgr::startRumble();
  frame(0.05f);
  ASSERT_EQ(levels(pad).first, 65535);
  ClRumbleMgr::stopAll();
  EXPECT_EQ(levels(pad), std::make_pair(Uint16{0}, Uint16{0}));
  // The paused game's frames must not bring the envelope back.
  for (i32 i = 0; i < 5; ++i) {
    frame(0.0f);
    EXPECT_EQ(levels(pad), std::make_pair(Uint16{0}, Uint16{0}));
  }
  EXPECT_EQ(ClRumbleMgr::mp_uiPhase, E_RUMBLE_PHASE_OFF);
  EXPECT_EQ(ClClock::m_timerPool.getCount(), 0);
  ClRumbleMgr::startRumble();
  frame(0.05f);
  EXPECT_EQ(levels(pad).first, 65535);
}

TEST_F(Rumble, LosingTheFocusStopsThePads) {
  CVirtualPad& pad = attach(0x4601);
  CPausingHooks hooks;
  KvTestSetGraphicsHooks(&hooks);
  KvTestUseIdleGame();
  ClRumbleMgr::startRumble();
  frame(0.05f);
  ASSERT_EQ(levels(pad).first, 65535);
  Win32TestSetFocus(nullptr);
  for (i32 i = 0; i < 5; ++i) {
    ClMainLoop::pump();
  }
  EXPECT_EQ(ClGraphics::mp_bWindowHasFocus, 0u);
  EXPECT_EQ(levels(pad), std::make_pair(Uint16{0}, Uint16{0}));
  frame(0.0f);
  EXPECT_EQ(levels(pad), std::make_pair(Uint16{0}, Uint16{0}));
}

TEST_F(Rumble, DisabledRumbleSendsNothingButStopAllStillSilences) {
  CVirtualPad& pad = attach(0x4701);
  settings("ENABLE_RUMBLE 0\n");
  ClRumbleMgr::initialize();
  EXPECT_EQ(ClRumbleMgr::mp_bEnabled, 0u);
  XINPUT_VIBRATION vibration{1000, 2000};
  XInputSetState(0, &vibration);
  ClRumbleMgr::startRumble();
  frame(0.05f);
  ClRumbleMgr::setMotors(1.0f, 1.0f);
  EXPECT_EQ(levels(pad), std::make_pair(Uint16{1000}, Uint16{2000}));
  EXPECT_EQ(ClRumbleMgr::mp_pPhaseTimer, nullptr);
  ClRumbleMgr::stopAll();
  EXPECT_EQ(levels(pad), std::make_pair(Uint16{0}, Uint16{0}));

  // Enabled, strengths are clamped: the first goes to the high-frequency (right) motor.
  settings("ENABLE_RUMBLE 0.5\n");
  ClRumbleMgr::initialize();
  ASSERT_EQ(ClRumbleMgr::mp_bEnabled, 1u);
  ClRumbleMgr::setMotors(1.5f, -0.5f);
  EXPECT_EQ(levels(pad), std::make_pair(Uint16{0}, Uint16{65535}));
  ClRumbleMgr::setMotors(0.0f, 0.25f);
  EXPECT_EQ(levels(pad), std::make_pair(Uint16{16383}, Uint16{0}));
}

}  // namespace
