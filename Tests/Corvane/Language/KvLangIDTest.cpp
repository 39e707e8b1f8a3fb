#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/Program/KvEngineGlobals.h"
#include "Corvane/Language/KvLangID.h"
#include "Tests/Platform/Store/StoreTestFixture.h"
#include "Tests/Support/OffsetTableTestSupport.h"
#include "Tools/LangC/LangCompiler.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

std::u16string u16(const wchar16* pText) { return pText ? std::u16string(pText) : std::u16string(u"<null>"); }

// An aligned engine copy of bytes, as the loader takes it.
u8* engineCopy(const std::vector<u8>& bytes) {
  u8* pImage = static_cast<u8*>(KvAlignedAlloc(bytes.size(), 16));
  if (!bytes.empty()) {
    memcpy(pImage, bytes.data(), bytes.size());
  }
  return pImage;
}

std::vector<u8> compile(const std::string& source) {
  std::vector<LangEntry> entries;
  std::string error;
  EXPECT_TRUE(LangParseSource(source, "test.txt", &entries, &error)) << error;
  return LangBuildTable(entries);
}

class KvLangIDTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    KvLangID::initialize();
  }
  void TearDown() override {
    KvLangID::unloadAllStringTables();
    EXPECT_EQ(KvCountEngineGlobalsInUse(), 0);
    StoreTest::TearDown();
  }

  static i32 load(const char* pName, const std::vector<u8>& bytes) {
    return KvLangID::loadStringTableFromMemory(pName, engineCopy(bytes), static_cast<u32>(bytes.size()));
  }
};

TEST_F(KvLangIDTest, CodesAreExactAndCaseSensitive) {
  for (i32 i = 0; i < NUM_LANGUAGES; ++i) {
    EXPECT_EQ(getLangIDFromCode(g_szLanguageCodes[i]), i);
  }
  EXPECT_EQ(getLangIDFromCode("bul"), 23);
  EXPECT_EQ(getLangIDFromCode("ENG"), -1);
  EXPECT_EQ(getLangIDFromCode("en"), -1);
  EXPECT_EQ(getLangIDFromCode("engl"), -1);
  EXPECT_EQ(KvLangID::compareStrings("abc", "abd"), -1);
  EXPECT_EQ(KvLangID::compareStrings("abd", "abc"), 1);
  EXPECT_EQ(KvLangID::compareStrings("\xE9", "e"), 1);  // bytes compare unsigned
  EXPECT_EQ(KvLangID::compareStrings("", ""), 0);
}

TEST_F(KvLangIDTest, StoreLanguageNamesMapToTheirIndices) {
  const std::pair<const char*, i32> names[] = {
      {"english", 0}, {"russian", 12}, {"french", 1},   {"german", 2},  {"italian", 4},    {"koreana", 9},
      {"spanish", 3}, {"schinese", 11}, {"japanese", 8}, {"polish", 17}, {"brazilian", 22},
      // Languages with a code but no store name here, and anything else, are English.
      {"norwegian", 0}, {"dutch", 0}, {"French", 0}, {"", 0},
  };
  for (const auto& [pName, iLanguage] : names) {
    EXPECT_EQ(KvLangID::getLangIDFromStoreName(pName), iLanguage) << pName;
  }
  EXPECT_EQ(KvLangID::getLangIDFromStoreName(nullptr), 0);
}

TEST_F(KvLangIDTest, LangSettingWinsAndUnknownCodesFallBackToEnglish) {
  EXPECT_EQ(KvLangID::chooseLanguageFrom("pol", "koreana"), 17);
  EXPECT_EQ(KvLangID::chooseLanguageFrom(nullptr, "koreana"), 9);
  EXPECT_EQ(KvLangID::chooseLanguageFrom("xx", "koreana"), 0);  // not a code: English, not index -1
  EXPECT_EQ(KvLangID::chooseLanguageFrom("FRA", nullptr), 0);

  // Through the development settings and the running store.
  setenv("GRINDLOW_STORE_LANGUAGE", "koreana", 1);
  ClDevINI::initialize();
  EXPECT_EQ(KvLangID::chooseLanguage(ClDevINI::getStringValue("LANG")), 0);  // store not running: English
  ASSERT_TRUE(SteamAPI_Init());
  EXPECT_EQ(KvLangID::chooseLanguage(ClDevINI::getStringValue("LANG")), 9);
  const char szSettings[] = "LANG fra\n";
  ASSERT_EQ(ClDevINI::loadFromBuffer(szSettings, sizeof(szSettings) - 1, "project.ini"), 1);
  EXPECT_EQ(KvLangID::chooseLanguage(ClDevINI::getStringValue("LANG")), 1);
  ClDevINI::terminate();
  unsetenv("GRINDLOW_STORE_LANGUAGE");

  KvLangID::setLanguage(1, "./");
  EXPECT_EQ(KvLangID::getLanguage(), 1);
  EXPECT_STREQ(KvLangID::getLanguageCode(), "fra");
  EXPECT_STREQ(KvLangID::getLanguagePath(), "./Lang\\fra\\");
  KvLangID::setLanguage(gc_iLANGUAGE_ENGLISH, "./");
  EXPECT_KV_ASSERT(KvLangID::setLanguage(-1, "./"), "iLanguage >= 0");
}

