// The game's own camera: the one through which the 2D world is seen on TV channel 0. All of its viewing
// (matrices, pushes and pops) is the engine camera's; it only starts at its own place, (0, 0, 10), looking down
// the world's minus z.
//
// The front-end mode makes one on each entry, registers it with the camera manager (which then owns and, at
// ClCameraMgr::terminateCamera or terminate, destroys it) and pushes it on the current channel; at most one
// exists at a time. Main thread only.
#pragma once

#include "Corvane/Camera/ClCamera.h"
#include "Corvane/Math/KvMath.h"
#include "Corvane/System/KvTypes.h"

inline constexpr f32 gc_fIN_GAME_CAMERA_FACTOR = 0.9f;
inline constexpr kv_vector3 gc_vIN_GAME_CAMERA_START = {0.0f, 0.0f, 10.0f};

class alignas(16) ClCameraGAME_InGameOne : public ClCamera {
 public:
  ClCameraGAME_InGameOne();
  ~ClCameraGAME_InGameOne() override = default;

  // Carried for whoever follows the camera; the camera itself reads none of them (the run state moves its
  // position directly).
  f32 m_fFactorA = gc_fIN_GAME_CAMERA_FACTOR;
  kv_vector4 m_vFollowTarget = {0.0f, 0.0f, 0.0f, 0.0f};
  f32 m_fFactorB = gc_fIN_GAME_CAMERA_FACTOR;
};
