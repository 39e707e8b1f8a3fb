// The front-end screens' sounds through a running audio manager over the sound stand-in's manual output: the
// credits swap the menu music for their own and bring it back only in the front end, the coin of a start
// press plays once, faded in over the shortest cue fade when one is set, and the game's own menu and level music
// (its bank and sounds as the build makes them) play at one level.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "Code/System/GAMEVolumes.h"
#include "Corvane/Audio/ClFMODCueInstanceContainer.h"
#include "Tests/Code/UI/GAMEScreensTestSupport.h"
#include "Tests/Corvane/Audio/AudioManagerTestSupport.h"

namespace {

const char* const gc_pszCUES = R"({
  "bank": "VOSK_SFX", "releaseTime": 0.25,
  "cues": [
    {"name": "CreditsLoop", "sources": [{"file": "Loop.wav", "frequency": 48000}]},
    {"name": "MainMenuLoop", "sources": [{"file": "Loop.wav", "frequency": 48000}]},
    {"name": "InsertedCoin", "sources": [{"file": "Coin.wav", "frequency": 48000}]}
  ]})";

class FrontEndSounds : public AudioManagerTest, protected CFrontEndUI {
 protected:
  void SetUp() override {
    AudioManagerTest::SetUp();
    packArchive("SND", {packInput("Audio\\VOSK_SFX.iAudioSB", compileBank(gc_pszCUES)),
                        packInput("Audio\\Loop.wav", KvTestMakeConstantSound(gc_iTEST_RATE, 48000, {0.1f})),
                        packInput("Audio\\Coin.wav", KvTestMakeConstantSound(gc_iTEST_RATE, 4800, {0.5f}))});
    start();
    ASSERT_EQ(ClAudioManager::loadSoundBank(), 1);
    startUI();
  }
  void TearDown() override {
    ClAudioManager::stopCue(&g_gameModeFrontEnd.mp_menuMusicCue, 0.0f);
    ClAudioManager::setMinCueFadeTime(0.0f);
    stopUI();
    AudioManagerTest::TearDown();
  }
  // The name hash of the cue the menu music handle plays, 0 when none.
  static u32 menuMusic() {
    const ClFMODCueInstance* pInstance = ClAudioManager::getCueInstance(g_gameModeFrontEnd.mp_menuMusicCue);
    return pInstance != nullptr ? pInstance->mpr_pParentContainer->getCommonCueData()->m_uiNameHash : 0;
  }
};

TEST_F(FrontEndSounds, CreditsSwapTheMenuMusicAndLeavingRestartsItOnlyInTheFrontEnd) {
  struct SCase {
    E_GAME_MODE eMode;
    i32 iOptionsMainMenu;
    i32 iOptionsPause;
    u32 uiMusicAfter;
  };
  const SCase aCases[] = {{E_GAME_MODE_FRONTEND, 1, 1, KvStrHash("MainMenuLoop")},
                          {E_GAME_MODE_ACTION, 0, 1, 0}};
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.eMode);
    g_eCurrentGameMode = c.eMode;
    g_gameModeFrontEnd.mp_menuMusicCue = ClAudioManager::createCueInstanceByName("MainMenuLoop");
    frame();
    run("systemInitializeCredits");
    EXPECT_EQ(menuMusic(), KvStrHash("CreditsLoop"));
    frame();
    EXPECT_EQ(ClAudioManager::getActiveCueCount(), 1) << "the menu music stopped";
    ClUI::switchTo("TopLevelSwitcher", "Options");
    ClUI::switchTo("TopLevelSwitcher", "Credits");
    GAMESetRootValue("_options_mainmenu", c.iOptionsMainMenu);
    GAMESetRootValue("_options_pause", c.iOptionsPause);
    m_pads.release();
    m_pads.frame({{gc_iUI_ACTION_BACK, 1.0f}});
    run("systemCreditsTick");
    EXPECT_EQ(lastSwitch(), W("Options"));
    EXPECT_EQ(menuMusic(), c.uiMusicAfter);
    // Only the first of the two options flags that is raised comes down.
    EXPECT_EQ(GAMEGetRootValue("_options_mainmenu", -1), 0);
    EXPECT_EQ(GAMEGetRootValue("_options_pause", -1), c.iOptionsMainMenu > 0 ? 1 : 0);
    ClAudioManager::stopCue(&g_gameModeFrontEnd.mp_menuMusicCue, 0.0f);
    frame();
  }
}

TEST_F(FrontEndSounds, TheCoinPlaysOnceFadedInOverTheShortestCueFade) {
  struct SCase {
    f32 fMinFade;
    f32 fLowest;  // bounds of the first frame's level
    f32 fHighest;
  };
  for (const SCase& c : {SCase{0.0f, 0.5f, 0.5f}, SCase{0.5f, 0.0f, 0.05f}}) {
    SCOPED_TRACE(c.fMinFade);
    ClAudioManager::setMinCueFadeTime(c.fMinFade);
    ClUI::switchTo("TopLevelSwitcher", "TitleScreen");
    m_pads.release();
    m_pads.frame({{gc_iUI_ACTION_START, 1.0f}});
    run("systemTickAttractLoopPressStartClick");
    EXPECT_EQ(lastSwitch(), W("MainMenu"));
    const std::vector<float> heard = frame();
    EXPECT_GE(heard[0], c.fLowest);
    EXPECT_LE(heard[0], c.fHighest);
    for (int i = 0; i < 20 && ClAudioManager::getActiveCueCount() > 0; ++i) {
      frame();
    }
    EXPECT_EQ(ClAudioManager::getActiveCueCount(), 0) << "played once and released";
  }
}

// The game's bank and sounds, at the profile's default volumes set as the game sets them: each music loop, mixed
// over one pass of its four seconds, is within 3 dB of the menu music.
class GameMusic : public AudioManagerTest {
 protected:
  void SetUp() override {
    AudioManagerTest::SetUp();
    for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(KV_GAME_AUDIO_DIR)) {
      std::ifstream in(entry.path(), std::ios::binary);
      writeLoose("Audio/" + entry.path().filename().string(),
                 std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }
    start();
    ASSERT_EQ(ClAudioManager::loadSoundBank(), 1);
    ClProfileMgr::initialize();
    ClProfileMgr::resetToDefaults(mpr_pPlayerProfile);
    GAMESetCategoryVolumesFromProfile();
  }
  void TearDown() override {
    ClProfileMgr::terminate();
    AudioManagerTest::TearDown();
  }
  // The level in dB (full scale) of the cue's first four seconds, from the first frame it is heard in.
  double levelOf(const char* pCue) {
    SCueHandle handle = ClAudioManager::createCueInstanceByName(pCue);
    frame(0.0f);
    const std::vector<float> mixed = mix(4 * gc_iTEST_RATE);
    ClAudioManager::stopCue(&handle, 0.0f);
    frame(0.0f);
    double dSum = 0.0;
    for (float fSample : mixed) dSum += static_cast<double>(fSample) * fSample;
    return 10.0 * std::log10(dSum / static_cast<double>(mixed.size()) + 1e-20);
  }
};

TEST_F(GameMusic, MenuAndLevelMusicPlayAtOneLevel) {
  const double dMenu = levelOf("MainMenuLoop");
  EXPECT_GT(dMenu, -30.0) << "the menu music is heard";
  for (const char* pLevel : {"InGameLoop1", "InGameLoop1b", "InGameLoop2", "InGameLoop3"}) {
    EXPECT_NEAR(levelOf(pLevel), dMenu, 3.0) << pLevel;
  }
}

}  // namespace
