// The game's in-game camera: where it starts, what it carries, and its life as the front end leads it (made,
// registered, pushed on channel 0, popped and handed back to the camera manager).
#include <gtest/gtest.h>

#include <cstdint>

#include "Code/GameModes/ClCameraGAME_InGameOne.h"
#include "Corvane/Camera/ClCameraMgr.h"
#include "Corvane/Camera/ClTVChannel.h"
#include "Corvane/GameModes/ClGameStateMgr.h"

namespace {

// A world point as the camera's view matrix maps it (translation in the fourth column).
kv_vector3 viewed(const ClCamera& camera, const kv_vector3& v) {
  kv_matrix m;
  camera.getViewMatrix(m);
  return {m.m[0][0] * v.x + m.m[0][1] * v.y + m.m[0][2] * v.z + m.m[0][3],
          m.m[1][0] * v.x + m.m[1][1] * v.y + m.m[1][2] * v.z + m.m[1][3],
          m.m[2][0] * v.x + m.m[2][1] * v.y + m.m[2][2] * v.z + m.m[2][3]};
}

TEST(InGameCamera, StartsAtItsPlaceLookingDownTheWorld) {
  ClCameraGAME_InGameOne camera;
  EXPECT_EQ(camera.getWorldPosition(), (kv_vector3{0.0f, 0.0f, 10.0f}));
  EXPECT_EQ(camera.m_fFactorA, 0.9f);
  EXPECT_EQ(camera.m_fFactorB, 0.9f);
  EXPECT_EQ(camera.m_bActive, 0);
  struct SCase {
    kv_vector3 vWorld;
    kv_vector3 vView;
  };
  // The world plane z = 0 lies 10 units in front of it; x and y keep their sense.
  const SCase aCases[] = {
      {{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 10.0f}},
      {{3.0f, -4.0f, 0.0f}, {3.0f, -4.0f, 10.0f}},
      {{0.0f, 0.0f, 10.0f}, {0.0f, 0.0f, 0.0f}},
  };
  for (const SCase& c : aCases) {
    const kv_vector3 v = viewed(camera, c.vWorld);
    EXPECT_NEAR(v.x, c.vView.x, 1e-5f);
    EXPECT_NEAR(v.y, c.vView.y, 1e-5f);
    EXPECT_NEAR(v.z, c.vView.z, 1e-5f);
  }
}

TEST(InGameCamera, LivesAsTheFrontEndLeadsIt) {
  ClGameStateMgr::initialize();
  g_aTVChannels[0].initialize();
  ClCameraMgr::initialize();
  ClGameStateMgr::setTVChannel(0, 0);
  for (int iEntry = 0; iEntry < 3; ++iEntry) {
    auto* pCamera = new ClCameraGAME_InGameOne();
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(pCamera) % 16, 0u);
    pCamera->m_vFollowTarget = {0.0f, 0.0f, 0.0f, 0.0f};
    ClCameraMgr::registerCamera(pCamera);
    ClGameStateMgr::pushCamera(pCamera);
    EXPECT_EQ(pCamera->m_bActive, 1);
    g_aTVChannels[0].update();
    EXPECT_EQ(g_aTVChannels[0].m_pFinalCameraObj->getWorldPosition(), (kv_vector3{0.0f, 0.0f, 10.0f}));
    ClGameStateMgr::popCamera(0.0f);
    ClCameraMgr::terminateCamera(pCamera);
    EXPECT_EQ(ClCameraMgr::mp_uiNumCameras, 1) << "only the debug camera is left";
  }
  // One still registered at shutdown goes with the manager.
  ClCameraMgr::registerCamera(new ClCameraGAME_InGameOne());
  ClCameraMgr::terminate();
  g_aTVChannels[0].terminate();
  ClGameStateMgr::setTVChannel(0, -1);
}

}  // namespace
