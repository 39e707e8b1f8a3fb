#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Code/System/GAMEArchiveKeys.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Data/ClDScriptMgr2.h"
#include "Corvane/Files/ClFileIO.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/MagPackTestSupport.h"

namespace {

// Runs magpack with the arguments (and standard error joined to the output).
SKvToolRun magpack(const std::string& arguments) {
  return KvTestRunTool(KvTestShellQuote(KV_MAGPACK_PATH) + " " + arguments);
}

void writeText(const std::string& path, const std::string& value) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << value;
}

std::string hex(u32 uiValue) {
  char szText[16];
  std::snprintf(szText, sizeof(szText), "0x%08X", uiValue);
  return szText;
}

TEST(MagPackTool, PacksListsAndExtractsThroughTheEngineReader) {
  const std::string dir = KvTestTempDir("Tool");
  std::string repeated;
  for (int i = 0; i < 50; ++i) repeated += "line " + std::to_string(i % 5) + " of a text that repeats\n";
  writeText(dir + "/src/Text/Plain.txt", "plain text\n");
  writeText(dir + "/src/Text/Both.txt", repeated);
  writeText(dir + "/src/rules.manifest", "Both.txt compress encrypt\n");
  SKvToolRun packed = magpack("pack --name TLX --out " + dir + "/out --root " + dir + "/src/Text --manifest " + dir +
                             "/src/rules.manifest --key tool-key --depfile " + dir + "/out/tlx.d");
  ASSERT_EQ(packed.iExit, 0) << packed.out;
  EXPECT_NE(packed.out.find("TLX: 2 entries (1 compressed, 1 encrypted)"), std::string::npos) << packed.out;
  const std::string depfile = KvTestFileBytes(dir + "/out/tlx.d");
  EXPECT_NE(depfile.find("Both.txt"), std::string::npos);
  EXPECT_NE(depfile.find("rules.manifest"), std::string::npos);

  SKvToolRun listed = magpack("list --dir " + dir + "/out --name TLX --root " + dir + "/src/Text");
  ASSERT_EQ(listed.iExit, 0) << listed.out;
  EXPECT_NE(listed.out.find(hex(KvStrHash("Both.txt")) + " "), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find(" CE "), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("Plain.txt"), std::string::npos) << listed.out;

  for (const char* pMemory : {"", " --memory"}) {
    SKvToolRun extracted = magpack("extract --dir " + dir + "/out --name TLX --path Both.txt --key tool-key --out " +
                                  dir + "/both.out" + pMemory);
    ASSERT_EQ(extracted.iExit, 0) << extracted.out;
    EXPECT_EQ(KvTestFileBytes(dir + "/both.out"), repeated);
  }
  SKvToolRun wrongKey = magpack("extract --dir " + dir + "/out --name TLX --path Both.txt --key other --out " + dir +
                               "/x.out");
  EXPECT_EQ(wrongKey.iExit, 1);
  EXPECT_NE(wrongKey.out.find("TLX_win32.mdf] is damaged"), std::string::npos) << wrongKey.out;
  SKvToolRun missing = magpack("extract --dir " + dir + "/out --name TLX --path Nope.txt --key tool-key");
  EXPECT_EQ(missing.iExit, 1);
  EXPECT_NE(missing.out.find("[Nope.txt] is not in archive [TLX]"), std::string::npos) << missing.out;
}

