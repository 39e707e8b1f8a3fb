// The sound-bank and track-data builder: its command line, what it builds (read back through the engine's
// checks), its archive lines, its reports of bad input, and the sounds it synthesizes.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Audio/ClAudioTrackDataMgr.h"
#include "Tests/Support/AudioTestSupport.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/ToolVerdictTestSupport.h"
#include "Tools/sbankc/SoundBankBuilder.h"

namespace {

// Runs the tool; its exit status, with everything it printed in *pOutput.
int run(const std::string& arguments, std::string* pOutput) {
  const SKvToolRun result = KvTestRunTool(KvTestShellQuote(SBANKC_PATH) + " " + arguments);
  *pOutput = result.out;
  return result.iExit;
}

TEST(SbankcTool, SynthesizesBuildsListsAndDumps) {
  const std::string dir = KvTestTempDir("SbankcTool");
  std::ofstream(dir + "/sounds.json") << R"({"sounds": [
      {"file": "Tone.wav", "rate": 24000, "channels": 1, "seconds": 0.5, "layers": [{"wave": "sine", "frequency": 300}]},
      {"file": "Pad.ogg", "rate": 44100, "channels": 2, "seconds": 1.0, "layers": [{"wave": "saw", "frequency": 110}]}]})";
  std::string output;
  ASSERT_EQ(run("synth --in " + dir + "/sounds.json --out " + dir + "/Audio", &output), 0) << output;
  SF_INFO info = {};
  SNDFILE* pFile = sf_open((dir + "/Audio/Tone.wav").c_str(), SFM_READ, &info);
  ASSERT_NE(pFile, nullptr);
  EXPECT_EQ(info.samplerate, 24000);
  EXPECT_EQ(info.frames, 12000);
  sf_close(pFile);
  pFile = sf_open((dir + "/Audio/Pad.ogg").c_str(), SFM_READ, &info);
  ASSERT_NE(pFile, nullptr);
  EXPECT_EQ(info.channels, 2);
  EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_OGG);
  sf_close(pFile);

  std::ofstream(dir + "/cues.json") << R"({"bank": "VOSK_SFX", "releaseTime": 0.3, "cues": [
      {"name": "Tone", "sources": [{"file": "Tone.wav", "length": 0.5, "frequency": 24000, "store": "compress encrypt"}],
       "pan": {"min": -0.5, "max": 0.5}, "categories": [0, 2]},
      {"name": "Pad", "sources": [{"file": "Pad.ogg"}], "stream": true, "loop": true}]})";
  ASSERT_EQ(run("build --in " + dir + "/cues.json --out " + dir + "/bank.iAudioSB --manifest " + dir +
                    "/lines.txt --audio-dir " + dir + "/Audio",
                &output),
            0)
      << output;
  const std::string lines = KvTestFileBytes(dir + "/lines.txt");
  EXPECT_NE(lines.find("file Audio/Tone.wav " + dir + "/Audio/Tone.wav compress encrypt\n"), std::string::npos) << lines;
  EXPECT_NE(lines.find("file Audio/Pad.ogg " + dir + "/Audio/Pad.ogg plain\n"), std::string::npos) << lines;

  ASSERT_EQ(run("dump " + dir + "/bank.iAudioSB", &output), 0) << output;
  const nlohmann::json dump = nlohmann::json::parse(output);
  EXPECT_EQ(dump["bankNameHash"], KvStrHash("VOSK_SFX"));
  EXPECT_FLOAT_EQ(dump["releaseTime"].get<float>(), 0.3f);
  ASSERT_EQ(dump["cues"].size(), 2u);
  for (const nlohmann::json& cue : dump["cues"]) {
    if (cue["nameHash"] == KvStrHash("Tone")) {
      EXPECT_EQ(cue["sources"][0]["file"], "Tone.wav");
      EXPECT_FLOAT_EQ(cue["sources"][0]["frequency"].get<float>(), 24000.0f);
      EXPECT_FLOAT_EQ(cue["pan"]["min"].get<float>(), -0.5f);
      EXPECT_EQ(cue["categories"], nlohmann::json({0, 2}));
      EXPECT_FALSE(cue["stream"].get<bool>());
    } else {
      EXPECT_EQ(cue["nameHash"], KvStrHash("Pad"));
      EXPECT_TRUE(cue["stream"].get<bool>());
      EXPECT_TRUE(cue["loop"].get<bool>());
      EXPECT_FLOAT_EQ(cue["sources"][0]["length"].get<float>(), -1.0f);
    }
  }
  EXPECT_EQ(run("--help", &output), 0);
  EXPECT_NE(output.find("usage: sbankc build"), std::string::npos);
  EXPECT_EQ(run("frobnicate", &output), 2);
}

