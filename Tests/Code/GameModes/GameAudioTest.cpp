// The game's audio: started by the game's start-up over the device the environment gives (SDL's dummy driver in
// the tests) or over none at all, updated by its frame, stopped by its shutdown, with the sample bank the build
// packs into the game archive (the music with its track data, a voice line that ducks it), and paused and resumed
// by the window's focus hooks.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "Code/GameModes/ClGame.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/Audio/ClAudioTrackDataMgr.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/System/ClMutexLock.h"
#include "Platform/FMODEx/FMODEx.h"
#include "Platform/FMODEx/FMODExTest.h"
#include "Platform/Store/StoreApi.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/GameHooksDoubles.h"
#include "Code/System/GAMEGameHooks.h"

namespace {

class GameAudio : public ::testing::Test {
 protected:
  void SetUp() override {
    GameSpecificInstallHooks();
    m_previous = std::filesystem::current_path();
    const std::string dir = KvTestTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir + "/Data");
    for (const char* pFile : {"RWG_win32.mtc", "RWG_win32.mdf"}) {
      std::filesystem::copy_file(KvTestBinaryDir() + "/Data/" + pFile, dir + "/Data/" + pFile);
    }
    std::filesystem::current_path(dir + "/Data");
    KvTestProvideEngineStringTable(dir + "/Data");
    setenv("GRINDLOW_STORE_DIR", (dir + "/store").c_str(), 1);
    ASSERT_TRUE(SteamAPI_Init());
    FMODExClearOutput();
    FMODExSetFaults(0);
  }
  void TearDown() override {
    FMODExSetFaults(0);
    SteamAPI_Shutdown();
    unsetenv("GRINDLOW_STORE_DIR");
    std::filesystem::current_path(m_previous);
    KvTestInstallHookDoubles();
  }
  // What the load mode does first: the game archive's table of contents, then the bank.
  static void loadBank() {
    ASSERT_EQ(ClMagFileIO::loadTOC("RWG"), 1);
    ASSERT_EQ(ClAudioManager::loadSoundBank(), 1);
  }
  static void shutDown() {
    ClGame::shutDown();
    ClMagFileIO::shutdown();
    ClMutexLock::shutdownPool();
  }
  // Runs frames until the condition holds (at most 10 s).
  template <typename Condition>
  static bool framesUntil(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition() && std::chrono::steady_clock::now() < deadline) {
      ClGame::tickFrame(0.016f);
    }
    return condition();
  }
  std::filesystem::path m_previous;
};

TEST_F(GameAudio, TheGamePlaysItsSampleBankOnTheDevice) {
  ClGame::startUp();
  ASSERT_TRUE(ClAudioManager::isInitialized());
  EXPECT_EQ(FMODExGetOutput(ClAudioManager::getSystem()), EFMODExOutput::Device);
  loadBank();
  SCueHandle music = ClAudioManager::createCueInstanceByName("InGameLoop1");
  ASSERT_FALSE(music.isNull());
  ClAudioManager::playCue(KvStrHash("PlayerHitting"));
  ClAudioManager::playCue(KvStrHash("Pickup"));
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), 3);
  // The streamed music plays from its window of the archive: its position moves on.
  unsigned int uiMs = 0;
  EXPECT_TRUE(framesUntil([&] {
    ClFMODCueInstance* pMusic = ClAudioManager::getCueInstance(music);
    return pMusic != nullptr && pMusic->mp_pChannel != nullptr &&
           pMusic->mp_pChannel->getPosition(&uiMs, FMOD_TIMEUNIT_MS) == FMOD_OK && uiMs > 50;
  }));
  // The music carries its track data from the archive; the voice line ducks the music's category.
  EXPECT_NE(ClAudioTrackDataMgr::find(KvStrHash("InGameLoop1")), nullptr);
  EXPECT_NE(ClAudioManager::getCueInstance(music)->trackDataInstance(), nullptr);
  // Ducking runs on the gameplay clock, which the modes advance.
  ClAudioManager::playCue(KvStrHash("VoiceLine"));
  EXPECT_TRUE(framesUntil([] {
    ClGame::tickClocks(0.016f);
    return ClAudioManager::getCategory(E_AUDIO_CATEGORY_MUSIC).m_fDuckVolume < 0.5f;
  }));
  EXPECT_EQ(ClAudioManager::getCategory(E_AUDIO_CATEGORY_MASTER).m_fDuckVolume, 1.0f);
  // The effects end by themselves; the held music stays.
  EXPECT_TRUE(framesUntil([] { return ClAudioManager::getActiveCueCount() == 1; }));
  // Focus lost outside the action mode pauses the sound; focus regained resumes it.
  KvWindowGameHooks().focusPause();
  EXPECT_EQ(ClAudioManager::getCueInstance(music)->m_bPaused, 1);
  EXPECT_FALSE(KvWindowGameHooks().isActionModeCurrent());
  KvWindowGameHooks().resumeAllCues();
  EXPECT_EQ(ClAudioManager::getCueInstance(music)->m_bPaused, 0);
  shutDown();
  EXPECT_FALSE(ClAudioManager::isInitialized());
  EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
}

// With no audio device at all the game still starts, and its sounds still run their course in real time.
TEST_F(GameAudio, WithoutAnyDeviceTheGameStillRuns) {
  FMODExSetFaults(FMODEX_FAULT_NO_DEVICE);
  ClGame::startUp();
  ASSERT_TRUE(ClAudioManager::isInitialized());
  EXPECT_EQ(FMODExGetOutput(ClAudioManager::getSystem()), EFMODExOutput::Null);
  loadBank();
  ClAudioManager::playCue(KvStrHash("PlayerWhiff"));
  ClGame::tickFrame(0.016f);
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), 1);
  EXPECT_TRUE(framesUntil([] { return ClAudioManager::getActiveCueCount() == 0; }));
  shutDown();
}

}  // namespace
