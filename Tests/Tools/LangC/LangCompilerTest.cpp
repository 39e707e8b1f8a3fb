#include <gtest/gtest.h>

#include <cstdlib>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/Language/KvLangID.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/ToolVerdictTestSupport.h"
#include "Tools/LangC/LangCompiler.h"

namespace {

std::vector<LangEntry> parse(const std::string& source) {
  std::vector<LangEntry> entries;
  std::string error;
  EXPECT_TRUE(LangParseSource(source, "src.txt", &entries, &error)) << error;
  return entries;
}

std::string parseError(const std::string& source) {
  std::vector<LangEntry> entries;
  std::string error;
  EXPECT_FALSE(LangParseSource(source, "src.txt", &entries, &error)) << source;
  return error;
}

TEST(LangCompilerTest, LinesCommentsAndEscapes) {
  const std::vector<LangEntry> entries = parse(
      "\xEF\xBB\xBF# comment\n"
      "\n"
      "   # indented comment\n"
      "PLAIN =   spaced text  \r\n"
      "EMPTY =\n"
      "ESC = a\\nb\\tc\\\\d\\s\n"
      "KEEP = \\\\n stays\n"
      "EQ = x = y\n"
      "UNI = \\u00e9\\U0001F600 caf\xC3\xA9 \xE2\x82\xAC\n"
      "dotted.key-1 = %d %s\n");
  ASSERT_EQ(entries.size(), 7u);
  EXPECT_EQ(entries[0].key, "PLAIN");
  EXPECT_EQ(entries[0].text, u"spaced text");
  EXPECT_EQ(entries[0].iLine, 4);
  EXPECT_EQ(entries[1].text, u"");
  EXPECT_EQ(entries[2].text, u"a\nb\tc\\d ");
  EXPECT_EQ(entries[3].text, u"\\n stays");
  EXPECT_EQ(entries[4].text, u"x = y");
  EXPECT_EQ(entries[5].text, u"\u00e9\U0001F600 caf\u00e9 \u20ac");
  EXPECT_EQ(entries[5].text.size(), 10u);  // the emoji is a surrogate pair
  EXPECT_EQ(entries[6].key, "dotted.key-1");
  EXPECT_EQ(entries[6].text, u"%d %s");
}

TEST(LangCompilerTest, ErrorsNameFileAndLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"A = 1\nno equals sign\n", "src.txt:2:1: error: expected KEY = text"},
      {" = text\n", "src.txt:1:2: error: missing key"},
      {"BAD KEY = x\n", "src.txt:1:1: error: key 'BAD KEY' may hold only"},
      {"A = 1\n\n  A = 2\n", "src.txt:3:3: error: key 'A' is already defined on line 1"},
      {"abc = 1\nABC = 2\n", "src.txt:2:1: error: key 'ABC' has the same name hash as 'abc' on line 1"},
      {"A = \\q\n", "src.txt:1:5: error: unknown escape \\q"},
      {"A = ends \\\n", "src.txt:1:10: error: a backslash ends the text"},
      {"A = \\u12\n", "src.txt:1:5: error: \\u needs 4 hex digits"},
      {"A = x\\u0000\n", "src.txt:1:6: error: the zero code point"},
      {"A = \\ud800\n", "src.txt:1:5: error: a surrogate code point"},
      {"A = \\U00110000\n", "src.txt:1:5: error: code point beyond U+10FFFF"},
      {"A = \xC3\n", "src.txt:1:5: error: malformed UTF-8"},
      {"A = \xC0\xAF\n", "src.txt:1:5: error: malformed UTF-8"},   // overlong
      {"A =  ab\xED\xA0\x80\n", "src.txt:1:8: error: a surrogate"},  // encoded surrogate
  };
  for (const auto& [pSource, pExpected] : cases) {
    const std::string error = parseError(pSource);
    EXPECT_EQ(error.rfind(pExpected, 0), 0u) << "got: " << error;
  }
}

