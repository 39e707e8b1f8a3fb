// Fuzzes the game's whole way into play with one damaged data file, so that what the game does after a loader's
// refusal is fuzzed too: the normal build's game program runs as a user starts it (start-up, pre-load, load, front
// end and, with "SKIP_UI", the first story level), headless, in a data root of the process's own made from the
// normal build's data, where the files below are loose (the archives are packed again without them). An input picks
// the file (first byte) and how it is damaged (second byte): bytes flipped at places the input gives, the file cut
// short and flipped, or the rest of the input as the whole file. A run that still plays after a few seconds is
// ended with Ctrl-C. A clean refusal (exit code 3) and a normal end (0) are fine; a signal, another exit code or a
// crash report is a finding. The game's coverage is not seen by the fuzzer: the flips keep most inputs close to the
// real files, so that they pass the loaders' checks and reach the code behind them. The optimised program keeps a
// run to a second or two.
//
// The normal build's folder comes from GRINDLOW_FUZZ_NORMAL_BUILD, else from beside this build; without its game
// and data the target says so once and runs nothing.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "Code/System/GAMEArchiveKeys.h"
#include "Code/System/ClProfileMgr.h"
#include "Code/System/GAMEProfileSave.h"
#include "Corvane/Program/KvProgram.h"
#include "Fuzz/FuzzMaxLen.h"

