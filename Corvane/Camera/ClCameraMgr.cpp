#include "Corvane/Camera/ClCameraMgr.h"

#include "Corvane/Camera/ClTVChannel.h"
#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/System/KvDebug.h"

ClCamera* ClCameraMgr::mp_apCameras[gc_iMAX_REGISTERED_CAMERAS] = {};
u16 ClCameraMgr::mp_uiNumCameras = 0;

namespace {

ClTVChannel& tvChannel(i32 iTVChannelIdx) {
  KV_ASSERT(iTVChannelIdx >= 0 && iTVChannelIdx < gc_iNUM_ENGINE_TV_CHANNELS);
  return g_aTVChannels[iTVChannelIdx];
}

void destroy(ClCamera* pCamera) {
  for (ClTVChannel& channel : g_aTVChannels) {
    channel.dropCamera(pCamera);
  }
  delete pCamera;
}

}  // namespace

void ClCameraMgr::initialize() {
  mp_apCameras[0] = new ClCameraDebug();
  mp_uiNumCameras = 1;
  // Graphics start-up set channel 0 up before the cameras existed: it shows the debug camera until the game
  // pushes its own.
  ClTVChannel& channel = g_aTVChannels[0];
  if (channel.m_pFinalCameraObj != nullptr && channel.m_pBlendStartCamera == nullptr) {
    channel.m_pBlendStartCamera = mp_apCameras[0];
  }
}

void ClCameraMgr::registerCamera(ClCamera* pCamera) {
  KV_ASSERT_MSG(mp_uiNumCameras < gc_iMAX_REGISTERED_CAMERAS, "Registered camera overflow (make array dynamic!)");
  mp_apCameras[mp_uiNumCameras++] = pCamera;
}

void ClCameraMgr::terminateCamera(ClCamera* pCamera) {
  KV_ASSERT_MSG(mp_uiNumCameras == 0 || pCamera != mp_apCameras[0], "Cannot manually terminate debug cam!");
  bool bFound = false;
  for (i32 i = 1; i < mp_uiNumCameras; ++i) {
    if (mp_apCameras[i] == pCamera) {
      bFound = true;
      destroy(pCamera);
      for (i32 j = i; j + 1 < mp_uiNumCameras; ++j) {
        mp_apCameras[j] = mp_apCameras[j + 1];
      }
      mp_apCameras[--mp_uiNumCameras] = nullptr;
      break;
    }
  }
  KV_ASSERT(bFound);
}

void ClCameraMgr::terminate() {
  for (i32 i = 0; i < mp_uiNumCameras; ++i) {
    destroy(mp_apCameras[i]);
    mp_apCameras[i] = nullptr;
  }
  mp_uiNumCameras = 0;
}

void ClCameraMgr::switchChannelCamera(i32 iTVChannelIdx, ClCamera* pCamera, f32 fBlendTime) {
  // The debug camera exists from initialize to terminate.
  if (mp_uiNumCameras == 0) {
    return;
  }
  ClTVChannel& channel = tvChannel(iTVChannelIdx);
  pCamera->activate();
  channel.blendTo(pCamera, fBlendTime);
}

void ClCameraMgr::advanceTVChannel(i32 iTVChannelIdx) { tvChannel(iTVChannelIdx).advance(); }

void ClCameraMgr::terminateTVChannel(i32 iTVChannelIdx) { tvChannel(iTVChannelIdx).terminate(); }

ClCameraDebug* ClCameraMgr::getDebugCamera() {
  return mp_uiNumCameras > 0 ? static_cast<ClCameraDebug*>(mp_apCameras[0]) : nullptr;
}
