// The matrix stacks and the projections built on them.
#include <cmath>

#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClRenderTargetGroup.h"
#include "Corvane/Graphics/ClTexture.h"
#include "Corvane/Math/ClWorldObject.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/D3D9/D3D9.h"

kv_matrix ClGraphics::mp_aMatrixStacks[gc_iNUM_MATRIX_STACKS][gc_iMATRIX_STACK_DEPTH] = {};
i32 ClGraphics::mp_aiMatrixStackDepth[gc_iNUM_MATRIX_STACKS] = {};
ClRenderTargetGroup* ClGraphics::mp_pBoundRenderTargetGroup = nullptr;
kv_vector2 ClGraphics::mp_v2DViewOffset = {KV_ZERO, KV_ZERO};
ClWorldObject g_defaultObjectTransform;

namespace {

// The device transform each stack feeds; stack 4 has none.
constexpr D3DTRANSFORMSTATETYPE gc_aeStackTransforms[gc_iNUM_MATRIX_STACKS] = {
    D3DTS_PROJECTION, D3DTS_VIEW, D3DTS_WORLD, D3DTS_TEXTURE0, static_cast<D3DTRANSFORMSTATETYPE>(0)};

kv_matrix zeroMatrix() {
  kv_matrix m;
  for (auto& row : m.m) {
    for (f32& f : row) {
      f = 0.0f;
    }
  }
  return m;
}

void checkStack(i32 iStack) { KV_ASSERT(iStack >= 0 && iStack < gc_iNUM_MATRIX_STACKS); }

// Depth + 1 with the top replaced, not multiplied: the projections of the 2D passes.
void pushLoaded(i32 iStack, const kv_matrix& M) {
  KV_ASSERT_MSG(ClGraphics::mp_aiMatrixStackDepth[iStack] < gc_iMATRIX_STACK_DEPTH, "Matrix stack overflow");
  ++ClGraphics::mp_aiMatrixStackDepth[iStack];
  ClGraphics::loadMatrix(iStack, M);
}

}  // namespace

void ClGraphics::pushMatrix(i32 iStack, const kv_matrix& M) {
  checkStack(iStack);
  i32& iDepth = mp_aiMatrixStackDepth[iStack];
  KV_ASSERT_MSG(iDepth < gc_iMATRIX_STACK_DEPTH, "Matrix stack overflow");
  if (iDepth == 0) {
    mp_aMatrixStacks[iStack][0] = M;
  } else {
    M.multiply(mp_aMatrixStacks[iStack][iDepth - 1], mp_aMatrixStacks[iStack][iDepth]);
  }
  ++iDepth;
  applyMatrixStackTop(iStack);
}

void ClGraphics::loadMatrix(i32 iStack, const kv_matrix& M) {
  checkStack(iStack);
  KV_ASSERT_MSG(mp_aiMatrixStackDepth[iStack] > 0, "Matrix stack underflow");
  mp_aMatrixStacks[iStack][mp_aiMatrixStackDepth[iStack] - 1] = M;
  applyMatrixStackTop(iStack);
}

void ClGraphics::popMatrix(i32 iStack) {
  checkStack(iStack);
  KV_ASSERT_MSG(mp_aiMatrixStackDepth[iStack] > 0, "Matrix stack underflow");
  --mp_aiMatrixStackDepth[iStack];
  applyMatrixStackTop(iStack);
}

const kv_matrix& ClGraphics::getMatrixStackTop(i32 iStack) {
  checkStack(iStack);
  static const kv_matrix s_identity;
  const i32 iDepth = mp_aiMatrixStackDepth[iStack];
  return iDepth > 0 ? mp_aMatrixStacks[iStack][iDepth - 1] : s_identity;
}

void ClGraphics::applyMatrixStackTop(i32 iStack) {
  checkStack(iStack);
  if (mp_pDevice == nullptr || iStack == E_MATRIX_STACK_UNUSED) {
    return;
  }
  // An emptied stack has no top: the device gets the identity rather than whatever lies below the array.
  kv_matrix transposed;
  getMatrixStackTop(iStack).transpose(transposed);
  D3DMATRIX deviceMatrix;
  static_assert(sizeof(deviceMatrix) == sizeof(transposed.m));
  for (i32 r = 0; r < 4; ++r) {
    for (i32 c = 0; c < 4; ++c) {
      deviceMatrix.m[r][c] = transposed.m[r][c];
    }
  }
  mp_pDevice->SetTransform(gc_aeStackTransforms[iStack], &deviceMatrix);
}