// The bank the build packs for the game passes the engine's checks and holds the game's cues.
TEST(SbankcTool, TheGamesBankDumpsThroughTheEngine) {
  std::string output;
  ASSERT_EQ(run("dump " + KvTestShellQuote(KV_CONTENT_BANK), &output), 0) << output;
  const nlohmann::json dump = nlohmann::json::parse(output);
  std::vector<unsigned int> hashes;
  for (const nlohmann::json& cue : dump["cues"]) {
    hashes.push_back(cue["nameHash"].get<unsigned int>());
  }
  EXPECT_NE(std::find(hashes.begin(), hashes.end(), 0x7EB38570u), hashes.end());  // "PlayerHitting"
  EXPECT_NE(std::find(hashes.begin(), hashes.end(), KvStrHash("InGameLoop1")), hashes.end());
}

// Bad input names the file with line and column, or the field; a damaged bank is refused by the engine's checks.
TEST(SbankcTool, ReportsBadInputByPlace) {
  const std::string dir = KvTestTempDir("SbankcBadInput");
  struct SCase {
    const char* pJson;
    const char* pReport;
  };
  const SCase cases[] = {
      {"{\"bank\": \"B\",\n \"cues\": [ }", "cues.json:2:12: "},
      {R"({"bank": "B", "cues": [{"name": "a", "sources": []}]})", "cues.json: cues[0].sources: a cue needs 1 to 8"},
      {R"({"bank": "B", "cues": [{"name": "a", "sources": [{"file": "x.wav", "weight": 0.3}, {"file": "y.wav", "weight": 0.3}]}]})",
       "cues[0].sources: the weights add up to"},
      {R"({"bank": "B", "cues": [{"name": "a", "stream": true, "sources": [{"file": "x.ogg", "store": "compress"}]}]})",
       "cues[0].sources[0].store: a streamed source"},
      {R"({"bank": "B", "cues": [{"name": "a", "sources": [{"file": "x.wav"}], "categories": [10]}]})",
       "cues[0].categories[0]: must be a whole number from 0 to 9"},
      {R"({"bank": "B", "cues": [{"name": "a", "sources": [{"file": "x.wav"}], "volume": {"min": 0.1}}]})",
       "cues[0].volume: a range needs min and max"},
      {R"({"bank": "B", "cues": [{"name": "a", "sources": [{"file": "x.wav"}]}, {"name": "A", "sources": [{"file": "x.wav"}]}]})",
       "[A] has the name hash of [a]"},
  };
  std::string output;
  for (const SCase& test : cases) {
    std::ofstream(dir + "/cues.json") << test.pJson;
    EXPECT_EQ(run("build --in " + dir + "/cues.json --out " + dir + "/out.bank", &output), 1) << test.pJson;
    EXPECT_NE(output.find(test.pReport), std::string::npos) << output;
  }
  std::ofstream(dir + "/short.bank") << "not a bank";
  EXPECT_EQ(run("dump " + dir + "/short.bank", &output), 1);
  EXPECT_NE(output.find("short.bank: too short"), std::string::npos) << output;
}

