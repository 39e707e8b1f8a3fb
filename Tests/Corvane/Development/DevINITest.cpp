#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Development/ClParser.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

class DevINI : public ::testing::Test {
 protected:
  void SetUp() override { ClDevINI::initialize(); }
  void TearDown() override { ClDevINI::terminate(); }

  // Parses the text and answers what was written on standard error.
  static std::string parse(const std::string& text) {
    testing::internal::CaptureStderr();
    ClDevINI::loadFromBuffer(text.data(), text.size(), "project.ini");
    return testing::internal::GetCapturedStderr();
  }
};

TEST_F(DevINI, ValuesAreTextAndNumbers) {
  EXPECT_EQ(parse("KEY 12\nKEY2 0x1F\nKEY3 -2.5\nKEY4 hello\nTITLE \"a b c\"\nNEG -40\nBIG 0xFFFFFFFF\n"), "");
  EXPECT_EQ(ClDevINI::getInt("KEY"), 12);
  EXPECT_EQ(ClDevINI::getInt("KEY2"), 31);
  EXPECT_EQ(ClDevINI::getFloat("KEY3"), -2.5f);
  EXPECT_EQ(ClDevINI::getInt("KEY3"), -2);
  EXPECT_EQ(ClDevINI::getInt("KEY4"), 0);
  EXPECT_EQ(ClDevINI::getInt("NEG"), -40);
  EXPECT_EQ(ClDevINI::getInt("BIG"), -1);
  EXPECT_STREQ(ClDevINI::getStringValue("KEY"), "12");
  EXPECT_STREQ(ClDevINI::getStringValue("KEY2"), "0x1F");
  EXPECT_STREQ(ClDevINI::getStringValue("KEY3"), "-2.5");
  EXPECT_STREQ(ClDevINI::getStringValue("key4"), "hello");
  EXPECT_STREQ(ClDevINI::getString("TITLE"), "a b c");
  EXPECT_EQ(ClDevINI::getStringValue("MISSING"), nullptr);
  EXPECT_EQ(ClDevINI::hasKey("Title"), 1);
  EXPECT_EQ(ClDevINI::getEntryCount(), 7);
}

TEST_F(DevINI, FloatReadersOfAnIntegerGetItsValue) {
  parse("FIXED_DT 1\nHALF 0.5\nHUGE 99999999999\n");
  EXPECT_EQ(ClDevINI::getFloat("Fixed_DT"), 1.0f);
  EXPECT_EQ(ClDevINI::getFloat("HALF"), 0.5f);
  EXPECT_EQ(ClDevINI::getInt("HALF"), 0);
  EXPECT_EQ(ClDevINI::getInt("HUGE"), 2147483647);
  EXPECT_EQ(ClDevINI::getFloat("MISSING"), 0.0f);
}

TEST_F(DevINI, CommentsBlankLinesAndKeysAloneMakeNoEntries) {
  EXPECT_EQ(parse("// comment 1\n   \t// indented comment 2\n\n \nALONE\n\t\nREAL 3 trailing words\n"), "");
  EXPECT_EQ(ClDevINI::getEntryCount(), 1);
  EXPECT_EQ(ClDevINI::hasKey("ALONE"), 0);
  EXPECT_EQ(ClDevINI::hasKey("//"), 0);
  EXPECT_EQ(ClDevINI::getInt("REAL"), 3);
}

TEST_F(DevINI, LastLineOfARepeatedKeyWins) {
  parse("key 1\nOTHER 5\nKEY 2\n");
  EXPECT_EQ(ClDevINI::getInt("KEY"), 2);
  EXPECT_EQ(ClDevINI::getInt("key"), 2);
  EXPECT_EQ(ClDevINI::getEntryCount(), 3);
}

TEST_F(DevINI, CRLFAndLFGiveTheSameEntries) {
  parse("A 1\r\nB \"x y\"\r\n// c\r\nC 2.5\r\nD 0x10");
  EXPECT_EQ(ClDevINI::getInt("A"), 1);
  EXPECT_STREQ(ClDevINI::getStringValue("B"), "x y");
  EXPECT_EQ(ClDevINI::getFloat("C"), 2.5f);
  EXPECT_EQ(ClDevINI::getInt("D"), 16);
  EXPECT_EQ(ClDevINI::getEntryCount(), 4);
  // Line numbers in messages count CR LF as one line end.
  ClDevINI::initialize();
  EXPECT_EQ(parse("A 1\r\nB \"\"\r\nC 3\r\n"), "project.ini(2): empty value; line skipped\n");
}

