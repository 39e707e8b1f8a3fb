// Bank checks (what a damaged bank is refused for), the weighted source choice and its random draws, the
// fader, and the audio lock held by another thread while the manager updates.
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "Corvane/Audio/ClAudioFader.h"
#include "Corvane/Math/KvRandom.h"
#include "Platform/FMODEx/FMODEx.h"
#include "Tests/Corvane/Audio/AudioManagerTestSupport.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

const char* const gc_pszTWO_CUES = R"({"bank": "VOSK_SFX", "releaseTime": 0.5, "cues": [
  {"name": "Three", "sources": [{"file": "A.wav", "weight": 0.25}, {"file": "B.wav", "weight": 0.25},
                                {"file": "C.wav", "weight": 0.5}], "volume": {"min": 0.5, "max": 0.7},
   "ducking": [{"category": 0, "duckTo": 0.3, "fadeIn": 0.2, "fadeOut": 0.3, "hold": 2.0}],
   "multichannel": [{"type": 1, "channelA": 0, "channelB": 1, "level": 0.5, "categories": [2]}]},
  {"name": "One", "sources": [{"file": "A.wav", "length": 0.5, "frequency": 48000}], "categories": [1, 2]}]})";

std::string bankProblemOf(const std::vector<std::uint8_t>& bank) {
  char szProblem[512] = {};
  return ClSoundBank::check(bank.data(), bank.size(), szProblem, sizeof(szProblem)) == 1 ? "" : szProblem;
}

// The cue of that name in a bank (the index is sorted by name hash).
SPrerenderedCue& cueAt(std::vector<std::uint8_t>& bank, const char* pName) {
  for (i32 i = 0;; ++i) {
    if (ClSoundBank::entry(bank.data(), i)->m_uiCueNameHash == KvStrHash(pName)) {
      return *const_cast<SPrerenderedCue*>(ClSoundBank::cue(bank.data(), i));
    }
  }
}

// The builder's output passes the engine's checks; each kind of damage is refused with what is wrong.
TEST(SoundBankCheck, RefusesWhatWouldLeadOutsideTheFileOrTheTables) {
  const std::vector<std::uint8_t> good = AudioManagerTest::compileBank(gc_pszTWO_CUES);
  EXPECT_EQ(bankProblemOf(good), "");
  EXPECT_EQ(ClSoundBank::header(good.data())->m_uiBankNameHash, 0x97889BE8u);
  EXPECT_EQ(ClSoundBank::header(good.data())->m_iNumEntries, 2);
  struct SDamage {
    const char* pWhat;
    void (*pfnDamage)(std::vector<std::uint8_t>&);
  };
  const SDamage damages[] = {
      {"too short", [](std::vector<std::uint8_t>& b) { b.resize(20); }},
      {"does not lie inside", [](std::vector<std::uint8_t>& b) { b[20] = 0x7F; }},
      {"does not lie inside", [](std::vector<std::uint8_t>& b) { b[0] = 2; }},
      {"its data (offset", [](std::vector<std::uint8_t>& b) { b.resize(b.size() - 200); }},
      {"3-D cue", [](std::vector<std::uint8_t>& b) { cueAt(b, "Three").m_i3D = 1; }},
      {"has 9 sources", [](std::vector<std::uint8_t>& b) { cueAt(b, "One").m_iNumSources = 9; }},
      {"not terminated", [](std::vector<std::uint8_t>& b) { std::memset(cueAt(b, "One").m_aszSourceNames[0], 'x', 64); }},
      {"leaves the Audio folder", [](std::vector<std::uint8_t>& b) { std::strcpy(cueAt(b, "One").m_aszSourceNames[0], "..\\x.wav"); }},
      {"add up to", [](std::vector<std::uint8_t>& b) { cueAt(b, "Three").m_afWeights[2] = 0.75f; }},
      {"not a number", [](std::vector<std::uint8_t>& b) { cueAt(b, "One").m_fPitch = std::numeric_limits<float>::infinity(); }},
      {"categories (0 to 8)", [](std::vector<std::uint8_t>& b) { cueAt(b, "One").m_iNumCategories = 9; }},
      {"ducking groups (0 to 8)", [](std::vector<std::uint8_t>& b) { cueAt(b, "Three").mpr_iNumberDuckingCategories = 9; }},
      {"ducking group 0", [](std::vector<std::uint8_t>& b) { cueAt(b, "Three").mp_aDuckingCategoryGroups[0].m_iCategory = 10; }},
      {"run past the end", [](std::vector<std::uint8_t>& b) { cueAt(b, "One").m_iNumMultichannelConfigs = 16; }},
      {"multichannel configuration 0", [](std::vector<std::uint8_t>& b) {
         const_cast<SMultichannelConfig*>(ClSoundBank::multichannelConfig(&cueAt(b, "Three"), 0))->m_iChannelB = 16;
       }},
      {"release time", [](std::vector<std::uint8_t>& b) { b[27] = 0xFF; }},
  };
  for (const SDamage& damage : damages) {
    std::vector<std::uint8_t> bank = good;
    damage.pfnDamage(bank);
    const std::string problem = bankProblemOf(bank);
    EXPECT_NE(problem.find(damage.pWhat), std::string::npos) << damage.pWhat << ": " << problem;
  }
}

