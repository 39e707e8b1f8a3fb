// The game's start-up to its first front-end frame, two ways.
//
// StartUpExecToMenuFrame: as a player meets it: the game program started (exec) in a data root of the build's
// archives whose project.ini says "SKIP_SPLASH 1", on a virtual X server of the benchmark's own, timed to its first
// presented front-end frame. The server and the game are started by the benchmark and so run on the processors it
// was pinned to (scripts/bench.sh --cores). The game tells the end of each start-up phase on its standard error
// (GRINDLOW_STARTUP_TIMES); the counters are the phases' lengths in milliseconds, averaged over the iterations:
//   stage1      exec to the end of the first start-up stage (program loading and the engine's first stage)
//   preload     the pre-load mode: the profile's load and the second start-up stage (window, device, shaders)
//   stage2      the second stage's own frame, within preload
//   loads       the load mode: sound bank, screens, atlases, flip books, fonts, the CRT's textures
//   firstframe  the first front-end frame, to its present
// An untimed run first makes the save folder and the profile, as a player's earlier run has.
//
// StartUpToFrontEndFloor: the start-up in the benchmark's process against a floor (further down).
#include <benchmark/benchmark.h>

#include <SDL_image.h>
#include <sndfile.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Bench/BenchGameRun.h"
#include "Bench/BenchPlainGLWindow.h"
#include "Bench/BenchSkip.h"
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


// One line of a build manifest: "file <archive path> <source path> <how stored>", the paths maybe quoted.
struct SManifestFile {
  std::string archivePath;
  std::string sourcePath;
  std::string storage;
};

std::vector<SManifestFile> readManifest(const std::string& path) {
  std::vector<SManifestFile> files;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string kind;
    SManifestFile file;
    if (!(words >> kind >> file.archivePath >> file.sourcePath >> file.storage) || kind != "file") continue;
    for (std::string* pWord : {&file.archivePath, &file.sourcePath}) {
      if (pWord->size() >= 2 && pWord->front() == '"') *pWord = pWord->substr(1, pWord->size() - 2);
    }
    files.push_back(file);
  }
  return files;
}

// The images the start-up loads: the UI and game atlases' pages, the CRT's textures, the screens' images, the
// English logo and the pages of the font family "FontAcknowledge".
bool loadedAtStartUp(const std::string& archivePath) {
  for (const char* pPrefix : {"TexturesUI/", "TexturesGame/", "Images/UI/", "Lang/eng/", "ImagesFonts/FontAcknowledge_"}) {
    if (archivePath.rfind(pPrefix, 0) == 0) return archivePath.find(".png") != std::string::npos ||
                                                   archivePath.find(".bmp") != std::string::npos;
  }
  return false;
}

// Whether the game makes the image's mip levels: the atlases' pages and the CRT's textures (the UI's images, the
// localised ones and the fonts' pages are drawn at their own size, one level).
bool withMipLevels(const std::string& archivePath) {
  return archivePath.rfind("TexturesUI/", 0) == 0 || archivePath.rfind("TexturesGame/", 0) == 0;
}

