// Music-track data: the checks a file must pass, the walk of events as time passes, instances of files without
// tracks, the clock "FIXED_DT" picks, a file loaded twice read once, the pools, and track data riding on a
// playing cue (its time on the stream's position, paused with it, released with it, never touched once stale).
#include <cstring>
#include <limits>

#include "Corvane/Audio/ClAudioTrackData.h"
#include "Corvane/Audio/ClAudioTrackDataMgr.h"
#include "Tests/Corvane/Audio/AudioManagerTestSupport.h"
#include "Tools/sbankc/TrackDataBuilder.h"

namespace {

std::vector<std::uint8_t> compileTracks(const std::string& trackList) {
  nlohmann::json json;
  std::string problem;
  std::vector<std::uint8_t> bytes;
  EXPECT_TRUE(SoundBankParseJson(trackList, "tracks.json", &json, &problem)) << problem;
  EXPECT_TRUE(TrackDataCompile(json, "tracks.json", &bytes, &problem)) << problem;
  return bytes;
}

const char* const gc_pszSONG = R"({"tracks": [{"id": "Beat", "events": [0.0, 0.5, 0.5, 1.0]},
                                             {"id": "Bar", "events": [0.25]}]})";

// What listeners were told, as text: "new Beat", "Beat 1 @0.5 (0.6)".
class RecordingListener : public ClAudioTrackListener {
 public:
  void onTrackInstanceCreated(u32 uiTrackID) override { told.push_back("new " + name(uiTrackID)); }
  void onTrackEvent(u32 uiTrackID, i32 iEvent, f32 fEventTime, f32 fCurrentTime) override {
    char szLine[128];
    std::snprintf(szLine, sizeof(szLine), "%s %d @%g (%g)", name(uiTrackID).c_str(), iEvent,
                  static_cast<double>(fEventTime), static_cast<double>(fCurrentTime));
    told.push_back(szLine);
  }
  std::vector<std::string> takeTold() { return std::exchange(told, {}); }

 private:
  static std::string name(u32 uiTrackID) {
    for (const char* pName : {"Beat", "Bar", "Cue"}) {
      if (KvStrHash(pName) == uiTrackID) {
        return pName;
      }
    }
    return std::to_string(uiTrackID);
  }
  std::vector<std::string> told;
};

// The engine's check of an image, copied to an aligned block first.
std::string problemOf(const std::vector<std::uint8_t>& image) {
  std::vector<u32> aligned((image.size() + 3) / 4 + 1);
  std::memcpy(aligned.data(), image.data(), image.size());
  char szProblem[512] = {};
  return ClAudioTrackData::check(reinterpret_cast<const u8*>(aligned.data()), image.size(), szProblem,
                                 sizeof(szProblem)) == 1
             ? ""
             : szProblem;
}

void put32(std::vector<std::uint8_t>& bytes, size_t uiOffset, u32 uiValue) {
  std::memcpy(bytes.data() + uiOffset, &uiValue, 4);
}

// The builder's output passes; each damage is refused with what is wrong.
TEST(TrackDataCheck, RefusesWhatWouldLeadOutsideTheFile) {
  const std::vector<std::uint8_t> good = compileTracks(gc_pszSONG);
  ASSERT_EQ(good.size(), 16u + 2 * 24 + 5 * 4);
  EXPECT_EQ(problemOf(good), "");
  struct SDamage {
    const char* pWhat;
    void (*pfnDamage)(std::vector<std::uint8_t>&);
  };
  const SDamage damages[] = {
      {"too short", [](std::vector<std::uint8_t>& b) { b.resize(12); }},
      {"the track array", [](std::vector<std::uint8_t>& b) { put32(b, 12, 3); }},
      {"the track array", [](std::vector<std::uint8_t>& b) { put32(b, 12, 0x80000000u); }},
      {"the track array", [](std::vector<std::uint8_t>& b) { put32(b, 0, 2); }},
      {"the track array", [](std::vector<std::uint8_t>& b) { put32(b, 0, 0xFFFFFFF0u); }},
      {"track 0 (id 0x", [](std::vector<std::uint8_t>& b) { put32(b, 16 + 12, 5); }},
      {"track 1 (id 0x", [](std::vector<std::uint8_t>& b) { put32(b, 16 + 24, 0xFFFFFFFCu); }},
      {"track 1 (id 0x", [](std::vector<std::uint8_t>& b) { put32(b, 16 + 24 + 12, 0xFFFFFFFFu); }},
      {"track 0 (id 0x", [](std::vector<std::uint8_t>& b) { put32(b, 16, 66); }},
      {"not a number", [](std::vector<std::uint8_t>& b) {
         const float fNaN = std::numeric_limits<float>::quiet_NaN();
         std::memcpy(b.data() + 64 + 4, &fNaN, 4);
       }},
      {"event 3 (0.25 s) comes before event 2", [](std::vector<std::uint8_t>& b) {
         const float fEarly = 0.25f;
         std::memcpy(b.data() + 64 + 12, &fEarly, 4);
       }},
  };
  for (const SDamage& damage : damages) {
    std::vector<std::uint8_t> bad = good;
    damage.pfnDamage(bad);
    const std::string problem = problemOf(bad);
    EXPECT_NE(problem.find(damage.pWhat), std::string::npos) << damage.pWhat << " / " << problem;
  }
  // A file without tracks is a file.
  EXPECT_EQ(problemOf(compileTracks(R"({"tracks": []})")), "");
}