TEST(MagPackTool, HashesTextsAndRejectsBadUsage) {
  SKvToolRun hashed = magpack("hash RWN \"Lang\\\\eng\\\\Strings\\\\Win32.lang\"");
  ASSERT_EQ(hashed.iExit, 0) << hashed.out;
  EXPECT_NE(hashed.out.find(hex(KvStrHash("RWN"))), std::string::npos) << hashed.out;
  EXPECT_NE(hashed.out.find(" " + std::to_string(static_cast<i32>(KvStrHash("RWN"))) + " RWN\n"), std::string::npos)
      << hashed.out;
  EXPECT_NE(hashed.out.find(hex(KvStrHash("Lang\\eng\\Strings\\Win32.lang"))), std::string::npos) << hashed.out;
  EXPECT_EQ(magpack("").iExit, 2);
  EXPECT_EQ(magpack("unpack").iExit, 2);
  EXPECT_EQ(magpack("pack --name X").iExit, 2);
  const SKvToolRun bogus = magpack("pack --name X --out " + KvTestTempDir("Bogus") + " --bogus");
  EXPECT_EQ(bogus.iExit, 2);
  EXPECT_EQ(bogus.out.rfind("magpack: unknown option --bogus\n", 0), 0u) << bogus.out;
  EXPECT_EQ(magpack("hash").iExit, 2);
  EXPECT_EQ(magpack("check --dir d --name n stray").iExit, 2);
  // Texts after "--" are hashed even when they look like options; a command's own help is the usage.
  const SKvToolRun dashed = magpack("hash -- -x");
  EXPECT_EQ(dashed.iExit, 0) << dashed.out;
  EXPECT_EQ(dashed.out.rfind(hex(KvStrHash("-x")), 0), 0u) << dashed.out;
  EXPECT_EQ(dashed.out.find('\n'), dashed.out.size() - 1) << dashed.out;
  EXPECT_NE(dashed.out.find(" " + std::to_string(static_cast<i32>(KvStrHash("-x"))) + " -x\n"), std::string::npos)
      << dashed.out;
  const SKvToolRun packHelp = magpack("pack --help");
  EXPECT_EQ(packHelp.iExit, 0) << packHelp.out;
  EXPECT_EQ(packHelp.out.rfind("usage: magpack pack", 0), 0u) << packHelp.out;
  SKvToolRun failed = magpack("pack --name X --out " + KvTestTempDir("Bad") + " --manifest /nonexistent/m");
  EXPECT_EQ(failed.iExit, 1);
  EXPECT_NE(failed.out.find("/nonexistent/m: error: cannot open the file"), std::string::npos) << failed.out;
  const SKvToolRun help = magpack("--help");
  EXPECT_EQ(help.iExit, 0);
  EXPECT_EQ(help.out.rfind("usage: magpack pack", 0), 0u) << help.out;
}

