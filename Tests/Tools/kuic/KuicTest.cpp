// The UI-screen compiler: the file layout it writes, its error messages, the dump through the engine's
// loader, and the round trip of the sample screen sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/Language/KvLangID.h"
#include "Corvane/UI/ClUI.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/ToolVerdictTestSupport.h"
#include "Tools/kuic/KuiJson.h"
#include "Tools/kuic/KuiSource.h"

namespace {

std::vector<uint8_t> compile(const std::string& text) {
  SKuiScreenSet set;
  std::string error;
  EXPECT_TRUE(KuiParseDescription(text, "t.json", &set, &error)) << error;
  return KuiWriteImage(set);
}

std::string compileError(const std::string& text) {
  SKuiScreenSet set;
  std::string error;
  EXPECT_FALSE(KuiParseDescription(text, "bad.json", &set, &error)) << text;
  return error;
}

std::string dumpOf(const std::vector<uint8_t>& image, const std::vector<std::pair<uint32_t, std::string>>& names = {}) {
  std::string json;
  std::string error;
  EXPECT_TRUE(KuiDumpImage(image, "t.kui", names, &json, &error)) << error;
  return json;
}

SKvToolRun run(const std::string& arguments) { return KvTestRunTool(KvTestShellQuote(KUIC_PATH) + " " + arguments); }

TEST(Kuic, WritesTheFileLayout) {
  const std::vector<uint8_t> image = compile(R"({"root": {"name": "Root", "properties": {"n": 5,
      "onClick": {"event": {"single": "one", "calls": [{"call": "two", "params": [{"id": "X"}, "ab"]}]}}},
      "children": [{"name": "Kid"}], "switched": ["Kid"]}})");
  // Header, both instances, the widget table, then each widget's arrays and records.
  EXPECT_EQ(KvTestU32At(image, 0), 168u);  // widget table
  EXPECT_EQ(KvTestU32At(image, 4), 0u);    // high word of the slot
  EXPECT_EQ(KvTestU32At(image, 8), 24u);   // root instance
  EXPECT_EQ(KvTestU32At(image, 16), 2u);
  EXPECT_EQ(KvTestU32At(image, 168), 24u);
  EXPECT_EQ(KvTestU32At(image, 172), 96u);
  const u32 uiRoot = 24;
  EXPECT_EQ(KvTestU32At(image, uiRoot + 24), 2u);                // properties
  EXPECT_EQ(KvTestU32At(image, uiRoot + 28), KvStrHash("Root"));  // instance ID
  EXPECT_EQ(KvTestU32At(image, uiRoot + 32), 1u);                // children
  EXPECT_EQ(KvTestU32At(image, uiRoot + 36), 1u);                // switched
  EXPECT_STREQ(reinterpret_cast<const char*>(&image[uiRoot + 40]), "Root");
  EXPECT_EQ(KvTestU32At(image, KvTestU32At(image, uiRoot + 8)), 96u);  // the child
  EXPECT_EQ(KvTestU32At(image, KvTestU32At(image, uiRoot + 16)), 96u);
  const u32 uiN = KvTestU32At(image, KvTestU32At(image, uiRoot));
  EXPECT_EQ(uiN % 8, 0u);
  EXPECT_EQ(KvTestU32At(image, uiN), 5u);
  EXPECT_EQ(KvTestU32At(image, uiN + 512), u32(E_BASE_TYPE_INT));
  EXPECT_EQ(KvTestU32At(image, uiN + 516), KvStrHash("n"));
  const u32 uiEvent = KvTestU32At(image, KvTestU32At(image, uiRoot) + 4);
  EXPECT_EQ(KvTestU32At(image, uiEvent + 512), u32(E_BASE_TYPE_EVENTCALLBACK));
  EXPECT_EQ(KvTestU32At(image, uiEvent + 8), 1u);  // calls
  EXPECT_EQ(KvTestU32At(image, uiEvent + 16), KvStrHash("one"));
  const u32 uiCall = KvTestU32At(image, KvTestU32At(image, uiEvent));
  EXPECT_EQ(uiCall % 8, 0u);
  EXPECT_EQ(KvTestU32At(image, uiCall + 8), 2u);
  EXPECT_EQ(KvTestU32At(image, uiCall + 12), KvStrHash("two"));
  const u32 uiParams = KvTestU32At(image, uiCall);
  EXPECT_EQ(KvTestU32At(image, KvTestU32At(image, uiParams)), u32(E_ESCP_TYPE_ID));
  EXPECT_EQ(KvTestU32At(image, KvTestU32At(image, uiParams) + 4), KvStrHash("X"));
  EXPECT_EQ(KvTestU32At(image, KvTestU32At(image, uiParams + 4)), u32(E_ESCP_TYPE_STRING));
  EXPECT_STREQ(reinterpret_cast<const char*>(&image[KvTestU32At(image, uiParams + 4) + 4]), "ab");
  // The kid has no arrays: its slots stay 0.
  EXPECT_EQ(KvTestU32At(image, 96), 0u);
  EXPECT_EQ(KvTestU32At(image, 96 + 8), 0u);
  char szError[gc_uiUI_DATA_ERROR_SIZE];
  EXPECT_TRUE(KvValidateUIData(image.data(), static_cast<u32>(image.size()), "t.kui", nullptr, szError,
                               sizeof(szError)))
      << szError;
}

