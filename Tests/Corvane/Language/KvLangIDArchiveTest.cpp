// String tables through the archive reader: from an archive on disk and in memory, as loose files, and the
// language folder built from the chosen language.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/Files/ClFileIO.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/Language/KvLangID.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

std::u16string text16(const wchar16* pText) { return pText ? std::u16string(pText) : std::u16string(u"<null>"); }

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class KvLangIDArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClMutexLock::initializePool();
    ClFileIO::initialize();
    m_root = KvTestTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    char szCwd[4096];
    ASSERT_NE(getcwd(szCwd, sizeof(szCwd)), nullptr);
    m_savedCwd = szCwd;
    ASSERT_EQ(chdir(m_root.c_str()), 0);
    for (const char* pExt : {".mtc", ".mdf"}) {
      std::filesystem::copy_file(std::string(KV_LANG_ARCHIVE_DIR) + "/LNG_win32" + pExt,
                                 m_root + "/LNG_win32" + pExt);
    }
    KvInitializeDataPaths();
    ClMagFileIO::initTOCPool();
    ClMagFileIO::initRefPool();
    ClMagFileIO::setArchiveKey("LNG", KV_LANG_ARCHIVE_KEY);
    ClDevINI::initialize();
    KvLangID::initialize();
  }

  void TearDown() override {
    KvLangID::unloadAllStringTables();
    EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
    ClMagFileIO::shutdown();
    ClDevINI::terminate();
    ClFileIO::shutdown();
    ASSERT_EQ(chdir(m_savedCwd.c_str()), 0);
  }

  // The language as the start-up chooses it, from a "LANG" setting.
  static void chooseLanguage(const char* pCode) {
    const std::string settings = std::string("LANG ") + pCode + "\n";
    ClDevINI::terminate();
    ClDevINI::initialize();
    ASSERT_EQ(ClDevINI::loadFromBuffer(settings.data(), settings.size(), "project.ini"), 1);
    KvInitializeLanguagePath(ClDevINI::getStringValue("LANG"));
  }

  void writeLoose(const std::string& relative, const std::string& bytes) {
    const std::filesystem::path path = std::filesystem::path(m_root) / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }

  std::string m_root;
  std::string m_savedCwd;
};

TEST_F(KvLangIDArchiveTest, EngineTableComesFromTheArchiveOfTheChosenLanguage) {
  ASSERT_EQ(ClMagFileIO::loadTOC("LNG"), 1);
  chooseLanguage("eng");
  EXPECT_STREQ(g_szLanguagePath, "./Lang\\eng\\");
  // English is stored compressed and encrypted, read from the data file on disk.
  ASSERT_EQ(KvLangID::loadStringTable("Win32"), 1) << KvLangID::getLastError();
  EXPECT_EQ(text16(KvLangID::getString("MB_DIRECTX_ISSUE_TITLE")), u"Graphics problem");
  EXPECT_EQ(KvLangID::loadStringTable("Win32"), 0);
  EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 1);  // the table keeps its reference
  KvLangID::unloadAllStringTables();

  // French is stored plain; with the data file in memory the table is served from the archive's memory.
  ASSERT_EQ(ClMagFileIO::loadDataFile(KvStrHash("LNG")), 1);
  chooseLanguage("fra");
  ASSERT_EQ(KvLangID::loadStringTable("Win32"), 1) << KvLangID::getLastError();
  EXPECT_EQ(text16(KvLangID::getString("MB_DIRECTX_ISSUE_TITLE")), u"Probl\u00e8me graphique");
  const SStringTable* pFrench = KvLangID::getTable(0);
  const ClMagTOC* pArchive = ClMagFileIO::findTOC(KvStrHash("LNG"));
  ASSERT_NE(pArchive, nullptr);
  EXPECT_GE(pFrench->mp_pImage, pArchive->mp_pData);
  // Every key of the engine table is there in both languages.
  const std::string english = readFile(std::string(KV_LANG_TABLES_DIR) + "/eng/Strings/Win32.lang");
  u8* pEnglish = static_cast<u8*>(KvAlignedAlloc(english.size(), 16));
  memcpy(pEnglish, english.data(), english.size());
  ASSERT_EQ(KvLangID::loadStringTableFromMemory("English", pEnglish, static_cast<u32>(english.size())), 1);
  EXPECT_EQ(KvLangID::getTable(1)->m_iNumPairs, pFrench->m_iNumPairs);
  for (i32 i = 0; i < pFrench->m_iNumPairs; ++i) {
    const u32 uiKey = static_cast<u32>(pFrench->mp_piSortedKeys[i]);
    EXPECT_NE(KvLangID::findInTable(KvLangID::getTable(1), uiKey), nullptr) << i;
  }
  wchar16 szText[gc_iFORMAT_INT_DEST_LEN];
  ASSERT_EQ(KvLangID::formatStringInt(szText, KvStrHash("MB_DIRECTX_FAILED_TO_CREATE_MAIN_WIN"), 87), 1);
  EXPECT_EQ(text16(szText), u"La fen\u00eatre du jeu n\u2019a pas pu \u00eatre cr\u00e9\u00e9e (erreur 87).");
  // Unloading the tables gives the references back before the archive goes.
  KvLangID::unloadAllStringTables();
  EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
}

TEST_F(KvLangIDArchiveTest, MissingAndMalformedTablesKeepNothing) {
  chooseLanguage("eng");
  EXPECT_EQ(KvLangID::loadStringTable("All"), 0);  // in no archive and not on disk
  EXPECT_NE(std::string(KvLangID::getLastError()).find("Lang\\eng\\Strings\\All.lang"), std::string::npos);

  // A loose table on disk is found when no archive holds it; a damaged one is refused by its path.
  writeLoose("Lang/eng/Strings/Game.lang", std::string("\x0c\0\0\0\0\0\0\0\x05\0\0\0", 12));
  EXPECT_EQ(KvLangID::loadStringTable("Game"), 0);
  EXPECT_EQ(std::string(KvLangID::getLastError()),
            "String table [.\\Lang\\eng\\Strings\\Game.lang] refused: 5 pairs cannot fit in 12 bytes (loose file "
            "[./Lang/eng/Strings/Game.lang])");
  writeLoose("Lang/eng/Strings/Empty.lang", "");
  EXPECT_EQ(KvLangID::loadStringTable("Empty"), 0);
  EXPECT_STREQ(KvLangID::getLastError(),
               "String table [.\\Lang\\eng\\Strings\\Empty.lang] is empty (code 13, loose file "
               "[./Lang/eng/Strings/Empty.lang])");
  writeLoose("Lang/eng/Strings/Zeroed.lang", std::string(4096, '\0'));
  EXPECT_EQ(KvLangID::loadStringTable("Zeroed"), 0);
  EXPECT_EQ(ClMagFileIO::getOpenRefCount(), 0);
  EXPECT_EQ(KvLangID::getNumLoadedTables(), 0);

  writeLoose("Lang/eng/Strings/Loose.lang", readFile(std::string(KV_LANG_TABLES_DIR) + "/eng/Strings/Win32.lang"));
  ASSERT_EQ(KvLangID::loadStringTable("Loose"), 1) << KvLangID::getLastError();
  EXPECT_EQ(text16(KvLangID::getString("MB_FMOD_ISSUE_TITLE")), u"Sound problem");
  EXPECT_KV_FATAL(KvLangID::getString("mainmenu_press_start"),
                  "Cannot find localized string [mainmenu_press_start] in the string tables "
                  "[.\\Lang\\eng\\Strings\\Loose.lang]");
}

}  // namespace
