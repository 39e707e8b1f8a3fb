#include "Corvane/Camera/ClCamera.h"

#include <cmath>

#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/System/ClClock.h"

f32 ClCameraDebug::ms_fSharedFieldOfView = 50.0f;

namespace {

kv_matrix translation(const kv_vector3& v) {
  kv_matrix T;
  T.m[0][3] = v.x;
  T.m[1][3] = v.y;
  T.m[2][3] = v.z;
  return T;
}

// Rows right, up and back as the rotation part, times the translation by minus the eye.
void buildView(const kv_vector3& vRight, const kv_vector3& vUp, const kv_vector3& vBack, const kv_vector3& vEye,
               kv_matrix& out) {
  kv_matrix A;
  A.m[0][0] = vRight.x; A.m[0][1] = vRight.y; A.m[0][2] = vRight.z;
  A.m[1][0] = vUp.x;    A.m[1][1] = vUp.y;    A.m[1][2] = vUp.z;
  A.m[2][0] = vBack.x;  A.m[2][1] = vBack.y;  A.m[2][2] = vBack.z;
  A.multiply(translation(-vEye), out);
}

f32 actionValue(i32 iAction) {
  return ClInputManager::m_aDebugCameraActions[iAction].mp_afValues[ClInputManager::m_uiCurInputFrame & 1];
}

}  // namespace

ClCamera::ClCamera() {
  setIdentityTransform();
  setWorldRotation(kv_matrix{});
  placeAt({0.0f, 0.0f, 0.0f});
}

void ClCamera::placeAt(const kv_vector3& vPosition) {
  if (mp_pParent != nullptr) {
    setRelativeOffset(vPosition - mp_pParent->getWorldPosition());
    updateFromParent();
  } else {
    setWorldPosition(vPosition);
  }
}

void ClCamera::getViewMatrix(kv_matrix& out) const {
  const kv_matrix& W = mp_world;
  // Rows of the transposed rotation; the third is negated (the camera looks along minus its third column).
  buildView({W.m[0][0], W.m[1][0], W.m[2][0]}, {W.m[0][1], W.m[1][1], W.m[2][1]},
            {-W.m[0][2], -W.m[1][2], -W.m[2][2]}, W.getPosition(), out);
}

void ClCamera::getOrthoMatrix(kv_matrix& out) const {
  const f32 l = m_fOrthoLeft;
  const f32 r = m_fOrthoRight;
  const f32 t = m_fOrthoTop;
  const f32 b = m_fOrthoBottom;
  const f32 n = m_fOrthoNear;
  const f32 f = m_fOrthoFar;
  out = kv_matrix{};
  out.m[0][0] = 2.0f / (r - l);
  out.m[1][1] = 2.0f / (t - b);
  out.m[2][2] = 1.0f / (f - n);
  out.m[0][3] = (l + r) / (l - r);
  out.m[1][3] = (t + b) / (b - t);
  out.m[2][3] = n / (n - f);
  out.m[3][3] = 1.0f;
}

void ClCamera::pushView() {
  kv_matrix view;
  getViewMatrix(view);
  ClGraphics::pushMatrix(E_MATRIX_STACK_VIEW, view);
}

void ClCamera::pushMirroredView(f32 fHeight) {
  const kv_vector3 vPosition = getWorldPosition();
  const kv_vector3 vEye = {vPosition.x, 2.0f * fHeight - vPosition.y, vPosition.z};
  kv_vector3 vBack = mp_world.getColumn(2);
  vBack.y = -vBack.y;
  vBack.normalize();
  const kv_vector3 vRight = kv_vector3{0.0f, 1.0f, 0.0f}.cross(vBack).normalized();
  const kv_vector3 vUp = vBack.cross(vRight).normalized();
  kv_matrix view;
  buildView(vRight, vUp, -vBack, vEye, view);
  ClGraphics::pushMatrix(E_MATRIX_STACK_VIEW, view);
}

void ClCamera::popView() { ClGraphics::popMatrix(E_MATRIX_STACK_VIEW); }

void ClCamera::pushPerspective() {
  kv_matrix projection;
  ClGraphics::buildPerspective(projection, m_fFieldOfView, m_fNear, m_fFar, m_fAspect);
  ClGraphics::pushMatrix(E_MATRIX_STACK_PROJECTION, projection);
}

void ClCamera::popProjection() { ClGraphics::popMatrix(E_MATRIX_STACK_PROJECTION); }

void ClCamera::pushOrtho() {
  kv_matrix projection;
  getOrthoMatrix(projection);
  ClGraphics::pushMatrix(E_MATRIX_STACK_PROJECTION, projection);
}

