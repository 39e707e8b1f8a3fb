#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Corvane/Development/ClParser.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  EXPECT_EQ(ClParser::loadBuffer(text.data(), text.size()), 1);
  char szLine[gc_iPARSER_LINE_SIZE];
  while (ClParser::readLine(szLine) != nullptr) {
    out.push_back(szLine);
  }
  EXPECT_STREQ(szLine, "");
  ClParser::release();
  return out;
}

TEST(Parser, ReadLineKeepsLineEndsAndSplitsCRLF) {
  EXPECT_EQ(lines("a\nb\r\nc"), (std::vector<std::string>{"a\n", "b\r", "\n", "c"}));
  EXPECT_EQ(lines("\n\n"), (std::vector<std::string>{"\n", "\n"}));
  const std::vector<std::string> split = lines(std::string(3000, 'x') + "\n");
  ASSERT_EQ(split.size(), 2u);
  EXPECT_EQ(split[0].size(), 2047u);
  EXPECT_EQ(split[1].size(), 954u);
  EXPECT_EQ(ClParser::loadBuffer("", 0), 0);
  char szLine[gc_iPARSER_LINE_SIZE];
  EXPECT_KV_ASSERT(ClParser::readLine(szLine), "mpr_pFileBuffer");
}

TEST(Parser, GetTokenSplitsAtBlanksAndQuotes) {
  char szToken[gc_iPARSER_LINE_SIZE];
  const char* pRest = ClParser::getToken("  KEY \t value more\n", szToken);
  EXPECT_STREQ(szToken, "KEY");
  ASSERT_NE(pRest, nullptr);
  EXPECT_STREQ(pRest, "value more\n");
  pRest = ClParser::getToken(pRest, szToken);
  EXPECT_STREQ(szToken, "value");
  pRest = ClParser::getToken(pRest, szToken);
  EXPECT_STREQ(szToken, "more");
  EXPECT_EQ(pRest, nullptr);
  EXPECT_EQ(ClParser::getToken("\"a b\"c d", szToken), std::string("c d"));
  EXPECT_STREQ(szToken, "a b");
  EXPECT_EQ(ClParser::getToken("\"\" x", szToken), std::string("x"));
  EXPECT_STREQ(szToken, "");
  EXPECT_EQ(ClParser::getToken(" \r\n", szToken), nullptr);
  EXPECT_STREQ(szToken, "");

  EXPECT_KV_FATAL(ClParser::getToken("\"", szToken), "Unfinished string token found!");
  EXPECT_KV_ASSERT(ClParser::getToken("\"abc", szToken), "Unfinished string token found!");
  EXPECT_KV_ASSERT(ClParser::getToken(std::string(2048, 't').c_str(), szToken), "iGuard < iMaxSize - 1");
  E_TOKEN_ERROR eError;
  EXPECT_EQ(ClParser::getToken("\"abc", szToken, &eError), nullptr);
  EXPECT_EQ(eError, E_TOKEN_ERROR_UNFINISHED_STRING);
  EXPECT_EQ(ClParser::getToken(std::string(2048, 't').c_str(), szToken, &eError), nullptr);
  EXPECT_EQ(eError, E_TOKEN_ERROR_TOO_LONG);
  ClParser::getToken(std::string(2047, 't').c_str(), szToken, &eError);
  EXPECT_EQ(eError, E_TOKEN_ERROR_NONE);
  EXPECT_EQ(std::string(szToken).size(), 2047u);
}

TEST(Parser, NumberAndLineClassification) {
  EXPECT_TRUE(ClParser::isHex("0x1F"));
  EXPECT_TRUE(ClParser::isHex("0XabC"));
  EXPECT_TRUE(ClParser::isHex("0x"));
  EXPECT_FALSE(ClParser::isHex("0x1G"));
  EXPECT_FALSE(ClParser::isHex("1F"));
  EXPECT_FALSE(ClParser::isHex("-0x1"));
  EXPECT_TRUE(ClParser::isDecimalFraction("2.5"));
  EXPECT_TRUE(ClParser::isDecimalFraction("-2.5"));
  EXPECT_TRUE(ClParser::isDecimalFraction(".5"));
  EXPECT_FALSE(ClParser::isDecimalFraction("25"));
  EXPECT_FALSE(ClParser::isDecimalFraction("2.5.1"));
  EXPECT_FALSE(ClParser::isDecimalFraction("2.5e3"));
  EXPECT_EQ(ClParser::isContentLine(""), 0);
  EXPECT_EQ(ClParser::isContentLine("\n"), 0);
  EXPECT_EQ(ClParser::isContentLine("\t"), 0);
  EXPECT_EQ(ClParser::isContentLine("// x\n"), 0);
  EXPECT_EQ(ClParser::isContentLine(" \t // x\n"), 0);
  EXPECT_EQ(ClParser::isContentLine("/ x\n"), 1);
  EXPECT_EQ(ClParser::isContentLine("  \n"), 1);
  EXPECT_EQ(ClParser::isContentLine("KEY 1\n"), 1);
}

}  // namespace