class AudioTrackData : public AudioManagerTest {
 protected:
  void SetUp() override {
    AudioManagerTest::SetUp();
    writeLoose("Audio/Song.iAudioTD", compileTracks(gc_pszSONG));
    writeLoose("Audio/Empty.iAudioTD", compileTracks(R"({"tracks": []})"));
  }
  void TearDown() override {
    ClAudioTrackDataMgr::removeTrackListener(&m_listener);
    AudioManagerTest::TearDown();
  }
  // Ticks the track data alone by fSeconds of system time.
  static void tick(float fSeconds) {
    ClClock::m_aClockFrames[0].m_fFrameTime = fSeconds;
    ClClock::m_aClockFrames[1].m_fFrameTime = fSeconds;
    ClAudioTrackDataMgr::tick();
  }
  RecordingListener m_listener;
};

// Events pass when the track's time reaches them, in order, two at one time in the same tick; the listeners of
// each track hear of its instances and its events; the instance goes once every track has passed its last.
TEST_F(AudioTrackData, EventsPassAtTheirTimes) {
  start();
  ASSERT_EQ(ClAudioTrackDataMgr::addTrackListener(KvStrHash("Beat"), &m_listener), 1);
  ASSERT_EQ(ClAudioTrackDataMgr::addTrackListener(KvStrHash("Bar"), &m_listener), 1);
  ASSERT_NE(ClAudioTrackDataMgr::load("Song"), nullptr);
  ClAudioTrackDataInstance* pInstance = ClAudioTrackDataMgr::createInstance(KvStrHash("Song"));
  ASSERT_NE(pInstance, nullptr);
  EXPECT_EQ(m_listener.takeTold(), (std::vector<std::string>{"new Beat", "new Bar", "Beat 0 @0 (0)"}));
  tick(0.2f);
  EXPECT_EQ(m_listener.takeTold(), std::vector<std::string>{});
  tick(0.1f);
  EXPECT_EQ(m_listener.takeTold(), (std::vector<std::string>{"Bar 0 @0.25 (0.3)"}));
  EXPECT_EQ(pInstance->m_iNumFinishedTracks, 1);
  tick(0.3f);
  EXPECT_EQ(m_listener.takeTold(), (std::vector<std::string>{"Beat 1 @0.5 (0.6)", "Beat 2 @0.5 (0.6)"}));
  EXPECT_EQ(ClAudioTrackDataMgr::getInstanceCount(), 1);
  EXPECT_EQ(pInstance->m_bFinished, 0);
  tick(0.5f);
  EXPECT_EQ(m_listener.takeTold(), (std::vector<std::string>{"Beat 3 @1 (1.1)"}));
  EXPECT_EQ(ClAudioTrackDataMgr::getInstanceCount(), 0);
  EXPECT_EQ(ClAudioTrackDataMgr::release(pInstance), 0);
  // A paused instance stands still.
  pInstance = ClAudioTrackDataMgr::createInstance(KvStrHash("Song"));
  m_listener.takeTold();
  pInstance->m_bPaused = 1;
  tick(5.0f);
  EXPECT_EQ(pInstance->m_fTime, 0.0f);
  EXPECT_EQ(m_listener.takeTold(), std::vector<std::string>{});
  EXPECT_EQ(ClAudioTrackDataMgr::release(pInstance), 1);
  EXPECT_EQ(ClAudioTrackDataMgr::release(pInstance), 0);
}