void ClGraphics::pushOrtho2D(f32 fWidth, f32 fHeight) {
  kv_matrix P = zeroMatrix();
  P.m[0][0] = 2.0f / fWidth;
  P.m[1][1] = -2.0f / fHeight;
  P.m[0][3] = -1.0f;
  P.m[1][3] = 1.0f;
  P.m[2][2] = 0.000125f;
  P.m[2][3] = 0.5f;
  P.m[3][3] = 1.0f;
  pushLoaded(E_MATRIX_STACK_PROJECTION, P);
  pushLoaded(E_MATRIX_STACK_VIEW, kv_matrix{});
}

void ClGraphics::pushOrthoOffCenter(f32 fViewTop, f32 fViewLeft, f32 fViewBottom, f32 fViewRight, f32 fTop, f32 fLeft,
                                    f32 fBottom, f32 fRight, f32 fOffsetX, f32 fOffsetY) {
  if (mp_pDevice != nullptr) {
    const D3DVIEWPORT9 viewport{static_cast<DWORD>(fViewLeft), static_cast<DWORD>(fViewTop),
                                static_cast<DWORD>(fViewRight - fViewLeft), static_cast<DWORD>(fViewBottom - fViewTop),
                                0.0f, 1.0f};
    mp_pDevice->SetViewport(&viewport);
  }
  fLeft += fOffsetX;
  fRight += fOffsetX;
  fTop += fOffsetY;
  fBottom += fOffsetY;
  kv_matrix P = zeroMatrix();
  P.m[0][0] = 2.0f / (fRight - fLeft);
  P.m[1][1] = 2.0f / (fTop - fBottom);
  P.m[0][3] = (fLeft + fRight) / (fLeft - fRight);
  P.m[1][3] = (fTop + fBottom) / (fBottom - fTop);
  P.m[2][2] = 1.0f;
  P.m[2][3] = -0.0f;
  P.m[3][3] = 1.0f;
  pushLoaded(E_MATRIX_STACK_PROJECTION, P);
  pushLoaded(E_MATRIX_STACK_VIEW, kv_matrix{});
}

kv_matrix& ClGraphics::buildPerspective(kv_matrix& out, f32 fFovDegrees, f32 fNear, f32 fFar, f32 fAspect) {
  if (fAspect < 0.0f) {
    // The bound group's picture, or the screen's.
    fAspect = mp_fScreenWidth / mp_fScreenHeight;
    if (mp_pBoundRenderTargetGroup != nullptr) {
      const ClTexture* pColor = mp_pBoundRenderTargetGroup->getColorTexture();
      if (pColor != nullptr && pColor->getHeight() > 0.0f) {
        fAspect = pColor->getWidth() / pColor->getHeight();
      }
    }
  }
  const f32 fHalf = fFovDegrees * 3.1415927f / 180.0f * 0.5f;
  const f32 fYScale = std::cos(fHalf) / std::sin(fHalf);
  const f32 fXScale = fYScale / fAspect;
  out = zeroMatrix();
  out.m[0][0] = fXScale;
  out.m[1][1] = fYScale;
  out.m[2][2] = fFar / (fFar - fNear);
  out.m[2][3] = -(fNear * fFar) / (fFar - fNear);
  out.m[3][2] = 1.0f;
  return out;
}

void ClGraphics::pushObjectTransform(const kv_matrix& rotationAndPosition, const kv_vector3& vScale) {
  const kv_vector3 vPosition = rotationAndPosition.getPosition();
  const f32 afScale[3] = {vScale.x, vScale.y, vScale.z};
  const f32 afPosition[3] = {vPosition.x, vPosition.y, vPosition.z};
  kv_matrix W;
  kv_matrix T;
  for (i32 r = 0; r < 3; ++r) {
    for (i32 c = 0; c < 3; ++c) {
      W.m[r][c] = rotationAndPosition.m[r][c] * afScale[c];
      T.m[r][c] = rotationAndPosition.m[r][c];
    }
    W.m[r][3] = afPosition[r];
    T.m[r][3] = afPosition[r];
  }
  W.m[3][0] = W.m[3][1] = W.m[3][2] = 0.0f;
  T.m[3][0] = T.m[3][1] = T.m[3][2] = 0.0f;
  W.m[3][3] = T.m[3][3] = 1.0f;
  pushMatrix(E_MATRIX_STACK_WORLD, W);
  pushMatrix(E_MATRIX_STACK_OBJECT, T);
}

void ClGraphics::popObjectTransform() {
  popMatrix(E_MATRIX_STACK_WORLD);
  popMatrix(E_MATRIX_STACK_OBJECT);
}

void ClGraphics::resetDefaultObjectTransform() { g_defaultObjectTransform.setIdentityTransform(); }
