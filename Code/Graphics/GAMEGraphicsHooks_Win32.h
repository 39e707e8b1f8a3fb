// The game's answers to the graphics manager's hooks: the resolution list and the windowed start size, the black
// first frame, the close veto, the focus pause, what a lost and a regained device mean for the game, the shaders it
// registers, and the frame the render worker composes.
//
// The frame composition: the 2D sprite queue is sorted and becomes the 2D geometry; the quad sprites become world
// geometry; the three batches are built (7 the world, 8 the
// 2D below layer 2600, 9 the UI and HUD); the world and the lower 2D batch are drawn into the 480 x 270 scene target
// g_pSmallRenderTarget; then, with the CRT option on in the front end, the action mode or the bonus stage, the
// scene is blurred ("Bloom1") into g_pBlurRenderTarget and copied onto the back buffer through the CRT effect
// ("system_copy_tv" with the bloom, "TexturesUI/screen_mask" and "TexturesUI/rgb"), otherwise copied plainly
// ("system_copy_nofiltering"), fitted to the screen's aspect ratio; the UI batch goes on top, unfiltered; Present.
//
// The frame composition and the discard run on the render worker while the main thread waits in the hand-over;
// every other hook runs on the main thread.
#pragma once

#include "Code/Graphics/GAMEWindowHooks.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Math/KvMath.h"

class ClRenderTargetGroup;
struct IDirect3DQuery9;

// The window hooks of the game (mode, sound) with its frame and the UI's services to the renderer added: the game's
// answers to the graphics side of the engine layer, installed by main().
class ClGAMEGraphicsHooks : public GAMEWindowHooks, public ClFrameGameHooks, public ClUIRenderHooks {
 public:
  const char* localizedText(const char* pKey) override;
  i32 allowQuit() override;
  // A start-up that cannot go on: the condition stop (the user is told, the program ends).
  [[noreturn]] void abortProgram() override;
  bool hasUITextureBeenLoaded(const char* pName) override;
  void buildResolutionList() override;
  void pickWidescreenMode(u32* puiWidth, u32* puiHeight) override;
  void blackFrame() override;
  void renderFrame() override;
  void discardFrame() override;
  // The 2D sprite queue the UI filled for the dropped frame is emptied.
  void frameDropped() override;
  void platformLostFocus() override;
  void platformRegainedFocus() override;
  void loadShaders() override;
  // The load mode counts the sound bank's sources and keeps its frames running while it loads them.
  void soundSourceLoaded(const SPrerenderedCue* pCue, u32 bFromArchive, u32 bResident, u32 bSucceeded,
                         u64 uiBytes) override;
  void renderAspectFitQuad(const SRenderSignature* pSignature, u32 uiColor, f32 fX, f32 fY, f32 fWidth,
                           f32 fHeight) override;
  void releaseUIDeviceObjects() override;
  void createUIDeviceObjects() override;

  // Waits until the GPU has done everything issued so far: an event query (made once the previous Present has
  // succeeded) issued and polled with D3DGETDATA_FLUSH. Render worker.
  void waitForGPU();
  // Gives the event query back (before the device goes).
  void releaseEventQuery();

 private:
  // The steps of the frame composition. queue2DSprites sorts the 2D sprite queue and turns it into the geometry of
  // the lower 2D batch (layers 0..2600) and of the UI batch (2600..2800, then the pointer's layer 3999);
  // cleanUpFrame also empties the queue.
  static void queue2DSprites();
  static void buildFrameBatches();
  static void drawScene();
  static void drawFinalPicture();
  static void drawUIAndPresent();
  static void cleanUpFrame();

  char m_szText[1024] = {};
  IDirect3DQuery9* mp_pEventQuery = nullptr;
};

extern ClGAMEGraphicsHooks g_GAMEGraphicsHooks;
// The colour every frame is cleared to (0xAARRGGBB).
inline constexpr u32 gc_uiGAME_CLEAR_COLOR = 0xFF000000u;
// The scene target's size.
inline constexpr f32 gc_fGAME_SCENE_WIDTH = 480.0f;
inline constexpr f32 gc_fGAME_SCENE_HEIGHT = 270.0f;
// The aspect ratio of the canvas "UBER".
inline constexpr f32 gc_fUBER_ASPECT = 16.0f / 9.0f;
// The batches of the frame.
inline constexpr i32 gc_iGAME_BATCH_WORLD = 7;
inline constexpr i32 gc_iGAME_BATCH_2D = 8;
inline constexpr i32 gc_iGAME_BATCH_UI = 9;

// The scene target and its blur, locked for the game's lifetime by the second start-up stage.
extern ClRenderTargetGroup* g_pSmallRenderTarget;
extern ClRenderTargetGroup* g_pBlurRenderTarget;
// The world camera's position (world units) that the world pass follows: the action mode's, which keeps its last
// value in the other modes.
extern kv_vector2 g_vWorldCameraPosition;
// The frame composition's copy of the profile's CRT effect option: set from the profile by the second start-up
// stage and whenever the options change it (on unless the player turns it off).
extern u32 g_bCRTEffectOption;