void ClCamera::setDirectionAndPosition(const kv_vector3& vDirection, const kv_vector3& vPosition) {
  const kv_vector3 vForward = vDirection.normalized();
  placeAt(vPosition);
  kv_matrix rotation = mp_world;
  rotation.setLookDirection(vForward, {0.0f, 1.0f, 0.0f});
  setWorldRotation(rotation);
}

ClCameraDebug::ClCameraDebug() {
  kv_matrix rotation;
  rotation.setRow(0, {0.99997014f, 0.0048895786f, -0.0059925239f});
  rotation.setRow(1, {0.0f, 0.77480561f, 0.63219976f});
  rotation.setRow(2, {0.0077342303f, -0.63218087f, 0.77478236f});
  setWorldRotation(rotation);
  placeAt({4.8189607f, 5.937681f, 9.863971f});
  m_fFieldOfView = 60.0f;
}

void ClCameraDebug::update() {
  if (ClGameStateMgr::getBoolState(0)) {
    return;
  }
  const SGameInputAction* pActions = ClInputManager::m_aDebugCameraActions;
  if (ClGameStateMgr::getInputBlockedFrames() <= 0) {
    if (ClInputManager::isActionJustPressed(pActions[E_DEBUG_CAMERA_NARROWER]) && ms_fSharedFieldOfView > 5.0f) {
      ms_fSharedFieldOfView -= 5.0f;
    }
    if (ClInputManager::isActionJustPressed(pActions[E_DEBUG_CAMERA_WIDER]) && ms_fSharedFieldOfView < 170.0f) {
      ms_fSharedFieldOfView += 5.0f;
    }
  }
  m_fFieldOfView = ms_fSharedFieldOfView;

  const f32 fDT = ClClock::m_aClockFrames[0].m_fFrameTime;
  const f32 fSpeed = actionValue(E_DEBUG_CAMERA_BOOST) > gc_fACTION_PRESSED_THRESHOLD ? 3.0f : 1.0f;
  kv_vector3 vPosition = getWorldPosition();
  auto move = [&](i32 iAction, const kv_vector3& vAlong) {
    const f32 fValue = actionValue(iAction);
    if (fValue > gc_fACTION_PRESSED_THRESHOLD) {
      vPosition += vAlong * (250.0f * fSpeed * fValue * fDT);
    }
  };
  const kv_vector3 vRight = mp_world.getColumn(0);
  const kv_vector3 vUp = mp_world.getColumn(1);
  const kv_vector3 vBack = mp_world.getColumn(2);
  move(E_DEBUG_CAMERA_FORWARD, -vBack);
  move(E_DEBUG_CAMERA_BACKWARD, vBack);
  move(E_DEBUG_CAMERA_LEFT, -vRight);
  move(E_DEBUG_CAMERA_RIGHT, vRight);
  move(E_DEBUG_CAMERA_UP, vUp);
  move(E_DEBUG_CAMERA_DOWN, -vUp);
  placeAt(vPosition);

  auto turn = [&](const kv_vector3& vAxis, f32 fAngle) {
    // The columns turn about a world axis: W' = R x W with R the column form of the rotation.
    kv_matrix rowRotation;
    rowRotation.makeAxisRotation(vAxis, fAngle);
    kv_matrix R;
    rowRotation.transpose(R);
    kv_matrix turned = mp_world;
    for (i32 r = 0; r < 3; ++r) {
      for (i32 c = 0; c < 3; ++c) {
        turned.m[r][c] = R.m[r][0] * mp_world.m[0][c] + R.m[r][1] * mp_world.m[1][c] + R.m[r][2] * mp_world.m[2][c];
      }
    }
    // Orthonormal again: rows rebuilt by cross products.
    const kv_vector3 vRow0 = turned.getRow(0).normalized();
    const kv_vector3 vRow2 = vRow0.cross(turned.getRow(1)).normalized();
    const kv_vector3 vRow1 = vRow2.cross(vRow0).normalized();
    turned.setRow(0, vRow0);
    turned.setRow(1, vRow1);
    turned.setRow(2, vRow2);
    setWorldRotation(turned);
  };
  const f32 fYaw = actionValue(E_DEBUG_CAMERA_YAW);
  if (fYaw != 0.0f) {
    turn(mp_world.getColumn(1), fYaw * fSpeed * 0.25f * fDT);
  }
  const f32 fPitch = actionValue(E_DEBUG_CAMERA_PITCH);
  if (fPitch != 0.0f) {
    const f32 fAngle = fPitch * fSpeed * 0.25f * fDT;
    turn(mp_world.getColumn(0), m_bPitchNormal ? fAngle : -fAngle);
  }
  m_fFar = 15000.0f;
}