// A multichannel configuration of a type other than 0 and 1 counts nothing and is no fault; its channel A is
// still read for its level, so that one must be a channel.
TEST(SoundBankCheck, MultichannelConfigurationsOfOtherTypesAreAccepted) {
  const std::vector<std::uint8_t> good = AudioManagerTest::compileBank(gc_pszTWO_CUES);
  struct SCase {
    i32 iType;
    i32 iChannelA;
    i32 iChannelB;
    bool bAccepted;
  };
  const SCase cases[] = {
      {7, 0, 99, true}, {-1, 15, -5, true}, {2, 3, 3, true}, {0, 1, 99, true},
      {7, 16, 0, false}, {-1, -1, 0, false}, {1, 0, 16, false},
  };
  for (const SCase& test : cases) {
    std::vector<std::uint8_t> bank = good;
    SMultichannelConfig* pConfig = const_cast<SMultichannelConfig*>(ClSoundBank::multichannelConfig(&cueAt(bank, "Three"), 0));
    pConfig->m_iType = test.iType;
    pConfig->m_iChannelA = test.iChannelA;
    pConfig->m_iChannelB = test.iChannelB;
    const std::string problem = bankProblemOf(bank);
    if (test.bAccepted) {
      EXPECT_EQ(problem, "") << test.iType;
    } else {
      EXPECT_NE(problem.find("multichannel configuration 0"), std::string::npos) << test.iType << ": " << problem;
    }
  }
}

// A bank whose iEntries index entries, named "Alias0", "Alias1", ..., all point at the one cue of a bank.
std::vector<std::uint8_t> aliasBank(const std::vector<std::uint8_t>& oneCue, i32 iEntries) {
  const std::uint8_t* pCue = reinterpret_cast<const std::uint8_t*>(ClSoundBank::cue(oneCue.data(), 0));
  const size_t uiCueSize = oneCue.size() - static_cast<size_t>(pCue - oneCue.data());
  const u32 uiIndex = 32;
  const u32 uiCue = (uiIndex + 24u * static_cast<u32>(iEntries) + 15u) & ~15u;
  std::vector<std::uint8_t> bank(oneCue.begin(), oneCue.begin() + sizeof(SSoundBankHeader));
  bank.resize(uiCue + uiCueSize, 0);
  std::memcpy(bank.data(), &uiIndex, 4);
  std::memcpy(bank.data() + 20, &iEntries, 4);
  for (i32 i = 0; i < iEntries; ++i) {
    const u32 uiHash = KvStrHash(("Alias" + std::to_string(i)).c_str());
    std::memcpy(bank.data() + uiIndex + 24 * i, &uiHash, 4);
    std::memcpy(bank.data() + uiIndex + 24 * i + 8, &uiCue, 4);
  }
  std::memcpy(bank.data() + uiCue, pCue, uiCueSize);
  return bank;
}

class SoundBankShare : public AudioManagerTest {};

