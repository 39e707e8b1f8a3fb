// The graphics manager: the program's one top-level window, its window procedure and the one-step message pump
// that the run loop calls; the Direct3D device with its display modes, the render worker that draws each frame in
// lockstep with the main thread, the recovery of a lost device, and the matrix stacks that carry the projection,
// view, world and object transforms to the device.
//
// Threads. The window, start-up, shut-down, the hand-over (endFrame) and the lost-device handling run on the main
// thread. The render worker runs the game's render function while the main thread waits inside endFrame, so the
// two never use the device at once; the matrix stacks belong to whichever of them is drawing (the main thread
// during start-up and the first black frame, the worker during frames). The flags the two threads share are
// atomics; the per-frame lists the game writes are indexed by getCurCPUBuffer, which flips only inside the
// hand-over, so they need no lock. The window procedure runs inside processMessages, between frames.
//
// The window procedure and the device code ask the game (and, through it, the UI and the sound above the engine
// layer) through the engine layer's hooks, Corvane/GameModes/KvEngineGameHooks.h: ClWindowGameHooks,
// ClVideoPlayerHooks, ClFrameGameHooks and ClUIRenderHooks.
//
// This header names no platform header: the window handle is the platform's opaque HWND__ pointer, the device
// objects are forward-declared interfaces and the window procedure's word arguments are spelled as the integer
// types they are (WPARAM, LPARAM, LRESULT).
#pragma once

#include <atomic>
#include <cstdint>

#include "Corvane/ADT/ClDictionaryPool.h"

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/Math/KvMath.h"
#include "Corvane/System/KvTypes.h"

struct HWND__;
struct HDC__;
struct HDROP__;
struct IDirect3D9;
struct IDirect3DDevice9;
struct IDirect3DSurface9;
struct _D3DPRESENT_PARAMETERS_;
class ClRenderTargetGroup;
class ClShader;
class ClWorldObject;
struct SRenderSignature;
struct STextureSet;

inline constexpr i32 gc_iWINDOW_TITLE_LEN = 256;
// The message the full-screen video player's graph posts to the main window for its notifications.
inline constexpr u32 gc_uiGRAPH_NOTIFY_MESSAGE = 0x36D1;

// One dropped file: a UTF-16 path (zero-terminated, cut to 767 units) and whether it names a directory.
struct SDroppedFile {
  wchar16 mp_szPath[KV_MAX_PATH_LEN];
  u32 mp_bIsDirectory;
};
static_assert(sizeof(SDroppedFile) == 1540, "a dropped-file record is 1540 bytes");

// One display mode of the adapter (the record of the display-mode list and of the resolution list).
struct DisplayMode {
  u32 m_uiWidth;          // pixels
  u32 m_uiHeight;         // pixels
  u32 m_uiRefreshRate;    // Hz as the adapter reports it
  u32 m_eFormat;          // D3DFORMAT of the mode
  u32 m_eAdapterFormat;   // D3DFORMAT the mode was enumerated under
  i32 m_iBits;            // 16 or 32
  i32 m_iAspectClass;     // 0..4 or 6 (see getAspectClass)
  bool operator==(const DisplayMode&) const = default;
};
static_assert(sizeof(DisplayMode) == 28, "a display mode is 28 bytes");

inline constexpr i32 gc_iNUM_MATRIX_STACKS = 5;
inline constexpr i32 gc_iMATRIX_STACK_DEPTH = 16;
inline constexpr i32 gc_iMAX_GRAPHICS_OPTIONS = 32;
// Frames in a row that restoreDeviceObjects may fail after a Reset before the program stops.
inline constexpr i32 gc_iMAX_RESTORE_ATTEMPTS = 10;

// The matrix stacks: each feeds one device transform.
enum E_MATRIX_STACK : i32 {
  E_MATRIX_STACK_PROJECTION = 0,
  E_MATRIX_STACK_VIEW = 1,
  E_MATRIX_STACK_WORLD = 2,
  E_MATRIX_STACK_OBJECT = 3,  // the current object's rigid transform (rotation and position, no scale)
  E_MATRIX_STACK_UNUSED = 4,  // no user and no transform state: never handed to the device
  NUM_E_MATRIX_STACK
};
static_assert(NUM_E_MATRIX_STACK == gc_iNUM_MATRIX_STACKS);