// Track lists compile into track data that dumps back through the engine's checks; a bank lists the track
// data of its sources beside them and insists that it exists.
TEST(SbankcTool, BuildsListsAndDumpsTrackData) {
  const std::string dir = KvTestTempDir("SbankcTracks");
  std::filesystem::create_directories(dir + "/Audio");
  std::ofstream(dir + "/tracks.json") << R"({"tracks": [{"id": "Beat", "events": [0.5, 0.5, 1.25]},
                                                         {"id": 7, "events": []}]})";
  std::string output;
  ASSERT_EQ(run("track --in " + dir + "/tracks.json --out " + dir + "/Audio/Song.iAudioTD", &output), 0) << output;
  ASSERT_EQ(run("dump-track " + dir + "/Audio/Song.iAudioTD", &output), 0) << output;
  const nlohmann::json dump = nlohmann::json::parse(output);
  ASSERT_EQ(dump["tracks"].size(), 2u);
  EXPECT_EQ(dump["tracks"][0]["id"], KvStrHash("Beat"));
  EXPECT_EQ(dump["tracks"][0]["events"], nlohmann::json({0.5, 0.5, 1.25}));
  EXPECT_EQ(dump["tracks"][1]["id"], 7);
  EXPECT_EQ(dump["tracks"][1]["events"], nlohmann::json::array());

  std::ofstream(dir + "/Audio/Song.wav") << "RIFF";
  std::ofstream(dir + "/Audio/Other.wav") << "RIFF";
  std::ofstream(dir + "/cues.json") << R"({"bank": "VOSK_SFX", "cues": [
      {"name": "Song", "sources": [{"file": "Song.wav", "trackData": true}], "stream": true},
      {"name": "Other", "sources": [{"file": "Other.wav", "trackData": true}]}]})";
  const std::string build = "build --in " + dir + "/cues.json --out " + dir + "/bank.iAudioSB --manifest " + dir +
                            "/lines.txt --audio-dir " + dir + "/Audio";
  EXPECT_EQ(run(build, &output), 1);
  EXPECT_NE(output.find("the track data [Other.iAudioTD] of source [Other.wav] is not in"), std::string::npos) << output;
  std::filesystem::copy_file(dir + "/Audio/Song.iAudioTD", dir + "/Audio/Other.iAudioTD");
  ASSERT_EQ(run(build, &output), 0) << output;
  const std::string lines = KvTestFileBytes(dir + "/lines.txt");
  EXPECT_NE(lines.find("file Audio/Song.iAudioTD " + dir + "/Audio/Song.iAudioTD compress encrypt\n"), std::string::npos)
      << lines;
  EXPECT_NE(lines.find("file Audio/Other.iAudioTD "), std::string::npos) << lines;
  EXPECT_NE(lines.find("file Audio/Song.wav " + dir + "/Audio/Song.wav plain\n"), std::string::npos) << lines;

  struct SCase {
    const char* pJson;
    const char* pReport;
  };
  const SCase cases[] = {
      {"{\"tracks\": [\n  {\"id\": 1, \"events\": [1,]}]}", "tracks.json:2:26: "},
      {R"({"tracks": [{"id": 1, "events": [1.0, 0.5]}]})", "tracks.json: tracks[0].events[1]: comes before"},
      {R"({"tracks": [{"id": -1, "events": []}]})", "tracks[0].id: must be a name or a whole number"},
      {R"({"tracks": [{"events": [1.0]}]})", "tracks[0].id: a track needs an id"},
      {R"({"tracks": [{"id": 2, "events": ["soon"]}]})", "tracks[0].events[0]: must be a number"},
      {R"({"music": []})", "tracks: the track list needs its tracks"},
  };
  for (const SCase& test : cases) {
    std::ofstream(dir + "/tracks.json") << test.pJson;
    EXPECT_EQ(run("track --in " + dir + "/tracks.json --out " + dir + "/bad.iAudioTD", &output), 1) << test.pJson;
    EXPECT_NE(output.find(test.pReport), std::string::npos) << output;
  }
  std::ofstream(dir + "/damaged.iAudioTD") << std::string("\x40\0\0\0\0\0\0\0\0\0\0\0\x01\0\0\0", 16);
  EXPECT_EQ(run("dump-track " + dir + "/damaged.iAudioTD", &output), 1);
  EXPECT_NE(output.find("damaged.iAudioTD: the track array"), std::string::npos) << output;
  EXPECT_EQ(run("track --in " + dir + "/tracks.json", &output), 2);
}

// The music's track data the build packs for the game dumps through the engine: a bar and a beat track.
TEST(SbankcTool, TheGamesTrackDataDumpsThroughTheEngine) {
  std::string output;
  ASSERT_EQ(run("dump-track " + KvTestShellQuote(KV_CONTENT_TRACK_DATA), &output), 0) << output;
  const nlohmann::json dump = nlohmann::json::parse(output);
  ASSERT_EQ(dump["tracks"].size(), 2u);
  EXPECT_EQ(dump["tracks"][0]["id"], KvStrHash("Bar"));
  EXPECT_EQ(dump["tracks"][1]["id"], KvStrHash("Beat"));
  EXPECT_EQ(dump["tracks"][1]["events"], nlohmann::json({1.0, 3.0}));
}