TEST(LangCompilerTest, TableLayoutIsSortedBySignedHash) {
  // Enough keys that both signs of the hash occur.
  std::string source;
  for (int i = 0; i < 40; ++i) {
    source += "K" + std::to_string(i) + " = text " + std::to_string(i) + "\n";
  }
  const std::vector<LangEntry> entries = parse(source);
  const std::vector<std::uint8_t> image = LangBuildTable(entries);
  char szError[256];
  ASSERT_TRUE(KvValidateStringTable(image.data(), static_cast<u32>(image.size()), szError, sizeof(szError)))
      << szError;
  EXPECT_EQ(KvTestU32At(image, 0), 12u);
  EXPECT_EQ(KvTestU32At(image, 4), 0u);
  EXPECT_EQ(KvTestU32At(image, 8), 40u);
  bool bNegative = false;
  bool bPositive = false;
  i32 iPrevious = INT32_MIN;
  size_t uiTextEnd = 12 + 40 * 4 + 40 * 12;
  for (u32 i = 0; i < 40; ++i) {
    const u32 uiPair = KvTestU32At(image, 12 + 4 * i);
    EXPECT_EQ(uiPair, 12 + 40 * 4 + 12 * i);
    EXPECT_EQ(KvTestU32At(image, uiPair + 4), 0u);
    const i32 iKey = static_cast<i32>(KvTestU32At(image, uiPair + 8));
    EXPECT_GT(iKey, iPrevious);
    iPrevious = iKey;
    bNegative |= iKey < 0;
    bPositive |= iKey > 0;
    // Texts follow one another in key order, each with its zero unit.
    const u32 uiText = KvTestU32At(image, uiPair);
    EXPECT_EQ(uiText, uiTextEnd);
    const LangEntry* pEntry = nullptr;
    for (const LangEntry& entry : entries) {
      if (static_cast<i32>(KvStrHash(entry.key.c_str())) == iKey) {
        pEntry = &entry;
      }
    }
    ASSERT_NE(pEntry, nullptr);
    std::u16string text;
    for (size_t at = uiText; image[at] != 0 || image[at + 1] != 0; at += 2) {
      text.push_back(static_cast<char16_t>(image[at] | (image[at + 1] << 8)));
    }
    EXPECT_EQ(text, pEntry->text);
    uiTextEnd = uiText + 2 * text.size() + 2;
  }
  EXPECT_EQ(uiTextEnd, image.size());
  EXPECT_TRUE(bNegative && bPositive);
}

SKvToolRun langc(const std::string& arguments) {
  return KvTestRunTool(KvTestShellQuote(KvTestBinaryDir() + "/Tools/LangC/langc") + " " + arguments);
}

int runLangc(const std::string& arguments) { return langc(arguments).iExit; }