TEST(Kuic, ValuesOfEveryTypeAreStoredAsTheLoaderReadsThem) {
  const std::vector<uint8_t> image = compile(R"({"root": {"name": "R", "properties": {
      "i": {"int": -2}, "f": 0.5, "b": false, "id": {"id": "Target"}, "h": {"id": "#0x12345678"}, "s": "text",
      "c": {"color": "0x80FF0000"}, "l": {"layout": [0, 1, 2, 3, 4.5, 5.5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17]},
      "p": {"percentxy": [0.25, 1]}, "g": {"gridxy": [-1, 4]}, "x": {"floatxy": [1.5, -2]}, "n9": {"type9": [1, 2.5]},
      "raw": {"type12": "00ff"}, "e": {"event": {"calls": []}}}}})");
  ClUI::initialise();
  ASSERT_TRUE(ClUI::loadUIDataFromImage("T", image.data(), static_cast<u32>(image.size())));
  ClWidget* pWidget = ClUI::getWidget("R");
  EXPECT_EQ(pWidget->getInt("i"), -2);
  EXPECT_EQ(pWidget->getFloat("f"), 0.5f);
  EXPECT_EQ(pWidget->findProperty(KvStrHash("b"))->mp_eType, E_BASE_TYPE_BOOL);
  EXPECT_EQ(pWidget->getID("id"), KvStrHash("Target"));
  EXPECT_EQ(pWidget->getID("h"), 0x12345678u);
  EXPECT_STREQ(pWidget->getString("s"), "text");
  EXPECT_EQ(pWidget->getID("c"), 0x80FF0000u);
  const u32* puiLayout = static_cast<const u32*>(pWidget->getLayout("l"));
  EXPECT_EQ(puiLayout[3], 3u);
  f32 fX;
  std::memcpy(&fX, &puiLayout[4], 4);
  EXPECT_EQ(fX, 4.5f);
  EXPECT_EQ(puiLayout[17], 17u);
  EXPECT_EQ(pWidget->getXY("p"), (kv_vector2{0.25f, 1.0f}));
  i32 iX = 0, iY = 0;
  pWidget->getGridXY("g", &iX, &iY);
  EXPECT_EQ(iX, -1);
  EXPECT_EQ(iY, 4);
  EXPECT_EQ(pWidget->getXY("x"), (kv_vector2{1.5f, -2.0f}));
  EXPECT_EQ(static_cast<const u8*>(pWidget->findProperty(KvStrHash("raw"))->mp_pData)[1], 0xFF);
  EXPECT_EQ(pWidget->findProperty(KvStrHash("n9"))->mp_eType, E_BASE_TYPE_UNNAMED_9);
  ClUI::terminate();
}