// Input the library cannot hold or of the wrong shape, and values no cue can use, are refused with the file and
// the field; nothing is written and the tool never ends by an abort.
TEST(SbankcTool, RefusesOutOfRangeNumbersWrongShapesAndUnusableValues) {
  const std::string dir = KvTestTempDir("SbankcRefuses");
  struct SCase {
    const char* pCommand;  // build, track or synth
    const char* pJson;
    const char* pReport;
  };
  const SCase cases[] = {
      {"build", R"({"bank": "B", "cues": [{"name": "a", "sources": [{"file": "x.wav"}], "volume": 1e400}]})",
       "in.json: error: a number out of range"},
      {"track", R"({"tracks": [{"id": 1, "events": [1e400]}]})", "in.json: error: a number out of range"},
      {"synth", R"({"sounds": [{"file": "a.wav", "seconds": 1e400}]})", "in.json: error: a number out of range"},
      {"build", R"({"bank": "B", "cues": [{"name": "a", "sources": [{"file": "x.wav"}], "volume": -2147483649}]})",
       "in.json: cues[0].volume: must lie in [0, 1]"},
      {"build", R"({"bank": "B", "cues": [{"name": "a", "sources": [{"file": "x.wav"}], "pitch": {"min": 0, "max": 2}}]})",
       "in.json: cues[0].pitch.min: must lie in (0, "},
      {"build", R"({"bank": "B", "cues": [{"name": "a", "sources": [{"file": "x.wav"}], "pan": {"min": 0.5, "max": -0.5}}]})",
       "in.json: cues[0].pan: the range's min is above its max"},
      {"build", R"({"bank": "B", "cues": [{"name": "a", "sources": [{"file": "x.wav", "frequency": 0}]}]})",
       "in.json: cues[0].sources[0].frequency: must lie in (0, "},
      {"build", R"({"bank": "B", "cues": [{"name": "a", "sources": [{"file": "x.wav", "length": -0.5}]}]})",
       "in.json: cues[0].sources[0].length: must lie in [0, "},
      {"build", R"({"bank": "B", "cues": [{"name": "a", "sources": [{"file": "x.wav", "weight": 1e39}]}]})",
       "in.json: cues[0].sources[0].weight: does not fit a 32-bit float"},
      {"build", R"({"bank": "B", "cues": [{"name": "a", "sources": [{"file": "x.wav"}], "ducking": [5]}]})",
       "in.json: cues[0].ducking[0]: must be an object"},
      {"build", R"({"bank": "B", "cues": [{"name": "a", "sources": [{"file": "x.wav"}], "ducking": [{"category": 1, "hold": -1}]}]})",
       "in.json: cues[0].ducking[0].hold: must lie in [0, "},
      {"build", R"({"bank": "B", "cues": [{"name": "a", "sources": [{"file": "x.wav"}], "multichannel": [[1]]}]})",
       "in.json: cues[0].multichannel[0]: must be an object"},
      {"build", R"({"bank": "B", "cues": [{"name": "a", "sources": [{"file": "x.wav"}], "multichannel": [{"type": 18446744073709551615}]}]})",
       "in.json: cues[0].multichannel[0].type: must be a whole number from 0 to 1"},
      {"synth", R"([{"file": "a.wav", "seconds": 1}])", "in.json: the sound list: must be an object"},
      {"synth", R"({"sound": [{"file": "a.wav", "seconds": 1}]})", "in.json: sounds: the sound list needs its sounds"},
      {"synth", R"({"sounds": {"file": "a.wav"}})", "in.json: sounds: must be a list"},
      {"synth", R"({"sounds": []})", "in.json: sounds: lists no sound"},
      {"synth", R"({"sounds": [{"file": "a.wav", "seconds": 1}, {"file": "b.wav", "seconds": 1, "layers": [3]}]})",
       "in.json: sounds[1].layers[0]: must be an object"},
      {"synth", R"({"sounds": [{"file": "a.wav", "seconds": 1, "layers": [{"wave": 7}]}]})",
       "in.json: sounds[0].layers[0].wave: must be a text"},
  };
  for (const SCase& test : cases) {
    std::filesystem::remove_all(dir + "/out");
    std::ofstream(dir + "/in.json") << test.pJson;
    std::string output;
    const std::string command = std::string(test.pCommand) + " --in " + dir + "/in.json --out " + dir + "/out" +
                                (std::string(test.pCommand) == "synth" ? "" : "/file");
    EXPECT_EQ(run(command, &output), 1) << test.pJson << "\n" << output;
    EXPECT_NE(output.find(test.pReport), std::string::npos) << test.pJson << "\n" << output;
    EXPECT_TRUE(!std::filesystem::exists(dir + "/out") || std::filesystem::is_empty(dir + "/out")) << test.pJson;
  }
}

