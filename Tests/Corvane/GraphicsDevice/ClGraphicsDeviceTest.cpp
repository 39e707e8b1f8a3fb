#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "Corvane/Camera/ClTVChannel.h"
#include "Corvane/Development/ClCommandParameters.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Graphics/ClDrawPrimitive.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/System/ClClock.h"
#include "Platform/D3D9/D3D9.h"
#include "Platform/Win32/Win32.h"
#include "Tests/Support/GraphicsTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

DWORD backBufferPixel(UINT x, UINT y) {
  UINT uiW = 0;
  UINT uiH = 0;
  const std::vector<DWORD> pixels = D3D9TestReadBackBuffer(ClGraphics::mp_pDevice, &uiW, &uiH);
  return pixels.at(static_cast<size_t>(y) * uiW + x) | 0xFF000000u;
}

struct SMessageBox {
  std::string text;
  std::string caption;
};

class GraphicsDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    Win32SetMessageBoxHook([this](LPCSTR pText, LPCSTR pCaption, UINT) {
      m_boxes.push_back({pText, pCaption});
      return 1;
    });
  }
  void TearDown() override {
    if (ClGraphics::mp_pDevice != nullptr) {
      EXPECT_EQ(D3D9TestGLErrorCount(ClGraphics::mp_pDevice), 0u);
    }
    KvTestStopGraphics();
    Win32SetMessageBoxHook(nullptr);
    ClCommandParameters::shutdown();
  }
  CTestGraphicsHooks m_hooks;
  std::vector<SMessageBox> m_boxes;
};

// --- Display modes (an injected adapter list, no device) ---

class DisplayModes : public ::testing::Test {
 protected:
  void SetUp() override {
    D3D9TestReset();
    ClGraphics::mp_pD3D = Direct3DCreate9(D3D_SDK_VERSION);
    ClGraphics::mp_iDesktopWidth = 1920;
    ClGraphics::mp_iDesktopHeight = 1080;
  }
  void TearDown() override {
    ClGraphics::mp_pD3D->Release();
    ClGraphics::mp_pD3D = nullptr;
    if (ClGraphics::mp_displayModes.isInitialized()) ClGraphics::mp_displayModes.terminate();
    if (ClGraphics::mp_resolutionList.isInitialized()) ClGraphics::mp_resolutionList.terminate();
    D3D9TestReset();
  }
  static void useModes(const std::vector<std::pair<D3DFORMAT, D3DDISPLAYMODE>>& modes) {
    D3D9TestSetAdapterModes(modes);
    ClGraphics::buildDisplayModeList();
  }
  static std::vector<std::string> listed() {
    std::vector<std::string> out;
    for (i32 i = 0; i < ClGraphics::mp_displayModes.getCount(); ++i) {
      const DisplayMode& m = ClGraphics::mp_displayModes[i];
      out.push_back(std::to_string(m.m_uiWidth) + "x" + std::to_string(m.m_uiHeight) + "@" +
                    std::to_string(m.m_uiRefreshRate) + "/" + std::to_string(m.m_iBits));
    }
    return out;
  }
};

TEST_F(DisplayModes, FilterKeepsWhatFitsTheDesktopAndIsNotPortrait) {
  useModes({{D3DFMT_X8R8G8B8, {1920, 1080, 60, D3DFMT_X8R8G8B8}},
            {D3DFMT_X8R8G8B8, {1921, 1080, 60, D3DFMT_X8R8G8B8}},
            {D3DFMT_X8R8G8B8, {1920, 1081, 60, D3DFMT_X8R8G8B8}},
            {D3DFMT_X8R8G8B8, {1024, 1024, 60, D3DFMT_X8R8G8B8}},
            {D3DFMT_X8R8G8B8, {768, 1024, 60, D3DFMT_X8R8G8B8}},
            {D3DFMT_R5G6B5, {800, 600, 60, D3DFMT_R5G6B5}}});
  // Enumeration order follows the format table: R5G6B5 (row 2) before X8R8G8B8 (row 4).
  const std::vector<std::string> expected = {"800x600@60/16", "1920x1080@60/32", "1024x1024@60/32"};
  EXPECT_EQ(listed(), expected);
  EXPECT_EQ(ClGraphics::mp_bestDisplayMode.m_uiHeight, 1080u);
}