// A file with no tracks is finished at once; the next tick gives its instance back.
TEST_F(AudioTrackData, AFileWithoutTracksIsFinishedAtOnce) {
  start();
  ASSERT_NE(ClAudioTrackDataMgr::load("Empty"), nullptr);
  ClAudioTrackDataInstance* pInstance = ClAudioTrackDataMgr::createInstance(KvStrHash("Empty"));
  ASSERT_NE(pInstance, nullptr);
  EXPECT_EQ(pInstance->m_bFinished, 1);
  EXPECT_EQ(ClAudioTrackDataMgr::getInstanceCount(), 1);
  tick(0.0f);
  EXPECT_EQ(ClAudioTrackDataMgr::getInstanceCount(), 0);
  EXPECT_EQ(ClAudioTrackDataMgr::createInstance(KvStrHash("Unknown")), nullptr);
}

// "FIXED_DT" above 0 moves track time on the gameplay clock; 0 (or below) falls back to the system clock.
TEST_F(AudioTrackData, FixedFrameTimePicksTheGameplayClock) {
  struct SCase {
    const char* pSettings;
    float fExpected;
  };
  for (const SCase& test : {SCase{"FIXED_DT 0.05\n", 0.05f}, SCase{"FIXED_DT 0\n", 0.5f},
                            SCase{"FIXED_DT -1\n", 0.5f}, SCase{"", 0.5f}}) {
    ClDevINI::terminate();
    ClDevINI::initialize();
    settings(test.pSettings);
    start();
    ClAudioTrackDataMgr::load("Song");
    ClAudioTrackDataInstance* pInstance = ClAudioTrackDataMgr::createInstance(KvStrHash("Song"));
    ClClock::m_aClockFrames[0].m_fFrameTime = 0.5f;
    ClClock::m_aClockFrames[1].m_fFrameTime = 0.05f;
    ClAudioTrackDataMgr::tick();
    EXPECT_FLOAT_EQ(pInstance->m_fTime, test.fExpected) << test.pSettings;
    ClAudioManager::terminate();
  }
}

// A name loaded twice is read from disk once and stays until it is unloaded as often; the last unload takes
// its running instances with it.
TEST_F(AudioTrackData, ANameLoadedTwiceIsReadOnce) {
  start();
  const u8* pFirst = ClAudioTrackDataMgr::load("Song");
  ASSERT_NE(pFirst, nullptr);
  std::filesystem::remove(m_root + "/Audio/Song.iAudioTD");
  EXPECT_EQ(ClAudioTrackDataMgr::load("Song"), pFirst);
  EXPECT_EQ(ClAudioTrackDataMgr::getFileCount(), 1);
  ClAudioTrackDataMgr::createInstance(KvStrHash("Song"));
  EXPECT_EQ(ClAudioTrackDataMgr::unload("Song"), 1);
  EXPECT_EQ(ClAudioTrackDataMgr::find(KvStrHash("Song")), pFirst);
  EXPECT_EQ(ClAudioTrackDataMgr::getInstanceCount(), 1);
  EXPECT_EQ(ClAudioTrackDataMgr::unload("Song"), 1);
  EXPECT_EQ(ClAudioTrackDataMgr::find(KvStrHash("Song")), nullptr);
  EXPECT_EQ(ClAudioTrackDataMgr::getInstanceCount(), 0);
  EXPECT_EQ(ClAudioTrackDataMgr::unload("Song"), 0);
  EXPECT_EQ(ClAudioTrackDataMgr::load("Song"), nullptr);
  EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
}

// A damaged file is refused with one line naming it; nothing stays loaded or open.
TEST_F(AudioTrackData, ADamagedFileIsRefusedByName) {
  std::vector<std::uint8_t> bad = compileTracks(gc_pszSONG);
  put32(bad, 16 + 24 + 12, 1000);
  writeLoose("Audio/Bad.iAudioTD", bad);
  writeLoose("Audio/Tiny.iAudioTD", {1, 2, 3});
  start();
  testing::internal::CaptureStderr();
  EXPECT_EQ(ClAudioTrackDataMgr::load("Bad"), nullptr);
  EXPECT_EQ(ClAudioTrackDataMgr::load("Tiny"), nullptr);
  EXPECT_EQ(ClAudioTrackDataMgr::load("Missing"), nullptr);
  const std::string report = testing::internal::GetCapturedStderr();
  EXPECT_NE(report.find("Audio\\Bad.iAudioTD: track 1 (id 0x"), std::string::npos) << report;
  EXPECT_NE(report.find("Audio\\Tiny.iAudioTD: too short"), std::string::npos) << report;
  EXPECT_EQ(report.find("Missing"), std::string::npos) << report;
  EXPECT_EQ(ClAudioTrackDataMgr::getFileCount(), 0);
  EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
}

