#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Code/System/GAMECommandLine.h"
#include "Corvane/Development/ClCommandParameters.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    ClCommandParameters::initialize();
    ClCommandParameters::setDefinitions(g_GameCommandDefinitions, gc_iNUM_GAME_COMMAND_DEFINITIONS);
    ASSERT_EQ(ClCommandParameters::validate(), 1);
  }
  void TearDown() override { ClCommandParameters::shutdown(); }

  static i32 parse(std::vector<const char*> args) {
    args.insert(args.begin(), "grindlow");
    return ClCommandParameters::parse(static_cast<i32>(args.size()), args.data());
  }
  static i32 intOf(const char* pName) { return ClCommandParameters::findParameter(pName)->m_values[0].m_iValue; }

  static std::string helpText() {
    std::FILE* pFile = std::tmpfile();
    GameSpecificPrintHelp(pFile);
    std::rewind(pFile);
    std::string text;
    for (int c; (c = std::fgetc(pFile)) != EOF;) text.push_back(static_cast<char>(c));
    std::fclose(pFile);
    return text;
  }
};

TEST_F(CommandLine, GameOptionsTakeTheirIntegers) {
  EXPECT_EQ(parse({"-fullscreen", "1", "-resolution", "720"}), 1);
  EXPECT_EQ(ClCommandParameters::getParameterCount(), 2);
  EXPECT_EQ(intOf("-fullscreen"), 1);
  EXPECT_EQ(intOf("-resolution"), 720);
  EXPECT_EQ(ClCommandParameters::findParameter("-fullscreen")->m_iNumArgsRead, 1);
  EXPECT_EQ(ClCommandParameters::findParameter("-w"), nullptr);
  EXPECT_FALSE(GameSpecificIsHelpRequested());
  ClCommandParameters::initialize();
  EXPECT_EQ(parse({"-w", "-1280", "-h", "720"}), 1);
  EXPECT_EQ(intOf("-w"), -1280);
  EXPECT_EQ(ClCommandParameters::getParameterCount(), 2);
}

TEST_F(CommandLine, HeightIsAlsoAHelpRequest) {
  EXPECT_EQ(parse({"-h", "720"}), 1);
  EXPECT_EQ(intOf("-h"), 720);
  EXPECT_TRUE(GameSpecificIsHelpRequested());
  // "-h" always means the height: alone it lacks its integer.
  ClCommandParameters::initialize();
  EXPECT_EQ(parse({"-h"}), 0);
  EXPECT_TRUE(GameSpecificIsHelpRequested());
  EXPECT_EQ(ClCommandParameters::findParameter("-h")->m_iNumArgsRead, 0);
  for (const char* pHelp : {"-?", "?", "-help"}) {
    ClCommandParameters::initialize();
    EXPECT_EQ(parse({pHelp}), 1) << pHelp;
    EXPECT_TRUE(GameSpecificIsHelpRequested()) << pHelp;
  }
  EXPECT_EQ(helpText(),
            "--------------------------------------------------------------------------------\n"
            "HELP ---------------------------------------------------------------------------\n"
            "-fullscreen [0 or 1]\t\tSet the value to 1 to force full screen or 0 for windowed mode.\n"
            "-resolution [480, 600, 720, 768, 900, 1024, 1050, 1080, 1152, 1200]\tForce resolution.\n"
            "-?\t\t\t\t\t\tDisplay help.");
}

TEST_F(CommandLine, BadCommandLinesStopParsingButKeepWhatCameBefore) {
  EXPECT_EQ(parse({"-fullscreen"}), 0);
  const SCommandParameter* pFull = ClCommandParameters::findParameter("-fullscreen");
  ASSERT_NE(pFull, nullptr);
  EXPECT_EQ(pFull->m_iNumArgsRead, 0);
  EXPECT_EQ(pFull->m_values[0].m_iValue, 0);

  ClCommandParameters::initialize();
  EXPECT_EQ(parse({"-w", "800", "-Fullscreen", "1", "-h", "600"}), 0);
  EXPECT_EQ(intOf("-w"), 800);
  EXPECT_EQ(ClCommandParameters::findParameter("-h"), nullptr);

  for (const char* pBad : {"72O", "", "-", "2147483648", "-2147483649", "99999999999999999999", "1.5"}) {
    ClCommandParameters::initialize();
    EXPECT_EQ(parse({"-resolution", pBad}), 0) << pBad;
  }
  ClCommandParameters::initialize();
  EXPECT_EQ(parse({"-w", "2147483647", "-h", "-2147483648"}), 1);
  EXPECT_EQ(intOf("-w"), 2147483647);
  EXPECT_EQ(intOf("-h"), -2147483647 - 1);
}

