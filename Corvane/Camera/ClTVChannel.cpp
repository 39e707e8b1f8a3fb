#include "Corvane/Camera/ClTVChannel.h"

#include "Corvane/Camera/ClCameraMgr.h"
#include "Corvane/Camera/ClInterpolator.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/KvDebug.h"

ClTVChannel g_aTVChannels[gc_iNUM_ENGINE_TV_CHANNELS];

ClTVChannel::~ClTVChannel() { terminate(); }

void ClTVChannel::initialize() {
  terminate();
  m_pFrozenCameraObj = new ClCamera();
  KV_ASSERT_MSG(m_pFrozenCameraObj, "m_pFrozenCameraObj");
  m_pFinalCameraObj = new ClCamera();
  KV_ASSERT_MSG(m_pFinalCameraObj, "m_pFinalCameraObj");
  m_pBlendStartCamera = ClCameraMgr::getDebugCamera();
  m_pTargetCamera = nullptr;
  m_pRequestedCamera = nullptr;
  m_fBlendTime = 0.0f;
  m_fBlendElapsed = 0.0f;
}

void ClTVChannel::terminate() {
  delete m_pFrozenCameraObj;
  m_pFrozenCameraObj = nullptr;
  delete m_pFinalCameraObj;
  m_pFinalCameraObj = nullptr;
  m_pBlendStartCamera = nullptr;
  m_pTargetCamera = nullptr;
  m_pRequestedCamera = nullptr;
  m_fBlendTime = 0.0f;
  m_fBlendElapsed = 0.0f;
}

void ClTVChannel::freezeView(const ClCamera& from) {
  ClCamera& frozen = *m_pFrozenCameraObj;
  frozen.placeAt(from.getWorldPosition());
  frozen.setWorldRotation(from.getWorldTransform());
  frozen.m_fFieldOfView = from.m_fFieldOfView;
  frozen.m_fNear = from.m_fNear;
  frozen.m_fFar = from.m_fFar;
  frozen.m_afFurtherParams[0] = from.m_afFurtherParams[0];
  frozen.m_afFurtherParams[1] = from.m_afFurtherParams[1];
}

void ClTVChannel::blendTo(ClCamera* pCamera, f32 fSeconds) {
  KV_ASSERT_MSG(pCamera, "pCamToBlendTo");
  m_pRequestedCamera = pCamera;
  if (fSeconds == 0.0f) {
    m_pBlendStartCamera = pCamera;
    m_pTargetCamera = nullptr;
    m_fBlendTime = 0.0f;
    m_fBlendElapsed = 0.0f;
    return;
  }
  if (m_fBlendTime > 0.0f) {
    // An interrupted blend goes on from what is on screen.
    freezeView(*m_pFinalCameraObj);
    m_pBlendStartCamera = m_pFrozenCameraObj;
  }
  m_pTargetCamera = pCamera;
  m_fBlendTime = fSeconds;
  m_fBlendElapsed = 0.0f;
}

void ClTVChannel::advanceBlend(f32 fDT) {
  if (m_fBlendTime > 0.0f) {
    m_fBlendElapsed += fDT;
    if (m_fBlendElapsed >= m_fBlendTime) {
      m_pBlendStartCamera = m_pTargetCamera;
      m_pTargetCamera = nullptr;
      m_fBlendTime = 0.0f;
      m_fBlendElapsed = 0.0f;
    }
  }
}

void ClTVChannel::advance() {
  advanceBlend(ClClock::m_aClockFrames[1].m_fFrameTime);
  update();
}

void ClTVChannel::update() {
  if (m_fBlendTime != 0.0f) {
    const ClCamera& from = *m_pBlendStartCamera;
    const ClCamera& to = *m_pTargetCamera;
    ClInterpolator<f32> fov;
    fov.m_iMethod = 1;
    fov.start(from.m_fFieldOfView, to.m_fFieldOfView, m_fBlendElapsed, m_fBlendTime);
    ClInterpolator<kv_vector3> position;
    position.m_iMethod = 1;
    position.start(from.getWorldPosition(), to.getWorldPosition(), m_fBlendElapsed, m_fBlendTime);
    ClInterpolator<kv_matrix> rotation;
    rotation.m_iMethod = 1;
    rotation.start(from.getWorldTransform(), to.getWorldTransform(), m_fBlendElapsed, m_fBlendTime);
    m_pFinalCameraObj->placeAt(position.m_current);
    m_pFinalCameraObj->setWorldRotation(rotation.m_current);
    m_pFinalCameraObj->m_fFieldOfView = fov.m_current;
    return;
  }
  if (m_pBlendStartCamera != nullptr) {
    KV_ASSERT_MSG(m_pFinalCameraObj, "m_pFinalCameraObj");
    KV_ASSERT_MSG(m_pBlendStartCamera, "m_pBlendStartCamera");
    *m_pFinalCameraObj = *m_pBlendStartCamera;
  }
}

void ClTVChannel::dropCamera(const ClCamera* pCamera) {
  if (pCamera == nullptr || m_pFinalCameraObj == nullptr) {
    return;
  }
  if (m_pTargetCamera == pCamera) {
    // The blend loses its end: the picture stops where it is.
    freezeView(*m_pFinalCameraObj);
    m_pBlendStartCamera = m_pFrozenCameraObj;
    m_pTargetCamera = nullptr;
    m_fBlendTime = 0.0f;
    m_fBlendElapsed = 0.0f;
  }
  if (m_pBlendStartCamera == pCamera) {
    freezeView(*pCamera);
    m_pBlendStartCamera = m_pFrozenCameraObj;
  }
  if (m_pRequestedCamera == pCamera) {
    m_pRequestedCamera = nullptr;
  }
}