// What the build packs is read back with the engine's reader; a damaged archive fails the check.
TEST(MagPackTool, CheckReadsEveryEntryWithTheEngine) {
  const std::string dir = KvTestTempDir("Check");
  writeText(dir + "/src/Plain.txt", "plain words");
  writeText(dir + "/src/Both.txt", std::string(300, 'b'));
  writeText(dir + "/pack.manifest", "Both.txt compress encrypt\n");
  ASSERT_EQ(magpack("pack --name CHK --out " + dir + "/out --root " + dir + "/src --manifest " + dir +
                    "/pack.manifest --key check-key --quiet")
                .iExit,
            0);
  const SKvToolRun good = magpack("check --dir " + dir + "/out --name CHK --key check-key");
  EXPECT_EQ(good.iExit, 0) << good.out;
  const SKvToolRun wrongKey = magpack("check --dir " + dir + "/out --name CHK --key other-key");
  EXPECT_EQ(wrongKey.iExit, 1);
  EXPECT_NE(wrongKey.out.find("does not inflate"), std::string::npos) << wrongKey.out;
  // One word of the table changed: the compressed entry claims 1 GiB from its few stored bytes. Both commands
  // fail naming the table and the entry, before anything is allocated or written at that size.
  const std::string goodTOC = KvTestFileBytes(dir + "/out/CHK_win32.mtc");
  std::string toc = goodTOC;
  ASSERT_TRUE(KvTestSetTOCWord(&toc, "Both.txt", offsetof(ClMagDataInfo, mp_uiFinalSize), 0x40000000u));
  writeText(dir + "/out/CHK_win32.mtc", toc);
  for (const std::string& command : {"check --dir " + dir + "/out --name CHK --key check-key",
                                    "extract --dir " + dir + "/out --name CHK --key check-key --path Both.txt --out " +
                                        dir + "/both.out --memory"}) {
    const SKvToolRun claimed = magpack(command);
    EXPECT_EQ(claimed.iExit, 1) << command;
    EXPECT_NE(claimed.out.find("CHK_win32.mtc] is damaged and was not loaded: entry " + hex(KvStrHash("Both.txt"))),
              std::string::npos)
        << claimed.out;
  }
  EXPECT_FALSE(std::filesystem::exists(dir + "/both.out"));

  // Counts no table can hold, and a data file cut short of its entries: listing and checking fail alike, naming the
  // folder and the file; an impossible count is no empty archive.
  const std::string goodData = KvTestFileBytes(dir + "/out/CHK_win32.mdf");
  for (const auto& [uiCount, message] : {std::pair<u32, std::string>{0xFFFFFFFFu, "its entry count (0xFFFFFFFF)"},
                                         {0x80000000u, "its entry count (0x80000000)"},
                                         {0, "[.\\CHK_win32.mdf] does not hold what its table"}}) {
    toc = goodTOC;
    if (uiCount != 0) std::memcpy(toc.data() + 8, &uiCount, 4);
    writeText(dir + "/out/CHK_win32.mtc", toc);
    writeText(dir + "/out/CHK_win32.mdf", uiCount != 0 ? goodData : goodData.substr(0, 8));
    for (const std::string& command : {"list --dir " + dir + "/out --name CHK",
                                       "check --dir " + dir + "/out --name CHK --key check-key"}) {
      const SKvToolRun run = magpack(command);
      EXPECT_EQ(run.iExit, 1) << run.out;
      EXPECT_NE(run.out.find("magpack: archive [CHK] in [" + dir + "/out] "), std::string::npos) << run.out;
      EXPECT_NE(run.out.find(message), std::string::npos) << run.out;
    }
  }
}

// The sources of an archive DMG of three plain entries, one compressed and one compressed and encrypted.
std::map<std::string, std::string> damageSources() {
  std::string repeated;
  for (int i = 0; i < 40; ++i) repeated += "packed line " + std::to_string(i % 3) + "\n";
  return {{"A.txt", "entry A"}, {"B.txt", "entry B"}, {"C.txt", "entry C"}, {"Z.txt", repeated},
          {"Both.txt", std::string(300, 'b')}};
}

// Packs the archive DMG of damageSources() into <folder>/out.
std::string packPlainPackedAndSealed(const std::string& name) {
  const std::string dir = KvTestTempDir(name);
  for (const auto& [path, content] : damageSources()) writeText(dir + "/src/" + path, content);
  writeText(dir + "/pack.manifest", "Z.txt compress\nBoth.txt compress encrypt\n");
  const SKvToolRun packed = magpack("pack --quiet --name DMG --out " + dir + "/out --root " + dir + "/src --manifest " +
                                    dir + "/pack.manifest --key dmg-key");
  EXPECT_EQ(packed.iExit, 0) << packed.out;
  return dir + "/out";
}

// The fields of the line "magpack list" gives an entry after its hashes (flags, sizes, offset); empty when none.
std::vector<std::string> listedFields(const std::string& listing, const std::string& path) {
  const size_t uiLine = listing.find("\n" + hex(KvStrHash(path.c_str())) + " ");
  std::vector<std::string> fields;
  if (uiLine == std::string::npos) return fields;
  std::istringstream line(listing.substr(uiLine + 1, listing.find('\n', uiLine + 1) - uiLine - 1));
  for (std::string field; line >> field;) fields.push_back(field);
  return fields.size() >= 7 ? std::vector<std::string>(fields.begin() + 2, fields.begin() + 7) : fields;
}