// What ClGraphics::processMessages answers when no message waits and a main-loop frame is due.
inline constexpr i32 gc_iPUMP_FRAME_DUE = 2;

// Both coordinates of a pointer position that is off every widget (the pointer left the window).
inline constexpr f32 gc_fPOINTER_AWAY = -1000.0f;

// The object transform a shader's per-object set-up starts from; reset to the identity at game start-up
// (ClGraphics::resetDefaultObjectTransform).
extern ClWorldObject g_defaultObjectTransform;

class ClGraphics {
 public:
  // --- Window start-up and shut-down (steps of the platform start-up) ---

  // Reads the desktop size; done once, before the window class is registered.
  static void readDesktopSize();
  // Registers the class "TKW Game" (its result is not examined) and, in full screen, hides the cursor.
  static void registerWindowClass(bool bFullscreen);
  // Creates the main window of the outer size w x h ("Tarkwell Engine") and sets its title to "Grindlow".
  // bForcedResolution: a forced resolution code was given, so the top edge comes from the development
  // setting "INITIAL_WINDOW_Y_POS". A failure shows a message box and stops with "Failed to create main
  // window".
  static void createMainWindow(i32 iWidth, i32 iHeight, bool bFullscreen, bool bForcedResolution);
  // ShowWindow(SW_SHOWDEFAULT) and UpdateWindow, once the device and the render worker exist.
  static void showMainWindow();
  // Unregisters the window class (the window itself is left to the end of the process).
  static void unregisterWindowClass();

  // --- Placement ---

  // The outer rectangle that gives a client area of w x h, centred on the desktop and, when its top edge
  // would be below 30, raised by 30 pixels. Integer halves truncate toward zero. Needs the window.
  static void computeCenteredWindowRect(i32 iWidth, i32 iHeight, i32* pLeft, i32* pTop, i32* pRight,
                                        i32* pBottom);
  // Moves and sizes the main window so that its client area is exactly w x h.
  static void resizeWindow(i32 iWidth, i32 iHeight);

  // --- Run loop ---

  // One step of the message pump: handles at most one message; when none waits, answers gc_iPUMP_FRAME_DUE if
  // the application has been activated or the graphics are not ready (the program's run loop then runs a
  // frame, ClMainLoop::pump), else sleeps 1 ms in an alertable wait. 0 on WM_QUIT (not dispatched), else 1.
  static i32 processMessages();
  // With the development setting "MOUSE_EXCLUSIVE" non-zero and the main window in the foreground, moves the
  // cursor to the centre of the window's outer rectangle.
  static void recenterExclusiveMouse();

  // The class's window procedure (WNDPROC: window, message, wParam, lParam).
  static std::intptr_t windowProc(HWND__* hWnd, u32 uiMsg, std::uintptr_t wParam, std::intptr_t lParam);

  // Appends one record per file of a drop to the list (which the caller initialised). The window procedure
  // gathers a drop this way into a temporary list and then releases the drop.
  static void gatherDroppedFiles(HDROP__* hDrop, ClDynamicVector<SDroppedFile>* pFiles);

  // --- Start-up and shut-down (main thread) ---

  // Graphics start-up, once, after the game wrote the graphics options: the matrix stacks, TV channel 0's
  // cameras, the platform start-up (Direct3D, display modes, window, device, render worker), then ready.
  static void initialize();
  // The platform start-up: every failure shows its message box and stops the program.
  static void initializePlatform();
  // Shut-down: the mode lists, the render worker (one start signal, then waits for it to leave), the debug
  // primitives' device objects, the device and Direct3D, the window class.
  static void terminate();

  // --- Options ---

  // Creates the options dictionary (32 entries) unless it exists; the game's start-up, before initialize.
  static void initializeGraphicsOptions();
  // Frees the options dictionary when it exists; the game's shutdown, after terminate.
  static void terminateGraphicsOptions();

  // The 32-bit value of a graphics option, created (zero) when absent. Fatal when the dictionary does not exist.
  static i32* accessGraphicsOption(const char* pName);
  static i32 hasGraphicsOption(const char* pName);
  // 1 for full screen: "-fullscreen" (unless its argument is 0 or less), else the development setting
  // "FULLSCREEN" (> 0), else the option "FULLSCREEN".
  static i32 isFullscreen();

  // --- Display modes ---