TEST_F(DisplayModes, BestModeIsTheTallest32BitOneTheLastOfEqualHeightsWinning) {
  useModes({{D3DFMT_A8R8G8B8, {1280, 720, 75, D3DFMT_A8R8G8B8}},
            {D3DFMT_R5G6B5, {1600, 900, 60, D3DFMT_R5G6B5}},
            {D3DFMT_X8R8G8B8, {1152, 720, 60, D3DFMT_X8R8G8B8}}});
  EXPECT_EQ(ClGraphics::mp_bestDisplayMode.m_uiWidth, 1152u) << "16-bit modes never become the best";
  EXPECT_EQ(ClGraphics::mp_bestDisplayMode.m_eAdapterFormat, static_cast<u32>(D3DFMT_X8R8G8B8));
}

TEST_F(DisplayModes, FindTakesTheHighestRefreshAndTheFirstOfEqualRates) {
  useModes({{D3DFMT_A8R8G8B8, {1280, 720, 60, D3DFMT_A8R8G8B8}},
            {D3DFMT_X8R8G8B8, {1280, 720, 75, D3DFMT_X8R8G8B8}},
            {D3DFMT_X8R8G8B8, {1280, 720, 75, D3DFMT_X8R8G8B8}},
            {D3DFMT_X8R8G8B8, {1024, 768, 0, D3DFMT_X8R8G8B8}},
            {D3DFMT_R5G6B5, {800, 600, 60, D3DFMT_R5G6B5}}});
  DisplayMode mode32{};
  DisplayMode mode16{};
  ASSERT_TRUE(ClGraphics::findDisplayMode(1280, 720, &mode32, &mode16));
  EXPECT_EQ(mode32.m_uiRefreshRate, 75u);
  EXPECT_EQ(mode32.m_eAdapterFormat, static_cast<u32>(D3DFMT_X8R8G8B8));
  DisplayMode first{};
  useModes({{D3DFMT_A8R8G8B8, {1280, 720, 60, D3DFMT_A8R8G8B8}}, {D3DFMT_X8R8G8B8, {1280, 720, 60, D3DFMT_X8R8G8B8}}});
  ASSERT_TRUE(ClGraphics::findDisplayMode(1280, 720, &first, nullptr));
  EXPECT_EQ(first.m_eAdapterFormat, static_cast<u32>(D3DFMT_A8R8G8B8)) << "the first of equal rates";
  useModes({{D3DFMT_X8R8G8B8, {1024, 768, 0, D3DFMT_X8R8G8B8}}});
  EXPECT_FALSE(ClGraphics::findDisplayMode(1024, 768, nullptr, nullptr)) << "a refresh rate of 0 never matches";
  useModes({{D3DFMT_R5G6B5, {800, 600, 60, D3DFMT_R5G6B5}}});
  EXPECT_TRUE(ClGraphics::findDisplayMode(800, 600, nullptr, &mode16)) << "a 16-bit size counts as found";
}

TEST_F(DisplayModes, AspectClassesAndTheResolutionListSortedTallestFirst) {
  EXPECT_EQ(ClGraphics::getAspectClass(2560, 1080), 0);
  EXPECT_EQ(ClGraphics::getAspectClass(1920, 1080), 1);
  EXPECT_EQ(ClGraphics::getAspectClass(1680, 1050), 2);
  EXPECT_EQ(ClGraphics::getAspectClass(720, 480), 3);
  EXPECT_EQ(ClGraphics::getAspectClass(1024, 768), 4);
  EXPECT_EQ(ClGraphics::getAspectClass(1280, 1024), 6);
  ClGraphics::mp_resolutionList.initialize(8);
  // Sizes of one height come widest first.
  const u32 aauiSizes[][2] = {{800, 600}, {1440, 1080}, {960, 720}, {1024, 768}, {1280, 720}, {1152, 720}, {1920, 1080}};
  for (const auto& auiSize : aauiSizes) {
    ClGraphics::mp_resolutionList.append(DisplayMode{auiSize[0], auiSize[1], 60, 22, 22, 32, 4});
  }
  ClGraphics::sortResolutionList();
  std::vector<u32> sizes;
  for (i32 i = 0; i < ClGraphics::mp_resolutionList.getCount(); ++i) {
    sizes.push_back(ClGraphics::mp_resolutionList[i].m_uiWidth * 10000 + ClGraphics::mp_resolutionList[i].m_uiHeight);
  }
  EXPECT_EQ(sizes, (std::vector<u32>{19201080, 14401080, 10240768, 12800720, 11520720, 9600720, 8000600}));
  EXPECT_TRUE(ClGraphics::isDisplayModeAvailable(1024, 768));
  EXPECT_FALSE(ClGraphics::isDisplayModeAvailable(1024, 767));
}