TEST_F(CommandLine, AFifthParameterEndsParsingAndKeepsTheFirstFour) {
  EXPECT_EQ(parse({"-w", "1", "-?", "?", "-help", "-fullscreen", "1"}), 0);
  EXPECT_EQ(ClCommandParameters::getParameterCount(), 4);
  EXPECT_EQ(ClCommandParameters::findParameter("-fullscreen"), nullptr);
  EXPECT_NE(ClCommandParameters::findParameter("-help"), nullptr);
}

TEST_F(CommandLine, EngineParametersSetDebugLevelAndLanguage) {
  EXPECT_EQ(ClCommandParameters::getDebugLevel(), -1);
  EXPECT_EQ(ClCommandParameters::getLanguage(), -1);
  EXPECT_EQ(parse({"-debug", "3", "-release"}), 0);
  EXPECT_EQ(ClCommandParameters::getDebugLevel(), 4);
  ClCommandParameters::initialize();
  EXPECT_EQ(parse({"-release", "-language", "fra"}), 1);
  EXPECT_EQ(ClCommandParameters::getDebugLevel(), 0);
  EXPECT_EQ(ClCommandParameters::getLanguage(), 1);
  ClCommandParameters::initialize();
  EXPECT_EQ(parse({"-language", "bul"}), 1);
  EXPECT_EQ(ClCommandParameters::getLanguage(), 23);
  for (std::vector<const char*> bad : {std::vector<const char*>{"-language", "xyz"},
                                       std::vector<const char*>{"-language", "FRA"},
                                       std::vector<const char*>{"-language", "eng", "-language", "fra"},
                                       std::vector<const char*>{"-debug", "14"},
                                       std::vector<const char*>{"-debug", "-1"}}) {
    ClCommandParameters::initialize();
    EXPECT_EQ(parse(bad), 0) << bad[0] << " " << bad[1];
  }
  ClCommandParameters::initialize();
  EXPECT_EQ(parse({"-debug", "13"}), 1);
  EXPECT_EQ(ClCommandParameters::getDebugLevel(), 14);
}

TEST_F(CommandLine, ValidateRefusesClashingOrImpossibleDefinitions) {
  SCommandParameterDefinition table[2] = {{"-speed", 1, {0, 0, 0}, E_COMMAND_ARG_FLOAT, 0},
                                          {"-name", 1, {0, 0, 0}, E_COMMAND_ARG_TEXT, 1}};
  ClCommandParameters::setDefinitions(table, 2);
  EXPECT_EQ(ClCommandParameters::validate(), 1);
  EXPECT_EQ(parse({"-speed", "-1.5"}), 0);  // "-name" is required
  EXPECT_EQ(ClCommandParameters::findParameter("-speed")->m_values[0].m_fValue, -1.5f);
  ClCommandParameters::initialize();
  const std::string longName(100, 'n');
  EXPECT_EQ(parse({"-name", longName.c_str()}), 1);
  EXPECT_EQ(std::string(ClCommandParameters::findParameter("-name")->m_values[0].m_szText), longName.substr(0, 63));
  for (const char* pBad : {"1", "1.2.3", "-.", "x.5"}) {
    ClCommandParameters::initialize();
    EXPECT_EQ(parse({"-speed", pBad, "-name", "a"}), 0) << pBad;
  }

  table[1] = {"-release", 0, {0, 0, 0}, E_COMMAND_ARG_NONE, 0};
  ClCommandParameters::setDefinitions(table, 2);
  EXPECT_EQ(ClCommandParameters::validate(), 0);
  table[1] = {"-flag", 1, {0, 0, 0}, E_COMMAND_ARG_NONE, 0};
  ClCommandParameters::setDefinitions(table, 2);
  EXPECT_EQ(ClCommandParameters::validate(), 0);
  table[1] = {"-many", 5, {0, 0, 0}, E_COMMAND_ARG_INT, 0};
  ClCommandParameters::setDefinitions(table, 2);
  EXPECT_EQ(ClCommandParameters::validate(), 0);
}

TEST(CommandLineNarrowing, CodePointsBelow256KeepTheirLowByte) {
  char szOut[256];
  ClCommandParameters::narrowArgument("-language", szOut);
  EXPECT_STREQ(szOut, "-language");
  ClCommandParameters::narrowArgument("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", szOut);  // e-acute, euro, emoji
  EXPECT_STREQ(szOut, "caf\xE9 _ _");
  ClCommandParameters::narrowArgument("a\x80z\xC3", szOut);  // stray continuation, cut sequence
  EXPECT_STREQ(szOut, "a_z_");
  const std::string longArgument(300, 'x');
  ClCommandParameters::narrowArgument(longArgument.c_str(), szOut);
  EXPECT_EQ(std::string(szOut), longArgument.substr(0, 255));
}

}  // namespace