// A table that is not sound is refused by every command that reads it, naming the file (the table, or the data file
// with the table when the entries do not fit it) and the entries: no listing, no check that passes, no file extracted.
// One stored content under several names (records of exactly the same stored bytes, none encrypted) is sound: every
// command reads it, each name lists as the content it shares and extracts byte for byte, from disk and from memory.
TEST(MagPackTool, CraftedTablesAreReadOrRefusedByEveryCommand) {
  const std::string out = packPlainPackedAndSealed("DamagedTables");
  const std::string built = KvTestFileBytes(out + "/DMG_win32.mtc");
  struct SCrafted {
    const char* pName;
    std::function<bool(std::string* pTOC)> craft;
    const char* pExpected;  // part of the refusal; null when sound
    std::map<std::string, std::string> sharing;  // of a sound table: name -> the entry whose content it reads
  };
  std::vector<SCrafted> cases = {
      {"stored bytes past the data file",
       [](std::string* pTOC) {
         return KvTestSetTOCWord(pTOC, "B.txt", offsetof(ClMagDataInfo, mp_uiDataOffset), 0x40000000u);
       },
       "Mag data file [.\\DMG_win32.mdf] does not hold what its table [.\\DMG_win32.mtc] says", {}},
      {"two names on one plain range", [](std::string* pTOC) { return KvTestShareStoredBytes(pTOC, "A.txt", "B.txt"); },
       nullptr, {{"B.txt", "A.txt"}}},
      {"three names on one zlib stream",
       [](std::string* pTOC) {
         return KvTestShareStoredBytes(pTOC, "Z.txt", "B.txt") && KvTestShareStoredBytes(pTOC, "Z.txt", "C.txt");
       },
       nullptr, {{"B.txt", "Z.txt"}, {"C.txt", "Z.txt"}}},
  };
  // Entries that cannot all be told apart.
  const std::map<std::string, const char*> notToldApart = {
      {gc_szHASH_TWICE, "[.\\DMG_win32.mtc] is damaged and was not loaded: entries 0 and 1 have the same name hash"},
      {gc_szOVERLAP, ") overlap in the data file"},
      {gc_szSAME_OFFSET, ") overlap in the data file"},
      {gc_szSHARED_ENCRYPTED, ") overlap in the data file, and an encrypted entry's bytes cannot be shared"},
  };
  for (const SKvTestTOCDamage& row : gc_aKvTestEntriesNotToldApart) {
    cases.push_back({row.pName, [pKind = row.pKind](std::string* pTOC) { return KvTestDamageTOC(pTOC, pKind); },
                     notToldApart.at(row.pKind), {}});
  }
  const std::map<std::string, std::string> sources = damageSources();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pName);
    std::string toc = built;
    ASSERT_TRUE(c.craft(&toc));
    writeText(out + "/DMG_win32.mtc", toc);
    std::filesystem::remove(out + "/a.out");
    std::filesystem::remove(out + "/b.out");
    for (const std::string& command :
         {"list --dir " + out + " --name DMG", "check --dir " + out + " --name DMG --key dmg-key",
          "extract --dir " + out + " --name DMG --path B.txt --out " + out + "/b.out",
          "extract --dir " + out + " --name DMG --path A.txt --memory --out " + out + "/a.out"}) {
      const SKvToolRun run = magpack(command);
      if (c.pExpected != nullptr) {
        EXPECT_EQ(run.iExit, 1) << command << "\n" << run.out;
        EXPECT_NE(run.out.find("magpack: archive [DMG] in [" + out + "] "), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("[.\\DMG_win32.mtc]"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(c.pExpected), std::string::npos) << run.out;
      } else {
        EXPECT_EQ(run.iExit, 0) << command << "\n" << run.out;
        if (command.rfind("check", 0) == 0) {
          EXPECT_EQ(run.out, "");
        }
        for (const auto& [name, from] : c.sharing) {
          if (command.rfind("list", 0) == 0) {
            EXPECT_EQ(listedFields(run.out, name), listedFields(run.out, from)) << run.out;
            EXPECT_EQ(listedFields(run.out, name).size(), 5u) << run.out;
          }
        }
      }
    }
    if (c.pExpected != nullptr) {
      EXPECT_FALSE(std::filesystem::exists(out + "/a.out") || std::filesystem::exists(out + "/b.out"));
      continue;
    }
    const auto readsAs = [&c](const std::string& path) {
      const auto shared = c.sharing.find(path);
      return shared != c.sharing.end() ? shared->second : path;
    };
    EXPECT_EQ(KvTestFileBytes(out + "/a.out"), sources.at(readsAs("A.txt")));
    EXPECT_EQ(KvTestFileBytes(out + "/b.out"), sources.at(readsAs("B.txt")));
    for (const char* pMemory : {"", " --memory"}) {
      for (const auto& [path, content] : sources) {
        const SKvToolRun extracted =
            magpack("extract --dir " + out + " --name DMG --path " + path + " --key dmg-key" + pMemory);
        EXPECT_EQ(extracted.iExit, 0) << path << pMemory << "\n" << extracted.out;
        EXPECT_EQ(extracted.out, sources.at(readsAs(path))) << path << pMemory;
      }
    }
  }
}

