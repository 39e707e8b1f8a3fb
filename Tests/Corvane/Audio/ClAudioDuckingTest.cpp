// Sound categories and ducking: the duck curve of a cue (fall, hold, rise), fades shrunk to a short sound, the
// lowest request winning, the end of ducking when a cue stops, and the release fades; heard through the mixer:
// the music's level under a voice line, read from the mixed samples.
#include <cmath>
#include <functional>

#include "Tests/Corvane/Audio/AudioManagerTestSupport.h"

namespace {

// Music (category 1) heard on the left only, voices (category 2) on the right only; the voices duck the music.
const char* const gc_pszDUCKING_CUES = R"({
  "bank": "VOSK_SFX", "releaseTime": 0.25,
  "cues": [
    {"name": "Music", "sources": [{"file": "Music.wav", "frequency": 48000}], "loop": true, "pan": -1,
     "categories": [1]},
    {"name": "Voice", "sources": [{"file": "Voice.wav", "length": 5.0, "frequency": 48000}], "pan": 1,
     "categories": [2], "ducking": [{"category": 1, "duckTo": 0.3, "fadeIn": 0.2, "fadeOut": 0.3, "hold": 2.0}]},
    {"name": "ShortVoice", "sources": [{"file": "Short.wav", "length": 0.4, "frequency": 48000}], "pan": 1,
     "categories": [2], "ducking": [{"category": 1, "duckTo": 0.3, "fadeIn": 0.2, "fadeOut": 0.3, "hold": 2.0}]},
    {"name": "DuckHalf", "sources": [{"file": "Voice.wav", "length": 5.0}], "volume": 0,
     "ducking": [{"category": 1, "duckTo": 0.5, "hold": 3.0}]},
    {"name": "DuckFifth", "sources": [{"file": "Voice.wav", "length": 5.0}], "volume": 0,
     "ducking": [{"category": 1, "duckTo": 0.2, "hold": 3.0}]},
    {"name": "DuckEight", "sources": [{"file": "Voice.wav", "length": 5.0}], "volume": 0,
     "ducking": [{"category": 1, "duckTo": 0.1, "hold": 3.0}, {"category": 2, "duckTo": 0.2, "hold": 3.0},
                 {"category": 3, "duckTo": 0.3, "hold": 3.0}, {"category": 4, "duckTo": 0.4, "hold": 3.0},
                 {"category": 5, "duckTo": 0.5, "hold": 3.0}, {"category": 6, "duckTo": 0.6, "hold": 3.0},
                 {"category": 7, "duckTo": 0.7, "hold": 3.0}, {"category": 9, "duckTo": 0.9, "hold": 3.0}]}
  ]})";

constexpr float gc_fMUSIC_LEVEL = 0.5f;
constexpr float gc_fVOICE_LEVEL = 0.25f;

// The level a group with these times asks of its category t seconds after its cue started.
float duckEnvelope(float fT, float fIn, float fHoldEnd, float fOut, float fDuckTo) {
  if (fT < fIn) {
    return 1.0f - (1.0f - fDuckTo) * fT / fIn;
  }
  if (fT < fHoldEnd) {
    return fDuckTo;
  }
  if (fT < fHoldEnd + fOut) {
    return fDuckTo + (1.0f - fDuckTo) * (fT - fHoldEnd) / fOut;
  }
  return 1.0f;
}

