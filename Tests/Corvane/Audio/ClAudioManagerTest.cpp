// The audio manager and its cues, heard through the stand-in's manual output: banks from archives, when a cue
// starts, the limits, stopping, volume, mute, pause, unloading, stale handles and the start-up failures.
#include <cmath>
#include <limits>

#include "Corvane/Math/KvRandom.h"

#include "Platform/FMODEx/FMODEx.h"
#include "Platform/Win32/Win32Files.h"
#include "Tests/Corvane/Audio/AudioManagerTestSupport.h"

namespace {

const char* const gc_pszCUES = R"({
  "bank": "VOSK_SFX", "releaseTime": 0.25,
  "cues": [
    {"name": "Hit", "sources": [{"file": "Dc05.wav", "frequency": 48000}], "volume": 0.8},
    {"name": "Quiet", "sources": [{"file": "Dc02.wav", "frequency": 48000}]},
    {"name": "Loop", "sources": [{"file": "Loop.wav", "frequency": 48000}], "loop": true, "volume": 0.5},
    {"name": "Pitched", "sources": [{"file": "Sine24k.wav", "frequency": 24000}], "pitch": 2.0, "pan": 0.5},
    {"name": "Unpitched", "sources": [{"file": "Sine24k.wav"}], "pitch": 2.0},
    {"name": "Music", "sources": [{"file": "Music.wav", "store": "plain"}], "stream": true, "loop": true},
    {"name": "Missing", "sources": [{"file": "Dc05.wav", "weight": 0.5}, {"file": "Gone.wav", "weight": 0.5}]}
  ]})";

class AudioCues : public AudioManagerTest {
 protected:
  // The sounds and the bank, packed into an archive (the bank compressed and encrypted, the music plain).
  void SetUp() override {
    AudioManagerTest::SetUp();
    packArchive("SND", {packInput("Audio\\VOSK_SFX.iAudioSB", compileBank(gc_pszCUES), true, true),
                        packInput("Audio\\Dc05.wav", KvTestMakeConstantSound(gc_iTEST_RATE, 9600, {0.5f}), true),
                        packInput("Audio\\Dc02.wav", KvTestMakeConstantSound(gc_iTEST_RATE, 48000, {0.2f})),
                        packInput("Audio\\Loop.wav", KvTestMakeConstantSound(gc_iTEST_RATE, 2400, {0.4f}), true, true),
                        packInput("Audio\\Sine24k.wav", KvTestMakeSine(24000, 24000, 500.0, 0.5f)),
                        packInput("Audio\\Music.wav", KvTestMakeConstantSound(gc_iTEST_RATE, 4800, {0.3f, 0.6f}))});
    start();
    ASSERT_EQ(ClAudioManager::loadSoundBank(), 1);
  }
};

// The bank comes from the archive; a cue played in one frame is heard from the next update on, once, and its
// slot is given back when it has ended. A second load is refused and builds nothing.
TEST_F(AudioCues, APlayedCueIsHeardFromTheNextUpdate) {
  EXPECT_EQ(ClAudioManager::loadSoundBank(), 0);
  ASSERT_NE(ClAudioManager::findCue(KvStrHash("Hit")), nullptr);
  ClAudioManager::playCue(KvStrHash("Hit"));
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), 1);
  EXPECT_EQ(ClAudioManager::getPendingCueCount(), 1);
  EXPECT_EQ(KvTestPeak(mix(960), 0), 0.0f);
  std::vector<float> heard = frame();
  EXPECT_NEAR(heard[0], 0.4f, 1e-6f);
  EXPECT_NEAR(heard[1], 0.4f, 1e-6f);
  EXPECT_EQ(ClAudioManager::getPendingCueCount(), 0);
  for (int i = 0; i < 20 && ClAudioManager::getActiveCueCount() > 0; ++i) {
    frame();
  }
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), 0);
  EXPECT_EQ(channelsPlaying(), 0);
  // A hash that no bank has does nothing.
  ClAudioManager::playCue(KvStrHash("NoSuchCue"));
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), 0);
  // Stopped before its first update, a cue is never heard.
  SCueHandle held = ClAudioManager::createCueInstanceByName("Hit");
  ClAudioManager::stopCue(&held, 0.5f);
  EXPECT_TRUE(held.isNull());
  EXPECT_EQ(KvTestPeak(frame(), 0), 0.0f);
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), 0);
}

