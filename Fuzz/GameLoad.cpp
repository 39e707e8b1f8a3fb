// Fuzzes the game's whole way into play with one damaged data file, so that what the game does after a loader's
// refusal is fuzzed too: the game runs as its program does (start-up, pre-load, load, front end and, with
// "SKIP_UI", the first story level) headless, in a data root of the process's own made from the normal build's
// data, where the files below are loose (the archives are packed again without them). An input picks the file
// (first byte) and how it is damaged (second byte): bytes flipped at places the input gives, the file cut short
// and flipped, or the rest of the input as the whole file. Each run is a process of its own (forked), which ends
// by itself after a few frames of play: a clean refusal (exit code 3) and a run that plays are both fine; a signal
// or any other ending is a finding. The forked game's coverage is not seen by the fuzzer: the flips keep most
// inputs close to the real files, so that they pass the loaders' checks and reach the code behind them.
//
// The normal build's folder comes from GRINDLOW_FUZZ_NORMAL_BUILD, else from beside this build; without its data
// the target says so once and runs nothing.
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
#include <iterator>
#include <string>
#include <vector>

#include "Code/GameModes/ClGame.h"
#include "Code/GameModes/ClGameModeAction.h"
#include "Code/GameModes/ClGameModeFrontEnd.h"
#include "Code/GameModes/ClGameModeLoad.h"
#include "Code/GameModes/ClGameModePreLoad.h"
#include "Code/System/GAMEArchiveKeys.h"
#include "Corvane/Program/KvProgram.h"
#include "Fuzz/FuzzMaxLen.h"
#include "Platform/Win32/Win32Messages.h"

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
// Frames of play after which a run that plays ends, and frames in all after which any run ends.
constexpr int gc_iACTION_FRAMES = 30;
constexpr int gc_iALL_FRAMES = 3000;

fs::path g_root;
pid_t g_parent = 0;  // the fuzzing process: only it removes the root
std::vector<std::string> g_originals;  // each fuzzed file's built bytes
int g_iFrames = 0;
int g_iActionFrames = 0;

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
    const std::string prefix = "file \"";
    if (line.compare(0, prefix.size(), prefix) == 0) {
      const std::string entry = line.substr(prefix.size(), line.find('"', prefix.size()) - prefix.size());
      if (isFuzzed(entry)) {
        const size_t uiSource = line.find('"', prefix.size() + entry.size() + 1) + 1;
        const fs::path source = line.substr(uiSource, line.find('"', uiSource) - uiSource);
        fs::create_directories((g_root / "Data" / entry).parent_path());
        fs::copy_file(source, g_root / "Data" / entry, fs::copy_options::overwrite_existing);
        continue;
      }
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
  if (!fs::exists(build / "Data" / "RWG_win32.mtc") || mkdtemp(pattern.data()) == nullptr) {
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
  std::ofstream(g_root / "Data" / "project.ini") << "SKIP_UI 1\nNOVSYNC 1\nRANDOM_SEED 7\n";
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
  for (; uiAt + 5 <= uiSize && !file.empty(); uiAt += 5) {
    uint32_t uiOffset = 0;
    std::memcpy(&uiOffset, pData + uiAt, 4);
    file[uiOffset % file.size()] ^= static_cast<char>(pData[uiAt + 4] != 0 ? pData[uiAt + 4] : 0xFF);
  }
  return file;
}

// The game's frame, counted: a run that reached play ends after a few frames of it, any run after a bound.
void countedFrame(f32 fDT) {
  ClGame::tickFrame(fDT);
  ++g_iFrames;
  g_iActionFrames += g_eCurrentGameMode == E_GAME_MODE_ACTION ? 1 : 0;
  if (g_iActionFrames == gc_iACTION_FRAMES || g_iFrames == gc_iALL_FRAMES) PostQuitMessage(0);
}

[[noreturn]] void runGame() {
  const int iLog = open((g_root / "game.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(iLog, STDOUT_FILENO);
  dup2(iLog, STDERR_FILENO);
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  setenv("GRINDLOW_FMOD_OUTPUT", "null", 1);
  setenv("GRINDLOW_STORE_DIR", (g_root / "store").c_str(), 1);
  if (chdir((g_root / "Data").c_str()) != 0) _exit(120);
  SKvGameEntryPoints entryPoints{};
  entryPoints.pfnStartUp = &ClGame::startUp;
  entryPoints.pfnTickFrame = &countedFrame;
  entryPoints.pfnShutDown = &ClGame::shutDown;
  entryPoints.pGameName = "Grindlow";
  KvSetGameEntryPoints(entryPoints);
  ClGame::registerGameMode(E_GAME_MODE_PRELOAD, &g_gameModePreLoad, E_GAME_MODE_LOAD, &g_gameModePreLoad.m_eNextGameMode);
  ClGame::registerGameMode(E_GAME_MODE_LOAD, &g_gameModeLoad, E_GAME_MODE_FRONTEND, &g_gameModeLoad.m_eNextGameMode);
  ClGame::registerGameMode(E_GAME_MODE_FRONTEND, &g_gameModeFrontEnd, E_GAME_MODE_ACTION);
  ClGame::registerGameMode(E_GAME_MODE_ACTION, &g_gameModeAction, E_GAME_MODE_FRONTEND);
  _exit(WinMain(nullptr, nullptr, nullptr, 0));
}

}  // namespace

KV_FUZZ_MAX_LEN(1 << 16)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uiSize) {
  if (uiSize == 0 || !startDataRoot()) return 0;
  const size_t uiFile = pData[0] % gc_uiNUM_FUZZED_FILES;
  const fs::path file = g_root / "Data" / gc_apFUZZED_FILES[uiFile];
  std::ofstream(file, std::ios::binary | std::ios::trunc) << damagedFile(g_originals[uiFile], pData, uiSize);
  fs::remove_all(g_root / "store");
  const pid_t child = fork();
  if (child == 0) runGame();
  int iStatus = 0;
  while (child > 0 && waitpid(child, &iStatus, 0) < 0) {
  }
  std::ofstream(file, std::ios::binary | std::ios::trunc) << g_originals[uiFile];
  const bool bClean = child > 0 && WIFEXITED(iStatus) &&
                      (WEXITSTATUS(iStatus) == gc_iEXIT_NORMAL || WEXITSTATUS(iStatus) == gc_iEXIT_START_UP_FAILED);
  if (!bClean) {
    std::fprintf(stderr, "fuzz_GameLoad: damaged [%s]: the game ended with status 0x%x; its output:\n%s\n",
                 gc_apFUZZED_FILES[uiFile], static_cast<unsigned>(iStatus), readAll(g_root / "game.log").c_str());
    std::abort();
  }
  return 0;
}