// Forced resolution codes from the settings, the options and the command line.
TEST_F(DisplayModes, ForcedCodesSetTheSizeAndTheFlag) {
  useModes({{D3DFMT_X8R8G8B8, {1440, 900, 60, D3DFMT_X8R8G8B8}}});
  ClGraphics::initializeGraphicsOptions();
  *ClGraphics::accessGraphicsOption("FULLSCREEN") = 0;
  ClDevINI::initialize();
  auto force = [](const std::string& settings, u32* puiW, u32* puiH) {
    ClDevINI::terminate();
    ClDevINI::initialize();
    ClDevINI::loadFromBuffer(settings.data(), settings.size(), "project.ini");
    *puiW = 111;
    *puiH = 222;
    ClGraphics::mp_bForcedResolution = 0;
    ClGraphics::applyForcedResolution(puiW, puiH);
  };
  u32 uiW = 0;
  u32 uiH = 0;
  force("RESOLUTION 456\n", &uiW, &uiH);
  EXPECT_EQ(uiW, 608u);
  EXPECT_EQ(uiH, 456u);
  EXPECT_EQ(ClGraphics::mp_bForcedResolution, 1u) << "a window takes a forced size the adapter lacks";
  force("RESOLUTION 456\nEMULATE_WIDE_SCREEN 1\n", &uiW, &uiH);
  EXPECT_EQ(uiW, 832u);
  force("RESOLUTION 9001\n", &uiW, &uiH);
  EXPECT_EQ(uiW, 1440u);
  EXPECT_EQ(uiH, 900u);
  force("RESOLUTION 1366\n", &uiW, &uiH);
  EXPECT_EQ(uiW, 111u) << "an unknown code changes nothing";
  EXPECT_EQ(ClGraphics::mp_bForcedResolution, 0u) << "and clears the flag";
  *ClGraphics::accessGraphicsOption("FORCED_RESOLUTION") = 720;
  force("", &uiW, &uiH);
  EXPECT_EQ(uiH, 720u) << "the option is used when nothing else gives a code";
  *ClGraphics::accessGraphicsOption("FULLSCREEN") = 1;
  force("", &uiW, &uiH);
  EXPECT_EQ(ClGraphics::mp_bForcedResolution, 0u) << "full screen forgets a size the adapter lacks";

  // "-resolution": only the listed values replace the settings' code.
  static const SCommandParameterDefinition definitions[] = {{"-resolution", 1, {0, 0, 0}, E_COMMAND_ARG_INT, 0}};
  for (const char* pArgument : {"1366", "1440"}) {
    ClCommandParameters::initialize();
    ClCommandParameters::setDefinitions(definitions, 1);
    const char* apArgs[] = {"grindlow", "-resolution", pArgument};
    ASSERT_TRUE(ClCommandParameters::parse(3, apArgs));
    *ClGraphics::accessGraphicsOption("FULLSCREEN") = 0;
    force("RESOLUTION 600\n", &uiW, &uiH);
    EXPECT_EQ(uiW, std::string(pArgument) == "1440" ? 2560u : 800u) << pArgument;
    ClCommandParameters::shutdown();
  }
  ClDevINI::terminate();
  ClGraphics::terminateGraphicsOptions();
}

// --- Start-up, settings and failures ---

