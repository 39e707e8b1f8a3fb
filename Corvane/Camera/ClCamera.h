// Cameras: a world object with projection parameters that turns its transform into the view and projection
// matrices of the graphics manager's stacks (stack 1 view, stack 0 projection). An owner pushes the projection
// and the view before it draws 3D geometry and pops them after, on the thread that draws (the render worker
// during frames, the main thread otherwise).
//
// The world rotation's columns are the camera's right, up and backward directions in world space: the camera
// looks along minus the third column. Fields of view are degrees, distances world units.
//
// ClCameraDebug is the development camera that flies under the debug-camera actions (main thread, once a frame).
#pragma once

#include "Corvane/Math/ClWorldObject.h"
#include "Corvane/Math/KvMath.h"
#include "Corvane/System/KvTypes.h"

class ClCamera : public ClWorldObject {
 public:
  ClCamera();
  virtual ~ClCamera() = default;
  ClCamera(const ClCamera& other) = default;
  // Copies every field of the other camera (transform, parent and projection parameters).
  ClCamera& operator=(const ClCamera& other) = default;

  // The view matrix: the transposed rotation with its third row negated, times the translation by minus the
  // position (translation in the fourth column, as the stacks hold it).
  virtual void getViewMatrix(kv_matrix& out) const;
  // The orthographic projection of the orthographic bounds; depth near..far onto 0..1.
  virtual void getOrthoMatrix(kv_matrix& out) const;
  virtual void pushView();
  // The view mirrored about the horizontal plane y = fHeight.
  virtual void pushMirroredView(f32 fHeight);
  virtual void popView();
  virtual void pushPerspective();
  virtual void popProjection();
  virtual void pushOrtho();
  // Once a frame; nothing for a plain camera.
  virtual void update() {}

  // The view direction is normalised; the position is stored directly, or as the offset from the parent when
  // there is one; the rotation looks along the direction with world up (0, 1, 0).
  void setDirectionAndPosition(const kv_vector3& vDirection, const kv_vector3& vPosition);
  // The world position, through the parent when there is one.
  void placeAt(const kv_vector3& vPosition);

  f32 m_fFieldOfView = 55.0f;
  f32 m_fNear = 0.5f;
  f32 m_fFar = 1000.0f;
  f32 m_afFurtherParams[2] = {0.0f, 0.0f};
  f32 m_fAspect = -1.0f;  // negative: the screen's (or bound target's) ratio
  f32 m_fOrthoLeft = -100.0f;
  f32 m_fOrthoRight = 100.0f;
  f32 m_fOrthoTop = -100.0f;
  f32 m_fOrthoBottom = 100.0f;
  f32 m_fOrthoNear = 0.5f;
  f32 m_fOrthoFar = 1000.0f;
  // Carried for derived cameras and their owners; the camera code only initialises and copies them.
  i32 m_iCarried = 0;
  kv_vector3 m_vCarried = {0.0f, 0.0f, 0.0f};
  // Marks the camera as one a TV channel shows (switching a channel to it does so too).
  void activate() { m_bActive = 1; }

  i32 m_bActive = 0;  // set when a TV channel is switched to the camera
};

// Debug-camera action indices (ClInputManager::m_aDebugCameraActions).
enum E_DEBUG_CAMERA_ACTION : i32 {
  E_DEBUG_CAMERA_LEFT = 0,
  E_DEBUG_CAMERA_RIGHT = 1,
  E_DEBUG_CAMERA_UP = 2,
  E_DEBUG_CAMERA_DOWN = 3,
  E_DEBUG_CAMERA_FORWARD = 4,
  E_DEBUG_CAMERA_BACKWARD = 5,
  E_DEBUG_CAMERA_YAW = 6,
  E_DEBUG_CAMERA_PITCH = 7,
  E_DEBUG_CAMERA_BOOST = 9,
  E_DEBUG_CAMERA_NARROWER = 10,
  E_DEBUG_CAMERA_WIDER = 11,
};

class ClCameraDebug : public ClCamera {
 public:
  ClCameraDebug();
  ~ClCameraDebug() override = default;
  // Free flight under the debug-camera actions, scaled by the system clock's frame time; nothing while game
  // state bool 0 is set.
  void update() override;

  i32 m_bPitchNormal = 1;  // 0 inverts the pitch
  // The field of view the zoom actions step (shared by every debug camera), 5..170 in steps of 5.
  static f32 ms_fSharedFieldOfView;
};
