#include <gtest/gtest.h>

#include <cmath>

#include "Corvane/Camera/ClCamera.h"
#include "Corvane/Camera/ClCameraMgr.h"
#include "Corvane/Camera/ClInterpolator.h"
#include "Corvane/Camera/ClTVChannel.h"
#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/System/ClClock.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

// Column-vector product of a stack matrix with a point.
kv_vector3 transformPoint(const kv_matrix& M, const kv_vector3& p) {
  const f32 w = M.m[3][0] * p.x + M.m[3][1] * p.y + M.m[3][2] * p.z + M.m[3][3];
  return {(M.m[0][0] * p.x + M.m[0][1] * p.y + M.m[0][2] * p.z + M.m[0][3]) / w,
          (M.m[1][0] * p.x + M.m[1][1] * p.y + M.m[1][2] * p.z + M.m[1][3]) / w,
          (M.m[2][0] * p.x + M.m[2][1] * p.y + M.m[2][2] * p.z + M.m[2][3]) / w};
}

void expectNear(const kv_vector3& a, const kv_vector3& b, f32 fTolerance = 1e-4f) {
  EXPECT_NEAR(a.x, b.x, fTolerance);
  EXPECT_NEAR(a.y, b.y, fTolerance);
  EXPECT_NEAR(a.z, b.z, fTolerance);
}

kv_matrix yRotation(f32 fDegrees) {
  kv_matrix m;
  m.makeAxisRotation({0.0f, 1.0f, 0.0f}, fDegrees * 3.1415927f / 180.0f);
  return m;
}

class MatrixStacks : public ::testing::Test {
 protected:
  void TearDown() override {
    for (i32& iDepth : ClGraphics::mp_aiMatrixStackDepth) iDepth = 0;
  }
};

TEST_F(MatrixStacks, SixteenEntriesThenOverflowAndPopBelowEmptyUnderflows) {
  for (i32 i = 0; i < gc_iMATRIX_STACK_DEPTH; ++i) {
    ClGraphics::pushMatrix(E_MATRIX_STACK_WORLD, kv_matrix{});
  }
  EXPECT_KV_ASSERT(ClGraphics::pushMatrix(E_MATRIX_STACK_WORLD, kv_matrix{}), "Matrix stack overflow");
  ClGraphics::mp_aiMatrixStackDepth[E_MATRIX_STACK_PROJECTION] = gc_iMATRIX_STACK_DEPTH;
  EXPECT_KV_ASSERT(ClGraphics::pushOrtho2D(10, 10), "Matrix stack overflow");
  for (i32& iDepth : ClGraphics::mp_aiMatrixStackDepth) iDepth = 0;
  EXPECT_KV_ASSERT(ClGraphics::popMatrix(E_MATRIX_STACK_VIEW), "Matrix stack underflow");
  EXPECT_KV_ASSERT(ClGraphics::loadMatrix(E_MATRIX_STACK_VIEW, kv_matrix{}), "Matrix stack underflow");
  // A push multiplies with the top: the new entry's translation adds up.
  kv_matrix T;
  T.m[0][3] = 2.0f;
  ClGraphics::pushMatrix(E_MATRIX_STACK_WORLD, T);
  ClGraphics::pushMatrix(E_MATRIX_STACK_WORLD, T);
  EXPECT_EQ(ClGraphics::getMatrixStackTop(E_MATRIX_STACK_WORLD).m[0][3], 4.0f);
}

