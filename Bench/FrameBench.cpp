// The game's composed frame at 1920 x 1080: the game started on the archives the build makes and run into its front
// end, the sample scene and the menus drawn through the render worker's composition, once copied plainly (as the
// pre-load mode composes) and once through the bloom and the CRT copy (the front end). Both are paired with the least
// a frame can cost: one textured full-screen quad from the 480 x 270 scene size, drawn with plain OpenGL into a window
// of the same size and swapped. The counter "of_60Hz" is the frame's time over the 16.7 ms of a 60 Hz refresh.
//
// Start-up: the game from its start through the pre-load mode and the load mode (the splash sequence and every
// sample asset) to its first front-end frame, paired with reading the same archives' bytes from the page cache.
//
// Runs on whatever SDL video driver is set (under Xvfb: x11; without a display: offscreen). Each iteration checks
// that its frame reached the window.
#include <benchmark/benchmark.h>

#include <SDL.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Code/GameModes/ClGame.h"
#include "Code/GameModes/ClGameModeAction.h"
#include "Code/GameModes/ClGameModeFrontEnd.h"
#include "Code/GameModes/ClGameModeLoad.h"
#include "Code/GameModes/ClGameModePreLoad.h"
#include "Code/Graphics/GAMESampleScene.h"
#include "Code/Objects/ClLevelMgr.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/System/ClMutexLock.h"
#include "Platform/D3D9/D3D9.h"
#include "Platform/D3D9/D3D9GL.h"
#include "Platform/Store/StoreApi.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

constexpr int gc_iWIDTH = 1920;
constexpr int gc_iHEIGHT = 1080;
constexpr int gc_iSCENE_WIDTH = 480;
constexpr int gc_iSCENE_HEIGHT = 270;
constexpr double gc_fREFRESH_SECONDS = 1.0 / 60.0;

void useDisplayOrOffscreen() {
  if (std::getenv("SDL_VIDEODRIVER") == nullptr && std::getenv("DISPLAY") == nullptr) {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
  }
  setenv("SDL_AUDIODRIVER", "dummy", 0);
}

