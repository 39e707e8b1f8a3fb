#include <gtest/gtest.h>

#include <cstring>

#include "Corvane/Graphics/ClDrawPrimitive.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Platform/D3D9/D3D9.h"
#include "Tests/Support/GraphicsTestSupport.h"

namespace {

struct SVertex {
  f32 x, y, z;
  DWORD color;
};

IDirect3DVertexBuffer9* g_pFrameBuffer = nullptr;

void drawFrameBuffer() {
  IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
  pDevice->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  pDevice->SetStreamSource(0, g_pFrameBuffer, 0, sizeof(SVertex));
  pDevice->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  ClGraphics::pushOrtho2D(320.0f, 240.0f);
  pDevice->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
  ClGraphics::popMatrix(E_MATRIX_STACK_VIEW);
  ClGraphics::popMatrix(E_MATRIX_STACK_PROJECTION);
  pDevice->SetStreamSource(0, nullptr, 0, 0);
}

// A device loss every few presents for thousands of frames, while the main thread makes and deletes a buffer each
// frame that the worker draws: every loss recovers, nothing is drawn wrong, no OpenGL error, nothing leaks.
TEST(GraphicsSoak, LossEveryFewFramesWithResourcesMadeOnTheMainThread) {
  CTestGraphicsHooks hooks;
  hooks.m_pfnDraw = &drawFrameBuffer;
  KvTestStartGraphics(&hooks);
  SD3D9Faults faults;
  faults.uiLoseEveryNthPresent = 5;
  D3D9TestSetFaults(faults);
  constexpr i32 iFRAMES = 2400;
  i32 iLosses = 0;
  for (i32 iFrame = 0; iFrame < iFRAMES; ++iFrame) {
    const f32 fX = static_cast<f32>(iFrame % 200);
    const SVertex quad[4] = {{fX, 10, 0, 0xFFFFFF00u}, {fX + 20, 10, 0, 0xFFFFFF00u}, {fX, 30, 0, 0xFFFFFF00u},
                             {fX + 20, 30, 0, 0xFFFFFF00u}};
    ASSERT_EQ(ClGraphics::mp_pDevice->CreateVertexBuffer(sizeof(quad), 0, 0, D3DPOOL_MANAGED, &g_pFrameBuffer, nullptr),
              D3D_OK);
    void* pData = nullptr;
    g_pFrameBuffer->Lock(0, 0, &pData, 0);
    std::memcpy(pData, quad, sizeof(quad));
    g_pFrameBuffer->Unlock();
    const u32 bWasReady = ClGraphics::mp_bReady.load();
    ClGraphics::endFrame();
    if (bWasReady && !ClGraphics::mp_bReady.load()) {
      ++iLosses;
      EXPECT_EQ(D3D9TestLiveDefaultPoolResources(ClGraphics::mp_pDevice), 0u);
    } else if (bWasReady && iFrame % 97 == 0) {
      UINT uiW = 0;
      UINT uiH = 0;
      const std::vector<DWORD> pixels = D3D9TestReadBackBuffer(ClGraphics::mp_pDevice, &uiW, &uiH);
      EXPECT_EQ(pixels[20 * uiW + static_cast<u32>(fX) + 5] | 0xFF000000u, 0xFFFFFF00u) << "frame " << iFrame;
      EXPECT_EQ(pixels[20 * uiW + static_cast<u32>(fX) + 25] | 0xFF000000u, hooks.m_uiColor) << "frame " << iFrame;
    }
    g_pFrameBuffer->Release();
    g_pFrameBuffer = nullptr;
  }
  EXPECT_GE(iLosses, iFRAMES / 10);
  EXPECT_EQ(ClGraphics::mp_bReady.load(), 1u);
  EXPECT_NE(ClDrawPrimitive::mp_pSphereVB, nullptr);
  EXPECT_EQ(D3D9TestGLErrorCount(ClGraphics::mp_pDevice), 0u);
  D3D9TestSetFaults(SD3D9Faults{});
  KvTestStopGraphics();
}

}  // namespace