TEST_F(MatrixStacks, OrthoAndPerspectiveValues) {
  ClGraphics::pushOrtho2D(1280.0f, 720.0f);
  const kv_matrix& P = ClGraphics::getMatrixStackTop(E_MATRIX_STACK_PROJECTION);
  expectNear(transformPoint(P, {0, 0, 0}), {-1.0f, 1.0f, 0.5f});
  expectNear(transformPoint(P, {1280, 720, 4000}), {1.0f, -1.0f, 1.0f});
  expectNear(transformPoint(P, {0, 0, -4000}), {-1.0f, 1.0f, 0.0f});
  EXPECT_EQ(ClGraphics::getMatrixStackDepth(E_MATRIX_STACK_VIEW), 1);

  kv_matrix persp;
  ClGraphics::buildPerspective(persp, 55.0f, 0.5f, 1000.0f, 16.0f / 9.0f);
  EXPECT_NEAR(persp.m[1][1], 1.9209821f, 1e-5f);
  EXPECT_NEAR(persp.m[0][0], 1.0805524f, 1e-5f);
  EXPECT_NEAR(persp.m[2][2], 1.0005003f, 1e-6f);
  EXPECT_NEAR(persp.m[2][3], -0.50025013f, 1e-6f);
  EXPECT_EQ(persp.m[3][2], 1.0f);
  expectNear(transformPoint(persp, {0, 0, 0.5f}), {0, 0, 0.0f});
  expectNear(transformPoint(persp, {0, 0, 1000.0f}), {0, 0, 1.0f});
  ClGraphics::mp_fScreenWidth = 1024.0f;
  ClGraphics::mp_fScreenHeight = 768.0f;
  kv_matrix screen;
  ClGraphics::buildPerspective(screen, 55.0f, 0.5f, 1000.0f, -1.0f);
  EXPECT_NEAR(screen.m[0][0], 1.9209821f / (1024.0f / 768.0f), 1e-5f) << "aspect -1 takes the screen's";
}

// --- Cameras ---

TEST(Camera, ViewOrthoAndMirror) {
  ClCamera camera;
  kv_matrix view;
  camera.getViewMatrix(view);
  kv_matrix expected;
  expected.m[2][2] = -1.0f;
  for (i32 r = 0; r < 4; ++r)
    for (i32 c = 0; c < 4; ++c) EXPECT_EQ(view.m[r][c], expected.m[r][c]) << r << "," << c;

  camera.placeAt({0.0f, 0.0f, 10.0f});
  camera.getViewMatrix(view);
  EXPECT_EQ(view.m[0][3], 0.0f);
  EXPECT_EQ(view.m[1][3], 0.0f);
  EXPECT_EQ(view.m[2][3], 10.0f);
  EXPECT_EQ(view.m[3][3], 1.0f);

  kv_matrix ortho;
  camera.getOrthoMatrix(ortho);
  expectNear(transformPoint(ortho, {-100, 100, 0.5f}), {-1.0f, -1.0f, 0.0f});
  expectNear(transformPoint(ortho, {100, -100, 1000.0f}), {1.0f, 1.0f, 1.0f});

  camera.placeAt({3.0f, 5.0f, 1.0f});
  camera.pushMirroredView(2.0f);
  const kv_matrix& mirrored = ClGraphics::getMatrixStackTop(E_MATRIX_STACK_VIEW);
  expectNear(transformPoint(mirrored, {3.0f, -1.0f, 1.0f}), {0, 0, 0});  // the eye sits at height -1
  camera.popView();
}

TEST(Camera, DebugCameraZoomStepsByFiveWithinItsLimits) {
  ClGameStateMgr::initialize();
  ClCameraDebug camera;
  EXPECT_EQ(camera.m_fFieldOfView, 60.0f);
  ClCameraDebug::ms_fSharedFieldOfView = 50.0f;
  ClGameStateMgr::blockInput(0);
  ClClock::m_aClockFrames[0].m_fFrameTime = 0.0f;
  auto press = [](i32 iAction, i32 iTimes) {
    for (i32 i = 0; i < iTimes; ++i) {
      ClInputManager::m_uiCurInputFrame ^= 1;
      SGameInputAction& action = ClInputManager::m_aDebugCameraActions[iAction];
      action.mp_afValues[ClInputManager::m_uiCurInputFrame & 1] = 1.0f;
      action.mp_afValues[(ClInputManager::m_uiCurInputFrame & 1) ^ 1] = 0.0f;
    }
  };
  press(E_DEBUG_CAMERA_WIDER, 1);
  camera.update();
  EXPECT_EQ(camera.m_fFieldOfView, 55.0f);
  for (i32 i = 0; i < 40; ++i) {
    press(E_DEBUG_CAMERA_WIDER, 1);
    camera.update();
  }
  EXPECT_EQ(camera.m_fFieldOfView, 170.0f);
  ClInputManager::m_aDebugCameraActions[E_DEBUG_CAMERA_WIDER] = {};
  for (i32 i = 0; i < 40; ++i) {
    press(E_DEBUG_CAMERA_NARROWER, 1);
    camera.update();
  }
  EXPECT_EQ(camera.m_fFieldOfView, 5.0f);
  EXPECT_EQ(camera.m_fFar, 15000.0f);
  ClInputManager::m_aDebugCameraActions[E_DEBUG_CAMERA_NARROWER] = {};
}

