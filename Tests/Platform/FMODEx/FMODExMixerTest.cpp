// The sound library stand-in, heard through its manual output: gains, pan, rate, streams from a file window,
// loops, pause, groups, the channel limit and a movie's sound written into the mix, checked from the mixed samples.
#include <gtest/gtest.h>
#include <samplerate.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "Platform/Common/PlatformPcmSink.h"
#include "Platform/FMODEx/FMODEx.h"
#include "Platform/FMODEx/FMODExTest.h"
#include "Tests/Support/AudioTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

constexpr int gc_iRATE = 48000;

class FMODExMixer : public ::testing::Test {
 protected:
  void SetUp() override {
    FMODExSetFaults(0);
    FMODExSetOutput(EFMODExOutput::Manual);
    ASSERT_EQ(FMOD_System_Create(&m_pSystem), FMOD_OK);
    ASSERT_EQ(m_pSystem->setSoftwareChannels(128), FMOD_OK);
    ASSERT_EQ(m_pSystem->setSoftwareFormat(gc_iRATE, FMOD_SOUND_FORMAT_PCM16, 0, 16, FMOD_DSP_RESAMPLER_LINEAR), FMOD_OK);
    ASSERT_EQ(m_pSystem->init(128, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
    ASSERT_EQ(FMODExGetOutput(m_pSystem), EFMODExOutput::Manual);
  }
  void TearDown() override {
    if (m_pSystem != nullptr) m_pSystem->release();
    FMODExClearOutput();
  }

  FMOD::Sound* memorySound(const std::vector<std::uint8_t>& bytes, FMOD_MODE eMode = FMOD_OPENMEMORY | FMOD_2D) {
    FMOD::Sound* pSound = KvTestCreateSound(m_pSystem, bytes, eMode);
    EXPECT_NE(pSound, nullptr);
    return pSound;
  }
  FMOD::Channel* play(FMOD::Sound* pSound, bool bPaused = false) {
    FMOD::Channel* pChannel = nullptr;
    EXPECT_EQ(m_pSystem->playSound(FMOD_CHANNEL_FREE, pSound, bPaused, &pChannel), FMOD_OK);
    return pChannel;
  }
  std::vector<float> mix(unsigned int uiFrames) {
    std::vector<float> out(uiFrames * 2);
    EXPECT_EQ(FMODExMix(m_pSystem, out.data(), uiFrames), FMOD_OK);
    return out;
  }
  static bool playing(FMOD::Channel* pChannel) {
    bool bPlaying = true;
    pChannel->isPlaying(&bPlaying);
    return bPlaying;
  }

  FMOD::System* m_pSystem = nullptr;
};

// Two sounds at once: a mono one at half volume panned half left, a stereo one panned hard right. Mono pan
// keeps full level on the near side; the far side falls linearly.
TEST_F(FMODExMixer, TwoSoundsMixWithTheirGainsAndPan) {
  FMOD::Sound* pMono = memorySound(KvTestMakeConstantSound(gc_iRATE, 4800, {0.5f}));
  FMOD::Sound* pStereo = memorySound(KvTestMakeConstantSound(gc_iRATE, 4800, {0.2f, 0.4f}));
  FMOD::Channel* pA = play(pMono, true);
  FMOD::Channel* pB = play(pStereo, true);
  pA->setVolume(0.5f);
  pA->setPan(-0.5f);
  pB->setPan(1.0f);
  pA->setPaused(false);
  pB->setPaused(false);
  const std::vector<float> out = mix(1000);
  for (int f = 0; f < 1000; f += 111) {
    EXPECT_NEAR(out[2 * f], 0.5f * 0.5f * 1.0f + 0.2f * 0.0f, 1e-6f) << f;
    EXPECT_NEAR(out[2 * f + 1], 0.5f * 0.5f * 0.5f + 0.4f * 1.0f, 1e-6f) << f;
  }
  // Input levels scale each input channel of the stereo sound.
  float afLevels[2] = {1.0f, 0.25f};
  pB->setInputChannelMix(afLevels, 2);
  const std::vector<float> levelled = mix(10);
  EXPECT_NEAR(levelled[1], 0.125f + 0.1f, 1e-6f);
}

// The channel's frequency against the sound's own rate: a 24 kHz sound plays at its recorded pitch by default,
// an octave up at 48000 Hz; the position follows the sound's own frames.
TEST_F(FMODExMixer, FrequencyResamplesAgainstTheSoundsOwnRate) {
  FMOD::Sound* pSine = memorySound(KvTestMakeSine(24000, 24000, 500.0, 0.5f));
  float fDefault = 0.0f;
  pSine->getDefaults(&fDefault, nullptr, nullptr, nullptr);
  EXPECT_EQ(fDefault, 24000.0f);
  FMOD::Channel* pChannel = play(pSine);
  const std::vector<float> native = mix(9600);
  EXPECT_NEAR(KvTestMeasureFrequency(native, 0, gc_iRATE), 500.0, 2.0);
  EXPECT_NEAR(KvTestPeak(native, 0, 100), 0.5f, 0.01f);
  unsigned int uiMs = 0;
  pChannel->getPosition(&uiMs, FMOD_TIMEUNIT_MS);
  EXPECT_NEAR(uiMs, 200u, 2u);

  pChannel->setFrequency(48000.0f);
  const std::vector<float> octave = mix(9600);
  EXPECT_NEAR(KvTestMeasureFrequency(octave, 0, gc_iRATE), 1000.0, 4.0);
  pChannel->getPosition(&uiMs, FMOD_TIMEUNIT_MS);
  EXPECT_NEAR(uiMs, 600u, 3u);  // 200 ms, then 200 ms of mix at double speed
}

// A pitched sample is resampled straight from its frames in memory, a pitched stream through its decoder: the
// same sound at the same frequency gives the same samples either way, through its loops to its end, and a new
// frequency holds from the next block on.
TEST_F(FMODExMixer, PitchedSamplesAndStreamsSoundAlike) {
  const std::vector<std::uint8_t> sine = KvTestMakeSine(24000, 2400, 500.0, 0.5f);
  const std::string path = KvTestTempDir("FMODExPitched") + "/sine.wav";
  KvTestWriteFile(path, sine);
  FMOD::Sound* pSample = memorySound(sine, FMOD_OPENMEMORY | FMOD_LOOP_NORMAL);
  FMOD::Sound* pStream = nullptr;
  ASSERT_EQ(m_pSystem->createStream(path.c_str(), FMOD_LOOP_NORMAL, nullptr, &pStream), FMOD_OK);
  pSample->setLoopCount(2);
  pStream->setLoopCount(2);
  FMOD::Channel* pLeft = play(pSample, true);
  FMOD::Channel* pRight = play(pStream, true);
  for (FMOD::Channel* pChannel : {pLeft, pRight}) {
    pChannel->setPan(pChannel == pLeft ? -1.0f : 1.0f);
    pChannel->setFrequency(30000.0f);
    pChannel->setPaused(false);
  }
  // Three plays of 2400 frames at 30000 Hz: 11520 frames at 48 kHz.
  std::vector<float> out = mix(4096);
  pLeft->setFrequency(36000.0f);
  pRight->setFrequency(36000.0f);
  const std::vector<float> rest = mix(8000);
  out.insert(out.end(), rest.begin(), rest.end());
  for (size_t f = 0; f < out.size() / 2; ++f) {
    ASSERT_NEAR(out[2 * f], out[2 * f + 1], 1e-5f) << f;
  }
  EXPECT_NEAR(KvTestMeasureFrequency(std::vector<float>(out.begin(), out.begin() + 2 * 4096), 0, gc_iRATE), 625.0, 3.0);
  EXPECT_NEAR(KvTestMeasureFrequency(std::vector<float>(out.begin() + 2 * 4096, out.begin() + 2 * 9000), 0, gc_iRATE),
              750.0, 3.0);
  // 4096 frames took 2560 source frames; the other 4640 take 4640 x 48000 / 36000 frames.
  const size_t uiEnd = 4096 + (3 * 2400 - 2560) * 4 / 3;
  EXPECT_GT(KvTestPeak(std::vector<float>(out.begin() + 2 * (uiEnd - 200), out.begin() + 2 * (uiEnd - 2)), 0), 0.3f);
  EXPECT_EQ(KvTestPeak(out, 0, uiEnd + 2), 0.0f);
  EXPECT_FALSE(playing(pLeft));
  EXPECT_FALSE(playing(pRight));
}

// The linear resampler gives libsamplerate's linear values: a looping stereo sample of noise, pitched and mixed
// in uneven pieces, against the library converting its three passes in one go.
TEST_F(FMODExMixer, LinearResamplingMatchesLibsamplerate) {
  constexpr int c_iFrames = 1000;
  auto noise = [](int f, int c) { return static_cast<float>((f * 7919 + c * 104729) % 2001 - 1000) / 1000.0f; };
  FMOD::Sound* pSound = memorySound(KvTestMakeSoundFile(2, gc_iRATE, c_iFrames, noise), FMOD_OPENMEMORY | FMOD_LOOP_NORMAL);
  pSound->setLoopCount(2);
  FMOD::Channel* pChannel = play(pSound, true);
  pChannel->setFrequency(30000.0f);
  pChannel->setPaused(false);
  std::vector<float> out;
  for (unsigned int uiPiece : {700u, 1024u, 333u, 1u, 3000u}) {
    const std::vector<float> piece = mix(uiPiece);
    out.insert(out.end(), piece.begin(), piece.end());
  }
  std::vector<float> in(3 * c_iFrames * 2);
  for (size_t i = 0; i < in.size(); ++i) {
    in[i] = noise(static_cast<int>(i / 2) % c_iFrames, static_cast<int>(i % 2));
  }
  std::vector<float> expected(out.size(), 0.0f);
  int iError = 0;
  SRC_STATE* pConverter = src_new(SRC_LINEAR, 2, &iError);
  ASSERT_NE(pConverter, nullptr);
  SRC_DATA data = {in.data(), expected.data(), 3 * c_iFrames, static_cast<long>(out.size() / 2), 0, 0, 1, 48000.0 / 30000.0};
  ASSERT_EQ(src_process(pConverter, &data), 0);
  src_delete(pConverter);
  ASSERT_GT(data.output_frames_gen, 4500);
  ASSERT_LT(data.output_frames_gen, static_cast<long>(out.size() / 2));
  for (size_t i = 0; i < out.size(); ++i) {
    ASSERT_NEAR(out[i], expected[i], 1e-6f) << i;
  }
  EXPECT_FALSE(playing(pChannel));
}

// A stream from [offset, offset + length) of a larger file: the bytes around the window are never read as sound.
TEST_F(FMODExMixer, StreamReadsAWindowOfALargerFile) {
  const std::vector<std::uint8_t> sound = KvTestMakeConstantSound(gc_iRATE, 3000, {0.75f});
  const std::string path = KvTestTempDir("FMODExWindow") + "/pack.bin";
  std::vector<std::uint8_t> file(1000 + sound.size() + 777, 0xA5);
  std::fill_n(file.begin(), 1000, 0x5A);
  std::copy(sound.begin(), sound.end(), file.begin() + 1000);
  KvTestWriteFile(path, file);

  FMOD_CREATESOUNDEXINFO exinfo = {};
  exinfo.cbsize = sizeof(exinfo);
  exinfo.fileoffset = 1000;
  exinfo.length = static_cast<unsigned int>(sound.size());
  FMOD::Sound* pStream = nullptr;
  ASSERT_EQ(m_pSystem->createStream(path.c_str(), FMOD_SOFTWARE | FMOD_2D | FMOD_LOOP_NORMAL, &exinfo, &pStream), FMOD_OK);
  pStream->setLoopCount(0);
  FMOD::Channel* pChannel = play(pStream);
  const std::vector<float> out = mix(4000);
  EXPECT_NEAR(out[0], 0.75f, 1e-6f);
  EXPECT_NEAR(out[2 * 2999], 0.75f, 1e-6f);
  EXPECT_EQ(out[2 * 3000], 0.0f);
  EXPECT_FALSE(playing(pChannel));

  // A window that runs past the end of the file is refused, and so is a window of bytes that are no sound.
  exinfo.length = static_cast<unsigned int>(file.size());
  EXPECT_EQ(m_pSystem->createStream(path.c_str(), FMOD_2D, &exinfo, &pStream), FMOD_ERR_FILE_NOTFOUND);
  exinfo.fileoffset = 0;
  exinfo.length = 900;
  EXPECT_EQ(m_pSystem->createStream(path.c_str(), FMOD_2D, &exinfo, &pStream), FMOD_ERR_FILE_BAD);
}

// Loop count -1 never ends; loop count 0 plays once and its handle goes stale; loop count 2 plays three times.
TEST_F(FMODExMixer, LoopCountsDecideWhenAChannelEnds) {
  FMOD::Sound* pSound = memorySound(KvTestMakeConstantSound(gc_iRATE, 480, {0.5f}), FMOD_OPENMEMORY | FMOD_LOOP_NORMAL);
  pSound->setLoopCount(-1);
  FMOD::Channel* pForever = play(pSound);
  pSound->setLoopCount(0);
  FMOD::Channel* pOnce = play(pSound);
  pSound->setLoopCount(2);
  FMOD::Channel* pThrice = play(pSound);
  std::vector<float> out = mix(480 * 2 + 10);
  EXPECT_NEAR(out[2 * 100], 1.5f, 1e-6f);
  EXPECT_NEAR(out[2 * 500], 1.0f, 1e-6f);
  EXPECT_FALSE(playing(pOnce));
  float fVolume = 0.0f;
  EXPECT_EQ(pOnce->setVolume(0.1f), FMOD_ERR_INVALID_HANDLE);
  EXPECT_EQ(pOnce->getVolume(&fVolume), FMOD_ERR_INVALID_HANDLE);
  out = mix(480);
  EXPECT_FALSE(playing(pThrice));
  EXPECT_NEAR(out[2 * 470], 0.5f, 1e-6f);
  mix(48000);
  EXPECT_TRUE(playing(pForever));
  unsigned int uiPcm = 0;
  pForever->getPosition(&uiPcm, FMOD_TIMEUNIT_PCM);
  EXPECT_LT(uiPcm, 480u);
  // Without FMOD_LOOP_NORMAL the loop count is not used.
  FMOD::Sound* pPlain = memorySound(KvTestMakeConstantSound(gc_iRATE, 480, {0.5f}));
  pPlain->setLoopCount(-1);
  FMOD::Channel* pPlainChannel = play(pPlain);
  mix(500);
  EXPECT_FALSE(playing(pPlainChannel));
}

TEST_F(FMODExMixer, PauseKeepsThePosition) {
  FMOD::Sound* pSound = memorySound(KvTestMakeSine(gc_iRATE, 48000, 440.0, 0.5f));
  FMOD::Channel* pChannel = play(pSound);
  mix(4800);
  unsigned int uiBefore = 0;
  pChannel->getPosition(&uiBefore, FMOD_TIMEUNIT_MS);
  EXPECT_EQ(uiBefore, 100u);
  pChannel->setPaused(true);
  const std::vector<float> silent = mix(9600);
  EXPECT_EQ(KvTestPeak(silent, 0), 0.0f);
  unsigned int uiAfter = 0;
  pChannel->getPosition(&uiAfter, FMOD_TIMEUNIT_MS);
  EXPECT_EQ(uiAfter, uiBefore);
  EXPECT_TRUE(playing(pChannel));
  pChannel->setPaused(false);
  mix(4800);
  pChannel->getPosition(&uiAfter, FMOD_TIMEUNIT_MS);
  EXPECT_EQ(uiAfter, 200u);
}

// Gain = channel x group x parents x master; a group that reaches no output is not heard; a released group
// hands its channels to the master group.
TEST_F(FMODExMixer, GroupVolumesMultiplyUpTheHierarchy) {
  FMOD::Sound* pSound = memorySound(KvTestMakeConstantSound(gc_iRATE, 48000, {1.0f}));
  FMOD::ChannelGroup* pMaster = nullptr;
  FMOD::ChannelGroup* pParent = nullptr;
  FMOD::ChannelGroup* pChild = nullptr;
  FMOD::ChannelGroup* pLoose = nullptr;
  m_pSystem->getMasterChannelGroup(&pMaster);
  m_pSystem->createChannelGroup("parent", &pParent);
  m_pSystem->createChannelGroup("child", &pChild);
  m_pSystem->createChannelGroup("loose", &pLoose);
  ASSERT_EQ(pMaster->addGroup(pParent), FMOD_OK);
  ASSERT_EQ(pParent->addGroup(pChild), FMOD_OK);
  EXPECT_EQ(pChild->addGroup(pParent), FMOD_ERR_INVALID_PARAM);
  pMaster->setVolume(0.8f);
  pParent->setVolume(0.5f);
  pChild->setVolume(0.5f);
  FMOD::Channel* pChannel = play(pSound);
  pChannel->setVolume(0.5f);
  pChannel->setChannelGroup(pChild);
  EXPECT_NEAR(mix(16)[0], 0.5f * 0.5f * 0.5f * 0.8f, 1e-6f);
  pChannel->setChannelGroup(pLoose);
  EXPECT_EQ(mix(16)[0], 0.0f);
  pChannel->setChannelGroup(pChild);
  EXPECT_EQ(pChild->release(), FMOD_OK);
  EXPECT_NEAR(mix(16)[0], 0.5f * 0.8f, 1e-6f);
  char szName[32];
  pParent->getName(szName, sizeof(szName));
  EXPECT_STREQ(szName, "parent");
}

// A movie's sound written into the mix through the platform join: added at full scale whatever the master group's
// volume, only once the start amount is held (written in blocks as a movie's renderer plays them), what is held
// when the writer lets go plays out, the oldest frames go once a second is held, and once the system is released
// the installed sink is gone and writes to an input still held are dropped.
TEST_F(FMODExMixer, AMoviesSoundIsMixedFromItsInput) {
  FMOD::ChannelGroup* pMaster = nullptr;
  m_pSystem->getMasterChannelGroup(&pMaster);
  pMaster->setVolume(0.25f);
  SPlatformPcmInput opened;
  ASSERT_TRUE(PlatformOpenPcmInput(&opened));
  EXPECT_EQ(opened.iRate, gc_iRATE);
  const std::vector<std::int16_t> block(1024 * 2, 16384);
  opened.pInput->write(block.data(), 1024);
  EXPECT_EQ(mix(512)[0], 0.0f) << "one block is not yet the start amount";
  opened.pInput->write(block.data(), 1024);
  const std::vector<float> started = mix(3072);
  EXPECT_EQ(started[0], 0.5f);
  EXPECT_EQ(started[2047 * 2 + 1], 0.5f);
  EXPECT_EQ(started[2048 * 2], 0.0f) << "ran dry after what was written";
  opened.pInput->write(block.data(), 1024);
  std::weak_ptr<IPlatformPcmInput> pWeak = opened.pInput;
  opened.pInput.reset();
  EXPECT_EQ(mix(2048)[1023 * 2], 0.5f) << "a writer that let go has what it held played out";
  m_pSystem->update();
  EXPECT_TRUE(pWeak.expired()) << "and the mixer lets go of it";

  ASSERT_TRUE(PlatformOpenPcmInput(&opened));
  std::vector<std::int16_t> ramp(60000 * 2);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<std::int16_t>(i / 2 % 30000);
  opened.pInput->write(ramp.data(), 60000);
  EXPECT_EQ(mix(1)[0] * 32768.0f, static_cast<float>(60000 - 49152)) << "the oldest frames went";
  m_pSystem->release();
  m_pSystem = nullptr;
  SPlatformPcmInput none;
  EXPECT_FALSE(PlatformOpenPcmInput(&none));
  opened.pInput->write(block.data(), 1024);
}

// 128 channels play; the 129th play fails and steals nothing; a freed channel is given again under a new
// handle while the old handle stays invalid.
TEST_F(FMODExMixer, TheHundredAndTwentyNinthChannelFails) {
  FMOD::Sound* pSound = memorySound(KvTestMakeConstantSound(gc_iRATE, 480, {0.001f}));
  std::vector<FMOD::Channel*> channels;
  for (int i = 0; i < 128; ++i) {
    channels.push_back(play(pSound, true));
  }
  FMOD::Channel* pExtra = reinterpret_cast<FMOD::Channel*>(1);
  EXPECT_EQ(m_pSystem->playSound(FMOD_CHANNEL_FREE, pSound, false, &pExtra), FMOD_ERR_CHANNEL_ALLOC);
  EXPECT_EQ(pExtra, nullptr);
  int iPlaying = 0;
  m_pSystem->getChannelsPlaying(&iPlaying);
  EXPECT_EQ(iPlaying, 128);
  channels[5]->stop();
  FMOD::Channel* pReplacement = play(pSound, true);
  EXPECT_NE(pReplacement, channels[5]);
  EXPECT_EQ(channels[5]->setPaused(false), FMOD_ERR_INVALID_HANDLE);
  EXPECT_TRUE(playing(pReplacement));
  // Releasing the sound ends every channel that plays it.
  pSound->release();
  m_pSystem->getChannelsPlaying(&iPlaying);
  EXPECT_EQ(iPlaying, 0);
}

// A stream plays on one channel at a time; playing it again restarts it.
TEST_F(FMODExMixer, PlayingAStreamAgainRestartsIt) {
  const std::string path = KvTestTempDir("FMODExStreamAgain") + "/music.wav";
  KvTestWriteFile(path, KvTestMakeSoundFile(1, gc_iRATE, 4800, [](int f, int) { return f < 100 ? 0.9f : 0.1f; }));
  FMOD::Sound* pStream = nullptr;
  ASSERT_EQ(m_pSystem->createStream(path.c_str(), FMOD_2D, nullptr, &pStream), FMOD_OK);
  FMOD::Channel* pFirst = play(pStream);
  mix(1000);
  FMOD::Channel* pSecond = play(pStream);
  EXPECT_FALSE(playing(pFirst));
  EXPECT_NEAR(mix(10)[0], 0.9f, 1e-6f);
  EXPECT_TRUE(playing(pSecond));
}

// A stream whose file stalls (its reads held) plays out what was decoded ahead, then silence, and picks up
// where it stopped once the reads go on; the other stream plays every frame meanwhile and the calls keep
// returning. The held stream's samples count its frames, so a lost or repeated frame shows.
TEST_F(FMODExMixer, AStalledStreamStarvesOnlyItsOwnChannel) {
  const auto fnRamp = [](int iFrame) { return static_cast<float>(iFrame + 1) / 131072.0f; };
  const std::string dir = KvTestTempDir("FMODExStall");
  KvTestWriteFile(dir + "/ramp.wav", KvTestMakeSoundFile(1, gc_iRATE, 96000, [&](int f, int) { return fnRamp(f); }));
  KvTestWriteFile(dir + "/steady.wav", KvTestMakeConstantSound(gc_iRATE, 4800, {0.25f}));
  FMOD::Sound* pRamp = nullptr;
  FMOD::Sound* pSteady = nullptr;
  ASSERT_EQ(m_pSystem->createStream((dir + "/ramp.wav").c_str(), FMOD_2D, nullptr, &pRamp), FMOD_OK);
  ASSERT_EQ(m_pSystem->createStream((dir + "/steady.wav").c_str(), FMOD_LOOP_NORMAL, nullptr, &pSteady), FMOD_OK);
  pSteady->setLoopCount(-1);
  FMOD::Channel* pHeld = play(pRamp, true);
  FMOD::Channel* pOther = play(pSteady, true);
  pHeld->setPan(-1.0f);
  pOther->setPan(1.0f);
  pHeld->setPaused(false);
  pOther->setPaused(false);
  const std::vector<float> before = mix(4800);
  for (int f = 0; f < 4800; ++f) {
    ASSERT_EQ(before[2 * f], fnRamp(f)) << f;
    ASSERT_EQ(before[2 * f + 1], 0.25f) << f;
  }

  ASSERT_EQ(FMODExHoldStreamReads(pRamp, true), FMOD_OK);
  EXPECT_EQ(FMODExHoldStreamReads(memorySound(KvTestMakeConstantSound(gc_iRATE, 10, {0.1f})), true),
            FMOD_ERR_INVALID_PARAM);
  const std::vector<float> held = mix(48000);
  int iHeard = 0;
  for (int f = 0; f < 48000; ++f) {
    if (held[2 * f] != 0.0f) {
      ASSERT_EQ(iHeard, f) << "the held stream was heard again after it ran dry";
      ASSERT_EQ(held[2 * f], fnRamp(4800 + f)) << f;
      ++iHeard;
    }
    ASSERT_EQ(held[2 * f + 1], 0.25f) << f;
  }
  EXPECT_LT(iHeard, 24000) << "what was decoded ahead lasts no half second";
  EXPECT_TRUE(playing(pHeld));
  unsigned int uiPosition = 0;
  EXPECT_EQ(pHeld->getPosition(&uiPosition, FMOD_TIMEUNIT_PCM), FMOD_OK);
  EXPECT_EQ(uiPosition, static_cast<unsigned int>(4800 + iHeard));

  // Calls keep returning while the read is held, and the mix goes on with them.
  EXPECT_EQ(pOther->setVolume(0.5f), FMOD_OK);
  EXPECT_EQ(pHeld->setVolume(1.0f), FMOD_OK);
  EXPECT_EQ(m_pSystem->update(), FMOD_OK);
  int iPlaying = 0;
  EXPECT_EQ(m_pSystem->getChannelsPlaying(&iPlaying), FMOD_OK);
  EXPECT_EQ(iPlaying, 2);
  const std::vector<float> louder = mix(1000);
  EXPECT_EQ(louder[0], 0.0f);
  EXPECT_EQ(louder[1], 0.125f);

  // The read goes on: the stream continues from the frame after the last one heard.
  ASSERT_EQ(FMODExHoldStreamReads(pRamp, false), FMOD_OK);
  const std::vector<float> after = mix(4800);
  for (int f = 0; f < 4800; ++f) {
    ASSERT_EQ(after[2 * f], fnRamp(4800 + iHeard + f)) << f;
  }

  // A stream released while its read is held lets the read go.
  ASSERT_EQ(FMODExHoldStreamReads(pRamp, true), FMOD_OK);
  mix(48000);
  EXPECT_EQ(pRamp->release(), FMOD_OK);
  EXPECT_FALSE(playing(pHeld));
  EXPECT_EQ(mix(10)[1], 0.125f);
}

// Sounds in the formats the game ships: 16-bit WAV, Ogg Vorbis and FLAC decode to the level they were written at.
TEST_F(FMODExMixer, DecodesWavOggAndFlac) {
  for (int iFormat : {SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_OGG | SF_FORMAT_VORBIS, SF_FORMAT_FLAC | SF_FORMAT_PCM_16}) {
    FMOD::Sound* pSound = memorySound(KvTestMakeSoundFile(1, gc_iRATE, 9600, [](int f, int) {
      return 0.5f * static_cast<float>(std::sin(2.0 * 3.14159265358979 * 1000.0 * f / gc_iRATE));
    }, iFormat));
    ASSERT_NE(pSound, nullptr) << std::hex << iFormat;
    play(pSound);
    const std::vector<float> out = mix(9600);
    EXPECT_NEAR(KvTestPeak(out, 0, 2400), 0.5f, 0.02f) << std::hex << iFormat;
    EXPECT_NEAR(KvTestMeasureFrequency(out, 0, gc_iRATE), 1000.0, 3.0) << std::hex << iFormat;
    pSound->release();
  }
  // Bytes that are no sound, and a WAV cut in half (it would play its first half in silence), are refused.
  std::vector<std::uint8_t> cut = KvTestMakeSoundFile(1, gc_iRATE, 9600, [](int, int) { return 0.25f; },
                                                      SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  cut.resize(cut.size() / 2);
  for (const std::vector<std::uint8_t>& bad : {std::vector<std::uint8_t>(512, 0x33), cut}) {
    FMOD_CREATESOUNDEXINFO exinfo = {};
    exinfo.cbsize = sizeof(exinfo);
    exinfo.length = static_cast<unsigned int>(bad.size());
    FMOD::Sound* pSound = nullptr;
    EXPECT_EQ(m_pSystem->createSound(reinterpret_cast<const char*>(bad.data()), FMOD_OPENMEMORY, &exinfo, &pSound),
              FMOD_ERR_FILE_BAD);
    EXPECT_EQ(pSound, nullptr);
  }
}

// A stream whose data ends before its header says (FLAC or WAV cut in half) opens, says so, and plays to where its
// data ends, looping from there; the same stream whole is not cut short, and plays its whole length.
TEST_F(FMODExMixer, AStreamCutShortPlaysToWhereItsDataEnds) {
  constexpr int iFRAMES = 9600;
  // A rising ramp: where a pass starts again is where the level drops.
  const auto ramp = [](int iFrame, int) { return 0.5f * static_cast<float>(iFrame) / iFRAMES; };
  for (int iFormat : {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, SF_FORMAT_WAV | SF_FORMAT_PCM_16}) {
    for (bool bCut : {false, true}) {
      SCOPED_TRACE(testing::Message() << std::hex << iFormat << (bCut ? " cut" : " whole"));
      std::vector<std::uint8_t> bytes = KvTestMakeSoundFile(1, gc_iRATE, iFRAMES, ramp, iFormat);
      if (bCut) bytes.resize(bytes.size() / 2);
      FMOD::Sound* pStream = memorySound(bytes, FMOD_OPENMEMORY | FMOD_CREATESTREAM | FMOD_LOOP_NORMAL);
      ASSERT_NE(pStream, nullptr);
      bool bCutShort = !bCut;
      EXPECT_EQ(pStream->getCutShort(&bCutShort), FMOD_OK);
      EXPECT_EQ(bCutShort, bCut);
      play(pStream);
      const std::vector<float> out = mix(2 * iFRAMES);
      const auto left = [&out](int iFrame) { return out[2 * static_cast<size_t>(iFrame)]; };
      int iPass = 1;  // frames of the first pass
      while (iPass < 2 * iFRAMES && left(iPass) >= left(iPass - 1)) ++iPass;
      EXPECT_TRUE(bCut ? iPass > iFRAMES / 4 && iPass < iFRAMES * 3 / 4 : iPass == iFRAMES) << iPass;
      // What is heard is the file's own frames up to where its data ends, and again from its start.
      for (int i : {0, iPass / 2, iPass - 1}) {
        EXPECT_NEAR(left(i), ramp(i, 0), 1e-3f) << i;
        EXPECT_NEAR(left(iPass + i), ramp(i, 0), 1e-3f) << i;
      }
      pStream->release();
    }
  }
}

// A stream's length: its header's; FMODEX_LENGTH_UNKNOWN while its file gives none (a FLAC header's count of 0, an
// Ogg file without its last page) or none 32 bits hold, until it has been played to where its data ends (though its
// decoder, a third of a second ahead, has read that far), then the frames to there. A stream cut short loops where its data ends, and its position with it; one cut before its
// first frame does not open. 44.1 kHz files: the position is then the resampler's running count, not the cursor that
// every loop sets back.
TEST_F(FMODExMixer, AStreamsLengthIsKnownOncePlayedToWhereItsDataEnds) {
  constexpr int iRATE = 44100;
  constexpr int iFRAMES = 44100;
  constexpr unsigned int uiUNKNOWN = FMODEX_LENGTH_UNKNOWN;
  const int iFlac = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  const int iOgg = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
  // Noise, which neither format packs into a few bytes: the Ogg file's sound spans pages, and a cut falls inside it.
  const auto noise = [](int iFrame, int) {
    return static_cast<float>((static_cast<std::uint32_t>(iFrame) * 2654435761u) >> 16 & 0xFFFF) / 65536.0f - 0.5f;
  };
  // The FLAC header's total of samples: 36 bits from the low half of byte 21 (STREAMINFO comes first).
  const auto setFlacTotal = [](std::vector<std::uint8_t>* pBytes, std::uint64_t uiTotal) {
    (*pBytes)[21] = static_cast<std::uint8_t>(((*pBytes)[21] & 0xF0) | (uiTotal >> 32));
    for (int i = 0; i < 4; ++i) (*pBytes)[22 + i] = static_cast<std::uint8_t>(uiTotal >> (24 - 8 * i));
  };
  struct SCase {
    const char* pName;
    int iFormat;
    std::function<void(std::vector<std::uint8_t>*)> fnDamage;
    bool bCutShort;
    unsigned int uiLengthAtOpen;  // PCM frames
  };
  const SCase aCases[] = {
      {"flac", iFlac, [](std::vector<std::uint8_t>*) {}, false, iFRAMES},
      {"flac cut", iFlac, [](std::vector<std::uint8_t>* p) { p->resize(p->size() * 3 / 4); }, true, iFRAMES},
      {"flac without a count", iFlac, [&](std::vector<std::uint8_t>* p) { setFlacTotal(p, 0); }, false, uiUNKNOWN},
      {"flac of the largest count", iFlac, [&](std::vector<std::uint8_t>* p) { setFlacTotal(p, 0xFFFFFFFFFull); }, true,
       uiUNKNOWN},
      {"ogg", iOgg, [](std::vector<std::uint8_t>*) {}, false, iFRAMES},
      {"ogg cut", iOgg, [](std::vector<std::uint8_t>* p) { p->resize(p->size() - 100); }, true, uiUNKNOWN},
  };
  for (const SCase& test : aCases) {
    SCOPED_TRACE(test.pName);
    std::vector<std::uint8_t> bytes = KvTestMakeSoundFile(1, iRATE, iFRAMES, noise, test.iFormat);
    test.fnDamage(&bytes);
    // What the file holds, decoded whole as a sample.
    FMOD::Sound* pSample = memorySound(bytes);
    ASSERT_NE(pSample, nullptr);
    unsigned int uiHeld = 0;
    pSample->getLength(&uiHeld, FMOD_TIMEUNIT_PCM);
    pSample->release();

    FMOD::Sound* pStream = memorySound(bytes, FMOD_OPENMEMORY | FMOD_CREATESTREAM | FMOD_LOOP_NORMAL);
    ASSERT_NE(pStream, nullptr);
    bool bCutShort = !test.bCutShort;
    pStream->getCutShort(&bCutShort);
    EXPECT_EQ(bCutShort, test.bCutShort);
    unsigned int uiLength = 0;
    pStream->getLength(&uiLength, FMOD_TIMEUNIT_PCM);
    EXPECT_EQ(uiLength, test.uiLengthAtOpen);
    FMOD::Channel* pChannel = play(pStream);
    const auto mixedFor = [](std::uint64_t uiSourceFrames) {
      return static_cast<unsigned int>(uiSourceFrames * gc_iRATE / iRATE);
    };
    // 100 ms before its end, then 100 ms into its second pass.
    mix(mixedFor(uiHeld - iRATE / 10));
    pStream->getLength(&uiLength, FMOD_TIMEUNIT_PCM);
    EXPECT_EQ(uiLength, test.uiLengthAtOpen);
    mix(mixedFor(uiHeld + iRATE / 10) - mixedFor(uiHeld - iRATE / 10));
    pStream->getLength(&uiLength, FMOD_TIMEUNIT_PCM);
    EXPECT_EQ(uiLength, test.uiLengthAtOpen == uiUNKNOWN ? uiHeld : test.uiLengthAtOpen);
    unsigned int uiMs = 0;
    EXPECT_EQ(pChannel->getPosition(&uiMs, FMOD_TIMEUNIT_MS), FMOD_OK);
    EXPECT_NEAR(uiMs, 100u, 2u) << uiHeld << " " << uiLength;
    pStream->release();
  }
  std::vector<std::uint8_t> bytes = KvTestMakeSoundFile(1, iRATE, iFRAMES, noise, iOgg);
  // Cut 20 bytes into its sound, past its first two pages, which hold its headers.
  const std::vector<SKvTestOggPage> pages = KvTestOggPages(bytes);
  ASSERT_GT(pages.size(), 2u);
  bytes.resize(pages[2].uiOffset + 20);
  FMOD_CREATESOUNDEXINFO exinfo = {};
  exinfo.cbsize = sizeof(exinfo);
  exinfo.length = static_cast<unsigned int>(bytes.size());
  FMOD::Sound* pStream = nullptr;
  EXPECT_EQ(m_pSystem->createStream(reinterpret_cast<const char*>(bytes.data()), FMOD_OPENMEMORY, &exinfo, &pStream),
            FMOD_ERR_FILE_BAD);
}

// Sound files that are no sound, or no file: each is refused with its code and the reason, in the file door's
// words for what is not a regular file (a pipe with no writer is never waited on, whatever names it) and in
// libsndfile's or the library's own for bytes that do not decode. A sound made afterwards leaves no reason.
enum class ESoundFile { Bytes, Pipe, SelfLoop };

struct SBadSoundFile {
  const char* pName;
  ESoundFile eKind;
  std::vector<std::uint8_t> (*pfnBytes)();  // for ESoundFile::Bytes
  bool bStream;
  FMOD_RESULT eResult;
  const char* pWhy;  // FMODExGetLastProblem begins with it
};

void PrintTo(const SBadSoundFile& bad, std::ostream* pOut) { *pOut << bad.pName; }

std::vector<std::uint8_t> textOf(const std::string& text) { return std::vector<std::uint8_t>(text.begin(), text.end()); }

const SBadSoundFile gc_aBadSoundFiles[] = {
    {"PipeAsSample", ESoundFile::Pipe, nullptr, false, FMOD_ERR_FILE_NOTFOUND, "it is a pipe"},
    {"PipeAsStream", ESoundFile::Pipe, nullptr, true, FMOD_ERR_FILE_NOTFOUND, "it is a pipe"},
    {"SelfLoop", ESoundFile::SelfLoop, nullptr, true, FMOD_ERR_FILE_NOTFOUND, "it is a symlink loop"},
    // A playlist naming the pipe beside it: text, which is no sound.
    {"PlaylistOfAPipe", ESoundFile::Bytes, [] { return textOf("#EXTM3U\n#EXTINF:2,\npipe.wav\n"); }, true,
     FMOD_ERR_FILE_BAD, "libsndfile: Format not recognised."},
    {"Zeroed", ESoundFile::Bytes, [] { return std::vector<std::uint8_t>(512, 0); }, false, FMOD_ERR_FILE_BAD,
     "libsndfile: Format not recognised."},
    {"WaveCutInHalf", ESoundFile::Bytes,
     [] {
       std::vector<std::uint8_t> cut = KvTestMakeSoundFile(1, gc_iRATE, 9600, [](int, int) { return 0.25f; },
                                                           SF_FORMAT_WAV | SF_FORMAT_PCM_16);
       cut.resize(cut.size() / 2);
       return cut;
     },
     false, FMOD_ERR_FILE_BAD, "its RIFF header gives more bytes than the file holds"},
};

class BadSoundFile : public FMODExMixer, public ::testing::WithParamInterface<SBadSoundFile> {};

TEST_P(BadSoundFile, IsRefusedWithTheReason) {
  const SBadSoundFile& bad = GetParam();
  const std::string dir = KvTestTempDir(std::string("FMODExBad") + bad.pName);
  const std::string path = dir + "/sound.wav";
  ASSERT_EQ(mkfifo((dir + "/pipe.wav").c_str(), 0600), 0);
  if (bad.eKind == ESoundFile::Bytes) {
    KvTestWriteFile(path, bad.pfnBytes());
  } else if (bad.eKind == ESoundFile::Pipe) {
    std::filesystem::create_symlink("pipe.wav", path);
  } else {
    std::filesystem::create_symlink("sound.wav", path);
  }
  FMOD::Sound* pSound = nullptr;
  const FMOD_MODE eMode = FMOD_SOFTWARE | FMOD_2D;
  EXPECT_EQ(bad.bStream ? m_pSystem->createStream(path.c_str(), eMode, nullptr, &pSound)
                        : m_pSystem->createSound(path.c_str(), eMode, nullptr, &pSound),
            bad.eResult);
  EXPECT_EQ(pSound, nullptr);
  const std::string why = FMODExGetLastProblem();
  EXPECT_EQ(why.rfind(bad.pWhy, 0), 0u) << why;
  EXPECT_TRUE(std::filesystem::is_fifo(dir + "/pipe.wav"));
  pSound = memorySound(KvTestMakeConstantSound(gc_iRATE, 480, {0.5f}));
  EXPECT_STREQ(FMODExGetLastProblem(), "");
}

INSTANTIATE_TEST_SUITE_P(EachKind, BadSoundFile, ::testing::ValuesIn(gc_aBadSoundFiles),
                         [](const ::testing::TestParamInfo<SBadSoundFile>& info) {
                           return std::string(info.param.pName);
                         });

// The mix is written only to a regular file: a pipe in its place (nobody reading it) is refused at once with a line
// naming it and why, and the output runs without it.
TEST(FMODExOutput, AWavPathThatIsAPipeIsRefusedWithoutWaiting) {
  const std::string wav = KvTestTempDir("FMODExWavPipe") + "/mix.wav";
  ASSERT_EQ(mkfifo(wav.c_str(), 0600), 0);
  FMODExSetOutput(EFMODExOutput::Manual, wav);
  FMOD::System* pSystem = nullptr;
  ASSERT_EQ(FMOD_System_Create(&pSystem), FMOD_OK);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(pSystem->init(32, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(said, "FMODEx: cannot write the mix to [" + wav + "]: it is a pipe\n");
  EXPECT_EQ(FMODExMix(pSystem, nullptr, 480), FMOD_OK);
  pSystem->release();
  FMODExClearOutput();
  EXPECT_TRUE(std::filesystem::is_fifo(wav));
}

// The manual output also writes what it mixes to a WAV file when asked.
TEST(FMODExOutput, ManualOutputWritesItsMixToAWavFile) {
  const std::string wav = KvTestTempDir("FMODExWav") + "/mix.wav";
  FMODExSetOutput(EFMODExOutput::Manual, wav);
  FMOD::System* pSystem = nullptr;
  ASSERT_EQ(FMOD_System_Create(&pSystem), FMOD_OK);
  ASSERT_EQ(pSystem->init(32, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
  FMOD::Sound* pSound = KvTestCreateSound(pSystem, KvTestMakeConstantSound(gc_iRATE, 4800, {0.5f, -0.25f}));
  ASSERT_NE(pSound, nullptr);
  pSystem->playSound(FMOD_CHANNEL_FREE, pSound, false, nullptr);
  ASSERT_EQ(FMODExMix(pSystem, nullptr, 9600), FMOD_OK);
  EXPECT_EQ(FMODExGetMixedFrames(pSystem), 9600u);
  pSystem->release();
  FMODExClearOutput();

  SF_INFO info = {};
  SNDFILE* pFile = sf_open(wav.c_str(), SFM_READ, &info);
  ASSERT_NE(pFile, nullptr);
  EXPECT_EQ(info.frames, 9600);
  EXPECT_EQ(info.channels, 2);
  EXPECT_EQ(info.samplerate, gc_iRATE);
  std::vector<float> frames(9600 * 2);
  sf_readf_float(pFile, frames.data(), 9600);
  sf_close(pFile);
  EXPECT_NEAR(frames[0], 0.5f, 1e-3f);
  EXPECT_NEAR(frames[1], -0.25f, 1e-3f);
  EXPECT_EQ(frames[2 * 5000], 0.0f);
}

}  // namespace