TEST(Kuic, ErrorsNameTheFileAndThePlace) {
  EXPECT_EQ(compileError("{\"root\": {\n  \"name\": \"A\",\n  \"x\" 1}}").substr(0, 17), "bad.json:3:7: err");
  EXPECT_EQ(compileError(R"({"root": {"name": "A", "properties": {"x": {"colour": 1}}}})"),
            "bad.json: error: at /root/properties/x: unknown value type \"colour\"");
  EXPECT_EQ(compileError(R"({"root": {"name": "A", "children": ["B"]}})"),
            "bad.json: error: at /root/children/0: no widget is named [B]");
  EXPECT_EQ(compileError(R"({"root": {"name": "A", "children": [{"name": "B"}], "switched": ["C"]}})"),
            "bad.json: error: at /root/switched/0: [C] is not a child of [A]");
  EXPECT_EQ(compileError(R"({"root": {"name": "A", "children": [{"name": "B", "children": ["A"]}]}})"),
            "bad.json: error: at /root/children/0/children/0: [B] lists its ancestor [A] as a child");
  EXPECT_EQ(compileError(R"({"root": {"name": "A", "children": [{"name": "a"}]}})"),
            "bad.json: error: at /root/children/0/name: the instance ID of [a] is already the ID of [A]");
  EXPECT_EQ(compileError(R"({"root": {"name": "A", "properties": {"t": ")" + std::string(256, 'x') + "\"}}}"),
            "bad.json: error: at /root/properties/t: a text holds at most 255 bytes");
  EXPECT_EQ(compileError(R"({"root": {"name": "A", "properties": {"k": 1, "K": 2}}})"),
            "bad.json: error: at /root/properties/K: a widget names each property once (names hash without case)");
  EXPECT_EQ(compileError(R"({"root": {"name": "A", "properties": {"c": {"color": "red"}}}})"),
            "bad.json: error: at /root/properties/c/color: a colour is written \"0xAARRGGBB\"");
  EXPECT_EQ(compileError(R"({"root": {"name": "A", "properties": {"e": {"event": {"calls": [{"call": "p", "params": [[1]]}]}}}}})"),
            "bad.json: error: at /root/properties/e/event/calls/0/params/0: a parameter is an integer, a number, a "
            "text or {\"id\": name}");
  EXPECT_EQ(compileError(R"({"root": {"name": "A", "propertys": {}}})"),
            "bad.json: error: at /root/propertys: unknown key of a widget (name, instanceID, properties, children, "
            "switched)");
  EXPECT_EQ(compileError(R"({"root": {"properties": {}}})"), "bad.json: error: at /root: a widget needs a \"name\"");
}

TEST(Kuic, TheDumpOfACompiledFileCompilesBackToTheSameFile) {
  for (const char* pRelative : {"Switcher_Splash.json", "Screens/VOSK_UI.json", "Screens/Switcher_HowToPlay.json"}) {
    const std::string source = std::string(KV_UI_SOURCE_DIR) + "/" + pRelative;
    std::vector<uint8_t> image;
    std::string error;
    ASSERT_TRUE(KuiCompileFile(source, &image, &error)) << error;
    std::vector<std::pair<uint32_t, std::string>> names;
    ASSERT_TRUE(KuiCollectNames(source, &names, &error)) << error;
    const std::string json = dumpOf(image, names);
    EXPECT_EQ(json.find("#0x"), std::string::npos) << "every name is known from the description";
    EXPECT_EQ(compile(json), image) << pRelative;
    // Without the names the hashes stand in, and compile to the same file too.
    const std::string hashed = dumpOf(image);
    EXPECT_NE(hashed.find("#0x"), std::string::npos);
    EXPECT_EQ(compile(hashed), image) << pRelative;
  }
  // A shared child is written once, then named.
  const std::string json = dumpOf(compile(R"({"root": {"name": "R", "children": [{"name": "S"}, {"name": "T", "children": ["S"]}]}})"));
  EXPECT_NE(json.find("\"children\": [\n          \"S\"\n        ]"), std::string::npos) << json;
}

// A widget name longer than the 31 bytes a file keeps: the file holds its first 31 bytes and a terminator, the
// instance ID hashes the whole name, and the dump compiles back to the same bytes with the names and without.
TEST(Kuic, ALongWidgetNameKeepsThirtyOneBytesAndItsWholeHash) {
  const std::string longName = "InGameMultiplierCombosBURSTOVERLAY";
  const std::string text = R"({"root": {"name": "R", "children": [{"name": ")" + longName + R"("}]}})";
  const std::vector<uint8_t> image = compile(text);
  const std::string kept = longName.substr(0, 31);
  const auto at = std::search(image.begin(), image.end(), kept.begin(), kept.end());
  ASSERT_NE(at, image.end());
  EXPECT_EQ(*(at + 31), 0u) << "the name field ends with a terminator";
  const std::string named = dumpOf(image, {{KvStrHash(longName.c_str()), longName}});
  EXPECT_NE(named.find("\"instanceID\": \"" + longName + "\""), std::string::npos) << named;
  EXPECT_EQ(compile(named), image);
  const std::string hashed = dumpOf(image);
  EXPECT_EQ(compile(hashed), image) << hashed;
}

