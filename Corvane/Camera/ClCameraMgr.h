// The camera manager owns every registered camera, the debug camera first (entry 0), up to 63. It installs the
// game-state manager's channel switch (a pushed or popped camera becomes active and its TV channel blends to it)
// when it starts. Main thread only.
#pragma once

#include "Corvane/Camera/ClCamera.h"
#include "Corvane/System/KvTypes.h"

inline constexpr i32 gc_iMAX_REGISTERED_CAMERAS = 63;

class ClCameraMgr {
 public:
  // Creates the debug camera as entry 0 and hands it to TV channel 0 when that channel shows nothing yet.
  static void initialize();
  // Appends a camera, which the manager then owns.
  static void registerCamera(ClCamera* pCamera);
  // Destroys a registered camera (never the debug camera) and moves the later ones down; TV channels drop it
  // first. An unregistered camera is an assertion ("bFound").
  static void terminateCamera(ClCamera* pCamera);
  // Destroys every camera.
  static void terminate();
  static ClCameraDebug* getDebugCamera();
  // The top camera of a TV channel's stack changed (ClGameStateMgr): marks the camera active and switches the
  // channel to it over fBlendTime seconds (0 is a cut). Nothing while the manager is not started.
  static void switchChannelCamera(i32 iTVChannelIdx, ClCamera* pCamera, f32 fBlendTime);
  // A TV channel's once-a-frame step (ClTVChannel::advance): a running blend moves on by the gameplay clock's frame
  // time, and the final camera is written.
  static void advanceTVChannel(i32 iTVChannelIdx);
  // Destroys a TV channel's own cameras at shutdown (ClTVChannel::terminate).
  static void terminateTVChannel(i32 iTVChannelIdx);

  static ClCamera* mp_apCameras[gc_iMAX_REGISTERED_CAMERAS];
  static u16 mp_uiNumCameras;
};