// A held cue outlives its sound until it is stopped or let go as fire and forget, which the next update releases;
// an instance taken again from its cue's pool is held only when its taker says so.
TEST_F(AudioCues, AHeldCueStaysUntilItIsLetGo) {
  ClAudioManager::playCue(KvStrHash("Hit"));
  for (int i = 0; i < 20 && ClAudioManager::getActiveCueCount() > 0; ++i) {
    frame();
  }
  ASSERT_EQ(ClAudioManager::getActiveCueCount(), 0);
  SCueHandle hit = ClAudioManager::createCueInstance(KvStrHash("Hit"));
  ClAudioManager::setCueHeld(&hit);
  for (int i = 0; i < 20; ++i) {
    frame();
  }
  EXPECT_EQ(channelsPlaying(), 0);
  EXPECT_NE(ClAudioManager::getCueInstance(hit), nullptr) << "a held cue is released by its holder";
  ClAudioManager::setCueFireAndForget(&hit);
  frame();
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), 0);
  EXPECT_EQ(ClAudioManager::getCueInstance(hit), nullptr);
}

// 128 active cues, 64 instances of one cue, 32 pending starts.
TEST_F(AudioCues, TheLimitsOfCuesInstancesAndPendingStarts) {
  std::vector<SCueHandle> loops;
  for (int i = 0; i < 64; ++i) {
    loops.push_back(ClAudioManager::createCueInstanceByName("Loop"));
    ASSERT_FALSE(loops.back().isNull()) << i;
    if (i % 16 == 15) {
      frame();
    }
  }
  EXPECT_TRUE(ClAudioManager::createCueInstanceByName("Loop").isNull());
  std::vector<SCueHandle> quiet;
  for (int i = 0; i < 64; ++i) {
    quiet.push_back(ClAudioManager::createCueInstanceByName("Quiet"));
    ASSERT_FALSE(quiet.back().isNull()) << i;
    if (i % 16 == 15) {
      frame();
    }
  }
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), 128);
  EXPECT_TRUE(ClAudioManager::createCueInstanceByName("Hit").isNull());
  EXPECT_EQ(channelsPlaying(), 128);
  for (SCueHandle& handle : quiet) {
    ClAudioManager::stopCue(&handle, 0.0f);
  }
  // 40 held cues asked for in one frame: 32 wait for the update, the other 8 never get a channel and the update
  // releases them although they are held.
  std::vector<SCueHandle> burst;
  for (int i = 0; i < 40; ++i) {
    burst.push_back(ClAudioManager::createCueInstanceByName("Quiet"));
  }
  EXPECT_EQ(ClAudioManager::getPendingCueCount(), 32);
  frame();
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), 64 + 32);
  int iLive = 0;
  for (const SCueHandle& handle : burst) {
    iLive += ClAudioManager::getCueInstance(handle) != nullptr ? 1 : 0;
  }
  EXPECT_EQ(iLive, 32);
}