// 128 instances, 64 listeners.
TEST_F(AudioTrackData, TheLimitsOfInstancesAndListeners) {
  start();
  ClAudioTrackDataMgr::load("Song");
  for (int i = 0; i < gc_iMAX_TRACK_DATA_INSTANCES; ++i) {
    ASSERT_NE(ClAudioTrackDataMgr::createInstance(KvStrHash("Song")), nullptr) << i;
  }
  EXPECT_EQ(ClAudioTrackDataMgr::createInstance(KvStrHash("Song")), nullptr);
  for (int i = 0; i < gc_iMAX_TRACK_LISTENERS; ++i) {
    ASSERT_EQ(ClAudioTrackDataMgr::addTrackListener(static_cast<u32>(i), &m_listener), 1);
  }
  EXPECT_EQ(ClAudioTrackDataMgr::addTrackListener(99, &m_listener), 0);
  ClAudioTrackDataMgr::removeTrackListener(&m_listener);
  EXPECT_EQ(ClAudioTrackDataMgr::addTrackListener(99, &m_listener), 1);
}

// Cues whose sources have track data.
const char* const gc_pszMUSIC_CUES = R"({"bank": "VOSK_SFX", "cues": [
    {"name": "Song", "sources": [{"file": "Song.wav", "trackData": true}], "stream": true, "loop": true},
    {"name": "SongAgain", "sources": [{"file": "Song.wav", "trackData": true}], "stream": true, "loop": true},
    {"name": "Jingle", "sources": [{"file": "Jingle.wav", "trackData": true}]},
    {"name": "Short", "sources": [{"file": "Short.wav", "trackData": true}], "stream": true}]})";

class MusicTrackData : public AudioTrackData {
 protected:
  void SetUp() override {
    AudioTrackData::SetUp();
    writeLoose("Audio/VOSK_SFX.iAudioSB", compileBank(gc_pszMUSIC_CUES));
    writeLoose("Audio/Song.wav", KvTestMakeConstantSound(gc_iTEST_RATE, 4 * 48000, {0.25f}));
    writeLoose("Audio/Jingle.wav", KvTestMakeConstantSound(gc_iTEST_RATE, 48000, {0.25f}));
    writeLoose("Audio/Jingle.iAudioTD", compileTracks(R"({"tracks": [{"id": "Cue", "events": [0.3]}]})"));
    writeLoose("Audio/Short.wav", KvTestMakeConstantSound(gc_iTEST_RATE, 48000, {0.25f}));
    writeLoose("Audio/Short.iAudioTD", compileTracks(R"({"tracks": [{"id": "Cue", "events": [0.0]}]})"));
  }
  ClAudioTrackDataInstance* trackData(SCueHandle& handle) {
    ClFMODCueInstance* pCue = ClAudioManager::getCueInstance(handle);
    return pCue != nullptr ? pCue->trackDataInstance() : nullptr;
  }
};

// The bank's sources load their track data (one file for two cues); a streamed cue's track time follows its
// position plus the frame that started it, stands still while paused, and goes when the cue stops. Unloading
// the bank gives the files back.
TEST_F(MusicTrackData, AStreamedCueKeepsItsTrackTimeOnThePosition) {
  start();
  ASSERT_EQ(ClAudioManager::loadSoundBank(), 1);
  EXPECT_EQ(ClAudioTrackDataMgr::getFileCount(), 3);
  ASSERT_EQ(ClAudioTrackDataMgr::addTrackListener(KvStrHash("Beat"), &m_listener), 1);
  SCueHandle song = ClAudioManager::createCueInstanceByName("Song");
  frame(0.1f);
  ClAudioTrackDataInstance* pTrackData = trackData(song);
  ASSERT_NE(pTrackData, nullptr);
  // Started at the first frame: 0.1 s of it mixed, plus the 0.1 s of the frame that started it; the manager's
  // own tick (system clock) runs first and the cue then sets the time from the position.
  frame(0.1f);
  EXPECT_NEAR(pTrackData->m_fTime, 0.2f, 1e-6f);
  m_listener.takeTold();
  frame(0.1f);
  frame(0.1f);
  frame(0.1f);
  EXPECT_NEAR(pTrackData->m_fTime, 0.5f, 1e-6f);
  EXPECT_EQ(m_listener.takeTold(), (std::vector<std::string>{"Beat 1 @0.5 (0.5)", "Beat 2 @0.5 (0.5)"}));
  ClAudioManager::pauseAllCues();
  for (int i = 0; i < 10; ++i) {
    frame(0.1f);
  }
  // Paused after 0.5 s had been mixed.
  EXPECT_NEAR(pTrackData->m_fTime, 0.6f, 1e-6f);
  EXPECT_EQ(m_listener.takeTold(), std::vector<std::string>{});
  // Resuming hands over the paused position alone; the next tick adds the start frame again.
  ClAudioManager::resumeAllCues();
  EXPECT_NEAR(pTrackData->m_fTime, 0.5f, 1e-6f);
  frame(0.1f);
  EXPECT_NEAR(pTrackData->m_fTime, 0.6f, 1e-6f);
  frame(0.1f);
  EXPECT_NEAR(pTrackData->m_fTime, 0.7f, 1e-6f);
  ClAudioManager::stopCue(&song, 0.0f);
  EXPECT_EQ(ClAudioTrackDataMgr::getInstanceCount(), 0);
  EXPECT_EQ(ClAudioManager::unloadSoundBank(KvStrHash("VOSK_SFX")), 1);
  EXPECT_EQ(ClAudioTrackDataMgr::getFileCount(), 0);
}

