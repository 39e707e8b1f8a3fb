#include "Corvane/Files/KvDataPaths.h"

#include <gtest/gtest.h>

#include <string>

#include "Corvane/ADT/KvSystem.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

std::string stripped(const char* pPath) {
  char szPath[KV_MAX_PATH_LEN];
  KvStrLCpy(szPath, pPath, sizeof(szPath));
  KvStripDataRoot(szPath);
  // Skipping the root answers the same text where it lies.
  const char* pSkipped = KvSkipDataRoot(pPath);
  EXPECT_GE(pSkipped, pPath);
  EXPECT_STREQ(pSkipped, szPath) << pPath;
  return szPath;
}

class DataPaths : public ::testing::Test {
 protected:
  void SetUp() override { KvInitializeDataPaths(); }
  void TearDown() override { KvInitializeDataPaths(); }
};

TEST_F(DataPaths, InitialisationSetsTheRootItsTwinAndTheUserFolder) {
  g_bUserFolderSet = false;
  KvStrLCpy(g_szBaseDataPath, "elsewhere/", KV_MAX_PATH_LEN);
  KvInitializeDataPaths();
  EXPECT_STREQ(g_szBaseDataPath, "./");
  EXPECT_STREQ(KvGetBaseDataPath(), "./");
  EXPECT_EQ(std::u16string(g_wszBaseDataPath), u"./");
  EXPECT_EQ(std::u16string(g_wszUserFolder), u".\\");
  EXPECT_TRUE(g_bUserFolderSet);
  EXPECT_STREQ(g_szLanguagePath, ".\\Lang\\");
}

TEST_F(DataPaths, StrippingCutsUpToTheFirstRootWrittenWithBackslashes) {
  EXPECT_EQ(stripped(".\\Lang\\eng\\Strings\\Win32.lang"), "Lang\\eng\\Strings\\Win32.lang");
  // The root as "./" is not the root as the loaders write it: such a path is hashed whole.
  EXPECT_EQ(stripped("./Text\\Notes.txt"), "./Text\\Notes.txt");
  EXPECT_EQ(stripped("Text\\Notes.txt"), "Text\\Notes.txt");
  // The first occurrence anywhere in the path.
  EXPECT_EQ(stripped("Mods\\.\\Text\\A.txt"), "Text\\A.txt");
  EXPECT_EQ(stripped("..\\A.txt"), "A.txt");
  EXPECT_EQ(stripped(".\\"), "");

  KvStrLCpy(g_szBaseDataPath, "game/data/", KV_MAX_PATH_LEN);
  EXPECT_EQ(stripped("game\\data\\Text\\A.txt"), "Text\\A.txt");
  EXPECT_EQ(stripped(".\\Text\\A.txt"), ".\\Text\\A.txt");
  // A path that starts like the root but leaves it is searched on.
  EXPECT_EQ(stripped("game\\dat\\game\\data\\A.txt"), "A.txt");
  EXPECT_EQ(stripped("game\\data"), "game\\data");
  EXPECT_EQ(stripped("game/data/A.txt"), "game/data/A.txt");
  g_szBaseDataPath[0] = '\0';
  EXPECT_EQ(stripped(".\\A.txt"), ".\\A.txt");
}

TEST_F(DataPaths, WideSlashesBecomeBackslashes) {
  wchar16 szPath[] = u"Movies/Intro/clip.avi";
  KvWideSlashesToBackslashes(szPath);
  EXPECT_EQ(std::u16string(szPath), u"Movies\\Intro\\clip.avi");
  EXPECT_KV_FATAL(KvWideSlashesToBackslashes(nullptr), "NULL Pointer!");
}

}  // namespace
