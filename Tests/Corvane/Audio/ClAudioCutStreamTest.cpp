// A streamed cue whose Ogg file has lost its end, played from its archive through the stream feed and the mixer on
// the manual clock: the line that says where its data ends comes once, at the first update after the stream has
// been played there (or as it is stopped), with the same figure and at the same update in every run, however far
// ahead of the mixer the decoder thread happens to be.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Corvane/ADT/KvSystem.h"
#include "Tests/Corvane/Audio/AudioManagerTestSupport.h"

namespace {

// The first level's music as the sample content describes it: 4 s of 44.1 kHz stereo Vorbis, three tones and two
// bursts of noise, in pages of about a second of sound each.
const char* const gc_pszCUT_MUSIC = R"({"sounds": [{"file": "Music.ogg", "rate": 44100, "channels": 2, "seconds": 4.0,
  "layers": [{"wave": "sine", "frequency": 220, "amplitude": 0.25, "pan": -0.4},
             {"wave": "sine", "frequency": 277.18, "amplitude": 0.2, "pan": 0.4},
             {"wave": "sine", "frequency": 329.63, "amplitude": 0.2},
             {"wave": "noise", "amplitude": 0.3, "decay": 30, "start": 1.0},
             {"wave": "noise", "amplitude": 0.3, "decay": 30, "start": 3.0}]}]})";
constexpr int gc_iMUSIC_RATE = 44100;

const char* const gc_pszCUT_MUSIC_CUES = R"({"bank": "VOSK_SFX", "cues": [
  {"name": "Music", "sources": [{"file": "Music.ogg", "store": "plain"}], "stream": true, "loop": true}]})";

// Where the file is cut: inside page uiPage (the first two hold the headers), dInto of the way through it. The
// shipped music cut at bytes 12138 and 12301 falls that far into its fourth page, at 16593 into its fifth. (Cut just
// before a page, an Ogg file is a whole shorter one, whose last page gives its length.)
struct SCut {
  const char* pName;
  size_t uiPage;
  double dInto;
};
const SCut gc_aCuts[] = {
    {"as at byte 12138", 3, 0.815},
    {"as at byte 12301", 3, 0.854},
    {"as at byte 16593", 4, 0.848},
    {"a few bytes left of its last page", 5, 0.001},
};

// How a run plays the cue: updates fFrame seconds apart, and fStopAt, a part of the way to its end: 0 plays on; below
// 1 the cue is stopped there and started again; 1 stops it after the mix that plays its end, before the next update.
struct SPlay {
  const char* pName;
  float fFrame;
  float fStopAt;
};
const SPlay gc_aPlays[] = {
    {"5 ms frames", 0.005f, 0.0f},
    {"16 ms frames", 0.016f, 0.0f},
    {"50 ms frames", 0.05f, 0.0f},
    {"stopped at three quarters and started again", 0.016f, 0.75f},
    {"stopped as its end is played", 0.016f, 1.0f},
};
// Runs of each play: the decoder thread's pace against the mixer differs from one to the next.
constexpr int gc_iRUNS = 3;

class AudioCutStream : public AudioManagerTest {
 protected:
  // The music cut as told, in the cue's archive (plain, as the game's streams are); the frames of sound left in it
  // (what its pages before the cut give).
  std::int64_t packCut(const std::vector<std::uint8_t>& music, const SCut& cut) {
    const std::vector<SKvTestOggPage> pages = KvTestOggPages(music);
    EXPECT_GT(pages.size(), cut.uiPage);
    const SKvTestOggPage& page = pages[cut.uiPage];
    const std::vector<std::uint8_t> bytes(
        music.begin(), music.begin() + static_cast<std::ptrdiff_t>(page.uiOffset + cut.dInto * page.uiSize));
    packArchive("CUT", {packInput("Audio\\VOSK_SFX.iAudioSB", compileBank(gc_pszCUT_MUSIC_CUES)),
                        packInput("Audio\\Music.ogg", bytes)});
    return pages[cut.uiPage - 1].iGranule;
  }
  void unpack() {
    ClMagFileIO::unloadTOC(KvStrHash("CUT"));
    m_archives.clear();
  }