// Bad usage is said as bad usage, with the usage and exit code 2, before anything of the engine can stop on it: a key
// missing for what is to be decrypted, a key of the wrong length, a name too long for the reader's paths. Listing
// decrypts nothing, nor does extracting a plain entry: neither needs the key.
TEST(MagPackTool, UsageErrorsEndWithTheUsage) {
  const std::string out = packPlainPackedAndSealed("UsageErrors");
  const std::string dmg = " --dir " + out + " --name DMG";
  const std::string tooLong = " --dir " + out + " --name " + std::string(760, 'N');
  const struct {
    std::string arguments;
    const char* pProblem;
  } aCases[] = {
      {"check" + dmg, "check needs --key: archive [DMG] has encrypted entries"},
      {"extract" + dmg + " --path Both.txt", "extract needs --key: [Both.txt] is encrypted"},
      {"extract" + dmg + " --path A.txt --key sixteen-letters!", "--key must be 1 to 15 characters"},
      {"pack --name DMG --out " + out + " --root " + out + " --key sixteen-letters!", "--key must be 1 to 15 characters"},
      {"list" + tooLong, "--name is 760 characters, more than the 751 an archive's name can be"},
      {"check" + tooLong + " --key dmg-key", "--name is 760 characters"},
  };
  for (const auto& c : aCases) {
    const SKvToolRun run = magpack(c.arguments);
    EXPECT_EQ(run.iExit, 2) << c.pProblem << "\n" << run.out;
    EXPECT_EQ(run.out.rfind(std::string("magpack: ") + c.pProblem, 0), 0u) << run.out;
    EXPECT_NE(run.out.find("\nusage: magpack pack"), std::string::npos) << run.out;
  }
  EXPECT_EQ(magpack("list" + dmg).iExit, 0);
  const SKvToolRun plain = magpack("extract" + dmg + " --path A.txt");
  EXPECT_EQ(plain.iExit, 0) << plain.out;
  EXPECT_EQ(plain.out, "entry A");
}