TEST_F(KvLangIDTest, FirstLoadedTableAnswersAndThePoolHoldsEight) {
  ASSERT_EQ(load("A", compile("SHARED = from A\nONLY_A = a\n")), 1);
  ASSERT_EQ(load("B", compile("SHARED = from B\nONLY_B = b\n")), 1);
  EXPECT_EQ(u16(KvLangID::getString("SHARED")), u"from A");
  EXPECT_EQ(u16(KvLangID::getString("ONLY_B")), u"b");
  EXPECT_EQ(KvLangID::findInTable(KvLangID::getTable(0), KvStrHash("ONLY_B")), nullptr);
  EXPECT_EQ(KvLangID::findStringByHash(KvStrHash("MISSING")), nullptr);
  // A text the loaded tables lack is their fault (they came from data): the data stop names it and them.
  EXPECT_KV_FATAL(KvLangID::getString("MISSING"),
                  "Cannot find localized string [MISSING] in the string tables [A], [B]");
  for (int i = 2; i < gc_iMAX_STRING_TABLES; ++i) {
    ASSERT_EQ(load(("T" + std::to_string(i)).c_str(), compile("K = v\n")), 1);
  }
  EXPECT_EQ(load("Ninth", compile("K = v\n")), 0);  // full: the image is given back (ASan checks it)
  EXPECT_STRNE(KvLangID::getLastError(), "");
  KvLangID::unloadAllStringTables();
  EXPECT_EQ(KvLangID::getNumLoadedTables(), 0);
  EXPECT_KV_ASSERT(KvLangID::getString("SHARED"), "Cannot find localized string [SHARED]");  // asked too early
  EXPECT_EQ(load("A", compile("SHARED = again\n")), 1);
  EXPECT_EQ(u16(KvLangID::getString("SHARED")), u"again");
}

TEST_F(KvLangIDTest, BinarySearchFindsEveryKeyOfALargeTable) {
  std::string source;
  for (int i = 0; i < 500; ++i) {
    source += "KEY_" + std::to_string(i) + " = text " + std::to_string(i) + "\n";
  }
  ASSERT_EQ(load("Large", compile(source)), 1);
  for (int i = 0; i < 500; ++i) {
    const std::string key = "KEY_" + std::to_string(i);
    const std::string expected = "text " + std::to_string(i);
    EXPECT_EQ(u16(KvLangID::getString(key.c_str())), std::u16string(expected.begin(), expected.end()));
  }
  EXPECT_EQ(KvLangID::findStringByHash(KvStrHash("KEY_500")), nullptr);
  const std::vector<u8> empty = compile("# nothing\n");
  // A table the caller needs texts from is refused when it holds none.
  EXPECT_EQ(KvLangID::loadStringTableImage("Empty", engineCopy(empty), static_cast<u32>(empty.size()), nullptr,
                                           [](void*, u8* pImage) { KvAlignedFree(pImage); }, nullptr, true),
            0);
  EXPECT_STREQ(KvLangID::getLastError(), "String table [Empty] refused: it holds no texts");
  ASSERT_EQ(load("Empty", empty), 1);
  EXPECT_EQ(KvLangID::findInTable(KvLangID::getTable(1), KvStrHash("KEY_1")), nullptr);
}

// Byte offsets of a compiled two-entry table: header 0, pair offsets 12, pairs 20 and 32, texts from 44.
std::vector<u8> twoEntryTable() { return compile("FIRST = one\nSECOND = two\n"); }