// Index entries that point at one cue's data share the cue's container: its sources load once, and every name
// plays from the one pool of instances. Cue data starting inside another's is refused.
TEST_F(SoundBankShare, EntriesOfOneCueShareItsContainerAndItsSourcesLoadOnce) {
  writeLoose("Audio/A.wav", KvTestMakeConstantSound(gc_iTEST_RATE, 480, {0.1f}));
  const std::vector<std::uint8_t> one =
      compileBank(R"({"bank": "VOSK_SFX", "cues": [{"name": "Shared", "sources": [{"file": "A.wav"}]}]})");
  const i32 iEntries = 2000;
  const std::vector<std::uint8_t> bank = aliasBank(one, iEntries);
  ASSERT_EQ(bankProblemOf(bank), "");
  writeLoose("Audio/VOSK_SFX.iAudioSB", bank);
  start();
  ClTestGraphicsHooks loads;
  KvTestSetGraphicsHooks(&loads);
  ASSERT_EQ(ClAudioManager::loadSoundBank(), 1);
  KvTestSetGraphicsHooks(nullptr);
  EXPECT_EQ(loads.m_iSoundSourcesLoaded, 1);
  SCueHandle first = ClAudioManager::createCueInstanceByName("Alias0");
  SCueHandle last = ClAudioManager::createCueInstanceByName(("Alias" + std::to_string(iEntries - 1)).c_str());
  ASSERT_FALSE(first.isNull());
  ASSERT_FALSE(last.isNull());
  EXPECT_EQ(ClAudioManager::getCueInstance(first)->mpr_pParentContainer,
            ClAudioManager::getCueInstance(last)->mpr_pParentContainer);
  EXPECT_EQ(ClAudioManager::unloadSoundBank(KvStrHash("VOSK_SFX")), 1);
  EXPECT_TRUE(ClAudioManager::getCueInstance(first) == nullptr);

  // The second entry's cue data (a valid cue) begins where the first cue's multichannel configuration lies.
  std::vector<std::uint8_t> overlapping = aliasBank(
      compileBank(R"({"bank": "VOSK_SFX", "cues": [{"name": "S", "sources": [{"file": "A.wav"}], "multichannel": [{}]}]})"),
      2);
  const u32 uiFirst = ClSoundBank::entry(overlapping.data(), 0)->mp_pPrerenderedCue;
  const u32 uiInside = uiFirst + static_cast<u32>(sizeof(SPrerenderedCue));
  overlapping.resize(uiInside + sizeof(SPrerenderedCue), 0);
  std::memcpy(overlapping.data() + uiInside, overlapping.data() + uiFirst, sizeof(SPrerenderedCue));
  reinterpret_cast<SPrerenderedCue*>(overlapping.data() + uiInside)->m_iNumMultichannelConfigs = 0;
  std::memcpy(overlapping.data() + 32 + 24 + 8, &uiInside, 4);
  EXPECT_NE(bankProblemOf(overlapping).find("cue 1 (0x"), std::string::npos) << bankProblemOf(overlapping);
  EXPECT_NE(bankProblemOf(overlapping).find("starts inside the data of the cue at"), std::string::npos);
}

class SoundBankChoice : public AudioManagerTest {};

// One draw per play of a cue of several sources, none for a cue of one; weights 0.25, 0.25, 0.5 split the
// draws at 0.25 and 0.5. Random ranges draw after the choice, in the order volume, levels, pan, pitch.
TEST_F(SoundBankChoice, WeightsSplitTheDrawsAndOneSourceDrawsNothing) {
  for (const char* pFile : {"A.wav", "B.wav", "C.wav"}) {
    writeLoose(std::string("Audio/") + pFile, KvTestMakeConstantSound(gc_iTEST_RATE, 480, {0.1f}));
  }
  writeLoose("Audio/VOSK_SFX.iAudioSB", compileBank(gc_pszTWO_CUES));
  start();
  ASSERT_EQ(ClAudioManager::loadSoundBank(), 1);
  sfmtInitGenRand(2024);
  std::vector<u32> words;
  for (int i = 0; i < 40; ++i) {
    words.push_back(sfmtNextWord());
  }
  sfmtInitGenRand(2024);
  for (int i = 0; i < 20; ++i) {
    const u32 uiDraws = KvRandomGetDrawCount();
    SCueHandle handle = ClAudioManager::createCueInstanceByName("Three");
    ASSERT_FALSE(handle.isNull());
    EXPECT_EQ(KvRandomGetDrawCount() - uiDraws, 2u);
    const double dU = words[2 * i] / 4294967296.0;
    const int iExpected = dU <= 0.25 ? 0 : (dU <= 0.5 ? 1 : 2);
    ClFMODCueInstance* pInstance = ClAudioManager::getCueInstance(handle);
    EXPECT_EQ(pInstance->m_iSourceIndex, iExpected) << dU;
    EXPECT_FLOAT_EQ(pInstance->m_fVolume, 0.5f + 0.2f * KvMath::wordToUnitFloat(words[2 * i + 1]));
    EXPECT_FLOAT_EQ(pInstance->m_afChannelLevels[0], 0.5f);
    EXPECT_FLOAT_EQ(pInstance->m_afChannelLevels[1], 0.5f);
    ClAudioManager::stopCue(&handle, 0.0f);
  }
  const u32 uiDraws = KvRandomGetDrawCount();
  SCueHandle one = ClAudioManager::createCueInstanceByName("One");
  EXPECT_EQ(KvRandomGetDrawCount(), uiDraws);
  EXPECT_FLOAT_EQ(ClAudioManager::getCueInstance(one)->sourceLength(), 0.5f);
  // Category volumes multiply the heard volume; an index outside 0..9 would count for nothing.
  ClAudioManager::setCategoryVolume(E_AUDIO_CATEGORY_EFFECTS, 0.5f);
  EXPECT_NEAR(frame()[0], 0.1f * 0.5f, 1e-6f);
  ClAudioManager::setCategoryVolume(E_AUDIO_CATEGORY_EFFECTS, 1.0f);
  ClAudioManager::stopCue(&one, 0.0f);
}

