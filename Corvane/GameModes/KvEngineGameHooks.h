// What the engine layer (data, game modes, input, graphics, cameras, video) asks of the game, one interface a
// concern. The
// game implements each interface and installs them together with KvSetEngineGameHooks from main(), before the
// engine starts; every answer is required. Some questions are the game's to route to the layers above the
// engine (the UI, the sound), which the engine layer may not call. Main thread unless a method says otherwise.
#pragma once

#include <cstdint>

#include "Corvane/System/KvTypes.h"

struct HWND__;
struct HDC__;
struct SRenderSignature;
struct SPrerenderedCue;

// The window procedure's questions: the UI and the sound behind the focus changes, the close veto, the pointer,
// the texts of message boxes, and the end of a start-up that cannot go on.
class ClWindowGameHooks {
 public:
  virtual ~ClWindowGameHooks() = default;
  // Whether the UI is initialised (a focus loss pauses the game only then).
  virtual bool isUIInitialized() = 0;
  // Whether the current game mode is the action mode, which keeps the sound paused on activation.
  virtual bool isActionModeCurrent() = 0;
  // Activation: the paused sound resumes.
  virtual void resumeAllCues() = 0;
  // The game's close decision (body of ClGraphics::gameSpecificAllowQuit): 0 lets the window close.
  virtual i32 allowQuit() = 0;
  // The game's reaction to losing the focus (body of gameSpecificFocusPause): pause the game and the sound.
  virtual void focusPause() = 0;
  // WM_MOUSEMOVE (body of gameSpecificMouseMoved; lParam as the message carries it: client x and y in its signed
  // low and high words) and WM_MOUSELEAVE (body of gameSpecificMouseLeft): the game decides whether the cursor
  // shows and what ClGraphics::mp_vWMMousePosition holds.
  virtual void mouseMoved(std::intptr_t lParam) = 0;
  virtual void mouseLeft() = 0;
  // Text of a string-table key for message boxes (8-bit; valid until the next call).
  virtual const char* localizedText(const char* pKey) = 0;
  // The abnormal termination of the device-creation failures that destroy the window.
  [[noreturn]] virtual void abortProgram() = 0;
};

// The full-screen video player's side of the window procedure.
class ClVideoPlayerHooks {
 public:
  virtual ~ClVideoPlayerHooks() = default;
  // WM_MOVE, and WM_SIZE after its own handling: the video follows the client rectangle.
  virtual void videoWindowMoved() = 0;
  // WM_DISPLAYCHANGE.
  virtual void videoDisplayChanged() = 0;
  // WM_PAINT, between BeginPaint and EndPaint, with the paint device context.
  virtual void videoRepaint(HWND__* hWnd, HDC__* hDC) = 0;
  // The graph's notification message (gc_uiGRAPH_NOTIFY_MESSAGE): the player's event handler.
  virtual void videoGraphEvent() = 0;
};

// The game's frame: its composition, the graphics manager's other gameSpecific steps, and the frames a long load
// keeps running.
class ClFrameGameHooks {
 public:
  virtual ~ClFrameGameHooks() = default;
  // Fills the resolution list from ClGraphics::mp_displayModes (ClGraphics::clearResolutionList,
  // ClGraphics::addToResolutionList).
  virtual void buildResolutionList() = 0;
  // Replaces the windowed start size (in: the chosen size).
  virtual void pickWidescreenMode(u32* puiWidth, u32* puiHeight) = 0;
  // Draws and presents one cleared frame during start-up, on the main thread.
  virtual void blackFrame() = 0;
  // The frame composition on the render worker: draws the current CPU buffer, presents, and stores the result of
  // Present with ClGraphics::setLastPresentResult.
  virtual void renderFrame() = 0;
  // Render worker: throws the handed-over frame's queued work away without drawing.
  virtual void discardFrame() = 0;
  // Game thread, while graphics are not ready: the frame the game queued is not handed over, and what the game
  // queued for it outside the engine's own queues goes now.
  virtual void frameDropped() = 0;
  // Device lost: before the default-pool objects go. Regained: after a successful Reset and restore.
  virtual void platformLostFocus() = 0;
  virtual void platformRegainedFocus() = 0;
  // Registers the game's shaders with the shader manager and marks them all loaded (second start-up stage).
  virtual void loadShaders() = 0;
  // The sound bank loader has tried one source of the cue: from an archive or loose, resident or streamed, whether
  // its sound was made, and the bytes read (0 for a stream). Lets the game count the load and run frames meanwhile.
  virtual void soundSourceLoaded(const SPrerenderedCue* pCue, u32 bFromArchive, u32 bResident, u32 bSucceeded,
                                 u64 uiBytes) = 0;
};

// What the renderer needs of the UI, which the engine layer may not call itself.
class ClUIRenderHooks {
 public:
  virtual ~ClUIRenderHooks() = default;
  // Whether the UI's own texture table holds the name (the UI unloads its textures itself).
  virtual bool hasUITextureBeenLoaded(const char* pName) = 0;
  // One textured rectangle (x, y, width, height in pixels of the bound target, or of the back buffer) with the
  // signature's first texture stretched over it and the colour (render worker).
  virtual void renderAspectFitQuad(const SRenderSignature* pSignature, u32 uiColor, f32 fX, f32 fY, f32 fWidth,
                                   f32 fHeight) = 0;
  // The UI's Direct3D objects, released on device loss and made again after a Reset.
  virtual void releaseUIDeviceObjects() = 0;
  virtual void createUIDeviceObjects() = 0;
};

// The game's side of the input manager and its input layer.
class ClInputGameHooks {
 public:
  virtual ~ClInputGameHooks() = default;
  // Makes the game's two mappers and hands them to ClInputManager::installGameMappers; ClInputManager::initialize.
  virtual void createGameInputMappers() = 0;
  // The game's pad tester behind the input layer: set up once the layer is, then one tick after each tick's
  // device reads. The game decides whether it runs at all.
  virtual void initPadMonkey() = 0;
  virtual void tickPadMonkey() = 0;
};

// Every interface of the engine layer; none may be null.
struct SKvEngineGameHooks {
  ClInputGameHooks* pInput = nullptr;
  ClWindowGameHooks* pWindow = nullptr;
  ClVideoPlayerHooks* pVideo = nullptr;
  ClFrameGameHooks* pFrame = nullptr;
  ClUIRenderHooks* pUIRender = nullptr;
};

// Installs the hooks (not owned; they live for the program).
void KvSetEngineGameHooks(const SKvEngineGameHooks& hooks);
// The installed interfaces; an assertion when none are.
ClInputGameHooks& KvInputGameHooks();
ClWindowGameHooks& KvWindowGameHooks();
ClVideoPlayerHooks& KvVideoPlayerHooks();
ClFrameGameHooks& KvFrameGameHooks();
ClUIRenderHooks& KvUIRenderHooks();
