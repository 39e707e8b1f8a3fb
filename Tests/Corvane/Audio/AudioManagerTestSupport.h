// A running audio manager over the stand-in's manual output, in a fresh data root, with banks built by the
// bank builder: what the audio manager suites share.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/ClMutexLock.h"
#include "Platform/FMODEx/FMODExTest.h"
#include "Tests/Support/AudioTestSupport.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/MagPackTestSupport.h"
#include "Tools/sbankc/SoundBankBuilder.h"

inline constexpr int gc_iTEST_RATE = 48000;

class AudioManagerTest : public ::testing::Test {
 public:
  // Compiles a cue list (JSON text) into bytes.
  static std::vector<std::uint8_t> compileBank(const std::string& cueList) {
    nlohmann::json json;
    std::string problem;
    std::vector<std::uint8_t> bank;
    std::vector<SSoundBankSourceFile> sources;
    EXPECT_TRUE(SoundBankParseJson(cueList, "test.json", &json, &problem)) << problem;
    EXPECT_TRUE(SoundBankCompile(json, "test.json", &bank, &sources, &problem)) << problem;
    return bank;
  }

 protected:
  void SetUp() override {
    m_previous = std::filesystem::current_path();
    m_root = KvTestTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(m_root + "/Audio");
    std::filesystem::current_path(m_root);
    FMODExSetFaults(0);
    FMODExSetOutput(EFMODExOutput::Manual);
    KvTestStartFileIO();
    ClDevINI::initialize();
    ClClock::m_aClockFrames[0] = SClockFrame();
    ClClock::m_aClockFrames[1] = SClockFrame();
  }
  void TearDown() override {
    if (ClAudioManager::isInitialized()) {
      ClAudioManager::terminate();
    }
    for (const std::string& archive : m_archives) {
      ClMagFileIO::unloadTOC(KvStrHash(archive.c_str()));
    }
    KvTestStopFileIO();
    ClDevINI::terminate();
    EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
    ClMutexLock::shutdownPool();
    FMODExClearOutput();
    FMODExSetFaults(0);
    std::filesystem::current_path(m_previous);
  }

  void settings(const std::string& text) { ClDevINI::loadFromBuffer(text.data(), text.size(), "project.ini"); }
  void start() { ASSERT_EQ(ClAudioManager::initialize(), 1); }

  // Writes a loose file below the data root.
  void writeLoose(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::filesystem::create_directories(std::filesystem::path(m_root + "/" + path).parent_path());
    KvTestWriteFile(m_root + "/" + path, bytes);
  }
  // Packs the entries into archive NAME in the data root and loads its table of contents.
  void packArchive(const std::string& name, const std::vector<SMagPackInput>& inputs) {
    ClMagFileIO::setArchiveKey(name.c_str(), "audio-test-key1");
    std::string problem;
    std::vector<SMagPackedEntry> packed;
    ASSERT_TRUE(MagWriteArchive(m_root, name, "audio-test-key1", inputs, &packed, &problem)) << problem;
    ASSERT_EQ(ClMagFileIO::loadTOC(name.c_str()), 1);
    m_archives.push_back(name);
  }

  // One frame: both clocks advance by fSeconds, the manager updates, then the mixer plays the frame's time.
  std::vector<float> frame(float fSeconds = 0.02f) {
    ClClock::m_aClockFrames[0].m_fFrameTime = fSeconds;
    ClClock::m_aClockFrames[1].m_fFrameTime = fSeconds;
    ClAudioManager::update();
    return mix(static_cast<unsigned int>(fSeconds * gc_iTEST_RATE + 0.5f));
  }
  static std::vector<float> mix(unsigned int uiFrames) {
    std::vector<float> out(static_cast<size_t>(uiFrames) * 2);
    EXPECT_EQ(FMODExMix(ClAudioManager::getSystem(), out.data(), uiFrames), FMOD_OK);
    return out;
  }
  static int channelsPlaying() {
    int iPlaying = 0;
    ClAudioManager::getSystem()->getChannelsPlaying(&iPlaying);
    return iPlaying;
  }

  std::filesystem::path m_previous;
  std::string m_root;
  std::vector<std::string> m_archives;
};
