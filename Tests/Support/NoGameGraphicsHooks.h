// What a program without a game answers to the engine layer's graphics-side questions: no UI, not the action
// mode, the close allowed, the pointer following every move, a text's key as its text, nothing drawn, and a
// start-up that cannot go on ends with the condition stop. Header-only, so that the tests' doubles and the fuzz
// targets (which link no test support) share it.
#pragma once

#include <cstdint>

#include "Corvane/GameModes/KvEngineGameHooks.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/System/KvDebug.h"

class ClNoGameGraphicsHooks : public ClWindowGameHooks,
                              public ClVideoPlayerHooks,
                              public ClFrameGameHooks,
                              public ClUIRenderHooks {
 public:
  bool isUIInitialized() override { return false; }
  bool isActionModeCurrent() override { return false; }
  void resumeAllCues() override {}
  i32 allowQuit() override { return 0; }
  void focusPause() override {}
  void mouseMoved(std::intptr_t lParam) override {
    // The signed low and high words of the message's argument, as the window system packs them.
    ClGraphics::setWMMousePosition({static_cast<f32>(static_cast<i16>(lParam & 0xFFFF)),
                                    static_cast<f32>(static_cast<i16>((lParam >> 16) & 0xFFFF))});
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
  void soundSourceLoaded(const SPrerenderedCue* /*pCue*/, u32 /*bFromArchive*/, u32 /*bResident*/,
                         u32 /*bSucceeded*/, u64 /*uiBytes*/) override {}
  bool hasUITextureBeenLoaded(const char* /*pName*/) override { return false; }
  void renderAspectFitQuad(const SRenderSignature* /*pSignature*/, u32 /*uiColor*/, f32 /*fX*/, f32 /*fY*/,
                           f32 /*fWidth*/, f32 /*fHeight*/) override {}
  void releaseUIDeviceObjects() override {}
  void createUIDeviceObjects() override {}
};