// stopCue at 0 and -2 (and NaN) stops at once; 0.5 fades linearly over 0.5 s of gameplay time, then the update
// releases the cue.
TEST_F(AudioCues, StopCueAtOnceOrAfterAFade) {
  for (float fFade : {0.0f, -2.0f, std::numeric_limits<float>::quiet_NaN()}) {
    SCueHandle handle = ClAudioManager::createCueInstanceByName("Loop");
    frame();
    ASSERT_EQ(channelsPlaying(), 1);
    ClAudioManager::stopCue(&handle, fFade);
    EXPECT_TRUE(handle.isNull());
    EXPECT_EQ(ClAudioManager::getActiveCueCount(), 0);
    EXPECT_EQ(channelsPlaying(), 0);
  }
  SCueHandle handle = ClAudioManager::createCueInstanceByName("Loop");
  SCueHandle copy = handle;
  EXPECT_NEAR(frame()[0], 0.2f, 1e-6f);
  ClAudioManager::stopCue(&handle, 0.5f);
  EXPECT_TRUE(handle.isNull());
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), 1);
  std::vector<float> level;
  for (int i = 0; i < 5; ++i) {
    level.push_back(frame(0.05f)[0]);
  }
  for (int i = 0; i < 5; ++i) {
    EXPECT_NEAR(level[i], 0.2f * (1.0f - 0.1f * static_cast<float>(i + 1)), 1e-5f) << i;
  }
  // The gameplay clock stands still: so does the fade.
  ClClock::m_aClockFrames[1].m_fFrameTime = 0.0f;
  ClClock::m_aClockFrames[0].m_fFrameTime = 0.05f;
  ClAudioManager::update();
  EXPECT_NEAR(mix(100)[0], 0.1f, 1e-5f);
  for (int i = 0; i < 4; ++i) {
    frame(0.05f);
  }
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), 1);
  frame(0.05f);
  frame(0.05f);
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), 0);
  EXPECT_EQ(ClAudioManager::getCueInstance(copy), nullptr);
}

// The volume is clamped, heard at the next update, and an unchanged value makes no call.
TEST_F(AudioCues, SetCueVolumeClampsAndMakesNoCallForAnUnchangedValue) {
  SCueHandle handle = ClAudioManager::createCueInstanceByName("Loop");
  frame();
  ClAudioManager::setCueVolume(&handle, 1.7f);
  EXPECT_EQ(ClAudioManager::getCueInstance(handle)->m_fVolume, 1.0f);
  ClAudioManager::setCueVolume(&handle, -0.2f);
  EXPECT_EQ(ClAudioManager::getCueInstance(handle)->m_fVolume, 0.0f);
  ClAudioManager::setCueVolume(&handle, 0.25f);
  EXPECT_NEAR(mix(10)[0], 0.2f, 1e-6f);
  FMODExResetCallCounts();
  EXPECT_NEAR(frame()[0], 0.1f, 1e-6f);
  EXPECT_EQ(FMODExGetCallCount(EFMODExCall::ChannelSetVolume), 1u);
  ClAudioManager::setCueVolume(&handle, 0.25f);
  frame();
  frame();
  EXPECT_EQ(FMODExGetCallCount(EFMODExCall::ChannelSetVolume), 1u);
  EXPECT_EQ(FMODExGetCallCount(EFMODExCall::GroupSetVolume), 0u);
  ClAudioManager::setCueVolume(nullptr, 0.3f);
  ClAudioManager::stopCue(&handle, 0.0f);
}

// Each instance carries its own volume: two instances of one source do not change each other's level.
TEST_F(AudioCues, InstancesOfOneSourceKeepTheirOwnVolumes) {
  SCueHandle first = ClAudioManager::createCueInstanceByName("Loop");
  SCueHandle second = ClAudioManager::createCueInstanceByName("Loop");
  ClAudioManager::setCueVolume(&first, 1.0f);
  ClAudioManager::setCueVolume(&second, 0.25f);
  EXPECT_NEAR(frame()[0], 0.4f * 1.0f + 0.4f * 0.25f, 1e-6f);
  ClAudioManager::stopCue(&first, 0.0f);
  EXPECT_NEAR(frame()[0], 0.4f * 0.25f, 1e-6f);
}

