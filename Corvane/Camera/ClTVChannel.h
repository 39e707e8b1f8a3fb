// A TV channel shows one camera and, told to switch, blends from the view on screen to the new camera over a
// given time, moving position, orientation and field of view along method-1 (slow-fast-slow) curves. Its final
// camera is the one the frame is drawn with. The engine keeps four channels (g_aTVChannels); channel 0 is set up
// by graphics start-up and advanced once a frame.
//
// The channel owns its final and frozen cameras and borrows the others: the camera manager tells it when a
// borrowed camera goes (dropCamera), and the channel then keeps the picture without it. Main thread only.
#pragma once

#include "Corvane/Camera/ClCamera.h"
#include "Corvane/System/KvTypes.h"

inline constexpr i32 gc_iNUM_ENGINE_TV_CHANNELS = 4;

class ClTVChannel {
 public:
  ClTVChannel() = default;
  ~ClTVChannel();
  ClTVChannel(const ClTVChannel&) = delete;
  ClTVChannel& operator=(const ClTVChannel&) = delete;

  // Creates the frozen and final cameras; the blend-start camera is the debug camera when the camera manager
  // has one; no blend.
  void initialize();
  // Destroys the frozen and final cameras and forgets the borrowed ones.
  void terminate();
  // 0 seconds is a cut; otherwise a blend from what is on screen (a running blend is frozen where it is).
  void blendTo(ClCamera* pCamera, f32 fSeconds);
  // Advances a running blend by the gameplay clock's frame time, then update.
  void advance();
  // Advances a running blend by fDT seconds; reaching the blend time ends it at the target.
  void advanceBlend(f32 fDT);
  // Writes the final camera: interpolated while blending, else a copy of the blend-start camera.
  void update();
  // A borrowed camera is going away: the picture is kept (frozen) and every reference to it dropped.
  void dropCamera(const ClCamera* pCamera);

  f32 m_fBlendElapsed = 0.0f;
  f32 m_fBlendTime = 0.0f;
  ClCamera* m_pFinalCameraObj = nullptr;
  ClCamera* m_pFrozenCameraObj = nullptr;
  ClCamera* m_pBlendStartCamera = nullptr;
  ClCamera* m_pTargetCamera = nullptr;
  ClCamera* m_pRequestedCamera = nullptr;

 private:
  // The frozen camera takes the view of another: position, rotation, field of view, near, far, further params.
  void freezeView(const ClCamera& from);
};

extern ClTVChannel g_aTVChannels[gc_iNUM_ENGINE_TV_CHANNELS];
