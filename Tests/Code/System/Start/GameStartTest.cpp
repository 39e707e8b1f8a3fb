// The game's start in a data root that lacks what it cannot start without: the program ends at once with a
// message naming the file that is missing or damaged and exit code 3; loose files still stand in for the
// main archive.
#include <gtest/gtest.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "Code/GameModes/ClGame.h"
#include "Corvane/Program/KvProgram.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/Language/KvLangID.h"
#include "Platform/Store/StoreApi.h"
#include "Tests/Support/GameHooksDoubles.h"
#include "Tests/Support/GameProcessTestSupport.h"
#include "Tests/Support/KvTestSupport.h"
#include "Code/System/GAMEGameHooks.h"

namespace {

namespace fs = std::filesystem;

class GameStart : public ::testing::Test {
 protected:
  void SetUp() override {
    GameSpecificInstallHooks();
    m_dir = KvTestTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(m_dir + "/Data");
  }
  void TearDown() override { KvTestInstallHookDoubles(); }
  std::string data(const std::string& name) const { return m_dir + "/Data/" + name; }
  void copyBuilt(const std::string& name) const {
    fs::copy_file(std::string(KV_DATA_ROOT) + "/" + name, data(name), fs::copy_options::overwrite_existing);
  }
  // Runs the game in the data root, headless (no display: SDL would open a D-Bus connection whose buffers it
  // never frees, which the leak check of a sanitizer build reports); a game that starts would run until
  // stopped, so a limit ends it.
  SKvToolRun run(const std::string& shellSetUp = "") const {
    return KvTestRunTool(shellSetUp + "cd " + KvTestShellQuote(m_dir + "/Data") +
                         " && env -u DISPLAY -u WAYLAND_DISPLAY " + "GRINDLOW_STORE_DIR=" +
                         KvTestShellQuote(m_dir + "/store") + " timeout -s INT 20 " + KvTestShellQuote(KV_GAME_PATH));
  }
  // The names in the data root.
  std::set<std::string> dataRootNames() const {
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(data(""))) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }
  std::string m_dir;
};

TEST_F(GameStart, NothingToRunEndsWithTheMissingFilesNamed) {
  const SKvToolRun result = run();
  EXPECT_EQ(result.iExit, gc_iEXIT_START_UP_FAILED) << result.out;
  EXPECT_NE(result.out.find("The game cannot start: String table [.\\Lang\\eng\\Strings\\Win32.lang] not found: it is "
                            "in no archive (none is loaded) and not on disk."),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("The main archive was not loaded: Mag archive [RWN] not found: neither "
                               "[.\\RWN_win32.mtc] nor [.\\Mag\\RWN_win32.mtc] exists"),
            std::string::npos)
      << result.out;
}

// With only the data file missing, the message names the data file, not the table of contents, once: the table's
// reason carries it.
TEST_F(GameStart, AMissingDataFileIsNamedAsSuch) {
  copyBuilt("RWN_win32.mtc");
  const SKvToolRun result = run();
  EXPECT_EQ(result.iExit, gc_iEXIT_START_UP_FAILED) << result.out;
  EXPECT_NE(result.out.find("The game cannot start: String table [.\\Lang\\eng\\Strings\\Win32.lang] could not be "
                               "opened (code 1): Mag data file [.\\RWN_win32.mdf] could not be opened: it does not "
                               "exist."),
            std::string::npos)
      << result.out;
  EXPECT_EQ(occurrences(result.out, "[.\\RWN_win32.mdf] could not be opened"), 1u) << result.out;
  EXPECT_EQ(result.out.find(".mtc"), std::string::npos) << result.out;
}