// --- Interpolators ---

TEST(Interpolator, LinearStepsEndExactlyAndIdle) {
  ClInterpolator<f32> value;
  value.start(0.0f, 1.0f, 0.0f, 5.0f);
  for (f32 fExpected : {0.2f, 0.4f, 0.6f, 0.8f}) {
    value.update(1.0f);
    EXPECT_NEAR(value.m_current, fExpected, 1e-6f);
  }
  value.update(1.0f);
  EXPECT_EQ(value.m_current, 1.0f);
  EXPECT_TRUE(value.isIdle());
  value.start(3.0f, 7.0f, 0.0f, 0.0f);
  EXPECT_EQ(value.m_current, 7.0f) << "duration 0 sets the end at once";
  value.m_iMethod = 9;
  value.start(0.0f, 1.0f, 0.0f, 1.0f);
  EXPECT_KV_FATAL(value.update(0.5f), "Unsupported method");
  ClInterpolator<f32> eased;
  eased.m_iMethod = 4;
  eased.start(0.0f, 1.0f, 0.5f, 1.0f);
  EXPECT_NEAR(eased.m_current, 1.0f - 0.0625f, 1e-6f);
}

TEST(Interpolator, RotationTakesTheShortestPath) {
  ClInterpolator<kv_matrix> rotation;
  rotation.m_iMethod = 0;
  rotation.start(kv_matrix{}, yRotation(90.0f), 0.5f, 1.0f);
  const kv_matrix expected = yRotation(45.0f);
  for (i32 r = 0; r < 3; ++r)
    for (i32 c = 0; c < 3; ++c) EXPECT_NEAR(rotation.m_current.m[r][c], expected.m[r][c], 1e-5f);
}

// --- Camera manager and TV channels ---

class TVChannels : public ::testing::Test {
 protected:
  void SetUp() override {
    ClGameStateMgr::initialize();
    g_aTVChannels[0].initialize();
    ClCameraMgr::initialize();
  }
  void TearDown() override {
    ClCameraMgr::terminate();
    g_aTVChannels[0].terminate();
  }
  ClTVChannel& channel() { return g_aTVChannels[0]; }
};

TEST_F(TVChannels, ChannelZeroShowsTheDebugCameraUntilCut) {
  channel().update();
  EXPECT_EQ(channel().m_pFinalCameraObj->m_fFieldOfView, 60.0f);
  auto* pCamera = new ClCamera();
  pCamera->m_fFieldOfView = 33.0f;
  pCamera->placeAt({1.0f, 2.0f, 3.0f});
  ClCameraMgr::registerCamera(pCamera);
  channel().blendTo(pCamera, 0.0f);
  channel().update();
  EXPECT_EQ(channel().m_pFinalCameraObj->m_fFieldOfView, 33.0f);
  EXPECT_EQ(channel().m_pFinalCameraObj->getWorldPosition(), (kv_vector3{1.0f, 2.0f, 3.0f}));
}