class AudioDucking : public AudioManagerTest {
 protected:
  void SetUp() override {
    AudioManagerTest::SetUp();
    writeLoose("Audio/VOSK_SFX.iAudioSB", compileBank(gc_pszDUCKING_CUES));
    writeLoose("Audio/Music.wav", KvTestMakeConstantSound(gc_iTEST_RATE, 48000, {gc_fMUSIC_LEVEL}));
    writeLoose("Audio/Voice.wav", KvTestMakeConstantSound(gc_iTEST_RATE, 5 * 48000, {gc_fVOICE_LEVEL}));
    writeLoose("Audio/Short.wav", KvTestMakeConstantSound(gc_iTEST_RATE, 19200, {gc_fVOICE_LEVEL}));
    start();
    ASSERT_EQ(ClAudioManager::loadSoundBank(), 1);
  }
  void TearDown() override {
    for (i32 i = 0; i < NUM_E_AUDIO_CATEGORY; ++i) {
      ClAudioManager::setCategoryVolume(static_cast<E_AUDIO_CATEGORY>(i), 1.0f);
    }
    AudioManagerTest::TearDown();
  }
  // The duck volume of a category after each of iFrames frames of fSeconds; entry n is what the cues asked
  // n x fSeconds after a cue created before the first frame started.
  std::vector<float> duckCurve(int iCategory, int iFrames, float fSeconds) {
    std::vector<float> curve;
    for (int i = 0; i < iFrames; ++i) {
      frame(fSeconds);
      curve.push_back(ClAudioManager::getCategory(iCategory).m_fDuckVolume);
    }
    return curve;
  }
};

// 0.2 s down to 0.3, held until 1.7 s after the start, 0.3 s back up. The hold timer and the rise share the
// frame in which the hold ends, so the rise may lead the nominal curve by one frame.
TEST_F(AudioDucking, ACueFallsHoldsAndRises) {
  SCueHandle voice = ClAudioManager::createCueInstanceByName("Voice");
  constexpr float fDt = 0.01f;
  const std::vector<float> curve = duckCurve(1, 250, fDt);
  float fLastHeld = -1.0f;
  float fFirstBack = -1.0f;
  for (size_t n = 0; n < curve.size(); ++n) {
    const float fT = static_cast<float>(n) * fDt;
    const float fLow = std::min(duckEnvelope(fT - fDt, 0.2f, 1.7f, 0.3f, 0.3f), duckEnvelope(fT + fDt, 0.2f, 1.7f, 0.3f, 0.3f));
    const float fHigh = std::max(duckEnvelope(fT - fDt, 0.2f, 1.7f, 0.3f, 0.3f), duckEnvelope(fT + fDt, 0.2f, 1.7f, 0.3f, 0.3f));
    EXPECT_GE(curve[n], fLow - 1e-4f) << "t = " << fT;
    EXPECT_LE(curve[n], fHigh + 1e-4f) << "t = " << fT;
    if (fT > 1.0f && std::fabs(curve[n] - 0.3f) < 1e-6f) {
      fLastHeld = fT;
    }
    if (fT > 1.0f && fFirstBack < 0.0f && curve[n] == 1.0f) {
      fFirstBack = fT;
    }
  }
  // The fall is exact: 0.65 half-way down, 0.3 from 0.2 s on.
  EXPECT_NEAR(curve[10], 0.65f, 1e-5f);
  EXPECT_NEAR(curve[20], 0.3f, 1e-6f);
  EXPECT_NEAR(fLastHeld, 1.69f, 0.015f);
  EXPECT_NEAR(fFirstBack, 2.0f, 0.015f);
  ClAudioManager::stopCue(&voice, 0.0f);
}

