// The test doubles of what each engine layer asks of the game, one per interface, shared by every suite, the
// benchmarks and the fuzz targets. Every program that links them (GameHooksDoubles.cpp, which needs no test
// framework) has them installed before main(), so engine code runs without a game; a test scripts a double's
// answers through its members and reads back what it recorded, and resets it in its fixture. Tests that run the
// real game in-process install the game's hooks (GameSpecificInstallHooks) and restore the doubles with
// KvTestInstallHookDoubles when they end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Corvane/GameModes/KvEngineGameHooks.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Program/KvProgramGameHooks.h"
#include "Corvane/Store/KvStoreGameHooks.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/System/KvSystemGameHooks.h"
#include "Corvane/UI/KvUIGameHooks.h"

// What an engine stop throws under the doubles (an assertion, a fatal error, a condition stop), so that a test
// fails with the report's text and a fuzz target can end an input where a stop is the expected answer. Derived
// from std::exception so that an unexpected stop shows its report.
struct KvStopped : std::exception {
  KvStopped(u32 uiStopAddress, std::string report) : uiAddress(uiStopAddress), message(std::move(report)) {}
  const char* what() const noexcept override { return message.c_str(); }
  u32 uiAddress;
  std::string message;  // the last-message buffer at the stop
};

// The doubles' stop; throws KvStopped.
void KvThrowingStopHook(u32 uiAddress);

// The system layer's game: no job rows unless set; a stop runs m_onStop, which throws KvStopped unless a test
// changed it (null: the real fault follows, see KV_REAL_STOP); a condition stop then runs m_onCondition (null: the
// fault follows).
class ClTestSystemHooks final : public ClSystemGameHooks {
 public:
  ClJobType* gameJobTypes(i32* piCount) override {
    *piCount = m_iNumJobTypes;
    return m_pJobTypes;
  }
  void stopping(u32 uiStopAddress) override {
    if (m_onStop) m_onStop(uiStopAddress);
  }
  void endForCondition(E_KV_STOP_CAUSE eCause) override {
    if (m_onCondition) m_onCondition(eCause);
  }

  ClJobType* m_pJobTypes = nullptr;
  i32 m_iNumJobTypes = 0;
  std::function<void(u32)> m_onStop;
  std::function<void(E_KV_STOP_CAUSE)> m_onCondition;
};

// The input manager's game: makes no mappers unless m_createMappers is set; counts the pad tester's calls.
class ClTestInputHooks final : public ClInputGameHooks {
 public:
  void createGameInputMappers() override {
    if (m_createMappers) m_createMappers();
  }
  void initPadMonkey() override { ++m_iPadMonkeyInits; }
  void tickPadMonkey() override { ++m_iPadMonkeyTicks; }
  void reset() { *this = ClTestInputHooks{}; }

  std::function<void()> m_createMappers;
  i32 m_iPadMonkeyInits = 0;
  i32 m_iPadMonkeyTicks = 0;
};

// The graphics side of the engine layer's game, one object for its four interfaces, answering as a program
// without a game does: no UI, not the action mode, the close allowed, the pointer following every move, a text's
// key as its text, nothing drawn, a start-up that cannot go on ending with the condition stop, and counting the
// sound sources the bank loader reports. Suites derive from it to script the frame or record the window's questions
// (Tests/Support/GraphicsTestSupport.h) and install theirs with KvTestSetGraphicsHooks.
class ClTestGraphicsHooks : public ClWindowGameHooks,
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
                         u32 /*bSucceeded*/, u64 /*uiBytes*/) override {
    ++m_iSoundSourcesLoaded;
  }
  bool hasUITextureBeenLoaded(const char* /*pName*/) override { return false; }
  void renderAspectFitQuad(const SRenderSignature* /*pSignature*/, u32 /*uiColor*/, f32 /*fX*/, f32 /*fY*/,
                           f32 /*fWidth*/, f32 /*fHeight*/) override {}
  void releaseUIDeviceObjects() override {}
  void createUIDeviceObjects() override {}

  i32 m_iSoundSourcesLoaded = 0;
};

// Installs the given objects (not owned) as the window, video, frame and UI-render hooks; null: the default double.
void KvTestSetGraphicsHooksOf(ClWindowGameHooks* pWindow, ClVideoPlayerHooks* pVideo, ClFrameGameHooks* pFrame,
                              ClUIRenderHooks* pUIRender);
// One object answering all four (a ClTestGraphicsHooks, or the game's own graphics hooks); null: the default.
template <typename THooks>
void KvTestSetGraphicsHooks(THooks* pHooks) {
  KvTestSetGraphicsHooksOf(pHooks, pHooks, pHooks, pHooks);
}
inline void KvTestSetGraphicsHooks(std::nullptr_t) { KvTestSetGraphicsHooksOf(nullptr, nullptr, nullptr, nullptr); }

// The UI layer's game: counts the registrations and runs m_register (null: registers nothing). Suites with
// procedure groups of their own derive from it; KvTestSetUIHooks installs one (null: this double).
class ClTestUIHooks : public ClUIHooks {
 public:
  void registerGameUIFunctions() override {
    ++m_iRegistrations;
    if (m_register) m_register();
  }
  void reset() {
    m_register = nullptr;
    m_iRegistrations = 0;
  }

  std::function<void()> m_register;
  i32 m_iRegistrations = 0;
};

ClTestUIHooks& KvTestUIHooks();
void KvTestSetUIHooks(ClUIHooks* pHooks);

// The store layer's game: counts the loads and saves asked for; each does what m_autoLoad / m_autoSave do
// (null: nothing) and answers 1 unless they say otherwise.
class ClTestSaveHooks final : public ClSaveGameHooks {
 public:
  i32 autoLoad() override {
    ++m_iLoads;
    return m_autoLoad ? m_autoLoad() : 1;
  }
  i32 autoSave() override {
    ++m_iSaves;
    return m_autoSave ? m_autoSave() : 1;
  }
  void reset() { *this = ClTestSaveHooks{}; }

  std::function<i32()> m_autoLoad;
  std::function<i32()> m_autoSave;
  i32 m_iLoads = 0;
  i32 m_iSaves = 0;
};

// The program body's game: by default an idle game that starts, keeps running and shuts down; records the
// calls ("startUp", "frame", "shutDown") and the frame times.
class ClTestProgramHooks final : public ClProgramGameHooks {
 public:
  i32 startUp() override;
  u32 tickFrame(f32 fDT) override;
  i32 shutDown() override;
  const SCommandParameterDefinition* commandDefinitions(i32* piCount) override;
  bool isHelpRequested() override { return false; }
  void printHelp(std::FILE* /*pOut*/) override {}
  const char* gameName() override { return "Test"; }

  // Back to the idle game with nothing recorded.
  void reset();

  std::function<i32()> m_startUp;           // null: starts
  std::function<u32(f32)> m_tickFrame;     // null: keeps running
  const SCommandParameterDefinition* m_pDefinitions = nullptr;
  i32 m_iNumDefinitions = 0;
  std::vector<std::string> m_calls;
  std::vector<f32> m_frameTimes;
};

ClTestSystemHooks& KvTestSystemHooks();
ClTestProgramHooks& KvTestProgramHooks();
ClTestInputHooks& KvTestInputHooks();
ClTestSaveHooks& KvTestSaveHooks();

// Installs every double: done when the program starts, and again after a test that installed the game's hooks.
void KvTestInstallHookDoubles();