// Pitch sets the channel's frequency from the source's default frequency; without one it is not used. Pan
// places a mono cue.
TEST_F(AudioCues, PitchAndPanReachTheChannel) {
  ClAudioManager::playCue(KvStrHash("Pitched"));
  std::vector<float> heard = frame(0.2f);
  EXPECT_NEAR(KvTestMeasureFrequency(heard, 0, gc_iTEST_RATE), 1000.0, 5.0);
  EXPECT_NEAR(KvTestPeak(heard, 0, 100), 0.5f * 0.5f, 0.01f);
  EXPECT_NEAR(KvTestPeak(heard, 1, 100), 0.5f, 0.01f);
  ClAudioManager::update();
  FMODExResetCallCounts();
  ClAudioManager::playCue(KvStrHash("Unpitched"));
  heard = frame(0.2f);
  EXPECT_NEAR(KvTestMeasureFrequency(heard, 0, gc_iTEST_RATE), 500.0, 3.0);
  EXPECT_EQ(FMODExGetCallCount(EFMODExCall::ChannelSetFrequency), 0u);
}

// A streamed cue plays in place from a plain archive entry, and its channel has priority 64.
TEST_F(AudioCues, AStreamedCuePlaysFromTheArchive) {
  SCueHandle music = ClAudioManager::createCueInstanceByName("Music");
  const std::vector<float> heard = frame(0.2f);
  EXPECT_NEAR(heard[0], 0.3f, 1e-6f);
  EXPECT_NEAR(heard[1], 0.6f, 1e-6f);
  EXPECT_NEAR(heard[2 * 9000], 0.3f, 1e-6f);  // looped past its 4800 frames
  int iPriority = 0;
  ClAudioManager::getCueInstance(music)->mp_pChannel->getPriority(&iPriority);
  EXPECT_EQ(iPriority, 64);
  ClAudioManager::stopCue(&music, 0.0f);
}

// A source missing from archive and disk: the instances that draw it are refused, the others play.
TEST_F(AudioCues, AMissingSourceRefusesOnlyTheInstancesThatDrawIt) {
  sfmtInitGenRand(77);
  int iPlayed = 0;
  int iRefused = 0;
  for (int i = 0; i < 40; ++i) {
    SCueHandle handle = ClAudioManager::createCueInstanceByName("Missing");
    if (handle.isNull()) {
      ++iRefused;
    } else {
      ++iPlayed;
      ClAudioManager::stopCue(&handle, 0.0f);
    }
  }
  EXPECT_GT(iPlayed, 5);
  EXPECT_GT(iRefused, 5);
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), 0);
}

// Pause keeps each channel where it was; resume goes on from there.
TEST_F(AudioCues, PauseAndResumeAllCues) {
  SCueHandle quiet = ClAudioManager::createCueInstanceByName("Quiet");
  frame(0.1f);
  ClAudioManager::pauseAllCues();
  ClFMODCueInstance* pInstance = ClAudioManager::getCueInstance(quiet);
  EXPECT_EQ(pInstance->m_uiPausedPosition, 100u);
  EXPECT_EQ(KvTestPeak(frame(0.3f), 0), 0.0f);
  ClAudioManager::resumeAllCues();
  unsigned int uiMs = 0;
  pInstance->mp_pChannel->getPosition(&uiMs, FMOD_TIMEUNIT_MS);
  EXPECT_EQ(uiMs, 100u);
  EXPECT_NEAR(frame(0.1f)[0], 0.2f, 1e-6f);
  pInstance->mp_pChannel->getPosition(&uiMs, FMOD_TIMEUNIT_MS);
  EXPECT_EQ(uiMs, 200u);
  ClAudioManager::stopCue(&quiet, 0.0f);
}