// With "FIXED_DT" set the streamed cue's track time follows the gameplay clock, whatever the sound did; a
// fade-out gives the track data back at once.
TEST_F(MusicTrackData, WithAFixedFrameTimeTheTrackTimeFollowsTheGameplayClock) {
  settings("FIXED_DT 0.05\n");
  start();
  ASSERT_EQ(ClAudioManager::loadSoundBank(), 1);
  SCueHandle song = ClAudioManager::createCueInstanceByName("Song");
  frame(0.1f);
  ClAudioTrackDataInstance* pTrackData = trackData(song);
  ASSERT_NE(pTrackData, nullptr);
  ClClock::m_aClockFrames[0].m_fFrameTime = 0.1f;
  ClClock::m_aClockFrames[1].m_fFrameTime = 0.05f;
  for (int i = 0; i < 4; ++i) {
    ClAudioManager::update();
  }
  EXPECT_NEAR(pTrackData->m_fTime, 0.3f, 1e-6f);
  ClAudioManager::stopCue(&song, 1.0f);
  EXPECT_EQ(ClAudioTrackDataMgr::getInstanceCount(), 0);
  EXPECT_EQ(trackData(song), nullptr);
}

// A resident cue's track time runs on the manager's tick; its instance goes once its last event has passed.
TEST_F(MusicTrackData, AResidentCuesTrackDataRunsOnTheSystemClock) {
  start();
  ASSERT_EQ(ClAudioManager::loadSoundBank(), 1);
  ASSERT_EQ(ClAudioTrackDataMgr::addTrackListener(KvStrHash("Cue"), &m_listener), 1);
  SCueHandle jingle = ClAudioManager::createCueInstanceByName("Jingle");
  frame(0.1f);
  EXPECT_EQ(m_listener.takeTold(), std::vector<std::string>{"new Cue"});
  frame(0.1f);
  frame(0.1f);
  EXPECT_EQ(m_listener.takeTold(), std::vector<std::string>{});
  frame(0.1f);
  EXPECT_EQ(m_listener.takeTold(), std::vector<std::string>{"Cue 0 @0.3 (0.3)"});
  EXPECT_EQ(trackData(jingle), nullptr);
  ClAudioManager::stopCue(&jingle, 0.0f);
}

// A cue whose track data finished keeps no hold on the instance: when another cue's track data takes the same
// instance, the first cue's ticks and its stop leave it alone.
TEST_F(MusicTrackData, AStaleTrackDataInstanceIsLeftAlone) {
  start();
  ASSERT_EQ(ClAudioManager::loadSoundBank(), 1);
  SCueHandle shortCue = ClAudioManager::createCueInstanceByName("Short");
  frame(0.1f);
  ClFMODCueInstance* pShort = ClAudioManager::getCueInstance(shortCue);
  ClAudioTrackDataInstance* pStale = pShort->mp_pTrackDataInstance;
  ASSERT_NE(pStale, nullptr);
  frame(0.1f);
  EXPECT_EQ(ClAudioTrackDataMgr::getInstanceCount(), 0);
  SCueHandle song = ClAudioManager::createCueInstanceByName("Song");
  frame(0.1f);
  ClAudioTrackDataInstance* pSong = trackData(song);
  ASSERT_EQ(pSong, pStale);
  frame(0.1f);
  EXPECT_NEAR(pSong->m_fTime, 0.2f, 1e-6f);
  EXPECT_EQ(pShort->trackDataInstance(), nullptr);
  ClAudioManager::stopCue(&shortCue, 0.0f);
  EXPECT_EQ(ClAudioTrackDataMgr::getInstanceCount(), 1);
  EXPECT_EQ(trackData(song), pSong);
  ClAudioManager::stopCue(&song, 0.0f);
}

}  // namespace