// A 0.4 s sound cannot hold 0.2 + 0.3 s of fades: they shrink to 0.16 and 0.24 s and the rise begins after
// 0.176 s.
TEST_F(AudioDucking, FadesShrinkToFitAShortSound) {
  SCueHandle voice = ClAudioManager::createCueInstanceByName("ShortVoice");
  const ClFMODCueInstance* pInstance = ClAudioManager::getCueInstance(voice);
  ASSERT_NE(pInstance, nullptr);
  EXPECT_EQ(pInstance->m_bDuckingOn, 1);
  EXPECT_EQ(pInstance->mpr_iNumberDuckingCategories, 1);
  EXPECT_NEAR(pInstance->mpr_aDuckingFadeIns[0].getTotalTime(), 0.16f, 1e-6f);
  EXPECT_NEAR(pInstance->mpr_aDuckingFadeOuts[0].getTotalTime(), 0.24f, 1e-6f);
  EXPECT_NEAR(pInstance->m_afDuckHoldTimers[0], 0.176f, 1e-6f);
  constexpr float fDt = 0.004f;
  const std::vector<float> curve = duckCurve(1, 120, fDt);
  EXPECT_NEAR(curve[20], 1.0f - 0.7f * 0.5f, 1e-4f);  // half-way down at 0.08 s
  EXPECT_NEAR(curve[40], 0.3f, 1e-6f);                // down at 0.16 s
  EXPECT_NEAR(curve[42], 0.3f, 1e-6f);                // still down at 0.168 s
  EXPECT_GT(curve[46], 0.3f);                         // rising by 0.184 s
  EXPECT_NEAR(curve[106], 1.0f, 1e-6f);               // back by 0.424 s
  ClAudioManager::stopCue(&voice, 0.0f);
}

// Two cues ducking one category: the lowest request wins, whichever asks first; heard in the music.
TEST_F(AudioDucking, TheLowestRequestWins) {
  SCueHandle music = ClAudioManager::createCueInstanceByName("Music");
  SCueHandle half = ClAudioManager::createCueInstanceByName("DuckHalf");
  frame();
  EXPECT_NEAR(frame()[0], gc_fMUSIC_LEVEL * 0.5f, 1e-6f);
  SCueHandle fifth = ClAudioManager::createCueInstanceByName("DuckFifth");
  frame();
  EXPECT_NEAR(frame()[0], gc_fMUSIC_LEVEL * 0.2f, 1e-6f);
  ClAudioManager::stopCue(&fifth, 0.0f);
  EXPECT_NEAR(frame()[0], gc_fMUSIC_LEVEL * 0.5f, 1e-6f);
  ClAudioManager::stopCue(&half, 0.0f);
  ClAudioManager::stopCue(&music, 0.0f);
  ClAudioManager::duckCategory(4, 0.7f);
  ClAudioManager::duckCategory(4, 0.9f);
  EXPECT_FLOAT_EQ(ClAudioManager::getCategory(4).m_fDuckVolume, 0.7f);
  EXPECT_KV_ASSERT(ClAudioManager::duckCategory(10, 0.5f), "iCategory >= 0 && iCategory < MAX_NUMBER_CATEGORIES");
  EXPECT_KV_ASSERT(ClAudioManager::duckCategory(-1, 0.5f), "iCategory >= 0 && iCategory < MAX_NUMBER_CATEGORIES");
}

// A cue may hold eight groups, each ducking its own category; the others stay untouched.
TEST_F(AudioDucking, EightGroupsDuckEightCategories) {
  SCueHandle eight = ClAudioManager::createCueInstanceByName("DuckEight");
  frame();
  frame();
  const float afExpected[MAX_NUMBER_CATEGORIES] = {1.0f, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 1.0f, 0.9f};
  for (int i = 0; i < MAX_NUMBER_CATEGORIES; ++i) {
    EXPECT_FLOAT_EQ(ClAudioManager::getCategory(i).m_fDuckVolume, afExpected[i]) << i;
  }
  ClAudioManager::stopCue(&eight, 0.0f);
}

