// The stand-in's real-time outputs (SDL's dummy audio device, the null output) and its injected faults. The
// device output mixes on SDL's audio thread while the test thread changes the channels.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "Platform/FMODEx/FMODEx.h"
#include "Platform/FMODEx/FMODExTest.h"
#include "Tests/Support/AudioTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

// Counts the blocks the mixer hands out and remembers the loudest left sample.
struct SObserved {
  std::mutex lock;
  std::condition_variable changed;
  int iBlocks = 0;
  float fPeak = 0.0f;
};

void observe(void* pUser, const float* pBlock, unsigned int uiFrames) {
  SObserved& observed = *static_cast<SObserved*>(pUser);
  std::lock_guard<std::mutex> guard(observed.lock);
  ++observed.iBlocks;
  for (unsigned int f = 0; f < uiFrames; ++f) {
    observed.fPeak = std::max(observed.fPeak, pBlock[2 * f]);
  }
  observed.changed.notify_all();
}


class FMODExRealTime : public ::testing::Test {
 protected:
  void SetUp() override {
    FMODExSetFaults(0);
    FMODExClearOutput();
  }
  void TearDown() override {
    FMODExSetFaults(0);
    FMODExClearOutput();
  }
};

// SDL's dummy driver stands for a device: the mixer runs on SDL's thread and the calls made meanwhile on this
// thread reach it.
TEST_F(FMODExRealTime, DeviceOutputMixesOnSdlsThread) {
  FMODExSetOutput(EFMODExOutput::Device);
  FMOD::System* pSystem = nullptr;
  ASSERT_EQ(FMOD_System_Create(&pSystem), FMOD_OK);
  ASSERT_EQ(pSystem->setSoftwareFormat(48000, FMOD_SOUND_FORMAT_PCM16, 0, 16, FMOD_DSP_RESAMPLER_LINEAR), FMOD_OK);
  ASSERT_EQ(pSystem->init(128, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
  ASSERT_EQ(FMODExGetOutput(pSystem), EFMODExOutput::Device);
  EXPECT_EQ(FMODExGetDeviceBufferFrames(pSystem), 1024);
  SObserved observed;
  FMODExSetMixObserver(pSystem, &observe, &observed);
  FMOD::Sound* pSound = KvTestCreateSound(pSystem, KvTestMakeConstantSound(48000, 4800, {0.5f}),
                                  FMOD_OPENMEMORY | FMOD_LOOP_NORMAL);
  pSound->setLoopCount(-1);
  FMOD::Channel* pChannel = nullptr;
  ASSERT_EQ(pSystem->playSound(FMOD_CHANNEL_FREE, pSound, false, &pChannel), FMOD_OK);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (int i = 0; i < 2000 && std::chrono::steady_clock::now() < deadline; ++i) {
    pChannel->setVolume(0.25f + 0.5f * static_cast<float>(i % 2));
    pChannel->setPan(i % 3 == 0 ? -0.5f : 0.0f);
    pChannel->setFrequency(i % 5 == 0 ? 44100.0f : 48000.0f);
    pSystem->update();
    std::unique_lock<std::mutex> guard(observed.lock);
    if (observed.iBlocks >= 4 && observed.fPeak > 0.0f) {
      break;
    }
    observed.changed.wait_for(guard, std::chrono::milliseconds(5));
  }
  {
    std::lock_guard<std::mutex> guard(observed.lock);
    EXPECT_GE(observed.iBlocks, 4);
    EXPECT_GT(observed.fPeak, 0.1f);
    EXPECT_LE(observed.fPeak, 0.75f + 1e-5f);
  }
  bool bPlaying = false;
  pChannel->isPlaying(&bPlaying);
  EXPECT_TRUE(bPlaying);
  EXPECT_EQ(pSystem->release(), FMOD_OK);
}

// Counts blocks and keeps the loudest sample of each side.
struct SSides {
  std::mutex lock;
  std::condition_variable changed;
  int iBlocks = 0;
  float afPeak[2] = {};
};

void observeSides(void* pUser, const float* pBlock, unsigned int uiFrames) {
  SSides& sides = *static_cast<SSides*>(pUser);
  {
    std::lock_guard<std::mutex> guard(sides.lock);
    ++sides.iBlocks;
    for (unsigned int i = 0; i < 2 * uiFrames; ++i) {
      sides.afPeak[i % 2] = std::max(sides.afPeak[i % 2], pBlock[i]);
    }
  }
  sides.changed.notify_all();
}

// A stream whose reads are held from its first play starves only its own channel on the device's thread: the
// device mixes the other channel block after block and the calls keep returning; once the reads go on, the
// stream is heard.
TEST_F(FMODExRealTime, AHeldStreamDoesNotHoldTheDevice) {
  FMODExSetOutput(EFMODExOutput::Device);
  FMOD::System* pSystem = nullptr;
  ASSERT_EQ(FMOD_System_Create(&pSystem), FMOD_OK);
  ASSERT_EQ(pSystem->init(32, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
  if (FMODExGetOutput(pSystem) != EFMODExOutput::Device) {
    pSystem->release();
    GTEST_SKIP() << "no audio device, not even SDL's dummy one";
  }
  const std::string path = KvTestTempDir("FMODExHeldDevice") + "/music.wav";
  KvTestWriteFile(path, KvTestMakeConstantSound(48000, 48000, {0.5f}));
  FMOD::Sound* pStream = nullptr;
  ASSERT_EQ(pSystem->createStream(path.c_str(), FMOD_LOOP_NORMAL, nullptr, &pStream), FMOD_OK);
  FMOD::Sound* pSample = KvTestCreateSound(pSystem, KvTestMakeConstantSound(48000, 4800, {0.25f}),
                                           FMOD_OPENMEMORY | FMOD_LOOP_NORMAL);
  pStream->setLoopCount(-1);
  pSample->setLoopCount(-1);
  ASSERT_EQ(FMODExHoldStreamReads(pStream, true), FMOD_OK);
  SSides sides;
  FMODExSetMixObserver(pSystem, &observeSides, &sides);
  FMOD::Channel* pMusic = nullptr;
  FMOD::Channel* pEffect = nullptr;
  ASSERT_EQ(pSystem->playSound(FMOD_CHANNEL_FREE, pStream, true, &pMusic), FMOD_OK);
  ASSERT_EQ(pSystem->playSound(FMOD_CHANNEL_FREE, pSample, true, &pEffect), FMOD_OK);
  pMusic->setPan(-1.0f);
  pEffect->setPan(1.0f);
  pMusic->setPaused(false);
  pEffect->setPaused(false);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(pEffect->setVolume(i % 2 == 0 ? 1.0f : 0.9f), FMOD_OK);
    EXPECT_EQ(pSystem->update(), FMOD_OK);
    std::unique_lock<std::mutex> guard(sides.lock);
    const int iUntil = sides.iBlocks + 1;
    sides.changed.wait(guard, [&] { return sides.iBlocks >= iUntil; });
  }
  {
    std::lock_guard<std::mutex> guard(sides.lock);
    EXPECT_EQ(sides.afPeak[0], 0.0f);
    EXPECT_GT(sides.afPeak[1], 0.2f);
  }
  ASSERT_EQ(FMODExHoldStreamReads(pStream, false), FMOD_OK);
  {
    std::unique_lock<std::mutex> guard(sides.lock);
    sides.changed.wait(guard, [&] { return sides.afPeak[0] > 0.4f; });
  }
  FMODExSetMixObserver(pSystem, nullptr, nullptr);
  EXPECT_EQ(pSystem->release(), FMOD_OK);
}

// With no device the system still starts: the null output advances in real time at each update, so sounds end.
TEST_F(FMODExRealTime, WithoutADeviceTheNullOutputKeepsTime) {
  FMODExSetOutput(EFMODExOutput::Device);
  FMODExSetFaults(FMODEX_FAULT_NO_DEVICE);
  FMOD::System* pSystem = nullptr;
  ASSERT_EQ(FMOD_System_Create(&pSystem), FMOD_OK);
  ASSERT_EQ(pSystem->init(128, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
  EXPECT_EQ(FMODExGetOutput(pSystem), EFMODExOutput::Null);
  EXPECT_EQ(FMODExGetDeviceBufferFrames(pSystem), 0);
  FMOD::Sound* pSound = KvTestCreateSound(pSystem, KvTestMakeConstantSound(48000, 960, {0.5f}), FMOD_OPENMEMORY);
  FMOD::Channel* pChannel = nullptr;
  ASSERT_EQ(pSystem->playSound(FMOD_CHANNEL_FREE, pSound, false, &pChannel), FMOD_OK);
  bool bPlaying = true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (bPlaying && std::chrono::steady_clock::now() < deadline) {
    pSystem->update();
    pChannel->isPlaying(&bPlaying);
    std::this_thread::yield();
  }
  EXPECT_FALSE(bPlaying);
  EXPECT_GE(FMODExGetMixedFrames(pSystem), 960u);
  EXPECT_EQ(FMODExMix(pSystem, nullptr, 16), FMOD_ERR_UNSUPPORTED);
  pSystem->release();
}

TEST_F(FMODExRealTime, InjectedFaultsFailTheirCalls) {
  std::vector<std::uint8_t> block(2 << 20);
  FMODExSetFaults(FMODEX_FAULT_MEMORY);
  EXPECT_EQ(FMOD_Memory_Initialize(block.data(), static_cast<int>(block.size()), nullptr, nullptr, nullptr, FMOD_MEMORY_ALL),
            FMOD_ERR_MEMORY);
  FMODExSetFaults(0);
  EXPECT_EQ(FMOD_Memory_Initialize(block.data(), static_cast<int>(block.size()), nullptr, nullptr, nullptr, FMOD_MEMORY_ALL),
            FMOD_OK);
  EXPECT_EQ(FMOD_Memory_Initialize(nullptr, 0, nullptr, nullptr, nullptr, FMOD_MEMORY_ALL), FMOD_ERR_INVALID_PARAM);

  FMODExSetFaults(FMODEX_FAULT_CREATE);
  FMOD::System* pSystem = reinterpret_cast<FMOD::System*>(1);
  EXPECT_EQ(FMOD_System_Create(&pSystem), FMOD_ERR_MEMORY);
  EXPECT_EQ(pSystem, nullptr);

  FMODExSetOutput(EFMODExOutput::Manual);
  FMODExSetFaults(FMODEX_FAULT_CHANNELS | FMODEX_FAULT_INIT);
  ASSERT_EQ(FMOD_System_Create(&pSystem), FMOD_OK);
  EXPECT_EQ(FMOD_Memory_Initialize(block.data(), static_cast<int>(block.size()), nullptr, nullptr, nullptr, FMOD_MEMORY_ALL),
            FMOD_ERR_INITIALIZATION);
  EXPECT_EQ(pSystem->setSoftwareChannels(128), FMOD_ERR_INITIALIZED);
  EXPECT_EQ(pSystem->init(128, FMOD_INIT_NORMAL, nullptr), FMOD_ERR_OUTPUT_INIT);
  FMODExSetFaults(FMODEX_FAULT_SOUND_OPEN);
  EXPECT_EQ(pSystem->init(128, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
  EXPECT_EQ(KvTestCreateSound(pSystem, KvTestMakeConstantSound(48000, 100, {0.5f})), nullptr);
  pSystem->release();

  std::uint32_t uiFaults = 0;
  std::string error;
  EXPECT_TRUE(FMODExParseFaults("init_fail, no_device", &uiFaults, &error));
  EXPECT_EQ(uiFaults, static_cast<std::uint32_t>(FMODEX_FAULT_INIT | FMODEX_FAULT_NO_DEVICE));
  EXPECT_FALSE(FMODExParseFaults("init_fail,bogus", &uiFaults, &error));
  EXPECT_NE(error.find("bogus"), std::string::npos);
  EXPECT_STREQ(FMOD_ErrorString(FMOD_ERR_CHANNEL_ALLOC),
               "FMOD_ERR_CHANNEL_ALLOC: Every software channel is playing; no channel could be given to the sound.");
}

// The environment chooses the output and the faults when no test did.
TEST_F(FMODExRealTime, EnvironmentChoosesOutputAndFaults) {
  setenv("GRINDLOW_FMOD_OUTPUT", "manual", 1);
  setenv("GRINDLOW_FMOD_FAULTS", "sound_open_fail", 1);
  FMOD::System* pSystem = nullptr;
  ASSERT_EQ(FMOD_System_Create(&pSystem), FMOD_OK);
  unsetenv("GRINDLOW_FMOD_FAULTS");
  ASSERT_EQ(pSystem->init(16, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
  unsetenv("GRINDLOW_FMOD_OUTPUT");
  EXPECT_EQ(FMODExGetOutput(pSystem), EFMODExOutput::Manual);
  EXPECT_EQ(FMODExGetFaults(), static_cast<std::uint32_t>(FMODEX_FAULT_SOUND_OPEN));
  pSystem->release();
}

}  // namespace