TEST_F(GraphicsDevice, StartUpMakesTheWindowDeviceAndWorkerAtTheOptionsSize) {
  KvTestStartGraphics(&m_hooks);
  ASSERT_NE(ClGraphics::mp_pDevice, nullptr);
  EXPECT_EQ(ClGraphics::mp_bReady.load(), 1u);
  EXPECT_EQ(ClGraphics::mp_fScreenWidth, 320.0f);
  EXPECT_EQ(ClGraphics::mp_fScreenHeight, 240.0f);
  EXPECT_EQ(ClGraphics::mp_eDepthStencilFormat, static_cast<u32>(D3DFMT_D32));
  EXPECT_EQ(ClGraphics::mp_eDepthTextureFormat, static_cast<u32>(D3DFMT_D32));
  EXPECT_EQ(ClGraphics::mp_presentParams.PresentationInterval, D3DPRESENT_INTERVAL_IMMEDIATE);
  EXPECT_EQ(ClGraphics::getMatrixStackDepth(E_MATRIX_STACK_WORLD), 1);
  EXPECT_NE(g_aTVChannels[0].m_pFinalCameraObj, nullptr);
  RECT client{};
  GetClientRect(ClGraphics::mp_hWnd, &client);
  EXPECT_EQ(client.right, 320);
  EXPECT_EQ(client.bottom, 240);
  char szTitle[64] = {};
  GetWindowTextA(ClGraphics::mp_hWnd, szTitle, sizeof(szTitle));
  EXPECT_STREQ(szTitle, "Grindlow");
}

TEST_F(GraphicsDevice, SettingsChooseStencilAndVsync) {
  KvTestPrepareGraphics(&m_hooks, "USE_STENCIL 1\nNOVSYNC 0\n");
  ClGraphics::initialize();
  EXPECT_EQ(ClGraphics::mp_eDepthStencilFormat, static_cast<u32>(D3DFMT_D24S8));
  EXPECT_EQ(ClGraphics::mp_presentParams.PresentationInterval, D3DPRESENT_INTERVAL_ONE)
      << "NOVSYNC 0 turns sync on although the option is off";
  KvTestStopGraphics();
  KvTestPrepareGraphics(&m_hooks, "USE_STENCIL 2\nNOVSYNC 1\n", true);
  ClGraphics::initialize();
  EXPECT_EQ(ClGraphics::mp_eDepthStencilFormat, static_cast<u32>(D3DFMT_D32)) << "USE_STENCIL 2 is as absent";
  EXPECT_EQ(ClGraphics::mp_presentParams.PresentationInterval, D3DPRESENT_INTERVAL_IMMEDIATE);
}

TEST_F(GraphicsDevice, FsaaStopsWithItsFatalError) {
  KvTestPrepareGraphics(&m_hooks, "FSAA 4\n");
  EXPECT_KV_FATAL(ClGraphics::initialize(), "Implement proper FSAA mode detection");
}

// Each failure row shows its message box (text and title keys) and stops the way the row says.
TEST_F(GraphicsDevice, EveryFailureShowsItsMessageKeys) {
  struct SRow {
    const char* pName;
    SD3D9Faults faults;
    const char* pText;
    const char* pTitle;
    const char* pFatal;  // null: the row aborts
  };
  auto faults = [](auto set) {
    SD3D9Faults f;
    set(f);
    return f;
  };
  const SRow rows[] = {
      {"create", faults([](SD3D9Faults& f) { f.bCreate = true; }), "MB_DIRECTX_COULD_NOT_INIT",
       "MB_DIRECTX_ISSUE_TITLE", "Could not initialize DirectX"},
      {"nodepth", faults([](SD3D9Faults& f) { f.bNoDepth = true; }), "MB_DIRECTX_ISSUE_FEW_SUGGESTIONS",
       "MB_DIRECTX_ERROR_TITLE", "No suitable depth buffer format found!"},
      {"createdevice", faults([](SD3D9Faults& f) { f.bCreateDevice = true; }), "MB_DIRECTX_ISSUE_FEW_SUGGESTIONS",
       "MB_DIRECTX_ERROR_TITLE", "D3DERR_NOTAVAILABLE: "},
      {"noshader3", faults([](SD3D9Faults& f) { f.bNoShader3 = true; }), "MB_DIRECTX_HARDWARE_NOT_SHADER_3_0",
       "MB_DIRECTX_HARDWARE_ISSUE_TITLE", nullptr},
      {"norendertarget", faults([](SD3D9Faults& f) { f.bNoRenderTarget = true; }),
       "MB_DIRECTX_CREATE_RT_FAILED [D3DERR_NOTAVAILABLE: ", "MB_DIRECTX_ERROR_TITLE", nullptr},
      {"nodepthsurface", faults([](SD3D9Faults& f) { f.bNoDepthSurface = true; }),
       "MB_DIRECTX_CREATE_STENCIL_SURFACE_FAILED [D3DERR_NOTFOUND: ", "MB_DIRECTX_ERROR_TITLE", nullptr},
  };
  for (const SRow& row : rows) {
    SCOPED_TRACE(row.pName);
    m_boxes.clear();
    KvTestPrepareGraphics(&m_hooks, "");
    D3D9TestSetFaults(row.faults);
    bool bAborted = false;
    if (row.pFatal != nullptr) {
      EXPECT_KV_FATAL(ClGraphics::initialize(), row.pFatal);
    } else {
      try {
        ClGraphics::initialize();
      } catch (const KvTestAborted&) {
        bAborted = true;
      }
      EXPECT_TRUE(bAborted);
      EXPECT_EQ(ClGraphics::mp_pDevice, nullptr) << "the device is released before the box";
      EXPECT_EQ(ClGraphics::mp_hWnd, nullptr) << "the window is destroyed";
    }
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text.rfind(row.pText, 0), 0u) << m_boxes[0].text;
    EXPECT_EQ(m_boxes[0].caption, row.pTitle);
    KvTestStopGraphics();
  }
  // No resolution at all: the device cannot be made.
  m_boxes.clear();
  CTestGraphicsHooks noModes;
  KvTestPrepareGraphics(&noModes, "");
  D3D9TestSetAdapterModes({{D3DFMT_R5G6B5, {320, 240, 60, D3DFMT_R5G6B5}}});
  EXPECT_THROW(ClGraphics::initialize(), KvTestAborted);
  ASSERT_EQ(m_boxes.size(), 1u);
  EXPECT_EQ(m_boxes[0].text, "MB_DIRECTX_COULD_NOT_CREATE_D3D_DEVICE");
  EXPECT_EQ(m_boxes[0].caption, "MB_DIRECTX_ISSUE_TITLE");
  // Shutting down calls the installed hooks: stop while this test's own are still alive.
  KvTestStopGraphics();
}