TEST(Kuic, TheToolAnswersHelpAndFailsOnBadInputWithItsMessage) {
  const SKvToolRun help = run("--help");
  EXPECT_EQ(help.iExit, 0);
  EXPECT_NE(help.out.find("usage: kuic"), std::string::npos);
  EXPECT_EQ(run("").iExit, 2);
  EXPECT_EQ(run("--bogus").iExit, 2);

  const std::string dir = KvTestTempDir("kuic");
  std::ofstream(dir + "/bad.json") << "{\"root\": {\"name\": \"A\", \"children\": [\"Z\"]}}";
  const SKvToolRun bad = run(dir + "/bad.json");
  EXPECT_EQ(bad.iExit, 1);
  EXPECT_NE(bad.out.find(dir + "/bad.json: error: at /root/children/0: no widget is named [Z]"), std::string::npos)
      << bad.out;
  EXPECT_FALSE(std::ifstream(dir + "/bad.kui").good()) << "nothing written";

  std::ofstream(dir + "/good.json") << "{\"root\": {\"name\": \"A\", \"properties\": {\"n\": 1}}}";
  ASSERT_EQ(run(dir + "/good.json").iExit, 0);
  const SKvToolRun dumped = run("--dump " + dir + "/good.kui --names " + dir + "/good.json");
  EXPECT_EQ(dumped.iExit, 0);
  EXPECT_NE(dumped.out.find("\"n\": 1"), std::string::npos) << dumped.out;

  std::string damaged = KvTestFileBytes(dir + "/good.kui");
  damaged.resize(damaged.size() - 8);
  std::ofstream(dir + "/damaged.kui", std::ios::binary) << damaged;
  const SKvToolRun refused = run("--dump " + dir + "/damaged.kui");
  EXPECT_EQ(refused.iExit, 1);
  EXPECT_NE(refused.out.find("UI data [" + dir + "/damaged.kui] refused: "), std::string::npos) << refused.out;
}

// A description of n widgets, each the only child of the one before.
std::string nested(int iLevels) {
  std::string widget = "{\"name\": \"L" + std::to_string(iLevels) + "\"}";
  for (int i = iLevels - 1; i >= 1; --i) {
    widget = "{\"name\": \"L" + std::to_string(i) + "\", \"children\": [" + widget + "]}";
  }
  return "{\"root\": " + widget + "}";
}