// The data root the build writes from Content/: the main archive loads with the game's key, every entry reads
// back as its source, and at least one entry is compressed and one encrypted.
TEST(SampleDataRoot, TheMainArchiveHoldsTheContentTreeUnderTheGamesKey) {
  ASSERT_EQ(chdir(KV_DATA_ROOT), 0);
  ClMutexLock::initializePool();
  ClFileIO::initialize();
  KvInitializeDataPaths();
  ClMagFileIO::initTOCPool();
  ClMagFileIO::initRefPool();
  GameSpecificRegisterArchiveKeys();
  ASSERT_EQ(ClMagFileIO::loadTOC("RWN"), 1);
  ASSERT_EQ(ClMagFileIO::loadDataFile(KvStrHash("RWN")), 1);

  const std::filesystem::path content = std::filesystem::path(KV_CONTENT_ARCHIVES_DIR) / "RWN";
  i32 iFiles = 0;
  i32 iCompressed = 0;
  i32 iEncrypted = 0;
  for (const auto& file : std::filesystem::recursive_directory_iterator(content)) {
    if (!file.is_regular_file()) continue;
    ++iFiles;
    std::string path = ".\\" + std::filesystem::relative(file.path(), content).generic_string();
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
    SCOPED_TRACE(path);
    ClMagTOC* pOwner = nullptr;
    const ClMagDataInfo* pInfo = ClMagFileIO::findOwningTOC(&pOwner, path.c_str());
    ASSERT_NE(pInfo, nullptr);
    iCompressed += pInfo->mp_uiCompressed ? 1 : 0;
    iEncrypted += pInfo->mp_uiEncrypted ? 1 : 0;
    u32 uiSize = 0;
    SMagRef* pRef = nullptr;
    ASSERT_EQ(ClMagFileIO::open(path.c_str(), &uiSize, &pRef), E_FILE_OK);
    ASSERT_EQ(ClMagFileIO::allocReadBuffers(pRef, uiSize, 16), 1);
    ASSERT_EQ(ClMagFileIO::read(pRef, uiSize), E_FILE_OK);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(pRef->mp_pDestinationBuffer), uiSize),
              KvTestFileBytes(file.path().string()));
    EXPECT_EQ(ClMagFileIO::close(pRef), 1);
  }
  // The compiled string tables are packed beside the content tree, compressed and encrypted (the shared tables "All"
  // go into RWK).
  i32 iTables = 0;
  for (const char* pTable : {".\\Lang\\eng\\Strings\\Win32.lang", ".\\Lang\\fra\\Strings\\Win32.lang",
                             ".\\Lang\\rus\\Strings\\Win32.lang", ".\\Lang\\pol\\Strings\\Win32.lang",
                             ".\\Lang\\chs\\Strings\\Win32.lang"}) {
    ClMagTOC* pOwner = nullptr;
    const ClMagDataInfo* pInfo = ClMagFileIO::findOwningTOC(&pOwner, pTable);
    ASSERT_NE(pInfo, nullptr) << pTable;
    EXPECT_TRUE(pInfo->mp_uiCompressed && pInfo->mp_uiEncrypted) << pTable;
    ++iTables;
  }
  // So are the compiled UI screen sets of the languages; the splash set is plain.
  i32 iScreenSets = 0;
  std::vector<std::string> screenSets = {".\\UI\\Switcher_Splash.kui"};
  for (const char* pLanguage : {"eng", "fra", "rus", "pol", "chs"}) {
    for (const char* pSet : {"VOSK_UI", "Switcher_InfoMenu", "Switcher_Loading", "Switcher_UnlockPopup",
                             "Switcher_HowToPlay", "Switcher_ControllerOff"}) {
      screenSets.push_back(std::string(".\\Lang\\") + pLanguage + "\\UI\\" + pSet + ".kui");
    }
  }
  for (const std::string& screens : screenSets) {
    const char* pScreens = screens.c_str();
    ClMagTOC* pOwner = nullptr;
    const ClMagDataInfo* pInfo = ClMagFileIO::findOwningTOC(&pOwner, pScreens);
    ASSERT_NE(pInfo, nullptr) << pScreens;
    const bool bLocalized = std::string(pScreens).find("Lang") != std::string::npos;
    EXPECT_EQ(pInfo->mp_uiCompressed && pInfo->mp_uiEncrypted, bLocalized) << pScreens;
    ++iScreenSets;
  }
  // So are the compiled data scripts, which the script manager loads from there.
  ClDScriptMgr2::initialize();
  const ClDScriptData2* pMonkey = ClDScriptMgr2::getScript("Monkey", nullptr);
  ASSERT_NE(pMonkey, nullptr);
  EXPECT_EQ(pMonkey->getChild("Scheme_InGame")->getChild("Fighting")->getChild("Weight")->getFloatExact(), 4.0f);
  i32 iScripts = 1;
  for (const char* pScript : {"EntityEnemy", "EntityPlayer", "Backgrounds", "Levels", "LevelStars"}) {
    EXPECT_NE(ClDScriptMgr2::getScript(pScript, nullptr), nullptr) << pScript;
    ++iScripts;
  }
  ClDScriptMgr2::terminate();
  // And the compiled effects, stored plain as they were compiled.
  i32 iEffects = 0;
  for (const auto& file : std::filesystem::directory_iterator(KV_EFFECTS_DIR)) {
    if (file.path().extension() != ".fxo") continue;
    const std::string path = ".\\Shaders\\" + file.path().filename().string();
    ClMagTOC* pOwner = nullptr;
    const ClMagDataInfo* pInfo = ClMagFileIO::findOwningTOC(&pOwner, path.c_str());
    ASSERT_NE(pInfo, nullptr) << path;
    EXPECT_FALSE(pInfo->mp_uiCompressed || pInfo->mp_uiEncrypted) << path;
    EXPECT_EQ(pInfo->mp_uiFinalSize, std::filesystem::file_size(file.path())) << path;
    ++iEffects;
  }
  // The engine's six, the game's nine and the Gaussian pass compiled for each of its nine fetch counts.
  EXPECT_EQ(iEffects, 24);
  // And the text files, converted to UTF-16LE without a byte-order mark and compressed.
  i32 iTexts = 0;
  for (const auto& file : std::filesystem::directory_iterator(KV_TEXT_DIR)) {
    const std::string path = ".\\Text\\" + file.path().filename().string();
    SCOPED_TRACE(path);
    ClMagTOC* pOwner = nullptr;
    const ClMagDataInfo* pInfo = ClMagFileIO::findOwningTOC(&pOwner, path.c_str());
    ASSERT_NE(pInfo, nullptr);
    EXPECT_TRUE(pInfo->mp_uiCompressed);
    u32 uiSize = 0;
    SMagRef* pRef = nullptr;
    ASSERT_EQ(ClMagFileIO::open(path.c_str(), &uiSize, &pRef), E_FILE_OK);
    ASSERT_EQ(ClMagFileIO::allocReadBuffers(pRef, uiSize, 16), 1);
    ASSERT_EQ(ClMagFileIO::read(pRef, uiSize), E_FILE_OK);
    const std::string bytes(reinterpret_cast<const char*>(pRef->mp_pDestinationBuffer), uiSize);
    EXPECT_EQ(bytes, KvTestFileBytes(file.path().string()));
    EXPECT_EQ(uiSize % 2, 0u);
    ASSERT_GE(uiSize, 2u);
    EXPECT_NE(bytes.substr(0, 2), std::string("\xFF\xFE")) << "no byte-order mark";
    EXPECT_EQ(bytes[1], '\0') << "little-endian UTF-16 of a Latin first character";
    EXPECT_EQ(ClMagFileIO::close(pRef), 1);
    ++iTexts;
  }
  EXPECT_GE(iTexts, 1);
  EXPECT_EQ(ClMagFileIO::getEntryCount(ClMagFileIO::findTOC(KvStrHash("RWN"))),
            iFiles + iTables + iScreenSets + iEffects + iScripts + iTexts);
  EXPECT_GE(iCompressed, 1);
  EXPECT_GE(iEncrypted, 1);
  ClMagFileIO::shutdown();
  ClFileIO::shutdown();
}

}  // namespace
