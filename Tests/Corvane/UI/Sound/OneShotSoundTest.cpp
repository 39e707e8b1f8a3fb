// systemPlayOneShotSound: the cue named by the text is played through the audio manager and heard in the next
// mixed frame; a name no bank holds plays nothing, and the call record is checked.
#include "Corvane/UI/COMMONUIFunctions_System.h"
#include "Tests/Corvane/Audio/AudioManagerTestSupport.h"
#include "Tests/Corvane/UI/UITestSupport.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

const char* const gc_pszCUES = R"({
  "bank": "VOSK_SFX", "releaseTime": 0.25,
  "cues": [
    {"name": "UI_Accept", "sources": [{"file": "Accept.wav", "frequency": 48000}]},
    {"name": "UI_Cancel", "sources": [{"file": "Cancel.wav", "frequency": 48000}]}
  ]})";

class CSoundHooks : public ClRecordingUIHooks {
 public:
  void registerGameUIFunctions() override { registerSystemUIFunctions(); }
};

class OneShotSoundTest : public AudioManagerTest {
 protected:
  void SetUp() override {
    AudioManagerTest::SetUp();
    packArchive("SND", {packInput("Audio\\VOSK_SFX.iAudioSB", compileBank(gc_pszCUES)),
                        packInput("Audio\\Accept.wav", KvTestMakeConstantSound(gc_iTEST_RATE, 9600, {0.25f})),
                        packInput("Audio\\Cancel.wav", KvTestMakeConstantSound(gc_iTEST_RATE, 9600, {-0.5f}))});
    start();
    ASSERT_EQ(ClAudioManager::loadSoundBank(), 1);
    KvTestSetUIHooks(&m_hooks);
    ClUI::initialise();
    SKuiScreenSet set;
    std::string error;
    ASSERT_TRUE(KuiParseDescription(R"({"root": {"name": "Menu", "properties": {
        "onClick": {"event": {"calls": [{"call": "systemPlayOneShotSound", "params": ["UI_Accept"]}]}},
        "onBack": {"event": {"calls": [{"call": "systemPlayOneShotSound", "params": ["UI_Cancel"]}]}},
        "onUp": {"event": {"calls": [{"call": "systemPlayOneShotSound", "params": ["NoSuchCue"]}]}},
        "onDown": {"event": {"calls": [{"call": "systemPlayOneShotSound", "params": ["UI_Accept", 1]}]}}}}})",
                                    "sound.json", &set, &error))
        << error;
    const std::vector<uint8_t> image = KuiWriteImage(set);
    ASSERT_TRUE(ClUI::loadUIDataFromImage("Sound", image.data(), static_cast<u32>(image.size())));
  }
  void TearDown() override {
    ClUI::terminate();
    KvTestSetUIHooks(nullptr);
    AudioManagerTest::TearDown();
  }

  CSoundHooks m_hooks;
};

TEST_F(OneShotSoundTest, TheNamedCueIsHeardInTheNextFrame) {
  struct SCase {
    const char* pEvent;
    f32 fLevel;
  };
  for (const SCase& c : {SCase{"onClick", 0.25f}, SCase{"onBack", -0.5f}}) {
    EXPECT_EQ(frame()[0], 0.0f) << "silence before " << c.pEvent;
    ClUI::getWidget("Menu")->callEvent(KvStrHash(c.pEvent));
    const std::vector<float> heard = frame();
    EXPECT_NEAR(heard[0], c.fLevel, 1e-6f) << c.pEvent;
    EXPECT_NEAR(heard[1], c.fLevel, 1e-6f) << c.pEvent;
    for (int i = 0; i < 20 && ClAudioManager::getActiveCueCount() > 0; ++i) {
      frame();
    }
    EXPECT_EQ(ClAudioManager::getActiveCueCount(), 0) << "played once and released";
  }
}

TEST_F(OneShotSoundTest, AnUnknownNamePlaysNothingAndTheRecordIsChecked) {
  ClWidget* pMenu = ClUI::getWidget("Menu");
  pMenu->callEvent(KvStrHash("onUp"));
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), 0);
  EXPECT_EQ(KvTestPeak(frame(), 0), 0.0f);
  EXPECT_KV_ASSERT(pMenu->callEvent(KvStrHash("onDown")), "pData->mp_iNumberWidgetEventProcedureCallDatas == 1");
  EXPECT_KV_ASSERT(systemPlayOneShotSound(pMenu, nullptr), "pData");
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), 0);
}

}  // namespace
