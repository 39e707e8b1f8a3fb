// Fuzz targets run the engine without the game: every target includes this header, which installs, before the
// target runs, answers for what the engine and store layers ask of the game (no mappers, no pad tester, no UI,
// sound, video or frame of a game, nothing saved), as a game that has none of them would give. The UI's
// procedures and the stop are each target's own (FuzzSystemHooks.h).
#pragma once

#include <cstdint>

#include "Corvane/GameModes/KvEngineGameHooks.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Store/KvStoreGameHooks.h"
#include "Corvane/System/KvDebug.h"

class ClFuzzGameHooks final : public ClInputGameHooks,
                              public ClWindowGameHooks,
                              public ClVideoPlayerHooks,
                              public ClFrameGameHooks,
                              public ClUIRenderHooks,
                              public ClSaveGameHooks {
 public:
  void createGameInputMappers() override {}
  void initPadMonkey() override {}
  void tickPadMonkey() override {}
  bool isUIInitialized() override { return false; }
  bool isActionModeCurrent() override { return false; }
  void resumeAllCues() override {}
  i32 allowQuit() override { return 0; }
  void focusPause() override {}
  void mouseMoved(std::intptr_t lParam) override {
    ClGraphics::mp_vWMMousePosition = {static_cast<f32>(static_cast<i16>(lParam & 0xFFFF)),
                                       static_cast<f32>(static_cast<i16>((lParam >> 16) & 0xFFFF))};
  }
  void mouseLeft() override {}
  const char* localizedText(const char* pKey) override { return pKey; }
  [[noreturn]] void abortProgram() override { KvStopForCondition(E_KV_STOP_CAUSE_START_UP); }
  void videoWindowMoved() override {}
  void videoDisplayChanged() override {}
  void videoRepaint(HWND__* /*hWnd*/, HDC__* /*hDC*/) override {}
  void videoGraphEvent() override {}
  void buildResolutionList() override {}
  void pickWidescreenMode(u32* /*puiWidth*/, u32* /*puiHeight*/) override {}
  void blackFrame() override {}
  void renderFrame() override {}
  void discardFrame() override {}
  void frameDropped() override {}
  void platformLostFocus() override {}
  void platformRegainedFocus() override {}
  void loadShaders() override {}
  bool hasUITextureBeenLoaded(const char* /*pName*/) override { return false; }
  void renderAspectFitQuad(const SRenderSignature* /*pSignature*/, u32 /*uiColor*/, f32 /*fX*/, f32 /*fY*/,
                           f32 /*fWidth*/, f32 /*fHeight*/) override {}
  void releaseUIDeviceObjects() override {}
  void createUIDeviceObjects() override {}
  i32 autoLoad() override { return 1; }
  i32 autoSave() override { return 1; }
};

inline bool KvFuzzInstallGameHooks() {
  static ClFuzzGameHooks s_hooks;
  SKvEngineGameHooks engineHooks;
  engineHooks.pInput = &s_hooks;
  engineHooks.pWindow = &s_hooks;
  engineHooks.pVideo = &s_hooks;
  engineHooks.pFrame = &s_hooks;
  engineHooks.pUIRender = &s_hooks;
  KvSetEngineGameHooks(engineHooks);
  KvSetStoreGameHooks(s_hooks);
  return true;
}

inline const bool g_bFuzzGameHooksInstalled = KvFuzzInstallGameHooks();