// The tool writes only what the engine's loader takes: trees too deep (nested or through links), numbers out of
// range and trees the loader refuses are reported with the file and nothing is written; the tool never ends
// by a signal.
TEST(Kuic, WritesOnlyWhatTheLoaderTakesAndReportsEverythingElse) {
  const std::string dir = KvTestTempDir("KuicRefuses");
  std::string links = R"({"root": {"name": "R", "children": [)";
  for (int i = 1; i <= 200; ++i) {
    links += std::string(i > 1 ? ", " : "") + "{\"name\": \"W" + std::to_string(i) + "\"" +
             (i < 200 ? ", \"children\": [\"W" + std::to_string(i + 1) + "\"]" : std::string()) + "}";
  }
  links += "]}}";
  std::string doubling = R"({"name": "D22"})";
  for (int i = 21; i >= 0; --i) {
    doubling = "{\"name\": \"D" + std::to_string(i) + "\", \"children\": [" + doubling + ", \"D" +
               std::to_string(i + 1) + "\"]}";
  }
  struct SCase {
    std::string json;
    std::string report;
  };
  const SCase cases[] = {
      {nested(3000), "in.json: error: at /root"},
      {nested(3000), "the widget tree is more than 128 levels deep"},
      {nested(200), "the widget tree is more than 128 levels deep"},
      {links, "levels deep (through linked children)"},
      {"{\"root\": " + doubling + "}", "in.kui: the engine would refuse what was built, so nothing is written: "},
      {R"({"root": {"name": "A", "properties": {"x": 1e400}}})", "in.json: error: a number out of range"},
      {R"({"root": {"name": "A", "properties": {"x": {"float": -1e39}}}})",
       "in.json: error: at /root/properties/x/float: the number does not fit a 32-bit float"},
      {R"({"root": {"name": "A", "properties": {"x": {"layout": [1, 2, 3, 4, 1e300, 6, 7, 8, 9, 0, 1, 2, 3, 4, 5, 6, 7, 8]}}}})",
       "at /root/properties/x/layout/4: the number does not fit a 32-bit float"},
      {R"({"root": {"name": "A", "children": ["Z\u001b[2J\u0007"]}})", "no widget is named [Z\\x1B[2J\\x07]"},
  };
  for (const SCase& test : cases) {
    std::remove((dir + "/in.kui").c_str());
    std::ofstream(dir + "/in.json") << test.json;
    const SKvToolRun result = run(dir + "/in.json");
    EXPECT_EQ(result.iExit, 1) << test.report << "\n" << result.out.substr(0, 400);
    EXPECT_NE(result.out.find(test.report), std::string::npos) << result.out.substr(0, 400);
    EXPECT_EQ(result.out.find('\x1B'), std::string::npos);
    EXPECT_FALSE(std::ifstream(dir + "/in.kui").good()) << test.report;
  }
  // At the loader's limit the tree compiles, and its dump loads.
  std::ofstream(dir + "/in.json") << nested(128);
  ASSERT_EQ(run(dir + "/in.json").iExit, 0);
  const SKvToolRun dumped = run("--dump " + dir + "/in.kui");
  EXPECT_EQ(dumped.iExit, 0) << dumped.out.substr(0, 400);
  EXPECT_NE(dumped.out.find("\"name\": \"L128\""), std::string::npos);
}

// A widget name's bytes that are not UTF-8 dump as the characters of their values: the dump is valid JSON.
TEST(Kuic, TheDumpIsValidJsonForAnyNameTheLoaderTakes) {
  std::vector<uint8_t> image = compile(R"({"root": {"name": "Cafe", "instanceID": "#0x00000123"}})");
  const std::string text(image.begin(), image.end());
  image[text.find("Cafe") + 3] = 0xE9;
  const std::string json = dumpOf(image);
  EXPECT_NE(json.find("\"name\": \"Caf\xC3\xA9\""), std::string::npos) << json;
}

TEST(Kuic, CommandLinesOutsideTheUsageAreRefused) {
  for (const char* pArguments : {"-o", "a.json b.json", "--names n.json a.json", "--dump", "--dump a.kui b.json"}) {
    const SKvToolRun result = run(pArguments);
    EXPECT_EQ(result.iExit, 2) << pArguments << "\n" << result.out;
    EXPECT_NE(result.out.find("usage: kuic"), std::string::npos) << pArguments;
  }
}

TEST(Kuic, TheBuildCheckedTheSampleScreenSetsByLoadingThem) {
  // The build's rule dumped each compiled file through the loader next to it.
  const std::string dump = KvTestFileBytes(std::string(KV_UI_CONTENT_DIR) + "/Lang/eng/UI/VOSK_UI.kui.json");
  EXPECT_NE(dump.find("\"name\": \"TopLevelSwitcher\""), std::string::npos);
  EXPECT_NE(dump.find("\"call\": \"systemGridHandleLeft\""), std::string::npos);
}

// What "kuic --dump" accepts, the UI's loader loads from the data root, and the other way round: the sample screen
// sets as built, all zero, and cut in half.
TEST(Kuic, TheDumpAcceptsWhatTheLoaderAccepts) {
  const CVerdictDataRoot root("kuic-verdict");
  KvLangID::setLanguage(0, KvGetBaseDataPath());
  const auto loads = [](const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::string name = std::filesystem::path(path).stem().string();
    CVerdictDataRoot::write("Lang/eng/UI/" + name + ".kui", bytes);
    ClUI::initialise();
    const bool bLoaded = KvTestLoadsWithoutAStop([&name] { return ClUI::loadLocalizedUIData(name.c_str()); });
    ClUI::terminate();
    return bLoaded;
  };
  KvTestToolAgreesWithTheLoader(KvTestShellQuote(KUIC_PATH) + " --dump",
                                {{std::string(KV_UI_CONTENT_DIR) + "/Lang/eng/UI/VOSK_UI.kui", {true, false, false}},
                                 {std::string(KV_UI_CONTENT_DIR) + "/UI/Switcher_Splash.kui", {true, false, false}}},
                                root.path() + "/cuts", loads);
}

}  // namespace