// --- The worker and the hand-over ---

TEST_F(GraphicsDevice, LockstepFramesFlipTheBufferIndexAndDrawOnTheWorker) {
  KvTestStartGraphics(&m_hooks);
  EXPECT_EQ(ClGraphics::getCurCPUBuffer(), 0);
  ClGraphics::endFrame();
  EXPECT_EQ(m_hooks.m_iRendered.load(), 1);
  EXPECT_EQ(m_hooks.m_iBufferSeen, 1) << "the index flips before the worker starts";
  EXPECT_EQ(backBufferPixel(0, 0), m_hooks.m_uiColor);
  ClGraphics::endFrame();
  EXPECT_EQ(m_hooks.m_iBufferSeen, 0);
  EXPECT_EQ(m_hooks.m_iRendered.load(), 2);

  // Not ready: the main thread neither signals nor waits.
  ClGraphics::mp_bReady = 0;
  ClGraphics::endFrame();
  EXPECT_EQ(m_hooks.m_iRendered.load(), 2);
  EXPECT_EQ(ClGraphics::getCurCPUBuffer(), 0);

  // A start signal while not ready: the worker discards and still signals completion.
  ResetEvent(ClGraphics::mp_hFrameCompleteEvent);
  SetEvent(ClGraphics::mp_hStartFrameEvent);
  EXPECT_EQ(WaitForSingleObject(ClGraphics::mp_hFrameCompleteEvent, 5000), WAIT_OBJECT_0);
  ResetEvent(ClGraphics::mp_hFrameCompleteEvent);
  EXPECT_EQ(m_hooks.m_iDiscarded.load(), 1);
  ClGraphics::mp_bReady = 1;

  // Shut-down while the worker waits: one start signal is enough.
  ClGraphics::terminate();
  EXPECT_EQ(ClGraphics::mp_bRenderWorkerExited.load(), 1u);
  EXPECT_EQ(m_hooks.m_iRendered.load(), 2) << "the worker left without drawing";
}

TEST_F(GraphicsDevice, DebugPrimitivesMoveToTheRenderSideAndAreFreedAfterTheFrame) {
  KvTestStartGraphics(&m_hooks);
  const u8 bytes[160] = {7};
  ClDrawPrimitive::queue(9, bytes);
  EXPECT_EQ(ClDrawPrimitive::getPendingCount(9), 1);
  m_hooks.m_pfnDraw = [] { EXPECT_EQ(ClDrawPrimitive::getRenderedCount(9), 1); };
  ClGraphics::endFrame();
  EXPECT_EQ(ClDrawPrimitive::getPendingCount(9), 0);
  EXPECT_EQ(ClDrawPrimitive::getRenderedCount(9), 0);
  ClDrawPrimitive::queue(9, bytes);
  EXPECT_KV_FATAL(ClDrawPrimitive::queue(9, bytes), "Pool alloc failed");
  ClDrawPrimitive::flushPending();
  ClDrawPrimitive::freeRendered();
}