// Unloading the bank while its cues play (and wait to start) stops them and releases their handles.
TEST_F(AudioCues, UnloadingWhilePlaying) {
  SCueHandle loop = ClAudioManager::createCueInstanceByName("Loop");
  SCueHandle music = ClAudioManager::createCueInstanceByName("Music");
  frame();
  SCueHandle waiting = ClAudioManager::createCueInstanceByName("Quiet");
  EXPECT_EQ(ClAudioManager::unloadSoundBank(KvStrHash("VOSK_SFX")), 1);
  EXPECT_EQ(ClAudioManager::unloadSoundBank(KvStrHash("VOSK_SFX")), 0);
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), 0);
  EXPECT_EQ(ClAudioManager::getPendingCueCount(), 0);
  EXPECT_EQ(channelsPlaying(), 0);
  EXPECT_EQ(ClAudioManager::getCueInstance(loop), nullptr);
  ClAudioManager::stopCue(&music, 0.0f);
  ClAudioManager::setCueVolume(&waiting, 1.0f);
  EXPECT_EQ(KvTestPeak(frame(), 0), 0.0f);
  EXPECT_EQ(ClAudioManager::findCue(KvStrHash("Loop")), nullptr);
  EXPECT_EQ(ClAudioManager::loadSoundBank(), 1);
}

// A handle whose cue was released under it (its start found no pending entry) does nothing, even once its slot
// belongs to another cue.
TEST_F(AudioCues, StaleHandlesDoNothing) {
  std::vector<SCueHandle> burst;
  for (int i = 0; i < 33; ++i) {
    burst.push_back(ClAudioManager::createCueInstanceByName("Loop"));
  }
  const SCueHandle stale = burst.back();
  frame();
  EXPECT_EQ(ClAudioManager::getCueInstance(stale), nullptr);
  for (SCueHandle& handle : burst) {
    if (ClAudioManager::getCueInstance(handle) != nullptr) {
      ClAudioManager::stopCue(&handle, 0.0f);
    }
  }
  // Cues are taken until one lands in the stale handle's slot.
  std::vector<SCueHandle> others;
  SCueHandle fresh;
  for (int i = 0; i < 60 && fresh.mp_pSlot != stale.mp_pSlot; ++i) {
    if (!fresh.isNull()) {
      others.push_back(fresh);
    }
    fresh = ClAudioManager::createCueInstanceByName("Quiet");
    frame();
  }
  ASSERT_EQ(fresh.mp_pSlot, stale.mp_pSlot);
  for (SCueHandle& other : others) {
    ClAudioManager::stopCue(&other, 0.0f);
  }
  SCueHandle staleCopy = stale;
  ClAudioManager::setCueVolume(&staleCopy, 0.0f);
  ClAudioManager::stopCue(&staleCopy, 0.0f);
  EXPECT_TRUE(staleCopy.isNull());
  EXPECT_NEAR(frame()[0], 0.2f, 1e-6f);
  ASSERT_NE(ClAudioManager::getCueInstance(fresh), nullptr);
  EXPECT_EQ(ClAudioManager::getCueInstance(fresh)->m_fVolume, 1.0f);
  ClAudioManager::stopCue(&fresh, 0.0f);
}

// "AUDIO_MUTE_ALL" silences every channel; cues still end and are released.
TEST_F(AudioManagerTest, MuteAllSilencesButCuesStillFinish) {
  settings("AUDIO_MUTE_ALL 1\n");
  writeLoose("Audio/VOSK_SFX.iAudioSB", compileBank(gc_pszCUES));
  writeLoose("Audio/Dc05.wav", KvTestMakeConstantSound(gc_iTEST_RATE, 900, {0.5f}));
  start();
  ASSERT_EQ(ClAudioManager::loadSoundBank(), 1);
  ClAudioManager::playCue(KvStrHash("Hit"));
  EXPECT_EQ(KvTestPeak(frame(), 0), 0.0f);
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), 1);
  frame();
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), 0);
}

// A bank that fails its checks is refused with a line naming the file; nothing is left open.
TEST_F(AudioManagerTest, ADamagedBankIsRefusedByName) {
  std::vector<std::uint8_t> bank = compileBank(gc_pszCUES);
  bank[1] = 0xFF;  // the index offset now points past the end
  writeLoose("Audio/VOSK_SFX.iAudioSB", bank);
  start();
  testing::internal::CaptureStderr();
  EXPECT_EQ(ClAudioManager::loadSoundBank(), 0);
  const std::string report = testing::internal::GetCapturedStderr();
  EXPECT_NE(report.find("Audio\\VOSK_SFX.iAudioSB: the index"), std::string::npos) << report;
  EXPECT_EQ(ClAudioManager::findCue(KvStrHash("Hit")), nullptr);
  std::filesystem::remove(m_root + "/Audio/VOSK_SFX.iAudioSB");
  EXPECT_EQ(ClAudioManager::loadSoundBank(), 0);
}