// Stopping a ducking cue, at once or with a fade, ends its ducking: from the next update the music is heard at
// full level, unless another cue still ducks it. The group still active goes to a release fade, which is seen
// in the category table after the update but reaches no cue, and is freed after the bank's 0.25 s.
TEST_F(AudioDucking, StoppingACueEndsItsDucking) {
  SCueHandle music = ClAudioManager::createCueInstanceByName("Music");
  for (float fFade : {0.0f, 0.5f}) {
    SCueHandle voice = ClAudioManager::createCueInstanceByName("Voice");
    for (int i = 0; i < 30; ++i) {
      frame();
    }
    EXPECT_NEAR(frame()[0], gc_fMUSIC_LEVEL * 0.3f, 1e-6f);
    ClAudioManager::stopCue(&voice, fFade);
    EXPECT_EQ(ClAudioManager::getReleaseFadeCount(), 1);
    const std::vector<float> heard = frame(0.02f);
    EXPECT_NEAR(heard[0], gc_fMUSIC_LEVEL, 1e-6f) << fFade;
    EXPECT_NEAR(ClAudioManager::getCategory(1).m_fDuckVolume, 0.3f + 0.7f * 0.02f / 0.25f, 1e-5f);
    for (int i = 0; i < 12; ++i) {
      EXPECT_NEAR(frame(0.02f)[0], gc_fMUSIC_LEVEL, 1e-6f);
    }
    frame(0.02f);
    EXPECT_EQ(ClAudioManager::getReleaseFadeCount(), 0);
    EXPECT_EQ(ClAudioManager::getCategory(1).m_fDuckVolume, 1.0f);
  }
  SCueHandle first = ClAudioManager::createCueInstanceByName("DuckHalf");
  SCueHandle second = ClAudioManager::createCueInstanceByName("DuckHalf");
  frame();
  frame();
  ClAudioManager::stopCue(&first, 0.0f);
  EXPECT_NEAR(frame()[0], gc_fMUSIC_LEVEL * 0.5f, 1e-6f);
  ClAudioManager::stopCue(&second, 0.0f);
  EXPECT_NEAR(frame()[0], gc_fMUSIC_LEVEL, 1e-6f);
  ClAudioManager::stopCue(&music, 0.0f);
}

// While the cues are paused their ducking stands still (and still holds its category down).
TEST_F(AudioDucking, PausedCuesKeepTheirDuckingWhereItWas) {
  SCueHandle voice = ClAudioManager::createCueInstanceByName("Voice");
  for (int i = 0; i < 6; ++i) {
    frame(0.02f);
  }
  EXPECT_NEAR(ClAudioManager::getCategory(1).m_fDuckVolume, 1.0f - 0.7f * 0.1f / 0.2f, 1e-4f);
  // The cue has ticked once more than the category shows: 0.12 s of its fall.
  ClAudioManager::pauseAllCues();
  const float fBefore = 1.0f - 0.7f * 0.12f / 0.2f;
  for (int i = 0; i < 20; ++i) {
    frame(0.02f);
    EXPECT_NEAR(ClAudioManager::getCategory(1).m_fDuckVolume, fBefore, 1e-5f);
  }
  ClAudioManager::resumeAllCues();
  frame(0.02f);
  frame(0.02f);
  EXPECT_NEAR(ClAudioManager::getCategory(1).m_fDuckVolume, fBefore - 0.7f * 0.02f / 0.2f, 1e-4f);
  ClAudioManager::stopCue(&voice, 0.0f);
}

// Heard: the music under a voice line, read from the mix. The left channel is the music alone: full level
// before the voice, down to 30 % while it speaks, full again once the duck has risen; the right channel is the
// voice, which no one ducks. The user's category volume multiplies on top.
TEST_F(AudioDucking, TheMusicIsHeardDuckedUnderTheVoice) {
  SCueHandle music = ClAudioManager::createCueInstanceByName("Music");
  std::vector<float> heard = frame(0.02f);
  EXPECT_NEAR(KvTestPeak(heard, 0), gc_fMUSIC_LEVEL, 1e-6f);
  EXPECT_EQ(KvTestPeak(heard, 1), 0.0f);
  ClAudioManager::playCue(KvStrHash("Voice"));
  constexpr float fDt = 0.02f;
  for (int n = 0; n < 120; ++n) {
    heard = frame(fDt);
    const float fT = static_cast<float>(n) * fDt;
    // Every sample of the frame carries the frame's level.
    float fMin = 1.0f;
    float fMax = 0.0f;
    for (size_t f = 0; f < heard.size() / 2; ++f) {
      fMin = std::min(fMin, heard[2 * f]);
      fMax = std::max(fMax, heard[2 * f]);
    }
    EXPECT_NEAR(fMax - fMin, 0.0f, 1e-6f) << "t = " << fT;
    EXPECT_NEAR(heard[1], gc_fVOICE_LEVEL, 1e-6f) << "t = " << fT;
    if (fT <= 1.6f) {
      EXPECT_NEAR(heard[0], gc_fMUSIC_LEVEL * duckEnvelope(fT, 0.2f, 1.7f, 0.3f, 0.3f), 1e-5f) << "t = " << fT;
    } else if (fT >= 2.02f) {
      EXPECT_NEAR(heard[0], gc_fMUSIC_LEVEL, 1e-6f) << "t = " << fT;
    } else {
      EXPECT_GT(heard[0], gc_fMUSIC_LEVEL * 0.3f - 1e-6f) << "t = " << fT;
    }
  }
  ClAudioManager::setCategoryVolume(E_AUDIO_CATEGORY_MUSIC, 0.5f);
  EXPECT_NEAR(frame()[0], gc_fMUSIC_LEVEL * 0.5f, 1e-6f);
  ClAudioManager::stopCue(&music, 0.0f);
}