  // Aspect class of a width / height ratio: > 1.82 -> 0, > 1.7 -> 1, > 1.58 -> 2, > 1.4 -> 3, > 1.29 -> 4,
  // else 6.
  static i32 getAspectClass(u32 uiWidth, u32 uiHeight);
  // Every mode of the default adapter under the five enumerated formats that fits the desktop and is not taller
  // than wide; the best mode is the tallest 32-bit one (the last of equal heights).
  static void buildDisplayModeList();
  // 1 when the resolution list holds a mode of exactly this size.
  static i32 isDisplayModeAvailable(u32 uiWidth, u32 uiHeight);
  // The resolution list (mp_resolutionList, the modes the player can choose) is filled by the game's hook
  // (buildResolutionList) from the display-mode list with these two calls, before the start-up sorts it.
  static void clearResolutionList();
  static void addToResolutionList(const DisplayMode& mode);
  // Among the modes of exactly this size, the highest refresh rate per bit depth (first of equal rates; a rate
  // of 0 never matches) into either output (either may be null). 1 when anything was found.
  static i32 findDisplayMode(u32 uiWidth, u32 uiHeight, DisplayMode* pMode32, DisplayMode* pMode16);
  // The size for a forced resolution code (0 x 0 for an unknown code).
  static void getForcedResolutionSize(i32 iCode, u32* puiWidth, u32* puiHeight);
  // The forced-resolution step of the start-up: may replace the chosen size and sets mp_bForcedResolution.
  static void applyForcedResolution(u32* puiWidth, u32* puiHeight);
  // Sorts the resolution list by height, tallest first, and sizes of one height by width, widest first.
  static void sortResolutionList();
  // Creates the device for the mode; every failure stops the program, so it returns 1.
  static i32 createDevice(u32* puiWidth, u32* puiHeight, const DisplayMode& mode);

  // --- The render worker and the hand-over ---

  // Creates the two hand-over events and the worker thread (a failure is fatal).
  static void startRenderWorker();
  // The buffer the worker draws; the game writes 1 - this.
  static i32 getCurCPUBuffer() { return mp_iCurCPUBuffer.load(std::memory_order_relaxed); }
  // The render worker's procedure (its argument is ignored).
  static unsigned renderWorkerThread(void* pArgument);
  // End of a game frame: hands the frame to the worker and waits for it while graphics are ready, else throws the
  // frame's queued sprites and debug primitives away; then checks for a lost device.
  static void endFrame();
  // The loading modes' frame step: advances TV channel 0 by hand, then endFrame.
  static void updateAndEndFrame();
  // The result of the last Present, stored by the game's render function on the worker.
  static void setLastPresentResult(i32 hrResult) { mp_hrLastPresent.store(hrResult, std::memory_order_relaxed); }
  // Presents the frame into the window: windowed, into the rectangle backBufferInWindow gives for the client size
  // the last WM_SIZE told (the rest of the client area black), else over the whole client area; the result is kept
  // (setLastPresentResult). Render worker.
  static void presentFrame();

  // --- Lost device ---

  // Once per frame after the hand-over: notices a loss, releases, tests, resets and restores. Answers ready.
  static i32 handleLostDevice();
  // Releases every default-pool object, in order; the back-buffer and depth surfaces last. Each step finds nothing
  // to do for what is gone already, so terminate runs it too before the device is released.
  static void releaseDeviceObjects();
  // Takes the surfaces again and re-creates the objects; 0 (nothing re-created) when a surface is refused.
  static i32 restoreDeviceObjects();

  // --- Matrix stacks ---

