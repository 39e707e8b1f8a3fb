// The full-screen video player: plays "FMV/<name>.wmv" below the data root over the whole screen with its sound,
// through a DirectShow graph whose video goes to the Video Mixing Renderer 9 in renderless mode and from there to the
// player's own allocator and presenter (ClVRM9Allocator), and whose sound goes to the sound renderer. One engine-wide
// player, driven from the main thread: the game's video mode and the splash screens start movies, the video mode
// stops them, the window procedure passes the graph's notifications and the window's moves and paints on (through
// the window hooks), and the game's frame composition draws the frames on the render worker.
//
// Player states (getState): 4 closed (no graph), 0 graph present but stopped or finished (also while play builds
// it), 2 running. 1 ("starting") is never set here; callers that treat 1 or 2 as playing see 2.
// Frame states (getFrameState): 0 no frame waiting, 1 a frame waits to be drawn (its presenter blocked), 2
// presenting stopped.
//
// Failures of the platform close the graph and leave the player in state 4; nothing is shown. A movie file FFmpeg
// cannot open is such a failure (the stand-in names the file on standard error), and so is a movie whose pictures
// are larger than the largest texture the device makes (the player names the file and both sizes). Without a Video
// Mixing Renderer 9 play does nothing.
#pragma once

#include <atomic>

#include "Corvane/System/KvTypes.h"

struct HWND__;
struct HDC__;
struct IGraphBuilder;
struct IMediaControl;
struct IMediaEventEx;
struct IMediaSeeking;
struct IMediaPosition;
struct IBasicAudio;
struct IVMRWindowlessControl9;
class ClTexture;
class ClVRM9Allocator;

enum E_FMV_STATE : i32 {
  E_FMV_STATE_STOPPED = 0,
  E_FMV_STATE_STARTING = 1,  // never set by this player
  E_FMV_STATE_RUNNING = 2,
  E_FMV_STATE_CLOSED = 4,
};

enum E_FMV_FRAME_STATE : i32 {
  E_FMV_FRAME_NONE = 0,
  E_FMV_FRAME_WAITING = 1,
  E_FMV_FRAME_STOPPED = 2,
};

// The window message the graph posts for its notifications.
inline constexpr u32 gc_uiFMV_GRAPH_NOTIFY = 14033;  // 0x36D1
// The attenuation of silence, in hundredths of a decibel.
inline constexpr i32 gc_iFMV_SILENCE = -10000;
// The longest the render worker waits for a frame before it draws the last one again (seconds): a stream that
// stalls slows the game down to this, never stops it.
inline constexpr f32 gc_fFMV_FRAME_WAIT_LIMIT = 0.1f;

class ClFullScreenFMVPlayer_Win32 {
 public:
  // Game start-up: whether a Video Mixing Renderer 9 can be made; state 4, volume 1, no movie, frame state 0.
  static void initialize();
  // Plays the movie (assertion "pMovieName" for null) at the volume (0 to 1), closing one still open first.
  // Returns 1 when the movie runs (state 2), else 0 (state 4 after a failure; state 0 when the graph has no
  // volume control; unchanged when video is unavailable).
  static i32 play(const char* pMovieName, f32 fVolume);
  // Only while running: stops the graph, state 0, back to the start, paused.
  static void stop();
  // The window procedure's graph notification (message 14033): drains the graph's events; the end of the movie
  // sets state 0.
  static void handleGraphEvents();
  // Stops and releases the graph and frees the allocator-presenter: state 4. Also run by the game's shutdown.
  static void close();
  // close's two halves: the graph and its interfaces (state 4), then the allocator-presenter.
  static void releaseGraph();
  static void releasePresenter();

  // The attenuation for a volume of 0 to 1: -10000 for 0, else 2000 x log10(volume) truncated, kept within -10000
  // to 0.
  static i32 volumeToAttenuation(f32 fVolume);

  // --- The window procedure's side (main thread) ---

  // WM_MOVE and WM_SIZE: the windowless control's video rectangle becomes the client rectangle.
  static void onWindowMoved();
  // WM_DISPLAYCHANGE.
  static void onDisplayModeChanged();
  // WM_PAINT, between BeginPaint and EndPaint: the windowless control repaints a movie that has video.
  static void repaintVideo(HWND__* hWnd, HDC__* hDC);

  // --- The frame composition's side (render worker) ---

  // State 1 or 2.
  static bool isVideoShowing();
  // Waits, sleeping 1 ms at a time, while a movie is loaded, its duration is above its position and no new frame
  // has arrived, but no longer than gc_fFMV_FRAME_WAIT_LIMIT. True when a new frame is waiting.
  static bool waitForVideoFrame();
  // The video texture, held against its destruction until unlockVideoTexture; null without one.
  static ClTexture* lockVideoTexture();
  static void unlockVideoTexture();
  // The frame was drawn: a presenter waiting for it returns.
  static void releaseVideoFrame();

  static i32 getState() { return mp_iState.load(); }
  static i32 getFrameState() { return mp_iFrameState.load(); }

  // --- State ---

  static u32 mp_bVideoAvailable;
  static std::atomic<i32> mp_iState;
  static f32 mp_fVolume;
  static char mp_szMovieName[KV_MAX_PATH_LEN];
  // Shared by the presenter (streaming thread), the render worker and the player.
  static std::atomic<i32> mp_iFrameState;
  static IGraphBuilder* mp_pGraph;
  static IMediaControl* mp_pMediaControl;
  static IMediaEventEx* mp_pMediaEvent;
  static IMediaSeeking* mp_pMediaSeeking;
  static IMediaPosition* mp_pMediaPosition;
  static IBasicAudio* mp_pBasicAudio;
  // Only a renderer in windowless mode has one; the renderless renderer this player builds never does, so the
  // window procedure's video branches have nothing to do.
  static IVMRWindowlessControl9* mp_pWindowlessControl;
  static u32 mp_bHasVideoStream;
  static ClVRM9Allocator* mp_pAllocator;

 private:
  static i32 createRenderer();
  static i32 renderFile(const wchar16* pPath);
  // Whether the allocator refused the movie's picture size; if so, says so on standard error.
  static bool refusedPictureSize(const char* pPath);
  static i32 addAudioRenderer();
  static void removeUnconnectedFilters();
};