// A category index outside 0..9 in a cue's list counts for nothing in its volume.
TEST_F(AudioManagerTest, AnUnknownCategoryIndexIsIgnoredByTheVolume) {
  std::vector<std::uint8_t> bank = compileBank(R"({"bank": "VOSK_SFX", "cues": [
      {"name": "Odd", "sources": [{"file": "Dc.wav", "frequency": 48000}], "loop": true, "categories": [1, 2]}]})");
  SPrerenderedCue& cue = *const_cast<SPrerenderedCue*>(ClSoundBank::cue(bank.data(), 0));
  cue.m_aiCategories[1] = 12;
  writeLoose("Audio/VOSK_SFX.iAudioSB", bank);
  writeLoose("Audio/Dc.wav", KvTestMakeConstantSound(gc_iTEST_RATE, 4800, {0.5f}));
  start();
  ASSERT_EQ(ClAudioManager::loadSoundBank(), 1);
  SCueHandle odd = ClAudioManager::createCueInstanceByName("Odd");
  ClAudioManager::setCategoryVolume(E_AUDIO_CATEGORY_MUSIC, 0.5f);
  EXPECT_NEAR(frame()[0], 0.25f, 1e-6f);
  ClAudioManager::setCategoryVolume(E_AUDIO_CATEGORY_MUSIC, 1.0f);
  ClAudioManager::stopCue(&odd, 0.0f);
}

// More ducking groups than an instance has room for: the bank is refused at load, naming the file.
TEST_F(AudioManagerTest, NineDuckingGroupsAreRefusedAtLoad) {
  std::vector<std::uint8_t> bank = compileBank(gc_pszDUCKING_CUES);
  for (i32 i = 0; i < ClSoundBank::header(bank.data())->m_iNumEntries; ++i) {
    SPrerenderedCue& cue = *const_cast<SPrerenderedCue*>(ClSoundBank::cue(bank.data(), i));
    if (cue.m_uiNameHash == KvStrHash("DuckEight")) {
      cue.mpr_iNumberDuckingCategories = 9;
      cue.mp_aDuckingCategoryGroups[8] = cue.mp_aDuckingCategoryGroups[0];
    }
  }
  writeLoose("Audio/VOSK_SFX.iAudioSB", bank);
  start();
  testing::internal::CaptureStderr();
  EXPECT_EQ(ClAudioManager::loadSoundBank(), 0);
  const std::string report = testing::internal::GetCapturedStderr();
  EXPECT_NE(report.find("Audio\\VOSK_SFX.iAudioSB: cue"), std::string::npos) << report;
  EXPECT_NE(report.find("has 9 ducking groups (0 to 8)"), std::string::npos) << report;
  EXPECT_EQ(ClAudioManager::findCue(KvStrHash("Voice")), nullptr);
}

}  // namespace