  // Pushes M times the current top (M alone on an empty stack) and applies it. 16 entries at most.
  static void pushMatrix(i32 iStack, const kv_matrix& M);
  // Replaces the top and applies it.
  static void loadMatrix(i32 iStack, const kv_matrix& M);
  // Lowers the depth by one and applies the new top (the callers' pop).
  static void popMatrix(i32 iStack);
  // Hands the top (transposed) to the device; an empty stack hands over the identity.
  static void applyMatrixStackTop(i32 iStack);
  static const kv_matrix& getMatrixStackTop(i32 iStack);
  static i32 getMatrixStackDepth(i32 iStack) { return mp_aiMatrixStackDepth[iStack]; }
  // The 2D pass over a w x h target: origin top-left, y down, depth -4000..4000 onto 0..1.
  static void pushOrtho2D(f32 fWidth, f32 fHeight);
  // Sets the viewport and pushes the off-centre orthographic projection (shifted by the offset) and the
  // identity view.
  static void pushOrthoOffCenter(f32 fViewTop, f32 fViewLeft, f32 fViewBottom, f32 fViewRight, f32 fTop, f32 fLeft,
                                 f32 fBottom, f32 fRight, f32 fOffsetX, f32 fOffsetY);
  // The left-handed perspective (depth 0 at near, 1 at far) in the stacks' layout; a negative aspect takes the
  // screen's.
  static kv_matrix& buildPerspective(kv_matrix& out, f32 fFovDegrees, f32 fNear, f32 fFar, f32 fAspect);
  // Pushes the object's world transform (rotation rows scaled by column, position) on stack 2 and the same
  // without the scale on stack 3; popObjectTransform pops both.
  static void pushObjectTransform(const kv_matrix& rotationAndPosition, const kv_vector3& vScale);
  static void popObjectTransform();
  // Sets g_defaultObjectTransform to the identity with no parent; done once at game start-up.
  static void resetDefaultObjectTransform();

  // --- The current render signature (the render worker while it draws) ---

  // Makes the signature's shader and texture set current, doing only what changed: another shader ends the
  // current one and begins the new one (which sets its globals); another texture set binds each of its textures;
  // a shader that has not had its per-object set-up since it became current gets it with g_defaultObjectTransform;
  // one commit follows any change. The same signature twice does nothing the second time.
  static void setSignature(const SRenderSignature* pSignature);
  // Ends the current shader (when there is one) and forgets shader, texture set and bound object transform.
  static void endSignature();

  // --- Render targets (the render worker while it draws; the main thread at start-up) ---

  // Binds the group's targets to slots 0-3 (slots past its count emptied) with its depth target's depth surface,
  // or, for null, the back buffer with the device's depth surface. Remembered as mp_pBoundRenderTargetGroup.
  static void setRenderTargetGroup(ClRenderTargetGroup* pGroup);

  // --- The game's window hooks ---

  // 0 when closing the window may end the program; non-zero refuses the close.
  static i32 gameSpecificAllowQuit();
  // Focus lost while the UI is initialised: pauses the game and the sound.
  static void gameSpecificFocusPause();
  // WM_MOUSEMOVE and WM_MOUSELEAVE (ClWindowGameHooks::mouseMoved and mouseLeft).
  static void gameSpecificMouseMoved(std::intptr_t lParam);
  static void gameSpecificMouseLeft(std::intptr_t lParam);
  // The game's graphics hooks (ClFrameGameHooks).
  static void gameSpecificBuildResolutionList();
  static void gameSpecificPickWidescreenMode(u32* puiWidth, u32* puiHeight);
  static void gameSpecificBlackFrame();
  static void gameSpecificRenderFrame();
  static void gameSpecificDiscardFrame();
  static void gameSpecificFrameDropped();
  static void gameSpecificPlatformLostFocus();
  static void gameSpecificPlatformRegainedFocus();
  static void gameSpecificLoadShaders();


  // --- State (main thread) ---