// --- In the benchmark's process, against a floor ---
//
// StartUpToFrontEndFloor: the game started in-process (BenchGameRun.h: the build's archives copied once, a fresh
// store each time, "SKIP_SPLASH 1") to its first front-end frame, timed on the game's own start-up clock (from its
// start-up call to the first front-end frame's return), so the benchmark's set-up and the shut-down are not timed.
// The counters are the start-up's phases in milliseconds, averaged: the first stage, the pre-load mode (the
// profile's load and the second stage), the second stage's own frame within it, the load mode's loads and the first
// front-end frame. After each start one more front-end frame is read back: at least a tenth of its pixels must be
// lit. GRINDLOW_BENCH_SKIP "StartUpToFrontEndFloor.engine.frames" starts the game with "NOGFX 1" (its frames are
// thrown away), ".engine.everysecond" every second start so, which fails that.
//
// Against a floor, not the same work: the start-up's images, sounds and bytes alone, plainly. A window with its
// OpenGL context; every image the start-up loads decoded (SDL2_image) and uploaded, with the mip levels the game
// makes (the atlases' pages and the CRT's textures; each level the rounded mean of the 2 x 2 texels below it);
// the sound bank's sources stored compressed decoded whole, the streamed ones opened; the archives' other bytes
// read; one frame cleared, presented and read back. No shaders, screens, fonts' glyph tables, string tables,
// profile or front-end frame: the ratio is an upper bound on what the game's start-up spends beyond its decoding,
// and no aim is set on it. Each start checks the texels it uploaded, the sound frames it decoded and the bytes it
// read against the totals the files give (found before timing) and the presented frame's clear colour;
// ".baseline.<images|sounds|bytes|frame>" leaves that step out, ".baseline.everysecond" the last image of every
// second start, and fails it.
void BM_Engine_StartUpToFrontEndFloor(benchmark::State& state) {
  const bool bFrames = !benchSkips("StartUpToFrontEndFloor.engine.frames");
  const CBenchEverySecond everySecond("StartUpToFrontEndFloor.engine");
  std::map<std::string, double> sums;
  i64 iStart = 0;
  for (auto _ : state) {
    std::string error;
    CGameRun game;
    if (!game.start(&error, true, bFrames && !everySecond.leavesOut(iStart++) ? "" : "NOGFX 1\n")) {
      state.SkipWithError(error.c_str());
      break;
    }
    const GAMEStartUpTimes& times = g_startUpTimes;
    if (!times.done()) {
      state.SkipWithError("the start-up's phases were not all timed");
      break;
    }
    const auto endOf = [&times](E_STARTUP_PHASE ePhase) { return static_cast<double>(times.endOf(ePhase)); };
    state.SetIterationTime((endOf(E_STARTUP_PHASE_FIRST_FRAME) - static_cast<double>(times.start())) * 1e-6);
    sums["stage1_ms"] += (endOf(E_STARTUP_PHASE_STAGE1) - static_cast<double>(times.start())) * 1e-3;
    sums["preload_ms"] += (endOf(E_STARTUP_PHASE_PRELOAD) - endOf(E_STARTUP_PHASE_STAGE1)) * 1e-3;
    sums["stage2_ms"] += (endOf(E_STARTUP_PHASE_STAGE2) - static_cast<double>(times.stage2FrameStart())) * 1e-3;
    sums["loads_ms"] += (endOf(E_STARTUP_PHASE_LOADS) - endOf(E_STARTUP_PHASE_PRELOAD)) * 1e-3;
    sums["firstframe_ms"] += (endOf(E_STARTUP_PHASE_FIRST_FRAME) - endOf(E_STARTUP_PHASE_LOADS)) * 1e-3;
    // The window's picture of the next front-end frame (the capture starts at the first call).
    UINT uiW = 0;
    UINT uiH = 0;
    D3D9TestReadWindow(ClGraphics::mp_pDevice, &uiW, &uiH);
    GAMEStartUpTimes::tickFrame(0.016f);
    const std::vector<DWORD> picture = D3D9TestReadWindow(ClGraphics::mp_pDevice, &uiW, &uiH);
    const size_t uiLit = static_cast<size_t>(
        std::count_if(picture.begin(), picture.end(), [](DWORD uiPixel) { return (uiPixel & 0xFFFFFFu) != 0; }));
    if (picture.empty() || uiLit * 10 < picture.size()) {
      state.SkipWithError(("the front end's frame has " + std::to_string(uiLit) + " lit pixels of " +
                           std::to_string(picture.size())).c_str());
      break;
    }
  }
  for (const auto& [name, sum] : sums) state.counters[name] = benchmark::Counter(sum, benchmark::Counter::kAvgIterations);
}

// An image the start-up loads: its file, whether it gets its mip levels, and the texels that makes.
struct SStartUpImage {
  std::string path;
  bool bMips;
  size_t uiTexels;
};

// The texels of a w x h image with its mip levels down to 1 x 1, or of its first level alone.
size_t texelsWithLevels(size_t uiW, size_t uiH, bool bMips) {
  size_t uiTexels = uiW * uiH;
  while (bMips && (uiW > 1 || uiH > 1)) {
    uiW = std::max<size_t>(uiW / 2, 1);
    uiH = std::max<size_t>(uiH / 2, 1);
    uiTexels += uiW * uiH;
  }
  return uiTexels;
}

