// The game's start-up as a player meets it: the game program started (exec) in a data root of the build's archives
// whose project.ini says "SKIP_SPLASH 1", on a virtual X server of the benchmark's own, timed to its first presented
// front-end frame. The server and the game are started by the benchmark and so run on the processors it was pinned
// to (scripts/bench.sh --cores). The game tells the end of each start-up phase on its standard error
// (GRINDLOW_STARTUP_TIMES); the counters are the phases' lengths in milliseconds, averaged over the iterations:
//   stage1      exec to the end of the first start-up stage (program loading and the engine's first stage)
//   preload     the pre-load mode: the profile's load and the second start-up stage (window, device, shaders)
//   stage2      the second stage's own frame, within preload
//   loads       the load mode: sound bank, screens, atlases, flip books, fonts, the CRT's textures
//   firstframe  the first front-end frame, to its present
// An untimed run first makes the save folder and the profile, as a player's earlier run has.
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "Tests/Support/GameProcessTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

const char* const gc_apPHASES[] = {"stage1", "stage2", "preload", "loads", "firstframe"};

long long monotonicMicroseconds() {
  timespec time{};
  clock_gettime(CLOCK_MONOTONIC, &time);
  return static_cast<long long>(time.tv_sec) * 1000000 + time.tv_nsec / 1000;
}

// The game once, from its exec to its first front-end frame: the phases' end times from the start (microseconds),
// or an error.
bool runGame(const std::string& dataDir, const std::string& display, const std::string& storeDir,
             std::map<std::string, long long>* pEnds, std::string* pError) {
  CProcess game;
  const long long iStart = monotonicMicroseconds();
  if (!game.start({KV_GAME_EXE}, dataDir,
                  {"DISPLAY=" + display, "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "GRINDLOW_STARTUP_TIMES=1",
                   "GRINDLOW_STORE_DIR=" + storeDir})) {
    *pError = "the game did not start";
    return false;
  }
  // The game writes each line with one write of a few bytes: the line has come whole once its start has.
  game.readUntil(std::string("Grindlow start-up: ") + gc_apPHASES[4] + " ");
  std::istringstream lines(game.out());
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string a, b, phase;
    long long iTime = 0;
    if (words >> a >> b >> phase >> iTime && a == "Grindlow" && b == "start-up:") (*pEnds)[phase] = iTime - iStart;
  }
  if (pEnds->count(gc_apPHASES[4]) == 0) {
    *pError = "the game did not reach its first front-end frame: " + game.out();
    return false;
  }
  return true;
}

void BM_Engine_StartUpExecToMenuFrame(benchmark::State& state) {
  const std::string dir = KvTestTempDir("StartUpBench");
  const std::string dataDir = dir + "/Data";
  std::filesystem::create_directories(dataDir);
  for (const auto& entry : std::filesystem::directory_iterator(KV_DATA_DIR)) {
    if (entry.path().filename() == "project.ini") continue;
    std::error_code error;
    std::filesystem::create_symlink(entry.path(), dataDir + "/" + entry.path().filename().string(), error);
  }
  std::ofstream(dataDir + "/project.ini") << "SKIP_SPLASH 1\n";
  CProcess server;
  const std::string display = startVirtualXServer(&server, dir, "1280x720x24");
  if (display.empty()) {
    state.SkipWithError("no virtual X server (Xvfb) could start");
    return;
  }
  std::map<std::string, long long> ends;
  std::string error;
  if (!runGame(dataDir, display, dir + "/store", &ends, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  std::map<std::string, double> sums;
  for (auto _ : state) {
    ends.clear();
    if (!runGame(dataDir, display, dir + "/store", &ends, &error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    state.SetIterationTime(static_cast<double>(ends[gc_apPHASES[4]]) * 1e-6);
    sums["stage1_ms"] += ends[gc_apPHASES[0]] * 1e-3;
    sums["stage2_ms"] += (ends[gc_apPHASES[1]] - ends[gc_apPHASES[0]]) * 1e-3;
    sums["preload_ms"] += (ends[gc_apPHASES[2]] - ends[gc_apPHASES[0]]) * 1e-3;
    sums["loads_ms"] += (ends[gc_apPHASES[3]] - ends[gc_apPHASES[2]]) * 1e-3;
    sums["firstframe_ms"] += (ends[gc_apPHASES[4]] - ends[gc_apPHASES[3]]) * 1e-3;
  }
  for (const auto& [name, sum] : sums) state.counters[name] = benchmark::Counter(sum, benchmark::Counter::kAvgIterations);
}

}  // namespace

BENCHMARK(BM_Engine_StartUpExecToMenuFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