// A streamed source whose archive entry is compressed is read into memory and streamed from there; a loose
// streamed file plays by its path.
TEST_F(AudioManagerTest, PackedOrLooseStreamsStillPlay) {
  const char* pszCues = R"({"bank": "VOSK_SFX", "cues": [
      {"name": "Packed", "sources": [{"file": "Packed.wav"}], "stream": true},
      {"name": "Loose", "sources": [{"file": "Loose.wav"}], "stream": true}]})";
  packArchive("PKD", {packInput("Audio\\VOSK_SFX.iAudioSB", compileBank(pszCues)),
                      packInput("Audio\\Packed.wav", KvTestMakeConstantSound(gc_iTEST_RATE, 4800, {0.25f}), true)});
  writeLoose("Audio/Loose.wav", KvTestMakeConstantSound(gc_iTEST_RATE, 4800, {0.125f}));
  start();
  ASSERT_EQ(ClAudioManager::loadSoundBank(), 1);
  ClAudioManager::playCue(KvStrHash("Packed"));
  ClAudioManager::playCue(KvStrHash("Loose"));
  EXPECT_NEAR(frame()[0], 0.375f, 1e-6f);
}

// The start-up failures of the sound library show their message keys (no string table is loaded yet when
// audio starts) and stop with the fatal error; nothing is left behind.
TEST_F(AudioManagerTest, StartUpFailuresShowTheirMessageKeys) {
  struct SCase {
    std::uint32_t uiFault;
    const char* pTitle;
    const char* pText;
    const char* pFatal;
  };
  const SCase cases[] = {
      {FMODEX_FAULT_MEMORY, "MB_FMOD_ISSUE_TITLE", "MB_FMOD_COULD_NOT_CREATE_MEM_INIT",
       "FMOD system could not be created!"},
      {FMODEX_FAULT_CREATE, "MB_FMOD_ISSUE_TITLE", "MB_FMOD_COULD_NOT_CREATE_SYSTEM", "FMOD system could not be created!"},
      {FMODEX_FAULT_CHANNELS, "MB_FMOD_ISSUE_TITLE", "MB_FMOD_COULD_NOT_CREATE_PSYSTEM_CHANNELS",
       "FMOD could not set software channels! Error code [0x00000006]!"},
      {FMODEX_FAULT_INIT, "FMOD Audio initialization error",
       "resolve the issue:\n\nFMOD_ERR_OUTPUT_INIT, /* The output could not be started. */",
       "FMOD system could not initialize! Error code [0x0000000B]!"},
  };
  for (const SCase& test : cases) {
    std::string title;
    std::string text;
    Win32SetMessageBoxHook([&](LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
      text = lpText;
      title = lpCaption;
      EXPECT_EQ(uType & MB_ICONMASK, MB_ICONERROR);
      return IDOK;
    });
    FMODExSetFaults(test.uiFault);
    EXPECT_KV_FATAL(ClAudioManager::initialize(), test.pFatal);
    Win32SetMessageBoxHook(nullptr);
    EXPECT_EQ(title, test.pTitle);
    EXPECT_NE(text.find(test.pText), std::string::npos) << text;
    EXPECT_FALSE(ClAudioManager::isInitialized());
  }
  FMODExSetFaults(FMODEX_FAULT_NO_DEVICE);
  FMODExSetOutput(EFMODExOutput::Device);
  start();
  EXPECT_EQ(FMODExGetOutput(ClAudioManager::getSystem()), EFMODExOutput::Null);
}

}  // namespace