TEST_F(KvLangIDTest, MalformedTablesAreRefusedWithTheirName) {
  const std::vector<u8> good = twoEntryTable();
  ASSERT_EQ(good.size(), 44u + 8u + 8u);
  struct Case {
    const char* pWhat;
    std::vector<u8> bytes;
  };
  std::vector<Case> cases;
  cases.push_back({"too short", std::vector<u8>(good.begin(), good.begin() + 11)});
  auto mutate = [&](const char* pWhat, size_t uiAt, u32 uiValue, size_t uiAt2 = 0, u32 uiValue2 = 0) {
    std::vector<u8> bytes = good;
    KvTestPutU32At(&bytes, uiAt, uiValue);
    if (uiAt2 != 0) {
      KvTestPutU32At(&bytes, uiAt2, uiValue2);
    }
    cases.push_back({pWhat, bytes});
  };
  cases.push_back({"zeroed", std::vector<u8>(good.size(), 0)});
  mutate("no pairs where the file has room for them", 8, 0);
  mutate("a negative count where the file has room for pairs", 8, 0xFFFFFFFFu);
  mutate("more pairs than the file can hold", 8, 4);
  mutate("pair-offset table overlapping the header", 0, 4);
  mutate("pair overlapping the header", 12, 0);
  mutate("text overlapping the header", 20, 2);
  mutate("pair count past the end", 8, 0x7FFFFFFFu);
  mutate("pair-offset table past the end", 0, static_cast<u32>(good.size()) - 4);
  mutate("pair outside the file", 12, static_cast<u32>(good.size()) - 8);
  mutate("text outside the file", 20, 0xFFFFFFF0u);
  mutate("keys out of order", 12, 32, 16, 20);
  {
    std::vector<u8> bytes(good.begin(), good.end() - 2);  // the last text loses its terminator
    cases.push_back({"unterminated text", bytes});
  }
  for (const Case& c : cases) {
    EXPECT_EQ(load("Broken", c.bytes), 0) << c.pWhat;
    EXPECT_EQ(KvLangID::getNumLoadedTables(), 0) << c.pWhat;
    EXPECT_EQ(std::string(KvLangID::getLastError()).rfind("String table [Broken] refused: ", 0), 0u)
        << c.pWhat << ": " << KvLangID::getLastError();
  }
  EXPECT_EQ(load("Good", good), 1);
}

// What the format allows loads: tables, pairs and texts at any offset (texts at odd offsets come back
// aligned, so reading them is sound), and a negative pair count in a table of just its header, which means none.
TEST_F(KvLangIDTest, TablesAtAnyOffsetAndNegativeCountsLoad) {
  const auto textSize = [](const std::vector<u8>& table, u32 uiText) {
    size_t uiEnd = uiText;
    while (table[uiEnd] != 0 || table[uiEnd + 1] != 0) uiEnd += 2;
    return uiEnd + 2 - uiText;
  };
  const std::vector<u8> odd = relaidAtOddOffsets(compile("FIRST = one\nSECOND = two \u00e9\nTHIRD = \n"), textSize);
  ASSERT_EQ(load("Odd", odd), 1) << KvLangID::getLastError();
  EXPECT_EQ(u16(KvLangID::getString("FIRST")), u"one");
  EXPECT_EQ(u16(KvLangID::getString("SECOND")), u"two \u00e9");
  EXPECT_EQ(u16(KvLangID::getString("THIRD")), u"");
  const wchar16* pText = KvLangID::getString("SECOND");
  EXPECT_EQ(reinterpret_cast<uintptr_t>(pText) % alignof(wchar16), 0u);
  wchar16 szDest[64];
  ASSERT_EQ(KvLangID::formatStringWithNarrowArg(szDest, 64, KvStrHash("FIRST"), "x"), 1);
  EXPECT_EQ(u16(szDest), u"one");

  std::vector<u8> negative = compile("# none\n");
  KvTestPutU32At(&negative, 8, 0xFFFFFFFFu);
  ASSERT_EQ(load("Negative", negative), 1) << KvLangID::getLastError();
  EXPECT_EQ(KvLangID::findInTable(KvLangID::getTable(1), KvStrHash("FIRST")), nullptr);
}

TEST_F(KvLangIDTest, DamagedTablesNeverReadOutsideTheImage) {
  // Every truncation and every single-byte change of a valid table: loaded or refused, and every lookup of
  // a loaded one stays inside it (the sanitizers would see a stray read).
  const std::vector<u8> good = compile("FIRST = one\nSECOND = two\nTHIRD = three\n");
  const u32 keys[] = {KvStrHash("FIRST"), KvStrHash("SECOND"), KvStrHash("THIRD")};
  for (size_t uiSize = 0; uiSize < good.size(); ++uiSize) {
    EXPECT_EQ(load("Cut", std::vector<u8>(good.begin(), good.begin() + uiSize)), 0) << uiSize;
  }
  for (size_t uiAt = 0; uiAt < good.size(); ++uiAt) {
    for (u8 value : {u8(0x00), u8(0x01), u8(0x80), u8(0xFF)}) {
      std::vector<u8> bytes = good;
      bytes[uiAt] = value;
      if (load("Damaged", bytes) == 1) {
        for (u32 uiKey : keys) {
          if (const wchar16* pText = KvLangID::findStringByHash(uiKey)) {
            EXPECT_LT(KvStrLenW(pText), good.size());
          }
        }
        KvLangID::unloadAllStringTables();
      }
    }
  }
}