// What the engine accepts dumps as valid JSON: a source name's bytes that are not UTF-8 stand for the characters
// of their values. Bytes of a file in a message are escaped.
TEST(SbankcTool, DumpsAreValidJsonAndMessagesEscapeControlBytes) {
  const std::string dir = KvTestTempDir("SbankcBytes");
  nlohmann::json cues;
  std::string problem;
  std::vector<u8> bank;
  std::vector<SSoundBankSourceFile> sources;
  ASSERT_TRUE(SoundBankParseJson(R"({"bank": "B", "cues": [{"name": "a", "sources": [{"file": "cafe.wav"}]}]})", "x",
                                 &cues, &problem));
  ASSERT_TRUE(SoundBankCompile(cues, "x", &bank, &sources, &problem)) << problem;
  const std::string text(bank.begin(), bank.end());
  const size_t uiName = text.find("cafe.wav");
  ASSERT_NE(uiName, std::string::npos);
  bank[uiName + 3] = 0xE9;
  KvTestWriteFile(dir + "/bank.iAudioSB", bank);
  std::string output;
  ASSERT_EQ(run("dump " + dir + "/bank.iAudioSB", &output), 0) << output;
  nlohmann::json dump;
  ASSERT_NO_THROW(dump = nlohmann::json::parse(output)) << output;
  EXPECT_EQ(dump["cues"][0]["sources"][0]["file"], "caf\u00e9.wav");

  std::filesystem::create_directories(dir + "/Audio");
  std::ofstream(dir + "/cues.json") << R"({"bank": "B", "cues": [{"name": "a", "sources": [{"file": "x\u001b[2J\u0007.wav"}]}]})";
  EXPECT_EQ(run("build --in " + dir + "/cues.json --out " + dir + "/b.bank --manifest " + dir + "/m.txt --audio-dir " +
                    dir + "/Audio",
                &output),
            1);
  EXPECT_NE(output.find("source [x\\x1B[2J\\x07.wav] is not in"), std::string::npos) << output;
  EXPECT_EQ(output.find('\x1B'), std::string::npos);
}

// The command line: options with their values, one file for the dumps, and nothing else.
TEST(SbankcTool, CommandLinesOutsideTheUsageAreRefused) {
  const std::string dir = KvTestTempDir("SbankcArgs");
  for (const char* pArguments : {"", "build --in", "build --in a.json --out b --bogus c", "build a.json",
                                 "dump", "dump a b", "dump --in a", "dump-track --out x a", "synth --in a.json"}) {
    std::string output;
    EXPECT_EQ(run(pArguments, &output), 2) << pArguments << "\n" << output;
    EXPECT_NE(output.find("usage: sbankc"), std::string::npos) << pArguments;
  }
}

// What "sbankc dump-track" accepts, the track-data manager loads from the data root, and the other way round: the
// game's track data as built, all zero (a file of no tracks, which both take), and cut in half.
TEST(SbankcTool, TheTrackDumpAcceptsWhatTheLoaderAccepts) {
  const CVerdictDataRoot root("sbankc-verdict");
  const auto loads = [](const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::string name = std::filesystem::path(path).stem().string();
    CVerdictDataRoot::write("Audio/" + name + ".iAudioTD", bytes);
    ClAudioTrackDataMgr::initialize();
    const bool bLoaded = ClAudioTrackDataMgr::load(name.c_str()) != nullptr;
    ClAudioTrackDataMgr::terminate();
    return bLoaded;
  };
  KvTestToolAgreesWithTheLoader(KvTestShellQuote(SBANKC_PATH) + " dump-track",
                                {{KV_CONTENT_TRACK_DATA, {true, true, false}}}, root.path() + "/cuts", loads);
}

}  // namespace
