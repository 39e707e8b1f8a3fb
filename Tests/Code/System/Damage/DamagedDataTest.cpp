// Every kind of file the game reads on its way into play, missing or damaged in a copy of the data root: the game
// ends with the reason naming the file (the archive, when its table of contents is what is damaged) on the
// standard error and exit code 3, leaves no crash report and writes nothing over the stored profile. The game runs
// headless from its start; "SKIP_UI" takes it from the front end into the first story level, so that the files
// play reads are reached too. Each case ends at the refusal: a game that played on would be stopped by the test's
// time limit. Displays that are named but cannot be opened end the game the same way, naming the display, and so
// does a store whose configuration is a folder, on the stop line itself. Every stop leaves the store's database
// closed, with no log beside it. Damage the game plays on through (a cut sound file, unusable development settings, a
// stored profile the player may not read) is said once; those runs end at a later stop, or with Ctrl-C once frames
// run.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "Code/System/ClProfileMgr.h"
#include "Code/System/GAMEProfileSave.h"
#include "Corvane/Program/KvProgram.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/Common/PlatformFiles.h"
#include "Platform/Store/StoreApi.h"
#include "Tests/Support/DamagedDataRootTestSupport.h"
#include "Tests/Support/GameProcessTestSupport.h"
#include "Tests/Support/NotAFileTestSupport.h"