namespace {

namespace fs = std::filesystem;

// The files an input may damage: what the load mode, the front end and the first level read, one of each kind.
const char* const gc_apFUZZED_FILES[] = {
    "UI/Switcher_Splash.kui", "Lang/eng/UI/VOSK_UI.kui", "Lang/eng/UI/Switcher_InfoMenu.kui",
    "Lang/eng/UI/Switcher_Loading.kui", "Lang/eng/Strings/Win32.lang", "Lang/eng/Strings/All.lang",
    "Scripts/Backgrounds.kds", "Scripts/EntityEnemy.kds", "Scripts/EntityPlayer.kds", "Scripts/Levels.kds",
    "Scripts/LevelStars.kds", "Shaders/system_copy_tv.fxo", "Audio/VOSK_SFX.iAudioSB", "TexturesUI/TexturesUI.atf",
    "TexturesGame/TexturesGame.atf", "TexturesUI/rgb.bmp", "Images/UI/IM-Button_216.png",
    "Fonts/FontAcknowledge.kff", "Fonts/FontAcknowledge_3.kcf", "ImagesFonts/FontAcknowledge_3_0.png",
    "AnimationsGame/PlayerRunning.kds", "Images/UI/SplashStudio_216.png",
};
constexpr size_t gc_uiNUM_FUZZED_FILES = sizeof(gc_apFUZZED_FILES) / sizeof(gc_apFUZZED_FILES[0]);

fs::path g_root;
std::string g_game;  // the normal build's game program
pid_t g_parent = 0;  // the fuzzing process: only it removes the root
std::vector<std::string> g_originals;  // each fuzzed file's built bytes

bool isFuzzed(const std::string& entry) {
  for (const char* pFile : gc_apFUZZED_FILES) {
    if (entry == pFile) return true;
  }
  return false;
}

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Packs one archive of the normal build again without the fuzzed files, which are copied loose; false when the
// build lacks what it needs.
bool packWithoutFuzzedFiles(const fs::path& build, const char* pArchive) {
  std::ifstream in(build / "Content" / (std::string(pArchive) + ".manifest"));
  if (!in) return false;
  const fs::path manifest = g_root / (std::string(pArchive) + ".manifest");
  std::ofstream out(manifest);
  for (std::string line; std::getline(in, line);) {
    // "file <entry> <source> <storage>", each name quoted or bare.
    std::istringstream words(line);
    std::string word;
    std::string entry;
    std::string source;
    words >> word >> std::quoted(entry) >> std::quoted(source);
    if (word == "file" && isFuzzed(entry)) {
      fs::create_directories((g_root / "Data" / entry).parent_path());
      fs::copy_file(source, g_root / "Data" / entry, fs::copy_options::overwrite_existing);
      continue;
    }
    out << line << "\n";
  }
  out.close();
  std::string key;
  for (const SGameArchiveKey* pKey = g_aGameArchiveKeys; pKey->mp_pArchiveName != nullptr; ++pKey) {
    if (std::strcmp(pKey->mp_pArchiveName, pArchive) == 0) key = pKey->mp_pKey;
  }
  std::string command = "'" + (build / "Tools" / "magpack" / "magpack").string() + "' pack --quiet --name " +
                        pArchive + " --out '" + (g_root / "Data").string() + "' --manifest '" + manifest.string() +
                        "' --key '" + key + "'";
  if (std::strcmp(pArchive, "RWN") == 0) {
    command += " --root '" + (fs::path(KV_FUZZ_SOURCE_DIR) / "Content" / "Archives" / "RWN").string() + "'";
  }
  return std::system(command.c_str()) == 0;
}

// Makes the process's data root once; false (said once) when the normal build's data is not there.
bool startDataRoot() {
  static int s_iReady = -1;
  if (s_iReady >= 0) return s_iReady == 1;
  const char* pBuild = std::getenv("GRINDLOW_FUZZ_NORMAL_BUILD");
  const fs::path build = pBuild != nullptr ? fs::path(pBuild) : fs::path(KV_FUZZ_NORMAL_BUILD);
  std::string pattern = (fs::temp_directory_path() / "GameLoad_XXXXXX").string();
  s_iReady = 0;
  g_game = (build / "Code" / "System" / "grindlow").string();
  if (!fs::exists(build / "Data" / "RWG_win32.mtc") || !fs::exists(g_game) || mkdtemp(pattern.data()) == nullptr) {
    std::fprintf(stderr, "fuzz_GameLoad: no built data root in %s (build the normal preset first); nothing runs\n",
                 build.string().c_str());
    return false;
  }
  g_root = pattern;
  g_parent = getpid();
  std::atexit([] {
    std::error_code ignored;
    if (getpid() == g_parent) fs::remove_all(g_root, ignored);
  });
  fs::create_directories(g_root / "Data");
  fs::copy(build / "Data" / "FMV", g_root / "Data" / "FMV", fs::copy_options::recursive);
  for (const char* pArchive : {"RWN", "RWK", "RWG", "SPLA"}) {
    if (!packWithoutFuzzedFiles(build, pArchive)) {
      std::fprintf(stderr, "fuzz_GameLoad: the archive %s could not be packed again\n", pArchive);
      return false;
    }
  }
  for (const char* pFile : gc_apFUZZED_FILES) g_originals.push_back(readAll(g_root / "Data" / pFile));
  s_iReady = 1;
  return true;
}

// The damaged file an input describes (see the top of the file).
std::string damagedFile(const std::string& original, const uint8_t* pData, size_t uiSize) {
  const uint8_t uiMode = uiSize > 1 ? pData[1] % 4 : 0;
  if (uiMode == 3) return std::string(reinterpret_cast<const char*>(pData + 2), uiSize - 2);
  std::string file = original;
  size_t uiAt = 2;
  if (uiMode == 2 && uiSize >= 6 && !file.empty()) {
    uint32_t uiLength = 0;
    std::memcpy(&uiLength, pData + 2, 4);
    file.resize(uiLength % file.size());
    uiAt = 6;
  }
  // At least one byte is flipped: an input too short for a place flips the one its length names.
  if (uiAt + 5 > uiSize && !file.empty()) file[uiSize % file.size()] ^= static_cast<char>(0xFF);
  for (; uiAt + 5 <= uiSize && !file.empty(); uiAt += 5) {
    uint32_t uiOffset = 0;
    std::memcpy(&uiOffset, pData + uiAt, 4);
    file[uiOffset % file.size()] ^= static_cast<char>(pData[uiAt + 4] != 0 ? pData[uiAt + 4] : 0xFF);
  }
  return file;
}

// Runs the game in the root (in the forked child): its output to game.log.
[[noreturn]] void runGame(bool bSplash) {
  const int iLog = open((g_root / "game.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(iLog, STDOUT_FILENO);
  dup2(iLog, STDERR_FILENO);
  std::ofstream(g_root / "Data" / "project.ini") << "SKIP_UI 1\nRANDOM_SEED 7\n" << (bSplash ? "" : "SKIP_SPLASH 1\n");
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  setenv("GRINDLOW_FMOD_OUTPUT", "null", 1);
  setenv("GRINDLOW_STORE_DIR", (g_root / "store").c_str(), 1);
  unsetenv("DISPLAY");
  if (chdir((g_root / "Data").c_str()) != 0) _exit(120);
  execl(g_game.c_str(), g_game.c_str(), static_cast<char*>(nullptr));
  _exit(121);
}

// Waits for the child up to the seconds given; whether it ended (its status in *piStatus).
bool waitFor(pid_t child, int* piStatus, int iSeconds) {
  for (int i = 0; i < iSeconds * 100; ++i) {
    if (waitpid(child, piStatus, WNOHANG) == child) return true;
    usleep(10000);
  }
  return false;
}

}  // namespace

// The input limit, and the data root made before the first run: packing the archives takes longer than a run may.
extern "C" int LLVMFuzzerInitialize(int* piArgc, char*** pppArgv) {
  KvFuzzDefaultMaxLen(piArgc, pppArgv, 1 << 16);
  startDataRoot();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uiSize) {
  if (uiSize == 0 || !startDataRoot()) return 0;
  const size_t uiFile = pData[0] % gc_uiNUM_FUZZED_FILES;
  const fs::path file = g_root / "Data" / gc_apFUZZED_FILES[uiFile];
  std::ofstream(file, std::ios::binary | std::ios::trunc) << damagedFile(g_originals[uiFile], pData, uiSize);
  // A stored profile without vertical sync: frames run as fast as they are made.
  fs::remove_all(g_root / "store");
  fs::create_directories(g_root / "store" / "remote");
  SPlayerProfile profile{};
  profile.m_iVersion = gc_iPROFILE_VERSION;
  ClProfileMgr::resetToDefaults(&profile);
  profile.m_data.m_bVSync = 0;
  std::ofstream(g_root / "store" / "remote" / gc_szPROFILE_FILE_NAME, std::ios::binary)
      .write(reinterpret_cast<const char*>(&profile), sizeof(profile));
  // The splash screens' files are read only on the way through the splash.
  const bool bSplash = std::strstr(gc_apFUZZED_FILES[uiFile], "Splash") != nullptr;
  const pid_t child = fork();
  if (child == 0) runGame(bSplash);
  int iStatus = 0;
  const bool bEnded =
      child > 0 && (waitFor(child, &iStatus, 5) || (kill(child, SIGINT) == 0 && waitFor(child, &iStatus, 3)));
  if (child > 0 && !bEnded) {
    kill(child, SIGKILL);
    waitpid(child, &iStatus, 0);
  }
  std::ofstream(file, std::ios::binary | std::ios::trunc) << g_originals[uiFile];
  const bool bCrashReport = fs::exists(g_root / "store" / "crashes") && !fs::is_empty(g_root / "store" / "crashes");
  const bool bClean = bEnded && !bCrashReport && WIFEXITED(iStatus) &&
                      (WEXITSTATUS(iStatus) == gc_iEXIT_NORMAL || WEXITSTATUS(iStatus) == gc_iEXIT_START_UP_FAILED);
  if (!bClean) {
    std::fprintf(stderr, "fuzz_GameLoad: damaged [%s]: the game %s with status 0x%x; its output:\n%s\n",
                 gc_apFUZZED_FILES[uiFile], bEnded ? "ended" : "did not end on Ctrl-C", static_cast<unsigned>(iStatus),
                 readAll(g_root / "game.log").c_str());
    std::abort();
  }
  return 0;
}