void reportAgainstRefresh(benchmark::State& state) {
  state.counters["of_60Hz"] = benchmark::Counter(static_cast<double>(state.iterations()) * gc_fREFRESH_SECONDS,
                                                 benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The archives the game opens.
const char* const gc_apARCHIVE_FILES[] = {"RWN_win32.mtc", "RWN_win32.mdf", "RWK_win32.mtc", "RWK_win32.mdf",
                                          "RWG_win32.mtc", "RWG_win32.mdf", "SPLA_win32.mtc", "SPLA_win32.mdf"};

// The game from start-up to shut-down in a fresh data root, no vsync: a 2560 x 1440 desktop makes it pick the
// 1920 x 1080 mode for its window. start runs it into its front end.
class CGameRun {
 public:
  // sExtraSettings: more project.ini lines; the Action mode is registered too, for a run that plays.
  bool start(std::string* pError, bool bSkipSplash = true, const std::string& sExtraSettings = std::string()) {
    m_previous = std::filesystem::current_path();
    const std::string dir = KvTestTempDir("FrameBench");
    std::filesystem::create_directories(dir + "/Data");
    for (const char* pFile : gc_apARCHIVE_FILES) {
      std::error_code error;
      std::filesystem::copy_file(std::string(KV_DATA_DIR) + "/" + pFile, dir + "/Data/" + pFile, error);
      if (error) {
        *pError = std::string("cannot copy the archive ") + pFile + ": " + error.message();
        return false;
      }
    }
    std::filesystem::current_path(dir + "/Data");
    std::ofstream("project.ini") << "NOVSYNC 1\n" << (bSkipSplash ? "SKIP_SPLASH 1\n" : "") << sExtraSettings;
    setenv("GRINDLOW_STORE_DIR", (dir + "/store").c_str(), 1);
    useDisplayOrOffscreen();
    if (!SteamAPI_Init()) {
      *pError = "the store stand-in did not start";
      return false;
    }
    m_bStarted = true;
    D3D9TestReset();
    D3D9TestSetAdapterModes({{D3DFMT_X8R8G8B8, {gc_iWIDTH, gc_iHEIGHT, 60, D3DFMT_X8R8G8B8}},
                             {D3DFMT_X8R8G8B8, {2560, 1440, 60, D3DFMT_X8R8G8B8}}});
    g_iLoadUIStep = -1;
    ClGame::registerGameMode(E_GAME_MODE_PRELOAD, &g_gameModePreLoad, E_GAME_MODE_LOAD,
                             &g_gameModePreLoad.m_eNextGameMode);
    ClGame::registerGameMode(E_GAME_MODE_LOAD, &g_gameModeLoad, E_GAME_MODE_FRONTEND, &g_gameModeLoad.m_eNextGameMode);
    ClGame::registerGameMode(E_GAME_MODE_FRONTEND, &g_gameModeFrontEnd, E_GAME_MODE_ACTION);
    ClGame::registerGameMode(E_GAME_MODE_ACTION, &g_gameModeAction, E_GAME_MODE_FRONTEND);
    ClGame::startUp();
    // The profile's load ends on its own thread: frames until the second start-up stage has run, then frames until
    // the front end has drawn its first one.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!g_bGameInitialized && std::chrono::steady_clock::now() < giveUp) ClGame::tickFrame(0.016f);
    // A run with SKIP_UI goes on from the front end's first frame into the Action mode.
    for (int i = 0; i < 2000 && !(g_eCurrentGameMode == E_GAME_MODE_FRONTEND && m_iFrontEndFrames > 0) &&
                    g_eCurrentGameMode != E_GAME_MODE_ACTION;
         ++i) {
      const bool bInFrontEnd = g_eCurrentGameMode == E_GAME_MODE_FRONTEND;
      ClGame::tickFrame(0.016f);
      m_iFrontEndFrames += bInFrontEnd ? 1 : 0;
    }
    const bool bInAction = g_eCurrentGameMode == E_GAME_MODE_ACTION;
    if (ClGraphics::mp_pDevice == nullptr || (!bInAction && (m_iFrontEndFrames == 0 || !GAMESampleScene::isLoaded()))) {
      *pError = "the game did not reach its front end (mode " + std::to_string(g_eCurrentGameMode) + ", loading step " +
                std::to_string(g_iLoadUIStep) + ")";
      return false;
    }
    // The size from the device's parameters: a read-back would make every later Present keep a copy.
    const UINT uiW = ClGraphics::mp_presentParams.BackBufferWidth;
    const UINT uiH = ClGraphics::mp_presentParams.BackBufferHeight;
    if (uiW != gc_iWIDTH || uiH != gc_iHEIGHT) {
      *pError = "the back buffer is " + std::to_string(uiW) + " x " + std::to_string(uiH) + ", not 1920 x 1080";
      return false;
    }
    return true;
  }
  ~CGameRun() {
    if (!m_bStarted) {
      if (!m_previous.empty()) std::filesystem::current_path(m_previous);
      return;
    }
    ClGame::shutDown();
    ClMutexLock::shutdownPool();
    g_bGameInitialized = 0;
    ClGame::registerGameMode(E_GAME_MODE_PRELOAD, nullptr, E_GAME_MODE_LOAD);
    ClGame::registerGameMode(E_GAME_MODE_LOAD, nullptr, E_GAME_MODE_FRONTEND);
    ClGame::registerGameMode(E_GAME_MODE_FRONTEND, nullptr, E_GAME_MODE_ACTION);
    ClGame::registerGameMode(E_GAME_MODE_ACTION, nullptr, E_GAME_MODE_FRONTEND);
    D3D9TestReset();
    SteamAPI_Shutdown();
    unsetenv("GRINDLOW_STORE_DIR");
    std::filesystem::current_path(m_previous);
  }

 private:
  std::filesystem::path m_previous;
  bool m_bStarted = false;
  int m_iFrontEndFrames = 0;
};

// The game's start-up with its splash to the first front-end frame; the shut-down is not timed.
void BM_Engine_StartUpToFrontEnd(benchmark::State& state) {
  for (auto _ : state) {
    std::string error;
    {
      CGameRun game;
      if (!game.start(&error, false)) {
        state.SkipWithError(error.c_str());
        break;
      }
      state.PauseTiming();
    }
    state.ResumeTiming();
  }
}

// The least start-up can cost: every byte of the same archives read from the page cache.
void BM_Baseline_StartUpToFrontEnd(benchmark::State& state) {
  std::vector<char> buffer;
  size_t uiTotal = 0;
  for (auto _ : state) {
    uiTotal = 0;
    for (const char* pFile : gc_apARCHIVE_FILES) {
      std::ifstream file(std::string(KV_DATA_DIR) + "/" + pFile, std::ios::binary | std::ios::ate);
      buffer.resize(static_cast<size_t>(file.tellg()));
      file.seekg(0);
      file.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
      uiTotal += static_cast<size_t>(file.gcount());
    }
    benchmark::DoNotOptimize(buffer.data());
  }
  if (uiTotal == 0) state.SkipWithError("the archives are missing");
  state.counters["bytes"] = static_cast<double>(uiTotal);
}

// Game frames drawn as in eMode; every frame must reach the window without a GL error.
void runGameFrames(benchmark::State& state, E_GAME_MODE eMode) {
  CGameRun game;
  std::string error;
  if (!game.start(&error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
  const E_GAME_MODE eSaved = g_eCurrentGameMode;
  g_eCurrentGameMode = eMode;
  // One frame first, so that the bloom's targets and the programs exist before timing.
  ClGame::tickFrame(0.016f);
  const UINT uiPresentsBefore = D3D9TestPresentCount(pDevice);
  for (auto _ : state) {
    ClGame::tickFrame(0.016f);
  }
  g_eCurrentGameMode = eSaved;
  const UINT uiPresents = D3D9TestPresentCount(pDevice) - uiPresentsBefore;
  if (uiPresents != state.iterations()) {
    state.SkipWithError(("frames presented: " + std::to_string(uiPresents) + " of " +
                         std::to_string(state.iterations())).c_str());
  } else if (D3D9TestGLErrorCount(pDevice) != 0) {
    state.SkipWithError("OpenGL errors while drawing");
  }
  reportAgainstRefresh(state);
}

void BM_Engine_FramePreLoadPlainCopy(benchmark::State& state) { runGameFrames(state, E_GAME_MODE_PRELOAD); }
void BM_Engine_FrameBloomCRT(benchmark::State& state) { runGameFrames(state, E_GAME_MODE_FRONTEND); }

// A whole game frame of the busiest sample level ("Chapter1_3", the most rows of the first chapter) as CPU time on
// the main thread: the world's update and draw lists, the HUD, the UI and the composition's submission (the render
// worker's GL work is on its own thread). The game starts with SKIP_UI, a fixed seed and the random-input tester,
// plays 20 s of the level so that its rows are on screen and fighting, then each iteration is one 1/60 s frame;
// the run stops with an error if the level was not in play for every timed frame.
void BM_Engine_FrameActionLevel(benchmark::State& state) {
  CGameRun game;
  std::string error;
  if (!game.start(&error, true, "SKIP_UI 1\nRANDOM_SEED 1234\nMONKEY_SCHEME Scheme_InGame\nDISABLE_VO 1\n")) {
    state.SkipWithError(error.c_str());
    return;
  }
  // SKIP_UI has started the first level; the third is set up as the pause menu's restart does, for the level
  // chosen.
  for (int i = 0; i < 20 && g_eCurrentGameMode != E_GAME_MODE_ACTION; ++i) ClGame::tickFrame(1.0f / 60.0f);
  g_iSelectedChapter = 0;
  g_iSelectedLevel = 2;
  g_bRestartRequest = 1;
  ClGame::tickFrame(1.0f / 60.0f);
  if (g_eCurrentGameMode != E_GAME_MODE_ACTION || g_gameModeAction.m_iLevel != 2) {
    state.SkipWithError("the game did not enter the third level of the first chapter");
    return;
  }
  for (int i = 0; i < 20 * 60; ++i) ClGame::tickFrame(1.0f / 60.0f);
  IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
  const UINT uiPresentsBefore = D3D9TestPresentCount(pDevice);
  size_t uiEntities = 0;
  bool bInPlay = true;
  for (auto _ : state) {
    ClGame::tickFrame(1.0f / 60.0f);
    uiEntities += static_cast<size_t>(g_entityList.getCount());
    bInPlay = bInPlay && g_eCurrentGameMode == E_GAME_MODE_ACTION && g_bResultsShown == 0;
  }
  const UINT uiPresents = D3D9TestPresentCount(pDevice) - uiPresentsBefore;
  if (!bInPlay) {
    state.SkipWithError("the level ended while it was timed");
  } else if (uiPresents != state.iterations()) {
    state.SkipWithError(("frames presented: " + std::to_string(uiPresents) + " of " +
                         std::to_string(state.iterations())).c_str());
  } else if (D3D9TestGLErrorCount(pDevice) != 0) {
    state.SkipWithError("OpenGL errors while drawing");
  }
  state.counters["entities"] = static_cast<double>(uiEntities) / static_cast<double>(state.iterations());
  reportAgainstRefresh(state);
}

// The least a frame can cost: a 480 x 270 texture drawn over a 1920 x 1080 window by one quad (point sampling, no
// blending, no clear since the quad covers everything) and the swap.
void runPlainQuadFrames(benchmark::State& state) {
  useDisplayOrOffscreen();
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    state.SkipWithError(SDL_GetError());
    return;
  }
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_Window* pWindow = SDL_CreateWindow("quad", 0, 0, gc_iWIDTH, gc_iHEIGHT, SDL_WINDOW_OPENGL);
  SDL_GLContext context = pWindow != nullptr ? SDL_GL_CreateContext(pWindow) : nullptr;
  SD3D9GLFunctions gl;
  const char* pMissing = nullptr;
  if (context == nullptr || !D3D9LoadGLFunctions(&gl, &pMissing)) {
    state.SkipWithError(context == nullptr ? SDL_GetError() : pMissing);
    if (pWindow != nullptr) SDL_DestroyWindow(pWindow);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return;
  }
  SDL_GL_SetSwapInterval(0);
  const char* pVertex = R"(#version 330 core
out vec2 v_uv;
void main() {
  vec2 corner = vec2(gl_VertexID & 1, gl_VertexID >> 1);
  v_uv = vec2(corner.x, 1.0 - corner.y);
  gl_Position = vec4(corner * 2.0 - 1.0, 0.0, 1.0);
})";
  const char* pFragment = R"(#version 330 core
in vec2 v_uv;
out vec4 o_color;
uniform sampler2D u_texture;
void main() { o_color = texture(u_texture, v_uv); })";
  const GLuint program = gl.CreateProgram();
  for (const auto& [eKind, pSource] : {std::pair{GL_VERTEX_SHADER, pVertex}, std::pair{GL_FRAGMENT_SHADER, pFragment}}) {
    const GLuint shader = gl.CreateShader(eKind);
    gl.ShaderSource(shader, 1, &pSource, nullptr);
    gl.CompileShader(shader);
    gl.AttachShader(program, shader);
    gl.DeleteShader(shader);
  }
  gl.LinkProgram(program);
  gl.UseProgram(program);
  GLuint vao = 0;
  gl.GenVertexArrays(1, &vao);
  gl.BindVertexArray(vao);
  std::vector<uint32_t> texels(static_cast<size_t>(gc_iSCENE_WIDTH) * gc_iSCENE_HEIGHT);
  for (size_t i = 0; i < texels.size(); ++i) texels[i] = 0xFF000000u | static_cast<uint32_t>(i * 2654435761u >> 8);
  GLuint texture = 0;
  gl.GenTextures(1, &texture);
  gl.BindTexture(GL_TEXTURE_2D, texture);
  gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, gc_iSCENE_WIDTH, gc_iSCENE_HEIGHT, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                texels.data());
  gl.Viewport(0, 0, gc_iWIDTH, gc_iHEIGHT);
  for (auto _ : state) {
    gl.DrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    SDL_GL_SwapWindow(pWindow);
  }
  // The picture must hold the texture: the window's middle pixel comes from the texel under it.
  gl.DrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  uint32_t uiMiddle = 0;
  gl.ReadPixels(gc_iWIDTH / 2, gc_iHEIGHT / 2, 1, 1, GL_BGRA, GL_UNSIGNED_BYTE, &uiMiddle);
  const size_t uiTexel = static_cast<size_t>(gc_iSCENE_HEIGHT - 1 - gc_iSCENE_HEIGHT / 2) * gc_iSCENE_WIDTH +
                         gc_iSCENE_WIDTH / 2;
  if (gl.GetError() != GL_NO_ERROR) {
    state.SkipWithError("OpenGL errors while drawing");
  } else if (uiMiddle != texels[uiTexel]) {
    state.SkipWithError("the quad did not draw its texture");
  }
  reportAgainstRefresh(state);
  gl.DeleteTextures(1, &texture);
  gl.DeleteVertexArrays(1, &vao);
  gl.DeleteProgram(program);
  SDL_GL_DeleteContext(context);
  SDL_DestroyWindow(pWindow);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void BM_Baseline_FramePreLoadPlainCopy(benchmark::State& state) { runPlainQuadFrames(state); }
void BM_Baseline_FrameBloomCRT(benchmark::State& state) { runPlainQuadFrames(state); }
// On the main thread's CPU time, the plain frame's submission and swap.
void BM_Baseline_FrameActionLevel(benchmark::State& state) { runPlainQuadFrames(state); }

BENCHMARK(BM_Engine_StartUpToFrontEnd)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_StartUpToFrontEnd)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Engine_FramePreLoadPlainCopy)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_FramePreLoadPlainCopy)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Engine_FrameBloomCRT)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_FrameBloomCRT)->UseRealTime()->Unit(benchmark::kMillisecond);
// CPU time of the main thread (not the wall clock): what the frame costs the game's own thread.
BENCHMARK(BM_Engine_FrameActionLevel)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_FrameActionLevel)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