void BM_Baseline_StartUpToFrontEndFloor(benchmark::State& state) {
  const std::string content = KV_CONTENT_DIR;
  std::vector<SStartUpImage> images;
  std::vector<SManifestFile> sounds;
  std::string error;
  for (const char* pManifest : {"RWG.images.manifest", "RWG.manifest"}) {
    for (const SManifestFile& file : readManifest(content + "/" + pManifest)) {
      if (!loadedAtStartUp(file.archivePath) ||
          std::any_of(images.begin(), images.end(), [&](const SStartUpImage& i) { return i.path == file.sourcePath; })) {
        continue;
      }
      // The sizes, before timing.
      SDL_Surface* pImage = IMG_Load(file.sourcePath.c_str());
      if (pImage == nullptr) error = "cannot decode " + file.sourcePath;
      const bool bMips = withMipLevels(file.archivePath);
      images.push_back({file.sourcePath, bMips,
                        pImage == nullptr ? 0 : texelsWithLevels(static_cast<size_t>(pImage->w),
                                                                 static_cast<size_t>(pImage->h), bMips)});
      SDL_FreeSurface(pImage);
    }
  }
  // The sound bank and the tracks' data are read as bytes; the sources are decoded or opened.
  std::vector<std::string> bytes;
  for (const SManifestFile& file : readManifest(content + "/RWG.manifest")) {
    if (file.archivePath.rfind("Audio/", 0) != 0) continue;
    const std::string ext = file.archivePath.substr(file.archivePath.rfind('.') + 1);
    if (ext == "wav" || ext == "ogg" || ext == "flac") {
      sounds.push_back(file);
    } else {
      bytes.push_back(file.sourcePath);
    }
  }
  for (const char* pFile : gc_apGAME_ARCHIVES) {
    // The game archive's entries are read as the files above; the other archives are small and read whole.
    if (std::string(pFile) != "RWG_win32.mdf") bytes.push_back(std::string(KV_DATA_DIR) + "/" + pFile);
  }
  // What the files give: texels, the compressed sounds' frames and the bytes.
  size_t uiWantedTexels = 0;
  size_t uiWantedFrames = 0;
  size_t uiWantedBytes = 0;
  for (const SStartUpImage& image : images) uiWantedTexels += image.uiTexels;
  for (const SManifestFile& sound : sounds) {
    SF_INFO info{};
    SNDFILE* pFile = sf_open(sound.sourcePath.c_str(), SFM_READ, &info);
    if (pFile == nullptr) error = "cannot open the sound " + sound.sourcePath;
    if (pFile != nullptr && sound.storage == "compress") uiWantedFrames += static_cast<size_t>(info.frames);
    if (pFile != nullptr) sf_close(pFile);
  }
  for (const std::string& path : bytes) {
    std::error_code ignored;
    uiWantedBytes += static_cast<size_t>(std::filesystem::file_size(path, ignored));
  }
  if (error.empty() && (images.empty() || sounds.empty())) error = "the build's manifests list no images or sounds";
  if (!error.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  const bool bImages = !benchSkips("StartUpToFrontEndFloor.baseline.images");
  const bool bSounds = !benchSkips("StartUpToFrontEndFloor.baseline.sounds");
  const bool bBytes = !benchSkips("StartUpToFrontEndFloor.baseline.bytes");
  const bool bFrame = !benchSkips("StartUpToFrontEndFloor.baseline.frame");
  const CBenchEverySecond everySecond("StartUpToFrontEndFloor.baseline");
  std::vector<char> buffer;
  std::vector<short> samples;
  i64 iStart = 0;
  for (auto _ : state) {
    // The step "everysecond" leaves the last image out of every second start.
    const size_t uiImages = images.size() - (everySecond.leavesOut(iStart++) ? 1 : 0);
    const auto start = std::chrono::steady_clock::now();
    size_t uiTexels = 0;
    size_t uiFrames = 0;
    size_t uiBytes = 0;
    CPlainGLWindow window;
    if (!window.openFor(state)) return;
    SD3D9GLFunctions& gl = window.gl;
    for (size_t i = 0; i < uiImages; ++i) {
      const SStartUpImage& image = images[i];
      if (!bImages) break;
      SDL_Surface* pLoaded = IMG_Load(image.path.c_str());
      SDL_Surface* pImage = pLoaded != nullptr ? SDL_ConvertSurfaceFormat(pLoaded, SDL_PIXELFORMAT_ARGB8888, 0) : nullptr;
      SDL_FreeSurface(pLoaded);
      if (pImage == nullptr) break;
      UINT uiW = static_cast<UINT>(pImage->w);
      UINT uiH = static_cast<UINT>(pImage->h);
      std::vector<DWORD> texels(static_cast<size_t>(uiW) * uiH);
      for (UINT y = 0; y < uiH; ++y) {
        std::memcpy(&texels[static_cast<size_t>(y) * uiW], static_cast<const char*>(pImage->pixels) + y * pImage->pitch,
                    uiW * 4u);
      }
      SDL_FreeSurface(pImage);
      GLuint texture = 0;
      gl.GenTextures(1, &texture);
      gl.BindTexture(GL_TEXTURE_2D, texture);
      gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
      for (GLint iLevel = 0;; ++iLevel) {
        gl.TexImage2D(GL_TEXTURE_2D, iLevel, GL_RGBA8, static_cast<GLsizei>(uiW), static_cast<GLsizei>(uiH), 0, GL_BGRA,
                      GL_UNSIGNED_BYTE, texels.data());
        uiTexels += texels.size();
        if (!image.bMips || (uiW == 1 && uiH == 1)) break;
        // The next level: each texel the rounded mean of the 2 x 2 block below it, per 8-bit channel.
        const UINT uiHalfW = std::max(uiW / 2, 1u);
        const UINT uiHalfH = std::max(uiH / 2, 1u);
        std::vector<DWORD> half(static_cast<size_t>(uiHalfW) * uiHalfH);
        for (UINT y = 0; y < uiHalfH; ++y) {
          for (UINT x = 0; x < uiHalfW; ++x) {
            const UINT x0 = std::min(2 * x, uiW - 1), x1 = std::min(2 * x + 1, uiW - 1);
            const size_t r0 = static_cast<size_t>(std::min(2 * y, uiH - 1)) * uiW;
            const size_t r1 = static_cast<size_t>(std::min(2 * y + 1, uiH - 1)) * uiW;
            DWORD uiOut = 0;
            for (UINT uiShift = 0; uiShift < 32; uiShift += 8) {
              const DWORD uiSum = ((texels[r0 + x0] >> uiShift) & 0xFF) + ((texels[r0 + x1] >> uiShift) & 0xFF) +
                                  ((texels[r1 + x0] >> uiShift) & 0xFF) + ((texels[r1 + x1] >> uiShift) & 0xFF);
              uiOut |= ((uiSum + 2) >> 2) << uiShift;
            }
            half[static_cast<size_t>(y) * uiHalfW + x] = uiOut;
          }
        }
        texels.swap(half);
        uiW = uiHalfW;
        uiH = uiHalfH;
      }
    }
    // Sounds stored compressed are decoded whole at load; the plain ones are streamed and only opened.
    for (const SManifestFile& sound : sounds) {
      if (!bSounds) break;
      SF_INFO info{};
      SNDFILE* pFile = sf_open(sound.sourcePath.c_str(), SFM_READ, &info);
      if (pFile == nullptr) break;
      if (sound.storage == "compress") {
        samples.resize(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels));
        uiFrames += static_cast<size_t>(sf_readf_short(pFile, samples.data(), info.frames));
      }
      sf_close(pFile);
    }
    for (const std::string& path : bytes) {
      if (!bBytes) break;
      std::ifstream file(path, std::ios::binary | std::ios::ate);
      buffer.resize(static_cast<size_t>(file.tellg()));
      file.seekg(0);
      file.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
      uiBytes += static_cast<size_t>(file.gcount());
    }
    gl.ClearColor(0.0f, 0.5f, 1.0f, 1.0f);
    if (bFrame) gl.Clear(GL_COLOR_BUFFER_BIT);
    window.swap();
    GLubyte aPixel[4] = {};
    gl.ReadPixels(gc_iGAME_WIDTH / 2, gc_iGAME_HEIGHT / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, aPixel);
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (uiTexels != uiWantedTexels || uiFrames != uiWantedFrames || uiBytes != uiWantedBytes) {
      state.SkipWithError(("uploaded " + std::to_string(uiTexels) + " texels of " + std::to_string(uiWantedTexels) +
                           ", decoded " + std::to_string(uiFrames) + " sound frames of " +
                           std::to_string(uiWantedFrames) + ", read " + std::to_string(uiBytes) + " bytes of " +
                           std::to_string(uiWantedBytes)).c_str());
      return;
    }
    if (aPixel[0] != 0 || aPixel[2] != 255 || aPixel[1] < 127 || aPixel[1] > 128) {
      state.SkipWithError("the presented frame does not hold the clear colour");
      return;
    }
  }
  state.counters["images"] = static_cast<double>(images.size());
  state.counters["sounds"] = static_cast<double>(sounds.size());
}

}  // namespace

// A few starts a repetition: each of the game's takes a second or two. The pair runs as many on both sides (the
// runner pairs the sides by their names, the count included).
BENCHMARK(BM_Engine_StartUpExecToMenuFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Engine_StartUpToFrontEndFloor)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Baseline_StartUpToFrontEndFloor)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

BENCHMARK_MAIN();