TEST_F(GameStart, ADamagedArchiveIsNamedAndSaidToBeDamaged) {
  copyBuilt("RWN_win32.mdf");
  copyBuilt("RWN_win32.mtc");
  fs::resize_file(data("RWN_win32.mtc"), 30);
  const SKvToolRun result = run();
  EXPECT_EQ(result.iExit, gc_iEXIT_START_UP_FAILED) << result.out;
  EXPECT_NE(result.out.find("Mag TOC file [.\\RWN_win32.mtc] is damaged and was not loaded"), std::string::npos)
      << result.out;
}

// A store that cannot start stops the game as a missing data file does: exit code 3, the game's line with the
// store's reason naming its file, once, and nothing made in the data root.
TEST_F(GameStart, AStoreThatCannotStartEndsWithThreeAndMakesNothingInTheDataRoot) {
  KvTestProvideEngineStringTable(data(""));
  struct SCase {
    const char* pName;
    const char* pShellSetUp;
    const char* pFile;  // made in the store folder: a folder when pText is null
    const char* pText;
    const char* pNamed;
  };
  const SCase aCases[] = {
      {"bad store.ini", "", "store.ini", "[app]\nid = none\n", "store.ini:2"},
      {"database not a file", "", "store.db", nullptr, "store.db is a folder"},
      {"full disk", "ulimit -f 1 && trap '' XFSZ && ", nullptr, nullptr, "store.db: cannot use the store database"},
  };
  const std::set<std::string> before = dataRootNames();
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.pName);
    fs::remove_all(m_dir + "/store");
    fs::create_directories(m_dir + "/store");
    if (c.pFile != nullptr && c.pText != nullptr) {
      std::ofstream(m_dir + "/store/" + c.pFile) << c.pText;
    } else if (c.pFile != nullptr) {
      fs::create_directories(m_dir + "/store/" + c.pFile);
    }
    const SKvToolRun result = run(c.pShellSetUp);
    EXPECT_EQ(result.iExit, gc_iEXIT_START_UP_FAILED) << result.out;
    const std::string stop = "The game cannot start: the store did not start: " + m_dir + "/store/";
    EXPECT_NE(result.out.find(stop + c.pNamed), std::string::npos) << result.out;
    EXPECT_EQ(occurrences(result.out, c.pNamed), 1u) << result.out;
    EXPECT_EQ(dataRootNames(), before);
  }
}

// A loose string table stands in for the archive's, and a damaged one is refused by name.
TEST_F(GameStart, ARefusedStringTableIsNamedWithWhy) {
  fs::create_directories(data("Lang/eng/Strings"));
  std::ofstream(data("Lang/eng/Strings/Win32.lang")) << "not a table";
  const SKvToolRun result = run();
  EXPECT_EQ(result.iExit, gc_iEXIT_START_UP_FAILED) << result.out;
  EXPECT_NE(result.out.find("The game cannot start: String table [.\\Lang\\eng\\Strings\\Win32.lang] refused: "),
            std::string::npos)
      << result.out;
}

// The loose-file fallback stays: without any archive, a loose engine string table lets the game start.
TEST_F(GameStart, LooseStringTableStartsTheGameWithoutAnArchive) {
  KvTestProvideEngineStringTable(data(""));
  const fs::path previous = fs::current_path();
  fs::current_path(data(""));
  setenv("GRINDLOW_STORE_DIR", (m_dir + "/store").c_str(), 1);
  ASSERT_TRUE(SteamAPI_Init());
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ClGame::startUp(), 1);
  const std::string messages = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(messages.find("Mag archive [RWN] not found"), std::string::npos) << messages;
  EXPECT_EQ(KvLangID::getNumLoadedTables(), 1);
  // The save folder is the player's, in the store's folder: the data root gains nothing.
  EXPECT_TRUE(fs::is_directory(m_dir + "/store/SAVEDATA"));
  EXPECT_FALSE(fs::exists(data("SAVEDATA")));
  ClGame::shutDown();
  ClMutexLock::shutdownPool();
  SteamAPI_Shutdown();
  unsetenv("GRINDLOW_STORE_DIR");
  fs::current_path(previous);
}

}  // namespace