  static HWND__* mp_hWnd;                 // the main window; null until created
  static i32 mp_iDesktopWidth;            // desktop size read at start-up
  static i32 mp_iDesktopHeight;
  static u32 mp_bAppActivated;            // set by the first WM_ACTIVATEAPP that activates; never cleared
  static u32 mp_bWindowHasFocus;          // 1 after WA_ACTIVE / WA_CLICKACTIVE, 0 after WA_INACTIVE
  static u32 mp_bCursorHidden;            // the system cursor was hidden by the engine or the game
  static std::atomic<u32> mp_bReady;      // graphics started and the device not lost
  static f32 mp_fScreenWidth;             // back-buffer size in pixels
  static f32 mp_fScreenHeight;
  // The 2D picture: the pixels the UI places its sprites, hot spots and pointer in. A game that draws it into a
  // render target and shows that scaled says where it shows (x, y, width and height in back-buffer pixels) and how
  // large the picture is; until then the picture is the back buffer itself. Main thread.
  static void set2DPicture(f32 fWidth, f32 fHeight, const f32 afShownAt[4]);
  static kv_vector2 get2DPictureSize();
  // A back-buffer position in the picture's pixels, and back.
  static kv_vector2 displayTo2DPicture(const kv_vector2& vDisplay);
  static kv_vector2 displayFrom2DPicture(const kv_vector2& vPicture);
  static f32 mp_af2DPicture[6];  // width, height, then where it shows; all 0 while it is the back buffer
  // Where the back buffer shows in a windowed client area of w x h pixels when that differs from the back buffer's
  // size: the whole back buffer at its own aspect ratio, centred, {x, y, width, height} in whole client pixels,
  // with black margins beside it. False when it covers the client area (the same aspect ratio, full screen, or no
  // size yet), where Present stretches it over the whole.
  static bool backBufferInWindow(i32 iClientWidth, i32 iClientHeight, i32 aiShownAt[4]);
  // A client-area position (client area w x h) in back-buffer pixels, through that placement.
  static kv_vector2 windowToDisplay(const kv_vector2& vClient, i32 iClientWidth, i32 iClientHeight);
  // The main window's client size as its last WM_SIZE told (0 x 0 before the first; a minimised window keeps the
  // size before). Written on the main thread, read by presentFrame on the render worker.
  static std::atomic<i32> mp_iClientWidth;
  static std::atomic<i32> mp_iClientHeight;
  static wchar16 mp_szWindowTitle[gc_iWINDOW_TITLE_LEN];
  // The pointer position the mouse hooks keep from the window's mouse messages (client pixels; (0, 0) until the
  // first mouse message, (gc_fPOINTER_AWAY, gc_fPOINTER_AWAY) while the pointer is away).
  static kv_vector2 mp_vWMMousePosition;
  // What the game's mouse hooks decide: whether the system cursor is hidden, and the pointer position.
  static void setCursorHidden(bool bHidden) { mp_bCursorHidden = bHidden ? 1 : 0; }
  static void setWMMousePosition(const kv_vector2& vPosition) { mp_vWMMousePosition = vPosition; }

  // Device (main thread; the worker draws with it during frames).
  static IDirect3D9* mp_pD3D;
  static IDirect3DDevice9* mp_pDevice;
  static IDirect3DSurface9* mp_pBackBufferSurface;
  static IDirect3DSurface9* mp_pDepthStencilSurface;
  static _D3DPRESENT_PARAMETERS_ mp_presentParams;
  static ClDynamicVector<DisplayMode> mp_displayModes;
  static ClDynamicVector<DisplayMode> mp_resolutionList;
  static DisplayMode mp_bestDisplayMode;
  static DisplayMode mp_curDisplayMode;
  static u32 mp_bForcedResolution;
  static u32 mp_eDepthStencilFormat;
  static u32 mp_eDepthTextureFormat;

  // Render worker and hand-over.
  static void* mp_hStartFrameEvent;
  static void* mp_hFrameCompleteEvent;
  static std::uintptr_t mp_hRenderWorkerThread;
  static std::atomic<u32> mp_bQuitRenderWorker;
  static std::atomic<u32> mp_bRenderWorkerExited;
  static std::atomic<i32> mp_iCurCPUBuffer;
  static std::atomic<u32> mp_bDeviceLost;
  static std::atomic<i32> mp_hrLastPresent;
  // A Reset succeeded but restoreDeviceObjects did not: retried each frame, graphics staying not ready.
  static u32 mp_bRestorePending;
  static i32 mp_iRestoreFailures;

  // The current render signature's parts.
  static ClShader* mp_pCurrentShader;
  static const STextureSet* mp_pCurrentTextureSet;
  static const ClWorldObject* mp_pBoundObjectTransform;

  // The render-target group last bound; null for the back buffer.
  static ClRenderTargetGroup* mp_pBoundRenderTargetGroup;
  // Subtracted from 2D positions (with the half-pixel 0.5) by the UI's quads; (0, 0) in this program.
  static kv_vector2 mp_v2DViewOffset;

  // Matrix stacks.
  static kv_matrix mp_aMatrixStacks[gc_iNUM_MATRIX_STACKS][gc_iMATRIX_STACK_DEPTH];
  static i32 mp_aiMatrixStackDepth[gc_iNUM_MATRIX_STACKS];

 private:
  static ClDictionaryPool<i32> mp_graphicsOptionsDict;
};