TEST_F(TVChannels, BlendsEaseWithoutJumpsAndEndAtTheTarget) {
  auto* pFrom = new ClCamera();
  auto* pTo = new ClCamera();
  auto* pOther = new ClCamera();
  ClCameraMgr::registerCamera(pFrom);
  ClCameraMgr::registerCamera(pTo);
  ClCameraMgr::registerCamera(pOther);
  pFrom->m_fFieldOfView = 40.0f;
  pTo->m_fFieldOfView = 60.0f;
  pTo->placeAt({10.0f, 0.0f, 0.0f});
  pTo->setWorldRotation(yRotation(90.0f));
  pOther->placeAt({0.0f, 20.0f, 0.0f});
  channel().blendTo(pFrom, 0.0f);
  channel().blendTo(pTo, 2.0f);
  ClClock::m_aClockFrames[1].m_fFrameTime = 0.5f;
  // Each quarter of the 2 s blend: field of view 40 to 60, position x 0 to 10 and the turn 0 to 90 degrees all
  // at the cosine ease's fraction (slow, fast, slow), which a straight blend meets only half-way.
  struct SBlendPoint {
    f32 fLinear;
    f32 fEased;
  };
  const SBlendPoint aPoints[] = {{0.25f, 0.14644661f}, {0.5f, 0.5f}, {0.75f, 0.85355339f}};
  for (const SBlendPoint& point : aPoints) {
    SCOPED_TRACE(point.fLinear);
    channel().advance();
    const ClCamera& shown = *channel().m_pFinalCameraObj;
    EXPECT_NEAR(shown.m_fFieldOfView, 40.0f + 20.0f * point.fEased, 1e-3f);
    expectNear(shown.getWorldPosition(), {10.0f * point.fEased, 0.0f, 0.0f});
    const kv_matrix turned = yRotation(90.0f * point.fEased);
    for (i32 r = 0; r < 3; ++r)
      for (i32 c = 0; c < 3; ++c) EXPECT_NEAR(shown.getWorldTransform().m[r][c], turned.m[r][c], 1e-4f);
  }

  // Interrupted three quarters of the way: the picture does not jump.
  const ClCamera before = *channel().m_pFinalCameraObj;
  channel().blendTo(pOther, 1.0f);
  channel().update();
  expectNear(channel().m_pFinalCameraObj->getWorldPosition(), before.getWorldPosition());
  EXPECT_NEAR(channel().m_pFinalCameraObj->m_fFieldOfView, before.m_fFieldOfView, 1e-4f);
  for (i32 r = 0; r < 3; ++r)
    for (i32 c = 0; c < 3; ++c)
      EXPECT_NEAR(channel().m_pFinalCameraObj->getWorldTransform().m[r][c], before.getWorldTransform().m[r][c], 1e-4f);

  channel().advance();
  channel().advance();
  EXPECT_EQ(channel().m_fBlendTime, 0.0f) << "reaching the blend time ends the blend";
  EXPECT_EQ(channel().m_pBlendStartCamera, pOther);
  EXPECT_EQ(channel().m_pFinalCameraObj->getWorldPosition(), pOther->getWorldPosition());

  // The loading modes' step: frame times summing to exactly the duration end the blend in that frame.
  channel().blendTo(pFrom, 1.0f);
  ClGraphics::updateAndEndFrame();
  EXPECT_GT(channel().m_fBlendTime, 0.0f);
  ClGraphics::updateAndEndFrame();
  EXPECT_EQ(channel().m_fBlendTime, 0.0f);
  EXPECT_EQ(channel().m_pBlendStartCamera, pFrom);
}

// Terminating a camera a channel still shows keeps the picture and leaves no pointer to freed memory.
TEST_F(TVChannels, TerminatedCameraIsDroppedByTheChannels) {
  auto* pGame = new ClCamera();
  pGame->placeAt({7.0f, 8.0f, 9.0f});
  pGame->m_fFieldOfView = 44.0f;
  ClCameraMgr::registerCamera(pGame);
  ClGameStateMgr::setTVChannel(0, 0);
  ClGameStateMgr::pushCamera(pGame);
  EXPECT_EQ(pGame->m_bActive, 1);
  channel().update();
  ClGameStateMgr::popCamera(0.0f);
  ClCameraMgr::terminateCamera(pGame);
  EXPECT_NE(channel().m_pBlendStartCamera, pGame);
  EXPECT_EQ(channel().m_pRequestedCamera, nullptr);
  channel().update();
  EXPECT_EQ(channel().m_pFinalCameraObj->getWorldPosition(), (kv_vector3{7.0f, 8.0f, 9.0f}));
  EXPECT_EQ(channel().m_pFinalCameraObj->m_fFieldOfView, 44.0f);

  ClCamera stranger;
  EXPECT_KV_ASSERT(ClCameraMgr::terminateCamera(&stranger), "bFound");
  EXPECT_KV_ASSERT(ClCameraMgr::terminateCamera(ClCameraMgr::getDebugCamera()), "Cannot manually terminate debug cam!");
  ClGameStateMgr::setTVChannel(0, -1);
}

TEST_F(TVChannels, SixtyFourthCameraIsAnOverflow) {
  for (i32 i = 1; i < gc_iMAX_REGISTERED_CAMERAS; ++i) {
    ClCameraMgr::registerCamera(new ClCamera());
  }
  ClCamera extra;
  EXPECT_KV_ASSERT(ClCameraMgr::registerCamera(&extra), "Registered camera overflow (make array dynamic!)");
}

}  // namespace