TEST(LangCompilerTest, CommandWritesTheTableOrNothing) {
  const std::string dir = KvTestTempDir("LangCompilerTest.Command");
  std::ofstream(dir + "/good.txt") << "HELLO = Bonjour\n";
  std::ofstream(dir + "/bad.txt") << "HELLO = \\x\n";
  EXPECT_EQ(runLangc(dir + "/good.txt " + dir + "/good.lang"), 0);
  std::ifstream in(dir + "/good.lang", std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  const std::string image = bytes.str();
  ASSERT_EQ(image.size(), 12u + 4u + 12u + 16u);
  EXPECT_EQ(KvTestU32At(std::vector<std::uint8_t>(image.begin(), image.end()), 24),
            KvStrHash("HELLO"));
  EXPECT_EQ(runLangc(dir + "/bad.txt " + dir + "/bad.lang"), 1);
  EXPECT_FALSE(std::ifstream(dir + "/bad.lang").good());
  EXPECT_EQ(runLangc(dir + "/missing.txt " + dir + "/missing.lang"), 1);
  EXPECT_EQ(runLangc(dir + "/good.txt"), 2);
  EXPECT_EQ(runLangc("--frobnicate " + dir + "/good.lang"), 2);
  EXPECT_EQ(runLangc(dir + "/good.txt " + dir + "/a.lang " + dir + "/b.lang"), 2);
  EXPECT_EQ(runLangc("--check " + dir + "/good.lang " + dir + "/good.txt"), 2);
  const SKvToolRun noValue = langc("--check");
  EXPECT_EQ(noValue.iExit, 2);
  EXPECT_EQ(noValue.out.rfind("langc: --check needs a value\n", 0), 0u) << noValue.out;

  // The usage on request; a written table checks with the engine's loader, anything else does not.
  const SKvToolRun help = langc("--help");
  EXPECT_EQ(help.iExit, 0);
  EXPECT_EQ(help.out.rfind("usage: langc", 0), 0u) << help.out;
  EXPECT_EQ(runLangc("--check " + dir + "/good.lang"), 0);
  std::ofstream(dir + "/junk.lang") << "junk";
  std::ofstream(dir + "/zeroed.lang", std::ios::binary) << std::string(image.size(), '\0');  // no empty table
  for (const std::string& name : std::vector<std::string>{"junk.lang", "zeroed.lang"}) {
    const SKvToolRun refused = langc("--check " + dir + "/" + name);
    EXPECT_EQ(refused.iExit, 1);
    EXPECT_NE(refused.out.find(name + ": error: the engine does not load it: String table [Check] refused: "),
              std::string::npos)
        << refused.out;
  }
}

// A source is read as every tool reads its text: a byte-order mark skipped, a zero byte refused where it is.
TEST(LangCompilerTest, SourcesAreReadAsEveryToolReadsThem) {
  const std::string dir = KvTestTempDir("LangCompilerTest.Sources");
  std::ofstream(dir + "/bom.txt") << "\xEF\xBB\xBFHELLO = Bonjour\n";
  EXPECT_EQ(runLangc(dir + "/bom.txt " + dir + "/bom.lang"), 0);
  std::ofstream(dir + "/zero.txt") << "HELLO = Bon" << '\0' << "jour\n";
  const SKvToolRun zero = langc(dir + "/zero.txt " + dir + "/zero.lang");
  EXPECT_EQ(zero.iExit, 1);
  EXPECT_NE(zero.out.find("zero.txt:1:12: error: the file holds a zero byte"), std::string::npos) << zero.out;
}

// What "langc --check" accepts, the game's table loader accepts from the data root (as the game loads its tables,
// texts required), and the other way round: a table with texts and one without, as compiled, all zero, and cut in
// half.
TEST(LangCompilerTest, TheCheckAcceptsWhatTheLoaderAccepts) {
  const CVerdictDataRoot root("LangCompilerTest.Verdict");
  std::ofstream("Texts.txt") << "HELLO = Bonjour\nBYE = Au revoir\n";
  std::ofstream("Empty.txt") << "# no texts\n";
  std::filesystem::create_directories("built");
  ASSERT_EQ(runLangc(root.path() + "/Texts.txt " + root.path() + "/built/Texts.lang"), 0);
  ASSERT_EQ(runLangc(root.path() + "/Empty.txt " + root.path() + "/built/Empty.lang"), 0);
  KvLangID::setLanguage(0, KvGetBaseDataPath());
  const auto loads = [](const std::string& path, const std::vector<std::uint8_t>& bytes) {
    const std::string name = std::filesystem::path(path).stem().string();
    CVerdictDataRoot::write("Lang/eng/Strings/" + name + ".lang", bytes);
    KvLangID::initialize();
    const bool bLoaded = KvLangID::loadStringTable(name.c_str(), true) == 1;
    KvLangID::unloadAllStringTables();
    return bLoaded;
  };
  KvTestToolAgreesWithTheLoader(KvTestShellQuote(KvTestBinaryDir() + "/Tools/LangC/langc") + " --check",
                                {{root.path() + "/built/Texts.lang", {true, false, false}},
                                 {root.path() + "/built/Empty.lang", {false, false, false}}},
                                root.path() + "/cuts", loads);
}

}  // namespace