// --- Lost device ---

TEST_F(GraphicsDevice, LossReleasesWaitsResetsRetriesAndRestoresInOrder) {
  KvTestStartGraphics(&m_hooks);
  SD3D9Faults faults;
  faults.uiLostPolls = 2;
  faults.uiResetFailures = 1;
  D3D9TestSetFaults(faults);
  m_hooks.m_bTrace = true;

  D3D9TestLoseDevice(ClGraphics::mp_pDevice);
  ClGraphics::endFrame();
  EXPECT_EQ(ClGraphics::mp_bReady.load(), 0u);
  EXPECT_EQ(ClGraphics::mp_bDeviceLost.load(), 1u);
  EXPECT_EQ(ClDrawPrimitive::mp_pSphereVB, nullptr);
  EXPECT_EQ(ClGraphics::mp_pBackBufferSurface, nullptr);
  EXPECT_EQ(D3D9TestLiveDefaultPoolResources(ClGraphics::mp_pDevice), 0u) << "every default-pool object released";

  // Still lost twice: 30 ms each, no Reset.
  for (int i = 0; i < 2; ++i) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ClGraphics::handleLostDevice(), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(29));
  }
  // Not reset: the first Reset fails and is tried again the next frame.
  EXPECT_EQ(ClGraphics::handleLostDevice(), 0);
  EXPECT_EQ(ClGraphics::mp_bDeviceLost.load(), 1u);
  EXPECT_EQ(ClGraphics::handleLostDevice(), 1);
  EXPECT_EQ(ClGraphics::mp_bReady.load(), 1u);
  ASSERT_NE(ClDrawPrimitive::mp_pSphereVB, nullptr);
  D3DVERTEXBUFFER_DESC desc{};
  ClDrawPrimitive::mp_pSphereVB->GetDesc(&desc);
  EXPECT_EQ(desc.Size, static_cast<UINT>(gc_iDEBUG_SPHERE_VERTICES * sizeof(SDebugVertex)));
  EXPECT_NE(ClDrawPrimitive::mp_pArrowheadIB, nullptr);

  m_hooks.m_uiColor = 0xFF10E020u;
  ClGraphics::endFrame();
  EXPECT_EQ(backBufferPixel(5, 5), 0xFF10E020u) << "the next frame draws normally";
  EXPECT_EQ(m_hooks.m_trace, (std::vector<std::string>{"render", "lostFocus", "regainedFocus", "render"}));
}

TEST_F(GraphicsDevice, AnotherPresentErrorIsNotALoss) {
  KvTestStartGraphics(&m_hooks);
  m_hooks.m_hrForcedPresent = D3DERR_DRIVERINTERNALERROR;
  ClGraphics::endFrame();
  EXPECT_EQ(ClGraphics::mp_bReady.load(), 1u);
  EXPECT_EQ(ClGraphics::mp_bDeviceLost.load(), 0u);
}

// A Reset that succeeds while the objects cannot be restored keeps graphics not ready and retries the restore
// (never the Reset); repeated failures stop the program.
TEST_F(GraphicsDevice, FailedRestoreStaysNotReadyRetriesAndFinallyStops) {
  KvTestStartGraphics(&m_hooks);
  D3D9TestLoseDevice(ClGraphics::mp_pDevice);
  ClGraphics::endFrame();
  SD3D9Faults faults;
  faults.bNoDepthSurface = true;
  D3D9TestSetFaults(faults);
  EXPECT_EQ(ClGraphics::handleLostDevice(), 0) << "Reset went through, the restore did not";
  EXPECT_EQ(ClGraphics::mp_bRestorePending, 1u);
  EXPECT_EQ(ClGraphics::mp_pBackBufferSurface, nullptr) << "nothing half taken";
  const i32 iRendered = m_hooks.m_iRendered.load();
  ClGraphics::endFrame();
  EXPECT_EQ(m_hooks.m_iRendered.load(), iRendered) << "no frame is drawn with missing objects";
  D3D9TestSetFaults(SD3D9Faults{});
  EXPECT_EQ(ClGraphics::handleLostDevice(), 1);
  EXPECT_NE(ClDrawPrimitive::mp_pSphereVB, nullptr);

  D3D9TestLoseDevice(ClGraphics::mp_pDevice);
  ClGraphics::endFrame();
  D3D9TestSetFaults(faults);
  EXPECT_KV_FATAL(
      for (i32 i = 0; i <= gc_iMAX_RESTORE_ATTEMPTS; ++i) ClGraphics::handleLostDevice(),
      "Could not restore the device objects after a Reset");
  D3D9TestSetFaults(SD3D9Faults{});
}

