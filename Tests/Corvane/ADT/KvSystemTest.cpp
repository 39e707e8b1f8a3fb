#include "Corvane/ADT/KvSystem.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Tests/Support/KvTestSupport.h"

namespace {

std::u16string wide(const wchar16* pText) { return std::u16string(pText); }

TEST(KvSystem, LCpyCopiesWhatFitsThenReportsOverrun) {
  char acBuffer[16];
  std::memset(acBuffer, 'X', sizeof(acBuffer));
  EXPECT_EQ(KvStrLCpy(acBuffer, "abcdefg", 8), 7u);
  EXPECT_STREQ(acBuffer, "abcdefg");

  std::memset(acBuffer, 'X', sizeof(acBuffer));
  EXPECT_KV_ASSERT(KvStrLCpy(acBuffer, "abcdefgh", 8), "Assertion: [KvStrLCpy overrun for string [abcdefgh]]");
  EXPECT_STREQ(acBuffer, "abcdefg");
  EXPECT_EQ(acBuffer[8], 'X');

  // A size of 0 writes nothing at all.
  EXPECT_KV_ASSERT(KvStrLCpy(acBuffer + 9, "a", 0), "KvStrLCpy overrun for string [a]");
  EXPECT_EQ(acBuffer[9], 'X');
}

TEST(KvSystem, LCpyWReportsTheSourceAsUtf8) {
  wchar16 auiBuffer[8];
  std::fill(std::begin(auiBuffer), std::end(auiBuffer), u'X');
  EXPECT_EQ(KvStrLCpyW(auiBuffer, u"abc", 4), 3u);
  EXPECT_EQ(wide(auiBuffer), u"abc");

  std::fill(std::begin(auiBuffer), std::end(auiBuffer), u'X');
  EXPECT_KV_ASSERT(KvStrLCpyW(auiBuffer, u"h\u00e9llo\U0001F600", 4),
                   "KvStrLCpy overrun for string [h\xC3\xA9llo\xF0\x9F\x98\x80]");
  EXPECT_EQ(wide(auiBuffer), u"h\u00e9l");
  EXPECT_EQ(auiBuffer[4], u'X');
}

TEST(KvSystem, LCatKeepsBelowThePathLimit) {
  char acBuffer[1024];
  std::string full(700, 'a');

  KvStrCpy(acBuffer, full.c_str());
  EXPECT_EQ(KvStrLCat(acBuffer, std::string(67, 'b').c_str()), 767u);
  EXPECT_EQ(std::strlen(acBuffer), 767u);

  KvStrCpy(acBuffer, full.c_str());
  acBuffer[768] = 'X';
  EXPECT_KV_ASSERT(KvStrLCat(acBuffer, std::string(68, 'b').c_str()),
                   "KvStrLCpy overrun AFTER copy for strings [" + full + std::string(67, 'b') + "] + [");
  EXPECT_EQ(std::strlen(acBuffer), 767u);
  EXPECT_EQ(acBuffer[766], 'b');
  EXPECT_EQ(acBuffer[768], 'X');

  const std::string tooLong(768, 'c');
  KvStrCpy(acBuffer, tooLong.c_str());
  EXPECT_KV_ASSERT(KvStrLCat(acBuffer, "d"), "KvStrLCat destination overrun BEFORE copy for string [ccc");
  EXPECT_EQ(std::string(acBuffer), tooLong);
}

TEST(KvSystem, LCatHonoursASmallerBuffer) {
  char acBuffer[12];
  std::memset(acBuffer, 'X', sizeof(acBuffer));
  KvStrCpy(acBuffer, "abc");
  EXPECT_KV_ASSERT(KvStrLCat(acBuffer, "defghijk", 8), "AFTER copy for strings [abcdefg] + [defghijk]");
  EXPECT_STREQ(acBuffer, "abcdefg");
  EXPECT_EQ(acBuffer[8], 'X');
}

TEST(KvSystem, SNPrintfHonoursTheCallersSize) {
  char acBuffer[16];
  std::memset(acBuffer, 'X', sizeof(acBuffer));
  EXPECT_EQ(KvSNPrintf(acBuffer, 8, "%s-%d", "0123456789", 42), 7);
  EXPECT_STREQ(acBuffer, "0123456");
  EXPECT_EQ(acBuffer[8], 'X');

  EXPECT_EQ(KvSNPrintf(acBuffer, 0, "%d", 12345), 0);
  EXPECT_EQ(acBuffer[0], '0');

  EXPECT_EQ(KvSNPrintf(acBuffer, sizeof(acBuffer), "[%s] %d", "ab", -3), 7);
  EXPECT_STREQ(acBuffer, "[ab] -3");

  // Messages reach 2047 characters and no further.
  std::string big(3000, 'm');
  char acMessage[gc_uiMAX_MESSAGE_LEN + 1];
  EXPECT_EQ(KvSNPrintf(acMessage, sizeof(acMessage), "%s", big.c_str()), 2047);
  EXPECT_EQ(std::strlen(acMessage), 2047u);
}

TEST(KvSystem, WideCopiesAndAppends) {
  wchar16 auiBuffer[32];
  std::fill(std::begin(auiBuffer), std::end(auiBuffer), u'X');
  KvStrNCpyW(auiBuffer, u"ab", 6);
  EXPECT_EQ(std::u16string(auiBuffer, 7), std::u16string(u"ab\0\0\0\0X", 7));
  auiBuffer[2] = u'X';
  KvStrNCpyW(auiBuffer, u"wxyz", 2);
  EXPECT_EQ(std::u16string(auiBuffer, 3), u"wxX");
  KvStrNCpyW(auiBuffer, u"q", 0);
  EXPECT_EQ(auiBuffer[0], u'w');

  KvStrCpyW(auiBuffer, u"Saving");
  KvStrAppendEllipsisW(auiBuffer);
  EXPECT_EQ(wide(auiBuffer), u"Saving...");
  KvStrCpyW(auiBuffer, u"C:/");
  KvStrAppendSaveDataFolderW(auiBuffer);
  EXPECT_EQ(wide(auiBuffer), u"C:/SAVEDATA/");
  EXPECT_EQ(KvStrLenW(auiBuffer), 12u);

  char acBuffer[16];
  KvStrCpy(acBuffer, "abc");
  KvStrCat(acBuffer, "de");
  EXPECT_STREQ(acBuffer, "abcde");
  EXPECT_EQ(KvStrLen(acBuffer), 5u);
}

TEST(KvSystem, WideningIsZeroExtensionWithinTheTemporaryLimit) {
  static wchar16 auiWide[gc_iMAX_TEMP_STRING_LEN];
  KvStrToWideTemp(auiWide, "A\xE9\xFF");
  EXPECT_EQ(wide(auiWide), u"A\u00e9\u00ff");

  const std::string longest(gc_iMAX_TEMP_STRING_LEN - 2, 'z');
  KvStrToWideTemp(auiWide, longest.c_str());
  EXPECT_EQ(KvStrLenW(auiWide), longest.size());

  const std::string tooLong(gc_iMAX_TEMP_STRING_LEN - 1, 'z');
  EXPECT_KV_ASSERT(KvStrToWideTemp(auiWide, tooLong.c_str()), "KvStrLen(pSource) < gc_iMAX_TEMP_STRING_LEN - 1");
}

TEST(KvSystem, BadPointersAreFatal) {
  char acBuffer[8];
  EXPECT_KV_FATAL(KvStrLen(nullptr), "NULL Pointer!");
  EXPECT_KV_FATAL(KvStrLCpy(nullptr, "a", 4), "NULL Pointer!");
  EXPECT_KV_FATAL(KvStrCpy(acBuffer, reinterpret_cast<const char*>(uintptr_t{0xFEFEFEFE})), "Pointer FREED!");
  EXPECT_KV_FATAL(KvStrLCat(acBuffer, nullptr), "NULL Pointer!");
  EXPECT_KV_FATAL(KvStrNCpyW(nullptr, u"a", 1), "NULL Pointer!");
  EXPECT_KV_FATAL(KvSNPrintf(acBuffer, sizeof(acBuffer), nullptr), "NULL Pointer!");
}

// Names read from a file are shown so that a damaged one is not taken for a name that exists.
TEST(KvSystem, EscapedNamesShowEveryByteThatIsNoPrintableCharacter) {
  const struct {
    const char* pName;
    u32 uiSize;
    const char* pShown;
  } aRows[] = {
      {"Audio\\Voice15.wav", 64, "Audio\\Voice15.wav"},
      {"Voice15.wav ", 64, "Voice15.wav\\x20"},
      {"Voice15.wa\x01", 64, "Voice15.wa\\x01"},
      {"\xE9t\x7F", 64, "\\xE9t\\x7F"},
      // Cut where the next character would not fit whole.
      {"ab\x01", 6, "ab"},
      {"ab\x01", 7, "ab\\x01"},
  };
  for (const auto& row : aRows) {
    char szShown[64];
    EXPECT_STREQ(KvEscapeName(row.pName, szShown, row.uiSize), row.pShown) << row.pName;
  }
}

// Problems held while a frame runs are said at its end, each once: a line another carries goes with it, and a stop's
// report takes those it repeats.
TEST(KvSystem, HeldProblemsAreSaidOnce) {
  const struct {
    const char* pName;
    std::vector<const char*> lines;
    const char* pReport;  // null: the hold ends normally
    const char* pSaid;
  } aRows[] = {
      {"a line carried by a later one", {"Mag [X] is damaged", "Texture [T]: Mag [X] is damaged", "Other"}, nullptr,
       "Texture [T]: Mag [X] is damaged\nOther\n"},
      {"lines the report repeats", {"Mag [X] is damaged", "Other"}, "The game cannot go on. Mag [X] is damaged",
       "Other\n"},
      {"nothing repeated", {"One", "Two"}, "Three", "One\nTwo\n"},
  };
  for (const auto& row : aRows) {
    SCOPED_TRACE(row.pName);
    ::testing::internal::CaptureStderr();
    {
      const ClProblemHold hold;
      {
        const ClProblemHold nested;
        for (const char* pLine : row.lines) {
          KvPrintProblem("%s", pLine);
        }
      }
      EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
      ::testing::internal::CaptureStderr();
      if (row.pReport != nullptr) {
        KvSayHeldProblems(row.pReport);
      }
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), row.pSaid);
    EXPECT_STREQ(KvGetLastProblem(), row.lines.back());
  }
  // Without a hold a line is said at once.
  ::testing::internal::CaptureStderr();
  KvPrintProblem("At once %d", 1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "At once 1\n");
}

}  // namespace