class KvLangIDFormatTest : public KvLangIDTest {
 protected:
  void SetUp() override {
    KvLangIDTest::SetUp();
    ASSERT_EQ(load("Format", compile("THREE = %d, %d and %d\n"
                                     "ONE = [%d]\n"
                                     "NAME = Hello %s, %s!\n"
                                     "PLAIN = 100%% sure %x\n"
                                     "WIDE = \\u00e9t\\u00e9 \\u4e2d %d\n")),
              1);
    for (wchar16& unit : m_szDest) {
      unit = u'#';
    }
  }
  wchar16 m_szDest[gc_iFORMAT_INT_DEST_LEN];
};

TEST_F(KvLangIDFormatTest, IntegersFillTheirPlaceholders) {
  ASSERT_EQ(KvLangID::formatStringInt2(m_szDest, 64, KvStrHash("THREE"), 3, 7), 1);
  EXPECT_EQ(u16(m_szDest), u"3, 7 and 7");
  ASSERT_EQ(KvLangID::formatStringInt(m_szDest, KvStrHash("THREE"), -42), 1);
  EXPECT_EQ(u16(m_szDest), u"-42, -42 and -42");
  for (const auto& [iValue, expected] : std::vector<std::pair<i32, std::u16string>>{
           {0, u"[0]"}, {INT_MIN, u"[-2147483648]"}, {INT_MAX, u"[2147483647]"}, {10, u"[10]"}}) {
    ASSERT_EQ(KvLangID::formatStringInt(m_szDest, KvStrHash("ONE"), iValue), 1);
    EXPECT_EQ(u16(m_szDest), expected);
  }
  ASSERT_EQ(KvLangID::formatStringInt(m_szDest, KvStrHash("PLAIN"), 5), 1);
  EXPECT_EQ(u16(m_szDest), u"100%% sure %x");
  // A missing key leaves the destination alone.
  EXPECT_EQ(KvLangID::formatStringInt2(m_szDest, 64, KvStrHash("ABSENT"), 1, 2), 0);
  EXPECT_EQ(u16(m_szDest), u"100%% sure %x");
  EXPECT_KV_ASSERT(KvLangID::formatStringInt(nullptr, KvStrHash("ONE"), 1), "pDestString");
}

TEST_F(KvLangIDFormatTest, IntegerResultThatDoesNotFitIsFatal) {
  ASSERT_EQ(KvLangID::formatStringInt2(m_szDest, 11, KvStrHash("THREE"), 3, 7), 1);  // exactly 10 + terminator
  EXPECT_KV_FATAL(KvLangID::formatStringInt2(m_szDest, 10, KvStrHash("THREE"), 3, 7), "Truncating string!  Result [3, 7 and ]");
  // Units from 256 up are shown as '_' in the report.
  EXPECT_KV_FATAL(KvLangID::formatStringInt2(m_szDest, 6, KvStrHash("WIDE"), 1, 2), "Result [\xE9t\xE9 _]");
}

TEST_F(KvLangIDFormatTest, TextArgumentsAreCutSilently) {
  ASSERT_EQ(KvLangID::formatStringWithArg(m_szDest, 64, KvStrHash("NAME"), u"\u00c5sa"), 1);
  EXPECT_EQ(u16(m_szDest), u"Hello \u00c5sa, \u00c5sa!");
  ASSERT_EQ(KvLangID::formatStringWithArg(m_szDest, 9, KvStrHash("NAME"), u"Bob"), 1);
  EXPECT_EQ(u16(m_szDest), u"Hello Bo");
  ASSERT_EQ(KvLangID::formatStringWithArg(m_szDest, 1, KvStrHash("NAME"), u"Bob"), 1);
  EXPECT_EQ(u16(m_szDest), u"");
  ASSERT_EQ(KvLangID::formatStringWithNarrowArg(m_szDest, 64, KvStrHash("NAME"), "Z\xE9"), 1);
  EXPECT_EQ(u16(m_szDest), u"Hello Z\u00e9, Z\u00e9!");
  // The widened argument is bounded by the destination.
  ASSERT_EQ(KvLangID::formatStringWithNarrowArg(m_szDest, 12, KvStrHash("NAME"), std::string(5000, 'x').c_str()), 1);
  EXPECT_EQ(u16(m_szDest), u"Hello xxxxx");
  EXPECT_EQ(KvLangID::formatStringWithArg(m_szDest, 64, KvStrHash("ABSENT"), u"x"), 0);
  EXPECT_EQ(u16(m_szDest), u"Hello xxxxx");
  EXPECT_KV_ASSERT(KvLangID::formatStringWithNarrowArg(nullptr, 8, KvStrHash("NAME"), "x"), "pDestString");
}

}  // namespace
