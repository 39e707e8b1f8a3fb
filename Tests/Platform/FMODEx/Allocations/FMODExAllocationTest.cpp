// The device output's mixing allocates nothing once it runs. This program replaces malloc and its kin to count
// the calls each thread makes; the observer, called on SDL's audio thread after every mixed block, reads that
// thread's count while samples and streams, direct and resampled, play, start, change pitch and end.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>

#include "Platform/FMODEx/FMODEx.h"
#include "Platform/FMODEx/FMODExTest.h"
#include "Tests/Support/AudioTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

extern "C" {
void* __libc_malloc(size_t uiSize);
void* __libc_calloc(size_t uiCount, size_t uiSize);
void* __libc_realloc(void* pBlock, size_t uiSize);
void* __libc_memalign(size_t uiAlignment, size_t uiSize);
void __libc_free(void* pBlock);
}

namespace {

// Static thread-local storage of the program itself: reaching it allocates nothing.
thread_local std::uint64_t t_uiHeapCalls = 0;

}  // namespace

extern "C" {

void* malloc(size_t uiSize) {
  ++t_uiHeapCalls;
  return __libc_malloc(uiSize);
}

void* calloc(size_t uiCount, size_t uiSize) {
  ++t_uiHeapCalls;
  return __libc_calloc(uiCount, uiSize);
}

void* realloc(void* pBlock, size_t uiSize) {
  ++t_uiHeapCalls;
  return __libc_realloc(pBlock, uiSize);
}

void* memalign(size_t uiAlignment, size_t uiSize) {
  ++t_uiHeapCalls;
  return __libc_memalign(uiAlignment, uiSize);
}

void* aligned_alloc(size_t uiAlignment, size_t uiSize) {
  ++t_uiHeapCalls;
  return __libc_memalign(uiAlignment, uiSize);
}

int posix_memalign(void** ppBlock, size_t uiAlignment, size_t uiSize) {
  ++t_uiHeapCalls;
  *ppBlock = __libc_memalign(uiAlignment, uiSize);
  return *ppBlock != nullptr ? 0 : ENOMEM;
}

void free(void* pBlock) {
  if (pBlock != nullptr) {
    ++t_uiHeapCalls;
  }
  __libc_free(pBlock);
}

}  // extern "C"

namespace {

constexpr int gc_iRATE = 48000;

// What the mixing thread reports after each block.
struct SMixingThread {
  std::mutex lock;
  std::condition_variable changed;
  int iBlocks = 0;
  std::uint64_t uiHeapCalls = 0;  // the mixing thread's count after its latest block
};

void observe(void* pUser, const float*, unsigned int) {
  SMixingThread& thread = *static_cast<SMixingThread*>(pUser);
  const std::uint64_t uiHeapCalls = t_uiHeapCalls;
  {
    std::lock_guard<std::mutex> guard(thread.lock);
    ++thread.iBlocks;
    thread.uiHeapCalls = uiHeapCalls;
  }
  thread.changed.notify_all();
}

// Waits until the mixing thread has handed out iMore further blocks; answers its count then.
std::uint64_t waitForBlocks(SMixingThread& thread, int iMore) {
  std::unique_lock<std::mutex> guard(thread.lock);
  const int iUntil = thread.iBlocks + iMore;
  thread.changed.wait(guard, [&] { return thread.iBlocks >= iUntil; });
  return thread.uiHeapCalls;
}

TEST(FMODExAllocations, TheDeviceCallbackAllocatesNothingOnceWarm) {
  const std::string dir = KvTestTempDir("FMODExAllocations");
  FMODExSetFaults(0);
  FMODExSetOutput(EFMODExOutput::Device, dir + "/mix.wav");
  FMOD::System* pSystem = nullptr;
  ASSERT_EQ(FMOD_System_Create(&pSystem), FMOD_OK);
  ASSERT_EQ(pSystem->setSoftwareFormat(gc_iRATE, FMOD_SOUND_FORMAT_PCM16, 0, 16, FMOD_DSP_RESAMPLER_LINEAR), FMOD_OK);
  ASSERT_EQ(pSystem->init(64, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
  if (FMODExGetOutput(pSystem) != EFMODExOutput::Device) {
    pSystem->release();
    FMODExClearOutput();
    GTEST_SKIP() << "no audio device, not even SDL's dummy one";
  }

  KvTestWriteFile(dir + "/stereo.wav", KvTestMakeConstantSound(gc_iRATE, 9000, {0.1f, 0.2f}));
  KvTestWriteFile(dir + "/mono.wav", KvTestMakeSine(22050, 7000, 300.0, 0.2f));
  FMOD::Sound* pDirectStream = nullptr;
  FMOD::Sound* pPitchedStream = nullptr;
  ASSERT_EQ(pSystem->createStream((dir + "/stereo.wav").c_str(), FMOD_LOOP_NORMAL, nullptr, &pDirectStream), FMOD_OK);
  ASSERT_EQ(pSystem->createStream((dir + "/mono.wav").c_str(), FMOD_LOOP_NORMAL, nullptr, &pPitchedStream), FMOD_OK);
  FMOD::Sound* pLoop = KvTestCreateSound(pSystem, KvTestMakeSine(gc_iRATE, 4410, 440.0, 0.2f), FMOD_OPENMEMORY | FMOD_LOOP_NORMAL);
  FMOD::Sound* pShort = KvTestCreateSound(pSystem, KvTestMakeSine(32000, 3000, 500.0, 0.2f));
  ASSERT_NE(pLoop, nullptr);
  ASSERT_NE(pShort, nullptr);
  for (FMOD::Sound* pSound : {pDirectStream, pPitchedStream, pLoop}) {
    pSound->setLoopCount(-1);
  }
  SMixingThread thread;
  FMODExSetMixObserver(pSystem, &observe, &thread);
  FMOD::Channel* pPitched = nullptr;
  ASSERT_EQ(pSystem->playSound(FMOD_CHANNEL_FREE, pDirectStream, false, nullptr), FMOD_OK);
  ASSERT_EQ(pSystem->playSound(FMOD_CHANNEL_FREE, pPitchedStream, false, &pPitched), FMOD_OK);
  ASSERT_EQ(pSystem->playSound(FMOD_CHANNEL_FREE, pLoop, false, nullptr), FMOD_OK);

  const std::uint64_t uiWarm = waitForBlocks(thread, 8);
  // Sounds start, change pitch and end while the device mixes: a short sample at its own rate (resampled until
  // it ends), the pitched stream faster, then back to the mix rate.
  FMOD::Channel* pShortChannel = nullptr;
  ASSERT_EQ(pSystem->playSound(FMOD_CHANNEL_FREE, pShort, false, &pShortChannel), FMOD_OK);
  for (float fFrequency : {30000.0f, static_cast<float>(gc_iRATE), 44100.0f}) {
    waitForBlocks(thread, 4);
    ASSERT_EQ(pPitched->setFrequency(fFrequency), FMOD_OK);
  }
  bool bShortPlaying = true;
  while (bShortPlaying) {
    waitForBlocks(thread, 1);
    pShortChannel->isPlaying(&bShortPlaying);
  }
  const std::uint64_t uiAfter = waitForBlocks(thread, 24);
  EXPECT_EQ(uiAfter - uiWarm, 0u) << "heap calls on the mixing thread after it warmed up";

  bool bPlaying = false;
  pPitched->isPlaying(&bPlaying);
  EXPECT_TRUE(bPlaying);
  FMODExSetMixObserver(pSystem, nullptr, nullptr);
  EXPECT_EQ(pSystem->release(), FMOD_OK);
  FMODExClearOutput();
}

}  // namespace