  // Updates fFrame seconds apart, each followed by its mix, until uiUntil frames have been mixed since the cue
  // started; each update that says the line records the frames mixed before it.
  void playUntil(std::uint64_t uiUntil, float fFrame) {
    const auto uiFrame = static_cast<std::uint64_t>(fFrame * gc_iTEST_RATE);
    while (m_uiMixed < uiUntil) {
      ClClock::m_aClockFrames[0].m_fFrameTime = fFrame;
      ClClock::m_aClockFrames[1].m_fFrameTime = fFrame;
      KvForgetLastProblem();
      ClAudioManager::update();
      if (std::string(KvGetLastProblem()).find(" ends at ") != std::string::npos) {
        m_saidAfter.push_back(m_uiMixed);
      }
      const std::uint64_t uiFrames = std::min(uiFrame, uiUntil - m_uiMixed);
      mix(static_cast<unsigned int>(uiFrames));
      m_uiMixed += uiFrames;
    }
  }
  // The cue asked for and started by the next update, from which the mix counts.
  void startCue() {
    m_cue = ClAudioManager::createCueInstanceByName("Music");
    ASSERT_FALSE(m_cue.isNull());
    KvForgetLastProblem();
    ClAudioManager::update();
    EXPECT_EQ(KvGetLastProblem(), std::string());
    m_uiMixed = 0;
    m_saidAfter.clear();
  }
  // Stops the cue; whether that said the line.
  bool stopCue() {
    KvForgetLastProblem();
    ClAudioManager::stopCue(&m_cue, 0.0f);
    return std::string(KvGetLastProblem()).find(" ends at ") != std::string::npos;
  }

  SCueHandle m_cue;
  std::uint64_t m_uiMixed = 0;
  std::vector<std::uint64_t> m_saidAfter;  // the frames mixed since the start before each update that said the line
};

TEST_F(AudioCutStream, TheEndIsSaidOnceWhereItIsPlayedTheSameInEveryRun) {
  std::string problem;
  nlohmann::json list;
  ASSERT_TRUE(SoundBankParseJson(gc_pszCUT_MUSIC, "music.json", &list, &problem)) << problem;
  const std::string made = m_root + "/made";
  std::filesystem::create_directories(made);
  ASSERT_TRUE(SoundBankSynthesize(list, "music.json", made, &problem)) << problem;
  std::ifstream in(made + "/Music.ogg", std::ios::binary);
  const std::vector<std::uint8_t> music{std::istreambuf_iterator<char>(in), {}};
  for (const SCut& cut : gc_aCuts) {
    SCOPED_TRACE(cut.pName);
    const std::int64_t iFrames = packCut(music, cut);
    char szLine[160];
    std::snprintf(szLine, sizeof(szLine),
                  "Sound file [Audio\\Music.ogg] ends at %.1f s and gives no length of its own: it is played to where "
                  "it ends.\n",
                  static_cast<double>(iFrames * 1000 / gc_iMUSIC_RATE) / 1000.0);
    // Where the mixer, resampling to its rate, has played the stream to its end.
    const std::uint64_t uiEnd = static_cast<std::uint64_t>(iFrames) * gc_iTEST_RATE / gc_iMUSIC_RATE;
    for (const SPlay& play : gc_aPlays) {
      const auto uiFrame = static_cast<std::uint64_t>(play.fFrame * gc_iTEST_RATE);
      std::uint64_t uiFirstRunSaidAfter = 0;
      for (int iRun = 0; iRun < gc_iRUNS; ++iRun) {
        SCOPED_TRACE(testing::Message() << play.pName << ", run " << iRun);
        start();
        ASSERT_EQ(ClAudioManager::loadSoundBank(), 1);
        testing::internal::CaptureStderr();
        startCue();
        if (play.fStopAt > 0.0f && play.fStopAt < 1.0f) {
          playUntil(static_cast<std::uint64_t>(play.fStopAt * static_cast<float>(uiEnd)), play.fFrame);
          EXPECT_FALSE(stopCue()) << "said before its end was played";
          EXPECT_TRUE(m_saidAfter.empty()) << "said before its end was played, after " << m_saidAfter[0];
          startCue();
        }
        if (play.fStopAt >= 1.0f) {
          // An update before its end, one mix across it, and the stop before the next update.
          playUntil(uiEnd - 1000, play.fFrame);
          playUntil(uiEnd + 1000, 1.0f);
          EXPECT_TRUE(m_saidAfter.empty()) << "said before its end was played, after " << m_saidAfter[0];
          EXPECT_TRUE(stopCue()) << "not said as the stream that had played its end stopped";
        } else {
          // Into its third pass; said at the first update after the mix that played its end (two frames either side
          // of that for the resampler's lag).
          playUntil(uiEnd * 5 / 2, play.fFrame);
          EXPECT_EQ(m_saidAfter.size(), 1u);
          const std::uint64_t uiSaidAfter = m_saidAfter.empty() ? 0 : m_saidAfter[0];
          EXPECT_GE(uiSaidAfter + 2, uiEnd) << "said before its end was played";
          EXPECT_LT(uiSaidAfter, uiEnd + uiFrame + 2) << "said late";
          if (iRun == 0) {
            uiFirstRunSaidAfter = uiSaidAfter;
          }
          EXPECT_EQ(uiSaidAfter, uiFirstRunSaidAfter) << "not at the update of the first run";
        }
        EXPECT_EQ(testing::internal::GetCapturedStderr(), szLine);
        ClAudioManager::terminate();
      }
    }
    unpack();
  }
}

}  // namespace