TEST_F(DevINI, BadLinesAreReportedSkippedAndTheRestKept) {
  const std::string longKey(128, 'K');
  const std::string longValue(256, 'v');
  const std::string text = "GOOD1 1\n" + longKey + " 1\n" + "V " + longValue + "\nEMPTY \"\"\nOPEN \"abc\nQ \"\n" +
                           "\" \" 7\n" + "\"unfinished key\n" + "GOOD2 2\n";
  const std::string errors = parse(text);
  EXPECT_EQ(errors,
            "project.ini(2): key of 128 characters or more; line skipped\n"
            "project.ini(3): value of 256 characters or more; line skipped\n"
            "project.ini(4): empty value; line skipped\n"
            "project.ini(5): unfinished quoted value; line skipped\n"
            "project.ini(6): unfinished quoted value; line skipped\n"
            "project.ini(7): key whose name hash is 0; line skipped\n"
            "project.ini(8): unfinished quoted key; line skipped\n");
  EXPECT_EQ(ClDevINI::getEntryCount(), 2);
  EXPECT_EQ(ClDevINI::getInt("GOOD1"), 1);
  EXPECT_EQ(ClDevINI::getInt("GOOD2"), 2);
  // The longest accepted key and value.
  ClDevINI::initialize();
  EXPECT_EQ(parse(std::string(127, 'K') + " " + std::string(255, 'v') + "\n"), "");
  EXPECT_EQ(ClDevINI::getEntryCount(), 1);
}

// A line longer than the line buffer is one bad line: its tail never becomes a setting of its own.
TEST_F(DevINI, OverLongLineIsSkippedWhole) {
  const std::string longComment = "// " + std::string(2100, 'c') + " TAIL 5";
  const std::string longSetting = "LONG " + std::string(3000, 'v') + " EVIL 9";
  EXPECT_EQ(parse("A 1\n" + longComment + "\r\nB 2\r\n" + longSetting + "\nC 3"),
            "project.ini(2): line longer than 2047 characters; line skipped\n"
            "project.ini(4): line longer than 2047 characters; line skipped\n");
  EXPECT_EQ(ClDevINI::getEntryCount(), 3);
  EXPECT_EQ(ClDevINI::hasKey("TAIL"), 0);
  EXPECT_EQ(ClDevINI::hasKey("EVIL"), 0);
  EXPECT_EQ(ClDevINI::hasKey("LONG"), 0);
  EXPECT_EQ(ClDevINI::getInt("B"), 2);
  EXPECT_EQ(ClDevINI::getLine("B"), 3);
  EXPECT_EQ(ClDevINI::getLine("C"), 5);
  // A zero byte at the start of a line makes an empty line of it.
  ClDevINI::initialize();
  parse(std::string("A 1\n\0 junk\nB 2\n", 15));
  EXPECT_EQ(ClDevINI::getInt("B"), 2);
  EXPECT_EQ(ClDevINI::getLine("B"), 3);
  // A line of exactly 2047 characters with its line end still fits.
  ClDevINI::initialize();
  EXPECT_EQ(parse("K " + std::string(2044, 'x') + "\nD 4\n").find("2047"), std::string::npos);
  EXPECT_EQ(ClDevINI::getInt("D"), 4);
}

TEST_F(DevINI, TheTableHolds127Settings) {
  std::string text;
  for (int i = 0; i < 130; ++i) {
    text += "KEY_" + std::to_string(i) + " " + std::to_string(i) + "\n";
  }
  const std::string errors = parse(text);
  EXPECT_EQ(errors, "project.ini(128): more than 127 settings; this line and the rest of the file are ignored\n");
  EXPECT_EQ(ClDevINI::getEntryCount(), 127);
  EXPECT_EQ(ClDevINI::getInt("KEY_126"), 126);
  EXPECT_EQ(ClDevINI::hasKey("KEY_127"), 0);
}

TEST_F(DevINI, LoadReadsProjectIniFromTheDataRoot) {
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(KvTestTempDir("devini-load"));
  EXPECT_EQ(ClDevINI::load("project.ini"), 0);
  EXPECT_EQ(ClDevINI::hasKey("NOGFX"), 0);
  EXPECT_EQ(ClDevINI::getInt("NOGFX"), 0);
  std::ofstream("project.ini") << "NOGFX 1\r\nLANG fra\r\n";
  EXPECT_EQ(ClDevINI::load("project.ini"), 1);
  EXPECT_EQ(ClDevINI::getInt("NOGFX"), 1);
  EXPECT_STREQ(ClDevINI::getStringValue("LANG"), "fra");
  std::ofstream("empty.ini").flush();
  EXPECT_EQ(ClDevINI::load("empty.ini"), 0);
  std::filesystem::current_path(previous);
  ClDevINI::terminate();
  EXPECT_KV_ASSERT(ClDevINI::hasKey("NOGFX"), "ClDevINI::mp_bInitialized");
}

}  // namespace