namespace {

namespace fs = std::filesystem;

const SDamage gc_intact = {"intact", "", nullptr, nullptr, ""};

const SDamage gc_aDamages[] = {
    {"SplashUI", "RWN", "UI/Switcher_Splash.kui", "not a screen", "Switcher_Splash.kui"},
    {"MainUI", "RWN", "Lang/eng/UI/VOSK_UI.kui", "not a screen", "VOSK_UI.kui"},
    {"InfoMenuUIMissing", "RWN", "Lang/eng/UI/Switcher_InfoMenu.kui", nullptr, "Switcher_InfoMenu"},
    {"HowToPlayUIEmpty", "RWN", "Lang/eng/UI/Switcher_HowToPlay.kui", "", "Switcher_HowToPlay.kui"},
    {"EngineStrings", "RWN", "Lang/eng/Strings/Win32.lang", "not a table", "Win32.lang"},
    {"EngineStringsZeroed", "RWN", "Lang/eng/Strings/Win32.lang", gc_szZEROED, "Win32.lang"},
    {"EngineStringsEmptied", "RWN", "Lang/eng/Strings/Win32.lang", "", "Win32.lang"},
    {"EnemyScript", "RWN", "Scripts/EntityEnemy.kds", "not a script", "EntityEnemy"},
    {"PlayerScript", "RWN", "Scripts/EntityPlayer.kds", "not a script", "EntityPlayer"},
    {"PlayerScriptOfOtherKeys", "RWN", "Scripts/EntityPlayer.kds", "@Scripts/Monkey.kds", "EntityPlayer"},
    {"BackgroundsScript", "RWN", "Scripts/Backgrounds.kds", "not a script", "Backgrounds"},
    {"BackgroundsScriptOfOtherKeys", "RWN", "Scripts/Backgrounds.kds", "@Scripts/Monkey.kds", "Backgrounds"},
    {"LevelsScript", "RWN", "Scripts/Levels.kds", "not a script", "Levels.kds"},
    {"LevelsScriptOfOtherKeys", "RWN", "Scripts/Levels.kds", "@Scripts/Monkey.kds", "Levels.kds"},
    {"GameStrings", "RWK", "Lang/eng/Strings/All.lang", "not a table", "All.lang"},
    {"GameStringsZeroed", "RWK", "Lang/eng/Strings/All.lang", gc_szZEROED, "All.lang"},
    {"GameStringsEmptied", "RWK", "Lang/eng/Strings/All.lang", "", "All.lang"},
    {"GameStringsOfOtherKeys", "RWK", "Lang/eng/Strings/All.lang", "@Lang/eng/Strings/Win32.lang",
     "mainmenu_press_start] in the string tables [.\\Lang\\eng\\Strings\\Win32.lang], "
     "[.\\Lang\\eng\\Strings\\All.lang]"},
    {"LevelStarsZeroed", "RWN", "Scripts/LevelStars.kds", gc_szZEROED, "LevelStars"},
    {"LevelStarsMissing", "RWN", "Scripts/LevelStars.kds", nullptr, "LevelStars"},
    {"ArchiveEntryClaimingAGiB", "RWK", "Lang/eng/Strings/All.lang", "<toc final 0x40000000>", "RWK_win32.mtc"},
    {"ArchiveEntryPastItsDataFile", "RWG", "Fonts/FontAcknowledge.kff", "<toc offset 0x40000000>", "RWG_win32.mdf"},
    {"SoundBank", "RWG", "Audio/VOSK_SFX.iAudioSB", "not a bank", "VOSK_SFX.iAudioSB"},
    {"SoundFile", "RWG", "Audio/PowerUp.wav", "not a sound", "PowerUp.wav"},
    {"SoundFileCut", "RWG", "Audio/PowerUp.wav", gc_szHALVED, "PowerUp.wav"},
    {"UIAtlas", "RWG", "TexturesUI/TexturesUI.atf", "not an atlas", "TexturesUI/TexturesUI"},
    {"GameAtlasZeroed", "RWG", "TexturesGame/TexturesGame.atf", gc_szZEROED, "TexturesGame/TexturesGame"},
    {"GameAtlasWithoutEntries", "RWG", "TexturesGame/TexturesGame.atf", "<word 16 0>",
     "Atlas file [.\\TexturesGame\\TexturesGame.atf] holds no images"},
    {"MenuMusicZeroed", "RWG", "Audio/FrontEndLoop.flac", gc_szZEROED, "FrontEndLoop.flac"},
    {"UITextureMissing", "RWG", "TexturesUI/rgb.bmp", nullptr, "TexturesUI/rgb"},
    {"UIImageEmpty", "RWG", "Images/UI/IM-Button_216.png", "", "Images/UI/IM-Button"},
    {"FontFamily", "RWG", "Fonts/FontAcknowledge.kff", "not a family", "FontAcknowledge.kff"},
    {"Font", "RWG", "Fonts/FontAcknowledge_3.kcf", "not a font", "FontAcknowledge_3"},
    {"FontTexture", "RWG", "ImagesFonts/FontAcknowledge_3_0.png", "not an image", "FontAcknowledge_3_0"},
    {"FlipBook", "RWG", "AnimationsGame/PlayerRunning.kds", "not a flip book", "PlayerRunning"},
    {"SplashImage", "SPLA", "Images/UI/SplashStudio_216.png", "not an image", "SplashStudio"},
    {"MainArchiveTOC", "RWN", "TOC", nullptr, "RWN_win32.mtc"},
    {"StringArchiveTOC", "RWK", "TOC", nullptr, "RWK_win32.mtc"},
    {"GameArchiveTOC", "RWG", "TOC", nullptr, "RWG_win32.mtc"},
    {"SplashArchiveTOC", "SPLA", "TOC", nullptr, "SPLA_win32.mtc"},
    // Counts no table can hold: refused, not read as empty archives.
    {"MainArchiveCountAllOnes", "RWN", "TOC", "<toc count 0xFFFFFFFF>", "[.\\RWN_win32.mtc] is damaged"},
    {"MainArchiveCountOfTheSignBit", "RWN", "TOC", "<toc count 0x80000000>", "[.\\RWN_win32.mtc] is damaged"},
    {"StringArchiveCountAllOnes", "RWK", "TOC", "<toc count 0xFFFFFFFF>", "[.\\RWK_win32.mtc] is damaged"},
    {"StringArchiveCountOfTheSignBit", "RWK", "TOC", "<toc count 0x80000000>", "[.\\RWK_win32.mtc] is damaged"},
    {"SplashArchiveCountAllOnes", "SPLA", "TOC", "<toc count 0xFFFFFFFF>", "[.\\SPLA_win32.mtc] is damaged"},
    {"SplashArchiveCountOfTheSignBit", "SPLA", "TOC", "<toc count 0x80000000>", "[.\\SPLA_win32.mtc] is damaged"},
    // Tables of contents whose entries cannot all be told apart: a name hash twice, or two entries over the same bytes
    // of the data file (of archives held in memory and read from disk alike).
    {"MainArchiveEntriesOverlap", "RWN", "TOC", gc_szOVERLAP,
     "[.\\RWN_win32.mtc] is damaged and was not loaded: entries 0x"},
    {"StringArchiveHashTwice", "RWK", "TOC", gc_szHASH_TWICE,
     "[.\\RWK_win32.mtc] is damaged and was not loaded: entries 0 and 1 have the same name hash 0x"},
    {"GameArchiveHashTwice", "RWG", "TOC", gc_szHASH_TWICE,
     "[.\\RWG_win32.mtc] is damaged and was not loaded: entries 0 and 1 have the same name hash 0x"},
    {"GameArchiveEntriesOverlap", "RWG", "TOC", gc_szOVERLAP,
     "[.\\RWG_win32.mtc] is damaged and was not loaded: entries 0x"},
    {"SplashArchiveHashTwice", "SPLA", "TOC", gc_szHASH_TWICE,
     "[.\\SPLA_win32.mtc] is damaged and was not loaded: entries 0 and 1 have the same name hash 0x"},
    {"SplashArchiveEntriesOverlap", "SPLA", "TOC", gc_szOVERLAP,
     "[.\\SPLA_win32.mtc] is damaged and was not loaded: entries 0x"},
    // Damage inside a data file: named by the data file and the entry.
    {"MainUIStoredBytesZeroed", "RWN", "Lang/eng/UI/VOSK_UI.kui", gc_szSTORED_ZEROED,
     "UI data file [VOSK_UI] '.\\Lang\\eng\\UI\\VOSK_UI.kui'! (Mag data file [.\\RWN_win32.mdf] is damaged"},
    {"EngineStringsStoredBytesZeroed", "RWN", "Lang/eng/Strings/Win32.lang", gc_szSTORED_ZEROED,
     "String table [.\\Lang\\eng\\Strings\\Win32.lang] could not be read: Mag data file [.\\RWN_win32.mdf] is "
     "damaged"},
    // Archive files that are there and cannot be read: not taken for missing ones.
    {"MainTOCUnreadable", "RWN", "TOC", gc_szFOLDER, "[.\\RWN_win32.mtc] could not be opened: it is a folder"},
    {"MainDataFileUnreadable", "RWN", "DATA", gc_szFOLDER,
     "[.\\Lang\\eng\\Strings\\Win32.lang] could not be opened (code 1): Mag data file [.\\RWN_win32.mdf] could "
     "not be opened: it is a folder"},
    {"GameDataFileUnreadable", "RWG", "DATA", gc_szFOLDER,
     "Mag data file [.\\RWG_win32.mdf] could not be opened: it is a folder"},
    // An archive's files where another's should be: named as the archive whose table lacks the entry.
    {"MainAndGameArchivesSwapped", "RWN", "ARCHIVE", "<swap RWG>",
     "Win32.lang] not found: it is not in the archive [.\\RWN_win32.mtc] and not on disk"},
    {"UnknownMonkeyScheme", "project.ini", "MONKEY_SCHEME NoSuchScheme\n", nullptr, "MONKEY_SCHEME"},
    {"DisplayWithoutServer", "DISPLAY", ":93", nullptr, "the X display \":93\" cannot be opened"},
    {"DisplayOfUnknownHost", "DISPLAY", "nohost.invalid:0", nullptr,
     "the X display \"nohost.invalid:0\" cannot be opened"},
    {"StoreConfigurationFolder", "store", "store.ini", nullptr,
     "/store/store.ini: cannot read the store configuration (it is a folder)"},
};

// The profile's stored bytes and mode.
std::string storedProfile(const std::string& remote, mode_t* puiMode) {
  const std::string path = remote + "/" + gc_szPROFILE_FILE_NAME;
  struct stat status {};
  *puiMode = stat(path.c_str(), &status) == 0 ? status.st_mode : 0;
  return KvTestFileBytes(path);
}


// A test folder with a store whose stored profile holds progress.
template <class TBase>
class CWithStoredProfile : public TBase {
 protected:
  void setUpIn(const std::string& name) {
    m_dir = KvTestTempDir(name);
    fs::create_directories(remote());
    SPlayerProfile profile{};
    profile.m_iVersion = gc_iPROFILE_VERSION;
    ClProfileMgr::resetToDefaults(&profile);
    profile.m_data.m_marathon.m_iBestScore = 4242;
    m_profile.assign(reinterpret_cast<const char*>(&profile), sizeof(profile));
    std::ofstream(remote() + "/" + gc_szPROFILE_FILE_NAME, std::ios::binary) << m_profile;
  }
  std::string store() const { return m_dir + "/store"; }
  std::string remote() const { return m_dir + "/store/remote"; }
  std::string data() const { return m_dir + "/root/Data"; }
  // The built data root, made anew.
  std::string intactData() {
    EXPECT_TRUE(KvTestMakeDamagedRoot(gc_intact, m_dir + "/root"));
    return data();
  }
  // The run's own settings: never written through to the built root's or another run's.
  void writeSettings(const std::string& settings) const {
    std::ofstream(data() + "/project.ini") << settings;
    EXPECT_EQ(fs::hard_link_count(data() + "/project.ini"), 1u);
  }
  bool start(CProcess* pGame, const std::string& display) const {
    return pGame->start({KV_GAME_PATH}, data(), {display, "GRINDLOW_FMOD_OUTPUT=null", "GRINDLOW_STORE_DIR=" + store()});
  }
  // Runs the game headless (or on the display given) until it ends, which must be the data stop's exit code 3; its
  // output.
  std::string runToTheStop(const std::string& display = "SDL_VIDEODRIVER=offscreen") const {
    CProcess game;
    EXPECT_TRUE(start(&game, display));
    const int iStatus = game.finish();
    EXPECT_TRUE(WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == gc_iEXIT_START_UP_FAILED)
        << statusText(iStatus) << "\n" << game.out();
    return game.out();
  }
  // No report of a programming error, with its source file and line, and no crash report.
  void expectNoFaultReported(const std::string& out) const {
    EXPECT_EQ(out.find("crash report"), std::string::npos) << out;
    EXPECT_EQ(out.find(gc_szFATAL_REPORT_PREFIX), std::string::npos) << out;
    EXPECT_EQ(out.find(".cpp, line "), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(store() + "/crashes") && !fs::is_empty(store() + "/crashes"));
  }
  // Starts the game headless in the data root as the unprivileged user (see CProcess::runUnprivileged), to whom
  // the store's folders are open, and reads until its frames run.
  void runUnprivilegedUntilRunning(CProcess* pGame, const std::string& data) {
    for (const std::string& folder : {store(), remote(), store() + "/crashes"}) {
      fs::create_directories(folder);
      fs::permissions(folder, fs::perms::all);
    }
    // The user may not reach the build folder (one under a home folder, say): the game is linked (or copied) here.
    const std::string program = m_dir + "/grindlow";
    std::error_code error;
    if (!fs::exists(program) && (fs::create_hard_link(KV_GAME_PATH, program, error), error)) {
      fs::copy_file(KV_GAME_PATH, program);
    }
    pGame->runUnprivileged();
    ASSERT_TRUE(pGame->start({program}, data,
                             {"SDL_VIDEODRIVER=offscreen", "GRINDLOW_FMOD_OUTPUT=null",
                              "GRINDLOW_STORE_DIR=" + store()}));
    ASSERT_TRUE(pGame->readUntil("running at")) << statusText(pGame->finish()) << "\n" << pGame->out();
  }
  std::string m_dir;
  std::string m_profile;
};

class DamagedData : public CWithStoredProfile<::testing::TestWithParam<SDamage>> {
 protected:
  void SetUp() override { setUpIn(std::string("Damaged") + GetParam().pName); }
};

TEST_P(DamagedData, EndsWithTheFileNamedAndExitCodeThree) {
  const SDamage& damage = GetParam();
  const bool bSettings = std::string(damage.pArchive) == "project.ini";
  const bool bDisplay = std::string(damage.pArchive) == "DISPLAY";
  const bool bStore = std::string(damage.pArchive) == "store";
  ASSERT_TRUE(KvTestMakeDamagedRoot(bSettings || bDisplay || bStore ? gc_intact : damage, m_dir + "/root"));
  writeSettings(std::string("SKIP_UI 1\n") + (bSettings ? damage.pEntry : ""));
  if (bStore) {
    fs::create_directories(store() + "/" + damage.pEntry);
  }
  const std::string out =
      runToTheStop(bDisplay ? std::string("DISPLAY=") + damage.pEntry : "SDL_VIDEODRIVER=offscreen");
  // The user's message (the last line) names the file. The reason alone: no report of a programming error.
  const size_t uiMessage = out.rfind("The game cannot ");
  ASSERT_NE(uiMessage, std::string::npos) << out;
  EXPECT_NE(out.find(damage.pExpected, uiMessage), std::string::npos) << out;
  expectNoFaultReported(out);
  mode_t uiMode = 0;
  EXPECT_EQ(storedProfile(remote(), &uiMode), m_profile);
  EXPECT_TRUE(storeLeftClosed(store()));
}

INSTANTIATE_TEST_SUITE_P(EachKindOfFile, DamagedData, ::testing::ValuesIn(gc_aDamages),
                         [](const ::testing::TestParamInfo<SDamage>& info) { return std::string(info.param.pName); });

// Every kind of data stop names, in the line its message box shows, the file on disk that is damaged (an archive's
// table of contents or data file) and the entry inside it, with the reason, which the standard error carries once.
struct SStopDamage {
  SDamage damage;
  const char* pFile;    // the file on disk
  const char* pEntry;   // the entry inside it ("" for a stop of the whole archive)
  const char* pReason;  // in the box's line, and nowhere else on the standard error
};

void PrintTo(const SStopDamage& stop, std::ostream* pOut) { *pOut << stop.damage.pName; }

constexpr char gc_szRWN[] = "Mag data file [.\\RWN_win32.mdf]";
constexpr char gc_szRWK[] = "Mag data file [.\\RWK_win32.mdf]";
constexpr char gc_szRWG[] = "Mag data file [.\\RWG_win32.mdf]";
constexpr char gc_szSPLA[] = "Mag data file [.\\SPLA_win32.mdf]";

const SStopDamage gc_aStopDamages[] = {
    {{"StringTableArchiveEmptied", "RWK", "DATA", "", ""}, gc_szRWK, "", "could not be opened: it is empty"},
    {{"StringTableZeroed", "RWK", "Lang/eng/Strings/All.lang", gc_szZEROED, ""}, gc_szRWK,
     "entry [Lang\\eng\\Strings\\All.lang]", "the pair-offset table at 0 overlaps the 12-byte header"},
    {{"UIScreenCut", "RWN", "Lang/eng/UI/VOSK_UI.kui", gc_szHALVED, ""}, gc_szRWN, "entry [Lang\\eng\\UI\\VOSK_UI.kui]",
     "lies outside the file"},
    // Images: the decoder's own reason, libpng's words for a PNG file.
    {{"UIImageStoredZeroed", "SPLA", "Images/UI/SplashStudio_216.png", gc_szSTORED_ZEROED, ""}, gc_szSPLA,
     "entry [Images\\UI\\SplashStudio_216.png]",
     "D3DXERR_INVALIDDATA: it is neither a BMP nor a PNG file, and no TGA image of 222 bytes"},
    {{"AtlasZeroed", "RWG", "TexturesGame/TexturesGame.atf", gc_szZEROED, ""}, gc_szRWG,
     "entry [TexturesGame\\TexturesGame.atf]", "the entry table (at 0) lies inside the header"},
    {{"AtlasPageFlipped", "RWG", "TexturesGame/TexturesGame_0.png", gc_szFLIPPED, ""}, gc_szRWG,
     "entry [TexturesGame\\TexturesGame_0.png]", "D3DXERR_INVALIDDATA: libpng error: IHDR: CRC error"},
    // The checksum that ends the page's compressed pixels (the last word of its one IDAT chunk).
    {{"AtlasPageChecksumZeroed", "RWG", "TexturesGame/TexturesGame_0.png", "<word 46707 0>", ""}, gc_szRWG,
     "entry [TexturesGame\\TexturesGame_0.png]", "D3DXERR_INVALIDDATA: libpng error: IDAT: incorrect data check"},
    {{"FontFamilyZeroed", "RWG", "Fonts/FontAcknowledge.kff", gc_szZEROED, ""}, gc_szRWG,
     "entry [Fonts\\FontAcknowledge.kff]",
     "it holds the name hash 0x00000000, not 0xAEE302CE of the name it is loaded by"},
    {{"FontZeroed", "RWG", "Fonts/FontAcknowledge_3.kcf", gc_szZEROED, ""}, gc_szRWG,
     "entry [Fonts\\FontAcknowledge_3.kcf]",
     "it holds the name hash 0x00000000, not 0x0215354A of the name it is loaded by"},
    {{"FontTextureCut", "RWG", "ImagesFonts/FontAcknowledge_3_0.png", gc_szHALVED, ""}, gc_szRWG,
     "entry [ImagesFonts\\FontAcknowledge_3_0.png]",
     "D3DXERR_INVALIDDATA: the PNG data ends at byte 11141, inside its image"},
    {{"FlipBookZeroed", "RWG", "AnimationsGame/Blood1.kds", gc_szZEROED, ""}, gc_szRWG,
     "entry [AnimationsGame\\Blood1.kds]", "the root slot is empty"},
    {{"ShaderZeroed", "RWN", "Shaders/vosk_star.fxo", gc_szZEROED, ""}, gc_szRWN, "entry [Shaders\\vosk_star.fxo]",
     "not a compiled effect (wrong magic)"},
    {{"SoundBankZeroed", "RWG", "Audio/VOSK_SFX.iAudioSB", gc_szZEROED, ""}, gc_szRWG,
     "entry [Audio\\VOSK_SFX.iAudioSB]", "the index (offset 0, 0 entries) does not lie inside the file"},
    // The first source's name, "PowerUp.wav", ending in "wa\x01": the bank is named, and the name shown as it is.
    {{"SoundBankSourceNameDamaged", "RWG", "Audio/VOSK_SFX.iAudioSB", "<word 5104 0x00016177>", ""}, gc_szRWG,
     "Sound file [Audio\\PowerUp.wa\\x01] of the sound bank (entry [Audio\\VOSK_SFX.iAudioSB]",
     "and not on disk"},
    // The comment header's vendor length (the word after "\x03vorbis") at its largest.
    {{"SoundStreamVendorLengthAllOnes", "RWG", "Audio/InGameLoop1.ogg", "<word 110 0xFFFFFFFF>", ""}, gc_szRWG,
     "entry [Audio\\InGameLoop1.ogg]", "FMOD_ERR_FILE_BAD: libsndfile: Supported file format but file is malformed."},
    // Sounds: libsndfile's reason, or the sound library's own for a file it refuses itself.
    {{"SoundFileZeroed", "RWG", "Audio/PowerUp.wav", gc_szZEROED, ""}, gc_szRWG, "entry [Audio\\PowerUp.wav]",
     "FMOD_ERR_FILE_BAD: libsndfile: Format not recognised."},
    {{"SoundFileCut", "RWG", "Audio/PowerUp.wav", gc_szHALVED, ""}, gc_szRWG, "entry [Audio\\PowerUp.wav]",
     "FMOD_ERR_FILE_BAD: its RIFF header gives more bytes than the file holds"},
    {{"ScriptZeroed", "RWN", "Scripts/Levels.kds", gc_szZEROED, ""}, gc_szRWN, "entry [Scripts\\Levels.kds]",
     "the root slot is empty"},
    // The file layer's reasons for what is there and cannot be read.
    {{"StringArchiveTOCSelfLoop", "RWK", "TOC", gc_szSELF_LOOP, ""}, "Mag TOC file [.\\RWK_win32.mtc]", "",
     "is a symlink loop"},
    {{"GameDataFileFolder", "RWG", "DATA", gc_szFOLDER, ""}, gc_szRWG, "", "is a folder"},
};

class DataStop : public CWithStoredProfile<::testing::TestWithParam<SStopDamage>> {
 protected:
  void SetUp() override { setUpIn(std::string("Stop") + GetParam().damage.pName); }
};

TEST_P(DataStop, NamesTheFileOnDiskInTheBoxAndItsReasonOnce) {
  const SStopDamage& stop = GetParam();
  ASSERT_TRUE(KvTestMakeDamagedRoot(stop.damage, m_dir + "/root"));
  writeSettings("SKIP_UI 1\n");
  const std::string out = runToTheStop();
  // The box says its line on the standard error: the last that tells why the game cannot go on.
  const size_t uiBox = out.rfind("The game cannot ");
  ASSERT_NE(uiBox, std::string::npos) << out;
  const std::string box = out.substr(uiBox, out.find('\n', uiBox) - uiBox);
  EXPECT_NE(box.find(stop.pFile), std::string::npos) << box;
  EXPECT_NE(box.find(stop.pEntry), std::string::npos) << box;
  EXPECT_NE(box.find(stop.pReason), std::string::npos) << box;
  EXPECT_EQ(occurrences(out, stop.pReason), 1u) << out;
  expectNoFaultReported(out);
  EXPECT_TRUE(storeLeftClosed(store()));
}

INSTANTIATE_TEST_SUITE_P(EachKindOfData, DataStop, ::testing::ValuesIn(gc_aStopDamages),
                         [](const ::testing::TestParamInfo<SStopDamage>& info) {
                           return std::string(info.param.damage.pName);
                         });

// Damage the game plays on through: it says so once, in the line pExpected names, and its load goes on to the end.
// An unknown MONKEY_SCHEME, checked once everything is loaded, is what ends these runs: reaching that stop shows the
// load went past the damage. A FLAC header's total of samples (36 bits: the low half of byte 21, then bytes 22 to 25
// big-endian) past the file's data is a cut too: 0xFFFFFF, and that field at its largest but for its last byte.
const SDamage gc_aPlayedOnDamages[] = {
    {"MenuMusicCut", "RWG", "Audio/FrontEndLoop.flac", gc_szHALVED,
     "Sound file [Audio\\FrontEndLoop.flac] ends before the 3.0 s its header gives: it is played to where it ends.\n"},
    {"MenuMusicLongerInItsHeader", "RWG", "Audio/FrontEndLoop.flac", "<word 22 0xFFFFFF00>",
     "Sound file [Audio\\FrontEndLoop.flac] ends before the 349.5 s its header gives: it is played to where it ends.\n"},
    {"MenuMusicLongestInItsHeader", "RWG", "Audio/FrontEndLoop.flac", "<word 21 0xFFFFFFFF>",
     "Sound file [Audio\\FrontEndLoop.flac] ends before the 1431655.8 s its header gives: it is played to where it "
     "ends.\n"},
};

using PlayedOnDamage = DamagedData;

TEST_P(PlayedOnDamage, IsSaidOnceAndTheLoadGoesOn) {
  const SDamage& damage = GetParam();
  ASSERT_TRUE(KvTestMakeDamagedRoot(damage, m_dir + "/root"));
  writeSettings("SKIP_UI 1\nMONKEY_SCHEME NoSuchScheme\n");
  const std::string out = runToTheStop();
  const size_t uiFirst = out.find(damage.pExpected);
  ASSERT_NE(uiFirst, std::string::npos) << out;
  EXPECT_EQ(out.find(damage.pExpected, uiFirst + 1), std::string::npos) << out;
  const size_t uiMessage = out.rfind("The game cannot ");
  ASSERT_NE(uiMessage, std::string::npos) << out;
  EXPECT_NE(out.find("\"MONKEY_SCHEME\" [NoSuchScheme]", uiMessage), std::string::npos) << out;
  expectNoFaultReported(out);
  EXPECT_TRUE(storeLeftClosed(store()));
}

INSTANTIATE_TEST_SUITE_P(EachKindOfFile, PlayedOnDamage, ::testing::ValuesIn(gc_aPlayedOnDamages),
                         [](const ::testing::TestParamInfo<SDamage>& info) { return std::string(info.param.pName); });

// A splash movie that is a pipe with no writer, or a list or a playlist naming other files: such a pipe, whose open
// would hold the game for good, or another of the game's movies. Each is refused as a damaged movie is, in one line naming the file
// and what it is, and the splash goes on to its end: the unknown MONKEY_SCHEME, checked once the splash is over, is
// what ends these runs.
struct SMovieDamage {
  const char* pName;
  const char* pText;    // FMV/Splash.wmv's bytes (null: pBeside is Splash.wmv itself)
  const char* pBeside;  // a file it names, made beside it in FMV/
  bool bPipe;           // pBeside is a pipe, else the built root's FMV/Intro.wmv is there already
  const char* pWhy;
};

void PrintTo(const SMovieDamage& damage, std::ostream* pOut) { *pOut << damage.pName; }

const SMovieDamage gc_aMovieDamages[] = {
    {"SplashAPipe", nullptr, "Splash.wmv", true, "it is a pipe"},
    {"SplashListOfAPipe", "ffconcat version 1.0\nfile pipe\n", "pipe", true,
     "it is not an ASF (Windows Media) movie but \"concat\""},
    {"SplashPlaylistOfAPipe", "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2.0,\nsegment.ts\n#EXT-X-ENDLIST\n",
     "segment.ts", true, "it is not an ASF (Windows Media) movie but \"hls\""},
    {"SplashListOfAnotherMovie", "ffconcat version 1.0\nfile Intro.wmv\n", "Intro.wmv", false,
     "it is not an ASF (Windows Media) movie but \"concat\""},
};

class MovieDamage : public CWithStoredProfile<::testing::TestWithParam<SMovieDamage>> {
 protected:
  void SetUp() override { setUpIn(std::string("Damaged") + GetParam().pName); }
};

TEST_P(MovieDamage, IsRefusedNamingTheFileAndTheSplashGoesOn) {
  const SMovieDamage& damage = GetParam();
  const std::string fmv = intactData() + "/FMV";
  fs::remove(fmv + "/Splash.wmv");
  if (damage.pText != nullptr) {
    std::ofstream(fmv + "/Splash.wmv", std::ios::binary) << damage.pText;
  }
  if (damage.bPipe) {
    ASSERT_EQ(mkfifo((fmv + "/" + damage.pBeside).c_str(), 0600), 0);
  } else {
    ASSERT_TRUE(fs::is_regular_file(fmv + "/" + damage.pBeside));
  }
  writeSettings("MONKEY_SCHEME NoSuchScheme\n");
  const std::string out = runToTheStop();
  EXPECT_EQ(occurrences(out, "cannot open the movie "), 1u) << out;
  EXPECT_EQ(occurrences(out, "FMV/Splash.wmv: " + std::string(damage.pWhy)), 1u) << out;
  const size_t uiMessage = out.rfind("The game cannot ");
  ASSERT_NE(uiMessage, std::string::npos) << out;
  EXPECT_NE(out.find("\"MONKEY_SCHEME\" [NoSuchScheme]", uiMessage), std::string::npos) << out;
  EXPECT_EQ(fs::symlink_status(fmv + "/" + damage.pBeside).type(),
            damage.bPipe ? fs::file_type::fifo : fs::file_type::regular);
  expectNoFaultReported(out);
  EXPECT_TRUE(storeLeftClosed(store()));
}

INSTANTIATE_TEST_SUITE_P(EachKindOfList, MovieDamage, ::testing::ValuesIn(gc_aMovieDamages),
                         [](const ::testing::TestParamInfo<SMovieDamage>& info) {
                           return std::string(info.param.pName);
                         });

// Music streams cut short whose files give no length of their own (an Ogg file without its last page): each is said
// once its stream has been played to where its data ends, so the line shows the run got there: the title screen's
// music, and the first story level's, which starts when the random-input tester leaves the how-to-play pages the level
// opens on. Ctrl-C then ends the game normally.
struct SHeardDamage {
  SDamage damage;
  const char* pSettings;  // the run's project.ini
};

void PrintTo(const SHeardDamage& heard, std::ostream* pOut) { *pOut << heard.damage.pName; }

const SHeardDamage gc_aHeardDamages[] = {
    {{"TitleMusicCut", "RWG", "Audio/MainMenuLoop.ogg", gc_szHALVED,
      "Sound file [Audio\\MainMenuLoop.ogg] ends at 1.7 s and gives no length of its own: it is played to where it "
      "ends.\n"},
     "SKIP_SPLASH 1\n"},
    {{"LevelMusicCut", "RWG", "Audio/InGameLoop1.ogg", gc_szHALVED,
      "Sound file [Audio\\InGameLoop1.ogg] ends at 1.1 s and gives no length of its own: it is played to where it "
      "ends.\n"},
     "SKIP_SPLASH 1\nSKIP_UI 1\nRANDOM_SEED 1234\nMONKEY_SCHEME Scheme_InGame\n"},
};

class HeardDamage : public CWithStoredProfile<::testing::TestWithParam<SHeardDamage>> {
 protected:
  void SetUp() override { setUpIn(std::string("Damaged") + GetParam().damage.pName); }
};

TEST_P(HeardDamage, IsSaidOnceWhereItsDataEnds) {
  const SDamage& damage = GetParam().damage;
  ASSERT_TRUE(KvTestMakeDamagedRoot(damage, m_dir + "/root"));
  writeSettings(GetParam().pSettings);
  CProcess game;
  ASSERT_TRUE(start(&game, "SDL_VIDEODRIVER=offscreen"));
  const bool bSaid = game.readUntil(damage.pExpected);
  ASSERT_TRUE(bSaid) << statusText(game.finish()) << "\n" << game.out();
  ASSERT_EQ(kill(game.pid(), SIGINT), 0);
  const int iStatus = game.finish();
  const std::string& out = game.out();
  EXPECT_TRUE(WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == gc_iEXIT_NORMAL) << statusText(iStatus) << "\n" << out;
  EXPECT_EQ(out.find(damage.pExpected, out.find(damage.pExpected) + 1), std::string::npos) << out;
  expectNoFaultReported(out);
  EXPECT_TRUE(storeLeftClosed(store()));
}

INSTANTIATE_TEST_SUITE_P(EachKindOfFile, HeardDamage, ::testing::ValuesIn(gc_aHeardDamages),
                         [](const ::testing::TestParamInfo<SHeardDamage>& info) {
                           return std::string(info.param.damage.pName);
                         });

// A project.ini the game cannot use, run by a user to whom modes apply: said in one line naming it and why, and the
// game runs without it to its frames, which Ctrl-C ends normally.
struct SSettingsDamage {
  const char* pName;
  const char* pText;  // null: a folder
  fs::perms ePerms;
  const char* pWhy;
};

const SSettingsDamage gc_aSettingsDamages[] = {
    {"Unreadable", "SKIP_UI 1\n", fs::perms::none, "cannot be read (Access is denied)"},
    {"Folder", nullptr, fs::perms::all, "is a folder"},
    {"NotText", "SKIP_UI 1\n\x01\x02", fs::perms::all, "are not text (byte 0x01 at offset 10)"},
};

void PrintTo(const SSettingsDamage& damage, std::ostream* pOut) { *pOut << damage.pName; }

class UnusableSettings : public CWithStoredProfile<::testing::TestWithParam<SSettingsDamage>> {
 protected:
  void SetUp() override { setUpIn(std::string("Settings") + GetParam().pName); }
};

TEST_P(UnusableSettings, AreSaidOnceAndTheGameRunsWithoutThem) {
  const SSettingsDamage& damage = GetParam();
  const std::string data = intactData();
  const std::string settings = data + "/project.ini";
  if (damage.pText != nullptr) {
    std::ofstream(settings, std::ios::binary) << damage.pText;
  } else {
    fs::create_directories(settings);
  }
  fs::permissions(settings, damage.ePerms);
  CProcess game;
  ASSERT_NO_FATAL_FAILURE(runUnprivilegedUntilRunning(&game, data));
  ASSERT_EQ(kill(game.pid(), SIGINT), 0);
  const int iStatus = game.finish();
  const std::string& out = game.out();
  EXPECT_TRUE(WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == gc_iEXIT_NORMAL) << statusText(iStatus) << "\n" << out;
  const std::string line =
      std::string("Development settings [.\\project.ini] ") + damage.pWhy + "; the game runs without them.\n";
  EXPECT_EQ(occurrences(out, line), 1u) << out;
  EXPECT_TRUE(storeLeftClosed(store()));
}

INSTANTIATE_TEST_SUITE_P(EachKind, UnusableSettings, ::testing::ValuesIn(gc_aSettingsDamages),
                         [](const ::testing::TestParamInfo<SSettingsDamage>& info) {
                           return std::string(info.param.pName);
                         });

// A stored profile the player may not read (mode 000, as a run as root may leave it): the game says so once, with the
// file and why, plays with the defaults and writes nothing over it, neither the defaults at its start nor the profile
// at its end.
class UnreadableProfile : public CWithStoredProfile<::testing::Test> {
 protected:
  void SetUp() override { setUpIn("UnreadableProfile"); }
};

TEST_F(UnreadableProfile, IsSaidOnceAndNeverWrittenOver) {
  fs::permissions(remote() + "/" + gc_szPROFILE_FILE_NAME, fs::perms::none);
  mode_t uiMode = 0;
  ASSERT_EQ(storedProfile(remote(), &uiMode), m_profile);
  const mode_t uiStoredMode = uiMode;
  CProcess game;
  ASSERT_NO_FATAL_FAILURE(runUnprivilegedUntilRunning(&game, intactData()));
  EXPECT_EQ(storedProfile(remote(), &uiMode), m_profile);
  EXPECT_EQ(uiMode, uiStoredMode);
  ASSERT_EQ(kill(game.pid(), SIGINT), 0);
  const int iStatus = game.finish();
  const std::string& out = game.out();
  EXPECT_TRUE(WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == gc_iEXIT_NORMAL) << statusText(iStatus) << "\n" << out;
  EXPECT_EQ(storedProfile(remote(), &uiMode), m_profile);
  EXPECT_EQ(uiMode, uiStoredMode);
  EXPECT_EQ(occurrences(out, "Profile \""), 1u) << out;
  EXPECT_EQ(occurrences(out, "Profile \"USR-DATAs\" cannot be read (" + remote() +
                                 "/USR-DATAs: cannot read (Permission denied)), nor kept as \"USR-DATAs.unreadable\": "
                                 "the game goes on with the default profile and saves no progress until the file can "
                                 "be read.\n"),
            1u)
      << out;
  EXPECT_TRUE(storeLeftClosed(store()));
}

// Files the game reads in start-up that are no files: a symlink to /dev/zero (a device that never ends), a FIFO (a pipe
// without a writer, which blocks a plain open) and a symlink to itself, in place of the store's configuration, the
// development settings and the stored profile; and each of these, a socket, a folder, a chain of 60 links (a loop to
// the file door, as to the system) and a link to nothing in place of the store's database and its journals. None is waited on or read
// without end, and each ends as that file's other faults do: the store's configuration and its database files are a
// stop whose line names the file and what it is (exit code 3), and a database beside a bad journal keeps its bytes;
// the settings are said in one line and the game runs without them; the profile "cannot be read", is said once, stays
// as it is, and the game plays with the defaults. The game runs headless; SIGTERM, sent at its first line (the store
// starts right after it) or once frames run, ends it within 5 s (the stop keeps its exit code 3), and it never holds
// 1 GiB. A save folder that cannot be made (something else in its place) is tried again for seconds in start-up;
// SIGTERM there ends those tries too.
using ENotAFile = EKvNotAFile;

struct SNotAFile {
  std::string name;
  // gc_szSTORE_CONFIG, gc_szSETTINGS, gc_szPROFILE_FILE_NAME, gc_szSAVE_FOLDER, or the store's database or a journal
  const char* pFile;
  ENotAFile eKind;
};

constexpr char gc_szSTORE_CONFIG[] = "store.ini";
constexpr char gc_szSETTINGS[] = "project.ini";
constexpr char gc_szSAVE_FOLDER[] = "SAVEDATA";
constexpr char gc_szSTORE_DB[] = "store.db";
constexpr char gc_szSTORE_WAL[] = "store.db-wal";
constexpr char gc_szSTORE_SHM[] = "store.db-shm";

void PrintTo(const SNotAFile& notAFile, std::ostream* pOut) { *pOut << notAFile.name; }

// Each file with the first iKinds kinds: the three a plain open would wait on or read without end, then a socket, a
// folder, a chain of links and a link to nothing.
std::vector<SNotAFile> notAFiles() {
  const struct {
    const char* pName;
    ENotAFile eKind;
  } aKinds[] = {{"OfDevZero", ENotAFile::EndlessDevice}, {"Fifo", ENotAFile::Fifo},
                {"SelfLoop", ENotAFile::SelfLoop},       {"Socket", ENotAFile::Socket},
                {"Folder", ENotAFile::Folder},           {"ChainOf60Links", ENotAFile::ChainOf60Links},
                {"DanglingLink", ENotAFile::DanglingLink}};
  const struct {
    const char* pName;
    const char* pFile;
    int iKinds;
  } aFiles[] = {{"StoreConfiguration", gc_szSTORE_CONFIG, 3}, {"Settings", gc_szSETTINGS, 3},
                {"SaveFolder", gc_szSAVE_FOLDER, 1},          {"Profile", gc_szPROFILE_FILE_NAME, 3},
                {"StoreDatabase", gc_szSTORE_DB, 7},          {"StoreWal", gc_szSTORE_WAL, 7},
                {"StoreShm", gc_szSTORE_SHM, 7},              {"StoreJournal", "store.db-journal", 7}};
  std::vector<SNotAFile> notAFiles;
  for (const auto& file : aFiles) {
    for (int i = 0; i < file.iKinds; ++i) {
      notAFiles.push_back({std::string(file.pName) + aKinds[i].pName, file.pFile, aKinds[i].eKind});
    }
  }
  return notAFiles;
}

class NotAFile : public CWithStoredProfile<::testing::TestWithParam<SNotAFile>> {
 protected:
  void SetUp() override { setUpIn("NotAFile" + GetParam().name); }
};

TEST_P(NotAFile, IsRefusedAtOnceAndTheGameEndsAsForAFileItCannotRead) {
  const SNotAFile& notAFile = GetParam();
  const std::string file = notAFile.pFile;
  const std::string data = intactData();
  const bool bStoreDatabase = file.rfind(gc_szSTORE_DB, 0) == 0;
  const bool bInStore = file == gc_szSTORE_CONFIG || file == gc_szSAVE_FOLDER || bStoreDatabase;
  const std::string path = (bInStore ? store() : file == gc_szSETTINGS ? data : remote()) + "/" + file;
  // The database files beside a database the store made: a chain of links in place of the database ends at it.
  const std::string database = store() + "/" + gc_szSTORE_DB;
  const std::string chainEnd = file == gc_szSTORE_DB ? store() + "/held.db" : database;
  if (bStoreDatabase) {
    setenv("GRINDLOW_STORE_DIR", store().c_str(), 1);
    ASSERT_TRUE(SteamAPI_Init()) << StoreGetInitFailure();
    SteamAPI_Shutdown();
    unsetenv("GRINDLOW_STORE_DIR");
    if (file == gc_szSTORE_DB) {
      fs::rename(database, chainEnd);
    }
  }
  fs::remove(path);
  ASSERT_TRUE(KvTestMakeNotAFile(notAFile.eKind, path, chainEnd)) << std::strerror(errno);
  const fs::file_status placed = fs::symlink_status(path);
  const fs::path placedLink = fs::is_symlink(placed) ? fs::read_symlink(path) : fs::path();
  const std::map<std::string, std::string> storeBefore = KvTestFolderContents(store());
  // As the file door says it, which every path the game opens goes through; a link to nothing, which the store would
  // make a database through, is said as such.
  SPlatformFileProblem problem;
  ASSERT_LT(PlatformOpenRegularFile(path.c_str(), &problem), 0);
  const std::string why = notAFile.eKind == ENotAFile::DanglingLink ? "is a symlink to a file that does not exist"
                                                                     : PlatformDescribeFileProblem(problem);
  const bool bStop = file == gc_szSTORE_CONFIG || bStoreDatabase;

  CProcess game;
  ASSERT_TRUE(start(&game, "SDL_VIDEODRIVER=offscreen"));
  const bool bInStartUp = bStop || file == gc_szSAVE_FOLDER;
  const bool bReached =
      game.readUntil(bInStartUp ? "Grindlow: Ctrl-C or closing the window ends the game.\n" : "running at");
  ASSERT_TRUE(bReached) << statusText(game.finish()) << "\n" << game.out();
  ASSERT_EQ(kill(game.pid(), SIGTERM), 0);
  const bool bEnded = game.endsWithin(5000);
  if (!bEnded) {
    kill(game.pid(), SIGKILL);
  }
  EXPECT_TRUE(bEnded) << game.out();
  const int iStatus = game.finish();
  const std::string& out = game.out();
  EXPECT_TRUE(WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == (bStop ? gc_iEXIT_START_UP_FAILED : gc_iEXIT_NORMAL))
      << statusText(iStatus) << "\n" << out;
  EXPECT_GT(game.maxResidentKiB(), 0);
  EXPECT_LT(game.maxResidentKiB(), 1L << 20);

  const std::string stop = "The game cannot start: the store did not start: ";
  if (bStoreDatabase) {
    EXPECT_EQ(occurrences(out, stop + path + " " + why + ".\n"), 1u) << out;
    EXPECT_EQ(occurrences(out, path), 1u) << out;
    // Nothing in the store folder is touched: the database beside a bad journal keeps its bytes, nothing is kept
    // aside, and no journal is made.
    EXPECT_EQ(KvTestFolderContents(store()), storeBefore);
  } else if (bStop) {
    EXPECT_EQ(occurrences(out, stop + path + ": cannot read the store configuration (it " + why + ").\n"), 1u) << out;
  } else if (file == gc_szSETTINGS) {
    EXPECT_EQ(occurrences(out, "Development settings [.\\project.ini] " + why + "; the game runs without them.\n"), 1u)
        << out;
  } else if (file == gc_szPROFILE_FILE_NAME) {
    EXPECT_EQ(occurrences(out, "Profile \""), 1u) << out;
    EXPECT_EQ(occurrences(out, "Profile \"USR-DATAs\" cannot be read (" + path + " " + why +
                                   "), nor kept as \"USR-DATAs.unreadable\": the game goes on with the default profile "
                                   "and saves no progress until the file can be read.\n"),
              1u)
        << out;
    EXPECT_FALSE(fs::exists(fs::symlink_status(remote() + "/" + gc_szPROFILE_KEPT_FILE_NAME)));
  }
  // Left where it was, as it was.
  const fs::file_status left = fs::symlink_status(path);
  EXPECT_EQ(left.type(), placed.type());
  if (left.type() == fs::file_type::symlink) {
    EXPECT_EQ(fs::read_symlink(path), placedLink);
  }
  expectNoFaultReported(out);
  // A journal that is no file is the player's, not one the game left open.
  if (file != gc_szSTORE_WAL && file != gc_szSTORE_SHM) {
    EXPECT_TRUE(storeLeftClosed(store()));
  }
}

INSTANTIATE_TEST_SUITE_P(InStartUp, NotAFile, ::testing::ValuesIn(notAFiles()),
                         [](const ::testing::TestParamInfo<SNotAFile>& info) { return info.param.name; });

// Saves that fail while the game runs (the store refuses every write): said in one line naming the file and the
// store's reason, once, though the end of the game tries again for the same reason; the game goes on, the stored file
// keeps its bytes, and the end of the game says what is lost. The stored file cannot be loaded, so the game starts
// from the defaults and saves at once.
TEST(FailedSaves, AreSaidAndLeaveTheStoredFileAsItWas) {
  const std::string dir = KvTestTempDir("FailedSaves");
  ASSERT_TRUE(KvTestMakeDamagedRoot(gc_intact, dir + "/root"));
  fs::create_directories(dir + "/store/remote");
  const std::string stored = "an old profile of the wrong size";
  std::ofstream(dir + "/store/remote/" + gc_szPROFILE_FILE_NAME, std::ios::binary) << stored;
  CProcess game;
  ASSERT_TRUE(game.start({KV_GAME_PATH}, dir + "/root/Data",
                         {"SDL_VIDEODRIVER=offscreen", "GRINDLOW_FMOD_OUTPUT=null", "GRINDLOW_STORE_DIR=" + dir + "/store",
                          "GRINDLOW_STORE_FAULTS=write_fail"}));
  ASSERT_TRUE(game.readUntil("running at")) << game.out();
  kill(game.pid(), SIGINT);
  const int iStatus = game.finish();
  const std::string& out = game.out();
  EXPECT_TRUE(WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == gc_iEXIT_NORMAL) << statusText(iStatus) << "\n" << out;
  const std::string line = "Profile \"USR-DATAs\" not saved (" + dir +
                           "/store/remote/USR-DATAs: cannot write, the old content stays (fault write_fail)); the "
                           "records stay in memory and the next save writes them.\n";
  EXPECT_EQ(occurrences(out, line), 1u) << out;
  EXPECT_NE(out.find("the records since the last save that failed are lost as the game ends."), std::string::npos)
      << out;
  EXPECT_EQ(KvTestFileBytes(dir + "/store/remote/" + gc_szPROFILE_FILE_NAME), stored);
  EXPECT_FALSE(fs::exists(dir + "/root/Data/SAVEDATA"));
  EXPECT_TRUE(fs::is_empty(dir + "/store/crashes"));
}

}  // namespace
