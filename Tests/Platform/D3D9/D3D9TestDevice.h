// The Direct3D 9 stand-in's test fixture: a 64 x 48 device on a window of its own, a pixel projection, rectangles
// drawn from pixel coordinates (coloured, or with texture coordinates), and the back buffer read pixel by pixel.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "Platform/D3D9/D3D9.h"
#include "Platform/Win32/Win32.h"

inline constexpr UINT gc_uiW = 64;
inline constexpr UINT gc_uiH = 48;

inline constexpr DWORD gc_uiBLUE = 0xFF0000FFu;
inline constexpr DWORD gc_uiRED = 0xFFFF0000u;
inline constexpr DWORD gc_uiGREEN = 0xFF00FF00u;
inline constexpr DWORD gc_uiWHITE = 0xFFFFFFFFu;

struct SVertex {
  float x, y, z;
  DWORD color;
};

// Position, colour and one pair of texture coordinates (D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1).
struct STexturedVertex {
  float x, y, z;
  DWORD color;
  float u, v;
};

inline LRESULT CALLBACK plainProc(HWND hWnd, UINT uiMsg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hWnd, uiMsg, wParam, lParam);
}

// Pixel coordinates (x right, y down, z as given) onto Direct3D's clip space, for row vectors.
inline D3DMATRIX pixelProjection(float fW, float fH) {
  D3DMATRIX m{};
  m.m[0][0] = 2.0f / fW;
  m.m[1][1] = -2.0f / fH;
  m.m[2][2] = 1.0f;
  m.m[3][0] = -1.0f;
  m.m[3][1] = 1.0f;
  m.m[3][3] = 1.0f;
  return m;
}

// Whether two 0xAARRGGBB colours agree channel by channel within the tolerance (alpha ignored).
inline bool nearColor(DWORD a, DWORD b, int iTolerance) {
  for (int iShift = 0; iShift < 24; iShift += 8) {
    if (std::abs(static_cast<int>((a >> iShift) & 0xFF) - static_cast<int>((b >> iShift) & 0xFF)) > iTolerance) {
      return false;
    }
  }
  return true;
}

class D3D9Device : public ::testing::Test {
 protected:
  void SetUp() override {
    D3D9TestReset();
    mp_pD3D = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(mp_pD3D, nullptr);
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &plainProc;
    windowClass.lpszClassName = "D3D9 Test";
    RegisterClassExA(&windowClass);
    m_hWnd = CreateWindowExA(0, "D3D9 Test", "D3D9 Test", WS_POPUP | WS_VISIBLE, 0, 0, gc_uiW, gc_uiH, nullptr,
                             nullptr, nullptr, nullptr);
    ASSERT_NE(m_hWnd, nullptr);
    m_params = D3DPRESENT_PARAMETERS{gc_uiW, gc_uiH, D3DFMT_X8R8G8B8, 1, D3DMULTISAMPLE_NONE, 0, D3DSWAPEFFECT_DISCARD,
                                     m_hWnd, TRUE, TRUE, D3DFMT_D24X8, 0, 0, D3DPRESENT_INTERVAL_IMMEDIATE};
  }
  void TearDown() override {
    if (mp_pDevice != nullptr) {
      EXPECT_EQ(D3D9TestGLErrorCount(mp_pDevice), 0u);
      mp_pDevice->Release();
    }
    if (mp_pD3D != nullptr) mp_pD3D->Release();
    Win32TestReset();
    D3D9TestReset();
  }
  void createDevice() {
    ASSERT_EQ(mp_pD3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, m_hWnd, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                    &m_params, &mp_pDevice),
              D3D_OK);
    const D3DMATRIX projection = pixelProjection(static_cast<float>(gc_uiW), static_cast<float>(gc_uiH));
    mp_pDevice->SetTransform(D3DTS_PROJECTION, &projection);
    ASSERT_EQ(mp_pDevice->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE), D3D_OK);
  }
  // A device whose back buffer is uiW x uiH (the window stays gc_uiW x gc_uiH), its projection in its own pixels.
  void createDeviceOfSize(UINT uiW, UINT uiH) {
    m_params.BackBufferWidth = uiW;
    m_params.BackBufferHeight = uiH;
    createDevice();
    ASSERT_NE(mp_pDevice, nullptr);
    const D3DMATRIX projection = pixelProjection(static_cast<float>(uiW), static_cast<float>(uiH));
    mp_pDevice->SetTransform(D3DTS_PROJECTION, &projection);
  }
  template <typename Vertex>
  void drawVertices(const Vertex (&quad)[6], DWORD dwFVF) {
    IDirect3DVertexBuffer9* pBuffer = nullptr;
    ASSERT_EQ(mp_pDevice->CreateVertexBuffer(sizeof(quad), D3DUSAGE_WRITEONLY, dwFVF, D3DPOOL_MANAGED, &pBuffer,
                                             nullptr),
              D3D_OK);
    void* pData = nullptr;
    ASSERT_EQ(pBuffer->Lock(0, 0, &pData, 0), D3D_OK);
    std::memcpy(pData, quad, sizeof(quad));
    ASSERT_EQ(pBuffer->Unlock(), D3D_OK);
    mp_pDevice->SetFVF(dwFVF);
    mp_pDevice->SetStreamSource(0, pBuffer, 0, sizeof(Vertex));
    EXPECT_EQ(mp_pDevice->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), D3D_OK);
    mp_pDevice->SetStreamSource(0, nullptr, 0, 0);
    pBuffer->Release();
  }
  // Two triangles covering x0..x1, y0..y1 (pixel coordinates) at depth z.
  void drawRect(float x0, float y0, float x1, float y1, float z, DWORD color) {
    const SVertex quad[6] = {{x0, y0, z, color}, {x1, y0, z, color}, {x0, y1, z, color},
                             {x1, y0, z, color}, {x1, y1, z, color}, {x0, y1, z, color}};
    drawVertices(quad, D3DFVF_XYZ | D3DFVF_DIFFUSE);
  }
  // The same with texture coordinates u0..u1 across and v0..v1 down.
  void drawTexturedRect(float x0, float y0, float x1, float y1, float z, DWORD color, float u0 = 0.0f,
                        float v0 = 0.0f, float u1 = 1.0f, float v1 = 1.0f) {
    const STexturedVertex quad[6] = {{x0, y0, z, color, u0, v0}, {x1, y0, z, color, u1, v0},
                                     {x0, y1, z, color, u0, v1}, {x1, y0, z, color, u1, v0},
                                     {x1, y1, z, color, u1, v1}, {x0, y1, z, color, u0, v1}};
    drawVertices(quad, D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
  }
  DWORD pixel(UINT x, UINT y) {
    UINT uiW = 0;
    UINT uiH = 0;
    const std::vector<DWORD> pixels = D3D9TestReadBackBuffer(mp_pDevice, &uiW, &uiH);
    EXPECT_EQ(uiW, gc_uiW);
    EXPECT_EQ(uiH, gc_uiH);
    return pixels.at(static_cast<size_t>(y) * uiW + x) | 0xFF000000u;
  }

  IDirect3D9* mp_pD3D = nullptr;
  IDirect3DDevice9* mp_pDevice = nullptr;
  HWND m_hWnd = nullptr;
  D3DPRESENT_PARAMETERS m_params{};
};
