// The game's sample sound bank (packed by the build into the game archive) played by an audio manager over the
// sound library's manual output, in a fresh data root: time moves only when a test runs a frame.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "Code/System/GAMEArchiveKeys.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/ClMutexLock.h"
#include "Platform/FMODEx/FMODExTest.h"
#include "Tests/Support/KvTestSupport.h"

inline constexpr int gc_iSAMPLE_BANK_MIX_RATE = 48000;

class SampleBankTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_previous = std::filesystem::current_path();
    const std::string dir = KvTestTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    for (const char* pFile : {"RWG_win32.mtc", "RWG_win32.mdf"}) {
      std::filesystem::copy_file(KvTestBinaryDir() + "/Data/" + pFile, dir + "/" + pFile);
    }
    std::filesystem::current_path(dir);
    FMODExSetFaults(0);
    FMODExSetOutput(EFMODExOutput::Manual);
    KvTestStartFileIO();
    GameSpecificRegisterArchiveKeys();
    ClDevINI::initialize();
    ClClock::m_aClockFrames[0] = SClockFrame();
    ClClock::m_aClockFrames[1] = SClockFrame();
    ASSERT_EQ(ClAudioManager::initialize(), 1);
    ASSERT_EQ(ClMagFileIO::loadTOC("RWG"), 1);
    ASSERT_EQ(ClAudioManager::loadSoundBank(), 1);
  }
  void TearDown() override {
    if (ClAudioManager::isInitialized()) {
      ClAudioManager::terminate();
    }
    ClMagFileIO::unloadTOC(KvStrHash("RWG"));
    KvTestStopFileIO();
    ClDevINI::terminate();
    EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
    ClMutexLock::shutdownPool();
    FMODExClearOutput();
    std::filesystem::current_path(m_previous);
  }

  static void settings(const std::string& text) {
    ClDevINI::loadFromBuffer(text.data(), text.size(), "project.ini");
  }
  // The gameplay clock's frame time, as the modes' clock tick leaves it.
  static void gameplayFrameTime(f32 fSeconds) { ClClock::m_aClockFrames[1].m_fFrameTime = fSeconds; }
  // The sound layer's update, then fSeconds of mixed sound (interleaved stereo).
  static std::vector<float> mixFrame(f32 fSeconds) {
    ClAudioManager::update();
    const unsigned int uiFrames = static_cast<unsigned int>(fSeconds * gc_iSAMPLE_BANK_MIX_RATE + 0.5f);
    std::vector<float> out(static_cast<size_t>(uiFrames) * 2);
    EXPECT_EQ(FMODExMix(ClAudioManager::getSystem(), out.data(), uiFrames), FMOD_OK);
    return out;
  }
  static double rms(const std::vector<float>& samples) {
    double dSum = 0.0;
    for (float f : samples) {
      dSum += static_cast<double>(f) * f;
    }
    return samples.empty() ? 0.0 : std::sqrt(dSum / static_cast<double>(samples.size()));
  }
  // The name hash of the cue a live handle plays (0 for a null or stale handle).
  static u32 cueOf(const SCueHandle& handle) {
    const ClFMODCueInstance* pInstance = ClAudioManager::getCueInstance(handle);
    return pInstance != nullptr ? pInstance->mpr_pParentContainer->getCommonCueData()->m_uiNameHash : 0;
  }

  std::filesystem::path m_previous;
};