// The fader is linear on the gameplay clock, reaches its end exactly, and stands still with the clock.
TEST(AudioFader, LinearOnTheGameplayClock) {
  ClAudioFader fader;
  fader.set(0.5f, 1.0f, 0.0f);
  ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 0.1f;
  fader.tick();
  EXPECT_NEAR(fader.getCurrentValue(), 0.8f, 1e-6f);
  ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 0.0f;
  fader.tick();
  EXPECT_NEAR(fader.getCurrentValue(), 0.8f, 1e-6f);
  ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 0.3f;
  for (int i = 0; i < 3; ++i) {
    fader.tick();
  }
  EXPECT_TRUE(fader.isFinished());
  EXPECT_EQ(fader.getCurrentValue(), 0.0f);
  fader.set(0.3f, 0.3f, 1.0f);
  ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 0.1f;
  for (int i = 0; i < 3; ++i) {
    fader.tick();
    EXPECT_LE(fader.getCurrentValue(), 1.0f);
  }
  EXPECT_EQ(fader.getCurrentValue(), 1.0f);
  fader.set(0.0f, 0.0f, 1.0f);
  EXPECT_EQ(fader.getCurrentValue(), 1.0f);
  EXPECT_TRUE(fader.isFinished());
  ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 0.0f;
}

class AudioLockBusy : public AudioManagerTest {};

// While another thread holds the audio lock, the update skips the library's update for that frame only and
// releases no cue whose channel it could not ask about.
TEST_F(AudioLockBusy, TheUpdateSkipsTheLibraryUpdateForThatFrameOnly) {
  writeLoose("Audio/A.wav", KvTestMakeConstantSound(gc_iTEST_RATE, 480, {0.1f}));
  writeLoose("Audio/VOSK_SFX.iAudioSB", compileBank(gc_pszTWO_CUES));
  start();
  ASSERT_EQ(ClAudioManager::loadSoundBank(), 1);
  ClAudioManager::playCue(KvStrHash("One"));
  frame();
  mix(480);
  std::atomic<int> iStage{0};
  std::thread holder([&] {
    ClAudioManager::getAudioLock().enter();
    iStage = 1;
    while (iStage.load() != 2) {
      std::this_thread::yield();
    }
    ClAudioManager::getAudioLock().leave();
    iStage = 3;
  });
  while (iStage.load() != 1) {
    std::this_thread::yield();
  }
  FMODExResetCallCounts();
  ClAudioManager::update();
  EXPECT_EQ(FMODExGetCallCount(EFMODExCall::SystemUpdate), 0u);
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), 1);
  iStage = 2;
  holder.join();
  ClAudioManager::update();
  EXPECT_EQ(FMODExGetCallCount(EFMODExCall::SystemUpdate), 1u);
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), 0);
}

}  // namespace

namespace {

// The manager drives cues while SDL's audio thread mixes them (the dummy device runs in real time).
TEST_F(AudioLockBusy, CuesChangeWhileTheDeviceMixes) {
  writeLoose("Audio/A.wav", KvTestMakeConstantSound(gc_iTEST_RATE, 4800, {0.1f}));
  writeLoose("Audio/VOSK_SFX.iAudioSB", compileBank(gc_pszTWO_CUES));
  FMODExSetOutput(EFMODExOutput::Device);
  start();
  ASSERT_EQ(FMODExGetOutput(ClAudioManager::getSystem()), EFMODExOutput::Device);
  ASSERT_EQ(ClAudioManager::loadSoundBank(), 1);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::vector<SCueHandle> held;
  for (int i = 0; FMODExGetMixedFrames(ClAudioManager::getSystem()) < 4u * gc_iTEST_RATE / 10 &&
                  std::chrono::steady_clock::now() < deadline;
       ++i) {
    if (i % 3 == 0) {
      held.push_back(ClAudioManager::createCueInstanceByName("One"));
    }
    ClAudioManager::setCueVolume(&held.back(), static_cast<float>(i % 5) / 4.0f);
    if (held.size() > 8) {
      ClAudioManager::stopCue(&held.front(), 0.0f);
      held.erase(held.begin());
    }
    ClClock::m_aClockFrames[0].m_fFrameTime = 0.01f;
    ClClock::m_aClockFrames[1].m_fFrameTime = 0.01f;
    ClAudioManager::update();
    std::this_thread::yield();
  }
  EXPECT_GE(FMODExGetMixedFrames(ClAudioManager::getSystem()), 4u * gc_iTEST_RATE / 10);
  for (SCueHandle& handle : held) {
    ClAudioManager::stopCue(&handle, 0.0f);
  }
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), 0);
}

}  // namespace