// --- Matrix stacks on the device ---

TEST_F(GraphicsDevice, StacksReachTheDeviceTransposedAndAnEmptiedStackGivesTheIdentity) {
  KvTestStartGraphics(&m_hooks);
  kv_matrix M;
  M.m[0][3] = 5.0f;  // translation in the fourth column
  ClGraphics::pushMatrix(E_MATRIX_STACK_VIEW, M);
  D3DMATRIX view{};
  ClGraphics::mp_pDevice->GetTransform(D3DTS_VIEW, &view);
  EXPECT_EQ(view.m[3][0], 5.0f) << "Direct3D keeps the translation in the fourth row";
  ClGraphics::popMatrix(E_MATRIX_STACK_VIEW);
  ClGraphics::mp_pDevice->GetTransform(D3DTS_VIEW, &view);
  EXPECT_EQ(view.m[3][0], 0.0f);
  EXPECT_EQ(view.m[0][0], 1.0f);

  ClGraphics::pushOrthoOffCenter(10, 20, 110, 220, 0, 0, 100, 200, 0, 0);
  D3DVIEWPORT9 viewport{};
  ClGraphics::mp_pDevice->GetViewport(&viewport);
  EXPECT_EQ(viewport.X, 20u);
  EXPECT_EQ(viewport.Y, 10u);
  EXPECT_EQ(viewport.Width, 200u);
  EXPECT_EQ(viewport.Height, 100u);
  ClGraphics::popMatrix(E_MATRIX_STACK_VIEW);
  ClGraphics::popMatrix(E_MATRIX_STACK_PROJECTION);
}

// Geometry drawn through the stacks lands where the 2D projection says (pixel centres, top-left origin).
TEST_F(GraphicsDevice, TwoDimensionalPassPlacesPixelsThroughTheStacks) {
  KvTestStartGraphics(&m_hooks);
  m_hooks.m_uiColor = 0xFF000000u;
  m_hooks.m_pfnDraw = [] {
    IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
    struct SVertex {
      f32 x, y, z;
      DWORD color;
    };
    const SVertex quad[4] = {{100, 50, 0, 0xFFFF8000u}, {140, 50, 0, 0xFFFF8000u}, {100, 70, 0, 0xFFFF8000u},
                             {140, 70, 0, 0xFFFF8000u}};
    IDirect3DVertexBuffer9* pBuffer = nullptr;
    pDevice->CreateVertexBuffer(sizeof(quad), 0, 0, D3DPOOL_MANAGED, &pBuffer, nullptr);
    void* pData = nullptr;
    pBuffer->Lock(0, 0, &pData, 0);
    std::memcpy(pData, quad, sizeof(quad));
    pBuffer->Unlock();
    pDevice->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    pDevice->SetStreamSource(0, pBuffer, 0, sizeof(SVertex));
    pDevice->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    ClGraphics::pushOrtho2D(320.0f, 240.0f);
    pDevice->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    ClGraphics::popMatrix(E_MATRIX_STACK_VIEW);
    ClGraphics::popMatrix(E_MATRIX_STACK_PROJECTION);
    pDevice->SetStreamSource(0, nullptr, 0, 0);
    pBuffer->Release();
  };
  ClGraphics::endFrame();
  EXPECT_EQ(backBufferPixel(100, 50), 0xFFFF8000u);
  EXPECT_EQ(backBufferPixel(139, 69), 0xFFFF8000u);
  EXPECT_EQ(backBufferPixel(99, 50), 0xFF000000u);
  EXPECT_EQ(backBufferPixel(140, 69), 0xFF000000u);
  EXPECT_EQ(backBufferPixel(100, 49), 0xFF000000u);
  EXPECT_EQ(backBufferPixel(100, 70), 0xFF000000u);
}

}  // namespace
